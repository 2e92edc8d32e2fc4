//===- FileNames.cpp - Win32 file name rules as pure functions -------------===//
//
// Only code that works on every Unix.
//
//===----------------------------------------------------------------------===//
#include "FileNames.h"
#include "Utf.h"

#include <vector>

namespace zelsys::posix {

namespace {

// A pattern after the system's DOS translation: each unit is one token.
enum class Token { Literal, Star, DosStar, DosQm, DosDot };

struct PatternUnit {
  Token token;
  char16_t unit; // upper-cased, for literals
};

std::vector<PatternUnit> translate(std::u16string_view pattern) {
  std::vector<PatternUnit> units;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    const char16_t next = i + 1 < pattern.size() ? pattern[i + 1] : u'\0';
    switch (pattern[i]) {
    case u'?':
      units.push_back({Token::DosQm, 0});
      break;
    case u'*':
      units.push_back({next == u'.' ? Token::DosStar : Token::Star, 0});
      break;
    case u'.':
      if (next == u'?' || next == u'*' || next == u'\0')
        units.push_back({Token::DosDot, 0});
      else
        units.push_back({Token::Literal, u'.'});
      break;
    default:
      units.push_back({Token::Literal, upcaseUnit(pattern[i])});
    }
  }
  return units;
}

// Adds the states reachable without consuming anything before name[at]
// (at == name.size(): at the end). Every such move goes forward, so one
// ascending pass suffices.
void closeOver(const std::vector<PatternUnit> &units, std::vector<char> &states,
               std::u16string_view name, std::size_t at) {
  const bool atEnd = at == name.size();
  for (std::size_t i = 0; i < units.size(); ++i) {
    if (!states[i])
      continue;
    const Token token = units[i].token;
    if (token == Token::Star || token == Token::DosStar || (token == Token::DosDot && atEnd)) {
      states[i + 1] = 1;
    } else if (token == Token::DosQm && (atEnd || name[at] == u'.')) {
      std::size_t end = i;
      while (end < units.size() && units[end].token == Token::DosQm)
        ++end;
      states[end] = 1;
    }
  }
}

// Whether the state at unit i takes name[at], and where it goes.
bool consumes(const PatternUnit &unit, char16_t c, bool lastDot, bool &stays) {
  stays = unit.token == Token::Star || unit.token == Token::DosStar;
  switch (unit.token) {
  case Token::Star:
    return true;
  case Token::DosStar:
    return !lastDot;
  case Token::DosQm:
    return c != u'.';
  case Token::DosDot:
    return c == u'.';
  case Token::Literal:
    return upcaseUnit(c) == unit.unit;
  }
  return false;
}

bool isDeviceStem(std::u16string_view stem) {
  static constexpr std::u16string_view kPlain[] = {u"CON", u"PRN", u"AUX", u"NUL"};
  for (std::u16string_view device : kPlain)
    if (equalsIgnoreCase(stem, device))
      return true;
  if (stem.size() != 4 || stem[3] < u'1' || stem[3] > u'9')
    return false;
  return equalsIgnoreCase(stem.substr(0, 3), u"COM") || equalsIgnoreCase(stem.substr(0, 3), u"LPT");
}

} // namespace

std::u16string_view trimName(std::u16string_view name) {
  while (!name.empty() && (name.back() == u'.' || name.back() == u' '))
    name.remove_suffix(1);
  return name;
}

bool isValidName(std::u16string_view name, bool allowWildcards) {
  for (char16_t unit : name) {
    if (unit < 0x20 || std::u16string_view(u"<>:\"|").find(unit) != std::u16string_view::npos)
      return false;
    if (!allowWildcards && (unit == u'?' || unit == u'*'))
      return false;
  }
  return true;
}

bool hasWildcards(std::u16string_view name) {
  return name.find_first_of(u"?*") != std::u16string_view::npos;
}

std::optional<std::u16string> windowsNameOf(std::string_view hostName) {
  std::u16string name = utf8ToUtf16(hostName);
  if (utf16ToUtf8(name) != hostName || name.find(u'\\') != std::u16string::npos ||
      !isValidName(name, false))
    return std::nullopt;
  return name;
}

bool hostCanSpell(std::u16string_view name) { return utf8ToUtf16(utf16ToUtf8(name)) == name; }

DosDevice dosDeviceOf(std::u16string_view name) {
  std::u16string_view stem = name.substr(0, name.find(u'.'));
  while (!stem.empty() && stem.back() == u' ')
    stem.remove_suffix(1);
  if (!isDeviceStem(stem))
    return DosDevice::None;
  return equalsIgnoreCase(stem, u"NUL") ? DosDevice::Null : DosDevice::Other;
}

bool matchesPattern(std::u16string_view pattern, std::u16string_view name) {
  const std::vector<PatternUnit> units = translate(pattern);
  const std::size_t lastDot = name.rfind(u'.');
  std::vector<char> states(units.size() + 1, 0);
  states[0] = 1;
  for (std::size_t at = 0; at < name.size(); ++at) {
    closeOver(units, states, name, at);
    std::vector<char> next(units.size() + 1, 0);
    for (std::size_t i = 0; i < units.size(); ++i) {
      bool stays = false;
      if (states[i] && consumes(units[i], name[at], at == lastDot, stays))
        next[stays ? i : i + 1] = 1;
    }
    states.swap(next);
  }
  closeOver(units, states, name, name.size());
  return states[units.size()] != 0;
}

} // namespace zelsys::posix
