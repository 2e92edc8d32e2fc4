// zel_process_info.cpp - CZELProcessInfo.
//
// Every operation opens a function trace and runs its body under the
// framework's two handlers (absorb), recording a foreign failure with the C
// library's error number. Snapshots and process handles are closed on every
// way out, through closeProcess, so a failing walk never leaves one open.
// Names compare as the C library's wcsicmp does in its default locale:
// ASCII letters without case, every other unit as it is.
#include "zel_process_info.h"

#include "zel_catch.h"
#include "zel_exceptions.h"
#include "zel_function_trace.h"

#include "zelsys/kernel.h"
#include "zelsys/process.h"
#include "zelsys/security.h"
#include "zelsys/winconst.h"

#include <string>
#include <string_view>

namespace {

const ZEL_USHORT ZEL_SOURCE[] = u".\\zel_process_info";
const ZEL_USHORT ZEL_CLASS[] = u"CZELProcessInfo";
const ZEL_USHORT DEBUG_PRIVILEGE[] = u"SeDebugPrivilege";
constexpr zelsys::DWORD PRIVILEGE_REMOVED = 4;

template <class Body>
bool runOperation(const ZEL_USHORT *pszMethod, ZEL_ULONG ulLine, Body &&body) {
  return zelTracedAbsorb(ZEL_CLASS, pszMethod, ZEL_SOURCE, ulLine, CZELErrorSource::esErrno, body);
}

ZEL_LONG lastError() { return static_cast<ZEL_LONG>(zelsys::GetLastError()); }

std::u16string_view textOf(const CZELWCharString &str) {
  return str.getBuffer() != nullptr ? std::u16string_view(str.getBuffer()) : std::u16string_view();
}

// The text after the last "\", or all of it.
std::u16string_view baseName(std::u16string_view path) {
  const std::size_t cut = path.rfind(u'\\');
  return cut == std::u16string_view::npos ? path : path.substr(cut + 1);
}

bool equalNoCase(std::u16string_view a, std::u16string_view b) {
  const auto fold = [](char16_t c) { return c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c; };
  if (a.size() != b.size())
    return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (fold(a[i]) != fold(b[i]))
      return false;
  return true;
}

bool isValid(zelsys::HANDLE hHandle) {
  return hHandle != nullptr && hHandle != zelsys::INVALID_HANDLE_VALUE;
}

// Calls visit(item) for each string of the list in order; a false answer
// stops the walk.
template <class Visit> void forEach(const CZELWCharStringList &list, Visit &&visit) {
  CZELWCharStringList walk(list);
  if (walk.isEmpty())
    return;
  walk.begin();
  do {
    CZELWCharString strItem;
    if (walk.getItem(strItem) && !visit(strItem))
      return;
  } while (walk.next());
}

} // namespace

namespace {

// A snapshot, closed through closeProcess on every way out; one that cannot
// be taken raises the invalid-handle failure.
class CZELSnapshot {
public:
  CZELSnapshot(CZELProcessInfo &info, zelsys::DWORD dwFlags, zelsys::DWORD dwProcessId)
      : m_info(info), m_hSnapshot(zelsys::CreateToolhelp32Snapshot(dwFlags, dwProcessId)) {
    if (!isValid(m_hSnapshot))
      throw CZELProcessInvalidHandleException(lastError(), ZEL_SOURCE, __LINE__, 1, true, false);
  }
  ~CZELSnapshot() { m_info.closeProcess(false, m_hSnapshot); }
  CZELSnapshot(const CZELSnapshot &) = delete;
  CZELSnapshot &operator=(const CZELSnapshot &) = delete;
  zelsys::HANDLE get() const { return m_hSnapshot; }

private:
  CZELProcessInfo &m_info;
  zelsys::HANDLE m_hSnapshot;
};

} // namespace

// A snapshot of every process, walked entry by entry and closed afterwards
// whatever happens. visit answers whether the walk goes on.
template <class Visit> static void walkProcesses(CZELProcessInfo &info, Visit &&visit) {
  const CZELSnapshot snapshot(info, zelsys::TH32CS_SNAPPROCESS, 0);
  const zelsys::HANDLE hSnapshot = snapshot.get();
  zelsys::PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  if (!zelsys::Process32FirstW(hSnapshot, &entry))
    throw CZELProcessWindowsException(lastError(), ZEL_SOURCE, __LINE__, 1, true, false);
  do {
    if (!visit(entry))
      return;
  } while (zelsys::Process32NextW(hSnapshot, &entry));
}

CZELProcessInfo::CZELProcessInfo() try : CZELSignedFile() {
  CZELFunctionTrace trace(ZEL_CLASS, u"CZELProcessInfo()", ZEL_SOURCE, __LINE__);
  trace.setResult(true);
} catch (...) {
  throw CZELProcessInfoInitException(ZEL_SOURCE, __LINE__, 1, true, false);
}

CZELProcessInfo::CZELProcessInfo(const CZELProcessInfo &pi) try : CZELSignedFile(pi) {
  CZELFunctionTrace trace(ZEL_CLASS, u"CZELProcessInfo(const CZELProcessInfo &pi)", ZEL_SOURCE,
                          __LINE__);
  trace.setResult(true);
} catch (...) {
  throw CZELProcessInfoInitException(ZEL_SOURCE, __LINE__, 1, true, false);
}

CZELProcessInfo &CZELProcessInfo::operator=(const CZELProcessInfo &pi) {
  runOperation(u"operator=", __LINE__, [&] {
    if (this != &pi)
      CZELSignedFile::operator=(pi);
    return true;
  });
  return *this;
}

CZELProcessInfo::~CZELProcessInfo() {
  CZELFunctionTrace trace(ZEL_CLASS, u"~CZELProcessInfo", ZEL_SOURCE, __LINE__);
  trace.setResult(true);
}

bool CZELProcessInfo::findProcessIdByName(const CZELWCharString &strName,
                                          zelsys::DWORD &dwProcessId) {
  return runOperation(u"findProcessIdByName", __LINE__, [&] {
    // The walk goes to the end: the last match wins.
    walkProcesses(*this, [&](const zelsys::PROCESSENTRY32W &entry) {
      if (equalNoCase(entry.szExeFile, textOf(strName)))
        dwProcessId = entry.th32ProcessID;
      return true;
    });
    return true;
  });
}

bool CZELProcessInfo::findProcessNameById(zelsys::DWORD dwProcessId, CZELWCharString &strName) {
  return runOperation(u"findProcessNameById", __LINE__, [&] {
    if (dwProcessId == 0) {
      CZELWCharString strOwn;
      CZELWCharStringList scratch;
      if (!getProcessModules(0, strOwn, scratch))
        return false;
      strName = strOwn;
      return true;
    }
    walkProcesses(*this, [&](const zelsys::PROCESSENTRY32W &entry) {
      if (entry.th32ProcessID != dwProcessId)
        return true;
      strName = entry.szExeFile;
      return false;
    });
    return true;
  });
}

bool CZELProcessInfo::findProcessHandleByName(const CZELWCharString &, zelsys::HANDLE &) {
  return runOperation(u"findProcessHandleByName", __LINE__, [] { return false; });
}

bool CZELProcessInfo::findProcessNameByHandle(zelsys::HANDLE, CZELWCharString &) {
  return runOperation(u"findProcessNameByHandle", __LINE__, [] { return false; });
}

bool CZELProcessInfo::getProcessModules(zelsys::DWORD dwProcessId, CZELWCharString &strName,
                                        CZELWCharStringList &modules) {
  return runOperation(u"getProcessModules", __LINE__, [&] {
    const CZELSnapshot snapshot(*this, zelsys::TH32CS_SNAPMODULE, dwProcessId);
    const zelsys::HANDLE hSnapshot = snapshot.get();
    zelsys::MODULEENTRY32W entry{};
    entry.dwSize = sizeof entry;
    if (!zelsys::Module32FirstW(hSnapshot, &entry))
      throw CZELProcessWindowsException(lastError(), ZEL_SOURCE, __LINE__, 1, true, false);
    std::u16string base(baseName(textOf(strName)));
    modules.flush();
    do {
      if (dwProcessId != 0 && entry.th32ProcessID != dwProcessId)
        continue;
      if (strName.getLength() == 0) {
        strName = entry.szModule;
        base = entry.szModule;
      } else if (!equalNoCase(entry.szModule, base)) {
        modules.add(CZELWCharString(entry.szExePath));
      }
    } while (zelsys::Module32NextW(hSnapshot, &entry));
    return true;
  });
}

bool CZELProcessInfo::enumerateModulesByProcessId(zelsys::DWORD dwProcessId,
                                                  CZELWCharStringList &modules) {
  return runOperation(u"enumerateModulesByProcessId", __LINE__, [&] {
    CZELWCharString strName;
    if (!findProcessNameById(dwProcessId, strName) || strName.getLength() == 0)
      return false;
    return getProcessModules(dwProcessId, strName, modules);
  });
}

bool CZELProcessInfo::enumerateModulesByProcessName(const CZELWCharString &strName,
                                                    CZELWCharStringList &modules) {
  return runOperation(u"enumerateModulesByProcessName", __LINE__, [&] {
    zelsys::DWORD dwProcessId = 0;
    if (!findProcessIdByName(strName, dwProcessId))
      return false;
    // No process of that name: identifier 0 would list this process's own
    // modules under another's name.
    if (dwProcessId == 0)
      return false;
    CZELWCharString strExecutable(strName);
    return getProcessModules(dwProcessId, strExecutable, modules);
  });
}

bool CZELProcessInfo::openProcess(zelsys::DWORD dwProcessId, bool &bDebugRaised,
                                  zelsys::HANDLE &hProcess) {
  return runOperation(u"openProcess", __LINE__, [&] {
    hProcess = zelsys::OpenProcess(zelsys::PROCESS_ALL_ACCESS, zelsys::FALSE, dwProcessId);
    if (isValid(hProcess)) {
      bDebugRaised = false;
      return true;
    }
    if (zelsys::GetLastError() != zelsys::ERROR_ACCESS_DENIED)
      return false;
    if (!setPrivilege(DEBUG_PRIVILEGE, zelsys::SE_PRIVILEGE_ENABLED)) {
      hProcess = nullptr;
      return false;
    }
    hProcess = zelsys::OpenProcess(zelsys::PROCESS_ALL_ACCESS, zelsys::FALSE, dwProcessId);
    if (isValid(hProcess)) {
      bDebugRaised = true;
      return true;
    }
    const ZEL_LONG lError = lastError();
    setPrivilege(DEBUG_PRIVILEGE, PRIVILEGE_REMOVED);
    hProcess = nullptr;
    throw CZELProcessInvalidHandleException(lError, ZEL_SOURCE, __LINE__, 1, true, false);
  });
}

bool CZELProcessInfo::closeProcess(bool bDebugRaised, zelsys::HANDLE hHandle) {
  return runOperation(u"closeProcess", __LINE__, [&] {
    if (!isValid(hHandle))
      throw CZELProcessInvalidHandleException(lastError(), ZEL_SOURCE, __LINE__, 1, true, false);
    if (bDebugRaised)
      setPrivilege(DEBUG_PRIVILEGE, PRIVILEGE_REMOVED);
    if (!zelsys::CloseHandle(hHandle))
      throw CZELProcessWindowsException(lastError(), ZEL_SOURCE, __LINE__, 1, true, false);
    return true;
  });
}

bool CZELProcessInfo::setPrivilege(const CZELWCharString &strPrivilege,
                                   zelsys::DWORD dwAttributes) {
  return runOperation(u"setPrivilege", __LINE__, [&] {
    zelsys::HANDLE hToken = nullptr;
    if (!zelsys::OpenProcessToken(zelsys::GetCurrentProcess(),
                                  zelsys::TOKEN_ADJUST_PRIVILEGES | zelsys::TOKEN_QUERY, &hToken))
      throw CZELProcessPrivelgeException(lastError(), ZEL_SOURCE, __LINE__, 1, true, false);
    struct Closer {
      zelsys::HANDLE hToken;
      ~Closer() { zelsys::CloseHandle(hToken); }
    } closer{hToken};
    zelsys::TOKEN_PRIVILEGES privileges{};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = dwAttributes;
    if (!zelsys::LookupPrivilegeValueW(nullptr, strPrivilege.getBuffer(),
                                       &privileges.Privileges[0].Luid))
      throw CZELProcessPrivelgeException(lastError(), ZEL_SOURCE, __LINE__, 1, true, false);
    if (!zelsys::AdjustTokenPrivileges(hToken, zelsys::FALSE, &privileges, 0, nullptr, nullptr))
      throw CZELProcessPrivelgeException(lastError(), ZEL_SOURCE, __LINE__, 1, true, false);
    return true;
  });
}

// Ends the first process of the snapshot that matches and can be opened;
// one that cannot be opened is passed over.
template <class Match> static void killFirst(CZELProcessInfo &info, Match &&match) {
  walkProcesses(info, [&](const zelsys::PROCESSENTRY32W &entry) {
    if (!match(entry))
      return true;
    bool bDebugRaised = false;
    zelsys::HANDLE hProcess = nullptr;
    if (!info.openProcess(entry.th32ProcessID, bDebugRaised, hProcess))
      return true;
    if (zelsys::TerminateProcess(hProcess, 0)) {
      info.closeProcess(bDebugRaised, hProcess);
      return false;
    }
    const ZEL_LONG lError = lastError();
    info.closeProcess(bDebugRaised, hProcess);
    throw CZELProcessWindowsException(lError, ZEL_SOURCE, __LINE__, 1, true, false);
  });
}

bool CZELProcessInfo::killProcessById(zelsys::DWORD dwProcessId) {
  return runOperation(u"killProcessById", __LINE__, [&] {
    killFirst(*this, [&](const zelsys::PROCESSENTRY32W &entry) {
      return entry.th32ProcessID == dwProcessId;
    });
    return true;
  });
}

bool CZELProcessInfo::killProcessByName(const CZELWCharString &strName) {
  return runOperation(u"killProcessByName", __LINE__, [&] {
    const std::u16string_view base = baseName(textOf(strName));
    killFirst(*this, [&](const zelsys::PROCESSENTRY32W &entry) {
      return equalNoCase(entry.szExeFile, base);
    });
    return true;
  });
}

bool CZELProcessInfo::verifyModuleSignatures(const CZELWCharString &strSigner,
                                             const CZELWCharStringList &modulePaths,
                                             CZELWCharStringList &failedPaths, bool &bAllValid) {
  return runOperation(u"verifyModuleSignatures", __LINE__, [&] {
    if (!modulePaths.isEmpty()) {
      bAllValid = true;
      failedPaths.flush();
    }
    forEach(modulePaths, [&](const CZELWCharString &strPath) {
      CZELSignedFile::operator=(CZELSignedFile(strPath));
      bool bValid = false;
      if (!verifySignature(strSigner, bValid) || !bValid) {
        bAllValid = false;
        failedPaths.add(strPath);
      }
      return true;
    });
    return true;
  });
}

bool CZELProcessInfo::verifyModuleSignaturesByProcessId(zelsys::DWORD dwProcessId,
                                                        const CZELWCharString &strSigner,
                                                        const CZELWCharStringList &moduleNames,
                                                        CZELWCharStringList &failedPaths,
                                                        bool &bAllValid) {
  return runOperation(u"verifyModuleSignaturesByProcessId", __LINE__, [&] {
    CZELWCharStringList modules;
    if (!enumerateModulesByProcessId(dwProcessId, modules))
      return false;
    CZELWCharStringList toCheck;
    forEach(moduleNames, [&](const CZELWCharString &strWanted) {
      const std::u16string_view wanted = baseName(textOf(strWanted));
      forEach(modules, [&](const CZELWCharString &strPath) {
        if (!equalNoCase(baseName(textOf(strPath)), wanted))
          return true;
        toCheck.add(strPath);
        return false;
      });
      return true;
    });
    return verifyModuleSignatures(strSigner, toCheck, failedPaths, bAllValid);
  });
}

bool CZELProcessInfo::verifyModuleSignaturesByProcessName(const CZELWCharString &strProcessName,
                                                          const CZELWCharString &strSigner,
                                                          const CZELWCharStringList &moduleNames,
                                                          CZELWCharStringList &failedPaths,
                                                          bool &bAllValid) {
  return runOperation(u"verifyModuleSignaturesByProcessName", __LINE__, [&] {
    zelsys::DWORD dwProcessId = 0;
    // No process of that name: identifier 0 would check this process's
    // own modules instead.
    if (!findProcessIdByName(strProcessName, dwProcessId) || dwProcessId == 0)
      return false;
    return verifyModuleSignaturesByProcessId(dwProcessId, strSigner, moduleNames, failedPaths,
                                             bAllValid);
  });
}
