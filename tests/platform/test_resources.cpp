// test_resources.cpp - conformance of LoadStringW over the test program's
// own string table (test_strings.txt, built in as on each platform).
#include "zel_test_support.h"
#include "zelsys/kernel.h"
#include "zelsys/resources.h"
#include "zelsys/winconst.h"

#include <string>

using namespace zelsys;

namespace {
constexpr DWORD kUntouched = 0xdeadbeef;
constexpr char16_t kFill = 0xABCD;
} // namespace

TEST(LoadString, FindsTextsByIdAndBlock) {
  struct Case {
    UINT id;
    const char16_t *text; // null: missing
    DWORD error;          // the last error after the call
  };
  const Case cases[] = {
      {1, u"Hello, world", kUntouched},
      {2, u"Say \"hi\"\tto C:\\Temp; [100%s]\nDone", kUntouched},
      {4, u" padded ", kUntouched},
      {15, u"Last of the first block", kUntouched},
      // A block that only another language has is taken from it.
      {16, u"日本語のテキスト Grüße 😀", kUntouched},
      // Only the low 16 bits of an id count.
      {0x10001, u"Hello, world", kUntouched},
      // Ids missing from a block that exists: no error is set.
      {0, nullptr, kUntouched},
      {3, nullptr, kUntouched},
      {17, nullptr, kUntouched},
      // A block that no language has.
      {100, nullptr, ERROR_RESOURCE_NAME_NOT_FOUND},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const Case &c = cases[i];
    const std::u16string expected = zeltest::text(c.text);
    WCHAR buffer[64];
    std::fill(std::begin(buffer), std::end(buffer), kFill);
    SetLastError(kUntouched);
    const INT length = LoadStringW(nullptr, c.id, buffer, 64);
    EXPECT_EQ(length, static_cast<INT>(expected.size())) << "case " << i;
    EXPECT_EQ(std::u16string(buffer), expected) << "case " << i << ": " << zeltest::narrow(buffer);
    EXPECT_EQ(GetLastError(), c.error) << "case " << i;
  }
}

TEST(LoadString, CutsToTheBufferAndTerminates) {
  for (const INT size : {6, 2, 1}) {
    WCHAR buffer[8];
    std::fill(std::begin(buffer), std::end(buffer), kFill);
    EXPECT_EQ(LoadStringW(nullptr, 1, buffer, size), size - 1) << "size " << size;
    EXPECT_EQ(std::u16string(buffer), std::u16string(u"Hello, world", size - 1)) << "size " << size;
    EXPECT_EQ(buffer[size], kFill) << "wrote past the buffer of " << size;
  }
}

TEST(LoadString, ZeroSizeGivesAPointerIntoTheTable) {
  const char16_t *pText = nullptr;
  EXPECT_EQ(LoadStringW(nullptr, 15, reinterpret_cast<LPWSTR>(&pText), 0), 23);
  ASSERT_NE(pText, nullptr);
  EXPECT_EQ(std::u16string(pText, 23), u"Last of the first block");

  pText = nullptr;
  SetLastError(kUntouched);
  EXPECT_EQ(LoadStringW(nullptr, 100, reinterpret_cast<LPWSTR>(&pText), 0), 0);
  EXPECT_EQ(pText, nullptr);
  EXPECT_EQ(GetLastError(), ERROR_RESOURCE_NAME_NOT_FOUND);
}

TEST(LoadString, RefusesANullBufferAndANegativeSize) {
  WCHAR buffer[4] = {kFill, kFill, kFill, kFill};
  SetLastError(kUntouched);
  EXPECT_EQ(LoadStringW(nullptr, 1, nullptr, 4), 0);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  SetLastError(kUntouched);
  EXPECT_EQ(LoadStringW(nullptr, 1, buffer, -1), 0);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(buffer[0], kFill);
}
