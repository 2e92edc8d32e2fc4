// test_resources_and_box.cpp - module resources and the framework's message
// box: the resource DLL built beside this test from resource_dll.rc (read
// from the substitute's PE reader natively, loaded by Windows under Wine),
// the program's own string table (box_strings.txt), and the box program,
// shown where nobody can answer and, natively, answered on a terminal.
// Test root: C:\ZelTestResources, removed before and after.
#include "resource_dll.h"
#include "zel_message_box.h"
#include "zel_run_program.h"
#include "zel_test_support.h"
#include "zel_windows_resource.h"
#include "zelsys/zelsys.h"

#ifndef _WIN32
#include "zel_terminal_program.h"
#endif

#include <cstring>
#include <string>

using namespace zelsys;

namespace {

constexpr DWORD SENTINEL = 0xdeadbeef;
const std::u16string ROOT = u"C:\\ZelTestResources";
const std::u16string COPY = ROOT + u"\\Lang.dll";

std::u16string besideTest(const std::u16string &name) {
  WCHAR path[MAX_PATH];
  const std::u16string self(path, GetModuleFileNameW(nullptr, path, MAX_PATH));
  return self.substr(0, self.rfind(u'\\') + 1) + name;
}

const std::u16string DLL = besideTest(u"zel_resources.dll");

std::u16string textOf(const CZELWCharString &text) { return zeltest::text(text.getBuffer()); }

void removeRoot() {
  DeleteFileW(COPY.c_str());
  DeleteFileW((ROOT + u"\\notes.txt").c_str());
  RemoveDirectoryW(ROOT.c_str());
}

class Resources : public ::testing::Test {
protected:
  void SetUp() override {
    removeRoot();
    ASSERT_TRUE(CreateDirectoryW(ROOT.c_str(), nullptr)) << GetLastError();
    ASSERT_TRUE(CopyFileW(DLL.c_str(), COPY.c_str(), TRUE)) << GetLastError();
  }
  void TearDown() override { removeRoot(); }

  zeltest::RecordingSink m_sink;
};

// Whether the module at path is loaded in this process.
bool isLoaded(const std::u16string &path) { return GetModuleHandleW(path.c_str()) != nullptr; }

} // namespace

TEST_F(Resources, LoadStringFromOwnModuleAndDll) {
  const std::u16string longText(u"" RESOURCE_DLL_LONG_TEXT);
  ASSERT_EQ(longText.size(), 1500u);
  const CZELWindowsResource own;
  const CZELWindowsResource onZ(CZELWCharString(DLL.c_str()));
  const CZELWindowsResource onC(CZELWCharString(COPY.c_str()));
  ASSERT_TRUE(onZ.isLoaded());
  ASSERT_TRUE(onC.isLoaded());
  struct Case {
    const CZELWindowsResource *resource;
    ZEL_ULONG id;
    bool found;
    std::u16string text;      // when found
    std::u16string logModule; // the module the failure names
  };
  const Case cases[] = {
      {&own, 200, true, u"Own title", {}},
      {&own, 9999, false, {}, u"Unknown resource DLL"},
      {&own, 202, false, {}, u"Unknown resource DLL"},
      {&onZ, RESOURCE_DLL_MESSAGE_ID, true, u"" RESOURCE_DLL_MESSAGE, {}},
      {&onC, RESOURCE_DLL_TITLE_ID, true, u"" RESOURCE_DLL_TITLE, {}},
      {&onC, RESOURCE_DLL_LONG_ID, true, longText.substr(0, 1023), {}},
      {&onC, RESOURCE_DLL_MISSING_ID, false, {}, COPY},
      {&onZ, 9999, false, {}, DLL},
      {&onC, 200, false, {}, COPY}, // the program's text is not the DLL's
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const Case &c = cases[i];
    m_sink.clear();
    CZELWCharString text(u"unchanged");
    EXPECT_EQ(c.resource->loadString(c.id, text), c.found) << "case " << i;
    EXPECT_EQ(textOf(text), c.found ? c.text : u"unchanged") << "case " << i;
    std::size_t failures = 0;
    for (const zeltest::LoggedEntry &entry : m_sink.entries())
      failures += entry.type == CZELLogType::EXCEPTION_BAD ? 1 : 0;
    const std::u16string message = u"Unable to load string ( ID: " +
                                   textOf(CZELWCharString(static_cast<ZEL_LONG>(c.id))) +
                                   u" ) from resource DLL ( " + c.logModule + u" )";
    EXPECT_EQ(failures, c.found ? 0u : 1u) << "case " << i;
    EXPECT_EQ(m_sink.countMessage(message), c.found ? 0u : 1u)
        << "case " << i << ": " << zeltest::narrow(message);
  }
}

TEST_F(Resources, ModulesCountTheirLoads) {
  SetLastError(SENTINEL);
  const HMODULE hProgram = GetModuleHandleW(nullptr);
  ASSERT_NE(hProgram, nullptr);
  WCHAR path[MAX_PATH];
  ASSERT_GT(GetModuleFileNameW(nullptr, path, MAX_PATH), 0u);
  EXPECT_EQ(GetModuleHandleW(path), hProgram);

  EXPECT_FALSE(isLoaded(COPY));
  const HMODULE hFirst = LoadLibraryW(COPY.c_str());
  ASSERT_NE(hFirst, nullptr) << GetLastError();
  // The same file, spelt otherwise, is the same module.
  EXPECT_EQ(LoadLibraryW(u"c:\\zeltestresources\\LANG.DLL"), hFirst);
  EXPECT_EQ(GetModuleHandleW(u"lang.dll"), hFirst);
  EXPECT_EQ(GetModuleHandleW(COPY.c_str()), hFirst);
  EXPECT_EQ(GetModuleFileNameW(hFirst, path, MAX_PATH), COPY.size());
  EXPECT_EQ(zeltest::text(path), COPY);
  EXPECT_TRUE(FreeLibrary(hFirst));
  EXPECT_TRUE(isLoaded(COPY)) << "one load is left";
  EXPECT_TRUE(FreeLibrary(hFirst));
  EXPECT_FALSE(isLoaded(COPY));
  EXPECT_EQ(GetLastError(), ERROR_MOD_NOT_FOUND);

  struct Failure {
    std::u16string name;
    DWORD error;
  };
  const std::u16string notes = ROOT + u"\\notes.txt";
  ASSERT_TRUE(zeltest::writeFileBytes(notes, "This file holds text, not a program.\r\n"));
  const Failure failures[] = {
      {ROOT + u"\\missing.dll", ERROR_MOD_NOT_FOUND},
      {u"C:\\NoSuchFolder\\missing.dll", ERROR_MOD_NOT_FOUND},
      {notes, ERROR_BAD_EXE_FORMAT},
  };
  for (const Failure &f : failures) {
    SetLastError(SENTINEL);
    EXPECT_EQ(LoadLibraryW(f.name.c_str()), nullptr) << zeltest::narrow(f.name);
    EXPECT_EQ(GetLastError(), f.error) << zeltest::narrow(f.name);
  }
}

TEST_F(Resources, VersionAndNamedResourcesOfTheDll) {
  const HMODULE hModule = LoadLibraryW(COPY.c_str());
  ASSERT_NE(hModule, nullptr) << GetLastError();
  // The version record through the resource calls, found by number and by
  // "#1".
  for (const LPCWSTR name : {MAKEINTRESOURCEW(1), static_cast<LPCWSTR>(u"#1")}) {
    const HRSRC hVersion = FindResourceW(hModule, name, RT_VERSION);
    ASSERT_NE(hVersion, nullptr) << GetLastError();
    const DWORD size = SizeofResource(hModule, hVersion);
    const HGLOBAL hData = LoadResource(hModule, hVersion);
    ASSERT_NE(hData, nullptr);
    const void *pBlock = LockResource(hData);
    ASSERT_NE(pBlock, nullptr);
    WORD wLength = 0;
    std::memcpy(&wLength, pBlock, sizeof wLength);
    EXPECT_EQ(wLength, size) << "the block's root spans the resource";
    LPVOID pValue = nullptr;
    UINT uLength = 0;
    ASSERT_TRUE(VerQueryValueW(pBlock, u"\\", &pValue, &uLength));
    VS_FIXEDFILEINFO info;
    ASSERT_EQ(uLength, sizeof info);
    std::memcpy(&info, pValue, sizeof info);
    EXPECT_EQ(info.dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(info.dwFileVersionMS, (3u << 16) | 1u);
    EXPECT_EQ(info.dwFileVersionLS, (4u << 16) | 159u);
  }
  // A named resource, the name compared without regard to case.
  const HRSRC hData = FindResourceW(hModule, u"sampleData", RT_RCDATA);
  ASSERT_NE(hData, nullptr) << GetLastError();
  const std::string expected = RESOURCE_DLL_DATA;
  ASSERT_GE(SizeofResource(hModule, hData), expected.size());
  EXPECT_EQ(
      std::memcmp(LockResource(LoadResource(hModule, hData)), expected.data(), expected.size()), 0);

  struct Missing {
    LPCWSTR name, type;
    DWORD error;
  };
  const Missing missing[] = {
      {MAKEINTRESOURCEW(2), RT_VERSION, ERROR_RESOURCE_NAME_NOT_FOUND},
      {u"OTHER", RT_RCDATA, ERROR_RESOURCE_NAME_NOT_FOUND},
      {MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(99), ERROR_RESOURCE_TYPE_NOT_FOUND},
  };
  for (std::size_t i = 0; i < std::size(missing); ++i) {
    SetLastError(SENTINEL);
    EXPECT_EQ(FindResourceW(hModule, missing[i].name, missing[i].type), nullptr) << "case " << i;
    EXPECT_EQ(GetLastError(), missing[i].error) << "case " << i;
  }
  EXPECT_TRUE(FreeLibrary(hModule));
}

TEST_F(Resources, LoadVersionInfoOfDllAndOwnModule) {
  struct Case {
    std::u16string dll; // empty: the program's own module
    bool found;
  };
  // Neither the substitute's programs nor this test's Windows build carry a
  // version record of their own.
  const Case cases[] = {{COPY, true}, {DLL, true}, {u"", false}, {ROOT + u"\\missing.dll", false}};
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const CZELWindowsResource resource =
        cases[i].dll.empty() ? CZELWindowsResource() : CZELWindowsResource(cases[i].dll.c_str());
    EXPECT_EQ(resource.getVersionResource(1) != nullptr, cases[i].found) << "case " << i;
    VS_FIXEDFILEINFO info{};
    EXPECT_EQ(resource.loadVersionInfo(1, info), cases[i].found) << "case " << i;
    EXPECT_EQ(info.dwFileVersionMS, cases[i].found ? (3u << 16) | 1u : 0u) << "case " << i;
  }
}

TEST_F(Resources, CopiesLoadTheDllAgainAndReleaseTheirOwnLoad) {
  {
    auto *pFirst = new CZELWindowsResource(CZELWCharString(COPY.c_str()));
    ASSERT_TRUE(pFirst->isLoaded());
    CZELWindowsResource copy(*pFirst);
    EXPECT_TRUE(copy.isLoaded());
    EXPECT_EQ(copy.getModule(), pFirst->getModule());
    CZELWindowsResource assigned;
    assigned = *pFirst;
    EXPECT_TRUE(assigned.isLoaded());
    delete pFirst;
    // The copies' own loads keep the DLL readable.
    CZELWCharString text;
    EXPECT_TRUE(copy.loadString(RESOURCE_DLL_TITLE_ID, text));
    EXPECT_EQ(textOf(text), u"" RESOURCE_DLL_TITLE);
    // Replacing the DLL releases the copy's load; the assigned one remains.
    EXPECT_TRUE(copy.setResourceDLL(GetModuleHandleW(nullptr)));
    EXPECT_FALSE(copy.isLoaded());
    EXPECT_TRUE(isLoaded(COPY));
  }
  EXPECT_FALSE(isLoaded(COPY)) << "every load released once";

  // An object that could not load its DLL reads nothing, not even the
  // program's own texts; nor does a copy of it.
  const CZELWindowsResource broken(CZELWCharString((ROOT + u"\\missing.dll").c_str()));
  EXPECT_FALSE(broken.isLoaded());
  const CZELWindowsResource brokenCopy(broken);
  for (const CZELWindowsResource *resource : {&broken, &brokenCopy}) {
    CZELWCharString text(u"unchanged");
    EXPECT_FALSE(resource->loadString(200, text));
    EXPECT_EQ(textOf(text), u"unchanged");
  }
  // An empty path loads nothing and fails.
  CZELWindowsResource emptied(CZELWCharString(COPY.c_str()));
  EXPECT_FALSE(emptied.setResourceDLL(CZELWCharString()));
  EXPECT_FALSE(emptied.isLoaded());
  EXPECT_FALSE(isLoaded(COPY));
}

TEST(MessageBox, NeverShownReportsCancelAndMissingIdsKeepTheText) {
  zeltest::RecordingSink sink;
  CZELMessageBox box(nullptr, u"Title", u"Message", CZELFlags(MB_OKCANCEL));
  EXPECT_EQ(box.getResult(), IDCANCEL);
  EXPECT_FALSE(box.setTitle(9999));
  EXPECT_FALSE(box.setMsg(202));
  EXPECT_TRUE(box.setTitle(200));
  EXPECT_TRUE(box.setMsg(CZELWCharString(u"Other")));
  box.setStyle(CZELFlags(MB_YESNO));
  EXPECT_EQ(box.getResult(), IDCANCEL);
  for (const zeltest::LoggedEntry &entry : sink.entries())
    EXPECT_NE(entry.type, CZELLogType::NOTIFICATION) << zeltest::narrow(entry.message);
}

// The box program where nobody can answer: natively its input is closed,
// under Wine there is no display. The box is not shown, the program says
// so (100) and logs no notification.
TEST(MessageBox, BoxThatCannotBeShownLeavesNoNotification) {
  WCHAR display[8];
  if (CurrentHost() == HostKind::Wine && GetEnvironmentVariableW(u"DISPLAY", display, 8) != 0)
    GTEST_SKIP() << "a display would show the box";
  const std::u16string program = zeltest::builtProgram(u"tests\\system\\box_program");
  const std::u16string output = ROOT + u"-box.txt";
  const int exitCode = zeltest::runProgram(program, u"", besideTest(u""), std::nullopt, output);
  const std::string printed = zeltest::readFileBytes(output);
  DeleteFileW(output.c_str());
  ZEL_EXPECT_GAP_ON_WINE(exitCode == 100 && printed.find("NOTIFICATION") == std::string::npos,
                         "Wine's MessageBoxW answers -1 where no box can be shown");
}

#ifndef _WIN32
// The box program on a terminal: the box asks with the caption the missing
// id left and the message loaded by id; both answers come back as the exit
// code, each with one notification line.
TEST(MessageBox, AnsweredOnTheTerminal) {
  const std::u16string program = zeltest::builtProgram(u"tests\\system\\box_program");
  struct Case {
    const char *answer;
    int result;
  };
  for (const Case &c : {Case{"OK", IDOK}, Case{"cancel", IDCANCEL}}) {
    std::string output;
    EXPECT_EQ(zeltest::runOnTerminal(program, "OK / Cancel", c.answer, output), c.result) << output;
    EXPECT_NE(output.find("Kept title"), std::string::npos) << output;
    EXPECT_NE(output.find("Own message"), std::string::npos) << output;
    const std::string line = "NOTIFICATION: Message Box displayed: Own message";
    const std::size_t at = output.find(line);
    EXPECT_NE(at, std::string::npos) << output;
    EXPECT_EQ(output.find(line, at + 1), std::string::npos) << "one line only: " << output;
  }
}
#endif
