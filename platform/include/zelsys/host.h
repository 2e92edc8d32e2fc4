//===- zelsys/host.h - Which implementation of the interface is running ----===//
//
// Conformance tests mark known gaps per implementation; this tells them which
// one they run on. Nothing outside tests consults it.
//
//===----------------------------------------------------------------------===//
#pragma once

namespace zelsys {

enum class HostKind {
  Substitute, // platform/posix over the emulated machine
  Wine,       // platform/win32 running under Wine
  Windows     // platform/win32 on real Windows
};

HostKind CurrentHost();

} // namespace zelsys
