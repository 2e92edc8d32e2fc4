//===- PeResources.h - Resources of a Windows executable, read as a file ---===//
//
// Finds one resource of a Windows executable or DLL (PE32 or PE32+) by
// reading the file, never by loading it, so nothing in the file runs. The file is untrusted, so
// every step is checked before it is used, and a failed check fails the search:
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
#include <string>

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

// A host file read with pread, as ImageBytes; closed with the object.
class ImageFile final : public ImageBytes {
public:
  ImageFile() = default;
  ImageFile(const ImageFile &) = delete;
  ImageFile &operator=(const ImageFile &) = delete;
  ~ImageFile() override;

  // ERROR_SUCCESS, or the Win32 error of opening: ERROR_PATH_NOT_FOUND when
  // the folder is missing, ERROR_ACCESS_DENIED for a folder,
  // ERROR_BAD_EXE_FORMAT for anything but a regular file.
  DWORD open(const std::string &hostPath);
  // The file's identity on the host, valid after a successful open.
  std::uint64_t device() const { return m_device; }
  std::uint64_t inode() const { return m_inode; }

  std::uint64_t size() const override { return m_size; }
  bool read(std::uint64_t offset, void *out, std::size_t count) const override;

private:
  int m_fd = -1;
  std::uint64_t m_size = 0;
  std::uint64_t m_device = 0;
  std::uint64_t m_inode = 0;
};

// One level's key: a number, or a name compared as Windows compares
// resource names (without regard to case).
struct ResourceKey {
  bool named = false;
  WORD id = 0;
  std::u16string name;
};

// The resource of the given type and name in the language that
// chooseBlockLanguage (StringTable.h) picks for a user of wLanguage among
// those the file holds, the rule the substitute's string tables follow.
// Errors as findResource below; a missing name is
// ERROR_RESOURCE_NAME_NOT_FOUND.
DWORD findResource(const ImageBytes &image, const ResourceKey &type, const ResourceKey &name,
                   WORD wLanguage, ResourceData &data);

// One data directory entry of a PE image's optional header, and the header
// fields around it that a reader of the image needs.
struct DirectoryEntry {
  std::uint64_t checksumOffset = 0; // the optional header's CheckSum field
  std::uint64_t entryOffset = 0;    // the entry's own (address, size) pair
  std::uint64_t sectionTable = 0;
  WORD sectionCount = 0;
  bool present = false; // NumberOfRvaAndSizes reaches the entry
  DWORD address = 0;    // an RVA; a file offset for the certificate table
  DWORD size = 0;
};

// Reads the headers as far as entry index. ERROR_SUCCESS (with present
// false when the image has fewer entries), or ERROR_BAD_EXE_FORMAT for a file
// that is no PE image or whose headers the file does not hold.
DWORD readDirectoryEntry(const ImageBytes &image, DWORD index, DirectoryEntry &entry);

// Whether the file is a PE image at all: ERROR_SUCCESS or
// ERROR_BAD_EXE_FORMAT, whatever resources it holds.
DWORD checkImage(const ImageBytes &image);

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
