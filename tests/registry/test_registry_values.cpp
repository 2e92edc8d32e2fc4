// test_registry_values.cpp - the value base, CZELRegistryDword,
// CZELRegistryString, CZELRegistryStringExpand and CZELRegistryBinary: the
// bytes they store, their caches, and the failures they log.
#include "registry_value_fixture.h"

#include "zel_registry_binary.h"
#include "zel_registry_dword.h"
#include "zel_registry_string.h"
#include "zel_registry_string_expand.h"

#include "zelsys/environment.h"

using namespace valtest;
using zelsys::HKEY_CURRENT_USER;

namespace {

const char16_t SET_FAILED[] = u"Unable to Set registry value ( \"Software\\Fixwell\\Test\\Values\\"
                              u"locked\" )";
const char16_t NOT_EXPANDABLE[] = u"A bad argument was provided ( m_szRegStringCache ). value "
                                  u"doesn't represent an expandable value which is required";

std::u16string repeated(char16_t unit, std::size_t count) { return std::u16string(count, unit); }

} // namespace

TEST_F(RegistryValues, DwordStoresLittleEndianAndAnswersFromAValidCache) {
  zeltest::RecordingSink sink;
  CZELRegistryDword value(HKEY_CURRENT_USER, ROOT, u"number");
  ASSERT_TRUE(value.setRegistryDword(0x12345678, false));
  EXPECT_EQ(stored(u"number").type, zelsys::REG_DWORD);
  EXPECT_EQ(stored(u"number").data, (Bytes{0x78, 0x56, 0x34, 0x12}));

  store(u"number", zelsys::REG_DWORD, {9, 0, 0, 0});
  ZEL_ULONG dwValue = 0;
  EXPECT_TRUE(value.getRegistryDword(&dwValue, true));
  EXPECT_EQ(dwValue, 0x12345678u) << "a write validates the cache";
  CZELRegistryDword copy(value);
  EXPECT_TRUE(copy.getRegistryDword(&dwValue, true));
  EXPECT_EQ(dwValue, 0x12345678u) << "a copy takes cache and validity along";
  EXPECT_TRUE(value.getRegistryDword(&dwValue, false));
  EXPECT_EQ(dwValue, 9u);

  // Deferred: only the cache changes until the explicit write.
  EXPECT_TRUE(value.setRegistryDword(7, true));
  EXPECT_EQ(stored(u"number").data, (Bytes{9, 0, 0, 0}));
  EXPECT_TRUE(value.writeRegistry());
  EXPECT_EQ(stored(u"number").data, (Bytes{7, 0, 0, 0}));
  EXPECT_FALSE(value.isOpen());
  EXPECT_EQ(sink.count(), 0u);
}

TEST_F(RegistryValues, DwordReadTakesShortDataOverTheCacheAndRefusesLongData) {
  CZELRegistryDword value(HKEY_CURRENT_USER, ROOT, u"number");
  ASSERT_TRUE(value.setRegistryDword(0x11223344, true));
  store(u"number", zelsys::REG_BINARY, {0xAA, 0xBB});
  ZEL_ULONG dwValue = 0;
  EXPECT_TRUE(value.getRegistryDword(&dwValue, false)) << "the stored type is not checked";
  EXPECT_EQ(dwValue, 0x1122BBAAu);

  store(u"number", zelsys::REG_DWORD, {1, 2, 3, 4, 5});
  dwValue = 0xDEADBEEF;
  EXPECT_FALSE(value.getRegistryDword(&dwValue, false));
  EXPECT_EQ(dwValue, 0xDEADBEEFu);
  EXPECT_TRUE(value.getRegistryDword(&dwValue, true)) << "the cache is still the last read";
  EXPECT_EQ(dwValue, 0x1122BBAAu);
}

TEST_F(RegistryValues, MissingValueIsCreatedEmptyOnlyWithTheCreateFlag) {
  zeltest::RecordingSink sink;
  ZEL_ULONG dwValue = 0xDEADBEEF;
  EXPECT_FALSE(CZELRegistryDword(HKEY_CURRENT_USER, ROOT, u"d").getRegistryDword(&dwValue, false));
  EXPECT_EQ(dwValue, 0xDEADBEEFu);
  EXPECT_EQ(stored(u"d").result, 2);

  CZELRegistryDword dword(HKEY_CURRENT_USER, ROOT, u"d", zelsys::KEY_ALL_ACCESS, true);
  EXPECT_TRUE(dword.getRegistryDword(&dwValue, false));
  EXPECT_EQ(dwValue, 0u);
  EXPECT_EQ(stored(u"d").data, (Bytes{0, 0, 0, 0}));

  CZELWCharString text(u"untouched");
  EXPECT_TRUE(CZELRegistryString(HKEY_CURRENT_USER, ROOT, u"s", zelsys::KEY_ALL_ACCESS, true)
                  .getRegistryString(text, false));
  EXPECT_EQ(textOf(text), u"");
  EXPECT_EQ(stored(u"s").type, zelsys::REG_SZ);
  EXPECT_TRUE(stored(u"s").data.empty());

  CZELBuffer<ZEL_BYTE> data(3);
  EXPECT_TRUE(CZELRegistryBinary(HKEY_CURRENT_USER, ROOT, u"b", zelsys::KEY_ALL_ACCESS, true)
                  .getRegistryBinary(data, false));
  EXPECT_EQ(data.getSize(), 0u);
  EXPECT_EQ(stored(u"b").type, zelsys::REG_BINARY);

  // The empty text has no "%": the expandable kind cannot create itself.
  EXPECT_FALSE(CZELRegistryStringExpand(HKEY_CURRENT_USER, ROOT, u"e", zelsys::KEY_ALL_ACCESS, true)
                   .getRegistryString(text, false, false));
  EXPECT_EQ(stored(u"e").result, 2);
  EXPECT_EQ(sink.countMessage(NOT_EXPANDABLE), 1u);

  // With the flag, a read or a write-only write creates a missing key too.
  removeRoot();
  EXPECT_TRUE(CZELRegistryDword(HKEY_CURRENT_USER, ROOT, u"d", zelsys::KEY_ALL_ACCESS, true)
                  .getRegistryDword(&dwValue, false));
  EXPECT_EQ(stored(u"d").type, zelsys::REG_DWORD);
  removeRoot();
  EXPECT_TRUE(CZELRegistryString(HKEY_CURRENT_USER, ROOT, u"s", zelsys::KEY_WRITE, true)
                  .setRegistryString(u"v", false));
  EXPECT_EQ(stored(u"s").data, bytesOf(std::u16string(u"v", 2)));
}

TEST_F(RegistryValues, StringReadDoesNotValidateTheCacheButAWriteDoes) {
  CZELRegistryString value(HKEY_CURRENT_USER, ROOT, u"text");
  store(u"text", zelsys::REG_SZ, bytesOf(std::u16string(u"one", 4)));
  CZELWCharString text;
  ASSERT_TRUE(value.getRegistryString(text, false));
  EXPECT_EQ(textOf(text), u"one");
  store(u"text", zelsys::REG_SZ, bytesOf(std::u16string(u"two", 4)));
  EXPECT_TRUE(value.getRegistryString(text, true));
  EXPECT_EQ(textOf(text), u"two") << "read again";

  ASSERT_TRUE(value.setRegistryString(u"three", false));
  EXPECT_EQ(stored(u"text").data, bytesOf(std::u16string(u"three", 6)));
  store(u"text", zelsys::REG_SZ, bytesOf(std::u16string(u"four", 5)));
  EXPECT_TRUE(value.getRegistryString(text, true));
  EXPECT_EQ(textOf(text), u"three") << "answered from the cache";

  // The empty string is stored as zero bytes and reads back empty.
  ASSERT_TRUE(value.setRegistryString(CZELWCharString(), false));
  EXPECT_EQ(stored(u"text").type, zelsys::REG_SZ);
  EXPECT_TRUE(stored(u"text").data.empty());
  EXPECT_TRUE(value.getRegistryString(text, false));
  EXPECT_EQ(textOf(text), u"");
}

TEST_F(RegistryValues, StringReadTakesAtMost520Bytes) {
  const std::u16string longest = repeated(u'x', 259);
  Bytes odd = bytesOf(longest + u'y');
  odd.push_back(0);
  struct Case {
    Bytes data;
    bool bRead;
    std::u16string expected;
  } const cases[] = {
      {bytesOf(longest + u'\0'), true, longest},             // 520 bytes
      {bytesOf(longest + u'y'), true, longest + u'y'},       // 520, no terminator
      {bytesOf(longest + u'y' + u'\0'), false, u"previous"}, // 522
      {odd, false, u"previous"},                             // 521
      {bytesOf(std::u16string(u"a\0b", 4)), true, u"a"},     // up to the first zero unit
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(i);
    // A write validates the cache, so the cache shows what each read left.
    CZELRegistryString value(HKEY_CURRENT_USER, ROOT, u"text");
    ASSERT_TRUE(value.setRegistryString(u"previous", false));
    store(u"text", zelsys::REG_SZ, cases[i].data);
    EXPECT_EQ(value.readRegistry(), cases[i].bRead);
    CZELWCharString text;
    EXPECT_TRUE(value.getRegistryString(text, true));
    EXPECT_EQ(textOf(text), cases[i].expected);
  }
}

TEST_F(RegistryValues, ExpandableTextNeedsWholePairsOfPercentSigns) {
  struct Case {
    const char16_t *pszText;
    bool bWritten;
  } const cases[] = {
      {u"plain", false}, {u"50%", false}, {u"%a%b%", false}, {u"%A%", true}, {u"%A%\\%B%", true},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(i);
    zeltest::RecordingSink sink;
    CZELRegistryStringExpand value(HKEY_CURRENT_USER, ROOT, u"path");
    value.deleteRegistryValue();
    sink.clear();
    EXPECT_EQ(value.setRegistryString(cases[i].pszText, false), cases[i].bWritten);
    const Stored written = stored(u"path");
    if (cases[i].bWritten) {
      EXPECT_EQ(written.type, zelsys::REG_EXPAND_SZ);
      EXPECT_EQ(written.data, bytesOf(std::u16string(cases[i].pszText) + u'\0'));
      EXPECT_EQ(sink.count(), 0u);
    } else {
      EXPECT_EQ(written.result, 2) << "nothing is written";
      ASSERT_EQ(sink.countMessage(NOT_EXPANDABLE), 1u);
      EXPECT_EQ(sink.entries()[0].sourceFile, u".\\zel_registry_string");
    }
  }
}

TEST_F(RegistryValues, ExpandableTextExpandsFromTheEnvironmentOnRequest) {
  ASSERT_TRUE(zelsys::SetEnvironmentVariableW(u"ZelValTestVar", u"abc"));
  CZELRegistryStringExpand value(HKEY_CURRENT_USER, ROOT, u"path");
  ASSERT_TRUE(value.setRegistryString(u"x%ZelValTestVar%y\\%ZelValTestNone%", false));
  CZELWCharString text;
  EXPECT_TRUE(value.getRegistryString(text, false, true));
  EXPECT_EQ(textOf(text), u"xabcy\\%ZelValTestNone%");
  EXPECT_TRUE(value.getRegistryString(text, true, false));
  EXPECT_EQ(textOf(text), u"x%ZelValTestVar%y\\%ZelValTestNone%");
  EXPECT_TRUE(value.getRegistryString(text, true)) << "the plain form is the raw text";
  EXPECT_EQ(textOf(text), u"x%ZelValTestVar%y\\%ZelValTestNone%");

  // The empty text expands to itself.
  store(u"path", zelsys::REG_EXPAND_SZ, {});
  EXPECT_TRUE(value.getRegistryString(text, false, true));
  EXPECT_EQ(textOf(text), u"");
  zelsys::SetEnvironmentVariableW(u"ZelValTestVar", nullptr);
}

TEST_F(RegistryValues, DeleteAndTypeLookup) {
  store(u"", zelsys::REG_SZ, bytesOf(std::u16string(u"default", 8)));
  store(u"d", zelsys::REG_DWORD, {1, 0, 0, 0});
  store(u"s", zelsys::REG_SZ, {});
  store(u"e", zelsys::REG_EXPAND_SZ, {});
  store(u"m", zelsys::REG_MULTI_SZ, {});
  store(u"b", zelsys::REG_BINARY, {});
  const struct {
    const char16_t *pszName;
    ZEL_ULONG dwType;
  } types[] = {{u"d", 4}, {u"S", 1}, {u"e", 2}, {u"m", 7}, {u"b", 3}, {u"", 0}, {u"none", 0}};
  for (const auto &entry : types)
    EXPECT_EQ(CZELRegistryBinary(HKEY_CURRENT_USER, ROOT, entry.pszName).getValueType(),
              entry.dwType)
        << zeltest::narrow(entry.pszName);

  zeltest::RecordingSink sink;
  CZELRegistryDword value(HKEY_CURRENT_USER, ROOT, u"d");
  EXPECT_TRUE(value.deleteRegistryValue());
  EXPECT_EQ(stored(u"d").result, 2);
  EXPECT_EQ(sink.count(), 0u);
  EXPECT_FALSE(value.deleteRegistryValue());
  ASSERT_EQ(sink.countMessage(u"Unable to delete registry value ( "
                              u"\"Software\\Fixwell\\Test\\Values\\d\" )"),
            1u);
  EXPECT_EQ(sink.entries()[0].value, 2);
  EXPECT_EQ(sink.entries()[0].module, u"CZELRegistryValue");
  EXPECT_FALSE(value.isOpen());

  // The default value is deleted through the null name.
  EXPECT_TRUE(CZELRegistryString(HKEY_CURRENT_USER, ROOT, u"").deleteRegistryValue());
  EXPECT_EQ(stored(nullptr).result, 2);
}

TEST_F(RegistryValues, RefusedWriteIsLoggedOnceWithTheSystemCode) {
  zeltest::RecordingSink sink;
  CZELRegistryDword value(HKEY_CURRENT_USER, ROOT, u"locked", zelsys::KEY_READ);
  EXPECT_FALSE(value.setRegistryDword(1, false));
  ASSERT_EQ(sink.countMessage(SET_FAILED), 1u);
  EXPECT_EQ(sink.entries()[0].value, 5) << "ERROR_ACCESS_DENIED";
  EXPECT_EQ(sink.entries()[0].module, u"CZELRegistryDword");
  EXPECT_FALSE(value.isOpen());
  ZEL_ULONG dwValue = 0;
  EXPECT_FALSE(value.getRegistryDword(&dwValue, true)) << "a failed write validates nothing";
}

TEST_F(RegistryValues, BinaryReadsExactlyTheStoredBytes) {
  CZELRegistryBinary value(HKEY_CURRENT_USER, ROOT, u"blob");
  EXPECT_EQ(value.getBinaryDataSize(false), 0u) << "missing";
  const ZEL_BYTE bytes[] = {0, 1, 0xFE, 0xFF, 0};
  ASSERT_TRUE(value.setRegistryBinary(CZELBuffer<ZEL_BYTE>(bytes, 5), false));
  EXPECT_EQ(stored(u"blob").type, zelsys::REG_BINARY);
  EXPECT_EQ(stored(u"blob").data, (Bytes{0, 1, 0xFE, 0xFF, 0}));
  EXPECT_EQ(value.getBinaryDataSize(true), 5u);
  EXPECT_EQ(value.getBinaryDataSize(false), 0u) << "the key is closed";
  ASSERT_TRUE(value.open());
  EXPECT_EQ(value.getBinaryDataSize(false), 5u);
  value.close();

  store(u"blob", zelsys::REG_SZ, {7, 8, 9});
  CZELBuffer<ZEL_BYTE> data;
  ASSERT_TRUE(value.getRegistryBinary(data, false));
  EXPECT_EQ(Bytes(data.getBuffer(), data.getBuffer() + data.getSize()), (Bytes{7, 8, 9}));
  store(u"blob", zelsys::REG_BINARY, {});
  EXPECT_TRUE(value.getRegistryBinary(data, true)) << "the read validated the cache";
  EXPECT_EQ(data.getSize(), 3u);
  EXPECT_TRUE(value.getRegistryBinary(data, false));
  EXPECT_EQ(data.getSize(), 0u);
}

TEST_F(RegistryValues, ListingByTypeTakesEachTypesValuesInOrder) {
  {
    // A key without named values cannot be listed.
    CZELRegistryDwordValueList numbers;
    EXPECT_FALSE(
        CZELRegistryDword(HKEY_CURRENT_USER, ROOT, u"").enumAllValueNamesAndValues(numbers));
  }
  ASSERT_TRUE(zelsys::SetEnvironmentVariableW(u"ZelValTestVar", u"abc"));
  store(u"d1", zelsys::REG_DWORD, {1, 2, 0, 0});
  store(u"s1", zelsys::REG_SZ, bytesOf(std::u16string(u"text", 5)));
  store(u"d2", zelsys::REG_DWORD, {5});
  store(u"e1", zelsys::REG_EXPAND_SZ, bytesOf(std::u16string(u"<%ZelValTestVar%>", 18)));
  store(u"b1", zelsys::REG_BINARY, {9, 8});
  store(u"s2", zelsys::REG_SZ, {});

  CZELRegistryDwordValueList numbers;
  numbers.add(CZELRegistryDwordValue(u"old", 1));
  ASSERT_TRUE(CZELRegistryDword(HKEY_CURRENT_USER, ROOT, u"").enumAllValueNamesAndValues(numbers));
  CZELRegistryDwordValueList expectedNumbers;
  expectedNumbers.add(CZELRegistryDwordValue(u"d1", 0x201), 0);
  expectedNumbers.add(CZELRegistryDwordValue(u"d2", 0), 1); // shorter than four bytes
  EXPECT_TRUE(numbers == expectedNumbers) << "emptied first";

  CZELRegistryStringValueList texts;
  texts.add(CZELRegistryStringValue(u"kept", u"x"));
  ASSERT_TRUE(CZELRegistryString(HKEY_CURRENT_USER, ROOT, u"").enumAllValueNamesAndValues(texts));
  CZELRegistryStringValueList expectedTexts;
  expectedTexts.add(CZELRegistryStringValue(u"kept", u"x"));
  expectedTexts.add(CZELRegistryStringValue(u"s1", u"text"));
  expectedTexts.add(CZELRegistryStringValue(u"s2", CZELWCharString()));
  EXPECT_TRUE(texts == expectedTexts) << "the plain string listing appends";

  CZELRegistryStringExpand expand(HKEY_CURRENT_USER, ROOT, u"");
  for (bool bExpand : {false, true}) {
    ASSERT_TRUE(expand.enumAllValueNamesAndValues(texts, bExpand));
    ASSERT_EQ(texts.getCount(), 1u);
    CZELRegistryStringValue record(u"", u"");
    texts.begin().getItem(record);
    EXPECT_EQ(textOf(record.getValueName()), u"e1");
    EXPECT_EQ(textOf(record.getData()), bExpand ? u"<abc>" : u"<%ZelValTestVar%>");
  }

  CZELRegistryBinaryValueList blobs;
  ASSERT_TRUE(CZELRegistryBinary(HKEY_CURRENT_USER, ROOT, u"").enumAllValueNamesAndValues(blobs));
  const ZEL_BYTE blob[] = {9, 8};
  CZELRegistryBinaryValueList expectedBlobs;
  expectedBlobs.add(CZELRegistryBinaryValue(u"b1", CZELBuffer<ZEL_BYTE>(blob, 2)));
  EXPECT_TRUE(blobs == expectedBlobs);
  zelsys::SetEnvironmentVariableW(u"ZelValTestVar", nullptr);
}
