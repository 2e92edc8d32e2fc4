// zel_wchar_string_number.cpp - CZELWCharString: numbers as text.
//
// The numeric constructors and the conversions of a 32-bit value into
// decimal, hexadecimal, binary and octal text. Digits are produced least
// significant first and reversed at the end; letters are upper case.
#include "zel_wchar_string.h"
#include "zel_wchar_string_private.h"

#include "zel_catch.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <string>
#include <system_error>

namespace {

// Assigns text to rOut and checks that all of it arrived (a failed
// assignment is logged by the string and leaves rOut as it was).
bool assignChecked(CZELWCharString &rOut, const std::u16string &text) {
  rOut = text.c_str();
  return rOut.getLength() == text.size();
}

// The digit for a value below 16: '0'-'9', then 'A'-'F'.
ZEL_USHORT digitFor(ZEL_ULONG ulDigit) {
  ZEL_USHORT usChar = 0;
  if (CZELWCharString::convertDigitToAscii(usChar, ulDigit))
    return usChar;
  return static_cast<ZEL_USHORT>(u'A' + (ulDigit - 10));
}

// ulValue in the base 2^ulBitsPerDigit, cut or zero-padded to ulWidth digits
// when ulWidth is not 0, with pszPrefix in front when bPrefix is set.
bool convertPowerOfTwo(CZELWCharString &rOut, ZEL_ULONG ulValue, ZEL_ULONG ulBitsPerDigit,
                       ZEL_ULONG ulWidth, bool bPrefix, const ZEL_USHORT *pszPrefix) {
  return zelAbsorb(ZEL_SOURCE, __LINE__, CZELErrorSource::esErrno, [&] {
    // The string counts its storage, terminator included, in 32 bits.
    if (ulWidth > std::numeric_limits<ZEL_ULONG>::max() - 3)
      raiseBadArg(u"ulWidth", u"width is too large for a string", __LINE__);
    const ZEL_ULONG ulMask = (ZEL_ULONG{1} << ulBitsPerDigit) - 1;
    std::u16string digits;
    do {
      digits += digitFor(ulValue & ulMask);
      ulValue >>= ulBitsPerDigit;
    } while (ulValue != 0);
    if (ulWidth != 0) {
      if (digits.size() > ulWidth)
        digits.resize(ulWidth); // the lowest ulWidth digits come first here
      else
        digits.append(ulWidth - digits.size(), u'0');
    }
    std::reverse(digits.begin(), digits.end());
    if (bPrefix)
      digits.insert(0, pszPrefix);
    return assignChecked(rOut, digits);
  });
}

} // namespace

// ---- Constructors ------------------------------------------------------------

CZELWCharString::CZELWCharString(ZEL_LONG lValue) : CZELBuffer<ZEL_USHORT>(0) {
  if (!convertLongToDecString(*this, lValue))
    throw CZELBufferInitException(ZEL_SOURCE, __LINE__, true);
}

CZELWCharString::CZELWCharString(ZEL_LONG lValue, ZEL_ULONG asNumberSystem, ZEL_ULONG ulWidth,
                                 bool bPrefix)
    : CZELBuffer<ZEL_USHORT>(0) {
  const bool bOk = zelTranslate<CZELBufferInitException>(
      ZEL_SOURCE, __LINE__, CZELErrorSource::esErrno,
      [&] {
        switch (asNumberSystem) {
        case nsHex:
          return convertLongToHexString(*this, lValue, ulWidth, bPrefix);
        case nsBin:
          return convertLongToBinString(*this, lValue, ulWidth, bPrefix);
        case nsOct:
          return convertLongToOctString(*this, lValue, ulWidth, bPrefix);
        case nsDec:
          return convertLongToDecString(*this, lValue);
        default:
          raiseBadArg(u"asNumberSystem", u"mode isn't supported, must be hex,bin,or oct", __LINE__);
        }
      },
      ZEL_SOURCE, static_cast<ZEL_ULONG>(__LINE__), true);
  if (!bOk)
    throw CZELBufferInitException(ZEL_SOURCE, __LINE__, true);
}

// The fraction is cut, never rounded, to usPrecision digits. The digits are
// taken from the shortest decimal text that reads back as the same double,
// not from the binary value scaled by a power of ten: 0.29 is stored as
// 0.28999..., and scaling would print it as "0.28". Working on text also
// keeps the result independent of the platform's floating-point registers.
CZELWCharString::CZELWCharString(double dValue, ZEL_USHORT usPrecision)
    : CZELBuffer<ZEL_USHORT>(0) {
  const bool bOk = zelTranslate<CZELBufferInitException>(
      ZEL_SOURCE, __LINE__, CZELErrorSource::esErrno,
      [&] {
        if (usPrecision > 10)
          raiseBadArg(u"usPrecision",
                      u"precision can't be larger than 10 - will cause buffer underflow", __LINE__);
        const double dInteger = std::trunc(dValue);
        // The integer part is printed as a signed 32-bit value; anything
        // else (infinities and NaN too) has no text here.
        if (!(dInteger >= -2147483648.0 && dInteger <= 2147483647.0))
          raiseBadArg(u"dValue", u"integer part must fit a signed 32-bit value", __LINE__);

        std::u16string text;
        if (dValue < 0 && dValue > -1)
          text += u'-'; // the integer text "0" carries no sign of its own
        CZELWCharString integerText;
        if (!convertLongToDecString(integerText, static_cast<ZEL_LONG>(dInteger)))
          return false;
        text.append(integerText.getBuffer(), integerText.getLength());

        if (usPrecision > 0) {
          // Fixed notation of |x| below 2^31 needs at most a few hundred
          // characters (the smallest subnormal has 323 zeros after the point).
          char szFixed[512];
          const std::to_chars_result converted = std::to_chars(
              szFixed, szFixed + sizeof(szFixed), std::fabs(dValue), std::chars_format::fixed);
          if (converted.ec != std::errc())
            return false;
          const char *pPoint = std::find(szFixed, converted.ptr, '.');
          const char *pFraction = pPoint == converted.ptr ? converted.ptr : pPoint + 1;
          const std::size_t uAvailable = static_cast<std::size_t>(converted.ptr - pFraction);
          const std::size_t uTaken = std::min<std::size_t>(uAvailable, usPrecision);
          std::u16string fraction(pFraction, pFraction + uTaken);
          fraction.append(usPrecision - uTaken, u'0');
          // The scaled fraction must fit an unsigned 32-bit value.
          unsigned long long ullScaled = 0;
          for (char16_t usDigit : fraction)
            ullScaled = ullScaled * 10 + static_cast<unsigned long long>(usDigit - u'0');
          if (ullScaled > 4294967295ULL)
            return false;
          text += u'.';
          text += fraction;
        }
        return assignChecked(*this, text);
      },
      ZEL_SOURCE, static_cast<ZEL_ULONG>(__LINE__), true);
  if (!bOk)
    throw CZELBufferInitException(ZEL_SOURCE, __LINE__, true);
}

// ---- Conversions ----------------------------------------------------------------

bool CZELWCharString::convertLongToDecString(CZELWCharString &out, ZEL_LONG lValue) {
  return zelAbsorb(ZEL_SOURCE, __LINE__, CZELErrorSource::esErrno, [&] {
    // The magnitude in unsigned arithmetic: the most negative value has no
    // positive counterpart in 32 signed bits.
    ZEL_ULONG ulMagnitude =
        lValue < 0 ? ZEL_ULONG{0} - static_cast<ZEL_ULONG>(lValue) : static_cast<ZEL_ULONG>(lValue);
    std::u16string digits;
    do {
      digits += digitFor(ulMagnitude % 10);
      ulMagnitude /= 10;
    } while (ulMagnitude != 0);
    if (lValue < 0)
      digits += u'-';
    std::reverse(digits.begin(), digits.end());
    return assignChecked(out, digits);
  });
}

bool CZELWCharString::convertLongToHexString(CZELWCharString &out, ZEL_LONG lValue,
                                             ZEL_ULONG ulWidth, bool bPrefix) {
  return convertPowerOfTwo(out, static_cast<ZEL_ULONG>(lValue), 4, ulWidth, bPrefix, u"0x");
}

bool CZELWCharString::convertLongToBinString(CZELWCharString &out, ZEL_LONG lValue,
                                             ZEL_ULONG ulWidth, bool bPrefix) {
  return convertPowerOfTwo(out, static_cast<ZEL_ULONG>(lValue), 1, ulWidth, bPrefix, u"0b");
}

bool CZELWCharString::convertLongToOctString(CZELWCharString &out, ZEL_LONG lValue,
                                             ZEL_ULONG ulWidth, bool bPrefix) {
  return convertPowerOfTwo(out, static_cast<ZEL_ULONG>(lValue), 3, ulWidth, bPrefix, u"0o");
}

bool CZELWCharString::convertDigitToAscii(ZEL_USHORT &usChar, ZEL_ULONG ulDigit) {
  if (ulDigit > 9)
    return false;
  usChar = static_cast<ZEL_USHORT>(u'0' + ulDigit);
  return true;
}
