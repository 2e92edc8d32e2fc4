// zel_file.cpp - CZELFile, one file by name.
//
// Every operation opens a function trace and runs its body under the
// framework's two handlers (absorb): a failing call raises its own entry,
// written at once, and the operation answers false. A foreign exception is
// recorded with -1, except by the existence tests, which record the last
// system error.
#include "zel_file.h"

#include "zel_catch.h"
#include "zel_fs_support.h"
#include "zel_function_trace.h"

#include "zelsys/format.h"
#include "zelsys/kernel.h"
#include "zelsys/security.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <iterator>

static const ZEL_USHORT ZEL_SOURCE[] = u".\\zel_file";
static const ZEL_USHORT ZEL_CLASS[] = u"CZELFile";

namespace {

// The most a whole-file read takes into one buffer.
constexpr std::uint64_t MAX_WHOLE_READ = 0x7FFFFFFF;

template <class Body>
bool runOperation(const ZEL_USHORT *pszMethod, ZEL_ULONG ulLine, Body &&body) {
  return zelTracedAbsorb(ZEL_CLASS, pszMethod, ZEL_SOURCE, ulLine, CZELErrorSource::esNone, body);
}

// The existence tests record a logical result and the last system error.
template <class Body> bool runTest(const ZEL_USHORT *pszMethod, ZEL_ULONG ulLine, Body &&body) {
  return zelTracedAbsorb<CZELLogicalTrace>(ZEL_CLASS, pszMethod, ZEL_SOURCE, ulLine,
                                           CZELErrorSource::esLastError, body);
}

ZEL_LONG lastError() { return static_cast<ZEL_LONG>(zelsys::GetLastError()); }

// How each open mode calls CreateFileW.
struct ModeCall {
  zelsys::DWORD dwAccess;
  zelsys::DWORD dwShare;
  zelsys::DWORD dwDisposition;
};
const ModeCall MODE_CALLS[] = {
    {zelsys::GENERIC_READ, zelsys::FILE_SHARE_READ, zelsys::OPEN_EXISTING},
    {zelsys::GENERIC_READ | zelsys::GENERIC_WRITE, 0, zelsys::CREATE_ALWAYS},
    {zelsys::GENERIC_READ | zelsys::GENERIC_WRITE, 0, zelsys::OPEN_ALWAYS},
};

// The data being written, as text for the failure line: one unit a byte, up
// to the first zero byte.
CZELWCharString dataText(const CZELBuffer<ZEL_BYTE> &buffer) {
  return CZELWCharString(
      CZELBuffer<ZEL_CHAR>(reinterpret_cast<const ZEL_CHAR *>(buffer.getBuffer()),
                           buffer.getBuffer() != nullptr ? buffer.getSize() : 0));
}

// A version-block sub-block, or a thrown CZELVerQueryValueException.
const void *queryValue(const CZELBuffer<ZEL_BYTE> &block, const ZEL_USHORT *pszSubBlock,
                       zelsys::UINT &uLength, ZEL_ULONG ulLine) {
  zelsys::LPVOID pValue = nullptr;
  uLength = 0;
  if (!zelsys::VerQueryValueW(block.getBuffer(), pszSubBlock, &pValue, &uLength) ||
      pValue == nullptr)
    throw CZELVerQueryValueException(lastError(), ZEL_SOURCE, ulLine, 1, true, false);
  return pValue;
}

} // namespace

// ---- Construction and copy -------------------------------------------------------

CZELFile::CZELFile() : m_hFile(zelsys::INVALID_HANDLE_VALUE) {
  CZELFunctionTrace trace(ZEL_CLASS, u"Default Constructor", ZEL_SOURCE, __LINE__);
  trace.setResult(true);
}

CZELFile::CZELFile(const CZELWCharString &strFilename) : m_hFile(zelsys::INVALID_HANDLE_VALUE) {
  runOperation(u"Constructor", __LINE__, [&] {
    if (!setFilename(strFilename))
      throw CZELFileInitException(ZEL_SOURCE, __LINE__, 1, true, false);
  });
}

CZELFile::CZELFile(const CZELFile &other) : m_hFile(zelsys::INVALID_HANDLE_VALUE) {
  runOperation(u"Copy constructor", __LINE__, [&] {
    m_strFilename = other.m_strFilename;
    m_bufVersionInfo = other.m_bufVersionInfo;
    return m_strFilename == other.m_strFilename;
  });
}

CZELFile &CZELFile::operator=(const CZELFile &other) {
  runOperation(u"operator=", __LINE__, [&] {
    if (this == &other)
      return true;
    // The copy holds no handle: the file this object had open is closed.
    close();
    m_strFilename = other.m_strFilename;
    m_bufVersionInfo = other.m_bufVersionInfo;
    return m_strFilename == other.m_strFilename;
  });
  return *this;
}

CZELFile::~CZELFile() {
  CZELFunctionTrace trace(ZEL_CLASS, u"Destructor", ZEL_SOURCE, __LINE__);
  close();
  trace.setResult(true);
}

bool CZELFile::setFilename(const CZELWCharString &strFilename) {
  return runOperation(u"setFilename", __LINE__, [&] {
    m_strFilename = strFilename;
    // A new file's version information is read afresh.
    return m_bufVersionInfo.flush() && m_strFilename == strFilename;
  });
}

bool CZELFile::isOpen() const { return m_hFile != zelsys::INVALID_HANDLE_VALUE; }

// ---- Existence -----------------------------------------------------------------------

bool CZELFile::isValidFile() {
  return runTest(u"isValidFile", __LINE__, [&] { return isValidWindowsFile(m_strFilename); });
}

bool CZELFile::isValidWindowsFile(const CZELWCharString &strPath) {
  return runTest(u"isValidWindowsFile", __LINE__, [&] {
    zelsys::WIN32_FIND_DATAW data{};
    return CZELFindHandle(strPath, data).found();
  });
}

bool CZELFile::isValidWindowsDirectory(const CZELWCharString &strPath) {
  return runTest(u"isValidWindowsDirectory", __LINE__,
                 [&] { return zelIsWindowsDirectory(strPath); });
}

// ---- Opening and closing ------------------------------------------------------------

bool CZELFile::openWindows(const CZELWCharString &strPath, ZEL_ULONG ulMode) {
  return runOperation(u"openWindows", __LINE__, [&] {
    if (ulMode >= std::size(MODE_CALLS))
      return true; // an unknown mode opens nothing, and says so by succeeding
    // A handle still held would be lost (and would hold the file against
    // the new one): it is closed first.
    close();
    const ModeCall &call = MODE_CALLS[ulMode];
    const zelsys::HANDLE hFile =
        zelsys::CreateFileW(zelPathText(strPath), call.dwAccess, call.dwShare, nullptr,
                            call.dwDisposition, zelsys::FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hFile == zelsys::INVALID_HANDLE_VALUE)
      throw CZELFileOpenException(zelPathText(strPath), ZEL_SOURCE, __LINE__, 1, true, false);
    m_hFile = hFile;
    // With the high part, so that a file past 4 GiB is appended to at its
    // end rather than not moved at all.
    zelsys::LONG lHigh = 0;
    if (ulMode == omAppend)
      zelsys::SetFilePointer(m_hFile, 0, &lHigh, zelsys::FILE_END);
    return true;
  });
}

bool CZELFile::open(const CZELWCharString &strPath, ZEL_ULONG ulMode) {
  return runOperation(u"open", __LINE__, [&] {
    // The path may be this object's own name, which setFilename replaces.
    const CZELWCharString path(strPath);
    if (!openWindows(path, ulMode))
      throw CZELInvalidFileException(zelPathText(path), ZEL_SOURCE, __LINE__, 1, true, false);
    return setFilename(path);
  });
}

bool CZELFile::open(ZEL_ULONG ulMode) { return open(m_strFilename, ulMode); }

bool CZELFile::close() {
  return runOperation(u"close", __LINE__, [&] {
    if (!isOpen())
      return true;
    const zelsys::HANDLE hFile = m_hFile;
    m_hFile = zelsys::INVALID_HANDLE_VALUE;
    return zelsys::CloseHandle(hFile) == zelsys::TRUE;
  });
}

// ---- Reading and writing --------------------------------------------------------------

bool CZELFile::write(const CZELBuffer<ZEL_BYTE> &buffer) {
  return runOperation(u"write", __LINE__, [&] {
    static const ZEL_BYTE EMPTY = 0;
    const ZEL_BYTE *pData = buffer.getBuffer() != nullptr ? buffer.getBuffer() : &EMPTY;
    zelsys::DWORD dwWritten = 0;
    if (!zelsys::WriteFile(m_hFile, pData, buffer.getBuffer() != nullptr ? buffer.getSize() : 0,
                           &dwWritten, nullptr))
      throw CZELFileWriteException(zelPathText(dataText(buffer)), ZEL_SOURCE, __LINE__, 1, true,
                                   false);
    return true;
  });
}

// Reads ulCount bytes at the file position to pData; a short read leaves
// what was there (zeros, in a fresh buffer).
void CZELFile::readInto(ZEL_BYTE *pData, ZEL_ULONG ulCount) {
  zelsys::DWORD dwRead = 0;
  if (ulCount != 0 && !zelsys::ReadFile(m_hFile, pData, ulCount, &dwRead, nullptr))
    throw CZELFileReadException(-1, ZEL_SOURCE, __LINE__, 1, true, false);
}

bool CZELFile::read(CZELBuffer<ZEL_BYTE> &out, ZEL_ULONG ulCount, bool bKeepMark) {
  return runOperation(u"read", __LINE__, [&] {
    zelsys::DWORD dwHigh = 0;
    const zelsys::DWORD dwLow = zelsys::GetFileSize(m_hFile, &dwHigh);
    const bool bWholeFile = ulCount == 0;
    if (dwLow == zelsys::INVALID_FILE_SIZE && zelsys::GetLastError() != zelsys::ERROR_SUCCESS)
      throw CZELFileReadException(-1, ZEL_SOURCE, __LINE__, 1, true, false);
    const std::uint64_t ullSize = static_cast<std::uint64_t>(dwHigh) << 32 | dwLow;
    // A whole file must fit one buffer of a 32-bit program: a larger one
    // fails, it is never cut to what its low 32 bits say.
    if (bWholeFile && ullSize > MAX_WHOLE_READ)
      throw CZELFileReadException(static_cast<ZEL_LONG>(zelsys::ERROR_FILE_TOO_LARGE), ZEL_SOURCE,
                                  __LINE__, 1, true, false);
    if (ullSize == 0)
      return true;
    ulCount = bWholeFile ? static_cast<ZEL_ULONG>(ullSize)
                         : static_cast<ZEL_ULONG>(std::min<std::uint64_t>(ulCount, ullSize));
    // The head is two bytes, or fewer when less is asked for or there. A
    // UTF-16LE byte-order mark in it is left out, and a part read then takes
    // ulCount bytes after it. One allocation holds the result, which is
    // handed over without a copy: a whole file may be large.
    ZEL_BYTE head[2] = {};
    const ZEL_ULONG ulHead = std::min<ZEL_ULONG>(ulCount, 2);
    readInto(head, ulHead);
    const bool bDropMark = head[0] == 0xFF && !bKeepMark;
    const ZEL_ULONG ulKept = bDropMark ? 0 : ulHead;
    const ZEL_ULONG ulRest = bDropMark && !bWholeFile ? ulCount : ulCount - ulHead;
    CZELBuffer<ZEL_BYTE> result;
    if (ulKept + ulRest != 0 && !result.allocBuffer(ulKept + ulRest))
      return false;
    std::copy(head, head + ulKept, result.getBuffer());
    readInto(result.getBuffer() + ulKept, ulRest);
    return out.swapBuffer(result) || (out = result).getSize() == result.getSize();
  });
}

// ---- Version resource ---------------------------------------------------------------

bool CZELFile::getVersionInfoBuffer() {
  return runOperation(u"getVersionInfoBuffer", __LINE__, [&] {
    zelsys::DWORD dwHandle = 0;
    const zelsys::DWORD dwSize =
        zelsys::GetFileVersionInfoSizeW(zelPathText(m_strFilename), &dwHandle);
    if (dwSize == 0)
      throw CZELGetFileVersionInfoSizeException(lastError(), ZEL_SOURCE, __LINE__, 1, true, false);
    CZELBuffer<ZEL_BYTE> block(dwSize);
    if (!zelsys::GetFileVersionInfoW(zelPathText(m_strFilename), dwHandle, dwSize,
                                     block.getBuffer()))
      throw CZELGetFileVersionInfoException(lastError(), ZEL_SOURCE, __LINE__, 1, true, false);
    m_bufVersionInfo = block;
    return m_bufVersionInfo.getSize() == dwSize;
  });
}

bool CZELFile::getFileInfoItem(const CZELWCharString &strItem, CZELWCharString &strOut) {
  return runOperation(u"getFileInfoItem", __LINE__, [&] {
    if (!m_bufVersionInfo.isValid() && !getVersionInfoBuffer())
      return false;
    zelsys::UINT uLength = 0;
    const void *pTranslation =
        queryValue(m_bufVersionInfo, u"\\VarFileInfo\\Translation", uLength, __LINE__);
    if (uLength < 2 * sizeof(zelsys::WORD))
      throw CZELVerQueryValueException(lastError(), ZEL_SOURCE, __LINE__, 1, true, false);
    zelsys::WORD language[2];
    std::memcpy(language, pTranslation, sizeof language);
    // wsprintfW writes 1024 units at most, whatever the item's length.
    ZEL_USHORT szSubBlock[1024];
    zelsys::wsprintfW(szSubBlock, u"\\StringFileInfo\\%04x%04x\\%s", language[0], language[1],
                      zelPathText(strItem));
    const auto *pText = static_cast<const ZEL_USHORT *>(
        queryValue(m_bufVersionInfo, szSubBlock, uLength, __LINE__));
    // At most uLength units, whether or not the block terminates them.
    strOut = CZELWCharString(CZELBuffer<ZEL_USHORT>(pText, uLength));
    return true;
  });
}

void CZELFile::requireValidFile(ZEL_ULONG ulLine) {
  if (!isValidFile())
    throw CZELInvalidFileException(zelPathText(m_strFilename), ZEL_SOURCE, ulLine, 1, true, false);
}

bool CZELFile::getItemOfValidFile(const ZEL_USHORT *pszMethod, ZEL_ULONG ulLine,
                                  const ZEL_USHORT *pszItem, CZELWCharString &strOut) {
  return runOperation(pszMethod, ulLine, [&] {
    requireValidFile(ulLine);
    return getFileInfoItem(pszItem, strOut);
  });
}

bool CZELFile::getCompanyName(CZELWCharString &strOut) {
  return getItemOfValidFile(u"getCompanyName", __LINE__, u"CompanyName", strOut);
}
bool CZELFile::getFileVersion(CZELWCharString &strOut) {
  return getItemOfValidFile(u"getFileVersion", __LINE__, u"FileVersion", strOut);
}
bool CZELFile::getComments(CZELWCharString &strOut) {
  return getItemOfValidFile(u"getComments", __LINE__, u"Comments", strOut);
}
bool CZELFile::getInternalName(CZELWCharString &strOut) {
  return getItemOfValidFile(u"getInternalName", __LINE__, u"InternalName", strOut);
}
bool CZELFile::getLegalTrademarks(CZELWCharString &strOut) {
  return getItemOfValidFile(u"getLegalTrademarks", __LINE__, u"LegalTrademarks", strOut);
}
bool CZELFile::getOriginalFilename(CZELWCharString &strOut) {
  return getItemOfValidFile(u"getOriginalFilename", __LINE__, u"OriginalFilename", strOut);
}
bool CZELFile::getPrivateBuildDescription(CZELWCharString &strOut) {
  return getItemOfValidFile(u"getPrivateBuildDescription", __LINE__, u"PrivateBuild", strOut);
}
bool CZELFile::getProductName(CZELWCharString &strOut) {
  return getItemOfValidFile(u"getProductName", __LINE__, u"ProductName", strOut);
}
bool CZELFile::getProductVersion(CZELWCharString &strOut) {
  return getItemOfValidFile(u"getProductVersion", __LINE__, u"ProductVersion", strOut);
}
bool CZELFile::getSpecialBuildDescription(CZELWCharString &strOut) {
  return getItemOfValidFile(u"getSpecialBuildDescription", __LINE__, u"SpecialBuild", strOut);
}
bool CZELFile::getLegalCopyright(CZELWCharString &strOut) {
  return getItemOfValidFile(u"getLegalCopyright", __LINE__, u"LegalCopyright", strOut);
}
bool CZELFile::getFileDescription(CZELWCharString &strOut) {
  return getItemOfValidFile(u"getFileDescription", __LINE__, u"FileDescription", strOut);
}
bool CZELFile::getVersion(CZELWCharString &strOut) {
  return getItemOfValidFile(u"getVersion", __LINE__, u"FileVersion", strOut);
}

bool CZELFile::getLanguage() {
  return runOperation(u"getLanguage", __LINE__, [&] {
    requireValidFile(__LINE__);
    return true;
  });
}
