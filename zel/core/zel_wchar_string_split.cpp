// zel_wchar_string_split.cpp - CZELWCharString: splitting into lists,
// expansion of environment references, and the hex-byte text form.
//
// The splitting forms gather their fields in a list of their own and hand it
// over only when every field arrived; any failure leaves the caller's list
// empty rather than half filled.
#include "zel_wchar_string.h"
#include "zel_wchar_string_private.h"

#include "zel_catch.h"
#include "zel_dbllist.h"
#include "zel_environment_variable.h"
#include "zel_function_trace.h"

#include <algorithm>
#include <limits>
#include <utility>

namespace {

typedef CZELDblList<CZELStdNode<ZEL_ULONG>, ZEL_ULONG> CPositionList;

// A failed concatenation is logged and leaves the text as it was; the
// length tells whether the tail arrived.
bool appendChecked(CZELWCharString &rText, const CZELWCharString &tail) {
  const ZEL_ULONG ulBefore = rText.getLength();
  rText += tail;
  return rText.getLength() == ulBefore + tail.getLength();
}

// The caller's list receives the gathered fields, or nothing when gathering
// failed. True when there is at least one field.
bool handOver(CZELWCharStringList &list, CZELWCharStringList &fields, bool bGathered) {
  if (bGathered)
    list = std::move(fields);
  else
    list.flush();
  return bGathered && !list.isEmpty();
}

// Adds fields ulFirst, ulFirst + ulStep, ... (as field(number, out) gives
// them) until one is missing, with item data 0, 1, 2, ...
template <class Field>
bool gatherFields(CZELWCharStringList &fields, ZEL_ULONG ulFirst, ZEL_ULONG ulStep, Field &&field) {
  CZELWCharString text;
  ZEL_ULONG ulIndex = 0;
  for (unsigned long long ullNumber = ulFirst; ullNumber <= std::numeric_limits<ZEL_ULONG>::max() &&
                                               field(static_cast<ZEL_ULONG>(ullNumber), text);
       ullNumber += ulStep) {
    if (!fields.add(text, ulIndex++))
      return false;
  }
  return true;
}

CZELWCharString placeholderOf(ZEL_ULONG ulNumber) {
  return CZELWCharString(u"__value_") + CZELWCharString(static_cast<ZEL_LONG>(ulNumber)) +
         CZELWCharString(u"__");
}

const ZEL_USHORT HEX_DIGITS[] = u"0123456789ABCDEF";

} // namespace

// ---- Splitting into lists ----------------------------------------------------------

bool CZELWCharString::extractParams(CZELWCharStringList &list, const CZELWCharString &delimiter,
                                    ZEL_ULONG parseMode, const CZELFlags &trimWhere,
                                    const CZELFlags &trimWhich) const {
  CZELWCharStringList fields;
  const bool bGathered = runOperation<CZELFunctionTrace>(u"extractParams", __LINE__, [&] {
    // Backward fields are the texts enclosed by delimiter pairs; without
    // any delimiter there is no such text (the single field rule of
    // extractParam would hand out the whole string).
    if (parseMode == pmBackward && !hasSubString(delimiter))
      return true;
    const ZEL_ULONG ulStep = parseMode == pmBackward ? 2 : 1;
    return gatherFields(fields, 1, ulStep, [&](ZEL_ULONG ulNumber, CZELWCharString &out) {
      return extractParam(out, delimiter, ulNumber, parseMode, trimWhere, trimWhich);
    });
  });
  return handOver(list, fields, bGathered);
}

bool CZELWCharString::extractParams(CZELWCharStringList &list, const CZELWCharString &openDelimiter,
                                    const CZELWCharString &closeDelimiter,
                                    const CZELFlags &trimWhere, const CZELFlags &trimWhich) const {
  CZELWCharStringList fields;
  const bool bGathered = runOperation<CZELFunctionTrace>(u"extractParams", __LINE__, [&] {
    return gatherFields(fields, 1, 1, [&](ZEL_ULONG ulNumber, CZELWCharString &out) {
      return extractParam(out, openDelimiter, closeDelimiter, ulNumber, trimWhere, trimWhich);
    });
  });
  return handOver(list, fields, bGathered);
}

bool CZELWCharString::extractParams(CZELWCharStringList &list,
                                    const CZELWCharStringList &delimiterList,
                                    const CZELWCharString &quoteDelimiter,
                                    const CZELFlags &trimWhere, const CZELFlags &trimWhich) const {
  CZELWCharStringList fields;
  const bool bGathered = runOperation<CZELFunctionTrace>(u"extractParams", __LINE__, [&] {
    // extractTo leaves the list empty whenever it fails, and an empty list
    // is what this operation reports as failure.
    const ZEL_ULONG ulQuotes = getSubStringCount(quoteDelimiter);
    if (ulQuotes < 2) {
      extractTo(fields, delimiterList, trimWhere, trimWhich);
      return true;
    }

    // Each quoted text gives way to a placeholder where it stands, so that
    // delimiters and formatting characters inside it survive the split. (The
    // text's first occurrence may lie outside the quotes; replacing that one
    // would leave the quoted delimiters exposed.)
    const ZEL_ULONG ulQuoteLength = quoteDelimiter.getLength();
    CZELWCharStringList sections; // item data: the placeholder's number
    CZELWCharString masked;
    ZEL_ULONG ulCopied = 0;
    for (ZEL_ULONG ulPair = 0; ulPair < ulQuotes / 2; ++ulPair) {
      ZEL_ULONG ulOpen = 0;
      ZEL_ULONG ulClose = 0;
      if (!getSubStringPos(quoteDelimiter, 2 * ulPair + 1, pmForward, ulOpen) ||
          !getSubStringPos(quoteDelimiter, 2 * ulPair + 2, pmForward, ulClose))
        return false;
      const ZEL_ULONG ulFrom = ulOpen + ulQuoteLength;
      // Overlapping quotes enclose nothing, and an empty text needs no cover.
      if (ulClose <= ulFrom || ulFrom < ulCopied)
        continue;
      const CZELWCharString section = unitsOf(*this, ulFrom, ulClose);
      if (!sections.add(section, ulPair) ||
          !appendChecked(masked, unitsOf(*this, ulCopied, ulFrom)) ||
          !appendChecked(masked, placeholderOf(ulPair)))
        return false;
      ulCopied = ulClose;
    }
    if (!appendChecked(masked, unitsOf(*this, ulCopied, getLength())))
      return false;

    CZELWCharStringList maskedFields;
    if (!masked.extractTo(maskedFields, delimiterList, trimWhere, trimWhich))
      return true;
    CZELWCharString field;
    CZELWCharString section;
    ZEL_ULONG ulIndex = 0;
    ZEL_ULONG ulPair = 0;
    maskedFields.begin();
    do {
      if (!maskedFields.getItem(field))
        return false;
      if (!sections.isEmpty()) {
        sections.begin();
        do {
          if (!sections.getItem(section) || !sections.getItemData(ulPair))
            return false;
          const CZELWCharString placeholder = placeholderOf(ulPair);
          if (field.hasSubString(placeholder) &&
              !field.replaceSubString(placeholder, section, 1, ssmAll))
            return false;
        } while (sections.next());
      }
      if (!fields.add(field, ulIndex++))
        return false;
    } while (maskedFields.next());
    return true;
  });
  return handOver(list, fields, bGathered);
}

bool CZELWCharString::extractTo(CZELWCharStringList &list, const CZELWCharStringList &delimiterList,
                                const CZELFlags &trimWhere, const CZELFlags &trimWhich) const {
  CZELWCharStringList fields;
  const bool bGathered = runOperation<CZELNullTrace>(u"extractTo", __LINE__, [&] {
    if (delimiterList.isEmpty())
      raiseBadArg(u"delimeterList", u"list is empty - no delimeters to parse", __LINE__);
    // Walking needs a cursor of our own; the copy also keeps the delimiters
    // when the caller passes the output list as the delimiter list.
    CZELWCharStringList delimiters(delimiterList);
    if (delimiters.getCount() != delimiterList.getCount())
      return false;

    // Every occurrence of every delimiter, by position, its length as item data.
    CPositionList positions;
    CZELWCharString delimiter;
    delimiters.begin();
    do {
      if (!delimiters.getItem(delimiter))
        return false;
      const ZEL_ULONG ulCount = getSubStringCount(delimiter);
      for (ZEL_ULONG ulOccurrance = 1; ulOccurrance <= ulCount; ++ulOccurrance) {
        ZEL_ULONG ulPos = 0;
        if (!getSubStringPos(delimiter, ulOccurrance, pmForward, ulPos) ||
            !positions.addAscending(ulPos, delimiter.getLength()))
          return false;
      }
    } while (delimiters.next());
    if (positions.isEmpty())
      return true;

    // A field runs from the end of one delimiter to the start of the next.
    // Occurrences that overlap (one delimiter inside another, or a delimiter
    // that overlaps itself) count as one delimiter, since the text between
    // them would have a negative length.
    ZEL_ULONG ulIndex = 0;
    ZEL_ULONG ulFieldStart = 0;
    bool bInField = false;
    auto addField = [&](ZEL_ULONG ulFieldEnd) {
      CZELWCharString field = unitsOf(*this, ulFieldStart, ulFieldEnd);
      return field.trimFormatting(trimWhere, trimWhich) && fields.add(field, ulIndex++);
    };
    positions.begin();
    do {
      ZEL_ULONG ulPos = 0;
      ZEL_ULONG ulLength = 0;
      if (!positions.getItem(ulPos) || !positions.getItemData(ulLength))
        return false;
      if (bInField && ulPos < ulFieldStart) {
        ulFieldStart = std::max(ulFieldStart, ulPos + ulLength);
        continue;
      }
      if (bInField && !addField(ulPos))
        return false;
      ulFieldStart = ulPos + ulLength;
      bInField = true;
    } while (positions.next());
    return addField(getLength());
  });
  return handOver(list, fields, bGathered);
}

// ---- Environment references ---------------------------------------------------------

bool CZELWCharString::expand() {
  return runOperation<CZELFunctionTrace>(u"expand", __LINE__, [&] {
    // Percent signs pair up in order: the 1st and 2nd enclose a name, the
    // 3rd and 4th the next. Each reference whose variable has a value is
    // replaced where it stands; the values themselves are not searched for
    // references again.
    const ZEL_ULONG ulLength = getLength();
    const ZEL_USHORT *pUnits = getBuffer();
    CZELWCharString expanded;
    ZEL_ULONG ulCopied = 0;
    ZEL_ULONG ulOpen = 0;
    bool bOpen = false;
    bool bAnyPair = false;
    bool bReplaced = false;
    for (ZEL_ULONG i = 0; i < ulLength; ++i) {
      if (pUnits[i] != u'%')
        continue;
      if (!bOpen) {
        ulOpen = i;
        bOpen = true;
        continue;
      }
      bOpen = false;
      bAnyPair = true;
      // "%%" names nothing: the environment is not asked about it.
      const CZELWCharString name = unitsOf(*this, ulOpen + 1, i);
      CZELWCharString value;
      if (!name.isValid() || !CZELEnvironmentVariable(name).getValue(value))
        continue;
      if (!appendChecked(expanded, unitsOf(*this, ulCopied, ulOpen)) ||
          !appendChecked(expanded, value))
        return false;
      ulCopied = i + 1;
      bReplaced = true;
    }
    if (!bAnyPair)
      return true;
    if (!bReplaced)
      return false;
    return appendChecked(expanded, unitsOf(*this, ulCopied, ulLength)) &&
           assignChecked(*this, expanded);
  });
}

// ---- The hex-byte text form ------------------------------------------------------------

CZELWCharString CZELWCharString::getAsciiCodeString() const {
  CZELWCharString codes;
  const bool bResult = runOperation<CZELFunctionTrace>(u"getAsciiCodeString", __LINE__, [&] {
    if (!isValid())
      return true;
    // Every unit of the storage, the terminator included, low byte first.
    const CZELBuffer<ZEL_BYTE> bytes = static_cast<const UnitBuffer &>(*this);
    const ZEL_ULONG ulBytes = bytes.getSize();
    if (ulBytes == 0)
      return false; // the conversion has logged why
    if (ulBytes > std::numeric_limits<ZEL_ULONG>::max() / 3)
      throw CZELMemAllocException(u"codes", ZEL_SOURCE, __LINE__, 1, true, false);
    // Two digits and a separator per byte; the last separator's place stays
    // zero and ends the text.
    UnitBuffer text(ulBytes * 3);
    ZEL_USHORT *pText = text.getBuffer();
    const ZEL_BYTE *pBytes = bytes.getBuffer();
    for (ZEL_ULONG i = 0; i < ulBytes; ++i) {
      pText[3 * i] = HEX_DIGITS[pBytes[i] >> 4];
      pText[3 * i + 1] = HEX_DIGITS[pBytes[i] & 0x0F];
      if (i + 1 < ulBytes)
        pText[3 * i + 2] = u' ';
    }
    codes = text;
    return codes.getLength() == ulBytes * 3 - 1;
  });
  if (!bResult)
    codes.destroyBuffer();
  return codes;
}

CZELBuffer<ZEL_BYTE> CZELWCharString::getBufferFromAsciiCodeString() const {
  CZELBuffer<ZEL_BYTE> bytes;
  const bool bResult =
      runOperation<CZELFunctionTrace>(u"getBufferFromAsciiCodeString", __LINE__, [&] {
        // Two digits, then a separator that is skipped unread.
        const ZEL_ULONG ulLength = getLength();
        if (ulLength < 2)
          return true;
        const ZEL_ULONG ulCount = (ulLength - 2) / 3 + 1;
        if (!bytes.allocBuffer(ulCount))
          return false;
        for (ZEL_ULONG i = 0; i < ulCount; ++i) {
          const CZELWCharString code(UnitBuffer(getBuffer() + 3 * i, 2));
          ZEL_LONG lValue = 0;
          // A code that is no byte would corrupt the data it stands for.
          if (!code.toLong(lValue, nsHex) || lValue < 0 || lValue > 0xFF)
            raiseBadArg(u"this string", u"holds a code that is not a hexadecimal byte", __LINE__);
          bytes.getBuffer()[i] = static_cast<ZEL_BYTE>(lValue);
        }
        return true;
      });
  if (!bResult)
    bytes.destroyBuffer();
  return bytes;
}
