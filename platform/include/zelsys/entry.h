//===- zelsys/entry.h - The program's entry point ------------------------===//
//
// A program links the `zelentry` library and defines zelProgramMain; the
// platform's entry point calls it with the command line as Windows hands it
// to a GUI program: the text after the program's name. On Windows that is
// wWinMain's command line; on the substitute it is the program's arguments
// joined by single spaces.
//
// A console program links `zelconsoleentry` instead and defines
// zelConsoleMain, which receives the arguments one by one as UTF-16 (on
// Windows as the wide entry point has them, on the substitute converted from
// UTF-8), argv[0] being the program. Its standard output takes UTF-8 text on
// both platforms.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "zelsys/wintypes.h"

// Defined by the program; its result is the process's exit code.
int zelProgramMain(zelsys::LPCWSTR lpCommandLine);

// Defined by a console program; its result is the process's exit code.
int zelConsoleMain(int argc, const zelsys::LPCWSTR *argv);
