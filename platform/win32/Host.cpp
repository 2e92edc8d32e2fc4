//===- Host.cpp - Telling Wine from Windows --------------------------------===//
//
// Wine's ntdll exports wine_get_version; Windows' does not. Only code for
// Windows belongs here.
//
//===----------------------------------------------------------------------===//
#include "zelsys/host.h"
#include "WindowsSupport.h"

namespace zelsys {

HostKind CurrentHost() {
  const ::HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  if (ntdll && ::GetProcAddress(ntdll, "wine_get_version"))
    return HostKind::Wine;
  return HostKind::Windows;
}

} // namespace zelsys
