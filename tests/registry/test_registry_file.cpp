// test_registry_file.cpp - CZELRegistryFile, the registry text format, and
// the text selectors of CZELRegistryKey's export and import. Keys live
// under HKCU\Software\Fixwell\Test\RegFile (and the same path under HKLM for
// the unknown-root case), files under C:\FixwellRegFileTest; all of it is
// removed before and after each test.
#include "zel_ini.h"
#include "zel_registry_file.h"
#include "zel_registry_key.h"
#include "zel_test_support.h"

#include "zelsys/files.h"
#include "zelsys/kernel.h"
#include "zelsys/registry.h"
#include "zelsys/security.h"
#include "zelsys/winconst.h"

#include <cstdint>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

using namespace zelsys;

namespace {

const std::u16string ROOT = u"Software\\Fixwell\\Test\\RegFile";
const std::u16string SECTION = u"HKEY_CURRENT_USER\\" + ROOT;
const std::u16string FOLDER = u"C:\\FixwellRegFileTest";
const std::u16string FILE_NAME = FOLDER + u"\\keys.ini";
// A value the root-key case writes into HKEY_CURRENT_USER itself.
const char16_t ROOT_VALUE[] = u"FixwellRegFileTest";

typedef std::vector<std::uint8_t> Bytes;

Bytes bytesOf(const std::u16string &units) {
  Bytes bytes;
  for (char16_t unit : units) {
    bytes.push_back(static_cast<std::uint8_t>(unit & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
  }
  return bytes;
}

std::u16string path(const std::u16string &tail) {
  return tail.empty() ? ROOT : ROOT + u"\\" + tail;
}

void store(HKEY hRoot, const std::u16string &key, const char16_t *pszName, DWORD dwType,
           const Bytes &data) {
  HKEY hKey = nullptr;
  ASSERT_EQ(
      RegCreateKeyExW(hRoot, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &hKey, nullptr),
      0);
  EXPECT_EQ(RegSetValueExW(hKey, pszName, 0, dwType, data.data(), static_cast<DWORD>(data.size())),
            0);
  RegCloseKey(hKey);
}

struct Stored {
  LSTATUS result = 0;
  DWORD type = 0;
  Bytes data;
  bool operator==(const Stored &other) const {
    return result == other.result && type == other.type && data == other.data;
  }
};

// The value as the registry holds it (result 2 for a missing value or key).
Stored stored(HKEY hRoot, const std::u16string &key, const char16_t *pszName) {
  Stored value;
  HKEY hKey = nullptr;
  value.result = RegOpenKeyExW(hRoot, key.c_str(), 0, KEY_READ, &hKey);
  if (value.result != 0)
    return value;
  DWORD cbData = 0;
  value.result = RegQueryValueExW(hKey, pszName, nullptr, &value.type, nullptr, &cbData);
  value.data.resize(cbData);
  if (value.result == 0 && cbData != 0)
    value.result =
        RegQueryValueExW(hKey, pszName, nullptr, &value.type, value.data.data(), &cbData);
  RegCloseKey(hKey);
  return value;
}

bool keyExists(HKEY hRoot, const std::u16string &key) {
  HKEY hKey = nullptr;
  if (RegOpenKeyExW(hRoot, key.c_str(), 0, KEY_READ, &hKey) != 0)
    return false;
  RegCloseKey(hKey);
  return true;
}

using File = std::unique_ptr<void, BOOL (*)(HANDLE)>;

std::string readFile() { return zeltest::readFileBytes(FILE_NAME); }

// A new export file's bytes: UTF-16LE text with its byte-order mark.
std::string unicodeFile(const std::string &ascii) {
  std::string bytes("\xFF\xFE");
  for (char c : ascii)
    bytes += std::string{c, '\0'};
  return bytes;
}

void writeFile(const std::string &bytes) {
  CreateDirectoryW(FOLDER.c_str(), nullptr);
  File file(CreateFileW(FILE_NAME.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                        FILE_ATTRIBUTE_NORMAL, nullptr),
            CloseHandle);
  DWORD written = 0;
  ASSERT_NE(file.get(), INVALID_HANDLE_VALUE);
  ASSERT_TRUE(
      WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
}

std::vector<std::u16string> stringsOf(CZELIniLineList &list) {
  std::vector<std::u16string> strings;
  for (const CZELNode<CZELWCharString> *pNode = list.begin().getCursorNode(); pNode != nullptr;
       pNode = pNode->getNext())
    strings.push_back(zeltest::text(pNode->getItemRef().getBuffer()));
  return strings;
}

// A tree as the registry holds it: key path -> value name -> (type, data).
typedef std::map<std::u16string, std::map<std::u16string, Stored>> Tree;

// Reads the subtree of ROOT\tail through the platform calls alone.
void readTree(const std::u16string &key, Tree &tree) {
  HKEY hKey = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ, &hKey), 0) << "open";
  auto &values = tree[key];
  char16_t name[256];
  Bytes data(4096);
  for (DWORD i = 0;; ++i) {
    DWORD cchName = 256, cbData = static_cast<DWORD>(data.size()), type = 0;
    if (RegEnumValueW(hKey, i, name, &cchName, nullptr, &type, data.data(), &cbData) != 0)
      break;
    values[name] = Stored{0, type, Bytes(data.begin(), data.begin() + cbData)};
  }
  std::vector<std::u16string> children;
  for (DWORD i = 0;; ++i) {
    DWORD cchName = 256;
    if (RegEnumKeyExW(hKey, i, name, &cchName, nullptr, nullptr, nullptr, nullptr) != 0)
      break;
    children.push_back(key + u"\\" + name);
  }
  RegCloseKey(hKey);
  for (const std::u16string &child : children)
    readTree(child, tree);
}

// A generated tree of 1,000 keys, each the child of an earlier one, with
// names that have spaces and characters outside any single code page, and
// values of every type, the default value and empty keys among them. Stores
// it and returns what an export and import must restore: the named values
// of the five text types (bytes padded to an even count) and the keys that
// hold one or lead to one.
Tree storeGeneratedTree(const std::u16string &top) {
  static const char16_t *const WORDS[] = {u"alpha",
                                          u"two words",
                                          u"Gr\u00F6\u00DFe",
                                          u"caf\u00E9 au lait",
                                          u"\u03A9\u03BC\u03AD\u03B3\u03B1",
                                          u"\u65E5\u672C\u8A9E",
                                          u"na\u00EFve",
                                          u"x"};
  static const DWORD TYPES[] = {REG_DWORD,  REG_SZ,    REG_EXPAND_SZ, REG_MULTI_SZ,
                                REG_BINARY, REG_QWORD, REG_NONE};
  std::minstd_rand random(8201);
  auto pick = [&](std::size_t n) { return static_cast<std::size_t>(random() % n); };
  auto word = [&](std::size_t n) {
    return std::u16string(WORDS[pick(std::size(WORDS))]) + u" " +
           std::u16string(1, static_cast<char16_t>(u'0' + n % 10)) +
           std::u16string(1, static_cast<char16_t>(u'a' + n / 10 % 26)) +
           std::u16string(1, static_cast<char16_t>(u'a' + n / 260));
  };
  auto text = [&](std::size_t n) { return word(n) + u", \"quoted\" = " + word(n + 1); };
  std::vector<std::u16string> keys{top};
  Tree expected;
  for (std::size_t k = 1; k < 1000; ++k) {
    keys.push_back(keys[pick(keys.size())] + u"\\" + word(k));
    HKEY hKey = nullptr; // made first: some keys get no value
    RegCreateKeyExW(HKEY_CURRENT_USER, keys.back().c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                    &hKey, nullptr);
    RegCloseKey(hKey);
    for (std::size_t v = 0, count = pick(5); v < count; ++v) {
      const DWORD type = TYPES[pick(std::size(TYPES))];
      const std::u16string name = v == 0 && pick(8) == 0 ? u"" : word(v);
      Bytes data;
      if (type == REG_SZ || type == REG_EXPAND_SZ)
        data =
            bytesOf(std::u16string(type == REG_SZ ? text(k) : u"%SystemRoot%\\" + text(k)) + u'\0');
      else if (type == REG_MULTI_SZ)
        for (std::size_t s = 0, strings = 1 + pick(3); s <= strings; ++s) {
          const Bytes piece = bytesOf(s == strings ? std::u16string(1, u'\0') : text(s) + u'\0');
          data.insert(data.end(), piece.begin(), piece.end());
        }
      else
        for (std::size_t b = 0, size = type == REG_DWORD   ? 4
                                       : type == REG_QWORD ? 8
                                                           : pick(41);
             b < size; ++b)
          data.push_back(static_cast<std::uint8_t>(random()));
      store(HKEY_CURRENT_USER, keys.back(), name.empty() ? nullptr : name.c_str(), type, data);
      if (name.empty() || type == REG_QWORD || type == REG_NONE)
        continue;
      if (data.size() % 2 != 0)
        data.push_back(0);
      expected[keys.back()][name] = Stored{0, type, data};
    }
  }
  // Every key on the way to a restored value is restored as its parent.
  for (auto it = expected.begin(); it != expected.end(); ++it)
    for (std::size_t at = it->first.rfind(u'\\'); at > top.size() && at != std::u16string::npos;
         at = it->first.rfind(u'\\', at - 1))
      expected[it->first.substr(0, at)];
  expected[top];
  return expected;
}

bool exportTree(const std::u16string &tail, bool bOverwrite = true) {
  return CZELRegistryFile(CZELWCharString(FILE_NAME.c_str()))
      .exportKey(HKEY_CURRENT_USER, CZELWCharString(path(tail).c_str()), bOverwrite);
}

class RegistryFile : public ::testing::Test {
protected:
  void SetUp() override { clean(); }
  void TearDown() override { clean(); }
  static void clean() {
    SHDeleteKeyW(HKEY_CURRENT_USER, ROOT.c_str());
    SHDeleteKeyW(HKEY_LOCAL_MACHINE, ROOT.c_str());
    HKEY hKey = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, nullptr, 0, KEY_ALL_ACCESS, &hKey) == 0) {
      RegDeleteValueW(hKey, ROOT_VALUE);
      RegCloseKey(hKey);
    }
    DeleteFileW(FILE_NAME.c_str());
    RemoveDirectoryW(FOLDER.c_str());
  }
};

TEST_F(RegistryFile, ExportsTheFormatByteForByte) {
  // The folder is created by the export.
  store(HKEY_CURRENT_USER, path(u"Demo"), u"Count", REG_DWORD, {42, 0, 0, 0});
  store(HKEY_CURRENT_USER, path(u"Demo"), u"Name", REG_SZ, bytesOf(std::u16string(u"abc", 4)));
  store(HKEY_CURRENT_USER, path(u"Demo"), u"List", REG_MULTI_SZ,
        bytesOf(std::u16string(u"a\0bc\0\0", 6)));
  store(HKEY_CURRENT_USER, path(u"Demo"), u"Raw", REG_BINARY, {1, 2, 3});
  EXPECT_TRUE(CZELRegistryKey(HKEY_CURRENT_USER, CZELWCharString(path(u"Demo").c_str()))
                  .exportKey(CZELWCharString(FILE_NAME.c_str()),
                             CZELRegistryKey::EXPORT_TEXT_FORMAT, true));
  EXPECT_EQ(readFile(), unicodeFile(zeltest::narrow(u"[" + SECTION + u"\\Demo]\r\n") +
                                    "Count=REG_DWORD:0x0000002A\r\n"
                                    "Name=REG_SZ:\"abc\"\r\n"
                                    "List=REG_SZ_MULTI:61 00 00 00,62 00 63 00 00 00\r\n"
                                    "Raw=REG_BINARY:01 02 03 00\r\n"));
}

TEST_F(RegistryFile, WritesWhatTheFormatHoldsAndRestoresIt) {
  Bytes all(256);
  for (unsigned i = 0; i < all.size(); ++i)
    all[i] = static_cast<std::uint8_t>(i);
  const std::u16string expandable(u"%TEMP%\\x", 9), plain(u"no refs", 8);
  const Bytes multi = bytesOf(std::u16string(u"\u20AC1B\0\0", 5));
  store(HKEY_CURRENT_USER, path(u""), u"Dw", REG_DWORD, {0x1B, 0, 0, 0x80});
  store(HKEY_CURRENT_USER, path(u""), u"All", REG_BINARY, all);
  store(HKEY_CURRENT_USER, path(u""), u"Odd", REG_BINARY, {1, 2, 3});
  store(HKEY_CURRENT_USER, path(u""), u"Multi", REG_MULTI_SZ, multi);
  store(HKEY_CURRENT_USER, path(u""), u"Exp", REG_EXPAND_SZ, bytesOf(expandable));
  store(HKEY_CURRENT_USER, path(u""), u"Plain", REG_EXPAND_SZ, bytesOf(plain));
  store(HKEY_CURRENT_USER, path(u""), u"Q", REG_QWORD, {1, 2, 3, 4, 5, 6, 7, 8});
  store(HKEY_CURRENT_USER, path(u""), nullptr, REG_SZ, bytesOf(std::u16string(u"dflt", 5)));
  // A key with only a sub-key gets no section of its own.
  store(HKEY_CURRENT_USER, path(u"Parent\\Child"), u"N", REG_DWORD, {1, 0, 0, 0});
  // A line break would let a text write lines of its own, here a section
  // naming another key: the value is left out and the export says so.
  const std::u16string injected = u"x\r\n[" + SECTION + u"\\Injected]\r\nN=REG_DWORD:0x1";
  store(HKEY_CURRENT_USER, path(u""), u"Inject", REG_SZ,
        bytesOf(std::u16string(injected.c_str(), injected.size() + 1)));
  EXPECT_FALSE(exportTree(u""));

  CZELIni ini(CZELWCharString(FILE_NAME.c_str()));
  CZELIniLineList sections, lines;
  ASSERT_TRUE(ini.getProfileSectionNames(sections));
  EXPECT_EQ(stringsOf(sections),
            (std::vector<std::u16string>{SECTION, SECTION + u"\\Parent\\Child"}));
  ASSERT_TRUE(ini.getProfileSection(CZELWCharString(SECTION.c_str()), lines));
  std::vector<std::u16string> entries = stringsOf(lines);
  ASSERT_EQ(entries.size(), 6u); // neither Q nor the default value
  // By type (DWORD, SZ, EXPAND_SZ, MULTI_SZ, BINARY), then as listed.
  EXPECT_EQ(entries[0], u"Dw=REG_DWORD:0x8000001B");
  EXPECT_EQ(entries[1], u"Exp=REG_SZ_EXPAND:\"%TEMP%\\x\"");
  EXPECT_EQ(entries[2], u"Plain=REG_SZ_EXPAND:\"no refs\"");
  EXPECT_EQ(entries[3], u"Multi=REG_SZ_MULTI:AC 20 31 00 42 00 00 00");
  EXPECT_EQ(entries[4].substr(0, 33), u"All=REG_BINARY:00 01 02 03 04 05 ");
  EXPECT_EQ(entries[5], u"Odd=REG_BINARY:01 02 03 00");

  SHDeleteKeyW(HKEY_CURRENT_USER, ROOT.c_str());
  zeltest::RecordingSink sink;
  ASSERT_TRUE(CZELRegistryKey().importKey(CZELWCharString(FILE_NAME.c_str()),
                                          CZELRegistryKey::IMPORT_TEXT_FORMAT));
  const Stored missing{ERROR_FILE_NOT_FOUND, 0, {}};
  const struct {
    const char16_t *key;
    const char16_t *name;
    Stored expected;
  } cases[] = {
      {u"", u"Dw", {0, REG_DWORD, {0x1B, 0, 0, 0x80}}},
      {u"", u"All", {0, REG_BINARY, all}},
      {u"", u"Odd", {0, REG_BINARY, {1, 2, 3, 0}}},
      {u"", u"Multi", {0, REG_MULTI_SZ, multi}},
      {u"", u"Exp", {0, REG_EXPAND_SZ, bytesOf(expandable)}},
      {u"", u"Plain", missing}, // refused by the expandable-string class
      {u"", u"Q", missing},
      {u"", u"Inject", missing},
      {u"", nullptr, missing},
      {u"Parent\\Child", u"N", {0, REG_DWORD, {1, 0, 0, 0}}},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const Stored got = stored(HKEY_CURRENT_USER, path(cases[i].key), cases[i].name);
    EXPECT_TRUE(got == cases[i].expected) << "case " << i << ": result " << got.result << ", type "
                                          << got.type << ", " << got.data.size() << " bytes";
  }
  EXPECT_TRUE(keyExists(HKEY_CURRENT_USER, path(u"Parent")));
  EXPECT_FALSE(keyExists(HKEY_CURRENT_USER, path(u"Injected")));
  EXPECT_EQ(sink.countMessage(u"A bad argument was provided ( m_szRegStringCache ). value doesn't "
                              u"represent an expandable value which is required"),
            1u);
}

TEST_F(RegistryFile, CodeStringsKeepEveryByteValue) {
  // 128 units whose storage is the bytes 00 01 ... FF, then the terminator.
  std::u16string units;
  for (unsigned i = 0; i < 128; ++i)
    units += static_cast<char16_t>((2 * i) | ((2 * i + 1) << 8));
  const CZELWCharString codes = CZELWCharString(units.c_str()).getAsciiCodeString();
  std::u16string expected;
  for (unsigned i = 0; i < 256; ++i) {
    static const char16_t DIGITS[] = u"0123456789ABCDEF";
    expected += std::u16string{DIGITS[i >> 4], DIGITS[i & 15], u' '};
  }
  expected += u"00 00";
  EXPECT_EQ(zeltest::text(codes.getBuffer()), expected);
  const CZELBuffer<ZEL_BYTE> bytes = codes.getBufferFromAsciiCodeString();
  ASSERT_EQ(bytes.getSize(), 258u);
  for (unsigned i = 0; i < 258; ++i)
    EXPECT_EQ(bytes.getBuffer()[i], i < 256 ? i : 0u) << "byte " << i;
}

TEST_F(RegistryFile, ImportsWhereTheSectionsPoint) {
  // Written as a file from elsewhere: an unknown root name, the root key
  // alone, and entries that do not parse or carry another tag.
  std::string text("[HKEY_PERFORMANCE_DATA\\");
  text += zeltest::narrow(ROOT) +
          "]\r\n"
          "V=REG_DWORD:0x0000001B\r\n"
          "Bad=REG_BINARY:01 G2\r\n"
          "Other=REG_QWORD:0x1\r\n"
          "NoTag\r\n"
          "[HKEY_CURRENT_USER\\]\r\n" +
          zeltest::narrow(ROOT_VALUE) + "=REG_SZ:\"at the root\"\r\n";
  writeFile(text);
  ASSERT_TRUE(CZELRegistryFile(CZELWCharString(FILE_NAME.c_str())).importKey());
  EXPECT_TRUE((stored(HKEY_LOCAL_MACHINE, ROOT, u"V") == Stored{0, REG_DWORD, {27, 0, 0, 0}}));
  EXPECT_EQ(stored(HKEY_LOCAL_MACHINE, ROOT, u"Bad").result, ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(stored(HKEY_LOCAL_MACHINE, ROOT, u"Other").result, ERROR_FILE_NOT_FOUND);
  EXPECT_TRUE((stored(HKEY_CURRENT_USER, u"", ROOT_VALUE) ==
               Stored{0, REG_SZ, bytesOf(std::u16string(u"at the root", 12))}));
  // A missing file restores nothing and is no failure.
  DeleteFileW(FILE_NAME.c_str());
  EXPECT_TRUE(CZELRegistryFile(CZELWCharString(FILE_NAME.c_str())).importKey());
}

TEST_F(RegistryFile, GeneratedTreeSurvivesExportAndImport) {
  Tree expected;
  ASSERT_NO_FATAL_FAILURE(expected = storeGeneratedTree(path(u"Gen")));
  EXPECT_TRUE(exportTree(u"Gen"));
  ASSERT_EQ(SHDeleteKeyW(HKEY_CURRENT_USER, path(u"Gen").c_str()), 0);
  ASSERT_TRUE(CZELRegistryFile(CZELWCharString(FILE_NAME.c_str())).importKey());
  Tree restored;
  ASSERT_NO_FATAL_FAILURE(readTree(path(u"Gen"), restored));
  EXPECT_EQ(restored.size(), expected.size());
  for (const auto &[key, values] : expected)
    for (const auto &[name, value] : values)
      EXPECT_TRUE(restored[key][name] == value)
          << zeltest::narrow(key + u" : " + name) << " type " << value.type << " size "
          << value.data.size() << " restored " << restored[key][name].type << " size "
          << restored[key][name].data.size();
  EXPECT_TRUE(restored == expected);
}

TEST_F(RegistryFile, ExportIntoAnExistingFile) {
  store(HKEY_CURRENT_USER, path(u""), u"Count", REG_DWORD, {42, 0, 0, 0});
  std::string section("["); // built by appending: a literal in front trips a bogus warning
  section += zeltest::narrow(SECTION) + "]\r\n";
  const std::string before =
      section + "Keep=REG_SZ:\"old\"\r\nCount=REG_DWORD:0x00000001\r\n" + "[Other]\r\na=b\r\n";
  const struct {
    bool overwrite;
    std::string expected;
  } cases[] = {
      {false, section + "Keep=REG_SZ:\"old\"\r\nCount=REG_DWORD:0x0000002A\r\n[Other]\r\na=b\r\n"},
      {true, unicodeFile(section + "Count=REG_DWORD:0x0000002A\r\n")},
  };
  for (const auto &c : cases) {
    writeFile(before);
    EXPECT_TRUE(exportTree(u"", c.overwrite));
    EXPECT_EQ(readFile(), c.expected) << "overwrite " << c.overwrite;
  }
}

} // namespace
