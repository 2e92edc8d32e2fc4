//===- Files.cpp - File calls on Windows -----------------------------------===//
//
// Thin forwarders to kernel32. Only code for Windows belongs here.
//
//===----------------------------------------------------------------------===//
#include "zelsys/files.h"
#include "WindowsSupport.h"

namespace zelsys {

BOOL DeleteFileW(LPCWSTR lpFileName) { return ::DeleteFileW(win32::wide(lpFileName)); }

} // namespace zelsys
