// child_program.cpp - a program the process tests start and end: "sleep
// <ms>" runs that long and exits with 0, "exit <code>" exits at once with
// that code, and "words ..." exits with 100 times the number of words
// after it plus the length of the last one, which shows how its command
// line was split. Anything else exits with 99.
#include "zelsys/kernel.h"

#include <cstdlib>
#include <cstring>

int main(int argc, char **argv) {
  if (argc >= 2 && std::strcmp(argv[1], "words") == 0)
    return (argc - 2) * 100 + (argc > 2 ? static_cast<int>(std::strlen(argv[argc - 1])) : 0);
  if (argc != 3)
    return 99;
  const unsigned long ulValue = std::strtoul(argv[2], nullptr, 10);
  if (std::strcmp(argv[1], "sleep") == 0) {
    zelsys::Sleep(static_cast<zelsys::DWORD>(ulValue));
    return 0;
  }
  if (std::strcmp(argv[1], "exit") == 0)
    return static_cast<int>(ulValue);
  return 99;
}
