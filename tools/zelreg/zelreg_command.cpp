// zelreg_command.cpp - parsing zelreg's command line.
//
// An argument is an option when it starts with "/" or "-" and holds no
// further "/" or "\": so a host path such as /tmp/tree.txt stays a file
// name on Linux, and no option of the tool is lost. Options are matched
// without regard to case; "-" and "/" are the same lead. An option that
// takes a value takes the next argument whatever it looks like, so data
// may start with "/" or "-".
#include "zelreg_command.h"

#include "zelsys/winconst.h"

#include <algorithm>
#include <iterator>
#include <utility>

namespace zelreg {

namespace {

struct RootEntry {
  const char16_t *shortName;
  const char16_t *longName;
  zelsys::HKEY root;
};

const RootEntry ROOTS[] = {
    {u"hklm", u"HKEY_LOCAL_MACHINE", zelsys::HKEY_LOCAL_MACHINE},
    {u"hkcu", u"HKEY_CURRENT_USER", zelsys::HKEY_CURRENT_USER},
    {u"hkcr", u"HKEY_CLASSES_ROOT", zelsys::HKEY_CLASSES_ROOT},
    {u"hku", u"HKEY_USERS", zelsys::HKEY_USERS},
    {u"hkcc", u"HKEY_CURRENT_CONFIG", zelsys::HKEY_CURRENT_CONFIG},
};

struct OperationEntry {
  const char16_t *name;
  Operation operation;
  std::size_t positional; // key and file arguments
};

const OperationEntry OPERATIONS[] = {
    {u"query", Operation::Query, 1},   {u"add", Operation::Add, 1},
    {u"delete", Operation::Delete, 1}, {u"export", Operation::Export, 2},
    {u"import", Operation::Import, 1},
};

// Which options an operation takes, and whether each takes a value.
struct OptionEntry {
  const char16_t *name;
  std::initializer_list<Operation> operations;
  bool takesValue;
};

const OptionEntry OPTIONS[] = {
    {u"/v", {Operation::Query, Operation::Add, Operation::Delete}, true},
    {u"/ve", {Operation::Query, Operation::Add, Operation::Delete}, false},
    {u"/va", {Operation::Delete}, false},
    {u"/s", {Operation::Query}, false},
    {u"/s", {Operation::Add}, true},
    {u"/t", {Operation::Add}, true},
    {u"/d", {Operation::Add}, true},
    {u"/f", {Operation::Add, Operation::Delete}, false},
    {u"/y", {Operation::Export}, false},
    {u"/reg:32", {Operation::Query, Operation::Add, Operation::Delete}, false},
    {u"/reg:64", {Operation::Query, Operation::Add, Operation::Delete}, false},
};

bool isOption(const std::u16string &arg) {
  return arg.size() >= 2 && (arg[0] == u'/' || arg[0] == u'-') &&
         arg.find_first_of(u"/\\", 1) == std::u16string::npos;
}

// "-x" and "/X" alike become "/x"; "--help" asks for help like "/?".
std::u16string optionName(const std::u16string &arg) {
  const std::u16string lower = lowerAscii(arg);
  return lower == u"--help" ? u"/?" : u"/" + lower.substr(1);
}

const OptionEntry *findOption(const std::u16string &name, Operation operation) {
  for (const OptionEntry &option : OPTIONS)
    if (name == option.name && std::find(option.operations.begin(), option.operations.end(),
                                         operation) != option.operations.end())
      return &option;
  return nullptr;
}

// Stores one option's effect; false when it was given already.
bool applyOption(const std::u16string &name, const std::u16string &value, Command &command) {
  auto setOnce = [](std::optional<std::u16string> &slot, const std::u16string &text) {
    const bool first = !slot.has_value();
    slot = text;
    return first;
  };
  auto flagOnce = [](bool &flag) { return !std::exchange(flag, true); };
  if (name == u"/v")
    return setOnce(command.valueName, value);
  if (name == u"/ve")
    return flagOnce(command.defaultValue);
  if (name == u"/va")
    return flagOnce(command.allValues);
  if (name == u"/s")
    return command.operation == Operation::Add ? setOnce(command.separator, value)
                                               : flagOnce(command.recursive);
  if (name == u"/t")
    return setOnce(command.type, value);
  if (name == u"/d")
    return setOnce(command.data, value);
  if (name == u"/f" || name == u"/y")
    return flagOnce(command.force);
  const zelsys::REGSAM view =
      name == u"/reg:32" ? zelsys::KEY_WOW64_32KEY : zelsys::KEY_WOW64_64KEY;
  const bool first = (command.view & view) == 0;
  command.view |= view;
  return first;
}

// The checks that need the whole command line.
bool checkCombination(const Command &command, std::u16string &error) {
  const int valueChoices =
      (command.valueName ? 1 : 0) + (command.defaultValue ? 1 : 0) + (command.allValues ? 1 : 0);
  if (valueChoices > 1)
    error = u"Only one of /v, /ve and /va may be given.";
  else if (command.view == (zelsys::KEY_WOW64_32KEY | zelsys::KEY_WOW64_64KEY))
    error = u"Only one of /reg:32 and /reg:64 may be given.";
  else if (command.separator && command.separator->size() != 1)
    error = u"The separator after /s must be one character.";
  return error.empty();
}

} // namespace

std::u16string lowerAscii(std::u16string text) {
  for (char16_t &unit : text)
    if (unit >= u'A' && unit <= u'Z')
      unit = static_cast<char16_t>(unit - u'A' + u'a');
  return text;
}

bool parseKeyName(const std::u16string &text, KeyName &key) {
  const std::size_t cut = text.find(u'\\');
  const std::u16string root = lowerAscii(text.substr(0, cut));
  const auto found = std::find_if(std::begin(ROOTS), std::end(ROOTS), [&](const RootEntry &entry) {
    return root == entry.shortName || root == lowerAscii(entry.longName);
  });
  if (found == std::end(ROOTS))
    return false;
  std::u16string path = cut == std::u16string::npos ? u"" : text.substr(cut + 1);
  while (!path.empty() && path.back() == u'\\') // "HKCU\Software\" names Software
    path.pop_back();
  // An empty component ("a\\b", or "\" straight after the root) names no key.
  if (path.find(u"\\\\") != std::u16string::npos || (!path.empty() && path.front() == u'\\'))
    return false;
  key = {found->root, path, found->longName};
  return true;
}

bool parseCommand(const std::vector<std::u16string> &args, Command &command,
                  std::u16string &error) {
  command = Command();
  if (args.empty()) {
    error = u"Missing operation. Type \"zelreg /?\" for usage.";
    return false;
  }
  if (isOption(args[0]) && optionName(args[0]) == u"/?")
    return true;
  const std::u16string name = lowerAscii(args[0]);
  const auto found = std::find_if(std::begin(OPERATIONS), std::end(OPERATIONS),
                                  [&](const OperationEntry &entry) { return name == entry.name; });
  if (found == std::end(OPERATIONS)) {
    error = u"Invalid operation: " + args[0] + u". Type \"zelreg /?\" for usage.";
    return false;
  }
  command.operation = found->operation;
  std::vector<std::u16string> positional;
  for (std::size_t i = 1; i < args.size(); ++i) {
    if (!isOption(args[i])) {
      positional.push_back(args[i]);
      continue;
    }
    const std::u16string option = optionName(args[i]);
    if (option == u"/?") {
      command.helpFor = command.operation;
      command.operation = Operation::Help;
      return true;
    }
    const OptionEntry *entry = findOption(option, command.operation);
    if (entry == nullptr) {
      // A file of the text format names no registry view.
      error = option.starts_with(u"/reg:") && (command.operation == Operation::Export ||
                                               command.operation == Operation::Import)
                  ? u"/reg:32 and /reg:64 do not apply to export and import."
                  : u"Invalid option for " + name + u": " + args[i];
      return false;
    }
    if (entry->takesValue && i + 1 == args.size()) {
      error = u"Missing value after " + args[i];
      return false;
    }
    const std::u16string value = entry->takesValue ? args[++i] : u"";
    if (!applyOption(option, value, command)) {
      error = u"Option given twice: " + args[i - (entry->takesValue ? 1 : 0)];
      return false;
    }
  }
  if (positional.size() < found->positional) {
    error = positional.empty() && command.operation != Operation::Import ? u"Missing key name."
                                                                         : u"Missing file name.";
    return false;
  }
  if (positional.size() > found->positional) {
    error = u"Too many arguments: " + positional[found->positional];
    return false;
  }
  if (command.operation == Operation::Import) {
    command.file = positional[0];
    return checkCombination(command, error);
  }
  if (!parseKeyName(positional[0], command.key)) {
    error = u"Invalid key name: " + positional[0];
    return false;
  }
  if (command.operation == Operation::Export)
    command.file = positional[1];
  return checkCombination(command, error);
}

} // namespace zelreg
