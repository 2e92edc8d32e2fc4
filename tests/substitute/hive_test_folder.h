// hive_test_folder.h - a host folder of its own for a test of hive files,
// removed with everything in it when the test ends.
#pragma once

#include <filesystem>
#include <stdlib.h>
#include <string>

struct TempFolder {
  std::filesystem::path path;
  explicit TempFolder(const char *pszPrefix = "zel-hive") {
    std::string name = (std::filesystem::temp_directory_path() / pszPrefix).string() + "-XXXXXX";
    path = ::mkdtemp(name.data());
  }
  ~TempFolder() { std::filesystem::remove_all(path); }
  TempFolder(const TempFolder &) = delete;
  TempFolder &operator=(const TempFolder &) = delete;
};
