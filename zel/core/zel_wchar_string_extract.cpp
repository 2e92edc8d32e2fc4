// zel_wchar_string_extract.cpp - CZELWCharString: extraction and trimming by
// positions and delimiters, fields, and removal of formatting characters.
//
// Every operation here finds its delimiters with the string's own searches
// and cuts half-open ranges [from, to) of units out of the text; the extract
// forms write their result only on success, the trim forms assign
// themselves the result of the matching extract form.
#include "zel_wchar_string.h"
#include "zel_wchar_string_private.h"

#include "zel_catch.h"
#include "zel_function_trace.h"

namespace {

// Positions must lie inside the text (the start is not after the end).
void checkPositions(const CZELWCharString &text, ZEL_ULONG ulStartPos, ZEL_ULONG ulEndPos) {
  const ZEL_ULONG ulLength = text.getLength();
  if (ulStartPos >= ulLength)
    raiseBadArg(u"ulStartPos", u"start position is past the end of the string", __LINE__);
  if (ulEndPos >= ulLength)
    raiseBadArg(u"ulEndPos", u"end position is past the end of the string", __LINE__);
}

// Where the start delimiter (occurrence counted forward) and the end
// delimiter (counted backward) lie. They must not overlap: a pair of which
// the end begins before the start has ended encloses nothing.
bool findDelimiterPair(const CZELWCharString &text, const CZELWCharString &startDelimiter,
                       ZEL_ULONG ulStartOccurrance, const CZELWCharString &endDelimiter,
                       ZEL_ULONG ulEndOccurrance, ZEL_ULONG &ulStart, ZEL_ULONG &ulEnd) {
  return text.getSubStringPos(startDelimiter, ulStartOccurrance, CZELWCharString::pmForward,
                              ulStart) &&
         text.getSubStringPos(endDelimiter, ulEndOccurrance, CZELWCharString::pmBackward, ulEnd) &&
         ulEnd >= ulStart + startDelimiter.getLength();
}

// Forward occurrence ulOccurrance of a field delimiter. Field numbers come
// from the caller's count of fields, so a number that cannot occur is simply
// "no such field", not an argument error.
bool findFieldDelimiter(const CZELWCharString &text, const CZELWCharString &delimiter,
                        unsigned long long ullOccurrance, ZEL_ULONG &ulPos) {
  if (ullOccurrance == 0 || ullOccurrance > text.getLength())
    return false;
  return text.getSubStringPos(delimiter, static_cast<ZEL_ULONG>(ullOccurrance),
                              CZELWCharString::pmForward, ulPos);
}

// The text between two field delimiters found at ulOpen and ulClose.
bool enclosedField(const CZELWCharString &text, ZEL_ULONG ulOpen, ZEL_ULONG ulOpenLength,
                   ZEL_ULONG ulClose, CZELWCharString &rField) {
  if (ulClose < ulOpen + ulOpenLength)
    return false;
  rField = unitsOf(text, ulOpen + ulOpenLength, ulClose);
  return true;
}

// A field is trimmed as asked and then handed out.
bool finishField(CZELWCharString &rField, const CZELFlags &trimWhere, const CZELFlags &trimWhich,
                 CZELWCharString &out) {
  return rField.trimFormatting(trimWhere, trimWhich) && assignChecked(out, rField);
}

// Runs take(start, end) on the positions of a delimiter pair, under the
// catch sites; false when the pair is not there.
template <class Take>
bool onDelimiterPair(const CZELWCharString &text, const CZELWCharString &startDelimiter,
                     ZEL_ULONG ulStartOccurrance, const CZELWCharString &endDelimiter,
                     ZEL_ULONG ulEndOccurrance, Take &&take) {
  return zelAbsorb(ZEL_SOURCE, __LINE__, CZELErrorSource::esErrno, [&] {
    ZEL_ULONG ulStart = 0;
    ZEL_ULONG ulEnd = 0;
    return findDelimiterPair(text, startDelimiter, ulStartOccurrance, endDelimiter, ulEndOccurrance,
                             ulStart, ulEnd) &&
           take(ulStart, ulEnd);
  });
}

} // namespace

// ---- By positions ------------------------------------------------------------------

bool CZELWCharString::extractBetween(CZELWCharString &out, ZEL_ULONG ulStartPos, ZEL_ULONG ulEndPos,
                                     bool bIncludeStart, bool bIncludeEnd) const {
  return zelAbsorb(ZEL_SOURCE, __LINE__, CZELErrorSource::esErrno, [&] {
    if (ulEndPos < ulStartPos)
      raiseBadArg(u"ulStartPos",
                  u"start position can't be greater than end position - use extractOutside( ) "
                  u"or deleteRange( ) instead",
                  __LINE__);
    if (!isValid())
      return false;
    checkPositions(*this, ulStartPos, ulEndPos);
    if (ulStartPos == ulEndPos) {
      const bool bTake = bIncludeStart || bIncludeEnd;
      return assignChecked(out, unitsOf(*this, ulStartPos, bTake ? ulStartPos + 1 : ulStartPos));
    }
    return assignChecked(out, unitsOf(*this, bIncludeStart ? ulStartPos : ulStartPos + 1,
                                      bIncludeEnd ? ulEndPos + 1 : ulEndPos));
  });
}

bool CZELWCharString::extractOutside(CZELWCharString &out, ZEL_ULONG ulStartPos, ZEL_ULONG ulEndPos,
                                     bool bIncludeStart, bool bIncludeEnd) const {
  return zelAbsorb(ZEL_SOURCE, __LINE__, CZELErrorSource::esErrno, [&] {
    if (ulEndPos < ulStartPos)
      raiseBadArg(u"ulStartPos",
                  u"start position can't be greater than end position - use deleteRange( ) "
                  u"instead",
                  __LINE__);
    if (!isValid())
      return false;
    checkPositions(*this, ulStartPos, ulEndPos);
    const ZEL_ULONG ulLength = getLength();
    if (ulStartPos == ulEndPos && (bIncludeStart || bIncludeEnd))
      return assignChecked(out, *this);
    // With equal positions and neither flag this drops the one unit there.
    const ZEL_ULONG ulHeadEnd = bIncludeStart ? ulStartPos + 1 : ulStartPos;
    const ZEL_ULONG ulTailStart = bIncludeEnd ? ulEndPos : ulEndPos + 1;
    return assignChecked(out, unitsOf(*this, 0, ulHeadEnd) + unitsOf(*this, ulTailStart, ulLength));
  });
}

bool CZELWCharString::trimBetween(ZEL_ULONG ulStartPos, ZEL_ULONG ulEndPos, bool bRemoveStart,
                                  bool bRemoveEnd) {
  CZELWCharString result;
  return extractOutside(result, ulStartPos, ulEndPos, !bRemoveStart, !bRemoveEnd) &&
         assignChecked(*this, result);
}

bool CZELWCharString::trimOutSide(ZEL_ULONG ulStartPos, ZEL_ULONG ulEndPos, bool bRemoveStart,
                                  bool bRemoveEnd) {
  CZELWCharString result;
  return extractBetween(result, ulStartPos, ulEndPos, !bRemoveStart, !bRemoveEnd) &&
         assignChecked(*this, result);
}

// ---- By delimiters -------------------------------------------------------------------

bool CZELWCharString::extractBetween(CZELWCharString &out, const CZELWCharString &startDelimiter,
                                     const CZELWCharString &endDelimiter, bool bIncludeStart,
                                     bool bIncludeEnd) const {
  return extractBetween(out, startDelimiter, 1, endDelimiter, 1, bIncludeStart, bIncludeEnd);
}

bool CZELWCharString::extractBetween(CZELWCharString &out, const CZELWCharString &startDelimiter,
                                     ZEL_ULONG ulStartOccurrance,
                                     const CZELWCharString &endDelimiter, ZEL_ULONG ulEndOccurrance,
                                     bool bIncludeStart, bool bIncludeEnd) const {
  return onDelimiterPair(*this, startDelimiter, ulStartOccurrance, endDelimiter, ulEndOccurrance,
                         [&](ZEL_ULONG ulStart, ZEL_ULONG ulEnd) {
                           const ZEL_ULONG ulFrom =
                               bIncludeStart ? ulStart : ulStart + startDelimiter.getLength();
                           const ZEL_ULONG ulTo =
                               bIncludeEnd ? ulEnd + endDelimiter.getLength() : ulEnd;
                           return assignChecked(out, unitsOf(*this, ulFrom, ulTo));
                         });
}

bool CZELWCharString::extractOutside(CZELWCharString &out, const CZELWCharString &startDelimiter,
                                     const CZELWCharString &endDelimiter, bool bIncludeStart,
                                     bool bIncludeEnd) const {
  return extractOutside(out, startDelimiter, 1, endDelimiter, 1, bIncludeStart, bIncludeEnd);
}

bool CZELWCharString::extractOutside(CZELWCharString &out, const CZELWCharString &startDelimiter,
                                     ZEL_ULONG ulStartOccurrance,
                                     const CZELWCharString &endDelimiter, ZEL_ULONG ulEndOccurrance,
                                     bool bIncludeStart, bool bIncludeEnd) const {
  return onDelimiterPair(*this, startDelimiter, ulStartOccurrance, endDelimiter, ulEndOccurrance,
                         [&](ZEL_ULONG ulStart, ZEL_ULONG ulEnd) {
                           const ZEL_ULONG ulHeadEnd =
                               bIncludeStart ? ulStart + startDelimiter.getLength() : ulStart;
                           const ZEL_ULONG ulTailStart =
                               bIncludeEnd ? ulEnd : ulEnd + endDelimiter.getLength();
                           return assignChecked(out, unitsOf(*this, 0, ulHeadEnd) +
                                                         unitsOf(*this, ulTailStart, getLength()));
                         });
}

bool CZELWCharString::trimBetween(const CZELWCharString &startDelimiter,
                                  const CZELWCharString &endDelimiter, bool bRemoveStart,
                                  bool bRemoveEnd) {
  return trimBetween(startDelimiter, 1, endDelimiter, 1, bRemoveStart, bRemoveEnd);
}

bool CZELWCharString::trimBetween(const CZELWCharString &startDelimiter,
                                  ZEL_ULONG ulStartOccurrance, const CZELWCharString &endDelimiter,
                                  ZEL_ULONG ulEndOccurrance, bool bRemoveStart, bool bRemoveEnd) {
  CZELWCharString result;
  return extractOutside(result, startDelimiter, ulStartOccurrance, endDelimiter, ulEndOccurrance,
                        !bRemoveStart, !bRemoveEnd) &&
         assignChecked(*this, result);
}

bool CZELWCharString::trimOutSide(const CZELWCharString &startDelimiter,
                                  const CZELWCharString &endDelimiter, bool bRemoveStart,
                                  bool bRemoveEnd) {
  return trimOutSide(startDelimiter, 1, endDelimiter, 1, bRemoveStart, bRemoveEnd);
}

bool CZELWCharString::trimOutSide(const CZELWCharString &startDelimiter,
                                  ZEL_ULONG ulStartOccurrance, const CZELWCharString &endDelimiter,
                                  ZEL_ULONG ulEndOccurrance, bool bRemoveStart, bool bRemoveEnd) {
  CZELWCharString result;
  return extractBetween(result, startDelimiter, ulStartOccurrance, endDelimiter, ulEndOccurrance,
                        !bRemoveStart, !bRemoveEnd) &&
         assignChecked(*this, result);
}

// ---- Up to a delimiter -------------------------------------------------------------------

bool CZELWCharString::trimTo(const CZELWCharString &delimiter, ZEL_ULONG ulOccurrance,
                             ZEL_ULONG parseMode, bool bRemoveDelimiter) {
  return zelAbsorb(ZEL_SOURCE, __LINE__, CZELErrorSource::esErrno, [&] {
    ZEL_ULONG ulPos = 0;
    if (!getSubStringPos(delimiter, ulOccurrance, parseMode, ulPos))
      return false;
    const ZEL_ULONG ulAfter = ulPos + delimiter.getLength();
    if (parseMode == pmForward)
      return assignChecked(*this, unitsOf(*this, bRemoveDelimiter ? ulAfter : ulPos, getLength()));
    return assignChecked(*this, unitsOf(*this, 0, bRemoveDelimiter ? ulPos : ulAfter));
  });
}

bool CZELWCharString::extractTo(CZELWCharString &out, const CZELWCharString &delimiter,
                                ZEL_ULONG ulOccurrance, ZEL_ULONG parseMode,
                                bool bIncludeDelimiter) const {
  return zelAbsorb(ZEL_SOURCE, __LINE__, CZELErrorSource::esErrno, [&] {
    // The text before an occurrence is what remains once everything after
    // it is trimmed, and the trim counts from the other end.
    ZEL_ULONG ulReverse = 0;
    if (!getReverseSubStringOccurrance(delimiter, ulOccurrance, parseMode, ulReverse))
      return false;
    CZELWCharString copy(*this);
    const ZEL_ULONG ulOtherMode = parseMode == pmForward ? pmBackward : pmForward;
    return copy.trimTo(delimiter, ulReverse, ulOtherMode, !bIncludeDelimiter) &&
           assignChecked(out, copy);
  });
}

// ---- Fields ------------------------------------------------------------------------------

bool CZELWCharString::extractParam(CZELWCharString &out, const CZELWCharString &delimiter,
                                   ZEL_ULONG ulOccurrance, ZEL_ULONG parseMode,
                                   const CZELFlags &trimWhere, const CZELFlags &trimWhich) const {
  CZELFunctionTrace trace(ZEL_CLASS, u"extractParam", ZEL_SOURCE, __LINE__);
  const bool bResult = zelAbsorb(ZEL_SOURCE, __LINE__, CZELErrorSource::esErrno, [&] {
    if (ulOccurrance == 0)
      raiseBadArg(u"ulOccurrance", u"ulOccurrance must be greater than 0", __LINE__);
    if (!isValid() || (parseMode != pmForward && parseMode != pmBackward))
      return false;
    const ZEL_ULONG ulDelimiterLength = delimiter.getLength();
    CZELWCharString field;
    ZEL_ULONG ulOpen = 0;
    ZEL_ULONG ulClose = 0;
    if (!findFieldDelimiter(*this, delimiter, 1, ulClose)) {
      // Without a delimiter the whole text is the only field.
      if (ulOccurrance != 1)
        return false;
      field = *this;
    } else if (parseMode == pmBackward) {
      // The text enclosed by delimiters ulOccurrance and ulOccurrance + 1.
      if (!findFieldDelimiter(*this, delimiter, ulOccurrance, ulOpen) ||
          !findFieldDelimiter(*this, delimiter, ulOccurrance + 1ULL, ulClose) ||
          !enclosedField(*this, ulOpen, ulDelimiterLength, ulClose, field))
        return false;
    } else if (ulOccurrance == 1) {
      field = unitsOf(*this, 0, ulClose);
    } else {
      // Field n follows delimiter n - 1 and runs to delimiter n, or to the
      // end of the text after the last delimiter.
      if (!findFieldDelimiter(*this, delimiter, ulOccurrance - 1ULL, ulOpen))
        return false;
      if (!findFieldDelimiter(*this, delimiter, ulOccurrance, ulClose))
        ulClose = getLength();
      if (!enclosedField(*this, ulOpen, ulDelimiterLength, ulClose, field))
        return false;
    }
    return finishField(field, trimWhere, trimWhich, out);
  });
  trace.setResult(bResult);
  return bResult;
}

bool CZELWCharString::extractParam(CZELWCharString &out, const CZELWCharString &openDelimiter,
                                   const CZELWCharString &closeDelimiter, ZEL_ULONG ulOccurrance,
                                   const CZELFlags &trimWhere, const CZELFlags &trimWhich) const {
  CZELFunctionTrace trace(ZEL_CLASS, u"extractParam", ZEL_SOURCE, __LINE__);
  const bool bResult = zelAbsorb(ZEL_SOURCE, __LINE__, CZELErrorSource::esErrno, [&] {
    if (ulOccurrance == 0)
      raiseBadArg(u"ulOccurrance", u"ulOccurrance must be greater than 0", __LINE__);
    // Quotes open and close alike: field n lies between quotes 2n - 1 and 2n.
    const bool bQuotes = openDelimiter == closeDelimiter;
    const unsigned long long ullOpen = bQuotes ? 2ULL * ulOccurrance - 1 : ulOccurrance;
    const unsigned long long ullClose = bQuotes ? 2ULL * ulOccurrance : ulOccurrance;
    ZEL_ULONG ulOpen = 0;
    ZEL_ULONG ulClose = 0;
    CZELWCharString field;
    return findFieldDelimiter(*this, openDelimiter, ullOpen, ulOpen) &&
           findFieldDelimiter(*this, closeDelimiter, ullClose, ulClose) &&
           enclosedField(*this, ulOpen, openDelimiter.getLength(), ulClose, field) &&
           finishField(field, trimWhere, trimWhich, out);
  });
  trace.setResult(bResult);
  return bResult;
}

// ---- Formatting characters ---------------------------------------------------------------

bool CZELWCharString::trimFormatting(const CZELFlags &trimWhere, const CZELFlags &trimWhich) {
  const ZEL_ULONG ulWhere = trimWhere.getFlags();
  const ZEL_ULONG ulWhich = trimWhich.getFlags();
  if (ulWhere == 0 || ulWhich == 0)
    return true;
  return zelAbsorb(ZEL_SOURCE, __LINE__, CZELErrorSource::esErrno, [&] {
    const ZEL_ULONG ulLength = getLength();
    if (ulLength == 0)
      return true;
    const bool bLeading = (ulWhere & 1) != 0;
    const bool bTrailing = (ulWhere & 2) != 0;
    const bool bMiddle = (ulWhere & 3) == 3;
    const ZEL_USHORT *pUnits = getBuffer();
    // The middle runs from the first to the last unselected character. A
    // text made only of selected characters is both the leading and the
    // trailing run, so either trim empties it.
    ZEL_ULONG ulFirst = 0;
    while (ulFirst < ulLength && isSelectedFormatChar(pUnits[ulFirst], ulWhich))
      ++ulFirst;
    ZEL_ULONG ulLast = ulLength;
    while (ulLast > ulFirst && isSelectedFormatChar(pUnits[ulLast - 1], ulWhich))
      --ulLast;
    if (ulFirst == ulLength)
      return (bLeading || bTrailing) ? destroyBuffer() : true;

    UnitBuffer kept(ulLength);
    ZEL_USHORT *pKept = kept.getBuffer();
    ZEL_ULONG ulKept = 0;
    for (ZEL_ULONG i = 0; i < ulLength; ++i) {
      bool bDrop = false;
      if (i < ulFirst)
        bDrop = bLeading;
      else if (i >= ulLast)
        bDrop = bTrailing;
      else
        bDrop = bMiddle && isSelectedFormatChar(pUnits[i], ulWhich);
      if (!bDrop)
        pKept[ulKept++] = pUnits[i];
    }
    if (ulKept == ulLength)
      return true;
    // The zero-filled rest of kept ends the text.
    return assignChecked(*this, CZELWCharString(kept));
  });
}
