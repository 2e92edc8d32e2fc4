// bench_clock.h - the benchmarks' one clock: milliseconds since a start.
#pragma once

#include <chrono>

inline double millisecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
      .count();
}
