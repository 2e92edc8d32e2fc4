//===- PeResources.cpp - Resources of a Windows executable, read as a file -===//
//
// Only code that works on every Unix.
//
//===----------------------------------------------------------------------===//
#include "PeResources.h"
#include "Errors.h"
#include "StringTable.h"
#include "Utf.h"
#include "zelsys/winconst.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace zelsys::posix {

namespace {

// The places and sizes of the PE format that the search reads.
constexpr std::uint64_t kDosHeaderSize = 64;
constexpr std::size_t kLfanewOffset = 0x3C;
constexpr std::uint64_t kOptionalHeaderOffset = 24; // signature and file header
constexpr std::uint64_t kSectionHeaderSize = 40;
constexpr WORD kPe32Magic = 0x10B;
constexpr WORD kPe32PlusMagic = 0x20B;
constexpr std::uint64_t kPe32Directories = 96;
constexpr std::uint64_t kPe32PlusDirectories = 112;
constexpr std::uint64_t kChecksumOffset = 64;
constexpr DWORD kResourceDirectory = 2;
constexpr std::uint64_t kDirectoryEntrySize = 8;
constexpr std::uint64_t kTreeDirectorySize = 16;
constexpr std::uint64_t kTreeEntrySize = 8;
constexpr std::uint64_t kDataEntrySize = 16;
constexpr DWORD kSubdirectory = 0x80000000u;

WORD le16(const BYTE *p) { return static_cast<WORD>(p[0] | p[1] << 8); }
DWORD le32(const BYTE *p) {
  return DWORD{p[0]} | DWORD{p[1]} << 8 | DWORD{p[2]} << 16 | DWORD{p[3]} << 24;
}

struct Section {
  DWORD virtualAddress;
  DWORD span; // the bytes of raw data that belong to the image
  DWORD rawData;
};

// One search; it keeps the section table and where the resource tree lies.
class Search {
public:
  explicit Search(const ImageBytes &image) : m_image(image), m_fileSize(image.size()) {}

  // Which entry each level takes: a key, or (without one) the first entry;
  // the language level takes the one chooseBlockLanguage picks.
  struct Want {
    const ResourceKey *type;
    const ResourceKey *name; // null: the first
    bool chooseLanguage;
    WORD wLanguage;
  };

  DWORD find(const Want &want, ResourceData &data) {
    DWORD rootRva = 0;
    DWORD error = readHeaders(rootRva);
    if (error != ERROR_SUCCESS)
      return error;
    if (!mapRva(rootRva, kTreeDirectorySize, m_tree, m_treeSpan))
      return ERROR_BAD_EXE_FORMAT;
    DWORD target = 0;
    if ((error = keyedEntry(0, *want.type, ERROR_RESOURCE_TYPE_NOT_FOUND, target)) != ERROR_SUCCESS)
      return error;
    if ((target & kSubdirectory) == 0)
      return ERROR_BAD_EXE_FORMAT;
    error =
        want.name != nullptr
            ? keyedEntry(target & ~kSubdirectory, *want.name, ERROR_RESOURCE_NAME_NOT_FOUND, target)
            : firstEntry(target & ~kSubdirectory, ERROR_RESOURCE_NAME_NOT_FOUND, target);
    if (error != ERROR_SUCCESS)
      return error;
    if ((target & kSubdirectory) == 0)
      return ERROR_BAD_EXE_FORMAT;
    error = want.chooseLanguage
                ? languageEntry(target & ~kSubdirectory, want.wLanguage, target)
                : firstEntry(target & ~kSubdirectory, ERROR_RESOURCE_LANG_NOT_FOUND, target);
    if (error != ERROR_SUCCESS)
      return error;
    // The language level holds the data entry; a directory there is a tree
    // that points back into itself.
    BYTE entry[kDataEntrySize];
    if ((target & kSubdirectory) != 0 || !readTree(target, entry, sizeof entry))
      return ERROR_BAD_EXE_FORMAT;
    std::uint64_t available = 0;
    if (!mapRva(le32(entry), le32(entry + 4), data.offset, available))
      return ERROR_BAD_EXE_FORMAT;
    data.size = le32(entry + 4);
    return ERROR_SUCCESS;
  }

  DWORD check() {
    DWORD rootRva = 0;
    const DWORD error = readHeaders(rootRva);
    return error == ERROR_BAD_EXE_FORMAT ? error : ERROR_SUCCESS;
  }

private:
  bool readFile(std::uint64_t offset, BYTE *out, std::uint64_t count) const {
    // Nothing to read asks nothing of the image (out may then be null).
    return offset <= m_fileSize && count <= m_fileSize - offset &&
           (count == 0 || m_image.read(offset, out, count));
  }

  bool treeHolds(std::uint64_t offset, std::uint64_t count) const {
    return offset <= m_treeSpan && count <= m_treeSpan - offset;
  }

  bool readTree(std::uint64_t offset, BYTE *out, std::uint64_t count) const {
    return treeHolds(offset, count) && readFile(m_tree + offset, out, count);
  }

  // The DOS, PE and optional headers and the section table; rootRva is the
  // resource tree's address.
  DWORD readHeaders(DWORD &rootRva) {
    DirectoryEntry directory;
    if (readDirectoryEntry(m_image, kResourceDirectory, directory) != ERROR_SUCCESS)
      return ERROR_BAD_EXE_FORMAT;
    rootRva = directory.address;
    if (!directory.present || rootRva == 0 || directory.size == 0)
      return ERROR_RESOURCE_DATA_NOT_FOUND;

    const std::uint64_t table = directory.sectionTable;
    const std::uint64_t sectionCount = directory.sectionCount;
    const std::uint64_t tableSize = sectionCount * kSectionHeaderSize;
    if (table > m_fileSize || tableSize > m_fileSize - table)
      return ERROR_BAD_EXE_FORMAT;
    std::vector<BYTE> raw(tableSize);
    if (!readFile(table, raw.data(), tableSize))
      return ERROR_BAD_EXE_FORMAT;
    for (std::uint64_t i = 0; i < tableSize; i += kSectionHeaderSize) {
      const BYTE *header = raw.data() + i;
      const DWORD virtualSize = le32(header + 8);
      const DWORD rawSize = le32(header + 16);
      m_sections.push_back({le32(header + 12),
                            virtualSize != 0 ? std::min(virtualSize, rawSize) : rawSize,
                            le32(header + 20)});
    }
    return ERROR_SUCCESS;
  }

  // The file offset of [rva, rva + count), which must lie in one section's
  // raw data and in the file; available is how far that data goes from
  // there.
  bool mapRva(DWORD rva, std::uint64_t count, std::uint64_t &offset,
              std::uint64_t &available) const {
    for (const Section &section : m_sections) {
      if (rva < section.virtualAddress || rva - section.virtualAddress >= section.span)
        continue;
      const DWORD within = rva - section.virtualAddress;
      offset = std::uint64_t{section.rawData} + within;
      if (offset > m_fileSize)
        return false;
      available = std::min<std::uint64_t>(section.span - within, m_fileSize - offset);
      return count <= available;
    }
    return false;
  }

  // A level's entries (name or id, then target), named ones first, read
  // whole once their count is known to fit in the tree.
  DWORD levelEntries(std::uint64_t directory, std::vector<BYTE> &entries,
                     std::uint64_t &named) const {
    BYTE header[kTreeDirectorySize];
    if (!readTree(directory, header, sizeof header))
      return ERROR_BAD_EXE_FORMAT;
    named = le16(header + 12);
    const std::uint64_t size = (named + le16(header + 14)) * kTreeEntrySize;
    if (!treeHolds(directory + kTreeDirectorySize, size))
      return ERROR_BAD_EXE_FORMAT;
    entries.resize(size);
    return readTree(directory + kTreeDirectorySize, entries.data(), size) ? ERROR_SUCCESS
                                                                          : ERROR_BAD_EXE_FORMAT;
  }

  // Whether a named entry's name (a counted UTF-16 string in the tree) is
  // the name asked for.
  bool nameMatches(DWORD field, std::u16string_view wanted) const {
    BYTE count[2];
    const std::uint64_t at = field & ~kSubdirectory;
    if (!readTree(at, count, 2) || le16(count) != wanted.size())
      return false;
    std::vector<BYTE> units(2 * wanted.size());
    if (!readTree(at + 2, units.data(), units.size()))
      return false;
    std::u16string name(wanted.size(), u'\0');
    for (std::size_t i = 0; i < name.size(); ++i)
      name[i] = static_cast<char16_t>(le16(units.data() + 2 * i));
    return equalsIgnoreCase(name, wanted);
  }

  // The entry of a level whose name or id is key.
  DWORD keyedEntry(std::uint64_t directory, const ResourceKey &key, DWORD notFound,
                   DWORD &target) const {
    std::vector<BYTE> entries;
    std::uint64_t named = 0;
    if (const DWORD error = levelEntries(directory, entries, named))
      return error;
    for (std::uint64_t i = 0; i < entries.size(); i += kTreeEntrySize) {
      const DWORD field = le32(entries.data() + i);
      const bool isNamed = (field & kSubdirectory) != 0;
      if (isNamed != key.named)
        continue;
      if (isNamed ? nameMatches(field, key.name) : field == key.id) {
        target = le32(entries.data() + i + 4);
        return ERROR_SUCCESS;
      }
    }
    return notFound;
  }

  // The language level: the entry of the language a user of wLanguage gets.
  DWORD languageEntry(std::uint64_t directory, WORD wLanguage, DWORD &target) const {
    std::vector<BYTE> entries;
    std::uint64_t named = 0;
    if (const DWORD error = levelEntries(directory, entries, named))
      return error;
    std::vector<WORD> languages;
    for (std::uint64_t i = named * kTreeEntrySize; i < entries.size(); i += kTreeEntrySize)
      if (le32(entries.data() + i) <= 0xFFFF)
        languages.push_back(static_cast<WORD>(le32(entries.data() + i)));
    std::sort(languages.begin(), languages.end());
    const std::optional<WORD> chosen = chooseBlockLanguage(wLanguage, languages);
    if (!chosen)
      return ERROR_RESOURCE_LANG_NOT_FOUND;
    return keyedEntry(directory, ResourceKey{false, *chosen, {}}, ERROR_RESOURCE_LANG_NOT_FOUND,
                      target);
  }

  // The name and language levels: their first entry, named or numbered.
  DWORD firstEntry(std::uint64_t directory, DWORD notFound, DWORD &target) const {
    BYTE header[kTreeDirectorySize + kTreeEntrySize];
    if (!readTree(directory, header, kTreeDirectorySize))
      return ERROR_BAD_EXE_FORMAT;
    if (le16(header + 12) == 0 && le16(header + 14) == 0)
      return notFound;
    if (!readTree(directory + kTreeDirectorySize, header + kTreeDirectorySize, kTreeEntrySize))
      return ERROR_BAD_EXE_FORMAT;
    target = le32(header + kTreeDirectorySize + 4);
    return ERROR_SUCCESS;
  }

  const ImageBytes &m_image;
  const std::uint64_t m_fileSize;
  std::vector<Section> m_sections;
  std::uint64_t m_tree = 0;     // file offset of the resource tree
  std::uint64_t m_treeSpan = 0; // how far its section goes from there
};

} // namespace

DWORD readDirectoryEntry(const ImageBytes &image, DWORD index, DirectoryEntry &entry) {
  const std::uint64_t fileSize = image.size();
  const auto readFile = [&](std::uint64_t offset, BYTE *out, std::uint64_t count) {
    return offset <= fileSize && count <= fileSize - offset && image.read(offset, out, count);
  };
  BYTE dos[kDosHeaderSize];
  if (!readFile(0, dos, sizeof dos) || dos[0] != 'M' || dos[1] != 'Z')
    return ERROR_BAD_EXE_FORMAT;
  const std::uint64_t pe = le32(dos + kLfanewOffset);
  BYTE head[kOptionalHeaderOffset + 2];
  if (!readFile(pe, head, sizeof head) || std::memcmp(head, "PE\0\0", 4) != 0)
    return ERROR_BAD_EXE_FORMAT;
  const std::uint64_t optionalSize = le16(head + 20);
  const WORD magic = le16(head + kOptionalHeaderOffset);
  const std::uint64_t directories = magic == kPe32Magic       ? kPe32Directories
                                    : magic == kPe32PlusMagic ? kPe32PlusDirectories
                                                              : 0;
  const std::uint64_t optional = pe + kOptionalHeaderOffset;
  BYTE field[4];
  if (directories == 0 || optionalSize < directories ||
      !readFile(optional + directories - 4, field, 4))
    return ERROR_BAD_EXE_FORMAT;
  entry.checksumOffset = optional + kChecksumOffset;
  entry.sectionTable = optional + optionalSize;
  entry.sectionCount = le16(head + 6);
  entry.entryOffset = optional + directories + index * kDirectoryEntrySize;
  // NumberOfRvaAndSizes, the field before the directories, tells whether
  // the entry is there at all.
  entry.present = le32(field) > index;
  entry.address = entry.size = 0;
  if (!entry.present)
    return ERROR_SUCCESS;
  BYTE bytes[kDirectoryEntrySize];
  if (optionalSize < directories + (index + 1) * kDirectoryEntrySize ||
      !readFile(entry.entryOffset, bytes, sizeof bytes))
    return ERROR_BAD_EXE_FORMAT;
  entry.address = le32(bytes);
  entry.size = le32(bytes + 4);
  return ERROR_SUCCESS;
}

ImageFile::~ImageFile() {
  if (m_fd >= 0)
    ::close(m_fd);
}

DWORD ImageFile::open(const std::string &hostPath) {
  // Non-blocking, so that a FIFO is refused below rather than waited on.
  m_fd = ::open(hostPath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (m_fd < 0) {
    if (errno == ENOENT) {
      const std::string folder = hostPath.substr(0, hostPath.rfind('/'));
      struct stat status {};
      if (::stat(folder.empty() ? "/" : folder.c_str(), &status) != 0 || !S_ISDIR(status.st_mode))
        return ERROR_PATH_NOT_FOUND;
    }
    return win32ErrorFromErrno(errno);
  }
  struct stat status {};
  if (::fstat(m_fd, &status) != 0)
    return win32ErrorFromErrno(errno);
  // Windows opens no folder as a file.
  if (S_ISDIR(status.st_mode))
    return ERROR_ACCESS_DENIED;
  if (!S_ISREG(status.st_mode))
    return ERROR_BAD_EXE_FORMAT;
  m_size = static_cast<std::uint64_t>(status.st_size);
  m_device = static_cast<std::uint64_t>(status.st_dev);
  m_inode = static_cast<std::uint64_t>(status.st_ino);
  return ERROR_SUCCESS;
}

bool ImageFile::read(std::uint64_t offset, void *out, std::size_t count) const {
  auto *bytes = static_cast<BYTE *>(out);
  while (count > 0) {
    const ssize_t got = ::pread(m_fd, bytes, count, static_cast<off_t>(offset));
    if (got < 0 && errno == EINTR)
      continue;
    if (got <= 0)
      return false;
    const auto done = static_cast<std::size_t>(got);
    bytes += done;
    offset += done;
    count -= done;
  }
  return true;
}

DWORD findResource(const ImageBytes &image, const ResourceKey &type, const ResourceKey &name,
                   WORD wLanguage, ResourceData &data) {
  return Search(image).find({&type, &name, true, wLanguage}, data);
}

DWORD checkImage(const ImageBytes &image) { return Search(image).check(); }

DWORD findResource(const ImageBytes &image, WORD wType, ResourceData &data) {
  const ResourceKey type{false, wType, {}};
  return Search(image).find({&type, nullptr, false, 0}, data);
}

} // namespace zelsys::posix
