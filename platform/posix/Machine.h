//===- Machine.h - The emulated Windows machine's folder -------------------===//
//
// One folder holds a whole Windows machine: drive C: in drive_c/, the
// registry database beside it. Only code that works on every Unix.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <string>

namespace zelsys::posix {

// The machine folder: $ZEL_MACHINE, else $XDG_DATA_HOME/fixwell/machine,
// else $HOME/.local/share/fixwell/machine. Read afresh on every call, so a
// process (or a test) may switch machines by changing the variable.
std::string machineRoot();

// Makes sure the machine folder exists with its Windows 7 layout (drive_c
// with Windows, Users, Program Files, Program Files (x86), ProgramData).
// Returns the folder, or an empty string when it cannot be created.
std::string ensureMachine();

} // namespace zelsys::posix
