//===- StringTable.cpp - The substitute's string table and language rules -===//
//
// See StringTable.h for the rules. Only code that works on every Unix.
//
//===----------------------------------------------------------------------===//
#include "StringTable.h"

#include <algorithm>
#include <string>
#include <vector>

namespace zelsys::posix {

namespace {

WORD primaryLanguage(WORD wLanguage) { return static_cast<WORD>(wLanguage & 0x3FF); }

// The languages the program's table is written in, by ISO 639 code.
struct Language {
  std::string_view code;
  WORD primary;
};
constexpr Language kLanguages[] = {
    {"zh", 0x04}, {"da", 0x06}, {"de", 0x07}, {"en", 0x09}, {"es", 0x0A}, {"fi", 0x0B},
    {"fr", 0x0C}, {"it", 0x10}, {"ja", 0x11}, {"ko", 0x12}, {"nl", 0x13}, {"nb", 0x14},
    {"no", 0x14}, {"nn", 0x14}, {"pt", 0x16}, {"sv", 0x1D},
};

// Windows' ids for the territories where those languages are spoken.
struct Territory {
  std::string_view code;
  std::string_view territory;
  WORD language;
};
constexpr Territory kTerritories[] = {
    {"zh", "TW", 0x404},  {"zh", "CN", 0x804},  {"zh", "HK", 0xC04},  {"zh", "SG", 0x1004},
    {"zh", "MO", 0x1404}, {"da", "DK", 0x406},  {"de", "DE", 0x407},  {"de", "CH", 0x807},
    {"de", "AT", 0xC07},  {"de", "LU", 0x1007}, {"de", "LI", 0x1407}, {"en", "US", 0x409},
    {"en", "GB", 0x809},  {"en", "AU", 0xC09},  {"en", "CA", 0x1009}, {"en", "NZ", 0x1409},
    {"en", "IE", 0x1809}, {"fi", "FI", 0x40B},  {"fr", "FR", 0x40C},  {"fr", "BE", 0x80C},
    {"fr", "CA", 0xC0C},  {"fr", "CH", 0x100C}, {"fr", "LU", 0x140C}, {"it", "IT", 0x410},
    {"it", "CH", 0x810},  {"ja", "JP", 0x411},  {"ko", "KR", 0x412},  {"nl", "NL", 0x413},
    {"nl", "BE", 0x813},  {"nb", "NO", 0x414},  {"no", "NO", 0x414},  {"nn", "NO", 0x814},
    {"pt", "BR", 0x416},  {"pt", "PT", 0x816},  {"sv", "SE", 0x41D},  {"sv", "FI", 0x81D},
};

// Spanish is read in its international form (modern sort) everywhere.
constexpr WORD kLanguageSpanish = 0xC0A;

std::string asciiCase(std::string_view text, bool upper) {
  std::string result(text);
  for (char &c : result)
    if (upper ? (c >= 'a' && c <= 'z') : (c >= 'A' && c <= 'Z'))
      c = static_cast<char>(c ^ 0x20);
  return result;
}

} // namespace

std::string_view selectedLocale(std::string_view lcAll, std::string_view lcMessages,
                                std::string_view lang) {
  for (const std::string_view value : {lcAll, lcMessages, lang})
    if (!value.empty())
      return value;
  return {};
}

WORD languageFromLocale(std::string_view locale) {
  // language[_territory][.codeset][@modifier]; "-" is taken for "_" too.
  const std::string_view name = locale.substr(0, locale.find_first_of(".@"));
  const std::size_t split = name.find_first_of("_-");
  const std::string code = asciiCase(name.substr(0, split), false);
  const std::string territory =
      split == std::string_view::npos ? std::string() : asciiCase(name.substr(split + 1), true);
  if (code.empty() || code == "c" || code == "posix")
    return kLanguageEnglishUs;
  if (code == "es")
    return kLanguageSpanish;
  for (const Territory &known : kTerritories)
    if (known.code == code && known.territory == territory)
      return known.language;
  for (const Language &known : kLanguages)
    if (known.code == code)
      return known.primary; // the neutral sublanguage is 0
  return kLanguageUnknown;
}

std::optional<WORD> chooseBlockLanguage(WORD wWanted, std::span<const WORD> languages) {
  if (languages.empty())
    return std::nullopt;
  const auto holds = [&](WORD wLanguage) {
    return std::binary_search(languages.begin(), languages.end(), wLanguage);
  };
  if (holds(wWanted))
    return wWanted;
  const WORD primary = primaryLanguage(wWanted);
  if (holds(primary))
    return primary;
  const auto samePrimary = std::find_if(languages.begin(), languages.end(), [&](WORD wLanguage) {
    return primaryLanguage(wLanguage) == primary;
  });
  if (samePrimary != languages.end())
    return *samePrimary;
  if (holds(kLanguageEnglishUs))
    return kLanguageEnglishUs;
  return languages.front();
}

bool StringTable::add(WORD wLanguage, UINT uID, std::u16string_view text) {
  const auto id = static_cast<WORD>(uID);
  Block &block = m_blocks[static_cast<WORD>(id >> 4)][wLanguage];
  const auto bit = static_cast<std::uint16_t>(1u << (id & 0xF));
  if ((block.present & bit) != 0)
    return false;
  block.present = static_cast<std::uint16_t>(block.present | bit);
  block.texts[id & 0xF] = text.substr(0, 0xFFFF);
  return true;
}

StringTable::Found StringTable::find(UINT uID, WORD wWanted) const {
  const auto id = static_cast<WORD>(uID);
  const auto block = m_blocks.find(static_cast<WORD>(id >> 4));
  if (block == m_blocks.end())
    return {};
  std::vector<WORD> languages;
  languages.reserve(block->second.size());
  for (const auto &entry : block->second)
    languages.push_back(entry.first);
  const std::optional<WORD> chosen = chooseBlockLanguage(wWanted, languages);
  // A block exists only with at least one language in it.
  return {true, block->second.at(*chosen).texts[id & 0xF]};
}

std::optional<std::u16string_view> StringTable::exact(WORD wLanguage, UINT uID) const {
  const auto id = static_cast<WORD>(uID);
  const auto block = m_blocks.find(static_cast<WORD>(id >> 4));
  if (block == m_blocks.end())
    return std::nullopt;
  const auto language = block->second.find(wLanguage);
  if (language == block->second.end() || (language->second.present & (1u << (id & 0xF))) == 0)
    return std::nullopt;
  return language->second.texts[id & 0xF];
}

} // namespace zelsys::posix
