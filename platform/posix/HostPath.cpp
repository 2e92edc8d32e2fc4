//===- HostPath.cpp - Windows paths and host paths -------------------------===//
//
// Only code that works on every Unix.
//
//===----------------------------------------------------------------------===//
#include "HostPath.h"
#include "Machine.h"
#include "Utf.h"
#include "WindowsPath.h"
#include "zelsys/winconst.h"

#include <dirent.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace zelsys::posix {

namespace {

constexpr DWORD kErrorBadNetPath = 53;
constexpr DWORD kErrorInvalidName = 123;

std::u16string turnSeparators(std::string_view hostPath) {
  std::u16string path = utf8ToUtf16(hostPath);
  for (char16_t &unit : path)
    if (unit == u'/')
      unit = u'\\';
  return path;
}

bool validName(const std::u16string &component) {
  for (char16_t unit : component)
    if (unit < 0x20 || std::u16string_view(u"<>:\"|?*").find(unit) != std::u16string_view::npos)
      return false;
  return true;
}

bool exists(const std::string &path) {
  struct stat info;
  return ::lstat(path.c_str(), &info) == 0;
}

// The entry of folder whose name equals component case-insensitively, or
// the component itself when none does.
std::string matchEntry(const std::string &folder, const std::u16string &component) {
  const std::string exact = utf16ToUtf8(component);
  if (exists(folder + "/" + exact))
    return exact;
  std::unique_ptr<DIR, int (*)(DIR *)> dir(::opendir(folder.empty() ? "/" : folder.c_str()),
                                           ::closedir);
  if (!dir)
    return exact;
  while (const dirent *entry = ::readdir(dir.get()))
    if (equalsIgnoreCase(utf8ToUtf16(entry->d_name), component))
      return entry->d_name;
  return exact;
}

WindowsPath currentFolder() {
  std::string cwd(4096, '\0');
  if (::getcwd(cwd.data(), cwd.size()) == nullptr)
    return parseWindowsPath(u"Z:\\");
  cwd.resize(cwd.find('\0'));
  return parseWindowsPath(windowsPathFromHost(cwd));
}

} // namespace

std::u16string windowsPathFromHost(std::string_view hostPath) {
  const std::string drive = machineRoot() + "/drive_c";
  if (hostPath.substr(0, drive.size()) == drive &&
      (hostPath.size() == drive.size() || hostPath[drive.size()] == '/')) {
    const std::u16string rest = turnSeparators(hostPath.substr(drive.size()));
    return u"C:" + (rest.empty() ? std::u16string(u"\\") : rest);
  }
  std::u16string path = turnSeparators(hostPath);
  if (!path.empty() && path.front() == u'\\')
    path.insert(0, u"Z:");
  return path;
}

bool hostPathFromWindows(std::u16string_view text, std::string &hostPath, DWORD &dwError) {
  WindowsPath path = parseWindowsPath(text);
  if (path.kind == WindowsPath::Kind::Unsupported) {
    dwError = kErrorBadNetPath;
    return false;
  }
  path = resolveAgainst(path, currentFolder());
  std::string folder;
  if (path.drive == u'C')
    folder = ensureMachine() + "/drive_c";
  else if (path.drive != u'Z') {
    dwError = ERROR_PATH_NOT_FOUND;
    return false;
  }
  for (const std::u16string &component : path.components) {
    if (!validName(component)) {
      dwError = kErrorInvalidName;
      return false;
    }
    folder += "/" + matchEntry(folder, component);
  }
  hostPath = folder.empty() ? "/" : folder;
  return true;
}

} // namespace zelsys::posix
