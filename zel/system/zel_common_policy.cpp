// zel_common_policy.cpp - CZELCommonPolicy and the common settings tables.
#include "zel_common_policy.h"

#include "zel_function_trace.h"
#include "zel_policy_ad_search_policy.h"

#include <cstddef>

static const ZEL_USHORT ZEL_SOURCE[] = u".\\zel_common_policy";
static const ZEL_USHORT ZEL_CLASS[] = u"CZELCommonPolicy";

namespace {

const ZEL_USHORT VENDOR[] = u"Korvel";
const ZEL_USHORT PRODUCT[] = u"ZEL Common";
const ZEL_USHORT VERSION[] = u"1.0";

// One row of a settings table. The text and list tables give their default
// as text (a list's default: that one text, or no text for the empty list).
template <class Default> struct CommonRow {
  ZEL_ULONG ulPolicyId;
  const ZEL_USHORT *pszSubKey;
  const ZEL_USHORT *pszValueName;
  Default defaultValue;
  ZEL_BYTE bFlag;
};

const CommonRow<ZEL_ULONG> NUMBER_ROWS[] = {
    {7, u"Tallowmere", u"PDALogonGUIOption", 0, 0},
    {6, u"Tallowmere", u"WindowsPasswordRecoveryGUIOption", 0, 0},
    {10, u"Tallowmere", u"PasswordRecoveryEnabled", 0, 1},
    {0, u"Velmora", u"UsingEmulator", 0, 0},
    {1, u"Velmora", u"VLMInstall", 0, 0},
    {4, u"Velmora", u"PreferInternalFPSensor", 0, 0},
    {5, u"Velmora", u"FPSwipeResult", 1, 0},
    {2, u"Velmora", u"VLM6VLMInstall", 0, 0},
    {8, u"", u"SystemType", 0, 0},
    {11, u"", u"WizardGUIOption", 0, 0},
    {9, u"Velmora", u"DisableHotfixMessage", 0, 0},
    {CZELCommonPolicy::END_OF_POLICIES, u"", u"", 0, 0},
};
const CommonRow<const ZEL_USHORT *> STRING_ROWS[] = {
    {3, u"Velmora", u"AdminUser", u"", 1},
    {CZELCommonPolicy::END_OF_POLICIES, u"", u"", u"", 0},
};
const CommonRow<const ZEL_USHORT *> LIST_ROWS[] = {
    {CZELCommonPolicy::END_OF_POLICIES, u"", u"", u"", 0},
};

// A row's default as the value of its setting.
void takeDefault(ZEL_ULONG ulDefault, ZEL_ULONG &rulValue) { rulValue = ulDefault; }
void takeDefault(const ZEL_USHORT *pszDefault, CZELWCharString &rstrValue) {
  rstrValue = pszDefault;
}
void takeDefault(const ZEL_USHORT *pszDefault, CZELWCharStringList &rlValue) {
  const CZELWCharString strDefault(pszDefault);
  if (strDefault.isValid())
    rlValue.add(strDefault, 0);
}

// Adds every row of a table up to its end row; false at the first refusal.
template <class Setting, class Row, std::size_t COUNT>
bool addRows(CZELProductPolicy &policy, const Row (&rows)[COUNT]) {
  for (const Row &row : rows) {
    if (row.ulPolicyId == CZELCommonPolicy::END_OF_POLICIES)
      return true;
    typename Setting::ValueType defaultValue{};
    takeDefault(row.defaultValue, defaultValue);
    if (!policy.addPolicySetting(Setting(row.ulPolicyId, row.pszSubKey, row.pszValueName,
                                         defaultValue, row.bFlag, VENDOR, PRODUCT, VERSION)))
      return false;
  }
  return true;
}

} // namespace

CZELCommonPolicy::CZELCommonPolicy() : CZELProductPolicy(CZELPolicyADSearchPolicy()) {
  CZELFunctionTrace trace(ZEL_CLASS, u"CZELCommonPolicy", ZEL_SOURCE, __LINE__);
  trace.setResult(addRows<CZELPolicyDwordSetting>(*this, NUMBER_ROWS) &&
                  addRows<CZELPolicyStringSetting>(*this, STRING_ROWS) &&
                  addRows<CZELPolicyListSetting>(*this, LIST_ROWS));
}
