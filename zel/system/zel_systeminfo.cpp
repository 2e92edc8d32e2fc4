// zel_systeminfo.cpp - CZELSystemInfo, facts about the machine.
//
// Every operation opens a function trace and runs its body under the
// framework's two handlers (absorb), recording a foreign failure with the
// last system error. A failing system call becomes its exception class,
// written when it is constructed, thrown, and caught by the operation's own
// handler, which then has nothing more to write; the result is false. The
// account enumerations gather every name before they touch the caller's
// list, so a failure part way leaves the list as it was.
#include "zel_system_info.h"

#include "zel_buffer.h"
#include "zel_common_policy.h"
#include "zel_directory.h"
#include "zel_function_trace.h"

#include "zelsys/files.h"
#include "zelsys/kernel.h"
#include "zelsys/winconst.h"

static const ZEL_USHORT ZEL_SOURCE[] = u".\\zel_systeminfo";
static const ZEL_USHORT ZEL_CLASS[] = u"CZELSystemInfo";

namespace {

constexpr ZEL_ULONG SYSTEM_TYPE_POLICY = 8;
constexpr ZEL_ULONG HIGHEST_SYSTEM_TYPE = 2;

const ZEL_USHORT *const STORAGE_NAMES[] = {u"Korvel", u"Solvane"};

template <class Body>
bool runOperation(const ZEL_USHORT *pszMethod, ZEL_ULONG ulLine, Body &&body) {
  return zelTracedAbsorb(ZEL_CLASS, pszMethod, ZEL_SOURCE, ulLine, CZELErrorSource::esLastError,
                         body);
}

ZEL_LONG lastError() { return static_cast<ZEL_LONG>(zelsys::GetLastError()); }

[[noreturn]] void throwComputerName(const ZEL_USHORT *pszReason, ZEL_LONG lError,
                                    ZEL_ULONG ulLine) {
  throw CZELSIgetHostNameException(pszReason, lError, ZEL_CLASS, u"getHostName", ZEL_SOURCE, ulLine,
                                   1, true, false);
}

// The WMI step that failed, as its exception class.
[[noreturn]] void throwWmi(zelsys::WmiStep eStep, zelsys::HRESULT hr, ZEL_ULONG ulLine) {
  switch (eStep) {
  case zelsys::WmiStep::Initialize:
    throw CZELWMICoCreateInstanceException(hr, ZEL_SOURCE, ulLine, 1, true, false);
  case zelsys::WmiStep::Connect:
    throw CZELWMIConnectServerException(hr, ZEL_SOURCE, ulLine, 1, true, false);
  case zelsys::WmiStep::Query:
    throw CZELWMICreateInstanceEnumException(hr, ZEL_SOURCE, ulLine, 1, true, false);
  case zelsys::WmiStep::Next:
    throw CZELWMIEnumNextException(hr, ZEL_SOURCE, ulLine, 1, true, false);
  case zelsys::WmiStep::Get:
    break;
  }
  throw CZELWMICOMGetException(hr, ZEL_SOURCE, ulLine, 1, true, false);
}

// The buffer of one enumeration call, released on every way out. A failed
// release is written and the enumeration goes on.
class NetBuffer {
public:
  NetBuffer(const ZEL_USHORT *pszCall) : m_pszCall(pszCall) {}
  NetBuffer(const NetBuffer &) = delete;
  NetBuffer &operator=(const NetBuffer &) = delete;
  ~NetBuffer() {
    if (m_pBuffer == nullptr)
      return;
    const zelsys::NET_API_STATUS status = zelsys::NetApiBufferFree(m_pBuffer);
    if (status != zelsys::NERR_Success)
      CZELNetApiBufferFreeException(m_pszCall, static_cast<ZEL_LONG>(status), ZEL_SOURCE, __LINE__,
                                    1, true, false);
  }
  zelsys::LPBYTE *out() { return &m_pBuffer; }
  zelsys::LPBYTE get() const { return m_pBuffer; }

private:
  const ZEL_USHORT *m_pszCall;
  zelsys::LPBYTE m_pBuffer = nullptr;
};

// The text of one level-0 entry.
const ZEL_USHORT *entryName(const zelsys::USER_INFO_0 &info) { return info.usri0_name; }
const ZEL_USHORT *entryName(const zelsys::GROUP_INFO_0 &info) { return info.grpi0_name; }

[[noreturn]] void throwAccessViolation(ZEL_ULONG ulLine) {
  throw CZELLogException1(u"An access violation has occurred", lastError(), 0, nullptr, nullptr,
                          ZEL_SOURCE, ulLine, 1, true, false);
}

} // namespace

CZELSystemInfo::CZELSystemInfo(ZEL_ULONG ulStorageIndex) : m_ulStorageIndex(ulStorageIndex) {
  CZELFunctionTrace trace(ZEL_CLASS, u"Constructor", ZEL_SOURCE, __LINE__);
  trace.setResult(true);
}

CZELSystemInfo::~CZELSystemInfo() {
  CZELFunctionTrace trace(ZEL_CLASS, u"Destructor", ZEL_SOURCE, __LINE__);
  trace.setResult(true);
}

// ---- Storage folder --------------------------------------------------------------

bool CZELSystemInfo::getStoragePath(CZELWCharString &strPath) {
  return runOperation(u"getStoragePath", __LINE__, [&] {
    if (m_ulStorageIndex >= std::size(STORAGE_NAMES))
      throw CZELBadArgException(u"m_ulStorageIndex", u"The storage index has no folder name.",
                                ZEL_SOURCE, __LINE__, 1, true, false);
    CZELBuffer<ZEL_USHORT> folder(zelsys::MAX_PATH + 1);
    const zelsys::HRESULT hr =
        zelsys::SHGetFolderPathW(nullptr, zelsys::CSIDL_COMMON_APPDATA, nullptr,
                                 zelsys::SHGFP_TYPE_CURRENT, folder.getBuffer());
    if (hr < 0)
      throw CZELSIgetStoragePathException(u"CSIDL_COMMON_APPDATA",
                                          u"SHGetFolderPath( CSIDL_COMMON_APPDATA ) failed", hr,
                                          ZEL_SOURCE, __LINE__, 1, true, false);
    CZELWCharString path(folder.getBuffer());
    path += u"\\";
    path += STORAGE_NAMES[m_ulStorageIndex];
    path += u"\\";
    // One level, and its result does not matter: the path is the answer
    // whether or not the folder could be made.
    CZELDirectory directory(path);
    if (!directory.isValidDirectory())
      (void)zelsys::CreateDirectoryW(path.getBuffer(), nullptr);
    strPath = path;
    return true;
  });
}

// ---- Computer names ----------------------------------------------------------------

zelsys::BOOL CZELSystemInfo::callGetComputerNameEx(zelsys::COMPUTER_NAME_FORMAT eFormat,
                                                   zelsys::LPWSTR lpBuffer, zelsys::DWORD *pnSize) {
  return zelsys::GetComputerNameExW(eFormat, lpBuffer, pnSize);
}

bool CZELSystemInfo::getComputerName(zelsys::COMPUTER_NAME_FORMAT eFormat,
                                     CZELWCharString &strName) {
  return runOperation(u"getComputerName", __LINE__, [&] {
    zelsys::DWORD dwSize = 0;
    if (callGetComputerNameEx(eFormat, nullptr, &dwSize))
      throwComputerName(u"GetComputerNameEx not expected to succeed with invalid output buffer", -1,
                        __LINE__);
    if (zelsys::GetLastError() != zelsys::ERROR_MORE_DATA)
      throwComputerName(u"GetComputerNameEx failed with error other than ERROR_MORE_DATA",
                        lastError(), __LINE__);
    // The size reported includes the terminator; one more unit is spare.
    CZELBuffer<ZEL_USHORT> name(dwSize + 1);
    zelsys::DWORD dwCapacity = dwSize + 1;
    if (!callGetComputerNameEx(eFormat, name.getBuffer(), &dwCapacity))
      throwComputerName(u"GetComputerNameEx failed", lastError(), __LINE__);
    strName = CZELWCharString(name.getBuffer());
    return true;
  });
}

bool CZELSystemInfo::getDomainName(CZELWCharString &strName) {
  return runOperation(u"getDomainName", __LINE__,
                      [&] { return getComputerName(zelsys::ComputerNameDnsDomain, strName); });
}

bool CZELSystemInfo::getHostName(CZELWCharString &strName) {
  return runOperation(u"getHostName", __LINE__, [&] {
    return getComputerName(zelsys::ComputerNameDnsFullyQualified, strName);
  });
}

bool CZELSystemInfo::getMachineName(CZELWCharString &strName) {
  return runOperation(u"getMachineName", __LINE__, [&] {
    CZELBuffer<ZEL_USHORT> name(zelsys::MAX_COMPUTERNAME_LENGTH + 1);
    zelsys::DWORD dwSize = zelsys::MAX_COMPUTERNAME_LENGTH + 1;
    if (!zelsys::GetComputerNameW(name.getBuffer(), &dwSize))
      throw CZELSIgetMachineNameException(u"GetComputerName failed", lastError(), ZEL_SOURCE,
                                          __LINE__, 1, true, false);
    strName = CZELWCharString(name.getBuffer());
    return true;
  });
}

// ---- Hardware identity and system type -----------------------------------------------

bool CZELSystemInfo::getSystemUUID(CZELWCharString &strUUID) {
  return runOperation(u"getSystemUUID", __LINE__, [&] {
    std::u16string uuid;
    zelsys::WmiStep eStep = zelsys::WmiStep::Initialize;
    const zelsys::HRESULT hr = zelsys::queryWmiString(
        u"root\\cimv2", u"Win32_ComputerSystemProduct", u"UUID", uuid, &eStep);
    if (hr < 0)
      throwWmi(eStep, hr, __LINE__);
    strUUID = CZELWCharString(uuid.c_str());
    return true;
  });
}

bool CZELSystemInfo::getSystemType(ZEL_ULONG &rulType, bool bSkip) {
  return runOperation(u"getSystemType", __LINE__, [&] {
    if (bSkip)
      return false;
    CZELCommonPolicy policy;
    ZEL_ULONG ulType = 0;
    if (!policy.getPolicy(SYSTEM_TYPE_POLICY, ulType, false, CZELWCharString()))
      return false;
    if (ulType > HIGHEST_SYSTEM_TYPE) {
      CZELLogException1(u"Invalid system type specified in registry.", -1, 0, nullptr, nullptr,
                        ZEL_SOURCE, __LINE__, 1, true, false);
      ulType = 0;
    }
    rulType = ulType;
    return true;
  });
}

// ---- Accounts and groups -------------------------------------------------------------

template <class Info, class Call>
bool CZELSystemInfo::enumerateNames(const ZEL_USHORT *pszMethod, ZEL_ULONG ulLine,
                                    CZELWCharStringList &list, Call &&call) {
  return runOperation(pszMethod, ulLine, [&] {
    CZELWCharStringList found;
    zelsys::NET_API_STATUS status = zelsys::NERR_Success;
    do {
      zelsys::DWORD dwRead = 0;
      zelsys::DWORD dwTotal = 0;
      NetBuffer buffer(pszMethod);
      status = call(buffer.out(), &dwRead, &dwTotal);
      if (status != zelsys::NERR_Success && status != zelsys::ERROR_MORE_DATA)
        throw CZELNetUserEnumException(static_cast<ZEL_LONG>(status), ZEL_SOURCE, __LINE__, 1,
                                       true);
      if (dwRead > 0 && buffer.get() == nullptr)
        throwAccessViolation(__LINE__);
      const auto *pEntries = reinterpret_cast<const Info *>(buffer.get());
      for (zelsys::DWORD i = 0; i < dwRead; ++i) {
        if (entryName(pEntries[i]) == nullptr)
          throwAccessViolation(__LINE__);
        if (!found.add(CZELWCharString(entryName(pEntries[i]))))
          return false;
      }
    } while (status == zelsys::ERROR_MORE_DATA);
    // Only a complete answer reaches the caller's list.
    if (found.isEmpty())
      return true;
    found.begin();
    do {
      CZELWCharString name;
      if (!found.getItem(name) || !list.add(name))
        return false;
    } while (found.next());
    return true;
  });
}

bool CZELSystemInfo::enumerateUserAccounts(const CZELWCharString &strServer,
                                           CZELWCharStringList &list) {
  zelsys::DWORD dwResume = 0;
  return enumerateNames<zelsys::USER_INFO_0>(
      u"enumerateUserAccounts", __LINE__, list,
      [&](zelsys::LPBYTE *ppBuffer, zelsys::DWORD *pdwRead, zelsys::DWORD *pdwTotal) {
        return zelsys::NetUserEnum(strServer.getBuffer(), 0, zelsys::FILTER_NORMAL_ACCOUNT,
                                   ppBuffer, zelsys::MAX_PREFERRED_LENGTH, pdwRead, pdwTotal,
                                   &dwResume);
      });
}

bool CZELSystemInfo::enumerateGroupAccounts(const CZELWCharString &strServer,
                                            CZELWCharStringList &list) {
  zelsys::DWORD_PTR dwResume = 0;
  return enumerateNames<zelsys::GROUP_INFO_0>(
      u"enumerateGroupAccounts", __LINE__, list,
      [&](zelsys::LPBYTE *ppBuffer, zelsys::DWORD *pdwRead, zelsys::DWORD *pdwTotal) {
        return zelsys::NetGroupEnum(strServer.getBuffer(), 0, ppBuffer,
                                    zelsys::MAX_PREFERRED_LENGTH, pdwRead, pdwTotal, &dwResume);
      });
}

bool CZELSystemInfo::enumerateDomainAccounts(const CZELWCharString &strServer,
                                             CZELWCharStringList &list) {
  return runOperation(u"enumerateDomainAccounts", __LINE__,
                      [&] { return enumerateUserAccounts(strServer, list); });
}

bool CZELSystemInfo::enumerateDomainGroups(const CZELWCharString &strServer,
                                           CZELWCharStringList &list) {
  return runOperation(u"enumerateDomainGroups", __LINE__,
                      [&] { return enumerateGroupAccounts(strServer, list); });
}

// Both local enumerations are traced under one name, the framework's own.
bool CZELSystemInfo::enumerateLocalAccounts(CZELWCharStringList &list) {
  return runOperation(u"enumerateLocalGroups", __LINE__,
                      [&] { return enumerateUserAccounts(CZELWCharString(), list); });
}

bool CZELSystemInfo::enumerateLocalGroups(CZELWCharStringList &list) {
  return runOperation(u"enumerateLocalGroups", __LINE__,
                      [&] { return enumerateGroupAccounts(CZELWCharString(), list); });
}
