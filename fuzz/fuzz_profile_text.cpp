// fuzz_profile_text.cpp - the profile file reader and writer on any bytes.
//
// The input is a file's content. Every read the profile calls make runs on
// it, through buffers that cut and buffers that fit; then edits made of its
// own section and key names change it. After each step the rules that hold
// for any file are checked: a read fills the buffer as the calls promise,
// what was written reads back, and a document written out and read in again
// has the same lines. A broken rule traps, so libFuzzer keeps the input.
#include "ProfileText.h"
#include "Utf.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

using namespace zelsys::posix;
using zelsys::DWORD;

void check(bool bHolds) {
  if (!bHolds)
    __builtin_trap();
}

// Sizes that cut every list and text of a small file, and the sizes
// CZELIni passes.
constexpr DWORD kSizes[] = {0, 1, 2, 3, 5, 16, 1024, 32767};
// Bounds the work per input: names past these are read by the walk anyway.
constexpr std::size_t kMaxSections = 8;
constexpr std::size_t kMaxKeys = 8;

bool isBlank(char16_t unit) { return unit == u' ' || unit == u'\t'; }
bool breaksLine(std::u16string_view text) { return text.find_first_of(u"\r\n") != text.npos; }

std::u16string trim(std::u16string_view text) {
  while (!text.empty() && isBlank(text.front()))
    text.remove_prefix(1);
  while (!text.empty() && isBlank(text.back()))
    text.remove_suffix(1);
  return std::u16string(text);
}

// What a read returns for a value written as text: trimmed, then unquoted.
std::u16string readForm(std::u16string_view text) {
  std::u16string value = trim(text);
  if (value.size() >= 2 && value.front() == u'"' && value.back() == u'"')
    return value.substr(1, value.size() - 2);
  return value;
}

// A buffer of the size given that ends where its allocation ends, so that
// AddressSanitizer sees a unit written past it. One allocation serves all:
// a fresh one per read would cost more than the read.
char16_t *buffer(DWORD size) {
  constexpr DWORD kLargest = kSizes[std::size(kSizes) - 1];
  static const std::unique_ptr<char16_t[]> units = std::make_unique<char16_t[]>(kLargest);
  char16_t *pStart = units.get() + (kLargest - size);
  // A pattern no read writes; memset, as an instrumented loop would cost
  // more than the read.
  std::memset(pStart, 0xAB, size * sizeof(char16_t));
  return pStart;
}

void checkText(std::u16string_view text) {
  for (const DWORD size : kSizes) {
    char16_t *units = buffer(size);
    const DWORD result = copyProfileText(text, units, size);
    if (size == 0) {
      check(result == 0);
      continue;
    }
    check(result == std::min<std::size_t>(text.size(), size - 1));
    check(std::u16string_view(units, result) == text.substr(0, result));
    check(units[result] == 0);
  }
}

void checkList(const std::vector<std::u16string> &items) {
  std::size_t needed = 1;
  for (const std::u16string &item : items)
    needed += item.size() + 1;
  for (const DWORD size : kSizes) {
    char16_t *units = buffer(size);
    const DWORD result = copyProfileList(items, units, size);
    if (size == 0) {
      check(result == 0);
    } else if (items.empty() || needed <= size) {
      // Each item closed by a zero, the whole by a second one.
      check(result == needed - 1);
      std::size_t at = 0;
      for (const std::u16string &item : items) {
        check(std::u16string_view(units + at, item.size()) == item);
        at += item.size();
        check(units[at++] == 0);
      }
      check(units[at] == 0);
    } else {
      check(result == (size >= 2 ? size - 2 : 0));
      check(units[size - 1] == 0 && (size < 2 || units[size - 2] == 0));
    }
  }
}

// Every read the profile calls offer, on the first sections and keys.
void readAll(const ProfileDocument &document) {
  const std::vector<std::u16string> sections = profileSectionNames(document);
  checkList(sections);
  for (std::size_t i = 0; i < sections.size() && i < kMaxSections; ++i) {
    const std::vector<std::u16string> keys = profileKeyNames(document, sections[i]);
    const std::vector<std::u16string> lines = profileSectionLines(document, sections[i]);
    check(keys.size() == lines.size());
    checkList(keys);
    checkList(lines);
    for (std::size_t k = 0; k < keys.size() && k < kMaxKeys; ++k) {
      const std::optional<std::u16string> value = profileValue(document, sections[i], keys[k]);
      check(value.has_value());
      checkText(*value);
      profileNumber(*value);
    }
  }
}

bool sameLines(const ProfileDocument &a, const ProfileDocument &b) {
  return a.encoding == b.encoding &&
         std::equal(a.lines.begin(), a.lines.end(), b.lines.begin(), b.lines.end(),
                    [](const ProfileLine &x, const ProfileLine &y) {
                      return x.kind == y.kind && x.text == y.text && x.name == y.name &&
                             x.value == y.value && x.hasValue == y.hasValue;
                    });
}

// Written out and read in, a document has the same lines, and writing it
// out again gives the same bytes.
void checkRoundTrip(ProfileDocument document) {
  const std::string bytes = serialiseProfile(document);
  ProfileDocument again = parseProfile(bytes);
  check(sameLines(document, again));
  check(serialiseProfile(again) == bytes);
}

std::size_t sectionCount(const ProfileDocument &document, std::u16string_view section) {
  return static_cast<std::size_t>(
      std::count_if(document.lines.begin(), document.lines.end(), [&](const ProfileLine &line) {
        return line.kind == ProfileLine::Kind::Section && equalsIgnoreCase(line.name, section);
      }));
}

std::size_t keyCount(const ProfileDocument &document, std::u16string_view section,
                     std::u16string_view key) {
  const std::vector<std::u16string> keys = profileKeyNames(document, section);
  return static_cast<std::size_t>(std::count_if(
      keys.begin(), keys.end(), [&](const auto &name) { return equalsIgnoreCase(name, key); }));
}

// Sets an entry and reads it back. The calls take keys and values up to
// their first zero; a value with a line break, or a key with blanks around
// it, is a caller's error the file cannot hold, and is only written.
void setAndReadBack(ProfileDocument &document, std::u16string_view section,
                    const std::u16string &key, const std::u16string &value) {
  setProfileValue(document, section, key.c_str(), value.c_str());
  const std::u16string_view written = value.c_str();
  const std::u16string_view name = key.c_str();
  if (breaksLine(written) || (!name.empty() && (isBlank(name.front()) || isBlank(name.back()))))
    return;
  check(profileValue(document, section, name) == readForm(written));
}

void removeEntry(ProfileDocument &document, std::u16string_view section,
                 const std::u16string &key) {
  const std::u16string_view name = key.c_str();
  const std::size_t before = keyCount(document, section, name);
  check(setProfileValue(document, section, key.c_str(), nullptr) == (before != 0));
  check(keyCount(document, section, name) == (before == 0 ? 0 : before - 1));
}

// A section's line as read back: key and value trimmed around the "=".
std::u16string lineForm(std::u16string_view line) {
  const std::size_t equals = line.find(u'=');
  if (equals == line.npos)
    return trim(line);
  return trim(line.substr(0, equals)) + u"=" + trim(line.substr(equals + 1));
}

void replaceSection(ProfileDocument &document, std::u16string_view section,
                    const std::vector<std::u16string> &lines) {
  setProfileSection(document, section, lines);
  std::vector<std::u16string> expected;
  for (const std::u16string &line : lines)
    expected.push_back(lineForm(line));
  check(profileSectionLines(document, section) == expected);
}

void removeSection(ProfileDocument &document, std::u16string_view section) {
  const std::size_t before = sectionCount(document, section);
  check(setProfileValue(document, section, nullptr, nullptr) == (before != 0));
  check(sectionCount(document, section) == (before == 0 ? 0 : before - 1));
}

// Edits made of the document's own names and values, and of values that
// 1252 cannot hold, checked one by one and then as a whole round trip.
void editAll(ProfileDocument document) {
  const std::vector<std::u16string> sections = profileSectionNames(document);
  std::vector<std::u16string> values = {u"", u"  padded\t", u"\"quoted\"", u"\u03a9mega",
                                        std::u16string(1, char16_t(0xD800)) + u"lone"};
  for (std::size_t i = 0; i < sections.size() && i < kMaxSections; ++i)
    for (const std::u16string &line : profileSectionLines(document, sections[i]))
      if (const std::size_t equals = line.find(u'='); equals != line.npos && values.size() < 16)
        values.push_back(line.substr(equals + 1));
  std::size_t next = 0;
  const auto value = [&] { return values[next++ % values.size()]; };

  for (std::size_t i = 0; i < sections.size() && i < kMaxSections; ++i) {
    const std::u16string &section = sections[i];
    const std::vector<std::u16string> keys = profileKeyNames(document, section);
    if (!keys.empty()) {
      setAndReadBack(document, section, keys.front(), value());
      removeEntry(document, section, keys.back());
    }
    setAndReadBack(document, section, u"Fuzz Key", value());
    switch (i % 3) {
    case 0:
      replaceSection(document, section, profileSectionLines(document, sections[i / 2]));
      break;
    case 1:
      removeSection(document, section);
      break;
    default:
      removeEntry(document, section, u"Fuzz Key");
      break;
    }
  }
  setAndReadBack(document, u"Fuzz Section", u"k", value());
  replaceSection(document, u"Fuzz Lines", {u"a=1", u"b", u"c = \"3\""});
  readAll(document);
  checkRoundTrip(std::move(document));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *pData, std::size_t size) {
  const ProfileDocument document =
      parseProfile(std::string_view(reinterpret_cast<const char *>(pData), size));
  readAll(document);
  checkRoundTrip(document);
  editAll(document);
  return 0;
}
