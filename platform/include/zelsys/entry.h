//===- zelsys/entry.h - The program's entry point ------------------------===//
//
// A program links the `zelentry` library and defines zelProgramMain; the
// platform's entry point calls it with the command line as Windows hands it
// to a GUI program: the text after the program's name. On Windows that is
// wWinMain's command line; on the substitute it is the program's arguments
// joined by single spaces.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "zelsys/wintypes.h"

// Defined by the program; its result is the process's exit code.
int zelProgramMain(zelsys::LPCWSTR lpCommandLine);
