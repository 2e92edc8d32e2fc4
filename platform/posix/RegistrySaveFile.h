//===- RegistrySaveFile.h - The substitute's registry save files -----------===//
//
// RegSaveKeyW and RegRestoreKeyW write and read a format of our own, all
// numbers little-endian:
//   "ZELHIVE" 0x01                      magic and version
//   key := name class u32:values value* u32:subkeys key*
//   value := name u32:type u32:size bytes
//   name, class := u32:units UTF-16LE units
// Keys come in pre-order, so the file is written from a flat subtree and read
// back into one without recursion: whatever depth is written is read. The
// saved key's own name is not used on restore. Anything inconsistent
// (truncation, trailing bytes, counts past the end, names Windows would
// refuse) makes the file no save file. Only code that works on every Unix.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "RegistryStore.h"

#include <string>
#include <string_view>

namespace zelsys::posix {

std::string encodeSaveFile(const KeyTree &tree);
// Throws RegistryFailure{ERROR_BADDB} for bytes that are no save file.
KeyTree decodeSaveFile(std::string_view bytes);

// A new host file holding bytes, flushed to disk; ERROR_ALREADY_EXISTS when
// the file exists, and no file left behind on failure.
DWORD writeNewFile(const std::string &hostPath, const std::string &bytes);
DWORD readWholeFile(const std::string &hostPath, std::string &bytes);

} // namespace zelsys::posix
