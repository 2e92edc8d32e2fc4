// test_wchar_string_parse.cpp - CZELWCharString: numbers read from text,
// number notations, character classes and case, padding.
#include "zel_test_support.h"
#include "zel_wchar_string.h"

#include <clocale>
#include <string>
#include <vector>

namespace {

std::u16string textOf(const CZELWCharString &s) {
  return s.isValid() ? std::u16string(s.getBuffer(), s.getLength()) : std::u16string();
}

std::u16string badArg(const std::u16string &argument, const std::u16string &reason) {
  return u"A bad argument was provided ( " + argument + u" ). " + reason;
}

const ZEL_LONG UNTOUCHED = 12345;
const ZEL_ULONG HEX = CZELWCharString::nsHex, BIN = CZELWCharString::nsBin,
                OCT = CZELWCharString::nsOct, DEC = CZELWCharString::nsDec;

} // namespace

TEST(WCharStringParse, ToLongReadsEachSystemAndWritesOnlyOnSuccess) {
  struct Case {
    const char16_t *text;
    ZEL_ULONG system;
    ZEL_LONG expected; // UNTOUCHED: must fail
  };
  // Saturation at both ends; a hex byte "1B" is 27, not a binary 1 with its
  // suffix; nine hex, 33 binary digits and octal beyond 32 bits are refused.
  // clang-format off
  const std::vector<Case> cases = {
      {u" 42 ", DEC, 42}, {u"\t-7\r\n", DEC, -7}, {u"-2147483648", DEC, INT32_MIN},
      {u"2147483648", DEC, INT32_MAX}, {u"99999999999999999999", DEC, INT32_MAX},
      {u"-", DEC, UNTOUCHED}, {u"4.5", DEC, UNTOUCHED}, {u"", DEC, UNTOUCHED},
      {u"0x1f", HEX, 31}, {u"1fh", HEX, 31}, {u"FFFFFFFF", HEX, -1}, {u"1B", HEX, 27},
      {u"0b", HEX, 11}, {u"123456789", HEX, UNTOUCHED}, {u"0x", HEX, UNTOUCHED},
      {u"101b", BIN, 5}, {u"0b101", BIN, 5}, {u"0b", BIN, 0},
      {u"11111111111111111111111111111111", BIN, -1},
      {u"111111111111111111111111111111111", BIN, UNTOUCHED},
      {u"17o", OCT, 15}, {u"37777777777", OCT, -1}, {u"40000000000", OCT, UNTOUCHED},
      {u"777777777777", OCT, UNTOUCHED}, {u"10", CZELWCharString::nsReal, UNTOUCHED}};
  // clang-format on
  for (std::size_t i = 0; i < cases.size(); ++i) {
    ZEL_LONG value = UNTOUCHED;
    EXPECT_EQ(CZELWCharString(cases[i].text).toLong(value, cases[i].system),
              cases[i].expected != UNTOUCHED)
        << "case " << i;
    EXPECT_EQ(value, cases[i].expected) << "case " << i;
  }
}

TEST(WCharStringParse, TooManyDigitsIsALoggedArgumentError) {
  zeltest::RecordingSink sink;
  ZEL_LONG value = 0;
  EXPECT_FALSE(CZELWCharString(u"123456789").convertHexToLong(value));
  EXPECT_FALSE(CZELWCharString(u"0b111111111111111111111111111111111").convertBinaryToLong(value));
  EXPECT_FALSE(CZELWCharString(u"1234567012345").convertOctalToLong(value));
  EXPECT_FALSE(CZELWCharString(u"0xZZ").convertHexToLong(value)); // not a number: no entry
  for (const char16_t *system : {u"hex", u"binary", u"octal"})
    EXPECT_EQ(sink.countMessage(badArg(u"this string", u"too many " + std::u16string(system) +
                                                           u" digits in string - will overflow "
                                                           u"unsigned long value")),
              1u)
        << zeltest::narrow(system);
  EXPECT_EQ(sink.count(), 3u);
}

TEST(WCharStringParse, NumberSystemFollowsTheDeclaredNotationsFirst) {
  const std::vector<std::pair<const char16_t *, ZEL_ULONG>> cases = {
      {u"0x10", HEX}, {u"10", DEC},   {u"-3.5", CZELWCharString::nsReal},
      {u"hello", 0},  {u"1A", HEX},   {u"101b", BIN},
      {u"1b", BIN},   {u"0o7", OCT},  {u"7O", OCT},
      {u"ffh", HEX},  {u".5", 0},     {u"5.", 0},
      {u"1.2.3", 0},  {u"-", 0},      {u"", 0},
      {u"-1A", 0},    {u"0b12", HEX}, {u"\u0661", 0}, // a non-ASCII digit
  };
  for (const auto &[text, system] : cases)
    EXPECT_EQ(CZELWCharString(text).getNumberSystem(), system) << zeltest::narrow(text);
}

TEST(WCharStringParse, ToDoubleIgnoresPaddingAndTheLocale) {
  // A locale whose decimal separator is ',' must not change the result.
  for (const char *name : {"de_DE.UTF-8", "de_DE.utf8", "German_Germany.1252"})
    if (std::setlocale(LC_NUMERIC, name) != nullptr)
      break;
  const std::vector<std::pair<const char16_t *, double>> cases = {
      {u"-3.5", -3.5}, {u" 2.25\r\n", 2.25}, {u"10", 10.0}, {u"0x10", 16.0}, {u"101b", 5.0},
  };
  for (const auto &[text, expected] : cases) {
    double value = 0;
    EXPECT_TRUE(CZELWCharString(text).toDouble(value)) << zeltest::narrow(text);
    EXPECT_EQ(value, expected) << zeltest::narrow(text);
  }
  for (const char16_t *text : {u"hello", u"1.2.3", u"1,5", u""}) {
    double value = 7.0;
    EXPECT_FALSE(CZELWCharString(text).toDouble(value)) << zeltest::narrow(text);
    EXPECT_EQ(value, 7.0) << zeltest::narrow(text);
  }
  std::setlocale(LC_NUMERIC, "C");
}

TEST(WCharStringParse, RemoveNumberIdentifierStripsOnlyADeclaredNotation) {
  const std::vector<std::pair<const char16_t *, const char16_t *>> cases = {
      {u"0x1F", u"1F"}, {u"1fH", u"1f"},  {u"0B1", u"1"}, {u"1b", u"1"}, {u"0o7", u"7"},
      {u"12", nullptr}, {u"0x", nullptr}, {u"", nullptr}, // nullptr: fails, unchanged
  };
  for (const auto &[text, expected] : cases) {
    CZELWCharString s(text);
    EXPECT_EQ(s.removeNumberIdentifier(), expected != nullptr) << zeltest::narrow(text);
    EXPECT_EQ(textOf(s), expected ? expected : text) << zeltest::narrow(text);
  }
}

TEST(WCharStringParse, CaseAndClassesTouchOnlyAsciiLetters) {
  CZELWCharString s(u"Ab\u00C9z1");
  EXPECT_TRUE(s.toUpper() && textOf(s) == u"AB\u00C9Z1");
  EXPECT_TRUE(s.toLower() && textOf(s) == u"ab\u00C9z1");
  EXPECT_TRUE(s.reverse() && textOf(s) == u"1z\u00C9ba");
  EXPECT_FALSE(CZELWCharString().toLower());
  EXPECT_TRUE(CZELWCharString(u"ab cd").isAlphaOnly(true));
  EXPECT_FALSE(CZELWCharString(u"ab cd").isAlphaOnly(false));
  EXPECT_FALSE(CZELWCharString(u"ab\u00E9").isAlphaOnly(true));
  EXPECT_TRUE(CZELWCharString(u"abc 1\u00C9").isLower() && CZELWCharString(u"ABC 1").isUpper());
  EXPECT_FALSE(CZELWCharString(u"abC").isLower() || CZELWCharString(u"ABc").isUpper());

  const CZELWCharString target(u"helloworld");
  EXPECT_TRUE(target.isSimilar(u" Hello World", true, true));
  EXPECT_TRUE(target.isSimilar(u"\tHELLOWORLD\r\n", true, false));
  EXPECT_FALSE(target.isSimilar(u"\tHELLOWORLD\r\n", false, true));
  EXPECT_FALSE(target.isSimilar(u"hello world", true, false));
  EXPECT_TRUE(CZELWCharString(u"  ").isSimilar(CZELWCharString(), true, false));
}

TEST(WCharStringParse, TrimPaddingCutsOnlyTheChosenEnds) {
  struct Case {
    const char16_t *text;
    ZEL_USHORT pad;
    ZEL_ULONG where, which;
    const char16_t *expected;
  };
  const std::vector<Case> cases = {
      {u"\t ab \r\n", u' ', 3, 255, u"ab"},
      {u"\t a b \r\n", u' ', 3, 255, u"a b"}, // the middle stays
      {u"**ab**", u'*', 1, 0, u"ab**"},
      {u"**ab**", u'*', 2, 0, u"**ab"},
      {u"\tab\t", u' ', 3, 1, u"\tab\t"}, // TAB not selected
      {u"\tab\v", u'*', 3, 2 | 128, u"ab"},
      {u" \t\r\n ", u' ', 3, 255, u""},
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    CZELWCharString s(cases[i].text);
    EXPECT_TRUE(s.trimPadding(cases[i].pad, cases[i].where, cases[i].which)) << "case " << i;
    EXPECT_EQ(textOf(s), cases[i].expected) << "case " << i;
    EXPECT_EQ(s.getSize(), s.isValid() ? s.getLength() + 1 : 0u) << "case " << i;
  }

  // Forward and backward, with all or only some characters selected.
  const CZELWCharString padded(u" \tab\r ");
  const std::vector<std::pair<ZEL_ULONG, ZEL_ULONG>> found = {{255, 1}, {255, 2}, {2, 1}};
  const ZEL_ULONG expected[] = {2, 3, 0};
  for (std::size_t i = 0; i < found.size(); ++i) {
    ZEL_ULONG pos = 99;
    EXPECT_TRUE(padded.getFirstNonFormatChar(found[i].first, found[i].second, pos));
    EXPECT_EQ(pos, expected[i]) << "case " << i;
  }
  ZEL_ULONG pos = 99;
  EXPECT_FALSE(CZELWCharString(u" \t").getFirstNonFormatChar(3, CZELWCharString::pmBackward, pos));
  EXPECT_FALSE(padded.getFirstNonFormatChar(255, 3, pos));
  EXPECT_EQ(pos, 99u);
}
