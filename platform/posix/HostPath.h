//===- HostPath.h - Host paths as the emulated machine sees them -----------===//
//
// Every host file has a Windows path: the host's root is drive Z:, as under
// Wine. Only code that works on every Unix.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <string>
#include <string_view>

namespace zelsys::posix {

// "/usr/bin/x" => u"Z:\\usr\\bin\\x". A relative host path is taken as it is,
// with its separators turned.
std::u16string windowsPathFromHost(std::string_view hostPath);

} // namespace zelsys::posix
