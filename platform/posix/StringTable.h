//===- StringTable.h - The substitute's string table and language rules ---===//
//
// The program's numbered texts per language, and the rules that pick one,
// as pure code so that they are tested from tables without a machine:
// - The user's interface language comes from the first of LC_ALL,
//   LC_MESSAGES and LANG that is set and not empty, mapped to a Windows
//   language id; "C", "POSIX" and no locale at all mean English (US).
// - Texts live in blocks of sixteen ids (ids 16n to 16n + 15), and a block is
//   stored per language, as Windows stores string resources. A lookup takes
//   the whole block from one language, tried in this order: the language
//   asked for, its primary language's neutral form (German 0x7 for 0xC07),
//   any language of the same primary language (lowest id first), English
//   (US), then the lowest language id that has the block. An id missing from
//   the chosen block is missing, even where another language holds it.
// A lookup costs a search among the blocks and one among the languages of a
// block. The table keeps views: the texts must outlive it.
// Only code that works on every Unix.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "zelsys/wintypes.h"

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace zelsys::posix {

constexpr WORD kLanguageEnglishUs = 0x409;
// No language the table's mapping knows; the lookup then ends at English.
constexpr WORD kLanguageUnknown = 0;

// The locale the variables select: the first that is not empty.
std::string_view selectedLocale(std::string_view lcAll, std::string_view lcMessages,
                                std::string_view lang);

// A POSIX locale name ("de_AT.UTF-8@euro", "pt_BR", "ja") as a Windows
// language id: the exact id of a known territory, the primary language's
// neutral id for a known language elsewhere or without territory.
WORD languageFromLocale(std::string_view locale);

// Which of languages (the ids holding a block, ascending) supplies the block
// for a user of wWanted; none when the list is empty.
std::optional<WORD> chooseBlockLanguage(WORD wWanted, std::span<const WORD> languages);

class StringTable {
public:
  // Keeps text as uID of wLanguage, cut to the 65535 characters a string
  // resource can hold. Only the low 16 bits of an id count, as on Windows.
  // Returns false, keeping the first text, when the language holds the id.
  bool add(WORD wLanguage, UINT uID, std::u16string_view text);
  bool empty() const { return m_blocks.empty(); }

  struct Found {
    bool block = false;       // some language has uID's block
    std::u16string_view text; // empty when that block lacks uID
  };
  Found find(UINT uID, WORD wWanted) const;

  // The text a language itself holds, without any fallback.
  std::optional<std::u16string_view> exact(WORD wLanguage, UINT uID) const;

private:
  struct Block {
    std::array<std::u16string_view, 16> texts;
    std::uint16_t present = 0; // bit n: id 16 * block + n is held
  };
  // Block number, then language, both ascending.
  std::map<WORD, std::map<WORD, Block>> m_blocks;
};

// The text the program's registered table (RegisterStringTable) holds for
// one language itself, without fallback: what a lookup is checked against.
std::optional<std::u16string> registeredText(WORD wLanguage, UINT uID);

} // namespace zelsys::posix
