//===- Handles.cpp - The process's table of kernel objects -----------------===//
//
// Only code that works on every Unix.
//
//===----------------------------------------------------------------------===//
#include "Handles.h"

#include <cstdint>
#include <mutex>
#include <unordered_map>

namespace zelsys::posix {

namespace {

std::mutex gHandleLock;
std::unordered_map<std::uintptr_t, std::shared_ptr<KernelObject>> gHandles;
std::uintptr_t gLastHandle = 0x7000;

} // namespace

HANDLE addHandle(std::shared_ptr<KernelObject> object) {
  const std::lock_guard<std::mutex> lock(gHandleLock);
  gLastHandle += 4;
  gHandles.emplace(gLastHandle, std::move(object));
  return reinterpret_cast<HANDLE>(gLastHandle);
}

std::shared_ptr<KernelObject> lookupHandle(HANDLE handle) {
  const std::lock_guard<std::mutex> lock(gHandleLock);
  const auto found = gHandles.find(reinterpret_cast<std::uintptr_t>(handle));
  return found == gHandles.end() ? nullptr : found->second;
}

bool removeHandle(HANDLE handle, Closer closer) {
  std::shared_ptr<KernelObject> object; // let go outside the lock
  const std::lock_guard<std::mutex> lock(gHandleLock);
  const auto found = gHandles.find(reinterpret_cast<std::uintptr_t>(handle));
  if (found == gHandles.end() || found->second->closer() != closer)
    return false;
  object = std::move(found->second);
  gHandles.erase(found);
  return true;
}

} // namespace zelsys::posix
