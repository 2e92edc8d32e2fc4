// zel_policy_varrow_search_policy.h - CZELPolicyVarrowSearchPolicy, the
// search order of the product's own keys only, without group policy.
#pragma once

#include "zel_policy_search_policy.h"

class CZELPolicyVarrowSearchPolicy : public CZELPolicySearchPolicy {
public:
  CZELPolicyVarrowSearchPolicy();
};
