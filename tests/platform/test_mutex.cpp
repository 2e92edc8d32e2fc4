// test_mutex.cpp - mutexes: ownership and its recursion, waits that time out
// or find a mutex abandoned, names, and a second process of this test that
// holds the machine's mutex while this one waits (its files in
// C:\ZelTestMutex, removed before and after). One source for both
// platforms.
#include "zel_run_program.h"
#include "zel_test_support.h"
#include "zelsys/environment.h"
#include "zelsys/files.h"
#include "zelsys/kernel.h"
#include "zelsys/process.h"
#include "zelsys/security.h"
#include "zelsys/sync.h"
#include "zelsys/winconst.h"

#include <atomic>
#include <string>

using namespace zelsys;

namespace {

constexpr DWORD kSentinel = 0xdeadbeef;

// The last error a failed release leaves; ERROR_SUCCESS when it succeeded.
DWORD releaseError(HANDLE hMutex) {
  SetLastError(kSentinel);
  return ReleaseMutex(hMutex) ? ERROR_SUCCESS : GetLastError();
}

} // namespace

// The same story for an unnamed mutex, whose object is this process's own,
// and for named ones, which the substitute shares through the machine.
TEST(PlatformMutex, OwnershipWaitsAndAbandonment) {
  const char16_t *const names[] = {nullptr, u"ZelTestMutex-Threads",
                                   u"Global\\ZelTestMutex-Threads"};
  for (std::size_t i = 0; i < std::size(names); ++i) {
    SCOPED_TRACE(i);
    // Created owned: its owner takes it again; another thread can neither
    // take it within its time nor release it.
    SetLastError(kSentinel);
    const HANDLE hMutex = CreateMutexW(nullptr, TRUE, names[i]);
    ASSERT_NE(hMutex, nullptr);
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
    EXPECT_EQ(WaitForSingleObject(hMutex, 0), WAIT_OBJECT_0);
    DWORD dwOtherWait = 0, dwOtherRelease = 0;
    ASSERT_TRUE(zeltest::runOnThreads({[&] {
      dwOtherWait = WaitForSingleObject(hMutex, 30);
      dwOtherRelease = releaseError(hMutex);
    }}));
    EXPECT_EQ(dwOtherWait, WAIT_TIMEOUT);
    EXPECT_EQ(dwOtherRelease, ERROR_NOT_OWNER);
    // Taken twice, free after the second release.
    EXPECT_EQ(releaseError(hMutex), ERROR_SUCCESS);
    EXPECT_EQ(releaseError(hMutex), ERROR_SUCCESS);
    EXPECT_EQ(releaseError(hMutex), ERROR_NOT_OWNER);

    // A thread that waits while another holds it gets it when released.
    const HANDLE hHeld = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    DWORD dwHolder = 0, dwWaiter = 0, dwHolderRelease = 0, dwWaiterRelease = 0;
    const auto holder = [&] {
      dwHolder = WaitForSingleObject(hMutex, INFINITE);
      SetEvent(hHeld);
      Sleep(50);
      dwHolderRelease = releaseError(hMutex);
    };
    const auto waiter = [&] {
      WaitForSingleObject(hHeld, INFINITE);
      dwWaiter = WaitForSingleObject(hMutex, 20000);
      dwWaiterRelease = releaseError(hMutex);
    };
    ASSERT_TRUE(zeltest::runOnThreads({holder, waiter}));
    EXPECT_EQ(dwHolder, WAIT_OBJECT_0);
    EXPECT_EQ(dwWaiter, WAIT_OBJECT_0);
    EXPECT_EQ(dwHolderRelease, ERROR_SUCCESS);
    EXPECT_EQ(dwWaiterRelease, ERROR_SUCCESS);

    // A thread that ends owning it abandons it: the next wait, single or
    // among several, takes it with WAIT_ABANDONED, and only that one.
    const HANDLE hBoth[] = {hHeld, hMutex};
    ResetEvent(hHeld);
    for (const bool bAmongSeveral : {false, true}) {
      ASSERT_TRUE(zeltest::runOnThreads({[&] { dwHolder = WaitForSingleObject(hMutex, 0); }}));
      EXPECT_EQ(dwHolder, WAIT_OBJECT_0);
      EXPECT_EQ(bAmongSeveral ? MsgWaitForMultipleObjects(2, hBoth, FALSE, 0, QS_ALLINPUT)
                              : WaitForSingleObject(hMutex, 0),
                bAmongSeveral ? WAIT_ABANDONED_0 + 1 : WAIT_ABANDONED);
      EXPECT_EQ(WaitForSingleObject(hMutex, 0), WAIT_OBJECT_0);
      EXPECT_EQ(releaseError(hMutex), ERROR_SUCCESS);
      EXPECT_EQ(releaseError(hMutex), ERROR_SUCCESS);
    }

    EXPECT_EQ(releaseError(hHeld), ERROR_INVALID_HANDLE);
    CloseHandle(hHeld);
    EXPECT_TRUE(CloseHandle(hMutex));
    EXPECT_EQ(releaseError(hMutex), ERROR_INVALID_HANDLE);
  }
}

// Two names reach one mutex exactly when taking it through the first lets
// the second release it.
TEST(PlatformMutex, NamesReachOneMutex) {
  const std::u16string longName(MAX_PATH, u'\u00e9');
  struct Case {
    std::u16string first, second;
    bool bSame;
  } cases[] = {
      {u"ZelTestMutex-Names", u"ZelTestMutex-Names", true},
      {u"ZelTestMutex-Names", u"Local\\ZelTestMutex-Names", true},
      {u"ZelTestMutex-Names", u"zeltestmutex-names", false},
      {u"Global\\ZelTestMutex-Names", u"Global\\ZelTestMutex-Names", true},
      {u"Global\\ZelTestMutex-Names", u"Global\\zeltestmutex-names", false},
      // Characters no host file name may hold, or that would lead elsewhere.
      {u"ZelTestMutex/../..:*?\u00e9", u"ZelTestMutex/../..:*?\u00e9", true},
      {u"ZelTestMutex/../..:*?\u00e9", u"ZelTestMutex/../..:*?", false},
      {longName, longName, true},
      {longName, longName.substr(1), false},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(i);
    const Case &c = cases[i];
    const HANDLE hFirst = CreateMutexW(nullptr, TRUE, c.first.c_str());
    ASSERT_NE(hFirst, nullptr);
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
    // Opening an existing mutex ignores bInitialOwner: one take, released
    // through the second handle, is all there is.
    const HANDLE hSecond = CreateMutexW(nullptr, TRUE, c.second.c_str());
    ASSERT_NE(hSecond, nullptr);
    EXPECT_EQ(GetLastError(), c.bSame ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    EXPECT_EQ(releaseError(hSecond), ERROR_SUCCESS);
    EXPECT_EQ(releaseError(hFirst), c.bSame ? ERROR_NOT_OWNER : ERROR_SUCCESS);
    EXPECT_EQ(releaseError(hSecond), ERROR_NOT_OWNER);
    HANDLE hCopy = nullptr;
    ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), hFirst, GetCurrentProcess(), &hCopy, 0, FALSE,
                                DUPLICATE_SAME_ACCESS));
    EXPECT_EQ(WaitForSingleObject(hCopy, 0), WAIT_OBJECT_0);
    EXPECT_EQ(releaseError(hFirst), ERROR_SUCCESS);
    CloseHandle(hFirst);
    CloseHandle(hSecond);
    CloseHandle(hCopy);
  }

  // The name goes with the last handle, even one whose thread owns the
  // mutex: it is then made anew, neither owned nor abandoned.
  const char16_t *pszName = u"Global\\ZelTestMutex-Closed";
  CloseHandle(CreateMutexW(nullptr, TRUE, pszName));
  const HANDLE hAgain = CreateMutexW(nullptr, FALSE, pszName);
  EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
  DWORD dwOther = 0;
  ASSERT_TRUE(zeltest::runOnThreads({[&] {
    dwOther = WaitForSingleObject(hAgain, 0);
    ReleaseMutex(hAgain);
  }}));
  EXPECT_EQ(dwOther, WAIT_OBJECT_0);
  CloseHandle(hAgain);

  // Names live in the session's folder of objects, which has no subfolder.
  SetLastError(kSentinel);
  EXPECT_EQ(CreateMutexW(nullptr, FALSE, u"NoSuchFolder\\ZelTestMutex"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
}

namespace {

const char16_t kChildVariable[] = u"ZEL_TEST_MUTEX_CHILD";
const char16_t kProcessMutex[] = u"Global\\ZelTestMutex-Processes";
const std::u16string kFolder = u"C:\\ZelTestMutex";
const std::u16string kHeld = kFolder + u"\\held", kSeen = kFolder + u"\\seen";

bool exists(const std::u16string &path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Waits at most a minute for a file, or until bGiveUp.
bool waitForFile(const std::u16string &path, const std::atomic<bool> &bGiveUp) {
  for (int i = 0; i < 6000 && !bGiveUp && !exists(path); ++i)
    Sleep(10);
  return exists(path);
}

void removeFiles() {
  DeleteFileW(kHeld.c_str());
  DeleteFileW(kSeen.c_str());
  RemoveDirectoryW(kFolder.c_str());
}

} // namespace

// The other process of the test below, started by it; skipped otherwise. It
// takes the mutex, says so, waits until the parent has seen it held, and
// then releases it, ends holding it, or is ended at once holding it.
TEST(PlatformMutexChild, HoldTheMutex) {
  WCHAR szMode[16] = {};
  if (GetEnvironmentVariableW(kChildVariable, szMode, 16) == 0)
    GTEST_SKIP() << "run by PlatformMutex.OtherProcessesWaitAndFindItAbandoned";
  const std::u16string mode = szMode;
  const HANDLE hMutex = CreateMutexW(nullptr, FALSE, kProcessMutex);
  ASSERT_NE(hMutex, nullptr);
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS); // the parent's
  ASSERT_EQ(WaitForSingleObject(hMutex, 0), WAIT_OBJECT_0);
  ASSERT_TRUE(zeltest::writeFileBytes(kHeld, "held"));
  const std::atomic<bool> bNever{false};
  ASSERT_TRUE(waitForFile(kSeen, bNever));
  if (mode == u"terminate")
    TerminateProcess(GetCurrentProcess(), 7);
  if (mode == u"release") {
    Sleep(50);
    EXPECT_EQ(releaseError(hMutex), ERROR_SUCCESS);
  }
}

TEST(PlatformMutex, OtherProcessesWaitAndFindItAbandoned) {
  struct Case {
    const char16_t *mode;
    DWORD dwWait; // once the child has let go
    int iExitCode;
  } cases[] = {{u"release", WAIT_OBJECT_0, 0},
               {u"exit", WAIT_ABANDONED, 0},
               {u"terminate", WAIT_ABANDONED, 7}};
  removeFiles();
  ASSERT_TRUE(CreateDirectoryW(kFolder.c_str(), nullptr));
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(i);
    DeleteFileW(kHeld.c_str());
    DeleteFileW(kSeen.c_str());
    // Made here, so it exists until this process lets go, whatever the
    // child does.
    const HANDLE hMutex = CreateMutexW(nullptr, FALSE, kProcessMutex);
    ASSERT_NE(hMutex, nullptr);
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
    ASSERT_TRUE(SetEnvironmentVariableW(kChildVariable, cases[i].mode));
    int iExitCode = -1;
    std::atomic<bool> bChildEnded{false};
    DWORD dwWhileHeld = 0, dwAfter = 0, dwRelease = 0;
    const auto child = [&] {
      iExitCode =
          zeltest::runProgram(zeltest::builtProgram(u"tests\\platform\\test_platform_mutex"),
                              u"--gtest_filter=PlatformMutexChild.*", u"C:\\", std::nullopt);
      bChildEnded = true;
    };
    const auto parent = [&] {
      if (!waitForFile(kHeld, bChildEnded))
        return;
      dwWhileHeld = WaitForSingleObject(hMutex, 50);
      zeltest::writeFileBytes(kSeen, "seen");
      dwAfter = WaitForSingleObject(hMutex, 60000);
      dwRelease = releaseError(hMutex);
    };
    ASSERT_TRUE(zeltest::runOnThreads({child, parent}));
    SetEnvironmentVariableW(kChildVariable, nullptr);
    EXPECT_EQ(iExitCode, cases[i].iExitCode);
    EXPECT_EQ(dwWhileHeld, WAIT_TIMEOUT);
    EXPECT_EQ(dwAfter, cases[i].dwWait);
    EXPECT_EQ(dwRelease, ERROR_SUCCESS);
    CloseHandle(hMutex);
  }
  removeFiles();
}
