//===- RegfReader.cpp - Windows hive files (REGF) read whole and checked ---===//
//
// One pass over the bins records where every cell starts and whether it is
// used; then the keys are read breadth first from the root (an explicit
// queue, so no depth needs recursion), each reference checked against that
// record as it is followed. What must hold is listed in RegfReader.h. Only
// code that works on every Unix.
//
//===----------------------------------------------------------------------===//
#include "RegfReader.h"
#include "Utf.h"

#include <unordered_map>
#include <unordered_set>

namespace zelsys::posix {

namespace {

constexpr std::size_t kBaseBlockSize = 4096;
constexpr std::size_t kBinHeaderSize = 32;
constexpr std::uint32_t kInlineData = 0x80000000u;
constexpr std::uint16_t kHiveEntry = 0x0004;
constexpr std::uint16_t kCompressedName = 0x0020;
constexpr std::uint16_t kValueCompressedName = 0x0001;

struct Fault {
  std::string what;
};
[[noreturn]] void fault(std::string what) { throw Fault{std::move(what)}; }

std::uint32_t get32(std::string_view bytes, std::size_t at) {
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i)
    value = value << 8 | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(i)]);
  return value;
}
std::uint16_t get16(std::string_view bytes, std::size_t at) {
  return static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[at]) |
                                    static_cast<unsigned char>(bytes[at + 1]) << 8);
}
std::uint64_t get64(std::string_view bytes, std::size_t at) {
  return get32(bytes, at) | static_cast<std::uint64_t>(get32(bytes, at + 4)) << 32;
}

std::string hex(std::uint32_t value) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out = "0x";
  for (int shift = 28; shift >= 0; shift -= 4)
    out += kDigits[(value >> shift) & 0xf];
  return out;
}

// A stored name: one byte a unit (Latin-1) or UTF-16LE.
std::u16string nameOf(std::string_view bytes, bool compressed) {
  std::u16string name;
  if (compressed) {
    for (const char byte : bytes)
      name.push_back(static_cast<unsigned char>(byte));
    return name;
  }
  if (bytes.size() % 2 != 0)
    fault("a name of an odd number of bytes");
  for (std::size_t at = 0; at < bytes.size(); at += 2)
    name.push_back(get16(bytes, at));
  return name;
}

std::uint32_t hashOf(const std::u16string &upper) {
  std::uint32_t hash = 0;
  for (const char16_t unit : upper)
    hash = hash * 37 + unit;
  return hash;
}

// A key found in its parent's list, to be read in its turn.
struct Pending {
  std::uint32_t cell;
  std::size_t parent;
  DWORD depth;
  bool hashed; // listed in a hash leaf, with this hash
  std::uint32_t hash;
};

class Parser {
public:
  explicit Parser(std::string_view image) : m_image(image) {}

  void parse(HiveFile &hive) {
    checkBaseBlock();
    mapCells();
    hive.baseBlock = std::string(m_image.substr(0, kBaseBlockSize));
    readKeys(hive);
    checkSecurityCells();
  }

private:
  void checkBaseBlock() {
    if (m_image.size() < kBaseBlockSize || m_image.substr(0, 4) != "regf")
      fault("no hive base block");
    if (get32(m_image, 4) != get32(m_image, 8))
      fault("left dirty: its sequence numbers differ");
    std::uint32_t sum = 0;
    for (std::size_t at = 0; at < 508; at += 4)
      sum ^= get32(m_image, at);
    sum = sum == 0xFFFFFFFFu ? 0xFFFFFFFEu : sum == 0 ? 1 : sum;
    if (sum != get32(m_image, 508))
      fault("a base block checksum that does not match");
    m_minor = get32(m_image, 24);
    if (get32(m_image, 20) != 1 || m_minor < 3 || m_minor > 6 || get32(m_image, 28) != 0 ||
        get32(m_image, 32) != 1)
      fault("a format other than a primary hive file of version 1.3 to 1.6");
    const std::uint32_t binsSize = get32(m_image, 40);
    if (binsSize == 0 || binsSize % 4096 != 0 || binsSize > m_image.size() - kBaseBlockSize)
      fault("bins of size " + hex(binsSize) + " that do not fit the file");
    m_bins = m_image.substr(kBaseBlockSize, binsSize);
  }

  void mapCells() {
    m_usedSize.assign(m_bins.size() / 8, 0);
    m_seen.assign(m_bins.size() / 8, false);
    for (std::size_t bin = 0; bin < m_bins.size();) {
      const std::uint32_t size = get32(m_bins, bin + 8);
      if (m_bins.substr(bin, 4) != "hbin" || get32(m_bins, bin + 4) != bin || size == 0 ||
          size % 4096 != 0 || size > m_bins.size() - bin)
        fault("a bad hive bin at " + hex(static_cast<std::uint32_t>(bin)));
      for (std::size_t cell = bin + kBinHeaderSize; cell < bin + size;) {
        const auto raw = static_cast<std::int32_t>(get32(m_bins, cell));
        const std::int64_t cellSize = raw < 0 ? -static_cast<std::int64_t>(raw) : raw;
        if (cellSize < 8 || cellSize % 8 != 0 ||
            cellSize > static_cast<std::int64_t>(bin + size - cell))
          fault("a bad cell size at " + hex(static_cast<std::uint32_t>(cell)));
        if (raw < 0)
          m_usedSize[cell / 8] = static_cast<std::uint32_t>(cellSize);
        cell += static_cast<std::size_t>(cellSize);
      }
      bin += size;
    }
  }

  // The contents of the used cell at offset, of at least need bytes and
  // starting with signature when one is given; each cell but a security
  // cell may be reached once.
  std::string_view cell(std::uint32_t offset, std::size_t need, const char *signature,
                        bool shared = false) {
    const std::size_t slot = offset / 8;
    if (offset % 8 != 0 || slot >= m_usedSize.size() || m_usedSize[slot] == 0)
      fault("a reference to " + hex(offset) + ", which is no used cell");
    const std::string_view contents = m_bins.substr(offset + 4, m_usedSize[slot] - 4);
    if (contents.size() < need)
      fault("the cell at " + hex(offset) + " is too small for what it must hold");
    if (signature && contents.substr(0, 2) != signature)
      fault("the cell at " + hex(offset) + " is no \"" + signature + "\" cell");
    if (!shared) {
      if (m_seen[slot])
        fault("the cell at " + hex(offset) + " is referenced twice");
      m_seen[slot] = true;
    }
    return contents;
  }

  void readKeys(HiveFile &hive) {
    std::vector<Pending> queue{{get32(m_image, 36), 0, 0, false, 0}};
    std::u16string previousSibling;
    for (std::size_t index = 0; index < queue.size(); ++index) {
      const Pending pending = queue[index];
      HiveKey key;
      std::u16string upper;
      const std::string_view node = readKey(pending, index, key, upper);
      if (index > 0) {
        if (pending.hashed && pending.hash != hashOf(upper))
          fault("a hash leaf entry with a wrong hash for \"" + utf16ToUtf8(key.name) + "\"");
        const bool firstSibling = queue[index - 1].parent != pending.parent || index == 1;
        if (!firstSibling && !(previousSibling < upper))
          fault("sub-keys out of order at \"" + utf16ToUtf8(key.name) + "\"");
        previousSibling = upper;
      }
      const std::size_t before = queue.size();
      listSubKeys(get32(node, 28), index, pending.depth + 1, queue);
      if (queue.size() - before != get32(node, 20))
        fault("a sub-key count that does not match its lists");
      hive.keys.push_back(std::move(key));
    }
    hive.descriptors = std::move(m_descriptors);
  }

  std::string_view readKey(const Pending &pending, std::size_t index, HiveKey &key,
                           std::u16string &upper) {
    if (pending.depth > kMaxTreeDepth)
      fault("keys more than 512 levels deep");
    const std::string_view node = cell(pending.cell, 76, "nk");
    const std::uint16_t flags = get16(node, 2);
    const std::uint16_t nameBytes = get16(node, 72);
    if (node.size() < 76u + nameBytes)
      fault("a key name beyond its cell");
    key.name = nameOf(node.substr(76, nameBytes), (flags & kCompressedName) != 0);
    upper = upcase(key.name);
    if (index == 0 && (flags & kHiveEntry) == 0)
      fault("a root key without the hive-entry flag");
    if (index > 0 && (key.name.empty() || key.name.size() > kMaxKeyNameLength ||
                      get32(node, 16) != m_cellOf[pending.parent]))
      fault("a bad key node at " + hex(pending.cell));
    m_cellOf.push_back(pending.cell);
    key.parent = pending.parent;
    key.flags = static_cast<std::uint16_t>(flags & ~kCompressedName);
    key.written = get64(node, 4);
    key.accessBits = get32(node, 12);
    key.userFlags = static_cast<std::uint16_t>(get32(node, 52) >> 16);
    key.security = securityOf(get32(node, 44));
    if (const std::uint16_t classBytes = get16(node, 74))
      key.keyClass =
          nameOf(cell(get32(node, 48), classBytes, nullptr).substr(0, classBytes), false);
    readValues(get32(node, 40), get32(node, 36), key.values);
    return node;
  }

  void readValues(std::uint32_t list, std::uint32_t count, std::vector<ValueRecord> &values) {
    if (count == 0)
      return;
    if (count > m_bins.size() / 4)
      fault("a value count beyond the hive's size");
    const std::string_view offsets = cell(list, 4 * std::size_t{count}, nullptr);
    std::unordered_set<std::u16string> names;
    for (std::uint32_t i = 0; i < count; ++i) {
      const std::uint32_t at = get32(offsets, 4 * std::size_t{i});
      const std::string_view node = cell(at, 20, "vk");
      const std::uint16_t nameBytes = get16(node, 2);
      if (node.size() < 20u + nameBytes)
        fault("a value name beyond its cell");
      ValueRecord value;
      value.name =
          nameOf(node.substr(20, nameBytes), (get16(node, 16) & kValueCompressedName) != 0);
      if (!names.insert(upcase(value.name)).second)
        fault("two values named \"" + utf16ToUtf8(value.name) + "\" in one key");
      value.type = get32(node, 12);
      readData(node, value.data);
      values.push_back(std::move(value));
    }
  }

  void readData(std::string_view node, std::vector<BYTE> &data) {
    const std::uint32_t size = get32(node, 4);
    const std::uint32_t at = get32(node, 8);
    std::string_view bytes;
    if (size & kInlineData) {
      if ((size & ~kInlineData) > 4)
        fault("inline data of more than 4 bytes");
      bytes = node.substr(8, size & ~kInlineData);
    } else if (size > kBigDataSegment && m_minor >= 4) {
      readBigData(at, size, data);
      return;
    } else if (size > 0) {
      bytes = cell(at, size, nullptr).substr(0, size);
    }
    data.assign(bytes.begin(), bytes.end());
  }

  void readBigData(std::uint32_t at, std::uint32_t size, std::vector<BYTE> &data) {
    const std::string_view record = cell(at, 8, "db");
    const std::size_t count = get16(record, 2);
    if (count != (size + kBigDataSegment - 1) / kBigDataSegment)
      fault("a big data record whose segments do not hold its value");
    const std::string_view segments = cell(get32(record, 4), 4 * count, nullptr);
    data.reserve(size);
    for (std::size_t i = 0; i < count; ++i) {
      const std::size_t piece = std::min<std::size_t>(kBigDataSegment, size - data.size());
      const std::string_view bytes = cell(get32(segments, 4 * i), piece, nullptr);
      data.insert(data.end(), bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(piece));
    }
  }

  // Queues the keys a sub-key list names; a list may be an index root of
  // leaves, a leaf may not.
  void listSubKeys(std::uint32_t list, std::size_t parent, DWORD depth,
                   std::vector<Pending> &queue) {
    if (list == 0xFFFFFFFFu)
      return;
    const std::string_view root = cell(list, 4, nullptr);
    if (root.substr(0, 2) != "ri") {
      listLeaf(root, parent, depth, queue);
      return;
    }
    const std::size_t count = get16(root, 2);
    if (root.size() < 4 + 4 * count)
      fault("an index root beyond its cell");
    for (std::size_t i = 0; i < count; ++i)
      listLeaf(cell(get32(root, 4 + 4 * i), 4, nullptr), parent, depth, queue);
  }

  void listLeaf(std::string_view leaf, std::size_t parent, DWORD depth,
                std::vector<Pending> &queue) {
    const std::string_view kind = leaf.substr(0, 2);
    const std::size_t count = get16(leaf, 2);
    const std::size_t width = kind == "li" ? 4 : 8;
    if (kind != "li" && kind != "lf" && kind != "lh")
      fault("a sub-key list that is no leaf");
    if (leaf.size() < 4 + width * count)
      fault("a sub-key leaf beyond its cell");
    for (std::size_t i = 0; i < count; ++i) {
      const std::size_t at = 4 + width * i;
      queue.push_back(
          {get32(leaf, at), parent, depth, kind == "lh", kind == "lh" ? get32(leaf, at + 4) : 0});
    }
  }

  std::size_t securityOf(std::uint32_t offset) {
    const auto [known, added] = m_security.emplace(offset, m_descriptors.size());
    if (added) {
      const std::string_view sk = cell(offset, 20, "sk", true);
      const std::uint32_t size = get32(sk, 16);
      if (size > sk.size() - 20)
        fault("a security descriptor beyond its cell");
      m_descriptors.emplace_back(sk.substr(20, size));
      m_uses.push_back(0);
    }
    ++m_uses[known->second];
    return known->second;
  }

  void checkSecurityCells() {
    for (const auto &[offset, index] : m_security) {
      const std::string_view sk = cell(offset, 20, "sk", true);
      const std::string_view next = cell(get32(sk, 4), 20, "sk", true);
      const std::string_view previous = cell(get32(sk, 8), 20, "sk", true);
      if (get32(next, 8) != offset || get32(previous, 4) != offset)
        fault("security cells out of their ring at " + hex(offset));
      if (get32(sk, 12) < m_uses[index])
        fault("a security cell counting fewer keys than use it at " + hex(offset));
    }
  }

  std::string_view m_image, m_bins;
  std::uint32_t m_minor = 0;
  std::vector<std::uint32_t> m_usedSize; // by offset / 8: a used cell's size there
  std::vector<bool> m_seen;
  std::vector<std::uint32_t> m_cellOf; // each read key's node
  std::unordered_map<std::uint32_t, std::size_t> m_security;
  std::vector<std::string> m_descriptors;
  std::vector<std::uint32_t> m_uses;
};

} // namespace

bool readRegf(std::string_view image, HiveFile &hive, std::string &problem) {
  hive = HiveFile{};
  try {
    Parser(image).parse(hive);
    return true;
  } catch (const Fault &failure) {
    problem = failure.what;
    return false;
  }
}

std::uint32_t regfMinorVersion(std::string_view baseBlock) {
  return baseBlock.size() >= 28 ? get32(baseBlock, 24) : 5;
}

} // namespace zelsys::posix
