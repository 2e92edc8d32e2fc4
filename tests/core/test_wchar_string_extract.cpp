// test_wchar_string_extract.cpp - CZELWCharString: extraction and trimming
// by positions and delimiters, fields, formatting characters.
#include "zel_test_support.h"
#include "zel_wchar_string.h"

#include <string>
#include <vector>

namespace {

std::u16string textOf(const CZELWCharString &s) {
  return s.isValid() ? std::u16string(s.getBuffer(), s.getLength()) : std::u16string();
}

// What a failed extraction must leave in its output.
const char16_t *const UNTOUCHED = u"<untouched>";

std::u16string badArg(const std::u16string &argument, const std::u16string &reason) {
  return u"A bad argument was provided ( " + argument + u" ). " + reason;
}

// One extraction: its result (UNTOUCHED when it must fail) for each case.
struct Case {
  const char16_t *text;
  bool (*run)(const CZELWCharString &s, CZELWCharString &out);
  const char16_t *expected;
};

void checkCases(const std::vector<Case> &cases) {
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const CZELWCharString s(cases[i].text);
    CZELWCharString out(UNTOUCHED);
    const bool ok = cases[i].run(s, out);
    const bool shouldFail = std::u16string(cases[i].expected) == UNTOUCHED;
    EXPECT_EQ(ok, !shouldFail) << "case " << i;
    EXPECT_EQ(textOf(out), cases[i].expected)
        << "case " << i << ": " << zeltest::narrow(textOf(out));
    EXPECT_EQ(textOf(s), cases[i].text) << "case " << i << ": the source changed";
  }
}

const CZELFlags NO_TRIM(0);

} // namespace

TEST(WCharStringExtract, ByPositions) {
  // clang-format off
  checkCases({
      {u"abcdef", [](auto &s, auto &o) { return s.extractBetween(o, 1, 4, false, false); }, u"cd"},
      {u"abcdef", [](auto &s, auto &o) { return s.extractBetween(o, 1, 4, true, false); }, u"bcd"},
      {u"abcdef", [](auto &s, auto &o) { return s.extractBetween(o, 0, 5, true, true); }, u"abcdef"},
      {u"abcdef", [](auto &s, auto &o) { return s.extractBetween(o, 2, 2, false, true); }, u"c"},
      {u"abcdef", [](auto &s, auto &o) { return s.extractBetween(o, 2, 2, false, false); }, u""},
      {u"abcdef", [](auto &s, auto &o) { return s.extractBetween(o, 2, 3, false, false); }, u""},
      {u"abcdef", [](auto &s, auto &o) { return s.extractBetween(o, 1, 6, true, true); }, UNTOUCHED},
      {u"", [](auto &s, auto &o) { return s.extractBetween(o, 0, 0, true, true); }, UNTOUCHED},
      {u"abcdef", [](auto &s, auto &o) { return s.extractOutside(o, 1, 4, false, false); }, u"af"},
      {u"abcdef", [](auto &s, auto &o) { return s.extractOutside(o, 1, 4, true, false); }, u"abf"},
      {u"abcdef", [](auto &s, auto &o) { return s.extractOutside(o, 0, 5, true, true); }, u"af"},
      {u"abcdef", [](auto &s, auto &o) { return s.extractOutside(o, 0, 5, false, false); }, u""},
      {u"abcdef", [](auto &s, auto &o) { return s.extractOutside(o, 2, 2, true, false); }, u"abcdef"},
      {u"abcdef", [](auto &s, auto &o) { return s.extractOutside(o, 2, 2, false, false); }, u"abdef"},
      {u"abcdef", [](auto &s, auto &o) { return s.extractOutside(o, 3, 9, true, true); }, UNTOUCHED},
  });
  // clang-format on
}

TEST(WCharStringExtract, ReversedPositionsAreLoggedArgumentErrors) {
  zeltest::RecordingSink sink;
  const CZELWCharString s(u"abcdef");
  CZELWCharString out(UNTOUCHED);
  EXPECT_FALSE(s.extractBetween(out, 4, 1, true, true));
  EXPECT_FALSE(s.extractOutside(out, 4, 1, true, true));
  EXPECT_EQ(textOf(out), UNTOUCHED);
  EXPECT_EQ(sink.countMessage(badArg(u"ulStartPos", u"start position can't be greater than end "
                                                    u"position - use extractOutside( ) or "
                                                    u"deleteRange( ) instead")),
            1u);
  EXPECT_EQ(sink.countMessage(badArg(u"ulStartPos", u"start position can't be greater than end "
                                                    u"position - use deleteRange( ) instead")),
            1u);
  EXPECT_EQ(sink.count(), 2u);
}

TEST(WCharStringExtract, TrimsKeepOrDropTheEnds) {
  // The last path component goes, its separator stays.
  CZELWCharString path(u"C:\\Docs\\Default User");
  ZEL_ULONG ulLastSeparator = 0;
  ASSERT_TRUE(path.getSubStringPos(u"\\", 1, CZELWCharString::pmBackward, ulLastSeparator));
  EXPECT_TRUE(path.trimBetween(ulLastSeparator, path.getLength() - 1, false, true));
  EXPECT_EQ(textOf(path), u"C:\\Docs\\");
  EXPECT_EQ(path.getSize(), path.getLength() + 1);

  CZELWCharString s(u"abcdef");
  EXPECT_TRUE(s.trimOutSide(1, 4, true, false));
  EXPECT_EQ(textOf(s), u"cde");
  EXPECT_TRUE(s.trimOutSide(0, 2, true, true));
  EXPECT_EQ(textOf(s), u"d");
  EXPECT_TRUE(s.trimOutSide(0, 0, true, true));
  EXPECT_FALSE(s.isValid()) << "an emptied string keeps storage";

  CZELWCharString call(u"f(a(b)c)d");
  EXPECT_TRUE(call.trimBetween(u"(", u")", false, false));
  EXPECT_EQ(textOf(call), u"f()d");
  call = u"f(a(b)c)d";
  EXPECT_TRUE(call.trimOutSide(u"(", 2, u")", 2, true, true));
  EXPECT_EQ(textOf(call), u"b");
  EXPECT_FALSE(call.trimBetween(u"[", u"]", true, true));
  EXPECT_EQ(textOf(call), u"b");
}

TEST(WCharStringExtract, ByDelimiters) {
  // clang-format off
  checkCases({
      {u"f(a(b)c)d", [](auto &s, auto &o) { return s.extractBetween(o, u"(", u")", false, false); }, u"a(b)c"},
      {u"f(a(b)c)d", [](auto &s, auto &o) { return s.extractBetween(o, u"(", u")", true, true); }, u"(a(b)c)"},
      {u"f(a(b)c)d", [](auto &s, auto &o) { return s.extractBetween(o, u"(", 2, u")", 2, false, true); }, u"b)"},
      {u"<<x>>y>>", [](auto &s, auto &o) { return s.extractBetween(o, u"<<", 1, u">>", 2, false, false); }, u"x"},
      {u"()", [](auto &s, auto &o) { return s.extractBetween(o, u"(", u")", false, false); }, u""},
      {u"a)b(c", [](auto &s, auto &o) { return s.extractBetween(o, u"(", u")", false, false); }, UNTOUCHED},
      {u"a\"b", [](auto &s, auto &o) { return s.extractBetween(o, u"\"", u"\"", true, true); }, UNTOUCHED},
      {u"f(a(b)c)d", [](auto &s, auto &o) { return s.extractBetween(o, u"[", u")", false, false); }, UNTOUCHED},
      {u"f(a(b)c)d", [](auto &s, auto &o) { return s.extractOutside(o, u"(", u")", false, false); }, u"fd"},
      {u"f(a(b)c)d", [](auto &s, auto &o) { return s.extractOutside(o, u"(", u")", true, false); }, u"f(d"},
      {u"<<x>>y>>", [](auto &s, auto &o) { return s.extractOutside(o, u"<<", 1, u">>", 2, true, true); }, u"<<>>y>>"},
  });
  // clang-format on
  zeltest::RecordingSink sink;
  CZELWCharString out(UNTOUCHED);
  EXPECT_FALSE(CZELWCharString(u"(a)").extractBetween(out, u"(", 0, u")", 1, false, false));
  EXPECT_EQ(sink.countMessage(badArg(u"ulOccurrance", u"value must be greater than 0")), 1u);
}

TEST(WCharStringExtract, UpToADelimiter) {
  // clang-format off
  checkCases({
      {u"C:\\a\\b", [](auto &s, auto &o) { return s.extractTo(o, u"\\", 1, 2, false); }, u"b"},
      {u"C:\\a\\b", [](auto &s, auto &o) { return s.extractTo(o, u"\\", 1, 2, true); }, u"\\b"},
      {u"C:\\a\\b", [](auto &s, auto &o) { return s.extractTo(o, u"\\", 2, 2, false); }, u"a\\b"},
      {u"C:\\a\\b", [](auto &s, auto &o) { return s.extractTo(o, u"\\", 1, 1, false); }, u"C:"},
      {u"C:\\a\\b", [](auto &s, auto &o) { return s.extractTo(o, u"\\", 2, 1, true); }, u"C:\\a\\"},
      {u"\\x", [](auto &s, auto &o) { return s.extractTo(o, u"\\", 1, 1, false); }, u""},
      {u"C:\\a\\b", [](auto &s, auto &o) { return s.extractTo(o, u"\\", 3, 1, false); }, UNTOUCHED},
      {u"C:\\a\\b", [](auto &s, auto &o) { return s.extractTo(o, u"/", 1, 1, false); }, UNTOUCHED},
  });
  // clang-format on
  CZELWCharString s(u"C:\\a\\b");
  EXPECT_TRUE(s.trimTo(u"\\", 1, 1, true));
  EXPECT_EQ(textOf(s), u"a\\b");
  EXPECT_TRUE(s.trimTo(u"\\", 1, 2, false));
  EXPECT_EQ(textOf(s), u"a\\");
  EXPECT_FALSE(s.trimTo(u"/", 1, 1, true));
  EXPECT_EQ(textOf(s), u"a\\");

  zeltest::RecordingSink sink;
  CZELWCharString out(UNTOUCHED);
  EXPECT_FALSE(CZELWCharString(u"a\\b").extractTo(out, u"\\", 1, 3, false));
  EXPECT_EQ(sink.countMessage(badArg(u"parseMode", u"invalid parse mode")), 1u);
}

TEST(WCharStringExtract, FieldsBetweenDelimiters) {
  // clang-format off
  checkCases({
      {u"8.0.1", [](auto &s, auto &o) { return s.extractParam(o, u".", 1, 1, NO_TRIM, NO_TRIM); }, u"8"},
      {u"8.0.1", [](auto &s, auto &o) { return s.extractParam(o, u".", 2, 1, NO_TRIM, NO_TRIM); }, u"0"},
      {u"8.0.1", [](auto &s, auto &o) { return s.extractParam(o, u".", 3, 1, NO_TRIM, NO_TRIM); }, u"1"},
      {u"8.0.1", [](auto &s, auto &o) { return s.extractParam(o, u".", 4, 1, NO_TRIM, NO_TRIM); }, UNTOUCHED},
      {u"abc", [](auto &s, auto &o) { return s.extractParam(o, u".", 1, 1, NO_TRIM, NO_TRIM); }, u"abc"},
      {u"abc", [](auto &s, auto &o) { return s.extractParam(o, u".", 2, 1, NO_TRIM, NO_TRIM); }, UNTOUCHED},
      {u"a..b", [](auto &s, auto &o) { return s.extractParam(o, u".", 2, 1, NO_TRIM, NO_TRIM); }, u""},
      {u"a::bb::c", [](auto &s, auto &o) { return s.extractParam(o, u"::", 2, 1, NO_TRIM, NO_TRIM); }, u"bb"},
      {u"...", [](auto &s, auto &o) { return s.extractParam(o, u".", 4, 1, NO_TRIM, NO_TRIM); }, u""},
      {u"...", [](auto &s, auto &o) { return s.extractParam(o, u".", 5, 1, NO_TRIM, NO_TRIM); }, UNTOUCHED},
      // Backward: the text enclosed by delimiters n and n + 1.
      {u"%A%x%B%", [](auto &s, auto &o) { return s.extractParam(o, u"%", 1, 2, NO_TRIM, NO_TRIM); }, u"A"},
      {u"%A%x%B%", [](auto &s, auto &o) { return s.extractParam(o, u"%", 3, 2, NO_TRIM, NO_TRIM); }, u"B"},
      {u"%A%x%B%", [](auto &s, auto &o) { return s.extractParam(o, u"%", 4, 2, NO_TRIM, NO_TRIM); }, UNTOUCHED},
      {u" a , b ", [](auto &s, auto &o) { return s.extractParam(o, u",", 2, 1, CZELFlags(3), CZELFlags(1)); }, u"b"},
      // Quotes open and close alike; other pairs are counted apart.
      {u"say \"hi\" and \"bye\"", [](auto &s, auto &o) { return s.extractParam(o, u"\"", u"\"", 2, NO_TRIM, NO_TRIM); }, u"bye"},
      {u"say \"hi\" and \"bye\"", [](auto &s, auto &o) { return s.extractParam(o, u"\"", u"\"", 3, NO_TRIM, NO_TRIM); }, UNTOUCHED},
      {u"(a)(b)", [](auto &s, auto &o) { return s.extractParam(o, u"(", u")", 2, NO_TRIM, NO_TRIM); }, u"b"},
      {u"[ a ]", [](auto &s, auto &o) { return s.extractParam(o, u"[", u"]", 1, CZELFlags(3), CZELFlags(1)); }, u"a"},
      {u")a(", [](auto &s, auto &o) { return s.extractParam(o, u"(", u")", 1, NO_TRIM, NO_TRIM); }, UNTOUCHED},
  });
  // clang-format on
}

TEST(WCharStringExtract, FieldNumbersLogOnlyWhenZero) {
  zeltest::RecordingSink sink;
  const CZELWCharString s(u"8.0.1");
  CZELWCharString out(UNTOUCHED);
  // Asking past the last field is how callers find the end: no log line.
  EXPECT_FALSE(s.extractParam(out, u".", 100, 1, NO_TRIM, NO_TRIM));
  EXPECT_FALSE(s.extractParam(out, u".", 0xFFFFFFFFu, 2, NO_TRIM, NO_TRIM));
  EXPECT_FALSE(s.extractParam(out, u"\"", u"\"", 0x80000000u, NO_TRIM, NO_TRIM));
  EXPECT_EQ(sink.count(), 0u);
  EXPECT_FALSE(s.extractParam(out, u".", 0, 1, NO_TRIM, NO_TRIM));
  EXPECT_FALSE(s.extractParam(out, u"(", u")", 0, NO_TRIM, NO_TRIM));
  EXPECT_EQ(sink.countMessage(badArg(u"ulOccurrance", u"ulOccurrance must be greater than 0")), 2u);
  EXPECT_EQ(textOf(out), UNTOUCHED);
}

TEST(WCharStringExtract, TrimFormattingPlacement) {
  const std::u16string mixed = u"\t a\tb \r\n";
  struct TrimCase {
    std::u16string text;
    ZEL_ULONG where;
    ZEL_ULONG which;
    std::u16string expected;
  };
  const std::vector<TrimCase> cases = {
      {mixed, 1, 255, u"a\tb \r\n"},
      {mixed, 2, 255, u"\t a\tb"},
      {mixed, 3, 255, u"ab"},
      {mixed, 0, 255, mixed},       // nothing asked
      {mixed, 3, 0, mixed},         // no character selected
      {mixed, 4, 255, mixed},       // neither leading nor trailing
      {mixed, 3, 1, u"\ta\tb\r\n"}, // spaces only; the TAB ends the leading run
      {mixed, 2, 64 | 16, u"\t a\tb "},
      {u"\a\b\f\v", 1, 255, u""}, // all of it is a run
      {u"  \t ", 2, 1 | 2, u""},
      {u"x\xFFFFy", 3, 255, u"x\xFFFFy"}, // the table's end marker is no character
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    CZELWCharString s(cases[i].text.c_str());
    EXPECT_TRUE(s.trimFormatting(CZELFlags(cases[i].where), CZELFlags(cases[i].which)))
        << "case " << i;
    EXPECT_EQ(textOf(s), cases[i].expected) << "case " << i << ": " << zeltest::narrow(textOf(s));
    if (cases[i].expected.empty()) {
      EXPECT_FALSE(s.isValid()) << "case " << i;
    }
  }
}
