// firefox_updater.h - carries the patch into every Firefox profile of every
// user of the machine.
#pragma once

#include "zel_wchar_string.h"

// Visits each user folder under the profiles root and, in the Firefox
// profile layout of the running Windows, each Firefox profile: its
// extensions.cache loses the extension's lines and the extension's folder,
// where present, gets the patched files. True when a layout matched.
bool UpdateFireFoxConfig();

// Removes from one extensions.cache every CR LF line that mentions the
// extension's identifier; the file is replaced in one step. False when the
// file does not exist or cannot be read.
bool ModifyExtensionCache(const CZELWCharString &strPath);
