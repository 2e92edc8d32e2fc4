//===- HiveStore.cpp - The registry of a Windows installation's hive files -===//
//
// The hives in memory, read lazily through hivex, the journal's calls on
// top, and the store operations over them with an undo list per call; the
// layout and guarantees are stated in HiveStore.h. Linux only.
//
//===----------------------------------------------------------------------===//
#include "HiveStore.h"
#include "Errors.h"
#include "HiveImage.h"
#include "HiveJournal.h"
#include "HostIo.h"
#include "Machine.h"
#include "RegfReader.h"
#include "Utf.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>

namespace zelsys::posix {

namespace {

// A journal past this size is folded into its hive at once.
constexpr std::uint64_t kCheckpointBytes = 16u << 20;

constexpr char16_t kMachine[] = u"MACHINE";
constexpr char16_t kUser[] = u"USER";

// What tells a file that another process replaced or appended to.
struct FileIdentity {
  bool exists = false;
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  std::int64_t modified = 0; // ns
  bool operator==(const FileIdentity &other) const {
    return exists == other.exists && device == other.device && inode == other.inode &&
           size == other.size && modified == other.modified;
  }
};

// What the base block says: whether Windows left the hive dirty (its two
// sequence numbers differ until Windows has written all of a change, and
// its logs, .LOG, .LOG1 and .LOG2, hold what the file lacks; Windows replays
// them when it next loads the hive), and the format's minor version.
struct BaseFacts {
  bool dirty = false;
  std::uint32_t minor = 5;
};
BaseFacts readBaseFacts(const std::string &path) {
  char base[28] = {};
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  const bool read = fd >= 0 && ::pread(fd, base, sizeof base, 0) == sizeof base;
  if (fd >= 0)
    ::close(fd);
  if (!read)
    return {};
  return {std::memcmp(base + 4, base + 8, 4) != 0,
          regfMinorVersion(std::string_view(base, sizeof base))};
}

FileIdentity identify(const std::string &path) {
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0)
    return {};
  return {true, status.st_dev, status.st_ino, status.st_size,
          status.st_mtim.tv_sec * 1000000000LL + status.st_mtim.tv_nsec};
}

using Children = std::vector<std::pair<std::u16string, KeyId>>;

// Where a sub-key of that upcased name is, or would go, in the sorted list.
Children::iterator slotOf(Children &children, const std::u16string &folded) {
  return std::lower_bound(
      children.begin(), children.end(), folded,
      [](const auto &entry, const std::u16string &key) { return entry.first < key; });
}

struct Node {
  std::u16string name;
  std::u16string folded; // the upcased path from \REGISTRY
  std::u16string keyClass;
  KeyId parent = 0; // 0 for MACHINE and USER
  int hive = -1;    // -1 for MACHINE and USER
  hive_node_h source = 0;
  bool childrenLoaded = false;
  bool valuesLoaded = false;
  bool isVolatile = false;
  bool deleted = false; // by the running call, until it ends
  std::uint64_t written = 0;
  Children children;               // by upcased name
  std::vector<ValueRecord> values; // in stored order
  std::unordered_map<std::u16string, std::size_t> valueIndex;
};

struct Hive {
  std::u16string mount; // the hive root's path from \REGISTRY
  std::string file;
  UniqueHive image;
  KeyId root = 0;
  FileIdentity hiveFile, journalFile;
  std::size_t replayed = 0; // the journal's operations applied in memory
  DWORD error = ERROR_SUCCESS;
  bool dirty = false; // Windows' own logs hold changes the file lacks
  std::uint32_t minor = 5;
  // The digest of the file as loaded, once something needed it.
  std::optional<HiveDigest> digest;
  // The file as last checked whole before a write, and what was wrong.
  FileIdentity checkedAs;
  std::string damage;
  HiveJournal journal;
  bool appended = false; // since the last checkpoint, by this process
};

using Call = std::vector<HiveOperation>;

class Installation {
public:
  explicit Installation(std::string root) : m_root(std::move(root)), m_pid(::getpid()) {
    m_machine = addNode(0, kMachine, -1, 0);
    m_user = addNode(0, kUser, -1, 0);
    const std::string config = findBelow(m_root, "Windows/System32/config");
    mount(m_machine, u"SOFTWARE", findBelow(config, "SOFTWARE"));
    mount(m_machine, u"SYSTEM", findBelow(config, "SYSTEM"));
    mount(m_user, u".DEFAULT", findBelow(config, "DEFAULT"));
    mountProfiles();
  }

  const std::string &root() const { return m_root; }
  pid_t pid() const { return m_pid; }
  HiveWriterLock &lock() { return m_lock; }
  Hive &hive(int index) { return *m_hives[static_cast<std::size_t>(index)]; }
  std::size_t hiveCount() const { return m_hives.size(); }

  // A key still there, or null.
  Node *find(KeyId id) {
    auto found = m_nodes.find(id);
    if (found == m_nodes.end()) {
      // A key of a hive read again is in memory once its path is walked.
      auto path = m_pathById.find(id);
      if (path == m_pathById.end() || keyAtPath(std::u16string(path->second)) != id)
        return nullptr;
      found = m_nodes.find(id);
    }
    return found->second.deleted ? nullptr : &found->second;
  }
  // A key still there; throws ERROR_KEY_DELETED, or the error of a hive
  // that cannot be read.
  Node &live(KeyId id) {
    Node *node = find(id);
    if (node == nullptr)
      throw RegistryFailure{ERROR_KEY_DELETED};
    if (node->hive >= 0 && hive(node->hive).error != ERROR_SUCCESS)
      throw RegistryFailure{hive(node->hive).error};
    return *node;
  }

  Node &withChildren(KeyId id);
  Node &withValues(KeyId id);
  std::optional<KeyId> child(KeyId parent, std::u16string_view name);
  KeyId addChild(KeyId parent, std::u16string_view name, bool isVolatile);
  void unlink(KeyId id);
  void relink(KeyId id);
  // Makes id the key at its path again (a deletion undone).
  void remember(KeyId id) { m_idByPath[m_nodes.at(id).folded] = id; }
  std::vector<KeyId> subtree(KeyId id);
  void forget(KeyId id);
  std::u16string pathInHive(KeyId id);
  std::optional<KeyId> keyAtPath(std::u16string_view path);

  // Brings every hive up to what its files hold now.
  void refresh();
  // Throws ERROR_BADDB unless the hive may be written: clean, and whole as
  // its check before the first write found it.
  void requireWritable(Hive &hive);
  const HiveDigest &digestOf(Hive &hive);
  // Folds a hive's journal into it; the writer lock must be held.
  DWORD checkpoint(Hive &hive);
  DWORD openJournal(Hive &hive);

  void replay(int index, const HiveOperation &op);
  void setRaw(Node &node, std::u16string_view name, DWORD type, std::vector<BYTE> data,
              std::size_t at);
  void eraseValueAt(Node &node, std::size_t at);

  std::vector<std::u16string> mounts() const {
    std::vector<std::u16string> paths;
    for (const auto &hive : m_hives)
      paths.push_back(hive->mount);
    return paths;
  }

  std::unordered_map<KeyId, Node> &nodes() { return m_nodes; }

private:
  KeyId addNode(KeyId parent, std::u16string_view name, int hive, hive_node_h source);
  void linkChild(Node &parent, const std::u16string &name, KeyId id);
  void mount(KeyId container, std::u16string_view name, const std::string &file);
  void mountProfiles();
  void loadHive(int index);
  std::optional<KeyId> controlSet(KeyId systemRoot);

  std::string m_root;
  pid_t m_pid;
  std::unordered_map<KeyId, Node> m_nodes;
  // Ids by upcased path, kept when a hive is read again: a handle keeps
  // naming its key when another process changed the hive.
  std::unordered_map<std::u16string, KeyId> m_idByPath;
  std::unordered_map<KeyId, std::u16string> m_pathById;
  KeyId m_nextId = 1;
  KeyId m_machine = 0, m_user = 0;
  std::vector<std::unique_ptr<Hive>> m_hives;
  HiveWriterLock m_lock;
};

KeyId Installation::addNode(KeyId parent, std::u16string_view name, int hive, hive_node_h source) {
  Node node;
  node.name = std::u16string(name);
  node.folded = (parent ? m_nodes.at(parent).folded + u'\\' : std::u16string()) + upcase(name);
  node.parent = parent;
  node.hive = hive;
  node.source = source;
  node.childrenLoaded = node.valuesLoaded = source == 0;
  // A key made again where one was deleted by the same call is another key:
  // the deleted one's handles must not reach it.
  auto known = m_idByPath.find(node.folded);
  const KeyId id =
      known != m_idByPath.end() && m_nodes.count(known->second) == 0 ? known->second : m_nextId++;
  m_idByPath[node.folded] = id;
  m_pathById[id] = node.folded;
  m_nodes[id] = std::move(node);
  return id;
}

void Installation::linkChild(Node &parent, const std::u16string &name, KeyId id) {
  const std::u16string folded = upcase(name);
  const auto at = slotOf(parent.children, folded);
  if (at == parent.children.end() || at->first != folded)
    parent.children.insert(at, {folded, id});
}

void Installation::mount(KeyId container, std::u16string_view name, const std::string &file) {
  auto hive = std::make_unique<Hive>();
  hive->mount = m_nodes.at(container).name + u'\\' + std::u16string(name);
  hive->file = file;
  m_hives.push_back(std::move(hive));
  const int index = static_cast<int>(m_hives.size() - 1);
  const KeyId root = addNode(container, name, index, 0);
  m_hives.back()->root = root;
  linkChild(m_nodes.at(container), std::u16string(name), root);
  loadHive(index);
}

void Installation::loadHive(int index) {
  Hive &h = hive(index);
  // What memory held of the hive goes; ids stay with their paths.
  for (auto it = m_nodes.begin(); it != m_nodes.end();)
    it = it->second.hive == index && it->first != h.root ? m_nodes.erase(it) : std::next(it);
  Node &root = m_nodes.at(h.root);
  Node fresh;
  fresh.name = root.name;
  fresh.folded = root.folded;
  fresh.parent = root.parent;
  fresh.hive = index;
  fresh.childrenLoaded = fresh.valuesLoaded = true;
  root = std::move(fresh);
  h.replayed = 0;
  h.error = ERROR_SUCCESS;
  h.hiveFile = identify(h.file);
  h.journalFile = identify(hiveJournalPath(h.file));
  h.digest.reset();
  const BaseFacts facts = h.file.empty() ? BaseFacts{} : readBaseFacts(h.file);
  h.dirty = facts.dirty;
  h.minor = facts.minor;
  h.image.reset(h.file.empty() ? nullptr : hivex_open(h.file.c_str(), 0));
  if (!h.image) {
    h.error = h.file.empty() || errno == ENOENT ? ERROR_FILE_NOT_FOUND
              : errno == EACCES                 ? ERROR_ACCESS_DENIED
                                                : ERROR_BADDB;
    return;
  }
  root.source = hivex_root(h.image.get());
  root.written = static_cast<std::uint64_t>(hivex_node_timestamp(h.image.get(), root.source));
  root.childrenLoaded = root.valuesLoaded = root.source == 0;
  std::vector<HiveOperation> ops;
  try {
    if (h.journalFile.exists &&
        (h.error = readHiveJournal(h.file, digestOf(h), ops)) != ERROR_SUCCESS)
      return;
    for (const HiveOperation &op : ops)
      replay(index, op);
  } catch (const RegistryFailure &failure) {
    h.error = failure.code;
  }
  h.replayed = ops.size();
}

const HiveDigest &Installation::digestOf(Hive &h) {
  if (!h.digest) {
    HiveDigest digest{};
    if (const DWORD error = digestOfFile(h.file, digest))
      throw RegistryFailure{error};
    h.digest = digest;
  }
  return *h.digest;
}

void Installation::requireWritable(Hive &h) {
  // Rewriting a dirty hive would mark it clean and so drop what Windows'
  // logs still hold: such a hive is only read.
  if (h.dirty)
    throw RegistryFailure{ERROR_BADDB};
  if (!(h.checkedAs == h.hiveFile)) {
    std::string image;
    const int fd = ::open(h.file.c_str(), O_RDONLY | O_CLOEXEC);
    const DWORD error = fd < 0 ? win32ErrorFromErrno(errno) : readAll(fd, image);
    if (fd >= 0)
      ::close(fd);
    if (error != ERROR_SUCCESS)
      throw RegistryFailure{error};
    HiveFile whole;
    h.damage.clear();
    if (!readRegf(image, whole, h.damage))
      std::fprintf(stderr, "zelsys: %s is damaged (%s); it is read but never written\n",
                   h.file.c_str(), h.damage.c_str());
    h.digest = posix::digestOf(image);
    h.checkedAs = h.hiveFile;
  }
  if (!h.damage.empty())
    throw RegistryFailure{ERROR_BADDB};
}

// The profiles' hives: every ProfileList entry whose folder holds an
// NTUSER.DAT.
void Installation::mountProfiles() {
  Children sids;
  try {
    const std::optional<KeyId> list =
        keyAtPath(u"MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList");
    if (list)
      sids = withChildren(*list).children;
  } catch (const RegistryFailure &) {
    return; // a SOFTWARE hive that cannot be read lists no profiles
  }
  for (const auto &[folded, id] : sids) {
    try {
      withValues(id);
    } catch (const RegistryFailure &) {
      continue;
    }
    Node &entry = m_nodes.at(id);
    auto found = entry.valueIndex.find(u"PROFILEIMAGEPATH");
    if (found == entry.valueIndex.end())
      continue;
    const std::vector<BYTE> &data = entry.values[found->second].data;
    std::u16string image(data.size() / 2, u'\0');
    std::memcpy(image.data(), data.data(), image.size() * sizeof(char16_t));
    image = image.substr(0, image.find(u'\0'));
    for (const auto &[variable, value] :
         {std::pair<std::u16string, std::u16string>{u"%SYSTEMDRIVE%", u"C:"},
          {u"%SYSTEMROOT%", u"C:\\Windows"}}) {
      const std::size_t at = upcase(image).find(variable);
      if (at != std::u16string::npos)
        image.replace(at, variable.size(), value);
    }
    if (image.size() < 3 || upcase(image.substr(0, 3)) != u"C:\\")
      continue;
    std::string relative = utf16ToUtf8(image.substr(3));
    std::replace(relative.begin(), relative.end(), '\\', '/');
    const std::string folder = findBelow(m_root, relative);
    const std::string file = folder.empty() ? "" : findBelow(folder, "NTUSER.DAT");
    if (!file.empty())
      mount(m_user, entry.name, file);
  }
}

Node &Installation::withChildren(KeyId id) {
  Node &node = live(id);
  if (node.childrenLoaded)
    return node;
  hive_h *h = hive(node.hive).image.get();
  Malloced<hive_node_h> children{hivex_node_children(h, node.source)};
  if (!children)
    throw RegistryFailure{errno == ENOMEM ? ERROR_OUTOFMEMORY : ERROR_BADDB};
  const bool isVolatile = node.isVolatile;
  for (const hive_node_h *at = children.get(); *at; ++at) {
    Malloced<char> name{hivex_node_name(h, *at)};
    if (!name)
      throw RegistryFailure{ERROR_BADDB};
    const std::u16string childName = utf8ToUtf16(name.get());
    const KeyId child = addNode(id, childName, node.hive, *at);
    Node &added = m_nodes.at(child);
    added.isVolatile = isVolatile;
    added.written = static_cast<std::uint64_t>(hivex_node_timestamp(h, *at));
    linkChild(m_nodes.at(id), childName, child);
  }
  Node &loaded = m_nodes.at(id);
  loaded.childrenLoaded = true;
  return loaded;
}

Node &Installation::withValues(KeyId id) {
  Node &node = live(id);
  if (node.valuesLoaded)
    return node;
  std::vector<HiveValue> values;
  if (!readHiveValues(hive(node.hive).image.get(), node.source, values))
    throw RegistryFailure{errno == ENOMEM ? ERROR_OUTOFMEMORY : ERROR_BADDB};
  for (HiveValue &value : values) {
    const std::u16string name = utf8ToUtf16(value.name);
    if (node.valueIndex.count(upcase(name)) != 0)
      continue; // a damaged list: only the first of a name counts
    setRaw(node, name, value.type, std::vector<BYTE>(value.data.begin(), value.data.end()),
           node.values.size());
  }
  node.valuesLoaded = true;
  return node;
}

// SYSTEM's CurrentControlSet: the set Select's "Current" names.
std::optional<KeyId> Installation::controlSet(KeyId systemRoot) {
  const std::optional<KeyId> select = child(systemRoot, u"Select");
  if (!select)
    return std::nullopt;
  Node &node = withValues(*select);
  auto found = node.valueIndex.find(u"CURRENT");
  if (found == node.valueIndex.end() || node.values[found->second].data.size() < 4)
    return std::nullopt;
  const BYTE *bytes = node.values[found->second].data.data();
  const DWORD current =
      bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<DWORD>(bytes[3]) << 24;
  std::u16string name = u"ControlSet";
  for (DWORD digit = 100; digit > 0; digit /= 10)
    name += static_cast<char16_t>(u'0' + current / digit % 10);
  return current > 0 && current < 1000 ? child(systemRoot, name) : std::nullopt;
}

std::optional<KeyId> Installation::child(KeyId parent, std::u16string_view name) {
  Node &node = withChildren(parent);
  const std::u16string folded = upcase(name);
  const auto at = slotOf(node.children, folded);
  if (at != node.children.end() && at->first == folded && find(at->second))
    return at->second;
  if (node.hive >= 0 && parent == hive(node.hive).root &&
      hive(node.hive).mount == u"MACHINE\\SYSTEM" && folded == u"CURRENTCONTROLSET")
    return controlSet(parent);
  return std::nullopt;
}

KeyId Installation::addChild(KeyId parent, std::u16string_view name, bool isVolatile) {
  Node &node = withChildren(parent);
  const int index = node.hive;
  const KeyId id = addNode(parent, name, index, 0);
  Node &added = m_nodes.at(id);
  added.isVolatile = isVolatile;
  added.written = fileTimeNow();
  linkChild(m_nodes.at(parent), added.name, id);
  return id;
}

// Takes a key out of its parent's list (it stays in memory until forgotten).
void Installation::unlink(KeyId id) {
  Node &node = m_nodes.at(id);
  auto &siblings = m_nodes.at(node.parent).children;
  siblings.erase(std::remove_if(siblings.begin(), siblings.end(),
                                [id](const auto &entry) { return entry.second == id; }),
                 siblings.end());
}

void Installation::relink(KeyId id) {
  Node &node = m_nodes.at(id);
  linkChild(m_nodes.at(node.parent), node.name, id);
}

// The key and every key of its subtree held in memory, without recursion.
std::vector<KeyId> Installation::subtree(KeyId id) {
  std::vector<KeyId> all{id};
  for (std::size_t i = 0; i < all.size(); ++i)
    for (const auto &entry : m_nodes.at(all[i]).children)
      all.push_back(entry.second);
  return all;
}

void Installation::forget(KeyId id) {
  auto found = m_nodes.find(id);
  if (found == m_nodes.end())
    return;
  auto byPath = m_idByPath.find(found->second.folded);
  if (byPath != m_idByPath.end() && byPath->second == id)
    m_idByPath.erase(byPath);
  m_pathById.erase(id);
  m_nodes.erase(found);
}

std::u16string Installation::pathInHive(KeyId id) {
  std::vector<const std::u16string *> names;
  for (KeyId at = id;;) {
    const Node &node = m_nodes.at(at);
    if (node.hive < 0 || at == hive(node.hive).root)
      break;
    names.push_back(&node.name);
    at = node.parent;
  }
  std::u16string path;
  for (auto name = names.rbegin(); name != names.rend(); ++name)
    path += (path.empty() ? u"" : u"\\") + **name;
  return path;
}

std::optional<KeyId> Installation::keyAtPath(std::u16string_view path) {
  const std::vector<std::u16string_view> parts = pathComponents(path);
  if (parts.empty())
    return std::nullopt;
  std::optional<KeyId> at = equalsIgnoreCase(parts[0], kMachine) ? m_machine
                            : equalsIgnoreCase(parts[0], kUser)  ? std::optional<KeyId>(m_user)
                                                                 : std::nullopt;
  for (std::size_t i = 1; at && i < parts.size(); ++i)
    at = child(*at, parts[i]);
  return at;
}

void Installation::setRaw(Node &node, std::u16string_view name, DWORD type, std::vector<BYTE> data,
                          std::size_t at) {
  const std::u16string folded = upcase(name);
  auto found = node.valueIndex.find(folded);
  if (found != node.valueIndex.end()) {
    node.values[found->second].type = type;
    node.values[found->second].data = std::move(data);
    return;
  }
  node.values.insert(node.values.begin() + static_cast<std::ptrdiff_t>(at),
                     ValueRecord{std::u16string(name), type, std::move(data)});
  for (std::size_t i = at; i < node.values.size(); ++i)
    node.valueIndex[upcase(node.values[i].name)] = i;
}

void Installation::eraseValueAt(Node &node, std::size_t at) {
  node.valueIndex.erase(upcase(node.values[at].name));
  node.values.erase(node.values.begin() + static_cast<std::ptrdiff_t>(at));
  for (std::size_t i = at; i < node.values.size(); ++i)
    node.valueIndex[upcase(node.values[i].name)] = i;
}

// One journal operation on memory: the same results the checkpoint gives
// the hive file.
void Installation::replay(int index, const HiveOperation &op) {
  KeyId at = hive(index).root;
  const bool create = op.kind == HiveOpKind::CreateKey || op.kind == HiveOpKind::SetValue;
  for (const std::u16string_view part : pathComponents(op.keyPath)) {
    const std::optional<KeyId> next = child(at, part);
    if (!next && !create)
      return;
    at = next ? *next : addChild(at, part, false);
  }
  switch (op.kind) {
  case HiveOpKind::CreateKey:
  case HiveOpKind::Folded: // never among a journal's operations
    return;
  case HiveOpKind::DeleteKeyTree:
    if (at != hive(index).root) {
      unlink(at);
      for (const KeyId gone : subtree(at))
        forget(gone);
    }
    return;
  case HiveOpKind::SetValue: {
    Node &node = withValues(at);
    setRaw(node, op.valueName, op.type, op.data, node.values.size());
    return;
  }
  case HiveOpKind::DeleteValue: {
    Node &node = withValues(at);
    auto found = node.valueIndex.find(upcase(op.valueName));
    if (found != node.valueIndex.end())
      eraseValueAt(node, found->second);
    return;
  }
  }
}

void Installation::refresh() {
  for (std::size_t i = 0; i < m_hives.size(); ++i) {
    Hive &h = *m_hives[i];
    const int index = static_cast<int>(i);
    if (!(identify(h.file) == h.hiveFile)) {
      loadHive(index);
      continue;
    }
    const FileIdentity journal = identify(hiveJournalPath(h.file));
    if (journal == h.journalFile || h.error != ERROR_SUCCESS)
      continue;
    // Only grown: the new calls go on top; anything else is read afresh.
    if (!journal.exists || !h.journalFile.exists || journal.inode != h.journalFile.inode ||
        journal.size < h.journalFile.size) {
      loadHive(index);
      continue;
    }
    std::vector<HiveOperation> ops;
    h.journalFile = journal;
    try {
      if ((h.error = readHiveJournal(h.file, digestOf(h), ops)) != ERROR_SUCCESS)
        continue;
      for (std::size_t op = h.replayed; op < ops.size(); ++op)
        replay(index, ops[op]);
    } catch (const RegistryFailure &failure) {
      h.error = failure.code;
    }
    h.replayed = ops.size();
  }
}

DWORD Installation::openJournal(Hive &h) {
  if (h.journal.isOpen() && h.journal.isCurrent())
    return ERROR_SUCCESS;
  try {
    return h.journal.open(h.file, m_lock, digestOf(h));
  } catch (const RegistryFailure &failure) {
    return failure.code;
  }
}

DWORD Installation::checkpoint(Hive &h) {
  DWORD result = openJournal(h);
  if (result == ERROR_SUCCESS)
    result = h.journal.checkpoint();
  if (result != ERROR_SUCCESS)
    return result;
  // Memory already holds what the new file holds; the old image still
  // serves the keys not read yet, as their content did not change.
  h.hiveFile = identify(h.file);
  h.journalFile = identify(hiveJournalPath(h.file));
  h.digest = h.journal.hiveDigest();
  h.checkedAs = h.hiveFile; // written whole by us, from a hive that passed
  h.damage.clear();
  h.replayed = 0;
  h.appended = false;
  return ERROR_SUCCESS;
}

// The store operations of one call, with what undoes them.
class HiveTransaction final : public RegistryTransaction {
public:
  explicit HiveTransaction(Installation &installation) : m_in(installation) {}

  const std::string &machine() const override { return m_in.root(); }

  std::optional<KeyId> keyAtPath(std::u16string_view path) override { return m_in.keyAtPath(path); }
  std::optional<KeyId> child(KeyId parent, std::u16string_view name) override {
    return m_in.child(parent, name);
  }
  std::optional<KeyRecord> key(KeyId id) override {
    const Node *node = m_in.find(id);
    if (node == nullptr)
      return std::nullopt;
    return KeyRecord{node->name, node->keyClass, node->isVolatile, node->written};
  }
  std::optional<KeyId> parentOf(KeyId id) override {
    const Node *node = m_in.find(id);
    return node && node->parent ? std::optional<KeyId>(node->parent) : std::nullopt;
  }
  bool hasChildren(KeyId id) override { return !m_in.withChildren(id).children.empty(); }
  DWORD depth(KeyId id) override {
    DWORD levels = 0;
    for (const Node *node = &m_in.live(id); node->parent; node = &m_in.live(node->parent))
      ++levels;
    return levels;
  }

  KeyId createChild(KeyId parent, std::u16string_view name, std::u16string_view keyClass,
                    bool isVolatile) override {
    if (m_in.live(parent).hive < 0)
      throw RegistryFailure{ERROR_ACCESS_DENIED}; // hives are mounted, not made
    const KeyId id = m_in.addChild(parent, name, isVolatile);
    m_in.nodes().at(id).keyClass = std::u16string(keyClass);
    m_undo.push_back([this, id] {
      m_in.unlink(id);
      m_in.forget(id);
    });
    record(id, HiveOpKind::CreateKey);
    return id;
  }

  void deleteKey(KeyId id) override {
    Node &node = m_in.live(id);
    if (node.hive < 0 || id == m_in.hive(node.hive).root)
      throw RegistryFailure{ERROR_ACCESS_DENIED};
    record(id, HiveOpKind::DeleteKeyTree);
    m_in.unlink(id);
    const std::vector<KeyId> gone = m_in.subtree(id);
    for (const KeyId key : gone)
      m_in.nodes().at(key).deleted = true;
    m_doomed.insert(m_doomed.end(), gone.begin(), gone.end());
    m_undo.push_back([this, id, gone] {
      for (const KeyId key : gone) {
        m_in.nodes().at(key).deleted = false;
        m_in.remember(key);
      }
      m_in.relink(id);
      m_doomed.resize(m_doomed.size() - gone.size());
    });
  }

  void clearKey(KeyId id) override {
    const auto children = m_in.withChildren(id).children;
    for (const auto &entry : children)
      deleteKey(entry.second);
    const auto values = m_in.withValues(id).values;
    for (const ValueRecord &value : values)
      deleteValue(id, value.name);
  }

  std::optional<KeyRecord> childAt(KeyId parent, DWORD index) override {
    const Node &node = m_in.withChildren(parent);
    if (index >= node.children.size())
      return std::nullopt;
    return key(node.children[index].second);
  }
  std::optional<ValueRecord> valueAt(KeyId id, DWORD index) override {
    const Node &node = m_in.withValues(id);
    if (index >= node.values.size())
      return std::nullopt;
    return node.values[index];
  }
  std::optional<ValueRecord> value(KeyId id, std::u16string_view name) override {
    const Node &node = m_in.withValues(id);
    auto found = node.valueIndex.find(upcase(name));
    if (found == node.valueIndex.end())
      return std::nullopt;
    return node.values[found->second];
  }

  void setValue(KeyId id, std::u16string_view name, DWORD type, const BYTE *data,
                DWORD size) override {
    Node &node = m_in.withValues(id);
    if (node.hive < 0)
      throw RegistryFailure{ERROR_ACCESS_DENIED};
    // More than the hive's format or a journal record holds is refused now,
    // rather than acknowledged and never folded in.
    if (size > std::min(maxValueData(m_in.hive(node.hive).minor), kMaxJournalValueData))
      throw RegistryFailure{ERROR_NO_SYSTEM_RESOURCES};
    auto found = node.valueIndex.find(upcase(name));
    if (found != node.valueIndex.end()) {
      const std::size_t at = found->second;
      m_undo.push_back([this, id, at, old = node.values[at]] {
        Node &restored = m_in.nodes().at(id);
        restored.values[at] = old;
      });
    } else {
      m_undo.push_back([this, id, folded = upcase(name)] {
        Node &restored = m_in.nodes().at(id);
        m_in.eraseValueAt(restored, restored.valueIndex.at(folded));
      });
    }
    m_in.setRaw(node, name, type, std::vector<BYTE>(data, data + size), node.values.size());
    touch(node);
    if (HiveOperation *op = record(id, HiveOpKind::SetValue)) {
      op->valueName = std::u16string(name);
      op->type = type;
      op->data.assign(data, data + size);
    }
  }

  bool deleteValue(KeyId id, std::u16string_view name) override {
    Node &node = m_in.withValues(id);
    auto found = node.valueIndex.find(upcase(name));
    if (found == node.valueIndex.end())
      return false;
    const std::size_t at = found->second;
    m_undo.push_back([this, id, at, old = node.values[at]] {
      Node &restored = m_in.nodes().at(id);
      m_in.setRaw(restored, old.name, old.type, old.data, at);
    });
    m_in.eraseValueAt(node, at);
    touch(node);
    if (HiveOperation *op = record(id, HiveOpKind::DeleteValue))
      op->valueName = std::u16string(name);
    return true;
  }

  KeyFigures figures(KeyId id) override {
    KeyFigures figures;
    const Node &withKeys = m_in.withChildren(id);
    figures.subKeys = static_cast<DWORD>(withKeys.children.size());
    for (const auto &entry : withKeys.children) {
      const Node &child = m_in.nodes().at(entry.second);
      figures.maxSubKeyLen = std::max(figures.maxSubKeyLen, static_cast<DWORD>(child.name.size()));
      figures.maxClassLen =
          std::max(figures.maxClassLen, static_cast<DWORD>(child.keyClass.size()));
    }
    const Node &node = m_in.withValues(id);
    figures.values = static_cast<DWORD>(node.values.size());
    for (const ValueRecord &value : node.values) {
      figures.maxValueNameLen =
          std::max(figures.maxValueNameLen, static_cast<DWORD>(value.name.size()));
      figures.maxValueLen = std::max(figures.maxValueLen, static_cast<DWORD>(value.data.size()));
    }
    return figures;
  }

  void readKey(KeyId id, bool withVolatile, TreeKey &entry, std::vector<KeyId> &subKeys) override {
    const Node &node = m_in.withValues(id);
    entry.name = node.name;
    entry.keyClass = node.keyClass;
    entry.values = node.values;
    for (const auto &child : m_in.withChildren(id).children)
      if (withVolatile || !m_in.nodes().at(child.second).isVolatile)
        subKeys.push_back(child.second);
  }

  void dropVolatileKeys() override {
    std::vector<KeyId> tops;
    for (const auto &[id, node] : m_in.nodes())
      if (node.isVolatile && !node.deleted && !m_in.nodes().at(node.parent).isVolatile)
        tops.push_back(id);
    for (const KeyId top : tops) {
      m_in.unlink(top);
      for (const KeyId gone : m_in.subtree(top))
        m_in.forget(gone);
    }
  }

  std::optional<std::u16string_view> predefinedPath(std::uint32_t value) override {
    switch (value) {
    case 0x80000000u:
      return u"MACHINE\\SOFTWARE\\Classes";
    case 0x80000001u:
      return u"USER\\.DEFAULT";
    case 0x80000002u:
      return u"MACHINE";
    case 0x80000003u:
      return u"USER";
    case 0x80000005u:
      return u"MACHINE\\SYSTEM\\CurrentControlSet\\Hardware Profiles\\Current";
    default:
      return std::nullopt;
    }
  }

  // Ends the call: its operations go to the journals, or everything it did
  // is undone.
  DWORD finish(DWORD result) {
    if (result == ERROR_SUCCESS)
      result = writeJournals();
    if (result != ERROR_SUCCESS) {
      undo();
      return result;
    }
    for (const KeyId gone : m_doomed)
      m_in.forget(gone);
    m_undo.clear();
    m_doomed.clear();
    return ERROR_SUCCESS;
  }

  void undo() {
    for (auto step = m_undo.rbegin(); step != m_undo.rend(); ++step)
      (*step)();
    m_undo.clear();
    m_doomed.clear();
    m_calls.clear();
  }

protected:
  std::vector<std::u16string_view> protectedPaths() override {
    m_protected = m_in.mounts();
    m_protected.insert(m_protected.end(), {kMachine, kUser, u"MACHINE\\SOFTWARE\\Classes",
                                           u"MACHINE\\SOFTWARE\\Wow6432Node"});
    return {m_protected.begin(), m_protected.end()};
  }

private:
  // The journal operation for a change to a key that lives in a hive file;
  // nothing for volatile keys, which stay in memory.
  HiveOperation *record(KeyId id, HiveOpKind kind) {
    const Node &node = m_in.nodes().at(id);
    if (node.hive < 0 || node.isVolatile)
      return nullptr;
    m_in.requireWritable(m_in.hive(node.hive));
    Call &call = m_calls[node.hive];
    call.push_back(HiveOperation{kind, m_in.pathInHive(id), {}, REG_NONE, {}});
    return &call.back();
  }

  void touch(Node &node) {
    const std::uint64_t was = node.written;
    node.written = fileTimeNow();
    m_undo.push_back([&node, was] { node.written = was; });
  }

  DWORD writeJournals() {
    for (auto &[index, call] : m_calls) {
      Hive &h = m_in.hive(index);
      DWORD result = m_in.openJournal(h);
      if (result == ERROR_SUCCESS)
        result = h.journal.append(call);
      if (result != ERROR_SUCCESS)
        return result;
      h.appended = true;
      h.journalFile = identify(hiveJournalPath(h.file));
      h.replayed += call.size();
      // A large journal is folded now; failing that, it simply waits.
      if (static_cast<std::uint64_t>(h.journalFile.size) > kCheckpointBytes)
        (void)m_in.checkpoint(h);
    }
    m_calls.clear();
    return ERROR_SUCCESS;
  }

  Installation &m_in;
  std::vector<std::function<void()>> m_undo;
  std::vector<KeyId> m_doomed;
  std::map<int, Call> m_calls;
  std::vector<std::u16string> m_protected;
};

std::mutex gHiveLock;
std::unique_ptr<Installation> gInstallation;

DWORD checkpointLocked() {
  if (!gInstallation || gInstallation->pid() != ::getpid())
    return ERROR_SUCCESS;
  bool any = false;
  for (std::size_t i = 0; i < gInstallation->hiveCount(); ++i)
    any = any || gInstallation->hive(static_cast<int>(i)).appended;
  if (!any)
    return ERROR_SUCCESS;
  HiveWriterLock &lock = gInstallation->lock();
  DWORD result = lock.acquire(gInstallation->root());
  // What other writers did since this process last looked: a journal they
  // bound to a newer hive is theirs to fold too, never stale.
  if (result == ERROR_SUCCESS)
    gInstallation->refresh();
  for (std::size_t i = 0; result == ERROR_SUCCESS && i < gInstallation->hiveCount(); ++i) {
    Hive &h = gInstallation->hive(static_cast<int>(i));
    if (h.appended)
      result = gInstallation->checkpoint(h);
  }
  lock.release();
  return result;
}

void checkpointAtExit() {
  try {
    const std::lock_guard<std::mutex> guard(gHiveLock);
    (void)checkpointLocked();
  } catch (...) {
    // The journals stay; the next process replays them.
  }
}

Installation &installationAt(const std::string &root) {
  if (gInstallation && gInstallation->pid() != ::getpid())
    (void)gInstallation.release(); // the parent's; never touched here
  if (!gInstallation || gInstallation->root() != root) {
    (void)checkpointLocked();
    gInstallation = std::make_unique<Installation>(root);
    static const bool registered = (prepareDigests(), std::atexit(checkpointAtExit) == 0);
    (void)registered;
  }
  return *gInstallation;
}

} // namespace

DWORD runHiveTransaction(const std::string &root, bool write,
                         const std::function<DWORD(RegistryTransaction &)> &body) {
  try {
    const std::lock_guard<std::mutex> guard(gHiveLock);
    Installation &installation = installationAt(root);
    // The lock comes before the hives are brought up to date, so nothing
    // lands between reading them and appending to their journals.
    struct Releaser {
      HiveWriterLock *lock = nullptr;
      ~Releaser() {
        if (lock)
          lock->release();
      }
    } releaser;
    if (write) {
      if (const DWORD error = installation.lock().acquire(root))
        return error;
      releaser.lock = &installation.lock();
    }
    installation.refresh();
    HiveTransaction tx(installation);
    DWORD result;
    try {
      result = body(tx);
    } catch (const RegistryFailure &failure) {
      result = failure.code;
    } catch (...) {
      tx.undo();
      throw;
    }
    return tx.finish(result);
  } catch (const std::bad_alloc &) {
    return ERROR_OUTOFMEMORY;
  } catch (...) {
    return ERROR_INVALID_FUNCTION;
  }
}

DWORD checkpointHives() {
  try {
    const std::lock_guard<std::mutex> guard(gHiveLock);
    return checkpointLocked();
  } catch (const std::bad_alloc &) {
    return ERROR_OUTOFMEMORY;
  }
}

} // namespace zelsys::posix
