//===- zelsys/zelsys.h - The whole platform interface ----------------------===//
//
// The Windows calls the framework may use. platform/win32 forwards them to
// Windows; platform/posix implements them on Linux for the emulated machine.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "zelsys/crypto.h"
#include "zelsys/environment.h"
#include "zelsys/files.h"
#include "zelsys/filesecurity.h"
#include "zelsys/format.h"
#include "zelsys/host.h"
#include "zelsys/kernel.h"
#include "zelsys/memory.h"
#include "zelsys/process.h"
#include "zelsys/profile.h"
#include "zelsys/profilefiles.h"
#include "zelsys/registry.h"
#include "zelsys/resources.h"
#include "zelsys/security.h"
#include "zelsys/shutdown.h"
#include "zelsys/sync.h"
#include "zelsys/sysinfo.h"
#include "zelsys/system.h"
#include "zelsys/trust.h"
#include "zelsys/ui.h"
#include "zelsys/winconst.h"
#include "zelsys/wintypes.h"
