//===- RegfWriter.cpp - Windows hive files (REGF) written from a tree ------===//
//
// The image is built in two passes over the flat tree, so no depth of keys
// needs recursion: the first gives every key its node, class, values and
// data (a parent's node exists before its children's, so each child names
// it at once); the second sorts each key's children and writes their leaves
// into the parent's node. Only code that works on every Unix.
//
//===----------------------------------------------------------------------===//
#include "RegfWriter.h"
#include "Errors.h"
#include "HostIo.h"
#include "Utf.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zelsys::posix {

namespace {

constexpr std::uint32_t kNoCell = 0xFFFFFFFFu;
constexpr std::size_t kBaseBlockSize = 4096;
constexpr std::size_t kBinHeaderSize = 32;
constexpr std::size_t kBinAlignment = 4096;
constexpr std::uint32_t kInlineData = 0x80000000u;
constexpr std::size_t kMaxSegments = 0xFFFF;
constexpr std::size_t kMaxClassLength = 0x7FFF; // units: the node keeps the bytes in 16 bits

// Key node flags.
constexpr std::uint16_t kHiveEntry = 0x0004;
constexpr std::uint16_t kNoDelete = 0x0008;
constexpr std::uint16_t kCompressedName = 0x0020;
// Value node flags.
constexpr std::uint16_t kValueCompressedName = 0x0001;

[[noreturn]] void refuse() { throw RegistryFailure{ERROR_INVALID_PARAMETER}; }

std::size_t roundUp(std::size_t size, std::size_t unit) { return (size + unit - 1) / unit * unit; }

bool isLatin1(const std::u16string &name) {
  return std::all_of(name.begin(), name.end(), [](char16_t unit) { return unit < 0x100; });
}

// The bytes a name takes in a node and whether they are the one-byte form,
// which Windows uses for every name that fits Latin-1.
std::string storedName(const std::u16string &name, bool &compressed) {
  compressed = isLatin1(name);
  std::string out;
  for (char16_t unit : name) {
    out.push_back(static_cast<char>(unit & 0xff));
    if (!compressed)
      out.push_back(static_cast<char>(unit >> 8));
  }
  return out;
}

std::string utf16Bytes(const std::u16string &text) {
  std::string out;
  for (char16_t unit : text) {
    out.push_back(static_cast<char>(unit & 0xff));
    out.push_back(static_cast<char>(unit >> 8));
  }
  return out;
}

std::uint32_t nameHash(const std::u16string &upper) {
  std::uint32_t hash = 0;
  for (char16_t unit : upper)
    hash = hash * 37 + unit;
  return hash;
}

// Self-relative: owner Administrators, group SYSTEM, a DACL granting
// Administrators and SYSTEM KEY_ALL_ACCESS and Everyone KEY_READ, each ACE
// inherited by sub-keys.
std::string defaultSecurityDescriptor() {
  const std::string administrators("\x01\x02\0\0\0\0\0\x05\x20\0\0\0\x20\x02\0\0", 16);
  const std::string system("\x01\x01\0\0\0\0\0\x05\x12\0\0\0", 12);
  const std::string everyone("\x01\x01\0\0\0\0\0\x01\0\0\0\0", 12);
  auto number = [](std::uint32_t value, int bytes) {
    std::string out;
    for (int i = 0; i < bytes; ++i)
      out.push_back(static_cast<char>((value >> (8 * i)) & 0xff));
    return out;
  };
  std::string aces;
  int aceCount = 0;
  for (const auto &[sid, mask] : {std::pair{&administrators, 0xF003Fu},
                                  std::pair{&system, 0xF003Fu}, std::pair{&everyone, 0x20019u}}) {
    // ACCESS_ALLOWED_ACE_TYPE, CONTAINER_INHERIT_ACE, size, mask, SID.
    aces += number(0, 1) + number(0x02, 1) +
            number(static_cast<std::uint32_t>(8 + sid->size()), 2) + number(mask, 4) + *sid;
    ++aceCount;
  }
  const std::string acl = number(2, 1) + number(0, 1) +
                          number(static_cast<std::uint32_t>(8 + aces.size()), 2) +
                          number(static_cast<std::uint32_t>(aceCount), 2) + number(0, 2) + aces;
  const std::uint32_t ownerAt = 20;
  const auto groupAt = static_cast<std::uint32_t>(ownerAt + administrators.size());
  const auto daclAt = static_cast<std::uint32_t>(groupAt + system.size());
  // Revision 1, SE_SELF_RELATIVE | SE_DACL_PRESENT.
  return number(1, 1) + number(0, 1) + number(0x8004, 2) + number(ownerAt, 4) + number(groupAt, 4) +
         number(0, 4) + number(daclAt, 4) + administrators + system + acl;
}

// The hive bins as they grow: cells are handed out in order, a new bin is
// opened when a cell does not fit in the rest of the current one.
class BinImage {
public:
  explicit BinImage(std::uint64_t time) : time_(time) {}

  // A used cell with room for size bytes; its offset counts from the first
  // bin and points at the cell's size field.
  std::uint32_t allocate(std::size_t size) {
    const std::size_t cellSize = roundUp(size + 4, 8);
    if (bytes_.empty() || next_ + cellSize > bytes_.size()) {
      closeBin();
      openBin(roundUp(kBinHeaderSize + cellSize, kBinAlignment));
    }
    const std::size_t cell = next_;
    put32(cell, static_cast<std::uint32_t>(-static_cast<std::int32_t>(cellSize)));
    next_ += cellSize;
    return static_cast<std::uint32_t>(cell);
  }

  // Writers of a cell's contents, at an offset past its size field.
  void put16(std::uint32_t cell, std::size_t at, std::uint16_t value) {
    putNumber(cell + 4 + at, value, 2);
  }
  void put32(std::uint32_t cell, std::size_t at, std::uint32_t value) {
    putNumber(cell + 4 + at, value, 4);
  }
  void put64(std::uint32_t cell, std::size_t at, std::uint64_t value) {
    putNumber(cell + 4 + at, value, 8);
  }
  void putBytes(std::uint32_t cell, std::size_t at, std::string_view data) {
    std::copy(data.begin(), data.end(),
              bytes_.begin() + static_cast<std::ptrdiff_t>(cell + 4 + at));
  }

  std::string finish() {
    closeBin();
    return std::move(bytes_);
  }

private:
  void putNumber(std::size_t at, std::uint64_t value, int width) {
    for (int i = 0; i < width; ++i)
      bytes_[at + static_cast<std::size_t>(i)] = static_cast<char>((value >> (8 * i)) & 0xff);
  }
  void put32(std::size_t at, std::uint32_t value) { putNumber(at, value, 4); }

  void openBin(std::size_t size) {
    const std::size_t start = bytes_.size();
    bytes_.resize(start + size, '\0');
    bytes_.replace(start, 4, "hbin");
    put32(start + 4, static_cast<std::uint32_t>(start));
    put32(start + 8, static_cast<std::uint32_t>(size));
    putNumber(start + 20, time_, 8);
    next_ = start + kBinHeaderSize;
  }
  // The rest of the bin becomes one free cell (a positive size).
  void closeBin() {
    if (next_ < bytes_.size())
      put32(next_, static_cast<std::uint32_t>(bytes_.size() - next_));
    next_ = bytes_.size();
  }

  std::string bytes_;
  std::size_t next_ = 0;
  std::uint64_t time_;
};

// nk layout: offsets past the cell's size field.
namespace nk {
constexpr std::size_t kFlags = 2, kWritten = 4, kAccessBits = 12, kParent = 16, kSubKeys = 20,
                      kVolatileSubKeys = 24, kSubKeyList = 28, kVolatileList = 32, kValues = 36,
                      kValueList = 40, kSecurity = 44, kClass = 48, kMaxSubKeyName = 52,
                      kMaxSubKeyClass = 56, kMaxValueName = 60, kMaxValueData = 64,
                      kNameLength = 72, kClassLength = 74, kName = 76;
}

std::uint32_t minorOf(std::string_view baseBlock) {
  if (baseBlock.size() < 28)
    return 5;
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i)
    value = value << 8 | static_cast<unsigned char>(baseBlock[24 + static_cast<std::size_t>(i)]);
  return value;
}

// A fast leaf's hint: the name's first four units, a byte each.
std::string leafHint(const std::u16string &name) {
  std::string hint(4, '\0');
  for (std::size_t i = 0; i < name.size() && i < 4; ++i)
    hint[i] = static_cast<char>(name[i] & 0xff);
  return hint;
}

class HiveEncoder {
public:
  HiveEncoder(const HiveTree &tree, const std::vector<std::string> &descriptors,
              std::string_view baseBlock)
      : tree_(tree), descriptors_(descriptors), baseBlock_(baseBlock), minor_(minorOf(baseBlock)),
        bins_(tree.empty() ? 0 : tree[0].written) {}

  std::string encode(const std::u16string &fileName) {
    validate();
    writeSecurity();
    nodes_.resize(tree_.size());
    for (std::size_t i = 0; i < tree_.size(); ++i)
      writeKey(i);
    for (std::size_t i = 0; i < tree_.size(); ++i)
      writeSubKeys(i);
    return baseBlock(fileName) + bins_.finish();
  }

private:
  // One security cell per descriptor in use, each counting its keys, all in
  // one ring.
  void writeSecurity() {
    const std::string fallback = descriptors_.empty() ? defaultSecurityDescriptor() : "";
    std::vector<std::uint32_t> uses(std::max<std::size_t>(descriptors_.size(), 1), 0);
    for (const HiveKey &key : tree_) {
      const std::size_t index = descriptors_.empty() ? 0 : key.security;
      if (index >= uses.size())
        refuse();
      ++uses[index];
    }
    security_.assign(uses.size(), 0);
    std::vector<std::uint32_t> ring;
    for (std::size_t i = 0; i < uses.size(); ++i) {
      if (uses[i] == 0)
        continue;
      const std::string &descriptor = descriptors_.empty() ? fallback : descriptors_[i];
      security_[i] = bins_.allocate(20 + descriptor.size());
      bins_.putBytes(security_[i], 0, "sk");
      bins_.put32(security_[i], 12, uses[i]);
      bins_.put32(security_[i], 16, static_cast<std::uint32_t>(descriptor.size()));
      bins_.putBytes(security_[i], 20, descriptor);
      ring.push_back(security_[i]);
    }
    for (std::size_t i = 0; i < ring.size(); ++i) {
      bins_.put32(ring[i], 4, ring[(i + 1) % ring.size()]);
      bins_.put32(ring[i], 8, ring[(i + ring.size() - 1) % ring.size()]);
    }
  }

  void validate() {
    if (tree_.empty() || minor_ < 3 || minor_ > 6)
      refuse();
    children_.resize(tree_.size());
    upper_.resize(tree_.size());
    std::vector<DWORD> depth(tree_.size(), 0);
    for (std::size_t i = 0; i < tree_.size(); ++i) {
      const HiveKey &key = tree_[i];
      if (key.name.size() > kMaxKeyNameLength || key.keyClass.size() > kMaxClassLength ||
          key.name.find(u'\\') != std::u16string::npos)
        refuse();
      if (i > 0) {
        if (key.name.empty() || key.parent >= i)
          refuse();
        depth[i] = depth[key.parent] + 1;
        if (depth[i] > kMaxTreeDepth)
          refuse();
        children_[key.parent].push_back(i);
      }
      upper_[i] = upcase(key.name);
      std::vector<std::u16string> valueNames;
      for (const ValueRecord &value : key.values) {
        if (value.name.size() > kMaxValueNameLength || value.data.size() > maxValueData(minor_))
          refuse();
        valueNames.push_back(upcase(value.name));
      }
      std::sort(valueNames.begin(), valueNames.end());
      if (std::adjacent_find(valueNames.begin(), valueNames.end()) != valueNames.end())
        refuse();
    }
  }

  void writeKey(std::size_t index) {
    const HiveKey &key = tree_[index];
    bool compressed = false;
    const std::string name = storedName(key.name, compressed);
    const std::uint32_t node = bins_.allocate(nk::kName + name.size());
    nodes_[index] = node;
    auto flags = static_cast<std::uint16_t>((key.flags & ~kCompressedName) |
                                            (compressed ? kCompressedName : 0));
    if (index == 0)
      flags |= kHiveEntry | kNoDelete;
    bins_.putBytes(node, 0, "nk");
    bins_.put16(node, nk::kFlags, flags);
    bins_.put64(node, nk::kWritten, key.written);
    bins_.put32(node, nk::kAccessBits, key.accessBits);
    bins_.put32(node, nk::kMaxSubKeyName, static_cast<std::uint32_t>(key.userFlags) << 16);
    bins_.put32(node, nk::kParent, index == 0 ? kNoCell : nodes_[key.parent]);
    bins_.put32(node, nk::kSubKeyList, kNoCell);
    bins_.put32(node, nk::kVolatileSubKeys, 0);
    bins_.put32(node, nk::kVolatileList, kNoCell);
    bins_.put32(node, nk::kSecurity, security_[descriptors_.empty() ? 0 : key.security]);
    bins_.put16(node, nk::kNameLength, static_cast<std::uint16_t>(name.size()));
    bins_.putBytes(node, nk::kName, name);

    std::uint32_t classCell = kNoCell;
    if (!key.keyClass.empty()) {
      const std::string bytes = utf16Bytes(key.keyClass);
      classCell = bins_.allocate(bytes.size());
      bins_.putBytes(classCell, 0, bytes);
    }
    bins_.put32(node, nk::kClass, classCell);
    bins_.put16(node, nk::kClassLength, static_cast<std::uint16_t>(key.keyClass.size() * 2));

    std::uint32_t list = kNoCell;
    std::size_t longestName = 0, largestData = 0;
    if (!key.values.empty()) {
      list = bins_.allocate(4 * key.values.size());
      for (std::size_t i = 0; i < key.values.size(); ++i) {
        bins_.put32(list, 4 * i, writeValue(key.values[i]));
        longestName = std::max(longestName, key.values[i].name.size() * 2);
        largestData = std::max(largestData, key.values[i].data.size());
      }
    }
    bins_.put32(node, nk::kValues, static_cast<std::uint32_t>(key.values.size()));
    bins_.put32(node, nk::kValueList, list);
    bins_.put32(node, nk::kMaxValueName, static_cast<std::uint32_t>(longestName));
    bins_.put32(node, nk::kMaxValueData, static_cast<std::uint32_t>(largestData));
  }

  std::uint32_t writeValue(const ValueRecord &value) {
    bool compressed = false;
    const std::string name = storedName(value.name, compressed);
    const std::string_view data(reinterpret_cast<const char *>(value.data.data()),
                                value.data.size());
    const std::uint32_t node = bins_.allocate(20 + name.size());
    bins_.putBytes(node, 0, "vk");
    bins_.put16(node, 2, static_cast<std::uint16_t>(name.size()));
    bins_.put32(node, 12, value.type);
    bins_.put16(node, 16, compressed ? kValueCompressedName : 0);
    bins_.putBytes(node, 20, name);
    if (data.size() <= 4) {
      bins_.put32(node, 4, kInlineData | static_cast<std::uint32_t>(data.size()));
      bins_.putBytes(node, 8, data);
      return node;
    }
    bins_.put32(node, 4, static_cast<std::uint32_t>(data.size()));
    bins_.put32(node, 8, writeData(data));
    return node;
  }

  std::uint32_t writeData(std::string_view data) {
    if (data.size() <= kBigDataSegment || minor_ < 4) {
      const std::uint32_t cell = bins_.allocate(data.size());
      bins_.putBytes(cell, 0, data);
      return cell;
    }
    std::vector<std::uint32_t> segments;
    for (std::size_t at = 0; at < data.size(); at += kBigDataSegment) {
      const std::string_view piece = data.substr(at, kBigDataSegment);
      // Four spare bytes a segment: readers that take a segment's length
      // from its cell (less 8 bytes, not 4) would cut a short last one.
      segments.push_back(bins_.allocate(piece.size() + 4));
      bins_.putBytes(segments.back(), 0, piece);
    }
    const std::uint32_t list = bins_.allocate(4 * segments.size());
    for (std::size_t i = 0; i < segments.size(); ++i)
      bins_.put32(list, 4 * i, segments[i]);
    const std::uint32_t record = bins_.allocate(8);
    bins_.putBytes(record, 0, "db");
    bins_.put16(record, 2, static_cast<std::uint16_t>(segments.size()));
    bins_.put32(record, 4, list);
    return record;
  }

  void writeSubKeys(std::size_t index) {
    std::vector<std::size_t> &children = children_[index];
    if (children.empty())
      return;
    std::sort(children.begin(), children.end(),
              [&](std::size_t a, std::size_t b) { return upper_[a] < upper_[b]; });
    std::size_t longestName = 0, longestClass = 0;
    for (std::size_t i = 0; i < children.size(); ++i) {
      if (i > 0 && upper_[children[i]] == upper_[children[i - 1]])
        refuse();
      longestName = std::max(longestName, tree_[children[i]].name.size() * 2);
      longestClass = std::max(longestClass, tree_[children[i]].keyClass.size() * 2);
    }
    std::vector<std::uint32_t> leaves;
    for (std::size_t first = 0; first < children.size(); first += kLeafSize) {
      const std::size_t count = std::min(kLeafSize, children.size() - first);
      // Hash leaves from format 1.5; fast leaves, with a hint, before.
      const bool hashed = minor_ >= 5;
      const std::uint32_t leaf = bins_.allocate(4 + 8 * count);
      bins_.putBytes(leaf, 0, hashed ? "lh" : "lf");
      bins_.put16(leaf, 2, static_cast<std::uint16_t>(count));
      for (std::size_t i = 0; i < count; ++i) {
        const std::size_t child = children[first + i];
        bins_.put32(leaf, 4 + 8 * i, nodes_[child]);
        if (hashed)
          bins_.put32(leaf, 8 + 8 * i, nameHash(upper_[child]));
        else
          bins_.putBytes(leaf, 8 + 8 * i, leafHint(tree_[child].name));
      }
      leaves.push_back(leaf);
    }
    std::uint32_t list = leaves.front();
    if (leaves.size() > 1) {
      list = bins_.allocate(4 + 4 * leaves.size());
      bins_.putBytes(list, 0, "ri");
      bins_.put16(list, 2, static_cast<std::uint16_t>(leaves.size()));
      for (std::size_t i = 0; i < leaves.size(); ++i)
        bins_.put32(list, 4 + 4 * i, leaves[i]);
    }
    const std::uint32_t node = nodes_[index];
    bins_.put32(node, nk::kSubKeys, static_cast<std::uint32_t>(children.size()));
    bins_.put32(node, nk::kSubKeyList, list);
    bins_.put32(node, nk::kMaxSubKeyName,
                static_cast<std::uint32_t>(tree_[index].userFlags) << 16 |
                    static_cast<std::uint32_t>(longestName));
    bins_.put32(node, nk::kMaxSubKeyClass, static_cast<std::uint32_t>(longestClass));
  }

  std::string baseBlock(const std::u16string &fileName) {
    std::string block(kBaseBlockSize, '\0');
    auto put = [&](std::size_t at, std::uint64_t value, int width) {
      for (int i = 0; i < width; ++i)
        block[at + static_cast<std::size_t>(i)] = static_cast<char>((value >> (8 * i)) & 0xff);
    };
    if (baseBlock_.size() >= kBaseBlockSize) {
      // The hive written anew: one sequence number past the old one, both
      // equal, so Windows sees a clean hive that has changed.
      block = std::string(baseBlock_.substr(0, kBaseBlockSize));
      const auto sequence = static_cast<std::uint32_t>(
          static_cast<unsigned char>(block[4]) | static_cast<unsigned char>(block[5]) << 8 |
          static_cast<unsigned char>(block[6]) << 16 |
          static_cast<std::uint32_t>(static_cast<unsigned char>(block[7])) << 24);
      put(4, sequence + 1, 4);
      put(8, sequence + 1, 4);
      put(12, fileTimeNow(), 8);
      put(36, nodes_[0], 4);
      return block;
    }
    block.replace(0, 4, "regf");
    put(4, 1, 4); // primary and secondary sequence numbers: equal, so clean
    put(8, 1, 4);
    put(12, tree_[0].written, 8);
    put(20, 1, 4); // format 1.5
    put(24, 5, 4);
    put(28, 0, 4); // a primary file
    put(32, 1, 4); // loaded straight into memory
    put(36, nodes_[0], 4);
    // The bins' size (offset 40) is set with the checksum, once they are finished.
    put(44, 1, 4); // clustering factor
    const std::u16string tail =
        fileName.size() > 31 ? fileName.substr(fileName.size() - 31) : fileName;
    block.replace(48, tail.size() * 2, utf16Bytes(tail));
    return block;
  }

  const HiveTree &tree_;
  const std::vector<std::string> &descriptors_;
  std::string_view baseBlock_;
  std::uint32_t minor_;
  BinImage bins_;
  std::vector<std::uint32_t> security_; // by descriptor
  std::vector<std::uint32_t> nodes_;
  std::vector<std::vector<std::size_t>> children_;
  std::vector<std::u16string> upper_;
};

void putChecksum(std::string &image) {
  auto get = [&](std::size_t at) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
      value = (value << 8) | static_cast<unsigned char>(image[at + static_cast<std::size_t>(i)]);
    return value;
  };
  const auto binsSize = static_cast<std::uint32_t>(image.size() - kBaseBlockSize);
  for (int i = 0; i < 4; ++i)
    image[40 + static_cast<std::size_t>(i)] = static_cast<char>((binsSize >> (8 * i)) & 0xff);
  std::uint32_t sum = 0;
  for (std::size_t at = 0; at < 508; at += 4)
    sum ^= get(at);
  // Windows reserves these two sums.
  if (sum == 0xFFFFFFFFu)
    sum = 0xFFFFFFFEu;
  else if (sum == 0)
    sum = 1;
  for (int i = 0; i < 4; ++i)
    image[508 + static_cast<std::size_t>(i)] = static_cast<char>((sum >> (8 * i)) & 0xff);
}

} // namespace

std::string encodeRegf(const HiveTree &tree, const std::u16string &fileName) {
  return encodeRegf(HiveFile{tree, {}, {}}, fileName);
}

std::string encodeRegf(const HiveFile &hive, const std::u16string &fileName) {
  std::string image = HiveEncoder(hive.keys, hive.descriptors, hive.baseBlock).encode(fileName);
  putChecksum(image);
  return image;
}

std::size_t maxValueData(std::uint32_t minorVersion) {
  return minorVersion < 4 ? std::size_t{1} << 20 : kMaxSegments * kBigDataSegment;
}

DWORD writeRegfFile(const std::string &hostPath, const HiveTree &tree) {
  const std::size_t slash = hostPath.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : hostPath.substr(0, slash + 1);
  std::string image;
  try {
    image =
        encodeRegf(tree, utf8ToUtf16(hostPath.substr(slash == std::string::npos ? 0 : slash + 1)));
  } catch (const RegistryFailure &failure) {
    return failure.code;
  }
  std::string temporary = hostPath + ".XXXXXX";
  const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
  if (fd < 0)
    return win32ErrorFromErrno(errno);
  const bool written =
      ::fchmod(fd, 0644) == 0 && writeAll(fd, image.data(), image.size()) && ::fsync(fd) == 0;
  ::close(fd);
  if (!written || ::rename(temporary.c_str(), hostPath.c_str()) != 0) {
    const DWORD code = written ? win32ErrorFromErrno(errno) : ERROR_CANTWRITE;
    ::unlink(temporary.c_str());
    return code;
  }
  // The rename itself survives a crash only once the folder is flushed.
  const int folderFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folderFd >= 0) {
    ::fsync(folderFd);
    ::close(folderFd);
  }
  return ERROR_SUCCESS;
}

} // namespace zelsys::posix
