// zel_windowsprocess.cpp - CZELWindowsProcess: starting, waiting for and
// ending a program.
//
// Every operation opens a function trace and runs its body under the
// framework's two handlers (absorb), recording a foreign failure with the
// system's last error. The object holds at most one process handle: a new
// start closes the one held before, and ending the process closes its
// handle and forgets it, so no later call can use a closed handle and
// the destructor closes only what is still held.
#include "zel_windowsprocess.h"

#include "zel_catch.h"
#include "zel_exceptions.h"
#include "zel_function_trace.h"

#include "zelsys/kernel.h"
#include "zelsys/process.h"
#include "zelsys/security.h"
#include "zelsys/sync.h"
#include "zelsys/winconst.h"

#include <string>

namespace {

const ZEL_USHORT ZEL_SOURCE[] = u".\\zel_windowsprocess";
const ZEL_USHORT ZEL_CLASS[] = u"CZELWindowsProcess";

// The show command that leaves the start-up record without one.
constexpr zelsys::WORD SHOW_COMMAND_NONE = 14;
constexpr zelsys::ULONG SHELL_START_MASK =
    zelsys::SEE_MASK_NOCLOSEPROCESS | zelsys::SEE_MASK_FLAG_NO_UI | zelsys::SEE_MASK_NO_CONSOLE;

template <class Body>
bool runOperation(const ZEL_USHORT *pszMethod, ZEL_ULONG ulLine, Body &&body) {
  return zelTracedAbsorb(ZEL_CLASS, pszMethod, ZEL_SOURCE, ulLine, CZELErrorSource::esLastError,
                         body);
}

ZEL_LONG lastError() { return static_cast<ZEL_LONG>(zelsys::GetLastError()); }

std::u16string textOf(const CZELWCharString &str) {
  return str.getBuffer() != nullptr ? std::u16string(str.getBuffer()) : std::u16string();
}

// Null for an empty text, as the calls take "none".
const ZEL_USHORT *orNull(const CZELWCharString &str) {
  return str.getLength() != 0 ? str.getBuffer() : nullptr;
}

[[noreturn]] void raiseNoHandle(ZEL_ULONG ulLine) {
  // Written by the catch site that receives it.
  throw CZELWindowsProcessInvalidHandleException(ZEL_SOURCE, ulLine, 1, false, false);
}

} // namespace

CZELWindowsProcess::CZELWindowsProcess() : m_hProcess(nullptr) {
  CZELFunctionTrace trace(ZEL_CLASS, u"Constructor", ZEL_SOURCE, __LINE__);
  trace.setResult(true);
}

CZELWindowsProcess::~CZELWindowsProcess() {
  CZELFunctionTrace trace(ZEL_CLASS, u"Destructor ~CZELWindowsProcess", ZEL_SOURCE, __LINE__);
  if (m_hProcess != nullptr)
    zelsys::CloseHandle(m_hProcess);
  trace.setResult(true);
}

bool CZELWindowsProcess::start(const CZELWCharString &strProgram,
                               const CZELWCharString &strArguments,
                               const CZELWCharString &strWorkingFolder,
                               zelsys::DWORD dwPriorityClass, zelsys::WORD wShowCommand,
                               bool bCreateProcess) {
  return runOperation(u"start", __LINE__, [&] {
    if (strProgram.getLength() == 0)
      throw CZELBadArgException(u"wcsCommandLine", u"The string isn't valid", ZEL_SOURCE, __LINE__,
                                1, true, false);
    zelsys::HANDLE hStarted = nullptr;
    if (bCreateProcess) {
      std::u16string commandLine = textOf(strProgram);
      if (strArguments.getLength() != 0) {
        commandLine += u' ';
        commandLine += textOf(strArguments);
      }
      zelsys::STARTUPINFOW startup{};
      startup.cb = sizeof startup;
      if (wShowCommand != SHOW_COMMAND_NONE) {
        startup.dwFlags = zelsys::STARTF_USESHOWWINDOW;
        startup.wShowWindow = wShowCommand;
      }
      zelsys::PROCESS_INFORMATION started{};
      // CreateProcessW may write into the command line: it gets a copy.
      std::u16string writable = commandLine;
      if (!zelsys::CreateProcessW(nullptr, writable.data(), nullptr, nullptr, zelsys::FALSE,
                                  dwPriorityClass | zelsys::CREATE_NO_WINDOW |
                                      zelsys::DETACHED_PROCESS,
                                  nullptr, orNull(strWorkingFolder), &startup, &started))
        throw CZELCreateProcessException(commandLine.c_str(), lastError(), ZEL_SOURCE, __LINE__, 1,
                                         true, false);
      // Only the process is waited for; its main thread's handle would
      // otherwise stay open for the life of this program.
      zelsys::CloseHandle(started.hThread);
      hStarted = started.hProcess;
    } else {
      zelsys::SHELLEXECUTEINFOW execute{};
      execute.cbSize = sizeof execute;
      execute.fMask = SHELL_START_MASK;
      execute.lpFile = strProgram.getBuffer();
      execute.lpParameters = orNull(strArguments);
      execute.lpDirectory = orNull(strWorkingFolder);
      execute.nShow = wShowCommand;
      if (!zelsys::ShellExecuteExW(&execute)) {
        const ZEL_LONG lError = lastError();
        std::u16string text = textOf(strProgram);
        text += textOf(strArguments);
        throw CZELCreateProcessException(text.c_str(), lError, ZEL_SOURCE, __LINE__, 1, true,
                                         false);
      }
      zelsys::SetPriorityClass(execute.hProcess, dwPriorityClass);
      hStarted = execute.hProcess;
    }
    // A handle from an earlier start would be lost here otherwise.
    if (m_hProcess != nullptr)
      zelsys::CloseHandle(m_hProcess);
    m_hProcess = hStarted;
    return true;
  });
}

bool CZELWindowsProcess::waitForFinish(zelsys::DWORD &dwExitCode, zelsys::DWORD dwTimeout) {
  return runOperation(u"waitForFinish", __LINE__, [&] {
    if (m_hProcess == nullptr)
      raiseNoHandle(__LINE__);
    zelsys::DWORD dwWait = 0;
    do {
      // The caller's windows keep answering while it waits.
      zelsys::MSG message{};
      while (zelsys::PeekMessageW(&message, nullptr, 0, 0, zelsys::PM_REMOVE)) {
        if (message.message == zelsys::WM_QUIT)
          break;
        zelsys::DispatchMessageW(&message);
      }
      dwWait = zelsys::MsgWaitForMultipleObjects(1, &m_hProcess, zelsys::FALSE, dwTimeout,
                                                 zelsys::QS_ALLINPUT);
    } while (dwWait == zelsys::WAIT_OBJECT_0 + 1);
    zelsys::DWORD dwCode = 0;
    if (!zelsys::GetExitCodeProcess(m_hProcess, &dwCode))
      return false;
    dwExitCode = dwCode;
    return true;
  });
}

bool CZELWindowsProcess::startAndWaitForFinish(zelsys::DWORD &dwExitCode,
                                               const CZELWCharString &strProgram,
                                               const CZELWCharString &strArguments,
                                               const CZELWCharString &strWorkingFolder,
                                               zelsys::DWORD dwTimeout,
                                               zelsys::DWORD dwPriorityClass,
                                               zelsys::WORD wShowCommand, bool bCreateProcess) {
  return runOperation(u"startAndWaitForFinish", __LINE__, [&] {
    return start(strProgram, strArguments, strWorkingFolder, dwPriorityClass, wShowCommand,
                 bCreateProcess) &&
           waitForFinish(dwExitCode, dwTimeout);
  });
}

bool CZELWindowsProcess::terminateProcess(zelsys::UINT uExitCode) {
  return runOperation(u"terminateProcess", __LINE__, [&] {
    if (m_hProcess == nullptr)
      raiseNoHandle(__LINE__);
    if (!zelsys::TerminateProcess(m_hProcess, uExitCode)) {
      CTerminateProcessWarning(lastError(), ZEL_SOURCE, __LINE__, 1, true);
      return false;
    }
    const bool bClosed = zelsys::CloseHandle(m_hProcess) != zelsys::FALSE;
    // Closed or not, the handle is no longer one to use.
    const ZEL_LONG lError = lastError();
    m_hProcess = nullptr;
    if (!bClosed) {
      CCloseHandleWarning(u"m_hProcess", lError, ZEL_SOURCE, __LINE__, 1, true, false);
      return false;
    }
    return true;
  });
}

bool CZELWindowsProcess::getHandle(zelsys::HANDLE &hProcess) {
  return runOperation(u"getHandle", __LINE__, [&] {
    if (m_hProcess == nullptr)
      raiseNoHandle(__LINE__);
    hProcess = m_hProcess;
    return true;
  });
}
