// test_files.cpp - conformance of the file and folder calls. Everything lives
// under C:\FixwellFileTest, removed before and after each test.
#include "zel_run_program.h"
#include "zel_test_support.h"
#include "zelsys/files.h"
#include "zelsys/kernel.h"
#include "zelsys/security.h"
#include "zelsys/winconst.h"

#include <cstring>
#include <iterator>
#include <memory>
#include <set>
#include <string>
#include <tuple>
#include <vector>

using namespace zelsys;

namespace {

const std::u16string ROOT = u"C:\\FixwellFileTest";
constexpr DWORD SENTINEL = 0xdeadbeef;
constexpr WCHAR PATTERN = 0xABCD;
constexpr DWORD SHARE_ALL = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr DWORD READ_WRITE = GENERIC_READ | GENERIC_WRITE;

std::u16string at(const std::u16string &name) { return ROOT + u"\\" + name; }

// Owns one file handle, whatever path the test takes out. A failed open's
// INVALID_HANDLE_VALUE is also the process's pseudo-handle, which closing
// leaves alone.
using File = std::unique_ptr<void, BOOL (*)(HANDLE)>;
bool valid(const File &file) { return file.get() != INVALID_HANDLE_VALUE; }

// The last error is the open's own afterwards.
File open(const std::u16string &path, DWORD access, DWORD share, DWORD disposition,
          DWORD attributes = FILE_ATTRIBUTE_NORMAL) {
  SetLastError(SENTINEL);
  return File(CreateFileW(path.c_str(), access, share, nullptr, disposition, attributes, nullptr),
              CloseHandle);
}

// The last error of an open, whose handle is closed again.
DWORD openError(const std::u16string &path, DWORD access, DWORD share, DWORD disposition,
                DWORD attributes = FILE_ATTRIBUTE_NORMAL) {
  const File file = open(path, access, share, disposition, attributes);
  return GetLastError();
}

bool writeFile(const std::u16string &path, const std::string &bytes,
               DWORD attributes = FILE_ATTRIBUTE_NORMAL) {
  File file = open(path, GENERIC_WRITE, 0, CREATE_ALWAYS, attributes);
  DWORD written = 0;
  return valid(file) &&
         WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
         written == bytes.size();
}

std::string readFile(const std::u16string &path) {
  File file = open(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
  char buffer[256];
  DWORD got = 0;
  if (!valid(file) || !ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr))
    return "<unreadable>";
  return std::string(buffer, got);
}

// The names a search gives, or the search's error as the only name.
std::set<std::u16string> find(const std::u16string &pattern) {
  WIN32_FIND_DATAW data;
  const HANDLE hFind = FindFirstFileW(pattern.c_str(), &data);
  if (hFind == INVALID_HANDLE_VALUE) {
    const std::string error = "error " + std::to_string(GetLastError());
    return {std::u16string(error.begin(), error.end())};
  }
  std::set<std::u16string> names;
  do
    names.insert(data.cFileName);
  while (FindNextFileW(hFind, &data));
  EXPECT_EQ(GetLastError(), ERROR_NO_MORE_FILES);
  EXPECT_TRUE(FindClose(hFind));
  return names;
}

void removeTree(const std::u16string &path) {
  WIN32_FIND_DATAW data;
  const HANDLE hFind = FindFirstFileW((path + u"\\*").c_str(), &data);
  for (bool more = hFind != INVALID_HANDLE_VALUE; more; more = FindNextFileW(hFind, &data)) {
    const std::u16string name = data.cFileName;
    const std::u16string child = path + u"\\" + name;
    if (name == u"." || name == u"..")
      continue;
    SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
    if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
        !(data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
      removeTree(child);
    else if (!DeleteFileW(child.c_str()))
      RemoveDirectoryW(child.c_str());
  }
  if (hFind != INVALID_HANDLE_VALUE)
    FindClose(hFind);
  RemoveDirectoryW(path.c_str());
}

// Wine keeps read-only in the permission bits, which root passes by; run as
// root (as CI does) it lets a program write, replace and delete read-only
// files. Only root can list /root.
bool wineIgnoresReadOnly() {
  static const bool ignores =
      CurrentHost() == HostKind::Wine && find(u"Z:\\root\\*").count(u".") != 0;
  return ignores;
}

#define EXPECT_READ_ONLY_REFUSAL(condition)                                                        \
  do {                                                                                             \
    if (wineIgnoresReadOnly())                                                                     \
      ZEL_EXPECT_GAP_ON_WINE(condition, "Wine as root writes read-only files");                    \
    else                                                                                           \
      EXPECT_TRUE(condition);                                                                      \
  } while (0)

// Symbolic links made for one test, removed again when it ends by the
// host's own means: Wine's DeleteFileW deletes what a link points to. What a
// link points to is put back first where the test removed it, as Wine does
// not see a link to nowhere and waits in vain for it to go.
class Links {
public:
  Links() = default;
  Links(const Links &) = delete;
  Links &operator=(const Links &) = delete;
  ~Links() {
    for (const Made &made : m_made) {
      if (GetFileAttributesW(made.target.c_str()) == INVALID_FILE_ATTRIBUTES)
        made.folder ? CreateDirectoryW(made.target.c_str(), nullptr) : writeFile(made.target, "");
      made.folder ? zeltest::removeFolderLink(made.link) : zeltest::removeFileLink(made.link);
    }
  }
  bool make(const std::u16string &link, const std::u16string &target, bool folder) {
    m_made.push_back({link, target, folder});
    return folder ? zeltest::makeFolderLink(link, target) : zeltest::makeFileLink(link, target);
  }

private:
  struct Made {
    std::u16string link;
    std::u16string target;
    bool folder;
  };
  std::vector<Made> m_made;
};

class Files : public ::testing::Test {
protected:
  void SetUp() override {
    GetCurrentDirectoryW(MAX_PATH, m_previous);
    removeTree(u"\\\\?\\" + ROOT);
    ASSERT_TRUE(CreateDirectoryW(ROOT.c_str(), nullptr)) << GetLastError();
  }
  void TearDown() override {
    SetCurrentDirectoryW(m_previous);
    removeTree(u"\\\\?\\" + ROOT); // also what is too long without the prefix
  }
  WCHAR m_previous[MAX_PATH] = {};
};

} // namespace

TEST_F(Files, NamesMatchAnyCaseAndKeepTheirOwn) {
  ASSERT_TRUE(writeFile(at(u"MixedCase.Txt"), "first"));
  EXPECT_EQ(openError(at(u"MIXEDCASE.txt"), GENERIC_WRITE, 0, CREATE_ALWAYS), ERROR_ALREADY_EXISTS);
  ASSERT_TRUE(writeFile(at(u"mixedcase.TXT"), "second"));
  EXPECT_EQ(find(at(u"*")), (std::set<std::u16string>{u".", u"..", u"MixedCase.Txt"}));

  // Both separators; trailing dots and spaces are dropped from a name.
  const char16_t *const spellings[] = {u"C:/FixwellFileTest/mixedcase.txt",
                                       u"C:\\fixwellfiletest\\MixedCase.Txt. .",
                                       u"C:\\FixwellFileTest.\\Sub\\..\\MixedCase.Txt"};
  for (const char16_t *spelling : spellings)
    EXPECT_EQ(readFile(spelling), "second") << zeltest::narrow(spelling);

  // Relative names resolve against the current folder.
  ASSERT_TRUE(CreateDirectoryW(at(u"Sub").c_str(), nullptr));
  ASSERT_TRUE(SetCurrentDirectoryW(at(u"sub").c_str()));
  ASSERT_TRUE(writeFile(u"Inner.txt", "inner"));
  EXPECT_EQ(readFile(u"..\\mixedcase.txt"), "second");
  EXPECT_EQ(find(at(u"Sub\\*.txt")), std::set<std::u16string>{u"Inner.txt"});
}

TEST_F(Files, DispositionsCreateOpenAndTruncateAsDocumented) {
  struct Case {
    DWORD disposition;
    bool exists;
    DWORD error; // the last error, also on success
    const char *content;
  };
  const Case cases[] = {
      {CREATE_NEW, false, ERROR_SUCCESS, ""},
      {CREATE_NEW, true, ERROR_FILE_EXISTS, "old"},
      {CREATE_ALWAYS, false, ERROR_SUCCESS, ""},
      {CREATE_ALWAYS, true, ERROR_ALREADY_EXISTS, ""},
      {OPEN_EXISTING, false, ERROR_FILE_NOT_FOUND, nullptr},
      {OPEN_EXISTING, true, ERROR_SUCCESS, "old"},
      {OPEN_ALWAYS, false, ERROR_SUCCESS, ""},
      {OPEN_ALWAYS, true, ERROR_ALREADY_EXISTS, "old"},
      {TRUNCATE_EXISTING, false, ERROR_FILE_NOT_FOUND, nullptr},
      {TRUNCATE_EXISTING, true, ERROR_SUCCESS, ""},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const std::u16string path = at(u"case");
    DeleteFileW(path.c_str());
    if (cases[i].exists) {
      ASSERT_TRUE(writeFile(path, "old")) << "case " << i;
    }
    File file = open(path, READ_WRITE, 0, cases[i].disposition);
    EXPECT_EQ(GetLastError(), cases[i].error) << "case " << i;
    const bool opened = cases[i].error == ERROR_SUCCESS || cases[i].error == ERROR_ALREADY_EXISTS;
    EXPECT_EQ(valid(file), opened) << "case " << i;
    file.reset();
    EXPECT_EQ(readFile(path), cases[i].content ? cases[i].content : "<unreadable>") << "case " << i;
  }
  EXPECT_EQ(openError(at(u"Missing\\x"), GENERIC_READ, 0, OPEN_ALWAYS), ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(openError(ROOT, GENERIC_READ, SHARE_ALL, OPEN_EXISTING), ERROR_ACCESS_DENIED);
}

TEST_F(Files, PointerAndSizeFollowTheHighPartProtocol) {
  ASSERT_TRUE(writeFile(at(u"data"), "abcdef"));
  File file = open(at(u"data"), READ_WRITE, 0, OPEN_EXISTING);
  ASSERT_TRUE(valid(file));
  char buffer[8] = {};
  DWORD got = SENTINEL;
  EXPECT_EQ(SetFilePointer(file.get(), 2, nullptr, FILE_BEGIN), 2u);
  ASSERT_TRUE(ReadFile(file.get(), buffer, 2, &got, nullptr));
  EXPECT_EQ(std::string(buffer, got), "cd");
  EXPECT_EQ(SetFilePointer(file.get(), -1, nullptr, FILE_END), 5u);
  EXPECT_TRUE(ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr));
  EXPECT_EQ(got, 1u);
  EXPECT_TRUE(ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr)) << "at the end";
  EXPECT_EQ(got, 0u);

  // Before the start: refused, and the pointer stays.
  SetLastError(SENTINEL);
  EXPECT_EQ(SetFilePointer(file.get(), -7, nullptr, FILE_CURRENT), INVALID_SET_FILE_POINTER);
  EXPECT_EQ(GetLastError(), ERROR_NEGATIVE_SEEK);
  EXPECT_EQ(SetFilePointer(file.get(), 0, nullptr, FILE_CURRENT), 6u);

  // A low part of all ones is a success that says so in the last error.
  LONG high = 0;
  SetLastError(SENTINEL);
  EXPECT_EQ(SetFilePointer(file.get(), -1, &high, FILE_BEGIN), INVALID_SET_FILE_POINTER);
  EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
  EXPECT_EQ(high, 0);
  DWORD written = 0;
  ASSERT_TRUE(WriteFile(file.get(), "z", 1, &written, nullptr));
  high = 0;
  EXPECT_EQ(SetFilePointer(file.get(), 0, &high, FILE_CURRENT), 0u);
  EXPECT_EQ(high, 1);
  DWORD sizeHigh = SENTINEL;
  EXPECT_EQ(GetFileSize(file.get(), &sizeHigh), 0u);
  EXPECT_EQ(sizeHigh, 1u);

  // A read-only handle does not write, nor does a closed one read.
  file.reset();
  File reader = open(at(u"data"), GENERIC_READ, SHARE_ALL, OPEN_EXISTING);
  EXPECT_FALSE(WriteFile(reader.get(), "x", 1, &written, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  const HANDLE hClosed = reader.get();
  reader.reset();
  EXPECT_FALSE(ReadFile(hClosed, buffer, 1, &got, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_EQ(GetFileSize(hClosed, nullptr), INVALID_FILE_SIZE);
  EXPECT_FALSE(CloseHandle(hClosed));
}

TEST_F(Files, SharingDecidesBetweenOpens) {
  struct Open {
    DWORD access;
    DWORD share;
  };
  struct Case {
    Open first;
    Open second;
    bool shared;
  };
  const Case cases[] = {
      {{GENERIC_READ, FILE_SHARE_READ}, {GENERIC_READ, FILE_SHARE_READ}, true},
      {{GENERIC_READ, FILE_SHARE_READ}, {GENERIC_WRITE, SHARE_ALL}, false},
      {{GENERIC_READ, SHARE_ALL}, {GENERIC_READ, FILE_SHARE_READ}, true},
      {{GENERIC_WRITE, SHARE_ALL}, {GENERIC_READ, FILE_SHARE_READ}, false},
      {{GENERIC_WRITE, FILE_SHARE_WRITE}, {GENERIC_WRITE, FILE_SHARE_WRITE}, true},
      {{GENERIC_WRITE, FILE_SHARE_WRITE}, {GENERIC_READ, SHARE_ALL}, false},
      {{READ_WRITE, 0}, {GENERIC_READ, SHARE_ALL}, false},
      {{READ_WRITE, SHARE_ALL}, {READ_WRITE, SHARE_ALL}, true},
      // An open without read, write or delete access takes no part.
      {{0, 0}, {READ_WRITE, 0}, true},
      {{READ_WRITE, 0}, {0, 0}, true},
  };
  ASSERT_TRUE(writeFile(at(u"shared"), "x"));
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const Case &c = cases[i];
    File first = open(at(u"shared"), c.first.access, c.first.share, OPEN_EXISTING);
    ASSERT_TRUE(valid(first)) << "case " << i;
    EXPECT_EQ(openError(at(u"SHARED"), c.second.access, c.second.share, OPEN_EXISTING),
              c.shared ? ERROR_SUCCESS : ERROR_SHARING_VIOLATION)
        << "case " << i;
  }

  // Deleting or renaming a name needs every open to share deleting; a file
  // open anywhere is not replaced.
  File held = open(at(u"shared"), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
  EXPECT_FALSE(DeleteFileW(at(u"shared").c_str()));
  EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
  EXPECT_FALSE(MoveFileExW(at(u"shared").c_str(), at(u"moved").c_str(), 0));
  EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
  ASSERT_TRUE(writeFile(at(u"other"), "o"));
  EXPECT_FALSE(MoveFileExW(at(u"other").c_str(), at(u"shared").c_str(), MOVEFILE_REPLACE_EXISTING));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED) << "as the replaced file";
  held.reset();
  File sharing = open(at(u"shared"), GENERIC_READ, SHARE_ALL, OPEN_EXISTING);
  EXPECT_TRUE(DeleteFileW(at(u"shared").c_str()));
  sharing.reset();
  EXPECT_EQ(GetFileAttributesW(at(u"shared").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(Files, WildcardsFollowTheDosRules) {
  const char16_t *const names[] = {u"a.txt", u"ab.txt",       u"abc.txt",
                                   u"noext", u"two.dots.txt", u"B.TXT"};
  for (const char16_t *name : names)
    ASSERT_TRUE(writeFile(at(name), ""));
  ASSERT_TRUE(CreateDirectoryW(at(u"sub").c_str(), nullptr));
  using Names = std::set<std::u16string>;
  const Names all = {u".",     u"..",           u"a.txt", u"ab.txt", u"abc.txt",
                     u"noext", u"two.dots.txt", u"B.TXT", u"sub"};
  struct Case {
    const char16_t *pattern;
    Names expected;
    const char *wineGap; // why Wine differs, or null
  };
  const Case cases[] = {
      {u"*", all, nullptr},
      {u"*.*", all, nullptr},
      {u"*.txt", {u"a.txt", u"ab.txt", u"abc.txt", u"two.dots.txt", u"B.TXT"}, nullptr},
      {u"?.TXT", {u"a.txt", u"B.TXT"}, nullptr},
      {u"a?.txt", {u"a.txt", u"ab.txt"}, "Wine's ? never matches nothing"},
      {u"a??.txt", {u"a.txt", u"ab.txt", u"abc.txt"}, "Wine's ? never matches nothing"},
      {u"*.", {u".", u"..", u"noext", u"sub"}, "Wine takes *. as *"},
      {u"noext.*", {u"noext"}, nullptr},
      {u"two.*", {u"two.dots.txt"}, nullptr},
      {u"NOEXT", {u"noext"}, nullptr},
      {u"zz*", {u"error 2"}, nullptr},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const Names found = find(at(cases[i].pattern));
    if (cases[i].wineGap)
      ZEL_EXPECT_GAP_ON_WINE(found == cases[i].expected, cases[i].wineGap);
    else
      EXPECT_EQ(found, cases[i].expected) << "case " << i;
  }
  EXPECT_EQ(find(at(u"Missing\\*")), Names{u"error 3"});
  EXPECT_EQ(find(ROOT + u"\\"), Names{u"error 2"}) << "no pattern";
  EXPECT_EQ(find(u"C:\\*").count(u".."), 0u) << "a drive's root has no dot entries";

  // Search handles and file handles close each with their own call.
  WIN32_FIND_DATAW data;
  const HANDLE hFind = FindFirstFileW(at(u"*").c_str(), &data);
  EXPECT_FALSE(CloseHandle(hFind));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_TRUE(FindClose(hFind));
  File file = open(at(u"a.txt"), GENERIC_READ, SHARE_ALL, OPEN_EXISTING);
  EXPECT_FALSE(FindClose(file.get()));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST_F(Files, AttributesAreKeptAndReadOnlyRefusesChange) {
  ASSERT_TRUE(writeFile(at(u"plain"), "p"));
  EXPECT_EQ(GetFileAttributesW(at(u"plain").c_str()), FILE_ATTRIBUTE_ARCHIVE);
  EXPECT_EQ(GetFileAttributesW(ROOT.c_str()), FILE_ATTRIBUTE_DIRECTORY);
  // Each on a file of its own: Wine run as an ordinary user cannot change
  // the hidden and system attributes of a read-only file.
  const DWORD kept[] = {FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE,
                        FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE};
  for (DWORD attributes : kept) {
    const std::u16string path = at(u"kept" + std::u16string(1, u'0' + (attributes & 7)));
    ASSERT_TRUE(writeFile(path, ""));
    EXPECT_TRUE(SetFileAttributesW(path.c_str(), attributes));
    EXPECT_EQ(GetFileAttributesW(path.c_str()), attributes);
  }
  ASSERT_TRUE(SetFileAttributesW(at(u"plain").c_str(), FILE_ATTRIBUTE_NORMAL));
  ZEL_EXPECT_GAP_ON_WINE(GetFileAttributesW(at(u"plain").c_str()) == FILE_ATTRIBUTE_NORMAL,
                         "Wine reports archive for every file");
  SetLastError(SENTINEL);
  EXPECT_EQ(GetFileAttributesW(at(u"missing").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);

  // Replacing a hidden file takes the hidden attribute again.
  ASSERT_TRUE(writeFile(at(u"hidden"), "h", FILE_ATTRIBUTE_HIDDEN));
  ZEL_EXPECT_GAP_ON_WINE(openError(at(u"hidden"), GENERIC_WRITE, 0, CREATE_ALWAYS) ==
                             ERROR_ACCESS_DENIED,
                         "Wine replaces hidden files without the attribute");
  ASSERT_TRUE(SetFileAttributesW(at(u"hidden").c_str(), FILE_ATTRIBUTE_HIDDEN));
  EXPECT_TRUE(writeFile(at(u"hidden"), "again", FILE_ATTRIBUTE_HIDDEN));
  ZEL_EXPECT_GAP_ON_WINE(!CopyFileW(at(u"plain").c_str(), at(u"hidden").c_str(), FALSE) &&
                             GetLastError() == ERROR_ACCESS_DENIED,
                         "Wine copies over hidden files");

  ASSERT_TRUE(writeFile(at(u"readonly"), "kept", FILE_ATTRIBUTE_READONLY));
  EXPECT_EQ(readFile(at(u"readonly")), "kept");
  const std::u16string ro = at(u"readonly");
  EXPECT_READ_ONLY_REFUSAL(openError(ro, GENERIC_WRITE, 0, OPEN_EXISTING) == ERROR_ACCESS_DENIED);
  EXPECT_READ_ONLY_REFUSAL(openError(ro, GENERIC_WRITE, 0, TRUNCATE_EXISTING) ==
                           ERROR_ACCESS_DENIED);
  EXPECT_READ_ONLY_REFUSAL(openError(ro, GENERIC_WRITE, 0, CREATE_ALWAYS) == ERROR_ACCESS_DENIED);
  EXPECT_READ_ONLY_REFUSAL(!CopyFileW(at(u"plain").c_str(), ro.c_str(), FALSE) &&
                           GetLastError() == ERROR_ACCESS_DENIED);
  EXPECT_FALSE(DeleteFileW(ro.c_str()));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_READ_ONLY_REFUSAL(readFile(ro) == "kept");
  ZEL_EXPECT_GAP_ON_WINE(
      !MoveFileExW(at(u"plain").c_str(), ro.c_str(), MOVEFILE_REPLACE_EXISTING) &&
          GetLastError() == ERROR_ACCESS_DENIED,
      "Wine renames over read-only files");
}

TEST_F(Files, CopyAndMoveReplaceOnlyWhenAsked) {
  ASSERT_TRUE(writeFile(at(u"source"), "source", FILE_ATTRIBUTE_SYSTEM));
  ASSERT_TRUE(CopyFileW(at(u"source").c_str(), at(u"copy").c_str(), TRUE));
  EXPECT_EQ(readFile(at(u"copy")), "source");
  EXPECT_EQ(GetFileAttributesW(at(u"copy").c_str()),
            FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE);
  ASSERT_TRUE(writeFile(at(u"target"), "target"));
  EXPECT_FALSE(CopyFileW(at(u"source").c_str(), at(u"TARGET").c_str(), TRUE));
  EXPECT_EQ(GetLastError(), ERROR_FILE_EXISTS);
  EXPECT_EQ(readFile(at(u"target")), "target");
  EXPECT_TRUE(CopyFileW(at(u"source").c_str(), at(u"TARGET").c_str(), FALSE));
  EXPECT_EQ(readFile(at(u"target")), "source");
  EXPECT_FALSE(CopyFileW(at(u"missing").c_str(), at(u"x").c_str(), FALSE));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);

  ASSERT_TRUE(writeFile(at(u"new"), "new"));
  EXPECT_FALSE(MoveFileExW(at(u"new").c_str(), at(u"target").c_str(), 0));
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  EXPECT_TRUE(MoveFileExW(at(u"new").c_str(), at(u"target").c_str(), MOVEFILE_REPLACE_EXISTING));
  EXPECT_EQ(readFile(at(u"target")), "new");
  EXPECT_EQ(GetFileAttributesW(at(u"new").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_TRUE(MoveFileExW(at(u"target").c_str(), at(u"Target").c_str(), 0)) << "a new case";
  ZEL_EXPECT_GAP_ON_WINE(find(at(u"tar*")) == std::set<std::u16string>{u"Target"},
                         "Wine keeps the old case");
  EXPECT_FALSE(MoveFileExW(at(u"Target").c_str(), at(u"Missing\\x").c_str(), 0));
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
}

TEST_F(Files, InvalidNamesDevicesAndLongPathsAreRefused) {
  const std::u16string invalid[] = {u"a<b",
                                    u"a>b",
                                    u"a\"b",
                                    u"a|b",
                                    u"a?b",
                                    u"a*b",
                                    std::u16string(u"a\0b", 3).replace(1, 1, 1, 1)};
  for (const std::u16string &name : invalid)
    EXPECT_EQ(openError(at(name), GENERIC_WRITE, 0, CREATE_ALWAYS), ERROR_INVALID_NAME)
        << zeltest::narrow(name);

  // Device names are devices in every folder, never files.
  const char16_t *const nulls[] = {u"nul", u"NUL.txt", u"Nul .log"};
  for (const char16_t *name : nulls) {
    File file = open(at(name), READ_WRITE, 0, CREATE_ALWAYS);
    DWORD moved = SENTINEL;
    char buffer[4];
    EXPECT_TRUE(WriteFile(file.get(), "gone", 4, &moved, nullptr)) << zeltest::narrow(name);
    EXPECT_EQ(moved, 4u);
    EXPECT_TRUE(ReadFile(file.get(), buffer, 4, &moved, nullptr)) << zeltest::narrow(name);
    EXPECT_EQ(moved, 0u);
  }
  for (const char16_t *name : {u"con", u"Lpt1.txt", u"prn.log"})
    openError(at(name), GENERIC_WRITE, 0, CREATE_ALWAYS);
  EXPECT_EQ(find(at(u"*")), (std::set<std::u16string>{u".", u".."}));

  // MAX_PATH counts the terminator; "\\?\" lifts the limit.
  const std::u16string longName = at(std::u16string(MAX_PATH - ROOT.size() - 1, u'n'));
  ZEL_EXPECT_GAP_ON_WINE(openError(longName, GENERIC_WRITE, 0, CREATE_ALWAYS) ==
                             ERROR_PATH_NOT_FOUND,
                         "Wine has no MAX_PATH limit");
  EXPECT_TRUE(writeFile(longName.substr(0, longName.size() - 1), "fits"));
  EXPECT_TRUE(writeFile(u"\\\\?\\" + longName + u"long", "long"));
  EXPECT_EQ(readFile(u"\\\\?\\" + longName + u"long"), "long");
}

TEST_F(Files, FoldersAndTheCurrentFolder) {
  const std::u16string sub = at(u"Sub");
  ASSERT_TRUE(CreateDirectoryW(sub.c_str(), nullptr));
  ASSERT_TRUE(writeFile(at(u"Sub\\file"), "f"));
  const auto failure = [](BOOL ok) { return ok ? ERROR_SUCCESS : GetLastError(); };
  struct Case {
    DWORD error;
    DWORD expected;
  };
  const Case cases[] = {
      {failure(CreateDirectoryW(sub.c_str(), nullptr)), ERROR_ALREADY_EXISTS},
      {failure(CreateDirectoryW(at(u"Missing\\New").c_str(), nullptr)), ERROR_PATH_NOT_FOUND},
      {failure(RemoveDirectoryW(sub.c_str())), ERROR_DIR_NOT_EMPTY},
      {failure(RemoveDirectoryW(at(u"Sub\\file").c_str())), ERROR_DIRECTORY},
      {failure(RemoveDirectoryW(at(u"Missing").c_str())), ERROR_FILE_NOT_FOUND},
      {failure(SetCurrentDirectoryW(at(u"Sub\\file").c_str())), ERROR_DIRECTORY},
      {failure(SetCurrentDirectoryW(at(u"Missing").c_str())), ERROR_FILE_NOT_FOUND},
      {failure(DeleteFileW(sub.c_str())), ERROR_ACCESS_DENIED},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i)
    EXPECT_EQ(cases[i].error, cases[i].expected) << "case " << i;
  // Windows holds the current folder open: it cannot be removed.
  ASSERT_TRUE(SetCurrentDirectoryW(ROOT.c_str()));
  EXPECT_FALSE(RemoveDirectoryW(ROOT.c_str()));
  EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
  ASSERT_TRUE(SetCurrentDirectoryW(u"C:\\fixwellFILETEST\\sub\\"));
  WCHAR buffer[MAX_PATH];
  std::fill(std::begin(buffer), std::end(buffer), PATTERN);
  const std::u16string expected = u"C:\\fixwellFILETEST\\sub";
  EXPECT_EQ(GetCurrentDirectoryW(5, buffer), expected.size() + 1) << "too small: the size needed";
  EXPECT_EQ(buffer[0], PATTERN);
  EXPECT_EQ(GetCurrentDirectoryW(MAX_PATH, buffer), expected.size());
  EXPECT_EQ(std::u16string(buffer), expected);

  struct FullCase {
    const char16_t *input;
    const char16_t *full;
    const char16_t *filePart; // null: none
  };
  const FullCase fullCases[] = {
      {u"x.txt", u"C:\\fixwellFILETEST\\sub\\x.txt", u"x.txt"},
      {u"..\\y", u"C:\\fixwellFILETEST\\y", u"y"},
      {u"\\a\\b\\", u"C:\\a\\b\\", nullptr},
      {u"c:/a//b/./x. .", u"c:\\a\\b\\x", u"x"},
      {u"C:\\a\\nul.txt", u"\\\\.\\nul", nullptr},
  };
  for (std::size_t i = 0; i < std::size(fullCases); ++i) {
    LPWSTR filePart = &buffer[0];
    const DWORD length = GetFullPathNameW(fullCases[i].input, MAX_PATH, buffer, &filePart);
    EXPECT_EQ(std::u16string(buffer, length), fullCases[i].full) << "case " << i;
    EXPECT_EQ(zeltest::text(filePart), zeltest::text(fullCases[i].filePart)) << "case " << i;
  }
  buffer[0] = PATTERN;
  EXPECT_EQ(GetFullPathNameW(u"x.txt", 4, buffer, nullptr), expected.size() + 7);
  EXPECT_EQ(buffer[0], PATTERN);
}

TEST_F(Files, LinksAreNamesOfTheirOwn) {
  constexpr DWORD kTarget = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;
  ASSERT_TRUE(writeFile(at(u"target"), "target"));
  ASSERT_TRUE(SetFileAttributesW(at(u"target").c_str(), kTarget));
  ASSERT_TRUE(CreateDirectoryW(at(u"folder").c_str(), nullptr));
  ASSERT_TRUE(writeFile(at(u"folder\\inner"), "inner"));
  ASSERT_TRUE(writeFile(at(u"gone"), ""));
  Links links;
  ASSERT_TRUE(links.make(at(u"fileLink"), at(u"target"), false));
  ASSERT_TRUE(links.make(at(u"folderLink"), at(u"folder"), true));
  ASSERT_TRUE(links.make(at(u"dangling"), at(u"gone"), false));
  ASSERT_TRUE(DeleteFileW(at(u"gone").c_str()));

  // Each reports itself, not what it points to, by name and in a search.
  constexpr DWORD kLink = FILE_ATTRIBUTE_REPARSE_POINT;
  struct Case {
    const char16_t *name;
    DWORD attributes;
    const char *wineGap; // why Wine differs, or null
  };
  const Case cases[] = {
      {u"fileLink", kLink | FILE_ATTRIBUTE_ARCHIVE, "Wine reports a link to a file as that file"},
      {u"folderLink", kLink | FILE_ATTRIBUTE_DIRECTORY, nullptr},
      {u"dangling", kLink | FILE_ATTRIBUTE_ARCHIVE, "Wine does not see a link to nowhere"},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const std::u16string path = at(cases[i].name);
    WIN32_FIND_DATAW data;
    const HANDLE hFind = FindFirstFileW(path.c_str(), &data);
    const DWORD found =
        hFind != INVALID_HANDLE_VALUE ? data.dwFileAttributes : INVALID_FILE_ATTRIBUTES;
    if (hFind != INVALID_HANDLE_VALUE)
      FindClose(hFind);
    const DWORD byName = GetFileAttributesW(path.c_str());
    if (cases[i].wineGap) {
      ZEL_EXPECT_GAP_ON_WINE(byName == cases[i].attributes && found == cases[i].attributes,
                             cases[i].wineGap);
    } else {
      EXPECT_EQ(byName, cases[i].attributes) << "case " << i;
      EXPECT_EQ(found, cases[i].attributes) << "case " << i;
    }
  }

  // Opening follows a link; changing attributes and deleting take the link
  // as a name of its own and never reach what it points to.
  EXPECT_EQ(readFile(at(u"fileLink")), "target");
  EXPECT_EQ(openError(at(u"dangling"), GENERIC_READ, SHARE_ALL, OPEN_EXISTING),
            ERROR_FILE_NOT_FOUND);
  EXPECT_TRUE(SetFileAttributesW(at(u"fileLink").c_str(), FILE_ATTRIBUTE_NORMAL));
  ZEL_EXPECT_GAP_ON_WINE(GetFileAttributesW(at(u"target").c_str()) == kTarget,
                         "Wine sets the attributes of what a link points to");
  EXPECT_FALSE(DeleteFileW(at(u"folderLink").c_str()));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED) << "a link to a folder is a folder";
  ZEL_EXPECT_GAP_ON_WINE(DeleteFileW(at(u"fileLink").c_str()) &&
                             GetFileAttributesW(at(u"fileLink").c_str()) ==
                                 INVALID_FILE_ATTRIBUTES &&
                             readFile(at(u"target")) == "target",
                         "Wine deletes what a link points to");
  ZEL_EXPECT_GAP_ON_WINE(RemoveDirectoryW(at(u"folderLink").c_str()) &&
                             GetFileAttributesW(at(u"folderLink").c_str()) ==
                                 INVALID_FILE_ATTRIBUTES &&
                             readFile(at(u"folder\\inner")) == "inner",
                         "Wine removes the folder a link points to, not the link");
}

TEST_F(Files, HandlesTellAttributesSizeIdentityAndLinkCount) {
  // What a handle reports; all ones where the call failed.
  const auto infoOf = [](HANDLE hFile) {
    BY_HANDLE_FILE_INFORMATION info;
    std::memset(&info, 0xAB, sizeof info);
    if (!GetFileInformationByHandle(hFile, &info))
      std::memset(&info, 0xFF, sizeof info);
    return info;
  };
  const auto identity = [](const BY_HANDLE_FILE_INFORMATION &info) {
    return std::make_tuple(info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow);
  };
  struct Case {
    const char16_t *name;
    DWORD attributes;
  };
  const Case cases[] = {
      {u"plain", FILE_ATTRIBUTE_ARCHIVE},
      {u"kept", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE},
      {u"readonly", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const std::u16string path = at(cases[i].name);
    ASSERT_TRUE(writeFile(path, "12345")) << "case " << i;
    ASSERT_TRUE(SetFileAttributesW(path.c_str(), cases[i].attributes)) << "case " << i;
    const File file = open(path, GENERIC_READ, SHARE_ALL, OPEN_EXISTING);
    const BY_HANDLE_FILE_INFORMATION info = infoOf(file.get());
    WIN32_FIND_DATAW data{};
    FindClose(FindFirstFileW(path.c_str(), &data));
    // Attributes, size and links, and the time a search gives.
    EXPECT_EQ(std::make_tuple(info.dwFileAttributes, info.nFileSizeHigh, info.nFileSizeLow,
                              info.nNumberOfLinks, info.ftLastWriteTime.dwLowDateTime,
                              info.ftLastWriteTime.dwHighDateTime),
              std::make_tuple(cases[i].attributes, 0u, 5u, 1u, data.ftLastWriteTime.dwLowDateTime,
                              data.ftLastWriteTime.dwHighDateTime))
        << "case " << i;
  }

  // A second name of the file: counted on a handle opened before it, and
  // both names give the same volume and index, which another file does not.
  File plain = open(at(u"plain"), GENERIC_READ, SHARE_ALL, OPEN_EXISTING);
  ASSERT_TRUE(zeltest::makeHardLink(at(u"second"), at(u"plain")));
  const BY_HANDLE_FILE_INFORMATION first = infoOf(plain.get());
  EXPECT_EQ(first.nNumberOfLinks, 2u);
  File second = open(at(u"second"), GENERIC_READ, SHARE_ALL, OPEN_EXISTING);
  EXPECT_EQ(infoOf(second.get()).nNumberOfLinks, 2u);
  EXPECT_EQ(identity(infoOf(second.get())), identity(first));
  const File kept = open(at(u"kept"), GENERIC_READ, SHARE_ALL, OPEN_EXISTING);
  EXPECT_NE(identity(infoOf(kept.get())), identity(first));
  plain.reset();
  second.reset();
  ASSERT_TRUE(DeleteFileW(at(u"second").c_str()));
  plain = open(at(u"plain"), GENERIC_READ, SHARE_ALL, OPEN_EXISTING);
  EXPECT_EQ(infoOf(plain.get()).nNumberOfLinks, 1u);

  const HANDLE hClosed = plain.get();
  plain.reset();
  BY_HANDLE_FILE_INFORMATION info;
  SetLastError(SENTINEL);
  EXPECT_FALSE(GetFileInformationByHandle(hClosed, &info));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}
