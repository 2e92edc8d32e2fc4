//===- posix/Entry.cpp - main for programs built on the framework ---------===//
//
// A Windows GUI program receives its command line as one text after its own
// name; here that text is the arguments joined by single spaces, so a
// program's own search in it sees what it would see on Windows. Only code
// that works on every Unix belongs here.
//
//===----------------------------------------------------------------------===//
#include "Utf.h"

#include "zelsys/entry.h"

#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace {

// A program started with a standard descriptor closed would hand that
// number to the first file it opens, and a message box would then read its
// answer from, or show itself in, that file. Each closed one is held by the
// null device instead: write-only for input, so that a box with no input
// to ask counts as one that cannot be shown.
void holdClosedStandardDescriptors() {
  for (int fd = 0; fd <= 2; ++fd)
    if (::fcntl(fd, F_GETFD) == -1)
      ::open("/dev/null", O_WRONLY);
}

} // namespace

int main(int argc, char **argv) {
  holdClosedStandardDescriptors();
  std::string commandLine;
  for (int i = 1; i < argc; ++i) {
    if (i > 1)
      commandLine += ' ';
    commandLine += argv[i];
  }
  const std::u16string text = zelsys::posix::utf8ToUtf16(commandLine);
  return zelProgramMain(text.c_str());
}
