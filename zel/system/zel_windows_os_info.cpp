// zel_windows_os_info.cpp - CZELWindowsOSInfo, the facts about the running
// Windows.
//
// Every operation opens a function trace and runs its body under the
// framework's two handlers (absorb), recording a foreign failure with the
// last system error; a fact that cannot be had gives false or 0. Only the
// constructor throws, and only when the version cannot be obtained. The
// shell's query function is looked up by ordinal, the one way every shell
// from Windows XP on exports it, and its library is released on every way
// out.
#include "zel_windows_os_info.h"

#include "zel_environment_variable.h"
#include "zel_function_trace.h"
#include "zel_registry_dword.h"

#include "zelsys/system.h"
#include "zelsys/winconst.h"

static const ZEL_USHORT ZEL_SOURCE[] = u".\\zel_windows_os_info";
static const ZEL_USHORT ZEL_CLASS[] = u"CZELWindowsOSInfo";

namespace {

constexpr zelsys::WORD IS_OS_ORDINAL = 437;
using IsOSFunction = zelsys::BOOL(ZELSYS_WINAPI *)(zelsys::DWORD);

template <class Body>
bool runOperation(const ZEL_USHORT *pszMethod, ZEL_ULONG ulLine, Body &&body) {
  return zelTracedAbsorb(ZEL_CLASS, pszMethod, ZEL_SOURCE, ulLine, CZELErrorSource::esLastError,
                         body);
}

// A library loaded for the length of one operation.
class LoadedLibrary {
public:
  explicit LoadedLibrary(const ZEL_USHORT *pszName) : m_hModule(zelsys::LoadLibraryW(pszName)) {}
  ~LoadedLibrary() {
    if (m_hModule != nullptr)
      zelsys::FreeLibrary(m_hModule);
  }
  LoadedLibrary(const LoadedLibrary &) = delete;
  LoadedLibrary &operator=(const LoadedLibrary &) = delete;

  zelsys::HMODULE get() const { return m_hModule; }

private:
  zelsys::HMODULE m_hModule;
};

// The service pack level: "CSDVersion" shifted right by 8 bits (0x300 is
// Service Pack 3); 0 when it cannot be read.
ZEL_ULONG readServicePackLevel() {
  ZEL_ULONG ulCSDVersion = 0;
  const bool bRead = zelAbsorb(ZEL_SOURCE, __LINE__, CZELErrorSource::esLastError, [&] {
    CZELRegistryDword csdVersion(zelsys::HKEY_LOCAL_MACHINE,
                                 u"SYSTEM\\CurrentControlSet\\Control\\Windows", u"CSDVersion",
                                 zelsys::KEY_READ);
    return csdVersion.getRegistryDword(&ulCSDVersion, false);
  });
  return bRead ? ulCSDVersion >> 8 : 0;
}

// The version in the extended structure, else in the basic one.
bool readVersion(zelsys::OSVERSIONINFOEXW &version) {
  auto *pVersion = reinterpret_cast<zelsys::OSVERSIONINFOW *>(&version);
  version.dwOSVersionInfoSize = sizeof(zelsys::OSVERSIONINFOEXW);
  if (zelsys::GetVersionExW(pVersion))
    return true;
  version.dwOSVersionInfoSize = sizeof(zelsys::OSVERSIONINFOW);
  return zelsys::GetVersionExW(pVersion) != zelsys::FALSE;
}

} // namespace

// ---- Construction and copy -------------------------------------------------------

CZELWindowsOSInfo::CZELWindowsOSInfo()
    : m_bXPOrGreater(false), m_bOSQuery37(false), m_bPE(false), m_ulServicePack(0), m_dVersion(0) {
  CZELFunctionTrace trace(ZEL_CLASS, u"Constructor", ZEL_SOURCE, __LINE__);
  m_bPE = performPECheck();
  // Query 37 follows when the shell could be asked, whatever it answered.
  bool bAnswer = false;
  if (performOSQueryFunction(zelsys::OS_XPORGREATER, &bAnswer)) {
    m_bXPOrGreater = bAnswer;
    if (performOSQueryFunction(zelsys::OS_VISTAORGREATER, &bAnswer))
      m_bOSQuery37 = bAnswer;
  }
  m_ulServicePack = readServicePackLevel();
  zelsys::OSVERSIONINFOEXW version{};
  if (!readVersion(version)) {
    trace.setResult(false);
    throw CZELWindowsOSInfoInitNeededException(ZEL_SOURCE, __LINE__, 1, true, false);
  }
  m_dVersion = version.dwMajorVersion + version.dwMinorVersion / 10.0;
  trace.setResult(true);
}

CZELWindowsOSInfo::CZELWindowsOSInfo(const CZELWindowsOSInfo &other)
    : m_bXPOrGreater(other.m_bXPOrGreater), m_bOSQuery37(other.m_bOSQuery37), m_bPE(other.m_bPE),
      m_ulServicePack(other.m_ulServicePack), m_dVersion(other.m_dVersion) {
  CZELFunctionTrace trace(ZEL_CLASS, u"Copy constructor", ZEL_SOURCE, __LINE__);
  trace.setResult(true);
}

CZELWindowsOSInfo &CZELWindowsOSInfo::operator=(const CZELWindowsOSInfo &other) {
  runOperation(u"operator=", __LINE__, [&] {
    m_bXPOrGreater = other.m_bXPOrGreater;
    m_bOSQuery37 = other.m_bOSQuery37;
    m_bPE = other.m_bPE;
    m_ulServicePack = other.m_ulServicePack;
    m_dVersion = other.m_dVersion;
  });
  return *this;
}

CZELWindowsOSInfo::~CZELWindowsOSInfo() {
  CZELFunctionTrace trace(ZEL_CLASS, u"Destructor", ZEL_SOURCE, __LINE__);
  trace.setResult(true);
}

// ---- Queries -----------------------------------------------------------------------

ZEL_LONG CZELWindowsOSInfo::getPlatform() const {
  CZELFunctionTrace trace(ZEL_CLASS, u"getPlatform", ZEL_SOURCE, __LINE__);
  zelsys::SYSTEM_INFO info{};
  zelsys::GetNativeSystemInfo(&info);
  const zelsys::WORD wArchitecture = info.wProcessorArchitecture;
  const ZEL_LONG lPlatform = wArchitecture == zelsys::PROCESSOR_ARCHITECTURE_IA64 ||
                                     wArchitecture == zelsys::PROCESSOR_ARCHITECTURE_AMD64 ||
                                     wArchitecture == zelsys::PROCESSOR_ARCHITECTURE_IA32_ON_WIN64
                                 ? 2
                                 : 1;
  trace.setLogicalResult(lPlatform);
  return lPlatform;
}

// The version tests compare the stored number with the constants exactly:
// major + minor / 10 in double precision gives the very constant.
bool CZELWindowsOSInfo::isXP() const {
  return runOperation(u"isXP", __LINE__, [&] { return m_dVersion >= 5.1 && m_dVersion < 6; });
}

bool CZELWindowsOSInfo::isVista() const {
  return runOperation(u"isVista", __LINE__, [&] { return m_dVersion == 6.0; });
}

bool CZELWindowsOSInfo::isWindows7() const {
  return runOperation(u"isWindows7", __LINE__, [&] { return m_dVersion == 6.1; });
}

bool CZELWindowsOSInfo::isWelcomeScreenEnabled() const {
  return runOperation(u"isWelcomeScreenEnabled", __LINE__, [&] {
    bool bAnswer = false;
    return m_bXPOrGreater && performOSQueryFunction(zelsys::OS_WELCOMELOGONUI, &bAnswer) && bAnswer;
  });
}

bool CZELWindowsOSInfo::isFastUserSwitchingEnabled() const {
  return runOperation(u"isFastUserSwitchingEnabled", __LINE__, [&] {
    bool bAnswer = false;
    return m_bXPOrGreater && performOSQueryFunction(zelsys::OS_FASTUSERSWITCHING, &bAnswer) &&
           bAnswer;
  });
}

bool CZELWindowsOSInfo::isComputerOnDomain() const {
  return runOperation(u"isComputerOnDomain", __LINE__, [&] {
    bool bAnswer = false;
    return performOSQueryFunction(zelsys::OS_DOMAINMEMBER, &bAnswer) && bAnswer;
  });
}

bool CZELWindowsOSInfo::getServicePackLevel(ZEL_ULONG *pulServicePack) const {
  return runOperation(u"getServicePackLevel", __LINE__, [&] {
    if (pulServicePack == nullptr)
      throw CZELBadArgException(u"pulServicePack", u"the level needs a place to go", ZEL_SOURCE,
                                __LINE__, 1, true, false);
    *pulServicePack = m_ulServicePack;
  });
}

bool CZELWindowsOSInfo::getOSQuery37() const {
  return runOperation(u"getOSQuery37", __LINE__, [&] { return m_bOSQuery37; });
}

// ---- Asking the system -------------------------------------------------------------

bool CZELWindowsOSInfo::performOSQueryFunction(ZEL_ULONG ulQuery, bool *pbAnswer) const {
  return runOperation(u"performOSQueryFunction", __LINE__, [&] {
    if (pbAnswer == nullptr)
      throw CZELBadArgException(u"pbAnswer", u"the answer needs a place to go", ZEL_SOURCE,
                                __LINE__, 1, true, false);
    const LoadedLibrary shell(u"shlwapi.dll");
    if (shell.get() == nullptr)
      return false;
    const zelsys::FARPROC pIsOS =
        zelsys::GetProcAddress(shell.get(), zelsys::MAKEINTRESOURCEA(IS_OS_ORDINAL));
    if (pIsOS == nullptr)
      return false;
    *pbAnswer = zelsys::functionCast<IsOSFunction>(pIsOS)(ulQuery) != zelsys::FALSE;
    return true;
  });
}

bool CZELWindowsOSInfo::performPECheck() const {
  return runOperation(u"performPECheck", __LINE__, [&] {
    CZELWCharString strValue;
    return CZELEnvironmentVariable(u"ZELDrive").getValue(strValue) && strValue.getLength() > 0;
  });
}
