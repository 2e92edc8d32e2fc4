//===- RegistryStore.cpp - The emulated machine's registry database --------===//
//
// One SQLite connection per process and machine folder, guarded by a mutex;
// the schema, the first-use layout and the restart rule. Only code that
// works on every Unix.
//
//===----------------------------------------------------------------------===//
#include "RegistryStore.h"
#include "Machine.h"
#include "Utf.h"

#include <sqlite3.h>

#include <chrono>
#include <cstring>
#include <ctime>
#include <fstream>
#include <memory>
#include <mutex>
#include <new>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <unordered_map>

namespace zelsys::posix {

namespace {

constexpr DWORD ERROR_BUSY = 170;

// An SQLite failure inside a transaction; the runner maps or retries it.
struct SqliteError {
  int rc;
};

bool isBusy(int rc) {
  const int primary = rc & 0xff;
  return primary == SQLITE_BUSY || primary == SQLITE_LOCKED;
}

// The one interactive user of the machine; HKEY_CURRENT_USER is its hive.
#define ZEL_USER_HIVE u"USER\\S-1-5-21-3520415761-2417853016-1264082235-1000"

// Windows 7 SP1 64-bit: the keys every machine has and the facts the
// framework reads. A fresh database is filled from this table only.
struct SeedEntry {
  const char16_t *path;
  const char16_t *valueName; // null: the key alone
  DWORD type;
  const char16_t *text;
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
    "CREATE TABLE IF NOT EXISTS keys(id INTEGER PRIMARY KEY AUTOINCREMENT,"
    " parent INTEGER REFERENCES keys(id) ON DELETE CASCADE,"
    " name BLOB NOT NULL, folded BLOB NOT NULL, class BLOB NOT NULL,"
    " volatile INTEGER NOT NULL, written INTEGER NOT NULL)",
    "CREATE UNIQUE INDEX IF NOT EXISTS keys_by_name ON keys(parent, folded)",
    "CREATE INDEX IF NOT EXISTS keys_in_order ON keys(parent)",
    "CREATE INDEX IF NOT EXISTS keys_volatile ON keys(volatile)",
    "CREATE TABLE IF NOT EXISTS vals(id INTEGER PRIMARY KEY AUTOINCREMENT,"
    " key INTEGER NOT NULL REFERENCES keys(id) ON DELETE CASCADE,"
    " name BLOB NOT NULL, folded BLOB NOT NULL, type INTEGER NOT NULL, data BLOB NOT NULL)",
    "CREATE UNIQUE INDEX IF NOT EXISTS vals_by_name ON vals(key, folded)",
    "CREATE INDEX IF NOT EXISTS vals_in_order ON vals(key)",
};

std::uint64_t fileTimeNow() {
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  constexpr std::uint64_t kEpochDelta = 11644473600ull; // 1601 to 1970, seconds
  return (static_cast<std::uint64_t>(now.tv_sec) + kEpochDelta) * 10000000ull +
         static_cast<std::uint64_t>(now.tv_nsec) / 100;
}

std::string hostBootId() {
  std::ifstream in("/proc/sys/kernel/random/boot_id");
  std::string id;
  std::getline(in, id);
  return id;
}

// A prepared statement from the connection's cache, reset when done with.
class Statement {
public:
  explicit Statement(sqlite3_stmt *statement) : m_statement(statement) {}
  ~Statement() {
    sqlite3_reset(m_statement);
    sqlite3_clear_bindings(m_statement);
  }
  Statement(const Statement &) = delete;
  Statement &operator=(const Statement &) = delete;

  Statement &bind(int index, std::int64_t number) {
    check(sqlite3_bind_int64(m_statement, index, number));
    return *this;
  }
  Statement &bind(int index, std::u16string_view text) {
    static const char16_t kEmpty = 0;
    check(sqlite3_bind_blob64(m_statement, index, text.empty() ? &kEmpty : text.data(),
                              text.size() * sizeof(char16_t), SQLITE_TRANSIENT));
    return *this;
  }
  Statement &bind(int index, const BYTE *data, DWORD size) {
    static const BYTE kEmpty = 0;
    check(sqlite3_bind_blob64(m_statement, index, size == 0 ? &kEmpty : data, size,
                              SQLITE_TRANSIENT));
    return *this;
  }
  // True while there is a row.
  bool step() {
    const int rc = sqlite3_step(m_statement);
    if (rc == SQLITE_ROW)
      return true;
    if (rc == SQLITE_DONE)
      return false;
    throw SqliteError{rc};
  }
  void run() {
    while (step()) {
    }
  }
  std::int64_t integer(int column) { return sqlite3_column_int64(m_statement, column); }
  std::u16string text(int column) {
    const auto *units = static_cast<const char16_t *>(sqlite3_column_blob(m_statement, column));
    const auto bytes = static_cast<std::size_t>(sqlite3_column_bytes(m_statement, column));
    return units ? std::u16string(units, bytes / sizeof(char16_t)) : std::u16string();
  }
  std::vector<BYTE> bytes(int column) {
    const auto *data = static_cast<const BYTE *>(sqlite3_column_blob(m_statement, column));
    const auto size = static_cast<std::size_t>(sqlite3_column_bytes(m_statement, column));
    return data ? std::vector<BYTE>(data, data + size) : std::vector<BYTE>();
  }

private:
  sqlite3_stmt *m_statement;
  static void check(int rc) {
    if (rc != SQLITE_OK)
      throw SqliteError{rc};
  }
};

// The process's connection to one machine's database.
struct Connection {
  sqlite3 *db = nullptr;
  std::string machine;
  std::string file;
  ino_t inode = 0;
  dev_t device = 0;
  pid_t pid = 0;
  std::unordered_map<const char *, sqlite3_stmt *> statements;

  ~Connection() {
    // A connection inherited through fork belongs to the parent; SQLite
    // forbids touching it here, so it is left alone.
    if (pid != ::getpid())
      return;
    for (auto &entry : statements)
      sqlite3_finalize(entry.second);
    sqlite3_close_v2(db);
  }
};

std::mutex gStoreLock;
std::unique_ptr<Connection> gConnection;

// Every statement of the store comes through here, so it is compiled once
// per connection.
Statement prepare(sqlite3 *db, const char *sql) {
  auto &statements = gConnection->statements;
  auto found = statements.find(sql);
  if (found != statements.end())
    return Statement(found->second);
  sqlite3_stmt *statement = nullptr;
  const int rc = sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, &statement, nullptr);
  if (rc != SQLITE_OK)
    throw SqliteError{rc};
  statements.emplace(sql, statement);
  return Statement(statement);
}

void execute(sqlite3 *db, const char *sql) {
  const int rc = sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK)
    throw SqliteError{rc};
}

std::vector<std::u16string_view> components(std::u16string_view path) {
  std::vector<std::u16string_view> parts;
  while (!path.empty()) {
    const std::size_t slash = path.find(u'\\');
    const std::u16string_view part = path.substr(0, slash);
    if (!part.empty())
      parts.push_back(part);
    if (slash == std::u16string_view::npos)
      break;
    path.remove_prefix(slash + 1);
  }
  return parts;
}

// Retries a body while another process holds the lock. The busy timeout
// waits inside SQLite; this loop covers what it cannot (a lock taken
// between two of our steps, a WAL being recovered).
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

void seed(RegistryTransaction &tx) {
  for (const SeedEntry &entry : kSeed) {
    std::optional<KeyId> key;
    for (std::u16string_view part : components(entry.path)) {
      std::optional<KeyId> next = key ? tx.child(*key, part) : tx.keyAtPath(part);
      key = next ? *next : tx.createChild(key ? *key : 0, part, u"", false);
    }
    if (entry.valueName) {
      const std::u16string_view text(entry.text);
      tx.setValue(*key, entry.valueName, entry.type, reinterpret_cast<const BYTE *>(text.data()),
                  static_cast<DWORD>((text.size() + 1) * sizeof(char16_t)));
    }
  }
}

// Creates the schema and the first-use layout, and drops volatile keys when
// the host has booted since the database last saw it.
DWORD initialise(Connection &connection) {
  sqlite3 *db = connection.db;
  return retrying(db, true, [&]() -> DWORD {
    for (const char *sql : kSchema)
      execute(db, sql);
    RegistryTransaction tx(db, connection.machine);
    std::string seeded, boot;
    {
      sqlite3_stmt *q = nullptr;
      if (sqlite3_prepare_v2(db, "SELECT name, value FROM meta", -1, &q, nullptr) != SQLITE_OK)
        throw SqliteError{sqlite3_errcode(db)};
      std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt *)> owner(q, sqlite3_finalize);
      int rc;
      while ((rc = sqlite3_step(q)) == SQLITE_ROW) {
        const char *name = reinterpret_cast<const char *>(sqlite3_column_text(q, 0));
        const char *value = reinterpret_cast<const char *>(sqlite3_column_text(q, 1));
        const std::string text = value ? value : "";
        if (name && std::strcmp(name, "seeded") == 0)
          seeded = text;
        else if (name && std::strcmp(name, "boot") == 0)
          boot = text;
      }
      if (rc != SQLITE_DONE)
        throw SqliteError{rc};
    }
    if (seeded.empty()) {
      seed(tx);
      execute(db, "INSERT INTO meta VALUES('seeded', 'Windows 7 SP1 x64')");
    }
    const std::string current = hostBootId();
    if (boot != current) {
      tx.dropVolatileKeys();
      sqlite3_stmt *q = nullptr;
      if (sqlite3_prepare_v2(db, "INSERT OR REPLACE INTO meta VALUES('boot', ?)", -1, &q,
                             nullptr) != SQLITE_OK)
        throw SqliteError{sqlite3_errcode(db)};
      std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt *)> owner(q, sqlite3_finalize);
      sqlite3_bind_text(q, 1, current.c_str(), -1, SQLITE_TRANSIENT);
      const int rc = sqlite3_step(q);
      if (rc != SQLITE_DONE)
        throw SqliteError{rc};
    }
    return ERROR_SUCCESS;
  });
}

DWORD openConnection(const std::string &machine) {
  gConnection.reset();
  const std::string folder = ensureMachine();
  if (folder.empty())
    return ERROR_CANTOPEN;
  auto connection = std::make_unique<Connection>();
  connection->machine = machine;
  connection->file = folder + "/registry.db";
  connection->pid = ::getpid();
  int rc =
      sqlite3_open_v2(connection->file.c_str(), &connection->db,
                      SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
  if (rc != SQLITE_OK) {
    return win32ErrorFromSqlite(connection->db == nullptr ? SQLITE_NOMEM : rc);
  }
  sqlite3 *db = connection->db;
  sqlite3_extended_result_codes(db, 1);
  sqlite3_busy_timeout(db, 60000);
  // Switching to WAL needs a moment of exclusive access; another process
  // opening at the same time makes it wait.
  for (int attempt = 0;; ++attempt) {
    rc = sqlite3_exec(db, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK)
      break;
    if (!isBusy(rc) || attempt > 1000)
      return win32ErrorFromSqlite(rc);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  rc = sqlite3_exec(db, "PRAGMA synchronous=NORMAL; PRAGMA foreign_keys=ON", nullptr, nullptr,
                    nullptr);
  if (rc != SQLITE_OK)
    return win32ErrorFromSqlite(rc);
  gConnection = std::move(connection);
  const DWORD result = initialise(*gConnection);
  if (result != ERROR_SUCCESS) {
    gConnection.reset();
    return result;
  }
  struct stat info {};
  if (::stat(gConnection->file.c_str(), &info) == 0) {
    gConnection->inode = info.st_ino;
    gConnection->device = info.st_dev;
  }
  return ERROR_SUCCESS;
}

// The connection for the current machine folder, opened afresh when the
// folder changed, its database was replaced, or this is a forked child.
DWORD currentConnection() {
  const std::string machine = machineRoot();
  if (gConnection && gConnection->pid != ::getpid())
    (void)gConnection.release(); // the parent's; never touched here
  if (gConnection && gConnection->machine == machine) {
    struct stat info {};
    if (::stat(gConnection->file.c_str(), &info) == 0 && info.st_ino == gConnection->inode &&
        info.st_dev == gConnection->device)
      return ERROR_SUCCESS;
  }
  return openConnection(machine);
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
    std::lock_guard<std::mutex> lock(gStoreLock);
    const DWORD opened = currentConnection();
    if (opened != ERROR_SUCCESS)
      return opened;
    RegistryTransaction tx(gConnection->db, gConnection->machine);
    return retrying(gConnection->db, write, [&]() { return body(tx); });
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

// --- RegistryTransaction ---------------------------------------------------

std::optional<KeyId> RegistryTransaction::keyAtPath(std::u16string_view path) {
  std::optional<KeyId> key;
  for (std::u16string_view part : components(path)) {
    if (key) {
      key = child(*key, part);
    } else {
      Statement q = prepare(m_db, "SELECT id FROM keys WHERE parent IS NULL AND folded = ?");
      q.bind(1, upcase(part));
      if (!q.step())
        return std::nullopt;
      key = q.integer(0);
    }
    if (!key)
      return std::nullopt;
  }
  return key;
}

std::optional<KeyId> RegistryTransaction::child(KeyId parent, std::u16string_view name) {
  Statement q = prepare(m_db, "SELECT id FROM keys WHERE parent = ? AND folded = ?");
  q.bind(1, parent).bind(2, upcase(name));
  if (!q.step())
    return std::nullopt;
  return q.integer(0);
}

std::optional<KeyRecord> RegistryTransaction::key(KeyId id) {
  Statement q = prepare(m_db, "SELECT name, class, volatile, written FROM keys WHERE id = ?");
  q.bind(1, id);
  if (!q.step())
    return std::nullopt;
  return KeyRecord{q.text(0), q.text(1), q.integer(2) != 0,
                   static_cast<std::uint64_t>(q.integer(3))};
}

std::optional<KeyId> RegistryTransaction::parentOf(KeyId id) {
  Statement q = prepare(m_db, "SELECT parent FROM keys WHERE id = ? AND parent IS NOT NULL");
  q.bind(1, id);
  if (!q.step())
    return std::nullopt;
  return q.integer(0);
}

KeyId RegistryTransaction::createChild(KeyId parent, std::u16string_view name,
                                       std::u16string_view keyClass, bool isVolatile) {
  Statement q = prepare(m_db, "INSERT INTO keys(parent, name, folded, class, volatile, written)"
                              " VALUES(NULLIF(?, 0), ?, ?, ?, ?, ?)");
  q.bind(1, parent)
      .bind(2, name)
      .bind(3, upcase(name))
      .bind(4, keyClass)
      .bind(5, isVolatile ? 1 : 0)
      .bind(6, static_cast<std::int64_t>(fileTimeNow()));
  q.run();
  return sqlite3_last_insert_rowid(m_db);
}

bool RegistryTransaction::hasChildren(KeyId id) {
  Statement q = prepare(m_db, "SELECT 1 FROM keys WHERE parent = ? LIMIT 1");
  q.bind(1, id);
  return q.step();
}

void RegistryTransaction::deleteKey(KeyId id) {
  // Sub-keys and values go with it (ON DELETE CASCADE).
  Statement q = prepare(m_db, "DELETE FROM keys WHERE id = ?");
  q.bind(1, id).run();
}

void RegistryTransaction::clearKey(KeyId id) {
  prepare(m_db, "DELETE FROM keys WHERE parent = ?").bind(1, id).run();
  prepare(m_db, "DELETE FROM vals WHERE key = ?").bind(1, id).run();
  touch(id);
}

bool RegistryTransaction::isProtected(KeyId id, bool itself) {
  for (const char16_t *path : kProtectedKeys) {
    std::optional<KeyId> at = keyAtPath(path);
    if (at && !itself)
      at = parentOf(*at);
    for (; at; at = parentOf(*at))
      if (*at == id)
        return true;
  }
  return false;
}

std::optional<KeyRecord> RegistryTransaction::childAt(KeyId parent, DWORD index) {
  Statement q = prepare(m_db, "SELECT name, class, volatile, written FROM keys"
                              " WHERE parent = ? ORDER BY id LIMIT 1 OFFSET ?");
  q.bind(1, parent).bind(2, static_cast<std::int64_t>(index));
  if (!q.step())
    return std::nullopt;
  return KeyRecord{q.text(0), q.text(1), q.integer(2) != 0,
                   static_cast<std::uint64_t>(q.integer(3))};
}

std::optional<ValueRecord> RegistryTransaction::valueAt(KeyId key, DWORD index) {
  Statement q = prepare(m_db, "SELECT name, type, data FROM vals"
                              " WHERE key = ? ORDER BY id LIMIT 1 OFFSET ?");
  q.bind(1, key).bind(2, static_cast<std::int64_t>(index));
  if (!q.step())
    return std::nullopt;
  return ValueRecord{q.text(0), static_cast<DWORD>(q.integer(1)), q.bytes(2)};
}

std::optional<ValueRecord> RegistryTransaction::value(KeyId key, std::u16string_view name) {
  Statement q = prepare(m_db, "SELECT name, type, data FROM vals WHERE key = ? AND folded = ?");
  q.bind(1, key).bind(2, upcase(name));
  if (!q.step())
    return std::nullopt;
  return ValueRecord{q.text(0), static_cast<DWORD>(q.integer(1)), q.bytes(2)};
}

void RegistryTransaction::setValue(KeyId key, std::u16string_view name, DWORD type,
                                   const BYTE *data, DWORD size) {
  // Replacing keeps the row, so the value keeps its place and its name's
  // first spelling, as on Windows.
  Statement q = prepare(m_db, "INSERT INTO vals(key, name, folded, type, data)"
                              " VALUES(?, ?, ?, ?, ?) ON CONFLICT(key, folded)"
                              " DO UPDATE SET type = excluded.type, data = excluded.data");
  q.bind(1, key).bind(2, name).bind(3, upcase(name)).bind(4, type).bind(5, data, size);
  q.run();
  touch(key);
}

bool RegistryTransaction::deleteValue(KeyId key, std::u16string_view name) {
  Statement q = prepare(m_db, "DELETE FROM vals WHERE key = ? AND folded = ?");
  q.bind(1, key).bind(2, upcase(name)).run();
  const bool deleted = sqlite3_changes(m_db) > 0;
  if (deleted)
    touch(key);
  return deleted;
}

KeyFigures RegistryTransaction::figures(KeyId id) {
  KeyFigures figures;
  Statement keys = prepare(m_db, "SELECT count(*), max(length(name)), max(length(class))"
                                 " FROM keys WHERE parent = ?");
  keys.bind(1, id);
  if (keys.step()) {
    figures.subKeys = static_cast<DWORD>(keys.integer(0));
    figures.maxSubKeyLen = static_cast<DWORD>(keys.integer(1) / 2);
    figures.maxClassLen = static_cast<DWORD>(keys.integer(2) / 2);
  }
  Statement vals = prepare(m_db, "SELECT count(*), max(length(name)), max(length(data))"
                                 " FROM vals WHERE key = ?");
  vals.bind(1, id);
  if (vals.step()) {
    figures.values = static_cast<DWORD>(vals.integer(0));
    figures.maxValueNameLen = static_cast<DWORD>(vals.integer(1) / 2);
    figures.maxValueLen = static_cast<DWORD>(vals.integer(2));
  }
  return figures;
}

KeyTree RegistryTransaction::load(KeyId id, bool withVolatile) {
  KeyTree tree;
  if (std::optional<KeyRecord> record = key(id)) {
    tree.name = record->name;
    tree.keyClass = record->keyClass;
  }
  {
    Statement q = prepare(m_db, "SELECT name, type, data FROM vals WHERE key = ? ORDER BY id");
    q.bind(1, id);
    while (q.step())
      tree.values.push_back({q.text(0), static_cast<DWORD>(q.integer(1)), q.bytes(2)});
  }
  std::vector<KeyId> children;
  {
    Statement q = prepare(m_db, "SELECT id, volatile FROM keys WHERE parent = ? ORDER BY id");
    q.bind(1, id);
    while (q.step())
      if (withVolatile || q.integer(1) == 0)
        children.push_back(q.integer(0));
  }
  for (KeyId childId : children)
    tree.children.push_back(load(childId, withVolatile));
  return tree;
}

void RegistryTransaction::merge(KeyId id, const KeyTree &tree) {
  const std::optional<KeyRecord> target = key(id);
  if (!target)
    throw RegistryFailure{ERROR_KEY_DELETED};
  for (const ValueRecord &record : tree.values)
    setValue(id, record.name, record.type, record.data.data(),
             static_cast<DWORD>(record.data.size()));
  for (const KeyTree &sub : tree.children) {
    const std::optional<KeyId> existing = child(id, sub.name);
    merge(existing ? *existing : createChild(id, sub.name, sub.keyClass, target->isVolatile), sub);
  }
}

void RegistryTransaction::dropVolatileKeys() {
  prepare(m_db, "DELETE FROM keys WHERE volatile <> 0").run();
}

void RegistryTransaction::touch(KeyId id) {
  Statement q = prepare(m_db, "UPDATE keys SET written = ? WHERE id = ?");
  q.bind(1, static_cast<std::int64_t>(fileTimeNow())).bind(2, id).run();
}

} // namespace zelsys::posix
