//===- HiveStore.h - The registry of a Windows installation's hive files ---===//
//
// When the machine folder is a Windows installation (Machine.h), the
// registry calls work on its hive files instead of the emulated machine's
// database, behind the same store operations (RegistryStore.h). Linux only
// (hivex, flock).
//
// Layout, as Windows mounts the hives:
// - \REGISTRY\MACHINE\SOFTWARE and \SYSTEM are Windows/System32/config's
//   SOFTWARE and SYSTEM; SYSTEM's CurrentControlSet is the control set that
//   Select's "Current" names (ControlSet001 for 1), found under either name.
// - \REGISTRY\USER\.DEFAULT is config/DEFAULT, and \REGISTRY\USER\<SID> is
//   the NTUSER.DAT in the folder of every profile that SOFTWARE's
//   ProfileList names ("ProfileImagePath", with %SystemDrive% and
//   %SystemRoot% standing for C: and C:\Windows), read when the process
//   first opens the installation.
// - No one is logged on to a machine that is not running, so
//   HKEY_CURRENT_USER is \REGISTRY\USER\.DEFAULT, as it is for Windows'
//   own system account; HKEY_CLASSES_ROOT is SOFTWARE\Classes; the current
//   configuration is SYSTEM\CurrentControlSet\Hardware Profiles\Current.
// - Keys cannot be created directly under MACHINE and USER (hives are
//   mounted, not made), nor can the hive roots be deleted.
// - Sub-keys enumerate in the order of their upcased names, as Windows
//   keeps them in a hive; values in the order they were first written.
//
// How the files are kept (HiveJournal.h): each hive is read through hivex
// into memory lazily, a key's sub-keys and values when first asked for; the
// journal's completed calls are applied on top. A call that changes a hive
// takes the installation's writer lock, brings the hive up to what is on
// disk, applies the change in memory and appends it to the journal as one
// call before it returns; a failure puts memory back as it was. Readers take
// no lock: every call first looks at the hive's and the journal's size and
// identity and reads what another process added. The process folds its
// journals into the hives when it exits normally and whenever a journal
// passes 16 MB; a process that dies leaves its journal to the next one.
//
// A hive that Windows left dirty (its base block's sequence numbers differ:
// its own logs hold changes the file lacks, which Windows replays when it
// next loads the hive) is read as it stands but never written: a call that
// would change it fails with ERROR_BADDB and changes nothing. So is a hive
// that fails the whole check a process makes before it first writes it
// (RegfReader.h): reads go on where hivex can, the other hives work on.
//
// Known differences from the emulated machine's registry:
// - A class given to RegCreateKeyExW is not written to the hive file (the
//   journal does not record it; classes already there are kept): it is
//   reported by the process that created the key, until that process ends.
// - Volatile keys live in the memory of the process that made them: a
//   machine that is not running has no one else to share them with.
// - A key deleted by another process and made again is, to a handle opened
//   before, the same key (handles name keys by path across processes).
//
//===----------------------------------------------------------------------===//
#pragma once

#include "RegistryStore.h"

#include <functional>
#include <string>

namespace zelsys::posix {

// Runs body as one call on the installation at root (see
// runRegistryTransaction): a failure leaves memory and files as they were.
DWORD runHiveTransaction(const std::string &root, bool write,
                         const std::function<DWORD(RegistryTransaction &)> &body);

// Folds every journal this process appended to into its hive now.
DWORD checkpointHives();

} // namespace zelsys::posix
