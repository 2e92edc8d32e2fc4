// zel_common_policy.h - CZELCommonPolicy, the framework's common policy
// settings (vendor Korvel, product ZEL Common), searched in the group-policy
// order.
#pragma once

#include "zel_product_policy.h"

class CZELCommonPolicy : public CZELProductPolicy {
public:
  // The number of the settings tables' end row: one past the highest common
  // policy number. It closes the tables and is no setting itself.
  static constexpr ZEL_ULONG END_OF_POLICIES = 12;

  CZELCommonPolicy();
};
