//===- HiveImage.cpp - Reading a hive file through hivex -------------------===//
//
// Linux only.
//
//===----------------------------------------------------------------------===//
#include "HiveImage.h"

#include <cstring>

namespace zelsys::posix {

bool readHiveValues(hive_h *h, hive_node_h node, std::vector<HiveValue> &values) {
  values.clear();
  Malloced<hive_value_h> handles{hivex_node_values(h, node)};
  if (!handles)
    return false;
  // Types past hivex's enumeration are no valid enum values in C++, so a
  // type crosses out of hivex as the 32-bit number it is.
  static_assert(sizeof(hive_type) == sizeof(DWORD));
  for (const hive_value_h *value = handles.get(); *value; ++value) {
    Malloced<char> key{hivex_value_key(h, *value)};
    if (!key)
      return false;
    alignas(hive_type) unsigned char rawType[sizeof(hive_type)] = {};
    std::size_t length = 0;
    Malloced<char> data{
        hivex_value_value(h, *value, reinterpret_cast<hive_type *>(rawType), &length)};
    if (!data && length != 0)
      return false;
    HiveValue read{key.get(), 0, std::string(data.get(), data ? length : 0)};
    std::memcpy(&read.type, rawType, sizeof read.type);
    values.push_back(std::move(read));
  }
  return true;
}

} // namespace zelsys::posix
