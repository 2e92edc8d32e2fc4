//===- WindowsFacts.h - The emulated machine's Windows facts ---------------===//
//
// What the system calls report about the emulated machine (its version,
// processor, product type and logon settings), read in one transaction from
// the registry, where Windows keeps each fact. Only code that works on every
// Unix.
//
// Where each fact lives, under HKEY_LOCAL_MACHINE:
// - version: SOFTWARE\Microsoft\Windows NT\CurrentVersion, "CurrentVersion"
//   ("6.1"), "CurrentBuildNumber" ("7601") and "CSDVersion" ("Service Pack
//   1"; without it, the text is made from the service pack level);
// - service pack level: SYSTEM\CurrentControlSet\Control\Windows,
//   "CSDVersion", a DWORD of 0x100 per level (0x300 is Service Pack 3; the
//   low byte is the minor level);
// - processor: SYSTEM\CurrentControlSet\Control\Session Manager\Environment,
//   "PROCESSOR_ARCHITECTURE" ("AMD64", "x86" or "IA64");
// - product type: SYSTEM\CurrentControlSet\Control\ProductOptions,
//   "ProductType" ("WinNT" workstation, "ServerNT" server, "LanmanNT" domain
//   controller);
// - domain membership: Windows asks its security authority, which the
//   emulated machine does not have. The primary DNS domain that joining a
//   domain records stands in: "Domain", not empty, in
//   SYSTEM\CurrentControlSet\Services\Tcpip\Parameters. A domain
//   controller is a member too;
// - logon settings: "LogonType" and "AllowMultipleTSSessions" (DWORDs) from
//   SOFTWARE\Microsoft\Windows\CurrentVersion\Policies\System when present
//   there, else from SOFTWARE\Microsoft\Windows NT\CurrentVersion\Winlogon;
//   "GinaDLL" (a replaced logon dialog) in Winlogon.
//
// A value that is missing, of another type or unreadable gives the fact of
// Windows 7 SP1 64-bit, the machine's first-use layout: machines created
// before a fact joined that layout lack its value. The logon settings are
// read as Windows reads them: missing is 0, and no replaced logon dialog.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "zelsys/system.h"
#include "zelsys/winconst.h"

#include <string>

namespace zelsys::posix {

struct WindowsFacts {
  DWORD major = 6;
  DWORD minor = 1;
  DWORD build = 7601;
  std::u16string servicePackText; // made from the level when missing
  DWORD servicePack = 0x100;
  WORD architecture = PROCESSOR_ARCHITECTURE_AMD64;
  BYTE productType = VER_NT_WORKSTATION;
  bool domainMember = false;
  bool replacedLogonDialog = false;
  DWORD logonType = 0;
  DWORD allowMultipleSessions = 0;
};

// The facts of the current machine, or the Win32 error code that kept its
// registry from being read.
DWORD readWindowsFacts(WindowsFacts &facts);

class RegistryTransaction;

// The machine's processor alone, read inside a running registry transaction
// (the registry calls need it and may not start another).
WORD readMachineArchitecture(RegistryTransaction &tx);

// The bitness of the program the substitute stands in for, as
// declareProcessBitness (zelsys/system.h) documents it; a 64-bit process on
// a 32-bit machine is the caller's to treat as 32-bit.
ProcessBitness processBitness();

// Whether a process of that bitness runs under WoW64 on a machine with that
// processor: a 32-bit program on 64-bit Windows.
constexpr bool runsUnderWow64(ProcessBitness bitness, WORD architecture) {
  return bitness == ProcessBitness::Bits32 && architecture != PROCESSOR_ARCHITECTURE_INTEL;
}

} // namespace zelsys::posix
