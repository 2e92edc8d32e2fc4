// registry_writer.cpp - a child process for the registry store's tests:
// writes REG_DWORD values <prefix>0, <prefix>1, ... (value i holds i) into
// HKCU\Software\ZelTest\Writer and prints each index once its write call has
// returned. A count of 0 writes until the process is killed.
#include "zelsys/registry.h"
#include "zelsys/winconst.h"

#include <cstdio>
#include <cstdlib>
#include <string>

using namespace zelsys;

int main(int argc, char **argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: registry_writer <prefix> <count>\n");
    return 2;
  }
  const std::string prefix = argv[1];
  const unsigned long count = std::strtoul(argv[2], nullptr, 10);
  HKEY key = nullptr;
  LSTATUS rc = RegCreateKeyExW(HKEY_CURRENT_USER, u"Software\\ZelTest\\Writer", 0, nullptr, 0,
                               KEY_ALL_ACCESS, nullptr, &key, nullptr);
  if (rc != 0) {
    std::fprintf(stderr, "create: %d\n", static_cast<int>(rc));
    return 1;
  }
  for (DWORD i = 0; count == 0 || i < count; ++i) {
    const std::string name8 = prefix + std::to_string(i);
    const std::u16string name(name8.begin(), name8.end());
    rc = RegSetValueExW(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE *>(&i),
                        sizeof i);
    if (rc != 0) {
      std::fprintf(stderr, "set %s: %d\n", name8.c_str(), static_cast<int>(rc));
      return 1;
    }
    std::printf("%u\n", static_cast<unsigned>(i));
    std::fflush(stdout);
  }
  RegCloseKey(key);
  return 0;
}
