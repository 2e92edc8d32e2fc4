// zel_log_file.h - the text log's file on disk: reached without links,
// appended to and rotated under one lock that every process takes.
//
// A log may lie in a folder that users control (anyone may make a folder at
// the root of a drive, and then owns it) while the program writing it runs
// as an administrator. So the file is never reached through a name that a
// user could have made a link: its path is walked from its root, each folder
// opened inside the one before without following a link, and the file is
// opened inside the last one the same way (zelsys/filesbelow.h). A link, a
// file with a second name (a hard link, which may be another's file) and
// anything but a plain file are refused: the line is not written.
#pragma once

#include "zel_types.h"

#include <string>

// When a log moves on to numbered copies: once a line leaves it past
// ulMaxKilobytes whole kilobytes; at most ulMaxCopies copies are kept. 0 in
// either: never.
struct CZELLogRotation {
  ZEL_ULONG ulMaxKilobytes = 0;
  ZEL_ULONG ulMaxCopies = 0;
};

// Whether a path begins with a drive letter and a colon ("C:").
bool zelHasDriveLetter(const std::u16string &path) noexcept;

// Appends line (UTF-16LE units, written as they are) to the log at path,
// making the file, with its byte-order mark, and its folder when missing,
// then rotates the log when due: ".1" becomes ".2" and so on, every copy on
// disk moving up by one (the one numbered ulMaxCopies is replaced), and the
// log becomes ".1". Other writers of the file, in this process or any
// other, wait meanwhile. False when the line was not written; bRotated
// tells whether this call rotated the log.
bool zelAppendLogLine(const std::u16string &path, const std::u16string &line,
                      const CZELLogRotation &rotation, bool &bRotated) noexcept;
