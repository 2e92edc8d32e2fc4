// zelreg_operations.h - the five operations of zelreg on the registry and
// the console they answer on. Each returns the process's exit code.
#pragma once

#include "zelreg_command.h"

#include <string>

namespace zelreg {

enum ExitCode : int {
  EXIT_DONE = 0,      // done; query printed what it found
  EXIT_FAILED = 1,    // an error, reported on standard error
  EXIT_CANCELLED = 2, // a question was not answered "yes": nothing changed
};

int runQuery(const Command &command);
int runAdd(const Command &command);
int runDelete(const Command &command);
int runExport(const Command &command);
int runImport(const Command &command);

// ---- The console (zelreg.cpp) ----------------------------------------------
// One line on standard output, as UTF-8.
void say(const std::u16string &line);
// "ERROR: " and the reason on standard error; returns EXIT_FAILED.
int fail(const std::u16string &reason);
// Asks on standard output and reads one line of standard input: true only
// for "y" or "yes" (any case); the end of input is a no.
bool confirm(const std::u16string &question);

} // namespace zelreg
