// registry_bench.cpp - 10,000 string values written and read back through
// CZELRegistryString in one key tree, timed. Prints one line of figures;
// bench/run-registry-bench runs it on both platforms and compares them.
#include "zel_registry_key.h"
#include "zel_registry_string.h"
#include "zelsys/winconst.h"

#include "bench_clock.h"

#include <chrono>
#include <cstdio>

namespace {

const ZEL_USHORT kRoot[] = u"Software\\Fixwell\\Bench";
constexpr int kKeys = 100;
constexpr int kValuesPerKey = 100;

CZELWCharString keyPath(int iKey) {
  return CZELWCharString(kRoot) + u"\\Key" + CZELWCharString(static_cast<ZEL_LONG>(iKey));
}

CZELWCharString valueName(int iValue) {
  return CZELWCharString(u"Value") + CZELWCharString(static_cast<ZEL_LONG>(iValue));
}

CZELWCharString valueText(int iKey, int iValue) {
  return CZELWCharString(u"text of value ") + CZELWCharString(static_cast<ZEL_LONG>(iKey)) + u"." +
         CZELWCharString(static_cast<ZEL_LONG>(iValue));
}

// Writes or reads every value; returns how many did not do what was asked.
int walkValues(bool bWrite) {
  int failures = 0;
  for (int iKey = 0; iKey < kKeys; ++iKey) {
    for (int iValue = 0; iValue < kValuesPerKey; ++iValue) {
      CZELRegistryString value(zelsys::HKEY_CURRENT_USER, keyPath(iKey), valueName(iValue),
                               zelsys::KEY_ALL_ACCESS, true, zelsys::REG_OPTION_NON_VOLATILE);
      if (bWrite) {
        failures += value.setRegistryString(valueText(iKey, iValue), false) ? 0 : 1;
      } else {
        CZELWCharString text;
        failures += value.getRegistryString(text, false) && text == valueText(iKey, iValue) ? 0 : 1;
      }
    }
  }
  return failures;
}

} // namespace

int main() {
  CZELRegistryKey root(zelsys::HKEY_CURRENT_USER, kRoot, zelsys::KEY_ALL_ACCESS, false,
                       zelsys::REG_OPTION_NON_VOLATILE);
  root.remove(true);

  const auto start = std::chrono::steady_clock::now();
  const int writeFailures = walkValues(true);
  const double writeMs = millisecondsSince(start);
  const auto readStart = std::chrono::steady_clock::now();
  const int readFailures = walkValues(false);
  const double readMs = millisecondsSince(readStart);
  root.remove(true);

  std::printf("values=%d write_ms=%.1f read_ms=%.1f total_ms=%.1f failures=%d\n",
              kKeys * kValuesPerKey, writeMs, readMs, writeMs + readMs,
              writeFailures + readFailures);
  return writeFailures + readFailures == 0 ? 0 : 1;
}
