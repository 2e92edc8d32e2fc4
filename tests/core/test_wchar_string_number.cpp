// test_wchar_string_number.cpp - CZELWCharString: numbers as text.
#include "zel_exceptions.h"
#include "zel_test_support.h"
#include "zel_wchar_string.h"

#include <cmath>
#include <string>
#include <vector>

namespace {

std::u16string textOf(const CZELWCharString &s) {
  return s.isValid() ? std::u16string(s.getBuffer(), s.getLength()) : std::u16string();
}

const std::u16string BUFFER_INIT_FAILED = u"Unable to initialize CZELBuffer";

enum Base { kHex, kBin, kOct };

struct RadixCase {
  Base base;
  ZEL_LONG value;
  ZEL_ULONG width;
  bool prefix;
  const char16_t *expected;
};

bool convert(Base base, CZELWCharString &out, ZEL_LONG value, ZEL_ULONG width, bool prefix) {
  switch (base) {
  case kHex:
    return CZELWCharString::convertLongToHexString(out, value, width, prefix);
  case kBin:
    return CZELWCharString::convertLongToBinString(out, value, width, prefix);
  case kOct:
    return CZELWCharString::convertLongToOctString(out, value, width, prefix);
  }
  return false;
}

} // namespace

TEST(WCharStringNumber, DecimalTextCoversSignZeroAndTheExtremes) {
  const std::vector<std::pair<ZEL_LONG, const char16_t *>> cases = {
      {0, u"0"},
      {7, u"7"},
      {-42, u"-42"},
      {1000000, u"1000000"},
      {2147483647, u"2147483647"},
      {-2147483647 - 1, u"-2147483648"},
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    CZELWCharString out;
    EXPECT_TRUE(CZELWCharString::convertLongToDecString(out, cases[i].first)) << "case " << i;
    EXPECT_EQ(textOf(out), cases[i].second) << "case " << i;
    EXPECT_EQ(out.getSize(), out.getLength() + 1) << "case " << i << ": storage not tight";
    EXPECT_EQ(textOf(CZELWCharString(cases[i].first)), cases[i].second) << "case " << i;
  }
}

TEST(WCharStringNumber, RadixTextPadsCutsAndPrefixes) {
  const std::vector<RadixCase> cases = {
      {kHex, 255, 4, true, u"0x00FF"},
      {kHex, 255, 1, false, u"F"},      // only the lowest digit is kept
      {kHex, 0x1234, 2, true, u"0x34"}, // the prefix comes after the cut
      {kHex, 0, 0, false, u"0"},
      {kHex, -1, 0, false, u"FFFFFFFF"},
      {kHex, -2147483647 - 1, 0, true, u"0x80000000"},
      {kHex, 0xABCDEF, 0, false, u"ABCDEF"},
      {kBin, 5, 0, false, u"101"},
      {kBin, 5, 8, true, u"0b00000101"},
      {kBin, 0, 3, false, u"000"},
      {kBin, -1, 0, false, u"11111111111111111111111111111111"},
      {kOct, 8, 0, true, u"0o10"},
      {kOct, 511, 2, false, u"77"},
      {kOct, -1, 0, false, u"37777777777"},
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const RadixCase &c = cases[i];
    CZELWCharString out;
    EXPECT_TRUE(convert(c.base, out, c.value, c.width, c.prefix)) << "case " << i;
    EXPECT_EQ(textOf(out), c.expected) << "case " << i << ": " << zeltest::narrow(textOf(out));
  }
}

TEST(WCharStringNumber, SystemConstructorChoosesTheConversion) {
  EXPECT_EQ(textOf(CZELWCharString(255, CZELWCharString::nsHex, 4, true)), u"0x00FF");
  EXPECT_EQ(textOf(CZELWCharString(5, CZELWCharString::nsBin, 0, true)), u"0b101");
  EXPECT_EQ(textOf(CZELWCharString(8, CZELWCharString::nsOct, 3, false)), u"010");
  // Decimal ignores width and prefix.
  EXPECT_EQ(textOf(CZELWCharString(-12, CZELWCharString::nsDec, 6, true)), u"-12");
}

TEST(WCharStringNumber, SystemConstructorRejectsOtherSystems) {
  for (ZEL_ULONG system : {0u, 3u, 16u /* nsReal */, 32u}) {
    zeltest::RecordingSink sink;
    bool thrown = false;
    try {
      CZELWCharString s(1, system, 0, false);
    } catch (CZELBufferInitException &) {
      thrown = true;
    }
    EXPECT_TRUE(thrown) << "system " << system;
    EXPECT_EQ(sink.countMessage(u"A bad argument was provided ( asNumberSystem ). mode isn't "
                                u"supported, must be hex,bin,or oct"),
              1u)
        << "system " << system;
    EXPECT_GE(sink.countMessage(BUFFER_INIT_FAILED), 1u) << "system " << system;
  }
}

TEST(WCharStringNumber, DigitToAsciiTakesDecimalDigitsOnly) {
  ZEL_USHORT ch = u'?';
  EXPECT_TRUE(CZELWCharString::convertDigitToAscii(ch, 9));
  EXPECT_EQ(ch, u'9');
  EXPECT_FALSE(CZELWCharString::convertDigitToAscii(ch, 10));
  EXPECT_EQ(ch, u'9') << "output written on failure";
}

TEST(WCharStringNumber, DoubleTextTruncatesToThePrecision) {
  struct DoubleCase {
    double value;
    ZEL_USHORT precision;
    const char16_t *expected;
  };
  const std::vector<DoubleCase> cases = {
      {2.999, 2, u"2.99"},  // cut, not rounded
      {1.05, 2, u"1.05"},   // leading zero of the fraction kept
      {7.0, 0, u"7"},       // no fraction text at all
      {7.0, 3, u"7.000"},   // a zero fraction still shows its digits
      {-0.5, 1, u"-0.5"},   // the sign of a value between -1 and 0
      {-2.25, 2, u"-2.25"}, // the sign from the integer text
      {-0.0, 1, u"0.0"},    // negative zero is not below zero
      {0.5, 3, u"0.500"},
      {0.29, 2, u"0.29"}, // stored as 0.28999...; the digits are the decimal ones
      {4.35, 2, u"4.35"},
      {0.001, 2, u"0.00"},
      {123.125, 10, u"123.1250000000"},
      {2147483647.0, 0, u"2147483647"},
      {-2147483648.5, 1, u"-2147483648.5"},
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const CZELWCharString s(cases[i].value, cases[i].precision);
    EXPECT_EQ(textOf(s), cases[i].expected) << "case " << i << ": " << zeltest::narrow(textOf(s));
  }
}

TEST(WCharStringNumber, DoubleConstructorThrowsForWhatItCannotPrint) {
  zeltest::RecordingSink sink;
  EXPECT_THROW(CZELWCharString(3.25, 11), CZELBufferInitException);
  EXPECT_EQ(sink.countMessage(u"A bad argument was provided ( usPrecision ). precision can't be "
                              u"larger than 10 - will cause buffer underflow"),
            1u);
  // A fraction scaled past 32 bits.
  EXPECT_THROW(CZELWCharString(0.5, 10), CZELBufferInitException);
  EXPECT_THROW(CZELWCharString(123.456, 10), CZELBufferInitException);
  EXPECT_EQ(textOf(CZELWCharString(0.25, 10)), u"0.2500000000");
  // Integer parts beyond 32 bits, and values that are no numbers.
  for (double value : {2147483648.0, -2147483649.0, 1e300, HUGE_VAL, -HUGE_VAL, std::nan("")})
    EXPECT_THROW(CZELWCharString(value, 2), CZELBufferInitException) << value;
}
