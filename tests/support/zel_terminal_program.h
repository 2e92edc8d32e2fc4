// zel_terminal_program.h - running a program of this build tree on a
// terminal of its own, for tests of what the substitute asks on the
// terminal (message boxes). Only the substitute asks there, so only its test
// support has it.
#pragma once

#include <string>

namespace zeltest {

// Runs the program at a Windows path (no arguments) on a new
// pseudo-terminal with the English texts, waits until its output holds
// prompt, then types answer and a newline; collects everything the terminal
// showed (the echoed answer included) in output. Returns the exit code, or
// -1 when the program could not be started or did not end within
// timeoutSeconds (it is then killed).
int runOnTerminal(const std::u16string &program, const std::string &prompt,
                  const std::string &answer, std::string &output, int timeoutSeconds = 30);

} // namespace zeltest
