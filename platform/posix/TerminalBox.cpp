//===- TerminalBox.cpp - Message boxes on the terminal ---------------------===//
//
// The dialogue of a terminal message box, apart from the descriptors it
// runs on. Only code that works on every Unix.
//
//===----------------------------------------------------------------------===//
#include "TerminalBox.h"
#include "Utf.h"
#include "zelsys/winconst.h"

#include <cctype>

namespace zelsys::posix {

namespace {

bool sameLetters(std::string_view a, std::string_view b) {
  if (a.size() != b.size())
    return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

std::string_view trimmed(std::string_view text) {
  const char *const kBlanks = " \t\r\n\v\f";
  const std::size_t first = text.find_first_not_of(kBlanks);
  if (first == std::string_view::npos)
    return {};
  return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

// "OK / Cancel"
std::string buttonList(UINT uType) {
  std::string list;
  for (const BoxButton &button : boxButtons(uType))
    list.append(list.empty() ? "" : " / ").append(button.name);
  return list;
}

std::string_view iconLabel(UINT uType) {
  switch (uType & MB_ICONMASK) {
  case MB_ICONHAND:
    return "[Error] ";
  case MB_ICONQUESTION:
    return "[Question] ";
  case MB_ICONEXCLAMATION:
    return "[Warning] ";
  case MB_ICONASTERISK:
    return "[Information] ";
  default:
    return "";
  }
}

} // namespace

std::vector<BoxButton> boxButtons(UINT uType) {
  switch (uType & MB_TYPEMASK) {
  case MB_OK:
    return {{IDOK, "OK"}};
  case MB_OKCANCEL:
    return {{IDOK, "OK"}, {IDCANCEL, "Cancel"}};
  case MB_ABORTRETRYIGNORE:
    return {{IDABORT, "Abort"}, {IDRETRY, "Retry"}, {IDIGNORE, "Ignore"}};
  case MB_YESNOCANCEL:
    return {{IDYES, "Yes"}, {IDNO, "No"}, {IDCANCEL, "Cancel"}};
  case MB_YESNO:
    return {{IDYES, "Yes"}, {IDNO, "No"}};
  case MB_RETRYCANCEL:
    return {{IDRETRY, "Retry"}, {IDCANCEL, "Cancel"}};
  default:
    return {};
  }
}

INT closeAnswer(UINT uType) {
  INT answer = 0;
  for (const BoxButton &button : boxButtons(uType))
    if (button.id == IDCANCEL || (button.id == IDOK && answer == 0))
      answer = button.id;
  return answer;
}

INT parseAnswer(std::string_view line, UINT uType) {
  const std::string_view answer = trimmed(line);
  if (answer.empty())
    return 0;
  for (const BoxButton &button : boxButtons(uType))
    if (sameLetters(answer, button.name) || sameLetters(answer, button.name.substr(0, 1)))
      return button.id;
  return 0;
}

bool readLine(const ByteSource &nextByte, std::string &line) {
  line.clear();
  int byte = nextByte();
  if (byte < 0)
    return false;
  for (; byte >= 0 && byte != '\n'; byte = nextByte())
    line.push_back(static_cast<char>(byte));
  if (!line.empty() && line.back() == '\r')
    line.pop_back();
  return true;
}

INT askOnTerminal(LPCWSTR lpText, LPCWSTR lpCaption, UINT uType, const ByteSource &nextByte,
                  const std::function<void(std::string_view)> &show) {
  const std::string caption = lpCaption ? utf16ToUtf8(lpCaption) : std::string("Error");
  const std::string text = lpText ? utf16ToUtf8(lpText) : std::string();
  const std::string buttons = buttonList(uType);
  show(std::string("\n")
           .append(iconLabel(uType))
           .append(caption)
           .append("\n")
           .append(text)
           .append("\n(" + buttons + ") > "));
  for (std::string line; readLine(nextByte, line);) {
    if (const INT answer = parseAnswer(line, uType))
      return answer;
    show("Please answer " + buttons + " > ");
  }
  show("\n");
  return closeAnswer(uType);
}

} // namespace zelsys::posix
