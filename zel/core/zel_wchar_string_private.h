// zel_wchar_string_private.h - what the string's source files share: the
// names its log entries carry and the way an argument error is raised.
#pragma once

#include "zel_catch.h"
#include "zel_wchar_string.h"

static const ZEL_USHORT ZEL_SOURCE[] = u".\\zel_wchar_string";
static const ZEL_USHORT ZEL_CLASS[] = u"CZELWCharString";

typedef CZELBuffer<ZEL_USHORT> UnitBuffer;

// Logged at once and caught by the operation's own handler, which then
// reports false.
[[noreturn]] inline void raiseBadArg(const ZEL_USHORT *pszArgument, const ZEL_USHORT *pszReason,
                                     ZEL_ULONG ulLine) {
  throw CZELBadArgException(pszArgument, pszReason, ZEL_SOURCE, ulLine, 1, true, false);
}
