// zelreg_text.h - zelreg's texts: value data as the command line gives it
// and as the output shows it, type names, and UTF-8 for the output. Pure
// functions, no registry.
#pragma once

#include "zelsys/wintypes.h"

#include <string>
#include <vector>

namespace zelreg {

using Bytes = std::vector<zelsys::BYTE>;

// The type a /t argument names (any case): REG_SZ, REG_EXPAND_SZ,
// REG_MULTI_SZ, REG_DWORD or REG_BINARY; false for any other.
bool typeFromName(const std::u16string &name, zelsys::DWORD &type);
// A registry type's name; a type without one as its number in hex.
std::u16string typeName(zelsys::DWORD type);

// Decimal, or hexadecimal after "0x", up to 0xFFFFFFFF; nothing else.
bool parseDword(const std::u16string &text, zelsys::DWORD &value);
// Pairs of hexadecimal digits; an odd count or any other unit fails.
bool parseBinary(const std::u16string &text, Bytes &bytes);
// The pieces of text between separators (empty text: no piece); false when
// a piece is empty, since the stored form cannot hold an empty string.
bool splitMultiString(const std::u16string &text, const std::u16string &separator,
                      std::vector<std::u16string> &pieces);

// Data as the query shows it: a DWORD as 0x and lower-case hex, texts as
// they are (up to the first zero unit), a multi-string's strings joined by
// "\0", everything else as upper-case hex digits.
std::u16string displayData(zelsys::DWORD type, const Bytes &data);

// Invalid UTF-16 (a lone surrogate) becomes U+FFFD.
std::string toUtf8(const std::u16string &text);

} // namespace zelreg
