// test_host_files.cpp - the substitute's file calls against what lies
// outside one process: opens held by another process, attributes as they
// are stored on the host, host links, other file systems and what writers
// that died left behind. Everything lives under C:\FixwellHostFileTest of
// the test machine.
#include "zel_test_support.h"
#include "zelsys/files.h"
#include "zelsys/kernel.h"
#include "zelsys/profilefiles.h"
#include "zelsys/security.h"
#include "zelsys/winconst.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <iterator>
#include <set>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

using namespace zelsys;

namespace {

const std::u16string ROOT = u"C:\\FixwellHostFileTest";

// The test machine's folder, which the test support names before any test.
std::string hostRoot() {
  const char *machine = std::getenv("ZEL_MACHINE");
  return machine ? std::string(machine) + "/drive_c/FixwellHostFileTest" : "";
}

HANDLE open(const std::u16string &path, DWORD access, DWORD share) {
  return CreateFileW(path.c_str(), access, share, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                     nullptr);
}

// A forked process that does one thing (opens a file, locks one) and
// holds what it did until it is killed.
class Holder {
public:
  explicit Holder(const std::function<bool()> &act) {
    int ready[2];
    if (::pipe(ready) != 0)
      return;
    m_pid = ::fork();
    if (m_pid == 0) {
      const char done = act() ? 'y' : 'n';
      (void)!::write(ready[1], &done, 1);
      for (;;)
        ::pause();
    }
    ::close(ready[1]);
    (void)!::read(ready[0], &m_done, 1);
    ::close(ready[0]);
  }
  // Opens the file with this access and share mode.
  Holder(const std::u16string &path, DWORD access, DWORD share)
      : Holder([&] { return open(path, access, share) != INVALID_HANDLE_VALUE; }) {}
  // Makes the host file and locks it, as a writer holds the file it writes
  // beside its target.
  explicit Holder(const std::string &path)
      : Holder([&] {
          const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
          return fd >= 0 && ::flock(fd, LOCK_EX) == 0;
        }) {}
  ~Holder() { kill(); }
  Holder(const Holder &) = delete;
  Holder &operator=(const Holder &) = delete;
  bool done() const { return m_done == 'y'; }
  void kill() {
    if (m_pid > 0 && ::kill(m_pid, SIGKILL) == 0)
      ::waitpid(m_pid, nullptr, 0);
    m_pid = -1;
  }

private:
  pid_t m_pid = -1;
  char m_done = 'n';
};

bool exists(const std::string &path) {
  struct stat status {};
  return ::lstat(path.c_str(), &status) == 0;
}

class HostFiles : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_FALSE(hostRoot().empty()) << "never on the user's own machine";
    std::system(("rm -rf '" + hostRoot() + "'").c_str());
    ASSERT_TRUE(CreateDirectoryW(ROOT.c_str(), nullptr)) << zeltest::narrow(ROOT);
  }
  void TearDown() override {
    if (!hostRoot().empty())
      std::system(("rm -rf '" + hostRoot() + "'").c_str());
  }
};

} // namespace

TEST_F(HostFiles, OpensOfAnotherProcessCountUntilItEnds) {
  const std::u16string path = ROOT + u"\\held";
  struct Case {
    DWORD childAccess, childShare, access, share;
    bool shared;
  };
  const Case cases[] = {
      {GENERIC_READ, FILE_SHARE_READ, GENERIC_READ, FILE_SHARE_READ, true},
      {GENERIC_READ, FILE_SHARE_READ, GENERIC_WRITE, FILE_SHARE_READ, false},
      {GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, GENERIC_READ, FILE_SHARE_READ, false},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    Holder holder(path, cases[i].childAccess, cases[i].childShare);
    ASSERT_TRUE(holder.done()) << "case " << i;
    const HANDLE hFile = open(path, cases[i].access, cases[i].share);
    EXPECT_EQ(hFile != INVALID_HANDLE_VALUE, cases[i].shared) << "case " << i;
    CloseHandle(hFile);
  }
  Holder holder(path, GENERIC_READ, FILE_SHARE_READ);
  ASSERT_TRUE(holder.done());
  EXPECT_FALSE(DeleteFileW(path.c_str()));
  EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
  holder.kill(); // the kernel drops a killed process's locks
  EXPECT_TRUE(DeleteFileW(path.c_str()));
}

TEST_F(HostFiles, AttributesLiveWhereOtherLinuxReadersLookForThem) {
  const std::u16string path = ROOT + u"\\kept";
  const std::string host = hostRoot() + "/kept";
  CloseHandle(open(path, GENERIC_WRITE, 0));
  ASSERT_TRUE(SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY));
  char value[32] = {};
  ASSERT_GT(::getxattr(host.c_str(), "user.DOSATTRIB", value, sizeof value), 0);
  EXPECT_STREQ(value, "0x3");
  struct stat status {};
  ASSERT_EQ(::stat(host.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0222, 0u) << "read-only takes every write bit";

  // What another reader wrote: hidden only, and a host file without any.
  ASSERT_TRUE(SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL));
  ASSERT_EQ(::setxattr(host.c_str(), "user.DOSATTRIB", "0x2", 3, 0), 0);
  EXPECT_EQ(GetFileAttributesW(path.c_str()), FILE_ATTRIBUTE_HIDDEN);
  ASSERT_EQ(::removexattr(host.c_str(), "user.DOSATTRIB"), 0);
  ASSERT_EQ(::chmod(host.c_str(), 0444), 0);
  EXPECT_EQ(GetFileAttributesW(path.c_str()), FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY);
}

TEST_F(HostFiles, LinksOutsideAreReparsePoints) {
  ASSERT_EQ(::symlink("/tmp", (hostRoot() + "/folder").c_str()), 0);
  ASSERT_EQ(::symlink("/etc/hostname", (hostRoot() + "/file").c_str()), 0);
  constexpr DWORD linkToFolder = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
  EXPECT_EQ(GetFileAttributesW((ROOT + u"\\Folder").c_str()), linkToFolder);
  EXPECT_EQ(GetFileAttributesW((ROOT + u"\\file").c_str()),
            FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_ARCHIVE);
  WIN32_FIND_DATAW data;
  const HANDLE hFind = FindFirstFileW((ROOT + u"\\fold*").c_str(), &data);
  ASSERT_NE(hFind, INVALID_HANDLE_VALUE);
  EXPECT_EQ(data.dwFileAttributes, linkToFolder);
  EXPECT_EQ(data.dwReserved0, 0xA000000Cu) << "the symbolic link's reparse tag";
  FindClose(hFind);
  EXPECT_TRUE(RemoveDirectoryW((ROOT + u"\\folder").c_str()));
  EXPECT_EQ(GetFileAttributesW(u"Z:\\tmp") & FILE_ATTRIBUTE_DIRECTORY, FILE_ATTRIBUTE_DIRECTORY);
}

// A host name that no Windows name holds is never listed, and no Windows
// name reaches it: not the one a search would have shown (bytes that are
// not UTF-8 read as U+FFFD), not another case of it. Names of dots and
// spaces are listed as on Windows; only "\\?\" names them.
TEST_F(HostFiles, NamesWindowsCannotHoldAreInvisible) {
  const std::string hidden[] = {
      "a:b", "..\\..\\escape", "q?",      "s*",      "\"q\"",       "l<", "g>",
      "p|q", "c\x01",          "bad\xff", "BAD\xfe", "\xed\xa0\x80"};
  const auto hostWrite = [](const std::string &name, const std::string &bytes) {
    std::FILE *file = std::fopen((hostRoot() + "/" + name).c_str(), "w");
    return file && std::fputs(bytes.c_str(), file) >= 0 && std::fclose(file) == 0;
  };
  for (const std::string &name : hidden)
    ASSERT_TRUE(hostWrite(name, "host")) << name;
  for (const char *name : {"plain", "...", " "})
    ASSERT_TRUE(hostWrite(name, name)) << name;

  std::set<std::u16string> listed;
  WIN32_FIND_DATAW data;
  const HANDLE hFind = FindFirstFileW((ROOT + u"\\*").c_str(), &data);
  ASSERT_NE(hFind, INVALID_HANDLE_VALUE);
  do
    listed.insert(data.cFileName);
  while (FindNextFileW(hFind, &data));
  FindClose(hFind);
  EXPECT_EQ(listed, (std::set<std::u16string>{u".", u"..", u"plain", u"...", u" "}));

  struct Case {
    std::u16string name;
    DWORD error;
  };
  const Case cases[] = {
      {u"a:b", ERROR_INVALID_NAME},         {u"bad\uFFFD", ERROR_FILE_NOT_FOUND},
      {u"BAD\uFFFD", ERROR_FILE_NOT_FOUND}, {u"\uFFFD", ERROR_FILE_NOT_FOUND},
      {u"c\x01", ERROR_INVALID_NAME},       {u"a\xD800", ERROR_INVALID_NAME},
      {u"...", ERROR_ACCESS_DENIED}, // the folder itself
  };
  const auto create = [](const std::u16string &name, DWORD disposition) {
    SetLastError(0xdeadbeef);
    const HANDLE hFile = CreateFileW((ROOT + u"\\" + name).c_str(), GENERIC_WRITE, 0, nullptr,
                                     disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    const DWORD dwError = GetLastError();
    CloseHandle(hFile);
    return hFile == INVALID_HANDLE_VALUE ? dwError : ERROR_SUCCESS;
  };
  for (std::size_t i = 0; i < std::size(cases); ++i)
    EXPECT_EQ(create(cases[i].name, OPEN_EXISTING), cases[i].error) << "case " << i;
  // Made anew, each name is a file of its own.
  for (const Case &c : cases)
    create(c.name, CREATE_ALWAYS);
  for (const std::string &name : hidden) {
    std::FILE *file = std::fopen((hostRoot() + "/" + name).c_str(), "r");
    char bytes[8] = {};
    EXPECT_TRUE(file && std::fgets(bytes, sizeof bytes, file) && std::string(bytes) == "host")
        << name;
    if (file)
      std::fclose(file);
  }
  const HANDLE hDots = open(u"\\\\?\\" + ROOT + u"\\...", GENERIC_READ, FILE_SHARE_READ);
  char bytes[8] = {};
  DWORD got = 0;
  EXPECT_TRUE(ReadFile(hDots, bytes, sizeof bytes, &got, nullptr));
  EXPECT_EQ(std::string(bytes, got), "...");
  CloseHandle(hDots);
}

// Shared memory is another file system than the build tree.
TEST_F(HostFiles, MovesAcrossFileSystemsOnlyAsCopies) {
  struct stat shm {};
  struct stat here {};
  if (::stat("/dev/shm", &shm) != 0 || ::stat(hostRoot().c_str(), &here) != 0 ||
      shm.st_dev == here.st_dev)
    GTEST_SKIP() << "no second file system";
  const std::u16string source = ROOT + u"\\moving";
  const std::string name = "Z:\\dev\\shm\\fixwell-moved-" + std::to_string(::getpid());
  const std::u16string target(name.begin(), name.end());
  CloseHandle(open(source, GENERIC_WRITE, 0));
  EXPECT_FALSE(MoveFileExW(source.c_str(), target.c_str(), 0));
  EXPECT_EQ(GetLastError(), ERROR_NOT_SAME_DEVICE);
  EXPECT_TRUE(MoveFileExW(source.c_str(), target.c_str(), MOVEFILE_COPY_ALLOWED));
  EXPECT_EQ(GetFileAttributesW(source.c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_TRUE(DeleteFileW(target.c_str()));
}

// A copy or a move across file systems killed half-way leaves its hidden
// file beside the target, a profile write killed before its rename too.
// The next such write into that folder deletes what writers that died left
// there, and nothing else: not the file of one still at work, not a link
// under such a name (nor what it points to), not a name merely alike.
TEST_F(HostFiles, WritersDeleteWhatWritersThatDiedLeft) {
  struct stat shm {};
  struct stat here {};
  const bool otherSystem = ::stat("/dev/shm", &shm) == 0 &&
                           ::stat(hostRoot().c_str(), &here) == 0 && shm.st_dev != here.st_dev;
  const std::string shmName = "/dev/shm/fixwell-moving-" + std::to_string(::getpid());
  const std::u16string shmSource = u"Z:" + std::u16string(shmName.begin(), shmName.end());
  const struct {
    const char *prefix;
    std::function<bool(const std::u16string &folder)> write;
  } writers[] = {
      {".zel-copy-",
       [&](const std::u16string &folder) {
         const std::u16string source = otherSystem ? shmSource : folder + u"\\source";
         const std::u16string target = folder + u"\\written";
         CloseHandle(open(source, GENERIC_WRITE, 0));
         return (otherSystem ? MoveFileExW(source.c_str(), target.c_str(), MOVEFILE_COPY_ALLOWED)
                             : CopyFileW(source.c_str(), target.c_str(), TRUE)) != FALSE;
       }},
      {".zel-profile-",
       [](const std::u16string &folder) {
         return WritePrivateProfileStringW(u"s", u"k", u"v", (folder + u"\\app.ini").c_str()) !=
                FALSE;
       }},
  };
  const std::string outside = hostRoot() + "/outside";
  std::FILE *file = std::fopen(outside.c_str(), "w");
  ASSERT_TRUE(file && std::fputs("outside", file) >= 0 && std::fclose(file) == 0);
  for (std::size_t i = 0; i < std::size(writers); ++i) {
    const std::string prefix = writers[i].prefix;
    const std::string folder = hostRoot() + "/w" + std::to_string(i);
    ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
    const std::string dead = folder + "/" + prefix + "0123456789abcdef";
    const std::string older = folder + "/" + prefix + "Ab12Cd"; // never locked
    const std::string live = folder + "/" + prefix + "fedcba9876543210";
    const std::string link = folder + "/" + prefix + "1111222233334444";
    const std::string alike = folder + "/" + prefix.substr(1) + "0123456789abcdef";
    Holder died(dead);
    Holder working(live);
    ASSERT_TRUE(died.done() && working.done()) << "writer " << i;
    died.kill();
    for (const std::string &path : {older, alike})
      ASSERT_EQ(::close(::open(path.c_str(), O_WRONLY | O_CREAT, 0600)), 0);
    ASSERT_EQ(::symlink(outside.c_str(), link.c_str()), 0);

    const std::string windows = "\\w" + std::to_string(i);
    EXPECT_TRUE(writers[i].write(ROOT + std::u16string(windows.begin(), windows.end())))
        << "writer " << i << " " << GetLastError();
    EXPECT_FALSE(exists(dead)) << "writer " << i;
    EXPECT_FALSE(exists(older)) << "writer " << i;
    EXPECT_TRUE(exists(live) && exists(link) && exists(alike)) << "writer " << i;
  }
  char bytes[16] = {};
  file = std::fopen(outside.c_str(), "r");
  EXPECT_TRUE(file && std::fgets(bytes, sizeof bytes, file) && std::string(bytes) == "outside");
  if (file)
    std::fclose(file);
}
