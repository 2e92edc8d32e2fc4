// test_environment.cpp - conformance of reading and writing the process
// environment.
#include "zel_test_support.h"
#include "zelsys/environment.h"
#include "zelsys/kernel.h"
#include "zelsys/winconst.h"

#include <algorithm>
#include <iterator>
#include <string>

using namespace zelsys;

namespace {

const char16_t *const TEST_NAMES[] = {u"ZelEnvTestOne", u"ZelEnvTestTwo", u"ZelEnvTestGone",
                                      u"ZelEnvTest"};
constexpr WCHAR PATTERN = 0xABCD;

// Every variable a test uses is removed before and after it.
class Environment : public ::testing::Test {
protected:
  void SetUp() override { removeAll(); }
  void TearDown() override { removeAll(); }
  static void removeAll() {
    for (const char16_t *pszName : TEST_NAMES)
      SetEnvironmentVariableW(pszName, nullptr);
  }
};

template <std::size_t N> void fillPattern(WCHAR (&buffer)[N]) {
  std::fill(std::begin(buffer), std::end(buffer), PATTERN);
}

// Units from 'from' on still hold the pattern.
template <std::size_t N> bool untouchedFrom(const WCHAR (&buffer)[N], std::size_t from) {
  return std::all_of(buffer + from, buffer + N, [](WCHAR unit) { return unit == PATTERN; });
}

} // namespace

TEST_F(Environment, ValueReadsBackWithItsLengthAndTerminator) {
  ASSERT_TRUE(SetEnvironmentVariableW(u"ZelEnvTestOne", u"caf\u00e9 \u20ac 1"));
  WCHAR buffer[32];
  fillPattern(buffer);
  SetLastError(0xdeadbeef);
  EXPECT_EQ(GetEnvironmentVariableW(u"ZelEnvTestOne", buffer, 32), 8u);
  EXPECT_EQ(std::u16string(buffer), u"caf\u00e9 \u20ac 1") << "non-ASCII text survives";
  EXPECT_TRUE(untouchedFrom(buffer, 9)) << "nothing written after the terminator";
}

TEST_F(Environment, NamesMatchWhateverTheirCase) {
  ASSERT_TRUE(SetEnvironmentVariableW(u"ZelEnvTestOne", u"first"));
  WCHAR buffer[16];
  EXPECT_EQ(GetEnvironmentVariableW(u"ZELENVTESTONE", buffer, 16), 5u);
  EXPECT_EQ(std::u16string(buffer), u"first");

  // Setting under another spelling replaces the one variable.
  ASSERT_TRUE(SetEnvironmentVariableW(u"zelenvtestone", u"second"));
  EXPECT_EQ(GetEnvironmentVariableW(u"ZelEnvTestOne", buffer, 16), 6u);
  EXPECT_EQ(std::u16string(buffer), u"second");
  ASSERT_TRUE(SetEnvironmentVariableW(u"ZELENVTESTONE", nullptr));
  SetLastError(0xdeadbeef);
  EXPECT_EQ(GetEnvironmentVariableW(u"zelEnvTestOne", buffer, 16), 0u) << "every spelling is gone";
  EXPECT_EQ(GetLastError(), ERROR_ENVVAR_NOT_FOUND);
}

TEST_F(Environment, ShortBufferReportsTheSizeNeededWithoutOverrun) {
  ASSERT_TRUE(SetEnvironmentVariableW(u"ZelEnvTestOne", u"abcdef"));
  struct Case {
    DWORD size;
    DWORD expected;
  };
  // Six units need seven with the terminator; seven is the first that fits.
  const Case cases[] = {{0, 7}, {1, 7}, {4, 7}, {6, 7}, {7, 6}};
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    WCHAR buffer[16];
    fillPattern(buffer);
    EXPECT_EQ(GetEnvironmentVariableW(u"ZelEnvTestOne", buffer, cases[i].size), cases[i].expected)
        << "case " << i;
    EXPECT_TRUE(untouchedFrom(buffer, cases[i].size)) << "case " << i;
  }
  EXPECT_EQ(GetEnvironmentVariableW(u"ZelEnvTestOne", nullptr, 0), 7u) << "a size query";
}

TEST_F(Environment, ValueBeyondTheLargestBufferStillReportsItsSize) {
  // Longer than the 32767 units Windows documents as a variable's limit; if
  // the system takes it at all, a read into the largest buffer must not
  // pretend that it fit.
  const std::u16string value(32800, u'v');
  if (!SetEnvironmentVariableW(u"ZelEnvTestOne", value.c_str()))
    return;
  std::u16string buffer(32767, PATTERN);
  const DWORD length = GetEnvironmentVariableW(u"ZelEnvTestOne", buffer.data(), 32767);
  ZEL_EXPECT_GAP_ON_WINE(length == 32801, "the value is cut to fit and its cut length returned");
}

TEST_F(Environment, UnsetVariableIsNotFound) {
  WCHAR buffer[8];
  fillPattern(buffer);
  SetLastError(0xdeadbeef);
  EXPECT_EQ(GetEnvironmentVariableW(u"ZelEnvTestGone", buffer, 8), 0u);
  EXPECT_EQ(GetLastError(), ERROR_ENVVAR_NOT_FOUND);

  SetLastError(0xdeadbeef);
  EXPECT_TRUE(SetEnvironmentVariableW(u"ZelEnvTestGone", nullptr)) << "removing nothing succeeds";
}

TEST_F(Environment, EmptyValueIsSetButReadsAsZeroLength) {
  ASSERT_TRUE(SetEnvironmentVariableW(u"ZelEnvTestTwo", u""));
  WCHAR buffer[8];
  fillPattern(buffer);
  SetLastError(0xdeadbeef);
  EXPECT_EQ(GetEnvironmentVariableW(u"ZelEnvTestTwo", buffer, 8), 0u);
  EXPECT_NE(GetLastError(), ERROR_ENVVAR_NOT_FOUND) << "told apart from a variable that is not set";
  EXPECT_EQ(buffer[0], u'\0');
}

TEST_F(Environment, BadNamesAreRefused) {
  const char16_t *const names[] = {u"", u"ZelEnvTest=Two"};
  for (std::size_t i = 0; i < std::size(names); ++i) {
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(SetEnvironmentVariableW(names[i], u"x")) << "case " << i;
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER) << "case " << i;
  }
  WCHAR buffer[8];
  EXPECT_EQ(GetEnvironmentVariableW(u"ZelEnvTest", buffer, 8), 0u) << "nothing half-set";
}
