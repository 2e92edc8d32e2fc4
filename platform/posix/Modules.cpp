//===- Modules.cpp - Modules and their resources on the substitute ---------===//
//
// Only code that works on every Unix.
//
//===----------------------------------------------------------------------===//
#include "Modules.h"
#include "Errors.h"
#include "HostPath.h"
#include "PeResources.h"
#include "Utf.h"
#include "WindowsPath.h"
#include "zelsys/kernel.h"
#include "zelsys/system.h"
#include "zelsys/winconst.h"

#include <map>
#include <memory>
#include <mutex>
#include <sys/stat.h>
#include <vector>

namespace zelsys {

namespace {

constexpr WORD kRtString = 6;

// One resource found in a module, keyed by where its data lies in the file;
// its bytes are read by the first LoadResource.
struct FoundResource {
  posix::ResourceData where;
  bool loaded = false;
  std::vector<BYTE> bytes;
  std::u16string strings; // a string block's sixteen counted texts, decoded
};

struct ImageModule {
  posix::ImageFile file;
  std::u16string path;
  std::size_t loads = 0;
  std::map<std::uint64_t, FoundResource> resources;
};

std::mutex gLock;
std::map<HMODULE, std::unique_ptr<ImageModule>> gModules;
char gProgram; // its address is the program's handle

// The loaded DLL hModule names, or null. The caller holds gLock.
ImageModule *findModule(HMODULE hModule) {
  const auto it = gModules.find(hModule);
  return it == gModules.end() ? nullptr : it->second.get();
}

// A resource name as the PE reader takes it: MAKEINTRESOURCEW numbers,
// "#<decimal>" numbers, other text names.
bool resourceKey(LPCWSTR lpName, posix::ResourceKey &key) {
  if (IS_INTRESOURCE(lpName)) {
    key = {false, static_cast<WORD>(reinterpret_cast<std::uintptr_t>(lpName)), {}};
    return true;
  }
  const std::u16string_view name(lpName);
  if (name.size() > 1 && name[0] == u'#') {
    DWORD number = 0;
    for (const char16_t unit : name.substr(1)) {
      if (unit < u'0' || unit > u'9' || (number = number * 10 + (unit - u'0')) > 0xFFFF)
        return false;
    }
    key = {false, static_cast<WORD>(number), {}};
    return true;
  }
  key = {true, 0, std::u16string(name)};
  return true;
}

// The file name a module is loaded from: ".dll" is added to a name without
// an extension, and a trailing dot means "no extension" and goes.
std::u16string withExtension(std::u16string name) {
  const std::size_t lastPart = name.find_last_of(u"\\/");
  const std::size_t dot = name.find_last_of(u'.');
  if (dot != std::u16string::npos && (lastPart == std::u16string::npos || dot > lastPart)) {
    if (dot + 1 == name.size())
      name.pop_back();
    return name;
  }
  return name + u".dll";
}

bool hasFolder(std::u16string_view name) {
  return name.find_first_of(u"\\/:") != std::u16string_view::npos;
}

std::u16string fileNameOf(std::u16string_view path) {
  const std::size_t cut = path.find_last_of(u"\\/");
  return std::u16string(cut == std::u16string_view::npos ? path : path.substr(cut + 1));
}

std::u16string programPath() {
  WCHAR path[1024];
  const DWORD length = GetModuleFileNameW(nullptr, path, 1024);
  return length > 0 && length < 1024 ? std::u16string(path, length) : std::u16string();
}

// Where Windows looks for a DLL named without a folder: the program's
// folder, the system folders, then the current folder.
std::vector<std::u16string> searchFolders() {
  std::u16string program = programPath();
  program.resize(program.find_last_of(u'\\') == std::u16string::npos ? 0
                                                                     : program.find_last_of(u'\\'));
  std::vector<std::u16string> folders;
  if (!program.empty())
    folders.push_back(program);
  folders.insert(folders.end(), {u"C:\\Windows\\System32", u"C:\\Windows"});
  folders.push_back(posix::currentFolder());
  return folders;
}

// Opens the file of one candidate path; ERROR_MOD_NOT_FOUND when there is
// none.
DWORD openCandidate(const std::u16string &path, posix::ImageFile &file, std::u16string &fullPath) {
  posix::HostFile host;
  DWORD error = ERROR_SUCCESS;
  if (!posix::resolveHostFile(path, posix::NameUse::Open, host, error))
    return ERROR_MOD_NOT_FOUND;
  error = file.open(host.path);
  if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
    return ERROR_MOD_NOT_FOUND;
  fullPath = host.fullPath;
  return error;
}

// The loaded DLL whose file is the same as file's. The caller holds gLock.
HMODULE moduleOfFile(const posix::ImageFile &file) {
  for (const auto &[handle, module] : gModules)
    if (module->file.device() == file.device() && module->file.inode() == file.inode())
      return handle;
  return nullptr;
}

// Finds (and remembers) a resource of a loaded DLL. The caller holds gLock.
DWORD findIn(ImageModule &module, const posix::ResourceKey &type, const posix::ResourceKey &name,
             WORD wLanguage, FoundResource *&found) {
  posix::ResourceData data;
  const DWORD error = posix::findResource(module.file, type, name, wLanguage, data);
  if (error != ERROR_SUCCESS)
    return error;
  found = &module.resources[data.offset];
  found->where = data;
  return ERROR_SUCCESS;
}

// Reads a found resource's bytes once. The caller holds gLock.
bool loadBytes(const ImageModule &module, FoundResource &resource) {
  if (resource.loaded)
    return true;
  std::vector<BYTE> bytes(resource.where.size);
  if (!module.file.read(resource.where.offset, bytes.data(), bytes.size()))
    return false;
  resource.bytes = std::move(bytes);
  resource.loaded = true;
  return true;
}

// Whether lpModuleName names the program: by its file name, or as a path
// to the same file.
bool namesProgram(std::u16string_view name) {
  const std::u16string path = programPath();
  if (!hasFolder(name))
    return posix::equalsIgnoreCase(fileNameOf(path), name) ||
           posix::equalsIgnoreCase(fileNameOf(path), withExtension(std::u16string(name)));
  posix::HostFile host;
  DWORD error = ERROR_SUCCESS;
  struct stat wanted {
  }, self{};
  return posix::resolveHostFile(name, posix::NameUse::Open, host, error) &&
         ::stat(host.path.c_str(), &wanted) == 0 && ::stat("/proc/self/exe", &self) == 0 &&
         wanted.st_dev == self.st_dev && wanted.st_ino == self.st_ino;
}

} // namespace

HMODULE posix::programModule() { return reinterpret_cast<HMODULE>(&gProgram); }

bool posix::isProgramModule(HMODULE hModule) {
  return hModule == nullptr || hModule == programModule();
}

HMODULE posix::loadImageModule(std::u16string_view name) {
  if (name.empty()) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  const std::u16string fileName = withExtension(std::u16string(name));
  auto module = std::make_unique<ImageModule>();
  DWORD error = ERROR_MOD_NOT_FOUND;
  if (hasFolder(name)) {
    error = openCandidate(fileName, module->file, module->path);
  } else {
    for (const std::u16string &folder : searchFolders())
      if ((error = openCandidate(folder + u"\\" + fileName, module->file, module->path)) !=
          ERROR_MOD_NOT_FOUND)
        break;
  }
  if (error == ERROR_SUCCESS)
    error = posix::checkImage(module->file);
  if (error != ERROR_SUCCESS) {
    SetLastError(error);
    return nullptr;
  }
  const std::lock_guard<std::mutex> lock(gLock);
  HMODULE handle = moduleOfFile(module->file);
  if (handle == nullptr) {
    handle = reinterpret_cast<HMODULE>(module.get());
    gModules.emplace(handle, std::move(module));
  }
  ++gModules[handle]->loads;
  return handle;
}

bool posix::freeImageModule(HMODULE hModule) {
  const std::lock_guard<std::mutex> lock(gLock);
  const auto it = gModules.find(hModule);
  if (it == gModules.end())
    return false;
  if (--it->second->loads == 0)
    gModules.erase(it);
  return true;
}

bool posix::isImageModule(HMODULE hModule) {
  const std::lock_guard<std::mutex> lock(gLock);
  return findModule(hModule) != nullptr;
}

bool posix::imageModulePath(HMODULE hModule, std::u16string &path) {
  const std::lock_guard<std::mutex> lock(gLock);
  const ImageModule *module = findModule(hModule);
  if (module == nullptr)
    return false;
  path = module->path;
  return true;
}

DWORD posix::imageModuleString(HMODULE hModule, UINT uID, WORD wLanguage, bool &found,
                               std::u16string_view &text) {
  found = false;
  const std::lock_guard<std::mutex> lock(gLock);
  ImageModule *module = findModule(hModule);
  if (module == nullptr)
    return ERROR_RESOURCE_DATA_NOT_FOUND;
  FoundResource *block = nullptr;
  const WORD blockName = static_cast<WORD>((uID & 0xFFFF) / 16 + 1);
  DWORD error = findIn(*module, {false, kRtString, {}}, {false, blockName, {}}, wLanguage, block);
  if (error != ERROR_SUCCESS)
    return error;
  if (!loadBytes(*module, *block))
    return ERROR_BAD_EXE_FORMAT;
  // Sixteen texts, each its length in units and the units; a block cut
  // short ends the walk, and a text that would run past it is missing.
  if (block->strings.empty() && !block->bytes.empty()) {
    block->strings.resize(block->bytes.size() / 2);
    for (std::size_t i = 0; i < block->strings.size(); ++i)
      block->strings[i] = static_cast<char16_t>(block->bytes[2 * i] | block->bytes[2 * i + 1] << 8);
  }
  const std::u16string_view units = block->strings;
  std::size_t at = 0;
  for (UINT index = 0; index < (uID & 15); ++index) {
    if (at >= units.size())
      return ERROR_SUCCESS;
    at += 1 + std::size_t{units[at]};
  }
  if (at >= units.size() || units[at] == 0 || units[at] > units.size() - at - 1)
    return ERROR_SUCCESS;
  text = units.substr(at + 1, units[at]);
  found = true;
  return ERROR_SUCCESS;
}

HMODULE GetModuleHandleW(LPCWSTR lpModuleName) {
  if (lpModuleName == nullptr)
    return posix::programModule();
  const std::u16string_view name(lpModuleName);
  if (!name.empty() && namesProgram(name))
    return posix::programModule();
  if (!name.empty()) {
    // A path is matched by the file it names, a bare name by file name.
    posix::ImageFile file;
    std::u16string fullPath;
    const bool byFile = hasFolder(name) && openCandidate(withExtension(std::u16string(name)), file,
                                                         fullPath) == ERROR_SUCCESS;
    const std::u16string fileName = withExtension(std::u16string(name));
    const std::lock_guard<std::mutex> lock(gLock);
    if (byFile) {
      if (const HMODULE handle = moduleOfFile(file))
        return handle;
    } else if (!hasFolder(name)) {
      for (const auto &[handle, module] : gModules)
        if (posix::equalsIgnoreCase(fileNameOf(module->path), fileName))
          return handle;
    }
  }
  SetLastError(ERROR_MOD_NOT_FOUND);
  return nullptr;
}

HRSRC FindResourceW(HMODULE hModule, LPCWSTR lpName, LPCWSTR lpType) {
  posix::ResourceKey type, name;
  if (lpName == nullptr || lpType == nullptr || !resourceKey(lpType, type) ||
      !resourceKey(lpName, name)) {
    SetLastError(lpName == nullptr || lpType == nullptr ? ERROR_INVALID_PARAMETER
                                                        : ERROR_RESOURCE_NAME_NOT_FOUND);
    return nullptr;
  }
  // The program's string table is reached through LoadStringW only.
  if (posix::isProgramModule(hModule)) {
    SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
    return nullptr;
  }
  const WORD wLanguage = posix::userLanguage();
  const std::lock_guard<std::mutex> lock(gLock);
  ImageModule *module = findModule(hModule);
  if (module == nullptr) {
    SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
    return nullptr;
  }
  FoundResource *found = nullptr;
  if (const DWORD error = findIn(*module, type, name, wLanguage, found)) {
    SetLastError(error);
    return nullptr;
  }
  // The handle is where the data lies in the file, never 0 (the headers
  // come first), looked up again in the module it is given with.
  return reinterpret_cast<HRSRC>(static_cast<std::uintptr_t>(found->where.offset));
}

namespace {

// The remembered resource hResInfo names in hModule. The caller holds
// gLock.
FoundResource *foundResource(HMODULE hModule, HRSRC hResInfo, ImageModule *&module) {
  module = findModule(hModule);
  if (module == nullptr || hResInfo == nullptr)
    return nullptr;
  const auto it = module->resources.find(reinterpret_cast<std::uintptr_t>(hResInfo));
  return it == module->resources.end() ? nullptr : &it->second;
}

} // namespace

HGLOBAL LoadResource(HMODULE hModule, HRSRC hResInfo) {
  const std::lock_guard<std::mutex> lock(gLock);
  ImageModule *module = nullptr;
  FoundResource *resource = foundResource(hModule, hResInfo, module);
  if (resource == nullptr) {
    SetLastError(hResInfo == nullptr ? ERROR_INVALID_HANDLE : ERROR_RESOURCE_DATA_NOT_FOUND);
    return nullptr;
  }
  if (!loadBytes(*module, *resource)) {
    SetLastError(ERROR_BAD_EXE_FORMAT);
    return nullptr;
  }
  // An empty resource still gets an address of its own.
  if (resource->bytes.empty())
    resource->bytes.reserve(1);
  return resource->bytes.data();
}

LPVOID LockResource(HGLOBAL hResData) { return hResData; }

DWORD SizeofResource(HMODULE hModule, HRSRC hResInfo) {
  const std::lock_guard<std::mutex> lock(gLock);
  ImageModule *module = nullptr;
  const FoundResource *resource = foundResource(hModule, hResInfo, module);
  if (resource == nullptr) {
    SetLastError(hResInfo == nullptr ? ERROR_INVALID_HANDLE : ERROR_RESOURCE_DATA_NOT_FOUND);
    return 0;
  }
  return resource->where.size;
}

} // namespace zelsys
