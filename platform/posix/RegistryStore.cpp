//===- RegistryStore.cpp - The emulated machine's registry database --------===//
//
// One SQLite session per process and machine folder, guarded by a mutex; the
// schema and its upgrade, the first-use layout, the restart rule and the
// transaction runner. Only code that works on every Unix.
//
//===----------------------------------------------------------------------===//
#include "RegistryStore.h"
#include "HiveStore.h"
#include "Machine.h"
#include "RegistrySql.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace zelsys::posix {

namespace {

constexpr DWORD ERROR_BUSY = 170;

// The schema this code writes: 1 added keys.shape and dropped foreign-key
// enforcement (databases of version 0 keep their inert REFERENCES clauses).
constexpr int kSchemaVersion = 1;

bool isBusy(int rc) {
  const int primary = rc & 0xff;
  return primary == SQLITE_BUSY || primary == SQLITE_LOCKED;
}

// The one interactive user of the machine; HKEY_CURRENT_USER is its hive.
#define ZEL_USER_HIVE u"USER\\S-1-5-21-3520415761-2417853016-1264082235-1000"

// Windows 7 SP1 64-bit: the keys every machine has and the facts the
// framework reads. A fresh database is filled from this table; one filled
// from an earlier revision of it gets, once, the values it lacks (see seed).
// Raise kSeedRevision with every entry added.
constexpr int kSeedRevision = 1;
struct SeedEntry {
  const char16_t *path;
  const char16_t *valueName; // null: the key alone
  DWORD type;
  const char16_t *text; // the data of REG_SZ and REG_EXPAND_SZ values
  DWORD number = 0;     // the data of REG_DWORD values
};
const SeedEntry kSeed[] = {
    {u"MACHINE\\SOFTWARE\\Classes", nullptr, REG_NONE, nullptr},
    {u"MACHINE\\SOFTWARE\\Wow6432Node", nullptr, REG_NONE, nullptr},
    {u"MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", u"CurrentVersion", REG_SZ,
     u"6.1"},
    {u"MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", u"CurrentBuildNumber", REG_SZ,
     u"7601"},
    {u"MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", u"CSDVersion", REG_SZ,
     u"Service Pack 1"},
    {u"MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", u"ProductName", REG_SZ,
     u"Windows 7 Professional"},
    {u"MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList", u"ProfilesDirectory",
     REG_EXPAND_SZ, u"%SystemDrive%\\Users"},
    {u"MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList", u"Default",
     REG_EXPAND_SZ, u"%SystemDrive%\\Users\\Default"},
    {u"MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList", u"Public",
     REG_EXPAND_SZ, u"%SystemDrive%\\Users\\Public"},
    {u"MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment",
     u"PROCESSOR_ARCHITECTURE", REG_SZ, u"AMD64"},
    // Service Pack 1 (0x100 a level) and a workstation: since revision 1.
    {u"MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Windows", u"CSDVersion", REG_DWORD, nullptr,
     0x100},
    {u"MACHINE\\SYSTEM\\CurrentControlSet\\Control\\ProductOptions", u"ProductType", REG_SZ,
     u"WinNT"},
    {u"MACHINE\\SYSTEM\\CurrentControlSet\\Hardware Profiles\\Current", nullptr, REG_NONE, nullptr},
    {u"USER\\.DEFAULT\\Software", nullptr, REG_NONE, nullptr},
    {ZEL_USER_HIVE u"\\Software", nullptr, REG_NONE, nullptr},
};

// The predefined handles as on 64-bit Windows 7: the classes root is the
// machine's Software\Classes, the current user is the one interactive
// user's hive, the current configuration is the current hardware profile.
struct PredefinedRoot {
  std::uint32_t handleValue;
  const char16_t *path;
};
const PredefinedRoot kPredefinedRoots[] = {
    {0x80000000u, u"MACHINE\\SOFTWARE\\Classes"},
    {0x80000001u, ZEL_USER_HIVE},
    {0x80000002u, u"MACHINE"},
    {0x80000003u, u"USER"},
    {0x80000005u, u"MACHINE\\SYSTEM\\CurrentControlSet\\Hardware Profiles\\Current"},
};

// Keys whose loss would break the roots or the 32-bit view.
const char16_t *const kProtectedKeys[] = {
    u"MACHINE",
    u"USER",
    u"MACHINE\\SOFTWARE\\Classes",
    u"MACHINE\\SOFTWARE\\Wow6432Node",
    ZEL_USER_HIVE,
    u"MACHINE\\SYSTEM\\CurrentControlSet\\Hardware Profiles\\Current",
};

const char *const kSchema[] = {
    "CREATE TABLE IF NOT EXISTS meta(name TEXT PRIMARY KEY, value TEXT NOT NULL)",
    // parent is NULL for the two hive roots. AUTOINCREMENT: an id is never
    // reused, so a handle to a deleted key can tell.
    // shape counts the insertions and deletions of the key's values and
    // sub-keys (see EnumCursor).
    "CREATE TABLE IF NOT EXISTS keys(id INTEGER PRIMARY KEY AUTOINCREMENT, parent INTEGER,"
    " name BLOB NOT NULL, folded BLOB NOT NULL, class BLOB NOT NULL,"
    " volatile INTEGER NOT NULL, written INTEGER NOT NULL, shape INTEGER NOT NULL DEFAULT 0)",
    "CREATE UNIQUE INDEX IF NOT EXISTS keys_by_name ON keys(parent, folded)",
    "CREATE INDEX IF NOT EXISTS keys_in_order ON keys(parent)",
    "CREATE INDEX IF NOT EXISTS keys_volatile ON keys(volatile)",
    "CREATE TABLE IF NOT EXISTS vals(id INTEGER PRIMARY KEY AUTOINCREMENT,"
    " key INTEGER NOT NULL,"
    " name BLOB NOT NULL, folded BLOB NOT NULL, type INTEGER NOT NULL, data BLOB NOT NULL)",
    "CREATE UNIQUE INDEX IF NOT EXISTS vals_by_name ON vals(key, folded)",
    "CREATE INDEX IF NOT EXISTS vals_in_order ON vals(key)",
};

std::string hostBootId() {
  std::ifstream in("/proc/sys/kernel/random/boot_id");
  std::string id;
  std::getline(in, id);
  return id;
}

// The session for the current machine, with what opening it must check.
struct Session : StoreSession {
  std::string file;
  ino_t inode = 0;
  dev_t device = 0;
  pid_t pid = 0;

  ~Session() {
    // A session inherited through fork belongs to the parent; SQLite forbids
    // touching it here, so it is left alone.
    if (pid != ::getpid())
      return;
    for (auto &entry : statements)
      sqlite3_finalize(entry.second);
    sqlite3_close_v2(db);
  }
};

std::mutex gStoreLock;
std::unique_ptr<Session> gSession;

// Runs a body in a transaction, retrying while another process holds the
// lock. The busy timeout waits inside SQLite; this loop covers what it
// cannot (a lock taken between two of our steps, a WAL being recovered).
DWORD retrying(sqlite3 *db, bool write, const std::function<DWORD()> &body) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::minutes(5);
  for (int attempt = 0;; ++attempt) {
    int rc = SQLITE_OK;
    try {
      execute(db, write ? "BEGIN IMMEDIATE" : "BEGIN");
      DWORD result = ERROR_SUCCESS;
      try {
        result = body();
      } catch (const RegistryFailure &failure) {
        result = failure.code;
      }
      if (result != ERROR_SUCCESS) {
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        return result;
      }
      execute(db, "COMMIT");
      return ERROR_SUCCESS;
    } catch (const SqliteError &error) {
      rc = error.rc;
    } catch (const std::bad_alloc &) {
      rc = SQLITE_NOMEM;
    } catch (...) {
      rc = SQLITE_ERROR;
    }
    if (sqlite3_get_autocommit(db) == 0)
      sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    if (!isBusy(rc) || Clock::now() > deadline)
      return win32ErrorFromSqlite(rc);
    std::this_thread::sleep_for(std::chrono::milliseconds(attempt < 10 ? 1 : 10));
  }
}

// Creates the keys of the table that are missing and writes the values that
// are missing; a value the machine holds is never changed, so seeding again
// after the table grew adds only the new facts. (A seeded value deleted
// since then comes back too, once: nothing tells it from a new one.)
void seed(RegistryTransaction &tx) {
  for (const SeedEntry &entry : kSeed) {
    std::optional<KeyId> key;
    for (const std::u16string_view part : pathComponents(entry.path)) {
      std::optional<KeyId> next = key ? tx.child(*key, part) : tx.keyAtPath(part);
      key = next ? *next : tx.createChild(key ? *key : 0, part, u"", false);
    }
    if (!entry.valueName || tx.value(*key, entry.valueName))
      continue;
    if (entry.type == REG_DWORD) {
      const BYTE bytes[] = {static_cast<BYTE>(entry.number), static_cast<BYTE>(entry.number >> 8),
                            static_cast<BYTE>(entry.number >> 16),
                            static_cast<BYTE>(entry.number >> 24)};
      tx.setValue(*key, entry.valueName, entry.type, bytes, sizeof bytes);
    } else {
      const std::u16string_view text(entry.text);
      tx.setValue(*key, entry.valueName, entry.type, reinterpret_cast<const BYTE *>(text.data()),
                  static_cast<DWORD>((text.size() + 1) * sizeof(char16_t)));
    }
  }
}

// What opening must still do to a database, learnt by reading only.
struct Setup {
  int version = 0;
  int seedRevision = -1; // -1: never seeded; 0: seeded before revisions were counted
  std::string boot;
  bool complete(const std::string &currentBoot) const {
    return version >= kSchemaVersion && seedRevision >= kSeedRevision && boot == currentBoot;
  }
};

Setup readSetup(StoreSession &session) {
  Setup setup;
  {
    Statement q = session.prepare("PRAGMA user_version");
    if (q.step())
      setup.version = static_cast<int>(q.integer(0));
  }
  Statement exists =
      session.prepare("SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = 'meta'");
  if (!exists.step())
    return setup;
  Statement q = session.prepare("SELECT name, value FROM meta");
  while (q.step()) {
    const std::string name = q.utf8(0);
    if (name == "seeded")
      setup.seedRevision = std::max(setup.seedRevision, 0);
    else if (name == "seed revision")
      setup.seedRevision = std::max(setup.seedRevision, std::atoi(q.utf8(1).c_str()));
    else if (name == "boot")
      setup.boot = q.utf8(1);
  }
  return setup;
}

bool hasColumn(sqlite3 *db, const char *table, const char *column) {
  return sqlite3_table_column_metadata(db, nullptr, table, column, nullptr, nullptr, nullptr,
                                       nullptr, nullptr) == SQLITE_OK;
}

// Brings the database to the current schema and layout under the write
// lock; reads what is there again first, as another process may have done
// it meanwhile.
DWORD completeSetup(Session &session) {
  sqlite3 *db = session.db;
  return retrying(db, true, [&]() -> DWORD {
    const std::string current = hostBootId();
    const Setup setup = readSetup(session);
    if (setup.complete(current))
      return ERROR_SUCCESS;
    for (const char *sql : kSchema)
      execute(db, sql);
    if (!hasColumn(db, "keys", "shape"))
      execute(db, "ALTER TABLE keys ADD COLUMN shape INTEGER NOT NULL DEFAULT 0");
    execute(db, "PRAGMA user_version = 1");
    SqlRegistryTransaction tx(session);
    if (setup.seedRevision < kSeedRevision) {
      seed(tx);
      execute(db, "INSERT OR REPLACE INTO meta VALUES('seeded', 'Windows 7 SP1 x64')");
      session.prepare("INSERT OR REPLACE INTO meta VALUES('seed revision', ?)")
          .bindUtf8(1, std::to_string(kSeedRevision))
          .run();
    }
    if (setup.boot != current) {
      tx.dropVolatileKeys();
      session.prepare("INSERT OR REPLACE INTO meta VALUES('boot', ?)").bindUtf8(1, current).run();
    }
    return ERROR_SUCCESS;
  });
}

// Switching a new database to WAL needs a moment of exclusive access;
// another process opening at the same time makes it wait. A database in WAL
// already is only read.
DWORD useWriteAheadLog(sqlite3 *db) {
  for (int attempt = 0;; ++attempt) {
    sqlite3_stmt *query = nullptr;
    int rc = sqlite3_prepare_v2(db, "PRAGMA journal_mode", -1, &query, nullptr);
    bool inWal = false;
    if (rc == SQLITE_OK && sqlite3_step(query) == SQLITE_ROW) {
      const auto *mode = sqlite3_column_text(query, 0);
      inWal = mode != nullptr && std::string(reinterpret_cast<const char *>(mode)) == "wal";
    }
    rc = sqlite3_finalize(query);
    if (rc == SQLITE_OK && !inWal)
      rc = sqlite3_exec(db, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK)
      return ERROR_SUCCESS;
    if (!isBusy(rc) || attempt > 1000)
      return win32ErrorFromSqlite(rc);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

DWORD openSession(const std::string &machine) {
  gSession.reset();
  const std::string folder = ensureMachine();
  if (folder.empty())
    return ERROR_CANTOPEN;
  // The database is made here rather than by SQLite, so that a new one is
  // the owner's alone; SQLite then opens it without following a link, and
  // makes its journals with the database's mode and owner.
  const int made = openMachineFile("registry.db");
  if (made < 0)
    return ERROR_CANTOPEN;
  ::close(made);
  auto session = std::make_unique<Session>();
  session->machine = machine;
  session->file = folder + "/registry.db";
  session->pid = ::getpid();
  const int rc =
      sqlite3_open_v2(session->file.c_str(), &session->db,
                      SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOFOLLOW | SQLITE_OPEN_NOMUTEX, nullptr);
  if (rc != SQLITE_OK)
    return win32ErrorFromSqlite(session->db == nullptr ? SQLITE_NOMEM : rc);
  sqlite3 *db = session->db;
  sqlite3_extended_result_codes(db, 1);
  sqlite3_busy_timeout(db, 60000);
  if (const DWORD error = useWriteAheadLog(db))
    return error;
  if (sqlite3_exec(db, "PRAGMA synchronous=NORMAL; PRAGMA foreign_keys=OFF", nullptr, nullptr,
                   nullptr) != SQLITE_OK)
    return win32ErrorFromSqlite(sqlite3_errcode(db));
  // Reading what is there takes no write lock; only an incomplete machine
  // waits for one.
  bool complete = false;
  const std::string current = hostBootId();
  DWORD result = retrying(db, false, [&]() -> DWORD {
    complete = readSetup(*session).complete(current);
    return ERROR_SUCCESS;
  });
  if (result == ERROR_SUCCESS && !complete)
    result = completeSetup(*session);
  if (result != ERROR_SUCCESS)
    return result;
  struct stat info {};
  if (::lstat(session->file.c_str(), &info) == 0) {
    session->inode = info.st_ino;
    session->device = info.st_dev;
  }
  gSession = std::move(session);
  return ERROR_SUCCESS;
}

// The session for the current machine folder, opened afresh when the folder
// changed, its database was replaced, or this is a forked child.
DWORD currentSession() {
  const std::string machine = machineRoot();
  if (gSession && gSession->pid != ::getpid())
    (void)gSession.release(); // the parent's; never touched here
  if (gSession && gSession->machine == machine) {
    struct stat info {};
    if (::lstat(gSession->file.c_str(), &info) == 0 && info.st_ino == gSession->inode &&
        info.st_dev == gSession->device)
      return ERROR_SUCCESS;
  }
  return openSession(machine);
}

} // namespace

DWORD win32ErrorFromSqlite(int rc) {
  switch (rc) {
  case SQLITE_IOERR_READ:
  case SQLITE_IOERR_SHORT_READ:
    return ERROR_CANTREAD;
  default:
    break;
  }
  switch (rc & 0xff) {
  case SQLITE_OK:
  case SQLITE_ROW:
  case SQLITE_DONE:
    return ERROR_SUCCESS;
  case SQLITE_CORRUPT:
  case SQLITE_NOTADB:
  case SQLITE_FORMAT:
  case SQLITE_SCHEMA:
  case SQLITE_CONSTRAINT:
  case SQLITE_MISMATCH:
    return ERROR_BADDB;
  case SQLITE_CANTOPEN:
    return ERROR_CANTOPEN;
  case SQLITE_FULL:
  case SQLITE_IOERR:
    return ERROR_CANTWRITE;
  case SQLITE_NOMEM:
    return ERROR_OUTOFMEMORY;
  case SQLITE_READONLY:
  case SQLITE_PERM:
  case SQLITE_AUTH:
    return ERROR_ACCESS_DENIED;
  case SQLITE_BUSY:
  case SQLITE_LOCKED:
    return ERROR_BUSY;
  case SQLITE_TOOBIG:
  case SQLITE_RANGE:
    return ERROR_INVALID_PARAMETER;
  default:
    return ERROR_INVALID_FUNCTION;
  }
}

DWORD runRegistryTransaction(bool write, const std::function<DWORD(RegistryTransaction &)> &body) {
  try {
    const std::string machine = machineRoot();
    if (isWindowsInstallation(machine))
      return runHiveTransaction(machine, write, body);
    std::lock_guard<std::mutex> lock(gStoreLock);
    const DWORD opened = currentSession();
    if (opened != ERROR_SUCCESS)
      return opened;
    SqlRegistryTransaction tx(*gSession);
    return retrying(gSession->db, write, [&]() { return body(tx); });
  } catch (const std::bad_alloc &) {
    return ERROR_OUTOFMEMORY;
  } catch (...) {
    return ERROR_INVALID_FUNCTION;
  }
}

std::optional<std::u16string_view> predefinedRootPath(std::uint32_t handleValue) {
  for (const PredefinedRoot &root : kPredefinedRoots)
    if (root.handleValue == handleValue)
      return std::u16string_view(root.path);
  return std::nullopt;
}

DWORD restartMachine() {
  return runRegistryTransaction(true, [](RegistryTransaction &tx) -> DWORD {
    tx.dropVolatileKeys();
    return ERROR_SUCCESS;
  });
}

std::optional<std::u16string_view> SqlRegistryTransaction::predefinedPath(std::uint32_t value) {
  return predefinedRootPath(value);
}

std::vector<std::u16string_view> SqlRegistryTransaction::protectedPaths() {
  return {std::begin(kProtectedKeys), std::end(kProtectedKeys)};
}

bool RegistryTransaction::isProtected(KeyId id, bool itself) {
  for (const std::u16string_view path : protectedPaths()) {
    std::optional<KeyId> at = keyAtPath(path);
    if (at && !itself)
      at = parentOf(*at);
    for (; at; at = parentOf(*at))
      if (*at == id)
        return true;
  }
  return false;
}

} // namespace zelsys::posix
