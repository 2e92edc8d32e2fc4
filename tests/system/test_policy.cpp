// test_policy.cpp - the policy search orders, settings and product policies
// over the registry: which location wins, defaults, unknown numbers, value
// locations with substitutions, writing and removing values of each kind.
// The four policy trees are removed before and after each test, and any
// parent key the run created is removed at its end.
#include "zel_common_policy.h"
#include "zel_policy_ad_search_policy.h"
#include "zel_policy_varrow_search_policy.h"
#include "zel_registry_key.h"
#include "zel_test_support.h"

#include "zelsys/registry.h"
#include "zelsys/winconst.h"

#include <iterator>
#include <string>
#include <vector>

using namespace zelsys;
typedef CZELPolicySearchPolicy SP;

namespace {

// Each location's key for Korvel's ZEL Common, in AD order.
struct Location {
  SP::PolicyLocation eLocation;
  const HKEY *phRoot;
  const char16_t *pszKey;
};
const Location LOCATIONS[] = {
    {SP::plMachinePolicy, &HKEY_LOCAL_MACHINE, u"Software\\Policies\\Korvel\\ZEL Common"},
    {SP::plUserPolicy, &HKEY_CURRENT_USER, u"Software\\Policies\\Korvel\\ZEL Common"},
    {SP::plMachinePolicyUserDefaults, &HKEY_LOCAL_MACHINE,
     u"Software\\Policies\\Korvel\\ZEL Common\\User Defaults"},
    {SP::plMachine, &HKEY_LOCAL_MACHINE, u"Software\\Korvel\\ZEL Common"},
    {SP::plUser, &HKEY_CURRENT_USER, u"Software\\Korvel\\ZEL Common"},
    {SP::plMachineUserDefaults, &HKEY_LOCAL_MACHINE,
     u"Software\\Korvel\\ZEL Common\\User Defaults"},
};
// The trees the tests write in (locations 2 and 5 lie inside 0 and 3).
const std::size_t TREES[] = {0, 1, 3, 4};

std::u16string textOf(const CZELWCharString &text) { return zeltest::text(text.getBuffer()); }

std::u16string keyOf(std::size_t ulIndex, const std::u16string &subKey) {
  return LOCATIONS[ulIndex].pszKey + (subKey.empty() ? u"" : u"\\" + subKey);
}

void store(std::size_t ulIndex, const std::u16string &subKey, const char16_t *pszName, DWORD dwType,
           const void *pData, DWORD cbData) {
  HKEY hKey = nullptr;
  ASSERT_EQ(RegCreateKeyExW(*LOCATIONS[ulIndex].phRoot, keyOf(ulIndex, subKey).c_str(), 0, nullptr,
                            0, KEY_ALL_ACCESS, nullptr, &hKey, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(RegSetValueExW(hKey, pszName, 0, dwType, static_cast<const BYTE *>(pData), cbData),
            ERROR_SUCCESS);
  RegCloseKey(hKey);
}

void storeDword(std::size_t ulIndex, const std::u16string &subKey, const char16_t *pszName,
                DWORD dwValue) {
  store(ulIndex, subKey, pszName, REG_DWORD, &dwValue, sizeof dwValue);
}

// The stored type of a value, 0 when it is missing.
DWORD storedType(std::size_t ulIndex, const std::u16string &subKey, const char16_t *pszName) {
  HKEY hKey = nullptr;
  if (RegOpenKeyExW(*LOCATIONS[ulIndex].phRoot, keyOf(ulIndex, subKey).c_str(), 0, KEY_READ,
                    &hKey) != ERROR_SUCCESS)
    return 0;
  DWORD dwType = 0;
  if (RegQueryValueExW(hKey, pszName, nullptr, &dwType, nullptr, nullptr) != ERROR_SUCCESS)
    dwType = 0;
  RegCloseKey(hKey);
  return dwType;
}

bool keyExists(HKEY hRoot, const std::u16string &path) {
  HKEY hKey = nullptr;
  if (RegOpenKeyExW(hRoot, path.c_str(), 0, KEY_READ, &hKey) != ERROR_SUCCESS)
    return false;
  RegCloseKey(hKey);
  return true;
}

std::vector<ZEL_ULONG> orderOf(CZELPolicySearchPolicy &search) {
  std::vector<ZEL_ULONG> order;
  for (ZEL_ULONG i = 0; i < search.getCount(); ++i)
    order.push_back(search.getPolicyLocation(i));
  return order;
}

class Policy : public ::testing::Test {
protected:
  // The highest missing ancestor of each tree, noted before the first test:
  // whatever the run creates from there down is removed at its end.
  static void SetUpTestSuite() {
    created().clear();
    for (std::size_t ulTree : TREES) {
      const std::u16string path = LOCATIONS[ulTree].pszKey;
      std::size_t ulEnd = 0;
      do
        ulEnd = path.find(u'\\', ulEnd + 1);
      while (ulEnd != std::u16string::npos &&
             keyExists(*LOCATIONS[ulTree].phRoot, path.substr(0, ulEnd)));
      created().push_back({*LOCATIONS[ulTree].phRoot, path.substr(0, ulEnd)});
    }
  }
  static void TearDownTestSuite() {
    for (const auto &[hRoot, path] : created())
      CZELRegistryKey(hRoot, path.c_str()).remove(true);
  }
  void SetUp() override { removeTrees(); }
  void TearDown() override { removeTrees(); }

  static void removeTrees() {
    for (std::size_t ulTree : TREES)
      CZELRegistryKey(*LOCATIONS[ulTree].phRoot, LOCATIONS[ulTree].pszKey).remove(true);
  }
  static std::vector<std::pair<HKEY, std::u16string>> &created() {
    static std::vector<std::pair<HKEY, std::u16string>> keys;
    return keys;
  }
};

} // namespace

TEST_F(Policy, PolicyOneIsTakenFromTheFirstLocationOfTheSearchOrderThatHoldsIt) {
  zeltest::RecordingSink sink;
  CZELCommonPolicy policy;
  ZEL_ULONG ulValue = 99;
  SP::PolicyLocation eFound = SP::plMachine;
  EXPECT_TRUE(policy.getPolicy(1, ulValue, eFound, false, u""));
  EXPECT_EQ(ulValue, 0u);
  EXPECT_EQ(eFound, SP::plNone);

  // Lowest priority first: each value written wins over all before it.
  for (std::size_t i = std::size(LOCATIONS); i-- > 0;) {
    SCOPED_TRACE(i);
    CZELWCharString path;
    ASSERT_TRUE(policy.getPathOfSetting(1, LOCATIONS[i].eLocation, u"", path));
    EXPECT_EQ(textOf(path), keyOf(i, u"Velmora"));
    storeDword(i, u"Velmora", u"VLMInstall", static_cast<DWORD>(100 + i));
    EXPECT_TRUE(policy.getPolicy(1, ulValue, eFound, true, u""));
    EXPECT_EQ(ulValue, 100 + i);
    EXPECT_EQ(eFound, LOCATIONS[i].eLocation);
  }
  EXPECT_EQ(sink.count(), 0u) << "a missing value only moves the search on";

  // The product's own order: the group-policy keys are not looked at.
  CZELProductPolicy own{CZELPolicyVarrowSearchPolicy()};
  CZELPolicyDwordSetting setting;
  ASSERT_TRUE(policy.getPolicySetting(1, setting));
  ASSERT_TRUE(own.addPolicySetting(setting));
  EXPECT_FALSE(own.addPolicySetting(setting)) << "a number names one setting";
  EXPECT_TRUE(own.getPolicy(1, ulValue, eFound, true, u""));
  EXPECT_EQ(ulValue, 103u);
  EXPECT_EQ(eFound, SP::plMachine);
}

TEST_F(Policy, DefaultsAnswerUnlessRefusedAndUnknownNumbersWriteOneWarning) {
  struct Case {
    ZEL_ULONG ulPolicyId;
    bool bNoDefault;
    bool bResult;
    ZEL_ULONG ulValue;
    ZEL_ULONG ulType; // 0: no setting of any type
  } const cases[] = {
      {5, false, true, 1, 1},
      {5, true, false, 0xDEADBEEF, 1},
      {1, false, true, 0, 1},
      {3, false, false, 0xDEADBEEF, 2}, // a text setting, not a number
      {12, false, false, 0xDEADBEEF, 0},
      {99, false, false, 0xDEADBEEF, 0},
  };
  CZELCommonPolicy policy;
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(i);
    zeltest::RecordingSink sink;
    const Case &c = cases[i];
    ZEL_ULONG ulValue = 0xDEADBEEF;
    EXPECT_EQ(policy.getPolicy(c.ulPolicyId, ulValue, c.bNoDefault, u""), c.bResult);
    EXPECT_EQ(ulValue, c.ulValue);
    const std::string number = std::to_string(c.ulPolicyId);
    const std::u16string warning = u"Could not find policy setting with ID ( " +
                                   std::u16string(number.begin(), number.end()) + u" )";
    const std::size_t ulWarnings = c.ulType == 1 ? 0 : 1;
    EXPECT_EQ(sink.count(), ulWarnings);
    EXPECT_EQ(sink.countMessage(warning), ulWarnings);
    EXPECT_EQ(policy.getPolicySettingType(c.ulPolicyId), c.ulType);
  }
}

TEST_F(Policy, EmptySubKeyReadsUnderTheBasePathAndTextsReadAsTexts) {
  CZELCommonPolicy policy;
  storeDword(3, u"", u"SystemType", 2);
  ZEL_ULONG ulValue = 0;
  SP::PolicyLocation eFound = SP::plNone;
  EXPECT_TRUE(policy.getPolicy(8, ulValue, eFound, true, u""));
  EXPECT_EQ(ulValue, 2u);
  EXPECT_EQ(eFound, SP::plMachine);
  CZELWCharString text;
  EXPECT_TRUE(policy.getPathOfSetting(8, SP::plMachine, u"", text));
  EXPECT_EQ(textOf(text), LOCATIONS[3].pszKey);
  EXPECT_TRUE(policy.getValueNameOfSetting(8, text));
  EXPECT_EQ(textOf(text), u"SystemType");

  const std::u16string admin = u"admin";
  store(1, u"Velmora", u"AdminUser", REG_SZ, admin.c_str(),
        static_cast<DWORD>((admin.size() + 1) * sizeof(char16_t)));
  CZELWCharString strValue;
  EXPECT_TRUE(policy.getPolicy(3, strValue, eFound, true, u""));
  EXPECT_EQ(textOf(strValue), admin);
  EXPECT_EQ(eFound, SP::plUserPolicy);
}

TEST_F(Policy, SubstitutionsChangeTheSubKeyAndInAListTheValueName) {
  const CZELPolicyDwordSetting setting(50, u"Velmora\\%USER%", u"Value", 0, 0, u"Korvel",
                                       u"ZEL Common", u"1.0");
  struct Case {
    std::vector<std::u16string> substitutions;
    bool bList;
    const char16_t *pszSubKey;
    const char16_t *pszValueName;
  } const cases[] = {
      {{u"%USER%=bob"}, false, u"Velmora\\bob", u"Value"},
      {{u"%USER%"}, false, u"Velmora\\%USER%", u"Value"},
      {{u"%USER%=a=b"}, false, u"Velmora\\a=b", u"Value"},
      {{u"%VALUE_NAME%=Other"}, false, u"Velmora\\%USER%", u"Value"},
      {{u"%USER%=bob", u"%VALUE_NAME%=Other", u"%VALUE_NAME%=Later"},
       true,
       u"Velmora\\bob",
       u"Other"},
      {{}, true, u"Velmora\\%USER%", u"Value"},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(i);
    const Case &c = cases[i];
    CZELWCharStringList list;
    for (const std::u16string &substitution : c.substitutions)
      list.add(substitution.c_str());
    const CZELWCharString path =
        c.bList ? setting.getValueLocation(SP::plUser, list)
                : setting.getValueLocation(SP::plUser, CZELWCharString(c.substitutions[0].c_str()));
    EXPECT_EQ(textOf(path), keyOf(4, c.pszSubKey));
    if (c.bList) {
      EXPECT_EQ(textOf(setting.getValueLocation(list)), c.pszValueName);
    }
  }

  // A list reads under both: the key and the value name it names.
  storeDword(4, u"Velmora\\bob", u"Other", 7);
  CZELWCharStringList list;
  list.add(u"%VALUE_NAME%=Other");
  list.add(u"%USER%=bob");
  CZELPolicyDwordSetting reader(setting);
  ZEL_ULONG ulValue = 0;
  EXPECT_TRUE(reader.getPolicy(SP::plUser, ulValue, false, list));
  EXPECT_EQ(ulValue, 7u);

  // A leading "\" is not doubled; another source has no location at all.
  EXPECT_EQ(
      textOf(CZELPolicyDwordSetting(51, u"\\Velmora", u"V", 0, 0, u"Korvel", u"ZEL Common", u"1.0")
                 .getValueLocation(SP::plMachine, u"")),
      keyOf(3, u"Velmora"));
  zeltest::RecordingSink sink;
  CZELPolicyDwordSetting elsewhere(52, u"Velmora", u"V", 0, 0, u"Korvel", u"ZEL Common", u"1.0", 2);
  EXPECT_FALSE(elsewhere.getValueLocation(SP::plMachine, u"").isValid());
  EXPECT_FALSE(elsewhere.getPolicy(SP::plMachine, ulValue, false, u""));
  EXPECT_EQ(sink.countMessage(u"Policy source is not supported."), 2u);
}

TEST_F(Policy, RemovePoliciesTakesTheNumberSettingsOfOneSubKey) {
  CZELCommonPolicy policy;
  for (ZEL_ULONG ulPolicyId : {1u, 4u, 8u})
    ASSERT_TRUE(policy.setPolicy(ulPolicyId, SP::plUser | SP::plMachine, 3u, u"", true));
  zeltest::RecordingSink sink;
  EXPECT_TRUE(policy.removePolicies(u"\\VELMORA", SP::plUser, u""));
  EXPECT_EQ(storedType(4, u"Velmora", u"VLMInstall"), 0u);
  EXPECT_EQ(storedType(4, u"Velmora", u"PreferInternalFPSensor"), 0u);
  EXPECT_EQ(storedType(3, u"Velmora", u"VLMInstall"), REG_DWORD) << "outside the mask";
  EXPECT_EQ(storedType(4, u"", u"SystemType"), REG_DWORD) << "another subkey";
  EXPECT_EQ(sink.count(), 0u);
}

// One body for the three kinds of setting.
struct DwordKind {
  typedef CZELPolicyDwordSetting Setting;
  static constexpr DWORD TYPE = REG_DWORD;
  static ZEL_ULONG value() { return 0x01020304; }
};
struct StringKind {
  typedef CZELPolicyStringSetting Setting;
  static constexpr DWORD TYPE = REG_SZ;
  static CZELWCharString value() { return u"seven"; }
};
struct ListKind {
  typedef CZELPolicyListSetting Setting;
  static constexpr DWORD TYPE = REG_MULTI_SZ;
  static CZELWCharStringList value() {
    CZELWCharStringList list;
    list.add(u"a", 0);
    list.add(u"bc", 1);
    return list;
  }
};

template <class Kind> class PolicyKind : public Policy {};
typedef ::testing::Types<DwordKind, StringKind, ListKind> Kinds;
TYPED_TEST_SUITE(PolicyKind, Kinds);

TYPED_TEST(PolicyKind, ValuesAreWrittenReadAndRemovedPerLocation) {
  typedef typename TypeParam::Setting Setting;
  CZELProductPolicy policy{CZELPolicyADSearchPolicy()};
  ASSERT_TRUE(policy.addPolicySetting(
      Setting(20, u"Test", u"Value", {}, 0, u"Korvel", u"ZEL Common", u"1.0")));
  const auto value = TypeParam::value();
  decltype(TypeParam::value()) read{};
  SP::PolicyLocation eFound = SP::plNone;

  // No key, no creation: nothing is written.
  EXPECT_FALSE(policy.setPolicy(20, SP::plUserPolicy, value, u"", false));
  // Bits that name no location are refused before anything is written.
  EXPECT_FALSE(policy.setPolicy(20, SP::plMachinePolicy | 0x40, value, u"", true));
  EXPECT_EQ(storedType(0, u"Test", u"Value"), 0u);

  ASSERT_TRUE(policy.setPolicy(20, SP::plUserPolicy | SP::plMachine, value, u"", true));
  EXPECT_EQ(storedType(1, u"Test", u"Value"), TypeParam::TYPE);
  EXPECT_EQ(storedType(3, u"Test", u"Value"), TypeParam::TYPE);
  EXPECT_TRUE(policy.getPolicy(20, read, eFound, true, u""));
  EXPECT_TRUE(read == value);
  EXPECT_EQ(eFound, SP::plUserPolicy);

  zeltest::RecordingSink sink;
  EXPECT_TRUE(policy.removePolicy(20, SP::plUserPolicy | SP::plUser, u""));
  EXPECT_EQ(storedType(1, u"Test", u"Value"), 0u);
  EXPECT_TRUE(policy.getPolicy(20, read, eFound, true, u""));
  EXPECT_EQ(eFound, SP::plMachine);
  EXPECT_TRUE(policy.removePolicy(20, SP::ALL_LOCATIONS, u"")) << "absent counts as removed";
  EXPECT_FALSE(policy.getPolicy(20, read, eFound, true, u""));
  EXPECT_EQ(sink.count(), 0u);
}

TEST(PolicySearchPolicy, PrioritiesMoveOnePlaceAndOnlyLocationsAreTaken) {
  CZELPolicyADSearchPolicy search;
  EXPECT_EQ(orderOf(search), (std::vector<ZEL_ULONG>{1, 2, 4, 8, 0x10, 0x20}));
  CZELPolicyVarrowSearchPolicy own;
  EXPECT_EQ(orderOf(own), (std::vector<ZEL_ULONG>{8, 0x10, 0x20}));

  typedef bool (CZELPolicySearchPolicy::*Op)(SP::PolicyLocation);
  const Op up = &SP::increasePolicyPriority, down = &SP::decreasePolicyPriority,
           remove = &SP::removePolicy, add = &SP::addPolicy;
  struct Case {
    Op op;
    ZEL_ULONG ulLocation;
    bool bResult;
    std::vector<ZEL_ULONG> order;
  } const cases[] = {
      {up, 8, true, {1, 2, 8, 4, 0x10, 0x20}},   {down, 1, true, {2, 1, 8, 4, 0x10, 0x20}},
      {up, 2, true, {2, 1, 8, 4, 0x10, 0x20}},   {down, 0x20, true, {2, 1, 8, 4, 0x10, 0x20}},
      {remove, 4, true, {2, 1, 8, 0x10, 0x20}},  {up, 4, false, {2, 1, 8, 0x10, 0x20}},
      {remove, 4, true, {2, 1, 8, 0x10, 0x20}},  {add, 4, true, {2, 1, 8, 0x10, 0x20, 4}},
      {add, 3, false, {2, 1, 8, 0x10, 0x20, 4}}, {add, 0x40, false, {2, 1, 8, 0x10, 0x20, 4}},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(i);
    const bool bResult =
        (search.*cases[i].op)(static_cast<SP::PolicyLocation>(cases[i].ulLocation));
    EXPECT_EQ(bResult, cases[i].bResult);
    EXPECT_EQ(orderOf(search), cases[i].order);
  }

  zeltest::RecordingSink sink;
  EXPECT_EQ(search.getPolicyLocation(search.getCount()), SP::plMachinePolicy);
  EXPECT_EQ(sink.count(), 1u);
  EXPECT_EQ(sink.countMessage(u"Index out of array bounds"), 1u);
}
