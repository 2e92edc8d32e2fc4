// test_wchar_string_split.cpp - CZELWCharString: splitting into lists,
// environment expansion and the hex-byte text form.
#include "zel_dbllist.h"
#include "zel_environment_variable.h"
#include "zel_test_support.h"
#include "zel_wchar_string.h"
#include "zelsys/environment.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

typedef std::vector<std::u16string> Texts;

std::u16string textOf(const CZELWCharString &s) {
  return s.isValid() ? std::u16string(s.getBuffer(), s.getLength()) : std::u16string();
}

// The list's items in order; each must carry its index as item data.
Texts itemsOf(CZELWCharStringList &list) {
  Texts items;
  for (bool bMore = !list.begin().isEmpty(); bMore; bMore = list.next()) {
    CZELWCharString item;
    ZEL_ULONG ulData = 0;
    EXPECT_TRUE(list.getItem(item) && list.getItemData(ulData));
    EXPECT_EQ(ulData, items.size());
    items.push_back(textOf(item));
  }
  return items;
}

CZELWCharStringList listOf(const Texts &items) {
  CZELWCharStringList list;
  for (const std::u16string &item : items)
    list.add(CZELWCharString(item.c_str()));
  return list;
}

std::vector<ZEL_BYTE> bytesOf(const CZELBuffer<ZEL_BYTE> &buffer) {
  return std::vector<ZEL_BYTE>(buffer.getBuffer(), buffer.getBuffer() + buffer.getSize());
}

const CZELFlags NO_TRIM(0);

// How a case splits: extractParams forward/backward at one delimiter, at a
// pair of delimiters, at a delimiter list with quotes, or extractTo.
enum Split { FORWARD = 1, BACKWARD = 2, PAIR, QUOTED, TO };

struct SplitCase {
  const char16_t *text;
  Split split;
  Texts delimiters; // one, the pair, or the list
  bool trimSpaces;  // where 3, which spaces
  Texts expected;   // none: the split fails
};

void checkSplits(const std::vector<SplitCase> &cases) {
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const SplitCase &c = cases[i];
    const CZELWCharString s(c.text);
    const CZELFlags where(c.trimSpaces ? 3 : 0), which(c.trimSpaces ? 1 : 0);
    const CZELWCharString first(c.delimiters[0].c_str()), last(c.delimiters.back().c_str());
    CZELWCharStringList list = listOf({u"stale"}); // must never survive
    bool ok = false;
    if (c.split == FORWARD || c.split == BACKWARD)
      ok = s.extractParams(list, first, c.split, where, which);
    else if (c.split == PAIR)
      ok = s.extractParams(list, first, last, where, which);
    else if (c.split == QUOTED)
      ok = s.extractParams(list, listOf(c.delimiters), u"\"", where, which);
    else
      ok = s.extractTo(list, listOf(c.delimiters), where, which);
    EXPECT_EQ(ok, !c.expected.empty()) << "case " << i;
    EXPECT_EQ(itemsOf(list), c.expected) << "case " << i;
  }
}

} // namespace

TEST(WCharStringSplit, FieldsIntoLists) {
  checkSplits({
      {u"8.0.1", FORWARD, {u"."}, false, {u"8", u"0", u"1"}},
      {u"a,,b,", FORWARD, {u","}, false, {u"a", u"", u"b", u""}},
      {u" a , b ", FORWARD, {u","}, true, {u"a", u"b"}},
      {u"", FORWARD, {u","}, false, {}},
      {u"%A%x%B%y%", BACKWARD, {u"%"}, false, {u"A", u"B"}},
      {u"abc", BACKWARD, {u"%"}, false, {}}, // nothing is enclosed
      {u"(a)(b)x", PAIR, {u"(", u")"}, false, {u"a", u"b"}},
      // extractTo: every delimiter starts a field; the text before the first is none.
      {u"key = value; other=  x", TO, {u";", u"="}, false, {u" value", u" other", u"  x"}},
      {u"key = value; other=  x", TO, {u";", u"="}, true, {u"value", u"other", u"x"}},
      {u"a::b:c", TO, {u":", u"::"}, false, {u"b", u"c"}}, // overlapping ones are one
      {u"xaaay", TO, {u"aa"}, false, {u"y"}},
      {u"abc", TO, {u";", u""}, false, {}},
      // Quoted sections keep their delimiters, formatting and quotes.
      {u"a,\"b,c\",d", QUOTED, {u","}, false, {u"\"b,c\"", u"d"}},
      {u"x, \" a b \" ,y", QUOTED, {u","}, true, {u"\" a b \"", u"y"}},
      {u";b,c;\"b,c\"", QUOTED, {u",", u";"}, false, {u"b", u"c", u"\"b,c\""}},
      {u",\"\",x", QUOTED, {u","}, false, {u"\"\"", u"x"}},
      {u"a,\"b,c", QUOTED, {u","}, false, {u"\"b", u"c"}}, // one quote protects nothing
  });

  // The output list may be the delimiter list itself.
  CZELWCharStringList list = listOf({u","});
  EXPECT_TRUE(CZELWCharString(u"x,y,z").extractTo(list, list, NO_TRIM, NO_TRIM));
  EXPECT_EQ(itemsOf(list), (Texts{u"y", u"z"}));
}

TEST(WCharStringSplit, EmptyDelimiterListIsALoggedArgumentError) {
  zeltest::RecordingSink sink;
  const CZELWCharString s(u"a,\"b\",c");
  CZELWCharStringList list = listOf({u"stale"});
  EXPECT_FALSE(s.extractTo(list, CZELWCharStringList(), NO_TRIM, NO_TRIM));
  EXPECT_TRUE(list.isEmpty());
  list = listOf({u"stale"});
  EXPECT_FALSE(s.extractParams(list, CZELWCharStringList(), u"\"", NO_TRIM, NO_TRIM));
  EXPECT_TRUE(list.isEmpty());
  EXPECT_EQ(sink.countMessage(u"A bad argument was provided ( delimeterList ). list is empty - "
                              u"no delimeters to parse"),
            2u);
  EXPECT_EQ(sink.count(), 2u);
}

TEST(WCharStringSplit, ExpandReplacesReferencesWhoseVariableIsSet) {
  const char16_t *const names[] = {u"ZelSplitA", u"ZelSplitB"};
  ASSERT_TRUE(CZELEnvironmentVariable(names[0]).setValue(u"alpha"));
  ASSERT_TRUE(CZELEnvironmentVariable(names[1]).setValue(u"%ZelSplitA%"));
  const struct {
    const char16_t *text;
    bool ok;
    const char16_t *expected;
  } cases[] = {
      {u"x%zelsplita%y", true, u"xalphay"},
      {u"%ZelSplitA%-%ZelSplitUnset%-%ZelSplitA%", true, u"alpha-%ZelSplitUnset%-alpha"},
      {u"%ZelSplitUnset%", false, u"%ZelSplitUnset%"},
      {u"100% sure", true, u"100% sure"},
      {u"100%%", false, u"100%%"},
      // Pairs count from the left: the middle "%ZelSplitA%" is no pair.
      {u"%ZelSplitUnset%ZelSplitA%ZelSplitA%", true, u"%ZelSplitUnset%ZelSplitAalpha"},
      // A value goes in as it is, not searched again.
      {u"%ZelSplitB% %ZelSplitA%", true, u"%ZelSplitA% alpha"},
  };
  zeltest::RecordingSink sink;
  for (const auto &c : cases) {
    CZELWCharString s(c.text);
    EXPECT_EQ(s.expand(), c.ok) << zeltest::narrow(c.text);
    EXPECT_EQ(textOf(s), c.expected) << zeltest::narrow(c.text);
  }
  EXPECT_EQ(sink.count(), 0u);
  for (const char16_t *pszName : names)
    zelsys::SetEnvironmentVariableW(pszName, nullptr);
}

TEST(WCharStringSplit, HexByteTextAndBack) {
  const struct {
    const char16_t *text;
    const char16_t *codes;
  } cases[] = {{u"A", u"41 00 00 00"},
               {u"bc", u"62 00 63 00 00 00"},
               {u"\u20AC\u00FF", u"AC 20 FF 00 00 00"},
               {u"", u""}};
  for (const auto &c : cases) {
    const CZELWCharString s(c.text), codes = s.getAsciiCodeString();
    EXPECT_EQ(textOf(codes), c.codes);
    // Back to the storage, terminator included.
    const CZELBuffer<ZEL_BYTE> bytes = codes.getBufferFromAsciiCodeString();
    EXPECT_TRUE(
        bytes.getSize() == s.getSize() * 2 &&
        (s.getSize() == 0 || std::memcmp(bytes.getBuffer(), s.getBuffer(), bytes.getSize()) == 0))
        << zeltest::narrow(c.codes);
  }
  typedef std::vector<ZEL_BYTE> Bytes;
  EXPECT_EQ(bytesOf(CZELWCharString(u"41 00 42").getBufferFromAsciiCodeString()),
            (Bytes{0x41, 0x00, 0x42}));
  EXPECT_EQ(bytesOf(CZELWCharString(u"ff 7F 0").getBufferFromAsciiCodeString()),
            (Bytes{0xFF, 0x7F})); // a lone digit is no byte

  // A code that is no byte gives nothing rather than a wrong byte.
  zeltest::RecordingSink sink;
  EXPECT_FALSE(CZELWCharString(u"41 zz 42").getBufferFromAsciiCodeString().isValid());
  EXPECT_EQ(sink.countMessage(u"A bad argument was provided ( this string ). holds a code that "
                              u"is not a hexadecimal byte"),
            1u);
}
