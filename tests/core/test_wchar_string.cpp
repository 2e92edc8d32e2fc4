// test_wchar_string.cpp - CZELWCharString: construction, assignment,
// comparison, concatenation, searching and editing.
#include "zel_test_support.h"
#include "zel_wchar_string.h"

#include <string>

namespace {

typedef CZELWCharString S;

std::u16string textOf(const S &s) {
  return s.isValid() ? std::u16string(s.getBuffer(), s.getLength()) : std::u16string();
}

// The text and its normal form: exactly length + 1 units ending in zero, or
// no storage at all when empty.
void expectText(const S &s, const std::u16string &expected, size_t index = 0) {
  SCOPED_TRACE("case " + std::to_string(index) + ": expected \"" + zeltest::narrow(expected) +
               "\"");
  EXPECT_EQ(zeltest::narrow(textOf(s)), zeltest::narrow(expected));
  if (expected.empty()) {
    EXPECT_FALSE(s.isValid());
    EXPECT_EQ(s.getBuffer(), nullptr);
    EXPECT_EQ(s.getSize(), 0u);
  } else {
    ASSERT_EQ(s.getSize(), expected.size() + 1);
    EXPECT_EQ(s.getBuffer()[expected.size()], u'\0');
  }
}

// A rejected argument is logged once, as a bad-argument entry ending in
// reason; nothing is logged when reason is null.
void expectLogged(const zeltest::RecordingSink &sink, const char16_t *reason, size_t index) {
  if (reason == nullptr) {
    EXPECT_EQ(sink.count(), 0u) << "case " << index << ": nothing should be logged";
    return;
  }
  ASSERT_EQ(sink.count(), 1u) << "case " << index << ": " << zeltest::narrow(reason);
  const std::u16string &message = sink.entries()[0].message;
  EXPECT_EQ(message.rfind(u"A bad argument was provided ( ", 0), 0u) << "case " << index;
  EXPECT_TRUE(message.ends_with(reason)) << "case " << index << ": " << zeltest::narrow(message);
}

} // namespace

// ---- Construction and assignment ------------------------------------------------

TEST(WCharStringAssign, TextAndCharacter) {
  S s;
  s = u"abc";
  ASSERT_EQ(s.getSize(), 4u); // the units and one zero
  EXPECT_EQ(s.getBuffer()[3], u'\0');
  expectText(S(s), u"abc", 0);
  // Empty or null text, and the character 0, release the storage.
  s = u"";
  expectText(s, u"", 1);
  s = u"abc";
  s = static_cast<const ZEL_USHORT *>(nullptr);
  expectText(s, u"", 2);
  expectText(S(static_cast<const ZEL_USHORT *>(nullptr)), u"", 3);
  expectText(S(static_cast<const ZEL_CHAR *>(nullptr)), u"", 4);
  expectText(S(""), u"", 5);
  s = u'\x263A';
  expectText(s, u"\x263A", 6);
  s = static_cast<ZEL_USHORT>(0);
  expectText(s, u"", 7);
}

TEST(WCharStringAssign, FromUnitBufferStopsAtFirstZero) {
  const ZEL_USHORT noTerminator[] = {u'a', u'b'};
  expectText(S(CZELBuffer<ZEL_USHORT>(noTerminator, 2)), u"ab", 0);
  const ZEL_USHORT embedded[] = {u'a', 0, u'b'};
  expectText(S(CZELBuffer<ZEL_USHORT>(embedded, 3)), u"a", 1);
  const ZEL_USHORT onlyZero[] = {0, 0};
  expectText(S(CZELBuffer<ZEL_USHORT>(onlyZero, 2)), u"", 2);
  S s(u"keep");
  s = CZELBuffer<ZEL_USHORT>();
  expectText(s, u"", 3);
}

TEST(WCharStringAssign, EightBitTextWidensByteValues) {
  // A byte above 0x7F must become the unit of the same value, not a
  // sign-extended one.
  expectText(S("h\xE9!"), u"h\u00E9!", 0);
  const ZEL_CHAR bytes[] = {'o', 'k', '\xFF'};
  S s;
  s = CZELBuffer<ZEL_CHAR>(bytes, 3);
  expectText(s, u"ok\u00FF", 1);
  s = CZELBuffer<ZEL_CHAR>();
  expectText(s, u"", 2);
}

TEST(WCharStringAssign, NarrowingStopsAtFirstWideUnit) {
  const CZELBuffer<ZEL_CHAR> plain = S(u"a\u00E9c");
  ASSERT_EQ(plain.getSize(), 4u);
  EXPECT_EQ(plain.getBuffer()[0], 'a');
  EXPECT_EQ(static_cast<unsigned char>(plain.getBuffer()[1]), 0xE9);
  EXPECT_EQ(plain.getBuffer()[2], 'c');
  EXPECT_EQ(plain.getBuffer()[3], '\0');

  const CZELBuffer<ZEL_CHAR> cut = S(u"ab\u0100cd");
  ASSERT_EQ(cut.getSize(), 6u);
  EXPECT_EQ(cut.getBuffer()[1], 'b');
  for (ZEL_ULONG i = 2; i < 6; ++i)
    EXPECT_EQ(cut.getBuffer()[i], '\0') << "byte " << i;

  EXPECT_FALSE(static_cast<CZELBuffer<ZEL_CHAR>>(S()).isValid());
}

TEST(WCharStringAssign, SourcesInsideTheTargetSurvive) {
  S s(u"abcdef");
  S &alias = s;
  s = alias;
  expectText(s, u"abcdef", 0);
  s = s.getBuffer() + 2;
  expectText(s, u"cdef", 1);
  s = static_cast<const CZELBuffer<ZEL_USHORT> &>(s);
  expectText(s, u"cdef", 2);
  s += s;
  expectText(s, u"cdefcdef", 3);
  s = S();
  expectText(s, u"", 4);
}

// ---- Comparison ------------------------------------------------------------------

TEST(WCharStringCompare, OperatorTable) {
  struct Case {
    const char16_t *left, *right;
    bool eq, le, ge, lt, gt;
  };
  // Different lengths are neither <= nor >=, hence both < and >.
  const Case cases[] = {
      {nullptr, nullptr, true, false, false, true, true},
      {u"ab", u"ab", true, true, true, false, false},
      {u"ab", u"AB", false, false, true, false, true},
      {u"ab", u"abc", false, false, false, true, true},
      {u"abc", u"abd", false, true, false, true, false},
      {u"b", u"a", false, false, true, false, true},
      {u"a", nullptr, false, false, false, true, true},
      {u"\xFFFF", u"\x0001", false, false, true, false, true}, // units are unsigned
  };
  for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
    const Case &c = cases[i];
    const S left(c.left), right(c.right);
    SCOPED_TRACE("case " + std::to_string(i));
    EXPECT_EQ(left == right, c.eq);
    EXPECT_EQ(left != right, !c.eq);
    EXPECT_EQ(left <= right, c.le);
    EXPECT_EQ(left >= right, c.ge);
    EXPECT_EQ(left < right, c.lt);
    EXPECT_EQ(left > right, c.gt);
  }
}

// ---- Concatenation and removal --------------------------------------------------------

TEST(WCharStringCombine, ConcatenationAndMinus) {
  expectText(S(u"ab") + S(u"cd"), u"abcd", 0);
  expectText(S(u"ab") + S(), u"ab", 1);
  expectText(S() + S(u"cd"), u"cd", 2);
  expectText(S() + S(), u"", 3);
  S s(u"x");
  s += u"yz";
  expectText(s, u"xyz", 4);
  // Minus removes the first occurrence only; a missing one is no error.
  zeltest::RecordingSink sink;
  expectText(S(u"a-b-c") - S(u"-"), u"ab-c", 5);
  expectText(S(u"abc") - S(u"x"), u"abc", 6);
  s -= u"xyz";
  expectText(s, u"", 7);
  EXPECT_EQ(sink.count(), 0u);
}

TEST(WCharStringCombine, ShiftsDropUnitsFromEitherEnd) {
  struct Case {
    bool right;
    ZEL_ULONG count;
    const char16_t *expected;
  };
  const Case cases[] = {{true, 2, u"hel"}, {false, 2, u"llo"},  {true, 5, u""},
                        {false, 9, u""},   {true, 0, u"hello"}, {false, 0, u"hello"}};
  for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
    const S hello(u"hello");
    expectText(cases[i].right ? hello >> cases[i].count : hello << cases[i].count,
               cases[i].expected, i);
    S inPlace(u"hello");
    if (cases[i].right)
      inPlace >>= cases[i].count;
    else
      inPlace <<= cases[i].count;
    expectText(inPlace, cases[i].expected, i);
    expectText(hello, u"hello", i);
  }
}

// ---- Searching ----------------------------------------------------------------------------

TEST(WCharStringSearch, SubStringPosTable) {
  const char16_t *const TOO_LARGE =
      u"value is impossible since it is larger than the length of this string";
  struct Case {
    const char16_t *text, *sub;
    ZEL_ULONG occurrence, mode;
    bool found;
    ZEL_ULONG pos;
    const char16_t *logged;
  };
  const Case cases[] = {
      {u"aaaa", u"aa", 1, S::pmForward, true, 0, nullptr},
      {u"aaaa", u"aa", 3, S::pmForward, true, 2, nullptr},
      {u"aaaa", u"aa", 1, S::pmBackward, true, 2, nullptr},
      {u"aaaa", u"aa", 3, S::pmBackward, true, 0, nullptr},
      {u"aaaa", u"aa", 4, S::pmForward, false, 0, nullptr},
      {u"abcabc", u"bc", 2, S::pmForward, true, 4, nullptr},
      {u"abcabc", u"bc", 2, S::pmBackward, true, 1, nullptr},
      {u"abc", u"abc", 1, S::pmBackward, true, 0, nullptr},
      {u"abc", nullptr, 1, S::pmForward, false, 0, nullptr},
      {nullptr, u"a", 1, S::pmForward, false, 0, nullptr},
      {u"abc", u"a", 1, 3, false, 0, nullptr},
      {u"aaaa", u"aa", 0, S::pmForward, false, 0, u"value must be greater than 0"},
      {u"aaaa", u"aa", 5, S::pmBackward, false, 0, TOO_LARGE},
      // A sub-string longer than the text finds nothing before any check.
      {u"ab", u"abc", 0, S::pmForward, false, 0, nullptr},
  };
  for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
    const Case &c = cases[i];
    zeltest::RecordingSink sink;
    ZEL_ULONG pos = 0xDEADBEEF;
    EXPECT_EQ(S(c.text).getSubStringPos(S(c.sub), c.occurrence, c.mode, pos), c.found)
        << "case " << i;
    EXPECT_EQ(pos, c.found ? c.pos : 0xDEADBEEF) << "case " << i << ": output on failure";
    expectLogged(sink, c.logged, i);
  }
}

TEST(WCharStringSearch, CountsAndOccurrenceNumbers) {
  const S text(u"aaaa"), sub(u"aa");
  EXPECT_EQ(text.getSubStringCount(sub), 3u);
  EXPECT_EQ(S(u"a-b-c").getSubStringCount(S(u"-")), 2u);
  EXPECT_EQ(S(u"abc").getSubStringCount(S(u"x")), 0u);
  EXPECT_EQ(S().getSubStringCount(S(u"x")), 0u);
  EXPECT_TRUE(text.hasSubString(sub));
  EXPECT_FALSE(text.hasSubString(S(u"b")));

  ZEL_ULONG occurrence = 0;
  ASSERT_TRUE(text.getSubStringOccurrance(sub, 2, S::pmForward, occurrence));
  EXPECT_EQ(occurrence, 3u);
  ASSERT_TRUE(text.getSubStringOccurrance(sub, 2, S::pmBackward, occurrence));
  EXPECT_EQ(occurrence, 1u);
  occurrence = 99;
  EXPECT_FALSE(text.getSubStringOccurrance(sub, 3, S::pmForward, occurrence));
  EXPECT_EQ(occurrence, 99u);

  ZEL_ULONG reverse = 0;
  ASSERT_TRUE(text.getReverseSubStringOccurrance(sub, 1, S::pmForward, reverse));
  EXPECT_EQ(reverse, 3u);
  ASSERT_TRUE(S(u"x.y.z").getReverseSubStringOccurrance(S(u"."), 1, S::pmBackward, reverse));
  EXPECT_EQ(reverse, 2u);

  zeltest::RecordingSink sink;
  EXPECT_FALSE(text.getReverseSubStringOccurrance(S(), 1, S::pmForward, reverse));
  expectLogged(sink, u"must contain a string", 0);
  sink.clear();
  EXPECT_FALSE(text.getReverseSubStringOccurrance(sub, 1, 0, reverse));
  expectLogged(sink, u"invalid parse mode", 1);
  EXPECT_EQ(reverse, 2u) << "no output on failure";
}

TEST(WCharStringSearch, BeginsAndEndsWith) {
  struct Case {
    const char16_t *text, *other;
    bool begins, ends;
  };
  const Case cases[] = {
      {u"abcab", u"ab", true, true}, {u"abc", u"abc", true, true},    {u"abc", u"bc", false, true},
      {u"ab", u"abc", false, false}, {u"abc", nullptr, false, false}, {nullptr, u"a", false, false},
      {u"aXa", u"a", true, true},
  };
  for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
    EXPECT_EQ(S(cases[i].text).beginsWith(S(cases[i].other)), cases[i].begins) << "case " << i;
    EXPECT_EQ(S(cases[i].text).endsWith(S(cases[i].other)), cases[i].ends) << "case " << i;
  }
}

// ---- Editing --------------------------------------------------------------------------------
//
// Each table row names the argument error its failure logs (null: nothing
// is logged), so every rejected case is also checked for logging exactly once.

TEST(WCharStringEdit, Insert) {
  struct Case {
    const char16_t *text, *inserted;
    ZEL_ULONG pos;
    bool ok;
    const char16_t *expected, *logged;
  };
  const Case cases[] = {
      {u"abc", u"X", 3, true, u"abcX", nullptr},
      {u"abc", u"X", 0, true, u"Xabc", nullptr},
      {u"abc", u"XY", 1, true, u"aXYbc", nullptr},
      {nullptr, u"X", 0, true, u"X", nullptr},
      {u"abc", u"X", 4, false, u"abc", u"position is out of string bounds"},
      {nullptr, u"X", 1, false, u"", nullptr},
      {u"abc", nullptr, 1, false, u"abc", u"can't insert an invalid string"},
  };
  for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
    zeltest::RecordingSink sink;
    S s(cases[i].text);
    EXPECT_EQ(s.insert(S(cases[i].inserted), cases[i].pos), cases[i].ok) << "case " << i;
    expectText(s, cases[i].expected, i);
    expectLogged(sink, cases[i].logged, i);
  }
  S self(u"ab");
  EXPECT_TRUE(self.insert(self, 1));
  expectText(self, u"aabb");
}

TEST(WCharStringEdit, DeleteRange) {
  struct Case {
    ZEL_ULONG start, end;
    bool delStart, delEnd, ok;
    const char16_t *expected, *logged;
  };
  const Case cases[] = {
      {1, 4, false, false, true, u"abef", nullptr},
      {1, 4, true, true, true, u"af", nullptr},
      {1, 4, true, false, true, u"aef", nullptr},
      {4, 1, false, false, true, u"bcde", nullptr},
      {4, 1, true, false, true, u"bcd", nullptr},
      {4, 1, false, true, true, u"cde", nullptr},
      {0, 5, true, true, true, u"", nullptr},
      {5, 0, true, true, true, u"bcde", nullptr},
      {0, 1, false, false, true, u"abcdef", nullptr},
      {6, 1, false, false, false, u"abcdef", u"start position is past the end of the string"},
      {1, 6, false, false, false, u"abcdef", u"end position is past the end of the string"},
      {2, 2, true, true, false, u"abcdef", u"start and end positions can't be equal"},
  };
  for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
    const Case &c = cases[i];
    zeltest::RecordingSink sink;
    S s(u"abcdef");
    EXPECT_EQ(s.deleteRange(c.start, c.end, c.delStart, c.delEnd), c.ok) << "case " << i;
    expectText(s, c.expected, i);
    expectLogged(sink, c.logged, i);
  }
  S empty;
  EXPECT_FALSE(empty.deleteRange(0, 1, true, true));
}

// Shared by the deletion and replacement tables.
namespace {
const char16_t *const NOT_ENOUGH = u"there aren't enough strings to accommodate ulOccurrance";
const char16_t *const OCCUR_ZERO = u"ssmOccur mode requires ulOccurrance to be greater than 0";
const char16_t *const NUM_ZERO = u"ssmNum mode requires ulOccurrance to be greater than 0";
const char16_t *const BAD_MODE = u"invalid mode";
} // namespace

TEST(WCharStringEdit, DeleteSubString) {
  struct Case {
    const char16_t *text, *sub;
    ZEL_ULONG occurrence, mode;
    bool ok;
    const char16_t *expected, *logged;
  };
  const Case cases[] = {
      {u"a-b-c", u"-", 0, S::ssmAll, true, u"abc", nullptr},
      {u"a-b-c", u"-", 2, S::ssmOccur, true, u"a-bc", nullptr},
      {u"a-b-c-d", u"-", 2, S::ssmNum, true, u"abc-d", nullptr},
      {u"--", u"-", 0, S::ssmAll, true, u"", nullptr},
      {u"a-b-c", u"x", 1, S::ssmOccur, false, u"a-b-c", nullptr},
      {u"a-b-c", u"-", 3, S::ssmOccur, false, u"a-b-c", NOT_ENOUGH},
      {u"a-b-c", u"-", 0, S::ssmOccur, false, u"a-b-c", OCCUR_ZERO},
      {u"a-b-c", u"-", 3, S::ssmNum, false, u"a-b-c", NOT_ENOUGH},
      {u"a-b-c", u"-", 0, S::ssmNum, false, u"a-b-c", NUM_ZERO},
      {u"a-b-c", u"-", 1, 3, false, u"a-b-c", BAD_MODE},
      {nullptr, u"-", 1, S::ssmOccur, false, u"", nullptr},
  };
  for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
    const Case &c = cases[i];
    zeltest::RecordingSink sink;
    S s(c.text);
    EXPECT_EQ(s.deleteSubString(S(c.sub), c.occurrence, c.mode), c.ok) << "case " << i;
    expectText(s, c.expected, i);
    expectLogged(sink, c.logged, i);
  }
}

TEST(WCharStringEdit, ReplaceSubString) {
  struct Case {
    const char16_t *text, *oldText, *newText;
    ZEL_ULONG occurrence, mode;
    bool ok;
    const char16_t *expected, *logged;
  };
  const Case cases[] = {
      {u"copy %s failed", u"%s", u"x.txt", 1, S::ssmOccur, true, u"copy x.txt failed", nullptr},
      {u"aXa", u"a", u"aa", 0, S::ssmAll, true, u"aaXaa", nullptr},
      // The new text inside the old one brings no occurrence in: every
      // original occurrence is still replaced.
      {u"abab", u"ab", u"a", 0, S::ssmAll, true, u"aa", nullptr},
      {u"aaa", u"a", u"b", 0, S::ssmAll, true, u"bbb", nullptr},
      {u"a.b.c.d", u".", u"..", 2, S::ssmNum, true, u"a..b..c.d", nullptr},
      {u"a.b.c", u".", u"..", 2, S::ssmOccur, true, u"a.b..c", nullptr},
      {u"a.b.c", u".", nullptr, 0, S::ssmAll, true, u"abc", nullptr},
      {u"abc", u"abc", nullptr, 1, S::ssmOccur, true, u"", nullptr},
      {u"abc", u"x", u"y", 1, S::ssmOccur, false, u"abc", nullptr},
      {u"a.b", u".", u"-", 2, S::ssmOccur, false, u"a.b", u"occurrance is out of bounds"},
      {u"a.b", u".", u"-", 0, S::ssmOccur, false, u"a.b", OCCUR_ZERO},
      {u"a.b", u".", u"-", 2, S::ssmNum, false, u"a.b", NOT_ENOUGH},
      {u"a.b", u".", u"-", 1, 0, false, u"a.b", BAD_MODE},
      {u"a.b", nullptr, u"-", 1, S::ssmOccur, false, u"a.b", u"string is invalid"},
  };
  for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
    const Case &c = cases[i];
    zeltest::RecordingSink sink;
    S s(c.text);
    EXPECT_EQ(s.replaceSubString(S(c.oldText), S(c.newText), c.occurrence, c.mode), c.ok)
        << "case " << i;
    expectText(s, c.expected, i);
    expectLogged(sink, c.logged, i);
  }
}
