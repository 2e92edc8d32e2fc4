//===- win32/ConsoleEntry.cpp - wmain for console programs ---------------===//
//
// The console subsystem's wide entry point, handing the arguments on. While
// the program runs, a console shows its output as UTF-8, the form it writes
// on every platform; the console's own code page comes back at the end.
// Only code for Windows belongs here.
//
//===----------------------------------------------------------------------===//
#include "WindowsSupport.h"

#include "zelsys/entry.h"

#include <cstdio>
#include <vector>

extern "C" int wmain(int argc, wchar_t **argv) {
  // Without a console (output to a file or pipe) both calls fail and the
  // bytes go out unchanged.
  const UINT previous = GetConsoleOutputCP();
  const bool switched = previous != 0 && previous != CP_UTF8 && SetConsoleOutputCP(CP_UTF8);
  std::vector<zelsys::LPCWSTR> arguments;
  for (int i = 0; i < argc; ++i)
    arguments.push_back(reinterpret_cast<zelsys::LPCWSTR>(argv[i]));
  arguments.push_back(nullptr);
  const int code = zelConsoleMain(argc, arguments.data());
  std::fflush(nullptr); // before the code page changes back
  if (switched)
    SetConsoleOutputCP(previous);
  return code;
}
