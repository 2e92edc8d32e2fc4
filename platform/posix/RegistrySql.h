//===- RegistrySql.h - SQLite plumbing of the registry store ---------------===//
//
// What the store's sources share and nobody else sees: the process's session
// with one machine's database (connection, compiled statements, enumeration
// cursors) and a statement wrapper that turns SQLite failures into
// exceptions the transaction runner maps. Only code that works on every Unix.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "RegistryStore.h"

#include <sqlite3.h>

#include <array>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace zelsys::posix {

// An SQLite failure inside a transaction; the runner maps or retries it.
struct SqliteError {
  int rc;
};

inline void checkSqlite(int rc) {
  if (rc != SQLITE_OK)
    throw SqliteError{rc};
}

inline void execute(sqlite3 *db, const char *sql) {
  checkSqlite(sqlite3_exec(db, sql, nullptr, nullptr, nullptr));
}

// A prepared statement from the session's cache, reset when done with.
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
    checkSqlite(sqlite3_bind_int64(m_statement, index, number));
    return *this;
  }
  Statement &bind(int index, std::u16string_view text) {
    static const char16_t kEmpty = 0;
    checkSqlite(sqlite3_bind_blob64(m_statement, index, text.empty() ? &kEmpty : text.data(),
                                    text.size() * sizeof(char16_t), SQLITE_TRANSIENT));
    return *this;
  }
  Statement &bind(int index, const BYTE *data, DWORD size) {
    static const BYTE kEmpty = 0;
    checkSqlite(sqlite3_bind_blob64(m_statement, index, size == 0 ? &kEmpty : data, size,
                                    SQLITE_TRANSIENT));
    return *this;
  }
  Statement &bindUtf8(int index, const std::string &text) {
    checkSqlite(sqlite3_bind_text(m_statement, index, text.c_str(), -1, SQLITE_TRANSIENT));
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
  std::string utf8(int column) {
    const auto *text = sqlite3_column_text(m_statement, column);
    return text ? std::string(reinterpret_cast<const char *>(text)) : std::string();
  }
  std::vector<BYTE> bytes(int column) {
    const auto *data = static_cast<const BYTE *>(sqlite3_column_blob(m_statement, column));
    const auto size = static_cast<std::size_t>(sqlite3_column_bytes(m_statement, column));
    return data ? std::vector<BYTE>(data, data + size) : std::vector<BYTE>();
  }

private:
  sqlite3_stmt *m_statement;
};

// Where an enumeration by index last stood: the row at `index` among the
// owner's values or sub-keys while the owner's shape was `shape`. The next
// index is then one indexed step away instead of a scan from the start.
struct EnumCursor {
  KeyId owner = -1;
  std::int64_t shape = -1;
  DWORD index = 0;
  std::int64_t row = 0;
};

// A few cursors per kind, so nested walks (a key's sub-keys, each sub-key's
// values, back to the key) keep theirs.
struct EnumCursors {
  static constexpr std::size_t kCount = 16;
  std::array<EnumCursor, kCount> slots;
  std::size_t next = 0;

  EnumCursor *find(KeyId owner, std::int64_t shape) {
    for (EnumCursor &cursor : slots)
      if (cursor.owner == owner && cursor.shape == shape)
        return &cursor;
    return nullptr;
  }
  void remember(const EnumCursor &cursor) {
    EnumCursor *slot = find(cursor.owner, cursor.shape);
    if (slot == nullptr) {
      slot = &slots[next];
      next = (next + 1) % kCount;
    }
    *slot = cursor;
  }
};

// The process's session with one machine's database.
struct StoreSession {
  sqlite3 *db = nullptr;
  std::string machine;
  std::unordered_map<const char *, sqlite3_stmt *> statements;
  EnumCursors valueCursors, keyCursors;

  // Every statement of the store comes through here, so it is compiled once
  // per session.
  Statement prepare(const char *sql) {
    auto found = statements.find(sql);
    if (found != statements.end())
      return Statement(found->second);
    sqlite3_stmt *statement = nullptr;
    checkSqlite(sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, &statement, nullptr));
    statements.emplace(sql, statement);
    return Statement(statement);
  }
};

// The store's operations on the emulated machine's database.
class SqlRegistryTransaction final : public RegistryTransaction {
public:
  explicit SqlRegistryTransaction(StoreSession &session) : m_session(session) {}

  const std::string &machine() const override;
  std::optional<KeyId> keyAtPath(std::u16string_view path) override;
  std::optional<KeyId> child(KeyId parent, std::u16string_view name) override;
  std::optional<KeyRecord> key(KeyId id) override;
  std::optional<KeyId> parentOf(KeyId id) override;
  KeyId createChild(KeyId parent, std::u16string_view name, std::u16string_view keyClass,
                    bool isVolatile) override;
  bool hasChildren(KeyId id) override;
  DWORD depth(KeyId id) override;
  void deleteKey(KeyId id) override;
  void clearKey(KeyId id) override;
  std::optional<KeyRecord> childAt(KeyId parent, DWORD index) override;
  std::optional<ValueRecord> valueAt(KeyId key, DWORD index) override;
  std::optional<ValueRecord> value(KeyId key, std::u16string_view name) override;
  void setValue(KeyId key, std::u16string_view name, DWORD type, const BYTE *data,
                DWORD size) override;
  bool deleteValue(KeyId key, std::u16string_view name) override;
  KeyFigures figures(KeyId id) override;
  void dropVolatileKeys() override;
  std::optional<std::u16string_view> predefinedPath(std::uint32_t handleValue) override;

protected:
  std::vector<std::u16string_view> protectedPaths() override;
  void readKey(KeyId id, bool withVolatile, TreeKey &key, std::vector<KeyId> &subKeys) override;

private:
  StoreSession &m_session;
  void touch(KeyId id);
  void reshape(KeyId id);
  // Deletes the subtrees rooted at the keys the seed condition selects.
  void deleteTrees(const char *valuesSql, const char *keysSql, std::optional<KeyId> id);
};

} // namespace zelsys::posix
