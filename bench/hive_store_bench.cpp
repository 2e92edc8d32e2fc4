// hive_store_bench.cpp - 10,000 string values written and then read back
// under HKEY_LOCAL_MACHINE\SOFTWARE on the current machine, straight through
// the platform registry calls, each phase timed. Prints one line of figures.
// bench/run-hive-store-bench runs it on an emulated machine and on an
// offline Windows installation and compares the two whole-process times,
// since a hive store does part of its work (folding its journal into the
// hive) when the process ends.
#include "zelsys/registry.h"
#include "zelsys/winconst.h"

#include "bench_clock.h"

#include <chrono>
#include <cstdio>
#include <string>

using namespace zelsys;

namespace {

// Directly below SOFTWARE.
const char16_t kRoot[] = u"SOFTWARE\\FixwellHiveStoreBench";
constexpr int kKeys = 100;
constexpr int kValuesPerKey = 100;

std::u16string widen(const std::string &text) { return std::u16string(text.begin(), text.end()); }

std::u16string keyPath(int iKey) { return kRoot + widen("\\Key" + std::to_string(iKey)); }

std::u16string valueName(int iValue) { return widen("Value" + std::to_string(iValue)); }

// About 40 characters, different for every value so a mix-up shows.
std::u16string valueText(int iKey, int iValue) {
  char text[64];
  std::snprintf(text, sizeof text, "text of hive store bench value %03d.%03d", iKey, iValue);
  return widen(text);
}

// Writes or reads back every value, one call each; returns how many did not
// do what was asked (a value read back must be REG_SZ with exactly the text
// written and its terminator).
int walkValues(bool bWrite) {
  int failures = 0;
  for (int iKey = 0; iKey < kKeys; ++iKey) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, keyPath(iKey).c_str(), 0, nullptr,
                        REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
      failures += kValuesPerKey;
      continue;
    }
    for (int iValue = 0; iValue < kValuesPerKey; ++iValue) {
      const std::u16string name = valueName(iValue);
      const std::u16string expected = valueText(iKey, iValue);
      const DWORD expectedSize = static_cast<DWORD>((expected.size() + 1) * sizeof(char16_t));
      if (bWrite) {
        failures += RegSetValueExW(key, name.c_str(), 0, REG_SZ,
                                   reinterpret_cast<const BYTE *>(expected.c_str()),
                                   expectedSize) == ERROR_SUCCESS
                        ? 0
                        : 1;
        continue;
      }
      char16_t text[128] = {};
      DWORD type = REG_NONE, size = sizeof text;
      const LSTATUS rc = RegQueryValueExW(key, name.c_str(), nullptr, &type,
                                          reinterpret_cast<BYTE *>(text), &size);
      failures += rc == ERROR_SUCCESS && type == REG_SZ && size == expectedSize &&
                          std::u16string(text) == expected
                      ? 0
                      : 1;
    }
    RegCloseKey(key);
  }
  return failures;
}

} // namespace

int main() {
  // The values stay until the next run, so the hive store folds all of them
  // into the hive when the process ends; the next run removes them first.
  SHDeleteKeyW(HKEY_LOCAL_MACHINE, kRoot);

  const auto writeStart = std::chrono::steady_clock::now();
  const int writeFailures = walkValues(true);
  const double writeMs = millisecondsSince(writeStart);
  const auto readStart = std::chrono::steady_clock::now();
  const int readFailures = walkValues(false);
  const double readMs = millisecondsSince(readStart);

  const int failures = writeFailures + readFailures;
  std::printf("values=%d writes_ms=%.1f reads_ms=%.1f total_ms=%.1f failures=%d\n",
              kKeys * kValuesPerKey, writeMs, readMs, writeMs + readMs, failures);
  return failures == 0 ? 0 : 1;
}
