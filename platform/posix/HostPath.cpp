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

#include <memory>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace zelsys::posix {

namespace {

std::u16string turnSeparators(std::string_view hostPath) {
  std::u16string path = utf8ToUtf16(hostPath);
  for (char16_t &unit : path)
    if (unit == u'/')
      unit = u'\\';
  return path;
}

bool isFolder(const std::string &path) {
  struct stat info;
  return ::stat(path.empty() ? "/" : path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::mutex gCurrentFolderLock;
std::u16string gCurrentFolder; // empty until first asked for

std::u16string hostWorkingFolder() {
  std::string cwd(4096, '\0');
  if (::getcwd(cwd.data(), cwd.size()) == nullptr)
    return u"Z:\\";
  cwd.resize(cwd.find('\0'));
  return windowsPathFromHost(cwd);
}

// The names of a path: every component valid and one a host name can spell,
// wildcards only in the last one of a search.
bool validNames(const WindowsPath &path, NameUse use) {
  for (std::size_t i = 0; i < path.components.size(); ++i) {
    const bool last = i + 1 == path.components.size();
    if (!isValidName(path.components[i], last && use == NameUse::Search) ||
        !hostCanSpell(path.components[i]))
      return false;
  }
  return true;
}

// The host folder of a drive's root ("" for the host's root).
bool driveRoot(char16_t drive, std::string &root) {
  if (drive == u'C') {
    root = driveCFolder();
    return !root.empty(); // never the host's root in its place
  }
  if (drive != u'Z')
    return false;
  root.clear();
  return true;
}

DWORD checkName(std::u16string_view text, const WindowsPath &path, NameUse use) {
  if (text.empty())
    return ERROR_PATH_NOT_FOUND;
  if (path.kind == WindowsPath::Kind::Unsupported)
    return ERROR_BAD_NETPATH;
  if (!isExtendedPath(text) && formatWindowsPath(path).size() >= MAX_PATH)
    return ERROR_PATH_NOT_FOUND;
  return validNames(path, use) ? ERROR_SUCCESS : ERROR_INVALID_NAME;
}

} // namespace

std::u16string windowsPathFromHost(std::string_view hostPath) {
  const std::string machine = machineRoot();
  const std::string drive = isWindowsInstallation(machine) ? machine : machine + "/drive_c";
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

std::u16string currentFolder() {
  const std::lock_guard<std::mutex> lock(gCurrentFolderLock);
  if (gCurrentFolder.empty())
    gCurrentFolder = hostWorkingFolder();
  return gCurrentFolder;
}

void setCurrentFolder(std::u16string folder) {
  const std::lock_guard<std::mutex> lock(gCurrentFolderLock);
  gCurrentFolder = std::move(folder);
}

bool resolveHostFile(std::u16string_view text, NameUse use, HostFile &file, DWORD &dwError) {
  const WindowsPath path = absoluteFilePath(text, currentFolder());
  dwError = checkName(text, path, use);
  std::string folder;
  if (dwError == ERROR_SUCCESS && !driveRoot(path.drive, folder))
    dwError = ERROR_PATH_NOT_FOUND;
  if (dwError != ERROR_SUCCESS)
    return false;
  const std::size_t count = path.components.size();
  for (std::size_t i = 0; i + 1 < count; ++i)
    folder += "/" + matchEntry(folder, path.components[i]);
  file = HostFile();
  file.fullPath = formatWindowsPath(path);
  file.folderFound = isFolder(folder);
  file.trailingSeparator = text.back() == u'\\' || text.back() == u'/';
  file.folder = folder.empty() ? "/" : folder;
  if (count == 0) {
    file.path = file.folder;
    return true;
  }
  file.name = path.components.back();
  if (!isExtendedPath(text))
    file.device = dosDeviceOf(file.name);
  const std::string last =
      use == NameUse::Search ? utf16ToUtf8(file.name) : matchEntry(folder, file.name);
  file.path = folder + "/" + last;
  return true;
}

bool hostPathFromWindows(std::u16string_view text, std::string &hostPath, DWORD &dwError) {
  HostFile file;
  if (!resolveHostFile(text, NameUse::Open, file, dwError))
    return false;
  hostPath = std::move(file.path);
  return true;
}

} // namespace zelsys::posix
