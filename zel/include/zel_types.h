// zel_types.h - the framework's element and integer types.
//
// Text is UTF-16 on every platform: ZEL_USHORT is char16_t, so literals are
// written u"...".
#pragma once

#include <cstdint>

typedef char ZEL_CHAR;           // 8-bit text
typedef std::uint8_t ZEL_BYTE;   // raw bytes
typedef char16_t ZEL_USHORT;     // a UTF-16 code unit
typedef std::uint16_t ZEL_WORD;  // a 16-bit number
typedef std::uint32_t ZEL_ULONG; // counts, sizes, positions
typedef std::int32_t ZEL_LONG;   // error codes and signed results
