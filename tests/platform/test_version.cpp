// test_version.cpp - conformance of the version-resource calls on the sample
// programs built beside this test from version_sample.rc (32- and 64-bit),
// and their failures on files without a version resource.
#include "version_sample.h"
#include "zel_test_support.h"
#include "zelsys/files.h"
#include "zelsys/kernel.h"
#include "zelsys/winconst.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

using namespace zelsys;

namespace {

constexpr DWORD SENTINEL = 0xdeadbeef;
constexpr BYTE PATTERN = 0xA5;

using Bytes = std::vector<BYTE>;

// The Windows path of a file beside this test program.
std::u16string besideTest(const std::u16string &name) {
  WCHAR path[MAX_PATH];
  const std::u16string self(path, GetModuleFileNameW(nullptr, path, MAX_PATH));
  return self.substr(0, self.rfind(u'\\') + 1) + name;
}

// The version block as the framework reads it: into exactly the size that
// GetFileVersionInfoSizeW reports.
Bytes versionBlock(const char16_t *name) {
  const std::u16string path = besideTest(name);
  DWORD dwHandle = SENTINEL;
  Bytes block(GetFileVersionInfoSizeW(path.c_str(), &dwHandle), PATTERN);
  EXPECT_EQ(dwHandle, 0u);
  EXPECT_TRUE(!block.empty() &&
              GetFileVersionInfoW(path.c_str(), 0, static_cast<DWORD>(block.size()), block.data()))
      << "error " << GetLastError();
  return block;
}

struct Value {
  BOOL found;
  const BYTE *data;
  UINT length;
};

// What VerQueryValueW finds, which must lie in the caller's block.
Value query(const Bytes &block, const char16_t *pszSubBlock) {
  LPVOID pData = nullptr;
  Value value{FALSE, nullptr, SENTINEL};
  value.found = VerQueryValueW(block.data(), pszSubBlock, &pData, &value.length);
  value.data = static_cast<const BYTE *>(pData);
  EXPECT_TRUE(!value.found || (value.data >= block.data() &&
                               value.data + value.length <= block.data() + block.size()))
      << zeltest::narrow(pszSubBlock);
  return value;
}

DWORD dwordAt(const BYTE *p, std::size_t index) {
  DWORD value;
  std::memcpy(&value, p + index * sizeof value, sizeof value);
  return value;
}

} // namespace

TEST(VersionInfo, SamplesReadBackTheirResourceScript) {
  const WORD file[] = {VERSION_SAMPLE_FILE_VERSION};
  const WORD product[] = {VERSION_SAMPLE_PRODUCT_VERSION};
  const WORD translations[] = {VERSION_SAMPLE_ENGLISH, VERSION_SAMPLE_GERMAN};
  const std::u16string items[][2] = {
      {u"\\StringFileInfo\\040904b0\\CompanyName", u"" VERSION_SAMPLE_COMPANY},
      {u"\\StringFileInfo\\040904b0\\FileVersion", u"" VERSION_SAMPLE_FILE_VERSION_TEXT},
      {u"\\StringFileInfo\\040904b0\\ProductName", u"" VERSION_SAMPLE_PRODUCT},
      {u"\\StringFileInfo\\040904b0\\Comments", u""},
      {u"\\StringFileInfo\\040704e4\\CompanyName", u"" VERSION_SAMPLE_GERMAN_COMPANY},
  };
  for (const char16_t *name : {u"version_sample32.exe", u"version_sample64.exe"}) {
    SCOPED_TRACE(zeltest::narrow(name));
    const Bytes block = versionBlock(name);
    ASSERT_GE(block.size(), 6u);
    // Windows reports room for an ANSI copy and a signature beside the
    // block, whose first word is its length.
    EXPECT_EQ(block.size(), 2u * (block[0] | block[1] << 8) + 4);

    const Value root = query(block, u"\\");
    ASSERT_TRUE(root.found);
    ASSERT_EQ(root.length, 52u) << "a VS_FIXEDFILEINFO";
    EXPECT_EQ(dwordAt(root.data, 0), 0xFEEF04BDu) << "its signature";
    EXPECT_EQ(dwordAt(root.data, 2), DWORD{file[0]} << 16 | file[1]);
    EXPECT_EQ(dwordAt(root.data, 3), DWORD{file[2]} << 16 | file[3]);
    EXPECT_EQ(dwordAt(root.data, 4), DWORD{product[0]} << 16 | product[1]);
    EXPECT_EQ(dwordAt(root.data, 5), DWORD{product[2]} << 16 | product[3]);

    const Value translation = query(block, u"\\VarFileInfo\\Translation");
    ASSERT_EQ(translation.length, sizeof translations) << "binary values count bytes";
    EXPECT_EQ(std::memcmp(translation.data, translations, sizeof translations), 0);

    // Text values count characters, the terminator included.
    for (std::size_t i = 0; i < std::size(items); ++i) {
      const Value value = query(block, items[i][0].c_str());
      ASSERT_TRUE(value.found && value.length == items[i][1].size() + 1) << "case " << i;
      EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t *>(value.data), value.length),
                items[i][1] + u'\0')
          << "case " << i;
    }
  }
}

TEST(VersionInfo, SubBlockNamesIgnoreCaseAndMissingOnesFail) {
  const Bytes block = versionBlock(u"version_sample32.exe");
  const Value root = query(block, u"\\");
  const Value translation = query(block, u"\\VarFileInfo\\Translation");
  const Value company = query(block, u"\\StringFileInfo\\040904b0\\CompanyName");
  const Value table = query(block, u"\\StringFileInfo\\040904b0");
  EXPECT_TRUE(table.found && table.length == 0) << "a block has no value of its own";
  struct Case {
    const char16_t *subBlock;
    const Value *same; // null: not found
  };
  const Case cases[] = {
      {u"", &root},
      {u"\\\\", &root},
      {u"VarFileInfo\\Translation", &translation},
      {u"\\varfileinfo\\TRANSLATION\\", &translation},
      {u"\\\\VarFileInfo\\\\Translation", &translation},
      {u"\\StringFileInfo\\040904B0\\companyname", &company},
      {u"\\stringfileinfo\\040904B0\\", &table},
      {u"\\Missing", nullptr},
      {u"\\VarFileInfo\\Trans", nullptr},
      {u"/VarFileInfo/Translation", nullptr},
      {u"\\StringFileInfo\\04090000\\CompanyName", nullptr},
      {u"\\StringFileInfo\\040904b0\\CompanyName\\Deeper", nullptr},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SetLastError(SENTINEL);
    const Value value = query(block, cases[i].subBlock);
    const Value expected = cases[i].same ? *cases[i].same : Value{FALSE, nullptr, 0};
    EXPECT_EQ(value.found, expected.found) << "case " << i;
    EXPECT_EQ(value.length, expected.length) << "case " << i;
    if (expected.found)
      EXPECT_EQ(value.data, expected.data) << "case " << i;
    else
      EXPECT_EQ(GetLastError(), ERROR_RESOURCE_TYPE_NOT_FOUND) << "case " << i;
  }
}

TEST(VersionInfo, ShortBufferTakesTheBeginningOnly) {
  Bytes block(200, PATTERN);
  const std::u16string path = besideTest(u"version_sample32.exe");
  ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, 100, block.data()));
  EXPECT_EQ(std::count(block.begin() + 100, block.end(), PATTERN), 100) << "wrote past dwLen";
  // The fixed part (bytes 40 to 92) was copied; the tables after it were
  // not, and are not looked for in what follows the copy.
  EXPECT_TRUE(query(block, u"\\").found);
  EXPECT_FALSE(query(block, u"\\VarFileInfo\\Translation").found);
}

TEST(VersionInfo, FilesWithoutVersionResourceFail) {
  const std::u16string folder = besideTest(u"");
  struct Case {
    std::u16string path;
    DWORD error;
    const char *wineGap; // why Wine differs, or null
  };
  const Case cases[] = {
      {besideTest(u"missing.exe"), ERROR_FILE_NOT_FOUND, nullptr},
      {besideTest(u"missing folder\\version_sample32.exe"), ERROR_PATH_NOT_FOUND, nullptr},
      {folder.substr(0, folder.size() - 1), ERROR_ACCESS_DENIED, nullptr},
      {u"", ERROR_BAD_PATHNAME, nullptr},
      {besideTest(u"version_no_resource.exe"), ERROR_RESOURCE_DATA_NOT_FOUND, nullptr},
      {besideTest(u"version_other_resource.exe"), ERROR_RESOURCE_TYPE_NOT_FOUND,
       "Wine reports resources without a version resource as no resources (1812)"},
      {besideTest(u"version_not_a_program.txt"), ERROR_BAD_EXE_FORMAT,
       "Wine reports a file that is no program as one without resources (1812)"},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE("case " + std::to_string(i));
    DWORD dwHandle = SENTINEL;
    EXPECT_EQ(GetFileVersionInfoSizeW(cases[i].path.c_str(), &dwHandle), 0u);
    const DWORD error = GetLastError();
    EXPECT_EQ(dwHandle, 0u);
    if (cases[i].wineGap != nullptr)
      ZEL_EXPECT_GAP_ON_WINE(error == cases[i].error, cases[i].wineGap);
    else
      EXPECT_EQ(error, cases[i].error);
    Bytes block(64, PATTERN);
    EXPECT_FALSE(GetFileVersionInfoW(cases[i].path.c_str(), 0, 64, block.data()));
    EXPECT_EQ(std::count(block.begin(), block.end(), PATTERN), 64);
  }
}
