// firefox_updater.cpp - the Firefox profile walk and the extensions.cache
// filter.
//
// The patch runs with administrator rights inside folders that users control,
// so the walk never passes through a symbolic link or junction below the
// profiles root: a link could point the rename, copy or rewrite at any file
// of the machine. Rewrites go to a file beside the cache that then replaces
// it in one step, so a failure leaves the old cache whole (and replacing a
// link that stands in for the cache replaces the link, not what it names).
#include "firefox_updater.h"

#include "patch_app.h"
#include "patch_files.h"

#include "zel_directory.h"
#include "zel_file.h"
#include "zel_log_entries.h"
#include "zel_windows_os_info.h"

#include "zelsys/files.h"
#include "zelsys/profile.h"
#include "zelsys/winconst.h"

#include <cstring>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace {

const ZEL_USHORT MODULE[] = u"Mendwise";
const ZEL_USHORT SOURCE[] = u".\\Fixwell";
const char EXTENSION_ID[] = "5D2A9E47-C3B1-4a86-9F0E-B71C4D6A2E58";
const ZEL_USHORT EXTENSION_FOLDER[] = u"\\extensions\\{5D2A9E47-C3B1-4a86-9F0E-B71C4D6A2E58}\\";
const ZEL_USHORT CACHE_NAME[] = u"\\extensions.cache";
const ZEL_USHORT NEW_CACHE_SUFFIX[] = u".fixwell-new";
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

// Whether no component of strPath after the first ulFrom characters is a
// symbolic link or junction (components that do not exist are not links).
bool isFreeOfLinks(const CZELWCharString &strPath, ZEL_ULONG ulFrom) {
  std::u16string path(strPath.getBuffer());
  if (!path.empty() && path.back() == u'\\')
    path.pop_back();
  for (std::size_t end = path.find(u'\\', ulFrom + 1);; end = path.find(u'\\', end + 1)) {
    const std::u16string prefix = path.substr(0, end);
    const zelsys::DWORD dwAttributes = zelsys::GetFileAttributesW(prefix.c_str());
    if (dwAttributes != zelsys::INVALID_FILE_ATTRIBUTES &&
        (dwAttributes & zelsys::FILE_ATTRIBUTE_REPARSE_POINT))
      return false;
    if (end == std::u16string::npos)
      return true;
  }
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

// One Firefox profile: its cache, then the extension's files where the
// extension is present. Nothing is done through a link below the root.
void patchFirefoxProfile(const CZELWCharString &strProfile, ZEL_ULONG ulRootLength) {
  const CZELWCharString strCache = strProfile + CACHE_NAME;
  if (isFreeOfLinks(strCache, ulRootLength))
    ModifyExtensionCache(strCache);
  const CZELWCharString strExtension = strProfile + EXTENSION_FOLDER;
  if (!CZELDirectory(strExtension).isValidDirectory())
    return;
  for (const ZEL_USHORT *pszFile : {u"install.rdf", u"chrome.manifest"}) {
    const CZELWCharString strTarget = strExtension + pszFile;
    if (isFreeOfLinks(strTarget, ulRootLength))
      theApp.replaceFile(pszFile, strTarget, true);
  }
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

// Writes ulSize bytes beside strPath and puts them in its place in one step.
// The file beside is made afresh (CREATE_NEW), so whatever a user left under
// its name, a link included, is never written through.
bool replaceContent(const CZELWCharString &strPath, const ZEL_BYTE *pData, ZEL_ULONG ulSize) {
  const CZELWCharString strNew = strPath + NEW_CACHE_SUFFIX;
  zelsys::DeleteFileW(strNew.getBuffer());
  CPatchFileHandle file(zelsys::CreateFileW(strNew.getBuffer(), zelsys::GENERIC_WRITE, 0, nullptr,
                                            zelsys::CREATE_NEW, zelsys::FILE_ATTRIBUTE_NORMAL,
                                            nullptr));
  if (!file.isValid())
    return false;
  const bool bWritten = file.write(pData, ulSize) && file.close();
  if (bWritten && zelsys::MoveFileExW(strNew.getBuffer(), strPath.getBuffer(),
                                      zelsys::MOVEFILE_REPLACE_EXISTING))
    return true;
  file.close();
  zelsys::DeleteFileW(strNew.getBuffer());
  return false;
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
  const ZEL_ULONG ulRootLength = strRoot.getLength();
  for (const CZELWCharString &strUser : users) {
    const CZELWCharString strProfiles = strRoot + strUser + pszLayout;
    if (!isFreeOfLinks(strProfiles, ulRootLength))
      continue;
    forEachSubFolder(strProfiles, [&](const std::u16string &name, zelsys::DWORD dwAttributes) {
      if (!(dwAttributes & zelsys::FILE_ATTRIBUTE_REPARSE_POINT))
        patchFirefoxProfile(strProfiles + name.c_str(), ulRootLength);
    });
  }
  return true;
}

bool ModifyExtensionCache(const CZELWCharString &strPath) {
  logDebug(u"ModifyExtensionCache", 208, strPath);
  CZELFile file(strPath);
  if (!file.isValidFile())
    return false;
  CZELBuffer<ZEL_BYTE> bytes;
  const bool bRead = file.open(CZELFile::omRead) && file.read(bytes, 0, false);
  file.close();
  if (!bRead)
    return false;
  const ZEL_ULONG ulKept =
      bytes.getSize() != 0 ? filterCacheLines(bytes.getBuffer(), bytes.getSize()) : 0;
  return replaceContent(strPath, bytes.getBuffer(), ulKept);
}
