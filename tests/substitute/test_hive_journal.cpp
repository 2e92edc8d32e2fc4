// test_hive_journal.cpp - the hive journal, the writer lock and the
// checkpoint: journals folded into hives from the project's writer and read
// back by hivex, a second fold of the same journal changing nothing, torn
// tails ignored, damaged hives refused untouched, and writers killed at
// random moments losing no call that had returned.
#include "HiveJournal.h"
#include "RegfWriter.h"
#include "Utf.h"
#include "zelsys/winconst.h"

#include "hive_test_folder.h"
#include "killed_writer.h"

#include <gtest/gtest.h>
#include <hivex.h>

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace zelsys;
using namespace zelsys::posix;

namespace {

std::string slurp(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}
void spill(const std::string &path, const std::string &bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

std::vector<BYTE> bytes(std::string_view text) { return {text.begin(), text.end()}; }

HiveOperation createKey(std::u16string path) {
  return {HiveOpKind::CreateKey, std::move(path), u"", REG_NONE, {}};
}
HiveOperation deleteTree(std::u16string path) {
  return {HiveOpKind::DeleteKeyTree, std::move(path), u"", REG_NONE, {}};
}
HiveOperation setValue(std::u16string path, std::u16string name, DWORD type,
                       std::vector<BYTE> data) {
  return {HiveOpKind::SetValue, std::move(path), std::move(name), type, std::move(data)};
}
HiveOperation deleteValue(std::u16string path, std::u16string name) {
  return {HiveOpKind::DeleteValue, std::move(path), std::move(name), REG_NONE, {}};
}

// A small SOFTWARE-like hive.
std::string writeBaseHive(const TempFolder &folder) {
  HiveTree tree{{u"ROOT", u"", 1, {}, 0},
                {u"Software", u"", 1, {}, 0},
                {u"Vendor",
                 u"",
                 1,
                 {{u"Keep", REG_SZ, bytes("k")},
                  {u"Gone", REG_DWORD, bytes("1234")},
                  {u"Large", REG_BINARY, bytes(std::string(40000, 'L'))}},
                 1},
                {u"Old", u"", 1, {}, 1},
                {u"Sub", u"", 1, {{u"x", REG_BINARY, bytes("xyz12")}}, 3},
                {u"\u00dcn\u00efcode", u"", 1, {}, 1}};
  const std::string file = (folder.path / "SOFTWARE").string();
  EXPECT_EQ(writeRegfFile(file, tree), ERROR_SUCCESS);
  return file;
}

// Every key ("\Path") and value ("\Path:name" => "type:data") hivex reads.
using Dump = std::map<std::string, std::string>;
std::string freed(char *text) {
  std::string out = text ? text : "(null)";
  std::free(text);
  return out;
}
Dump dumpHive(const std::string &file) {
  Dump dump;
  hive_h *hive = hivex_open(file.c_str(), 0);
  EXPECT_TRUE(hive) << "hivex cannot open " << file;
  if (!hive)
    return dump;
  std::vector<std::pair<hive_node_h, std::string>> pending{{hivex_root(hive), ""}};
  while (!pending.empty()) {
    const auto [node, path] = pending.back();
    pending.pop_back();
    dump[path.empty() ? "\\" : path] = "";
    hive_node_h *children = hivex_node_children(hive, node);
    for (std::size_t i = 0; children && children[i]; ++i)
      pending.emplace_back(children[i], path + "\\" + freed(hivex_node_name(hive, children[i])));
    std::free(children);
    hive_value_h *values = hivex_node_values(hive, node);
    for (std::size_t i = 0; values && values[i]; ++i) {
      alignas(hive_type) unsigned char type[sizeof(hive_type)] = {}; // may be past the enum
      std::size_t size = 0;
      char *data = hivex_value_value(hive, values[i], reinterpret_cast<hive_type *>(type), &size);
      DWORD number = 0;
      std::memcpy(&number, type, sizeof number);
      dump[path + ":" + freed(hivex_value_key(hive, values[i]))] =
          std::to_string(number) + ":" + std::string(data, data ? size : 0);
      std::free(data);
    }
    std::free(values);
  }
  hivex_close(hive);
  return dump;
}

// The largest used cell. Windows reads data past 16,344 bytes only from big
// data segments, so no cell may hold more than one segment and its spare.
std::size_t largestUsedCell(const std::string &hive) {
  auto get = [&](std::size_t at) {
    std::uint32_t v = 0;
    std::memcpy(&v, hive.data() + at, 4); // little-endian host
    return v;
  };
  std::size_t largest = 0;
  for (std::size_t bin = 4096; bin + 32 <= hive.size(); bin += get(bin + 8))
    for (std::size_t cell = bin + 32, size; cell < bin + get(bin + 8); cell += size) {
      const auto raw = static_cast<std::int32_t>(get(cell));
      size = raw < 0 ? 0u - static_cast<std::size_t>(raw) : static_cast<std::size_t>(raw);
      largest = raw < 0 ? std::max(largest, size) : largest;
      if (size == 0)
        return SIZE_MAX;
    }
  return largest;
}

HiveDigest digestNow(const std::string &hive) {
  HiveDigest digest{};
  EXPECT_EQ(digestOfFile(hive, digest), ERROR_SUCCESS);
  return digest;
}

// Takes the lock, opens the journal, appends ops and, when asked, folds it.
DWORD journalUnderLock(const std::string &hive, const std::string &root,
                       const std::vector<HiveOperation> &ops, bool fold = false) {
  HiveWriterLock lock;
  HiveJournal journal;
  DWORD result = lock.acquire(root);
  if (result == ERROR_SUCCESS)
    result = journal.open(hive, lock, digestNow(hive));
  for (const auto &op : ops)
    if (result == ERROR_SUCCESS)
      result = journal.append(op);
  return result == ERROR_SUCCESS && fold ? journal.checkpoint() : result;
}
DWORD checkpoint(const std::string &hive, const std::string &root) {
  return journalUnderLock(hive, root, {}, true);
}

struct FoldCase {
  const char *what;
  std::vector<HiveOperation> ops;
  // What the hive holds afterwards: a key or value with its "type:data", or
  // nothing (absent); entries not named keep the base hive's state.
  std::vector<std::pair<std::string, std::optional<std::string>>> expect;
};

const std::string kBig(20000, 'B'); // big data segments

const FoldCase kFoldCases[] = {
    {"nested create",
     {createKey(u"Software\\New\\Deep")},
     {{"\\Software\\New", ""}, {"\\Software\\New\\Deep", ""}}},
    {"create existing in other case",
     {createKey(u"SOFTWARE\\vendor")},
     {{"\\SOFTWARE", std::nullopt}, {"\\Software\\Vendor:Keep", "1:k"}}},
    {"set new, big data",
     {setValue(u"Software\\Vendor", u"Fresh", REG_BINARY, bytes(kBig))},
     {{"\\Software\\Vendor:Fresh", "3:" + kBig}}},
    {"a type no Windows defines",
     {setValue(u"Software", u"odd", 0x12345, bytes("odd"))},
     {{"\\Software:odd", "74565:odd"}}},
    {"replace keeps the stored name",
     {setValue(u"software\\VENDOR", u"KEEP", REG_EXPAND_SZ, bytes("new"))},
     {{"\\Software\\Vendor:Keep", "2:new"}, {"\\Software\\Vendor:KEEP", std::nullopt}}},
    {"delete value",
     {deleteValue(u"SOFTWARE\\Vendor", u"gone")},
     {{"\\Software\\Vendor:Gone", std::nullopt}, {"\\Software\\Vendor:Keep", "1:k"}}},
    {"delete tree",
     {deleteTree(u"software\\old")},
     {{"\\Software\\Old", std::nullopt},
      {"\\Software\\Old\\Sub", std::nullopt},
      {"\\Software\\Old\\Sub:x", std::nullopt}}},
    {"what is gone stays gone",
     {deleteTree(u"Software\\Nowhere"), deleteValue(u"Software\\Nowhere", u"x"),
      deleteValue(u"Software\\Vendor", u"none")},
     {}},
    {"non-ASCII names fold",
     {setValue(u"software\\\u00fcN\u00cfCODE", u"\u00e9t\u00e9", REG_DWORD, bytes("abcd")),
      setValue(u"Software\\\u00dcn\u00efcode", u"\u00c9T\u00c9", REG_DWORD, bytes("efgh"))},
     {{"\\Software\\\u00dcn\u00efcode:\u00e9t\u00e9", "4:efgh"}}},
    {"delete, create, set in order",
     {deleteTree(u"Software\\Vendor"), createKey(u"software\\vendor"),
      setValue(u"Software\\Vendor", u"", REG_SZ, bytes("dflt")),
      setValue(u"Software\\Vendor\\A\\B", u"v", REG_NONE, {})},
     {{"\\Software\\Vendor", std::nullopt},
      {"\\Software\\Vendor:Keep", std::nullopt},
      {"\\Software\\Vendor:Gone", std::nullopt},
      {"\\Software\\Vendor:Large", std::nullopt},
      {"\\Software\\vendor", ""},
      {"\\Software\\vendor:", "1:dflt"},
      {"\\Software\\vendor\\A", ""},
      {"\\Software\\vendor\\A\\B", ""},
      {"\\Software\\vendor\\A\\B:v", "0:"}}},
    {"what a later deletion undid leaves no trace, edits between keys keep order",
     {createKey(u"Software\\Tmp\\Sub"), setValue(u"Software\\Tmp\\Sub", u"t", REG_SZ, bytes("1")),
      setValue(u"Software\\Vendor", u"Keep", REG_SZ, bytes("2")),
      setValue(u"Software\\Old\\Sub", u"x", REG_SZ, bytes("3")),
      setValue(u"Software\\Vendor", u"keep", REG_SZ, bytes("4")), deleteTree(u"SOFTWARE\\tmp"),
      deleteValue(u"Software\\Vendor", u"Gone"), deleteTree(u"Software\\Old"),
      createKey(u"Software\\Old"), setValue(u"Software\\Vendor", u"Gone", REG_SZ, bytes("5"))},
     {{"\\Software\\Tmp", std::nullopt},
      {"\\Software\\Vendor:Keep", "1:4"},
      {"\\Software\\Vendor:Gone", "1:5"},
      {"\\Software\\Old\\Sub", std::nullopt},
      {"\\Software\\Old\\Sub:x", std::nullopt}}},
};

TEST(HiveJournal, CheckpointFoldsEveryOperationAndAJournalOfAnEarlierHiveIsSetAside) {
  for (std::size_t i = 0; i < std::size(kFoldCases); ++i) {
    const FoldCase &c = kFoldCases[i];
    SCOPED_TRACE(testing::Message() << "case " << i << " (" << c.what << ")");
    TempFolder folder;
    const std::string root = folder.path.string(), hive = writeBaseHive(folder);
    Dump expected = dumpHive(hive);
    for (const auto &[name, state] : c.expect)
      state ? void(expected[name] = *state) : void(expected.erase(name));

    ASSERT_EQ(journalUnderLock(hive, root, c.ops), ERROR_SUCCESS);
    const std::string journal = slurp(hiveJournalPath(hive));
    ASSERT_EQ(checkpoint(hive, root), ERROR_SUCCESS);
    EXPECT_FALSE(std::filesystem::exists(hiveJournalPath(hive)));
    const Dump folded = dumpHive(hive);
    EXPECT_EQ(folded, expected);
    EXPECT_LE(largestUsedCell(slurp(hive)), 16352u);

    // The same journal again, now beside a hive that has changed since it
    // was written: readers ignore it, the writer sets it aside untouched.
    spill(hiveJournalPath(hive), journal);
    std::vector<HiveOperation> read;
    ASSERT_EQ(readHiveJournal(hive, digestNow(hive), read), ERROR_SUCCESS);
    EXPECT_TRUE(read.empty());
    ASSERT_EQ(checkpoint(hive, root), ERROR_SUCCESS);
    EXPECT_EQ(dumpHive(hive), folded);
    EXPECT_EQ(slurp(hiveJournalPath(hive) + ".stale"), journal);
  }
}

TEST(HiveJournal, TornTailIsIgnoredAndCutOff) {
  const std::vector<HiveOperation> ops{createKey(u"A"), setValue(u"A", u"v", REG_SZ, bytes("1")),
                                       deleteValue(u"A", u"w")};
  for (int damage = 0; damage < 3; ++damage) {
    SCOPED_TRACE(testing::Message() << "damage " << damage);
    TempFolder folder;
    const std::string root = folder.path.string(), hive = writeBaseHive(folder);
    ASSERT_EQ(journalUnderLock(hive, root, ops), ERROR_SUCCESS);
    const std::string complete = slurp(hiveJournalPath(hive));
    ASSERT_EQ(journalUnderLock(hive, root, {setValue(u"A", u"torn", REG_SZ, bytes("lost"))}),
              ERROR_SUCCESS);
    std::string torn = slurp(hiveJournalPath(hive));
    if (damage == 0)
      torn.resize(torn.size() - 3); // short payload
    else if (damage == 1)
      torn.back() ^= 0x40; // bad checksum
    else
      torn.resize(complete.size() + 5); // short record header
    spill(hiveJournalPath(hive), torn);

    std::vector<HiveOperation> read;
    ASSERT_EQ(readHiveJournal(hive, digestNow(hive), read), ERROR_SUCCESS);
    EXPECT_EQ(read.size(), ops.size());
    // The writer cuts the tail off, so its next record follows the last
    // completed one.
    ASSERT_EQ(journalUnderLock(hive, root, {createKey(u"B")}), ERROR_SUCCESS);
    EXPECT_EQ(slurp(hiveJournalPath(hive)).substr(0, complete.size()), complete);
    ASSERT_EQ(readHiveJournal(hive, digestNow(hive), read), ERROR_SUCCESS);
    EXPECT_EQ(read.size(), ops.size() + 1);
    ASSERT_EQ(checkpoint(hive, root), ERROR_SUCCESS);
    const Dump dump = dumpHive(hive);
    EXPECT_EQ(dump.count("\\A:v") + dump.count("\\B") + dump.count("\\A:torn"), 2u);
  }
}

TEST(HiveJournal, DamagedHiveIsRefusedAndNothingIsTouched) {
  for (int damage = 0; damage < 3; ++damage) {
    SCOPED_TRACE(testing::Message() << "damage " << damage);
    TempFolder folder;
    const std::string root = folder.path.string(), hive = writeBaseHive(folder);
    std::string image = slurp(hive);
    if (damage == 0)
      image.resize(image.size() / 2 + 100);
    else if (damage == 1)
      image[1] ^= 0x20; // the "regf" signature
    else
      for (std::size_t at = 0x24; at < 0x2c; ++at) // root cell and bins size
        image[at] = static_cast<char>(0xa5);
    spill(hive, image);
    ASSERT_EQ(journalUnderLock(hive, root, {setValue(u"Software", u"v", REG_SZ, bytes("1"))}),
              ERROR_SUCCESS);
    const std::string journal = slurp(hiveJournalPath(hive));
    EXPECT_EQ(checkpoint(hive, root), ERROR_BADDB);
    EXPECT_EQ(slurp(hive), image);
    EXPECT_EQ(slurp(hiveJournalPath(hive)), journal);
  }
}

TEST(HiveJournal, ReturnedAppendsSurviveAKilledWriter) {
  TempFolder folder;
  const std::string root = folder.path.string(), hive = writeBaseHive(folder);
  std::mt19937 random(20261208);
  constexpr int kRounds = 20, kMaxAppends = 400;
  auto dataOf = [](int round, int i) {
    return std::vector<BYTE>(static_cast<std::size_t>((round * 131 + i * 37) % 3000),
                             static_cast<BYTE>(i));
  };
  for (int round = 0; round < kRounds; ++round) {
    SCOPED_TRACE(testing::Message() << "round " << round);
    const std::u16string key = u"Kill\\Round" + utf8ToUtf16(std::to_string(round));
    HiveWriterLock lock; // the child's
    HiveJournal journal;
    const KilledWriter writer = killWriter(
        [&] {
          return lock.acquire(root) == ERROR_SUCCESS &&
                 journal.open(hive, lock, digestNow(hive)) == 0;
        },
        [&](int i) {
          if (i == kMaxAppends)
            ::pause();
          return journal.append(setValue(key, u"v" + utf8ToUtf16(std::to_string(i)), REG_BINARY,
                                         dataOf(round, i))) == ERROR_SUCCESS;
        },
        true, std::uniform_int_distribution<unsigned>(0, 20000)(random),
        [&] {
          HiveWriterLock second;
          EXPECT_EQ(second.acquire(root, 0), kErrorLockTimeout);
        });
    ASSERT_FALSE(writer.returned.empty());
    ASSERT_TRUE(writer.killed) << "writer exited with " << writer.exitStatus;
    const std::vector<int> &returned = writer.returned;

    ASSERT_EQ(checkpoint(hive, root), ERROR_SUCCESS);
    const Dump dump = dumpHive(hive);
    const std::string path = "\\" + utf16ToUtf8(key);
    for (int i : returned) {
      const auto data = dataOf(round, i);
      const auto found = dump.find(path + ":v" + std::to_string(i));
      ASSERT_NE(found, dump.end()) << "returned append " << i << " of " << returned.size();
      EXPECT_EQ(found->second, "3:" + std::string(data.begin(), data.end()));
    }
  }
}

} // namespace
