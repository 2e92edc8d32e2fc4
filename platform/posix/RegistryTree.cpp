//===- RegistryTree.cpp - Whole subtrees of the registry store -------------===//
//
// Loading, merging and deleting subtrees. Nothing here recurses: loading
// walks with an explicit stack, merging follows the flat pre-order list, and
// deleting lets SQLite collect a subtree with a recursive query (which it
// runs from a queue) before naming every row it removes. So any depth that
// fits in memory works. Only code that works on every Unix.
//
//===----------------------------------------------------------------------===//
#include "RegistrySql.h"
#include "RegistryStore.h"

#include <algorithm>

namespace zelsys::posix {

namespace {

// The ids of the subtrees whose roots a condition on keys selects; ?1 is the
// condition's one parameter where it has one.
#define ZEL_SUBTREES(roots)                                                                        \
  "WITH RECURSIVE tree(id) AS (SELECT id FROM keys WHERE " roots                                   \
  " UNION ALL SELECT keys.id FROM keys JOIN tree ON keys.parent = tree.id) "

#define ZEL_DELETE_SUBTREES(roots)                                                                 \
  ZEL_SUBTREES(roots)                                                                              \
  "DELETE FROM vals WHERE key IN tree", ZEL_SUBTREES(roots) "DELETE FROM keys WHERE id IN tree"

} // namespace

void SqlRegistryTransaction::deleteTrees(const char *valuesSql, const char *keysSql,
                                         std::optional<KeyId> id) {
  for (const char *sql : {valuesSql, keysSql}) {
    Statement q = m_session.prepare(sql);
    if (id)
      q.bind(1, *id);
    q.run();
  }
}

void SqlRegistryTransaction::deleteKey(KeyId id) {
  if (const std::optional<KeyId> parent = parentOf(id))
    reshape(*parent);
  deleteTrees(ZEL_DELETE_SUBTREES("id = ?1"), id);
}

void SqlRegistryTransaction::clearKey(KeyId id) {
  deleteTrees(ZEL_DELETE_SUBTREES("parent = ?1"), id);
  m_session.prepare("DELETE FROM vals WHERE key = ?").bind(1, id).run();
  reshape(id);
  touch(id);
}

void SqlRegistryTransaction::dropVolatileKeys() {
  // The subtrees start at volatile keys under stable ones (a volatile key's
  // sub-keys are volatile too); those stable parents change shape.
#define ZEL_VOLATILE_TOPS                                                                          \
  "volatile <> 0 AND NOT EXISTS"                                                                   \
  " (SELECT 1 FROM keys AS up WHERE up.id = keys.parent AND up.volatile <> 0)"
  execute(m_session.db, "UPDATE keys SET shape = shape + 1 WHERE id IN"
                        " (SELECT parent FROM keys WHERE " ZEL_VOLATILE_TOPS ")");
  deleteTrees(ZEL_DELETE_SUBTREES(ZEL_VOLATILE_TOPS), std::nullopt);
#undef ZEL_VOLATILE_TOPS
}

void SqlRegistryTransaction::readKey(KeyId id, bool withVolatile, TreeKey &node,
                                     std::vector<KeyId> &subKeys) {
  if (std::optional<KeyRecord> record = key(id)) {
    node.name = std::move(record->name);
    node.keyClass = std::move(record->keyClass);
  }
  {
    Statement q = m_session.prepare("SELECT name, type, data FROM vals WHERE key = ? ORDER BY id");
    q.bind(1, id);
    while (q.step())
      node.values.push_back({q.text(0), static_cast<DWORD>(q.integer(1)), q.bytes(2)});
  }
  Statement q = m_session.prepare("SELECT id, volatile FROM keys WHERE parent = ? ORDER BY id");
  q.bind(1, id);
  while (q.step())
    if (withVolatile || q.integer(1) == 0)
      subKeys.push_back(q.integer(0));
}

// Built on readKey, so every store shares the walk.
KeyTree RegistryTransaction::load(KeyId id, bool withVolatile) {
  KeyTree tree;
  struct Pending {
    KeyId id;
    std::size_t parent;
    DWORD depth;
  };
  std::vector<Pending> stack{{id, 0, 0}};
  std::vector<KeyId> subKeys;
  while (!stack.empty()) {
    const Pending at = stack.back();
    stack.pop_back();
    TreeKey node;
    subKeys.clear();
    readKey(at.id, withVolatile, node, subKeys);
    node.parent = at.parent;
    node.depth = at.depth;
    node.subKeys = static_cast<DWORD>(subKeys.size());
    // Popped last-in first-out: pushed in reverse, the first sub-key comes
    // out first.
    for (auto sub = subKeys.rbegin(); sub != subKeys.rend(); ++sub)
      stack.push_back({*sub, tree.size(), at.depth + 1});
    tree.push_back(std::move(node));
  }
  return tree;
}

// Built on the single-key operations alone, so every store shares it.
void RegistryTransaction::merge(KeyId id, const KeyTree &tree) {
  const std::optional<KeyRecord> target = key(id);
  if (!target)
    throw RegistryFailure{ERROR_KEY_DELETED};
  DWORD deepest = 0;
  for (const TreeKey &node : tree)
    deepest = std::max(deepest, node.depth);
  if (deepest > 0 && depth(id) + deepest > kMaxTreeDepth)
    throw RegistryFailure{ERROR_NO_SYSTEM_RESOURCES};
  std::vector<KeyId> placed(tree.size());
  for (std::size_t i = 0; i < tree.size(); ++i) {
    const TreeKey &node = tree[i];
    KeyId at = id;
    if (i > 0) {
      const KeyId parent = placed[node.parent];
      const std::optional<KeyId> existing = child(parent, node.name);
      at = existing ? *existing : createChild(parent, node.name, node.keyClass, target->isVolatile);
    }
    placed[i] = at;
    for (const ValueRecord &record : node.values)
      setValue(at, record.name, record.type, record.data.data(),
               static_cast<DWORD>(record.data.size()));
  }
}

} // namespace zelsys::posix
