//===- Modules.h - Modules and their resources on the substitute -----------===//
//
// The modules a program can name on the substitute, and what each holds:
// - the program itself: its handle is GetModuleHandleW(null) (null also
//   stands for it); its only resources are the string table it registered
//   (Resources.cpp), which LoadStringW reads; FindResourceW finds nothing in
//   it;
// - Windows DLLs (PE32 or PE32+) that LoadLibraryW loaded from the emulated
//   drives: only their resource section is read, through the PE reader
//   (PeResources.h), so nothing in the file ever runs. The file stays open
//   while the module is loaded, as Windows keeps it mapped, so a file
//   replaced meanwhile does not change what the module holds. A module
//   counts its loads; the same file loaded again (whatever the path's
//   spelling) gives the same handle, and the last FreeLibrary unloads it.
//   Resource data read by LoadResource stays where it is until then.
// Handles are the addresses of the module records, so they are unique among
// loaded modules and never equal the program's; a handle that names no
// loaded module is refused, never followed. One lock guards the table.
// Only code that works on every Unix.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "zelsys/resources.h"
#include "zelsys/wintypes.h"

#include <string>
#include <string_view>

namespace zelsys::posix {

// The program's own module handle.
HMODULE programModule();
// Whether hModule stands for the program (null or its handle).
bool isProgramModule(HMODULE hModule);

// LoadLibraryW of a name that is not one of the substitute's built-in
// libraries: loads a DLL for its resources. Sets the last-error value on
// failure: ERROR_MOD_NOT_FOUND for a missing file, ERROR_BAD_EXE_FORMAT for
// a file that is no PE image.
HMODULE loadImageModule(std::u16string_view name);
// FreeLibrary of such a module; false (the caller reports
// ERROR_MOD_NOT_FOUND) when hModule names none.
bool freeImageModule(HMODULE hModule);
// Whether hModule names a loaded DLL.
bool isImageModule(HMODULE hModule);
// The full Windows path of a loaded DLL; false when hModule names none.
bool imageModulePath(HMODULE hModule, std::u16string &path);

// Text uID of a loaded DLL's string table in the language that suits a
// user of wLanguage. The view stays valid while the module is loaded.
// Returns ERROR_SUCCESS with found false when the block exists but lacks
// the id; otherwise the error of FindResourceW for the block.
DWORD imageModuleString(HMODULE hModule, UINT uID, WORD wLanguage, bool &found,
                        std::u16string_view &text);

// The user's interface language, as the locale variables choose it; the
// caller's last-error value is left alone.
WORD userLanguage();

} // namespace zelsys::posix
