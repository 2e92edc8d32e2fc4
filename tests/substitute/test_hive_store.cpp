// test_hive_store.cpp - the calls on a Windows installation laid out in a
// folder: Windows' facts, drive C: and every predefined key from the
// installation's own files; damaged hives refused and dirty ones only read,
// their files untouched; writers killed at random moments losing no call that returned;
// another process's changes reaching handles that were already open.
#include "HiveJournal.h"
#include "HiveStore.h"
#include "RegfWriter.h"
#include "Utf.h"
#include "zelsys/zelsys.h"

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
    write("SOFTWARE", {key(u"ROOT"), key(u"Classes"), key(u"Microsoft")});
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

LSTATUS setBinary(HKEY root, const std::u16string &path, const std::string &data) {
  HKEY key = nullptr;
  LSTATUS status =
      RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
  if (status == ERROR_SUCCESS) {
    status = RegSetValueExW(key, u"v", 0, REG_BINARY, reinterpret_cast<const BYTE *>(data.data()),
                            static_cast<DWORD>(data.size()));
    RegCloseKey(key);
  }
  return status;
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
    ASSERT_EQ(std::system(("ZELHIVE='" ZEL_ZELHIVE "' '" ZEL_MAKE_WINDOWS_INSTALL "' '" +
                           root.string() + "' " + c.os + " >/dev/null")
                              .c_str()),
              0);
    ::setenv("ZEL_MACHINE", root.c_str(), 1);

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
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Probe", 0, nullptr, 0,
                              KEY_ALL_ACCESS | KEY_WOW64_32KEY, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExW(key, u"v", 0, REG_BINARY, reinterpret_cast<const BYTE *>("32"), 2),
              ERROR_SUCCESS);
    RegCloseKey(key);
    ASSERT_EQ(checkpointHives(), ERROR_SUCCESS);
    const std::filesystem::path config = root / "Windows" / "System32" / "config";
    std::vector<std::string> software = c.view32;
    software.push_back("Probe");
    EXPECT_EQ(readWithHivex((config / "SOFTWARE").string(), software, "v"), "32");
    EXPECT_EQ(readWithHivex((config / "DEFAULT").string(), {"Software", "Probe"}, "v"), "cu");
    EXPECT_EQ(readWithHivex((config / "SYSTEM").string(), {"ControlSet001", "Probe"}, "v"), "set");
    const std::string ntuser = (root / c.profilesFolder / "Owner" / "NTUSER.DAT").string();
    EXPECT_EQ(readWithHivex(ntuser, {"Software", "Probe"}, "v"), "user");
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
  const std::pair<void (*)(std::string &), LSTATUS> kCases[] = {
      {truncate, ERROR_BADDB}, {signature, ERROR_BADDB}, {empty, ERROR_BADDB}, {dirty, 0}};
  for (const auto &[damage, opening] : kCases) {
    Installation machine;
    std::string image = slurp(machine.software());
    damage(image);
    std::ofstream(machine.software(), std::ios::binary | std::ios::trunc) << image;

    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Microsoft", 0, KEY_READ, &key),
              opening);
    RegCloseKey(key);
    EXPECT_EQ(setBinary(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Vendor", "x"), ERROR_BADDB);
    // The other hives stay usable.
    EXPECT_EQ(setBinary(HKEY_LOCAL_MACHINE, u"SYSTEM\\CurrentControlSet\\Control\\Z", "z"),
              ERROR_SUCCESS);
    EXPECT_EQ(checkpointHives(), ERROR_SUCCESS);
    EXPECT_EQ(
        readWithHivex((machine.config / "SYSTEM").string(), {"ControlSet001", "Control", "Z"}, "v"),
        "z");
    EXPECT_EQ(slurp(machine.software()), image);
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
    // several journal records, and checkpoints once the journal is large.
    const KilledWriter writer =
        killWriter([] { return true; },
                   [&](int i) {
                     const std::u16string path = u"SOFTWARE\\Kill\\R" +
                                                 utf8ToUtf16(std::to_string(round)) + u"\\K" +
                                                 utf8ToUtf16(std::to_string(i));
                     return setBinary(HKEY_LOCAL_MACHINE, path, dataOf(round, i)) == ERROR_SUCCESS;
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
  const auto inChild = [](const std::function<bool()> &work) {
    const pid_t child = ::fork();
    if (child == 0)
      ::_exit(work() ? 0 : 1);
    int status = 0;
    return ::waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  };
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

} // namespace
