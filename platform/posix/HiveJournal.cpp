//===- HiveJournal.cpp - Completed registry calls on a hive file, made durable -===//
//
// The journal's records, the writer lock and the checkpoint over hivex; the
// guarantees are stated in HiveJournal.h. Linux only.
//
// Every function that touches a file reports in Win32's error space; a hive
// that hivex refuses is ERROR_BADDB wherever it shows up, because a hive we
// cannot read is one we must not write either.
//
//===----------------------------------------------------------------------===//
#include "HiveJournal.h"
#include "Errors.h"
#include "HiveBigData.h"
#include "HiveImage.h"
#include "HostIo.h"
#include "RegistryStore.h"
#include "Utf.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <iterator>
#include <memory>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <unordered_map>
#include <unordered_set>

namespace zelsys::posix {

namespace {

constexpr std::string_view kTag{"ZELJRN1\n", 8};
constexpr std::size_t kRecordHeader = 8;
// A length beyond this is damage, not a record: the largest legal record (a
// value of 16,383-unit name and data far beyond any sane value) fits easily.
constexpr std::uint32_t kMaxPayload = 256u << 20;
// Set in a record's length word when the next record belongs to the same
// call.
constexpr std::uint32_t kMoreInCall = 0x80000000u;

constexpr std::array<std::uint32_t, 256> makeCrcTable() {
  std::array<std::uint32_t, 256> table{};
  for (std::uint32_t i = 0; i < 256; ++i) {
    std::uint32_t c = i;
    for (int bit = 0; bit < 8; ++bit)
      c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    table[i] = c;
  }
  return table;
}
constexpr auto kCrcTable = makeCrcTable();

std::uint32_t crc32(std::string_view bytes, std::uint32_t crc = 0) {
  crc = ~crc;
  for (unsigned char byte : bytes)
    crc = kCrcTable[(crc ^ byte) & 0xff] ^ (crc >> 8);
  return ~crc;
}

void putU32(std::string &out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i)
    out.push_back(static_cast<char>((v >> (8 * i)) & 0xff));
}

std::uint32_t getU32(std::string_view in, std::size_t at) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i)
    v = (v << 8) | static_cast<unsigned char>(in[at + i]);
  return v;
}

void putUnits(std::string &out, std::u16string_view text) {
  putU32(out, static_cast<std::uint32_t>(text.size()));
  for (char16_t unit : text) {
    out.push_back(static_cast<char>(unit & 0xff));
    out.push_back(static_cast<char>(unit >> 8));
  }
}

// Reads past a length-prefixed field; false when the payload ends first.
struct Reader {
  std::string_view in;
  std::size_t at = 0;
  bool u32(std::uint32_t &v) {
    if (in.size() - at < 4)
      return false;
    v = getU32(in, at);
    at += 4;
    return true;
  }
  bool units(std::u16string &text) {
    std::uint32_t count = 0;
    if (!u32(count) || (in.size() - at) / 2 < count)
      return false;
    text.resize(count);
    for (std::uint32_t i = 0; i < count; ++i, at += 2)
      text[i] = static_cast<char16_t>(static_cast<unsigned char>(in[at]) |
                                      static_cast<unsigned char>(in[at + 1]) << 8);
    return true;
  }
};

std::vector<std::u16string> splitPath(std::u16string_view path) {
  std::vector<std::u16string> parts;
  if (path.empty())
    return parts;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = path.find(u'\\', start);
    parts.emplace_back(path.substr(start, end == std::u16string_view::npos ? end : end - start));
    if (end == std::u16string_view::npos)
      return parts;
    start = end + 1;
  }
}

bool validOperation(const HiveOperation &op) {
  const auto parts = splitPath(op.keyPath);
  if (parts.size() > kMaxTreeDepth || (op.kind == HiveOpKind::DeleteKeyTree && parts.empty()))
    return false;
  for (const auto &part : parts)
    if (part.empty() || part.size() > kMaxKeyNameLength || part.find(u'\0') != part.npos)
      return false;
  switch (op.kind) {
  case HiveOpKind::CreateKey:
  case HiveOpKind::DeleteKeyTree:
    return true;
  case HiveOpKind::SetValue:
  case HiveOpKind::DeleteValue:
    return op.valueName.size() <= kMaxValueNameLength &&
           op.valueName.find(u'\0') == op.valueName.npos;
  }
  return false;
}

// Splits a journal's bytes into its completed records; validBytes is where
// the first torn or damaged record (or the end) starts.
DWORD parseJournal(std::string_view bytes, std::vector<HiveOperation> &ops,
                   std::size_t &validBytes) {
  ops.clear();
  validBytes = 0;
  if (bytes.size() < kTag.size())
    // A journal whose creation was cut short holds a prefix of the tag.
    return kTag.substr(0, bytes.size()) == bytes ? ERROR_SUCCESS : ERROR_BADDB;
  if (bytes.substr(0, kTag.size()) != kTag)
    return ERROR_BADDB;
  std::size_t at = kTag.size();
  validBytes = at;
  // A call's records count only once its last one (without the flag) is
  // there: a call is replayed whole or not at all.
  std::vector<HiveOperation> call;
  while (bytes.size() - at >= kRecordHeader) {
    const std::uint32_t header = getU32(bytes, at);
    const std::uint32_t length = header & ~kMoreInCall;
    if (length > kMaxPayload || bytes.size() - at - kRecordHeader < length)
      break;
    const std::string_view payload = bytes.substr(at + kRecordHeader, length);
    HiveOperation op;
    if (crc32(payload, crc32(bytes.substr(at, 4))) != getU32(bytes, at + 4) ||
        !decodeHiveOperation(payload, op))
      break;
    call.push_back(std::move(op));
    at += kRecordHeader + length;
    if ((header & kMoreInCall) == 0) {
      std::move(call.begin(), call.end(), std::back_inserter(ops));
      call.clear();
      validBytes = at;
    }
  }
  return ERROR_SUCCESS;
}

std::string folderOf(const std::string &path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? "." : path.substr(0, slash + 1);
}

// A rename, creation or removal survives a crash only once its folder is
// flushed.
DWORD syncFolder(const std::string &path) {
  const int fd = ::open(folderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0)
    return win32ErrorFromErrno(errno);
  const bool synced = ::fsync(fd) == 0;
  const int error = errno;
  ::close(fd);
  return synced ? ERROR_SUCCESS : win32ErrorFromErrno(error);
}

// ---- Applying records to a hive open in hivex --------------------------------

// A failing hivex call: out of memory is that, anything else a hive we
// cannot make sense of.
struct HiveFailure {
  DWORD code;
};
[[noreturn]] void failHivex() {
  throw HiveFailure{errno == ENOMEM ? ERROR_OUTOFMEMORY : ERROR_BADDB};
}

// hivex's own name lookup folds ASCII only; Windows folds more, so children
// are compared here.
hive_node_h findChild(hive_h *h, hive_node_h node, std::u16string_view name) {
  Malloced<hive_node_h> children{hivex_node_children(h, node)};
  if (!children)
    failHivex();
  for (const hive_node_h *child = children.get(); *child; ++child) {
    Malloced<char> childName{hivex_node_name(h, *child)};
    if (!childName)
      failHivex();
    if (equalsIgnoreCase(utf8ToUtf16(childName.get()), name))
      return *child;
  }
  return 0;
}

// The key at path, created with its missing parents when create is set; 0
// when it is missing and create is not.
hive_node_h walk(hive_h *h, std::u16string_view path, bool create) {
  hive_node_h node = hivex_root(h);
  if (!node)
    failHivex();
  for (const auto &part : splitPath(path)) {
    hive_node_h child = findChild(h, node, part);
    if (!child && create && !(child = hivex_node_add_child(h, node, utf16ToUtf8(part).c_str())))
      failHivex();
    if (!child)
      return 0;
    node = child;
  }
  return node;
}

bool isValueOperation(const HiveOperation &op) {
  return op.kind == HiveOpKind::SetValue || op.kind == HiveOpKind::DeleteValue;
}

// Setting and deleting values rewrite the key's value list, once for all of
// a checkpoint's edits to the key, so a value keeps its place and the case
// of its name, as Windows keeps them.
void rewriteValues(hive_h *h, hive_node_h node, const std::vector<const HiveOperation *> &edits) {
  std::vector<HiveValue> values;
  if (!readHiveValues(h, node, values))
    failHivex();
  std::vector<bool> gone(values.size(), false);
  std::unordered_map<std::u16string, std::size_t> byName; // the first of a name counts
  for (std::size_t i = 0; i < values.size(); ++i)
    byName.emplace(upcase(utf8ToUtf16(values[i].name)), i);
  for (const HiveOperation *op : edits) {
    const std::u16string folded = upcase(op->valueName);
    auto found = byName.find(folded);
    if (op->kind == HiveOpKind::DeleteValue) {
      if (found != byName.end()) {
        gone[found->second] = true;
        byName.erase(found);
      }
      continue;
    }
    const std::string data(op->data.begin(), op->data.end());
    if (found != byName.end()) {
      values[found->second].type = op->type;
      values[found->second].data = data;
      continue;
    }
    byName.emplace(folded, values.size());
    values.push_back(HiveValue{utf16ToUtf8(op->valueName), op->type, data});
    gone.push_back(false);
  }
  std::vector<hive_set_value> list;
  list.reserve(values.size());
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (gone[i])
      continue;
    HiveValue &value = values[i];
    list.push_back(hive_set_value{value.name.data(), {}, value.data.size(), value.data.data()});
    std::memcpy(&list.back().t, &value.type, sizeof value.type);
  }
  if (hivex_node_set_values(h, node, list.size(), list.data(), 0) != 0)
    failHivex();
}

// Whether a later deletion of the tree at one of the path's levels makes an
// operation on the path moot.
bool coveredBy(const std::unordered_set<std::u16string> &deleted, const std::u16string &folded) {
  if (deleted.empty())
    return false;
  for (std::size_t end = folded.find(u'\\');; end = folded.find(u'\\', end + 1)) {
    if (deleted.count(folded.substr(0, end)) != 0)
      return true;
    if (end == std::u16string::npos)
      return false;
  }
}

// Applies the records' net effect. hivex never reuses the space it frees,
// so every cell written makes the hive file grow for good: operations that
// a later deletion of their tree undoes are left out, the key operations
// are applied in order, and then each key's value list is rewritten once
// with all its edits. (A value edit only needs its key to exist at the end:
// a key operation that would undo it is a deletion, which left it out.)
void applyAll(hive_h *h, const std::vector<HiveOperation> &ops) {
  std::vector<std::u16string> folded(ops.size());
  std::vector<bool> moot(ops.size(), false);
  std::unordered_set<std::u16string> deletedLater;
  for (std::size_t i = ops.size(); i-- > 0;) {
    folded[i] = upcase(ops[i].keyPath);
    moot[i] = coveredBy(deletedLater, folded[i]);
    if (ops[i].kind == HiveOpKind::DeleteKeyTree)
      deletedLater.insert(folded[i]);
  }
  std::unordered_map<std::u16string, std::size_t> keyOf;
  std::vector<std::vector<const HiveOperation *>> edits;
  for (std::size_t i = 0; i < ops.size(); ++i) {
    const HiveOperation &op = ops[i];
    if (moot[i])
      continue;
    if (isValueOperation(op)) {
      const auto [at, added] = keyOf.emplace(folded[i], edits.size());
      if (added)
        edits.emplace_back();
      edits[at->second].push_back(&op);
    } else if (op.kind == HiveOpKind::CreateKey) {
      walk(h, op.keyPath, true);
    } else if (const hive_node_h node = walk(h, op.keyPath, false)) {
      if (hivex_node_delete_child(h, node) != 0)
        failHivex();
    }
  }
  for (const auto &keyEdits : edits) {
    const bool sets = std::any_of(keyEdits.begin(), keyEdits.end(), [](const HiveOperation *op) {
      return op->kind == HiveOpKind::SetValue;
    });
    if (const hive_node_h node = walk(h, keyEdits.front()->keyPath, sets))
      rewriteValues(h, node, keyEdits);
  }
}

} // namespace

// ---- Records -----------------------------------------------------------------

std::string encodeHiveOperation(const HiveOperation &op) {
  std::string out;
  out.push_back(static_cast<char>(op.kind));
  putUnits(out, op.keyPath);
  if (op.kind == HiveOpKind::SetValue || op.kind == HiveOpKind::DeleteValue)
    putUnits(out, op.valueName);
  if (op.kind == HiveOpKind::SetValue) {
    putU32(out, op.type);
    putU32(out, static_cast<std::uint32_t>(op.data.size()));
    out.append(op.data.begin(), op.data.end());
  }
  return out;
}

bool decodeHiveOperation(std::string_view payload, HiveOperation &op) {
  if (payload.empty())
    return false;
  op = HiveOperation{};
  op.kind = static_cast<HiveOpKind>(payload[0]);
  Reader in{payload, 1};
  if (!in.units(op.keyPath))
    return false;
  switch (op.kind) {
  case HiveOpKind::CreateKey:
  case HiveOpKind::DeleteKeyTree:
    break;
  case HiveOpKind::DeleteValue:
    if (!in.units(op.valueName))
      return false;
    break;
  case HiveOpKind::SetValue: {
    std::uint32_t size = 0;
    if (!in.units(op.valueName) || !in.u32(op.type) || !in.u32(size) ||
        payload.size() - in.at != size)
      return false;
    op.data.assign(payload.begin() + static_cast<std::ptrdiff_t>(in.at), payload.end());
    in.at = payload.size();
    break;
  }
  default:
    return false;
  }
  return in.at == payload.size() && validOperation(op);
}

std::string hiveJournalPath(const std::string &hivePath) { return hivePath + ".zeljournal"; }

std::string writerLockPath(const std::string &installationRoot) {
  return installationRoot + "/.zelsys-registry.lock";
}

DWORD readHiveJournal(const std::string &hivePath, std::vector<HiveOperation> &ops) {
  ops.clear();
  const int fd = ::open(hiveJournalPath(hivePath).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0)
    return errno == ENOENT ? ERROR_SUCCESS : win32ErrorFromErrno(errno);
  std::string bytes;
  DWORD result = readAll(fd, bytes);
  ::close(fd);
  std::size_t validBytes = 0;
  if (result == ERROR_SUCCESS)
    result = parseJournal(bytes, ops, validBytes);
  return result;
}

// ---- The writer lock ---------------------------------------------------------

DWORD HiveWriterLock::acquire(const std::string &installationRoot, unsigned waitMs) {
  release();
  const int fd =
      ::open(writerLockPath(installationRoot).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0)
    return win32ErrorFromErrno(errno);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
  // Polling rather than a blocking flock keeps the wait bounded without
  // signals; a writer holds the lock for one call or one checkpoint.
  while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int error = errno;
    if (error == EINTR)
      continue;
    if (error != EWOULDBLOCK || std::chrono::steady_clock::now() >= deadline) {
      ::close(fd);
      return error == EWOULDBLOCK ? kErrorLockTimeout : win32ErrorFromErrno(error);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  m_fd = fd;
  return ERROR_SUCCESS;
}

void HiveWriterLock::release() {
  if (m_fd >= 0)
    ::close(m_fd); // closing the only descriptor drops the flock
  m_fd = -1;
}

// ---- The journal -------------------------------------------------------------

DWORD HiveJournal::open(const std::string &hivePath, const HiveWriterLock &lock) {
  close();
  if (!lock.held())
    return ERROR_INVALID_PARAMETER;
  m_hivePath = hivePath;
  m_lock = &lock;
  const DWORD result = openFile(false);
  if (result != ERROR_SUCCESS)
    close();
  return result;
}

// Opens the journal if it exists (or creates it), reads its completed
// records and cuts off what follows them.
DWORD HiveJournal::openFile(bool create) {
  const std::string path = hiveJournalPath(m_hivePath);
  m_fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC | (create ? O_CREAT : 0), 0644);
  if (m_fd < 0)
    return !create && errno == ENOENT ? ERROR_SUCCESS : win32ErrorFromErrno(errno);
  std::string bytes;
  std::size_t validBytes = 0;
  DWORD result = readAll(m_fd, bytes);
  if (result == ERROR_SUCCESS)
    result = parseJournal(bytes, m_ops, validBytes);
  if (result != ERROR_SUCCESS)
    return result;
  if (validBytes < kTag.size()) {
    // New, or its creation was cut short: start it afresh, and make its
    // name as durable as the records that will follow.
    if (::ftruncate(m_fd, 0) != 0 || ::pwrite(m_fd, kTag.data(), kTag.size(), 0) != 8 ||
        ::fdatasync(m_fd) != 0)
      return win32ErrorFromErrno(errno);
    if ((result = syncFolder(path)) != ERROR_SUCCESS)
      return result;
    validBytes = kTag.size();
  } else if (validBytes < bytes.size()) {
    if (::ftruncate(m_fd, static_cast<off_t>(validBytes)) != 0 || ::fdatasync(m_fd) != 0)
      return win32ErrorFromErrno(errno);
  }
  m_size = validBytes;
  return ERROR_SUCCESS;
}

void HiveJournal::close() {
  if (m_fd >= 0)
    ::close(m_fd);
  m_fd = -1;
  m_size = 0;
  m_ops.clear();
  m_lock = nullptr;
}

DWORD HiveJournal::append(const HiveOperation &op) {
  return append(std::vector<HiveOperation>{op});
}

DWORD HiveJournal::append(const std::vector<HiveOperation> &call) {
  if (!m_lock || !m_lock->held())
    return ERROR_INVALID_PARAMETER;
  std::string records;
  for (std::size_t i = 0; i < call.size(); ++i) {
    if (!validOperation(call[i]))
      return ERROR_INVALID_PARAMETER;
    const std::string payload = encodeHiveOperation(call[i]);
    if (payload.size() > kMaxPayload)
      return ERROR_INVALID_PARAMETER;
    std::string header;
    putU32(header,
           static_cast<std::uint32_t>(payload.size()) | (i + 1 < call.size() ? kMoreInCall : 0));
    putU32(header, crc32(payload, crc32(header)));
    records += header + payload;
  }
  if (records.empty())
    return ERROR_SUCCESS;
  if (m_fd < 0) {
    const DWORD result = openFile(true);
    if (result != ERROR_SUCCESS) {
      if (m_fd >= 0)
        ::close(m_fd);
      m_fd = -1;
      return result;
    }
  }
  errno = 0;
  if (::lseek(m_fd, static_cast<off_t>(m_size), SEEK_SET) < 0 ||
      !writeAll(m_fd, records.data(), records.size())) {
    const DWORD code = errno ? win32ErrorFromErrno(errno) : ERROR_CANTWRITE;
    // Whatever part of the call reached the file is a torn tail; cut it
    // now so the next append does not follow damage.
    if (::ftruncate(m_fd, static_cast<off_t>(m_size)) == 0)
      ::fdatasync(m_fd);
    return code;
  }
  m_size += records.size();
  m_ops.insert(m_ops.end(), call.begin(), call.end());
  return ERROR_SUCCESS;
}

bool HiveJournal::isCurrent() const {
  struct stat onDisk {};
  if (::stat(hiveJournalPath(m_hivePath).c_str(), &onDisk) != 0)
    return m_fd < 0 && errno == ENOENT;
  struct stat open {};
  return m_fd >= 0 && ::fstat(m_fd, &open) == 0 && open.st_ino == onDisk.st_ino &&
         open.st_dev == onDisk.st_dev && static_cast<std::uint64_t>(onDisk.st_size) == m_size;
}

DWORD HiveJournal::checkpoint() {
  if (!m_lock || !m_lock->held())
    return ERROR_INVALID_PARAMETER;
  if (m_ops.empty())
    return ERROR_SUCCESS;
  UniqueHive hive{hivex_open(m_hivePath.c_str(), HIVEX_OPEN_WRITE)};
  if (!hive)
    return errno == ENOENT   ? ERROR_FILE_NOT_FOUND
           : errno == EACCES ? ERROR_ACCESS_DENIED
                             : ERROR_BADDB;
  try {
    applyAll(hive.get(), m_ops);
  } catch (const HiveFailure &failure) {
    return failure.code;
  }
  const std::string fresh = m_hivePath + ".zelnew";
  errno = 0;
  if (hivex_commit(hive.get(), fresh.c_str(), 0) != 0) {
    const DWORD code = errno ? win32ErrorFromErrno(errno) : ERROR_CANTWRITE;
    ::unlink(fresh.c_str());
    return code;
  }
  hive.reset();
  errno = 0;
  struct stat old {};
  const int fd = ::open(fresh.c_str(), O_RDWR | O_CLOEXEC);
  std::string image;
  // The new hive keeps the old one's permissions.
  bool flushed = fd >= 0 && ::stat(m_hivePath.c_str(), &old) == 0 &&
                 ::fchmod(fd, old.st_mode & 07777) == 0 && readAll(fd, image) == ERROR_SUCCESS;
  if (flushed && moveBigDataIntoRecords(image))
    flushed = ::ftruncate(fd, 0) == 0 && ::lseek(fd, 0, SEEK_SET) == 0 &&
              writeAll(fd, image.data(), image.size());
  flushed = flushed && ::fsync(fd) == 0 && ::rename(fresh.c_str(), m_hivePath.c_str()) == 0;
  const int error = errno;
  if (fd >= 0)
    ::close(fd);
  if (!flushed) {
    ::unlink(fresh.c_str());
    return error ? win32ErrorFromErrno(error) : ERROR_CANTWRITE;
  }
  // Until the rename is on disk the journal is the only durable copy of
  // the calls, so it goes only after the folder is flushed.
  DWORD result = syncFolder(m_hivePath);
  if (result != ERROR_SUCCESS)
    return result;
  const std::string journal = hiveJournalPath(m_hivePath);
  if (::unlink(journal.c_str()) != 0 && errno != ENOENT)
    return win32ErrorFromErrno(errno);
  ::close(m_fd);
  m_fd = -1;
  m_size = 0;
  m_ops.clear();
  return syncFolder(journal);
}

} // namespace zelsys::posix
