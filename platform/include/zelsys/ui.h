//===- zelsys/ui.h - Message boxes -----------------------------------------===//
//
// MessageBoxW with the Windows name, argument order, results and error
// behaviour. The button sets, icons and answers are in winconst.h.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "zelsys/wintypes.h"

namespace zelsys {

struct HWND__;
using HWND = HWND__ *;

// Shows lpText under lpCaption (null: "Error") with the buttons uType names
// and returns the button chosen (IDOK, IDCANCEL, IDYES, ...). Closing a box
// that has a Cancel button answers IDCANCEL, an OK-only box IDOK. A box
// that cannot be shown gives 0 and sets the last-error value.
INT MessageBoxW(HWND hWnd, LPCWSTR lpText, LPCWSTR lpCaption, UINT uType);

} // namespace zelsys
