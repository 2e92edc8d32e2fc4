//===- CommandLine.cpp - Splitting a Windows command line ------------------===//
//
// The rules are stated in CommandLine.h. Only code that works on every Unix.
//
//===----------------------------------------------------------------------===//
#include "CommandLine.h"

namespace zelsys::posix {

namespace {

bool isBlank(char16_t c) { return c == u' ' || c == u'\t'; }

// Appends the words of text from position i on.
void splitWords(std::u16string_view text, std::size_t i, std::vector<std::u16string> &words) {
  for (;;) {
    while (i < text.size() && isBlank(text[i]))
      ++i;
    if (i >= text.size())
      return;
    std::u16string word;
    bool bQuoted = false;
    while (i < text.size() && (bQuoted || !isBlank(text[i]))) {
      if (text[i] == u'\\') {
        std::size_t count = 0;
        while (i < text.size() && text[i] == u'\\') {
          ++count;
          ++i;
        }
        if (i < text.size() && text[i] == u'"') {
          word.append(count / 2, u'\\');
          if (count % 2 == 1) {
            word += u'"';
            ++i;
          }
        } else {
          word.append(count, u'\\');
        }
      } else if (text[i] == u'"') {
        if (bQuoted && i + 1 < text.size() && text[i + 1] == u'"') {
          word += u'"';
          i += 2;
        } else {
          bQuoted = !bQuoted;
          ++i;
        }
      } else {
        word += text[i++];
      }
    }
    words.push_back(std::move(word));
  }
}

} // namespace

std::vector<std::u16string> splitCommandLine(std::u16string_view commandLine) {
  std::vector<std::u16string> words;
  std::size_t i = 0;
  while (i < commandLine.size() && isBlank(commandLine[i]))
    ++i;
  if (i >= commandLine.size())
    return words;
  std::size_t end = 0;
  if (commandLine[i] == u'"') {
    ++i;
    end = commandLine.find(u'"', i);
    if (end == std::u16string_view::npos)
      end = commandLine.size();
    words.emplace_back(commandLine.substr(i, end - i));
    if (end < commandLine.size())
      ++end;
  } else {
    end = i;
    while (end < commandLine.size() && !isBlank(commandLine[end]))
      ++end;
    words.emplace_back(commandLine.substr(i, end - i));
  }
  splitWords(commandLine, end, words);
  return words;
}

std::vector<std::u16string> splitArguments(std::u16string_view arguments) {
  std::vector<std::u16string> words;
  splitWords(arguments, 0, words);
  return words;
}

} // namespace zelsys::posix
