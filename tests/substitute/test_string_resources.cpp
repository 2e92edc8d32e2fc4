// test_string_resources.cpp - the substitute's choice of language and block,
// and LoadStringW over the patch program's own string table, built in here.
#include "StringTable.h"
#include "zel_test_support.h"
#include "zelsys/environment.h"
#include "zelsys/resources.h"

#include <algorithm>
#include <string>
#include <vector>

using namespace zelsys;
using namespace zelsys::posix;

TEST(StringLanguage, LocaleVariablesMapToWindowsLanguages) {
  struct Case {
    const char *lcAll, *lcMessages, *lang;
    WORD expected;
  };
  const Case cases[] = {
      {"", "", "", 0x409},
      {"C", "", "de_DE", 0x409},
      {"", "", "POSIX", 0x409},
      {"", "", "C.UTF-8", 0x409},
      {"", "fr_FR", "de_DE", 0x40C},
      {"", "", "de_DE.UTF-8", 0x407},
      {"", "", "de_AT", 0xC07},
      {"", "", "de", 0x7},
      {"", "", "de-de", 0x407},
      {"", "", "zh_TW.Big5", 0x404},
      {"", "", "zh_CN.UTF-8", 0x804},
      {"", "", "zh_HK", 0xC04},
      {"", "", "pt_BR", 0x416},
      {"", "", "pt_PT@euro", 0x816},
      {"", "", "nb_NO.UTF-8", 0x414},
      {"", "", "no_NO", 0x414},
      {"", "", "nn_NO", 0x814},
      {"", "", "es_MX.UTF-8", 0xC0A},
      {"", "", "es", 0xC0A},
      {"", "", "en_GB", 0x809},
      {"", "", "fr_CA", 0xC0C},
      {"", "", "sv_FI", 0x81D},
      {"", "", "ja_JP.eucJP", 0x411},
      {"", "", "ko_KR", 0x412},
      {"", "", "da_DK", 0x406},
      {"", "", "fi_FI", 0x40B},
      {"", "", "it_CH", 0x810},
      {"", "", "nl_BE", 0x813},
      {"", "", "de_BE", 0x7},
      {"", "", "ru_RU.UTF-8", 0},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const Case &c = cases[i];
    EXPECT_EQ(languageFromLocale(selectedLocale(c.lcAll, c.lcMessages, c.lang)), c.expected)
        << "case " << i << ": " << c.lcAll << "|" << c.lcMessages << "|" << c.lang;
  }
}

TEST(StringLanguage, BlockComesFromTheBestLanguageThatHasIt) {
  struct Case {
    WORD wanted;
    std::vector<WORD> languages; // ascending
    std::optional<WORD> expected;
  };
  const Case cases[] = {
      {0x407, {0x7, 0x407, 0x409}, 0x407}, // exact
      {0xC07, {0x7, 0x407, 0x409}, 0x7},   // the primary language's neutral form
      {0xC07, {0x407, 0x409}, 0x407},      // another German
      {0xC04, {0x404, 0x409, 0x804}, 0x404},
      {0x419, {0x407, 0x409, 0x411}, 0x409}, // English (US)
      {0x419, {0x407, 0x411}, 0x407},        // the first that has it
      {0x409, {}, std::nullopt},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i)
    EXPECT_EQ(chooseBlockLanguage(cases[i].wanted, cases[i].languages), cases[i].expected)
        << "case " << i;
}

namespace {
// The ids of the patch program's table, and the languages that hold each.
constexpr UINT kIds[] = {103, 109, 120, 1120, 1121, 1122, 1130, 1140, 1160, 1170, 1180, 1200};
constexpr WORD kLanguages[] = {0x4,   0x7,   0x404, 0x406, 0x407, 0x409, 0x40B, 0x40C, 0x410,
                               0x411, 0x412, 0x413, 0x414, 0x416, 0x41D, 0x804, 0x816, 0xC0A};
bool holds(WORD wLanguage, UINT uID) {
  const bool titleBlock = uID <= 120;
  if (wLanguage == 0x404 || wLanguage == 0x407)
    return titleBlock;
  if (wLanguage == 0x4 || wLanguage == 0x7)
    return !titleBlock && uID != 1121 && uID != 1122;
  return (uID != 1121 && uID != 1122) || wLanguage == 0x409 || wLanguage == 0x804;
}
} // namespace

TEST(ProgramStringTable, HoldsEachIdInItsLanguages) {
  for (const WORD wLanguage : kLanguages)
    for (const UINT uID : kIds)
      EXPECT_EQ(registeredText(wLanguage, uID).has_value(), holds(wLanguage, uID))
          << std::hex << "language 0x" << wLanguage << std::dec << ", id " << uID;
  EXPECT_EQ(registeredText(0x409, 1120), u"This oprating system does not match requirements.");
  EXPECT_EQ(registeredText(0x409, 1121), u"Failed to update file %s");
  EXPECT_EQ(registeredText(0x40C, 1200),
            u"Une exception inconnue s'est produite ; l'installation du correctif a échoué.");
}

TEST(ProgramStringTable, LoadStringFollowsTheLocale) {
  struct Case {
    const char16_t *locale;
    UINT id;
    WORD language; // whose text comes back; 0: missing
  };
  const Case cases[] = {
      {u"de_DE.UTF-8", 120, 0x407}, {u"de_DE.UTF-8", 1130, 0x7}, {u"de_DE", 1121, 0},
      {u"de_AT", 120, 0x407},       {u"de_AT", 1160, 0x7},       {u"zh_TW", 103, 0x404},
      {u"zh_TW", 1140, 0x4},        {u"zh_TW", 1122, 0},         {u"zh_CN", 1121, 0x804},
      {u"zh_HK", 1200, 0x4},        {u"C", 1120, 0x409},         {u"ru_RU", 1121, 0x409},
      {u"pt_BR", 1170, 0x416},      {u"pt_PT", 1170, 0x816},     {u"es_AR", 120, 0xC0A},
      {u"nn_NO", 1180, 0x414},      {u"fr_CA", 1200, 0x40C},     {u"sv_SE", 1160, 0x41D},
  };
  WCHAR saved[64] = {};
  const bool wasSet = GetEnvironmentVariableW(u"LC_ALL", saved, 64) != 0;
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const Case &c = cases[i];
    ASSERT_TRUE(SetEnvironmentVariableW(u"LC_ALL", c.locale));
    const std::u16string expected =
        c.language == 0 ? u"" : registeredText(c.language, c.id).value();
    WCHAR buffer[300];
    EXPECT_EQ(LoadStringW(nullptr, c.id, buffer, 300), static_cast<INT>(expected.size()))
        << "case " << i;
    EXPECT_EQ(std::u16string(buffer), expected) << "case " << i << ": " << zeltest::narrow(buffer);
  }
  SetEnvironmentVariableW(u"LC_ALL", wasSet ? saved : nullptr);
}
