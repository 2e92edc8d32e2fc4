//===- win32/Entry.cpp - wWinMain for programs built on the framework -----===//
//
// The GUI subsystem's wide entry point, handing the command line on.
//
//===----------------------------------------------------------------------===//
#include "WindowsSupport.h"

#include "zelsys/entry.h"

extern "C" int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR lpCmdLine, int) {
  return zelProgramMain(reinterpret_cast<zelsys::LPCWSTR>(lpCmdLine != nullptr ? lpCmdLine : L""));
}
