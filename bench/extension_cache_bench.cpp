// extension_cache_bench.cpp - the cost of rewriting one Firefox
// extensions.cache, for the script beside it that measures a peer.
//
//   extension_cache_bench make <host file> <MiB>  writes a cache of that size:
//       CR LF lines of varied length, one in ten naming the extension
//   extension_cache_bench run <file>              rewrites it once and prints
//       "ms=<time> peak_kib=<peak resident memory>"
#include "firefox_updater.h"

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>

namespace {

int make(const char *pszPath, long lMiB) {
  std::ofstream out(pszPath, std::ios::binary | std::ios::trunc);
  std::mt19937 random(8201);
  std::uniform_int_distribution<int> length(10, 300);
  const std::string named = "{5D2A9E47-C3B1-4a86-9F0E-B71C4D6A2E58}";
  const long long llTarget = lMiB * 1024LL * 1024LL;
  long long llWritten = 0;
  for (long lLine = 0; llWritten < llTarget; ++lLine) {
    std::string line = "app-profile\\extensions\\entry-" + std::to_string(lLine) + "=";
    line.append(static_cast<std::size_t>(length(random)), static_cast<char>('a' + lLine % 26));
    if (lLine % 10 == 3)
      line += named;
    line += "\r\n";
    out << line;
    llWritten += static_cast<long long>(line.size());
  }
  return out ? 0 : 1;
}

int run(const char *pszPath) {
  const std::u16string path(pszPath, pszPath + std::char_traits<char>::length(pszPath));
  const auto start = std::chrono::steady_clock::now();
  const bool bDone = ModifyExtensionCache(CZELWCharString(path.c_str()));
  const std::chrono::duration<double, std::milli> elapsed =
      std::chrono::steady_clock::now() - start;
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::printf("ms=%.1f peak_kib=%ld\n", elapsed.count(), usage.ru_maxrss);
  return bDone ? 0 : 1;
}

} // namespace

int main(int argc, char **argv) {
  if (argc == 4 && std::string(argv[1]) == "make")
    return make(argv[2], std::atol(argv[3]));
  if (argc == 3 && std::string(argv[1]) == "run")
    return run(argv[2]);
  std::fprintf(stderr, "usage: %s make <file> <MiB> | run <file>\n", argv[0]);
  return 2;
}
