//===- win32/TestPrograms.cpp - Starting programs and making links for tests ===//
//
// The Windows half of the test support declared in tests/support/
// zel_run_program.h: built only into the test support library, never into
// the framework or a program. Only code for Windows belongs here.
//
//===----------------------------------------------------------------------===//
// Symbolic links came with Vista; the calls are declared from there on.
#define _WIN32_WINNT 0x0601
#include "WindowsSupport.h"

#include "zel_run_program.h"

#include <initializer_list>

namespace zeltest {

namespace {

const wchar_t *wide(const std::u16string &text) {
  return reinterpret_cast<const wchar_t *>(text.c_str());
}

// Starts command (its first word the program) and waits at most a minute,
// so that a program stuck on a box nobody can answer cannot hang the run.
// Without a folder it does not wait: Wine cannot wait for a host program.
// With output, both standard output and standard error go there.
int start(const wchar_t *program, std::wstring command, const wchar_t *folder, HANDLE input,
          HANDLE output = nullptr) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  const bool handles = input != nullptr || output != nullptr;
  startup.dwFlags = handles ? STARTF_USESTDHANDLES : 0;
  startup.hStdInput = input;
  startup.hStdOutput = output;
  startup.hStdError = output;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(program, command.data(), nullptr, nullptr, handles, 0, nullptr, folder,
                      &startup, &process))
    return -1;
  CloseHandle(process.hThread);
  DWORD code = 0;
  if (folder && WaitForSingleObject(process.hProcess, 60000) != WAIT_OBJECT_0)
    TerminateProcess(process.hProcess, code = DWORD(-1));
  else if (folder && !GetExitCodeProcess(process.hProcess, &code))
    code = DWORD(-1);
  CloseHandle(process.hProcess);
  return static_cast<int>(code);
}

// Wine's symbolic-link call does nothing yet, and Wine cannot remove a host
// link to a folder; there the host's own programs do it.
using UnixName = char *(CDECL *)(LPCWSTR);
UnixName wineUnixName() {
  return reinterpret_cast<UnixName>(reinterpret_cast<void *>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
}

// Runs command on the host names of paths and waits until the last one
// exists or not, as wanted: Wine cannot wait for a host program.
bool onWineHost(std::wstring command, std::initializer_list<std::u16string> paths, bool wanted) {
  for (const std::u16string &path : paths) {
    char *name = wineUnixName()(wide(path));
    if (name == nullptr)
      return false;
    command += L" \"" + std::wstring(name, name + lstrlenA(name)) + L"\"";
    HeapFree(GetProcessHeap(), 0, name);
  }
  const std::wstring program = L"Z:" + command.substr(0, command.find(L' '));
  if (start(program.c_str(), command, nullptr, nullptr) < 0)
    return false;
  for (int i = 0; i < 500; ++i, Sleep(10))
    if ((GetFileAttributesW(wide(*(paths.end() - 1))) != INVALID_FILE_ATTRIBUTES) == wanted)
      return true;
  return false;
}

} // namespace

std::u16string builtProgram(std::u16string_view folderAndName) {
  wchar_t self[MAX_PATH] = {};
  std::u16string path(reinterpret_cast<const char16_t *>(self),
                      GetModuleFileNameW(nullptr, self, MAX_PATH));
  for (int i = 0; i < 3; ++i) { // the test's name, its folder and "tests"
    const std::size_t cut = path.find_last_of(u'\\');
    path.resize(cut == std::u16string::npos ? 0 : cut);
  }
  return path.empty() ? path : path + u"\\" + std::u16string(folderAndName) + u".exe";
}

int runProgram(const std::u16string &program, const std::u16string &arguments,
               const std::u16string &folder, const std::optional<std::string> &input) {
  return runProgram(program, arguments, folder, input, u"");
}

int runProgram(const std::u16string &program, const std::u16string &arguments,
               const std::u16string &folder, const std::optional<std::string> &input,
               const std::u16string &output) {
  HANDLE read = nullptr, write = nullptr, file = nullptr;
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  DWORD written = 0;
  if (input && !(CreatePipe(&read, &write, &inherit, DWORD(input->size() + 4096)) &&
                 WriteFile(write, input->data(), DWORD(input->size()), &written, nullptr)))
    return -1;
  if (write)
    CloseHandle(write);
  if (!output.empty()) {
    file = CreateFileW(wide(output), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
      file = nullptr;
  }
  const int code =
      output.empty() || file
          ? start(wide(program), L"\"" + std::wstring(wide(program)) + L"\" " + wide(arguments),
                  wide(folder), read, file)
          : -1;
  for (HANDLE handle : {read, file})
    if (handle)
      CloseHandle(handle);
  return code;
}

bool makeFolderLink(const std::u16string &link, const std::u16string &target) {
  return wineUnixName()
             ? onWineHost(L"/bin/ln -s", {target, link}, true)
             : CreateSymbolicLinkW(wide(link), wide(target), SYMBOLIC_LINK_FLAG_DIRECTORY);
}

bool removeFolderLink(const std::u16string &link) {
  return wineUnixName() ? onWineHost(L"/bin/rm", {link}, false) : RemoveDirectoryW(wide(link));
}

bool makeFileLink(const std::u16string &link, const std::u16string &target) {
  return wineUnixName() ? onWineHost(L"/bin/ln -s", {target, link}, true)
                        : CreateSymbolicLinkW(wide(link), wide(target), 0);
}

// Wine's DeleteFileW deletes what a link points to, not the link.
bool removeFileLink(const std::u16string &link) {
  return wineUnixName() ? onWineHost(L"/bin/rm", {link}, false) : DeleteFileW(wide(link));
}

bool makeHardLink(const std::u16string &link, const std::u16string &existing) {
  return CreateHardLinkW(wide(link), wide(existing), nullptr);
}

} // namespace zeltest
