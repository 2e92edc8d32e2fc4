// test_zelreg.cpp - the registry tool end to end: one table of command
// lines run in order on one test key, each with its exit code, what its
// output (standard output and error together) must hold, and for some the
// value the registry holds afterwards, read here through the registry
// calls. Test roots, removed before and after: HKCU\Software\ZelTest\zelreg,
// the same path under HKLM in the 32-bit view, and the folder C:\ZelTestReg.
#include "zel_run_program.h"
#include "zel_test_support.h"
#include "zelsys/zelsys.h"

#include <optional>
#include <string>
#include <vector>

using namespace zelsys;

namespace {

#define KEY u"HKCU\\Software\\ZelTest\\zelreg"
#define KEY_LONG u"HKEY_CURRENT_USER\\Software\\ZelTest\\zelreg"
#define SUB KEY u"\\\u041A\u043B\u044E\u0447" // Ключ
#define NAME u"\u0418\u043C\u044F"            // Имя
#define TEXT u"\u00FCn\u00EF"                 // ünï
#define LM_KEY u"HKLM\\Software\\ZelTest\\zelreg"
const std::u16string FOLDER = u"C:\\ZelTestReg\\";
const char16_t NOT_FOUND[] = u"unable to find the specified registry key or value";

// A value as the registry holds it afterwards: its type and its bytes in
// hex; no bytes: the value must be missing.
struct Stored {
  const char16_t *name = nullptr;
  DWORD type = REG_NONE;
  const char *hex = nullptr;
};

struct Case {
  std::u16string args;
  const char *input; // null: no standard input at all
  int exitCode;
  std::vector<std::u16string> output; // each must appear
  Stored stored = {};
};

// The tool's output is UTF-8 (zeltest::narrow escapes what is not ASCII).
std::string utf8(const std::u16string &text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size())
      c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
    const int tail = c < 0x80 ? 0 : c < 0x800 ? 1 : c < 0x10000 ? 2 : 3;
    const char32_t lead[] = {0x00, 0xC0, 0xE0, 0xF0};
    out += static_cast<char>(lead[tail] | (c >> (6 * tail)));
    for (int k = tail - 1; k >= 0; --k)
      out += static_cast<char>(0x80 | ((c >> (6 * k)) & 0x3F));
  }
  return out;
}

// The values the table checks live in the test key itself.
std::optional<std::pair<DWORD, std::string>> storedValue(const char16_t *name) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\ZelTest\\zelreg", 0, KEY_READ, &key) != 0)
    return std::nullopt;
  BYTE data[64] = {};
  DWORD type = 0, size = sizeof data;
  const LSTATUS status = RegQueryValueExW(key, name, nullptr, &type, data, &size);
  RegCloseKey(key);
  if (status != 0)
    return std::nullopt;
  std::string hex;
  for (DWORD i = 0; i < size; ++i)
    hex += "0123456789ABCDEF"[data[i] >> 4], hex += "0123456789ABCDEF"[data[i] & 15];
  return std::pair(type, hex);
}

void removeRoots() {
  SHDeleteKeyW(HKEY_CURRENT_USER, u"Software\\ZelTest\\zelreg");
  HKEY software = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software", 0, KEY_ALL_ACCESS | KEY_WOW64_32KEY,
                    &software) == 0) {
    SHDeleteKeyW(software, u"ZelTest\\zelreg");
    RegCloseKey(software);
  }
  for (const char16_t *file : {u"tree.txt", u"output.txt"})
    DeleteFileW((FOLDER + file).c_str());
  RemoveDirectoryW(FOLDER.c_str());
}

std::vector<Case> cases() {
  const std::u16string addK = u"add " KEY, queryK = u"query " KEY;
  std::u16string deep;
  for (int level = 0; level < 40; ++level)
    deep += u"\\L" + std::u16string(1, static_cast<char16_t>(u'a' + level % 26));
  return {
      // Usage, and command lines refused before anything is touched.
      {u"--help", nullptr, 0, {u"zelreg query", u"zelreg import", u"Exit codes"}},
      {u"/?", nullptr, 0, {u"zelreg delete"}},
      {u"ADD -?", nullptr, 0, {u"zelreg add", u"/t <type>"}},
      {u"", nullptr, 1, {u"ERROR: Missing operation"}},
      {u"frobnicate " KEY, nullptr, 1, {u"ERROR: Invalid operation: frobnicate"}},
      {u"add", nullptr, 1, {u"ERROR: Missing key name"}},
      {u"add HKXX\\Software", nullptr, 1, {u"ERROR: Invalid key name"}},
      {u"add Software\\x", nullptr, 1, {u"ERROR: Invalid key name"}},
      {queryK + u" /x", nullptr, 1, {u"ERROR: Invalid option for query: /x"}},
      {queryK + u" /v a /v b", nullptr, 1, {u"ERROR: Option given twice"}},
      {queryK + u" /v", nullptr, 1, {u"ERROR: Missing value after /v"}},
      {addK + u" /v x /t REG_QWORD /d 1", nullptr, 1, {u"ERROR: Invalid type: REG_QWORD"}},
      {addK + u" /v x /t REG_DWORD /d 4294967296", nullptr, 1, {u"ERROR: Invalid REG_DWORD"}},
      {addK + u" /v x /t REG_DWORD /d -1", nullptr, 1, {u"ERROR: Invalid REG_DWORD"}},
      {addK + u" /v x /t REG_DWORD /d 0x", nullptr, 1, {u"ERROR: Invalid REG_DWORD"}},
      {addK + u" /v x /t REG_BINARY /d ABC", nullptr, 1, {u"ERROR: Invalid REG_BINARY"}},
      {addK + u" /v x /t REG_BINARY /d GG", nullptr, 1, {u"ERROR: Invalid REG_BINARY"}},
      {addK + u" /v x /t REG_MULTI_SZ /d a\\0\\0b", nullptr, 1, {u"ERROR: Invalid REG_MULTI_SZ"}},
      {addK + u" /v x /t REG_EXPAND_SZ /d 50%", nullptr, 1, {u"ERROR: Invalid REG_EXPAND_SZ"}},
      {u"export " KEY u" tree.txt /reg:64", nullptr, 1, {u"ERROR: /reg:32 and /reg:64"}},
      {queryK, nullptr, 1, {NOT_FOUND}, {u"x", REG_NONE, nullptr}},
      // Every type written and read back, in the registry and by query.
      {addK + u" /v Num /t reg_dword /d 0x2A",
       nullptr,
       0,
       {u"completed successfully"},
       {u"Num", REG_DWORD, "2A000000"}},
      {u"ADD hkey_current_user\\Software\\ZelTest\\zelreg -V Max -T REG_DWORD -D 4294967295",
       nullptr,
       0,
       {},
       {u"Max", REG_DWORD, "FFFFFFFF"}},
      {addK + u" /v Bin /t REG_BINARY /d 00ff7F", nullptr, 0, {}, {u"Bin", REG_BINARY, "00FF7F"}},
      {addK + u" /v Multi /t REG_MULTI_SZ /d a\\0bc",
       nullptr,
       0,
       {},
       {u"Multi", REG_MULTI_SZ, "610000006200630000000000"}},
      {addK + u" /v Sep /t REG_MULTI_SZ /s # /d x#y", nullptr, 0, {}},
      {addK + u" /v Exp /t REG_EXPAND_SZ /d %TEMP%\\x",
       nullptr,
       0,
       {},
       {u"Exp", REG_EXPAND_SZ, "2500540045004D00500025005C0078000000"}},
      {addK + u" /v Text /d plain", nullptr, 0, {}, {u"Text", REG_SZ, "70006C00610069006E000000"}},
      {addK + u" /ve /d def", nullptr, 0, {}},
      {u"add " SUB u" /v " NAME u" /d " TEXT, nullptr, 0, {}},
      {queryK,
       nullptr,
       0,
       {u"\n" KEY_LONG u"\n", u"    (Default)    REG_SZ    def\n",
        u"    Num    REG_DWORD    0x2a\n", u"    Max    REG_DWORD    0xffffffff\n",
        u"    Bin    REG_BINARY    00FF7F\n", u"    Multi    REG_MULTI_SZ    a\\0bc\n",
        u"    Sep    REG_MULTI_SZ    x\\0y\n", u"    Exp    REG_EXPAND_SZ    %TEMP%\\x\n",
        u"\n" KEY_LONG u"\\\u041A\u043B\u044E\u0447\n"}},
      {u"query " SUB u" /v " NAME, nullptr, 0, {u"    " NAME u"    REG_SZ    " TEXT u"\n"}},
      {queryK + u" /v " NAME, nullptr, 1, {NOT_FOUND}},
      {queryK + u" /s",
       nullptr,
       0,
       {u"    Num    REG_DWORD    0x2a\n", NAME u"    REG_SZ    " TEXT}},
      // Changing an existing value asks first; only yes goes ahead.
      {addK + u" /v Num /t REG_DWORD /d 7",
       nullptr,
       2,
       {u"Value Num exists", u"cancelled"},
       {u"Num", REG_DWORD, "2A000000"}},
      {addK + u" /v Num /t REG_DWORD /d 7", "no\n", 2, {}, {u"Num", REG_DWORD, "2A000000"}},
      {addK + u" /v Num /t REG_DWORD /d 7", "Yes\n", 0, {}, {u"Num", REG_DWORD, "07000000"}},
      {addK + u" /v Num /t REG_DWORD /d 8 /f", nullptr, 0, {}, {u"Num", REG_DWORD, "08000000"}},
      {u"delete " KEY u" /v Text",
       nullptr,
       2,
       {u"cancelled"},
       {u"Text", REG_SZ, "70006C00610069006E000000"}},
      {u"delete " KEY u" /v text /f", nullptr, 0, {}, {u"Text", REG_NONE, nullptr}},
      {u"delete " KEY u" /v Text /f", nullptr, 1, {NOT_FOUND}},
      // Export, remove the tree, import it back.
      {u"export " KEY u" tree.txt", nullptr, 0, {u"completed successfully"}},
      {u"export " KEY u" tree.txt", nullptr, 2, {u"exists, overwrite", u"cancelled"}},
      {u"export " KEY u" tree.txt /y", nullptr, 0, {}},
      {u"delete HKCU /f", nullptr, 1, {u"ERROR: A root key cannot be deleted"}},
      {u"delete " KEY, nullptr, 2, {u"cancelled"}, {u"Num", REG_DWORD, "08000000"}},
      {u"delete " KEY u" /f", nullptr, 0, {}, {u"Num", REG_NONE, nullptr}},
      {queryK, nullptr, 1, {NOT_FOUND}},
      {u"import missing.txt", nullptr, 1, {u"ERROR: The file", u"cannot be found"}},
      {u"import tree.txt", nullptr, 0, {}, {u"Num", REG_DWORD, "08000000"}},
      // The format pads binary data to whole 16-bit units.
      {queryK + u" /s",
       nullptr,
       0,
       {u"    Bin    REG_BINARY    00FF7F00\n", u"    Multi    REG_MULTI_SZ    a\\0bc\n",
        u"    Exp    REG_EXPAND_SZ    %TEMP%\\x\n", NAME u"    REG_SZ    " TEXT}},
      {u"delete " KEY u" /va /f", nullptr, 0, {}, {u"Max", REG_NONE, nullptr}},
      // The 32-bit view is a registry of its own.
      {u"add " LM_KEY u" /v View /d in32 /reg:32", nullptr, 0, {}},
      {u"query " LM_KEY u" /v View /reg:64", nullptr, 1, {NOT_FOUND}},
      {u"query " LM_KEY u" /v View /reg:32", nullptr, 0, {u"View    REG_SZ    in32"}},
      {u"query " LM_KEY u" /reg:32 /reg:64", nullptr, 1, {u"ERROR: Only one of /reg:32"}},
      // A tree is deleted in the view named, and only there.
      {u"add " LM_KEY u" /v View /d in64 /reg:64", nullptr, 0, {}},
      {u"delete " LM_KEY u" /f /reg:64", nullptr, 0, {}},
      {u"query " LM_KEY u" /v View /reg:32", nullptr, 0, {u"View    REG_SZ    in32"}},
      {u"delete " LM_KEY u" /f /reg:64", nullptr, 1, {NOT_FOUND}},
      // Keys deeper than one registry call may name.
      {addK + deep + u" /v Deep /d deep", nullptr, 0, {}},
      {queryK + deep + u" /v Deep", nullptr, 0, {u"Deep    REG_SZ    deep"}},
  };
}

TEST(Zelreg, RunsEachCommandLineAsTheTableSays) {
  const std::u16string program = zeltest::builtProgram(u"tools\\zelreg\\zelreg");
  ASSERT_FALSE(program.empty());
  removeRoots();
  ASSERT_TRUE(CreateDirectoryW(FOLDER.c_str(), nullptr));
  const std::vector<Case> table = cases();
  for (std::size_t i = 0; i < table.size(); ++i) {
    const Case &c = table[i];
    SCOPED_TRACE("case " + std::to_string(i) + ": zelreg " + zeltest::narrow(c.args));
    const std::optional<std::string> input =
        c.input ? std::optional<std::string>(c.input) : std::nullopt;
    EXPECT_EQ(zeltest::runProgram(program, c.args, FOLDER, input, FOLDER + u"output.txt"),
              c.exitCode);
    std::string output = zeltest::readFileBytes(FOLDER + u"output.txt");
    std::erase(output, '\r'); // text mode on Windows
    for (const std::u16string &expected : c.output) {
      EXPECT_NE(output.find(utf8(expected)), std::string::npos)
          << "expected: " << utf8(expected) << "\noutput:\n"
          << output;
    }
    if (c.exitCode == 1) {
      EXPECT_TRUE(output.starts_with("ERROR: ") || output.find("\nERROR: ") != std::string::npos)
          << output;
    }
    if (c.stored.name == nullptr)
      continue;
    const auto stored = storedValue(c.stored.name);
    if (c.stored.hex == nullptr) {
      EXPECT_FALSE(stored.has_value()) << zeltest::narrow(c.stored.name);
    } else {
      ASSERT_TRUE(stored.has_value()) << zeltest::narrow(c.stored.name);
      EXPECT_EQ(stored->first, c.stored.type);
      EXPECT_EQ(stored->second, c.stored.hex);
    }
  }
  removeRoots();
}

} // namespace
