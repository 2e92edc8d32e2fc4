//===- Utf.cpp - UTF-8 and UTF-16 conversion -------------------------------===//
//
// Only code that works on every Unix.
//
//===----------------------------------------------------------------------===//
#include "Utf.h"

namespace zelsys::posix {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Decodes one code point at text[i], advancing i; malformed input gives
// U+FFFD and consumes one byte.
char32_t decodeUtf8(std::string_view text, std::size_t &i) {
  const auto lead = static_cast<unsigned char>(text[i++]);
  if (lead < 0x80)
    return lead;
  int extra;
  char32_t cp;
  if ((lead & 0xE0) == 0xC0) {
    extra = 1;
    cp = lead & 0x1F;
  } else if ((lead & 0xF0) == 0xE0) {
    extra = 2;
    cp = lead & 0x0F;
  } else if ((lead & 0xF8) == 0xF0) {
    extra = 3;
    cp = lead & 0x07;
  } else {
    return kReplacement;
  }
  if (i + static_cast<std::size_t>(extra) > text.size())
    return kReplacement;
  for (int k = 0; k < extra; ++k) {
    const auto next = static_cast<unsigned char>(text[i + static_cast<std::size_t>(k)]);
    if ((next & 0xC0) != 0x80)
      return kReplacement;
    cp = (cp << 6) | (next & 0x3F);
  }
  i += static_cast<std::size_t>(extra);
  static constexpr char32_t kMin[] = {0, 0x80, 0x800, 0x10000};
  if (cp < kMin[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
    return kReplacement;
  return cp;
}

void appendUtf8(std::string &out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

} // namespace

std::u16string utf8ToUtf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const char32_t cp = decodeUtf8(text, i);
    if (cp < 0x10000) {
      out += static_cast<char16_t>(cp);
    } else {
      out += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
    }
  }
  return out;
}

std::string utf16ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t cp = text[i];
    const bool high = cp >= 0xD800 && cp <= 0xDBFF;
    if (high && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (text[++i] - 0xDC00);
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = kReplacement; // a lone surrogate has no UTF-8 form
    }
    appendUtf8(out, cp);
  }
  return out;
}

char16_t upcaseUnit(char16_t unit) {
  if (unit < 0x80)
    return (unit >= u'a' && unit <= u'z') ? static_cast<char16_t>(unit - 0x20) : unit;
  if (unit >= 0xE0 && unit <= 0xFE && unit != 0xF7) // Latin-1 small letters
    return static_cast<char16_t>(unit - 0x20);
  if (unit == 0xFF)
    return 0x178;
  if (unit >= 0x100 && unit <= 0x17F && unit != 0x131 && unit != 0x138 && unit != 0x149 &&
      unit != 0x17F) {
    // Latin Extended-A pairs capital/small as even/odd, except a block in
    // the middle (0x139..0x148, 0x179..0x17E) that pairs odd/even.
    const bool oddPairs = (unit >= 0x139 && unit <= 0x148) || (unit >= 0x179 && unit <= 0x17E);
    const bool small = oddPairs ? (unit % 2 == 0) : (unit % 2 == 1);
    return small ? static_cast<char16_t>(unit - 1) : unit;
  }
  if (unit >= 0x3B1 && unit <= 0x3C9 && unit != 0x3C2) // Greek small letters
    return static_cast<char16_t>(unit - 0x20);
  if (unit >= 0x430 && unit <= 0x44F) // Cyrillic small letters
    return static_cast<char16_t>(unit - 0x20);
  if (unit >= 0x450 && unit <= 0x45F)
    return static_cast<char16_t>(unit - 0x50);
  return unit;
}

std::u16string upcase(std::u16string_view text) {
  std::u16string out(text);
  for (char16_t &unit : out)
    unit = upcaseUnit(unit);
  return out;
}

bool equalsIgnoreCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size())
    return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (upcaseUnit(a[i]) != upcaseUnit(b[i]))
      return false;
  return true;
}

} // namespace zelsys::posix
