// zel_flags.h - CZELFlags, a 32-bit word of option flags.
#pragma once

#include "zel_types.h"

class CZELFlags {
public:
  CZELFlags(ZEL_ULONG ulFlags = 0) : m_ulFlags(ulFlags) {}

  bool operator==(const CZELFlags &other) const { return m_ulFlags == other.m_ulFlags; }
  bool operator!=(const CZELFlags &other) const { return m_ulFlags != other.m_ulFlags; }

  // True when every bit of ulFlags is set (hasFlags(0) is true).
  bool hasFlags(ZEL_ULONG ulFlags) const;
  // Sets the bits; false when ulFlags is 0 or all its bits are set already.
  bool operator<<(ZEL_ULONG ulFlags);
  // Clears the bits; false unless ulFlags is non-zero and all its bits are set.
  bool operator>>(ZEL_ULONG ulFlags);
  // The 0-based index of the highest bit of ulFlags, when all of them are set.
  bool getIndex(ZEL_ULONG ulFlags, ZEL_ULONG &ulIndex) const;
  // The flag at ulIndex (0 when clear); false for an index of 32 or more.
  bool getFlag(ZEL_ULONG ulIndex, ZEL_ULONG &ulFlag) const;

  ZEL_ULONG getFlags() const { return m_ulFlags; }

private:
  ZEL_ULONG m_ulFlags;
};
