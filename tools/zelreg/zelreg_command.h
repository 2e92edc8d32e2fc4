// zelreg_command.h - the command line of zelreg as one parsed command: the
// operation, its key and file arguments and its options, checked against
// what each operation takes. Parsing touches neither registry nor files.
#pragma once

#include "zelsys/registry.h"

#include <optional>
#include <string>
#include <vector>

namespace zelreg {

enum class Operation { Help, Query, Add, Delete, Export, Import };

// A key named on the command line: its root and the path below it, with
// the root's long name for messages and output.
struct KeyName {
  zelsys::HKEY root = nullptr;
  std::u16string path;     // empty for the root itself
  std::u16string rootName; // HKEY_LOCAL_MACHINE, ...
  // The key as the output names it: the long root name, "\", the path.
  std::u16string full() const { return path.empty() ? rootName : rootName + u"\\" + path; }
};

struct Command {
  Operation operation = Operation::Help;
  // For Help: the operation whose usage to show (Help itself: all of them).
  Operation helpFor = Operation::Help;
  KeyName key;
  std::u16string file;
  std::optional<std::u16string> valueName; // /v
  bool defaultValue = false;               // /ve
  bool allValues = false;                  // /va
  bool recursive = false;                  // /s of query
  bool force = false;                      // /f, and /y of export
  std::optional<std::u16string> type;      // /t
  std::optional<std::u16string> data;      // /d
  std::optional<std::u16string> separator; // /s of add
  zelsys::REGSAM view = 0;                 // /reg:32, /reg:64
};

// Parses the arguments after the program's name. On failure returns false
// with the one-line reason (without the "ERROR: " prefix) in error.
bool parseCommand(const std::vector<std::u16string> &args, Command &command, std::u16string &error);

// A root name (short or long, any case) and the path after it; false for
// an unknown root or a malformed path.
bool parseKeyName(const std::u16string &text, KeyName &key);

// ASCII letters in lower case; other units unchanged.
std::u16string lowerAscii(std::u16string text);

} // namespace zelreg
