// zel_wchar_string_private.h - what the string's source files share: the
// names its log entries carry, the way an argument error is raised, and the
// table of formatting characters.
#pragma once

#include "zel_catch.h"
#include "zel_function_trace.h"
#include "zel_wchar_string.h"

#include <utility>

static const ZEL_USHORT ZEL_SOURCE[] = u".\\zel_wchar_string";
static const ZEL_USHORT ZEL_CLASS[] = u"CZELWCharString";

typedef CZELBuffer<ZEL_USHORT> UnitBuffer;

// Logged at once and caught by the operation's own handler, which then
// reports false.
[[noreturn]] inline void raiseBadArg(const ZEL_USHORT *pszArgument, const ZEL_USHORT *pszReason,
                                     ZEL_ULONG ulLine) {
  throw CZELBadArgException(pszArgument, pszReason, ZEL_SOURCE, ulLine, 1, true, false);
}

// The formatting characters in the order of their selecting bits (bit 0
// space, 1 TAB, 2 form feed, 3 bell, 4 line feed, 5 backspace, 6 CR,
// 7 vertical tab); the marker ends the table.
inline constexpr ZEL_USHORT FORMAT_CHARS[] = {u' ',  u'\t', u'\f', u'\a', u'\n',
                                              u'\b', u'\r', u'\v', 0xFFFF};

// True when usChar is one of the formatting characters that ulWhich selects.
inline bool isSelectedFormatChar(ZEL_USHORT usChar, ZEL_ULONG ulWhich) {
  for (ZEL_ULONG i = 0; FORMAT_CHARS[i] != 0xFFFF; ++i) {
    if (FORMAT_CHARS[i] == usChar && (ulWhich & (ZEL_ULONG{1} << i)) != 0)
      return true;
  }
  return false;
}

// Runs an operation's body under the catch sites, inside its trace. Most
// methods keep the compiled-out trace; a few are traced for real.
template <class Trace = CZELNullTrace, class Body>
bool runOperation(const ZEL_USHORT *pszMethod, ZEL_ULONG ulLine, Body &&body) {
  return zelTracedAbsorb<Trace>(ZEL_CLASS, pszMethod, ZEL_SOURCE, ulLine, CZELErrorSource::esErrno,
                                std::forward<Body>(body));
}

// Units [ulFrom, ulTo) of text (ulFrom <= ulTo <= length); an empty range
// gives the empty string.
inline CZELWCharString unitsOf(const CZELWCharString &text, ZEL_ULONG ulFrom, ZEL_ULONG ulTo) {
  if (ulFrom == ulTo)
    return CZELWCharString();
  return CZELWCharString(UnitBuffer(text.getBuffer() + ulFrom, ulTo - ulFrom));
}

// A failed assignment is logged by the string and leaves the target as it
// was; comparing tells whether the value arrived.
inline bool assignChecked(CZELWCharString &rTarget, const CZELWCharString &value) {
  rTarget = value;
  return rTarget == value;
}
