// zel_logging_output_text.cpp - the text log file: line formats, and the
// process's side of appending (zel_log_file.h does the file's).
//
// A line is built in full and handed over whole, to be written with one
// append while no other writer has the file. One lock per process covers
// the write and the counters, so the threads of a process take turns
// before they meet the other processes at the file.
#include "zel_logging_output_text.h"

#include "zel_lock.h"
#include "zel_log_file.h"
#include "zel_log_settings.h"

#include <algorithm>
#include <cstdio>
#include <initializer_list>
#include <mutex>
#include <string>
#include <string_view>

namespace {

constexpr ZEL_ULONG TEXT_OUTPUT_BYTES = 256;

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

// Both slots: find the file and append the line; only a detailed line
// rotates the file, and is counted.
template <class Record, class Format>
bool writeLine(Record &rRecord, bool bDetailed, Format format) noexcept {
  try {
    std::u16string path;
    if (!outputPath(rRecord, path) || (bDetailed && !zelHasDriveLetter(path)))
      return false;
    const std::lock_guard<CZELLock> lock(g_lock);
    std::u16string line(CZELLoggingOutputText::MAX_LINE_CHARS + 1, u'\0');
    if (!format(rRecord, now(), line.data(), static_cast<ZEL_ULONG>(line.size())))
      return false;
    line.resize(line.find(u'\0'));
    CZELLogRotation rotation;
    if (bDetailed)
      rotation = {CZELLogSettings::getMaxLogFileSize(), CZELLogSettings::getMaxLogFileNum()};
    bool bRotated = false;
    if (!zelAppendLogLine(path, line, rotation, bRotated))
      return false;
    if (bDetailed) {
      g_ulBytesWritten =
          bRotated ? 0 : g_ulBytesWritten + static_cast<ZEL_ULONG>(line.size() * sizeof(char16_t));
      g_ulRotations += bRotated ? 1 : 0;
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
