//===- posix/TestTerminal.cpp - Running a program on a pseudo-terminal -----===//
//
// The substitute's test support declared in tests/support/
// zel_terminal_program.h: built only into the test support library, never
// into the framework or a program. Only code that works on every Unix.
//
//===----------------------------------------------------------------------===//
#include "HostIo.h"
#include "zel_terminal_program.h"

#include "HostPath.h"
#include "zelsys/wintypes.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace zeltest {

namespace {

// Writes all of text to the terminal; false when it cannot.
bool typeText(int fd, const std::string &text) {
  return zelsys::posix::writeAll(fd, text.data(), text.size());
}

} // namespace

int runOnTerminal(const std::u16string &program, const std::string &prompt,
                  const std::string &answer, std::string &output, int timeoutSeconds) {
  std::string file;
  zelsys::DWORD dwError = 0;
  if (!zelsys::posix::hostPathFromWindows(program, file, dwError))
    return -1;
  // The program's texts in one known language, whatever the tester's locale;
  // prepared before the fork, after which the child may only exec.
  std::vector<char *> envp{const_cast<char *>("LC_ALL=C")};
  for (char **entry = environ; *entry != nullptr; ++entry)
    if (std::strncmp(*entry, "LC_ALL=", 7) != 0)
      envp.push_back(*entry);
  envp.push_back(nullptr);
  char *const argv[] = {file.data(), nullptr};
  int master = -1;
  const pid_t pid = ::forkpty(&master, nullptr, nullptr, nullptr);
  if (pid < 0)
    return -1;
  if (pid == 0) {
    ::execve(file.c_str(), argv, envp.data());
    ::_exit(127);
  }

  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
  bool answered = false;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0)
      break;
    pollfd wait{master, POLLIN, 0};
    const int ready = ::poll(&wait, 1, static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR)
      continue;
    if (ready <= 0)
      break;
    char chunk[512];
    const ssize_t got = ::read(master, chunk, sizeof chunk);
    if (got < 0 && errno == EINTR)
      continue;
    // Linux reports EIO once the program's side of the terminal is closed.
    if (got <= 0)
      break;
    output.append(chunk, static_cast<std::size_t>(got));
    if (!answered && output.find(prompt) != std::string::npos) {
      answered = true;
      if (!typeText(master, answer + "\n"))
        break;
    }
  }
  ::close(master);
  // The program has a second to end once its terminal is gone; one still
  // running then is killed, never left behind.
  int status = 0;
  pid_t ended = ::waitpid(pid, &status, WNOHANG);
  for (int i = 0; ended == 0 && i < 20; ++i) {
    ::usleep(50000);
    ended = ::waitpid(pid, &status, WNOHANG);
  }
  if (ended == 0) {
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
    return -1;
  }
  return ended == pid && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace zeltest
