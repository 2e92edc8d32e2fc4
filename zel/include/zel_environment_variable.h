// zel_environment_variable.h - CZELEnvironmentVariable, one named variable of
// the process environment.
#pragma once

#include "zel_wchar_string.h"

class CZELEnvironmentVariable {
public:
  // The most a value read back can hold, terminator included.
  static constexpr ZEL_ULONG MAX_VALUE_UNITS = 0x7FFF;

  CZELEnvironmentVariable(const CZELWCharString &name);

  // Replaces the name (an empty name leaves the object uninitialised).
  bool setName(const CZELWCharString &name);
  const CZELWCharString &getName() const { return m_name; }

  // The variable's value; false, with rValue unchanged, when it is not set,
  // is empty or does not fit the read buffer.
  bool getValue(CZELWCharString &rValue) const;
  // Sets the variable to value, or to its current value followed by value
  // with bAppend (false when it has none). bComputeOnly builds the new text
  // without changing the environment.
  bool setValue(const CZELWCharString &value, bool bAppend = false, bool bComputeOnly = false);

private:
  CZELWCharString m_name;
};
