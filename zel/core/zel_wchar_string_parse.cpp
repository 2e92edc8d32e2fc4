// zel_wchar_string_parse.cpp - CZELWCharString: numbers read from text,
// number notations, ASCII character classes and case, and padding.
//
// Everything here reads the UTF-16 units directly: no library routine for
// wide text is used, since the platform's wide character is not 16 bits
// everywhere. Only the text-to-double step narrows its (checked, ASCII) text
// and uses a locale-independent conversion.
#include "zel_wchar_string.h"
#include "zel_wchar_string_private.h"

#include "zel_catch.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <system_error>

namespace {

// Padding as number parsing removes it: spaces and every formatting
// character, at both ends.
const CZELFlags PAD_BOTH_ENDS(3);
const CZELFlags ALL_FORMAT_CHARS(255);

std::u16string_view viewOf(const CZELWCharString &text) {
  return text.isValid() ? std::u16string_view(text.getBuffer(), text.getLength())
                        : std::u16string_view();
}

// The units of text as a string of their own (the empty string for none).
CZELWCharString stringOf(std::u16string_view text) {
  if (text.empty())
    return CZELWCharString();
  return CZELWCharString(UnitBuffer(text.data(), static_cast<ZEL_ULONG>(text.size())));
}

bool isAsciiUpper(ZEL_USHORT usChar) { return usChar >= u'A' && usChar <= u'Z'; }
bool isAsciiLower(ZEL_USHORT usChar) { return usChar >= u'a' && usChar <= u'z'; }
bool isDecimalDigit(ZEL_USHORT usChar) { return usChar >= u'0' && usChar <= u'9'; }

ZEL_USHORT lowered(ZEL_USHORT usChar) {
  return isAsciiUpper(usChar) ? static_cast<ZEL_USHORT>(usChar + (u'a' - u'A')) : usChar;
}

ZEL_USHORT uppered(ZEL_USHORT usChar) {
  return isAsciiLower(usChar) ? static_cast<ZEL_USHORT>(usChar - (u'a' - u'A')) : usChar;
}

// The value of a digit of base 16 or below; 16 for anything else.
ZEL_ULONG digitValue(ZEL_USHORT usChar) {
  if (isDecimalDigit(usChar))
    return static_cast<ZEL_ULONG>(usChar - u'0');
  const ZEL_USHORT usLower = lowered(usChar);
  if (usLower >= u'a' && usLower <= u'f')
    return static_cast<ZEL_ULONG>(usLower - u'a' + 10);
  return 16;
}

bool allDigits(std::u16string_view text, ZEL_ULONG ulBase) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [ulBase](ZEL_USHORT usChar) {
    return digitValue(usChar) < ulBase;
  });
}

// A number system as text declares it: "0" and the prefix marker in front,
// or the suffix marker at the end (either case), around digits of the base.
struct NumberNotation {
  ZEL_USHORT usPrefixMarker;
  ZEL_USHORT usSuffixMarker;
  ZEL_ULONG ulBase;
  // More digits than this overflow 32 bits whatever they are.
  std::size_t uMaxDigits;
  const ZEL_USHORT *pszTooMany;
};

const NumberNotation HEX = {u'x', u'h', 16, 8,
                            u"too many hex digits in string - will overflow unsigned long value"};
const NumberNotation BINARY = {
    u'b', u'b', 2, 32, u"too many binary digits in string - will overflow unsigned long value"};
const NumberNotation OCTAL = {
    u'o', u'o', 8, 12, u"too many octal digits in string - will overflow unsigned long value"};

enum class Declared { None, Prefix, Suffix };

// Which form of the notation text carries. The digits without the marker
// decide, so "0b" is binary 0 written with the suffix (not an empty prefix
// form) and "1b" has a suffix although its 'b' stands at position 1.
Declared declaredForm(std::u16string_view text, const NumberNotation &notation) {
  const std::size_t uLength = text.size();
  if (uLength > 2 && text[0] == u'0' && lowered(text[1]) == notation.usPrefixMarker &&
      allDigits(text.substr(2), notation.ulBase))
    return Declared::Prefix;
  if (uLength > 1 && lowered(text[uLength - 1]) == notation.usSuffixMarker &&
      allDigits(text.substr(0, uLength - 1), notation.ulBase))
    return Declared::Suffix;
  return Declared::None;
}

std::u16string_view withoutMarker(std::u16string_view text, Declared form) {
  switch (form) {
  case Declared::Prefix:
    return text.substr(2);
  case Declared::Suffix:
    return text.substr(0, text.size() - 1);
  case Declared::None:
    break;
  }
  return text;
}

// The digits of text in the given system: the whole text when it is made of
// such digits, else what its own notation encloses. Only the notation of the
// system asked for is removed: a hex byte "1B" is 27, not a binary 1.
std::u16string_view digitsIn(std::u16string_view text, const NumberNotation &notation) {
  if (allDigits(text, notation.ulBase))
    return text;
  const Declared form = declaredForm(text, notation);
  return form == Declared::None ? std::u16string_view() : withoutMarker(text, form);
}

// Σ digit × base^k over the digits read from the last. A value that does not
// fit 32 bits is refused rather than wrapped: the digit limit alone lets
// twelve octal digits (36 bits) through.
bool digitSum(const CZELWCharString &text, const NumberNotation &notation, ZEL_LONG &lValue) {
  return zelAbsorb(ZEL_SOURCE, __LINE__, CZELErrorSource::esErrno, [&] {
    const std::u16string_view digits = digitsIn(viewOf(text), notation);
    if (digits.empty())
      return false;
    if (digits.size() > notation.uMaxDigits)
      raiseBadArg(u"this string", notation.pszTooMany, __LINE__);
    std::uint64_t ullSum = 0;
    for (ZEL_USHORT usDigit : digits)
      ullSum = ullSum * notation.ulBase + digitValue(usDigit);
    if (ullSum > UINT32_MAX)
      raiseBadArg(u"this string", notation.pszTooMany, __LINE__);
    lValue = static_cast<ZEL_LONG>(static_cast<ZEL_ULONG>(ullSum));
    return true;
  });
}

// Digits with an optional leading '-' and, when allowed, one '.' that is
// neither first nor last; at least one digit. ulPoints counts the points.
bool scanNumber(std::u16string_view text, bool bAllowSign, bool bAllowPoint, ZEL_ULONG &ulPoints) {
  bool bDigit = false;
  ulPoints = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const ZEL_USHORT usChar = text[i];
    if (isDecimalDigit(usChar))
      bDigit = true;
    else if (usChar == u'-' && i == 0 && bAllowSign)
      continue;
    else if (usChar == u'.' && bAllowPoint && ulPoints == 0 && i != 0 && i + 1 != text.size())
      ++ulPoints;
    else
      return false;
  }
  // A lone "-" is no number.
  return bDigit;
}

// Base-10 text (optional sign, then digits) as a signed 32-bit value;
// anything beyond the range saturates.
ZEL_LONG decimalValue(std::u16string_view text) {
  bool bNegative = false;
  if (!text.empty() && (text[0] == u'-' || text[0] == u'+')) {
    bNegative = text[0] == u'-';
    text.remove_prefix(1);
  }
  // The magnitude stops growing at 2^31, the largest any result needs.
  const std::uint64_t ullCap = std::uint64_t{1} << 31;
  std::uint64_t ullMagnitude = 0;
  for (ZEL_USHORT usDigit : text)
    ullMagnitude = std::min(ullMagnitude * 10 + digitValue(usDigit), ullCap);
  if (bNegative)
    return ullMagnitude == ullCap ? INT32_MIN : -static_cast<ZEL_LONG>(ullMagnitude);
  return ullMagnitude == ullCap ? INT32_MAX : static_cast<ZEL_LONG>(ullMagnitude);
}

// The text without leading and trailing spaces and formatting characters.
bool paddingTrimmed(const CZELWCharString &text, CZELWCharString &rTrimmed) {
  rTrimmed = text;
  return rTrimmed == text && rTrimmed.trimPadding(u' ', PAD_BOTH_ENDS, ALL_FORMAT_CHARS);
}

// The form isSimilar compares: lower case, padding trimmed if asked, spaces
// removed if asked.
bool similarForm(CZELWCharString &rText, bool bTrimPadding, bool bIgnoreSpaces) {
  rText.toLower();
  if (bTrimPadding && !rText.trimPadding(u' ', PAD_BOTH_ENDS, ALL_FORMAT_CHARS))
    return false;
  if (!bIgnoreSpaces)
    return true;
  std::u16string kept(viewOf(rText));
  kept.erase(std::remove(kept.begin(), kept.end(), u' '), kept.end());
  return assignChecked(rText, stringOf(kept));
}

} // namespace

// ---- Numbers from text --------------------------------------------------------------

bool CZELWCharString::toLong(ZEL_LONG &lValue, ZEL_ULONG asNumberSystem) const {
  return zelAbsorb(ZEL_SOURCE, __LINE__, CZELErrorSource::esErrno, [&] {
    CZELWCharString trimmed;
    if (!paddingTrimmed(*this, trimmed))
      return false;
    ZEL_LONG lResult = 0;
    switch (asNumberSystem) {
    case nsHex:
      if (!trimmed.convertHexToLong(lResult))
        return false;
      break;
    case nsBin:
      if (!trimmed.convertBinaryToLong(lResult))
        return false;
      break;
    case nsOct:
      if (!trimmed.convertOctalToLong(lResult))
        return false;
      break;
    case nsDec:
      if (!trimmed.isNumericalOnly(true, false))
        return false;
      lResult = decimalValue(viewOf(trimmed));
      break;
    default:
      return false;
    }
    lValue = lResult;
    return true;
  });
}

bool CZELWCharString::toDouble(double &dValue) const {
  return zelAbsorb(ZEL_SOURCE, __LINE__, CZELErrorSource::esErrno, [&] {
    // The system is judged on the trimmed text, so that padding is accepted
    // here as toLong accepts it.
    CZELWCharString trimmed;
    if (!paddingTrimmed(*this, trimmed))
      return false;
    const ZEL_ULONG ulSystem = trimmed.getNumberSystem();
    if (ulSystem != nsDec && ulSystem != nsReal) {
      ZEL_LONG lValue = 0;
      if (ulSystem == 0 || !trimmed.toLong(lValue, ulSystem))
        return false;
      dValue = lValue;
      return true;
    }
    if (!trimmed.isNumericalOnly(true, true))
      return false;
    // Only digits, '-' and '.' are left, so narrowing loses nothing, and the
    // conversion reads '.' as the point whatever the locale says.
    const std::u16string_view text = viewOf(trimmed);
    std::string narrow(text.size(), '\0');
    std::transform(text.begin(), text.end(), narrow.begin(),
                   [](ZEL_USHORT usChar) { return static_cast<char>(usChar); });
    double dResult = 0;
    const std::from_chars_result converted =
        std::from_chars(narrow.data(), narrow.data() + narrow.size(), dResult);
    if (converted.ec != std::errc() || converted.ptr != narrow.data() + narrow.size())
      return false;
    dValue = dResult;
    return true;
  });
}

bool CZELWCharString::convertHexToLong(ZEL_LONG &lValue) const {
  return digitSum(*this, HEX, lValue);
}

bool CZELWCharString::convertBinaryToLong(ZEL_LONG &lValue) const {
  return digitSum(*this, BINARY, lValue);
}

bool CZELWCharString::convertOctalToLong(ZEL_LONG &lValue) const {
  return digitSum(*this, OCTAL, lValue);
}

bool CZELWCharString::removeNumberIdentifier() {
  return zelAbsorb(ZEL_SOURCE, __LINE__, CZELErrorSource::esErrno, [&] {
    const std::u16string_view text = viewOf(*this);
    for (const NumberNotation *pNotation : {&BINARY, &OCTAL, &HEX}) {
      const Declared form = declaredForm(text, *pNotation);
      if (form != Declared::None)
        return assignChecked(*this, stringOf(withoutMarker(text, form)));
    }
    return false;
  });
}

// ---- Number recognition --------------------------------------------------------------

bool CZELWCharString::couldBeBin() const { return allDigits(viewOf(*this), 2); }
bool CZELWCharString::couldBeOct() const { return allDigits(viewOf(*this), 8); }
bool CZELWCharString::couldBeHex() const { return allDigits(viewOf(*this), 16); }
bool CZELWCharString::couldBeDec() const { return isNumericalOnly(true, false); }

bool CZELWCharString::isDeclaredBinary() const {
  return declaredForm(viewOf(*this), BINARY) != Declared::None;
}

bool CZELWCharString::isDeclaredHex() const {
  return declaredForm(viewOf(*this), HEX) != Declared::None;
}

bool CZELWCharString::isDeclaredOctal() const {
  return declaredForm(viewOf(*this), OCTAL) != Declared::None;
}

bool CZELWCharString::isBinaryCompatible() const { return couldBeBin() || isDeclaredBinary(); }
bool CZELWCharString::isHexCompatible() const { return couldBeHex() || isDeclaredHex(); }
bool CZELWCharString::isOctalCompatible() const { return couldBeOct() || isDeclaredOctal(); }

bool CZELWCharString::isNumericalOnly(bool bAllowSign, bool bAllowPoint) const {
  ZEL_ULONG ulPoints = 0;
  return scanNumber(viewOf(*this), bAllowSign, bAllowPoint, ulPoints);
}

bool CZELWCharString::isReal(bool bAllowSign) const {
  ZEL_ULONG ulPoints = 0;
  return scanNumber(viewOf(*this), bAllowSign, true, ulPoints) && ulPoints == 1;
}

// Declared notations first, so "0x10" is hex; plain digits are decimal
// before they are hex, so "101" is decimal and "1A" hex.
ZEL_ULONG CZELWCharString::getNumberSystem() const {
  if (isDeclaredHex())
    return nsHex;
  if (isDeclaredBinary())
    return nsBin;
  if (isDeclaredOctal())
    return nsOct;
  if (isNumericalOnly(true, false))
    return nsDec;
  if (isHexCompatible())
    return nsHex;
  if (isReal(true))
    return nsReal;
  return 0;
}

// ---- Character classes and case ---------------------------------------------------------

bool CZELWCharString::toLower() {
  const ZEL_ULONG ulLength = getLength();
  if (ulLength == 0)
    return false;
  std::transform(m_pBuffer, m_pBuffer + ulLength, m_pBuffer, lowered);
  return true;
}

bool CZELWCharString::toUpper() {
  const ZEL_ULONG ulLength = getLength();
  if (ulLength == 0)
    return false;
  std::transform(m_pBuffer, m_pBuffer + ulLength, m_pBuffer, uppered);
  return true;
}

bool CZELWCharString::isAlphaOnly(bool bAllowSpaces) const {
  const std::u16string_view text = viewOf(*this);
  return !text.empty() && std::all_of(text.begin(), text.end(), [bAllowSpaces](ZEL_USHORT usChar) {
    return isAsciiUpper(usChar) || isAsciiLower(usChar) || (bAllowSpaces && usChar == u' ');
  });
}

bool CZELWCharString::isLower() const {
  const std::u16string_view text = viewOf(*this);
  return !text.empty() && std::none_of(text.begin(), text.end(), isAsciiUpper);
}

bool CZELWCharString::isUpper() const {
  const std::u16string_view text = viewOf(*this);
  return !text.empty() && std::none_of(text.begin(), text.end(), isAsciiLower);
}

bool CZELWCharString::isSimilar(const CZELWCharString &other, bool bTrimPadding,
                                bool bIgnoreSpaces) const {
  return zelAbsorb(ZEL_SOURCE, __LINE__, CZELErrorSource::esErrno, [&] {
    CZELWCharString mine(*this);
    CZELWCharString theirs(other);
    return similarForm(mine, bTrimPadding, bIgnoreSpaces) &&
           similarForm(theirs, bTrimPadding, bIgnoreSpaces) && mine == theirs;
  });
}

bool CZELWCharString::reverse() {
  if (isValid())
    std::reverse(m_pBuffer, m_pBuffer + getLength());
  return true;
}

// ---- Padding ------------------------------------------------------------------------------

bool CZELWCharString::getFirstNonFormatChar(const CZELFlags &trimWhich, ZEL_ULONG parseMode,
                                            ZEL_ULONG &ulPos) const {
  const std::u16string_view text = viewOf(*this);
  const ZEL_ULONG ulWhich = trimWhich.getFlags();
  const auto isContent = [ulWhich](ZEL_USHORT usChar) {
    return !isSelectedFormatChar(usChar, ulWhich);
  };
  if (parseMode == pmForward) {
    const auto found = std::find_if(text.begin(), text.end(), isContent);
    if (found == text.end())
      return false;
    ulPos = static_cast<ZEL_ULONG>(found - text.begin());
    return true;
  }
  if (parseMode == pmBackward) {
    const auto found = std::find_if(text.rbegin(), text.rend(), isContent);
    if (found == text.rend())
      return false;
    ulPos = static_cast<ZEL_ULONG>(text.rend() - found - 1);
    return true;
  }
  return false;
}

bool CZELWCharString::trimPadding(ZEL_USHORT usPadChar, const CZELFlags &trimWhere,
                                  const CZELFlags &trimWhich) {
  return zelAbsorb(ZEL_SOURCE, __LINE__, CZELErrorSource::esErrno, [&] {
    const std::u16string_view text = viewOf(*this);
    const ZEL_ULONG ulWhere = trimWhere.getFlags();
    const ZEL_ULONG ulWhich = trimWhich.getFlags();
    const auto isPadding = [&](ZEL_USHORT usChar) {
      return usChar == usPadChar || isSelectedFormatChar(usChar, ulWhich);
    };
    std::size_t uFirst = 0;
    std::size_t uEnd = text.size();
    if ((ulWhere & 2) != 0) {
      while (uEnd > 0 && isPadding(text[uEnd - 1]))
        --uEnd;
    }
    if ((ulWhere & 1) != 0) {
      while (uFirst < uEnd && isPadding(text[uFirst]))
        ++uFirst;
    }
    if (uFirst == 0 && uEnd == text.size())
      return true;
    // Only padding: the result is the empty string, without storage.
    return assignChecked(*this, stringOf(text.substr(uFirst, uEnd - uFirst)));
  });
}
