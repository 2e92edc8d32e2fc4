// test_memory.cpp - conformance of page allocation and locking.
#include "zel_test_support.h"
#include "zelsys/kernel.h"
#include "zelsys/memory.h"
#include "zelsys/winconst.h"

#include <cstdint>

using namespace zelsys;

TEST(VirtualAlloc, GivesZeroedWritablePagesThatLockAndRelease) {
  SetLastError(0xdeadbeef);
  auto *pBytes = static_cast<unsigned char *>(
      VirtualAlloc(nullptr, 100, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
  ASSERT_NE(pBytes, nullptr);
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(pBytes) % 4096, 0u) << "pages are page-aligned";
  bool zeroed = true;
  for (int i = 0; i < 4096; ++i) // the whole page belongs to the caller
    zeroed = zeroed && pBytes[i] == 0;
  EXPECT_TRUE(zeroed);
  pBytes[4095] = 0x5A;

  EXPECT_TRUE(VirtualLock(pBytes, 100));
  EXPECT_TRUE(VirtualUnlock(pBytes, 100));
  SetLastError(0xdeadbeef);
  const BOOL unlockedAgain = VirtualUnlock(pBytes, 100);
  ZEL_EXPECT_GAP_ON_WINE(!unlockedAgain && GetLastError() == ERROR_NOT_LOCKED,
                         "unlocking pages that are not locked succeeds");

  SetLastError(0xdeadbeef);
  EXPECT_FALSE(VirtualFree(pBytes, 100, MEM_RELEASE)) << "a release takes size 0";
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  SetLastError(0xdeadbeef);
  EXPECT_FALSE(VirtualFree(pBytes + 4096 * 16, 0, MEM_RELEASE)) << "not a region's base";
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_TRUE(VirtualFree(pBytes, 0, MEM_RELEASE));
}

TEST(VirtualAlloc, RefusesBadArguments) {
  struct Case {
    SIZE_T size;
    DWORD type;
    DWORD protect;
  };
  const Case cases[] = {
      {0, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE},
      {100, 0, PAGE_READWRITE},
      {100, MEM_RESERVE | MEM_COMMIT, 0},
  };
  for (std::size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
    SetLastError(0xdeadbeef);
    EXPECT_EQ(VirtualAlloc(nullptr, cases[i].size, cases[i].type, cases[i].protect), nullptr)
        << "case " << i;
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER) << "case " << i;
  }
}

TEST(VirtualAlloc, CommitsPagesOfAReservedRegion) {
  auto *pBase =
      static_cast<unsigned char *>(VirtualAlloc(nullptr, 3 * 4096, MEM_RESERVE, PAGE_NOACCESS));
  ASSERT_NE(pBase, nullptr);
  auto *pPage =
      static_cast<unsigned char *>(VirtualAlloc(pBase + 4096 + 10, 20, MEM_COMMIT, PAGE_READWRITE));
  EXPECT_EQ(pPage, pBase + 4096) << "the committed page's start";
  if (pPage) {
    pPage[0] = 1;
    EXPECT_EQ(pPage[0], 1);
  }
  EXPECT_TRUE(VirtualFree(pBase + 4096, 4096, MEM_DECOMMIT));
  EXPECT_TRUE(VirtualFree(pBase, 0, MEM_RELEASE));
}
