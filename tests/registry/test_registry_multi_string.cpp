// test_registry_multi_string.cpp - CZELRegistryMultiString: the multi-string
// encoding, positions, the editing operations and deferred writes.
#include "registry_value_fixture.h"

#include "zel_registry_multi_string.h"

using namespace valtest;
using zelsys::HKEY_CURRENT_USER;

namespace {

typedef std::vector<std::u16string> Strings;

CZELBuffer<ZEL_BYTE> bufferOf(const Bytes &bytes) {
  return CZELBuffer<ZEL_BYTE>(bytes.data(), static_cast<ZEL_ULONG>(bytes.size()));
}

// The strings the value holds, as a fresh object reads them.
Strings storedStrings() {
  CZELWCharStringList list;
  EXPECT_TRUE(CZELRegistryMultiString(HKEY_CURRENT_USER, ROOT, u"list").get(list, false));
  return stringsOf(list);
}

} // namespace

TEST(MultiStringEncoding, EncodesEachStringTerminatedAndClosesTheList) {
  const struct {
    Strings strings;
    std::u16string units;
  } cases[] = {
      {{u"a", u"bc"}, std::u16string(u"a\0bc\0\0", 6)},
      {{}, u""},
      {{u""}, std::u16string(1, u'\0')},
      {{u"a", u"", u"b"}, std::u16string(u"a\0b\0\0", 5)}, // an empty string cannot be stored
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    CZELBuffer<ZEL_BYTE> bytes(3);
    ASSERT_TRUE(
        CZELRegistryMultiString::convertMultiStringToBuffer(listOf(cases[i].strings), bytes))
        << i;
    EXPECT_EQ(Bytes(bytes.getBuffer(), bytes.getBuffer() + bytes.getSize()),
              bytesOf(cases[i].units))
        << i;
  }
}

TEST(MultiStringEncoding, DecodesUpToTheDoubleZero) {
  const struct {
    Bytes bytes;
    Strings strings;
  } cases[] = {
      {bytesOf(std::u16string(u"a\0bc\0\0", 6)), {u"a", u"bc"}},
      {bytesOf(std::u16string(u"a\0\0b\0\0", 6)), {u"a"}},
      {bytesOf(u"ab"), {}},
      {bytesOf(std::u16string(u"\0\0", 2)), {u""}},
      {bytesOf(std::u16string(u"a\0b", 3)), {u"a"}}, // the unterminated tail is dropped
      {bytesOf(std::u16string(u"a\0", 2)), {u"a"}},  // the end of the data closes the list
      {{}, {}},
      {{0x61, 0, 0x62, 0, 0x63}, {}}, // odd byte: one more unit, no zero
      {{0x61, 0, 0, 0, 0x41}, {u"a"}},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    CZELWCharStringList list = listOf({u"stale"});
    ASSERT_TRUE(CZELRegistryMultiString::convertBufferToMultiString(bufferOf(cases[i].bytes), list))
        << i;
    std::vector<ZEL_ULONG> positions;
    EXPECT_EQ(stringsOf(list, &positions), cases[i].strings) << i;
    for (ZEL_ULONG p = 0; p < positions.size(); ++p)
      EXPECT_EQ(positions[p], p) << i;
  }
}

TEST_F(RegistryValues, MultiStringStoresAndReadsByPosition) {
  CZELRegistryMultiString value(HKEY_CURRENT_USER, ROOT, u"list");
  ASSERT_TRUE(value.set(listOf({u"a", u"bc"}), false));
  EXPECT_EQ(stored(u"list").type, zelsys::REG_MULTI_SZ);
  EXPECT_EQ(stored(u"list").data, bytesOf(std::u16string(u"a\0bc\0\0", 6)));

  CZELWCharString text;
  EXPECT_TRUE(value.get(text, 1, false));
  EXPECT_EQ(textOf(text), u"bc");
  EXPECT_FALSE(value.get(text, 2, true));
  EXPECT_EQ(textOf(text), u"bc") << "untouched";

  // Only the value's own bytes count, not the key's longer neighbour.
  store(u"long", zelsys::REG_BINARY, Bytes(40, 0x41));
  store(u"list", zelsys::REG_MULTI_SZ, bytesOf(u"ab"));
  EXPECT_TRUE(value.get(text, 0, true)) << "a read validates the cache";
  EXPECT_EQ(textOf(text), u"a");
  EXPECT_TRUE(value.readRegistry());
  EXPECT_FALSE(value.get(text, 0, true)) << "unterminated data holds no string";

  ASSERT_TRUE(value.removeAll(false));
  EXPECT_TRUE(stored(u"list").data.empty());
  EXPECT_EQ(storedStrings(), Strings{});

  CZELRegistryMultiString created(HKEY_CURRENT_USER, ROOT, u"new", zelsys::KEY_ALL_ACCESS, true);
  CZELWCharStringList list = listOf({u"stale"});
  EXPECT_TRUE(created.get(list, false));
  EXPECT_EQ(stringsOf(list), Strings{});
  EXPECT_EQ(stored(u"new").type, zelsys::REG_MULTI_SZ);
  EXPECT_TRUE(stored(u"new").data.empty());
}

TEST_F(RegistryValues, MultiStringEditsReadTheStoredListFirst) {
  store(u"list", zelsys::REG_MULTI_SZ, bytesOf(std::u16string(u"a\0b\0c\0\0", 7)));
  CZELRegistryMultiString value(HKEY_CURRENT_USER, ROOT, u"list");
  ASSERT_TRUE(value.set(u"B", 1, false));
  EXPECT_EQ(storedStrings(), (Strings{u"a", u"B", u"c"}));
  EXPECT_FALSE(value.set(u"x", 7, false)) << "no such position";

  // Another writer's change is seen by the next edit.
  store(u"list", zelsys::REG_MULTI_SZ, bytesOf(std::u16string(u"p\0q\0r\0\0", 7)));
  ASSERT_TRUE(value.remove(CZELWCharString(u"q"), false));
  EXPECT_EQ(storedStrings(), (Strings{u"p", u"r"}));
  CZELWCharString text;
  EXPECT_TRUE(value.get(text, 1, true)) << "renumbered after the removal";
  EXPECT_EQ(textOf(text), u"r");
  ASSERT_TRUE(value.remove(ZEL_ULONG{0}, false));
  EXPECT_EQ(storedStrings(), (Strings{u"r"}));
  EXPECT_FALSE(value.remove(CZELWCharString(u"zz"), false));

  // An appended string gets the next position and can be found by it.
  ASSERT_TRUE(value.append(u"s", false));
  EXPECT_EQ(storedStrings(), (Strings{u"r", u"s"}));
  EXPECT_TRUE(value.get(text, 1, true));
  EXPECT_EQ(textOf(text), u"s");
}

TEST_F(RegistryValues, MultiStringDeferredEditsAccumulateUntilWritten) {
  store(u"list", zelsys::REG_MULTI_SZ, bytesOf(std::u16string(u"a\0\0", 3)));
  CZELRegistryMultiString value(HKEY_CURRENT_USER, ROOT, u"list");
  ASSERT_TRUE(value.append(u"b", true));
  ASSERT_TRUE(value.append(u"c", true));
  ASSERT_TRUE(value.set(u"A", 0, true));
  ASSERT_TRUE(value.remove(CZELWCharString(u"b"), true));
  EXPECT_EQ(storedStrings(), (Strings{u"a"})) << "nothing written yet";
  ASSERT_TRUE(value.writeRegistry());
  EXPECT_EQ(storedStrings(), (Strings{u"A", u"c"}));

  // Once written, the next edit reads again.
  store(u"list", zelsys::REG_MULTI_SZ, bytesOf(std::u16string(u"x\0\0", 3)));
  ASSERT_TRUE(value.append(u"y", false));
  EXPECT_EQ(storedStrings(), (Strings{u"x", u"y"}));

  ASSERT_TRUE(value.removeAll(true));
  ASSERT_TRUE(value.append(u"only", true));
  ASSERT_TRUE(value.writeRegistry());
  EXPECT_EQ(storedStrings(), (Strings{u"only"}));
}

TEST_F(RegistryValues, MultiStringListingDecodesEachValue) {
  store(u"m1", zelsys::REG_MULTI_SZ, bytesOf(std::u16string(u"a\0bc\0\0", 6)));
  store(u"s", zelsys::REG_SZ, bytesOf(std::u16string(u"a\0\0", 3)));
  store(u"m2", zelsys::REG_MULTI_SZ, {});
  CZELRegistryMultiStringValueList values;
  values.add(CZELRegistryMultiStringValue(u"stale", CZELWCharStringList()));
  ASSERT_TRUE(
      CZELRegistryMultiString(HKEY_CURRENT_USER, ROOT, u"").enumAllValueNamesAndValues(values));
  CZELRegistryMultiStringValueList expected;
  expected.add(CZELRegistryMultiStringValue(u"m1", listOf({u"a", u"bc"})), 0);
  expected.add(CZELRegistryMultiStringValue(u"m2", CZELWCharStringList()), 1);
  EXPECT_TRUE(values == expected);
}
