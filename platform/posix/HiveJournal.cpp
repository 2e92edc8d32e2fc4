//===- HiveJournal.cpp - Completed registry calls on a hive file, made durable -===//
//
// The journal's records, the writer lock and the checkpoint; the
// guarantees are stated in HiveJournal.h. Linux only.
//
// Every function that touches a file reports in Win32's error space; a hive
// that fails its check is ERROR_BADDB wherever it shows up, because a hive
// we cannot read whole is one we must not write either.
//
//===----------------------------------------------------------------------===//
#include "HiveJournal.h"
#include "Errors.h"
#include "HiveFold.h"
#include "HostIo.h"
#include "RegfReader.h"
#include "RegistryStore.h"
#include "Utf.h"

#include <openssl/evp.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <iterator>
#include <memory>
#include <new>
#include <optional>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <unordered_map>
#include <unordered_set>

namespace zelsys::posix {

namespace {

constexpr std::string_view kTag{"ZELJRN2\n", 8};
// The tag and the digest of the hive the journal belongs to.
constexpr std::size_t kHeaderSize = 8 + 32;
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
  if (op.kind == HiveOpKind::Folded)
    return op.keyPath.empty() && op.data.size() == HiveDigest().size();
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
  case HiveOpKind::Folded:
    break;
  }
  return false;
}

// A journal as read: whether it is ours and bound to a hive, the calls it
// completed, and where the first torn or damaged record (or the end) starts.
struct JournalImage {
  enum State { New, Foreign, Bound } state = New;
  HiveDigest bound{};
  std::optional<HiveDigest> folded; // the hive a checkpoint wrote from it
  std::vector<HiveOperation> ops;
  std::size_t validBytes = 0;
};

// What a journal is to the hive as it is now.
enum class Fit { Belongs, Folded, Stale };

Fit fitOf(const JournalImage &journal, const HiveDigest &hive) {
  if (journal.state == JournalImage::New ||
      (journal.state == JournalImage::Bound && journal.bound == hive))
    return Fit::Belongs;
  return journal.folded == hive ? Fit::Folded : Fit::Stale;
}

JournalImage parseJournal(std::string_view bytes) {
  JournalImage journal;
  if (bytes.size() < kHeaderSize) {
    // A journal whose creation was cut short holds a prefix of the header.
    const std::size_t tag = std::min(bytes.size(), kTag.size());
    journal.state =
        bytes.substr(0, tag) == kTag.substr(0, tag) ? JournalImage::New : JournalImage::Foreign;
    return journal;
  }
  if (bytes.substr(0, kTag.size()) != kTag) {
    journal.state = JournalImage::Foreign;
    return journal;
  }
  journal.state = JournalImage::Bound;
  std::copy_n(bytes.begin() + kTag.size(), journal.bound.size(), journal.bound.begin());
  std::size_t at = kHeaderSize;
  journal.validBytes = at;
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
    at += kRecordHeader + length;
    if (op.kind == HiveOpKind::Folded) {
      journal.folded.emplace();
      std::copy(op.data.begin(), op.data.end(), journal.folded->begin());
    } else {
      call.push_back(std::move(op));
    }
    if ((header & kMoreInCall) == 0) {
      std::move(call.begin(), call.end(), std::back_inserter(journal.ops));
      call.clear();
      journal.validBytes = at;
    }
  }
  return journal;
}

std::string encodeRecords(const std::vector<HiveOperation> &call) {
  std::string records;
  for (std::size_t i = 0; i < call.size(); ++i) {
    const std::string payload = encodeHiveOperation(call[i]);
    if (!validOperation(call[i]) || payload.size() > kMaxPayload)
      return {};
    std::string header;
    putU32(header,
           static_cast<std::uint32_t>(payload.size()) | (i + 1 < call.size() ? kMoreInCall : 0));
    putU32(header, crc32(payload, crc32(header)));
    records += header + payload;
  }
  return records;
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
  }
  if (op.kind == HiveOpKind::SetValue || op.kind == HiveOpKind::Folded)
    out.append(op.data.begin(), op.data.end());
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
  case HiveOpKind::Folded:
    if (payload.size() - in.at != HiveDigest().size())
      return false;
    op.data.assign(payload.begin() + static_cast<std::ptrdiff_t>(in.at), payload.end());
    in.at = payload.size();
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

HiveDigest digestOf(std::string_view bytes) {
  HiveDigest digest{};
  unsigned size = 0;
  if (EVP_Digest(bytes.data(), bytes.size(), digest.data(), &size, EVP_sha256(), nullptr) != 1)
    throw std::bad_alloc(); // libcrypto fails a digest only for want of memory
  return digest;
}

void prepareDigests() {
  // The first digest sets the library up, clean-up handler included.
  (void)digestOf({});
}

DWORD digestOfFile(const std::string &path, HiveDigest &digest) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0)
    return win32ErrorFromErrno(errno);
  std::string bytes;
  const DWORD result = readAll(fd, bytes);
  ::close(fd);
  if (result == ERROR_SUCCESS)
    digest = digestOf(bytes);
  return result;
}

DWORD readHiveJournal(const std::string &hivePath, const HiveDigest &hive,
                      std::vector<HiveOperation> &ops) {
  ops.clear();
  const int fd = ::open(hiveJournalPath(hivePath).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0)
    return errno == ENOENT ? ERROR_SUCCESS : win32ErrorFromErrno(errno);
  std::string bytes;
  const DWORD result = readAll(fd, bytes);
  ::close(fd);
  if (result != ERROR_SUCCESS)
    return result;
  JournalImage journal = parseJournal(bytes);
  if (fitOf(journal, hive) == Fit::Belongs)
    ops = std::move(journal.ops);
  return ERROR_SUCCESS;
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

DWORD HiveJournal::open(const std::string &hivePath, const HiveWriterLock &lock,
                        const HiveDigest &hive) {
  close();
  if (!lock.held())
    return ERROR_INVALID_PARAMETER;
  m_hivePath = hivePath;
  m_lock = &lock;
  m_hive = hive;
  const DWORD result = openFile(false);
  if (result != ERROR_SUCCESS)
    close();
  return result;
}

// Opens the journal if it exists (or creates it), reads its completed
// records and cuts off what follows them. A journal of another state of the
// hive is removed or set aside first.
DWORD HiveJournal::openFile(bool create) {
  const std::string path = hiveJournalPath(m_hivePath);
  m_fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW | (create ? O_CREAT : 0), 0644);
  if (m_fd < 0)
    return !create && errno == ENOENT ? ERROR_SUCCESS : win32ErrorFromErrno(errno);
  std::string bytes;
  DWORD result = readAll(m_fd, bytes);
  if (result != ERROR_SUCCESS)
    return result;
  JournalImage journal = parseJournal(bytes);
  const Fit fit = fitOf(journal, m_hive);
  if (fit != Fit::Belongs) {
    ::close(m_fd);
    m_fd = -1;
    if (fit == Fit::Stale)
      result = setAside(path);
    else if (::unlink(path.c_str()) != 0)
      result = win32ErrorFromErrno(errno);
    if (result == ERROR_SUCCESS)
      result = syncFolder(path);
    return result != ERROR_SUCCESS || !create ? result : openFile(true);
  }
  m_ops = std::move(journal.ops);
  if (journal.state == JournalImage::New) {
    // New, or its creation was cut short: start it afresh, bound to the
    // hive as it is, and make its name as durable as the records that
    // will follow.
    std::string header(kTag);
    header.append(m_hive.begin(), m_hive.end());
    if (::ftruncate(m_fd, 0) != 0 || !writeAll(m_fd, header.data(), header.size()) ||
        ::fdatasync(m_fd) != 0)
      return win32ErrorFromErrno(errno);
    if ((result = syncFolder(path)) != ERROR_SUCCESS)
      return result;
    journal.validBytes = kHeaderSize;
  } else if (journal.validBytes < bytes.size()) {
    if (::ftruncate(m_fd, static_cast<off_t>(journal.validBytes)) != 0 || ::fdatasync(m_fd) != 0)
      return win32ErrorFromErrno(errno);
  }
  m_size = journal.validBytes;
  return ERROR_SUCCESS;
}

// Keeps a journal that no longer belongs to its hive beside it, under the
// first free name, and says so: the calls it holds were completed once and
// an administrator may want to know what they were.
DWORD HiveJournal::setAside(const std::string &path) {
  std::string kept = path + ".stale";
  for (int n = 2; ::access(kept.c_str(), F_OK) == 0; ++n)
    kept = path + ".stale." + std::to_string(n);
  if (::rename(path.c_str(), kept.c_str()) != 0)
    return win32ErrorFromErrno(errno);
  std::fprintf(stderr,
               "zelsys: %s was written against an earlier state of its hive and is not "
               "replayed; it is kept as %s\n",
               path.c_str(), kept.c_str());
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
  if (call.empty())
    return ERROR_SUCCESS;
  const std::string records = encodeRecords(call);
  if (records.empty())
    return ERROR_INVALID_PARAMETER;
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
  for (const HiveOperation &op : call)
    if (op.kind != HiveOpKind::Folded)
      m_ops.push_back(op);
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

// Records, durably, which hive the journal went into, so that once that
// hive is in place the journal is known to be folded rather than stale.
DWORD HiveJournal::writeFolded(const HiveDigest &folded) {
  HiveOperation op{HiveOpKind::Folded, {}, {}, REG_NONE, {folded.begin(), folded.end()}};
  const DWORD result = append(op);
  if (result == ERROR_SUCCESS && ::fdatasync(m_fd) != 0)
    return win32ErrorFromErrno(errno);
  return result;
}

namespace {

// The hive's new image, or the reason there is none.
DWORD foldedImage(const std::string &hivePath, const std::vector<HiveOperation> &ops,
                  const HiveDigest &expected, std::string &image, mode_t &mode) {
  const int fd = ::open(hivePath.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0)
    return win32ErrorFromErrno(errno);
  struct stat status {};
  std::string old;
  DWORD result = ::fstat(fd, &status) == 0 ? readAll(fd, old) : win32ErrorFromErrno(errno);
  ::close(fd);
  mode = status.st_mode & 07777;
  if (result != ERROR_SUCCESS)
    return result;
  HiveFile hive;
  std::string problem;
  // A hive changed behind the writer lock, or damaged, is not written.
  if (digestOf(old) != expected || !readRegf(old, hive, problem))
    return ERROR_BADDB;
  old = std::string();
  foldIntoHive(hive, ops, fileTimeNow());
  try {
    image = encodeRegf(hive, u"");
  } catch (const RegistryFailure &failure) {
    return failure.code;
  }
  return ERROR_SUCCESS;
}

} // namespace

DWORD HiveJournal::checkpoint() {
  if (!m_lock || !m_lock->held())
    return ERROR_INVALID_PARAMETER;
  if (m_ops.empty())
    return ERROR_SUCCESS;
  std::string image;
  mode_t mode = 0644;
  DWORD result = foldedImage(m_hivePath, m_ops, m_hive, image, mode);
  if (result != ERROR_SUCCESS)
    return result;
  // The new file keeps the old one's permissions; a leftover of a killed
  // checkpoint is replaced.
  const std::string fresh = m_hivePath + ".zelnew";
  ::unlink(fresh.c_str());
  errno = 0;
  const int fd = ::open(fresh.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
  bool written = fd >= 0 && ::fchmod(fd, mode) == 0 && writeAll(fd, image.data(), image.size()) &&
                 ::fsync(fd) == 0;
  int error = errno;
  if (fd >= 0)
    ::close(fd);
  const HiveDigest folded = digestOf(image);
  if (written && (result = writeFolded(folded)) != ERROR_SUCCESS) {
    ::unlink(fresh.c_str());
    return result;
  }
  written = written && ::rename(fresh.c_str(), m_hivePath.c_str()) == 0;
  if (!written) {
    error = error ? error : errno;
    ::unlink(fresh.c_str());
    return error ? win32ErrorFromErrno(error) : ERROR_CANTWRITE;
  }
  m_hive = folded;
  // Until the rename is on disk the journal is the only durable copy of
  // the calls, so it goes only after the folder is flushed.
  if ((result = syncFolder(m_hivePath)) != ERROR_SUCCESS)
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
