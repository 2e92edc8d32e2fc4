//===- Version.cpp - Version-resource calls on the substitute --------------===//
//
// GetFileVersionInfoSizeW and GetFileVersionInfoW find the version resource
// with the PE reader and copy it as it lies in the file. VerQueryValueW walks
// that copy, a tree of nodes:
//   WORD wLength         bytes of the node, its children included
//   WORD wValueLength    characters of a text value (wType 1), bytes of a
//                        binary one (wType 0)
//   WORD wType
//   the key in UTF-16 with its terminator, padding to 32 bits,
//   the value, padding to 32 bits, the children,
// each node aligned to 32 bits from the start of the block. The caller hands
// over the block alone, so its root's wLength bounds every read, and
// GetFileVersionInfoW lowers that length when it copies less than the whole
// resource. Each node must lie within its parent and end its key within
// itself; a value that reaches past its node is cut at the node's end;
// siblings are stepped over by their lengths, which are at least a header
// long, so every walk ends. Only code that works on every Unix.
//
//===----------------------------------------------------------------------===//
#include "Errors.h"
#include "HostPath.h"
#include "PeResources.h"
#include "Utf.h"
#include "zelsys/files.h"
#include "zelsys/kernel.h"

#include <algorithm>
#include <string>
#include <string_view>

namespace zelsys {

namespace {

constexpr WORD kRtVersion = 16;
constexpr std::size_t kNodeHeader = 6;
constexpr WORD kTextValue = 1;
// The largest resource whose reported size still fits a DWORD.
constexpr DWORD kLargestResource = (0xFFFFFFFFu - 4) / 2;

// Windows reports room for an ANSI copy of the block and a four-byte
// signature beside the block itself, and callers allocate exactly what it
// reports; the same rule gives them the same buffers here.
DWORD reportedSize(DWORD resourceSize) { return 2 * resourceSize + 4; }

WORD wordAt(const BYTE *p) { return static_cast<WORD>(p[0] | p[1] << 8); }

std::size_t align4(std::size_t offset) { return (offset + 3) & ~std::size_t{3}; }

// Opens the file of a Windows path and finds its version resource.
DWORD locate(LPCWSTR lpFileName, posix::ImageFile &file, posix::ResourceData &data) {
  if (lpFileName == nullptr)
    return ERROR_INVALID_PARAMETER;
  // An empty name would otherwise resolve to the current folder.
  if (lpFileName[0] == u'\0')
    return ERROR_BAD_PATHNAME;
  std::string hostPath;
  DWORD error = ERROR_SUCCESS;
  if (!posix::hostPathFromWindows(lpFileName, hostPath, error))
    return error;
  if ((error = file.open(hostPath)) != ERROR_SUCCESS ||
      (error = posix::findResource(file, kRtVersion, data)) != ERROR_SUCCESS)
    return error;
  // A block shorter than its root's header could not be walked, and the
  // size of one past kLargestResource could not be reported.
  if (data.size < kNodeHeader || data.size > kLargestResource)
    return ERROR_BAD_EXE_FORMAT;
  return ERROR_SUCCESS;
}

// Where one node's parts lie in the block, as offsets from its start.
struct Node {
  std::size_t end = 0;
  std::size_t key = 0;
  std::size_t keyUnits = 0;
  std::size_t value = 0;
  UINT valueLength = 0; // as VerQueryValueW reports it, cut to the node
  std::size_t children = 0;
};

// The node at start, which must lie within limit (start < limit).
bool readNode(const BYTE *block, std::size_t start, std::size_t limit, Node &node) {
  if (limit - start < kNodeHeader)
    return false;
  const std::size_t length = wordAt(block + start);
  if (length < kNodeHeader || length > limit - start)
    return false;
  node.end = start + length;
  node.key = start + kNodeHeader;
  std::size_t at = node.key;
  while (node.end - at >= 2 && wordAt(block + at) != 0)
    at += 2;
  if (node.end - at < 2)
    return false;
  node.keyUnits = (at - node.key) / 2;
  node.value = std::min(align4(at + 2), node.end);
  const std::size_t unit = wordAt(block + start + 4) == kTextValue ? 2 : 1;
  const std::size_t units =
      std::min<std::size_t>(wordAt(block + start + 2), (node.end - node.value) / unit);
  node.valueLength = static_cast<UINT>(units);
  node.children = align4(node.value + units * unit);
  return true;
}

std::u16string keyOf(const BYTE *block, const Node &node) {
  std::u16string key(node.keyUnits, u'\0');
  for (std::size_t i = 0; i < node.keyUnits; ++i)
    key[i] = static_cast<char16_t>(wordAt(block + node.key + 2 * i));
  return key;
}

// The child of parent whose key is name, compared as Windows compares names.
bool findChild(const BYTE *block, const Node &parent, std::u16string_view name, Node &found) {
  for (std::size_t at = parent.children; at < parent.end;) {
    Node child;
    if (!readNode(block, at, parent.end, child))
      return false;
    if (posix::equalsIgnoreCase(keyOf(block, child), name)) {
      found = child;
      return true;
    }
    at = align4(child.end);
  }
  return false;
}

} // namespace

DWORD GetFileVersionInfoSizeW(LPCWSTR lptstrFilename, DWORD *lpdwHandle) {
  if (lpdwHandle != nullptr)
    *lpdwHandle = 0;
  posix::ImageFile file;
  posix::ResourceData data;
  const DWORD error = locate(lptstrFilename, file, data);
  SetLastError(error);
  return error == ERROR_SUCCESS ? reportedSize(data.size) : 0;
}

BOOL GetFileVersionInfoW(LPCWSTR lptstrFilename, DWORD, DWORD dwLen, LPVOID lpData) {
  if (lpData == nullptr) {
    SetLastError(ERROR_INVALID_DATA);
    return FALSE;
  }
  posix::ImageFile file;
  posix::ResourceData data;
  const DWORD error = locate(lptstrFilename, file, data);
  if (error != ERROR_SUCCESS) {
    SetLastError(error);
    return FALSE;
  }
  auto *block = static_cast<BYTE *>(lpData);
  const DWORD count = std::min(dwLen, data.size);
  // A failure here means the file shrank since it was searched.
  if (!file.read(data.offset, block, count)) {
    SetLastError(ERROR_BAD_EXE_FORMAT);
    return FALSE;
  }
  // VerQueryValueW knows the block only by its root's length, which must
  // therefore not promise more than was copied (count < wLength <= 0xFFFF).
  if (count >= 2 && wordAt(block) > count) {
    block[0] = static_cast<BYTE>(count);
    block[1] = static_cast<BYTE>(count >> 8);
  }
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

BOOL VerQueryValueW(LPCVOID pBlock, LPCWSTR lpSubBlock, LPVOID *lplpBuffer, UINT *puLen) {
  if (pBlock == nullptr || lplpBuffer == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const auto *block = static_cast<const BYTE *>(pBlock);
  Node node;
  bool found = readNode(block, 0, wordAt(block), node);
  // The names between backslashes, one level each; empty ones (a null or
  // empty path, doubled or trailing backslashes) name no level.
  std::u16string_view path = lpSubBlock != nullptr ? lpSubBlock : u"";
  while (found && !path.empty()) {
    const std::size_t cut = std::min(path.find(u'\\'), path.size());
    const std::u16string_view name = path.substr(0, cut);
    path.remove_prefix(std::min(cut + 1, path.size()));
    Node child;
    if (!name.empty() && (found = findChild(block, node, name, child)))
      node = child;
  }
  if (!found) {
    if (puLen != nullptr)
      *puLen = 0;
    SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
    return FALSE;
  }
  *lplpBuffer = const_cast<BYTE *>(block + node.value);
  if (puLen != nullptr)
    *puLen = node.valueLength;
  return TRUE;
}

} // namespace zelsys
