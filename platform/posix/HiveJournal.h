//===- HiveJournal.h - Completed registry calls on a hive file, made durable -===//
//
// The registry of a real Windows installation lives in hive files that may
// hold tens of megabytes, so a call cannot rewrite its hive. Instead each
// completed call is appended to a journal beside the hive and the journal is
// folded into the hive later, whole, by a checkpoint. This header offers the
// journal's operations, the installation's writer lock and the checkpoint;
// the hive store builds the registry calls on top. Linux only (flock,
// fdatasync, and libcrypto for the digest).
//
// What the journal guarantees and how:
// - The journal is <hive>.zeljournal: an 8-byte tag and the SHA-256 digest
//   of the hive file it was started against, then one record per completed
//   call: its payload's length (4 bytes), a CRC-32 over the length and the
//   payload (4 bytes), the payload. All numbers little-endian, names as
//   UTF-16LE units.
// - A journal belongs to the hive it was started against, as Windows' own
//   logs do: if the hive has changed since (Windows started and wrote it,
//   another tool edited it), replaying the journal would put old values
//   back over newer ones. Such a journal is not replayed: readers ignore
//   it, and the writer sets it aside as <hive>.zeljournal.stale (or .stale.N)
//   and says so on standard error. A journal already folded in (the
//   checkpoint records the digest of the hive it wrote before it puts that
//   hive in place) is simply removed.
// - append() writes a call's records at the end in one write before it
//   reports success, so a call that returned survives the death of the
//   process. The records reach the disk with the host's own write-back (or
//   the next checkpoint, which flushes): a crash of the host may lose the
//   last calls, never damage the hive, as with the emulated machine's
//   database and with Windows' own lazily written hives. Flushing per call
//   would cost a disk round trip each (milliseconds).
// - The records of one call carry a flag that says another of the same call
//   follows; a reader takes a call only once its last record is there, so a
//   call is replayed whole or not at all.
// - Reading stops at the first record that is short, too long or fails its
//   checksum: that is the tail of a call that never returned. Readers ignore
//   it; the writer cuts it off when it opens the journal, so the next record
//   follows the last completed one.
// - One writer at a time per installation: the writer lock is flock(2) on
//   <installation root>/.zelsys-registry.lock, held for as long as the
//   writer lives; the kernel drops it when the process dies, however it
//   dies. acquire() waits up to its timeout and then fails with
//   kErrorLockTimeout. Readers never take the lock: they read the hive and
//   the journal's completed records, which only ever grow until a
//   checkpoint swaps both.
// - The checkpoint (lock held) reads the whole hive and checks it
//   (RegfReader.h), applies the records in order, writes the result whole
//   and compact with the hive writer (RegfWriter.h) to <hive>.zelnew,
//   flushes it, records its digest in the journal, renames it over the
//   hive, flushes the folder and only then removes the journal. A crash at
//   any point leaves the old hive with the whole journal, or the new hive
//   with a journal that says it is folded. The hive file is never edited in
//   place, and as the writer lays every hive out afresh, a hive never grows
//   by more than what it holds. The new file keeps the old one's
//   permissions, security descriptors, key flags and base block.
// - A hive that fails the check gives ERROR_BADDB; neither the hive nor the
//   journal is touched, so nothing already completed is lost.
// - An operation that the checkpoint could never apply (an empty key name
//   component, a name with a NUL unit, a name beyond Windows' limits) is
//   refused by append() with ERROR_INVALID_PARAMETER, so the journal never
//   holds a record that would block every later checkpoint.
//
// Paths are the key's path below the hive root, components separated by
// '\'; the empty path is the root itself. Components and value names compare
// case-insensitively as Windows compares them (Utf.h); a key created by a
// record keeps the case the record gives it.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "zelsys/winconst.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zelsys::posix {

// Windows' ERROR_TIMEOUT: the writer lock stayed taken for the whole wait.
constexpr DWORD kErrorLockTimeout = 1460;
// How long a writer waits for another one by default.
constexpr unsigned kDefaultLockWaitMs = 30000;
// The most data one value may hold in a journal record, leaving room for
// the longest key path and value name.
constexpr std::size_t kMaxJournalValueData = std::size_t{255} << 20;

enum class HiveOpKind : std::uint8_t {
  CreateKey = 1,     // the key and any missing parents exist afterwards
  DeleteKeyTree = 2, // the key and its whole subtree are gone; never the root
  SetValue = 3,      // the value holds type and data (missing keys are created)
  DeleteValue = 4,   // the value is gone
  Folded = 5,        // not a change: data is the digest of the hive the journal went into
};

struct HiveOperation {
  HiveOpKind kind = HiveOpKind::CreateKey;
  std::u16string keyPath;
  std::u16string valueName; // SetValue and DeleteValue; empty is the default value
  DWORD type = REG_NONE;    // SetValue
  std::vector<BYTE> data;   // SetValue
};

// The record's payload and back; decodeHiveOperation is false for a payload
// that is not one well-formed operation.
std::string encodeHiveOperation(const HiveOperation &op);
bool decodeHiveOperation(std::string_view payload, HiveOperation &op);

// The file names beside a hive and in the installation's root.
std::string hiveJournalPath(const std::string &hivePath);
std::string writerLockPath(const std::string &installationRoot);

using HiveDigest = std::array<unsigned char, 32>;
HiveDigest digestOf(std::string_view bytes);
// Readies the digest's library now. Its clean-up runs at exit, after the
// handlers registered later: a handler that takes digests at exit must be
// registered after this.
void prepareDigests();
// The digest of a file's whole content.
DWORD digestOfFile(const std::string &path, HiveDigest &digest);

// The completed records of a hive's journal, for a reader (no lock, nothing
// written), if the journal belongs to the hive whose digest is given. A
// missing journal, or one that does not belong, has none.
DWORD readHiveJournal(const std::string &hivePath, const HiveDigest &hive,
                      std::vector<HiveOperation> &ops);

// The installation's writer lock; released by release(), the destructor or
// the death of the process.
class HiveWriterLock {
public:
  HiveWriterLock() = default;
  HiveWriterLock(const HiveWriterLock &) = delete;
  HiveWriterLock &operator=(const HiveWriterLock &) = delete;
  ~HiveWriterLock() { release(); }

  DWORD acquire(const std::string &installationRoot, unsigned waitMs = kDefaultLockWaitMs);
  void release();
  bool held() const { return m_fd >= 0; }

private:
  int m_fd = -1;
};

// A hive's journal, open for the writer.
class HiveJournal {
public:
  HiveJournal() = default;
  HiveJournal(const HiveJournal &) = delete;
  HiveJournal &operator=(const HiveJournal &) = delete;
  ~HiveJournal() { close(); }

  // Reads the completed records and cuts off a torn tail; the lock must be
  // held (ERROR_INVALID_PARAMETER otherwise) for as long as the journal is
  // used. hive is the digest of the hive file as it is now: a journal that
  // does not belong to it is removed when it is folded in already, else set
  // aside; a new journal is bound to it.
  DWORD open(const std::string &hivePath, const HiveWriterLock &lock, const HiveDigest &hive);
  void close();

  // Appends one completed call of one or more operations; ERROR_SUCCESS
  // only once the file holds all of them.
  DWORD append(const HiveOperation &op);
  DWORD append(const std::vector<HiveOperation> &call);

  // Whether the journal on disk is still the one this object holds, with
  // nothing appended by anyone else: false means open() it again.
  bool isCurrent() const;
  // Whether open() succeeded and close() has not been called since.
  bool isOpen() const { return m_lock != nullptr; }

  // Folds the records into the hive file and removes the journal (see the
  // guarantees above). Nothing to fold leaves the hive untouched.
  DWORD checkpoint();

  const std::vector<HiveOperation> &operations() const { return m_ops; }
  // The digest of the hive file the journal belongs to: after a checkpoint,
  // the file it wrote.
  const HiveDigest &hiveDigest() const { return m_hive; }

private:
  DWORD openFile(bool create);
  DWORD setAside(const std::string &path);
  DWORD writeFolded(const HiveDigest &folded);

  std::string m_hivePath;
  HiveDigest m_hive{};
  const HiveWriterLock *m_lock = nullptr;
  int m_fd = -1;
  std::uint64_t m_size = 0; // bytes of the tag and the completed records
  std::vector<HiveOperation> m_ops;
};

} // namespace zelsys::posix
