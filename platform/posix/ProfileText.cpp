//===- ProfileText.cpp - Profile (INI) file text as pure functions ---------===//
//
// The layout rules of ProfileText.h. Only code that works on every Unix.
//
//===----------------------------------------------------------------------===//
#include "ProfileText.h"
#include "Utf.h"

#include <algorithm>
#include <array>
#include <iterator>

namespace zelsys::posix {

namespace {

// Code page 1252's bytes 0x80 to 0x9F; the rest of the page is Latin-1.
constexpr std::array<char16_t, 32> kAnsiHigh = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

constexpr std::string_view kUtf16Mark = "\xFF\xFE";
constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";

char16_t fromAnsi(unsigned char byte) {
  return byte >= 0x80 && byte < 0xA0 ? kAnsiHigh[byte - 0x80] : static_cast<char16_t>(byte);
}

std::optional<char> toAnsi(char16_t unit) {
  if (unit < 0x80 || (unit >= 0xA0 && unit <= 0xFF))
    return static_cast<char>(unit);
  const auto *found = std::find(kAnsiHigh.begin(), kAnsiHigh.end(), unit);
  if (found == kAnsiHigh.end())
    return std::nullopt;
  return static_cast<char>(0x80 + (found - kAnsiHigh.begin()));
}

std::u16string decode(std::string_view bytes, ProfileEncoding &encoding) {
  if (bytes.starts_with(kUtf16Mark)) {
    encoding = ProfileEncoding::Utf16;
    std::u16string text;
    // An odd last byte is no unit; it is dropped.
    for (std::size_t at = kUtf16Mark.size(); at + 1 < bytes.size(); at += 2)
      text += static_cast<char16_t>(static_cast<unsigned char>(bytes[at]) |
                                    static_cast<unsigned char>(bytes[at + 1]) << 8);
    return text;
  }
  if (bytes.starts_with(kUtf8Mark)) {
    encoding = ProfileEncoding::Utf8;
    return utf8ToUtf16(bytes.substr(kUtf8Mark.size()));
  }
  encoding = ProfileEncoding::Ansi;
  std::u16string text;
  text.reserve(bytes.size());
  for (const char byte : bytes)
    text += fromAnsi(static_cast<unsigned char>(byte));
  return text;
}

// UTF-8 has no form for a surrogate without its partner.
bool hasLoneSurrogate(std::u16string_view text) {
  for (std::size_t at = 0; at < text.size(); ++at) {
    if (text[at] < 0xD800 || text[at] > 0xDFFF)
      continue;
    if (text[at] > 0xDBFF || at + 1 == text.size() || text[at + 1] < 0xDC00 ||
        text[at + 1] > 0xDFFF)
      return true;
    ++at;
  }
  return false;
}

bool isBlank(char16_t unit) { return unit == u' ' || unit == u'\t'; }

std::u16string trim(std::u16string_view text) {
  std::size_t first = 0;
  std::size_t last = text.size();
  while (first < last && isBlank(text[first]))
    ++first;
  while (last > first && isBlank(text[last - 1]))
    --last;
  return std::u16string(text.substr(first, last - first));
}

ProfileLine classify(std::u16string text, bool inSection) {
  ProfileLine line;
  const std::u16string trimmed = trim(text);
  line.text = std::move(text);
  if (!trimmed.empty() && trimmed[0] == u'[') {
    const std::size_t close = trimmed.find(u']');
    line.kind = ProfileLine::Kind::Section;
    line.name = trim(std::u16string_view(trimmed).substr(
        1, close == std::u16string::npos ? std::u16string::npos : close - 1));
  } else if (inSection && !trimmed.empty() && trimmed[0] != u';') {
    line.kind = ProfileLine::Kind::Entry;
    const std::size_t equals = trimmed.find(u'=');
    line.hasValue = equals != std::u16string::npos;
    line.name = trim(std::u16string_view(trimmed).substr(0, equals));
    if (line.hasValue)
      line.value = trim(std::u16string_view(trimmed).substr(equals + 1));
  }
  return line;
}

ProfileLine entryLine(std::u16string_view key, std::u16string_view value) {
  std::u16string text(key);
  text += u'=';
  text += value;
  return classify(std::move(text), true);
}

// The first section of this name: its header and the end of its lines.
struct SectionSpan {
  std::size_t header;
  std::size_t end;
};

std::optional<SectionSpan> findSection(const ProfileDocument &document,
                                       std::u16string_view section) {
  const auto &lines = document.lines;
  for (std::size_t at = 0; at < lines.size(); ++at) {
    if (lines[at].kind != ProfileLine::Kind::Section || !equalsIgnoreCase(lines[at].name, section))
      continue;
    std::size_t end = at + 1;
    while (end < lines.size() && lines[end].kind != ProfileLine::Kind::Section)
      ++end;
    return SectionSpan{at, end};
  }
  return std::nullopt;
}

std::optional<std::size_t> findEntry(const ProfileDocument &document, const SectionSpan &span,
                                     std::u16string_view key) {
  for (std::size_t at = span.header + 1; at < span.end; ++at)
    if (document.lines[at].kind == ProfileLine::Kind::Entry &&
        equalsIgnoreCase(document.lines[at].name, key))
      return at;
  return std::nullopt;
}

// Where a new entry of the section goes: after its last entry.
std::size_t insertionPoint(const ProfileDocument &document, const SectionSpan &span) {
  std::size_t at = span.end;
  while (at > span.header + 1 && document.lines[at - 1].kind != ProfileLine::Kind::Entry)
    --at;
  return at;
}

SectionSpan appendSection(ProfileDocument &document, std::u16string_view section) {
  std::u16string header = u"[";
  header += section;
  header += u']';
  document.lines.push_back(classify(std::move(header), false));
  return {document.lines.size() - 1, document.lines.size()};
}

using LineIterator = std::vector<ProfileLine>::iterator;
LineIterator lineAt(ProfileDocument &document, std::size_t at) {
  return document.lines.begin() + static_cast<std::ptrdiff_t>(at);
}

} // namespace

ProfileDocument parseProfile(std::string_view bytes) {
  ProfileDocument document;
  const std::u16string text = decode(bytes, document.encoding);
  bool inSection = false;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t end = text.find_first_of(u"\r\n", at);
    const std::size_t stop = end == std::u16string::npos ? text.size() : end;
    ProfileLine line = classify(text.substr(at, stop - at), inSection);
    inSection = inSection || line.kind == ProfileLine::Kind::Section;
    document.lines.push_back(std::move(line));
    at = stop;
    if (at < text.size() && text[at] == u'\r')
      ++at;
    if (at < text.size() && text[at] == u'\n' && (at == stop || text[at - 1] == u'\r'))
      ++at;
  }
  return document;
}

std::string serialiseProfile(ProfileDocument &document) {
  std::u16string text;
  for (const ProfileLine &line : document.lines) {
    text += line.text;
    text += u"\r\n";
  }
  if (document.encoding == ProfileEncoding::Ansi) {
    std::string bytes;
    bytes.reserve(text.size());
    for (const char16_t unit : text) {
      const std::optional<char> byte = toAnsi(unit);
      if (!byte)
        break;
      bytes += *byte;
    }
    if (bytes.size() == text.size())
      return bytes;
    document.encoding = ProfileEncoding::Utf16;
  }
  if (document.encoding == ProfileEncoding::Utf8) {
    if (!hasLoneSurrogate(text))
      return std::string(kUtf8Mark) + utf16ToUtf8(text);
    document.encoding = ProfileEncoding::Utf16;
  }
  std::string bytes(kUtf16Mark);
  const std::size_t mark = bytes.size();
  bytes.resize(mark + 2 * text.size());
  char *out = bytes.data() + mark;
  for (const char16_t unit : text) {
    *out++ = static_cast<char>(unit & 0xFF);
    *out++ = static_cast<char>(unit >> 8);
  }
  return bytes;
}

std::vector<std::u16string> profileSectionNames(const ProfileDocument &document) {
  std::vector<std::u16string> names;
  for (const ProfileLine &line : document.lines)
    if (line.kind == ProfileLine::Kind::Section &&
        std::none_of(names.begin(), names.end(),
                     [&](const std::u16string &name) { return equalsIgnoreCase(name, line.name); }))
      names.push_back(line.name);
  return names;
}

std::vector<std::u16string> profileKeyNames(const ProfileDocument &document,
                                            std::u16string_view section) {
  std::vector<std::u16string> names;
  if (const auto span = findSection(document, section))
    for (std::size_t at = span->header + 1; at < span->end; ++at)
      if (document.lines[at].kind == ProfileLine::Kind::Entry)
        names.push_back(document.lines[at].name);
  return names;
}

std::vector<std::u16string> profileSectionLines(const ProfileDocument &document,
                                                std::u16string_view section) {
  std::vector<std::u16string> lines;
  if (const auto span = findSection(document, section))
    for (std::size_t at = span->header + 1; at < span->end; ++at) {
      const ProfileLine &line = document.lines[at];
      if (line.kind == ProfileLine::Kind::Entry)
        lines.push_back(line.hasValue ? line.name + u"=" + line.value : line.name);
    }
  return lines;
}

std::optional<std::u16string> profileValue(const ProfileDocument &document,
                                           std::u16string_view section, std::u16string_view key) {
  const auto span = findSection(document, section);
  const auto entry = span ? findEntry(document, *span, key) : std::nullopt;
  if (!entry)
    return std::nullopt;
  const std::u16string &value = document.lines[*entry].value;
  if (value.size() >= 2 && value.front() == u'"' && value.back() == u'"')
    return value.substr(1, value.size() - 2);
  return value;
}

bool setProfileValue(ProfileDocument &document, std::u16string_view section, const char16_t *key,
                     const char16_t *value) {
  std::optional<SectionSpan> span = findSection(document, section);
  if (key == nullptr) {
    if (!span)
      return false;
    document.lines.erase(lineAt(document, span->header), lineAt(document, span->end));
    return true;
  }
  const std::optional<std::size_t> entry = span ? findEntry(document, *span, key) : std::nullopt;
  if (value == nullptr) {
    if (!entry)
      return false;
    document.lines.erase(lineAt(document, *entry));
    return true;
  }
  if (entry) {
    // The key keeps the case it has in the file.
    ProfileLine line = entryLine(document.lines[*entry].name, value);
    if (line.text == document.lines[*entry].text)
      return false;
    document.lines[*entry] = std::move(line);
    return true;
  }
  if (!span)
    span = appendSection(document, section);
  document.lines.insert(lineAt(document, insertionPoint(document, *span)), entryLine(key, value));
  return true;
}

bool setProfileSection(ProfileDocument &document, std::u16string_view section,
                       const std::vector<std::u16string> &lines) {
  std::optional<SectionSpan> span = findSection(document, section);
  std::vector<ProfileLine> written;
  for (const std::u16string &text : lines)
    written.push_back(classify(text, true));
  if (!span) {
    span = appendSection(document, section);
  } else {
    bool changed = false;
    for (std::size_t at = span->end; at > span->header + 1; --at)
      if (document.lines[at - 1].kind == ProfileLine::Kind::Entry) {
        document.lines.erase(lineAt(document, at - 1));
        --span->end;
        changed = true;
      }
    if (!changed && written.empty())
      return false;
  }
  document.lines.insert(lineAt(document, span->header + 1),
                        std::make_move_iterator(written.begin()),
                        std::make_move_iterator(written.end()));
  return true;
}

std::vector<std::u16string> splitProfileList(const char16_t *list) {
  std::vector<std::u16string> items;
  if (list == nullptr)
    return items;
  for (std::u16string_view item = list; !item.empty(); item = list) {
    items.emplace_back(item);
    list += item.size() + 1;
  }
  return items;
}

DWORD copyProfileText(std::u16string_view text, char16_t *buffer, DWORD size) {
  if (size == 0 || buffer == nullptr)
    return 0;
  const DWORD length = static_cast<DWORD>(std::min<std::size_t>(text.size(), size - 1));
  std::copy_n(text.begin(), length, buffer);
  buffer[length] = 0;
  return length;
}

DWORD copyProfileList(const std::vector<std::u16string> &items, char16_t *buffer, DWORD size) {
  if (size == 0 || buffer == nullptr)
    return 0;
  std::size_t used = 0;
  for (const std::u16string &item : items) {
    // Room for the item's zero and the list's closing one.
    if (used + item.size() + 2 > size) {
      const std::size_t room = size >= 2 ? size - 2 : 0;
      std::copy_n(item.begin(), std::min(item.size(), room - std::min(room, used)),
                  buffer + std::min(room, used));
      if (size >= 2)
        buffer[size - 2] = 0;
      buffer[size - 1] = 0;
      return static_cast<DWORD>(room);
    }
    std::copy(item.begin(), item.end(), buffer + used);
    used += item.size();
    buffer[used++] = 0;
  }
  buffer[used] = 0;
  if (items.empty() && size >= 2)
    buffer[1] = 0;
  return static_cast<DWORD>(used);
}

UINT profileNumber(std::u16string_view value) {
  std::size_t at = 0;
  const bool negative = !value.empty() && value[0] == u'-';
  if (!value.empty() && (value[0] == u'-' || value[0] == u'+'))
    ++at;
  UINT number = 0;
  for (; at < value.size() && value[at] >= u'0' && value[at] <= u'9'; ++at)
    number = number * 10 + static_cast<UINT>(value[at] - u'0');
  return negative ? 0u - number : number;
}

} // namespace zelsys::posix
