// zel_logging_output_text.h - CZELLoggingOutputText, the text log file.
//
// Appends one UTF-16LE line per entry to the file the record names or, when
// it names none, to the one "TextOutput" names; a new file starts with the
// byte-order mark. The file is opened and closed for every line, for
// appending only, and never through a link: a log or a folder on its path
// that is a symbolic link or junction, a log with a second name (a hard
// link) or one that is no plain file is not written to, and the line counts
// as not written. A detailed line that leaves the file past
// "MaxLogFileSize" kilobytes rotates it to numbered copies: ".1" the
// newest, every older copy moving up by one, at most "MaxLogFileNum" of
// them. Safe to use from several threads and processes at once: a writer
// keeps the others out of the file while it writes its line and rotates.
#pragma once

#include "zel_log_record.h"

#include <ctime>

class CZELLoggingOutputText {
public:
  // The line buffer: a line takes at most one character less (CR LF
  // included); a longer one is cut before its CR LF.
  static constexpr ZEL_ULONG MAX_LINE_CHARS = 1024;

  virtual ~CZELLoggingOutputText() = default;
  // Slot 0: a detailed line; false when nothing was written.
  virtual bool write(CZELDetailedLogRecord &rRecord) noexcept;
  // Slot 1: a simple line.
  virtual bool writeSimple(CZELLogRecord &rRecord) noexcept;

  // The lines' texts as written, without the file (CR LF included).
  static bool formatDetailed(const CZELDetailedLogRecord &rRecord, const std::tm &time,
                             ZEL_USHORT *pszLine, ZEL_ULONG ulChars) noexcept;
  static bool formatSimple(const CZELLogRecord &rRecord, const std::tm &time, ZEL_USHORT *pszLine,
                           ZEL_ULONG ulChars) noexcept;

  // Where the time stamps come from: the local time unless a clock is set
  // (null restores it). Lets tests write lines with a fixed time.
  typedef std::tm (*Clock)();
  static void setClock(Clock pfnClock) noexcept;
  // The process's counters: the bytes of detailed lines it has written
  // since it last rotated the file, and the rotations it has done.
  static ZEL_ULONG getBytesWritten() noexcept;
  static ZEL_ULONG getRotationCount() noexcept;
  // Sets both counters back to 0.
  static void resetCounters() noexcept;
};
