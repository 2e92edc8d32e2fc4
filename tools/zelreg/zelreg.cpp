// zelreg.cpp - zelreg, a console tool for the registry in the shape of the
// Windows "reg" tool that administrators know: query, add, delete, export
// and import, on the emulated machine (ZEL_MACHINE) as on Windows. Export
// and import use the framework's registry text format.
#include "zelreg_command.h"
#include "zelreg_operations.h"
#include "zelreg_text.h"

#include "zelsys/entry.h"
#include "zelsys/system.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace zelreg {

namespace {

const char USAGE_QUERY[] =
    "zelreg query <key> [/v <name> | /ve] [/s] [/reg:32 | /reg:64]\n"
    "  Prints the key's values (name, type, data) and then its sub-keys.\n"
    "  /v <name>  only the value <name>      /ve  only the default value\n"
    "  /s         the whole tree below the key, key by key\n"
    "  Data shows as the type has it: REG_DWORD as 0x and hex digits, REG_BINARY\n"
    "  and other types as hex digits, REG_MULTI_SZ with its strings joined by \\0.\n";
const char USAGE_ADD[] =
    "zelreg add <key> [/v <name> | /ve] [/t <type>] [/s <separator>] [/d <data>] [/f]\n"
    "           [/reg:32 | /reg:64]\n"
    "  Creates the key, and with /v, /ve, /t or /d sets a value (without /v the\n"
    "  default value).\n"
    "  /t <type>  REG_SZ (the default), REG_EXPAND_SZ, REG_MULTI_SZ, REG_DWORD\n"
    "             or REG_BINARY\n"
    "  /d <data>  REG_DWORD: 0 to 4294967295, decimal or 0x and hex (without /d: 0)\n"
    "             REG_BINARY: pairs of hex digits\n"
    "             REG_MULTI_SZ: strings separated by \\0, or by the one character\n"
    "             given with /s; none may be empty\n"
    "             REG_EXPAND_SZ: a text holding whole %NAME% references\n"
    "  /f         replaces an existing value without asking\n";
const char USAGE_DELETE[] =
    "zelreg delete <key> [/v <name> | /ve | /va] [/f] [/reg:32 | /reg:64]\n"
    "  Deletes the key with its whole tree, or with /v the value <name>, with /ve\n"
    "  the default value, with /va every value of the key.\n"
    "  /f  deletes without asking\n";
const char USAGE_EXPORT[] =
    "zelreg export <key> <file> [/y]\n"
    "  Writes the key and its tree to <file> in the framework's registry text\n"
    "  format (one section per key, one entry per value of the five types above;\n"
    "  default values, other types and keys without values are not written).\n"
    "  /y  replaces an existing file without asking\n";
const char USAGE_IMPORT[] =
    "zelreg import <file>\n"
    "  Restores every key and value that <file>, written by export, holds.\n";
const char USAGE_COMMON[] =
    "\n"
    "<key> is ROOT\\path; ROOT is HKLM, HKCU, HKCR, HKU or HKCC, or its long name\n"
    "(HKEY_LOCAL_MACHINE, ...), in any case. /reg:32 and /reg:64 choose the 32-bit\n"
    "or 64-bit registry view. Options start with / or - in any case. Without /f or\n"
    "/y a change asks first; any answer but yes, or no input, cancels it.\n"
    "\n"
    "Exit codes:\n"
    "  0  done (query: what was found is printed)\n"
    "  1  an error, one line on standard error; nothing found is an error too\n"
    "  2  the operation was cancelled at its question; nothing changed\n";

void showUsage(Operation operation) {
  const char *const usages[] = {USAGE_QUERY, USAGE_ADD, USAGE_DELETE, USAGE_EXPORT, USAGE_IMPORT};
  if (operation == Operation::Help) {
    std::fputs("zelreg <operation> [arguments]; \"zelreg <operation> /?\" shows one.\n\n", stdout);
    for (const char *usage : usages)
      std::fputs(usage, stdout);
  } else {
    std::fputs(usages[static_cast<int>(operation) - 1], stdout);
  }
  std::fputs(USAGE_COMMON, stdout);
}

} // namespace

void say(const std::u16string &line) { std::fputs((toUtf8(line) + "\n").c_str(), stdout); }

int fail(const std::u16string &reason) {
  std::fflush(stdout); // what came before the error stays before it
  std::fputs(("ERROR: " + toUtf8(reason) + "\n").c_str(), stderr);
  return EXIT_FAILED;
}

bool confirm(const std::u16string &question) {
  std::fputs((toUtf8(question) + " ").c_str(), stdout);
  std::fflush(stdout);
  char answer[32] = {};
  if (std::fgets(answer, sizeof answer, stdin) == nullptr) {
    std::fputs("\n", stdout);
    return false;
  }
  std::string word(answer, std::strcspn(answer, "\r\n"));
  for (char &c : word)
    c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  return word == "y" || word == "yes";
}

} // namespace zelreg

int zelConsoleMain(int argc, const zelsys::LPCWSTR *argv) {
  using namespace zelreg;
  // The Windows build is a 32-bit program; on the emulated machine this one
  // sees the registry views that program sees, so a command means the same
  // on both.
  zelsys::declareProcessBitness(zelsys::ProcessBitness::Bits32);
  const std::vector<std::u16string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  Command command;
  std::u16string error;
  if (!parseCommand(args, command, error))
    return fail(error);
  switch (command.operation) {
  case Operation::Query:
    return runQuery(command);
  case Operation::Add:
    return runAdd(command);
  case Operation::Delete:
    return runDelete(command);
  case Operation::Export:
    return runExport(command);
  case Operation::Import:
    return runImport(command);
  case Operation::Help:
    break;
  }
  showUsage(command.helpFor);
  return EXIT_DONE;
}
