//===- Memory.cpp - Page allocation and locking on Windows -----------------===//
//
// Thin forwarders to kernel32. Only code for Windows belongs here.
//
//===----------------------------------------------------------------------===//
#include "zelsys/memory.h"
#include "WindowsSupport.h"

namespace zelsys {

LPVOID VirtualAlloc(LPVOID lpAddress, SIZE_T dwSize, DWORD flAllocationType, DWORD flProtect) {
  return ::VirtualAlloc(lpAddress, dwSize, flAllocationType, flProtect);
}

BOOL VirtualFree(LPVOID lpAddress, SIZE_T dwSize, DWORD dwFreeType) {
  return ::VirtualFree(lpAddress, dwSize, dwFreeType);
}

BOOL VirtualLock(LPVOID lpAddress, SIZE_T dwSize) { return ::VirtualLock(lpAddress, dwSize); }

BOOL VirtualUnlock(LPVOID lpAddress, SIZE_T dwSize) { return ::VirtualUnlock(lpAddress, dwSize); }

} // namespace zelsys
