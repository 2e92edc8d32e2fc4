// test_regf_writer.cpp - Windows hive files from the substitute's writer,
// read back by an independent reader (hivex's library and command-line
// tools): a generated tree comes back exactly, in Windows' sub-key order;
// trees Windows could not hold are refused without touching the file; the
// sample installations' hives answer the tools.
#include "RegfWriter.h"
#include "Utf.h"
#include "zelsys/winconst.h"

#include "hive_judges.h"
#include "hive_test_folder.h"

#include <gtest/gtest.h>
#include <hivex.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <vector>

using namespace zelsys;
using namespace zelsys::posix;

namespace {

std::vector<BYTE> pattern(std::size_t size, unsigned seed) {
  std::vector<BYTE> data(size);
  for (std::size_t i = 0; i < size; ++i)
    data[i] = static_cast<BYTE>((i * 7 + seed) & 0xff);
  return data;
}

std::string slurp(const std::filesystem::path &path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// Siblings whose order by upper-cased name (Windows' order) differs from
// their order by plain units: "_" and "[" lie between "Z" and "a".
const char16_t *const kSiblings[] = {u"b", u"_under", u"A", u"[x", u"\u00e4", u"a1", u"Zeta"};
const char *const kSiblingOrder[] = {"A", "a1", "b", "Zeta", "[x", "_under", "\u00e4"};
constexpr int kManySubKeys = 1000;
constexpr int kChainDepth = 40;

HiveTree sampleTree() {
  HiveTree tree;
  std::uint64_t time = 0x01D0000000000000ull;
  auto add = [&](std::size_t parent, std::u16string name) {
    tree.push_back(HiveKey{std::move(name), u"", ++time, {}, parent});
    return tree.size() - 1;
  };
  add(0, u"ROOT");
  const std::size_t values = add(0, u"Values");
  // Every type (and one no Windows defines), data inline, in a cell and in
  // big data segments, on both sides of each boundary.
  const std::size_t sizes[] = {0, 1, 4, 5, 4096, 16344, 16345, 20000, 3 * 16344 + 1};
  for (DWORD type = 0; type <= 12; ++type)
    for (std::size_t size : sizes)
      tree[values].values.push_back(
          ValueRecord{u"t" + utf8ToUtf16(std::to_string(type) + "s" + std::to_string(size)),
                      type == 12 ? 0x12345u : type, pattern(size, type)});
  tree[values].values.push_back(ValueRecord{u"", REG_SZ, pattern(6, 1)});
  tree[values].values.push_back(ValueRecord{u"\u00dcml\u0101ut \u4e2d", REG_DWORD, pattern(4, 2)});
  tree[values].values.push_back(
      ValueRecord{std::u16string(kMaxValueNameLength, u'v'), REG_NONE, {}});
  tree[values].keyClass = u"A class";

  const std::size_t siblings = add(0, u"Siblings");
  for (const char16_t *name : kSiblings)
    add(siblings, name);
  const std::size_t many = add(0, u"Many");
  for (int i = kManySubKeys - 1; i >= 0; --i) {
    char name[16];
    std::snprintf(name, sizeof name, "Key%04d", i);
    const std::size_t key = add(many, utf8ToUtf16(name));
    if (i % 97 == 0)
      tree[key].values.push_back(
          ValueRecord{u"n", REG_DWORD, pattern(4, static_cast<unsigned>(i))});
  }
  std::size_t parent = add(0, u"Deep");
  for (int level = 0; level < kChainDepth; ++level)
    parent = add(parent, u"level" + utf8ToUtf16(std::to_string(level)));
  add(0, std::u16string(kMaxKeyNameLength, u'k'));
  return tree;
}

struct HiveCloser {
  void operator()(hive_h *hive) const { hivex_close(hive); }
};
using Hive = std::unique_ptr<hive_h, HiveCloser>;

std::string freed(char *text) {
  std::string out = text ? text : "(null)";
  std::free(text);
  return out;
}

std::string keyPath(const HiveTree &tree, std::size_t index) {
  std::string path;
  for (; index != 0; index = tree[index].parent)
    path = "\\" + utf16ToUtf8(tree[index].name) + path;
  return path;
}

// Every key hivex finds, by path, with its sub-keys in stored order.
struct ReadKey {
  std::int64_t written = 0;
  std::vector<std::string> children;
  std::map<std::string, std::pair<DWORD, std::vector<BYTE>>> values;
};

std::map<std::string, ReadKey> readHive(hive_h *hive) {
  std::map<std::string, ReadKey> keys;
  std::vector<std::pair<hive_node_h, std::string>> pending{{hivex_root(hive), ""}};
  while (!pending.empty()) {
    const auto [node, path] = pending.back();
    pending.pop_back();
    ReadKey &key = keys[path];
    key.written = hivex_node_timestamp(hive, node);
    hive_node_h *children = hivex_node_children(hive, node);
    for (std::size_t i = 0; children && children[i]; ++i) {
      key.children.push_back(freed(hivex_node_name(hive, children[i])));
      pending.emplace_back(children[i], path + "\\" + key.children.back());
    }
    std::free(children);
    hive_value_h *values = hivex_node_values(hive, node);
    for (std::size_t i = 0; values && values[i]; ++i) {
      // A type past hivex's enumeration is no valid enum value in C++: the
      // reader's output is taken as the 32-bit number it is.
      static_assert(sizeof(hive_type) == sizeof(DWORD));
      alignas(hive_type) unsigned char type[sizeof(hive_type)] = {};
      std::size_t size = 0;
      char *data = hivex_value_value(hive, values[i], reinterpret_cast<hive_type *>(type), &size);
      auto &read = key.values[freed(hivex_value_key(hive, values[i]))];
      std::memcpy(&read.first, type, sizeof read.first);
      read.second.assign(data, data + (data ? size : 0));
      std::free(data);
    }
    std::free(values);
  }
  return keys;
}

TEST(RegfWriter, HivexReadsEveryKeyValueAndTimeBack) {
  TempFolder folder;
  const std::string file = (folder.path / "SOFTWARE").string();
  const HiveTree tree = sampleTree();
  ASSERT_EQ(writeRegfFile(file, tree), ERROR_SUCCESS);
  Hive hive(hivex_open(file.c_str(), 0));
  ASSERT_TRUE(hive) << "hivex cannot open the hive: errno " << errno;
  const std::map<std::string, ReadKey> read = readHive(hive.get());

  EXPECT_EQ(freed(hivex_node_name(hive.get(), hivex_root(hive.get()))), "ROOT");
  ASSERT_EQ(read.size(), tree.size());
  for (std::size_t i = 0; i < tree.size(); ++i) {
    const std::string path = keyPath(tree, i);
    const auto found = read.find(path);
    ASSERT_NE(found, read.end()) << "key " << i << " " << path.substr(0, 80);
    EXPECT_EQ(found->second.written, static_cast<std::int64_t>(tree[i].written)) << path;
    ASSERT_EQ(found->second.values.size(), tree[i].values.size()) << path;
    for (const ValueRecord &value : tree[i].values) {
      const std::string name = utf16ToUtf8(value.name);
      const auto got = found->second.values.find(name);
      ASSERT_NE(got, found->second.values.end()) << path << " " << name.substr(0, 80);
      EXPECT_EQ(got->second.first, value.type) << name.substr(0, 80);
      const std::vector<BYTE> &data = got->second.second;
      const auto differ =
          std::mismatch(data.begin(), data.end(), value.data.begin(), value.data.end());
      EXPECT_TRUE(differ.first == data.end() && differ.second == value.data.end())
          << name.substr(0, 80) << ": " << data.size() << " bytes read of " << value.data.size()
          << ", first difference at " << (differ.first - data.begin());
    }
  }

  // Sub-keys are stored in Windows' order, across the leaves of a large list.
  EXPECT_EQ(read.at("\\Siblings").children,
            std::vector<std::string>(std::begin(kSiblingOrder), std::end(kSiblingOrder)));
  const std::vector<std::string> &many = read.at("\\Many").children;
  ASSERT_EQ(many.size(), static_cast<std::size_t>(kManySubKeys));
  EXPECT_TRUE(std::is_sorted(many.begin(), many.end()));
  const hive_node_h manyNode = hivex_node_get_child(hive.get(), hivex_root(hive.get()), "many");
  EXPECT_NE(hivex_node_get_child(hive.get(), manyNode, "KEY0999"), 0u);
}

TEST(RegfWriter, SubKeyHashIsTheUpperCasedNameFoldedBy37) {
  const std::string image =
      encodeRegf({HiveKey{u"R", u"", 0, {}, 0}, HiveKey{u"ab", u"", 0, {}, 0}}, u"X");
  const std::size_t leaf = image.find("lh\x01", 4096);
  ASSERT_NE(leaf, std::string::npos);
  std::uint32_t hash = 0;
  for (int i = 3; i >= 0; --i)
    hash = (hash << 8) | static_cast<unsigned char>(image[leaf + 8 + static_cast<std::size_t>(i)]);
  EXPECT_EQ(hash, static_cast<std::uint32_t>('A' * 37 + 'B'));
}

TEST(RegfWriter, RefusesTreesWindowsCannotHoldAndKeepsTheFile) {
  TempFolder folder;
  const std::string file = (folder.path / "NTUSER.DAT").string();
  const HiveKey root{u"R", u"", 0, {}, 0};
  ASSERT_EQ(writeRegfFile(file, {root, HiveKey{u"kept", u"", 0, {}, 0}}), ERROR_SUCCESS);
  const std::string before = slurp(file);

  const std::vector<HiveTree> refused = {
      {},
      {root, HiveKey{u"Key", u"", 0, {}, 0}, HiveKey{u"KEY", u"", 0, {}, 0}},
      {root, HiveKey{u"", u"", 0, {}, 0}},
      {root, HiveKey{u"a\\b", u"", 0, {}, 0}},
      {root, HiveKey{std::u16string(kMaxKeyNameLength + 1, u'k'), u"", 0, {}, 0}},
      {root, HiveKey{u"a", u"", 0, {}, 2}, HiveKey{u"b", u"", 0, {}, 0}},
      {HiveKey{u"R", u"", 0, {{u"v", REG_SZ, {}}, {u"V", REG_SZ, {}}}, 0}},
      {HiveKey{u"R", u"", 0, {{std::u16string(kMaxValueNameLength + 1, u'v'), REG_SZ, {}}}, 0}},
  };
  for (std::size_t i = 0; i < refused.size(); ++i) {
    EXPECT_EQ(writeRegfFile(file, refused[i]), ERROR_INVALID_PARAMETER) << "case " << i;
    EXPECT_EQ(slurp(file), before) << "case " << i;
  }
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path), {}), 1)
      << "a temporary file was left beside the hive";
}

std::string run(const std::string &command) {
  std::string out;
  FILE *pipe = ::popen(command.c_str(), "r");
  if (!pipe)
    return "(popen failed)";
  char chunk[4096];
  for (std::size_t got; (got = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;)
    out.append(chunk, got);
  const int status = ::pclose(pipe);
  while (!out.empty() && out.back() == '\n')
    out.pop_back();
  return status == 0 ? out : out + " (exit status " + std::to_string(status) + ")";
}

TEST(RegfWriter, SampleInstallationsAnswerTheHiveTools) {
  TempFolder folder;
  for (const char *os : {"xp", "win7"})
    ASSERT_EQ(run("ZELHIVE='" ZEL_ZELHIVE "' '" ZEL_MAKE_WINDOWS_INSTALL "' '" +
                  (folder.path / os).string() + "' " + os + " Tester 2>&1"),
              "")
        << os;

  struct Case {
    const char *hive, *key, *value, *expected;
  };
  const Case cases[] = {
      {"xp/Windows/System32/config/SOFTWARE", "Microsoft\\Windows NT\\CurrentVersion",
       "CurrentVersion", "5.1"},
      {"xp/Windows/System32/config/SOFTWARE", "Microsoft\\Windows NT\\CurrentVersion", "CSDVersion",
       "Service Pack 3"},
      {"xp/Windows/System32/config/SYSTEM", "ControlSet001\\Control\\Session Manager\\Environment",
       "PROCESSOR_ARCHITECTURE", "x86"},
      {"win7/Windows/System32/config/SOFTWARE",
       "Wow6432Node\\Microsoft\\Windows NT\\CurrentVersion", "CurrentBuildNumber", "7601"},
      {"win7/Windows/System32/config/SYSTEM", "Select", "Current", "1"},
      {"win7/Windows/System32/config/SYSTEM",
       "ControlSet001\\Control\\Session Manager\\Environment", "PROCESSOR_ARCHITECTURE", "AMD64"},
      {"win7/Windows/System32/config/SOFTWARE",
       "Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\"
       "S-1-5-21-3520415761-2417853016-1264082235-1000",
       "ProfileImagePath", "C:\\Users\\Tester"},
      {"xp/Documents and Settings/Tester/NTUSER.DAT", "Environment", "TEMP",
       "%USERPROFILE%\\Local Settings\\Temp"},
      {"win7/Users/Tester/NTUSER.DAT", "Software", "", ""},
  };
  for (const Case &c : cases) {
    const std::string hive = (folder.path / c.hive).string();
    if (*c.value) {
      EXPECT_EQ(run(std::string("hivexget '") + hive + "' '" + c.key + "' '" + c.value + "' 2>&1"),
                c.expected)
          << c.hive << " " << c.key;
    } else {
      EXPECT_EQ(run("printf 'cd " + std::string(c.key) + "\\n' | hivexsh '" + hive + "' 2>&1"), "")
          << c.hive << " " << c.key;
    }
  }
  // The profile list names the one profile, and hivexsh walks to it.
  EXPECT_EQ(run("printf 'cd Microsoft\\\\Windows NT\\\\CurrentVersion\\\\ProfileList\\nls\\n' | "
                "hivexsh '" +
                (folder.path / "xp/Windows/System32/config/SOFTWARE").string() + "' 2>&1"),
            "S-1-5-21-1085031214-1563985344-725345543-1003");
  // Every hive of both installations is sound to the independent judges.
  for (const auto &entry : std::filesystem::recursive_directory_iterator(folder.path)) {
    const std::string name = entry.path().filename().string();
    if (entry.is_regular_file() &&
        (name == "SOFTWARE" || name == "SYSTEM" || name == "DEFAULT" || name == "NTUSER.DAT")) {
      EXPECT_TRUE(judgedSound(entry.path().string()));
    }
  }
}

} // namespace
