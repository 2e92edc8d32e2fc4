//===- posix/TestPrograms.cpp - Starting programs and making links for tests ===//
//
// The substitute's half of the test support declared in tests/support/
// zel_run_program.h, where a Windows path names a host file through the
// emulated machine's drives: built only into the test support library,
// never into the framework or a program. Only code that works on every Unix.
//
//===----------------------------------------------------------------------===//
#include "zel_run_program.h"

#include "HostPath.h"
#include "Utf.h"
#include "zelsys/kernel.h"

#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace zeltest {

namespace {

std::string hostPath(const std::u16string &path) {
  std::string host;
  zelsys::DWORD dwError = 0;
  return zelsys::posix::hostPathFromWindows(path, host, dwError) ? host : std::string();
}

} // namespace

std::u16string builtProgram(std::u16string_view folderAndName) {
  zelsys::WCHAR self[4096] = {};
  std::u16string path(self, zelsys::GetModuleFileNameW(nullptr, self, 4096));
  for (int i = 0; i < 3; ++i) { // the test's name, its folder and "tests"
    const std::size_t cut = path.find_last_of(u'\\');
    path.resize(cut == std::u16string::npos ? 0 : cut);
  }
  return path.empty() ? path : path + u"\\" + std::u16string(folderAndName);
}

int runProgram(const std::u16string &program, const std::u16string &arguments,
               const std::u16string &folder, const std::optional<std::string> &input) {
  return runProgram(program, arguments, folder, input, u"");
}

int runProgram(const std::u16string &program, const std::u16string &arguments,
               const std::u16string &folder, const std::optional<std::string> &input,
               const std::u16string &output) {
  std::string file = hostPath(program), directory = hostPath(folder);
  const std::string outputFile = output.empty() ? std::string() : hostPath(output);
  std::string words = zelsys::posix::utf16ToUtf8(arguments);
  std::vector<char *> argv{file.data()};
  for (char *word = std::strtok(words.data(), " "); word; word = std::strtok(nullptr, " "))
    argv.push_back(word);
  // The program's texts in one known language, whatever the tester's locale.
  std::vector<char *> envp{const_cast<char *>("LC_ALL=C")};
  for (char **entry = environ; *entry != nullptr; ++entry)
    if (std::strncmp(*entry, "LC_ALL=", 7) != 0)
      envp.push_back(*entry);
  argv.push_back(nullptr);
  envp.push_back(nullptr);
  // The input as a file: unlike a pipe it cannot fill up, nor break when
  // the program stops reading early.
  const std::unique_ptr<FILE, int (*)(FILE *)> in(input ? std::tmpfile() : nullptr, std::fclose);
  if (file.empty() || directory.empty() || (!output.empty() && outputFile.empty()) ||
      (input && !(in && std::fputs(input->c_str(), in.get()) >= 0 && std::fflush(in.get()) == 0 &&
                  ::lseek(fileno(in.get()), 0, SEEK_SET) == 0)))
    return -1;

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  // Without input, a standard input open for writing only: a closed one
  // would be taken by the first file the program opens.
  if (in)
    posix_spawn_file_actions_adddup2(&actions, fileno(in.get()), STDIN_FILENO);
  else
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_WRONLY, 0);
  // The boxes the program shows would only clutter the test's output.
  if (outputFile.empty()) {
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  } else {
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outputFile.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
  }
  posix_spawn_file_actions_addchdir_np(&actions, directory.c_str());
  pid_t pid = -1;
  int status = 0;
  const int spawned =
      ::posix_spawn(&pid, file.c_str(), &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0 || ::waitpid(pid, &status, 0) != pid)
    return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

bool makeFolderLink(const std::u16string &link, const std::u16string &target) {
  const std::string from = hostPath(link), to = hostPath(target);
  return !from.empty() && !to.empty() && ::symlink(to.c_str(), from.c_str()) == 0;
}

bool removeFolderLink(const std::u16string &link) {
  const std::string host = hostPath(link);
  return !host.empty() && ::unlink(host.c_str()) == 0;
}

bool makeFileLink(const std::u16string &link, const std::u16string &target) {
  return makeFolderLink(link, target);
}

bool removeFileLink(const std::u16string &link) { return removeFolderLink(link); }

bool makeHardLink(const std::u16string &link, const std::u16string &existing) {
  const std::string from = hostPath(link), to = hostPath(existing);
  return !from.empty() && !to.empty() && ::link(to.c_str(), from.c_str()) == 0;
}

} // namespace zeltest
