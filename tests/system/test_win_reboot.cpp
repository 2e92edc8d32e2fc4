// test_win_reboot.cpp - CZELWinReboot and the shutdown calls beneath it, on
// the substitute and on Windows alike.
//
// Nothing here stops a machine: the substitute only ever records requests
// in its machine folder, and on Windows the fixture points
// ZEL_SHUTDOWN_RECORD at a file of its own, which makes the calls record
// instead of acting. On the substitute a Yes/No box reads its answer from
// standard input; under Wine without a display no box can be shown, which
// counts as not Yes.
#include "zel_test_support.h"
#include "zel_win_reboot.h"

#include "zelsys/environment.h"
#include "zelsys/kernel.h"
#include "zelsys/security.h"
#include "zelsys/shutdown.h"
#include "zelsys/winconst.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

using namespace zelsys;

namespace {

constexpr DWORD SENTINEL = 0xdeadbeef;

bool onSubstitute() { return CurrentHost() == HostKind::Substitute; }

std::string machineFolder() {
  const char *pszMachine = std::getenv("ZEL_MACHINE");
  return pszMachine != nullptr ? pszMachine : "";
}

// Whether a Yes/No box of this test can end without a person: on the
// substitute it reads standard input; under Wine without a display it
// cannot be shown at all. With a display, or on Windows, it would wait.
bool boxesEndByThemselves() {
  if (onSubstitute())
    return true;
  char16_t display[8] = {};
  return CurrentHost() == HostKind::Wine && GetEnvironmentVariableW(u"DISPLAY", display, 8) == 0;
}

// The next boxes read this answer (substitute only).
void answerBoxesWith(const std::string &answer) {
  const std::string path = machineFolder() + "/box-answer.txt";
  std::ofstream(path, std::ios::binary | std::ios::trunc) << answer;
  ASSERT_NE(std::freopen(path.c_str(), "r", stdin), nullptr);
}

class WinReboot : public ::testing::Test {
protected:
  void SetUp() override {
    if (onSubstitute()) {
      ASSERT_FALSE(machineFolder().empty());
      m_path = machineFolder() + "/shutdown-requests.txt";
    } else {
      // Without this the calls below would really restart Windows.
      m_path = "win-reboot-requests.txt";
      ASSERT_TRUE(SetEnvironmentVariableW(u"ZEL_SHUTDOWN_RECORD", u"win-reboot-requests.txt"));
      char16_t value[64] = {};
      ASSERT_GT(GetEnvironmentVariableW(u"ZEL_SHUTDOWN_RECORD", value, 64), 0u);
    }
    std::remove(m_path.c_str());
    switchShutdownPrivilege(false);
  }
  void TearDown() override {
    std::remove(m_path.c_str());
    if (onSubstitute())
      std::remove((machineFolder() + "/box-answer.txt").c_str());
  }

  // The record lines without their time, which is only checked for its
  // shape ("2026-12-08T07:21:38Z").
  std::vector<std::string> requests() const {
    std::ifstream file(m_path, std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);) {
      EXPECT_TRUE(line.size() > 21 && line[10] == 'T' && line[19] == 'Z' && line[20] == '\t')
          << line;
      lines.push_back(line.substr(std::min<std::size_t>(line.size(), 21)));
    }
    return lines;
  }

  // Enables or disables SeShutdownPrivilege through the platform; returns
  // the previous state the call reports: how many privileges it lists, and
  // the first one's attributes.
  struct Previous {
    DWORD count;
    DWORD attributes;
  };
  static Previous switchShutdownPrivilege(bool bEnable) {
    HANDLE hToken = nullptr;
    EXPECT_TRUE(
        OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &hToken));
    TOKEN_PRIVILEGES privileges{};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = bEnable ? SE_PRIVILEGE_ENABLED : 0;
    EXPECT_TRUE(LookupPrivilegeValueW(nullptr, SE_SHUTDOWN_NAME, &privileges.Privileges[0].Luid));
    TOKEN_PRIVILEGES previous{};
    previous.PrivilegeCount = SENTINEL;
    previous.Privileges[0].Attributes = SENTINEL;
    DWORD dwLength = 0;
    SetLastError(SENTINEL);
    EXPECT_TRUE(
        AdjustTokenPrivileges(hToken, FALSE, &privileges, sizeof previous, &previous, &dwLength));
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
    if (previous.PrivilegeCount == 1) {
      EXPECT_EQ(previous.Privileges[0].Luid.LowPart, privileges.Privileges[0].Luid.LowPart);
    }
    CloseHandle(hToken);
    return {previous.PrivilegeCount, previous.Privileges[0].Attributes};
  }

  // The privilege is off: a restart is refused as Windows refuses it, and
  // nothing is recorded.
  void expectPrivilegeOff(const std::string &where) const {
    const std::size_t before = requests().size();
    SetLastError(SENTINEL);
    EXPECT_FALSE(ExitWindowsEx(EWX_REBOOT, 0)) << where;
    EXPECT_EQ(GetLastError(), ERROR_PRIVILEGE_NOT_HELD) << where;
    EXPECT_EQ(requests().size(), before) << where;
  }

  std::string m_path;
};

} // namespace

// The token keeps each privilege's state, and the previous state lists
// exactly what a call changed. The shutdown calls check the privilege and
// their arguments before anything is requested.
TEST_F(WinReboot, PlatformChecksPrivilegeAndArguments) {
  const Previous enabled = switchShutdownPrivilege(true);
  EXPECT_EQ(enabled.count, 1u);
  EXPECT_EQ(enabled.attributes, 0u) << "it was disabled";
  ZEL_EXPECT_GAP_ON_WINE(switchShutdownPrivilege(true).count == 0,
                         "Wine 8 lists a privilege the call leaves as it was; Windows lists "
                         "only those it changes");

  char16_t other[] = u"ANOTHERHOST";
  char16_t message[] = u"m";
  const struct {
    LPWSTR machine;
    DWORD timeout;
    DWORD error;
  } refused[] = {
      {nullptr, MAX_SHUTDOWN_TIMEOUT + 1, ERROR_INVALID_PARAMETER},
      {other, 20, ERROR_BAD_NETPATH},
  };
  for (std::size_t i = 0; i < std::size(refused); ++i) {
    SetLastError(SENTINEL);
    EXPECT_FALSE(
        InitiateSystemShutdownW(refused[i].machine, message, refused[i].timeout, FALSE, TRUE))
        << "case " << i;
    EXPECT_EQ(GetLastError(), refused[i].error) << "case " << i;
  }
  EXPECT_TRUE(requests().empty());

  // Logging off ends only the caller's session and needs no privilege.
  const Previous disabled = switchShutdownPrivilege(false);
  EXPECT_EQ(disabled.count, 1u);
  EXPECT_EQ(disabled.attributes, SE_PRIVILEGE_ENABLED);
  EXPECT_TRUE(ExitWindowsEx(EWX_LOGOFF | EWX_FORCE, 0x80020003));
  expectPrivilegeOff("after logging off");
  EXPECT_EQ(requests(), std::vector<std::string>{"log off\t0x00000004\t0x80020003\t0\t"});
}

TEST_F(WinReboot, RequestsWhatEachOperationPromises) {
  enum Operation { opReboot, opShutdown, opTimedRestart };
  // A timed restart's message keeps its letters and its line structure on
  // one record line.
  const char16_t *const pszMessage = u"\u00c4nderungen\twerden\nnach dem Neustart wirksam";
  const struct {
    Operation op;
    bool ask;
    const char *answer; // typed into the box on the substitute
    bool substituteOnly;
    const char *record; // null: nothing may be requested
  } cases[] = {
      {opReboot, false, nullptr, false, "restart\t0x00000012\t0x00000000\t0\t"},
      {opShutdown, false, nullptr, false, "power off\t0x00000018\t0x00000000\t0\t"},
      {opTimedRestart, false, nullptr, false,
       "timed restart\t0x00000002\t0x00000000\t20\t"
       "\xc3\x84nderungen\\twerden\\nnach dem Neustart wirksam"},
      // The answer No (under Wine: a box that cannot be shown) requests
      // nothing, yet the operation succeeds.
      {opReboot, true, "No\n", false, nullptr},
      // Only the substitute can be told Yes without a person.
      {opShutdown, true, "yes\n", true, "power off\t0x00000018\t0x00000000\t0\t"},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const auto &c = cases[i];
    const std::string where = "case " + std::to_string(i);
    if ((c.ask && !boxesEndByThemselves()) || (c.substituteOnly && !onSubstitute()))
      continue;
    std::remove(m_path.c_str());
    if (c.answer != nullptr && onSubstitute())
      answerBoxesWith(c.answer);

    zeltest::RecordingSink sink;
    CZELWinReboot reboot;
    bool bResult = false;
    switch (c.op) {
    case opReboot:
      bResult = reboot.rebootSystem(c.ask, u"Restart", u"Restart the computer now?");
      break;
    case opShutdown:
      bResult = reboot.shutdownSystem(c.ask, u"Power off", u"Turn the computer off now?");
      break;
    case opTimedRestart:
      bResult = reboot.forceSystemShutdownStyleReboot(pszMessage);
      break;
    }
    EXPECT_TRUE(bResult) << where;
    // A question leaves its notification line; none is asked unless wanted.
    // (Under Wine the box is never shown, which may or may not leave one.)
    std::size_t asked = 0;
    for (const zeltest::LoggedEntry &entry : sink.entries())
      asked += entry.message.rfind(u"Message Box displayed: ", 0) == 0 ? 1 : 0;
    if (!c.ask || onSubstitute()) {
      EXPECT_EQ(asked, c.ask ? 1u : 0u) << where;
    }
    EXPECT_EQ(requests(),
              c.record == nullptr ? std::vector<std::string>{} : std::vector<std::string>{c.record})
        << where;
    expectPrivilegeOff(where);
  }
}
