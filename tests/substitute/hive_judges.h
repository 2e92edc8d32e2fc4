// hive_judges.h - independent judges of a hive file a test wrote: runs
// tests/tools/judge-hives (libregf's tools, reglookup, reged, hivexml and the
// strict regf_check.py) on it, as a GoogleTest assertion.
//
//   EXPECT_TRUE(judgedSound(hive));
//
// ZEL_JUDGE_HIVES, the script's path, comes from tests/substitute/CMakeLists.txt.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <sys/wait.h>

#ifndef ZEL_JUDGE_HIVES
#error "ZEL_JUDGE_HIVES must name tests/tools/judge-hives"
#endif

// Succeeds when every judge takes the hive; otherwise the message is what the
// judges said.
inline ::testing::AssertionResult judgedSound(const std::string &hiveFile) {
  std::string command = "'" ZEL_JUDGE_HIVES "' '";
  for (char c : hiveFile)
    command += c == '\'' ? std::string("'\\''") : std::string(1, c);
  command += "' 2>&1";
  FILE *pipe = ::popen(command.c_str(), "r");
  if (!pipe)
    return ::testing::AssertionFailure() << "cannot start " ZEL_JUDGE_HIVES;
  std::string said;
  char chunk[4096];
  for (std::size_t got; (got = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;)
    said.append(chunk, got);
  const int status = ::pclose(pipe);
  if (status == 0)
    return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure()
         << hiveFile << " is not sound to the hive judges (exit status "
         << (WIFEXITED(status) ? WEXITSTATUS(status) : -1) << "):\n"
         << said;
}
