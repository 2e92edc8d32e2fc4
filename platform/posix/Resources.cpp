//===- Resources.cpp - The program's string table on the substitute -------===//
//
// The program registers its table at static initialisation; LoadStringW
// picks the user's language from the locale variables on every call and the
// block by StringTable.h's rules. Only the program's own table exists: the
// substitute loads no modules with resources. Only code that works on every
// Unix.
//
//===----------------------------------------------------------------------===//
#include "zelsys/resources.h"
#include "Errors.h"
#include "StringTable.h"
#include "Utf.h"
#include "zelsys/environment.h"
#include "zelsys/kernel.h"
#include "zelsys/winconst.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <string>

namespace zelsys {

namespace {

std::mutex gTableLock;

// Built on first use, so registrations from any translation unit's static
// initialisation find it ready.
posix::StringTable &programTable() {
  static posix::StringTable table;
  return table;
}

// One locale variable, read through the environment calls so that it is
// safe against SetEnvironmentVariableW on another thread.
std::string localeVariable(LPCWSTR lpName) {
  std::u16string value(32, u'\0');
  for (;;) {
    const DWORD length =
        GetEnvironmentVariableW(lpName, value.data(), static_cast<DWORD>(value.size()));
    if (length == 0)
      return {};
    if (length < value.size())
      return posix::utf16ToUtf8(std::u16string_view(value.data(), length));
    value.resize(length);
  }
}

// Looking the language up must not disturb the caller's last-error value.
WORD userLanguage() {
  const DWORD saved = GetLastError();
  const std::string lcAll = localeVariable(u"LC_ALL");
  const std::string lcMessages = localeVariable(u"LC_MESSAGES");
  const std::string lang = localeVariable(u"LANG");
  SetLastError(saved);
  return posix::languageFromLocale(posix::selectedLocale(lcAll, lcMessages, lang));
}

INT failEmpty(LPWSTR lpBuffer, INT cchBufferMax, DWORD dwError) {
  if (cchBufferMax > 0)
    lpBuffer[0] = u'\0';
  SetLastError(dwError);
  return 0;
}

} // namespace

INT LoadStringW(HINSTANCE hInstance, UINT uID, LPWSTR lpBuffer, INT cchBufferMax) {
  if (lpBuffer == nullptr || cchBufferMax < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (hInstance != nullptr)
    return failEmpty(lpBuffer, cchBufferMax, ERROR_RESOURCE_DATA_NOT_FOUND);
  const WORD wWanted = userLanguage();
  const std::lock_guard<std::mutex> lock(gTableLock);
  const posix::StringTable &table = programTable();
  if (table.empty())
    return failEmpty(lpBuffer, cchBufferMax, ERROR_RESOURCE_TYPE_NOT_FOUND);
  const posix::StringTable::Found found = table.find(uID, wWanted);
  if (!found.block)
    return failEmpty(lpBuffer, cchBufferMax, ERROR_RESOURCE_NAME_NOT_FOUND);
  const auto length = static_cast<INT>(found.text.size());
  if (cchBufferMax == 0) {
    // The caller's buffer is really a pointer to receive; registered texts
    // live as long as the program, so the pointer stays valid.
    const char16_t *pText = found.text.empty() ? u"" : found.text.data();
    std::memcpy(lpBuffer, &pText, sizeof pText);
    return length;
  }
  const INT copied = std::min(length, cchBufferMax - 1);
  std::copy_n(found.text.data(), copied, lpBuffer);
  lpBuffer[copied] = u'\0';
  return copied;
}

void RegisterStringTable(const STRINGTABLE_ENTRY *pEntries, std::size_t count) {
  if (pEntries == nullptr)
    return;
  const std::lock_guard<std::mutex> lock(gTableLock);
  for (std::size_t i = 0; i < count; ++i)
    if (pEntries[i].lpText != nullptr && pEntries[i].uID <= 0xFFFF)
      programTable().add(pEntries[i].wLanguage, pEntries[i].uID, pEntries[i].lpText);
}

std::optional<std::u16string> posix::registeredText(WORD wLanguage, UINT uID) {
  const std::lock_guard<std::mutex> lock(gTableLock);
  const std::optional<std::u16string_view> text = programTable().exact(wLanguage, uID);
  return text ? std::optional<std::u16string>(*text) : std::nullopt;
}

} // namespace zelsys
