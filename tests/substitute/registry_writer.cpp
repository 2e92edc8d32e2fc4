// registry_writer.cpp - a child process for the registry store's tests, in
// one of three modes:
//   registry_writer <prefix> <count>
//     writes REG_DWORD values <prefix>0, <prefix>1, ... (value i holds i)
//     into HKCU\Software\ZelTest\Writer and prints each index once its write
//     call has returned. A count of 0 writes until the process is killed.
//   registry_writer --read <name> <number>
//     reads the REG_DWORD value <name> of that key through the interface;
//     exits 0 when it holds <number>.
//   registry_writer --hold-lock <database>
//     takes the database's write lock with SQLite itself, as a long write
//     call of another process would, prints "locked", and keeps it until
//     its standard input ends (at most a minute), never committing.
#include "zelsys/registry.h"
#include "zelsys/winconst.h"

#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <string>
#include <unistd.h>

using namespace zelsys;

namespace {

const char16_t kKey[] = u"Software\\ZelTest\\Writer";

int writeValues(const std::string &prefix, unsigned long count) {
  HKEY key = nullptr;
  LSTATUS rc = RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                               &key, nullptr);
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

int readValue(const std::string &name8, DWORD expected) {
  HKEY key = nullptr;
  LSTATUS rc = RegOpenKeyExW(HKEY_CURRENT_USER, kKey, 0, KEY_READ, &key);
  if (rc != 0) {
    std::fprintf(stderr, "open: %d\n", static_cast<int>(rc));
    return 1;
  }
  const std::u16string name(name8.begin(), name8.end());
  DWORD data = 0, size = sizeof data, type = REG_NONE;
  rc = RegQueryValueExW(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE *>(&data), &size);
  RegCloseKey(key);
  if (rc != 0 || type != REG_DWORD || data != expected) {
    std::fprintf(stderr, "query %s: %d, type %u, data %u\n", name8.c_str(), static_cast<int>(rc),
                 static_cast<unsigned>(type), static_cast<unsigned>(data));
    return 1;
  }
  return 0;
}

int holdLock(const char *file) {
  sqlite3 *db = nullptr;
  if (sqlite3_open_v2(file, &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
    std::fprintf(stderr, "open %s: %s\n", file, sqlite3_errmsg(db));
    sqlite3_close(db);
    return 1;
  }
  sqlite3_busy_timeout(db, 5000);
  // A table of its own, so the uncommitted write touches nothing the
  // store reads; it disappears with the rollback at the end.
  char *error = nullptr;
  if (sqlite3_exec(db, "BEGIN IMMEDIATE; CREATE TABLE zel_test_lock(x)", nullptr, nullptr,
                   &error) != SQLITE_OK) {
    std::fprintf(stderr, "lock: %s\n", error);
    sqlite3_free(error);
    sqlite3_close(db);
    return 1;
  }
  std::printf("locked\n");
  std::fflush(stdout);
  pollfd input{STDIN_FILENO, POLLIN, 0};
  ::poll(&input, 1, 60000);
  sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close(db);
  return 0;
}

} // namespace

int main(int argc, char **argv) {
  if (argc == 3 && std::strcmp(argv[1], "--hold-lock") == 0)
    return holdLock(argv[2]);
  if (argc == 4 && std::strcmp(argv[1], "--read") == 0)
    return readValue(argv[2], static_cast<DWORD>(std::strtoul(argv[3], nullptr, 10)));
  if (argc == 3 && argv[1][0] != '-')
    return writeValues(argv[1], std::strtoul(argv[2], nullptr, 10));
  std::fprintf(stderr, "usage: registry_writer <prefix> <count>\n"
                       "       registry_writer --read <name> <number>\n"
                       "       registry_writer --hold-lock <database>\n");
  return 2;
}
