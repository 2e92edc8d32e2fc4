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
//   value keeps its place. Enumerating by index costs O(log n) a step: the
//   session remembers where the last steps over a key stood and moves from
//   there; every insertion or deletion of a key's values or sub-keys bumps
//   the key's shape counter (in the database, so other processes' changes
//   count too), which retires the remembered positions, exactly as an index
//   means something else once the key changed.
// - Volatile keys live until the machine restarts. The machine restarts when
//   the host's boot id differs from the one recorded in the database, and
//   when restartMachine() is called.
// - Windows' limits hold: key names of 255 characters, value names of 16,383,
//   a tree 512 levels deep below a hive root, 32 path components a call.
//   No operation's correctness depends on depth: subtrees are walked with
//   explicit stacks or SQLite's (queue-based) recursive queries, never by
//   recursion on the C++ stack or SQLite's foreign-key cascades, which stop
//   at 1,000 levels; foreign-key enforcement is therefore off and deletions
//   name every row they remove.
// - A new machine is filled with the Windows 7 SP1 64-bit layout. The layout
//   grows by revisions: a machine filled from an earlier one gets the values
//   it lacks, once, in the transaction that upgrades it, and keeps every
//   value it holds.
// - The database is the machine owner's: a new one is made readable and
//   writable by the owner only (SQLite gives its journals the same mode and
//   owner), and it is opened only by a path without links, registry.db
//   itself and its journals included (SQLite opens those without following
//   a link too), so a program of an administrator never writes through a
//   link planted in a folder another user controls. There is no access
//   control inside: whoever may read the file reads every key, and whoever
//   may write it changes any, HKLM included. A database made before keeps
//   its mode: tightening it behind its owner's back could lock out whom
//   they share the machine with.
// - Opening the database reads only, unless the machine is new, its schema
//   or layout older or its host rebooted: a process never waits for
//   another's write lock to read (WAL readers do not block on writers).
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

// Windows' documented limits, in characters and levels.
constexpr std::size_t kMaxKeyNameLength = 255;
constexpr std::size_t kMaxValueNameLength = 16383;
constexpr DWORD kMaxTreeDepth = 512;     // levels below a hive root
constexpr DWORD kMaxPathComponents = 32; // components one call may name
// Windows answers a key beyond the depth limit with ERROR_NO_SYSTEM_RESOURCES
// and a path naming too many levels with ERROR_FILENAME_EXCED_RANGE.

// One key of a subtree. A subtree is a flat list in pre-order (every key
// before its sub-keys, siblings in enumeration order), so no code needs
// recursion to build, walk or free it, however deep it is.
struct TreeKey {
  std::u16string name;
  std::u16string keyClass;
  std::vector<ValueRecord> values;
  std::size_t parent = 0; // index of the parent in the list; unused for the root
  DWORD depth = 0;        // levels below the subtree's root
  DWORD subKeys = 0;
};
using KeyTree = std::vector<TreeKey>;

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

// The store's operations inside one transaction, whatever keeps the keys:
// the emulated machine's database (RegistrySql.h) or a Windows
// installation's hive files (HiveStore.h). Failures throw RegistryFailure
// or an internal error that the store's transaction runner maps.
class RegistryTransaction {
public:
  virtual ~RegistryTransaction() = default;

  virtual const std::string &machine() const = 0;

  // The key at a path from \REGISTRY ("MACHINE\\SOFTWARE"); no views.
  virtual std::optional<KeyId> keyAtPath(std::u16string_view path) = 0;
  virtual std::optional<KeyId> child(KeyId parent, std::u16string_view name) = 0;
  virtual std::optional<KeyRecord> key(KeyId id) = 0;
  virtual std::optional<KeyId> parentOf(KeyId id) = 0;
  virtual KeyId createChild(KeyId parent, std::u16string_view name, std::u16string_view keyClass,
                            bool isVolatile) = 0;
  virtual bool hasChildren(KeyId id) = 0;
  // Levels below the hive root (a key directly under HKLM is 1).
  virtual DWORD depth(KeyId id) = 0;
  // Deletes the key with its whole subtree.
  virtual void deleteKey(KeyId id) = 0;
  // Deletes the key's values and sub-keys, keeping the key.
  virtual void clearKey(KeyId id) = 0;
  // Hive roots, the keys behind predefined handles and Wow6432Node may not
  // be deleted: true when id is one of them (unless !itself) or above one.
  bool isProtected(KeyId id, bool itself = true);

  virtual std::optional<KeyRecord> childAt(KeyId parent, DWORD index) = 0;
  virtual std::optional<ValueRecord> valueAt(KeyId key, DWORD index) = 0;
  virtual std::optional<ValueRecord> value(KeyId key, std::u16string_view name) = 0;
  virtual void setValue(KeyId key, std::u16string_view name, DWORD type, const BYTE *data,
                        DWORD size) = 0;
  virtual bool deleteValue(KeyId key, std::u16string_view name) = 0;
  virtual KeyFigures figures(KeyId id) = 0;

  // The subtree below a key (volatile sub-keys left out when asked).
  KeyTree load(KeyId id, bool withVolatile);
  // Adds tree's values and sub-keys to the key, replacing values of the same
  // name; created keys are volatile when the key is. Refused, with nothing
  // written, when the tree would reach below the depth limit.
  void merge(KeyId id, const KeyTree &tree);

  // Deletes every volatile key: the machine has restarted.
  virtual void dropVolatileKeys() = 0;

  // The path from \REGISTRY behind a predefined handle (its low 32 bits), or
  // nothing for a value that names none.
  virtual std::optional<std::u16string_view> predefinedPath(std::uint32_t handleValue) = 0;

protected:
  // The paths isProtected keeps, each with everything above it.
  virtual std::vector<std::u16string_view> protectedPaths() = 0;
  // One key of a subtree being loaded: its name, class and values, and its
  // sub-keys in enumeration order (without the volatile ones unless asked).
  virtual void readKey(KeyId id, bool withVolatile, TreeKey &key, std::vector<KeyId> &subKeys) = 0;
};

// The time now as a key's last-written time (FILETIME).
std::uint64_t fileTimeNow();

// The components of a registry path in order; doubled and trailing
// separators are passed over, as Windows does.
std::vector<std::u16string_view> pathComponents(std::u16string_view path);

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
