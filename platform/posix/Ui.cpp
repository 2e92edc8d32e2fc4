//===- Ui.cpp - Message boxes on the substitute ----------------------------===//
//
// MessageBoxW asks on the terminal (TerminalBox.h): standard error shows
// the box, standard input answers it. Only code that works on every Unix.
//
//===----------------------------------------------------------------------===//
#include "zelsys/ui.h"
#include "Errors.h"
#include "HostIo.h"
#include "TerminalBox.h"
#include "zelsys/kernel.h"
#include "zelsys/winconst.h"

#include <cerrno>
#include <fcntl.h>
#include <mutex>
#include <unistd.h>

namespace zelsys {

namespace {

// One box at a time, as boxes of one program share the one terminal.
std::mutex gTerminalLock;

// Unbuffered, so a box never takes input meant for the next one.
int nextInputByte() {
  unsigned char byte = 0;
  for (;;) {
    const ssize_t got = ::read(STDIN_FILENO, &byte, 1);
    if (got == 1)
      return byte;
    // A failing read ends the input like its end does: nobody can answer.
    if (got == 0 || errno != EINTR)
      return -1;
  }
}

void showOnError(std::string_view text) {
  // Nowhere to show the box when this fails: the answer may still come.
  posix::writeAll(STDERR_FILENO, text.data(), text.size());
}

// Standard input open for reading; a closed one means no box can be shown.
bool inputUsable() {
  const int flags = ::fcntl(STDIN_FILENO, F_GETFL);
  return flags != -1 && (flags & O_ACCMODE) != O_WRONLY;
}

} // namespace

INT MessageBoxW(HWND /*hWnd: the owner; a terminal box has none*/, LPCWSTR lpText,
                LPCWSTR lpCaption, UINT uType) {
  if (posix::boxButtons(uType).empty()) {
    posix::failWith(ERROR_INVALID_MSGBOX_STYLE);
    return 0;
  }
  const std::lock_guard<std::mutex> lock(gTerminalLock);
  if (!inputUsable()) {
    // What Windows answers without a display.
    posix::failWith(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  const INT answer = posix::askOnTerminal(lpText, lpCaption, uType, nextInputByte, showOnError);
  // Only a box that cannot be closed ends unanswered at the end of input.
  if (answer == 0)
    posix::failWith(ERROR_INVALID_WINDOW_HANDLE);
  return answer;
}

} // namespace zelsys
