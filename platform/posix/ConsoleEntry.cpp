//===- posix/ConsoleEntry.cpp - main for console programs ----------------===//
//
// Hands a console program its arguments as UTF-16, converted from the
// host's UTF-8. Only code that works on every Unix belongs here.
//
//===----------------------------------------------------------------------===//
#include "Utf.h"

#include "zelsys/entry.h"

#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

int main(int argc, char **argv) {
  // A closed standard descriptor would be handed to the first file the
  // program opens (the registry's database among them), and its output
  // would land there; the null device holds each closed one, as for the
  // GUI entry point.
  for (int fd = 0; fd <= 2; ++fd)
    if (::fcntl(fd, F_GETFD) == -1)
      ::open("/dev/null", O_WRONLY);
  std::vector<std::u16string> texts;
  for (int i = 0; i < argc; ++i)
    texts.push_back(zelsys::posix::utf8ToUtf16(argv[i]));
  std::vector<zelsys::LPCWSTR> arguments;
  for (const std::u16string &text : texts)
    arguments.push_back(text.c_str());
  arguments.push_back(nullptr);
  return zelConsoleMain(argc, arguments.data());
}
