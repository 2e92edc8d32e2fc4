//===- FileIdentity.h - What each platform gives the shared file code ------===//
//
// ReplaceFileBelowW is written once over the platform's calls; only giving
// one open file the identity of another differs between the platforms.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "zelsys/wintypes.h"

namespace zelsys::common {

// Gives the file open as hTo (with write, WRITE_DAC and WRITE_OWNER access)
// the attributes, owner, group and access list of the file open as hFrom
// (with read access). A Win32 error.
DWORD copyFileIdentity(HANDLE hFrom, HANDLE hTo);

} // namespace zelsys::common
