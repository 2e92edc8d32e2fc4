//===- ProfileText.h - Profile (INI) file text as pure functions -----------===//
//
// The substitute's profile files: their bytes, their lines and every edit
// the profile calls make, without touching a file system, so the rules are
// tested from tables. ProfileFiles.cpp adds the file, its lookup and its
// locking. Only code that works on every Unix.
//
// The file layout and why:
// - Encoding: a file starting with the UTF-16LE mark (FF FE) is UTF-16 and
//   one starting with the UTF-8 mark (EF BB BF) is UTF-8; both are written
//   back with their mark. Any other file is code page 1252, which is what
//   Windows and Wine write for a new file on a western system, so a file
//   made on either platform reads the same on the other. A 1252 file (or a
//   new one) that is given a character 1252 cannot hold becomes UTF-16 with
//   its mark instead of losing the character; both platforms read that
//   form. A UTF-8 file given a surrogate without its partner (which UTF-8
//   cannot hold) becomes UTF-16 the same way. The five bytes 1252 leaves
//   undefined stand for U+0081, U+008D, U+008F, U+0090 and U+009D, so every
//   byte comes back.
// - Lines end in CR LF when written; CR LF, LF and CR alone end a line when
//   read. Every written line, the last included, has its line end.
// - A section header is "[" name "]"; the name is what lies between "[" and
//   the first "]" (or the line's end), trimmed. An entry is key "=" value,
//   both trimmed of spaces and tabs, the value split at the first "="; a
//   line without "=" is an entry whose key is the whole line and which has
//   no value. A value written inside double quotes reads without them.
// - Blank lines, lines starting with ";" and lines before the first section
//   are kept as they are and never read as entries. Lines the calls do not
//   change are written back as they were, with CR LF as their end.
// - Names compare case-insensitively (Windows' upper-casing) and keep the
//   case they were first written with; of two sections of one name, the
//   first is the one read and changed.
// - Edits: a new entry goes after the last entry of its section, a new
//   section at the end of the file. Removing a section removes its header
//   and every line up to the next header, comments included; so does a
//   section write without a list, as Wine's does. A section write with a
//   list replaces the entries and keeps the comments.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "zelsys/wintypes.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zelsys::posix {

enum class ProfileEncoding { Ansi, Utf16, Utf8 };

struct ProfileLine {
  enum class Kind { Section, Entry, Other };
  Kind kind = Kind::Other;
  std::u16string text;  // the whole line as read or written, without its end
  std::u16string name;  // the section name or the key
  std::u16string value; // the entry's value, trimmed
  bool hasValue = false;
};

struct ProfileDocument {
  ProfileEncoding encoding = ProfileEncoding::Ansi;
  std::vector<ProfileLine> lines;
};

// The bytes of a file as lines, and the lines as the bytes to write (the
// encoding may change from Ansi to Utf16, see above).
ProfileDocument parseProfile(std::string_view bytes);
std::string serialiseProfile(ProfileDocument &document);

// What the read calls list: the section names, once each, in file order;
// a section's key names; a section's lines as key "=" value (a line without
// a value as its key alone). An empty list for a missing section.
std::vector<std::u16string> profileSectionNames(const ProfileDocument &document);
std::vector<std::u16string> profileKeyNames(const ProfileDocument &document,
                                            std::u16string_view section);
std::vector<std::u16string> profileSectionLines(const ProfileDocument &document,
                                                std::u16string_view section);

// The value of an entry as read (quotes removed), none when the section or
// the entry is missing.
std::optional<std::u16string> profileValue(const ProfileDocument &document,
                                           std::u16string_view section, std::u16string_view key);

// The edits; each returns whether the document changed. A null key removes
// the section, a null value the entry. A section's new lines are given as
// the write call takes them (key "=" value); they replace its entries, its
// comments and blank lines stay.
bool setProfileValue(ProfileDocument &document, std::u16string_view section, const char16_t *key,
                     const char16_t *value);
bool setProfileSection(ProfileDocument &document, std::u16string_view section,
                       const std::vector<std::u16string> &lines);

// The units of a zero-separated list given to the write call, up to its
// double zero.
std::vector<std::u16string> splitProfileList(const char16_t *list);

// How the read calls fill the caller's buffer: text cut to fit returns
// size - 1; a list (each item closed by a zero, the whole by a second) cut
// to fit returns size - 2. Nothing is written to a buffer of size 0.
DWORD copyProfileText(std::u16string_view text, char16_t *buffer, DWORD size);
DWORD copyProfileList(const std::vector<std::u16string> &items, char16_t *buffer, DWORD size);

// GetPrivateProfileIntW's reading of a value: an optional sign and the
// leading decimal digits, modulo 2^32; 0 without digits.
UINT profileNumber(std::u16string_view value);

} // namespace zelsys::posix
