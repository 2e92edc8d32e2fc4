// zelreg_text.cpp - zelreg's data forms and type names.
//
// Stored text is UTF-16 little-endian whatever the host's byte order, so
// the data bytes are read as units explicitly.
#include "zelreg_text.h"

#include "zelreg_command.h"

#include "zelsys/winconst.h"

#include <algorithm>
#include <iterator>

namespace zelreg {

namespace {

struct TypeEntry {
  zelsys::DWORD type;
  const char16_t *name;
  bool settable; // what add takes after /t
};

const TypeEntry TYPES[] = {
    {zelsys::REG_NONE, u"REG_NONE", false},
    {zelsys::REG_SZ, u"REG_SZ", true},
    {zelsys::REG_EXPAND_SZ, u"REG_EXPAND_SZ", true},
    {zelsys::REG_BINARY, u"REG_BINARY", true},
    {zelsys::REG_DWORD, u"REG_DWORD", true},
    {zelsys::REG_DWORD_BIG_ENDIAN, u"REG_DWORD_BIG_ENDIAN", false},
    {zelsys::REG_LINK, u"REG_LINK", false},
    {zelsys::REG_MULTI_SZ, u"REG_MULTI_SZ", true},
    {8, u"REG_RESOURCE_LIST", false},
    {9, u"REG_FULL_RESOURCE_DESCRIPTOR", false},
    {10, u"REG_RESOURCE_REQUIREMENTS_LIST", false},
    {zelsys::REG_QWORD, u"REG_QWORD", false},
};

int hexDigit(char16_t unit) {
  if (unit >= u'0' && unit <= u'9')
    return unit - u'0';
  if (unit >= u'a' && unit <= u'f')
    return unit - u'a' + 10;
  if (unit >= u'A' && unit <= u'F')
    return unit - u'A' + 10;
  return -1;
}

std::u16string hex(unsigned long long value, bool upper, std::size_t width) {
  const char16_t *digits = upper ? u"0123456789ABCDEF" : u"0123456789abcdef";
  std::u16string text;
  do {
    text.insert(text.begin(), digits[value & 0xF]);
    value >>= 4;
  } while (value != 0 || text.size() < width);
  return text;
}

std::vector<char16_t> unitsOf(const Bytes &data) {
  std::vector<char16_t> units;
  for (std::size_t i = 0; i + 1 < data.size(); i += 2)
    units.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
  return units;
}

// The strings of s1 0 s2 0 ... 0 0; a last string without its zero is
// shown too, as it is part of the data.
std::u16string joinedStrings(const Bytes &data) {
  const std::vector<char16_t> units = unitsOf(data);
  std::u16string text, piece;
  bool first = true;
  for (std::size_t i = 0; i < units.size(); ++i) {
    if (units[i] != 0) {
      piece += units[i];
      continue;
    }
    if (piece.empty()) // the list's closing zero
      break;
    text += (first ? u"" : u"\\0") + piece;
    piece.clear();
    first = false;
  }
  return piece.empty() ? text : text + (first ? u"" : u"\\0") + piece;
}

} // namespace

bool typeFromName(const std::u16string &name, zelsys::DWORD &type) {
  const std::u16string lower = lowerAscii(name);
  for (const TypeEntry &entry : TYPES)
    if (entry.settable && lower == lowerAscii(entry.name)) {
      type = entry.type;
      return true;
    }
  return false;
}

std::u16string typeName(zelsys::DWORD type) {
  for (const TypeEntry &entry : TYPES)
    if (entry.type == type)
      return entry.name;
  return u"0x" + hex(type, true, 1);
}

bool parseDword(const std::u16string &text, zelsys::DWORD &value) {
  const bool hexadecimal =
      text.size() > 2 && text[0] == u'0' && (text[1] == u'x' || text[1] == u'X');
  const unsigned base = hexadecimal ? 16 : 10;
  const std::size_t from = hexadecimal ? 2 : 0;
  if (text.size() == from)
    return false;
  unsigned long long number = 0;
  for (std::size_t i = from; i < text.size(); ++i) {
    const int digit = hexDigit(text[i]);
    if (digit < 0 || static_cast<unsigned>(digit) >= base)
      return false;
    number = number * base + static_cast<unsigned>(digit);
    if (number > 0xFFFFFFFFull)
      return false;
  }
  value = static_cast<zelsys::DWORD>(number);
  return true;
}

bool parseBinary(const std::u16string &text, Bytes &bytes) {
  if (text.size() % 2 != 0)
    return false;
  Bytes parsed;
  for (std::size_t i = 0; i < text.size(); i += 2) {
    const int high = hexDigit(text[i]), low = hexDigit(text[i + 1]);
    if (high < 0 || low < 0)
      return false;
    parsed.push_back(static_cast<zelsys::BYTE>(high << 4 | low));
  }
  bytes = std::move(parsed);
  return true;
}

bool splitMultiString(const std::u16string &text, const std::u16string &separator,
                      std::vector<std::u16string> &pieces) {
  pieces.clear();
  if (text.empty())
    return true;
  std::size_t from = 0;
  for (;;) {
    const std::size_t at = text.find(separator, from);
    pieces.push_back(text.substr(from, at - from));
    if (pieces.back().empty())
      return false;
    if (at == std::u16string::npos)
      return true;
    from = at + separator.size();
  }
}

std::u16string displayData(zelsys::DWORD type, const Bytes &data) {
  switch (type) {
  case zelsys::REG_DWORD: {
    unsigned long long number = 0;
    for (std::size_t i = std::min<std::size_t>(data.size(), 4); i-- > 0;)
      number = number << 8 | data[i];
    return u"0x" + hex(number, false, 1);
  }
  case zelsys::REG_SZ:
  case zelsys::REG_EXPAND_SZ: {
    std::u16string text;
    for (char16_t unit : unitsOf(data)) {
      if (unit == 0)
        break;
      text += unit;
    }
    return text;
  }
  case zelsys::REG_MULTI_SZ:
    return joinedStrings(data);
  default: {
    std::u16string text;
    for (zelsys::BYTE byte : data)
      text += hex(byte, true, 2);
    return text;
  }
  }
}

std::string toUtf8(const std::u16string &text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t code = text[i];
    if (code >= 0xD800 && code <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF)
      code = 0x10000 + ((code - 0xD800) << 10) + (text[++i] - 0xDC00);
    else if (code >= 0xD800 && code <= 0xDFFF)
      code = 0xFFFD;
    if (code < 0x80) {
      out += static_cast<char>(code);
    } else if (code < 0x800) {
      out += static_cast<char>(0xC0 | code >> 6);
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
      out += static_cast<char>(0xE0 | code >> 12);
      out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | code >> 18);
      out += static_cast<char>(0x80 | (code >> 12 & 0x3F));
      out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    }
  }
  return out;
}

} // namespace zelreg
