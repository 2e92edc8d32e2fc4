//===- FileSharing.h - Windows share modes across handles and processes ----===//
//
// Windows checks every open of a file against the opens that already hold
// it: the new open's access must be allowed by each holder's share mode, and
// the new share mode must allow each holder's access. Only reading, writing
// and deleting take part; an open that asks for none of them is neither
// checked nor seen. Deleting or renaming a name counts as an open that
// deletes and shares everything.
//
// The scheme, the same in every process of the machine:
// - An open holds Linux open-file-description read locks on bytes of its own
//   descriptor far past any real data (from 2^62 on): one byte per access
//   kind it holds (read, write, delete) and one per kind it denies (those
//   its share mode leaves out). Such locks belong to the descriptor, so two
//   handles of one process are two opens, and the kernel drops them when
//   the descriptor closes, also when the process is killed.
// - Read locks never conflict with each other, so they are only ever taken,
//   and "does any other open hold this byte" is asked with F_OFD_GETLK for a
//   write lock there: an opener's own locks never answer.
// - Checking and taking are two steps; a gate makes them one. The gate is an
//   exclusive lock on one byte (picked by the file's device and inode) of the
//   machine's lock file, file-sharing.lock, taken on a descriptor of its own
//   for each operation and released when done. It lives apart from the file
//   because an exclusive lock needs a descriptor open for writing, which a
//   reading handle does not have.
//
// Limits: a descriptor the host opens for writing only takes no read locks,
// so such a handle (a file the process may write but not read) is not seen
// by others, and a file the process may not read is not asked before its
// name is deleted or renamed; where a file system has no
// open-file-description locks nothing is enforced. Only code for Linux.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "zelsys/wintypes.h"

#include <sys/stat.h>

namespace zelsys::posix {

// Access kinds in the bits of the share mode: read 1, write 2, delete 4.
unsigned accessKinds(DWORD dwDesiredAccess);
constexpr unsigned kShareAll = 7;

// Holds the gates of one or two files while it lives; two gates are always
// taken in the same order, so gates never wait on each other.
class ShareGate {
public:
  explicit ShareGate(const struct stat &file, const struct stat *other = nullptr);
  ~ShareGate();
  ShareGate(const ShareGate &) = delete;
  ShareGate &operator=(const ShareGate &) = delete;

private:
  int m_fd = -1;
};

// Under the gate: whether an open of the file fd names, with these access
// kinds and share mode, conflicts with what other descriptors hold.
bool shareConflicts(int fd, unsigned access, unsigned share);

// Under the gate: records the open's access kinds and share mode on its own
// descriptor, for as long as the descriptor stays open.
void holdShare(int fd, unsigned access, unsigned share);

} // namespace zelsys::posix
