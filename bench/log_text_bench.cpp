// log_text_bench.cpp - 20,000 detailed lines appended through the text log
// output, timed. Each line opens, appends to and closes the file, so this
// measures what one entry costs the program that logs it. Prints one line
// of figures; bench/run-log-text-bench runs it on both platforms.
#include "zel_logging_output_text.h"
#include "zelsys/files.h"
#include "zelsys/winconst.h"

#include <chrono>
#include <cstdio>
#include <string>

namespace {

const ZEL_USHORT kFolder[] = u"C:\\ZelBench";
const ZEL_USHORT kLog[] = u"C:\\ZelBench\\log_text_bench.log";
constexpr int kLines = 20000;

void removeLog() {
  zelsys::DeleteFileW(kLog);
  zelsys::RemoveDirectoryW(kFolder);
}

} // namespace

int main() {
  removeLog();
  int failures = 0;
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < kLines; ++i) {
    // Messages of varying length, as real entries have.
    const std::u16string message = u"bench line " + std::u16string(1 + i % 61, u'x');
    CZELDetailedLogRecord record(CZELLogType::DEBUG, message.c_str(), i, CZELValueKind::RETURN_CODE,
                                 u"CZELBench", u"run", u".\\log_text_bench", ZEL_ULONG(i + 1),
                                 u"log_text_bench", kLog);
    failures += CZELLoggingOutputText().write(record) ? 0 : 1;
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  removeLog();
  std::printf("lines=%d total_ms=%.1f lines_per_s=%.0f failures=%d\n", kLines, seconds * 1000,
              kLines / seconds, failures);
  return failures == 0 ? 0 : 1;
}
