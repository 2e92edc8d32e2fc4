//===- WindowsPath.cpp - Windows path rules as pure functions --------------===//
//
// Only code that works on every Unix.
//
//===----------------------------------------------------------------------===//
#include "WindowsPath.h"
#include "FileNames.h"
#include "Utf.h"

namespace zelsys::posix {

namespace {

bool isSeparator(char16_t unit) { return unit == u'\\' || unit == u'/'; }

bool isDriveLetter(char16_t unit) {
  return (unit >= u'A' && unit <= u'Z') || (unit >= u'a' && unit <= u'z');
}

// Appends the components of text to path, applying "." and "..".
void appendComponents(WindowsPath &path, std::u16string_view text) {
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = start;
    while (end < text.size() && !isSeparator(text[end]))
      ++end;
    const std::u16string_view part = text.substr(start, end - start);
    if (part == u"..") {
      if (!path.components.empty())
        path.components.pop_back();
      else if (path.kind == WindowsPath::Kind::Relative ||
               path.kind == WindowsPath::Kind::DriveRelative)
        ++path.climbs;
    } else if (!part.empty() && part != u".") {
      path.components.emplace_back(part);
    }
    start = end + 1;
  }
}

// The drive letter as the text writes it, or 0.
char16_t writtenDrive(std::u16string_view text) {
  if (isExtendedPath(text))
    text.remove_prefix(4);
  return text.size() >= 2 && text[1] == u':' && isDriveLetter(text[0]) ? text[0] : u'\0';
}

// "\\.\CON" for "C:\x\con .txt": the device keeps the case it is written in.
std::u16string devicePath(std::u16string_view name) {
  std::u16string_view stem = name.substr(0, name.find(u'.'));
  while (!stem.empty() && stem.back() == u' ')
    stem.remove_suffix(1);
  return u"\\\\.\\" + std::u16string(stem);
}

} // namespace

WindowsPath parseWindowsPath(std::u16string_view text) {
  WindowsPath path;
  if (text.substr(0, 4) == u"\\\\?\\")
    text.remove_prefix(4);
  if (text.size() >= 2 && isSeparator(text[0]) && isSeparator(text[1])) {
    path.kind = WindowsPath::Kind::Unsupported;
    return path;
  }
  if (text.size() >= 2 && text[1] == u':' && isDriveLetter(text[0])) {
    path.drive = upcaseUnit(text[0]);
    text.remove_prefix(2);
    path.kind = (!text.empty() && isSeparator(text[0])) ? WindowsPath::Kind::Absolute
                                                        : WindowsPath::Kind::DriveRelative;
  } else if (!text.empty() && isSeparator(text[0])) {
    path.kind = WindowsPath::Kind::Rooted;
  }
  appendComponents(path, text);
  return path;
}

WindowsPath resolveAgainst(const WindowsPath &path, const WindowsPath &base) {
  if (path.kind == WindowsPath::Kind::Absolute || path.kind == WindowsPath::Kind::Unsupported)
    return path;
  WindowsPath result;
  result.kind = WindowsPath::Kind::Absolute;
  result.drive = path.drive ? path.drive : base.drive;
  if (path.kind == WindowsPath::Kind::Relative ||
      (path.kind == WindowsPath::Kind::DriveRelative && path.drive == base.drive))
    result.components = base.components;
  for (unsigned i = 0; i < path.climbs && !result.components.empty(); ++i)
    result.components.pop_back();
  result.components.insert(result.components.end(), path.components.begin(), path.components.end());
  return result;
}

std::u16string formatWindowsPath(const WindowsPath &path) {
  std::u16string text;
  if (path.drive) {
    text += path.drive;
    text += u':';
  }
  if (path.kind == WindowsPath::Kind::Absolute || path.kind == WindowsPath::Kind::Rooted)
    text += u'\\';
  for (unsigned i = 0; i < path.climbs; ++i)
    text += u"..\\";
  for (std::size_t i = 0; i < path.components.size(); ++i) {
    if (i > 0)
      text += u'\\';
    text += path.components[i];
  }
  return text;
}

bool isExtendedPath(std::u16string_view path) { return path.substr(0, 4) == u"\\\\?\\"; }

WindowsPath absoluteFilePath(std::u16string_view text, std::u16string_view currentFolder) {
  WindowsPath path = resolveAgainst(parseWindowsPath(text), parseWindowsPath(currentFolder));
  if (isExtendedPath(text) || path.kind == WindowsPath::Kind::Unsupported)
    return path;
  std::vector<std::u16string> kept;
  for (std::size_t i = 0; i < path.components.size(); ++i) {
    const std::u16string &component = path.components[i];
    const bool pattern = i + 1 == path.components.size() && hasWildcards(component);
    const std::u16string_view name = pattern ? component : trimName(component);
    if (!name.empty())
      kept.emplace_back(name);
  }
  path.components = std::move(kept);
  return path;
}

std::u16string fullPathName(std::u16string_view text, std::u16string_view currentFolder,
                            std::size_t &filePart) {
  filePart = std::u16string::npos;
  const WindowsPath path = absoluteFilePath(text, currentFolder);
  if (text.empty() || path.kind == WindowsPath::Kind::Unsupported)
    return u"";
  if (!path.components.empty() && !isExtendedPath(text) &&
      dosDeviceOf(path.components.back()) != DosDevice::None)
    return devicePath(path.components.back());
  std::u16string full = formatWindowsPath(path);
  const char16_t written = writtenDrive(text) ? writtenDrive(text) : writtenDrive(currentFolder);
  if (written && upcaseUnit(written) == full[0])
    full[0] = written;
  if (path.components.empty())
    return full;
  if (isSeparator(text.back()))
    full += u'\\';
  else
    filePart = full.size() - path.components.back().size();
  return full;
}

} // namespace zelsys::posix
