//===- Kernel.cpp - Process-level kernel calls on the substitute -----------===//
//
// Only code that works on every Unix (the program's own path comes from
// /proc, which Linux and the BSDs' linprocfs provide).
//
//===----------------------------------------------------------------------===//
#include "zelsys/kernel.h"
#include "Errors.h"
#include "HostPath.h"
#include "Modules.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <ctime>
#include <sched.h>
#include <string>
#include <unistd.h>

namespace zelsys {

DWORD GetModuleFileNameW(HMODULE hModule, LPWSTR lpFilename, DWORD nSize) {
  // Besides the program, the DLLs loaded for their resources have a path.
  std::u16string path;
  if (!posix::isProgramModule(hModule)) {
    if (!posix::imageModulePath(hModule, path)) {
      SetLastError(ERROR_MOD_NOT_FOUND);
      return 0;
    }
  } else {
    char target[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", target, sizeof target - 1);
    if (length < 0)
      return posix::failWithErrno();
    path = posix::windowsPathFromHost(std::string_view(target, static_cast<std::size_t>(length)));
  }
  if (lpFilename == nullptr || nSize == 0) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  // As on Windows Vista and later: a path that does not fit is cut to
  // nSize - 1 characters, terminated, and reported with nSize.
  const auto copied = static_cast<DWORD>(std::min<std::size_t>(path.size(), nSize - 1));
  std::copy_n(path.data(), copied, lpFilename);
  lpFilename[copied] = u'\0';
  if (copied < path.size()) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return nSize;
  }
  return copied;
}

void Sleep(DWORD dwMilliseconds) {
  if (dwMilliseconds == 0) {
    ::sched_yield();
    return;
  }
  timespec wait{static_cast<time_t>(dwMilliseconds / 1000),
                static_cast<long>(dwMilliseconds % 1000) * 1000000L};
  // A signal cuts the wait short; the rest is waited for.
  while (::nanosleep(&wait, &wait) != 0 && errno == EINTR) {
  }
}

} // namespace zelsys
