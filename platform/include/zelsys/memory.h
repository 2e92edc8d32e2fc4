//===- zelsys/memory.h - Page allocation and locking -----------------------===//
//
// Whole pages from the system's page allocator, locked against paging, as
// the secure buffer keeps its contents.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "zelsys/wintypes.h"

namespace zelsys {

// Reserves and/or commits pages. With a null address a new region is made;
// with an address inside a reserved region, MEM_COMMIT commits its pages.
LPVOID VirtualAlloc(LPVOID lpAddress, SIZE_T dwSize, DWORD flAllocationType, DWORD flProtect);
// MEM_RELEASE (with size 0 and the region's base) or MEM_DECOMMIT.
BOOL VirtualFree(LPVOID lpAddress, SIZE_T dwSize, DWORD dwFreeType);
BOOL VirtualLock(LPVOID lpAddress, SIZE_T dwSize);
BOOL VirtualUnlock(LPVOID lpAddress, SIZE_T dwSize);

} // namespace zelsys
