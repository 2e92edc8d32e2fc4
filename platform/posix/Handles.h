//===- Handles.h - The process's table of kernel objects -------------------===//
//
// Tokens, open files and searches are objects behind opaque handles. The
// table hands out handle values that are multiples of four and never the
// same twice, so a stale handle is refused rather than mistaken for a newer
// object; a call holds its object while it runs, so closing a handle from
// another thread never pulls the object from under it. Only code that works
// on every Unix.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "zelsys/wintypes.h"

#include <memory>

namespace zelsys::posix {

// Which call closes an object's handle.
enum class Closer { CloseHandle, FindClose, CertCloseStore, CryptMsgClose };

class KernelObject {
public:
  virtual ~KernelObject() = default;
  virtual Closer closer() const { return Closer::CloseHandle; }
};

HANDLE addHandle(std::shared_ptr<KernelObject> object);

// The object behind a handle, or null; objectOf gives null also for an
// object of another type.
std::shared_ptr<KernelObject> lookupHandle(HANDLE handle);
template <typename T> std::shared_ptr<T> objectOf(HANDLE handle) {
  return std::dynamic_pointer_cast<T>(lookupHandle(handle));
}

// Removes a handle whose object the given call closes; false for any other.
// The object ends when its last user lets go.
bool removeHandle(HANDLE handle, Closer closer);

} // namespace zelsys::posix
