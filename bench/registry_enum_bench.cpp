// registry_enum_bench.cpp - enumeration by index of one key holding 10,000
// and then 100,000 REG_DWORD values, through the platform interface, timed.
// Prints one line per size and the ratio of the two enumeration times; with
// a constant cost per index that ratio stays near 10.
// bench/run-registry-enum-bench runs it on both platforms and compares them.
#include "zelsys/registry.h"
#include "zelsys/winconst.h"

#include "bench_clock.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

using namespace zelsys;

namespace {

const char16_t kRoot[] = u"Software\\Fixwell\\Bench";

struct Figures {
  double writeMs = 0;
  double enumMs = 0;
  int failures = 0;
};

std::u16string widen(const std::string &text) { return std::u16string(text.begin(), text.end()); }

std::u16string valueName(DWORD index) { return widen("Value" + std::to_string(index)); }

// The index in a name of the form Value<digits>, or -1 for any other name.
long indexOf(const char16_t *name, DWORD length) {
  const std::u16string_view prefix = u"Value";
  const std::u16string_view text(name, length);
  if (text.size() <= prefix.size() || text.size() > prefix.size() + 9 ||
      text.substr(0, prefix.size()) != prefix)
    return -1;
  long index = 0;
  for (char16_t c : text.substr(prefix.size())) {
    if (c < u'0' || c > u'9')
      return -1;
    index = index * 10 + (c - u'0');
  }
  return index;
}

// One enumeration by index over all values of the key. Enumeration order is
// not part of the contract, so each value is checked by its name: every
// Value<i> must come back exactly once, holding i. Returns the failures.
int enumerateOnce(HKEY key, DWORD count) {
  int failures = 0;
  std::vector<bool> seen(count, false);
  for (DWORD index = 0;; ++index) {
    char16_t name[64];
    DWORD length = 64, type = REG_NONE, data = 0, size = sizeof data;
    const LSTATUS rc = RegEnumValueW(key, index, name, &length, nullptr, &type,
                                     reinterpret_cast<BYTE *>(&data), &size);
    if (rc == static_cast<LSTATUS>(ERROR_NO_MORE_ITEMS))
      break;
    if (index >= count) { // more values than were written
      ++failures;
      break;
    }
    const long found = rc == 0 ? indexOf(name, length) : -1;
    if (found < 0 || static_cast<DWORD>(found) >= count || seen[found] || type != REG_DWORD ||
        size != sizeof data || data != static_cast<DWORD>(found)) {
      ++failures;
      continue;
    }
    seen[found] = true;
  }
  for (bool wasSeen : seen)
    failures += wasSeen ? 0 : 1;
  return failures;
}

// Fills a fresh key with `count` values, then enumerates them by index; the
// fastest of a few passes counts, so that a busy machine does not decide the
// figure.
Figures measure(DWORD count) {
  Figures figures;
  const std::u16string path = std::u16string(kRoot) + u"\\" + widen("Enum" + std::to_string(count));
  SHDeleteKeyW(HKEY_CURRENT_USER, path.c_str()); // a run that was cut short
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                      KEY_ALL_ACCESS, nullptr, &key, nullptr) != 0) {
    figures.failures = 1;
    return figures;
  }

  const auto writeStart = std::chrono::steady_clock::now();
  for (DWORD i = 0; i < count; ++i)
    if (RegSetValueExW(key, valueName(i).c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE *>(&i),
                       sizeof i) != 0)
      ++figures.failures;
  figures.writeMs = millisecondsSince(writeStart);

  constexpr int kPasses = 3;
  for (int pass = 0; pass < kPasses; ++pass) {
    const auto enumStart = std::chrono::steady_clock::now();
    figures.failures += enumerateOnce(key, count);
    const double ms = millisecondsSince(enumStart);
    figures.enumMs = pass == 0 ? ms : std::min(figures.enumMs, ms);
  }

  RegCloseKey(key);
  if (SHDeleteKeyW(HKEY_CURRENT_USER, path.c_str()) != 0)
    ++figures.failures;
  return figures;
}

} // namespace

int main() {
  const DWORD sizes[] = {10000, 100000};
  double enumMs[2] = {};
  int failures = 0;
  for (int i = 0; i < 2; ++i) {
    const Figures figures = measure(sizes[i]);
    std::printf("values=%u write_ms=%.1f enum_ms=%.1f failures=%d\n",
                static_cast<unsigned>(sizes[i]), figures.writeMs, figures.enumMs, figures.failures);
    std::fflush(stdout);
    enumMs[i] = figures.enumMs;
    failures += figures.failures;
  }
  SHDeleteKeyW(HKEY_CURRENT_USER, kRoot);
  std::printf("enum_ratio=%.2f\n", enumMs[1] / enumMs[0]);
  return failures == 0 ? 0 : 1;
}
