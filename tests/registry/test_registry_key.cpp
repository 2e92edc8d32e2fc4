// test_registry_key.cpp - CZELRegistryKey and CZELRegistryValent over the
// platform registry. Everything lives under HKCU\Software\Fixwell\Test\Key
// and the same path in both views of HKLM, removed before and after each
// test.
#include "zel_registry_key.h"
#include "zel_test_support.h"

#include "zelsys/files.h"
#include "zelsys/registry.h"
#include "zelsys/security.h"
#include "zelsys/system.h"
#include "zelsys/winconst.h"

#include <cstring>
#include <iterator>
#include <set>
#include <string>
#include <vector>

using namespace zelsys;

namespace {

const char16_t *const TEST_ROOT = u"Software\\Fixwell\\Test\\Key";
const char16_t *const HIVE_FILE = u"C:\\FixwellKeyTest.hiv";

std::u16string textOf(const CZELWCharString &s) { return zeltest::text(s.getBuffer()); }

std::u16string path(const std::u16string &tail) {
  return tail.empty() ? TEST_ROOT : std::u16string(TEST_ROOT) + u"\\" + tail;
}

CZELRegistryKey testKey(const std::u16string &tail, bool bCreate = false) {
  return CZELRegistryKey(HKEY_CURRENT_USER, CZELWCharString(path(tail).c_str()), KEY_ALL_ACCESS,
                         bCreate);
}

bool exists(const std::u16string &tail) {
  HKEY hKey = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, path(tail).c_str(), 0, KEY_READ, &hKey) != ERROR_SUCCESS)
    return false;
  RegCloseKey(hKey);
  return true;
}

// Writes one value below the test root, creating the key.
void putValue(const std::u16string &tail, const char16_t *pszName, DWORD dwType,
              const std::vector<BYTE> &data) {
  HKEY hKey = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, path(tail).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &hKey, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(RegSetValueExW(hKey, pszName, 0, dwType, data.data(), static_cast<DWORD>(data.size())),
            ERROR_SUCCESS);
  RegCloseKey(hKey);
}

std::vector<BYTE> textBytes(const std::u16string &text) {
  std::vector<BYTE> bytes((text.size() + 1) * sizeof(char16_t));
  std::memcpy(bytes.data(), text.c_str(), bytes.size());
  return bytes;
}

std::vector<BYTE> valueOf(const std::u16string &tail, const char16_t *pszName) {
  HKEY hKey = nullptr;
  std::vector<BYTE> data(256);
  DWORD dwSize = static_cast<DWORD>(data.size());
  if (RegOpenKeyExW(HKEY_CURRENT_USER, path(tail).c_str(), 0, KEY_READ, &hKey) != ERROR_SUCCESS)
    return {};
  const LSTATUS lStatus = RegQueryValueExW(hKey, pszName, nullptr, nullptr, data.data(), &dwSize);
  RegCloseKey(hKey);
  data.resize(lStatus == ERROR_SUCCESS ? dwSize : 0);
  return data;
}

std::set<std::u16string> namesOf(CZELWCharStringList &list) {
  std::set<std::u16string> names;
  CZELWCharString name;
  if (!list.isEmpty()) {
    list.begin();
    do {
      if (list.getItem(name))
        names.insert(textOf(name));
    } while (list.next());
  }
  return names;
}

// The message an entry class writes for the test key at tail.
std::u16string quoted(const char16_t *pszFormat, const std::u16string &tail) {
  std::u16string message(pszFormat);
  message.replace(message.find(u"%s"), 2, path(tail));
  return message;
}

// Src with two values, the default value and a sub-key with one value.
void buildSource() {
  putValue(u"Src", u"Text", REG_SZ, textBytes(u"hello"));
  putValue(u"Src", u"Number", REG_DWORD, {1, 2, 3, 4});
  putValue(u"Src", nullptr, REG_SZ, textBytes(u"default"));
  putValue(u"Src\\Inner", u"Deep", REG_BINARY, {0xAB, 0xCD});
}

// The path of a key of HKLM\Software in one view, as the 64-bit view
// names it.
std::u16string inView(bool b32, const std::u16string &machinePath) {
  const std::u16string software = u"Software";
  return b32 ? software + u"\\Wow6432Node" + machinePath.substr(software.size()) : machinePath;
}

bool existsInView(bool b32, const std::u16string &machinePath) {
  HKEY hKey = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, inView(b32, machinePath).c_str(), 0,
                    KEY_READ | KEY_WOW64_64KEY, &hKey) != ERROR_SUCCESS)
    return false;
  RegCloseKey(hKey);
  return true;
}

// The program's own registry view is the 32-bit one under WoW64.
bool runsIn32BitView() {
  BOOL bWow64 = FALSE;
  return IsWow64Process(GetCurrentProcess(), &bWow64) && bWow64;
}

class RegistryKeyTest : public ::testing::Test {
protected:
  void SetUp() override { clean(); }
  void TearDown() override { clean(); }
  static void clean() {
    SHDeleteKeyW(HKEY_CURRENT_USER, TEST_ROOT);
    for (bool b32 : {false, true}) {
      HKEY hSoftware = nullptr;
      if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, inView(b32, u"Software").c_str(), 0,
                        KEY_ALL_ACCESS | KEY_WOW64_64KEY, &hSoftware) != ERROR_SUCCESS)
        continue;
      SHDeleteKeyW(hSoftware, TEST_ROOT + std::size(u"Software"));
      RegCloseKey(hSoftware);
    }
    DeleteFileW(HIVE_FILE);
  }
  zeltest::RecordingSink sink;
};

TEST_F(RegistryKeyTest, OpenCreatesOnlyWithTheCreateFlag) {
  CZELRegistryKey plain = testKey(u"Missing");
  EXPECT_FALSE(plain.open());
  EXPECT_FALSE(plain.isOpen());
  EXPECT_FALSE(plain.doesRegistryKeyExist());
  EXPECT_FALSE(exists(u"Missing"));
  EXPECT_EQ(sink.count(), 0u) << "a missing key is no failure";

  CZELRegistryKey creating = testKey(u"Missing", true);
  EXPECT_TRUE(creating.doesRegistryKeyExist()) << "the create flag creates the key";
  EXPECT_FALSE(creating.isOpen());
  EXPECT_TRUE(exists(u"Missing"));
  EXPECT_TRUE(plain.open());
  EXPECT_TRUE(plain.isOpen());
  EXPECT_NE(plain.getKeyHandle(), nullptr);

  // Reopening warns once and still opens.
  EXPECT_TRUE(plain.open());
  EXPECT_TRUE(plain.isOpen());
  EXPECT_EQ(sink.countMessage(quoted(u"Registry key is already open ( %s )", u"Missing")), 1u);
  EXPECT_TRUE(plain.close());
  EXPECT_TRUE(plain.close()) << "closing a closed key";
  EXPECT_EQ(plain.getKeyHandle(), nullptr);

  // create on an existing key succeeds and leaves it closed.
  EXPECT_TRUE(creating.create());
  EXPECT_FALSE(creating.isOpen());

  // A bad root: missing without the flag, a logged create failure with it.
  sink.clear();
  CZELRegistryKey badRoot(nullptr, CZELWCharString(u"X"), KEY_ALL_ACCESS, false);
  EXPECT_FALSE(badRoot.open());
  EXPECT_EQ(sink.count(), 0u);
  badRoot = CZELRegistryKey(nullptr, CZELWCharString(u"X"), KEY_ALL_ACCESS, true);
  EXPECT_FALSE(badRoot.open());
  EXPECT_EQ(sink.countMessage(u"Unable to create registry key ( \"X\" )"), 1u);
  EXPECT_FALSE(badRoot.isOpen());
}

TEST_F(RegistryKeyTest, EmptyPathNamesTheRoot) {
  putValue(u"", u"v", REG_DWORD, {1, 0, 0, 0});
  CZELRegistryKey root(HKEY_CURRENT_USER, CZELWCharString(), KEY_READ);
  ASSERT_TRUE(root.open());
  ZEL_ULONG ulSubKeys = 0;
  EXPECT_TRUE(root.getNumSubKeys(ulSubKeys));
  EXPECT_GT(ulSubKeys, 0u) << "HKCU has Software at least";

  CZELRegistryKey child;
  ASSERT_TRUE(root.enumSubKeys(child, 0));
  EXPECT_TRUE(root.isOpen()) << "enumSubKeys leaves the key open";
  const std::u16string childPath = textOf(child.getSubKey());
  ASSERT_GE(childPath.size(), 2u);
  EXPECT_EQ(childPath[0], u'\\');
  EXPECT_EQ(child.getKeyRoot(), HKEY_CURRENT_USER);
  EXPECT_TRUE(root.close());

  // Deleting the root itself is refused, whatever the form.
  for (bool bRecursive : {false, true}) {
    sink.clear();
    EXPECT_FALSE(root.remove(bRecursive)) << bRecursive;
    EXPECT_EQ(sink.countMessage(u"Unable to delete registry key ( \"Unknown\" )"), 1u);
    EXPECT_TRUE(exists(u"")) << bRecursive;
  }
}

TEST_F(RegistryKeyTest, RemovePlainAndRecursive) {
  buildSource();
  CZELRegistryKey source = testKey(u"Src");
  EXPECT_FALSE(source.remove(false)) << "the key has a sub-key";
  EXPECT_EQ(sink.countMessage(quoted(u"Unable to delete registry key ( \"%s\" )", u"Src")), 1u);
  EXPECT_TRUE(exists(u"Src\\Inner"));

  EXPECT_TRUE(testKey(u"Src\\Inner").remove(false));
  EXPECT_FALSE(exists(u"Src\\Inner"));
  putValue(u"Src\\Inner\\Deeper", u"x", REG_DWORD, {1, 0, 0, 0});
  ASSERT_TRUE(source.open());
  EXPECT_TRUE(source.remove(true)) << "an open key is closed first";
  EXPECT_FALSE(source.isOpen());
  EXPECT_FALSE(exists(u"Src"));

  sink.clear();
  EXPECT_TRUE(source.remove(false)) << "a missing key counts as deleted";
  EXPECT_TRUE(source.remove(true));
  EXPECT_EQ(sink.count(), 0u);
}

// The same tree in both views of HKLM\Software; a key removed in one view is
// gone there and only there, whatever the other view holds.
TEST_F(RegistryKeyTest, RemoveDeletesInTheKeysViewOnly) {
  const std::u16string views = std::u16string(TEST_ROOT) + u"\\Views";
  const std::u16string leaf = views + u"\\A\\Leaf";
  const bool bOwn32 = runsIn32BitView();
  struct Case {
    std::u16string path;
    REGSAM view;
    bool bRecursive;
    bool b32; // the view the key goes from
  } const cases[] = {
      {views, KEY_WOW64_64KEY, true, false},
      {views, KEY_WOW64_32KEY, true, true},
      {views, 0, true, bOwn32},
      // The parent is HKLM\Software itself, where the views part.
      {u"Software\\Fixwell", KEY_WOW64_64KEY, true, false},
      {u"Software\\Fixwell", KEY_WOW64_32KEY, true, true},
      {leaf, KEY_WOW64_64KEY, false, false},
      {leaf, KEY_WOW64_32KEY, false, true},
      {leaf, 0, false, bOwn32},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const Case &c = cases[i];
    for (bool b32 : {false, true})
      for (const char16_t *pszTail : {u"\\A\\Leaf", u"\\B"}) {
        CZELRegistryKey key(HKEY_LOCAL_MACHINE,
                            CZELWCharString(inView(b32, views + pszTail).c_str()),
                            KEY_ALL_ACCESS | KEY_WOW64_64KEY, true);
        ASSERT_TRUE(key.create()) << i;
      }
    CZELRegistryKey key(HKEY_LOCAL_MACHINE, CZELWCharString(c.path.c_str()),
                        KEY_ALL_ACCESS | c.view);
    EXPECT_TRUE(key.remove(c.bRecursive)) << i;
    EXPECT_FALSE(existsInView(c.b32, c.path)) << i;
    EXPECT_EQ(existsInView(c.b32, views + u"\\B"), !c.bRecursive) << i;
    EXPECT_TRUE(existsInView(!c.b32, leaf)) << i << ": the other view's tree stays";
    EXPECT_TRUE(key.remove(c.bRecursive)) << i << ": missing in its view, so deleted";
    EXPECT_TRUE(existsInView(!c.b32, leaf)) << i;
    clean();
  }
  EXPECT_EQ(sink.count(), 0u);
}

// Beyond the levels one call may name (32), down to near the deepest a tree
// may have (512 below its hive's root), and in a view.
TEST_F(RegistryKeyTest, KeysAtAnyDepthAreReachedAndRemoved) {
  struct Case {
    HKEY hRoot;
    REGSAM view; // 0 for HKCU, which has one view
    int levels;
  } const cases[] = {
      {HKEY_CURRENT_USER, 0, 33},
      {HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY, 300},
      {HKEY_CURRENT_USER, 0, 500},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const Case &c = cases[i];
    const std::u16string top = path(u"Deep");
    std::u16string deepest = top;
    for (int level = 1; level <= c.levels; ++level)
      deepest += level % 2 ? u"\\Odd" : u"\\Even";
    const std::u16string parent = deepest.substr(0, deepest.rfind(u'\\'));
    const REGSAM access = KEY_ALL_ACCESS | c.view;
    auto key = [&](const std::u16string &keyPath, REGSAM sam) {
      return CZELRegistryKey(c.hRoot, CZELWCharString(keyPath.c_str()), sam);
    };

    ASSERT_TRUE(CZELRegistryKey(c.hRoot, CZELWCharString(deepest.c_str()), access, true).create())
        << i;
    EXPECT_TRUE(key(deepest, access).doesRegistryKeyExist()) << i;
    if (c.view != 0) {
      EXPECT_FALSE(key(deepest, KEY_READ | KEY_WOW64_64KEY).doesRegistryKeyExist()) << i;
    }
    EXPECT_TRUE(key(deepest, access).remove(false)) << i;
    EXPECT_FALSE(key(deepest, access).doesRegistryKeyExist()) << i;
    EXPECT_TRUE(key(parent, access).doesRegistryKeyExist()) << i;
    EXPECT_TRUE(key(top, access).remove(true)) << i;
    EXPECT_FALSE(key(top, access).doesRegistryKeyExist()) << i;
  }
  EXPECT_EQ(sink.count(), 0u);
}

TEST_F(RegistryKeyTest, EnumeratesSubKeysAndValueNames) {
  buildSource();
  putValue(u"Src\\Second", u"x", REG_DWORD, {1, 0, 0, 0});
  CZELRegistryKey source = testKey(u"Src");

  CZELWCharStringList names;
  names.add(CZELWCharString(u"stale"));
  ASSERT_TRUE(source.enumAllSubKeys(names));
  EXPECT_EQ(namesOf(names), (std::set<std::u16string>{u"Inner", u"Second"}));
  ZEL_ULONG ulData = 0;
  EXPECT_TRUE(names.begin().getItemData(ulData));
  EXPECT_EQ(ulData, 1u) << "item data is index + 1";
  EXPECT_FALSE(source.isOpen());

  CZELRegistryKey child;
  ASSERT_TRUE(source.enumSubKeys(child, 1));
  EXPECT_TRUE(textOf(child.getSubKey()).rfind(path(u"Src\\"), 0) == 0);
  sink.clear();
  EXPECT_FALSE(source.enumSubKeys(child, 2)) << "past the end";
  EXPECT_EQ(sink.count(), 0u) << "the end is no failure";

  ASSERT_TRUE(source.enumAllValueNames(names));
  EXPECT_EQ(namesOf(names), (std::set<std::u16string>{u"Text", u"Number"}))
      << "the default value is left out";
  CZELWCharString name(u"untouched");
  EXPECT_TRUE(source.enumValueNames(name, 3)) << "past the end";
  EXPECT_FALSE(name.isValid());
  EXPECT_FALSE(source.isOpen());

  // Only the default value, or none: no names, and the record list stays.
  putValue(u"DefaultOnly", nullptr, REG_SZ, textBytes(u"d"));
  putValue(u"Empty\\Sub", u"x", REG_DWORD, {1, 0, 0, 0});
  for (const char16_t *pszTail : {u"DefaultOnly", u"Empty"}) {
    CZELRegistryKey key = testKey(pszTail);
    EXPECT_FALSE(key.enumAllValueNames(names)) << zeltest::narrow(pszTail);
    EXPECT_TRUE(names.isEmpty());
    CZELRegistryValentList records;
    records.add(CZELRegistryValent(CZELWCharString(u"kept"), CZELBuffer<ZEL_BYTE>(), REG_NONE));
    EXPECT_FALSE(key.enumAllValues(records));
    EXPECT_EQ(records.getCount(), 1u);
  }
}

TEST_F(RegistryKeyTest, EnumAllValuesReturnsEveryNamedValue) {
  buildSource();
  const std::vector<BYTE> wide(300, 0x5A); // longer than the other values
  putValue(u"Src", u"Blob", REG_BINARY, wide);
  CZELRegistryValentList records;
  ASSERT_TRUE(testKey(u"Src").enumAllValues(records));
  ASSERT_EQ(records.getCount(), 3u);

  struct Expected {
    const char16_t *pszName;
    DWORD dwType;
    std::vector<BYTE> data;
  } const expected[] = {
      {u"Text", REG_SZ, textBytes(u"hello")},
      {u"Number", REG_DWORD, {1, 2, 3, 4}},
      {u"Blob", REG_BINARY, wide},
  };
  for (const Expected &e : expected) {
    const CZELBuffer<ZEL_BYTE> data(e.data.data(), static_cast<ZEL_ULONG>(e.data.size()));
    EXPECT_TRUE(records.moveTo(CZELRegistryValent(CZELWCharString(e.pszName), data, e.dwType)))
        << zeltest::narrow(e.pszName);
  }
}

TEST_F(RegistryKeyTest, InformationFigures) {
  buildSource();
  putValue(u"Src", u"LongerName", REG_BINARY, std::vector<BYTE>(40, 1));
  HKEY hKey = nullptr;
  char16_t className[] = u"Widgets";
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, path(u"Src\\ClassKeyName").c_str(), 0, className, 0,
                            KEY_ALL_ACCESS, nullptr, &hKey, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(hKey);

  CZELRegistryKey source = testKey(u"Src");
  using Getter = bool (CZELRegistryKey::*)(ZEL_ULONG &);
  struct Case {
    Getter get;
    ZEL_ULONG ulExpected;
  } const cases[] = {
      {&CZELRegistryKey::getNumSubKeys, 2},
      {&CZELRegistryKey::getNumValues, 4},
      {&CZELRegistryKey::getMaxSubKeyLength, 12},
      {&CZELRegistryKey::getMaxValueNameLength, 10},
      {&CZELRegistryKey::getMaxValueLength, 40},
      {&CZELRegistryKey::getMaxClassLength, 7}, // a sub-key's class, not the key's own
  };
  CZELRegistryKey missing = testKey(u"Missing");
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    ZEL_ULONG ulValue = 0xdeadbeef;
    EXPECT_TRUE((source.*cases[i].get)(ulValue)) << i;
    EXPECT_EQ(ulValue, cases[i].ulExpected) << i;
    EXPECT_FALSE(source.isOpen()) << i;
    ulValue = 0xdeadbeef;
    EXPECT_FALSE((missing.*cases[i].get)(ulValue)) << i;
    EXPECT_EQ(ulValue, 0xdeadbeefu) << "written only on success, " << i;
  }

  // The key's own class is longer than any of its sub-keys' (it has none).
  CZELWCharString name(u"untouched");
  EXPECT_TRUE(testKey(u"Src\\ClassKeyName").getClass(name));
  EXPECT_EQ(textOf(name), u"Widgets");
  EXPECT_TRUE(source.getClass(name));
  EXPECT_FALSE(name.isValid());
}

TEST_F(RegistryKeyTest, SubKeyNames) {
  struct Case {
    const char16_t *pszPath;
    bool bFullPath;
    bool bResult;
    const char16_t *pszName;
  } const cases[] = {
      {u"A\\B\\Leaf", false, true, u"Leaf"}, {u"A\\B\\Leaf", true, true, u"A\\B\\Leaf"},
      {u"\\Child", false, true, u"Child"},   {u"Single", false, false, u"untouched"},
      {u"Single", true, true, u"Single"},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const CZELRegistryKey key(HKEY_CURRENT_USER, CZELWCharString(cases[i].pszPath));
    CZELWCharString name(u"untouched");
    EXPECT_EQ(key.getSubKeyName(name, cases[i].bFullPath), cases[i].bResult) << i;
    EXPECT_EQ(textOf(name), cases[i].pszName) << i;
  }
}

TEST_F(RegistryKeyTest, EqualityCopiesAndSetters) {
  const CZELRegistryKey base(HKEY_CURRENT_USER, CZELWCharString(u"A\\B"), KEY_READ, false, 0);
  struct Case {
    CZELRegistryKey other;
    bool bEqual;
  } const cases[] = {
      {CZELRegistryKey(HKEY_CURRENT_USER, CZELWCharString(u"A\\B"), KEY_READ, true, 0), true},
      {CZELRegistryKey(HKEY_LOCAL_MACHINE, CZELWCharString(u"A\\B"), KEY_READ, false, 0), false},
      {CZELRegistryKey(HKEY_CURRENT_USER, CZELWCharString(u"A\\C"), KEY_READ, false, 0), false},
      {CZELRegistryKey(HKEY_CURRENT_USER, CZELWCharString(u"A\\B"), KEY_WRITE, false, 0), false},
      {CZELRegistryKey(HKEY_CURRENT_USER, CZELWCharString(u"A\\B"), KEY_READ, false, 1), false},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(base == cases[i].other, cases[i].bEqual) << i;
    EXPECT_EQ(base != cases[i].other, !cases[i].bEqual) << i;
  }
  EXPECT_TRUE(CZELRegistryKey() == CZELRegistryKey());

  // Copies never share a handle; assigning and setting close first.
  CZELRegistryKey open = testKey(u"", true);
  ASSERT_TRUE(open.open());
  CZELRegistryKey copied(open);
  EXPECT_FALSE(copied.isOpen());
  EXPECT_EQ(copied.getKeyHandle(), nullptr);
  EXPECT_TRUE(copied == open);
  copied.open();
  copied = base;
  EXPECT_FALSE(copied.isOpen());
  EXPECT_TRUE(copied == base);
  open.setRegSam(KEY_READ);
  EXPECT_FALSE(open.isOpen());
  EXPECT_TRUE(open.open());
  open.setSubKey(CZELWCharString(path(u"Other").c_str()));
  EXPECT_FALSE(open.isOpen());
  EXPECT_EQ(textOf(open.getSubKey()), path(u"Other"));
  EXPECT_EQ(sink.count(), 0u);
}

TEST_F(RegistryKeyTest, CopyAndMoveTrees) {
  buildSource();
  putValue(u"Dst", u"Text", REG_SZ, textBytes(u"old"));
  putValue(u"Dst", u"Own", REG_DWORD, {9, 0, 0, 0});

  CZELRegistryKey source = testKey(u"Src");
  CZELRegistryKey destination = testKey(u"Dst");
  ASSERT_TRUE(destination.copy(source));
  EXPECT_FALSE(source.isOpen());
  EXPECT_FALSE(destination.isOpen());
  EXPECT_EQ(valueOf(u"Dst", u"Text"), textBytes(u"hello")) << "same name overwritten";
  EXPECT_EQ(valueOf(u"Dst", u"Own"), (std::vector<BYTE>{9, 0, 0, 0})) << "others kept";
  EXPECT_EQ(valueOf(u"Dst\\Inner", u"Deep"), (std::vector<BYTE>{0xAB, 0xCD}));
  EXPECT_TRUE(exists(u"Src\\Inner")) << "copy leaves the source";

  // Into a missing destination only with the create flag.
  CZELRegistryKey missing = testKey(u"Moved");
  EXPECT_FALSE(source.move(missing));
  EXPECT_TRUE(exists(u"Src"));
  CZELRegistryKey moved = testKey(u"Moved", true);
  ASSERT_TRUE(source.move(moved));
  EXPECT_FALSE(exists(u"Src"));
  EXPECT_EQ(valueOf(u"Moved", u"Number"), (std::vector<BYTE>{1, 2, 3, 4}));
  EXPECT_EQ(valueOf(u"Moved\\Inner", u"Deep"), (std::vector<BYTE>{0xAB, 0xCD}));

  // Moving a key onto itself or below itself would delete what it copied.
  sink.clear();
  for (const char16_t *pszInside : {u"Moved", u"moved\\Inner", u"Moved\\New"}) {
    CZELRegistryKey inside = testKey(pszInside, true);
    EXPECT_FALSE(moved.move(inside)) << zeltest::narrow(pszInside);
    EXPECT_EQ(valueOf(u"Moved", u"Number"), (std::vector<BYTE>{1, 2, 3, 4}));
  }
  EXPECT_FALSE(exists(u"Moved\\New"));
  CZELRegistryKey below = testKey(u"Moved\\Inner\\Copy", true);
  EXPECT_FALSE(below.copy(moved)) << "a tree is not copied into itself";
  EXPECT_EQ(sink.countMessage(u"A bad argument was provided ( destination ). the destination lies "
                              u"inside the key moved"),
            3u);
}

TEST_F(RegistryKeyTest, HiveExportAndImport) {
  buildSource();
  CZELRegistryKey source = testKey(u"Src");
  const CZELWCharString none;
  EXPECT_FALSE(source.exportKey(none, 0, true));
  EXPECT_FALSE(source.importKey(none, 0));
  EXPECT_EQ(sink.countMessage(u"A bad argument was provided ( szExportFileName ). filename must "
                              u"be non-null"),
            1u);
  EXPECT_EQ(sink.countMessage(u"A bad argument was provided ( szImportFileName ). filename must "
                              u"be non-null"),
            1u);

  const CZELWCharString file(HIVE_FILE);
  ASSERT_TRUE(source.exportKey(file, 0, false));
  EXPECT_FALSE(source.isOpen());
  sink.clear();
  ZEL_EXPECT_GAP_ON_WINE(!source.exportKey(file, 0, false),
                         "a hive save overwrites an existing file");
  ZEL_EXPECT_GAP_ON_WINE(
      sink.countMessage(quoted(u"Unable to save registry key ( \"%s\" )", u"Src")) == 1u,
      "a hive save overwrites an existing file");
  EXPECT_TRUE(source.exportKey(file, 0, true)) << "overwrite deletes the file first";

  CZELRegistryKey restored = testKey(u"Restored", true);
  putValue(u"Restored", u"Replaced", REG_DWORD, {7, 0, 0, 0});
  EXPECT_TRUE(restored.importKey(file, REG_FORCE_RESTORE));
  EXPECT_FALSE(restored.isOpen());
  ZEL_EXPECT_GAP_ON_WINE(valueOf(u"Restored\\Inner", u"Deep") == (std::vector<BYTE>{0xAB, 0xCD}),
                         "a hive restore restores nothing");
  ZEL_EXPECT_GAP_ON_WINE(valueOf(u"Restored", u"Replaced").empty(),
                         "a hive restore restores nothing");
}

TEST(RegistryValentTest, ConstructionAndComparison) {
  char16_t name[] = u"Value";
  const BYTE bytes[] = {1, 2, 3};
  VALENTW entry{name, 3, reinterpret_cast<DWORD_PTR>(bytes), REG_BINARY};
  const CZELRegistryValent fromEntry(&entry);
  EXPECT_EQ(textOf(fromEntry.getValueName()), u"Value");
  EXPECT_EQ(fromEntry.getType(), REG_BINARY);
  ASSERT_EQ(fromEntry.getData().getSize(), 3u);
  EXPECT_EQ(fromEntry.getData()(2), 3);

  const CZELRegistryValent empty(nullptr);
  EXPECT_FALSE(empty.getValueName().isValid());
  EXPECT_EQ(empty.getData().getSize(), 0u);
  EXPECT_EQ(empty.getType(), REG_NONE);

  const CZELBuffer<ZEL_BYTE> same(bytes, 3);
  const CZELBuffer<ZEL_BYTE> shorter(bytes, 2);
  struct Case {
    CZELRegistryValent other;
    bool bEqual;
  } const cases[] = {
      {CZELRegistryValent(CZELWCharString(u"Value"), same, REG_BINARY), true},
      {CZELRegistryValent(CZELWCharString(u"value"), same, REG_BINARY), false},
      {CZELRegistryValent(CZELWCharString(u"Value"), shorter, REG_BINARY), false},
      {CZELRegistryValent(CZELWCharString(u"Value"), same, REG_NONE), false},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(fromEntry == cases[i].other, cases[i].bEqual) << i;
    EXPECT_EQ(fromEntry != cases[i].other, !cases[i].bEqual) << i;
  }
  CZELRegistryValent assigned;
  assigned = fromEntry;
  EXPECT_TRUE(assigned == fromEntry);
  entry.ve_valuename[0] = u'X';
  EXPECT_TRUE(assigned == fromEntry) << "the record owns its copies";
}

} // namespace
