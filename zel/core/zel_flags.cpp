// zel_flags.cpp - CZELFlags, a 32-bit word of option flags.
//
// Setting and clearing report whether they changed the word, so a caller can
// tell "already set" (or "not all set") apart from a change it made.
#include "zel_flags.h"

#include "zel_function_trace.h"

static const ZEL_USHORT ZEL_SOURCE[] = u".\\zel_flags";
static const ZEL_USHORT ZEL_CLASS[] = u"CZELFlags";

bool CZELFlags::hasFlags(ZEL_ULONG ulFlags) const {
  CZELFunctionTrace trace(ZEL_CLASS, u"hasFlags", ZEL_SOURCE, __LINE__);
  const bool bResult = (m_ulFlags & ulFlags) == ulFlags;
  trace.setResult(bResult);
  return bResult;
}

bool CZELFlags::operator<<(ZEL_ULONG ulFlags) {
  CZELFunctionTrace trace(ZEL_CLASS, u"operator<<", ZEL_SOURCE, __LINE__);
  const bool bResult = ulFlags != 0 && !hasFlags(ulFlags);
  if (bResult)
    m_ulFlags |= ulFlags;
  trace.setResult(bResult);
  return bResult;
}

bool CZELFlags::operator>>(ZEL_ULONG ulFlags) {
  CZELFunctionTrace trace(ZEL_CLASS, u"operator>>", ZEL_SOURCE, __LINE__);
  const bool bResult = ulFlags != 0 && hasFlags(ulFlags);
  if (bResult)
    m_ulFlags &= ~ulFlags;
  trace.setResult(bResult);
  return bResult;
}

bool CZELFlags::getIndex(ZEL_ULONG ulFlags, ZEL_ULONG &ulIndex) const {
  CZELFunctionTrace trace(ZEL_CLASS, u"getIndex", ZEL_SOURCE, __LINE__);
  const bool bResult = ulFlags != 0 && hasFlags(ulFlags);
  if (bResult) {
    ZEL_ULONG ulHighest = 31;
    while ((ulFlags & (ZEL_ULONG{1} << ulHighest)) == 0)
      --ulHighest;
    ulIndex = ulHighest;
  }
  trace.setResult(bResult);
  return bResult;
}

bool CZELFlags::getFlag(ZEL_ULONG ulIndex, ZEL_ULONG &ulFlag) const {
  CZELFunctionTrace trace(ZEL_CLASS, u"getFlag", ZEL_SOURCE, __LINE__);
  const bool bResult = ulIndex < 32;
  if (bResult)
    ulFlag = (ZEL_ULONG{1} << ulIndex) & m_ulFlags;
  trace.setResult(bResult);
  return bResult;
}
