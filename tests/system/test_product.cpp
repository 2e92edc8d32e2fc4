// test_product.cpp - CZELProduct_VLM over the registry: the two locations in
// order, the other registry view, the version rules and the policy check.
// The suite's keys and the policy keys are removed before and after each
// test, in both views.
#include "zel_product_vlm.h"
#include "zel_test_support.h"

#include "zelsys/registry.h"
#include "zelsys/winconst.h"

#include <iterator>
#include <string>
#include <vector>

using namespace zelsys;

namespace {

const char16_t CURRENT[] = u"Software\\Korvel\\Velmora";
const char16_t LEGACY[] = u"Software\\Astel Solvane\\Tessaly";
const char16_t POLICY_MACHINE[] = u"Software\\Policies\\Korvel\\ZEL Common\\Velmora";
const char16_t POLICY_USER_ORDINARY[] = u"Software\\Korvel\\ZEL Common\\Velmora";

void putString(HKEY hRoot, const char16_t *pszKey, const char16_t *pszName,
               const std::u16string &text, REGSAM samView = 0) {
  HKEY hKey = nullptr;
  ASSERT_EQ(RegCreateKeyExW(hRoot, pszKey, 0, nullptr, 0, KEY_ALL_ACCESS | samView, nullptr, &hKey,
                            nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(RegSetValueExW(hKey, pszName, 0, REG_SZ, reinterpret_cast<const BYTE *>(text.c_str()),
                           static_cast<DWORD>((text.size() + 1) * sizeof(char16_t))),
            ERROR_SUCCESS);
  RegCloseKey(hKey);
}

void putDword(HKEY hRoot, const char16_t *pszKey, const char16_t *pszName, DWORD dwValue) {
  HKEY hKey = nullptr;
  ASSERT_EQ(RegCreateKeyExW(hRoot, pszKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &hKey, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(RegSetValueExW(hKey, pszName, 0, REG_DWORD, reinterpret_cast<const BYTE *>(&dwValue),
                           sizeof dwValue),
            ERROR_SUCCESS);
  RegCloseKey(hKey);
}

void removeAll() {
  for (REGSAM samView : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
    HKEY hSoftware = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software", 0, KEY_ALL_ACCESS | samView, &hSoftware) !=
        ERROR_SUCCESS)
      continue;
    for (const char16_t *pszKey : {u"Korvel", u"Astel Solvane", u"Policies\\Korvel"})
      SHDeleteKeyW(hSoftware, pszKey);
    RegCloseKey(hSoftware);
  }
  SHDeleteKeyW(HKEY_CURRENT_USER, u"Software\\Policies\\Korvel");
  SHDeleteKeyW(HKEY_CURRENT_USER, u"Software\\Korvel");
}

std::u16string textOf(const CZELWCharString &text) { return zeltest::text(text.getBuffer()); }

class Product : public ::testing::Test {
protected:
  void SetUp() override { removeAll(); }
  void TearDown() override { removeAll(); }
};

} // namespace

TEST_F(Product, LocationsAreSearchedInOrderInBothViews) {
  struct Value {
    const char16_t *key;
    const char16_t *name;
    const char16_t *text;
    REGSAM view;
  };
  struct Case {
    const char *what;
    std::vector<Value> values;
    const char16_t *version, *directory, *location; // null: the query fails
  };
  const Case cases[] = {
      {"both locations",
       {{CURRENT, u"Version", u"8.0.1", 0},
        {CURRENT, u"InstallPath", u"C:\\Now\\", 0},
        {LEGACY, u"Version", u"7.2", 0},
        {LEGACY, u"InstallPath", u"C:\\Then\\", 0}},
       u"8.0.1",
       u"C:\\Now\\",
       CURRENT},
      {"legacy only",
       {{LEGACY, u"Version", u"7.2", 0}, {LEGACY, u"InstallPath", u"C:\\Then\\", 0}},
       u"7.2",
       u"C:\\Then\\",
       LEGACY},
      {"version without install path",
       {{CURRENT, u"Version", u"8.1", 0},
        {LEGACY, u"Version", u"7.2", 0},
        {LEGACY, u"InstallPath", u"C:\\Then\\", 0}},
       u"8.1",
       u"C:\\Then\\",
       LEGACY},
      {"32-bit view only",
       {{CURRENT, u"Version", u"8.0.2", KEY_WOW64_32KEY},
        {CURRENT, u"InstallPath", u"C:\\Wow\\", KEY_WOW64_32KEY}},
       u"8.0.2",
       u"C:\\Wow\\",
       CURRENT},
      {"nothing recorded", {}, nullptr, nullptr, nullptr},
  };
  for (const Case &c : cases) {
    removeAll();
    for (const Value &value : c.values)
      putString(HKEY_LOCAL_MACHINE, value.key, value.name, value.text, value.view);
    CZELProduct_VLM product;
    using Query = bool (*)(CZELProduct_VLM &, CZELWCharString &);
    const struct {
      Query query;
      const char16_t *expected;
    } queries[] = {
        {[](CZELProduct_VLM &p, CZELWCharString &out) { return p.getProductVersion(out); },
         c.version},
        {[](CZELProduct_VLM &p, CZELWCharString &out) { return p.getInstallDirectory(out); },
         c.directory},
        {[](CZELProduct_VLM &p, CZELWCharString &out) { return p.getRegistryLocation(out); },
         c.location}};
    for (std::size_t i = 0; i < std::size(queries); ++i) {
      CZELWCharString out(u"untouched");
      EXPECT_EQ(queries[i].query(product, out), queries[i].expected != nullptr)
          << c.what << ", query " << i;
      EXPECT_EQ(textOf(out), queries[i].expected ? queries[i].expected : u"untouched")
          << c.what << ", query " << i;
    }
  }
}

TEST_F(Product, VersionRulesAndTheBadArgumentLines) {
  putString(HKEY_LOCAL_MACHINE, CURRENT, u"Version", u"6.0.1");
  CZELProduct_VLM product;
  ZEL_LONG lVersion[4] = {-5, -5, -5, -5};
  ASSERT_TRUE(product.getProductVersion(&lVersion[0], &lVersion[1], &lVersion[2], &lVersion[3]));
  EXPECT_EQ(lVersion[0], 6);
  EXPECT_EQ(lVersion[2], 1);
  EXPECT_EQ(lVersion[3], -5) << "a missing field leaves its number alone";

  struct Case {
    ZEL_LONG version[4];
    bool installed;
  };
  const Case cases[] = {
      {{6, -1, -1, -1}, true}, {{5, -1, -1, -1}, true}, {{7, -1, -1, -1}, false},
      {{6, 0, 1, 0}, true},    {{6, 0, 2, -1}, false},  {{6, 0, 0, 9}, true},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const ZEL_LONG *v = cases[i].version;
    EXPECT_EQ(product.isCoreInstalled(v[0], v[1], v[2], v[3]), cases[i].installed) << "case " << i;
    EXPECT_EQ(product.isInstalled(v[0], v[1], v[2], v[3]), cases[i].installed)
        << "case " << i << ": below 7 no policy is asked";
  }

  zeltest::RecordingSink sink;
  EXPECT_FALSE(product.isCoreInstalled(6, -1, 0, -1));
  EXPECT_EQ(sink.countMessage(u"A bad argument was provided ( lVersions[2] ). Cannot be real "
                              u"value, ZEL_DONT_CAREs prior"),
            1u);
  EXPECT_EQ(sink.countMessage(u"A bad argument was provided ( lMinorVer, lBuildVer, or "
                              u"lPatchVer ). Cannot have value after ZEL_DONT_CARE"),
            1u);
}

TEST_F(Product, FromMajorVersionSevenThePolicyDecides) {
  putString(HKEY_LOCAL_MACHINE, CURRENT, u"Version", u"8.0.1");
  CZELProduct_VLM product;
  EXPECT_TRUE(product.isCoreInstalled(8, -1, -1, -1));
  EXPECT_FALSE(product.isInstalled(8, -1, -1, -1)) << "no policy: the default 0";
  putDword(HKEY_CURRENT_USER, POLICY_USER_ORDINARY, u"VLMInstall", 1);
  EXPECT_TRUE(product.isInstalled(8, -1, -1, -1));
  putDword(HKEY_LOCAL_MACHINE, POLICY_MACHINE, u"VLMInstall", 0);
  EXPECT_FALSE(product.isInstalled(8, -1, -1, -1)) << "the machine's policy key comes first";
}
