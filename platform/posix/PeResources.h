//===- PeResources.h - Resources of a Windows executable, read as a file ---===//
//
// Finds one resource of a Windows executable or DLL (PE32 or PE32+) by
// reading the file, never by loading it. The file is untrusted, so every
// step is checked before it is used, and a failed check fails the search:
// - the DOS header starts with "MZ"; its e_lfanew leads to "PE\0\0", the
//   file header and an optional header with the PE32 (0x10b) or PE32+
//   (0x20b) magic, which must hold the resource data directory within its
//   SizeOfOptionalHeader; the section table follows it;
// - a relative virtual address maps to the file through the section whose
//   raw data holds the whole range asked for, and only as far as the file
//   goes;
// - the resource tree is walked exactly three levels (type, name, language)
//   with a loop over each level's entries and no recursion, taking a data
//   entry only where the third level has one: a directory that points back
//   at an ancestor ends the walk as a malformed file instead of looping;
// - offsets and sizes are 32-bit fields added in 64 bits, so no sum wraps,
//   and nothing is allocated before its size is known to fit in the file.
// Only code that works on every Unix.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "zelsys/wintypes.h"

#include <cstddef>
#include <cstdint>

namespace zelsys::posix {

// The bytes of one file, read on demand, so that a large executable is never
// read whole.
class ImageBytes {
public:
  virtual ~ImageBytes() = default;
  virtual std::uint64_t size() const = 0;
  // Fills out with count bytes from offset; false when they are not all
  // there.
  virtual bool read(std::uint64_t offset, void *out, std::size_t count) const = 0;
};

// Where a resource's bytes lie in the file.
struct ResourceData {
  std::uint64_t offset = 0;
  DWORD size = 0;
};

// The resource of the numbered type, e.g. 16 (RT_VERSION): the first name or
// number of that type, and of it the first language, which is what a file
// with one version resource per program holds. Returns ERROR_SUCCESS, or
// ERROR_BAD_EXE_FORMAT for a file that is no PE image or whose headers,
// sections or resource tree point outside the file or back into the tree,
// ERROR_RESOURCE_DATA_NOT_FOUND for an image without resources,
// ERROR_RESOURCE_TYPE_NOT_FOUND, ERROR_RESOURCE_NAME_NOT_FOUND or
// ERROR_RESOURCE_LANG_NOT_FOUND for a tree without that type or with an empty
// level below it.
DWORD findResource(const ImageBytes &image, WORD wType, ResourceData &data);

} // namespace zelsys::posix
