// zelhive.cpp - writes a Windows hive file from a text description, so
// Windows installations can be laid out on Linux for the offline patch and
// its tests. The description format is in kUsage; the file is written by
// the substitute's hive writer (whole, beside the target, then renamed).
#include "RegfWriter.h"
#include "Utf.h"

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <string>
#include <utility>

namespace {

using zelsys::DWORD;
using zelsys::posix::HiveKey;
using zelsys::posix::HiveTree;
using zelsys::posix::ValueRecord;

const char kUsage[] = R"(usage: zelhive [--root NAME] DESCRIPTION HIVE

Writes the Windows hive file HIVE (replacing it whole) from the text file
DESCRIPTION (UTF-8; "-" reads standard input). NAME is the root key's name
(default ROOT). Every key gets the current time as its last-write time.

The description, one item a line; blank lines and lines starting with "#"
are skipped:
  [Path\To\Key]      a key below the root, its missing parents made too;
                     "[]" is the root. The values that follow belong to it.
  "Name"=TYPE:DATA   a value of the last key ("@" instead of "Name" is the
                     default value); a later line of the same name replaces it.
TYPE and DATA:
  sz:TEXT, expand_sz:TEXT   the text and a terminating zero unit
  multi_sz:TEXT             write \0 between the strings; the terminating
                            \0\0 is added
  dword:N, qword:N          decimal, or hexadecimal after 0x
  hex:BYTES                 REG_BINARY: pairs of hex digits, commas and
                            spaces between them allowed
  hex(T):BYTES              any type T (decimal or 0x hex) with these bytes
  none:                     REG_NONE, no data
In names and texts: \\ is a backslash, \" a quote, \0 a zero unit, \n a
line feed, \t a tab.
)";

struct DescriptionError {
  std::string message;
};

[[noreturn]] void fail(const std::string &message) { throw DescriptionError{message}; }

std::u16string unescape(std::string_view text) {
  std::string plain;
  std::u16string out;
  auto flush = [&] {
    out += zelsys::posix::utf8ToUtf16(plain);
    plain.clear();
  };
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      plain.push_back(text[i]);
      continue;
    }
    if (++i == text.size())
      fail("a backslash ends the text");
    flush();
    switch (text[i]) {
    case '\\':
      out.push_back(u'\\');
      break;
    case '"':
      out.push_back(u'"');
      break;
    case '0':
      out.push_back(u'\0');
      break;
    case 'n':
      out.push_back(u'\n');
      break;
    case 't':
      out.push_back(u'\t');
      break;
    default:
      fail(std::string("unknown escape \\") + text[i]);
    }
  }
  flush();
  return out;
}

std::uint64_t number(const std::string &text, std::uint64_t limit) {
  std::size_t used = 0;
  std::uint64_t value = 0;
  try {
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    value = std::stoull(hex ? text.substr(2) : text, &used, hex ? 16 : 10);
    used += hex ? 2 : 0;
  } catch (const std::exception &) {
    fail("not a number: " + text);
  }
  if (used != text.size() || text[0] == '-' || value > limit)
    fail("not a number in range: " + text);
  return value;
}

std::vector<zelsys::BYTE> littleEndian(std::uint64_t value, int bytes) {
  std::vector<zelsys::BYTE> out;
  for (int i = 0; i < bytes; ++i)
    out.push_back(static_cast<zelsys::BYTE>((value >> (8 * i)) & 0xff));
  return out;
}

std::vector<zelsys::BYTE> hexBytes(const std::string &text) {
  std::vector<zelsys::BYTE> out;
  std::string digits;
  for (char c : text)
    if (c != ',' && c != ' ' && c != '\t')
      digits.push_back(c);
  if (digits.size() % 2 != 0 ||
      digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
    fail("not pairs of hex digits: " + text);
  for (std::size_t i = 0; i < digits.size(); i += 2)
    out.push_back(static_cast<zelsys::BYTE>(std::stoul(digits.substr(i, 2), nullptr, 16)));
  return out;
}

std::vector<zelsys::BYTE> textBytes(std::u16string text) {
  std::vector<zelsys::BYTE> out;
  for (char16_t unit : text) {
    out.push_back(static_cast<zelsys::BYTE>(unit & 0xff));
    out.push_back(static_cast<zelsys::BYTE>(unit >> 8));
  }
  return out;
}

ValueRecord parseValue(const std::string &line) {
  ValueRecord value;
  std::size_t at = 0;
  if (line[0] == '@') {
    at = 1;
  } else {
    std::size_t end = 1;
    while (end < line.size() && line[end] != '"')
      end += line[end] == '\\' ? 2 : 1;
    if (end >= line.size())
      fail("the value name has no closing quote");
    value.name = unescape(std::string_view(line).substr(1, end - 1));
    at = end + 1;
  }
  if (at >= line.size() || line[at] != '=')
    fail("expected = after the value name");
  const std::size_t colon = line.find(':', at);
  if (colon == std::string::npos)
    fail("expected TYPE:DATA");
  const std::string type = line.substr(at + 1, colon - at - 1);
  const std::string data = line.substr(colon + 1);
  if (type == "sz" || type == "expand_sz") {
    value.type = type == "sz" ? zelsys::REG_SZ : zelsys::REG_EXPAND_SZ;
    value.data = textBytes(unescape(data) + u'\0');
  } else if (type == "multi_sz") {
    value.type = zelsys::REG_MULTI_SZ;
    value.data = textBytes(unescape(data) + u'\0' + u'\0');
  } else if (type == "dword") {
    value.type = zelsys::REG_DWORD;
    value.data = littleEndian(number(data, 0xFFFFFFFFu), 4);
  } else if (type == "qword") {
    value.type = zelsys::REG_QWORD;
    value.data = littleEndian(number(data, ~std::uint64_t{0}), 8);
  } else if (type == "hex") {
    value.type = zelsys::REG_BINARY;
    value.data = hexBytes(data);
  } else if (type.size() > 5 && type.compare(0, 4, "hex(") == 0 && type.back() == ')') {
    value.type = static_cast<DWORD>(number(type.substr(4, type.size() - 5), 0xFFFFFFFFu));
    value.data = hexBytes(data);
  } else if (type == "none") {
    if (!data.empty())
      fail("none takes no data");
    value.type = zelsys::REG_NONE;
  } else {
    fail("unknown type " + type);
  }
  return value;
}

class TreeBuilder {
public:
  explicit TreeBuilder(std::u16string rootName, std::uint64_t now) : now_(now) {
    tree_.push_back(HiveKey{std::move(rootName), {}, now, {}, 0});
  }

  void openKey(const std::string &path) {
    current_ = 0;
    std::size_t start = 0;
    while (start < path.size()) {
      std::size_t end = path.find('\\', start);
      if (end == std::string::npos)
        end = path.size();
      const std::u16string name = zelsys::posix::utf8ToUtf16(path.substr(start, end - start));
      if (name.empty())
        fail("an empty key name in [" + path + "]");
      const auto key = std::make_pair(current_, zelsys::posix::upcase(name));
      const auto found = index_.find(key);
      if (found != index_.end()) {
        current_ = found->second;
      } else {
        tree_.push_back(HiveKey{name, {}, now_, {}, current_});
        current_ = tree_.size() - 1;
        index_.emplace(key, current_);
      }
      start = end + 1;
    }
  }

  void addValue(ValueRecord value) {
    auto &values = tree_[current_].values;
    for (ValueRecord &existing : values)
      if (zelsys::posix::equalsIgnoreCase(existing.name, value.name)) {
        existing = std::move(value);
        return;
      }
    values.push_back(std::move(value));
  }

  const HiveTree &tree() const { return tree_; }

private:
  HiveTree tree_;
  std::map<std::pair<std::size_t, std::u16string>, std::size_t> index_;
  std::size_t current_ = 0;
  std::uint64_t now_;
};

void readDescription(std::istream &in, TreeBuilder &builder) {
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    if (!line.empty() && line.back() == '\r')
      line.pop_back();
    try {
      if (line.empty() || line[0] == '#')
        continue;
      if (line[0] == '[') {
        if (line.back() != ']')
          fail("a key line ends in ]");
        builder.openKey(line.substr(1, line.size() - 2));
      } else if (line[0] == '"' || line[0] == '@') {
        builder.addValue(parseValue(line));
      } else {
        fail("expected [key], \"name\"=... or @=...");
      }
    } catch (const DescriptionError &error) {
      fail("line " + std::to_string(number) + ": " + error.message);
    }
  }
}

std::uint64_t fileTimeNow() {
  const auto since1970 = std::chrono::duration_cast<std::chrono::seconds>(
      std::chrono::system_clock::now().time_since_epoch());
  return (static_cast<std::uint64_t>(since1970.count()) + 11644473600ull) * 10000000ull;
}

} // namespace

int main(int argc, char **argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  std::string rootName = "ROOT";
  if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (args.size() == 4 && args[0] == "--root") {
    rootName = args[1];
    args.erase(args.begin(), args.begin() + 2);
  }
  if (args.size() != 2) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  TreeBuilder builder(zelsys::posix::utf8ToUtf16(rootName), fileTimeNow());
  try {
    if (args[0] == "-") {
      readDescription(std::cin, builder);
    } else {
      std::ifstream in(args[0]);
      if (!in)
        fail("cannot read " + args[0]);
      readDescription(in, builder);
    }
  } catch (const DescriptionError &error) {
    std::fprintf(stderr, "zelhive: %s\n", error.message.c_str());
    return 1;
  }
  const DWORD result = zelsys::posix::writeRegfFile(args[1], builder.tree());
  if (result != zelsys::ERROR_SUCCESS) {
    std::fprintf(stderr, "zelhive: cannot write %s (error %u)\n", args[1].c_str(),
                 static_cast<unsigned>(result));
    return 1;
  }
  return 0;
}
