//===- HiveImage.h - Reading a hive file through hivex ---------------------===//
//
// What the hive store takes from hivex to read hives lazily: owning its
// handles and buffers, and reading a key's values with their types. Linux
// only.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "zelsys/winconst.h"

#include <hivex.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace zelsys::posix {

struct HiveCloser {
  void operator()(hive_h *h) const { hivex_close(h); }
};
using UniqueHive = std::unique_ptr<hive_h, HiveCloser>;

struct FreeDeleter {
  void operator()(void *p) const { std::free(p); }
};
template <typename T> using Malloced = std::unique_ptr<T, FreeDeleter>;

// A value as hivex gives it: the name in UTF-8, the data byte for byte.
struct HiveValue {
  std::string name;
  DWORD type = REG_NONE;
  std::string data;
};

// The values of a key in their stored order; false when hivex fails (errno
// says why).
bool readHiveValues(hive_h *h, hive_node_h node, std::vector<HiveValue> &values);

} // namespace zelsys::posix
