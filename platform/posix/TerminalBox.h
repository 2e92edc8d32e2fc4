//===- TerminalBox.h - Message boxes on the terminal -----------------------===//
//
// The substitute shows a message box on the terminal: the caption, the text
// and the buttons go to standard error, and the answer is a line of
// standard input naming a button (its name in any case, or its first
// letter); anything else asks again. End of input closes the box, as
// closing its window would: Cancel where the box has one, OK for an
// OK-only box. Yes/No and Abort/Retry/Ignore boxes cannot be closed on
// Windows, so there end of input leaves them unanswered (0): the substitute
// never makes up an answer only the user may give.
// The rules are pure functions over a byte source and a text sink, so they
// are tested without a terminal. Only code that works on every Unix.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "zelsys/wintypes.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace zelsys::posix {

struct BoxButton {
  INT id;                // IDOK, IDCANCEL, ...
  std::string_view name; // as shown, "OK", "Cancel", ...
};

// The buttons of uType's button set in Windows' order; empty for a set the
// substitute does not show.
std::vector<BoxButton> boxButtons(UINT uType);

// What closing the box answers; 0 for a box that cannot be closed.
INT closeAnswer(UINT uType);

// The button a typed line names (blanks around it ignored), or 0.
INT parseAnswer(std::string_view line, UINT uType);

// The next byte of input, or a negative value at its end.
using ByteSource = std::function<int()>;
// Takes the next line without its "\n" or "\r\n"; a last line without a
// newline counts. False at end of input with nothing read.
bool readLine(const ByteSource &nextByte, std::string &line);

// Shows the box on show (UTF-8) and reads lines until one names a button;
// returns that button, or closeAnswer(uType) at end of input. uType must
// name a set boxButtons knows.
INT askOnTerminal(LPCWSTR lpText, LPCWSTR lpCaption, UINT uType, const ByteSource &nextByte,
                  const std::function<void(std::string_view)> &show);

} // namespace zelsys::posix
