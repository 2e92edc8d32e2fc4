//===- Machine.h - The emulated Windows machine's folder -------------------===//
//
// One folder holds a whole Windows machine. Either it is an emulated one:
// drive C: in drive_c/, the registry database beside it; or it is the root
// folder of a real Windows installation (a mounted disk of a stopped
// machine, an image laid out in a folder): drive C: is the folder itself and
// the registry is its hive files. Only code that works on every Unix.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <fcntl.h>
#include <string>
#include <string_view>

namespace zelsys::posix {

// The machine folder: $ZEL_MACHINE, else $XDG_DATA_HOME/fixwell/machine,
// else $HOME/.local/share/fixwell/machine. Read afresh on every call, so a
// process (or a test) may switch machines by changing the variable.
std::string machineRoot();

// Makes sure the machine folder exists with its Windows 7 layout (drive_c
// with Windows, Users, Program Files, Program Files (x86), ProgramData).
// Returns the folder, or an empty string when it cannot be created.
std::string ensureMachine();

// Opens the machine's own file name (registry.db, file-sharing.lock: a name
// directly in the machine folder) for reading and writing, or with flags
// instead of O_RDWR. A missing file is created readable and writable by its
// owner only (0600), and given to the machine folder's owner when root
// creates it: the emulated machine belongs to that one host user. No link
// is followed, in the folder's path or as the file itself, and only a
// regular file with one name is taken, so a program of an administrator on
// a folder another user controls never reaches a file outside it. Returns
// the descriptor (close-on-exec), or -1 with errno set.
int openMachineFile(const char *name, int flags = O_RDWR);

// Whether root is a Windows installation: it holds
// Windows/System32/config/SOFTWARE, each name matched case-insensitively
// (disks mounted from Windows keep whatever case their files were given).
bool isWindowsInstallation(const std::string &root);

// The host folder of drive C: of the current machine: the installation
// itself, or the emulated machine's drive_c (made as ensureMachine does).
// Empty when the emulated machine cannot be created.
std::string driveCFolder();

// The entry of folder whose name equals name case-insensitively, as Windows
// matches names (the exact spelling first), or name itself when none does.
// Entries that no Windows name holds (windowsNameOf) never match.
std::string matchEntry(const std::string &folder, std::u16string_view name);

// The host path of relative ('/'-separated) below folder, every component
// matched as matchEntry matches it; empty when a component is missing.
std::string findBelow(const std::string &folder, std::string_view relative);

} // namespace zelsys::posix
