//===- Token.h - The process token's privileges, for the substitute's calls ===//
//
// Calls that need a privilege ask here whether the process has enabled it,
// as Windows checks the caller's token. Only code that works on every Unix.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <string_view>

namespace zelsys::posix {

// Whether the named privilege ("SeShutdownPrivilege", any case) is enabled
// in the process token; false for a name the token does not know.
bool isPrivilegeEnabled(std::u16string_view name);

} // namespace zelsys::posix
