//===- Process.cpp - Processes of the host as Windows sees them ------------===//
//
// A process handle holds a waitable object (Sync.h) for one host process.
// The process's own children (started here) are reaped by a thread each,
// which blocks in waitpid, so no child stays a zombie and the exit code is
// the child's own; every handle to a child, from a start or from
// OpenProcess, shares its one object. Any other process is watched through
// a pidfd until it ends or its last handle is closed; its exit code is the
// one TerminateProcess gave, or 0, since the host tells it only to the
// parent. Ending a process sends SIGKILL through the pidfd, so a recycled
// identifier is never hit. Only code that works on every Unix (and pidfds
// of Linux 5.3, with kill() where they are missing).
//
//===----------------------------------------------------------------------===//
#include "zelsys/process.h"
#include "CommandLine.h"
#include "Errors.h"
#include "HostPath.h"
#include "Sync.h"
#include "Utf.h"
#include "zelsys/kernel.h"
#include "zelsys/security.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <poll.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace zelsys {

namespace {

class Process : public posix::Waitable {
public:
  Process(pid_t pid, bool bChild) : Waitable(false), m_pid(pid), m_bChild(bChild) {
#ifdef SYS_pidfd_open
    m_pidfd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
#endif
  }
  ~Process() override;
  Process(const Process &) = delete;
  Process &operator=(const Process &) = delete;

  pid_t pid() const { return m_pid; }
  bool isChild() const { return m_bChild; }
  DWORD exitCode() const { return m_dwExitCode.load(); }
  bool hasFinished() const { return m_dwExitCode.load() != STILL_ACTIVE || m_bFinished.load(); }

  // Records how the process ended and releases every waiter.
  void finish(DWORD dwExitCode) {
    m_dwExitCode.store(dwExitCode);
    m_bFinished.store(true);
    setSignalled(true);
  }
  // The exit code of a process this side ended; for one that ended by
  // itself (or any other way) fallback.
  DWORD endedCode(DWORD dwFallback) const {
    return m_bTerminated.load() ? m_dwTerminateCode.load() : dwFallback;
  }

  // Sends SIGKILL; errno tells why not.
  bool kill(DWORD dwExitCode) {
    m_dwTerminateCode.store(dwExitCode);
    m_bTerminated.store(true);
#ifdef SYS_pidfd_send_signal
    if (m_pidfd >= 0)
      return ::syscall(SYS_pidfd_send_signal, m_pidfd, SIGKILL, nullptr, 0) == 0;
#endif
    return ::kill(m_pid, SIGKILL) == 0;
  }

  // Whether a process that is not a child has ended, waiting at most
  // iMilliseconds for it.
  bool endedWithin(int iMilliseconds) const {
    if (m_pidfd >= 0) {
      pollfd watched{m_pidfd, POLLIN, 0};
      return ::poll(&watched, 1, iMilliseconds) > 0;
    }
    if (::kill(m_pid, 0) != 0 && errno == ESRCH)
      return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(iMilliseconds));
    return false;
  }

private:
  pid_t m_pid;
  bool m_bChild;
  int m_pidfd = -1;
  std::atomic<DWORD> m_dwExitCode{STILL_ACTIVE};
  std::atomic<bool> m_bFinished{false};
  std::atomic<bool> m_bTerminated{false};
  std::atomic<DWORD> m_dwTerminateCode{0};
};

// The children started here, by identifier, held weakly. Never destroyed:
// reaper threads may still let go of a child while the program ends.
std::mutex &childLock() {
  static auto *lock = new std::mutex;
  return *lock;
}
std::map<pid_t, std::weak_ptr<Process>> &children() {
  static auto *table = new std::map<pid_t, std::weak_ptr<Process>>;
  return *table;
}

Process::~Process() {
  if (m_pidfd >= 0)
    ::close(m_pidfd);
  if (!m_bChild)
    return;
  const std::lock_guard<std::mutex> guard(childLock());
  const auto found = children().find(m_pid);
  if (found != children().end() && found->second.expired())
    children().erase(found);
}

// What a process handle stands for: the current process (the
// pseudo-handle) or a process object.
struct Target {
  bool bCurrent = false;
  std::shared_ptr<Process> process;
};

bool targetOf(HANDLE hProcess, Target &target) {
  if (hProcess == GetCurrentProcess()) {
    target.bCurrent = true;
    return true;
  }
  target.process = posix::objectOf<Process>(hProcess);
  return target.process != nullptr;
}

// Blocks until the child ends, then reaps it.
void reap(const std::shared_ptr<Process> &child) {
  int status = 0;
  pid_t result = 0;
  do {
    result = ::waitpid(child->pid(), &status, 0);
  } while (result < 0 && errno == EINTR);
  if (result < 0)
    child->finish(child->endedCode(0));
  else if (WIFEXITED(status))
    child->finish(static_cast<DWORD>(WEXITSTATUS(status)));
  else
    child->finish(child->endedCode(128 + static_cast<DWORD>(WTERMSIG(status))));
}

// Watches a process that is not a child while a handle to it is open.
void watch(std::weak_ptr<Process> weak) {
  for (;;) {
    const auto process = weak.lock();
    if (!process)
      return;
    if (process->endedWithin(50)) {
      process->finish(process->endedCode(0));
      return;
    }
  }
}

// Host nice values for the Windows priority classes; false for no class.
bool niceOf(DWORD dwPriorityClass, int &iNice) {
  switch (dwPriorityClass) {
  case IDLE_PRIORITY_CLASS:
    iNice = 19;
    return true;
  case BELOW_NORMAL_PRIORITY_CLASS:
    iNice = 10;
    return true;
  case NORMAL_PRIORITY_CLASS:
    iNice = 0;
    return true;
  case ABOVE_NORMAL_PRIORITY_CLASS:
    iNice = -5;
    return true;
  case HIGH_PRIORITY_CLASS:
    iNice = -10;
    return true;
  case REALTIME_PRIORITY_CLASS:
    iNice = -20;
    return true;
  default:
    return false;
  }
}

// Privileges are always granted on the emulated machine, yet the host may
// keep an unprivileged user from raising a priority: the process then
// runs at the priority it has, as Windows quietly lowers a real-time
// request it cannot grant.
void applyNice(pid_t pid, int iNice) { ::setpriority(PRIO_PROCESS, static_cast<id_t>(pid), iNice); }

bool isFile(const std::string &path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// The host file of a program named by a Windows path; a name without a
// folder is looked for in the current folder, then left for the host's
// search path (search set). Windows adds ".exe" to a name without one.
bool programFile(const std::u16string &program, std::string &file, bool &bSearch, DWORD &dwError) {
  bSearch = false;
  if (program.empty()) {
    dwError = ERROR_PATH_NOT_FOUND;
    return false;
  }
  for (const std::u16string &candidate : {program, program + u".exe"}) {
    if (posix::hostPathFromWindows(candidate, file, dwError) && isFile(file))
      return true;
  }
  if (program.find_first_of(u"\\/:") == std::u16string::npos) {
    file = posix::utf16ToUtf8(program);
    bSearch = true;
    return true;
  }
  dwError = ERROR_FILE_NOT_FOUND;
  return false;
}

struct SpawnRequest {
  std::u16string program;
  std::vector<std::u16string> arguments; // after the program name
  LPCWSTR pszFolder = nullptr;
  bool bDetached = false;
  DWORD dwPriorityClass = 0;
};

// Starts a child; its process object on success, null with dwError set.
std::shared_ptr<Process> spawn(const SpawnRequest &request, DWORD &dwError) {
  int iNice = 0;
  const DWORD dwClass = request.dwPriorityClass;
  if (dwClass != 0 && !niceOf(dwClass, iNice)) {
    dwError = ERROR_INVALID_PARAMETER;
    return nullptr;
  }
  std::string file, folder;
  bool bSearch = false;
  if (!programFile(request.program, file, bSearch, dwError))
    return nullptr;
  if (request.pszFolder != nullptr && request.pszFolder[0] != 0) {
    struct stat info {};
    if (!posix::hostPathFromWindows(request.pszFolder, folder, dwError) ||
        ::stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
      dwError = ERROR_DIRECTORY;
      return nullptr;
    }
  }
  std::vector<std::string> words{file};
  for (const std::u16string &argument : request.arguments)
    words.push_back(posix::utf16ToUtf8(argument));
  std::vector<char *> argv;
  for (std::string &word : words)
    argv.push_back(word.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  posix_spawn_file_actions_init(&actions);
  posix_spawnattr_init(&attributes);
  if (!folder.empty())
    posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
  // A detached program has no console to read from.
  if (request.bDetached)
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  // The child starts with no signal blocked, whatever this thread blocks.
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);
  pid_t pid = 0;
  const int iResult =
      bSearch ? ::posix_spawnp(&pid, file.c_str(), &actions, &attributes, argv.data(), environ)
              : ::posix_spawn(&pid, file.c_str(), &actions, &attributes, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (iResult != 0) {
    dwError = iResult == ENOEXEC ? ERROR_BAD_EXE_FORMAT : posix::win32ErrorFromErrno(iResult);
    if (iResult == ENOENT)
      dwError = ERROR_FILE_NOT_FOUND;
    return nullptr;
  }
  auto child = std::make_shared<Process>(pid, true);
  {
    const std::lock_guard<std::mutex> guard(childLock());
    children()[pid] = child;
  }
  try {
    std::thread(reap, child).detach();
  } catch (...) {
    // Without a reaper the child would be a zombie: end it here.
    child->kill(1);
    reap(child);
    dwError = ERROR_NOT_ENOUGH_MEMORY;
    return nullptr;
  }
  if (dwClass != 0)
    applyNice(pid, iNice);
  return child;
}

} // namespace

DWORD GetCurrentProcessId() { return static_cast<DWORD>(::getpid()); }

HANDLE OpenProcess(DWORD, BOOL, DWORD dwProcessId) {
  const auto pid = static_cast<pid_t>(dwProcessId);
  if (dwProcessId == 0 || pid < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  {
    const std::lock_guard<std::mutex> guard(childLock());
    const auto found = children().find(pid);
    if (found != children().end()) {
      if (auto child = found->second.lock())
        return posix::addHandle(std::move(child));
    }
  }
  // Access is what the host grants: one may end only what one may signal.
  if (::kill(pid, 0) != 0) {
    SetLastError(errno == ESRCH ? ERROR_INVALID_PARAMETER : ERROR_ACCESS_DENIED);
    return nullptr;
  }
  auto process = std::make_shared<Process>(pid, false);
  if (pid != ::getpid()) {
    try {
      std::thread(watch, std::weak_ptr<Process>(process)).detach();
    } catch (...) {
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return nullptr;
    }
  }
  return posix::addHandle(std::move(process));
}

BOOL TerminateProcess(HANDLE hProcess, UINT uExitCode) {
  Target target;
  if (!targetOf(hProcess, target))
    return posix::failWith(ERROR_INVALID_HANDLE);
  if (target.bCurrent)
    std::_Exit(static_cast<int>(uExitCode));
  // A process that has ended cannot be ended again.
  if (target.process->hasFinished())
    return posix::failWith(ERROR_ACCESS_DENIED);
  if (!target.process->kill(uExitCode))
    return posix::failWith(errno == EPERM ? ERROR_ACCESS_DENIED
                                          : posix::win32ErrorFromErrno(errno));
  return TRUE;
}

BOOL GetExitCodeProcess(HANDLE hProcess, DWORD *lpExitCode) {
  Target target;
  if (!targetOf(hProcess, target))
    return posix::failWith(ERROR_INVALID_HANDLE);
  if (lpExitCode == nullptr)
    return posix::failWith(ERROR_NOACCESS);
  *lpExitCode = target.bCurrent ? STILL_ACTIVE : target.process->exitCode();
  return TRUE;
}

BOOL SetPriorityClass(HANDLE hProcess, DWORD dwPriorityClass) {
  Target target;
  if (!targetOf(hProcess, target))
    return posix::failWith(ERROR_INVALID_HANDLE);
  int iNice = 0;
  if (!niceOf(dwPriorityClass, iNice))
    return posix::failWith(ERROR_INVALID_PARAMETER);
  applyNice(target.bCurrent ? ::getpid() : target.process->pid(), iNice);
  return TRUE;
}

BOOL CreateProcessW(LPCWSTR lpApplicationName, LPWSTR lpCommandLine, SECURITY_ATTRIBUTES *,
                    SECURITY_ATTRIBUTES *, BOOL, DWORD dwCreationFlags, LPVOID lpEnvironment,
                    LPCWSTR lpCurrentDirectory, STARTUPINFOW *lpStartupInfo,
                    PROCESS_INFORMATION *lpProcessInformation) {
  // The substitute hands the child the caller's own environment only.
  if ((lpApplicationName == nullptr && lpCommandLine == nullptr) || lpStartupInfo == nullptr ||
      lpProcessInformation == nullptr || lpEnvironment != nullptr)
    return posix::failWith(ERROR_INVALID_PARAMETER);
  std::vector<std::u16string> words =
      posix::splitCommandLine(lpCommandLine != nullptr ? lpCommandLine : lpApplicationName);
  if (words.empty())
    return posix::failWith(ERROR_PATH_NOT_FOUND);
  SpawnRequest request;
  request.program = lpApplicationName != nullptr ? std::u16string(lpApplicationName) : words[0];
  request.arguments.assign(words.begin() + 1, words.end());
  request.pszFolder = lpCurrentDirectory;
  request.bDetached = (dwCreationFlags & (DETACHED_PROCESS | CREATE_NO_WINDOW)) != 0;
  // The priority class is the one of its bits that is set.
  for (const DWORD dwClass :
       {IDLE_PRIORITY_CLASS, BELOW_NORMAL_PRIORITY_CLASS, NORMAL_PRIORITY_CLASS,
        ABOVE_NORMAL_PRIORITY_CLASS, HIGH_PRIORITY_CLASS, REALTIME_PRIORITY_CLASS})
    if ((dwCreationFlags & dwClass) != 0)
      request.dwPriorityClass = dwClass;
  DWORD dwError = ERROR_SUCCESS;
  auto child = spawn(request, dwError);
  if (!child)
    return posix::failWith(dwError);
  // The main thread's handle is a second handle to the process: a wait on
  // it ends when the process does.
  lpProcessInformation->dwProcessId = static_cast<DWORD>(child->pid());
  lpProcessInformation->dwThreadId = static_cast<DWORD>(child->pid());
  lpProcessInformation->hThread = posix::addHandle(child);
  lpProcessInformation->hProcess = posix::addHandle(std::move(child));
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

BOOL ShellExecuteExW(SHELLEXECUTEINFOW *pExecInfo) {
  if (pExecInfo == nullptr || pExecInfo->cbSize != sizeof(SHELLEXECUTEINFOW) ||
      pExecInfo->lpFile == nullptr)
    return posix::failWith(ERROR_INVALID_PARAMETER);
  // Only programs are opened, and only with the open verb.
  constexpr DWORD kErrorNoAssociation = 1155;
  if (pExecInfo->lpVerb != nullptr && pExecInfo->lpVerb[0] != 0 &&
      !posix::equalsIgnoreCase(pExecInfo->lpVerb, u"open"))
    return posix::failWith(kErrorNoAssociation);
  SpawnRequest request;
  request.program = pExecInfo->lpFile;
  if (pExecInfo->lpParameters != nullptr)
    request.arguments = posix::splitArguments(pExecInfo->lpParameters);
  request.pszFolder = pExecInfo->lpDirectory;
  request.bDetached = (pExecInfo->fMask & SEE_MASK_NO_CONSOLE) == 0;
  DWORD dwError = ERROR_SUCCESS;
  auto child = spawn(request, dwError);
  // hInstApp above 32 tells success; below it, the shell's old error code
  // (which matches the Win32 code for the common ones).
  pExecInfo->hInstApp = reinterpret_cast<HINSTANCE>(
      static_cast<std::uintptr_t>(child ? 33 : (dwError <= 32 ? dwError : 31)));
  if (!child)
    return posix::failWith(dwError);
  pExecInfo->hProcess = nullptr;
  if ((pExecInfo->fMask & SEE_MASK_NOCLOSEPROCESS) != 0)
    pExecInfo->hProcess = posix::addHandle(std::move(child));
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

BOOL PeekMessageW(MSG *lpMsg, HWND, UINT, UINT, UINT) {
  // No window exists here, so no message ever waits.
  (void)lpMsg;
  return FALSE;
}

LRESULT DispatchMessageW(const MSG *) { return 0; }

} // namespace zelsys
