// zel_policy_ad_search_policy.h - CZELPolicyADSearchPolicy, the search order
// that lets group policy decide first: all six locations, the group-policy
// keys ahead of the product's own.
#pragma once

#include "zel_policy_search_policy.h"

class CZELPolicyADSearchPolicy : public CZELPolicySearchPolicy {
public:
  CZELPolicyADSearchPolicy();
};
