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

} // namespace zelsys::posix
