// test_processes.cpp - CZELProcessInfo and the process half of
// CZELWindowsProcess over real children: copies of the project's small
// child program under a name of this test run's own, so that finding and
// ending by name can only ever reach processes this test started. Every
// child is ended before its test returns.
#include "zel_exceptions.h"
#include "zel_process_info.h"
#include "zel_test_support.h"
#include "zel_windowsprocess.h"
#include "zelsys/zelsys.h"

#include <gtest/gtest.h>

#include <string>

using namespace zelsys;

namespace {

constexpr WORD SHOW_NONE = 14;

std::u16string selfPath() {
  WCHAR path[MAX_PATH] = {};
  return std::u16string(path, GetModuleFileNameW(nullptr, path, MAX_PATH));
}

std::u16string number(unsigned long ulValue) {
  const std::string digits = std::to_string(ulValue);
  return std::u16string(digits.begin(), digits.end());
}

// A started child that is ended when the test leaves, however it leaves.
struct Child {
  CZELWindowsProcess process;
  ~Child() {
    HANDLE hProcess = nullptr;
    if (process.getHandle(hProcess))
      process.terminateProcess(1);
  }
};

class Processes : public ::testing::Test {
protected:
  // The child program copied beside this test as "child_<our pid>", with
  // the extension programs have here.
  static void SetUpTestSuite() {
    const std::u16string self = selfPath();
    const std::u16string folder = self.substr(0, self.rfind(u'\\') + 1);
    const bool bExe = self.size() > 4 && self.substr(self.size() - 4) == u".exe";
    const std::u16string extension = bExe ? u".exe" : u"";
    name() = u"child_" + number(GetCurrentProcessId()) + extension;
    path() = folder + name();
    ASSERT_TRUE(CopyFileW((folder + u"child_program" + extension).c_str(), path().c_str(), FALSE));
  }
  static void TearDownTestSuite() { DeleteFileW(path().c_str()); }
  static std::u16string &name() {
    static std::u16string value;
    return value;
  }
  static std::u16string &path() {
    static std::u16string value;
    return value;
  }
  static void startSleeping(Child &child) {
    ASSERT_TRUE(child.process.start(path().c_str(), u"sleep 20000", u"", NORMAL_PRIORITY_CLASS,
                                    SHOW_NONE, true));
  }
};

// The platform calls report failures with the codes Windows gives.
TEST_F(Processes, PlatformCallsAsWindowsReportsThem) {
  DWORD dwCode = 0;
  EXPECT_TRUE(GetExitCodeProcess(GetCurrentProcess(), &dwCode));
  EXPECT_EQ(dwCode, STILL_ACTIVE);
  SetLastError(0xDEADBEEF);
  EXPECT_EQ(OpenProcess(PROCESS_ALL_ACCESS, FALSE, 0x7FFFFFF0u), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started{};
  const struct {
    std::u16string commandLine;
    const char16_t *pszFolder;
    DWORD dwError;
  } failures[] = {{path() + u"-missing exit 0", nullptr, ERROR_FILE_NOT_FOUND},
                  {path() + u" exit 0", u"Z:\\no-such-folder-of-this-test", ERROR_DIRECTORY}};
  for (const auto &failure : failures) {
    std::u16string commandLine = failure.commandLine;
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                failure.pszFolder, &startup, &started));
    EXPECT_EQ(GetLastError(), failure.dwError);
  }

  // An ended process keeps its exit code and cannot be ended again.
  std::u16string commandLine = path() + u" exit 3";
  ASSERT_TRUE(CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                             nullptr, &startup, &started));
  EXPECT_EQ(WaitForSingleObject(started.hProcess, 10000), WAIT_OBJECT_0);
  EXPECT_TRUE(GetExitCodeProcess(started.hProcess, &dwCode));
  EXPECT_EQ(dwCode, 3u);
  // The documented refusal; Wine 8 reports success instead.
  ZEL_EXPECT_GAP_ON_WINE(!TerminateProcess(started.hProcess, 5) &&
                             GetLastError() == ERROR_ACCESS_DENIED,
                         "Wine ends an ended process again without complaint");
  EXPECT_TRUE(CloseHandle(started.hThread));
  EXPECT_TRUE(CloseHandle(started.hProcess));

  const HANDLE hSnapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  ASSERT_NE(hSnapshot, INVALID_HANDLE_VALUE);
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  bool bSelfListed = false;
  for (BOOL bMore = Process32FirstW(hSnapshot, &entry); bMore;
       bMore = Process32NextW(hSnapshot, &entry))
    bSelfListed = bSelfListed || entry.th32ProcessID == GetCurrentProcessId();
  EXPECT_EQ(GetLastError(), ERROR_NO_MORE_FILES);
  EXPECT_TRUE(bSelfListed);
  EXPECT_TRUE(CloseHandle(hSnapshot));
}

TEST_F(Processes, NamesAndIdentifiersNoProcessHas) {
  CZELProcessInfo info;
  DWORD dwProcessId = 0;
  EXPECT_TRUE(info.findProcessIdByName(name().c_str(), dwProcessId));
  EXPECT_EQ(dwProcessId, 0u);
  // No process has an identifier this high on either system.
  EXPECT_TRUE(info.killProcessById(0x7FFFFFF0u));
  CZELWCharStringList modules;
  EXPECT_FALSE(info.enumerateModulesByProcessName(name().c_str(), modules));
}

TEST_F(Processes, EmptyProgramFailsBeforeReachingThePlatform) {
  zeltest::RecordingSink sink;
  CZELWindowsProcess process;
  for (const bool bCreateProcess : {true, false})
    EXPECT_FALSE(process.start(u"", u"exit 1", u"", 0, SHOW_NONE, bCreateProcess));
  // Only the argument was refused: no start was tried and failed.
  EXPECT_EQ(sink.countMessage(u"A bad argument was provided ( wcsCommandLine ). The string isn't "
                              u"valid"),
            2u);
  EXPECT_EQ(sink.count(), 2u);
  HANDLE hProcess = nullptr;
  EXPECT_FALSE(process.getHandle(hProcess));
  DWORD dwExitCode = 0;
  EXPECT_FALSE(process.waitForFinish(dwExitCode, 0));
  EXPECT_FALSE(process.terminateProcess(0));
  EXPECT_EQ(sink.countMessage(u"No valid process handle to wait for."), 3u);
}

TEST_F(Processes, ExitCodesOfBothWaysToStart) {
  for (const bool bCreateProcess : {true, false}) {
    SCOPED_TRACE(bCreateProcess ? "CreateProcess" : "ShellExecuteEx");
    CZELWindowsProcess process;
    DWORD dwExitCode = 0;
    EXPECT_TRUE(process.startAndWaitForFinish(dwExitCode, path().c_str(), u"exit 42", u"", INFINITE,
                                              NORMAL_PRIORITY_CLASS, SHOW_NONE, bCreateProcess));
    EXPECT_EQ(dwExitCode, 42u);
  }
}

// The child splits its command line itself, as every Windows program does.
TEST_F(Processes, CommandLineSplitByTheWindowsRules) {
  const struct {
    const char16_t *arguments;
    DWORD dwExpected; // 100 * words + length of the last
  } cases[] = {
      {u"words a \"b c\"", 203},
      {u"words \t a\tbc ", 202},
      {u"words \"\"", 100},
      {u"words a\\\"b", 103},
      {u"words a\\\\b", 104},
      {u"words a\\\\\"b c\"", 105},
      {u"words \"a b\"c d\"e f\"", 204},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(i);
    CZELWindowsProcess process;
    DWORD dwExitCode = 0;
    EXPECT_TRUE(process.startAndWaitForFinish(dwExitCode, path().c_str(), cases[i].arguments, u"",
                                              INFINITE, NORMAL_PRIORITY_CLASS, SHOW_NONE, true));
    EXPECT_EQ(dwExitCode, cases[i].dwExpected);
  }
}

TEST_F(Processes, ShortWaitModulesAndTermination) {
  Child child;
  startSleeping(child);
  DWORD dwExitCode = 0;
  EXPECT_TRUE(child.process.waitForFinish(dwExitCode, 1000));
  EXPECT_EQ(dwExitCode, STILL_ACTIVE);

  CZELProcessInfo info;
  DWORD dwProcessId = 0;
  ASSERT_TRUE(info.findProcessIdByName(name().c_str(), dwProcessId));
  ASSERT_NE(dwProcessId, 0u);
  CZELWCharString strName;
  EXPECT_TRUE(info.findProcessNameById(dwProcessId, strName));
  EXPECT_EQ(std::u16string(strName.getBuffer()), name());
  CZELWCharStringList modules;
  ASSERT_TRUE(info.enumerateModulesByProcessId(dwProcessId, modules));
  EXPECT_GT(modules.getCount(), 0u);
  // Every module but the executable itself.
  modules.begin();
  do {
    CZELWCharString strPath;
    ASSERT_TRUE(modules.getItem(strPath));
    const std::u16string module(strPath.getBuffer());
    EXPECT_NE(module.substr(module.rfind(u'\\') + 1), name());
  } while (modules.next());

  // Ending forgets the handle, so nothing can use it once closed.
  EXPECT_TRUE(child.process.terminateProcess(7));
  HANDLE hProcess = nullptr;
  EXPECT_FALSE(child.process.getHandle(hProcess));
}

TEST_F(Processes, LaterOfTwoByNameThenEndingByFullPath) {
  Child first, second;
  startSleeping(first);
  startSleeping(second);
  CZELProcessInfo info;
  DWORD dwProcessId = 0;
  ASSERT_TRUE(info.findProcessIdByName(name().c_str(), dwProcessId));
  EXPECT_TRUE(info.killProcessById(dwProcessId));
  DWORD dwFirst = 0, dwSecond = 0;
  EXPECT_TRUE(second.process.waitForFinish(dwSecond, 10000));
  EXPECT_TRUE(first.process.waitForFinish(dwFirst, 0));
  EXPECT_EQ(dwSecond, 0u);
  EXPECT_EQ(dwFirst, STILL_ACTIVE);

  EXPECT_TRUE(info.killProcessByName(path().c_str()));
  EXPECT_TRUE(first.process.waitForFinish(dwFirst, 10000));
  EXPECT_EQ(dwFirst, 0u);
  dwProcessId = 0;
  EXPECT_TRUE(info.findProcessIdByName(name().c_str(), dwProcessId));
  EXPECT_EQ(dwProcessId, 0u);
}

} // namespace
