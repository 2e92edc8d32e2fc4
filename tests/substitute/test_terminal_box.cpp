// test_terminal_box.cpp - message boxes on the terminal: the dialogue rules
// from a table of typed input, and MessageBoxW on a standard input fed from
// a file.
#include "TerminalBox.h"
#include "zel_test_support.h"
#include "zelsys/kernel.h"
#include "zelsys/ui.h"
#include "zelsys/winconst.h"

#include <cstdio>
#include <string>
#include <unistd.h>

using namespace zelsys;

TEST(TerminalBox, TypedLinesChooseAButtonOrAskAgain) {
  const struct {
    UINT type;
    std::string typed;
    INT answer;
    std::size_t refused; // lines asked again for
    std::string rest;    // input left for whatever reads next
  } cases[] = {
      {MB_OK, "", IDOK, 0, ""},
      {MB_OKCANCEL, "OK\r\nrest\n", IDOK, 0, "rest\n"},
      {MB_OKCANCEL, "  Cancel \n", IDCANCEL, 0, ""},
      {MB_OKCANCEL, "c", IDCANCEL, 0, ""},
      {MB_OKCANCEL, "garbage\n\nyes\nokay\no\n", IDOK, 4, ""},
      {MB_OKCANCEL, "garbage\n", IDCANCEL, 1, ""},
      {MB_YESNO | MB_ICONQUESTION, "y\nn\n", IDYES, 0, "n\n"},
      {MB_YESNO, "cancel\nNO\n", IDNO, 1, ""},
      {MB_YESNO, "", 0, 0, ""}, // cannot be closed
      {MB_YESNOCANCEL, "", IDCANCEL, 0, ""},
      {MB_ABORTRETRYIGNORE | MB_ICONERROR, "i\n", IDIGNORE, 0, ""},
      {MB_RETRYCANCEL, "R\n", IDRETRY, 0, ""},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(testing::Message() << "case " << i);
    std::size_t read = 0;
    std::string shown;
    const std::string &typed = cases[i].typed;
    EXPECT_EQ(
        posix::askOnTerminal(
            u"Apply the patch?", u"Fixwell \u2013 Patch", cases[i].type,
            [&] { return read < typed.size() ? static_cast<unsigned char>(typed[read++]) : -1; },
            [&](std::string_view text) { shown.append(text); }),
        cases[i].answer);
    EXPECT_EQ(typed.substr(read), cases[i].rest) << "a box reads no further than its answer";
    std::size_t asked = 0;
    for (std::size_t at = shown.find("Please answer"); at != std::string::npos;
         at = shown.find("Please answer", at + 1))
      ++asked;
    EXPECT_EQ(asked, cases[i].refused);
    EXPECT_NE(shown.find("Fixwell \xe2\x80\x93 Patch\nApply the patch?\n"), std::string::npos)
        << "caption and text in UTF-8: " << shown;
    for (const posix::BoxButton &button : posix::boxButtons(cases[i].type))
      EXPECT_NE(shown.find(button.name), std::string::npos) << button.name;
  }
}

TEST(TerminalBox, MessageBoxWReadsStandardInput) {
  const struct {
    const char *typed; // null: standard input closed
    UINT type;
    INT answer;
    DWORD error; // the last error when the answer is 0
  } cases[] = {
      {"ok\n", MB_OKCANCEL, IDOK, 0},
      {"Cancel\n", MB_OKCANCEL, IDCANCEL, 0},
      {"garbage\nc\n", MB_OKCANCEL, IDCANCEL, 0},
      {"", MB_OKCANCEL, IDCANCEL, 0},
      {"", MB_YESNO, 0, ERROR_INVALID_WINDOW_HANDLE},
      {nullptr, MB_OK, 0, ERROR_INVALID_WINDOW_HANDLE},
      {"ok\n", 0xF, 0, ERROR_INVALID_MSGBOX_STYLE},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(testing::Message() << "case " << i);
    std::FILE *input = std::tmpfile();
    std::FILE *shown = std::tmpfile();
    ASSERT_TRUE(input && shown);
    std::fputs(cases[i].typed ? cases[i].typed : "", input);
    std::rewind(input);
    const int savedInput = ::dup(STDIN_FILENO), savedError = ::dup(STDERR_FILENO);
    if (cases[i].typed)
      ::dup2(::fileno(input), STDIN_FILENO);
    else
      ::close(STDIN_FILENO);
    ::dup2(::fileno(shown), STDERR_FILENO);
    SetLastError(0xdeadbeef);
    const INT answer = MessageBoxW(nullptr, u"Apply?", u"Fixwell", cases[i].type);
    const DWORD error = GetLastError();
    ::dup2(savedInput, STDIN_FILENO);
    ::dup2(savedError, STDERR_FILENO);
    ::close(savedInput);
    ::close(savedError);
    EXPECT_EQ(answer, cases[i].answer);
    if (answer == 0)
      EXPECT_EQ(error, cases[i].error);
    else
      EXPECT_GT(std::ftell(shown), 0) << "the box is shown on standard error";
    std::fclose(input);
    std::fclose(shown);
  }
}
