// fuzz_registry_import.cpp - CZELRegistryFile::importKey on any file.
//
// The input is written as a file on an emulated machine of the fuzzer's
// own (a temporary folder, removed at exit) and imported. Import must come
// back without a crash or a sanitizer report, and with true: it answers
// false only for an unexpected exception, which no file content should
// cause on a healthy registry.
//
// The registry is put back after every input, so that millions of runs
// leave the database as small as they found it: the keys and values of the
// fresh machine are remembered at start, and afterwards every other key is
// deleted with its tree, every other value deleted, and every changed value
// written back.
#include "Utf.h"

#include "zel_registry_file.h"
#include "zel_wchar_string.h"

#include "zelsys/registry.h"
#include "zelsys/winconst.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace {

using namespace zelsys;

struct Value {
  DWORD type = 0;
  std::vector<BYTE> data;
  bool operator==(const Value &) const = default;
};

// A key as the fresh machine has it: its values by upper-cased name (with
// the name as written, to write a changed value back).
struct Key {
  std::map<std::u16string, std::pair<std::u16string, Value>> values;
};

const HKEY kRoots[] = {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER, HKEY_CLASSES_ROOT, HKEY_USERS,
                       HKEY_CURRENT_CONFIG};

std::string g_machine;
std::string g_hostFile;
// Keys by root index and upper-cased path ("0\SOFTWARE\...").
std::map<std::u16string, Key> g_fresh;

class KeyHandle {
public:
  KeyHandle(HKEY hParent, const std::u16string &name) {
    if (RegOpenKeyExW(hParent, name.empty() ? nullptr : name.c_str(), 0, KEY_ALL_ACCESS, &m_hKey) !=
        ERROR_SUCCESS)
      m_hKey = nullptr;
  }
  ~KeyHandle() {
    if (m_hKey != nullptr)
      RegCloseKey(m_hKey);
  }
  KeyHandle(const KeyHandle &) = delete;
  KeyHandle &operator=(const KeyHandle &) = delete;
  HKEY get() const { return m_hKey; }

private:
  HKEY m_hKey = nullptr;
};

std::vector<std::u16string> subKeys(HKEY hKey) {
  std::vector<std::u16string> names;
  for (DWORD i = 0;; ++i) {
    char16_t name[256];
    DWORD cch = 256;
    if (RegEnumKeyExW(hKey, i, name, &cch, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
      return names;
    names.emplace_back(name, cch);
  }
}

std::vector<std::u16string> valueNames(HKEY hKey) {
  std::vector<std::u16string> names;
  static char16_t name[16384];
  for (DWORD i = 0;; ++i) {
    DWORD cch = static_cast<DWORD>(std::size(name));
    if (RegEnumValueW(hKey, i, name, &cch, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
      return names;
    names.emplace_back(name, cch);
  }
}

bool readValue(HKEY hKey, const std::u16string &name, Value &value) {
  DWORD cb = 0;
  if (RegQueryValueExW(hKey, name.c_str(), nullptr, &value.type, nullptr, &cb) != ERROR_SUCCESS)
    return false;
  value.data.resize(cb);
  return RegQueryValueExW(hKey, name.c_str(), nullptr, &value.type, value.data.data(), &cb) ==
             ERROR_SUCCESS &&
         (value.data.resize(cb), true);
}

void remember(HKEY hKey, const std::u16string &path) {
  Key &key = g_fresh[zelsys::posix::upcase(path)];
  for (const std::u16string &name : valueNames(hKey)) {
    Value value;
    if (readValue(hKey, name, value))
      key.values[zelsys::posix::upcase(name)] = {name, value};
  }
  for (const std::u16string &name : subKeys(hKey)) {
    const KeyHandle child(hKey, name);
    if (child.get() != nullptr)
      remember(child.get(), path + u"\\" + name);
  }
}

// Puts one remembered key back as it was, its subtree included.
void restore(HKEY hKey, const Key &fresh, const std::u16string &path) {
  for (const std::u16string &name : subKeys(hKey)) {
    const std::u16string childPath = path + u"\\" + name;
    const auto found = g_fresh.find(zelsys::posix::upcase(childPath));
    if (found == g_fresh.end()) {
      SHDeleteKeyW(hKey, name.c_str());
      continue;
    }
    const KeyHandle child(hKey, name);
    if (child.get() != nullptr)
      restore(child.get(), found->second, childPath);
  }
  for (const std::u16string &name : valueNames(hKey)) {
    const auto found = fresh.values.find(zelsys::posix::upcase(name));
    Value value;
    if (found == fresh.values.end())
      RegDeleteValueW(hKey, name.c_str());
    else if (!readValue(hKey, name, value) || !(value == found->second.second))
      RegSetValueExW(hKey, found->second.first.c_str(), 0, found->second.second.type,
                     found->second.second.data.data(),
                     static_cast<DWORD>(found->second.second.data.size()));
  }
}

std::u16string rootPath(std::size_t index) { return std::u16string(1, u'0' + char16_t(index)); }

void removeMachine() {
  std::error_code error;
  std::filesystem::remove_all(g_machine, error);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  // Shared memory when there is some: every registry call is a durable
  // transaction, and syncing a disk would bound the runs per second.
  const char *base = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : std::getenv("TMPDIR");
  std::string folder = std::string(base != nullptr ? base : "/tmp") + "/zel-fuzz-XXXXXX";
  if (::mkdtemp(folder.data()) == nullptr) {
    std::perror("mkdtemp");
    std::abort();
  }
  g_machine = folder;
  g_hostFile = folder + "/drive_c/import.ini";
  ::setenv("ZEL_MACHINE", g_machine.c_str(), 1);
  std::atexit(removeMachine);
  std::error_code error;
  std::filesystem::create_directories(g_machine + "/drive_c", error);
  for (std::size_t i = 0; i < std::size(kRoots); ++i)
    remember(kRoots[i], rootPath(i));
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *pData, std::size_t size) {
  std::FILE *file = std::fopen(g_hostFile.c_str(), "wb");
  if (file == nullptr || std::fwrite(pData, 1, size, file) != size || std::fclose(file) != 0)
    std::abort();
  // Nothing a file holds is unexpected: single writes that fail are
  // logged and skipped, so false here means import itself went wrong.
  if (!CZELRegistryFile(CZELWCharString(u"C:\\import.ini")).importKey())
    __builtin_trap();
  for (std::size_t i = 0; i < std::size(kRoots); ++i)
    restore(kRoots[i], g_fresh.at(rootPath(i)), rootPath(i));
  return 0;
}
