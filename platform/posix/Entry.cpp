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

#include <string>

int main(int argc, char **argv) {
  std::string commandLine;
  for (int i = 1; i < argc; ++i) {
    if (i > 1)
      commandLine += ' ';
    commandLine += argv[i];
  }
  const std::u16string text = zelsys::posix::utf8ToUtf16(commandLine);
  return zelProgramMain(text.c_str());
}
