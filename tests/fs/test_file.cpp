// test_file.cpp - CZELFile and CZELDirectory over the platform's files.
// Everything lives under C:\FixwellFsTest, removed before and after each
// test.
#include "version_sample.h"
#include "zel_dbllist.h"
#include "zel_directory.h"
#include "zel_file.h"
#include "zel_run_program.h"
#include "zel_test_support.h"

#include "zelsys/files.h"
#include "zelsys/kernel.h"
#include "zelsys/security.h"
#include "zelsys/winconst.h"

#include <algorithm>
#include <iterator>
#include <string>
#include <vector>

using namespace zelsys;

namespace {

const std::u16string ROOT = u"C:\\FixwellFsTest";

using Bytes = std::vector<ZEL_BYTE>;

std::u16string at(const std::u16string &tail) { return ROOT + u"\\" + tail; }

CZELWCharString str(const std::u16string &text) { return CZELWCharString(text.c_str()); }

// Deletes a folder with everything in it, read-only files included.
void removeTree(const std::u16string &folder) {
  WIN32_FIND_DATAW data{};
  const HANDLE hFind = FindFirstFileW((folder + u"\\*").c_str(), &data);
  if (hFind != INVALID_HANDLE_VALUE) {
    do {
      const std::u16string name = data.cFileName;
      if (name == u"." || name == u"..")
        continue;
      const std::u16string path = folder + u"\\" + name;
      if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        removeTree(path);
      } else {
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(path.c_str());
      }
    } while (FindNextFileW(hFind, &data));
    FindClose(hFind);
  }
  RemoveDirectoryW(folder.c_str());
}

void writeFile(const std::u16string &path, const Bytes &bytes, DWORD dwAttributes = 0) {
  const HANDLE hFile = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(hFile, INVALID_HANDLE_VALUE) << zeltest::narrow(path);
  DWORD dwWritten = 0;
  EXPECT_TRUE(
      WriteFile(hFile, bytes.data(), static_cast<DWORD>(bytes.size()), &dwWritten, nullptr));
  CloseHandle(hFile);
  if (dwAttributes != 0) {
    EXPECT_TRUE(SetFileAttributesW(path.c_str(), dwAttributes));
  }
}

Bytes bytesOf(const CZELBuffer<ZEL_BYTE> &buffer) {
  return buffer.getBuffer() ? Bytes(buffer.getBuffer(), buffer.getBuffer() + buffer.getSize())
                            : Bytes();
}

std::vector<std::u16string> items(CZELWCharStringList &list) {
  std::vector<std::u16string> names;
  if (list.getCount() == 0)
    return names;
  list.begin();
  do {
    CZELWCharString item;
    list.getItem(item);
    names.push_back(zeltest::text(item.getBuffer()));
  } while (list.next());
  return names;
}

class FsTest : public ::testing::Test {
protected:
  void SetUp() override {
    removeTree(ROOT);
    ASSERT_TRUE(CreateDirectoryW(ROOT.c_str(), nullptr));
  }
  void TearDown() override { removeTree(ROOT); }
};

} // namespace

TEST_F(FsTest, FailedOpenLogsBothLinesAndKeepsTheName) {
  CZELFile file(str(at(u"kept.txt")));
  zeltest::RecordingSink sink;
  EXPECT_FALSE(file.open(str(at(u"missing.txt")), CZELFile::omRead));
  EXPECT_EQ(
      sink.countMessage(u"The specified file, " + at(u"missing.txt") + u", cannot be opened."), 1u);
  EXPECT_EQ(sink.countMessage(u"The specified file, " + at(u"missing.txt") + u", is invalid."), 1u);
  EXPECT_EQ(zeltest::text(file.getFilename().getBuffer()), at(u"kept.txt"));
  EXPECT_FALSE(file.isOpen());
}

TEST_F(FsTest, ModesCreateTruncateAndAppend) {
  CZELFile file;
  const ZEL_BYTE abc[] = {'a', 'b', 'c'};
  const ZEL_BYTE de[] = {'d', 'e'};
  ASSERT_TRUE(file.open(str(at(u"modes.txt")), CZELFile::omCreate));
  EXPECT_TRUE(file.write(CZELBuffer<ZEL_BYTE>(abc, 3)));
  EXPECT_TRUE(file.close());
  EXPECT_TRUE(file.close()) << "closing twice does nothing";

  ASSERT_TRUE(file.open(CZELFile::omAppend));
  EXPECT_TRUE(file.write(CZELBuffer<ZEL_BYTE>(de, 2)));
  ASSERT_TRUE(file.open(CZELFile::omRead)) << "reopening closes the held handle first";
  CZELBuffer<ZEL_BYTE> out;
  EXPECT_TRUE(file.read(out, 0, false));
  EXPECT_EQ(bytesOf(out), (Bytes{'a', 'b', 'c', 'd', 'e'}));

  // A copy names the same file but holds no handle of its own.
  CZELFile copy(file);
  EXPECT_FALSE(copy.isOpen());
  EXPECT_TRUE(file.isOpen());
  copy = file;
  EXPECT_FALSE(copy.isOpen());

  ASSERT_TRUE(file.open(CZELFile::omCreate)) << "mode 1 empties the file";
  file.close();
  ASSERT_TRUE(file.open(CZELFile::omRead));
  EXPECT_TRUE(file.read(out, 0, false)) << "an empty file reads without touching the output";
  EXPECT_EQ(bytesOf(out), (Bytes{'a', 'b', 'c', 'd', 'e'}));
}

TEST_F(FsTest, ReadDropsTheByteOrderMarkUnlessAskedToKeepIt) {
  struct Case {
    Bytes content;
    ZEL_ULONG count;
    bool keepMark;
    Bytes expected;
  };
  const Case cases[] = {
      {{0xFF, 0xFE, 0x41, 0x00}, 0, false, {0x41, 0x00}},
      {{0xFF, 0xFE, 0x41, 0x00}, 0, true, {0xFF, 0xFE, 0x41, 0x00}},
      {{0xFF}, 0, false, {}},
      {{0xFF}, 0, true, {0xFF}},
      {{'a', 'b', 'c'}, 0, false, {'a', 'b', 'c'}},
      {{'a', 'b', 'c'}, 2, false, {'a', 'b'}},
      {{'a', 'b', 'c'}, 1, false, {'a'}},
      {{'a', 'b', 'c'}, 9, false, {'a', 'b', 'c'}},
      // A part read takes its count after the mark; what the file lacks
      // stays zero.
      {{0xFF, 0xFE, 0x41, 0x00, 0x42, 0x00}, 2, false, {0x41, 0x00}},
      {{0xFF, 0xFE, 0x41}, 3, false, {0x41, 0x00, 0x00}},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    writeFile(at(u"bom.txt"), cases[i].content);
    CZELFile file(str(at(u"bom.txt")));
    ASSERT_TRUE(file.open(CZELFile::omRead)) << "case " << i;
    CZELBuffer<ZEL_BYTE> out;
    EXPECT_TRUE(file.read(out, cases[i].count, cases[i].keepMark)) << "case " << i;
    EXPECT_EQ(bytesOf(out), cases[i].expected) << "case " << i;
  }
}

// A file past 4 GiB is read by its whole size: a whole read fails with the
// file-too-large error, never cut to the low 32 bits of the size; a part
// read gets its bytes. (Sparse where the file system can.)
TEST_F(FsTest, SizesPast4GiBAreNeverCut) {
  const std::u16string path = at(u"large.bin");
  HANDLE hFile = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(hFile, INVALID_HANDLE_VALUE);
  LONG lHigh = 1;
  DWORD dwWritten = 0;
  EXPECT_NE(SetFilePointer(hFile, 2, &lHigh, FILE_BEGIN), INVALID_SET_FILE_POINTER);
  EXPECT_TRUE(WriteFile(hFile, "z", 1, &dwWritten, nullptr));
  CloseHandle(hFile);
  zeltest::RecordingSink sink;
  CZELFile file(str(path));
  ASSERT_TRUE(file.open(CZELFile::omRead));
  CZELBuffer<ZEL_BYTE> out(reinterpret_cast<const ZEL_BYTE *>("kept"), 4);
  EXPECT_FALSE(file.read(out, 0, false));
  EXPECT_EQ(bytesOf(out), (Bytes{'k', 'e', 'p', 't'}));
  ASSERT_EQ(sink.count(), 1u);
  EXPECT_EQ(sink.entries()[0].message, u"Unable to read from file");
  EXPECT_EQ(sink.entries()[0].value, static_cast<ZEL_LONG>(ERROR_FILE_TOO_LARGE));
  EXPECT_TRUE(file.read(out, 3, false));
  EXPECT_EQ(bytesOf(out), (Bytes{0, 0, 0}));
}

TEST_F(FsTest, ExistenceTestsTellFilesFoldersAndDrives) {
  writeFile(at(u"plain.txt"), {'x'});
  ASSERT_TRUE(CreateDirectoryW(at(u"Sub").c_str(), nullptr));
  struct Case {
    std::u16string path;
    bool file;   // isValidWindowsFile
    bool folder; // isValidWindowsDirectory, the same for both classes
  };
  const Case cases[] = {
      {u"C:", false, true},   // the drive's current folder: its root here, which has no entry
      {u"C:\\", false, true}, // a drive root has no entry of its own
      {at(u"plain.txt"), true, false},
      {at(u"PLAIN.TXT"), true, false},
      {at(u"Sub"), true, true},
      {at(u"Sub\\"), false, true}, // a search may not end in a backslash
      {at(u"*.txt"), true, false},
      {at(u"missing"), false, false},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const CZELWCharString path = str(cases[i].path);
    EXPECT_EQ(CZELFile::isValidWindowsFile(path), cases[i].file) << "case " << i;
    EXPECT_EQ(CZELFile::isValidWindowsDirectory(path), cases[i].folder) << "case " << i;
    EXPECT_EQ(CZELDirectory(path).isValidDirectory(), cases[i].folder) << "case " << i;
  }
  CZELFile folder(str(at(u"Sub")));
  EXPECT_TRUE(folder.isValidFile()) << "a folder counts as a file";
}

TEST_F(FsTest, FileWithoutVersionResourceFailsWithOneLine) {
  writeFile(at(u"plain.txt"), {'x'});
  CZELFile file(str(at(u"plain.txt")));
  zeltest::RecordingSink sink;
  CZELWCharString version;
  EXPECT_FALSE(file.getFileVersion(version));
  EXPECT_EQ(sink.countMessage(u"Error in call to GetFileVersionInfoSize"), 1u);
  EXPECT_EQ(version.getLength(), 0u);
  CZELFile missing(str(at(u"missing.dll")));
  EXPECT_FALSE(missing.getFileVersion(version));
  EXPECT_EQ(sink.countMessage(u"The specified file, " + at(u"missing.dll") + u", is invalid."), 1u);
}

// The items of a built program's version resource, read through the
// framework as the patch reads them.
TEST_F(FsTest, VersionItemsOfABuiltProgram) {
  WCHAR szSelf[MAX_PATH];
  const std::u16string self(szSelf, GetModuleFileNameW(nullptr, szSelf, MAX_PATH));
  CZELFile program(
      str(self.substr(0, self.rfind(u'\\') + 1) + u"..\\platform\\version_sample32.exe"));
  const struct {
    bool (CZELFile::*get)(CZELWCharString &);
    const char16_t *expected;
  } items[] = {
      {&CZELFile::getFileVersion, u"" VERSION_SAMPLE_FILE_VERSION_TEXT},
      {&CZELFile::getVersion, u"" VERSION_SAMPLE_FILE_VERSION_TEXT},
      {&CZELFile::getCompanyName, u"" VERSION_SAMPLE_COMPANY},
      {&CZELFile::getProductName, u"" VERSION_SAMPLE_PRODUCT},
      {&CZELFile::getProductVersion, u"" VERSION_SAMPLE_PRODUCT_VERSION_TEXT},
  };
  for (std::size_t i = 0; i < std::size(items); ++i) {
    CZELWCharString text;
    EXPECT_TRUE((program.*items[i].get)(text)) << "item " << i;
    EXPECT_EQ(zeltest::text(text.getBuffer()), items[i].expected) << "item " << i;
  }
  CZELWCharString missing;
  EXPECT_FALSE(program.getSpecialBuildDescription(missing)) << "an item the resource lacks";
}

TEST_F(FsTest, DirectoryListsEmptiesAndCreates) {
  CZELDirectory folder(str(ROOT));
  EXPECT_TRUE(folder.isEmpty());
  ASSERT_TRUE(CreateDirectoryW(at(u"Sub").c_str(), nullptr));
  writeFile(at(u"Sub\\inner.txt"), {'i'});
  EXPECT_TRUE(folder.isEmpty()) << "subfolders do not count";
  writeFile(at(u"a.txt"), {'a'});
  writeFile(at(u"guarded.txt"), {'g'}, FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY);
  EXPECT_FALSE(folder.isEmpty());

  CZELWCharStringList files;
  files.add(str(u"kept"));
  EXPECT_TRUE(folder.enumerateFiles(files, true));
  std::vector<std::u16string> names = items(files);
  std::sort(names.begin() + 1, names.end());
  EXPECT_EQ(names, (std::vector<std::u16string>{u"kept", at(u"a.txt"), at(u"guarded.txt")}));

  CZELWCharStringList folders;
  EXPECT_TRUE(CZELDirectory(str(ROOT + u"\\")).enumerateSubDirectories(folders, false, true));
  names = items(folders);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::u16string>{u".", u"..", u"Sub"}));

  EXPECT_TRUE(folder.removeAllFilesInDirectory());
  EXPECT_EQ(GetFileAttributesW(at(u"guarded.txt").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_NE(GetFileAttributesW(at(u"Sub\\inner.txt").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_TRUE(folder.isEmpty());

  CZELDirectory missing(str(at(u"missing")));
  CZELWCharStringList none;
  EXPECT_TRUE(missing.isEmpty());
  EXPECT_TRUE(missing.enumerateFiles(none, false));
  EXPECT_TRUE(missing.removeAllFilesInDirectory());
  EXPECT_EQ(none.getCount(), 0u);

  CZELDirectory deep(str(at(u"One\\Two\\Three")));
  EXPECT_TRUE(deep.createDirectoryPath());
  EXPECT_TRUE(deep.isValidDirectory());
  EXPECT_FALSE(deep.createDirectoryPath()) << "nothing left to create";
}

// Emptying a folder deletes a link as a name of its own, whatever it is
// called: what it points to outside keeps its content and its read-only
// attribute. A second name of an outside read-only file stays, as clearing
// the attribute would clear it for the outside name too; a link to a
// folder stays as a subfolder does, and nothing below it is touched.
TEST_F(FsTest, EmptyingAFolderNeverReachesThroughLinks) {
  enum class Kind { FileLink, HardLink, FolderLink };
  struct Case {
    const char16_t *name;
    Kind kind;
    bool gone; // the name is deleted
    const char *wineGap;
  };
  const char *const through = "Wine reports a link to a file as that file, clears its attributes "
                              "and deletes it";
  const Case cases[] = {
      {u"link", Kind::FileLink, true, through},
      {u".hidden-link", Kind::FileLink, true, through},
      {u"second-name", Kind::HardLink, false, nullptr},
      {u"folder-link", Kind::FolderLink, false, nullptr},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const Case &c = cases[i];
    const std::u16string index = std::u16string(1, static_cast<char16_t>(u'0' + i));
    const std::u16string folder = at(u"emptied" + index);
    const std::u16string outsideFolder = at(u"outside" + index);
    const std::u16string outside = outsideFolder + u"\\file.txt";
    const std::u16string link = folder + u"\\" + c.name;
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW(outsideFolder.c_str(), nullptr));
    writeFile(outside, {'o', 'u', 't'}, FILE_ATTRIBUTE_READONLY);
    const bool made = c.kind == Kind::FileLink   ? zeltest::makeFileLink(link, outside)
                      : c.kind == Kind::HardLink ? zeltest::makeHardLink(link, outside)
                                                 : zeltest::makeFolderLink(link, outsideFolder);
    ASSERT_TRUE(made) << "case " << i;

    CZELDirectory(str(folder)).removeAllFilesInDirectory();
    const bool kept = (GetFileAttributesW(outside.c_str()) & FILE_ATTRIBUTE_READONLY) != 0 &&
                      zeltest::readFileBytes(outside) == "out";
    const bool gone = GetFileAttributesW(link.c_str()) == INVALID_FILE_ATTRIBUTES;
    if (c.wineGap) {
      ZEL_EXPECT_GAP_ON_WINE(kept && gone == c.gone, c.wineGap);
    } else {
      EXPECT_TRUE(kept) << "case " << i;
      EXPECT_EQ(gone, c.gone) << "case " << i;
    }
    // A link is removed by the host's own means (Wine deletes what one
    // points to), with its target put back first where Wine deleted it.
    if (GetFileAttributesW(outside.c_str()) == INVALID_FILE_ATTRIBUTES)
      writeFile(outside, {});
    if (c.kind == Kind::FileLink)
      zeltest::removeFileLink(link);
    if (c.kind == Kind::FolderLink)
      zeltest::removeFolderLink(link);
  }
}
