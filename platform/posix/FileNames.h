//===- FileNames.h - Win32 file name rules as pure functions ---------------===//
//
// What Windows does to a name before any file system sees it: trailing dots
// and spaces dropped, characters refused, device names recognised, and the
// DOS wildcard rules of a search. Nothing here touches a file system, so the
// rules are tested from tables. Only code that works on every Unix.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace zelsys::posix {

// "x. ." is "x": Windows drops the dots and spaces a name ends with. A name
// of nothing but dots and spaces becomes empty.
std::u16string_view trimName(std::u16string_view name);

// Control characters and <>:"|?* are refused in names; a search pattern's
// last component may hold the wildcards ? and *.
bool isValidName(std::u16string_view name, bool allowWildcards);

bool hasWildcards(std::u16string_view name);

// The Windows name of a host directory entry, or nullopt where no Windows
// name is that entry: its bytes are not UTF-8 (several would read as the
// same name), or it holds "\" or a character isValidName refuses. Joined
// into a path, such a name would stand for another file or climb out of
// its folder, so the substitute never lists nor matches these entries.
std::optional<std::u16string> windowsNameOf(std::string_view hostName);

// Whether a host name can spell name: false for unpaired surrogates, which
// UTF-8 cannot carry.
bool hostCanSpell(std::u16string_view name);

// CON, PRN, AUX, NUL, COM1-COM9 and LPT1-LPT9 in any case, alone or with an
// extension ("nul.txt", "con .log"), name devices in every folder.
enum class DosDevice { None, Null, Other };
DosDevice dosDeviceOf(std::u16string_view name);

// Whether name matches a FindFirstFileW pattern: case-insensitively, with
// the DOS rules the system applies to the pattern first:
// - "?" matches one character other than a dot, or nothing before a dot or
//   at the end ("a?.txt" matches "a.txt");
// - "*" directly before a dot matches up to the name's last dot only, and a
//   dot before "?", "*" or the end also matches the end of a name without
//   one ("*." matches names without an extension, "*.*" every name);
// - any other "*" matches any run of characters.
// Runs in time proportional to the product of the two lengths.
bool matchesPattern(std::u16string_view pattern, std::u16string_view name);

} // namespace zelsys::posix
