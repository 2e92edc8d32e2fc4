// patch_app.cpp - CPatchApp: version check, paths, file replacement, message
// boxes, the patch log and the patch record.
#include "patch_app.h"

#include "patch_files.h"

#include "zel_catch.h"
#include "zel_product_vlm.h"
#include "zel_registry_key.h"
#include "zel_registry_string.h"

#include "zelsys/files.h"
#include "zelsys/kernel.h"
#include "zelsys/resources.h"
#include "zelsys/ui.h"
#include "zelsys/winconst.h"

#include <bit>
#include <string>

namespace {

const ZEL_USHORT SOURCE[] = u".\\Fixwell";
constexpr int TEXT_BUFFER = 300;
constexpr zelsys::DWORD PATH_BUFFER = 260;
const ZEL_USHORT ABSOLUTE_MARK[] = u":\\";

// The record answers a message box with its answer in decimal.
const ZEL_USHORT ANSWER_SEPARATOR[] = u" User select: ";
const ZEL_USHORT LINE_END[] = u"\r\n";

static_assert(std::endian::native == std::endian::little,
              "the patch log is written as the host's UTF-16 units");

// The decimal number at the start of a version field; 0 when there is none.
ZEL_LONG leadingNumber(const CZELWCharString &strField) {
  ZEL_LONG lValue = 0;
  const ZEL_USHORT *p = strField.getBuffer();
  for (; p != nullptr && *p >= u'0' && *p <= u'9' && lValue < 100000000; ++p)
    lValue = lValue * 10 + (*p - u'0');
  return lValue;
}

// The index-th "."-separated field of a version text; empty past the last.
CZELWCharString versionField(const CZELWCharString &strVersion, ZEL_ULONG ulIndex) {
  CZELWCharString strField;
  ZEL_ULONG ulField = 0;
  for (ZEL_ULONG i = 0; i < strVersion.getLength() && ulField <= ulIndex; ++i) {
    const ZEL_USHORT usChar = strVersion.getBuffer()[i];
    if (usChar == u'.')
      ++ulField;
    else if (ulField == ulIndex)
      strField += CZELWCharString(usChar);
  }
  return strField;
}

std::u16string textOf(const CZELWCharString &strText) {
  return strText.getBuffer() != nullptr ? std::u16string(strText.getBuffer()) : std::u16string();
}

} // namespace

CZELWCharString programFolder() {
  ZEL_USHORT szPath[PATH_BUFFER] = {};
  const zelsys::DWORD dwLength = zelsys::GetModuleFileNameW(nullptr, szPath, PATH_BUFFER);
  return dwLength == 0 || dwLength >= PATH_BUFFER ? CZELWCharString()
                                                  : folderOf(CZELWCharString(szPath));
}

CZELWCharString folderOf(const CZELWCharString &strPath) {
  const std::u16string path = textOf(strPath);
  const std::size_t cut = path.rfind(u'\\');
  return cut == std::u16string::npos ? CZELWCharString()
                                     : CZELWCharString(path.substr(0, cut + 1).c_str());
}

namespace {

// The path after its last "\"; the whole path when it has none.
CZELWCharString fileNameOf(const CZELWCharString &strPath) {
  const std::u16string path = textOf(strPath);
  const std::size_t cut = path.rfind(u'\\');
  return cut == std::u16string::npos ? strPath : CZELWCharString(path.substr(cut + 1).c_str());
}

// The text with its first "%s" replaced by strValue.
CZELWCharString formatText(const CZELWCharString &strFormat, const CZELWCharString &strValue) {
  std::u16string text = textOf(strFormat);
  const std::size_t at = text.find(u"%s");
  if (at != std::u16string::npos)
    text.replace(at, 2, textOf(strValue));
  return CZELWCharString(text.c_str());
}

} // namespace

CPatchApp theApp(8201);

CZELWCharString loadPatchText(ZEL_ULONG ulId) {
  ZEL_USHORT szText[TEXT_BUFFER] = {};
  if (zelsys::LoadStringW(nullptr, ulId, szText, TEXT_BUFFER) <= 0)
    return CZELWCharString();
  return CZELWCharString(szText);
}

CZELBuffer<ZEL_BYTE> toByteBuffer(const CZELWCharString &strText) {
  CZELBuffer<ZEL_BYTE> bytes(strText.getLength());
  for (ZEL_ULONG i = 0; i < strText.getLength(); ++i)
    bytes[i] = static_cast<ZEL_BYTE>(strText.getBuffer()[i] & 0xFF);
  return bytes;
}

CPatchApp::CPatchApp(ZEL_LONG lPatchNumber)
    : m_bSilent(0),
      m_strLogFileName(CZELWCharString(u"patchlog") + CZELWCharString(lPatchNumber) + u".txt") {}

bool CPatchApp::setSilent(bool bSilent) {
  m_bSilent = bSilent ? 1 : 0;
  return true;
}

bool CPatchApp::getInstalledVersion(InstalledVersion *pVersion) {
  if (pVersion == nullptr)
    return false;
  return zelAbsorb(SOURCE, __LINE__, CZELErrorSource::esNone, [&] {
    CZELWCharString strVersion;
    if (!CZELProduct_VLM().getProductVersion(strVersion))
      return false;
    pVersion->lMajorMinor =
        leadingNumber(versionField(strVersion, 0) + versionField(strVersion, 1));
    pVersion->lBuild = leadingNumber(versionField(strVersion, 2));
    pVersion->strVersion = strVersion;
    return true;
  });
}

bool CPatchApp::resolvePath(const CZELWCharString &strPath, CZELWCharString &strOut) {
  zelAbsorb(SOURCE, __LINE__, CZELErrorSource::esNone, [&] {
    if (strPath.hasSubString(ABSOLUTE_MARK)) {
      strOut = strPath;
      return;
    }
    CZELWCharString strDirectory;
    if (CZELProduct_VLM().getInstallDirectory(strDirectory))
      strOut = strDirectory;
    strOut += strPath;
  });
  return true;
}

bool CPatchApp::appendToPatchLog(const CZELWCharString &strRecord) {
  return zelAbsorb(SOURCE, __LINE__, CZELErrorSource::esNone, [&] {
    CZELWCharString strPath;
    resolvePath(m_strLogFileName, strPath);
    const CPatchFileHandle file(
        zelsys::CreateFileW(strPath.getBuffer(), zelsys::GENERIC_WRITE, zelsys::FILE_SHARE_READ,
                            nullptr, zelsys::OPEN_ALWAYS, zelsys::FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.isValid())
      return false;
    static const ZEL_BYTE BYTE_ORDER_MARK[] = {0xFF, 0xFE};
    const bool bPositioned = zelsys::GetLastError() == zelsys::ERROR_ALREADY_EXISTS
                                 ? file.moveToEnd()
                                 : file.write(BYTE_ORDER_MARK, sizeof BYTE_ORDER_MARK);
    // The record goes out with its terminating NUL, as the log has always held.
    const ZEL_USHORT *pText = strRecord.getBuffer() != nullptr ? strRecord.getBuffer() : u"";
    return bPositioned && file.write(pText, (strRecord.getLength() + 1) * sizeof(ZEL_USHORT));
  });
}

ZEL_LONG CPatchApp::showMessage(const CZELWCharString &strCaption, const CZELWCharString &strText,
                                ZEL_ULONG ulStyle, ZEL_LONG lSilentDefault) {
  const CZELWCharString strShownCaption =
      strCaption.getLength() == 0 ? loadPatchText(ptCaption) : strCaption;
  const ZEL_LONG lAnswer =
      isSilent() ? lSilentDefault
                 : zelsys::MessageBoxW(nullptr, strText.getBuffer() ? strText.getBuffer() : u"",
                                       strShownCaption.getBuffer(), ulStyle);
  appendToPatchLog(strText + ANSWER_SEPARATOR + CZELWCharString(lAnswer) + LINE_END);
  return lAnswer;
}

ZEL_LONG CPatchApp::showMessageById(ZEL_ULONG ulCaptionId, ZEL_ULONG ulTextId, ZEL_ULONG ulStyle,
                                    ZEL_LONG lSilentDefault) {
  return showMessage(loadPatchText(ulCaptionId != 0 ? ulCaptionId : ptCaption),
                     loadPatchText(ulTextId), ulStyle, lSilentDefault);
}

ZEL_LONG CPatchApp::showStatusMessage(ZEL_ULONG ulKind, ZEL_ULONG ulStyle,
                                      ZEL_LONG lSilentDefault) {
  static const ZEL_ULONG STATUS_TEXTS[] = {ptWrongSystem,  ptNotApplicable, ptAlreadyInstalled,
                                           ptNotInstalled, ptCompleted,     ptUnknownException};
  const ZEL_ULONG ulTextId =
      ulKind >= 1 && ulKind <= std::size(STATUS_TEXTS) ? STATUS_TEXTS[ulKind - 1] : 0;
  return showMessageById(ptCaption, ulTextId, ulStyle, lSilentDefault);
}

bool CPatchApp::replaceFile(const CZELWCharString &strSource, const CZELWCharString &strDestination,
                            bool bBackup) {
  return zelAbsorb(SOURCE, __LINE__, CZELErrorSource::esNone, [&] {
    const CZELWCharString strName =
        strDestination.getLength() != 0 ? strDestination : fileNameOf(strSource);
    const CZELWCharString strSourcePath =
        strSource.hasSubString(ABSOLUTE_MARK) ? strSource : programFolder() + strSource;
    // A relative name lies in the install directory. Without one it lies
    // nowhere: never in whatever folder the program happens to run in.
    CZELWCharString strDirectory;
    const bool bPlaced =
        strName.hasSubString(ABSOLUTE_MARK) ||
        (CZELProduct_VLM().getInstallDirectory(strDirectory) && strDirectory.getLength() != 0);
    const CZELWCharString strTarget = bPlaced ? strDirectory + strName : strName;
    const CHeldFolder folder(bPlaced ? folderOf(strTarget) : CZELWCharString());
    return replaceFileIn(strSourcePath, folder, fileNameOf(strTarget), bBackup);
  });
}

bool CPatchApp::replaceFileIn(const CZELWCharString &strSourcePath, const CHeldFolder &folder,
                              const CZELWCharString &strName, bool bBackup) {
  return zelAbsorb(SOURCE, __LINE__, CZELErrorSource::esNone, [&] {
    CPatchBytes source;
    CPatchBytes current;
    const CPatchFileHandle file(zelsys::CreateFileW(
        strSourcePath.getBuffer(), zelsys::GENERIC_READ, zelsys::FILE_SHARE_READ, nullptr,
        zelsys::OPEN_EXISTING, zelsys::FILE_ATTRIBUTE_NORMAL, nullptr));
    zelsys::DWORD dwError =
        file.isValid() ? readWholeFile(file.get(), source) : zelsys::GetLastError();
    // A file that already holds the patched bytes stays as it is, and so
    // does its backup of the original: a second run changes nothing.
    if (dwError == zelsys::ERROR_SUCCESS && folder.isValid() &&
        readFileBelow(folder, strName, current) == zelsys::ERROR_SUCCESS && current == source)
      return true;
    if (dwError == zelsys::ERROR_SUCCESS)
      dwError = placeFileBelow(folder, strName, source, bBackup);
    if (dwError == zelsys::ERROR_SUCCESS)
      return true;
    const CZELWCharString strRecord =
        formatText(loadPatchText(ptUpdateFailed), folder.getPath() + strName);
    showStatusMessage(6, STYLE_OK, ANSWER_OK);
    appendToPatchLog(strRecord + LINE_END);
    return false;
  });
}

bool CPatchApp::logFailure(const CZELWCharString &strPath, zelsys::DWORD dwError) {
  return appendToPatchLog(formatText(loadPatchText(ptUpdateFailed), strPath) + u" (system error " +
                          CZELWCharString(static_cast<ZEL_LONG>(dwError)) + u")" + LINE_END);
}

bool CPatchApp::recordPatch(ZEL_LONG lPatchNumber, const CZELWCharString &strDescription,
                            const CZELWCharString &strUpdated) {
  return zelAbsorb(SOURCE, __LINE__, CZELErrorSource::esNone, [&] {
    CZELWCharString strLocation;
    if (!CZELProduct_VLM().getRegistryLocation(strLocation))
      return false;
    const CZELWCharString strKey = strLocation + u"\\Patch\\" + CZELWCharString(lPatchNumber);
    CZELRegistryKey key(zelsys::HKEY_LOCAL_MACHINE, strKey, zelsys::KEY_READ);
    if (!key.create())
      return false;
    CZELRegistryString description(zelsys::HKEY_LOCAL_MACHINE, strKey, u"description",
                                   zelsys::KEY_WRITE);
    CZELRegistryString updated(zelsys::HKEY_LOCAL_MACHINE, strKey, u"updated", zelsys::KEY_WRITE);
    return description.setRegistryString(strDescription, false) &&
           updated.setRegistryString(strUpdated, false);
  });
}
