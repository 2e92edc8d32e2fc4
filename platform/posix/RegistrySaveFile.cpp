//===- RegistrySaveFile.cpp - The substitute's registry save files ---------===//
//
// Only code that works on every Unix.
//
//===----------------------------------------------------------------------===//
#include "RegistrySaveFile.h"
#include "Errors.h"
#include "HostIo.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace zelsys::posix {

namespace {

constexpr char kSaveMagic[8] = {'Z', 'E', 'L', 'H', 'I', 'V', 'E', 0x01};

void putNumber(std::string &out, DWORD number) {
  for (int shift = 0; shift < 32; shift += 8)
    out.push_back(static_cast<char>((number >> shift) & 0xff));
}

void putText(std::string &out, const std::u16string &text) {
  putNumber(out, static_cast<DWORD>(text.size()));
  for (char16_t unit : text) {
    out.push_back(static_cast<char>(unit & 0xff));
    out.push_back(static_cast<char>(unit >> 8));
  }
}

// Reads a save file's bytes; any inconsistency makes it not a save file.
class SaveReader {
public:
  explicit SaveReader(std::string_view bytes) : m_bytes(bytes) {}

  KeyTree read() {
    if (m_bytes.size() < sizeof kSaveMagic ||
        std::memcmp(m_bytes.data(), kSaveMagic, sizeof kSaveMagic) != 0)
      bad();
    m_at = sizeof kSaveMagic;
    KeyTree tree;
    // The keys still to come below each open ancestor, innermost last.
    struct Open {
      std::size_t index;
      DWORD remaining;
    };
    std::vector<Open> open;
    do {
      TreeKey node = key(!open.empty());
      if (!open.empty()) {
        node.parent = open.back().index;
        node.depth = static_cast<DWORD>(open.size());
        --open.back().remaining;
      }
      open.push_back({tree.size(), node.subKeys});
      tree.push_back(std::move(node));
      while (!open.empty() && open.back().remaining == 0)
        open.pop_back();
    } while (!open.empty());
    if (m_at != m_bytes.size())
      bad();
    return tree;
  }

private:
  std::string_view m_bytes;
  std::size_t m_at = 0;

  [[noreturn]] static void bad() { throw RegistryFailure{ERROR_BADDB}; }

  void need(std::size_t count) const {
    if (count > m_bytes.size() - m_at)
      bad();
  }
  DWORD number() {
    need(4);
    DWORD value = 0;
    for (int i = 0; i < 4; ++i)
      value |= static_cast<DWORD>(static_cast<unsigned char>(m_bytes[m_at++])) << (8 * i);
    return value;
  }
  std::u16string text(std::size_t longest) {
    const DWORD units = number();
    if (units > longest)
      bad();
    need(std::size_t{units} * 2);
    std::u16string out(units, u'\0');
    for (char16_t &unit : out) {
      unit = static_cast<char16_t>(static_cast<unsigned char>(m_bytes[m_at]) |
                                   static_cast<unsigned char>(m_bytes[m_at + 1]) << 8);
      m_at += 2;
    }
    return out;
  }
  // One key record without its sub-keys; a sub-key needs a name Windows
  // would accept.
  TreeKey key(bool isSubKey) {
    TreeKey node;
    node.name = text(kMaxKeyNameLength);
    if (isSubKey && (node.name.empty() || node.name.find(u'\\') != std::u16string::npos))
      bad();
    node.keyClass = text(m_bytes.size());
    const DWORD values = number();
    need(std::size_t{values} * 12); // the smallest value record
    for (DWORD i = 0; i < values; ++i) {
      ValueRecord value;
      value.name = text(kMaxValueNameLength);
      value.type = number();
      const DWORD size = number();
      need(size);
      value.data.assign(m_bytes.begin() + static_cast<std::ptrdiff_t>(m_at),
                        m_bytes.begin() + static_cast<std::ptrdiff_t>(m_at + size));
      m_at += size;
      node.values.push_back(std::move(value));
    }
    node.subKeys = number();
    need(std::size_t{node.subKeys} * 16); // the smallest key record
    return node;
  }
};

} // namespace

std::string encodeSaveFile(const KeyTree &tree) {
  std::string out(kSaveMagic, sizeof kSaveMagic);
  for (const TreeKey &node : tree) {
    putText(out, node.name);
    putText(out, node.keyClass);
    putNumber(out, static_cast<DWORD>(node.values.size()));
    for (const ValueRecord &value : node.values) {
      putText(out, value.name);
      putNumber(out, value.type);
      putNumber(out, static_cast<DWORD>(value.data.size()));
      out.append(reinterpret_cast<const char *>(value.data.data()), value.data.size());
    }
    putNumber(out, node.subKeys);
  }
  return out;
}

KeyTree decodeSaveFile(std::string_view bytes) { return SaveReader(bytes).read(); }

DWORD writeNewFile(const std::string &hostPath, const std::string &bytes) {
  const int fd = ::open(hostPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0)
    return errno == EEXIST ? ERROR_ALREADY_EXISTS : win32ErrorFromErrno(errno);
  const bool ok = writeAll(fd, bytes.data(), bytes.size()) && ::fsync(fd) == 0;
  ::close(fd);
  if (!ok) {
    ::unlink(hostPath.c_str());
    return ERROR_CANTWRITE;
  }
  return ERROR_SUCCESS;
}

DWORD readWholeFile(const std::string &hostPath, std::string &bytes) {
  const int fd = ::open(hostPath.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0)
    return win32ErrorFromErrno(errno);
  const DWORD read = readAll(fd, bytes);
  ::close(fd);
  return read == ERROR_SUCCESS ? ERROR_SUCCESS : ERROR_CANTREAD;
}

} // namespace zelsys::posix
