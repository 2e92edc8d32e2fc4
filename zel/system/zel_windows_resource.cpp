// zel_windows_resource.cpp - CZELWindowsResource, the resources of one
// module.
//
// Every operation opens a function trace and runs its body under the
// framework's two handlers (absorb), recording a foreign failure with the
// last system error. The object releases exactly the loads it made itself:
// a DLL it loaded is freed when it is replaced, assigned over or destroyed,
// and a copy loads the same DLL again rather than sharing the handle, so
// that destroying one copy never unloads a module the other still reads.
#include "zel_windows_resource.h"

#include "zel_buffer.h"
#include "zel_function_trace.h"

#include "zelsys/files.h"
#include "zelsys/kernel.h"
#include "zelsys/system.h"
#include "zelsys/winconst.h"

#include <cstring>

static const ZEL_USHORT ZEL_SOURCE[] = u".\\zel_windows_resource";
static const ZEL_USHORT ZEL_CLASS[] = u"CZELWindowsResource";

namespace {

// LoadStringW's buffer: texts longer than 1023 characters come back cut.
constexpr ZEL_ULONG STRING_BUFFER_SIZE = 1024;
// GetModuleFileNameW's buffer for the program's own path.
constexpr ZEL_ULONG MODULE_PATH_SIZE = 1024;

template <class Body>
bool runOperation(const ZEL_USHORT *pszMethod, ZEL_ULONG ulLine, Body &&body) {
  return zelTracedAbsorb(ZEL_CLASS, pszMethod, ZEL_SOURCE, ulLine, CZELErrorSource::esLastError,
                         body);
}

// A failed call without an exception class of its own.
[[noreturn]] void throwCallFailed(ZEL_ULONG ulLine) {
  throw CZELUnhandledExceptionException(static_cast<ZEL_LONG>(zelsys::GetLastError()), ZEL_SOURCE,
                                        ulLine, 1, true, false);
}

} // namespace

// ---- Construction, copy and release -------------------------------------------------

CZELWindowsResource::CZELWindowsResource() : m_hModule(nullptr), m_bLoaded(false) {
  runOperation(u"Constructor", __LINE__, [&] {
    CZELBuffer<ZEL_USHORT> path(MODULE_PATH_SIZE);
    const zelsys::DWORD dwLength =
        zelsys::GetModuleFileNameW(nullptr, path.getBuffer(), MODULE_PATH_SIZE);
    if (dwLength == 0 || dwLength >= MODULE_PATH_SIZE)
      throwCallFailed(__LINE__);
    m_hModule = zelsys::GetModuleHandleW(path.getBuffer());
    if (m_hModule == nullptr)
      throwCallFailed(__LINE__);
  });
}

CZELWindowsResource::CZELWindowsResource(zelsys::HMODULE hModule)
    : m_hModule(hModule), m_bLoaded(false) {
  CZELFunctionTrace trace(ZEL_CLASS, u"Constructor", ZEL_SOURCE, __LINE__);
  trace.setResult(true);
}

CZELWindowsResource::CZELWindowsResource(const CZELWCharString &strResourceDLL)
    : m_hModule(nullptr), m_bLoaded(false) {
  runOperation(u"Constructor", __LINE__, [&] { return loadDLL(strResourceDLL); });
}

CZELWindowsResource::CZELWindowsResource(const CZELWindowsResource &other)
    : m_hModule(nullptr), m_bLoaded(false) {
  runOperation(u"Copy constructor", __LINE__, [&] {
    *this = other;
    return true;
  });
}

CZELWindowsResource &CZELWindowsResource::operator=(const CZELWindowsResource &other) {
  runOperation(u"operator=", __LINE__, [&] {
    if (this == &other)
      return true;
    releaseOwnDLL();
    // An object that was given a DLL path (loaded or not) is copied by
    // loading that path again, so the copy fails its lookups alike.
    if (other.m_strResourceDLL.getLength() != 0)
      return loadDLL(other.m_strResourceDLL);
    m_hModule = other.m_hModule;
    return true;
  });
  return *this;
}

CZELWindowsResource::~CZELWindowsResource() {
  runOperation(u"Destructor", __LINE__, [&] { releaseOwnDLL(); });
}

void CZELWindowsResource::releaseOwnDLL() {
  if (m_bLoaded)
    zelsys::FreeLibrary(m_hModule);
  // The handle of a released DLL must not be read again.
  if (m_bLoaded || m_strResourceDLL.getLength() != 0)
    m_hModule = nullptr;
  m_bLoaded = false;
  m_strResourceDLL = CZELWCharString();
}

bool CZELWindowsResource::loadDLL(const CZELWCharString &strResourceDLL) {
  m_strResourceDLL = strResourceDLL;
  if (m_strResourceDLL.getLength() == 0)
    return false;
  m_hModule = zelsys::LoadLibraryW(m_strResourceDLL.getBuffer());
  m_bLoaded = m_hModule != nullptr;
  return m_bLoaded;
}

bool CZELWindowsResource::setResourceDLL(zelsys::HMODULE hModule) {
  return runOperation(u"setResourceDLL", __LINE__, [&] {
    releaseOwnDLL();
    m_hModule = hModule;
  });
}

bool CZELWindowsResource::setResourceDLL(const CZELWCharString &strResourceDLL) {
  return runOperation(u"setResourceDLL", __LINE__, [&] {
    releaseOwnDLL();
    return loadDLL(strResourceDLL);
  });
}

// ---- Lookups ---------------------------------------------------------------------

bool CZELWindowsResource::loadString(ZEL_ULONG ulId, CZELWCharString &strText) const {
  return runOperation(u"loadString", __LINE__, [&] {
    CZELBuffer<ZEL_USHORT> buffer(STRING_BUFFER_SIZE);
    // Without the DLL it was given, the object must not fall back to the
    // program's own table.
    zelsys::INT iLength = 0;
    if (isUnusable())
      zelsys::SetLastError(zelsys::ERROR_MOD_NOT_FOUND);
    else
      iLength = zelsys::LoadStringW(m_hModule, ulId, buffer.getBuffer(),
                                    static_cast<zelsys::INT>(STRING_BUFFER_SIZE));
    if (iLength == 0) {
      const auto lError = static_cast<ZEL_LONG>(zelsys::GetLastError());
      const ZEL_USHORT *pszModule = m_strResourceDLL.getLength() != 0 ? m_strResourceDLL.getBuffer()
                                                                      : u"Unknown resource DLL";
      throw CZELLoadStringException(ulId, pszModule, lError, ZEL_SOURCE, __LINE__, 1, true, false);
    }
    strText = buffer.getBuffer();
    return true;
  });
}

zelsys::HRSRC CZELWindowsResource::getVersionResource(ZEL_ULONG ulId) const {
  zelsys::HRSRC hResource = nullptr;
  runOperation(u"getVersionResource", __LINE__, [&] {
    if (isUnusable())
      return false;
    hResource = zelsys::FindResourceW(
        m_hModule, zelsys::MAKEINTRESOURCEW(static_cast<zelsys::WORD>(ulId)), zelsys::RT_VERSION);
    return hResource != nullptr;
  });
  return hResource;
}

bool CZELWindowsResource::loadVersionInfo(ZEL_ULONG ulId,
                                          zelsys::VS_FIXEDFILEINFO &fixedInfo) const {
  const zelsys::HRSRC hResource = getVersionResource(ulId);
  return runOperation(u"loadVersionInfo", __LINE__, [&] {
    if (hResource == nullptr)
      return false;
    const zelsys::HGLOBAL hData = zelsys::LoadResource(m_hModule, hResource);
    if (hData == nullptr)
      throwCallFailed(__LINE__);
    const zelsys::LPVOID pBlock = zelsys::LockResource(hData);
    if (pBlock == nullptr)
      throwCallFailed(__LINE__);
    zelsys::LPVOID pValue = nullptr;
    zelsys::UINT uLength = 0;
    // A root shorter than the record would be read past its end.
    if (!zelsys::VerQueryValueW(pBlock, u"\\", &pValue, &uLength) || uLength < sizeof fixedInfo)
      return false;
    std::memcpy(&fixedInfo, pValue, sizeof fixedInfo);
    return true;
  });
}
