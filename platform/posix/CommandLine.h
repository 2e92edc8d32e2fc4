//===- CommandLine.h - A Windows command line as a program's arguments -----===//
//
// A Windows program receives one command line and splits it itself; the
// rules every program built with the usual runtime follows are these:
// words are separated by blanks and tabs; the program name (the first word)
// ends at the next blank unless it starts with a quote, and then at the
// next quote, with no escapes; in later words a quote switches quoting on
// and off, a pair of quotes inside quoting stands for one quote, 2n
// backslashes before a quote stand for n backslashes, 2n+1 for n and a
// literal quote, and backslashes before anything else are kept. Pure
// functions, so the rules are tested from tables. Only code that works on
// every Unix.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zelsys::posix {

// The program name and the arguments.
std::vector<std::u16string> splitCommandLine(std::u16string_view commandLine);

// Only arguments: every word follows the rules of the words after the
// program name.
std::vector<std::u16string> splitArguments(std::u16string_view arguments);

} // namespace zelsys::posix
