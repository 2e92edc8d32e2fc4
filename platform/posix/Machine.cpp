//===- Machine.cpp - The emulated Windows machine's folder -----------------===//
//
// Only code that works on every Unix.
//
//===----------------------------------------------------------------------===//
#include "Machine.h"
#include "FileNames.h"
#include "Utf.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <memory>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace zelsys::posix {

namespace {

std::string environment(const char *name) {
  const char *value = std::getenv(name);
  return value ? value : "";
}

// mkdir -p; true when the folder exists afterwards.
bool makeFolders(const std::string &path) {
  for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
    const std::string prefix = path.substr(0, slash);
    if (::mkdir(prefix.c_str(), 0755) != 0 && errno != EEXIST)
      return false;
    if (slash == std::string::npos)
      return true;
  }
}

// Folders are only walked through, never read.
#ifdef O_PATH
constexpr int kWalkFlags = O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
#else
constexpr int kWalkFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
#endif

// The folder at path, each component opened below the one before it and
// none of them a link; -1 with errno set.
int openFolderWithoutLinks(const std::string &path) {
  int fd = ::open(path.empty() || path[0] != '/' ? "." : "/", kWalkFlags);
  for (std::size_t at = 0; fd >= 0 && at < path.size();) {
    const std::size_t slash = std::min(path.find('/', at), path.size());
    const std::string name = path.substr(at, slash - at);
    at = slash + 1;
    if (name.empty() || name == ".")
      continue;
    const int next = ::openat(fd, name.c_str(), kWalkFlags);
    ::close(fd);
    fd = next;
  }
  return fd;
}

// A file made by root in a user's machine folder is that user's, as SQLite
// does with the journals it makes beside a database. Should that fail the
// file stays root's, and the user's own programs fail to open it: visibly,
// and without sharing it with anyone.
void giveToFolderOwner(int folder, int fd) {
  struct stat owner {};
  if (::geteuid() != 0 || ::fstat(folder, &owner) != 0)
    return;
  if (::fchown(fd, owner.st_uid, owner.st_gid) != 0)
    return;
}

// A second name could be a link made to a file elsewhere.
bool isSoleRegularFile(int fd) {
  struct stat status {};
  return ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && status.st_nlink == 1;
}

} // namespace

int openMachineFile(const char *name, int flags) {
  const int folder = openFolderWithoutLinks(machineRoot());
  if (folder < 0)
    return -1;
  flags |= O_NOFOLLOW | O_CLOEXEC;
  int fd = ::openat(folder, name, flags);
  if (fd < 0 && errno == ENOENT) {
    fd = ::openat(folder, name, flags | O_CREAT | O_EXCL, 0600);
    if (fd >= 0)
      giveToFolderOwner(folder, fd);
    else if (errno == EEXIST) // made by another process meanwhile
      fd = ::openat(folder, name, flags);
  }
  const int error = errno;
  ::close(folder);
  errno = error;
  if (fd >= 0 && !isSoleRegularFile(fd)) {
    ::close(fd);
    errno = EPERM;
    return -1;
  }
  return fd;
}

std::string machineRoot() {
  std::string root = environment("ZEL_MACHINE");
  if (root.empty()) {
    const std::string data = environment("XDG_DATA_HOME");
    root = data.empty() ? environment("HOME") + "/.local/share" : data;
    root += "/fixwell/machine";
  }
  while (root.size() > 1 && root.back() == '/')
    root.pop_back();
  return root;
}

std::string ensureMachine() {
  const std::string root = machineRoot();
  if (isWindowsInstallation(root))
    return root; // a real installation is never given the emulated layout
  // Every Windows path on drive C comes here: the layout is made once per
  // machine and process, and again only when the machine's drive has gone.
  static std::mutex lock;
  static std::string ensured;
  const std::lock_guard<std::mutex> guard(lock);
  struct stat status {};
  if (root == ensured && ::stat((root + "/drive_c").c_str(), &status) == 0)
    return root;
  static const char *const kLayout[] = {
      "/drive_c/Windows/System32", "/drive_c/Windows/Temp",  "/drive_c/Users/Public",
      "/drive_c/Users/Default",    "/drive_c/Program Files", "/drive_c/Program Files (x86)",
      "/drive_c/ProgramData",
  };
  for (const char *folder : kLayout)
    if (!makeFolders(root + folder))
      return "";
  ensured = root;
  return root;
}

bool isWindowsInstallation(const std::string &root) {
  // Asked on every registry call and every path on drive C: the answer is
  // kept for the last root, and asked again only when it was no.
  static std::mutex lock;
  static std::string known;
  const std::lock_guard<std::mutex> guard(lock);
  if (!known.empty() && known == root)
    return true;
  // An emulated machine's drive settles it with one look.
  struct stat status {};
  if (::stat((root + "/drive_c").c_str(), &status) == 0 ||
      findBelow(root, "Windows/System32/config/SOFTWARE").empty())
    return false;
  known = root;
  return true;
}

std::string driveCFolder() {
  const std::string root = ensureMachine();
  if (root.empty() || isWindowsInstallation(root))
    return root;
  return root + "/drive_c";
}

std::string matchEntry(const std::string &folder, std::u16string_view name) {
  const std::string exact = utf16ToUtf8(name);
  struct stat status {};
  if (::lstat((folder + "/" + exact).c_str(), &status) == 0)
    return exact;
  std::unique_ptr<DIR, int (*)(DIR *)> dir(::opendir(folder.empty() ? "/" : folder.c_str()),
                                           ::closedir);
  if (!dir)
    return exact;
  // An entry no Windows name can hold is never another spelling of one.
  while (const dirent *entry = ::readdir(dir.get())) {
    const std::optional<std::u16string> entryName = windowsNameOf(entry->d_name);
    if (entryName && equalsIgnoreCase(*entryName, name))
      return entry->d_name;
  }
  return exact;
}

std::string findBelow(const std::string &folder, std::string_view relative) {
  std::string at = folder;
  while (!relative.empty()) {
    const std::size_t slash = relative.find('/');
    const std::string_view name = relative.substr(0, slash);
    relative = slash == std::string_view::npos ? std::string_view() : relative.substr(slash + 1);
    if (name.empty())
      continue;
    at += "/" + matchEntry(at, utf8ToUtf16(name));
    struct stat status {};
    if (::lstat(at.c_str(), &status) != 0)
      return "";
  }
  return at;
}

} // namespace zelsys::posix
