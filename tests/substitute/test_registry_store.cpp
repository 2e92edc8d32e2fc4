// test_registry_store.cpp - the substitute registry's own guarantees: a
// killed writer loses nothing it reported, two writers at once lose nothing,
// a new process reads while another holds the write lock, volatile keys end
// with the machine's restart, save files round-trip, and the machine's
// first-use layout, and the registry views a process of each bitness sees;
// the machine's files are its owner's and never reached through a link.
#include "HostPath.h"
#include "RegistryStore.h"
#include "zel_test_support.h"
#include "zelsys/files.h"
#include "zelsys/registry.h"
#include "zelsys/security.h"
#include "zelsys/system.h"
#include "zelsys/winconst.h"

#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <optional>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char **environ;

using namespace zelsys;

namespace {

const char16_t kWriterKey[] = u"Software\\ZelTest\\Writer";

// A registry_writer child with its standard output on a pipe and, when
// asked, its standard input on another. One still running when this goes
// away is killed and reaped, so a failing test leaves no process behind.
struct Child {
  pid_t pid = -1;
  FILE *out = nullptr;
  int in = -1; // the write end of the child's standard input

  explicit Child(std::vector<std::string> args, bool withInput = false) {
    // Close-on-exec, so no other child keeps this one's pipes open.
    int output[2], input[2] = {-1, -1};
    if (::pipe2(output, O_CLOEXEC) != 0 || (withInput && ::pipe2(input, O_CLOEXEC) != 0))
      return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
    if (withInput)
      posix_spawn_file_actions_adddup2(&actions, input[0], STDIN_FILENO);
    std::vector<char *> argv{const_cast<char *>(ZEL_REGISTRY_WRITER)};
    for (std::string &arg : args)
      argv.push_back(arg.data());
    argv.push_back(nullptr);
    if (posix_spawn(&pid, ZEL_REGISTRY_WRITER, &actions, nullptr, argv.data(), environ) != 0)
      pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(output[1]);
    out = ::fdopen(output[0], "r");
    if (withInput) {
      ::close(input[0]);
      in = input[1];
    }
  }
  ~Child() {
    if (pid > 0) {
      ::kill(pid, SIGKILL);
      wait();
    }
    closeInput();
    if (out)
      std::fclose(out);
  }
  // The next index the child reported, or -1 at the end of its output.
  long next() {
    unsigned index = 0;
    return std::fscanf(out, "%u", &index) == 1 ? static_cast<long>(index) : -1;
  }
  std::string line() {
    char text[256] = {};
    return std::fgets(text, sizeof text, out) ? std::string(text) : std::string();
  }
  void closeInput() {
    if (in >= 0)
      ::close(in);
    in = -1;
  }
  int wait() {
    int status = 0;
    ::waitpid(pid, &status, 0);
    pid = -1;
    return status;
  }
  // The child's exit status if it ends within `limit`; otherwise kills it.
  std::optional<int> waitFor(std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (int status = 0; std::chrono::steady_clock::now() < deadline;
         std::this_thread::sleep_for(std::chrono::milliseconds(20)))
      if (::waitpid(pid, &status, WNOHANG) == pid) {
        pid = -1;
        return status;
      }
    ::kill(pid, SIGKILL);
    wait();
    return std::nullopt;
  }
};

class RegistryStore : public ::testing::Test {
protected:
  void SetUp() override {
    if (const char *previous = std::getenv("ZEL_MACHINE"))
      m_previous = previous;
    m_machine = newMachineFolder();
    ::setenv("ZEL_MACHINE", m_machine.c_str(), 1);
  }
  void TearDown() override {
    if (m_previous.empty())
      ::unsetenv("ZEL_MACHINE");
    else
      ::setenv("ZEL_MACHINE", m_previous.c_str(), 1);
    for (const std::string &folder : m_folders)
      std::filesystem::remove_all(folder);
  }

  std::string newMachineFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "zel-registry-XXXXXX").string();
    const char *made = ::mkdtemp(pattern.data());
    EXPECT_NE(made, nullptr);
    m_folders.push_back(pattern);
    return pattern;
  }

  static HKEY create(HKEY root, const char16_t *path, DWORD options = REG_OPTION_NON_VOLATILE) {
    HKEY key = nullptr;
    EXPECT_EQ(
        RegCreateKeyExW(root, path, 0, nullptr, options, KEY_ALL_ACCESS, nullptr, &key, nullptr), 0)
        << zeltest::narrow(path);
    return key;
  }
  static LSTATUS openStatus(HKEY root, const char16_t *path, REGSAM sam = KEY_READ) {
    HKEY key = nullptr;
    const LSTATUS rc = RegOpenKeyExW(root, path, 0, sam, &key);
    if (rc == 0)
      RegCloseKey(key);
    return rc;
  }
  static bool hasDword(HKEY key, const std::string &name, DWORD expected) {
    const std::u16string wide(name.begin(), name.end());
    DWORD data = 0, size = sizeof data;
    return RegQueryValueExW(key, wide.c_str(), nullptr, nullptr, reinterpret_cast<BYTE *>(&data),
                            &size) == 0 &&
           size == sizeof data && data == expected;
  }
  // A key's whole subtree as text, through the interface, in enumeration
  // order: what a save file must carry.
  static std::string dump(HKEY key) {
    std::string text;
    char16_t name[256];
    BYTE data[512];
    for (DWORD i = 0;; ++i) {
      DWORD length = 256, type = 0, size = sizeof data;
      if (RegEnumValueW(key, i, name, &length, nullptr, &type, data, &size) != 0)
        break;
      text += "v " + zeltest::narrow(name) + " " + std::to_string(type) + " ";
      for (DWORD b = 0; b < size; ++b)
        text += std::to_string(data[b]) + ",";
      text += "\n";
    }
    for (DWORD i = 0;; ++i) {
      DWORD length = 256;
      if (RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != 0)
        break;
      HKEY sub = nullptr;
      EXPECT_EQ(RegOpenKeyExW(key, name, 0, KEY_READ, &sub), 0);
      text += "k " + zeltest::narrow(name) + " {\n" + dump(sub) + "}\n";
      RegCloseKey(sub);
    }
    return text;
  }

  // Changes the machine's database with sql behind the substitute's back,
  // then makes this process open it afresh.
  void rewriteDatabase(const char *sql) {
    sqlite3 *db = nullptr;
    ASSERT_EQ(sqlite3_open((m_machine + "/registry.db").c_str(), &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
    sqlite3_close(db);
    ::setenv("ZEL_MACHINE", newMachineFolder().c_str(), 1);
    EXPECT_EQ(openStatus(HKEY_CURRENT_USER, u"Software"), 0);
    ::setenv("ZEL_MACHINE", m_machine.c_str(), 1);
  }

  std::string m_machine;

private:
  std::string m_previous;
  std::vector<std::string> m_folders;
};

TEST_F(RegistryStore, KilledWriterLosesNoReportedWrite) {
  Child writer({"v", "0"});
  ASSERT_GT(writer.pid, 0);
  std::vector<long> reported;
  for (long index; reported.size() < 300 && (index = writer.next()) >= 0;)
    reported.push_back(index);
  ::kill(writer.pid, SIGKILL);
  writer.wait();
  for (long index; (index = writer.next()) >= 0;) // reported before the kill
    reported.push_back(index);
  ASSERT_GE(reported.size(), 300u);

  sqlite3 *db = nullptr;
  ASSERT_EQ(sqlite3_open((m_machine + "/registry.db").c_str(), &db), SQLITE_OK);
  sqlite3_stmt *check = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &check, nullptr), SQLITE_OK);
  ASSERT_EQ(sqlite3_step(check), SQLITE_ROW);
  EXPECT_STREQ(reinterpret_cast<const char *>(sqlite3_column_text(check, 0)), "ok");
  sqlite3_finalize(check);
  sqlite3_close(db);

  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, kWriterKey, 0, KEY_READ, &key), 0);
  for (long index : reported)
    EXPECT_TRUE(hasDword(key, "v" + std::to_string(index), static_cast<DWORD>(index))) << index;
  RegCloseKey(key);
}

TEST_F(RegistryStore, TwoWritersAtOnceLoseNothing) {
  Child a({"a", "1000"}), b({"b", "1000"});
  ASSERT_GT(a.pid, 0);
  ASSERT_GT(b.pid, 0);
  while (a.next() >= 0) {
  }
  while (b.next() >= 0) {
  }
  EXPECT_EQ(a.wait(), 0);
  EXPECT_EQ(b.wait(), 0);
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, kWriterKey, 0, KEY_READ, &key), 0);
  DWORD values = 0;
  EXPECT_EQ(RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values,
                             nullptr, nullptr, nullptr, nullptr),
            0);
  EXPECT_EQ(values, 2000u);
  for (DWORD i = 0; i < 1000; ++i) {
    EXPECT_TRUE(hasDword(key, "a" + std::to_string(i), i)) << i;
    EXPECT_TRUE(hasDword(key, "b" + std::to_string(i), i)) << i;
  }
  RegCloseKey(key);
}

// A process that starts while another is inside a write call must still
// read: opening the database may not wait for the write lock. The lock is
// never released in time, so a reader that waits for it is killed.
TEST_F(RegistryStore, NewProcessReadsWhileAnotherHoldsTheWriteLock) {
  HKEY key = create(HKEY_CURRENT_USER, kWriterKey);
  const DWORD data = 8201;
  ASSERT_EQ(RegSetValueExW(key, u"Kept", 0, REG_DWORD, reinterpret_cast<const BYTE *>(&data),
                           sizeof data),
            0);
  RegCloseKey(key);

  Child holder({"--hold-lock", m_machine + "/registry.db"}, true);
  ASSERT_GT(holder.pid, 0);
  ASSERT_EQ(holder.line(), "locked\n");
  Child reader({"--read", "Kept", "8201"});
  ASSERT_GT(reader.pid, 0);
  const std::optional<int> status = reader.waitFor(std::chrono::seconds(10));
  ASSERT_TRUE(status.has_value()) << "the reader still waited for the lock after 10 s";
  EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << "wait status " << *status;
  holder.closeInput();
  EXPECT_EQ(holder.wait(), 0);
}

TEST_F(RegistryStore, VolatileKeysEndWithTheMachinesRestart) {
  const char16_t kVolatile[] = u"Software\\ZelTest\\Volatile";
  HKEY kept = create(HKEY_CURRENT_USER, u"Software\\ZelTest\\Kept");
  HKEY gone = create(HKEY_CURRENT_USER, u"Software\\ZelTest\\Volatile\\Child", REG_OPTION_VOLATILE);
  HKEY key = nullptr;
  EXPECT_EQ(RegCreateKeyExW(gone, u"Stable", 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                            nullptr, &key, nullptr),
            static_cast<LSTATUS>(ERROR_CHILD_MUST_BE_VOLATILE));

  EXPECT_EQ(posix::restartMachine(), 0u);
  EXPECT_EQ(openStatus(HKEY_CURRENT_USER, kVolatile), 2);
  EXPECT_EQ(openStatus(HKEY_CURRENT_USER, u"Software\\ZelTest\\Kept"), 0);
  EXPECT_EQ(RegSetValueExW(gone, u"x", 0, REG_NONE, nullptr, 0),
            static_cast<LSTATUS>(ERROR_KEY_DELETED));
  EXPECT_EQ(RegCloseKey(gone), 0);
  EXPECT_EQ(RegCloseKey(kept), 0);

  // The host booting again is a restart too: the database notices a boot
  // id other than its own when a process next opens it.
  RegCloseKey(create(HKEY_CURRENT_USER, kVolatile, REG_OPTION_VOLATILE));
  sqlite3 *db = nullptr;
  ASSERT_EQ(sqlite3_open((m_machine + "/registry.db").c_str(), &db), SQLITE_OK);
  EXPECT_EQ(sqlite3_exec(db, "UPDATE meta SET value = 'earlier boot' WHERE name = 'boot'", nullptr,
                         nullptr, nullptr),
            SQLITE_OK);
  sqlite3_close(db);
  const std::string other = newMachineFolder(); // makes this process reconnect
  ::setenv("ZEL_MACHINE", other.c_str(), 1);
  EXPECT_EQ(openStatus(HKEY_CURRENT_USER, u"Software"), 0);
  ::setenv("ZEL_MACHINE", m_machine.c_str(), 1);
  EXPECT_EQ(openStatus(HKEY_CURRENT_USER, kVolatile), 2);
}

TEST_F(RegistryStore, SaveFileRoundTrips) {
  HKEY source = create(HKEY_CURRENT_USER, u"Software\\ZelTest\\Source");
  const BYTE bytes[] = {0, 1, 0, 255, 7};
  const char16_t text[] = u"default";
  ASSERT_EQ(
      RegSetValueExW(source, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE *>(text), sizeof text),
      0);
  ASSERT_EQ(RegSetValueExW(source, u"Bin", 0, REG_BINARY, bytes, sizeof bytes), 0);
  ASSERT_EQ(RegSetValueExW(source, u"Empty", 0, 0x1234, nullptr, 0), 0);
  HKEY sub = create(source, u"A\\B");
  ASSERT_EQ(RegSetValueExW(sub, u"Deep", 0, REG_BINARY, bytes, 2), 0);
  RegCloseKey(sub);
  RegCloseKey(create(source, u"Temporary", REG_OPTION_VOLATILE)); // not saved

  const std::string host = m_machine + "/saved.hive";
  const std::u16string file = posix::windowsPathFromHost(host);
  ASSERT_EQ(RegSaveKeyW(source, file.c_str(), nullptr), 0);
  EXPECT_EQ(RegSaveKeyW(source, file.c_str(), nullptr), static_cast<LSTATUS>(ERROR_ALREADY_EXISTS));

  HKEY target = create(HKEY_CURRENT_USER, u"Software\\ZelTest\\Target");
  ASSERT_EQ(RegSetValueExW(target, u"Old", 0, REG_BINARY, bytes, 1), 0);
  RegCloseKey(create(target, u"OldKey"));
  ASSERT_EQ(RegRestoreKeyW(target, file.c_str(), 0), 0);
  ASSERT_EQ(RegDeleteKeyW(source, u"Temporary"), 0);
  EXPECT_EQ(dump(target), dump(source));
  EXPECT_NE(dump(target).find("k B {\nv Deep 3 0,1,"), std::string::npos) << dump(target);

  // Files that are no save file, or no longer a whole one, change nothing.
  std::string saved;
  {
    FILE *in = std::fopen(host.c_str(), "rb");
    ASSERT_NE(in, nullptr);
    for (int c; (c = std::fgetc(in)) != EOF;)
      saved.push_back(static_cast<char>(c));
    std::fclose(in);
  }
  const std::string broken[] = {"not a save file", saved.substr(0, saved.size() - 1), saved + "x"};
  for (std::size_t i = 0; i < std::size(broken); ++i) {
    const std::string path = m_machine + "/broken" + std::to_string(i);
    FILE *out = std::fopen(path.c_str(), "wb");
    std::fwrite(broken[i].data(), 1, broken[i].size(), out);
    std::fclose(out);
    EXPECT_EQ(RegRestoreKeyW(target, posix::windowsPathFromHost(path).c_str(), 0),
              static_cast<LSTATUS>(ERROR_BADDB))
        << i;
  }
  EXPECT_EQ(RegRestoreKeyW(target, posix::windowsPathFromHost(m_machine + "/missing").c_str(), 0),
            static_cast<LSTATUS>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(dump(target), dump(source));
  RegCloseKey(target);
  RegCloseKey(source);
}

TEST_F(RegistryStore, DamagedDatabaseIsReportedNotRebuilt) {
  FILE *out = std::fopen((m_machine + "/registry.db").c_str(), "wb");
  ASSERT_NE(out, nullptr);
  for (int i = 0; i < 4096; ++i)
    std::fputc(i % 251, out);
  std::fclose(out);
  HKEY key = nullptr;
  EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE", 0, KEY_READ, &key),
            static_cast<LSTATUS>(ERROR_BADDB));
  EXPECT_EQ(key, nullptr);
}

namespace {

// What a program does first on a machine: a registry write, and a file
// opened on drive C: (which takes the machine's file-sharing lock).
LSTATUS useMachine() {
  HKEY key = nullptr;
  const LSTATUS rc = RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\ZelOwner", 0, nullptr, 0,
                                     KEY_ALL_ACCESS, nullptr, &key, nullptr);
  if (rc == 0) {
    const DWORD data = 1;
    EXPECT_EQ(RegSetValueExW(key, u"v", 0, REG_DWORD, reinterpret_cast<const BYTE *>(&data), 4), 0);
    RegCloseKey(key);
  }
  const HANDLE file = CreateFileW(u"C:\\zel-gate.txt", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  EXPECT_NE(file, INVALID_HANDLE_VALUE);
  CloseHandle(file);
  return rc;
}

} // namespace

// The files a new machine makes are readable and writable by their owner
// only; made by root in another user's folder, they are that user's.
TEST_F(RegistryStore, NewMachineFilesAreItsOwnersAlone) {
  uid_t owner = ::geteuid();
  if (owner == 0) {
    owner = 65534; // nobody
    ASSERT_EQ(::chown(m_machine.c_str(), owner, owner), 0);
  }
  ASSERT_EQ(useMachine(), 0);
  // The journals exist while the session is open.
  for (const char *name :
       {"registry.db", "registry.db-wal", "registry.db-shm", "file-sharing.lock"}) {
    SCOPED_TRACE(name);
    struct stat status {};
    ASSERT_EQ(::lstat((m_machine + "/" + name).c_str(), &status), 0);
    EXPECT_TRUE(S_ISREG(status.st_mode));
    EXPECT_EQ(status.st_mode & 07777, 0600u);
    EXPECT_EQ(status.st_uid, owner);
  }
}

// A link planted where the machine keeps its files, or a machine folder
// reached through a link, is never followed: what the link names is neither
// made nor changed. The database refuses such a machine; a journal name that
// links to an existing file SQLite takes for a stale journal and removes
// (the name, not the file), and goes on.
TEST_F(RegistryStore, NothingOfTheMachineIsReachedThroughALink) {
  struct Case {
    const char *name; // planted in the machine folder; null: the folder itself
    bool hardLink;
    LSTATUS ontoNothing, ontoFile; // what the registry write gets
  };
  const Case cases[] = {
      {"registry.db", false, ERROR_CANTOPEN, ERROR_CANTOPEN},
      {"registry.db", true, ERROR_CANTOPEN, ERROR_CANTOPEN},
      {"registry.db-wal", false, ERROR_CANTOPEN, 0},
      {"registry.db-shm", false, ERROR_CANTOPEN, ERROR_CANTOPEN},
      {"registry.db-journal", false, ERROR_CANTOPEN, 0},
      {"file-sharing.lock", false, 0, 0},
      {"file-sharing.lock", true, 0, 0},
      {nullptr, false, ERROR_CANTOPEN, ERROR_CANTOPEN},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const Case &c = cases[i];
    for (const bool bTargetExists : {false, true}) {
      if (c.hardLink && !bTargetExists) // a hard link needs a file
        continue;
      SCOPED_TRACE(std::to_string(i) + (bTargetExists ? " onto a file" : " onto nothing"));
      const std::string machine = newMachineFolder();
      const std::string elsewhere = newMachineFolder();
      const std::string target = elsewhere + (c.name ? "/target" : "/registry.db");
      if (bTargetExists) {
        std::FILE *out = std::fopen(target.c_str(), "wb");
        ASSERT_NE(out, nullptr);
        std::fputs("precious", out);
        std::fclose(out);
        ASSERT_EQ(::chmod(target.c_str(), 0644), 0);
      }
      const std::string planted = machine + "/" + (c.name ? c.name : "linked");
      ASSERT_EQ(c.hardLink
                    ? ::link(target.c_str(), planted.c_str())
                    : ::symlink(c.name ? target.c_str() : elsewhere.c_str(), planted.c_str()),
                0);
      ::setenv("ZEL_MACHINE", c.name ? machine.c_str() : planted.c_str(), 1);
      EXPECT_EQ(useMachine(), bTargetExists ? c.ontoFile : c.ontoNothing);

      struct stat status {};
      const bool bExists = ::lstat(target.c_str(), &status) == 0;
      EXPECT_EQ(bExists, bTargetExists);
      if (bExists && bTargetExists) {
        EXPECT_EQ(status.st_size, 8);
        EXPECT_EQ(status.st_mode & 07777, 0644u);
      }
    }
  }
  ::setenv("ZEL_MACHINE", m_machine.c_str(), 1);
}

// The first-use layout: the Windows facts, the roots that are aliases of
// keys, and the 32-bit view.
TEST_F(RegistryStore, FreshMachineHasTheWindows7Layout) {
  struct Fact {
    const char16_t *path, *name, *text;
    DWORD type;
  };
  const Fact facts[] = {
      {u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", u"CurrentVersion", u"6.1", REG_SZ},
      {u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", u"CurrentBuildNumber", u"7601", REG_SZ},
      {u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", u"CSDVersion", u"Service Pack 1",
       REG_SZ},
      {u"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment",
       u"PROCESSOR_ARCHITECTURE", u"AMD64", REG_SZ},
      {u"SYSTEM\\CurrentControlSet\\Control\\ProductOptions", u"ProductType", u"WinNT", REG_SZ},
      {u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList", u"ProfilesDirectory",
       u"%SystemDrive%\\Users", REG_EXPAND_SZ},
  };
  for (std::size_t i = 0; i < std::size(facts); ++i) {
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, facts[i].path, 0, KEY_READ, &key), 0) << i;
    char16_t text[64] = {};
    DWORD type = 0, size = sizeof text;
    EXPECT_EQ(
        RegQueryValueExW(key, facts[i].name, nullptr, &type, reinterpret_cast<BYTE *>(text), &size),
        0)
        << i;
    EXPECT_EQ(std::u16string(text), facts[i].text) << i;
    EXPECT_EQ(size, (std::u16string(facts[i].text).size() + 1) * 2) << i;
    EXPECT_EQ(type, facts[i].type) << i;
    RegCloseKey(key);
  }
  HKEY windows = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SYSTEM\\CurrentControlSet\\Control\\Windows", 0,
                          KEY_READ, &windows),
            0);
  EXPECT_TRUE(hasDword(windows, "CSDVersion", 0x100)) << "Service Pack 1";
  RegCloseKey(windows);

  // Each aliasing root shows what is written through the key it stands for.
  std::u16string user;
  char16_t name[256];
  for (DWORD i = 0, length = 256;
       RegEnumKeyExW(HKEY_USERS, i, name, &length, nullptr, nullptr, nullptr, nullptr) == 0;
       ++i, length = 256)
    if (std::u16string(name).rfind(u"S-1-5-21-", 0) == 0)
      user = name;
  ASSERT_EQ(user.size() > 9 && user.substr(user.size() - 5) == u"-1000", true);
  struct Alias {
    HKEY root;
    HKEY real;
    std::u16string path;
  };
  const Alias aliases[] = {
      {HKEY_CLASSES_ROOT, HKEY_LOCAL_MACHINE, u"SOFTWARE\\Classes"},
      {HKEY_CURRENT_USER, HKEY_USERS, user},
      {HKEY_CURRENT_CONFIG, HKEY_LOCAL_MACHINE,
       u"SYSTEM\\CurrentControlSet\\Hardware Profiles\\Current"},
  };
  for (std::size_t i = 0; i < std::size(aliases); ++i) {
    RegCloseKey(create(aliases[i].root, u"ZelAlias"));
    EXPECT_EQ(openStatus(aliases[i].real, (aliases[i].path + u"\\zelalias").c_str()), 0) << i;
    EXPECT_EQ(SHDeleteKeyW(aliases[i].root, u"ZelAlias"), 0) << i;
    EXPECT_EQ(SHDeleteKeyW(aliases[i].real, aliases[i].path.c_str()),
              static_cast<LSTATUS>(ERROR_ACCESS_DENIED))
        << i;
  }
  EXPECT_EQ(RegCloseKey(predefinedKey(static_cast<LONG>(0x80000004))),
            static_cast<LSTATUS>(ERROR_INVALID_HANDLE));

  // A key made in the 32-bit view lives under Wow6432Node.
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"Software\\ZelView", 0, nullptr, 0,
                            KEY_ALL_ACCESS | KEY_WOW64_32KEY, nullptr, &key, nullptr),
            0);
  RegCloseKey(key);
  EXPECT_EQ(openStatus(HKEY_LOCAL_MACHINE, u"Software\\ZelView"), 2);
  EXPECT_EQ(openStatus(HKEY_LOCAL_MACHINE, u"Software\\Wow6432Node\\ZelView"), 0);
  EXPECT_EQ(
      openStatus(HKEY_LOCAL_MACHINE, u"Software\\Wow6432Node\\ZelView", KEY_READ | KEY_WOW64_32KEY),
      0);
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software", 0, KEY_READ | KEY_WOW64_32KEY, &key), 0);
  EXPECT_EQ(openStatus(key, u"ZelView"), 0);
  RegCloseKey(key);
}

} // namespace

namespace {

// How far a chain of "d" keys below HKEY_USERS\<name> reaches, counted in
// levels below HKEY_USERS, and the DWORD "bottom" at its end.
int chainDepth(const char16_t *name, DWORD &bottom) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_USERS, name, 0, KEY_READ, &key) != 0)
    return 0;
  int level = 1;
  for (HKEY next = nullptr; RegOpenKeyExW(key, u"d", 0, KEY_READ, &next) == 0; ++level) {
    RegCloseKey(key);
    key = next;
  }
  DWORD size = sizeof bottom;
  if (RegQueryValueExW(key, u"bottom", nullptr, nullptr, reinterpret_cast<BYTE *>(&bottom),
                       &size) != 0)
    bottom = 0;
  RegCloseKey(key);
  return level;
}

} // namespace

// A volatile tree down to the depth limit ends with the restart and leaves a
// working registry; copying, saving, restoring and deleting such a tree work
// (none of them recurses over its depth).
TEST_F(RegistryStore, TreeAtTheDepthLimitSurvivesEveryWholeTreeOperation) {
  std::u16string steps = u"d";
  for (int i = 1; i < 32; ++i)
    steps += u"\\d";
  HKEY key = create(HKEY_USERS, u"ZelDeep", REG_OPTION_VOLATILE); // level 1
  for (int level = 1; level < 512;) {
    const int step = std::min(32, 512 - level);
    HKEY next = create(key, steps.substr(0, 2 * step - 1).c_str(), REG_OPTION_VOLATILE);
    RegCloseKey(key);
    key = next;
    level += step;
  }
  HKEY refused = nullptr;
  EXPECT_EQ(RegCreateKeyExW(key, u"d", 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr,
                            &refused, nullptr),
            static_cast<LSTATUS>(ERROR_NO_SYSTEM_RESOURCES));
  const DWORD mark = 512;
  ASSERT_EQ(RegSetValueExW(key, u"bottom", 0, REG_DWORD, reinterpret_cast<const BYTE *>(&mark), 4),
            0);
  RegCloseKey(key);

  HKEY copy = create(HKEY_USERS, u"ZelCopy");
  ASSERT_EQ(SHCopyKeyW(HKEY_USERS, u"ZelDeep", copy, 0), 0);
  const std::u16string file = posix::windowsPathFromHost(m_machine + "/deep.hive");
  ASSERT_EQ(RegSaveKeyW(copy, file.c_str(), nullptr), 0);
  RegCloseKey(copy);

  ASSERT_EQ(posix::restartMachine(), 0u);
  EXPECT_EQ(openStatus(HKEY_USERS, u"ZelDeep"), 2);
  RegCloseKey(create(HKEY_CURRENT_USER, u"Software\\ZelTest\\AfterRestart"));

  HKEY restored = create(HKEY_USERS, u"ZelRestored");
  EXPECT_EQ(RegRestoreKeyW(restored, file.c_str(), 0), 0);
  RegCloseKey(restored);
  // One level lower, the same tree would pass the limit: nothing is written.
  HKEY lower = create(HKEY_USERS, u"ZelLower\\Start");
  EXPECT_EQ(RegRestoreKeyW(lower, file.c_str(), 0),
            static_cast<LSTATUS>(ERROR_NO_SYSTEM_RESOURCES));
  EXPECT_EQ(openStatus(lower, u"d"), 2);
  RegCloseKey(lower);

  for (const char16_t *name : {u"ZelCopy", u"ZelRestored"}) {
    DWORD bottom = 0;
    EXPECT_EQ(chainDepth(name, bottom), 512) << zeltest::narrow(name);
    EXPECT_EQ(bottom, mark) << zeltest::narrow(name);
    EXPECT_EQ(SHDeleteKeyW(HKEY_USERS, name), 0) << zeltest::narrow(name);
    EXPECT_EQ(openStatus(HKEY_USERS, name), 2) << zeltest::narrow(name);
  }
}

// A machine written before the shape counter existed (schema version 0)
// opens with its content, enumerates and takes writes.
TEST_F(RegistryStore, EarlierDatabaseIsUpgradedInPlace) {
  HKEY key = create(HKEY_CURRENT_USER, u"Software\\ZelTest\\Old");
  const DWORD one = 1;
  ASSERT_EQ(RegSetValueExW(key, u"a", 0, REG_DWORD, reinterpret_cast<const BYTE *>(&one), 4), 0);
  RegCloseKey(key);
  rewriteDatabase("ALTER TABLE keys DROP COLUMN shape; PRAGMA user_version = 0");

  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\ZelTest\\Old", 0, KEY_ALL_ACCESS, &key),
            0);
  EXPECT_TRUE(hasDword(key, "a", 1));
  ASSERT_EQ(RegSetValueExW(key, u"b", 0, REG_DWORD, reinterpret_cast<const BYTE *>(&one), 4), 0);
  EXPECT_EQ(dump(key), "v a 4 1,0,0,0,\nv b 4 1,0,0,0,\n");
  RegCloseKey(key);
}

// A machine seeded before the layout's latest facts gets them when next
// opened, and keeps every value it holds, changed ones included.
TEST_F(RegistryStore, EarlierLayoutGainsOnlyTheMissingFacts) {
  HKEY windows = create(HKEY_LOCAL_MACHINE, u"SYSTEM\\CurrentControlSet\\Control\\Windows");
  ASSERT_EQ(RegDeleteValueW(windows, u"CSDVersion"), 0);
  const DWORD changed = 0x300;
  HKEY options = create(HKEY_LOCAL_MACHINE, u"SYSTEM\\CurrentControlSet\\Control\\ProductOptions");
  ASSERT_EQ(RegSetValueExW(options, u"ProductType", 0, REG_DWORD,
                           reinterpret_cast<const BYTE *>(&changed), 4),
            0);
  rewriteDatabase("DELETE FROM meta WHERE name = 'seed revision'");
  EXPECT_TRUE(hasDword(windows, "CSDVersion", 0x100)) << "the missing fact is added";
  EXPECT_TRUE(hasDword(options, "ProductType", 0x300)) << "a held value is kept";
  RegCloseKey(windows);
  RegCloseKey(options);
}

// Where a write lands for each process bitness, machine and view flag, as
// Windows places it: a 32-bit program on 64-bit Windows writes the 32-bit
// view unless it asks for the 64-bit one; 32-bit Windows has one view and
// ignores the flags, and a 64-bit process there is taken as a native one.
// The write goes through a handle to SOFTWARE opened with the flag, into a
// sub-key created without one, so the handle must keep its view.
TEST_F(RegistryStore, ViewsFollowTheProcessBitnessAndTheMachine) {
  constexpr ProcessBitness B32 = ProcessBitness::Bits32, B64 = ProcessBitness::Bits64;
  struct Case {
    const char16_t *architecture;
    ProcessBitness bitness;
    REGSAM flag;
    BOOL wow64;
    bool lands32;
  };
  const Case cases[] = {
      {u"AMD64", B32, 0, TRUE, true},
      {u"AMD64", B32, KEY_WOW64_32KEY, TRUE, true},
      {u"AMD64", B32, KEY_WOW64_64KEY, TRUE, false},
      {u"AMD64", B64, 0, FALSE, false},
      {u"AMD64", B64, KEY_WOW64_32KEY, FALSE, true},
      {u"AMD64", B64, KEY_WOW64_64KEY, FALSE, false},
      {u"x86", B32, 0, FALSE, false},
      {u"x86", B32, KEY_WOW64_32KEY, FALSE, false},
      {u"x86", B32, KEY_WOW64_64KEY, FALSE, false},
      {u"x86", B64, 0, FALSE, false},
      {u"x86", B64, KEY_WOW64_32KEY, FALSE, false},
      {u"x86", B64, KEY_WOW64_64KEY, FALSE, false},
  };
  const char16_t *const paths[] = {u"Software\\ZelBits", u"Software\\Wow6432Node\\ZelBits"};
  for (DWORD i = 0; i < std::size(cases); ++i) {
    const Case &c = cases[i];
    SCOPED_TRACE(i);
    declareProcessBitness(B64);
    HKEY environment = create(HKEY_LOCAL_MACHINE,
                              u"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment");
    const std::u16string architecture(c.architecture);
    ASSERT_EQ(RegSetValueExW(environment, u"PROCESSOR_ARCHITECTURE", 0, REG_SZ,
                             reinterpret_cast<const BYTE *>(architecture.c_str()),
                             static_cast<DWORD>((architecture.size() + 1) * sizeof(char16_t))),
              0);
    RegCloseKey(environment);

    declareProcessBitness(c.bitness);
    BOOL wow64 = 2;
    ASSERT_TRUE(IsWow64Process(GetCurrentProcess(), &wow64));
    EXPECT_EQ(wow64, c.wow64);
    HKEY software = nullptr, key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software", 0, KEY_ALL_ACCESS | c.flag, &software),
              0);
    ASSERT_EQ(RegCreateKeyExW(software, u"ZelBits", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                              nullptr),
              0);
    RegCloseKey(software);
    ASSERT_EQ(RegSetValueExW(key, u"Case", 0, REG_DWORD, reinterpret_cast<const BYTE *>(&i), 4), 0);
    RegCloseKey(key);

    // The native view of either machine names both places by their paths.
    declareProcessBitness(B64);
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, paths[c.lands32], 0, KEY_READ, &key), 0);
    EXPECT_TRUE(hasDword(key, "Case", i));
    RegCloseKey(key);
    EXPECT_EQ(openStatus(HKEY_LOCAL_MACHINE, paths[!c.lands32]), 2);
    EXPECT_EQ(SHDeleteKeyW(HKEY_LOCAL_MACHINE, paths[c.lands32]), 0);
  }
}
