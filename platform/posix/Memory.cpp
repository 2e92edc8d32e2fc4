//===- Memory.cpp - Page allocation and locking on the substitute ----------===//
//
// Regions are mmap'd and tracked here, so that VirtualFree and VirtualUnlock
// can refuse what Windows refuses (a release that is not a region's base, an
// unlock of pages that were not locked). Only code that works on every Unix.
//
//===----------------------------------------------------------------------===//
#include "zelsys/memory.h"
#include "Errors.h"
#include "zelsys/kernel.h"
#include "zelsys/winconst.h"

#include <cstdint>
#include <map>
#include <mutex>
#include <set>
#include <sys/mman.h>
#include <unistd.h>

namespace zelsys {

namespace {

struct Region {
  std::size_t size;
  std::set<std::uintptr_t> lockedPages;
};

struct Regions {
  std::mutex mutex;
  std::map<std::uintptr_t, Region> byBase;
};

Regions &regions() {
  static Regions instance;
  return instance;
}

std::uintptr_t pageSize() { return static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE)); }

// The pages [first, last) that cover [address, address + size).
struct PageSpan {
  std::uintptr_t first;
  std::uintptr_t last;
};

PageSpan pagesOf(LPVOID lpAddress, SIZE_T dwSize) {
  const std::uintptr_t page = pageSize();
  const auto start = reinterpret_cast<std::uintptr_t>(lpAddress);
  return {start - start % page, (start + dwSize + page - 1) / page * page};
}

// The region holding the whole span, or null.
Region *regionHolding(Regions &table, const PageSpan &span, std::uintptr_t *pBase = nullptr) {
  auto it = table.byBase.upper_bound(span.first);
  if (it == table.byBase.begin())
    return nullptr;
  --it;
  if (span.last > it->first + it->second.size)
    return nullptr;
  if (pBase)
    *pBase = it->first;
  return &it->second;
}

bool protectionOf(DWORD flProtect, int &prot) {
  switch (flProtect) {
  case PAGE_NOACCESS:
    prot = PROT_NONE;
    return true;
  case PAGE_READONLY:
    prot = PROT_READ;
    return true;
  case PAGE_READWRITE:
    prot = PROT_READ | PROT_WRITE;
    return true;
  default:
    return false;
  }
}

LPVOID fail(DWORD dwError) {
  SetLastError(dwError);
  return nullptr;
}

LPVOID newRegion(SIZE_T dwSize, DWORD flAllocationType, int prot) {
  const std::uintptr_t page = pageSize();
  const std::size_t size = (dwSize + page - 1) / page * page;
  void *base = ::mmap(nullptr, size, (flAllocationType & MEM_COMMIT) ? prot : PROT_NONE,
                      MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (base == MAP_FAILED)
    return fail(ERROR_NOT_ENOUGH_MEMORY);
  Regions &table = regions();
  std::lock_guard<std::mutex> lock(table.mutex);
  table.byBase[reinterpret_cast<std::uintptr_t>(base)] = Region{size, {}};
  return base;
}

// Runs action on the pages covering [lpAddress, lpAddress + dwSize) with the
// region table locked; ERROR_NOACCESS when they are not all in one region.
template <class Action> BOOL onPages(LPVOID lpAddress, SIZE_T dwSize, Action &&action) {
  const PageSpan span = pagesOf(lpAddress, dwSize);
  Regions &table = regions();
  std::lock_guard<std::mutex> lock(table.mutex);
  Region *region = regionHolding(table, span);
  if (!region) {
    SetLastError(ERROR_NOACCESS);
    return FALSE;
  }
  return action(*region, span);
}

} // namespace

LPVOID VirtualAlloc(LPVOID lpAddress, SIZE_T dwSize, DWORD flAllocationType, DWORD flProtect) {
  int prot = PROT_NONE;
  if (dwSize == 0 || (flAllocationType & ~(MEM_COMMIT | MEM_RESERVE)) != 0 ||
      (flAllocationType & (MEM_COMMIT | MEM_RESERVE)) == 0 || !protectionOf(flProtect, prot))
    return fail(ERROR_INVALID_PARAMETER);
  if (lpAddress == nullptr)
    return newRegion(dwSize, flAllocationType, prot);
  // Committing pages of a reserved region; reserving at a chosen address is
  // not offered.
  const PageSpan span = pagesOf(lpAddress, dwSize);
  Regions &table = regions();
  std::lock_guard<std::mutex> lock(table.mutex);
  if ((flAllocationType & MEM_RESERVE) || !regionHolding(table, span))
    return fail(ERROR_INVALID_ADDRESS);
  if (::mprotect(reinterpret_cast<void *>(span.first), span.last - span.first, prot) != 0)
    return fail(posix::win32ErrorFromErrno(errno));
  return reinterpret_cast<LPVOID>(span.first);
}

BOOL VirtualFree(LPVOID lpAddress, SIZE_T dwSize, DWORD dwFreeType) {
  Regions &table = regions();
  std::lock_guard<std::mutex> lock(table.mutex);
  if (dwFreeType == MEM_RELEASE) {
    if (dwSize != 0) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
    }
    // Anything but a region's base is refused as a bad parameter, as Wine
    // does (the documentation names no code).
    const auto it = table.byBase.find(reinterpret_cast<std::uintptr_t>(lpAddress));
    if (it == table.byBase.end()) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
    }
    ::munmap(lpAddress, it->second.size);
    table.byBase.erase(it);
    return TRUE;
  }
  if (dwFreeType == MEM_DECOMMIT) {
    std::uintptr_t base = 0;
    Region *region = regionHolding(table, pagesOf(lpAddress, dwSize), &base);
    if (!region) {
      SetLastError(ERROR_INVALID_ADDRESS);
      return FALSE;
    }
    // Size 0 decommits from the address to the end of the region.
    const PageSpan span = dwSize ? pagesOf(lpAddress, dwSize)
                                 : PageSpan{pagesOf(lpAddress, 0).first, base + region->size};
    void *start = reinterpret_cast<void *>(span.first);
    ::madvise(start, span.last - span.first, MADV_DONTNEED);
    ::mprotect(start, span.last - span.first, PROT_NONE);
    return TRUE;
  }
  SetLastError(ERROR_INVALID_PARAMETER);
  return FALSE;
}

BOOL VirtualLock(LPVOID lpAddress, SIZE_T dwSize) {
  return onPages(lpAddress, dwSize, [](Region &region, const PageSpan &span) -> BOOL {
    if (::mlock(reinterpret_cast<void *>(span.first), span.last - span.first) != 0) {
      SetLastError(ERROR_WORKING_SET_QUOTA); // the lock limit of the process
      return FALSE;
    }
    for (std::uintptr_t page = span.first; page < span.last; page += pageSize())
      region.lockedPages.insert(page);
    return TRUE;
  });
}

BOOL VirtualUnlock(LPVOID lpAddress, SIZE_T dwSize) {
  return onPages(lpAddress, dwSize, [](Region &region, const PageSpan &span) -> BOOL {
    bool allLocked = true;
    for (std::uintptr_t page = span.first; page < span.last; page += pageSize())
      allLocked = region.lockedPages.erase(page) == 1 && allLocked;
    ::munlock(reinterpret_cast<void *>(span.first), span.last - span.first);
    if (!allLocked) {
      SetLastError(ERROR_NOT_LOCKED);
      return FALSE;
    }
    return TRUE;
  });
}

} // namespace zelsys
