//===- RegistryTransaction.cpp - One key's operations in the store ---------===//
//
// Lookup, creation, values, figures and enumeration by index of single keys,
// inside a transaction. Whole subtrees are RegistryTree.cpp's. Only code
// that works on every Unix.
//
//===----------------------------------------------------------------------===//
#include "RegistrySql.h"
#include "RegistryStore.h"
#include "Utf.h"

#include <array>
#include <ctime>

namespace zelsys::posix {

namespace {

KeyRecord keyRecord(Statement &q) {
  return KeyRecord{q.text(0), q.text(1), q.integer(2) != 0,
                   static_cast<std::uint64_t>(q.integer(3))};
}

ValueRecord valueRecord(Statement &q) {
  return ValueRecord{q.text(0), static_cast<DWORD>(q.integer(1)), q.bytes(2)};
}

// The statements of one kind of enumeration: rows of an owner in id order,
// the first of them, the one n rows after or before a known row, and a row
// by its id; each selects the row's id in column idColumn.
struct EnumQueries {
  const char *fromStart;
  const char *forward;
  const char *backward;
  const char *byId;
  int idColumn;
};

const EnumQueries kKeyQueries = {
    "SELECT name, class, volatile, written, id FROM keys"
    " WHERE parent = ?1 ORDER BY id LIMIT 1 OFFSET ?2",
    "SELECT name, class, volatile, written, id FROM keys"
    " WHERE parent = ?1 AND id > ?3 ORDER BY id LIMIT 1 OFFSET ?2",
    "SELECT name, class, volatile, written, id FROM keys"
    " WHERE parent = ?1 AND id < ?3 ORDER BY id DESC LIMIT 1 OFFSET ?2",
    "SELECT name, class, volatile, written, id FROM keys WHERE id = ?3 AND parent = ?1",
    4,
};

const EnumQueries kValueQueries = {
    "SELECT name, type, data, id FROM vals WHERE key = ?1 ORDER BY id LIMIT 1 OFFSET ?2",
    "SELECT name, type, data, id FROM vals"
    " WHERE key = ?1 AND id > ?3 ORDER BY id LIMIT 1 OFFSET ?2",
    "SELECT name, type, data, id FROM vals"
    " WHERE key = ?1 AND id < ?3 ORDER BY id DESC LIMIT 1 OFFSET ?2",
    "SELECT name, type, data, id FROM vals WHERE id = ?3 AND key = ?1",
    3,
};

// The row at an index among an owner's rows. Moves from the nearest
// remembered position when the owner has not changed shape since, so a walk
// over all n indexes costs n indexed steps; otherwise counts from the start.
template <typename Record, typename Read>
std::optional<Record> rowAt(StoreSession &session, EnumCursors &cursors, const EnumQueries &sql,
                            KeyId owner, DWORD index, Read read) {
  std::int64_t shape = -1;
  {
    Statement q = session.prepare("SELECT shape FROM keys WHERE id = ?");
    q.bind(1, owner);
    if (q.step())
      shape = q.integer(0);
  }
  const EnumCursor *cursor = cursors.find(owner, shape);
  const char *query = sql.fromStart;
  std::int64_t skip = index;
  std::int64_t from = 0;
  if (cursor != nullptr) {
    const std::int64_t distance =
        static_cast<std::int64_t>(index) - static_cast<std::int64_t>(cursor->index);
    if (distance == 0) {
      query = sql.byId;
      skip = 0;
    } else if (distance > 0 && distance - 1 < skip) {
      query = sql.forward;
      skip = distance - 1;
    } else if (distance < 0 && -distance - 1 < skip) {
      query = sql.backward;
      skip = -distance - 1;
    }
    from = cursor->row;
  }
  Statement q = session.prepare(query);
  q.bind(1, owner).bind(2, skip);
  if (query != sql.fromStart)
    q.bind(3, from);
  if (!q.step())
    return std::nullopt;
  cursors.remember(EnumCursor{owner, shape, index, q.integer(sql.idColumn)});
  return read(q);
}

} // namespace

std::vector<std::u16string_view> pathComponents(std::u16string_view path) {
  std::vector<std::u16string_view> parts;
  while (!path.empty()) {
    const std::size_t slash = path.find(u'\\');
    const std::u16string_view part = path.substr(0, slash);
    if (!part.empty())
      parts.push_back(part);
    path.remove_prefix(slash == std::u16string_view::npos ? path.size() : slash + 1);
  }
  return parts;
}

std::uint64_t fileTimeNow() {
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  constexpr std::uint64_t kEpochDelta = 11644473600ull; // 1601 to 1970, seconds
  return (static_cast<std::uint64_t>(now.tv_sec) + kEpochDelta) * 10000000ull +
         static_cast<std::uint64_t>(now.tv_nsec) / 100;
}

const std::string &SqlRegistryTransaction::machine() const { return m_session.machine; }

std::optional<KeyId> SqlRegistryTransaction::keyAtPath(std::u16string_view path) {
  std::optional<KeyId> key;
  for (const std::u16string_view part : pathComponents(path)) {
    if (key) {
      key = child(*key, part);
    } else {
      Statement q = m_session.prepare("SELECT id FROM keys WHERE parent IS NULL AND folded = ?");
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

std::optional<KeyId> SqlRegistryTransaction::child(KeyId parent, std::u16string_view name) {
  Statement q = m_session.prepare("SELECT id FROM keys WHERE parent = ? AND folded = ?");
  q.bind(1, parent).bind(2, upcase(name));
  if (!q.step())
    return std::nullopt;
  return q.integer(0);
}

std::optional<KeyRecord> SqlRegistryTransaction::key(KeyId id) {
  Statement q = m_session.prepare("SELECT name, class, volatile, written FROM keys WHERE id = ?");
  q.bind(1, id);
  if (!q.step())
    return std::nullopt;
  return keyRecord(q);
}

std::optional<KeyId> SqlRegistryTransaction::parentOf(KeyId id) {
  Statement q = m_session.prepare("SELECT parent FROM keys WHERE id = ? AND parent IS NOT NULL");
  q.bind(1, id);
  if (!q.step())
    return std::nullopt;
  return q.integer(0);
}

DWORD SqlRegistryTransaction::depth(KeyId id) {
  DWORD levels = 0;
  for (std::optional<KeyId> at = parentOf(id); at; at = parentOf(*at))
    ++levels;
  return levels;
}

KeyId SqlRegistryTransaction::createChild(KeyId parent, std::u16string_view name,
                                          std::u16string_view keyClass, bool isVolatile) {
  Statement q = m_session.prepare("INSERT INTO keys(parent, name, folded, class, volatile, written)"
                                  " VALUES(NULLIF(?, 0), ?, ?, ?, ?, ?)");
  q.bind(1, parent)
      .bind(2, name)
      .bind(3, upcase(name))
      .bind(4, keyClass)
      .bind(5, isVolatile ? 1 : 0)
      .bind(6, static_cast<std::int64_t>(fileTimeNow()));
  q.run();
  const KeyId id = sqlite3_last_insert_rowid(m_session.db);
  if (parent != 0)
    reshape(parent);
  return id;
}

bool SqlRegistryTransaction::hasChildren(KeyId id) {
  Statement q = m_session.prepare("SELECT 1 FROM keys WHERE parent = ? LIMIT 1");
  q.bind(1, id);
  return q.step();
}

std::optional<KeyRecord> SqlRegistryTransaction::childAt(KeyId parent, DWORD index) {
  return rowAt<KeyRecord>(m_session, m_session.keyCursors, kKeyQueries, parent, index, keyRecord);
}

std::optional<ValueRecord> SqlRegistryTransaction::valueAt(KeyId key, DWORD index) {
  return rowAt<ValueRecord>(m_session, m_session.valueCursors, kValueQueries, key, index,
                            valueRecord);
}

std::optional<ValueRecord> SqlRegistryTransaction::value(KeyId key, std::u16string_view name) {
  Statement q = m_session.prepare("SELECT name, type, data FROM vals WHERE key = ? AND folded = ?");
  q.bind(1, key).bind(2, upcase(name));
  if (!q.step())
    return std::nullopt;
  return valueRecord(q);
}

void SqlRegistryTransaction::setValue(KeyId key, std::u16string_view name, DWORD type,
                                      const BYTE *data, DWORD size) {
  // Replacing keeps the row, so the value keeps its place and its name's
  // first spelling, as on Windows; only a new value changes the key's shape.
  const std::u16string folded = upcase(name);
  Statement update =
      m_session.prepare("UPDATE vals SET type = ?, data = ? WHERE key = ? AND folded = ?");
  update.bind(1, type).bind(2, data, size).bind(3, key).bind(4, folded).run();
  if (sqlite3_changes(m_session.db) == 0) {
    Statement insert =
        m_session.prepare("INSERT INTO vals(key, name, folded, type, data) VALUES(?, ?, ?, ?, ?)");
    insert.bind(1, key).bind(2, name).bind(3, folded).bind(4, type).bind(5, data, size).run();
    reshape(key);
  }
  touch(key);
}

bool SqlRegistryTransaction::deleteValue(KeyId key, std::u16string_view name) {
  Statement q = m_session.prepare("DELETE FROM vals WHERE key = ? AND folded = ?");
  q.bind(1, key).bind(2, upcase(name)).run();
  const bool deleted = sqlite3_changes(m_session.db) > 0;
  if (deleted) {
    reshape(key);
    touch(key);
  }
  return deleted;
}

KeyFigures SqlRegistryTransaction::figures(KeyId id) {
  // A row count and two longest lengths, in bytes, over one key's rows.
  const auto aggregate = [&](const char *sql) {
    Statement q = m_session.prepare(sql);
    q.bind(1, id);
    std::array<DWORD, 3> figures{};
    if (q.step())
      for (int i = 0; i < 3; ++i)
        figures[i] = static_cast<DWORD>(q.integer(i));
    return figures;
  };
  const auto keys = aggregate("SELECT count(*), max(length(name)), max(length(class))"
                              " FROM keys WHERE parent = ?");
  const auto vals = aggregate("SELECT count(*), max(length(name)), max(length(data))"
                              " FROM vals WHERE key = ?");
  KeyFigures figures;
  figures.subKeys = keys[0];
  figures.maxSubKeyLen = keys[1] / 2;
  figures.maxClassLen = keys[2] / 2;
  figures.values = vals[0];
  figures.maxValueNameLen = vals[1] / 2;
  figures.maxValueLen = vals[2];
  return figures;
}

void SqlRegistryTransaction::touch(KeyId id) {
  Statement q = m_session.prepare("UPDATE keys SET written = ? WHERE id = ?");
  q.bind(1, static_cast<std::int64_t>(fileTimeNow())).bind(2, id).run();
}

void SqlRegistryTransaction::reshape(KeyId id) {
  m_session.prepare("UPDATE keys SET shape = shape + 1 WHERE id = ?").bind(1, id).run();
}

} // namespace zelsys::posix
