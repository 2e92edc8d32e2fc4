//===- Environment.cpp - The process environment on the substitute --------===//
//
// The host keeps the environment in UTF-8 under case-sensitive names; the
// interface speaks UTF-16 and, as Windows does, finds names whatever their
// case. Only code that works on every Unix.
//
//===----------------------------------------------------------------------===//
#include "zelsys/environment.h"
#include "Errors.h"
#include "Utf.h"
#include "zelsys/kernel.h"
#include "zelsys/registry.h"
#include "zelsys/winconst.h"

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

extern char **environ;

namespace zelsys {

namespace {

// getenv and setenv are not safe against each other; every call of this
// file reads or changes the environment under this lock.
std::mutex gEnvironmentLock;

// A name the host can hold: not empty and without '='.
bool isUsableName(LPCWSTR lpName) {
  return lpName != nullptr && *lpName != u'\0' &&
         std::u16string_view(lpName).find(u'=') == std::u16string_view::npos;
}

// The host spellings of every variable called name, in environment order.
std::vector<std::string> hostSpellings(std::u16string_view name) {
  std::vector<std::string> spellings;
  for (char **ppEntry = environ; ppEntry != nullptr && *ppEntry != nullptr; ++ppEntry) {
    const std::string_view entry(*ppEntry);
    const std::size_t equals = entry.find('=');
    if (equals == std::string_view::npos || equals == 0)
      continue;
    const std::string_view hostName = entry.substr(0, equals);
    if (posix::equalsIgnoreCase(posix::utf8ToUtf16(hostName), name))
      spellings.emplace_back(hostName);
  }
  return spellings;
}

// Every Windows process inherits these from the system; a host process has
// none of them, yet values stored in the registry (profile folders, paths)
// refer to them. They answer only where the host sets no such variable, with
// the emulated machine's layout: its system drive is C:.
struct SystemVariable {
  std::u16string_view name;
  std::u16string_view value;
};
constexpr SystemVariable kSystemVariables[] = {
    {u"SystemDrive", u"C:"},
    {u"SystemRoot", u"C:\\Windows"},
    {u"windir", u"C:\\Windows"},
};

// The value of the variable called name, whatever the case of its spelling;
// false when it is not set. The caller holds gEnvironmentLock.
bool lookUp(std::u16string_view name, std::u16string &value) {
  if (name.empty() || name.find(u'=') != std::u16string_view::npos)
    return false;
  const std::vector<std::string> spellings = hostSpellings(name);
  const char *pszValue = spellings.empty() ? nullptr : ::getenv(spellings.front().c_str());
  if (pszValue != nullptr) {
    value = posix::utf8ToUtf16(pszValue);
    return true;
  }
  for (const SystemVariable &variable : kSystemVariables)
    if (posix::equalsIgnoreCase(variable.name, name)) {
      value = variable.value;
      return true;
    }
  return false;
}

} // namespace

DWORD GetEnvironmentVariableW(LPCWSTR lpName, LPWSTR lpBuffer, DWORD nSize) {
  const std::lock_guard<std::mutex> lock(gEnvironmentLock);
  std::u16string value;
  if (!isUsableName(lpName) || !lookUp(lpName, value)) {
    SetLastError(ERROR_ENVVAR_NOT_FOUND);
    return 0;
  }
  // A value too long for a DWORD count cannot be reported; the host allows
  // nothing near that, so it is treated as absent rather than misreported.
  if (value.size() >= std::numeric_limits<DWORD>::max()) {
    SetLastError(ERROR_ENVVAR_NOT_FOUND);
    return 0;
  }
  const auto length = static_cast<DWORD>(value.size());
  // Too small: the caller's buffer is not touched, and learns the size to
  // ask for, terminator included.
  if (lpBuffer == nullptr || length >= nSize)
    return length + 1;
  std::copy(value.begin(), value.end(), lpBuffer);
  lpBuffer[length] = u'\0';
  // An empty value also gives 0, but without ERROR_ENVVAR_NOT_FOUND: the
  // last-error value is left as it was.
  return length;
}

BOOL SetEnvironmentVariableW(LPCWSTR lpName, LPCWSTR lpValue) {
  if (!isUsableName(lpName)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const std::lock_guard<std::mutex> lock(gEnvironmentLock);
  std::vector<std::string> spellings = hostSpellings(lpName);
  if (lpValue != nullptr) {
    // An existing variable keeps the spelling of its name; the value is set
    // before any other spelling is removed, so a refusal loses nothing.
    const std::string hostName = spellings.empty() ? posix::utf16ToUtf8(lpName) : spellings.front();
    if (::setenv(hostName.c_str(), posix::utf16ToUtf8(lpValue).c_str(), 1) != 0)
      return posix::failWithErrno();
    spellings.erase(std::remove(spellings.begin(), spellings.end(), hostName), spellings.end());
  }
  // Removing a variable that is not set succeeds, as on Windows.
  for (const std::string &spelling : spellings) {
    if (::unsetenv(spelling.c_str()) != 0)
      return posix::failWithErrno();
  }
  return TRUE;
}

DWORD ExpandEnvironmentStringsW(LPCWSTR lpSrc, LPWSTR lpDst, DWORD nSize) {
  if (lpSrc == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const std::u16string_view source(lpSrc);
  std::u16string expanded;
  {
    const std::lock_guard<std::mutex> lock(gEnvironmentLock);
    std::size_t position = 0;
    while (position < source.size()) {
      const std::size_t open = source.find(u'%', position);
      const std::size_t close =
          open == std::u16string_view::npos ? open : source.find(u'%', open + 1);
      if (close == std::u16string_view::npos) {
        // No further complete reference: the rest, a lone '%' included, is
        // copied as written.
        expanded.append(source.substr(position));
        break;
      }
      expanded.append(source.substr(position, open - position));
      std::u16string value;
      // An unknown name (the empty one of "%%" too) keeps its reference as
      // written, both signs included, and scanning goes on after it.
      if (lookUp(source.substr(open + 1, close - open - 1), value))
        expanded.append(value);
      else
        expanded.append(source.substr(open, close - open + 1));
      position = close + 1;
    }
  }
  if (expanded.size() >= std::numeric_limits<DWORD>::max()) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return 0;
  }
  const auto needed = static_cast<DWORD>(expanded.size() + 1);
  // Too small: the caller learns the size to ask for and the buffer is not
  // touched, so no truncated text can be mistaken for the expansion.
  if (lpDst == nullptr || nSize < needed) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return needed;
  }
  std::copy(expanded.begin(), expanded.end(), lpDst);
  lpDst[expanded.size()] = u'\0';
  return needed;
}

} // namespace zelsys
