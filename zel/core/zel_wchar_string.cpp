// zel_wchar_string.cpp - CZELWCharString: construction, assignment,
// comparison, concatenation, searching and editing.
//
// Every edit builds the new text in fresh storage and then assigns it, so an
// operand may lie inside the string being changed. One occurrence scan
// serves every search and edit.
#include "zel_wchar_string.h"
#include "zel_wchar_string_private.h"

#include "zel_catch.h"
#include "zel_function_trace.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <limits>
#include <string>
#include <utility>

namespace {

// A constructor's body: any failure is logged and becomes
// CZELBufferInitException; so does a body that reports false.
template <class Body> void construct(ZEL_ULONG ulLine, Body &&body) {
  if (!zelTranslate<CZELBufferInitException>(ZEL_SOURCE, ulLine, CZELErrorSource::esErrno,
                                             std::forward<Body>(body), ZEL_SOURCE, ulLine, true))
    throw CZELBufferInitException(ZEL_SOURCE, ulLine, true);
}

// Units before the first zero unit, looking at no more than ulCount units.
template <class T> ZEL_ULONG unitsBeforeZero(const T *pUnits, ZEL_ULONG ulCount) {
  if (pUnits == nullptr)
    return 0;
  return static_cast<ZEL_ULONG>(std::find(pUnits, pUnits + ulCount, T(0)) - pUnits);
}

struct UnitSpan {
  const ZEL_USHORT *pUnits;
  ZEL_ULONG ulCount;
};

// Makes rString hold the spans one after the other and the terminator; no
// units at all give the empty string. The spans are gathered into fresh
// storage before rString is touched, so they may lie in its own storage.
bool joinUnits(CZELWCharString &rString, std::initializer_list<UnitSpan> spans) {
  ZEL_ULONG ulTotal = 0;
  for (const UnitSpan &span : spans) {
    if (span.ulCount > std::numeric_limits<ZEL_ULONG>::max() - 1 - ulTotal)
      throw CZELMemAllocException(u"m_pBuffer", ZEL_SOURCE, __LINE__, 1, true, false);
    ulTotal += span.ulCount;
  }
  if (ulTotal == 0)
    return rString.destroyBuffer();
  UnitBuffer joined(ulTotal + 1); // zero-filled: the terminator is in place
  ZEL_USHORT *pOut = joined.getBuffer();
  for (const UnitSpan &span : spans)
    pOut = std::copy_n(span.pUnits, span.ulCount, pOut);
  static_cast<UnitBuffer &>(rString) = joined;
  return rString.getSize() == ulTotal + 1;
}

// The text of a 16-bit buffer: its units up to the first zero unit.
bool assignUnitBuffer(CZELWCharString &rString, const UnitBuffer &buffer) {
  if (!buffer.isValid())
    return rString.destroyBuffer();
  return joinUnits(rString,
                   {{buffer.getBuffer(), unitsBeforeZero(buffer.getBuffer(), buffer.getSize())}});
}

// 8-bit text widened unit by unit (each byte keeps its value 0-255). The
// widened copy is complete before rString is touched, so a failure leaves
// it unchanged.
bool assignBytes(CZELWCharString &rString, const ZEL_CHAR *pBytes, ZEL_ULONG ulCount) {
  const ZEL_ULONG ulLength = unitsBeforeZero(pBytes, ulCount);
  if (ulLength == 0)
    return rString.destroyBuffer();
  UnitBuffer wide(ulLength);
  std::transform(pBytes, pBytes + ulLength, wide.getBuffer(), [](ZEL_CHAR cByte) {
    return static_cast<ZEL_USHORT>(static_cast<unsigned char>(cByte));
  });
  return joinUnits(rString, {{wide.getBuffer(), ulLength}});
}

bool assignText(CZELWCharString &rString, const ZEL_USHORT *pszText) {
  if (pszText == nullptr)
    return rString.destroyBuffer();
  return joinUnits(
      rString, {{pszText, static_cast<ZEL_ULONG>(std::char_traits<ZEL_USHORT>::length(pszText))}});
}

// The one occurrence scan. Visits the starts of the (possibly overlapping)
// occurrences of sub in text in the direction of parseMode, numbered from 1,
// until visit(position, number) returns true; returns whether it did. An
// empty operand, a sub longer than text or an unknown direction find nothing.
template <class Visit>
bool scanOccurrences(const CZELWCharString &text, const CZELWCharString &sub, ZEL_ULONG parseMode,
                     Visit &&visit) {
  const ZEL_ULONG ulLength = text.getLength();
  const ZEL_ULONG ulSubLength = sub.getLength();
  if (ulSubLength == 0 || ulLength < ulSubLength ||
      (parseMode != CZELWCharString::pmForward && parseMode != CZELWCharString::pmBackward))
    return false;
  const ZEL_USHORT *pText = text.getBuffer();
  const ZEL_USHORT *pSub = sub.getBuffer();
  const ZEL_ULONG ulLastStart = ulLength - ulSubLength;
  ZEL_ULONG ulNumber = 0;
  for (ZEL_ULONG i = 0; i <= ulLastStart; ++i) {
    const ZEL_ULONG ulStart = parseMode == CZELWCharString::pmForward ? i : ulLastStart - i;
    if (std::equal(pSub, pSub + ulSubLength, pText + ulStart) && visit(ulStart, ++ulNumber))
      return true;
  }
  return false;
}

// Where occurrence ulOccurrance lies, without the argument checks of the
// public search (callers pass numbers they have derived themselves).
bool findOccurrence(const CZELWCharString &text, const CZELWCharString &sub, ZEL_ULONG ulOccurrance,
                    ZEL_ULONG parseMode, ZEL_ULONG &ulPos) {
  return scanOccurrences(text, sub, parseMode, [&](ZEL_ULONG ulStart, ZEL_ULONG ulNumber) {
    if (ulNumber != ulOccurrance)
      return false;
    ulPos = ulStart;
    return true;
  });
}

ZEL_ULONG countOccurrences(const CZELWCharString &text, const CZELWCharString &sub) {
  ZEL_ULONG ulCount = 0;
  scanOccurrences(text, sub, CZELWCharString::pmForward, [&](ZEL_ULONG, ZEL_ULONG ulNumber) {
    ulCount = ulNumber;
    return false;
  });
  return ulCount;
}

// Replaces the ulCount units at ulPos with replacement (nothing when it is
// empty).
bool spliceUnits(CZELWCharString &rString, ZEL_ULONG ulPos, ZEL_ULONG ulCount,
                 const CZELWCharString &replacement) {
  const ZEL_USHORT *pUnits = rString.getBuffer();
  const ZEL_ULONG ulTail = ulPos + ulCount;
  return joinUnits(rString, {{pUnits, ulPos},
                             {replacement.getBuffer(), replacement.getLength()},
                             {pUnits + ulTail, rString.getLength() - ulTail}});
}

// Removes the first (forward) occurrence ulOccurrance of sub, ulTimes times.
bool removeOccurrences(CZELWCharString &rString, const CZELWCharString &sub, ZEL_ULONG ulOccurrance,
                       ZEL_ULONG ulTimes) {
  for (ZEL_ULONG i = 0; i < ulTimes; ++i) {
    ZEL_ULONG ulPos = 0;
    if (!findOccurrence(rString, sub, ulOccurrance, CZELWCharString::pmForward, ulPos) ||
        !spliceUnits(rString, ulPos, sub.getLength(), CZELWCharString()))
      return false;
  }
  return true;
}

// Ordering of two strings of equal length: negative, zero or positive in
// *piOrder. False when they cannot be ordered (not both valid, or lengths
// differ).
bool orderEqualLength(const CZELWCharString &left, const CZELWCharString &right, int *piOrder) {
  if (!left.isValid() || !right.isValid())
    return false;
  const ZEL_ULONG ulLength = left.getLength();
  if (ulLength != right.getLength())
    return false;
  const ZEL_USHORT *pLeft = left.getBuffer();
  const ZEL_USHORT *pRight = right.getBuffer();
  const auto mismatch = std::mismatch(pLeft, pLeft + ulLength, pRight);
  *piOrder = mismatch.first == pLeft + ulLength ? 0 : (*mismatch.first < *mismatch.second ? -1 : 1);
  return true;
}

// The occurrences an edit works on, by sub-string mode: the first one and
// how many steps. Delete and replace differ only in the complaint about an
// ssmOccur occurrence beyond the count.
struct EditPlan {
  ZEL_ULONG ulFirst;
  ZEL_ULONG ulSteps;
};

void checkOccurrance(ZEL_ULONG ulOccurrance, ZEL_ULONG ulCount, const ZEL_USHORT *pszZero,
                     const ZEL_USHORT *pszTooMany, ZEL_ULONG ulLine) {
  if (ulOccurrance == 0)
    raiseBadArg(u"ulOccurrance", pszZero, ulLine);
  if (ulOccurrance > ulCount)
    raiseBadArg(u"ulOccurrance", pszTooMany, ulLine);
}

EditPlan planEdit(ZEL_ULONG subStringMode, ZEL_ULONG ulOccurrance, ZEL_ULONG ulCount,
                  const ZEL_USHORT *pszOccurTooMany) {
  switch (subStringMode) {
  case CZELWCharString::ssmAll:
    return {1, ulCount};
  case CZELWCharString::ssmOccur:
    checkOccurrance(ulOccurrance, ulCount,
                    u"ssmOccur mode requires ulOccurrance to be greater than 0", pszOccurTooMany,
                    __LINE__);
    return {ulOccurrance, 1};
  case CZELWCharString::ssmNum:
    checkOccurrance(ulOccurrance, ulCount,
                    u"ssmNum mode requires ulOccurrance to be greater than 0",
                    u"there aren't enough strings to accommodate ulOccurrance", __LINE__);
    return {1, ulOccurrance};
  default:
    raiseBadArg(u"subStringMode", u"invalid mode", __LINE__);
  }
}

} // namespace

// ---- Construction ------------------------------------------------------------

CZELWCharString::CZELWCharString() : CZELBuffer<ZEL_USHORT>(0) {}

CZELWCharString::CZELWCharString(const CZELWCharString &other) : CZELBuffer<ZEL_USHORT>(0) {
  construct(__LINE__, [&] {
    if (!other.isValid())
      return true;
    CZELBuffer<ZEL_USHORT>::operator=(other);
    return getSize() == other.getSize();
  });
}

CZELWCharString::CZELWCharString(const CZELBuffer<ZEL_USHORT> &buffer) : CZELBuffer<ZEL_USHORT>(0) {
  construct(__LINE__, [&] { return assignUnitBuffer(*this, buffer); });
}

CZELWCharString::CZELWCharString(const CZELBuffer<ZEL_CHAR> &buffer) : CZELBuffer<ZEL_USHORT>(0) {
  construct(__LINE__, [&] { return assignBytes(*this, buffer.getBuffer(), buffer.getSize()); });
}

CZELWCharString::CZELWCharString(const ZEL_USHORT *pszText) : CZELBuffer<ZEL_USHORT>(0) {
  construct(__LINE__, [&] { return assignText(*this, pszText); });
}

CZELWCharString::CZELWCharString(const ZEL_CHAR *pszText) : CZELBuffer<ZEL_USHORT>(0) {
  construct(__LINE__, [&] {
    if (pszText == nullptr)
      return true;
    return assignBytes(*this, pszText, static_cast<ZEL_ULONG>(std::strlen(pszText)));
  });
}

CZELWCharString::CZELWCharString(ZEL_USHORT usChar) : CZELBuffer<ZEL_USHORT>(0) {
  construct(__LINE__, [&] { return joinUnits(*this, {{&usChar, usChar != 0 ? 1u : 0u}}); });
}

// ---- Assignment --------------------------------------------------------------

CZELWCharString &CZELWCharString::operator=(const CZELWCharString &other) {
  runOperation(u"operator=", __LINE__, [&] {
    if (this == &other)
      return true;
    if (!other.isValid())
      return destroyBuffer();
    CZELBuffer<ZEL_USHORT>::operator=(other);
    return getSize() == other.getSize();
  });
  return *this;
}

CZELWCharString &CZELWCharString::operator=(const CZELBuffer<ZEL_USHORT> &buffer) {
  runOperation(u"operator=", __LINE__, [&] { return assignUnitBuffer(*this, buffer); });
  return *this;
}

CZELWCharString &CZELWCharString::operator=(const CZELBuffer<ZEL_CHAR> &buffer) {
  runOperation(u"operator=", __LINE__,
               [&] { return assignBytes(*this, buffer.getBuffer(), buffer.getSize()); });
  return *this;
}

CZELWCharString &CZELWCharString::operator=(const ZEL_USHORT *pszText) {
  runOperation(u"operator=", __LINE__, [&] { return assignText(*this, pszText); });
  return *this;
}

CZELWCharString &CZELWCharString::operator=(ZEL_USHORT usChar) {
  runOperation(u"operator=", __LINE__, [&] {
    return joinUnits(*this, {{&usChar, usChar != 0 ? 1u : 0u}});
  });
  return *this;
}

CZELWCharString::operator CZELBuffer<ZEL_CHAR>() const {
  CZELBuffer<ZEL_CHAR> narrowed;
  const bool bOk = runOperation(u"operator CZELBuffer< ZEL_CHAR >", __LINE__, [&] {
    const ZEL_ULONG ulLength = getLength();
    if (ulLength == 0)
      return true;
    if (!narrowed.allocBuffer(ulLength + 1))
      return false;
    // Units above 255 have no byte: the text stops there, the rest stays zero.
    const ZEL_USHORT *pUnits = getBuffer();
    const ZEL_ULONG ulBytes = static_cast<ZEL_ULONG>(
        std::find_if(pUnits, pUnits + ulLength, [](ZEL_USHORT u) { return u > 0xFF; }) - pUnits);
    std::transform(pUnits, pUnits + ulBytes, narrowed.getBuffer(), [](ZEL_USHORT usUnit) {
      return static_cast<ZEL_CHAR>(static_cast<unsigned char>(usUnit));
    });
    return true;
  });
  if (!bOk)
    narrowed.destroyBuffer();
  return narrowed;
}

// ---- Length and storage --------------------------------------------------------

ZEL_ULONG CZELWCharString::getLength() const {
  return isValid() ? unitsBeforeZero(m_pBuffer, m_ulSize) : 0;
}

bool CZELWCharString::freeUnusedMem() {
  return runOperation(u"freeUnusedMem", __LINE__, [&] {
    if (!isValid())
      return true;
    const ZEL_ULONG ulLength = getLength();
    if (ulLength == 0)
      return destroyBuffer();
    if (ulLength + 1 == m_ulSize)
      return true;
    return reAllocBuffer(ulLength + 1);
  });
}

// ---- Comparison ----------------------------------------------------------------

bool CZELWCharString::operator==(const CZELWCharString &other) const {
  if (!isValid() && !other.isValid())
    return true;
  int iOrder = 0;
  return orderEqualLength(*this, other, &iOrder) && iOrder == 0;
}

bool CZELWCharString::operator!=(const CZELWCharString &other) const { return !(*this == other); }

bool CZELWCharString::operator<=(const CZELWCharString &other) const {
  int iOrder = 0;
  return orderEqualLength(*this, other, &iOrder) && iOrder <= 0;
}

bool CZELWCharString::operator>=(const CZELWCharString &other) const {
  int iOrder = 0;
  return orderEqualLength(*this, other, &iOrder) && iOrder >= 0;
}

// Deliberately the negations: strings of different lengths are both < and >.
bool CZELWCharString::operator<(const CZELWCharString &other) const { return !(*this >= other); }

bool CZELWCharString::operator>(const CZELWCharString &other) const { return !(*this <= other); }

// ---- Concatenation and removal ---------------------------------------------------

CZELWCharString CZELWCharString::operator+(const CZELWCharString &other) const {
  CZELWCharString result(*this);
  result += other;
  return result;
}

CZELWCharString &CZELWCharString::operator+=(const CZELWCharString &other) {
  runOperation(u"operator+=", __LINE__, [&] {
    return joinUnits(*this, {{getBuffer(), getLength()}, {other.getBuffer(), other.getLength()}});
  });
  return *this;
}

CZELWCharString CZELWCharString::operator-(const CZELWCharString &other) const {
  CZELWCharString result(*this);
  result -= other;
  return result;
}

CZELWCharString &CZELWCharString::operator-=(const CZELWCharString &other) {
  deleteSubString(other, 1, ssmOccur);
  return *this;
}

CZELWCharString CZELWCharString::operator>>(ZEL_ULONG ulCount) const {
  CZELWCharString result(*this);
  result >>= ulCount;
  return result;
}

CZELWCharString CZELWCharString::operator<<(ZEL_ULONG ulCount) const {
  CZELWCharString result(*this);
  result <<= ulCount;
  return result;
}

CZELWCharString &CZELWCharString::operator>>=(ZEL_ULONG ulCount) {
  runOperation(u"operator>>=", __LINE__, [&] {
    const ZEL_ULONG ulLength = getLength();
    if (ulCount == 0)
      return true;
    return joinUnits(*this, {{getBuffer(), ulCount < ulLength ? ulLength - ulCount : 0}});
  });
  return *this;
}

CZELWCharString &CZELWCharString::operator<<=(ZEL_ULONG ulCount) {
  runOperation(u"operator<<=", __LINE__, [&] {
    const ZEL_ULONG ulLength = getLength();
    if (ulCount == 0)
      return true;
    if (ulCount >= ulLength)
      return destroyBuffer();
    return joinUnits(*this, {{getBuffer() + ulCount, ulLength - ulCount}});
  });
  return *this;
}

// ---- Searching -------------------------------------------------------------------

bool CZELWCharString::getSubStringPos(const CZELWCharString &subString, ZEL_ULONG ulOccurrance,
                                      ZEL_ULONG parseMode, ZEL_ULONG &ulPos) const {
  return runOperation(u"getSubStringPos", __LINE__, [&] {
    const ZEL_ULONG ulLength = getLength();
    const ZEL_ULONG ulSubLength = subString.getLength();
    if (ulSubLength == 0 || ulLength < ulSubLength)
      return false;
    if (ulOccurrance > ulLength)
      raiseBadArg(u"ulOccurrance",
                  u"value is impossible since it is larger than the length of this string",
                  __LINE__);
    if (ulOccurrance == 0)
      raiseBadArg(u"ulOccurrance", u"value must be greater than 0", __LINE__);
    return findOccurrence(*this, subString, ulOccurrance, parseMode, ulPos);
  });
}

bool CZELWCharString::hasSubString(const CZELWCharString &subString) const {
  ZEL_ULONG ulPos = 0;
  return getSubStringPos(subString, 1, pmForward, ulPos);
}

ZEL_ULONG CZELWCharString::getSubStringCount(const CZELWCharString &subString) const {
  return countOccurrences(*this, subString);
}

bool CZELWCharString::getSubStringOccurrance(const CZELWCharString &subString, ZEL_ULONG ulPos,
                                             ZEL_ULONG parseMode, ZEL_ULONG &ulOccurrance) const {
  return runOperation(u"getSubStringOccurrance", __LINE__, [&] {
    return scanOccurrences(*this, subString, parseMode, [&](ZEL_ULONG ulStart, ZEL_ULONG ulNumber) {
      if (ulStart != ulPos)
        return false;
      ulOccurrance = ulNumber;
      return true;
    });
  });
}

bool CZELWCharString::getReverseSubStringOccurrance(const CZELWCharString &subString,
                                                    ZEL_ULONG ulOccurrance, ZEL_ULONG parseMode,
                                                    ZEL_ULONG &ulReverse) const {
  return runOperation(u"getReverseSubStringOccurrance", __LINE__, [&] {
    if (subString.getLength() == 0)
      raiseBadArg(u"subString", u"must contain a string", __LINE__);
    if (parseMode != pmForward && parseMode != pmBackward)
      raiseBadArg(u"parseMode", u"invalid parse mode", __LINE__);
    ZEL_ULONG ulPos = 0;
    const ZEL_ULONG ulOtherMode = parseMode == pmForward ? pmBackward : pmForward;
    return getSubStringPos(subString, ulOccurrance, parseMode, ulPos) &&
           getSubStringOccurrance(subString, ulPos, ulOtherMode, ulReverse);
  });
}

bool CZELWCharString::beginsWith(const CZELWCharString &other) const {
  return runOperation<CZELFunctionTrace>(u"beginsWith", __LINE__, [&] {
    ZEL_ULONG ulPos = 0;
    return getSubStringPos(other, 1, pmForward, ulPos) && ulPos == 0;
  });
}

bool CZELWCharString::endsWith(const CZELWCharString &other) const {
  return runOperation<CZELFunctionTrace>(u"endsWith", __LINE__, [&] {
    ZEL_ULONG ulPos = 0;
    return getSubStringPos(other, 1, pmBackward, ulPos) && ulPos == getLength() - other.getLength();
  });
}

// ---- Editing in place ---------------------------------------------------------------

bool CZELWCharString::insert(const CZELWCharString &string, ZEL_ULONG ulPos) {
  return runOperation(u"insert", __LINE__, [&] {
    if (!isValid() && ulPos != 0)
      return false;
    if (!string.isValid())
      raiseBadArg(u"string", u"can't insert an invalid string", __LINE__);
    if (ulPos > getLength())
      raiseBadArg(u"ulPos", u"position is out of string bounds", __LINE__);
    return spliceUnits(*this, ulPos, 0, string);
  });
}

bool CZELWCharString::deleteRange(ZEL_ULONG ulStartPos, ZEL_ULONG ulEndPos, bool bDeleteStart,
                                  bool bDeleteEnd) {
  return runOperation(u"deleteRange", __LINE__, [&] {
    if (!isValid())
      return false;
    const ZEL_ULONG ulLength = getLength();
    if (ulStartPos >= ulLength)
      raiseBadArg(u"ulStartPos", u"start position is past the end of the string", __LINE__);
    if (ulEndPos >= ulLength)
      raiseBadArg(u"ulEndPos", u"end position is past the end of the string", __LINE__);
    if (ulStartPos == ulEndPos)
      raiseBadArg(u"ulEndPos & ulStartPos", u"start and end positions can't be equal", __LINE__);
    const ZEL_USHORT *pUnits = getBuffer();
    const ZEL_ULONG ulKeepStart = bDeleteStart ? 0 : 1;
    const ZEL_ULONG ulKeepEnd = bDeleteEnd ? 0 : 1;
    if (ulStartPos < ulEndPos) {
      // Keep what lies outside the span, and each end unit whose flag is clear.
      return joinUnits(*this, {{pUnits, ulStartPos},
                               {pUnits + ulStartPos, ulKeepStart},
                               {pUnits + ulEndPos, ulKeepEnd},
                               {pUnits + ulEndPos + 1, ulLength - ulEndPos - 1}});
    }
    // Reversed positions: keep only the span from ulEndPos to ulStartPos.
    return joinUnits(*this, {{pUnits + ulEndPos, ulKeepEnd},
                             {pUnits + ulEndPos + 1, ulStartPos - ulEndPos - 1},
                             {pUnits + ulStartPos, ulKeepStart}});
  });
}

bool CZELWCharString::deleteSubString(const CZELWCharString &subString, ZEL_ULONG ulOccurrance,
                                      ZEL_ULONG subStringMode) {
  return runOperation(u"deleteSubString", __LINE__, [&] {
    const ZEL_ULONG ulCount = countOccurrences(*this, subString);
    if (ulCount == 0)
      return false;
    const EditPlan plan = planEdit(subStringMode, ulOccurrance, ulCount,
                                   u"there aren't enough strings to accommodate ulOccurrance");
    const bool bDone = removeOccurrences(*this, subString, plan.ulFirst, plan.ulSteps);
    return bDone && freeUnusedMem();
  });
}

bool CZELWCharString::replaceSubString(const CZELWCharString &oldString,
                                       const CZELWCharString &newString, ZEL_ULONG ulOccurrance,
                                       ZEL_ULONG subStringMode) {
  return runOperation(u"replaceSubString", __LINE__, [&] {
    if (!oldString.isValid())
      raiseBadArg(u"oldString", u"string is invalid", __LINE__);
    const ZEL_ULONG ulCount = countOccurrences(*this, oldString);
    if (ulCount == 0)
      return false;
    const EditPlan plan =
        planEdit(subStringMode, ulOccurrance, ulCount, u"occurrance is out of bounds");
    ZEL_ULONG ulCurrent = plan.ulFirst;
    const ZEL_ULONG ulSteps = plan.ulSteps;
    // Occurrences that a replacement brings in are stepped over; an old text
    // that merely contains the new one brings none, so the count stays.
    const ZEL_ULONG ulBroughtIn = countOccurrences(newString, oldString);
    for (ZEL_ULONG i = 0; i < ulSteps; ++i, ulCurrent += ulBroughtIn) {
      ZEL_ULONG ulPos = 0;
      if (!findOccurrence(*this, oldString, ulCurrent, pmForward, ulPos) ||
          !spliceUnits(*this, ulPos, oldString.getLength(), newString))
        return false;
    }
    return true;
  });
}
