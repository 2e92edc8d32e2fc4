//===- Utf.h - UTF-8 and UTF-16 at the edge of the substitute --------------===//
//
// The host speaks UTF-8 (paths, arguments, environment); the interface speaks
// UTF-16. Conversion happens only here. Only code that works on every Unix.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <string>
#include <string_view>

namespace zelsys::posix {

// Invalid input becomes U+FFFD, so no host byte sequence is lost silently
// into a shorter string.
std::u16string utf8ToUtf16(std::string_view text);
std::string utf16ToUtf8(std::u16string_view text);

// Windows compares names (paths, registry keys and values, environment
// variables) by upper-casing both sides unit by unit. This does the same for
// ASCII, Latin-1, Latin Extended-A, Greek and Cyrillic; other units are kept.
char16_t upcaseUnit(char16_t unit);
std::u16string upcase(std::u16string_view text);
bool equalsIgnoreCase(std::u16string_view a, std::u16string_view b);

} // namespace zelsys::posix
