// firefox_updater.cpp - the Firefox profile walk and the extensions.cache
// filter.
//
// The patch runs with administrator rights inside folders that users control,
// so below the profiles root the walk holds each folder open and opens the
// next one inside it, never through a symbolic link or junction, and acts
// only on names inside the folder it holds (file_placement.h): whatever a
// user renames, swaps or links while the patch runs, nothing outside the
// profile is read, written or renamed. Names are only listed by path; each
// listed name is then opened inside the held folder, or not at all.
#include "firefox_updater.h"

#include "patch_app.h"
#include "patch_files.h"

#include "zel_log_entries.h"
#include "zel_windows_os_info.h"

#include "zelsys/files.h"
#include "zelsys/profile.h"
#include "zelsys/winconst.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace {

const ZEL_USHORT MODULE[] = u"Mendwise";
const ZEL_USHORT SOURCE[] = u".\\Fixwell";
const char EXTENSION_ID[] = "5D2A9E47-C3B1-4a86-9F0E-B71C4D6A2E58";
const ZEL_USHORT EXTENSION_FOLDER[] = u"{5D2A9E47-C3B1-4a86-9F0E-B71C4D6A2E58}";
const ZEL_USHORT CACHE_NAME[] = u"extensions.cache";
const ZEL_USHORT XP_PROFILES[] = u"\\Application Data\\Mozilla\\Firefox\\Profiles\\";
const ZEL_USHORT VISTA_PROFILES[] = u"\\AppData\\Roaming\\Mozilla\\Firefox\\Profiles\\";
constexpr zelsys::DWORD PATH_BUFFER = 260;

void logDebug(const ZEL_USHORT *pszFunction, ZEL_ULONG ulLine, const CZELWCharString &strText) {
  CZELLogDebug(strText.getBuffer() != nullptr ? strText.getBuffer() : u"", 0, 1, MODULE,
               pszFunction, SOURCE, ulLine, 1, true, false);
}

bool isDotEntry(const std::u16string &name) { return name == u"." || name == u".."; }

// Calls visit(name, attributes) for each folder entry that FindFirstFileW
// and FindNextFileW list under strFolder (ending with "\"), dots left out.
template <class Visit> void forEachSubFolder(const CZELWCharString &strFolder, Visit &&visit) {
  const CZELWCharString strPattern = strFolder + u"*.*";
  zelsys::WIN32_FIND_DATAW data{};
  const zelsys::HANDLE hFind = zelsys::FindFirstFileW(strPattern.getBuffer(), &data);
  if (hFind == zelsys::INVALID_HANDLE_VALUE)
    return;
  struct Closer {
    zelsys::HANDLE h;
    ~Closer() { zelsys::FindClose(h); }
  } closer{hFind};
  do {
    const std::u16string name(data.cFileName);
    if ((data.dwFileAttributes & zelsys::FILE_ATTRIBUTE_DIRECTORY) && !isDotEntry(name))
      visit(name, data.dwFileAttributes);
  } while (zelsys::FindNextFileW(hFind, &data));
}

// The folder holding every user's profile folder, ending with "\".
CZELWCharString profilesRoot() {
  ZEL_USHORT szDefault[PATH_BUFFER] = {};
  zelsys::DWORD dwSize = PATH_BUFFER;
  if (!zelsys::GetDefaultUserProfileDirectoryW(szDefault, &dwSize))
    return CZELWCharString();
  return folderOf(CZELWCharString(szDefault));
}

const ZEL_USHORT *profileLayout(const CZELWindowsOSInfo &osInfo) {
  if (osInfo.isXP())
    return XP_PROFILES;
  return osInfo.getOSQuery37() ? VISTA_PROFILES : nullptr;
}

// Keeps the bytes of [pLine, pEnd) at pOut unless they mention the
// identifier; zero bytes are dropped. Returns the new output end.
ZEL_BYTE *keepLine(const ZEL_BYTE *pLine, const ZEL_BYTE *pEnd, ZEL_BYTE *pOut) {
  ZEL_BYTE *pLineOut = pOut;
  const std::size_t ulBytes = static_cast<std::size_t>(pEnd - pLine);
  if (std::memchr(pLine, 0, ulBytes) == nullptr) {
    if (pOut != pLine)
      std::memmove(pOut, pLine, ulBytes);
    pOut += ulBytes;
  } else {
    for (const ZEL_BYTE *p = pLine; p != pEnd; ++p)
      if (*p != 0)
        *pOut++ = *p;
  }
  const std::size_t ulKept = static_cast<std::size_t>(pOut - pLineOut);
  const std::string_view line(reinterpret_cast<const char *>(pLineOut), ulKept);
  const bool bMentions = line.find(EXTENSION_ID) != std::string_view::npos;
  return bMentions ? pLineOut : pOut;
}

// The cache filter, in place. Each byte stands for the character of the same
// value and the written text goes back through the low byte of each
// character, so the filter works on the bytes themselves: a line ends after
// CR LF or at the data's last byte, a lone CR or LF does not end one, and a
// kept line keeps every byte but the zeros. Returns the kept length.
ZEL_ULONG filterCacheLines(ZEL_BYTE *pData, ZEL_ULONG ulSize) {
  const ZEL_BYTE *pEnd = pData + ulSize;
  ZEL_BYTE *pOut = pData;
  const ZEL_BYTE *pLine = pData;
  while (pLine != pEnd) {
    const ZEL_BYTE *pLineEnd = pEnd;
    for (const ZEL_BYTE *p = pLine; p != pEnd;) {
      p = static_cast<const ZEL_BYTE *>(std::memchr(p, '\r', static_cast<std::size_t>(pEnd - p)));
      if (p == nullptr)
        break;
      if (p + 1 != pEnd && p[1] == '\n') {
        pLineEnd = p + 2;
        break;
      }
      ++p;
    }
    pOut = keepLine(pLine, pLineEnd, pOut);
    pLine = pLineEnd;
  }
  return static_cast<ZEL_ULONG>(pOut - pData);
}

// The cache filter over one cache inside a held folder: the first two
// bytes go when the first is 0xFF (a byte-order mark), then the lines
// that mention the extension. A cache that keeps every byte stays as it is.
zelsys::DWORD rewriteCache(const CHeldFolder &folder, const CZELWCharString &strName) {
  CPatchBytes bytes;
  if (const zelsys::DWORD dwError = readFileBelow(folder, strName, bytes))
    return dwError;
  const std::size_t ulMark =
      !bytes.empty() && bytes[0] == 0xFF ? std::min<std::size_t>(2, bytes.size()) : 0;
  const ZEL_ULONG ulKept =
      filterCacheLines(bytes.data() + ulMark, static_cast<ZEL_ULONG>(bytes.size() - ulMark));
  if (ulMark == 0 && ulKept == bytes.size())
    return zelsys::ERROR_SUCCESS;
  bytes.erase(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(ulMark));
  bytes.resize(ulKept);
  return placeFileBelow(folder, strName, bytes, false);
}

// The names of the folders from a user's folder down to the Firefox
// profiles of a layout.
std::vector<CZELWCharString> layoutFolders(const ZEL_USHORT *pszLayout) {
  std::vector<CZELWCharString> folders;
  std::u16string name;
  for (const ZEL_USHORT *p = pszLayout; *p != 0; ++p) {
    if (*p != u'\\') {
      name += *p;
    } else if (!name.empty()) {
      folders.emplace_back(name.c_str());
      name.clear();
    }
  }
  return folders;
}

// The extensions.cache of one held profile folder: rewritten, or one line
// in the patch log saying why it could not be.
void patchCache(const CHeldFolder &profile) {
  const zelsys::DWORD dwError = rewriteCache(profile, CACHE_NAME);
  if (dwError != zelsys::ERROR_SUCCESS && dwError != zelsys::ERROR_FILE_NOT_FOUND)
    theApp.logFailure(profile.getPath() + CACHE_NAME, dwError);
}

// One Firefox profile: its cache, then the extension's files where the
// extension is present.
void patchFirefoxProfile(const CHeldFolder &profile) {
  logDebug(u"ModifyExtensionCache", 208, profile.getPath() + CACHE_NAME);
  patchCache(profile);
  const CHeldFolder extensions(profile, u"extensions");
  const CHeldFolder extension(extensions, EXTENSION_FOLDER);
  if (!extension.isValid())
    return;
  const CZELWCharString strProgram = programFolder();
  for (const ZEL_USHORT *pszFile : {u"install.rdf", u"chrome.manifest"})
    theApp.replaceFileIn(strProgram + pszFile, extension, pszFile, true);
}

} // namespace

bool UpdateFireFoxConfig() {
  const CZELWindowsOSInfo osInfo;
  const CZELWCharString strRoot = profilesRoot();
  if (strRoot.getLength() != 0)
    logDebug(u"UpdateFireFoxConfig", 125, strRoot);
  // A list rather than a fixed table: every user is visited, however many.
  std::vector<CZELWCharString> users;
  forEachSubFolder(strRoot, [&](const std::u16string &name, zelsys::DWORD) {
    if (name != u"All Users")
      users.emplace_back(name.c_str());
  });
  logDebug(u"UpdateFireFoxConfig", 150,
           CZELWCharString(u"User count: ") + CZELWCharString(static_cast<ZEL_LONG>(users.size())));
  const ZEL_USHORT *pszLayout = profileLayout(osInfo);
  if (pszLayout == nullptr)
    return false;
  const std::vector<CZELWCharString> layout = layoutFolders(pszLayout);
  const CHeldFolder root(strRoot);
  for (const CZELWCharString &strUser : users) {
    // Down from the user's folder, each folder held while the next one is
    // opened inside it.
    auto profiles = std::make_unique<CHeldFolder>(root, strUser);
    for (const CZELWCharString &strFolder : layout)
      profiles = std::make_unique<CHeldFolder>(*profiles, strFolder);
    if (!profiles->isValid())
      continue;
    forEachSubFolder(profiles->getPath(), [&](const std::u16string &name, zelsys::DWORD) {
      const CHeldFolder profile(*profiles, name.c_str());
      if (profile.isValid())
        patchFirefoxProfile(profile);
    });
  }
  return true;
}

bool ModifyExtensionCache(const CZELWCharString &strPath) {
  logDebug(u"ModifyExtensionCache", 208, strPath);
  // Either separator ends the folder, as in every Windows path.
  const std::u16string path = strPath.getBuffer() != nullptr ? strPath.getBuffer() : u"";
  const std::size_t cut = path.find_last_of(u"\\/");
  if (cut == std::u16string::npos)
    return false;
  const CHeldFolder folder(CZELWCharString(path.substr(0, cut + 1).c_str()));
  return rewriteCache(folder, CZELWCharString(path.substr(cut + 1).c_str())) ==
         zelsys::ERROR_SUCCESS;
}
