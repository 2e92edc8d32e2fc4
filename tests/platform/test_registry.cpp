// test_registry.cpp - conformance of the registry calls and of environment
// expansion. Every key lives under HKCU\Software\Fixwell\Test (or the same
// path in both views of HKLM), removed before and after each test.
#include "zel_test_support.h"
#include "zelsys/environment.h"
#include "zelsys/files.h"
#include "zelsys/kernel.h"
#include "zelsys/registry.h"
#include "zelsys/security.h"
#include "zelsys/system.h"
#include "zelsys/winconst.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <set>
#include <string>
#include <vector>

using namespace zelsys;

namespace {

const char16_t *const TEST_ROOT = u"Software\\Fixwell\\Test";
constexpr DWORD SENTINEL = 0xdeadbeef;
constexpr WCHAR PATTERN = 0xABCD;
constexpr BYTE BYTE_PATTERN = 0xA5;
// A 2000-01-01 timestamp: a key's write time must be later than this.
constexpr unsigned long long YEAR_2000 = 125911584000000000ULL;

using Bytes = std::vector<BYTE>;

// Owns one open key, whatever path the test takes out.
class Key {
public:
  Key() = default;
  ~Key() { close(); }
  Key(const Key &) = delete;
  Key &operator=(const Key &) = delete;

  HKEY get() const { return m_hKey; }
  HKEY *out() {
    close();
    return &m_hKey;
  }
  LSTATUS close() {
    const LSTATUS status = m_hKey != nullptr ? RegCloseKey(m_hKey) : ERROR_SUCCESS;
    m_hKey = nullptr;
    return status;
  }

private:
  HKEY m_hKey = nullptr;
};

LSTATUS createKey(HKEY hParent, const char16_t *pszPath, Key &key, DWORD *pdwDisposition = nullptr,
                  DWORD dwOptions = REG_OPTION_NON_VOLATILE, REGSAM sam = KEY_ALL_ACCESS) {
  return RegCreateKeyExW(hParent, pszPath, 0, nullptr, dwOptions, sam, nullptr, key.out(),
                         pdwDisposition);
}

LSTATUS openKey(HKEY hParent, const char16_t *pszPath, Key &key, REGSAM sam = KEY_ALL_ACCESS) {
  return RegOpenKeyExW(hParent, pszPath, 0, sam, key.out());
}

bool keyExists(HKEY hParent, const char16_t *pszPath, REGSAM sam = KEY_READ) {
  Key key;
  return openKey(hParent, pszPath, key, sam) == ERROR_SUCCESS;
}

// The bytes of a text and its terminator.
Bytes textBytes(const std::u16string &text) {
  Bytes bytes((text.size() + 1) * sizeof(char16_t));
  std::memcpy(bytes.data(), text.c_str(), bytes.size());
  return bytes;
}

Bytes dwordBytes(DWORD value) {
  return {static_cast<BYTE>(value), static_cast<BYTE>(value >> 8), static_cast<BYTE>(value >> 16),
          static_cast<BYTE>(value >> 24)};
}

LSTATUS setValue(HKEY hKey, const char16_t *pszName, DWORD dwType, const Bytes &data) {
  return RegSetValueExW(hKey, pszName, 0, dwType, data.data(), static_cast<DWORD>(data.size()));
}

struct Stored {
  LSTATUS status = SENTINEL;
  DWORD type = SENTINEL;
  Bytes data;
};

// The value's type and bytes, read with a size query first.
Stored queryValue(HKEY hKey, const char16_t *pszName) {
  Stored stored;
  DWORD cbData = SENTINEL;
  stored.status = RegQueryValueExW(hKey, pszName, nullptr, &stored.type, nullptr, &cbData);
  if (stored.status != ERROR_SUCCESS)
    return stored;
  stored.data.assign(cbData + 16, BYTE_PATTERN);
  stored.status =
      RegQueryValueExW(hKey, pszName, nullptr, &stored.type, stored.data.data(), &cbData);
  stored.data.resize(stored.status == ERROR_SUCCESS ? cbData : 0);
  return stored;
}

std::u16string keyName(HKEY hKey, DWORD dwIndex, LSTATUS &status) {
  WCHAR name[256];
  DWORD cchName = 256;
  status = RegEnumKeyExW(hKey, dwIndex, name, &cchName, nullptr, nullptr, nullptr, nullptr);
  return status == ERROR_SUCCESS ? std::u16string(name, cchName) : std::u16string();
}

std::set<std::u16string> subKeyNames(HKEY hKey) {
  std::set<std::u16string> names;
  LSTATUS status = ERROR_SUCCESS;
  for (DWORD i = 0; i < 100; ++i) {
    std::u16string name = keyName(hKey, i, status);
    if (status != ERROR_SUCCESS)
      break;
    names.insert(std::move(name));
  }
  EXPECT_EQ(status, static_cast<LSTATUS>(ERROR_NO_MORE_ITEMS));
  return names;
}

std::set<std::u16string> valueNames(HKEY hKey) {
  std::set<std::u16string> names;
  LSTATUS status = ERROR_SUCCESS;
  for (DWORD i = 0; i < 100; ++i) {
    WCHAR name[256];
    DWORD cchName = 256;
    status = RegEnumValueW(hKey, i, name, &cchName, nullptr, nullptr, nullptr, nullptr);
    if (status != ERROR_SUCCESS)
      break;
    names.insert(std::u16string(name, cchName));
  }
  EXPECT_EQ(status, static_cast<LSTATUS>(ERROR_NO_MORE_ITEMS));
  return names;
}

std::string describe(const std::set<std::u16string> &names) {
  std::string text;
  for (const std::u16string &name : names)
    text.append("[").append(zeltest::narrow(name)).append("]");
  return text;
}

// Deletes Fixwell\Test under hParent, and the Fixwell key too when nothing
// else lives there.
void removeTestTree(HKEY hParent) {
  SHDeleteKeyW(hParent, u"Fixwell\\Test");
  Key fixwell;
  if (openKey(hParent, u"Fixwell", fixwell, KEY_READ) != ERROR_SUCCESS)
    return;
  DWORD cSubKeys = SENTINEL;
  DWORD cValues = SENTINEL;
  const LSTATUS status =
      RegQueryInfoKeyW(fixwell.get(), nullptr, nullptr, nullptr, &cSubKeys, nullptr, nullptr,
                       &cValues, nullptr, nullptr, nullptr, nullptr);
  fixwell.close();
  if (status == ERROR_SUCCESS && cSubKeys == 0 && cValues == 0)
    RegDeleteKeyW(hParent, u"Fixwell");
}

void removeUserRoot() {
  Key software;
  if (openKey(HKEY_CURRENT_USER, u"Software", software) == ERROR_SUCCESS)
    removeTestTree(software.get());
}

// Both views of HKLM\Software, each reached by its own explicit path.
void removeMachineRoots() {
  Key view;
  if (openKey(HKEY_LOCAL_MACHINE, u"Software\\Wow6432Node", view,
              KEY_ALL_ACCESS | KEY_WOW64_64KEY) == ERROR_SUCCESS)
    removeTestTree(view.get());
  if (openKey(HKEY_LOCAL_MACHINE, u"Software", view, KEY_ALL_ACCESS | KEY_WOW64_64KEY) ==
      ERROR_SUCCESS)
    removeTestTree(view.get());
}

// Enables a privilege in the process token, as the framework does before
// saving and restoring.
bool enablePrivilege(const char16_t *pszName) {
  HANDLE hToken = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &hToken))
    return false;
  TOKEN_PRIVILEGES privileges = {};
  privileges.PrivilegeCount = 1;
  privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  SetLastError(SENTINEL);
  const bool bEnabled = LookupPrivilegeValueW(nullptr, pszName, &privileges.Privileges[0].Luid) &&
                        AdjustTokenPrivileges(hToken, FALSE, &privileges, 0, nullptr, nullptr) &&
                        GetLastError() == ERROR_SUCCESS;
  CloseHandle(hToken);
  return bEnabled;
}

class Registry : public ::testing::Test {
protected:
  void SetUp() override {
    removeUserRoot();
    ASSERT_EQ(createKey(HKEY_CURRENT_USER, TEST_ROOT, m_root), ERROR_SUCCESS);
  }
  void TearDown() override {
    m_root.close();
    removeUserRoot();
  }
  HKEY root() const { return m_root.get(); }

  Key m_root;
};

} // namespace

TEST_F(Registry, OpenFindsExistingKeysAndReportsMissingOnes) {
  Key child;
  ASSERT_EQ(createKey(root(), u"Present", child), ERROR_SUCCESS);
  child.close();

  struct Case {
    const char16_t *path;
    LSTATUS expected;
  };
  const Case cases[] = {
      {u"Present", ERROR_SUCCESS},
      {u"PRESENT", ERROR_SUCCESS},
      {u"Missing", ERROR_FILE_NOT_FOUND},
      {u"Missing\\Deeper", ERROR_FILE_NOT_FOUND},
      {u"Present\\Missing", ERROR_FILE_NOT_FOUND},
      // Separators: a leading one is a bad path name; doubled and trailing
      // ones are passed over.
      {u"\\Present", ERROR_BAD_PATHNAME},
      {u"Present\\", ERROR_SUCCESS},
      {u"Present\\\\", ERROR_SUCCESS},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    Key key;
    EXPECT_EQ(openKey(root(), cases[i].path, key), cases[i].expected) << "case " << i;
    EXPECT_EQ(key.get() != nullptr, cases[i].expected == ERROR_SUCCESS) << "case " << i;
  }
  Key full;
  EXPECT_EQ(openKey(HKEY_CURRENT_USER, u"Software\\Fixwell\\Test\\Present", full), ERROR_SUCCESS)
      << "a path of several components from a root";
}

TEST_F(Registry, BadRootsAreInvalidHandles) {
  Key closed;
  ASSERT_EQ(createKey(root(), u"Closed", closed), ERROR_SUCCESS);
  const HKEY hClosed = closed.get();
  ASSERT_EQ(closed.close(), ERROR_SUCCESS);

  const HKEY roots[] = {nullptr, hClosed, predefinedKey(static_cast<LONG>(0x80000010))};
  for (std::size_t i = 0; i < std::size(roots); ++i) {
    Key opened;
    EXPECT_EQ(openKey(roots[i], u"Software", opened), ERROR_INVALID_HANDLE) << "case " << i;
    EXPECT_EQ(opened.get(), nullptr) << "case " << i;
    Key created;
    EXPECT_EQ(createKey(roots[i], u"Software", created), ERROR_INVALID_HANDLE) << "case " << i;
  }
  EXPECT_EQ(RegCloseKey(hClosed), ERROR_INVALID_HANDLE) << "a handle closed twice";
}

TEST_F(Registry, NullOrEmptyPathOpensTheKeyItself) {
  ASSERT_EQ(setValue(root(), u"Marker", REG_DWORD, dwordBytes(7)), ERROR_SUCCESS);
  const char16_t *const paths[] = {nullptr, u""};
  for (std::size_t i = 0; i < std::size(paths); ++i) {
    Key same;
    ASSERT_EQ(openKey(root(), paths[i], same, KEY_READ), ERROR_SUCCESS) << "case " << i;
    EXPECT_EQ(queryValue(same.get(), u"Marker").data, dwordBytes(7)) << "case " << i;

    // On a root, the root handle itself comes back and still works.
    HKEY hResult = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, paths[i], 0, KEY_READ, &hResult), ERROR_SUCCESS)
        << "case " << i;
    EXPECT_EQ(hResult, HKEY_CURRENT_USER) << "case " << i;
    EXPECT_TRUE(keyExists(hResult, TEST_ROOT)) << "case " << i;
    EXPECT_EQ(RegCloseKey(hResult), ERROR_SUCCESS) << "case " << i;
    EXPECT_TRUE(keyExists(HKEY_CURRENT_USER, TEST_ROOT)) << "the root survives its closing";
  }
}

TEST_F(Registry, CreateMakesEveryMissingComponentAndReportsWhatItDid) {
  Key key;
  DWORD dwDisposition = SENTINEL;
  ASSERT_EQ(createKey(root(), u"One\\Two\\Three", key, &dwDisposition), ERROR_SUCCESS);
  EXPECT_EQ(dwDisposition, REG_CREATED_NEW_KEY);
  EXPECT_TRUE(keyExists(root(), u"One"));
  EXPECT_TRUE(keyExists(root(), u"One\\Two"));
  ASSERT_EQ(setValue(key.get(), u"Here", REG_DWORD, dwordBytes(3)), ERROR_SUCCESS);
  key.close();

  // An existing key is opened, whatever the case of the path, with its
  // content and its own spelling.
  dwDisposition = SENTINEL;
  ASSERT_EQ(createKey(root(), u"ONE\\two\\THREE", key, &dwDisposition), ERROR_SUCCESS);
  EXPECT_EQ(dwDisposition, REG_OPENED_EXISTING_KEY);
  EXPECT_EQ(queryValue(key.get(), u"Here").data, dwordBytes(3));
  key.close();
  Key one;
  ASSERT_EQ(openKey(root(), u"One", one), ERROR_SUCCESS);
  EXPECT_EQ(subKeyNames(one.get()), std::set<std::u16string>{u"Two"});

  // The framework passes no disposition.
  EXPECT_EQ(createKey(root(), u"One\\Other", key, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(subKeyNames(root()), std::set<std::u16string>{u"One"});
}

TEST_F(Registry, VolatileKeysTakeOnlyVolatileChildren) {
  Key volatileKey;
  DWORD dwDisposition = SENTINEL;
  ASSERT_EQ(createKey(root(), u"Fleeting", volatileKey, &dwDisposition, REG_OPTION_VOLATILE),
            ERROR_SUCCESS);
  EXPECT_EQ(dwDisposition, REG_CREATED_NEW_KEY);

  Key child;
  EXPECT_EQ(createKey(volatileKey.get(), u"Lasting", child), ERROR_CHILD_MUST_BE_VOLATILE);
  EXPECT_FALSE(keyExists(root(), u"Fleeting\\Lasting"));
  EXPECT_EQ(
      createKey(volatileKey.get(), u"AlsoFleeting\\Deeper", child, nullptr, REG_OPTION_VOLATILE),
      ERROR_SUCCESS);

  // The option matters only for a new key: an existing one is opened.
  dwDisposition = SENTINEL;
  EXPECT_EQ(createKey(root(), u"Fleeting", child, &dwDisposition), ERROR_SUCCESS);
  EXPECT_EQ(dwDisposition, REG_OPENED_EXISTING_KEY);
}

// Windows' documented limits: key names of 255 characters, value names of
// 16,383, 32 levels named by one call, a tree 512 levels below its hive
// root. Wine enforces only the value-name limit and a key-name limit one
// character longer; the codes past the other limits are Windows' own.
TEST_F(Registry, NamesAndDepthStopAtWindowsLimits) {
  const std::u16string longest(255, u'k');
  Key key;
  EXPECT_EQ(createKey(root(), longest.c_str(), key), ERROR_SUCCESS);
  LSTATUS status = SENTINEL;
  EXPECT_EQ(keyName(root(), 0, status), longest);
  const LSTATUS tooLong = createKey(root(), (longest + u"k").c_str(), key);
  ZEL_EXPECT_GAP_ON_WINE(tooLong == ERROR_INVALID_PARAMETER, "Wine accepts 256 characters");
  EXPECT_EQ(createKey(root(), (longest + u"kk").c_str(), key), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(openKey(root(), (longest + u"kk").c_str(), key), ERROR_INVALID_PARAMETER);

  const std::u16string longestValue(16383, u'v');
  EXPECT_EQ(setValue(root(), longestValue.c_str(), REG_DWORD, dwordBytes(1)), ERROR_SUCCESS);
  EXPECT_EQ(queryValue(root(), longestValue.c_str()).data, dwordBytes(1));
  EXPECT_EQ(setValue(root(), (longestValue + u"v").c_str(), REG_DWORD, dwordBytes(1)),
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(queryValue(root(), (longestValue + u"v").c_str()).status, ERROR_FILE_NOT_FOUND);

  // Levels a call may name: 32 are made, 33 make nothing.
  std::u16string levels = u"L";
  for (int i = 1; i < 32; ++i)
    levels += u"\\L";
  EXPECT_EQ(createKey(root(), (u"Steps\\" + levels.substr(2)).c_str(), key), ERROR_SUCCESS);
  ZEL_EXPECT_GAP_ON_WINE(createKey(root(), (u"Wide\\" + levels).c_str(), key) ==
                             static_cast<LSTATUS>(206), // ERROR_FILENAME_EXCED_RANGE
                         "Wine takes any number of levels in one call");
  ZEL_EXPECT_GAP_ON_WINE(!keyExists(root(), u"Wide"), "Wine made the levels");

  // Depth: the test root is 4 levels below the user hive's root
  // (S-1-5-...\Software\Fixwell\Test); keys go down to level 512.
  Key steps[2];
  ASSERT_EQ(createKey(root(), u"Deep", steps[0]), ERROR_SUCCESS);
  int level = 5;
  int last = 0;
  for (; level < 512; last = 1 - last) {
    const int step = std::min(32, 512 - level);
    ASSERT_EQ(createKey(steps[last].get(), levels.substr(0, 2 * step - 1).c_str(), steps[1 - last]),
              ERROR_SUCCESS)
        << "level " << level + step;
    level += step;
  }
  Key below;
  ZEL_EXPECT_GAP_ON_WINE(createKey(steps[last].get(), u"L", below) == 1450,
                         "Wine has no depth limit"); // ERROR_NO_SYSTEM_RESOURCES
  EXPECT_EQ(SHDeleteKeyW(root(), u"Deep"), ERROR_SUCCESS);
  EXPECT_FALSE(keyExists(root(), u"Deep"));
}

TEST_F(Registry, DeleteKeyRemovesOnlyALeaf) {
  Key key;
  ASSERT_EQ(createKey(root(), u"Parent\\Child", key), ERROR_SUCCESS);
  ASSERT_EQ(setValue(key.get(), u"Value", REG_DWORD, dwordBytes(1)), ERROR_SUCCESS);
  key.close();

  const LSTATUS refused = RegDeleteKeyW(root(), u"Parent");
  EXPECT_NE(refused, ERROR_SUCCESS) << "a key with sub-keys";
  EXPECT_NE(refused, ERROR_FILE_NOT_FOUND);
  EXPECT_TRUE(keyExists(root(), u"Parent\\Child"));

  EXPECT_EQ(RegDeleteKeyW(root(), u"PARENT\\child"), ERROR_SUCCESS) << "a leaf with values";
  EXPECT_FALSE(keyExists(root(), u"Parent\\Child"));
  EXPECT_EQ(RegDeleteKeyW(root(), u"Parent"), ERROR_SUCCESS) << "now a leaf";
  EXPECT_EQ(RegDeleteKeyW(root(), u"Parent"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteKeyW(root(), u"Missing\\Deeper"), ERROR_FILE_NOT_FOUND);
}

TEST_F(Registry, TreeDeleteRemovesEveryDescendant) {
  const char16_t *const paths[] = {u"Tree\\A\\B\\C", u"Tree\\A\\D", u"Tree\\E", u"Sibling"};
  for (const char16_t *pszPath : paths) {
    Key key;
    ASSERT_EQ(createKey(root(), pszPath, key), ERROR_SUCCESS);
    ASSERT_EQ(setValue(key.get(), nullptr, REG_SZ, textBytes(u"default")), ERROR_SUCCESS);
  }
  EXPECT_EQ(SHDeleteKeyW(root(), u"tree"), ERROR_SUCCESS);
  EXPECT_FALSE(keyExists(root(), u"Tree"));
  EXPECT_TRUE(keyExists(root(), u"Sibling"));
  EXPECT_EQ(SHDeleteKeyW(root(), u"Tree"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(SHDeleteKeyW(root(), u"Missing\\Deeper"), ERROR_FILE_NOT_FOUND);
}

TEST_F(Registry, CopyKeyMergesTheWholeTreeIntoTheDestination) {
  struct Entry {
    const char16_t *path;
    const char16_t *name;
    DWORD type;
    Bytes data;
  };
  const Entry source[] = {
      {u"Source", nullptr, REG_SZ, textBytes(u"the default")},
      {u"Source", u"Number", REG_DWORD, dwordBytes(0x01020304)},
      {u"Source", u"Shared", REG_SZ, textBytes(u"from the source")},
      {u"Source\\Child", u"Raw", REG_BINARY, {0, 1, 0xFF, 0}},
      {u"Source\\Child\\Grandchild", u"List", REG_MULTI_SZ,
       textBytes(std::u16string(u"a\0b\0", 4))},
      {u"Source\\Empty", nullptr, REG_NONE, {}},
  };
  const Entry destination[] = {
      {u"Destination", u"Shared", REG_DWORD, dwordBytes(9)},
      {u"Destination", u"Own", REG_SZ, textBytes(u"kept")},
      {u"Destination\\Child", u"OwnChildValue", REG_DWORD, dwordBytes(5)},
      {u"Destination\\Unrelated", u"Stays", REG_DWORD, dwordBytes(6)},
  };
  const auto writeAll = [this](const auto &entries) {
    for (const Entry &entry : entries) {
      Key key;
      ASSERT_EQ(createKey(root(), entry.path, key), ERROR_SUCCESS);
      ASSERT_EQ(setValue(key.get(), entry.name, entry.type, entry.data), ERROR_SUCCESS);
    }
  };
  writeAll(source);
  writeAll(destination);
  ASSERT_FALSE(HasFatalFailure());

  Key from;
  Key to;
  ASSERT_EQ(openKey(root(), u"Source", from, KEY_READ), ERROR_SUCCESS);
  ASSERT_EQ(openKey(root(), u"Destination", to), ERROR_SUCCESS);
  ASSERT_EQ(SHCopyKeyW(from.get(), nullptr, to.get(), 0), ERROR_SUCCESS);

  // Every source value arrives with its type and bytes, under the same path.
  for (std::size_t i = 0; i < std::size(source); ++i) {
    std::u16string path = u"Destination";
    path.append(source[i].path + std::size(u"Source") - 1);
    Key key;
    ASSERT_EQ(openKey(root(), path.c_str(), key, KEY_READ), ERROR_SUCCESS) << "case " << i;
    const Stored stored = queryValue(key.get(), source[i].name);
    EXPECT_EQ(stored.status, ERROR_SUCCESS) << "case " << i;
    EXPECT_EQ(stored.type, source[i].type) << "case " << i;
    EXPECT_EQ(stored.data, source[i].data) << "case " << i;
  }
  // What only the destination held stays.
  for (std::size_t i = 1; i < std::size(destination); ++i) {
    Key key;
    ASSERT_EQ(openKey(root(), destination[i].path, key, KEY_READ), ERROR_SUCCESS) << "case " << i;
    EXPECT_EQ(queryValue(key.get(), destination[i].name).data, destination[i].data) << "case " << i;
  }
  EXPECT_EQ(subKeyNames(from.get()), (std::set<std::u16string>{u"Child", u"Empty"}))
      << "the source is left as it was";
}

TEST_F(Registry, EnumerateKeysGivesEachNameOnceThenNoMoreItems) {
  const char16_t *const paths[] = {u"Alpha", u"beta", u"Gamma\\Nested", u"D\u00e9j\u00e0"};
  for (const char16_t *pszPath : paths) {
    Key key;
    ASSERT_EQ(createKey(root(), pszPath, key), ERROR_SUCCESS);
  }
  const std::set<std::u16string> names = subKeyNames(root());
  EXPECT_EQ(names, (std::set<std::u16string>{u"Alpha", u"beta", u"Gamma", u"D\u00e9j\u00e0"}))
      << describe(names);

  // The name and its terminator, nothing more; the length leaves the
  // terminator out.
  WCHAR name[16];
  std::fill(std::begin(name), std::end(name), PATTERN);
  DWORD cchName = 16;
  FILETIME written = {SENTINEL, SENTINEL};
  ASSERT_EQ(RegEnumKeyExW(root(), 0, name, &cchName, nullptr, nullptr, nullptr, &written),
            ERROR_SUCCESS);
  ASSERT_LT(cchName, 15u);
  EXPECT_EQ(name[cchName], u'\0');
  EXPECT_EQ(name[cchName + 1], PATTERN);
  EXPECT_EQ(std::u16string(name).size(), cchName);
  const unsigned long long writeTime =
      (static_cast<unsigned long long>(written.dwHighDateTime) << 32) | written.dwLowDateTime;
  EXPECT_GT(writeTime, YEAR_2000);

  // No room for the terminator is too small.
  cchName = static_cast<DWORD>(std::u16string(name).size());
  EXPECT_EQ(RegEnumKeyExW(root(), 0, name, &cchName, nullptr, nullptr, nullptr, nullptr),
            ERROR_MORE_DATA);

  cchName = 16;
  EXPECT_EQ(RegEnumKeyExW(root(), 4, name, &cchName, nullptr, nullptr, nullptr, nullptr),
            ERROR_NO_MORE_ITEMS);
  Key leaf;
  ASSERT_EQ(openKey(root(), u"Alpha", leaf, KEY_READ), ERROR_SUCCESS);
  cchName = 16;
  EXPECT_EQ(RegEnumKeyExW(leaf.get(), 0, name, &cchName, nullptr, nullptr, nullptr, nullptr),
            ERROR_NO_MORE_ITEMS);
}

// An index means the entry at that place in the key as it is now: changes
// between the calls move later entries, in either direction of walking.
// Names are chosen so that creation and alphabetical order agree, as Wine
// lists in name order.
TEST_F(Registry, EnumerationIndexesFollowChangesBetweenCalls) {
  struct Kind {
    const char *what;
    LSTATUS (*add)(HKEY, const char16_t *);
    LSTATUS (*remove)(HKEY, const char16_t *);
    std::u16string (*at)(HKEY, DWORD, LSTATUS &);
  };
  const Kind kinds[] = {
      {"values", [](HKEY h, const char16_t *n) { return setValue(h, n, REG_DWORD, dwordBytes(1)); },
       [](HKEY h, const char16_t *n) { return RegDeleteValueW(h, n); },
       [](HKEY h, DWORD i, LSTATUS &status) {
         WCHAR name[16];
         DWORD cchName = 16;
         status = RegEnumValueW(h, i, name, &cchName, nullptr, nullptr, nullptr, nullptr);
         return status == ERROR_SUCCESS ? std::u16string(name, cchName) : std::u16string();
       }},
      {"keys",
       [](HKEY h, const char16_t *n) {
         Key key;
         return createKey(h, n, key);
       },
       [](HKEY h, const char16_t *n) { return RegDeleteKeyW(h, n); }, keyName},
  };
  struct Step {
    const char16_t *add, *remove; // before reading
    DWORD index;
    const char16_t *expected; // null: no more items
  };
  const Step steps[] = {
      {nullptr, nullptr, 0, u"e0"},   {nullptr, nullptr, 1, u"e1"}, {nullptr, nullptr, 3, u"e3"},
      {nullptr, u"e1", 3, u"e4"},     {nullptr, nullptr, 1, u"e2"}, {u"e6", nullptr, 5, u"e6"},
      {nullptr, nullptr, 6, nullptr}, {nullptr, u"e0", 0, u"e2"},   {nullptr, nullptr, 4, u"e6"},
      {u"e7", nullptr, 3, u"e5"},     {nullptr, nullptr, 5, u"e7"}, {nullptr, u"e5", 3, u"e6"},
      {u"e3", nullptr, 1, u"e3"}, // replaced or reopened: nothing moves
  };
  for (const Kind &kind : kinds) {
    Key key;
    ASSERT_EQ(createKey(root(), u"Walk", key), ERROR_SUCCESS);
    for (const char16_t *name : {u"e0", u"e1", u"e2", u"e3", u"e4", u"e5"})
      ASSERT_EQ(kind.add(key.get(), name), ERROR_SUCCESS);
    for (std::size_t i = 0; i < std::size(steps); ++i) {
      if (steps[i].add) {
        ASSERT_EQ(kind.add(key.get(), steps[i].add), ERROR_SUCCESS) << kind.what << " step " << i;
      }
      if (steps[i].remove) {
        ASSERT_EQ(kind.remove(key.get(), steps[i].remove), ERROR_SUCCESS)
            << kind.what << " step " << i;
      }
      LSTATUS status = SENTINEL;
      const std::u16string name = kind.at(key.get(), steps[i].index, status);
      EXPECT_EQ(status, steps[i].expected ? ERROR_SUCCESS : ERROR_NO_MORE_ITEMS)
          << kind.what << " step " << i;
      EXPECT_EQ(name, zeltest::text(steps[i].expected)) << kind.what << " step " << i;
    }
    key.close();
    ASSERT_EQ(SHDeleteKeyW(root(), u"Walk"), ERROR_SUCCESS);
  }
}

TEST_F(Registry, EnumerateValuesIncludesTheDefaultValueByItsEmptyName) {
  ASSERT_EQ(setValue(root(), nullptr, REG_SZ, textBytes(u"default")), ERROR_SUCCESS);
  ASSERT_EQ(setValue(root(), u"Number", REG_DWORD, dwordBytes(42)), ERROR_SUCCESS);
  ASSERT_EQ(setValue(root(), u"Text", REG_EXPAND_SZ, textBytes(u"%TEMP%")), ERROR_SUCCESS);
  const std::set<std::u16string> names = valueNames(root());
  EXPECT_EQ(names, (std::set<std::u16string>{u"", u"Number", u"Text"})) << describe(names);

  // Each index gives a name with its type and data, as a query does.
  for (DWORD i = 0; i < 3; ++i) {
    WCHAR name[16];
    std::fill(std::begin(name), std::end(name), PATTERN);
    DWORD cchName = 16;
    DWORD dwType = SENTINEL;
    BYTE data[64];
    DWORD cbData = sizeof data;
    ASSERT_EQ(RegEnumValueW(root(), i, name, &cchName, nullptr, &dwType, data, &cbData),
              ERROR_SUCCESS)
        << "index " << i;
    EXPECT_EQ(name[cchName], u'\0') << "index " << i;
    const Stored stored = queryValue(root(), cchName == 0 ? nullptr : name);
    EXPECT_EQ(dwType, stored.type) << "index " << i;
    EXPECT_EQ(Bytes(data, data + cbData), stored.data) << "index " << i;

    // A short data buffer reports the size it needs.
    if (cbData > 1) {
      DWORD cbShort = 1;
      cchName = 16;
      EXPECT_EQ(RegEnumValueW(root(), i, name, &cchName, nullptr, nullptr, data, &cbShort),
                ERROR_MORE_DATA)
          << "index " << i;
      EXPECT_EQ(cbShort, cbData) << "index " << i;
    }
  }

  // A name buffer without room for the terminator is too small.
  WCHAR name[16];
  for (DWORD i = 0; i < 3; ++i) {
    DWORD cchName = 16;
    ASSERT_EQ(RegEnumValueW(root(), i, name, &cchName, nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    if (cchName == 0)
      continue;
    DWORD cchShort = cchName;
    EXPECT_EQ(RegEnumValueW(root(), i, name, &cchShort, nullptr, nullptr, nullptr, nullptr),
              ERROR_MORE_DATA)
        << "index " << i;
  }
  DWORD cchName = 16;
  EXPECT_EQ(RegEnumValueW(root(), 3, name, &cchName, nullptr, nullptr, nullptr, nullptr),
            ERROR_NO_MORE_ITEMS);
}

TEST_F(Registry, KeyInformationCountsInTheDocumentedUnits) {
  Key child;
  ASSERT_EQ(createKey(root(), u"Short", child), ERROR_SUCCESS);
  ASSERT_EQ(createKey(root(), u"LongerChildName\\Below\\AndBelowThat", child), ERROR_SUCCESS);
  char16_t szClass[] = u"ZelClass";
  ASSERT_EQ(RegCreateKeyExW(root(), u"Classy", 0, szClass, 0, KEY_ALL_ACCESS, nullptr, child.out(),
                            nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(setValue(root(), nullptr, REG_BINARY, Bytes(300, 1)), ERROR_SUCCESS);
  ASSERT_EQ(setValue(root(), u"LongestValueName", REG_DWORD, dwordBytes(1)), ERROR_SUCCESS);
  ASSERT_EQ(setValue(root(), u"V", REG_SZ, textBytes(u"abc")), ERROR_SUCCESS);

  WCHAR className[16];
  std::fill(std::begin(className), std::end(className), PATTERN);
  DWORD cchClass = 16;
  DWORD figures[6];
  std::fill(std::begin(figures), std::end(figures), SENTINEL);
  DWORD &cSubKeys = figures[0], &cchMaxSubKey = figures[1], &cchMaxClass = figures[2],
        &cValues = figures[3], &cchMaxValueName = figures[4], &cbMaxValue = figures[5];
  FILETIME written = {SENTINEL, SENTINEL};
  ASSERT_EQ(RegQueryInfoKeyW(root(), className, &cchClass, nullptr, &cSubKeys, &cchMaxSubKey,
                             &cchMaxClass, &cValues, &cchMaxValueName, &cbMaxValue, nullptr,
                             &written),
            ERROR_SUCCESS);
  EXPECT_EQ(cchClass, 0u) << "created without a class";
  EXPECT_EQ(className[0], u'\0');
  EXPECT_EQ(cSubKeys, 3u) << "children only, not grandchildren";
  EXPECT_EQ(cchMaxSubKey, 15u) << "characters, without the terminator";
  EXPECT_EQ(cchMaxClass, 8u);
  EXPECT_EQ(cValues, 3u) << "the default value counts";
  EXPECT_EQ(cchMaxValueName, 16u) << "characters, without the terminator";
  EXPECT_EQ(cbMaxValue, 300u) << "bytes, the default value's data included";
  const unsigned long long writeTime =
      (static_cast<unsigned long long>(written.dwHighDateTime) << 32) | written.dwLowDateTime;
  EXPECT_GT(writeTime, YEAR_2000);

  // The framework asks for one figure at a time, the others null.
  DWORD cOnly = SENTINEL;
  EXPECT_EQ(RegQueryInfoKeyW(root(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &cOnly,
                             nullptr, nullptr, nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(cOnly, 3u);

  cchClass = 16;
  ASSERT_EQ(RegQueryInfoKeyW(child.get(), className, &cchClass, nullptr, nullptr, nullptr, nullptr,
                             nullptr, nullptr, nullptr, nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(cchClass, 8u);
  EXPECT_EQ(std::u16string(className), u"ZelClass");

  // An empty key has nothing to count.
  Key empty;
  ASSERT_EQ(openKey(root(), u"Short", empty, KEY_READ), ERROR_SUCCESS);
  std::fill(std::begin(figures), std::end(figures), SENTINEL);
  ASSERT_EQ(RegQueryInfoKeyW(empty.get(), nullptr, nullptr, nullptr, &cSubKeys, &cchMaxSubKey,
                             &cchMaxClass, &cValues, &cchMaxValueName, &cbMaxValue, nullptr,
                             nullptr),
            ERROR_SUCCESS);
  for (std::size_t i = 0; i < std::size(figures); ++i)
    EXPECT_EQ(figures[i], 0u) << "figure " << i;
}

TEST_F(Registry, QueryMultipleValuesFillsEveryEntry) {
  struct Case {
    const char16_t *name;
    DWORD type;
    Bytes data;
  };
  const Case cases[] = {
      {u"Text", REG_SZ, textBytes(u"hello")},
      {u"Number", REG_DWORD, dwordBytes(0xCAFE)},
      {u"Odd", REG_BINARY, {1, 2, 3}},
      {u"Nothing", REG_BINARY, {}},
      {u"List", REG_MULTI_SZ, textBytes(std::u16string(u"x\0yz\0", 5))},
  };
  constexpr DWORD count = static_cast<DWORD>(std::size(cases));
  DWORD total = 0;
  VALENTW entries[count];
  std::vector<std::u16string> names;
  for (const Case &c : cases) {
    ASSERT_EQ(setValue(root(), c.name, c.type, c.data), ERROR_SUCCESS);
    total += static_cast<DWORD>(c.data.size());
    names.emplace_back(c.name);
  }
  for (DWORD i = 0; i < count; ++i)
    entries[i] = {names[i].data(), SENTINEL, 0, SENTINEL};

  // The size alone, then too little room: both report the size needed.
  DWORD cbNeeded = 0;
  ASSERT_EQ(RegQueryMultipleValuesW(root(), entries, count, nullptr, &cbNeeded), ERROR_MORE_DATA);
  EXPECT_GE(cbNeeded, total);
  std::vector<char16_t> buffer(cbNeeded / 2 + 16, PATTERN);
  DWORD cbShort = cbNeeded - 1;
  EXPECT_EQ(RegQueryMultipleValuesW(root(), entries, count, buffer.data(), &cbShort),
            ERROR_MORE_DATA);
  EXPECT_EQ(cbShort, cbNeeded);

  DWORD cbBuffer = static_cast<DWORD>(buffer.size() * 2);
  ASSERT_EQ(RegQueryMultipleValuesW(root(), entries, count, buffer.data(), &cbBuffer),
            ERROR_SUCCESS);
  const auto begin = reinterpret_cast<std::uintptr_t>(buffer.data());
  const auto end = begin + buffer.size() * 2;
  for (DWORD i = 0; i < count; ++i) {
    EXPECT_EQ(entries[i].ve_type, cases[i].type) << "case " << i;
    ASSERT_EQ(entries[i].ve_valuelen, cases[i].data.size()) << "case " << i;
    if (cases[i].data.empty())
      continue;
    ASSERT_GE(entries[i].ve_valueptr, begin) << "case " << i;
    ASSERT_LE(entries[i].ve_valueptr + entries[i].ve_valuelen, end) << "case " << i;
    const auto *pData = reinterpret_cast<const BYTE *>(entries[i].ve_valueptr);
    EXPECT_EQ(Bytes(pData, pData + entries[i].ve_valuelen), cases[i].data) << "case " << i;
  }

  // One missing name fails the whole call.
  std::u16string missing = u"Missing";
  entries[2].ve_valuename = missing.data();
  cbBuffer = static_cast<DWORD>(buffer.size() * 2);
  const LSTATUS status = RegQueryMultipleValuesW(root(), entries, count, buffer.data(), &cbBuffer);
  EXPECT_NE(status, ERROR_SUCCESS);
  EXPECT_NE(status, ERROR_MORE_DATA);
}

TEST_F(Registry, QueryValueReportsSizesAndShortBuffers) {
  const Bytes data = textBytes(u"twelve chars");
  ASSERT_EQ(setValue(root(), u"Text", REG_SZ, data), ERROR_SUCCESS);

  // With a null buffer only the size is reported.
  DWORD dwType = SENTINEL;
  DWORD cbData = SENTINEL;
  EXPECT_EQ(RegQueryValueExW(root(), u"Text", nullptr, &dwType, nullptr, &cbData), ERROR_SUCCESS);
  EXPECT_EQ(cbData, data.size());
  EXPECT_EQ(dwType, REG_SZ);

  Bytes buffer(64, BYTE_PATTERN);
  struct Case {
    DWORD size;
    LSTATUS expected;
  };
  const Case cases[] = {{0, ERROR_MORE_DATA},
                        {1, ERROR_MORE_DATA},
                        {static_cast<DWORD>(data.size() - 1), ERROR_MORE_DATA},
                        {static_cast<DWORD>(data.size()), ERROR_SUCCESS},
                        {64, ERROR_SUCCESS}};
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    std::fill(buffer.begin(), buffer.end(), BYTE_PATTERN);
    cbData = cases[i].size;
    EXPECT_EQ(RegQueryValueExW(root(), u"Text", nullptr, nullptr, buffer.data(), &cbData),
              cases[i].expected)
        << "case " << i;
    EXPECT_EQ(cbData, data.size()) << "case " << i << ": the size needed or copied";
    EXPECT_TRUE(std::all_of(buffer.begin() + std::max<DWORD>(cases[i].size, cbData), buffer.end(),
                            [](BYTE b) { return b == BYTE_PATTERN; }))
        << "case " << i << ": wrote past the buffer";
    if (cases[i].expected == ERROR_SUCCESS) {
      EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + cbData), data) << "case " << i;
    }
  }

  cbData = SENTINEL;
  dwType = SENTINEL;
  EXPECT_EQ(RegQueryValueExW(root(), u"Missing", nullptr, &dwType, nullptr, &cbData),
            ERROR_FILE_NOT_FOUND);
  cbData = 64;
  EXPECT_EQ(RegQueryValueExW(root(), nullptr, nullptr, nullptr, buffer.data(), &cbData),
            ERROR_FILE_NOT_FOUND)
      << "a default value never set";
}

TEST_F(Registry, SetValueKeepsBytesAndTypeExactly) {
  Bytes large(70000);
  for (std::size_t i = 0; i < large.size(); ++i)
    large[i] = static_cast<BYTE>(i * 7 + i / 256);
  struct Case {
    const char16_t *name;
    DWORD type;
    Bytes data;
  };
  const Case cases[] = {
      {u"Text", REG_SZ, textBytes(u"caf\u00e9 \u20ac")},
      {u"Expand", REG_EXPAND_SZ, textBytes(u"%SystemRoot%\\x")},
      {u"List", REG_MULTI_SZ, textBytes(std::u16string(u"a\0bc\0", 5))},
      {u"Number", REG_DWORD, dwordBytes(0x80000001)},
      {u"Big", REG_QWORD, {1, 2, 3, 4, 5, 6, 7, 8}},
      {u"Raw", REG_BINARY, {0, 0xFF, 0, 0x80, 0}},
      {u"Large", REG_BINARY, large},
      {u"EmptyBinary", REG_BINARY, {}},
      {u"EmptyText", REG_SZ, {}},
      {u"None", REG_NONE, {}},
      {u"OddType", 0x12345, {9, 8, 7}},
      {nullptr, REG_SZ, textBytes(u"the default")},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    ASSERT_EQ(setValue(root(), cases[i].name, cases[i].type, cases[i].data), ERROR_SUCCESS)
        << "case " << i;
    const Stored stored = queryValue(root(), cases[i].name);
    EXPECT_EQ(stored.status, ERROR_SUCCESS) << "case " << i;
    EXPECT_EQ(stored.type, cases[i].type) << "case " << i;
    EXPECT_EQ(stored.data.size(), cases[i].data.size()) << "case " << i;
    EXPECT_TRUE(stored.data == cases[i].data) << "case " << i;
  }

  // Replacing takes the new type and the new, shorter length.
  ASSERT_EQ(setValue(root(), u"Large", REG_DWORD, dwordBytes(5)), ERROR_SUCCESS);
  const Stored replaced = queryValue(root(), u"Large");
  EXPECT_EQ(replaced.type, REG_DWORD);
  EXPECT_EQ(replaced.data, dwordBytes(5));

  // Zero bytes may come without a buffer.
  ASSERT_EQ(RegSetValueExW(root(), u"NullData", 0, REG_BINARY, nullptr, 0), ERROR_SUCCESS);
  EXPECT_EQ(queryValue(root(), u"NullData").data.size(), 0u);
}

TEST_F(Registry, DeleteValueRemovesOnlyThatValue) {
  ASSERT_EQ(setValue(root(), u"Gone", REG_DWORD, dwordBytes(1)), ERROR_SUCCESS);
  ASSERT_EQ(setValue(root(), u"Stays", REG_DWORD, dwordBytes(2)), ERROR_SUCCESS);
  ASSERT_EQ(setValue(root(), nullptr, REG_SZ, textBytes(u"default")), ERROR_SUCCESS);

  EXPECT_EQ(RegDeleteValueW(root(), u"GONE"), ERROR_SUCCESS);
  EXPECT_EQ(queryValue(root(), u"Gone").status, ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteValueW(root(), u"Gone"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteValueW(root(), nullptr), ERROR_SUCCESS) << "the default value";
  EXPECT_EQ(queryValue(root(), nullptr).status, ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteValueW(root(), u""), ERROR_FILE_NOT_FOUND) << "the default value again";
  EXPECT_EQ(queryValue(root(), u"Stays").data, dwordBytes(2));
}

TEST_F(Registry, NamesMatchWhateverTheirCaseAndKeepTheirSpelling) {
  Key key;
  ASSERT_EQ(createKey(root(), u"MixedCase", key), ERROR_SUCCESS);
  ASSERT_EQ(createKey(root(), u"\u00c9t\u00e9", key), ERROR_SUCCESS);
  DWORD dwDisposition = SENTINEL;
  ASSERT_EQ(createKey(root(), u"\u00e9T\u00c9", key, &dwDisposition), ERROR_SUCCESS);
  EXPECT_EQ(dwDisposition, REG_OPENED_EXISTING_KEY) << "non-ASCII letters fold too";
  EXPECT_EQ(openKey(root(), u"MIXEDCASE", key), ERROR_SUCCESS);
  EXPECT_EQ(subKeyNames(root()), (std::set<std::u16string>{u"MixedCase", u"\u00c9t\u00e9"}));

  // Writing under another spelling replaces the value and keeps its name.
  ASSERT_EQ(setValue(root(), u"ValueName", REG_DWORD, dwordBytes(1)), ERROR_SUCCESS);
  ASSERT_EQ(setValue(root(), u"VALUENAME", REG_SZ, textBytes(u"two")), ERROR_SUCCESS);
  EXPECT_EQ(valueNames(root()), std::set<std::u16string>{u"ValueName"});
  const Stored stored = queryValue(root(), u"valuename");
  EXPECT_EQ(stored.type, REG_SZ);
  EXPECT_EQ(stored.data, textBytes(u"two"));
}

TEST_F(Registry, SavedKeyRestoresOverLaterChanges) {
  ASSERT_TRUE(enablePrivilege(SE_BACKUP_NAME));
  ASSERT_TRUE(enablePrivilege(SE_RESTORE_NAME));
  const char16_t *const pszFile = u"zel_registry_test.hiv";
  DeleteFileW(pszFile);
  Key saved;
  ASSERT_EQ(createKey(root(), u"Saved\\Inner", saved), ERROR_SUCCESS);
  ASSERT_EQ(setValue(saved.get(), u"Deep", REG_BINARY, {1, 2, 3}), ERROR_SUCCESS);
  ASSERT_EQ(openKey(root(), u"Saved", saved), ERROR_SUCCESS);
  ASSERT_EQ(setValue(saved.get(), u"Kept", REG_SZ, textBytes(u"before")), ERROR_SUCCESS);

  EXPECT_EQ(RegSaveKeyW(saved.get(), pszFile, nullptr), ERROR_SUCCESS);
  ZEL_EXPECT_GAP_ON_WINE(RegSaveKeyW(saved.get(), pszFile, nullptr) == ERROR_ALREADY_EXISTS,
                         "saving overwrites an existing file");

  ASSERT_EQ(setValue(saved.get(), u"Kept", REG_SZ, textBytes(u"after")), ERROR_SUCCESS);
  ASSERT_EQ(setValue(saved.get(), u"Added", REG_DWORD, dwordBytes(1)), ERROR_SUCCESS);
  ASSERT_EQ(SHDeleteKeyW(saved.get(), u"Inner"), ERROR_SUCCESS);
  Key added;
  ASSERT_EQ(createKey(root(), u"Saved\\AddedKey", added), ERROR_SUCCESS);
  added.close();

  // The saved tree replaces the key's whole content.
  EXPECT_EQ(RegRestoreKeyW(saved.get(), pszFile, 0), ERROR_SUCCESS);
  const Stored kept = queryValue(saved.get(), u"Kept");
  ZEL_EXPECT_GAP_ON_WINE(kept.data == textBytes(u"before"), "restoring changes nothing");
  ZEL_EXPECT_GAP_ON_WINE(queryValue(saved.get(), u"Added").status == ERROR_FILE_NOT_FOUND,
                         "restoring changes nothing");
  ZEL_EXPECT_GAP_ON_WINE(subKeyNames(saved.get()) == std::set<std::u16string>{u"Inner"},
                         "restoring changes nothing");
  Key inner;
  if (openKey(saved.get(), u"Inner", inner, KEY_READ) == ERROR_SUCCESS) {
    EXPECT_EQ(queryValue(inner.get(), u"Deep").data, (Bytes{1, 2, 3}));
  }
  inner.close();
  // Again, over the sub-key the first restore made: replaced in the same call.
  EXPECT_EQ(RegRestoreKeyW(saved.get(), pszFile, 0), ERROR_SUCCESS);
  ZEL_EXPECT_GAP_ON_WINE(openKey(saved.get(), u"Inner", inner, KEY_READ) == ERROR_SUCCESS &&
                             queryValue(inner.get(), u"Deep").data == (Bytes{1, 2, 3}),
                         "restoring changes nothing");
  inner.close();

  ZEL_EXPECT_GAP_ON_WINE(RegRestoreKeyW(saved.get(), u"zel_registry_missing.hiv", 0) !=
                             ERROR_SUCCESS,
                         "restoring from a missing file succeeds");
  saved.close();
  DeleteFileW(pszFile);
}

TEST(RegistryViews, The32BitViewOfTheMachineSoftwareKeyIsWow6432Node) {
  removeMachineRoots();
  {
    Key key;
    ASSERT_EQ(createKey(HKEY_LOCAL_MACHINE, TEST_ROOT, key, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS | KEY_WOW64_32KEY),
              ERROR_SUCCESS);
    ASSERT_EQ(setValue(key.get(), u"View", REG_DWORD, dwordBytes(32)), ERROR_SUCCESS);

    Key seen;
    ASSERT_EQ(openKey(HKEY_LOCAL_MACHINE, u"Software\\Wow6432Node\\Fixwell\\Test", seen,
                      KEY_READ | KEY_WOW64_64KEY),
              ERROR_SUCCESS);
    EXPECT_EQ(queryValue(seen.get(), u"View").data, dwordBytes(32));
    EXPECT_EQ(openKey(HKEY_LOCAL_MACHINE, TEST_ROOT, seen, KEY_READ | KEY_WOW64_64KEY),
              ERROR_FILE_NOT_FOUND)
        << "nothing lands in the 64-bit view";
    EXPECT_EQ(openKey(HKEY_LOCAL_MACHINE, TEST_ROOT, seen, KEY_READ | KEY_WOW64_32KEY),
              ERROR_SUCCESS);
  }
  removeMachineRoots();
}

// A leaf in both views; the call deletes the one of the view it names, or
// of the program's own view when it names none (the 32-bit one under WoW64).
TEST(RegistryViews, DeleteKeyExDeletesInTheViewItNames) {
  BOOL bWow64 = FALSE;
  ASSERT_TRUE(IsWow64Process(GetCurrentProcess(), &bWow64));
  const std::u16string leaf = std::u16string(TEST_ROOT) + u"\\Leaf";
  const std::u16string paths[] = {leaf, u"Software\\Wow6432Node" + leaf.substr(8)};
  struct Case {
    REGSAM view;
    bool b32; // the view whose leaf goes
  } const cases[] = {
      {KEY_WOW64_64KEY, false},
      {KEY_WOW64_32KEY, true},
      {0, bWow64 != FALSE},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    removeMachineRoots();
    for (const std::u16string &path : paths) {
      Key key;
      ASSERT_EQ(createKey(HKEY_LOCAL_MACHINE, path.c_str(), key, nullptr, REG_OPTION_NON_VOLATILE,
                          KEY_ALL_ACCESS | KEY_WOW64_64KEY),
                ERROR_SUCCESS)
          << "case " << i;
    }
    EXPECT_EQ(RegDeleteKeyExW(HKEY_LOCAL_MACHINE, leaf.c_str(), cases[i].view, 0), ERROR_SUCCESS)
        << "case " << i;
    for (int b32 = 0; b32 < 2; ++b32)
      EXPECT_EQ(keyExists(HKEY_LOCAL_MACHINE, paths[b32].c_str(), KEY_READ | KEY_WOW64_64KEY),
                cases[i].b32 != (b32 != 0))
          << "case " << i << ", " << (b32 ? "32" : "64") << "-bit view";
    EXPECT_EQ(RegDeleteKeyExW(HKEY_LOCAL_MACHINE, leaf.c_str(), cases[i].view, 0),
              ERROR_FILE_NOT_FOUND)
        << "case " << i << ": the other view's leaf is not reached";
  }
  removeMachineRoots();
}

namespace {

const char16_t *const EXPAND_NAMES[] = {u"ZelExpandOne", u"ZelExpandEmpty"};

class Expand : public ::testing::Test {
protected:
  void SetUp() override {
    removeAll();
    ASSERT_TRUE(SetEnvironmentVariableW(u"ZelExpandOne", u"abc"));
    ASSERT_TRUE(SetEnvironmentVariableW(u"ZelExpandEmpty", u""));
  }
  void TearDown() override { removeAll(); }
  static void removeAll() {
    for (const char16_t *pszName : EXPAND_NAMES)
      SetEnvironmentVariableW(pszName, nullptr);
  }
};

} // namespace

TEST_F(Expand, ReferencesAreReplacedAndTheRestKeptAsWritten) {
  struct Case {
    const char16_t *source;
    const char16_t *expanded;
  };
  const Case cases[] = {
      {u"", u""},
      {u"plain text", u"plain text"},
      {u"a%ZelExpandOne%b", u"aabcb"},
      {u"%zelexpandone%", u"abc"},
      {u"%ZelExpandOne%%ZelExpandOne%", u"abcabc"},
      {u"[%ZelExpandEmpty%]", u"[]"},
      {u"%ZelExpandMissing%", u"%ZelExpandMissing%"},
      {u"%ZelExpandMissing%-%ZelExpandOne%", u"%ZelExpandMissing%-abc"},
      {u"%ZelExpandOne", u"%ZelExpandOne"},
      {u"100%", u"100%"},
      {u"%%", u"%%"},
      {u"a%%b", u"a%%b"},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const std::u16string expected = cases[i].expanded;
    WCHAR buffer[64];
    std::fill(std::begin(buffer), std::end(buffer), PATTERN);
    EXPECT_EQ(ExpandEnvironmentStringsW(cases[i].source, buffer, 64), expected.size() + 1)
        << "case " << i << ": the terminator counts";
    EXPECT_EQ(std::u16string(buffer), expected) << "case " << i;
    EXPECT_EQ(buffer[expected.size() + 1], PATTERN) << "case " << i;
  }
}

TEST_F(Expand, ShortBufferReportsTheSizeNeeded) {
  // "xabcx" needs six units with its terminator.
  const DWORD sizes[] = {0, 1, 5};
  for (std::size_t i = 0; i < std::size(sizes); ++i) {
    WCHAR buffer[16];
    std::fill(std::begin(buffer), std::end(buffer), PATTERN);
    EXPECT_EQ(ExpandEnvironmentStringsW(u"x%ZelExpandOne%x", buffer, sizes[i]), 6u) << "case " << i;
    EXPECT_TRUE(std::all_of(buffer + sizes[i], std::end(buffer),
                            [](WCHAR unit) { return unit == PATTERN; }))
        << "case " << i << ": wrote past nSize";
  }
  EXPECT_EQ(ExpandEnvironmentStringsW(u"x%ZelExpandOne%x", nullptr, 0), 6u);
  WCHAR exact[6];
  EXPECT_EQ(ExpandEnvironmentStringsW(u"x%ZelExpandOne%x", exact, 6), 6u);
  EXPECT_EQ(std::u16string(exact), u"xabcx");
}
