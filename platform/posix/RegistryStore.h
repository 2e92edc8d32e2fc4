//===- RegistryStore.h - The emulated machine's registry database ----------===//
//
// The substitute keeps the registry in an SQLite database, <machine>/registry.db,
// shared by every process that works on the machine. This header offers its
// operations on key ids, one transaction at a time; Registry.cpp builds the
// Windows calls (handles, views, access rights) on top. Only code that works
// on every Unix.
//
// What the store guarantees and how:
// - Every call is one transaction; writes take the write lock at once
//   (BEGIN IMMEDIATE), so a process killed between calls leaves every
//   completed call on disk and none half done. WAL journal with
//   synchronous=NORMAL: a commit survives the death of the process, only a
//   host crash may lose the last commits, which is how Windows treats its
//   registry too (it writes hives to disk lazily).
// - Several processes share the file: a busy timeout and a retry loop make a
//   call wait for the lock rather than fail with "database is locked".
// - Key and value names keep their case and compare case-insensitively
//   through a folded copy under a unique index. Names are stored as UTF-16
//   code units (BLOBs), so any name, even one with a lone surrogate, comes
//   back exactly; value data is stored byte for byte with its type.
// - Enumeration order is creation order: ids only grow, and replacing a
//   value keeps its place.
// - Volatile keys live until the machine restarts. The machine restarts when
//   the host's boot id differs from the one recorded in the database, and
//   when restartMachine() is called.
//
// Layout: the hive roots are \REGISTRY\MACHINE and \REGISTRY\USER. The
// predefined handles map onto them as on 64-bit Windows 7 with one
// interactive user (see predefinedRootPath).
//
//===----------------------------------------------------------------------===//
#pragma once

#include "zelsys/winconst.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3;

namespace zelsys::posix {

using KeyId = std::int64_t;

// Thrown inside a transaction body: rolls the transaction back and becomes
// the call's result.
struct RegistryFailure {
  DWORD code;
};

struct ValueRecord {
  std::u16string name;
  DWORD type = REG_NONE;
  std::vector<BYTE> data;
};

// A key with its values and sub-keys, in enumeration order.
struct KeyTree {
  std::u16string name;
  std::u16string keyClass;
  std::vector<ValueRecord> values;
  std::vector<KeyTree> children;
};

struct KeyRecord {
  std::u16string name;
  std::u16string keyClass;
  bool isVolatile = false;
  std::uint64_t written = 0; // FILETIME: 100 ns since 1601
};

// RegQueryInfoKeyW's figures; lengths in characters, data in bytes.
struct KeyFigures {
  DWORD subKeys = 0, maxSubKeyLen = 0, maxClassLen = 0;
  DWORD values = 0, maxValueNameLen = 0, maxValueLen = 0;
};

// The store's operations inside one transaction. Failures throw
// RegistryFailure or an internal SQLite error that the transaction runner
// maps.
class RegistryTransaction {
public:
  explicit RegistryTransaction(sqlite3 *db, const std::string &machine)
      : m_db(db), m_machine(machine) {}

  const std::string &machine() const { return m_machine; }

  // The key at a path from \REGISTRY ("MACHINE\\SOFTWARE"); no views.
  std::optional<KeyId> keyAtPath(std::u16string_view path);
  std::optional<KeyId> child(KeyId parent, std::u16string_view name);
  std::optional<KeyRecord> key(KeyId id);
  std::optional<KeyId> parentOf(KeyId id);
  KeyId createChild(KeyId parent, std::u16string_view name, std::u16string_view keyClass,
                    bool isVolatile);
  bool hasChildren(KeyId id);
  // Deletes the key with its whole subtree.
  void deleteKey(KeyId id);
  // Deletes the key's values and sub-keys, keeping the key.
  void clearKey(KeyId id);
  // Hive roots, the keys behind predefined handles and Wow6432Node may not
  // be deleted: true when id is one of them (unless !itself) or above one.
  bool isProtected(KeyId id, bool itself = true);

  std::optional<KeyRecord> childAt(KeyId parent, DWORD index);
  std::optional<ValueRecord> valueAt(KeyId key, DWORD index);
  std::optional<ValueRecord> value(KeyId key, std::u16string_view name);
  void setValue(KeyId key, std::u16string_view name, DWORD type, const BYTE *data, DWORD size);
  bool deleteValue(KeyId key, std::u16string_view name);
  KeyFigures figures(KeyId id);

  // The subtree below a key (volatile sub-keys left out when asked).
  KeyTree load(KeyId id, bool withVolatile);
  // Adds tree's values and sub-keys to the key, replacing values of the same
  // name; created keys are volatile when the key is.
  void merge(KeyId id, const KeyTree &tree);

  // Deletes every volatile key: the machine has restarted.
  void dropVolatileKeys();

private:
  sqlite3 *m_db;
  const std::string &m_machine;
  void touch(KeyId id);
};

// Runs body as one transaction on the current machine's registry and returns
// its result; a non-zero result or a failure rolls everything back.
// Contention is waited out, never reported. Exceptions never leave.
DWORD runRegistryTransaction(bool write, const std::function<DWORD(RegistryTransaction &)> &body);

// The Win32 error code that stands for an SQLite result code.
DWORD win32ErrorFromSqlite(int rc);

// The path from \REGISTRY behind a predefined handle (its low 32 bits), or
// nothing for a value that names none.
std::optional<std::u16string_view> predefinedRootPath(std::uint32_t handleValue);

// Restarts the emulated machine as far as the registry is concerned: every
// volatile key is deleted. Returns a Win32 error code.
DWORD restartMachine();

} // namespace zelsys::posix
