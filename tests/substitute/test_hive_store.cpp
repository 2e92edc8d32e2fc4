// test_hive_store.cpp - the calls on a Windows installation laid out in a
// folder: Windows' facts, drive C: and every predefined key from the
// installation's own files; damaged hives refused and dirty ones only read,
// their files untouched, the other hives working on; writers killed at
// random moments losing no call that returned; another process's changes
// reaching handles that were already open, and never undone by a journal
// written before them; names, sizes and data the hive keeps as Windows
// reads them; repeated changes not growing the hive. Every hive written is
// judged by independent readers.
#include "HiveJournal.h"
#include "HiveStore.h"
#include "RegfWriter.h"
#include "Utf.h"
#include "zelsys/zelsys.h"

#include "hive_judges.h"
#include "hive_test_folder.h"
#include "killed_writer.h"

#include <gtest/gtest.h>
#include <hivex.h>

#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace zelsys;
using namespace zelsys::posix;

namespace {

std::string slurp(const std::filesystem::path &path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

std::vector<BYTE> dword(DWORD v) {
  return {static_cast<BYTE>(v), static_cast<BYTE>(v >> 8), static_cast<BYTE>(v >> 16),
          static_cast<BYTE>(v >> 24)};
}

// A minimal installation in folder, which becomes the current machine.
struct Installation {
  TempFolder folder{"zel-install"};
  std::filesystem::path config = folder.path / "Windows" / "System32" / "config";
  Installation() {
    std::filesystem::create_directories(config);
    const auto key = [](const char16_t *name, std::size_t parent = 0,
                        std::vector<ValueRecord> values = {}) {
      return HiveKey{name, u"", 0, std::move(values), parent};
    };
    write("SOFTWARE", {key(u"ROOT"), key(u"Classes"),
                       key(u"Microsoft", 0, {{u"Payload", REG_BINARY, {1, 2, 3, 4, 5, 6, 7, 8}}})});
    write("SYSTEM", {key(u"ROOT"), key(u"Select", 0, {{u"Current", REG_DWORD, dword(1)}}),
                     key(u"ControlSet001"), key(u"Control", 2)});
    write("DEFAULT", {key(u"ROOT"), key(u"Software")});
    ::setenv("ZEL_MACHINE", folder.path.c_str(), 1);
  }
  void write(const char *name, const HiveTree &tree) {
    EXPECT_EQ(writeRegfFile((config / name).string(), tree), ERROR_SUCCESS);
  }
  std::string software() const { return (config / "SOFTWARE").string(); }
};

std::uint32_t get32(const std::string &image, std::size_t at) {
  std::uint32_t value = 0;
  std::memcpy(&value, image.data() + at, 4); // little-endian host
  return value;
}
void put32(std::string &image, std::size_t at, std::uint32_t value) {
  std::memcpy(image.data() + at, &value, 4);
}
// The base block's checksum, renewed after an edit of the block.
void renewChecksum(std::string &image) {
  std::uint32_t sum = 0;
  for (std::size_t at = 0; at < 0x1fc; at += 4)
    sum ^= get32(image, at);
  put32(image, 0x1fc, sum);
}
// The offset (from the first bin) of the first bin's trailing free cell.
std::uint32_t freeCellOfFirstBin(const std::string &image) {
  std::size_t cell = 4096 + 32;
  while (static_cast<std::int32_t>(get32(image, cell)) < 0)
    cell += 0u - get32(image, cell);
  return static_cast<std::uint32_t>(cell - 4096);
}

bool inChild(const std::function<bool()> &work) {
  const pid_t child = ::fork();
  if (child == 0)
    ::_exit(work() ? 0 : 1); // no exit handlers: a journal stays unfolded
  int status = 0;
  return ::waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// The data of a value as hivex reads it from the file, or "(missing)".
std::string readWithHivex(const std::string &file, const std::vector<std::string> &path,
                          const char *name) {
  hive_h *hive = hivex_open(file.c_str(), 0);
  if (!hive)
    return "(no hive)";
  hive_node_h node = hivex_root(hive);
  for (const std::string &part : path)
    node = node ? hivex_node_get_child(hive, node, part.c_str()) : 0;
  const hive_value_h value = node ? hivex_node_get_value(hive, node, name) : 0;
  std::string out = "(missing)";
  hive_type type;
  std::size_t size = 0;
  if (char *data = value ? hivex_value_value(hive, value, &type, &size) : nullptr) {
    out.assign(data, size);
    std::free(data);
  }
  hivex_close(hive);
  return out;
}

LSTATUS setBinary(HKEY root, const std::u16string &path, const std::string &data, REGSAM view = 0) {
  HKEY key = nullptr;
  LSTATUS status = RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view,
                                   nullptr, &key, nullptr);
  if (status == ERROR_SUCCESS) {
    status = RegSetValueExW(key, u"v", 0, REG_BINARY, reinterpret_cast<const BYTE *>(data.data()),
                            static_cast<DWORD>(data.size()));
    RegCloseKey(key);
  }
  return status;
}

// A sample installation of that Windows in folder, made the current machine.
bool makeInstallation(const std::filesystem::path &folder, const char *os) {
  const std::string command = "ZELHIVE='" ZEL_ZELHIVE "' '" ZEL_MAKE_WINDOWS_INSTALL "' '" +
                              folder.string() + "' " + os + " >/dev/null";
  return std::system(command.c_str()) == 0 && ::setenv("ZEL_MACHINE", folder.c_str(), 1) == 0;
}

std::string queryBinary(HKEY key, const char16_t *name) {
  std::string data(65536, '\0');
  DWORD size = static_cast<DWORD>(data.size()), type = 0;
  if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE *>(data.data()), &size) !=
      ERROR_SUCCESS)
    return "(missing)";
  data.resize(size);
  return data;
}

// The user a sample installation's ProfileList names, from HKEY_USERS.
std::u16string profileSid() {
  char16_t name[256];
  for (DWORD index = 0;; ++index) {
    DWORD size = 256;
    if (RegEnumKeyExW(HKEY_USERS, index, name, &size, nullptr, nullptr, nullptr, nullptr) != 0)
      return u"(none)";
    if (std::u16string(name) != u".DEFAULT")
      return name;
  }
}

TEST(HiveStore, SampleInstallationsAnswerFromTheirOwnFilesAndHives) {
  struct Case {
    const char *os;
    DWORD major, servicePack;
    WORD processor;
    const char16_t *profiles; // as Windows names the folder
    const char *profilesFolder;
    std::vector<std::string> view32; // where the 32-bit view's SOFTWARE lies
  };
  const Case kCases[] = {
      {"xp",
       5,
       3,
       PROCESSOR_ARCHITECTURE_INTEL,
       u"C:\\Documents and Settings\\",
       "Documents and Settings",
       {}},
      {"win7", 6, 1, PROCESSOR_ARCHITECTURE_AMD64, u"C:\\Users\\", "Users", {"Wow6432Node"}},
  };
  TempFolder folder;
  for (const Case &c : kCases) {
    SCOPED_TRACE(c.os);
    const std::filesystem::path root = folder.path / c.os;
    ASSERT_TRUE(makeInstallation(root, c.os));

    OSVERSIONINFOEXW version{};
    version.dwOSVersionInfoSize = sizeof version;
    ASSERT_TRUE(GetVersionExW(reinterpret_cast<OSVERSIONINFOW *>(&version)));
    EXPECT_EQ(version.dwMajorVersion, c.major);
    EXPECT_EQ(version.wServicePackMajor, c.servicePack);
    SYSTEM_INFO system{};
    GetNativeSystemInfo(&system);
    EXPECT_EQ(system.wProcessorArchitecture, c.processor);

    // Drive C: is the installation's root; profiles lie where it keeps them.
    char16_t profile[MAX_PATH];
    DWORD size = MAX_PATH;
    ASSERT_TRUE(GetDefaultUserProfileDirectoryW(profile, &size));
    EXPECT_EQ(std::u16string(profile).rfind(c.profiles, 0), 0u) << utf16ToUtf8(profile);
    const HANDLE file =
        CreateFileW(u"C:\\probe.txt", GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);
    EXPECT_TRUE(std::filesystem::exists(root / "probe.txt"));

    // Each predefined key and view lands in the hive file Windows keeps it
    // in, as hivex reads it.
    const std::u16string user = profileSid();
    EXPECT_EQ(setBinary(HKEY_CURRENT_USER, u"Software\\Probe", "cu"), ERROR_SUCCESS);
    EXPECT_EQ(setBinary(HKEY_USERS, user + u"\\Software\\Probe", "user"), ERROR_SUCCESS);
    EXPECT_EQ(setBinary(HKEY_LOCAL_MACHINE, u"SYSTEM\\CurrentControlSet\\Probe", "set"),
              ERROR_SUCCESS);
    EXPECT_EQ(setBinary(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Probe", "32", KEY_WOW64_32KEY),
              ERROR_SUCCESS);
    ASSERT_EQ(checkpointHives(), ERROR_SUCCESS);
    const std::filesystem::path config = root / "Windows" / "System32" / "config";
    std::vector<std::string> software = c.view32;
    software.push_back("Probe");
    EXPECT_EQ(readWithHivex((config / "SOFTWARE").string(), software, "v"), "32");
    EXPECT_EQ(readWithHivex((config / "DEFAULT").string(), {"Software", "Probe"}, "v"), "cu");
    EXPECT_EQ(readWithHivex((config / "SYSTEM").string(), {"ControlSet001", "Probe"}, "v"), "set");
    const std::string ntuser = (root / c.profilesFolder / "Owner" / "NTUSER.DAT").string();
    EXPECT_EQ(readWithHivex(ntuser, {"Software", "Probe"}, "v"), "user");
    for (const char *hive : {"SOFTWARE", "SYSTEM", "DEFAULT"})
      EXPECT_TRUE(judgedSound((config / hive).string()));
    EXPECT_TRUE(judgedSound(ntuser));
  }
}

TEST(HiveStore, DamagedOrDirtyHiveIsNeverWritten) {
  const auto truncate = [](std::string &image) { image.resize(image.size() / 2 + 100); };
  const auto signature = [](std::string &image) { image[1] ^= 0x20; };
  const auto empty = [](std::string &image) { image.clear(); };
  // Windows left it with changes only its own logs hold: readable as it is.
  const auto dirty = [](std::string &image) {
    ++image[8]; // the secondary sequence number, then the base block's checksum
    std::uint32_t sum = 0;
    for (std::size_t at = 0; at < 0x1fc; at += 4) {
      std::uint32_t word = 0;
      std::memcpy(&word, image.data() + at, 4);
      sum ^= word;
    }
    std::memcpy(image.data() + 0x1fc, &sum, 4);
  };
  // Damage hivex meets only when it walks there: a key node's signature, a
  // sub-key entry naming a free cell, a value's data offset.
  const auto node = [](std::string &image) { image[image.find("Microsoft") - 76] = 'x'; };
  const auto leaf = [](std::string &image) {
    put32(image, image.find("lh", 4096) + 4, freeCellOfFirstBin(image));
  };
  const auto data = [](std::string &image) { put32(image, image.find("Payload") - 12, 0xFFF8); };
  constexpr LSTATUS kAny = -1;
  const std::pair<void (*)(std::string &), LSTATUS> kCases[] = {{truncate, ERROR_BADDB},
                                                                {signature, ERROR_BADDB},
                                                                {empty, ERROR_BADDB},
                                                                {dirty, 0},
                                                                {node, kAny},
                                                                {leaf, kAny},
                                                                {data, kAny}};
  for (std::size_t i = 0; i < std::size(kCases); ++i) {
    const auto &[damage, opening] = kCases[i];
    SCOPED_TRACE(testing::Message() << "damage " << i);
    Installation machine;
    std::string image = slurp(machine.software());
    damage(image);
    std::ofstream(machine.software(), std::ios::binary | std::ios::trunc) << image;

    HKEY key = nullptr;
    const LSTATUS opened =
        RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Microsoft", 0, KEY_READ, &key);
    if (opening != kAny) {
      EXPECT_EQ(opened, opening);
    }
    RegCloseKey(key);
    EXPECT_EQ(setBinary(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Vendor", "x"), ERROR_BADDB);
    // The other hives stay usable.
    EXPECT_EQ(setBinary(HKEY_LOCAL_MACHINE, u"SYSTEM\\CurrentControlSet\\Control\\Z", "z"),
              ERROR_SUCCESS);
    EXPECT_EQ(checkpointHives(), ERROR_SUCCESS);
    EXPECT_EQ(
        readWithHivex((machine.config / "SYSTEM").string(), {"ControlSet001", "Control", "Z"}, "v"),
        "z");
    EXPECT_TRUE(slurp(machine.software()) == image) << "the damaged hive was written";
    EXPECT_FALSE(std::filesystem::exists(hiveJournalPath(machine.software())));
  }
}

TEST(HiveStore, CallsThatReturnedSurviveWritersKilledAtRandomMoments) {
  Installation machine;
  std::mt19937 random(8201);
  const auto dataOf = [](int round, int i) {
    return std::string(static_cast<std::size_t>((round * 131 + i * 37) % 5000 + 1),
                       static_cast<char>('a' + i % 26));
  };
  std::vector<std::vector<int>> returned(20);
  for (int round = 0; round < 20; ++round) {
    SCOPED_TRACE(testing::Message() << "round " << round);
    // Each call creates a key below a new one and writes a value: calls of
    // several journal records; every fifth folds the journal in, so kills
    // land in checkpoints too.
    const KilledWriter writer = killWriter(
        [] { return true; },
        [&](int i) {
          const std::u16string path = u"SOFTWARE\\Kill\\R" + utf8ToUtf16(std::to_string(round)) +
                                      u"\\K" + utf8ToUtf16(std::to_string(i));
          return setBinary(HKEY_LOCAL_MACHINE, path, dataOf(round, i)) == ERROR_SUCCESS &&
                 (i % 5 != 4 || checkpointHives() == ERROR_SUCCESS);
        },
        false, std::uniform_int_distribution<unsigned>(20000, 150000)(random));
    ASSERT_TRUE(writer.killed) << "writer exited with " << writer.exitStatus;
    returned[round] = writer.returned;
    hive_h *hive = hivex_open(machine.software().c_str(), 0);
    EXPECT_NE(hive, nullptr) << "the hive no longer opens";
    if (hive)
      hivex_close(hive);
  }
  // This process reads the hive and the journal the writers left, then
  // folds the journal in; hivex finds every value whose call returned.
  EXPECT_EQ(setBinary(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Kill\\Reader", "r"), ERROR_SUCCESS);
  for (int round = 0; round < 20; ++round)
    for (int i : returned[round]) {
      const std::string key = "K" + std::to_string(i), parent = "R" + std::to_string(round);
      HKEY opened = nullptr;
      ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE,
                              (u"SOFTWARE\\Kill\\" + utf8ToUtf16(parent + "\\" + key)).c_str(), 0,
                              KEY_READ, &opened),
                ERROR_SUCCESS)
          << parent << "\\" << key;
      EXPECT_EQ(queryBinary(opened, u"v"), dataOf(round, i));
      RegCloseKey(opened);
    }
  ASSERT_EQ(checkpointHives(), ERROR_SUCCESS);
  EXPECT_FALSE(std::filesystem::exists(hiveJournalPath(machine.software())));
  for (int round = 0; round < 20; ++round)
    for (int i : returned[round])
      ASSERT_EQ(readWithHivex(machine.software(),
                              {"Kill", "R" + std::to_string(round), "K" + std::to_string(i)}, "v"),
                dataOf(round, i));
  EXPECT_TRUE(judgedSound(machine.software()));
}

TEST(HiveStore, OpenHandlesSeeWhatAnotherProcessWrote) {
  Installation machine;
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Shared", 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &key, nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(checkpointHives(), ERROR_SUCCESS);
  // Another writer sets a value and folds it into the hive, which replaces
  // the file; then a third deletes the key and leaves it in the journal.
  ASSERT_TRUE(inChild([] {
    return setBinary(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Shared", "theirs") == ERROR_SUCCESS &&
           checkpointHives() == ERROR_SUCCESS;
  }));
  EXPECT_EQ(queryBinary(key, u"v"), "theirs");
  ASSERT_TRUE(inChild([] { return SHDeleteKeyW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Shared") == 0; }));
  EXPECT_EQ(queryBinary(key, u"v"), "(missing)");
  EXPECT_EQ(RegSetValueExW(key, u"w", 0, REG_BINARY, nullptr, 0), ERROR_KEY_DELETED);
  RegCloseKey(key);
}

TEST(HiveStore, KeysOfAnyNameAreHashedAndOrderedSoThatWindowsFindsThem) {
  Installation machine;
  const std::u16string kNames[] = {u"\u03A9mega", u"\u65E5\u672C", u"\u00E9a", u"\u00C9b",
                                   u"\u00DF",     u"zeta",         u"Alpha",   u"\u00FF"};
  for (const std::u16string &name : kNames)
    ASSERT_EQ(setBinary(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Names\\" + name, "n"), ERROR_SUCCESS);
  ASSERT_EQ(checkpointHives(), ERROR_SUCCESS);
  EXPECT_TRUE(judgedSound(machine.software()));
  // A process reading the hive afresh finds each key by its name in
  // upper case, and lists them in Windows' order.
  EXPECT_TRUE(inChild([&] {
    std::vector<std::u16string> listed;
    HKEY names = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Names", 0, KEY_READ, &names) != 0)
      return false;
    char16_t name[256];
    for (DWORD size = 256; RegEnumKeyExW(names, static_cast<DWORD>(listed.size()), name, &size,
                                         nullptr, nullptr, nullptr, nullptr) == 0;
         size = 256)
      listed.push_back(upcase(name));
    bool found = std::is_sorted(listed.begin(), listed.end()) && listed.size() == 8;
    for (const std::u16string &each : kNames) {
      HKEY child = nullptr;
      found = found && RegOpenKeyExW(names, upcase(each).c_str(), 0, KEY_READ, &child) == 0 &&
              queryBinary(child, u"v") == "n";
      RegCloseKey(child);
    }
    return found;
  }));
}

TEST(HiveStore, ValuesUpToTheFormatsLimitAreWrittenLargerOnesRefusedAtTheCall) {
  struct Case {
    std::uint32_t minor; // of the hive's format
    std::size_t size;
    LSTATUS expected;
  };
  const Case kCases[] = {{5, 2u << 20, ERROR_SUCCESS},
                         {3, 1u << 20, ERROR_SUCCESS},
                         {3, (1u << 20) + 1, ERROR_NO_SYSTEM_RESOURCES}};
  for (const Case &c : kCases) {
    SCOPED_TRACE(testing::Message() << "format 1." << c.minor << ", " << c.size << " bytes");
    Installation machine;
    std::string image = slurp(machine.software());
    put32(image, 24, c.minor);
    renewChecksum(image);
    std::ofstream(machine.software(), std::ios::binary | std::ios::trunc) << image;
    std::string data(c.size, '\0');
    for (std::size_t i = 0; i < data.size(); ++i)
      data[i] = static_cast<char>(i * 7 % 251);
    EXPECT_EQ(setBinary(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Big", data), c.expected);
    // Nothing refused stays behind to block the calls after it.
    EXPECT_EQ(setBinary(HKEY_LOCAL_MACHINE, u"SOFTWARE\\After", "after"), ERROR_SUCCESS);
    ASSERT_EQ(checkpointHives(), ERROR_SUCCESS);
    EXPECT_FALSE(std::filesystem::exists(hiveJournalPath(machine.software())));
    EXPECT_EQ(readWithHivex(machine.software(), {"After"}, "v"), "after");
    EXPECT_EQ(readWithHivex(machine.software(), {"Big"}, "v"),
              c.expected == ERROR_SUCCESS ? data : "(missing)");
    EXPECT_TRUE(judgedSound(machine.software()));
  }
}

TEST(HiveStore, AJournalLeftBehindIsNotReplayedOverWhatAnotherToolChangedSince) {
  Installation machine;
  ASSERT_TRUE(inChild([] {
    return setBinary(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Shared", "base") == 0 &&
           checkpointHives() == 0;
  }));
  // A writer that dies after its call returned leaves its journal...
  ASSERT_TRUE(
      inChild([] { return setBinary(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Shared", "old") == 0; }));
  const std::string journal = hiveJournalPath(machine.software());
  ASSERT_TRUE(std::filesystem::exists(journal));
  // ...and then another tool changes the value in the hive itself.
  hive_h *hive = hivex_open(machine.software().c_str(), HIVEX_OPEN_WRITE);
  ASSERT_NE(hive, nullptr);
  hive_set_value value{const_cast<char *>("v"), hive_t_REG_BINARY, 3, const_cast<char *>("new")};
  ASSERT_EQ(
      hivex_node_set_value(hive, hivex_node_get_child(hive, hivex_root(hive), "Shared"), &value, 0),
      0);
  ASSERT_EQ(hivex_commit(hive, nullptr, 0), 0);
  hivex_close(hive);

  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Shared", 0, KEY_READ, &key), 0);
  EXPECT_EQ(queryBinary(key, u"v"), "new");
  RegCloseKey(key);
  EXPECT_EQ(setBinary(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Unrelated", "x"), ERROR_SUCCESS);
  ASSERT_EQ(checkpointHives(), ERROR_SUCCESS);
  EXPECT_EQ(readWithHivex(machine.software(), {"Shared"}, "v"), "new");
  EXPECT_EQ(readWithHivex(machine.software(), {"Unrelated"}, "v"), "x");
  EXPECT_TRUE(std::filesystem::exists(journal + ".stale")); // kept for the administrator
  EXPECT_TRUE(judgedSound(machine.software()));
}

TEST(HiveStore, AHiveThatCannotBeReadStopsNoOtherHiveInAnyView) {
  for (const char *broken : {"SOFTWARE", "SYSTEM"}) {
    SCOPED_TRACE(broken);
    TempFolder folder;
    ASSERT_TRUE(makeInstallation(folder.path, "win7"));
    const std::filesystem::path config = folder.path / "Windows" / "System32" / "config";
    std::filesystem::resize_file(config / broken, 3000);
    for (const REGSAM view : {REGSAM{0}, REGSAM{KEY_WOW64_32KEY}, REGSAM{KEY_WOW64_64KEY}})
      EXPECT_EQ(setBinary(HKEY_USERS, u".DEFAULT\\Software\\Probe", "ok", view), ERROR_SUCCESS);
    ASSERT_EQ(checkpointHives(), ERROR_SUCCESS);
    EXPECT_EQ(readWithHivex((config / "DEFAULT").string(), {"Software", "Probe"}, "v"), "ok");
  }
}

TEST(HiveStore, BinaryDataThatLooksLikeAValueRecordIsOnlyData) {
  Installation machine;
  const std::string big(40000, 'A');
  ASSERT_EQ(setBinary(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Big", big), ERROR_SUCCESS);
  ASSERT_EQ(checkpointHives(), ERROR_SUCCESS);
  // A value record naming the other value's big data cell.
  const std::string image = slurp(machine.software());
  std::string forged("vk\0\0", 4);
  forged.resize(24, '\0');
  put32(forged, 4, static_cast<std::uint32_t>(big.size()));
  put32(forged, 8, static_cast<std::uint32_t>(image.find("db", 4096) - 4096 - 4));
  put32(forged, 12, REG_BINARY);
  ASSERT_EQ(setBinary(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Forged", forged), ERROR_SUCCESS);
  ASSERT_EQ(checkpointHives(), ERROR_SUCCESS);
  EXPECT_EQ(readWithHivex(machine.software(), {"Big"}, "v"), big);
  EXPECT_EQ(readWithHivex(machine.software(), {"Forged"}, "v"), forged);
  EXPECT_TRUE(judgedSound(machine.software()));
}

TEST(HiveStore, RepeatedSmallChangesDoNotGrowTheHive) {
  Installation machine;
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Many", 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &key, nullptr),
            ERROR_SUCCESS);
  const auto add = [&](const std::string &name) {
    return RegSetValueExW(key, utf8ToUtf16(name).c_str(), 0, REG_BINARY,
                          reinterpret_cast<const BYTE *>("value"), 5);
  };
  for (int i = 0; i < 3000; ++i)
    ASSERT_EQ(add("v" + std::to_string(i)), ERROR_SUCCESS);
  ASSERT_EQ(checkpointHives(), ERROR_SUCCESS);
  const auto before = std::filesystem::file_size(machine.software());
  for (int i = 0; i < 20; ++i) {
    ASSERT_EQ(add("added" + std::to_string(i)), ERROR_SUCCESS);
    ASSERT_EQ(checkpointHives(), ERROR_SUCCESS);
  }
  RegCloseKey(key);
  // Twenty values of some 60 bytes each, and at most a bin more.
  EXPECT_LE(std::filesystem::file_size(machine.software()), before + 20 * 64 + 4096);
  EXPECT_TRUE(judgedSound(machine.software()));
}

} // namespace
