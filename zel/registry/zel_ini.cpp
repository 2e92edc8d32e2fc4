// zel_ini.cpp - CZELIni, one profile (INI) file by name.
//
// Every operation is one profile call on the file under a working trace
// and the framework's two handlers (absorb): a failing write raises its
// own entry, written at once, and the operation answers false; anything
// foreign is recorded with the last system error. setProfileInt catches
// with the catch-all alone, so its write entry is followed by an
// unhandled-exception entry; log readers know that pair. Empty names and
// values go to the system as null pointers.
#include "zel_ini.h"

#include "zel_catch.h"
#include "zel_function_trace.h"

#include "zelsys/kernel.h"
#include "zelsys/profilefiles.h"

#include <new>

static const ZEL_USHORT ZEL_SOURCE[] = u".\\zel_ini";
static const ZEL_USHORT ZEL_CLASS[] = u"CZELIni";

namespace {

// The list calls' buffer, and what they return when the list was cut.
constexpr zelsys::DWORD LIST_UNITS = 0x7FFF;
// The string call's buffer; 1,022 and 1,023 are taken as cut.
constexpr zelsys::DWORD STRING_UNITS = 1024;
const ZEL_USHORT NOT_FOUND[] = u"Not Found";

template <class Body>
bool runOperation(const ZEL_USHORT *pszMethod, ZEL_ULONG ulLine, Body &&body) {
  return zelTracedAbsorb(ZEL_CLASS, pszMethod, ZEL_SOURCE, ulLine, CZELErrorSource::esLastError,
                         body);
}

const ZEL_USHORT *orNull(const CZELWCharString &szText) {
  return szText.getLength() == 0 ? nullptr : szText.getBuffer();
}

ZEL_LONG lastError() { return static_cast<ZEL_LONG>(zelsys::GetLastError()); }

// The largest buffer the whole-list reads grow to (512 MiB of units).
constexpr zelsys::DWORD MAX_LIST_UNITS = 0x10000000;

// A zero-separated list of n units as strings; empty runs are skipped.
bool fillList(const ZEL_USHORT *pUnits, zelsys::DWORD n, CZELIniLineList &list) {
  if (n == 0)
    return false;
  list.flush();
  for (zelsys::DWORD start = 0; start < n;) {
    zelsys::DWORD end = start;
    while (end < n && pUnits[end] != 0)
      ++end;
    if (end > start)
      list.add(CZELWCharString(CZELBuffer<ZEL_USHORT>(pUnits + start, end - start)), 0);
    start = end + 1;
  }
  return !list.isEmpty();
}

// Reads a list with a buffer of LIST_UNITS, or, for bWhole, of as many as
// the list needs: a cut list answers size - 2, so the buffer doubles until
// the answer is shorter. A cut list gives false.
template <class Call> bool readList(CZELIniLineList &list, bool bWhole, Call call) {
  for (zelsys::DWORD units = LIST_UNITS;; units *= 2) {
    CZELBuffer<ZEL_USHORT> buffer(units);
    const zelsys::DWORD n = call(buffer.getBuffer(), units);
    if (n != units - 2)
      return fillList(buffer.getBuffer(), n, list);
    if (!bWhole || units > MAX_LIST_UNITS / 2)
      return false;
  }
}

void writeString(const CZELWCharString &szSection, const CZELWCharString &szKeyName,
                 const CZELWCharString &szValue, const CZELWCharString &szFileName,
                 ZEL_ULONG ulLine) {
  if (!zelsys::WritePrivateProfileStringW(orNull(szSection), orNull(szKeyName), orNull(szValue),
                                          orNull(szFileName)))
    throw CZELWritePrivateProfileStringException(orNull(szSection), orNull(szKeyName), lastError(),
                                                 ZEL_SOURCE, ulLine, 1, true, false);
}

} // namespace

CZELIni::CZELIni(CZELWCharString szFileName) : m_szFileName(szFileName) {
  CZELFunctionTrace trace(ZEL_CLASS, u"Constructor", ZEL_SOURCE, __LINE__);
  trace.setResult(true);
}

CZELIni::CZELIni(const CZELIni &other) : m_szFileName(other.m_szFileName) {
  CZELFunctionTrace trace(ZEL_CLASS, u"Copy constructor", ZEL_SOURCE, __LINE__);
  trace.setResult(true);
}

CZELIni &CZELIni::operator=(const CZELIni &other) {
  runOperation(u"operator=", __LINE__, [&] {
    m_szFileName = other.m_szFileName;
    return m_szFileName == other.m_szFileName;
  });
  return *this;
}

CZELIni::~CZELIni() {
  CZELFunctionTrace trace(ZEL_CLASS, u"Destructor", ZEL_SOURCE, __LINE__);
  trace.setResult(true);
}

bool CZELIni::createProfileSection(const CZELWCharString &szSection) {
  return runOperation(u"createProfileSection", __LINE__, [&] {
    if (!zelsys::WritePrivateProfileSectionW(orNull(szSection), nullptr, orNull(m_szFileName)))
      throw CZELWritePrivateProfileSectionException(orNull(szSection), lastError(), ZEL_SOURCE,
                                                    __LINE__, 1, true, false);
  });
}

bool CZELIni::getProfileInt(const CZELWCharString &szSection, const CZELWCharString &szKeyName,
                            ZEL_LONG *pnValue) {
  return runOperation(u"getProfileInt", __LINE__, [&] {
    const ZEL_LONG nValue = static_cast<ZEL_LONG>(zelsys::GetPrivateProfileIntW(
        orNull(szSection), orNull(szKeyName), -1, orNull(m_szFileName)));
    if (nValue == -1)
      throw CZELLogException1(u"GetPrivateProfileInt( ) failed.", lastError(), 0, nullptr, nullptr,
                              ZEL_SOURCE, __LINE__, 1, true, false);
    if (pnValue != nullptr)
      *pnValue = nValue;
  });
}

bool CZELIni::getProfileSection(const CZELWCharString &szSection, CZELIniLineList &lines) {
  return readSection(szSection, lines, false);
}

bool CZELIni::getProfileSectionNames(CZELIniLineList &names) {
  return readSectionNames(names, false);
}

bool CZELIni::getWholeProfileSection(const CZELWCharString &szSection, CZELIniLineList &lines) {
  return readSection(szSection, lines, true);
}

bool CZELIni::getWholeProfileSectionNames(CZELIniLineList &names) {
  return readSectionNames(names, true);
}

bool CZELIni::readSection(const CZELWCharString &szSection, CZELIniLineList &lines, bool bWhole) {
  return runOperation(u"getProfileSection", __LINE__, [&] {
    return readList(lines, bWhole, [&](ZEL_USHORT *pBuffer, zelsys::DWORD units) {
      return zelsys::GetPrivateProfileSectionW(orNull(szSection), pBuffer, units,
                                               orNull(m_szFileName));
    });
  });
}

bool CZELIni::readSectionNames(CZELIniLineList &names, bool bWhole) {
  return runOperation(u"getProfileSectionNames", __LINE__, [&] {
    return readList(names, bWhole, [&](ZEL_USHORT *pBuffer, zelsys::DWORD units) {
      return zelsys::GetPrivateProfileSectionNamesW(pBuffer, units, orNull(m_szFileName));
    });
  });
}

bool CZELIni::getProfileString(const CZELWCharString &szSection, const CZELWCharString &szKeyName,
                               CZELWCharString &szValue) {
  return runOperation(u"getProfileString", __LINE__, [&] {
    CZELBuffer<ZEL_USHORT> buffer(STRING_UNITS);
    const zelsys::DWORD n =
        zelsys::GetPrivateProfileStringW(orNull(szSection), orNull(szKeyName), NOT_FOUND,
                                         buffer.getBuffer(), STRING_UNITS, orNull(m_szFileName));
    if (n == 0 || n == STRING_UNITS - 1 || n == STRING_UNITS - 2)
      return false;
    const CZELWCharString szRead(CZELBuffer<ZEL_USHORT>(buffer.getBuffer(), n));
    if (szRead == CZELWCharString(NOT_FOUND))
      return false;
    szValue = szRead;
    return true;
  });
}

bool CZELIni::setProfileInt(const CZELWCharString &szSection, const CZELWCharString &szKeyName,
                            ZEL_LONG nValue) {
  CZELFunctionTrace trace(ZEL_CLASS, u"setProfileInt", ZEL_SOURCE, __LINE__);
  bool bResult = false;
  try {
    writeString(szSection, szKeyName, CZELWCharString(nValue), m_szFileName, __LINE__);
    bResult = true;
  } catch (...) {
    zelLogUnhandled(CZELErrorSource::esLastError, ZEL_SOURCE, __LINE__);
  }
  trace.setResult(bResult);
  return bResult;
}

bool CZELIni::setProfileString(const CZELWCharString &szSection, const CZELWCharString &szKeyName,
                               const CZELWCharString &szValue) {
  return runOperation(u"setProfileString", __LINE__,
                      [&] { writeString(szSection, szKeyName, szValue, m_szFileName, __LINE__); });
}
