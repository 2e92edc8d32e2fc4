//===- Resources.cpp - String tables on the substitute --------------------===//
//
// The program registers its table at static initialisation; LoadStringW
// picks the user's language from the locale variables on every call and the
// block by StringTable.h's rules. A DLL that LoadLibraryW loaded answers
// from its own string resources (Modules.h), chosen by the same rules. Only
// code that works on every Unix.
//
//===----------------------------------------------------------------------===//
#include "zelsys/resources.h"
#include "Errors.h"
#include "Modules.h"
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

INT failEmpty(LPWSTR lpBuffer, INT cchBufferMax, DWORD dwError) {
  if (cchBufferMax > 0)
    lpBuffer[0] = u'\0';
  SetLastError(dwError);
  return 0;
}

// Hands a found text over as LoadStringW does: copied and cut, or (for a
// zero size) as a pointer to the text itself, which lives as long as its
// table.
INT giveText(std::u16string_view text, LPWSTR lpBuffer, INT cchBufferMax) {
  const auto length = static_cast<INT>(text.size());
  if (cchBufferMax == 0) {
    const char16_t *pText = text.empty() ? u"" : text.data();
    std::memcpy(lpBuffer, &pText, sizeof pText);
    return length;
  }
  const INT copied = std::min(length, cchBufferMax - 1);
  std::copy_n(text.data(), copied, lpBuffer);
  lpBuffer[copied] = u'\0';
  return copied;
}

} // namespace

// Looking the language up must not disturb the caller's last-error value.
WORD posix::userLanguage() {
  const DWORD saved = GetLastError();
  const std::string lcAll = localeVariable(u"LC_ALL");
  const std::string lcMessages = localeVariable(u"LC_MESSAGES");
  const std::string lang = localeVariable(u"LANG");
  SetLastError(saved);
  return posix::languageFromLocale(posix::selectedLocale(lcAll, lcMessages, lang));
}

INT LoadStringW(HINSTANCE hInstance, UINT uID, LPWSTR lpBuffer, INT cchBufferMax) {
  if (lpBuffer == nullptr || cchBufferMax < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const WORD wWanted = posix::userLanguage();
  if (!posix::isProgramModule(hInstance)) {
    bool found = false;
    std::u16string_view text;
    const DWORD error = posix::imageModuleString(hInstance, uID, wWanted, found, text);
    if (error != ERROR_SUCCESS)
      return failEmpty(lpBuffer, cchBufferMax, error);
    // A block without the id leaves the last-error value alone.
    if (!found) {
      if (cchBufferMax > 0)
        lpBuffer[0] = u'\0';
      return 0;
    }
    return giveText(text, lpBuffer, cchBufferMax);
  }
  const std::lock_guard<std::mutex> lock(gTableLock);
  const posix::StringTable &table = programTable();
  if (table.empty())
    return failEmpty(lpBuffer, cchBufferMax, ERROR_RESOURCE_TYPE_NOT_FOUND);
  const posix::StringTable::Found found = table.find(uID, wWanted);
  if (!found.block)
    return failEmpty(lpBuffer, cchBufferMax, ERROR_RESOURCE_NAME_NOT_FOUND);
  // Registered texts live as long as the program.
  return giveText(found.text, lpBuffer, cchBufferMax);
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
