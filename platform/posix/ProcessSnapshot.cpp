//===- ProcessSnapshot.cpp - Process and module snapshots from /proc -------===//
//
// A snapshot is taken whole when it is made: the processes are the numbered
// folders of /proc in ascending order, each named by the file name of its
// executable (the kernel's short name where the executable cannot be
// read, as for kernel threads); the modules of a process are the files
// mapped into it (/proc/<pid>/maps), as Windows paths, each once, the
// executable first and the rest in address order. A walk reads entries from
// the copy, so processes that come and go meanwhile cannot disturb it. Only
// code that works on every Unix.
//
//===----------------------------------------------------------------------===//
#include "Errors.h"
#include "Handles.h"
#include "HostPath.h"
#include "Utf.h"
#include "zelsys/kernel.h"
#include "zelsys/process.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <mutex>
#include <signal.h>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace zelsys {

namespace {

class Snapshot : public posix::KernelObject {
public:
  std::vector<PROCESSENTRY32W> processes;
  std::vector<MODULEENTRY32W> modules;
  std::mutex lock;
  std::size_t next = 0;
};

template <std::size_t N> void copyName(WCHAR (&target)[N], std::u16string_view text) {
  const std::size_t count = std::min(text.size(), N - 1);
  std::copy_n(text.begin(), count, target);
  target[count] = 0;
}

std::string procFile(unsigned long pid, const char *name) {
  return "/proc/" + std::to_string(pid) + "/" + name;
}

// The executable's host path; empty where it cannot be read.
std::string executableOf(unsigned long pid) {
  std::string path(4096, '\0');
  const ssize_t length = ::readlink(procFile(pid, "exe").c_str(), path.data(), path.size());
  if (length <= 0)
    return {};
  path.resize(static_cast<std::size_t>(length));
  // A replaced or removed executable is marked so; its name is still its name.
  const std::string deleted = " (deleted)";
  if (path.ends_with(deleted))
    path.resize(path.size() - deleted.size());
  return path;
}

struct ProcStat {
  std::string shortName;
  DWORD dwParent = 0;
  DWORD dwThreads = 0;
};

bool readStat(unsigned long pid, ProcStat &stat) {
  std::ifstream file(procFile(pid, "stat"));
  std::string text;
  if (!std::getline(file, text))
    return false;
  // The short name may hold blanks and parentheses: it ends at the last ")".
  const std::size_t open = text.find('('), close = text.rfind(')');
  if (open == std::string::npos || close == std::string::npos || close < open)
    return false;
  stat.shortName = text.substr(open + 1, close - open - 1);
  std::istringstream fields(text.substr(close + 1));
  std::vector<std::string> values;
  for (std::string value; fields >> value;)
    values.push_back(value);
  // After the name: state, parent, ... and the thread count 17 fields on.
  if (values.size() > 17) {
    stat.dwParent = static_cast<DWORD>(std::strtoul(values[1].c_str(), nullptr, 10));
    stat.dwThreads = static_cast<DWORD>(std::strtoul(values[17].c_str(), nullptr, 10));
  }
  return true;
}

std::vector<unsigned long> processIds() {
  std::vector<unsigned long> ids;
  DIR *folder = ::opendir("/proc");
  if (folder == nullptr)
    return ids;
  while (const dirent *entry = ::readdir(folder)) {
    char *end = nullptr;
    const unsigned long pid = std::strtoul(entry->d_name, &end, 10);
    if (pid != 0 && end != entry->d_name && *end == '\0')
      ids.push_back(pid);
  }
  ::closedir(folder);
  std::sort(ids.begin(), ids.end());
  return ids;
}

void takeProcesses(Snapshot &snapshot) {
  for (const unsigned long pid : processIds()) {
    ProcStat stat;
    // A process that ended since the folder was read is left out.
    if (!readStat(pid, stat))
      continue;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    entry.th32ProcessID = static_cast<DWORD>(pid);
    entry.cntThreads = stat.dwThreads;
    entry.th32ParentProcessID = stat.dwParent;
    entry.pcPriClassBase = 8; // normal priority
    const std::string exe = executableOf(pid);
    const std::string name = exe.empty() ? stat.shortName : exe.substr(exe.rfind('/') + 1);
    copyName(entry.szExeFile, posix::utf8ToUtf16(name));
    snapshot.processes.push_back(entry);
  }
}

struct Mapping {
  std::string path;
  std::uintptr_t start = 0;
  std::uintptr_t end = 0;
};

bool takeModules(Snapshot &snapshot, unsigned long pid, DWORD &dwError) {
  std::ifstream maps(procFile(pid, "maps"));
  if (!maps) {
    dwError = errno == ENOENT ? ERROR_INVALID_PARAMETER : posix::win32ErrorFromErrno(errno);
    return false;
  }
  std::vector<Mapping> files;
  for (std::string line; std::getline(maps, line);) {
    const std::size_t slash = line.find('/');
    if (slash == std::string::npos)
      continue; // anonymous memory, the stack, the heap
    Mapping mapping;
    mapping.path = line.substr(slash);
    const std::string deleted = " (deleted)";
    if (mapping.path.ends_with(deleted))
      mapping.path.resize(mapping.path.size() - deleted.size());
    mapping.start = std::strtoull(line.c_str(), nullptr, 16);
    mapping.end = std::strtoull(line.c_str() + line.find('-') + 1, nullptr, 16);
    const auto known = std::find_if(files.begin(), files.end(),
                                    [&](const Mapping &m) { return m.path == mapping.path; });
    if (known == files.end()) {
      files.push_back(mapping);
    } else {
      known->start = std::min(known->start, mapping.start);
      known->end = std::max(known->end, mapping.end);
    }
  }
  // The executable names the process: it comes first, as on Windows.
  const std::string exe = executableOf(pid);
  std::stable_partition(files.begin(), files.end(),
                        [&](const Mapping &m) { return !exe.empty() && m.path == exe; });
  for (const Mapping &file : files) {
    MODULEENTRY32W entry{};
    entry.dwSize = sizeof entry;
    entry.th32ModuleID = 1;
    entry.th32ProcessID = static_cast<DWORD>(pid);
    entry.GlblcntUsage = entry.ProccntUsage = 0xFFFF;
    entry.modBaseAddr = reinterpret_cast<BYTE *>(file.start);
    entry.modBaseSize =
        static_cast<DWORD>(std::min<std::uintptr_t>(file.end - file.start, 0xFFFFFFFFu));
    entry.hModule = reinterpret_cast<HMODULE>(file.start);
    const std::u16string path = posix::windowsPathFromHost(file.path);
    copyName(entry.szExePath, path);
    copyName(entry.szModule, std::u16string_view(path).substr(path.rfind(u'\\') + 1));
    snapshot.modules.push_back(entry);
  }
  return true;
}

// One step of a walk: the first entry or the next one.
template <class Entry>
BOOL walk(HANDLE hSnapshot, Entry *pEntry, std::vector<Entry> Snapshot::*list, bool bFirst) {
  const auto snapshot = posix::objectOf<Snapshot>(hSnapshot);
  if (!snapshot)
    return posix::failWith(ERROR_INVALID_HANDLE);
  if (pEntry == nullptr || pEntry->dwSize < sizeof(Entry))
    return posix::failWith(ERROR_INVALID_PARAMETER);
  const std::lock_guard<std::mutex> guard(snapshot->lock);
  if (bFirst)
    snapshot->next = 0;
  const std::vector<Entry> &entries = (*snapshot).*list;
  if (snapshot->next >= entries.size())
    return posix::failWith(ERROR_NO_MORE_FILES);
  *pEntry = entries[snapshot->next++];
  return TRUE;
}

} // namespace

HANDLE CreateToolhelp32Snapshot(DWORD dwFlags, DWORD th32ProcessID) {
  if ((dwFlags & (TH32CS_SNAPPROCESS | TH32CS_SNAPMODULE)) == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  auto snapshot = std::make_shared<Snapshot>();
  if ((dwFlags & TH32CS_SNAPPROCESS) != 0)
    takeProcesses(*snapshot);
  if ((dwFlags & TH32CS_SNAPMODULE) != 0) {
    const unsigned long pid =
        th32ProcessID == 0 ? static_cast<unsigned long>(::getpid()) : th32ProcessID;
    DWORD dwError = ERROR_SUCCESS;
    // A process that does not exist (or is not one: a thread of another)
    // has no modules to list.
    if ((::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) ||
        !takeModules(*snapshot, pid, dwError)) {
      SetLastError(dwError == ERROR_SUCCESS ? ERROR_INVALID_PARAMETER : dwError);
      return INVALID_HANDLE_VALUE;
    }
  }
  return posix::addHandle(std::move(snapshot));
}

BOOL Process32FirstW(HANDLE hSnapshot, PROCESSENTRY32W *lppe) {
  return walk(hSnapshot, lppe, &Snapshot::processes, true);
}
BOOL Process32NextW(HANDLE hSnapshot, PROCESSENTRY32W *lppe) {
  return walk(hSnapshot, lppe, &Snapshot::processes, false);
}
BOOL Module32FirstW(HANDLE hSnapshot, MODULEENTRY32W *lpme) {
  return walk(hSnapshot, lpme, &Snapshot::modules, true);
}
BOOL Module32NextW(HANDLE hSnapshot, MODULEENTRY32W *lpme) {
  return walk(hSnapshot, lpme, &Snapshot::modules, false);
}

} // namespace zelsys
