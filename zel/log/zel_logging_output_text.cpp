// zel_logging_output_text.cpp - the text log file: line formats, appending,
// rotation.
//
// A line is built in full, then written with one append-only write while no
// other writer may have the file open, so that it lands whole at the end
// whoever else logs to the file. A new file is
// made under a name of its own, given its byte-order mark and only then put
// in place, so that no process appends to a file that still lacks its mark.
// One lock per process covers the write, the byte counter and the rotation.
#include "zel_logging_output_text.h"

#include "zel_lock.h"
#include "zel_log_settings.h"

#include "zelsys/files.h"
#include "zelsys/kernel.h"
#include "zelsys/security.h"
#include "zelsys/winconst.h"

#include <algorithm>
#include <cstdio>
#include <initializer_list>
#include <mutex>
#include <random>
#include <string>
#include <string_view>

namespace {

constexpr std::size_t MAX_FOLDER_CHARS = 512;
constexpr ZEL_ULONG TEXT_OUTPUT_BYTES = 256;
const ZEL_BYTE BYTE_ORDER_MARK[] = {0xFF, 0xFE};
// How often a writer looks again at a file another one is writing to (a
// few seconds in all; a line takes microseconds) before the line is given up.
constexpr ZEL_ULONG BUSY_TRIES = 2000;

constinit CZELLock g_lock;
ZEL_ULONG g_ulBytesWritten = 0;
ZEL_ULONG g_ulRotations = 0;
CZELLoggingOutputText::Clock g_pfnClock = nullptr;

bool isEmpty(const ZEL_USHORT *pszText) { return pszText == nullptr || *pszText == 0; }

std::u16string textOf(const ZEL_USHORT *pszText) {
  return pszText != nullptr ? std::u16string(pszText) : std::u16string();
}

std::u16string ascii(const char *pszText) {
  return std::u16string(pszText, pszText + std::char_traits<char>::length(pszText));
}

std::u16string hex8(ZEL_LONG lValue) {
  char szText[16];
  std::snprintf(szText, sizeof szText, "0x%08x", static_cast<unsigned>(lValue));
  return ascii(szText);
}

// The ctime layout without its newline, the day in two digits as the
// Windows C library writes it: "Sat Jun 05 21:49:08 1993".
std::u16string timeStamp(const std::tm &time) {
  static const char *const DAYS[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char *const MONTHS[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  char szText[64];
  std::snprintf(szText, sizeof szText, "%.3s %.3s %.2d %.2d:%.2d:%.2d %d",
                DAYS[static_cast<unsigned>(time.tm_wday) % 7],
                MONTHS[static_cast<unsigned>(time.tm_mon) % 12], time.tm_mday, time.tm_hour,
                time.tm_min, time.tm_sec, time.tm_year + 1900);
  return ascii(szText);
}

std::tm now() {
  if (g_pfnClock != nullptr)
    return g_pfnClock();
  const std::time_t clock = std::time(nullptr);
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &clock);
#else
  localtime_r(&clock, &local);
#endif
  return local;
}

// Pieces joined in order (appending, rather than chains of operator+,
// which one cross compiler mistakes for overlapping copies).
std::u16string join(std::initializer_list<std::u16string_view> pieces) {
  std::u16string text;
  for (std::u16string_view piece : pieces)
    text.append(piece);
  return text;
}

// The first three pieces every line opens with.
std::u16string lineHead(const CZELLogRecord &rRecord, const std::tm &time) {
  return join({u"<", timeStamp(time), u">: <", CZELLogType::label(rRecord.m_ulType), u"> <",
               textOf(rRecord.m_pszLogName), u"> "});
}

std::u16string messagePiece(const CZELLogRecord &rRecord) {
  return isEmpty(rRecord.m_pszMessage) ? std::u16string()
                                       : join({u"\"", rRecord.m_pszMessage, u"\" "});
}

// The value piece; a simple line ends its results without a space, and
// names a failed comparison where a detailed line names a logical result.
std::u16string valuePiece(const CZELLogRecord &rRecord, bool bSimple) {
  const bool bExit = rRecord.m_ulType == CZELLogType::EXIT;
  const bool bPassed = (rRecord.m_lValue & 0xFF) != 0;
  const std::u16string_view end = bSimple ? u">" : u"> ";
  switch (rRecord.m_ulValueKind) {
  case CZELValueKind::ERROR_CODE:
    return rRecord.m_lValue == 0 || rRecord.m_lValue == -1
               ? std::u16string()
               : join({u"<Error: ", hex8(rRecord.m_lValue), u"> "});
  case CZELValueKind::BOOLEAN_RESULT:
    return !bExit ? std::u16string() : join({bPassed ? u"<Passed" : u"<Failed", end});
  case CZELValueKind::LOGICAL_RESULT:
    return !bExit    ? std::u16string()
           : bPassed ? join({u"<Passed", end})
                     : join({bSimple ? u"<Failed Comparison" : u"<Failed Logical Result", end});
  case CZELValueKind::RETURN_CODE:
    return join({u"<Return Code: ", hex8(rRecord.m_lValue), u"> "});
  default:
    return std::u16string();
  }
}

std::u16string locationPieces(const CZELDetailedLogRecord &rRecord) {
  const bool bModule = !isEmpty(rRecord.m_pszModule);
  const bool bFunction = !isEmpty(rRecord.m_pszFunction);
  std::u16string text;
  if (bModule)
    text = join({u"<", rRecord.m_pszModule, bFunction ? u"" : u"> "});
  if (bFunction)
    text.append(join({bModule ? u"" : u"<", u"::", rRecord.m_pszFunction, u"> "}));
  return text;
}

std::u16string sourcePieces(const CZELDetailedLogRecord &rRecord) {
  const bool bSource = !isEmpty(rRecord.m_pszSourceFile);
  std::u16string text;
  if (bSource) {
    const std::u16string_view source = rRecord.m_pszSourceFile;
    const std::size_t slash = source.rfind(u'\\');
    text = join({u"<", source.substr(slash == source.npos ? 0 : slash + 1),
                 rRecord.m_ulLine != 0 ? u", " : u">"});
  }
  if (rRecord.m_ulLine != 0)
    text.append(
        join({bSource ? u"" : u"<", ascii(std::to_string(rRecord.m_ulLine).c_str()), u"> "}));
  return text;
}

// Copies a line, cut before its CR LF to fit the longest line, into pszLine.
bool deliver(std::u16string line, ZEL_USHORT *pszLine, ZEL_ULONG ulChars) {
  if (pszLine == nullptr || ulChars < 3)
    return false;
  const std::size_t limit =
      std::min<std::size_t>(ulChars, CZELLoggingOutputText::MAX_LINE_CHARS) - 1;
  if (line.size() + 2 > limit)
    line.resize(limit - 2);
  line += u"\r\n";
  line.copy(pszLine, line.size());
  pszLine[line.size()] = 0;
  return true;
}

// The folder of a path that begins with a drive: up to and including its
// last backslash (the drive alone when there is none); empty without a drive.
std::u16string folderOf(const std::u16string &path) {
  const bool bDrive =
      path.size() >= 2 && path[1] == u':' &&
      ((path[0] >= u'A' && path[0] <= u'Z') || (path[0] >= u'a' && path[0] <= u'z'));
  if (!bDrive)
    return std::u16string();
  const std::size_t slash = path.rfind(u'\\');
  return path.substr(0, std::min(slash == std::u16string::npos ? 2 : slash + 1, MAX_FOLDER_CHARS));
}

// Opens the file to append one line. Other writers are kept out while the
// line is written, so that lines of several processes never overwrite or
// cut into one another: not every system makes appends through a shared
// handle atomic. A writer that finds the file busy waits its turn.
zelsys::HANDLE openForAppending(const std::u16string &path) {
  for (ZEL_ULONG ulTry = 0;; ++ulTry) {
    const zelsys::HANDLE hFile = zelsys::CreateFileW(
        path.c_str(), zelsys::FILE_APPEND_DATA | zelsys::SYNCHRONIZE, zelsys::FILE_SHARE_READ,
        nullptr, zelsys::OPEN_EXISTING, zelsys::FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hFile != zelsys::INVALID_HANDLE_VALUE ||
        zelsys::GetLastError() != zelsys::ERROR_SHARING_VIOLATION || ulTry == BUSY_TRIES)
      return hFile;
    zelsys::Sleep(ulTry < 10 ? 0 : 1);
  }
}

bool writeAll(zelsys::HANDLE hFile, const void *pData, zelsys::DWORD dwBytes) {
  zelsys::DWORD dwWritten = 0;
  return zelsys::WriteFile(hFile, pData, dwBytes, &dwWritten, nullptr) && dwWritten == dwBytes;
}

// Puts a new log file with its byte-order mark in place, unless another
// process was quicker; either way the file exists afterwards if it can.
void createWithMark(const std::u16string &path) {
  std::random_device random;
  const std::u16string fresh = path + u".new-" + hex8(static_cast<ZEL_LONG>(random())).substr(2);
  const zelsys::HANDLE hFile =
      zelsys::CreateFileW(fresh.c_str(), zelsys::GENERIC_WRITE, 0, nullptr, zelsys::CREATE_NEW,
                          zelsys::FILE_ATTRIBUTE_NORMAL, nullptr);
  if (hFile == zelsys::INVALID_HANDLE_VALUE)
    return;
  const bool bMarked = writeAll(hFile, BYTE_ORDER_MARK, sizeof BYTE_ORDER_MARK);
  zelsys::CloseHandle(hFile);
  if (!bMarked || !zelsys::MoveFileExW(fresh.c_str(), path.c_str(), 0))
    zelsys::DeleteFileW(fresh.c_str());
}

// Appends the line to the file, making the file when it is missing.
bool appendLine(const std::u16string &path, const std::u16string &line) {
  zelsys::HANDLE hFile = openForAppending(path);
  if (hFile == zelsys::INVALID_HANDLE_VALUE) {
    createWithMark(path);
    hFile = openForAppending(path);
  }
  if (hFile == zelsys::INVALID_HANDLE_VALUE)
    return false;
  const bool bWritten =
      writeAll(hFile, line.data(), static_cast<zelsys::DWORD>(line.size() * sizeof(char16_t)));
  zelsys::CloseHandle(hFile);
  return bWritten;
}

// The current file becomes ".1", older copies move up by one, and the copy
// numbered MaxLogFileNum is replaced by the one below it.
void rotateIfDue(const std::u16string &path) {
  const ZEL_ULONG ulMaxSize = CZELLogSettings::getMaxLogFileSize();
  const ZEL_ULONG ulMaxNum = CZELLogSettings::getMaxLogFileNum();
  if (ulMaxSize == 0 || ulMaxNum == 0 || g_ulBytesWritten / 1024 <= ulMaxSize)
    return;
  auto numbered = [&](ZEL_ULONG n) { return path + u"." + ascii(std::to_string(n).c_str()); };
  for (ZEL_ULONG n = g_ulRotations; n >= 1; --n)
    if (n != ulMaxNum)
      zelsys::MoveFileExW(numbered(n).c_str(), numbered(n + 1).c_str(),
                          zelsys::MOVEFILE_REPLACE_EXISTING);
  zelsys::MoveFileExW(path.c_str(), numbered(1).c_str(), zelsys::MOVEFILE_REPLACE_EXISTING);
  ++g_ulRotations;
  g_ulBytesWritten = 0;
}

// The record's own file, else the configured one, stored in the record.
bool outputPath(CZELLogRecord &rRecord, std::u16string &path) {
  if (rRecord.m_pszOutputPath == nullptr) {
    ZEL_USHORT szPath[TEXT_OUTPUT_BYTES / 2] = {};
    if (!CZELLogSettings().getOutputPath(0x01, szPath, TEXT_OUTPUT_BYTES))
      return false;
    rRecord.setOutputPath(szPath);
  }
  path = textOf(rRecord.m_pszOutputPath);
  return !path.empty();
}

// Both slots: find the file, make its folder, append the line; the detailed
// slot counts the bytes and rotates.
template <class Record, class Format>
bool writeLine(Record &rRecord, bool bDetailed, Format format) noexcept {
  try {
    std::u16string path;
    if (!outputPath(rRecord, path))
      return false;
    const std::u16string folder = folderOf(path);
    if (bDetailed && folder.empty())
      return false;
    zelsys::CreateDirectoryW(folder.c_str(), nullptr);
    const std::lock_guard<CZELLock> lock(g_lock);
    std::u16string line(CZELLoggingOutputText::MAX_LINE_CHARS + 1, u'\0');
    if (!format(rRecord, now(), line.data(), static_cast<ZEL_ULONG>(line.size())))
      return false;
    line.resize(line.find(u'\0'));
    if (!appendLine(path, line))
      return false;
    if (bDetailed) {
      g_ulBytesWritten += static_cast<ZEL_ULONG>(line.size() * sizeof(char16_t));
      rotateIfDue(path);
    }
    return true;
  } catch (...) {
    return false;
  }
}

} // namespace

bool CZELLoggingOutputText::formatDetailed(const CZELDetailedLogRecord &rRecord,
                                           const std::tm &time, ZEL_USHORT *pszLine,
                                           ZEL_ULONG ulChars) noexcept {
  try {
    return deliver(join({lineHead(rRecord, time), locationPieces(rRecord), messagePiece(rRecord),
                         valuePiece(rRecord, false), sourcePieces(rRecord)}),
                   pszLine, ulChars);
  } catch (...) {
    return false;
  }
}

bool CZELLoggingOutputText::formatSimple(const CZELLogRecord &rRecord, const std::tm &time,
                                         ZEL_USHORT *pszLine, ZEL_ULONG ulChars) noexcept {
  try {
    return deliver(
        join({lineHead(rRecord, time), messagePiece(rRecord), valuePiece(rRecord, true)}), pszLine,
        ulChars);
  } catch (...) {
    return false;
  }
}

bool CZELLoggingOutputText::write(CZELDetailedLogRecord &rRecord) noexcept {
  return writeLine(rRecord, true, formatDetailed);
}

bool CZELLoggingOutputText::writeSimple(CZELLogRecord &rRecord) noexcept {
  return writeLine(rRecord, false, formatSimple);
}

void CZELLoggingOutputText::setClock(Clock pfnClock) noexcept {
  const std::lock_guard<CZELLock> lock(g_lock);
  g_pfnClock = pfnClock;
}

ZEL_ULONG CZELLoggingOutputText::getBytesWritten() noexcept {
  const std::lock_guard<CZELLock> lock(g_lock);
  return g_ulBytesWritten;
}

ZEL_ULONG CZELLoggingOutputText::getRotationCount() noexcept {
  const std::lock_guard<CZELLock> lock(g_lock);
  return g_ulRotations;
}

void CZELLoggingOutputText::resetCounters() noexcept {
  const std::lock_guard<CZELLock> lock(g_lock);
  g_ulBytesWritten = 0;
  g_ulRotations = 0;
}
