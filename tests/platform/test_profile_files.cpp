// test_profile_files.cpp - conformance of the profile (INI) file calls and
// of CZELIni over them. Everything lives under C:\FixwellIniTest, removed
// before and after each test.
#include "zel_ini.h"
#include "zel_run_program.h"
#include "zel_test_support.h"
#include "zelsys/files.h"
#include "zelsys/filesecurity.h"
#include "zelsys/kernel.h"
#include "zelsys/process.h"
#include "zelsys/profilefiles.h"
#include "zelsys/security.h"
#include "zelsys/winconst.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

using namespace zelsys;

namespace {

const std::u16string ROOT = u"C:\\FixwellIniTest";
const std::u16string FILE_NAME = ROOT + u"\\test.ini";
constexpr WCHAR PATTERN = 0xABCD;

using File = std::unique_ptr<void, BOOL (*)(HANDLE)>;

bool writeBytes(const std::u16string &path, const std::string &bytes) {
  File file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                        FILE_ATTRIBUTE_NORMAL, nullptr),
            CloseHandle);
  DWORD written = 0;
  return file.get() != INVALID_HANDLE_VALUE &&
         WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
         written == bytes.size();
}

const char16_t *orNull(const std::u16string &text) {
  return text == u"<null>" ? nullptr : text.c_str();
}

// What a read call returned, and the buffer up to that many units and the
// zeros that close it (one for text, two for a list), zeros shown as "|".
struct Read {
  DWORD result;
  std::u16string text;
};

template <typename Call> Read readWith(DWORD size, DWORD zeros, Call call) {
  std::vector<WCHAR> buffer(size + 8, PATTERN);
  const DWORD result = call(buffer.data(), size);
  std::u16string text;
  for (DWORD at = 0; at < size && at < result + zeros && buffer[at] != PATTERN; ++at)
    text += buffer[at] == 0 ? u'|' : buffer[at];
  return {result, text};
}

Read getString(const std::u16string &section, const std::u16string &key, DWORD size = 64) {
  const DWORD zeros = section == u"<null>" || key == u"<null>" ? 2 : 1;
  return readWith(size, zeros, [&](WCHAR *buffer, DWORD units) {
    return GetPrivateProfileStringW(orNull(section), orNull(key), u"dflt  ", buffer, units,
                                    FILE_NAME.c_str());
  });
}

Read getSection(const std::u16string &section, DWORD size = 64) {
  return readWith(size, 2, [&](WCHAR *buffer, DWORD units) {
    return GetPrivateProfileSectionW(section.c_str(), buffer, units, FILE_NAME.c_str());
  });
}

void removeTree(const std::u16string &path) {
  WIN32_FIND_DATAW data;
  const HANDLE hFind = FindFirstFileW((path + u"\\*").c_str(), &data);
  for (bool more = hFind != INVALID_HANDLE_VALUE; more; more = FindNextFileW(hFind, &data)) {
    const std::u16string name = data.cFileName;
    if (name != u"." && name != u"..")
      DeleteFileW((path + u"\\" + name).c_str());
  }
  if (hFind != INVALID_HANDLE_VALUE)
    FindClose(hFind);
  RemoveDirectoryW(path.c_str());
}

// The owner, group and access list of a file, as one block; empty when
// they cannot be read.
std::vector<BYTE> identityOf(const std::u16string &path) {
  const SECURITY_INFORMATION what =
      OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
  DWORD cbNeeded = 0;
  GetFileSecurityW(path.c_str(), what, nullptr, 0, &cbNeeded);
  std::vector<BYTE> sd(cbNeeded);
  if (cbNeeded == 0 || !GetFileSecurityW(path.c_str(), what, sd.data(), cbNeeded, &cbNeeded))
    sd.clear();
  return sd;
}

// Gives the file to the emulated machine's user 1000, where the platform
// lets this process give files away (elsewhere the file stays as it is).
bool giveAway(const std::u16string &path) {
  SID_IDENTIFIER_AUTHORITY nt = {{0, 0, 0, 0, 0, 5}};
  PSID pUser = nullptr;
  if (!AllocateAndInitializeSid(&nt, 5, 21, 3520415761u, 2417853016u, 1264082235u, 1000, 0, 0, 0,
                                &pUser))
    return false;
  std::u16string name = path;
  const DWORD dwError = SetNamedSecurityInfoW(
      name.data(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, pUser, nullptr, nullptr, nullptr);
  FreeSid(pUser);
  return dwError == ERROR_SUCCESS;
}

class ProfileFiles : public ::testing::Test {
protected:
  void SetUp() override {
    removeTree(ROOT);
    ASSERT_TRUE(CreateDirectoryW(ROOT.c_str(), nullptr)) << GetLastError();
  }
  void TearDown() override { removeTree(ROOT); }
};

TEST_F(ProfileFiles, WritesReadBackAsDocumented) {
  // Each step writes (section, key, value; "<null>" for a null pointer, an
  // empty key for a section write with the value as its list) and then
  // reads (section, key) with a 12-unit buffer.
  struct Step {
    const char16_t *section, *key, *value;
    const char16_t *readSection, *readKey;
    DWORD result;
    const char16_t *text;
  };
  const Step steps[] = {
      {u"Sec", u"Key", u"value", u"sec", u"KEY", 5, u"value|"},
      {u"SEC", u"key", u"  spaced  ", u"Sec", u"Key", 6, u"spaced|"},
      {u"Sec", u"Two", u"\"quoted\"", u"Sec", u"two", 6, u"quoted|"},
      {u"Sec", u"Long", u"0123456789abc", u"Sec", u"Long", 11, u"0123456789a|"},
      {u"Other", u"x", u"1", u"<null>", u"", 10, u"Sec|Other||"},
      {u"Sec", u"Long", u"<null>", u"Sec", u"<null>", 8, u"Key|Two||"},
      {u"Sec", u"Missing", u"<null>", u"Sec", u"Missing", 4, u"dflt|"},
      {u"Sec", u"<null>", u"<null>", u"<null>", u"", 6, u"Other||"},
      {u"Gone", u"<null>", u"<null>", u"Gone", u"x", 4, u"dflt|"},
      {u"Other", u"", u"a=1|b=2", u"Other", u"<null>", 4, u"a|b||"},
      {u"Other", u"", u"<null>", u"Other", u"a", 4, u"dflt|"},
      {u"Sec", u"Key", u"x", u"Sec", u"<null>", 4, u"Key||"},
  };
  int index = 0;
  for (const Step &step : steps) {
    SCOPED_TRACE("step " + std::to_string(index++));
    BOOL written = FALSE;
    if (std::u16string(step.key).empty()) {
      std::u16string list = step.value;
      for (auto &unit : list)
        unit = unit == u'|' ? 0 : unit;
      list += u'\0';
      written = WritePrivateProfileSectionW(
          step.section, orNull(step.value) ? list.c_str() : nullptr, FILE_NAME.c_str());
    } else {
      written = WritePrivateProfileStringW(step.section, orNull(step.key), orNull(step.value),
                                           FILE_NAME.c_str());
    }
    EXPECT_TRUE(written) << GetLastError();
    const Read read = getString(step.readSection, step.readKey, 12);
    EXPECT_EQ(read.result, step.result);
    EXPECT_EQ(zeltest::narrow(read.text), zeltest::narrow(step.text));
  }
  EXPECT_EQ(zeltest::readFileBytes(FILE_NAME), "[Sec]\r\nKey=x\r\n");
}

TEST_F(ProfileFiles, NumbersListsAndCutsFollowTheSizeRules) {
  ASSERT_TRUE(writeBytes(FILE_NAME, "; head\r\n[S]\r\n seven = 7 \r\nminus=-1\r\ntail=12ab\n"
                                    "empty=\r\n;c=3\r\nbare\r\n"));
  const UINT dflt = 99;
  EXPECT_EQ(GetPrivateProfileIntW(u"s", u"SEVEN", dflt, FILE_NAME.c_str()), 7u);
  EXPECT_EQ(GetPrivateProfileIntW(u"S", u"minus", dflt, FILE_NAME.c_str()), 0xFFFFFFFFu);
  EXPECT_EQ(GetPrivateProfileIntW(u"S", u"tail", dflt, FILE_NAME.c_str()), 12u);
  EXPECT_EQ(GetPrivateProfileIntW(u"S", u"c", dflt, FILE_NAME.c_str()), dflt) << "a comment";
  EXPECT_EQ(GetPrivateProfileIntW(u"S", u"none", dflt, FILE_NAME.c_str()), dflt);
  const std::u16string all = u"seven=7|minus=-1|tail=12ab|empty=|bare||";
  EXPECT_EQ(zeltest::narrow(getSection(u"S").text), zeltest::narrow(all));
  EXPECT_EQ(getSection(u"S").result, all.size() - 1);
  // Cut lists answer size - 2, cut text size - 1; both stay closed.
  const Read cut = getSection(u"S", 10);
  EXPECT_EQ(cut.result, 8u);
  EXPECT_EQ(cut.text.substr(8, 1), u"|");
  ZEL_EXPECT_GAP_ON_WINE(cut.text.substr(8) == u"||",
                         "Wine closes a cut list with one zero, not the two documented");
  EXPECT_EQ(getString(u"S", u"tail", 4).result, 3u);
  EXPECT_EQ(zeltest::narrow(getString(u"S", u"tail", 4).text), "12a|");
  EXPECT_EQ(getSection(u"missing").result, 0u);
  EXPECT_EQ(zeltest::narrow(getSection(u"missing").text), "||");
  WCHAR names[8];
  EXPECT_EQ(GetPrivateProfileSectionNamesW(names, 8, (ROOT + u"\\none.ini").c_str()), 0u);
}

TEST_F(ProfileFiles, FilesAsWindowsWritesThemReadTheSame) {
  // A new file is code page 1252: "é" is E9, "€" is 80.
  ASSERT_TRUE(WritePrivateProfileStringW(u"Sec", u"key", u"caf\u00e9 \u20ac", FILE_NAME.c_str()));
  EXPECT_EQ(zeltest::readFileBytes(FILE_NAME), "[Sec]\r\nkey=caf\xE9 \x80\r\n");
  ASSERT_TRUE(writeBytes(FILE_NAME, "[S]\r\nk=\xE9\x80\x81\r\n"));
  EXPECT_EQ(getString(u"S", u"k").text, u"\u00e9\u20ac\u0081|");
  // A UTF-16 file (with its mark) is read and kept as UTF-16.
  const std::u16string wide = u"[S]\r\nk=\u03a9\r\n";
  ASSERT_TRUE(writeBytes(
      FILE_NAME, std::string("\xFF\xFE") +
                     std::string(reinterpret_cast<const char *>(wide.data()), 2 * wide.size())));
  EXPECT_EQ(getString(u"S", u"k").text, u"\u03a9|");
  ASSERT_TRUE(WritePrivateProfileStringW(u"S", u"n", u"\u0416", FILE_NAME.c_str()));
  EXPECT_EQ(zeltest::readFileBytes(FILE_NAME).substr(0, 4), std::string("\xFF\xFE[\0", 4));
  EXPECT_EQ(getString(u"S", u"n").text, u"\u0416|");
  // A name without a folder is a file in the Windows folder.
  const std::u16string bare = u"FixwellIniTest.ini";
  ASSERT_TRUE(WritePrivateProfileStringW(u"S", u"k", u"v", bare.c_str()));
  EXPECT_EQ(zeltest::readFileBytes(u"C:\\Windows\\" + bare), "[S]\r\nk=v\r\n");
  EXPECT_TRUE(DeleteFileW((u"C:\\Windows\\" + bare).c_str()));
  // A character 1252 lacks, given to a 1252 file.
  const std::u16string other = ROOT + u"\\other.ini";
  ASSERT_TRUE(WritePrivateProfileStringW(u"S", u"k", u"\u03a9", other.c_str()));
  WCHAR buffer[8] = {};
  GetPrivateProfileStringW(u"S", u"k", u"", buffer, 8, other.c_str());
  ZEL_EXPECT_GAP_ON_WINE(std::u16string(buffer) == u"\u03a9",
                         "Windows writes a 1252 file and loses what the code page lacks");
}

// A user who owns the folder may have made any name in it before an
// administrator writes a profile file there: a link in the file's place, a
// file under the name the writer once used beside it. Nothing is written
// into such a name, and a rewritten file keeps its owner and access list.
// Windows writes through a link (only an administrator may make one
// there); the substitute, where any user may, refuses it.
TEST_F(ProfileFiles, WritesNeitherThroughALinkNorIntoNamesMadeBefore) {
  const struct {
    const char *what;
    bool link;
  } cases[] = {{"a file another account owns", false}, {"a link to a file elsewhere", true}};
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(cases[i].what);
    const std::string index = std::to_string(i);
    const std::u16string file = ROOT + u"\\app" + std::u16string(index.begin(), index.end());
    const std::u16string elsewhere = file + u".secret";
    const std::string pid = std::to_string(GetCurrentProcessId());
    const std::u16string planted = file + u"." + std::u16string(pid.begin(), pid.end()) + u"~";
    ASSERT_TRUE(writeBytes(elsewhere, "[s]\r\nk=secret\r\n"));
    ASSERT_TRUE(writeBytes(planted, "planted"));
    if (cases[i].link) {
      ASSERT_TRUE(zeltest::makeFileLink(file, elsewhere));
    } else {
      ASSERT_TRUE(writeBytes(file, "[s]\r\nk=old\r\n"));
      const bool given = giveAway(file);
      if (CurrentHost() == HostKind::Substitute) {
        EXPECT_TRUE(given);
      }
    }
    const std::vector<BYTE> identity = identityOf(file);
    SetLastError(0xdeadbeef);
    const BOOL written = WritePrivateProfileStringW(u"s", u"added", u"1", file.c_str());
    const DWORD dwError = GetLastError();
    EXPECT_EQ(zeltest::readFileBytes(planted), "planted");
    if (!cases[i].link) {
      EXPECT_TRUE(written) << dwError;
      EXPECT_EQ(zeltest::readFileBytes(file), "[s]\r\nk=old\r\nadded=1\r\n");
      EXPECT_EQ(identityOf(file), identity);
    } else if (CurrentHost() == HostKind::Substitute) {
      EXPECT_FALSE(written);
      EXPECT_EQ(dwError, ERROR_CANT_ACCESS_FILE);
      EXPECT_EQ(zeltest::readFileBytes(elsewhere), "[s]\r\nk=secret\r\n");
      EXPECT_NE(GetFileAttributesW(file.c_str()) & FILE_ATTRIBUTE_REPARSE_POINT, 0u);
    } else {
      EXPECT_TRUE(written) << dwError;
      EXPECT_EQ(zeltest::readFileBytes(elsewhere), "[s]\r\nk=secret\r\nadded=1\r\n");
    }
    // Reading follows a link everywhere, as on Windows.
    WCHAR value[16] = {};
    GetPrivateProfileStringW(u"s", u"k", u"", value, 16, file.c_str());
    EXPECT_EQ(zeltest::narrow(value), cases[i].link ? "secret" : "old");
    if (cases[i].link) {
      EXPECT_TRUE(zeltest::removeFileLink(file));
    }
  }
}

TEST_F(ProfileFiles, WritersOfSeveralThreadsLoseNothing) {
  std::vector<std::function<void()>> writers;
  for (int writer = 0; writer < 4; ++writer)
    writers.emplace_back([writer] {
      for (int entry = 0; entry < 25; ++entry) {
        const std::string key = std::to_string(writer) + "_" + std::to_string(entry);
        WritePrivateProfileStringW(u"S", std::u16string(key.begin(), key.end()).c_str(), u"1",
                                   FILE_NAME.c_str());
      }
    });
  ASSERT_TRUE(zeltest::runOnThreads(writers));
  std::vector<WCHAR> buffer(0x2000);
  const DWORD n = GetPrivateProfileSectionW(u"S", buffer.data(), 0x2000, FILE_NAME.c_str());
  EXPECT_EQ(std::count(buffer.begin(), buffer.begin() + n, u'='), 100);
}

TEST_F(ProfileFiles, IniClassReadsFailuresAsTheFrameworkDefines) {
  zeltest::RecordingSink sink;
  CZELIni ini(FILE_NAME.c_str());
  CZELIniLineList names;
  EXPECT_FALSE(ini.getProfileSectionNames(names)) << "no file";
  EXPECT_TRUE(ini.setProfileInt(u"N", u"seven", 7));
  EXPECT_TRUE(ini.setProfileInt(u"N", u"minus", -1));
  ZEL_LONG nValue = 0;
  EXPECT_TRUE(ini.getProfileInt(u"N", u"seven", &nValue));
  EXPECT_EQ(nValue, 7);
  EXPECT_FALSE(ini.getProfileInt(u"N", u"minus", &nValue));
  EXPECT_EQ(sink.countMessage(u"GetPrivateProfileInt( ) failed."), 1u);

  struct Case {
    std::u16string value;
    bool found;
  };
  const Case cases[] = {{std::u16string(1021, u'a'), true},
                        {std::u16string(1022, u'b'), false},
                        {std::u16string(1500, u'c'), false},
                        {u"Not Found", false},
                        {u"x", true}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.value.size());
    ASSERT_TRUE(ini.setProfileString(u"S", u"k", c.value.c_str()));
    CZELWCharString szValue;
    EXPECT_EQ(ini.getProfileString(u"S", u"k", szValue), c.found);
    EXPECT_EQ(szValue.getLength(), c.found ? c.value.size() : 0u);
  }
  CZELWCharString szValue;
  EXPECT_TRUE(ini.setProfileString(u"S", u"k", u""));
  EXPECT_FALSE(ini.getProfileString(u"S", u"k", szValue)) << "removed by an empty value";

  // A section whose list takes 32,765 units does not fit (the list is left
  // as it was); one unit less does.
  CZELIniLineList lines;
  lines.add(u"kept");
  ASSERT_TRUE(ini.setProfileString(u"Big", u"a", std::u16string(1000, u'a').c_str()));
  ASSERT_TRUE(ini.setProfileString(u"Big", u"b", std::u16string(1000, u'b').c_str()));
  for (const std::size_t total : {32765u, 32764u}) {
    // "a=..." and "b=..." take 1,003 units each with their zeros.
    ASSERT_TRUE(ini.setProfileString(u"Big", u"c", std::u16string(total - 2009, u'c').c_str()));
    const bool fits = total < 32765;
    EXPECT_EQ(ini.getProfileSection(u"Big", lines), fits) << total;
    EXPECT_EQ(lines.getCount(), fits ? 3u : 1u) << total;
  }
  EXPECT_TRUE(ini.getProfileSectionNames(names));
  EXPECT_EQ(names.getCount(), 3u);
  EXPECT_TRUE(ini.setProfileString(u"Big", u"", u""));
  EXPECT_TRUE(ini.createProfileSection(u"S"));
  EXPECT_FALSE(ini.getProfileSection(u"S", lines)) << "left without entries";

  // A failing write is logged once as itself; setProfileInt's also as
  // unhandled.
  sink.clear();
  CZELIni missing((ROOT + u"\\no\\such.ini").c_str());
  EXPECT_FALSE(missing.setProfileString(u"S", u"k", u"v"));
  EXPECT_FALSE(missing.setProfileInt(u"S", u"k", 1));
  EXPECT_FALSE(missing.createProfileSection(u"S"));
  EXPECT_EQ(sink.countMessage(u"Unable to write profile string ( section: S, key name: k )"), 2u);
  EXPECT_EQ(sink.countMessage(u"Unable to write profile section ( section: S )"), 1u);
  EXPECT_EQ(sink.countMessage(u"An unhandled exception occurred"), 1u);
}

} // namespace
