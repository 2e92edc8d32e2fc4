// killed_writer.h - a writer process killed with SIGKILL part-way through
// its calls, and the numbers of the calls that had returned by then.
#pragma once

#include <csignal>
#include <functional>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

struct KilledWriter {
  std::vector<int> returned; // in the order they returned
  bool killed = false;       // false: the child ended some other way
  int exitStatus = -1;       // its exit status when it was not killed
};

// Forks a child that runs setup() once, then write(0), write(1), ... and
// reports each number whose call returned; a failing setup or write ends
// the child with a status of its own. The parent waits for the first report
// when awaitFirst is set, runs whileWriting, sleeps the given time and kills
// the child.
inline KilledWriter killWriter(const std::function<bool()> &setup,
                               const std::function<bool(int)> &write, bool awaitFirst,
                               unsigned sleepMicroseconds,
                               const std::function<void()> &whileWriting = {}) {
  KilledWriter result;
  int reports[2];
  if (::pipe(reports) != 0)
    return result;
  const pid_t child = ::fork();
  if (child < 0)
    return result;
  if (child == 0) {
    ::close(reports[0]);
    if (!setup())
      ::_exit(2);
    for (int i = 0;; ++i)
      if (!write(i) || ::write(reports[1], &i, sizeof i) != sizeof i)
        ::_exit(3);
  }
  ::close(reports[1]);
  int first = 0;
  if (awaitFirst && ::read(reports[0], &first, sizeof first) == sizeof first)
    result.returned.push_back(first);
  if (whileWriting)
    whileWriting();
  ::usleep(sleepMicroseconds);
  ::kill(child, SIGKILL);
  int status = 0;
  result.killed = ::waitpid(child, &status, 0) == child && WIFSIGNALED(status);
  result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  for (int i; ::read(reports[0], &i, sizeof i) == static_cast<ssize_t>(sizeof i);)
    result.returned.push_back(i);
  ::close(reports[0]);
  return result;
}
