//===- HostPath.cpp - Host paths as the emulated machine sees them ---------===//
//
// Only code that works on every Unix.
//
//===----------------------------------------------------------------------===//
#include "HostPath.h"
#include "Utf.h"

namespace zelsys::posix {

std::u16string windowsPathFromHost(std::string_view hostPath) {
  std::u16string path = utf8ToUtf16(hostPath);
  for (char16_t &unit : path)
    if (unit == u'/')
      unit = u'\\';
  if (!path.empty() && path.front() == u'\\')
    path.insert(0, u"Z:");
  return path;
}

} // namespace zelsys::posix
