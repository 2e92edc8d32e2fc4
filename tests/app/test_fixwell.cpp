// test_fixwell.cpp - the patch program end to end: each case prepares a
// machine (the suite's record and folder, users with Firefox profiles), runs
// the built program on it and checks byte for byte every file, registry
// value and patch-log record the run should have written, and that nothing
// else changed. Test roots, removed before and after each case: the suite's
// key, C:\ZelTestSuite and the user folders named "zeltest-...".
#include "zel_run_program.h"
#include "zel_test_support.h"
#include "zelsys/zelsys.h"

#include <cstring>
#include <optional>
#include <set>
#include <string>
#include <vector>

using namespace zelsys;
using namespace std::string_literals;

namespace {

const std::u16string SUITE_KEY = u"Software\\Korvel\\Velmora";
const std::u16string INSTALL = u"C:\\ZelTestSuite\\";
const std::u16string SUITE_EXTENSION = INSTALL + u"Qelt FireFox Extension\\";
const std::u16string OUTSIDE = INSTALL + u"outside\\";
// The program's current folder, where its log goes when the suite's folder
// is unknown.
const std::u16string WORK = INSTALL + u"work\\";
const std::u16string LOG = u"patchlog8201.txt";
const std::u16string EXTENSION = u"extensions\\{5D2A9E47-C3B1-4a86-9F0E-B71C4D6A2E58}\\";
const std::u16string USER = u"zeltest-";
const std::string ID = "5D2A9E47-C3B1-4a86-9F0E-B71C4D6A2E58";
const std::string OLD_RDF = "old install.rdf\r\n", OLD_MANIFEST = "old chrome.manifest\r\n";

const std::u16string QUESTION =
    u"This patch enables Velmora - Password Manager to store passwords from Mozilla "
    u"Firefox(TM)3.6 browser. Do you want to continue?";
const std::u16string NOT_APPLICABLE =
    u"This patch does not apply to this version of Velmora - Password Manager.";
const std::u16string COMPLETED = u"The installation of the patch has completed. Please restart "
                                 u"system to enable changes.";
const std::u16string FAILED = u"An unknown exception occurred, the patch installation failed.";

enum class Layout { Win7, XP };
std::u16string profilesBelowUser(Layout layout) {
  return layout == Layout::XP ? u"\\Application Data\\Mozilla\\Firefox\\Profiles\\"
                              : u"\\AppData\\Roaming\\Mozilla\\Firefox\\Profiles\\";
}

// ---- Files and keys through the platform interface -------------------------------

std::optional<std::string> readFile(const std::u16string &path) {
  const HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE)
    return std::nullopt;
  std::string bytes(GetFileSize(h, nullptr), '\0');
  DWORD got = 0;
  const BOOL read = ReadFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr);
  CloseHandle(h);
  return read && got == bytes.size() ? std::optional(bytes) : std::nullopt;
}

// Makes the folders of path on the way (all of them when it ends in "\").
void makeFolders(const std::u16string &path) {
  for (std::size_t at = path.find(u'\\', 3); at != std::u16string::npos;
       at = path.find(u'\\', at + 1))
    CreateDirectoryW(path.substr(0, at).c_str(), nullptr);
}

void writeFile(const std::u16string &path, const std::string &bytes) {
  makeFolders(path);
  const HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
  DWORD put = 0;
  EXPECT_TRUE(h != INVALID_HANDLE_VALUE &&
              WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &put, nullptr))
      << zeltest::narrow(path);
  CloseHandle(h);
}

// The names in a folder, without "." and "..".
std::set<std::u16string> entries(const std::u16string &folder) {
  std::set<std::u16string> names;
  WIN32_FIND_DATAW found{};
  const HANDLE h = FindFirstFileW((folder + u"*").c_str(), &found);
  for (BOOL more = h != INVALID_HANDLE_VALUE; more; more = FindNextFileW(h, &found))
    if (found.cFileName != u"."s && found.cFileName != u".."s)
      names.insert(found.cFileName);
  if (h != INVALID_HANDLE_VALUE)
    FindClose(h);
  return names;
}

using zeltest::removeTree;

bool exists(const std::u16string &path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

using Value = std::optional<std::pair<DWORD, std::string>>; // a value's type and bytes

std::string bytesOf(const std::u16string &text) {
  std::string bytes;
  for (char16_t unit : text)
    bytes += {static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
  return bytes;
}

void setValue(HKEY root, const std::u16string &key, REGSAM view, const char16_t *name, DWORD type,
              const std::string &bytes) {
  HKEY h = nullptr;
  ASSERT_EQ(RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, &h,
                            nullptr),
            0)
      << zeltest::narrow(key);
  EXPECT_EQ(RegSetValueExW(h, name, 0, type, reinterpret_cast<const BYTE *>(bytes.data()),
                           static_cast<DWORD>(bytes.size())),
            0);
  RegCloseKey(h);
}

void setText(HKEY root, const std::u16string &key, REGSAM view, const char16_t *name,
             const std::u16string &text, DWORD type = REG_SZ) {
  setValue(root, key, view, name, type, bytesOf(text + u'\0'));
}

void deleteValue(HKEY root, const std::u16string &key, const char16_t *name) {
  HKEY h = nullptr;
  if (RegOpenKeyExW(root, key.c_str(), 0, KEY_SET_VALUE, &h) == 0) {
    RegDeleteValueW(h, name);
    RegCloseKey(h);
  }
}

Value readValue(HKEY root, const std::u16string &key, REGSAM view, const char16_t *name) {
  HKEY h = nullptr;
  if (RegOpenKeyExW(root, key.c_str(), 0, KEY_READ | view, &h) != 0)
    return std::nullopt;
  DWORD type = 0;
  BYTE data[1024];
  DWORD size = sizeof data;
  const LSTATUS status = RegQueryValueExW(h, name, nullptr, &type, data, &size);
  RegCloseKey(h);
  if (status != 0)
    return std::nullopt;
  return std::pair(type, std::string(reinterpret_cast<const char *>(data), size));
}

bool machineIs64Bit() {
  SYSTEM_INFO info{};
  GetNativeSystemInfo(&info);
  return info.wProcessorArchitecture != PROCESSOR_ARCHITECTURE_INTEL;
}

// ---- The machine -------------------------------------------------------------------

// The folder holding every user folder, as the program finds it.
std::u16string profilesRoot() {
  WCHAR buffer[MAX_PATH] = {};
  DWORD size = MAX_PATH;
  if (!GetDefaultUserProfileDirectoryW(buffer, &size))
    return u"";
  const std::u16string folder(buffer);
  return folder.substr(0, folder.rfind(u'\\') + 1);
}

// For its lifetime an XP machine: on the substitute a machine folder of its
// own with the facts the patch reads (Windows 5.1, 32-bit with one registry
// view, XP's profile folders), under Wine the prefix's Windows version,
// restored afterwards since other tests share the prefix.
class XPMachine {
public:
  XPMachine() {
    if (CurrentHost() != HostKind::Substitute) {
      m_wineVersion = readValue(HKEY_CURRENT_USER, WINE, 0, u"Version");
      setText(HKEY_CURRENT_USER, WINE, 0, u"Version", u"winxp");
      return;
    }
    WCHAR machine[MAX_PATH] = {};
    m_machine.assign(machine, GetEnvironmentVariableW(u"ZEL_MACHINE", machine, MAX_PATH));
    SetEnvironmentVariableW(u"ZEL_MACHINE", (m_machine + u"-xp").c_str());
    setText(HKEY_LOCAL_MACHINE, u"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment",
            0, u"PROCESSOR_ARCHITECTURE", u"x86");
    const std::u16string version = u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
    setText(HKEY_LOCAL_MACHINE, version, 0, u"CurrentVersion", u"5.1");
    const std::u16string list = version + u"\\ProfileList";
    setText(HKEY_LOCAL_MACHINE, list, 0, u"ProfilesDirectory",
            u"%SystemDrive%\\Documents and Settings", REG_EXPAND_SZ);
    setText(HKEY_LOCAL_MACHINE, list, 0, u"DefaultUserProfile", u"Default User");
    deleteValue(HKEY_LOCAL_MACHINE, list, u"Default"); // Vista's name would win over XP's
    makeFolders(u"C:\\Documents and Settings\\");
  }
  ~XPMachine() {
    if (CurrentHost() == HostKind::Substitute)
      SetEnvironmentVariableW(u"ZEL_MACHINE", m_machine.c_str());
    else if (m_wineVersion)
      setValue(HKEY_CURRENT_USER, WINE, 0, u"Version", m_wineVersion->first, m_wineVersion->second);
    else
      deleteValue(HKEY_CURRENT_USER, WINE, u"Version");
  }
  XPMachine(const XPMachine &) = delete;
  XPMachine &operator=(const XPMachine &) = delete;

private:
  const std::u16string WINE = u"Software\\Wine";
  std::u16string m_machine;
  Value m_wineVersion;
};

// Removes every test root of the current machine.
void removeTestRoots(const std::u16string &root) {
  for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
    HKEY h = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Korvel", 0, KEY_ALL_ACCESS | view, &h) != 0)
      continue;
    SHDeleteKeyW(h, u"Velmora");
    DWORD keys = 1, values = 1;
    RegQueryInfoKeyW(h, nullptr, nullptr, nullptr, &keys, nullptr, nullptr, &values, nullptr,
                     nullptr, nullptr, nullptr);
    RegCloseKey(h);
    // The maker's key goes too when nothing else is in it: the record made it.
    if (keys == 0 && values == 0 &&
        RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software", 0, KEY_ALL_ACCESS | view, &h) == 0) {
      RegDeleteKeyW(h, u"Korvel");
      RegCloseKey(h);
    }
  }
  // Users first: a link in them must go while its target is still there.
  for (const std::u16string &name : entries(root))
    if (name.starts_with(USER))
      removeTree(root + name);
  removeTree(INSTALL.substr(0, INSTALL.size() - 1));
}

// ---- Cases -------------------------------------------------------------------------

// A Firefox profile: its extensions.cache (none: absent), what a visit
// leaves of it, whether the extension lives in it, and whether the run
// visits it at all.
struct Profile {
  std::u16string user, name;
  std::optional<std::string> cache, patched;
  bool extension = true;
  bool visited = true;
  bool otherLayout = false; // where this machine's Firefox does not live
};

// Every case's users: the cache rules, profiles with and without the
// extension, and a profile where only the other Windows layout would look.
std::vector<Profile> commonProfiles() {
  const std::u16string anna = USER + u"anna", ben = USER + u"ben";
  return {
      {anna, u"crlf.default", "a=1\r\nx" + ID + "y\r\nb=2\r\n" + ID + "\r\n", "a=1\r\nb=2\r\n"},
      {anna, u"one line", "no line end " + ID + " at all", ""s, false},
      {anna, u"plain", "no line end, no identifier"s, "no line end, no identifier"s, false},
      {anna, u"no cache", std::nullopt, std::nullopt},
      {ben, u"lower case", "keep 5d2a9e47-c3b1-4a86-9f0e-b71c4d6a2e58\r\n"s,
       "keep 5d2a9e47-c3b1-4a86-9f0e-b71c4d6a2e58\r\n"s},
      // A lone LF or CR ends no line; the last line ends without CR LF.
      {ben, u"last line", "x\nhalf " + ID + "\r\nkeep\rcr\r\nlast " + ID + "\r", "keep\rcr\r\n"s},
      {ben, u"zeros", "a\0b\r\n\0"s + ID + "\r\n", "ab\r\n"s},
      {ben, u"mark", "\xFF\xFEhi\xE9\x80\r\n" + ID + "\r\n", "hi\xE9\x80\r\n"s},
      {ben, u"empty", ""s, ""s},
      {USER + u"decoy", u"elsewhere", ID + "\r\n", ""s, true, false, true},
  };
}

enum class Extra { None, AllUsers, LowerAllUsers, ManyUsers, Link, MissingFile, EarlierLog };

struct Case {
  const char *what;
  const char16_t *arguments;
  const char *input;       // the answers typed; null: nobody can answer a box
  const char16_t *version; // null: the suite is not installed
  INT answer;              // recorded for the first box: the question, or 1130
  Layout layout = Layout::Win7;
  Extra extra = Extra::None;
};

const Case CASES[] = {
    {"silent", u"/s", nullptr, u"8.0.1", 1},
    {"-S among other words", u"x -S y", nullptr, u"8.", 1},
    {"a path holding /s", u"C:\\temp/sub", nullptr, u"8.2", 1},
    {"answered OK", u"", "OK\nOK\n", u"8.0", 1},
    {"answered Cancel; /q is not silent", u"/q", "Cancel\n", u"8.0", 2},
    {"no box can be shown", u"", nullptr, u"8.0", 0},
    {"suite not installed", u"/s", nullptr, nullptr, 1},
    {"version 80.1", u"-s", nullptr, u"80.1", 1},
    {"version 18.0", u"/S", nullptr, u"18.0", 1},
    {"Windows XP", u"/s", nullptr, u"8.1", 1, Layout::XP},
    {"All Users", u"/s", nullptr, u"8.0", 1, Layout::Win7, Extra::AllUsers},
    {"all users", u"/s", nullptr, u"8.0", 1, Layout::Win7, Extra::LowerAllUsers},
    {"more than 100 users", u"/s", nullptr, u"8.0", 1, Layout::Win7, Extra::ManyUsers},
    {"a link to a folder outside", u"/s", nullptr, u"8.0", 1, Layout::Win7, Extra::Link},
    {"chrome.manifest missing beside the program", u"/s", nullptr, u"8.0", 1, Layout::Win7,
     Extra::MissingFile},
    {"a log of an earlier run", u"/s", nullptr, u"8.0", 1, Layout::Win7, Extra::EarlierLog},
};

std::u16string decimal(int n) {
  const std::string digits = std::to_string(n);
  return std::u16string(digits.begin(), digits.end());
}

std::u16string record(const std::u16string &text, INT answer) {
  return text + u" User select: " + decimal(answer) + u"\r\n" + u'\0';
}

// What the extension folder holds after a run that replaced its files or
// not; a copy that fails leaves the old file in place and no backup.
void expectExtension(const std::u16string &folder, bool replaced, bool manifestFails,
                     const std::string &rdf, const std::string &manifest) {
  SCOPED_TRACE(zeltest::narrow(folder));
  EXPECT_EQ(readFile(folder + u"install.rdf"), replaced ? rdf : OLD_RDF);
  EXPECT_EQ(readFile(folder + u"install.rdf.bak"),
            replaced ? std::optional(OLD_RDF) : std::nullopt);
  const bool manifestReplaced = replaced && !manifestFails;
  EXPECT_EQ(readFile(folder + u"chrome.manifest"), manifestReplaced ? manifest : OLD_MANIFEST);
  EXPECT_EQ(readFile(folder + u"chrome.manifest.bak"),
            manifestReplaced ? std::optional(OLD_MANIFEST) : std::nullopt);
}

void plantExtension(const std::u16string &folder) {
  writeFile(folder + u"install.rdf", OLD_RDF);
  writeFile(folder + u"chrome.manifest", OLD_MANIFEST);
}

} // namespace

TEST(Fixwell, PatchesTheSuiteAndEveryFirefoxProfile) {
  const std::u16string program = zeltest::builtProgram(u"app\\fixwell");
  const std::u16string besideProgram = program.substr(0, program.rfind(u'\\') + 1);
  const auto rdf = readFile(besideProgram + u"install.rdf");
  const auto manifest = readFile(besideProgram + u"chrome.manifest");
  ASSERT_TRUE(exists(program) && rdf && manifest)
      << "build the program first: " << zeltest::narrow(program);

  for (std::size_t i = 0; i < std::size(CASES); ++i) {
    const Case &c = CASES[i];
    SCOPED_TRACE(testing::Message() << "case " << i << ": " << c.what);
    // Typed answers reach only the substitute's boxes; on Windows itself a
    // box would wait for someone at the screen, and XP is a Wine setting.
    const HostKind host = CurrentHost();
    if ((c.input && host != HostKind::Substitute) ||
        (host == HostKind::Windows && (c.answer == 0 || c.layout == Layout::XP)))
      continue;
    std::optional<XPMachine> xp;
    if (c.layout == Layout::XP)
      xp.emplace();
    const std::u16string root = profilesRoot();
    ASSERT_FALSE(root.empty());
    removeTestRoots(root);

    // The machine as the case wants it.
    if (c.version) {
      setText(HKEY_LOCAL_MACHINE, SUITE_KEY, KEY_WOW64_32KEY, u"Version", c.version);
      setText(HKEY_LOCAL_MACHINE, SUITE_KEY, KEY_WOW64_32KEY, u"InstallPath", INSTALL);
    }
    plantExtension(SUITE_EXTENSION);
    std::vector<Profile> profiles = commonProfiles();
    if (c.extra == Extra::MissingFile)
      profiles.resize(1); // the failures come in a known order
    const Layout other = c.layout == Layout::XP ? Layout::Win7 : Layout::XP;
    // Windows keeps "All Users" apart; the case cannot run where it exists.
    const std::u16string allUsers = c.extra == Extra::AllUsers ? u"All Users" : u"all users";
    const bool ownsAllUsers = !exists(root + allUsers);
    if (ownsAllUsers && (c.extra == Extra::AllUsers || c.extra == Extra::LowerAllUsers))
      profiles.push_back({allUsers, u"p", ID + "\r\n", ""s, true, c.extra != Extra::AllUsers});
    for (int n = 0; c.extra == Extra::ManyUsers && n < 103; ++n)
      profiles.push_back({USER + decimal(n), u"p", "k\r\n" + ID, "k\r\n"s});
    auto folderOf = [&](const Profile &p) {
      return root + p.user + profilesBelowUser(p.otherLayout ? other : c.layout) + p.name + u"\\";
    };
    for (const Profile &p : profiles) {
      makeFolders(folderOf(p));
      if (p.cache)
        writeFile(folderOf(p) + u"extensions.cache", *p.cache);
      if (p.extension)
        plantExtension(folderOf(p) + EXTENSION);
    }
    // One user's tree outside, reached through a link at each level of the
    // walk: a user, a Firefox profile, and a profile's extensions folder.
    const std::string outsideCache = "outside " + ID + "\r\n";
    const std::u16string outside = OUTSIDE + profilesBelowUser(c.layout).substr(1) + u"p\\";
    if (c.extra == Extra::Link) {
      writeFile(outside + u"extensions.cache", outsideCache);
      plantExtension(outside + EXTENSION);
      const std::u16string profilesFolder = root + USER + u"link" + profilesBelowUser(c.layout);
      makeFolders(profilesFolder + u"real\\");
      for (const auto &[link, target] :
           {std::pair(root + USER + u"alias", OUTSIDE),
            std::pair(profilesFolder + u"linked", outside),
            std::pair(profilesFolder + u"real\\extensions", outside + u"extensions")}) {
        ASSERT_TRUE(zeltest::makeFolderLink(link, target)) << zeltest::narrow(link);
        ASSERT_NE(GetFileAttributesW(link.c_str()) & FILE_ATTRIBUTE_REPARSE_POINT, 0u);
      }
    }
    // A copy of the program without chrome.manifest beside it.
    std::u16string run = program;
    if (c.extra == Extra::MissingFile) {
      run = INSTALL + u"lonely" + program.substr(program.rfind(u'\\'));
      writeFile(INSTALL + u"lonely\\install.rdf", *rdf);
      ASSERT_TRUE(CopyFileW(program.c_str(), run.c_str(), TRUE));
    }

    // Records are appended to a log that exists, without a second mark.
    const std::u16string earlier = record(u"earlier", 2);
    if (c.extra == Extra::EarlierLog)
      writeFile(INSTALL + LOG, "\xFF\xFE" + bytesOf(earlier));
    makeFolders(WORK);
    const auto input = c.input ? std::optional<std::string>(c.input) : std::nullopt;
    EXPECT_EQ(zeltest::runProgram(run, c.arguments, WORK, input), 0);

    // What the run should have left.
    const bool applies = c.version && std::u16string(c.version).starts_with(u"8.");
    const bool applied = applies && c.answer == 1;
    const bool fails = c.extra == Extra::MissingFile;
    std::u16string expected = c.extra == Extra::EarlierLog ? earlier : u""s;
    expected += record(applies ? QUESTION : NOT_APPLICABLE, c.answer);
    auto failedCopy = [&](const std::u16string &folder) {
      if (fails)
        expected +=
            record(FAILED, 1) + u"Failed to update file " + folder + u"chrome.manifest\r\n" + u'\0';
    };
    if (applied)
      failedCopy(SUITE_EXTENSION);
    expectExtension(SUITE_EXTENSION, applied, fails, *rdf, *manifest);
    for (const Profile &p : profiles) {
      SCOPED_TRACE(zeltest::narrow(folderOf(p)));
      const bool visited = applied && p.visited;
      EXPECT_EQ(readFile(folderOf(p) + u"extensions.cache"), visited ? p.patched : p.cache);
      // Nothing made beside the cache, not even for a moment's use.
      std::set<std::u16string> names;
      if (p.cache)
        names.insert(u"extensions.cache");
      if (p.extension) {
        names.insert(u"extensions");
        expectExtension(folderOf(p) + EXTENSION, visited, fails, *rdf, *manifest);
        if (visited)
          failedCopy(folderOf(p) + EXTENSION);
      }
      EXPECT_EQ(entries(folderOf(p)), names);
    }
    if (c.extra == Extra::Link) {
      EXPECT_EQ(readFile(outside + u"extensions.cache"), outsideCache);
      expectExtension(outside + EXTENSION, false, false, *rdf, *manifest);
    }
    // "Done" is said, and recorded, only when the suite's files were replaced.
    const bool recorded = applied && !fails;
    if (recorded)
      expected += record(COMPLETED, 1);

    const std::u16string patch = SUITE_KEY + u"\\Patch\\8201";
    auto text = [&](const char16_t *t) {
      return recorded ? Value({REG_SZ, bytesOf(t + u"\0"s)}) : std::nullopt;
    };
    EXPECT_EQ(readValue(HKEY_LOCAL_MACHINE, patch, KEY_WOW64_32KEY, u"description"),
              text(u"Modification make password manager support FireFox3.6."));
    EXPECT_EQ(readValue(HKEY_LOCAL_MACHINE, patch, KEY_WOW64_32KEY, u"updated"),
              text(u"install.rdf"));
    // The 64-bit view holds no record of a 32-bit program.
    EXPECT_TRUE(!machineIs64Bit() ||
                !readValue(HKEY_LOCAL_MACHINE, patch, KEY_WOW64_64KEY, u"description"));

    // The patch log: one byte-order mark, then the records.
    const std::string log = readFile((c.version ? INSTALL : WORK) + LOG).value_or("");
    EXPECT_FALSE(exists((c.version ? WORK : INSTALL) + LOG));
    std::u16string units(log.size() / 2, u'\0');
    std::memcpy(units.data(), log.data(), units.size() * 2); // little-endian, as the log
    if (c.answer == 0)
      ZEL_EXPECT_GAP_ON_WINE(units == u'\xFEFF' + expected,
                             "Wine's MessageBoxW answers -1 where no box can be shown");
    else
      EXPECT_EQ(log, "\xFF\xFE" + bytesOf(expected)) << zeltest::narrow(units);

    if (ownsAllUsers)
      removeTree(root + allUsers);
    removeTestRoots(root);
  }
}
