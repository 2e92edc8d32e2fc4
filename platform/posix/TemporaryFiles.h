//===- TemporaryFiles.h - Files written beside the file they replace -------===//
//
// A writer that replaces a file writes the new content beside it first and
// renames it over the old one. The folder may belong to another user, who
// can make names in it before the writer and while it writes; these files
// are made so that such names change nothing:
// - Unpredictable and exclusive: the name is a prefix and 16 random hex
//   digits, made with O_CREAT | O_EXCL | O_NOFOLLOW relative to the held
//   folder's descriptor, so no existing name (a file, a link) is ever
//   opened; a taken name is passed over for another.
// - A writer holds an exclusive flock on its file from the moment it exists
//   until it is renamed or deleted, and the kernel drops that lock when the
//   writer dies, whatever its process id space or host. So a file of the
//   prefix whose lock can be taken is a dead writer's leftover, and
//   removeLeftovers deletes it; a live writer's file is never touched. In
//   the instant between a writer making its file and locking it, someone
//   else may hold the lock (a cleaner, or a user who could open the file):
//   the writer never waits for it but passes the name over, and a name a
//   cleaner deleted meanwhile (the file has no link left) too.
// - Looking at leftovers follows nothing: a name is examined through a
//   descriptor that does not follow links, only a plain file is opened, and
//   a name is deleted only while it still names the file examined.
// Only code for Linux (flock, O_PATH, /proc/self/fd).
//
//===----------------------------------------------------------------------===//
#pragma once

#include "FileCalls.h"
#include "zelsys/wintypes.h"

#include <string>
#include <sys/types.h>

namespace zelsys::posix {

// A file being written: its descriptor (open for writing, holding the
// lock) and its name in the folder.
struct TemporaryFile {
  UniqueFd fd;
  std::string name;
};

// Makes prefix + 16 random hex digits in the folder held as folderFd, with
// mode (less the umask, or as the folder's default access list gives), and
// locks it. A Win32 error; ERROR_FILE_EXISTS when no free name was found.
DWORD createTemporary(int folderFd, const std::string &prefix, mode_t mode, TemporaryFile &file);

// Deletes the file's name if it still names the file, and closes it: what
// a writer does with its file when it was not renamed into place.
void removeTemporary(int folderFd, TemporaryFile &file);

// Deletes the plain files of the folder whose names start with prefix and
// whose writers are gone. Costs one pass over the folder's names.
void removeLeftovers(int folderFd, const std::string &prefix);

} // namespace zelsys::posix
