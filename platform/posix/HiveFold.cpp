//===- HiveFold.cpp - A journal's calls applied to a whole hive ------------===//
//
// Sub-keys are found by binary search in each key's list, which the reader
// gives in the hive's own order (by upper-cased name); values through an
// index built for a key when an operation first needs it. Only code that
// works on every Unix.
//
//===----------------------------------------------------------------------===//
#include "HiveFold.h"
#include "Utf.h"

#include <algorithm>
#include <optional>
#include <unordered_map>

namespace zelsys::posix {

namespace {

class Folder {
public:
  Folder(HiveFile &hive, std::uint64_t now) : m_keys(hive.keys), m_now(now) {
    m_children.resize(m_keys.size());
    for (std::size_t i = 0; i < m_keys.size(); ++i) {
      m_upper.push_back(upcase(m_keys[i].name));
      if (i > 0)
        m_children[m_keys[i].parent].push_back(i);
    }
  }

  void apply(const HiveOperation &op) {
    const bool create = op.kind == HiveOpKind::CreateKey || op.kind == HiveOpKind::SetValue;
    const std::optional<std::size_t> key = walk(op.keyPath, create);
    if (!key)
      return;
    switch (op.kind) {
    case HiveOpKind::DeleteKeyTree:
      if (*key != 0)
        removeTree(*key);
      break;
    case HiveOpKind::SetValue:
      setValue(*key, op);
      break;
    case HiveOpKind::DeleteValue:
      deleteValue(*key, op.valueName);
      break;
    default:
      break;
    }
  }

  // The keys still there, parents first, each naming its new parent.
  void compact() {
    std::vector<std::size_t> order{0};
    std::vector<std::size_t> placed(m_keys.size(), 0);
    for (std::size_t i = 0; i < order.size(); ++i)
      for (const std::size_t child : m_children[order[i]]) {
        placed[child] = order.size();
        order.push_back(child);
      }
    HiveTree kept;
    kept.reserve(order.size());
    for (const std::size_t index : order) {
      kept.push_back(std::move(m_keys[index]));
      kept.back().parent = index == 0 ? 0 : placed[kept.back().parent];
    }
    m_keys = std::move(kept);
  }

private:
  std::optional<std::size_t> walk(std::u16string_view path, bool create) {
    std::size_t at = 0;
    for (const std::u16string_view part : pathComponents(path)) {
      const std::u16string upper = upcase(part);
      std::vector<std::size_t> &children = m_children[at];
      const auto slot = std::lower_bound(
          children.begin(), children.end(), upper,
          [&](std::size_t child, const std::u16string &name) { return m_upper[child] < name; });
      if (slot != children.end() && m_upper[*slot] == upper) {
        at = *slot;
        continue;
      }
      if (!create)
        return std::nullopt;
      HiveKey key;
      key.name = std::u16string(part);
      key.written = m_now;
      key.parent = at;
      key.security = m_keys[at].security;
      m_keys.push_back(std::move(key));
      m_upper.push_back(upper);
      m_children.emplace_back();
      const std::size_t added = m_keys.size() - 1;
      m_children[at].insert(slot, added);
      m_keys[at].written = m_now;
      at = added;
    }
    return at;
  }

  void removeTree(std::size_t key) {
    const std::size_t parent = m_keys[key].parent;
    auto &siblings = m_children[parent];
    siblings.erase(std::find(siblings.begin(), siblings.end(), key));
    m_keys[parent].written = m_now;
  }

  std::unordered_map<std::u16string, std::size_t> &valuesOf(std::size_t key) {
    auto [found, added] = m_valueIndex.try_emplace(key);
    if (added)
      for (std::size_t i = 0; i < m_keys[key].values.size(); ++i)
        found->second.emplace(upcase(m_keys[key].values[i].name), i);
    return found->second;
  }

  void setValue(std::size_t key, const HiveOperation &op) {
    auto &index = valuesOf(key);
    std::vector<ValueRecord> &values = m_keys[key].values;
    const auto [found, added] = index.emplace(upcase(op.valueName), values.size());
    if (added)
      values.push_back(ValueRecord{op.valueName, op.type, op.data});
    else
      values[found->second] = ValueRecord{values[found->second].name, op.type, op.data};
    m_keys[key].written = m_now;
  }

  void deleteValue(std::size_t key, const std::u16string &name) {
    auto &index = valuesOf(key);
    const auto found = index.find(upcase(name));
    if (found == index.end())
      return;
    std::vector<ValueRecord> &values = m_keys[key].values;
    values.erase(values.begin() + static_cast<std::ptrdiff_t>(found->second));
    m_valueIndex.erase(key);
    m_keys[key].written = m_now;
  }

  HiveTree &m_keys;
  std::uint64_t m_now;
  std::vector<std::u16string> m_upper;
  std::vector<std::vector<std::size_t>> m_children; // in the hive's order
  std::unordered_map<std::size_t, std::unordered_map<std::u16string, std::size_t>> m_valueIndex;
};

} // namespace

void foldIntoHive(HiveFile &hive, const std::vector<HiveOperation> &ops, std::uint64_t now) {
  Folder folder(hive, now);
  for (const HiveOperation &op : ops)
    folder.apply(op);
  folder.compact();
}

} // namespace zelsys::posix
