// test_files_below.cpp - conformance of the calls inside a folder held open.
// Everything lives under C:\FixwellBelowTest, removed before and after.
#include "zel_run_program.h"
#include "zel_test_support.h"
#include "zelsys/files.h"
#include "zelsys/filesbelow.h"
#include "zelsys/kernel.h"
#include "zelsys/security.h"
#include "zelsys/winconst.h"

#include <memory>
#include <string>

using namespace zelsys;

namespace {

const std::u16string ROOT = u"C:\\FixwellBelowTest";
constexpr DWORD SENTINEL = 0xdeadbeef;

std::u16string at(const std::u16string &name) { return ROOT + u"\\" + name; }

using Handle = std::unique_ptr<void, BOOL (*)(HANDLE)>;

Handle below(HANDLE hFolder, const std::u16string &name, DWORD access, DWORD disposition,
             DWORD flags = 0) {
  SetLastError(SENTINEL);
  return Handle(
      CreateFileBelowW(hFolder, name.c_str(), access, FILE_SHARE_READ, disposition, flags),
      CloseHandle);
}

Handle folder(HANDLE hParent, const std::u16string &name) {
  return below(hParent, name, GENERIC_READ, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS);
}

bool valid(const Handle &h) { return h.get() != INVALID_HANDLE_VALUE; }

void write(const std::u16string &path, const std::string &bytes) {
  ASSERT_TRUE(zeltest::writeFileBytes(path, bytes)) << zeltest::narrow(path);
}

class FilesBelow : public testing::Test {
protected:
  void SetUp() override {
    zeltest::removeTree(ROOT);
    ASSERT_TRUE(CreateDirectoryW(ROOT.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW(at(u"held").c_str(), nullptr));
    m_root = folder(nullptr, ROOT);
    ASSERT_TRUE(valid(m_root));
  }
  void TearDown() override {
    m_root.reset();
    zeltest::removeTree(ROOT);
  }
  Handle m_root{INVALID_HANDLE_VALUE, CloseHandle};
};

} // namespace

// One name inside the folder, and never a link: these are refused before
// anything is touched.
TEST_F(FilesBelow, OnlyOneNameInsideTheFolderAndNeverALink) {
  write(at(u"outside.txt"), "outside");
  ASSERT_TRUE(zeltest::makeFolderLink(at(u"held\\link"), ROOT));
  const Handle held = folder(m_root.get(), u"held");
  ASSERT_TRUE(valid(held));
  const struct {
    const char16_t *name;
    DWORD error;
  } refused[] = {
      {u"..\\outside.txt", ERROR_INVALID_NAME},
      {u"..", ERROR_INVALID_NAME},
      {u"sub/outside.txt", ERROR_INVALID_NAME},
      {u"", ERROR_INVALID_NAME},
  };
  for (const auto &c : refused) {
    SCOPED_TRACE(zeltest::narrow(c.name));
    EXPECT_FALSE(valid(below(held.get(), c.name, GENERIC_READ, OPEN_EXISTING)));
    EXPECT_EQ(GetLastError(), c.error);
  }
  const Handle link = folder(held.get(), u"link");
  ZEL_EXPECT_GAP_ON_WINE(!valid(link) && GetLastError() == ERROR_CANT_ACCESS_FILE,
                         "Wine opens what a host link points to and shows no reparse point "
                         "through the handle");
  // Moving a link moves the link alone.
  ZEL_EXPECT_GAP_ON_WINE(
      MoveFileBelowW(held.get(), u"link", u"moved", 0) &&
          (GetFileAttributesW(at(u"held\\moved").c_str()) & FILE_ATTRIBUTE_REPARSE_POINT) != 0,
      "Wine opens the folder a host link points to, and that one is held");
  EXPECT_EQ(zeltest::readFileBytes(at(u"outside.txt")), "outside");
}

// A folder is made inside the held one, and only under a free name: a
// link's name is taken too.
TEST_F(FilesBelow, AFolderIsMadeOnlyUnderAFreeName) {
  const Handle held = folder(m_root.get(), u"held");
  ASSERT_TRUE(valid(held));
  ASSERT_TRUE(zeltest::makeFolderLink(at(u"held\\link"), ROOT));
  EXPECT_TRUE(CreateDirectoryBelowW(held.get(), u"made"));
  EXPECT_EQ(GetFileAttributesW(at(u"held\\made").c_str()), FILE_ATTRIBUTE_DIRECTORY);
  const struct {
    const char16_t *name;
    DWORD error;
  } refused[] = {{u"made", ERROR_ALREADY_EXISTS},
                 {u"link", ERROR_ALREADY_EXISTS},
                 {u"..\\elsewhere", ERROR_INVALID_NAME}};
  for (const auto &c : refused) {
    SCOPED_TRACE(zeltest::narrow(c.name));
    SetLastError(SENTINEL);
    EXPECT_FALSE(CreateDirectoryBelowW(held.get(), c.name));
    EXPECT_EQ(GetLastError(), c.error);
  }
  EXPECT_EQ(GetFileAttributesW(at(u"elsewhere").c_str()), INVALID_FILE_ATTRIBUTES);
}

// Work goes on in the folder held, wherever its name went and whatever took
// its place; Windows keeps the name from changing at all.
TEST_F(FilesBelow, TheHeldFolderStaysTheOneOpened) {
  const Handle held = folder(m_root.get(), u"held");
  ASSERT_TRUE(valid(held));
  const bool moved = MoveFileExW(at(u"held").c_str(), at(u"away").c_str(), 0);
  if (moved) {
    ASSERT_TRUE(CreateDirectoryW(at(u"held").c_str(), nullptr));
  }
  ASSERT_TRUE(valid(below(held.get(), u"new.txt", GENERIC_WRITE, CREATE_NEW)));
  EXPECT_EQ(GetFileAttributesW(at(moved ? u"away\\new.txt" : u"held\\new.txt").c_str()),
            FILE_ATTRIBUTE_ARCHIVE);
  if (moved) {
    EXPECT_EQ(GetFileAttributesW(at(u"held\\new.txt").c_str()), INVALID_FILE_ATTRIBUTES);
  }
}

// A replacement takes the old file's place and attributes, the backup is a
// copy of the old file, and what may not be replaced is refused with
// nothing changed.
TEST_F(FilesBelow, ReplacingKeepsTheOldFileAsBackupAndItsAttributes) {
  const Handle held = folder(m_root.get(), u"held");
  ASSERT_TRUE(valid(held));
  write(at(u"held\\target"), "old");
  ASSERT_TRUE(SetFileAttributesW(at(u"held\\target").c_str(), FILE_ATTRIBUTE_HIDDEN));
  write(at(u"held\\new"), "new");
  write(at(u"held\\target.bak"), "older backup");
  EXPECT_TRUE(ReplaceFileBelowW(held.get(), u"target", u"new", u"target.bak"));
  EXPECT_EQ(zeltest::readFileBytes(at(u"held\\target")), "new");
  // Written content may set the archive flag, as the file system does.
  EXPECT_EQ(GetFileAttributesW(at(u"held\\target").c_str()) & ~FILE_ATTRIBUTE_ARCHIVE,
            FILE_ATTRIBUTE_HIDDEN);
  EXPECT_EQ(zeltest::readFileBytes(at(u"held\\target.bak")), "old");
  EXPECT_EQ(GetFileAttributesW(at(u"held\\new").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetFileAttributesW(at(u"held\\new-bak").c_str()), INVALID_FILE_ATTRIBUTES);

  write(at(u"held\\new"), "newer");
  ASSERT_TRUE(SetFileAttributesW(at(u"held\\target").c_str(), FILE_ATTRIBUTE_READONLY));
  SetLastError(SENTINEL);
  EXPECT_FALSE(ReplaceFileBelowW(held.get(), u"target", u"new", nullptr));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_EQ(zeltest::readFileBytes(at(u"held\\target")), "new");
  SetFileAttributesW(at(u"held\\target").c_str(), FILE_ATTRIBUTE_NORMAL);
  EXPECT_FALSE(ReplaceFileBelowW(held.get(), u"missing", u"new", nullptr));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(MoveFileBelowW(held.get(), u"new", u"target", 0));
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  EXPECT_TRUE(DeleteFileBelowW(held.get(), u"new"));
  EXPECT_EQ(GetFileAttributesW(at(u"held\\new").c_str()), INVALID_FILE_ATTRIBUTES);
}
