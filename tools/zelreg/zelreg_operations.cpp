// zelreg_operations.cpp - query, add, delete, export and import.
//
// Keys and values are written, listed and deleted through the framework's
// key and value classes, files through its registry text format; the few
// questions those classes do not answer (does this value exist, what does
// the default value hold, what is a value's type) go to the registry calls
// on a handle the key object opened. Every operation checks its input and
// what it needs to find before it changes anything, and asks before it
// replaces or deletes anything unless /f (or /y) says not to.
#include "zelreg_operations.h"
#include "zelreg_text.h"

#include "zel_registry_binary.h"
#include "zel_registry_dword.h"
#include "zel_registry_file.h"
#include "zel_registry_key.h"
#include "zel_registry_multi_string.h"
#include "zel_registry_string.h"
#include "zel_registry_string_expand.h"

#include "zelsys/files.h"
#include "zelsys/registry.h"
#include "zelsys/security.h"
#include "zelsys/winconst.h"

#include <algorithm>
#include <vector>

namespace zelreg {

namespace {

using zelsys::DWORD;

constexpr zelsys::REGSAM READ = zelsys::KEY_READ;
constexpr zelsys::REGSAM READ_WRITE = zelsys::KEY_READ | zelsys::KEY_WRITE;

const char16_t NOT_FOUND[] = u"The system was unable to find the specified registry key or value.";
const char16_t DEFAULT_NAME[] = u"(Default)";

int done() {
  say(u"The operation completed successfully.");
  return EXIT_DONE;
}

int cancelled() {
  say(u"The operation was cancelled.");
  return EXIT_CANCELLED;
}

std::u16string text(const CZELWCharString &string) {
  const ZEL_USHORT *units = string.getBuffer();
  return units == nullptr ? std::u16string() : std::u16string(units, string.getLength());
}

CZELWCharString framework(const std::u16string &string) { return CZELWCharString(string.c_str()); }

std::u16string shownName(const std::u16string &name) { return name.empty() ? DEFAULT_NAME : name; }

// The registry calls take a null name for the default value.
const char16_t *callName(const std::u16string &name) {
  return name.empty() ? nullptr : name.c_str();
}

std::u16string childPath(const std::u16string &path, const std::u16string &name) {
  return path.empty() ? name : path + u"\\" + name;
}

// A value's type and bytes from an open key; the registry's result code.
zelsys::LSTATUS readValue(zelsys::HKEY hKey, const std::u16string &name, DWORD &type, Bytes &data) {
  DWORD size = 0;
  zelsys::LSTATUS status =
      zelsys::RegQueryValueExW(hKey, callName(name), nullptr, &type, nullptr, &size);
  // The value may grow between the two calls: ask again with its new size.
  for (int attempt = 0; status == zelsys::ERROR_SUCCESS && attempt < 8; ++attempt) {
    data.assign(size, 0);
    status = zelsys::RegQueryValueExW(hKey, callName(name), nullptr, &type, data.data(), &size);
    if (status == zelsys::ERROR_SUCCESS) {
      data.resize(size);
      return status;
    }
    if (status == static_cast<zelsys::LSTATUS>(zelsys::ERROR_MORE_DATA))
      status = zelsys::ERROR_SUCCESS;
  }
  return status;
}

bool valueExists(CZELRegistryKey &key, const std::u16string &name) {
  DWORD size = 0;
  return key.open() && zelsys::RegQueryValueExW(key.getKeyHandle(), callName(name), nullptr,
                                                nullptr, nullptr, &size) == zelsys::ERROR_SUCCESS;
}

void sayValue(const std::u16string &name, DWORD type, const Bytes &data) {
  say(u"    " + shownName(name) + u"    " + typeName(type) + u"    " + displayData(type, data));
}

// Prints a key's block: a blank line, its name, its default value when it
// has one, then its named values in the registry's order.
bool sayKey(CZELRegistryKey &key, const std::u16string &shown) {
  say(u"");
  say(shown);
  if (!key.open())
    return false;
  DWORD type = 0;
  Bytes data;
  const bool hasDefault = readValue(key.getKeyHandle(), u"", type, data) == zelsys::ERROR_SUCCESS;
  if (hasDefault)
    sayValue(u"", type, data);
  CZELRegistryValentList values;
  // enumAllValues is false for a key without named values, so only a count
  // beyond the default value makes its false an error.
  if (!key.enumAllValues(values)) {
    ZEL_ULONG ulValues = 0;
    return key.getNumValues(ulValues) && ulValues <= (hasDefault ? 1u : 0u);
  }
  for (auto *pNode = values.begin().getCursorNode(); pNode != nullptr; pNode = pNode->getNext()) {
    const CZELRegistryValent &value = pNode->getItemRef();
    const CZELBuffer<ZEL_BYTE> &bytes = value.getData();
    sayValue(text(value.getValueName()), value.getType(),
             Bytes(bytes.getBuffer(), bytes.getBuffer() + bytes.getSize()));
  }
  return true;
}

bool subKeyNames(CZELRegistryKey &key, std::vector<std::u16string> &names) {
  CZELWCharStringList list;
  if (!key.enumAllSubKeys(list))
    return false;
  names.clear();
  for (auto *pNode = list.begin().getCursorNode(); pNode != nullptr; pNode = pNode->getNext())
    names.push_back(text(pNode->getItemRef()));
  return true;
}

// The whole tree in pre-order, each key followed by its sub-keys in the
// registry's order. An explicit stack: the depth of a tree costs no stack.
int queryTree(const Command &command) {
  std::vector<std::u16string> pending{command.key.path};
  while (!pending.empty()) {
    const std::u16string path = pending.back();
    pending.pop_back();
    CZELRegistryKey key(command.key.root, framework(path), READ | command.view);
    std::vector<std::u16string> names;
    const KeyName shown{command.key.root, path, command.key.rootName};
    if (!sayKey(key, shown.full()) || !subKeyNames(key, names))
      return fail(u"Cannot read the key " + shown.full());
    for (auto name = names.rbegin(); name != names.rend(); ++name)
      pending.push_back(childPath(path, *name));
  }
  return EXIT_DONE;
}

// The data of add, checked and converted before anything is written.
struct NewValue {
  DWORD type = zelsys::REG_SZ;
  std::u16string text;
  DWORD number = 0;
  Bytes bytes;
  std::vector<std::u16string> strings;
};

bool prepareValue(const Command &command, NewValue &value, std::u16string &error) {
  if (command.type && !typeFromName(*command.type, value.type)) {
    error = u"Invalid type: " + *command.type +
            u". Use REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ, REG_DWORD or REG_BINARY.";
    return false;
  }
  if (command.separator && value.type != zelsys::REG_MULTI_SZ) {
    error = u"/s <separator> applies only to REG_MULTI_SZ.";
    return false;
  }
  const std::u16string data = command.data.value_or(u"");
  switch (value.type) {
  case zelsys::REG_DWORD:
    if (!parseDword(command.data ? data : u"0", value.number))
      error = u"Invalid REG_DWORD data: " + data +
              u". Give a number from 0 to 4294967295, decimal or hexadecimal after 0x.";
    break;
  case zelsys::REG_BINARY:
    if (!parseBinary(data, value.bytes))
      error = u"Invalid REG_BINARY data: " + data + u". Give pairs of hexadecimal digits.";
    break;
  case zelsys::REG_MULTI_SZ:
    if (!splitMultiString(data, command.separator.value_or(u"\\0"), value.strings))
      error = u"Invalid REG_MULTI_SZ data: a REG_MULTI_SZ value cannot hold an empty string.";
    break;
  case zelsys::REG_EXPAND_SZ:
    // The framework stores only texts made of whole %NAME% references.
    if (const auto percents = std::count(data.begin(), data.end(), u'%');
        percents == 0 || percents % 2 != 0)
      error = u"Invalid REG_EXPAND_SZ data: " + data +
              u". It must hold whole %NAME% references (an even number of \"%\").";
    value.text = data;
    break;
  default:
    value.text = data;
  }
  return error.empty();
}

bool writeValue(const Command &command, const std::u16string &name, const NewValue &value) {
  const CZELWCharString path = framework(command.key.path), valueName = framework(name);
  const zelsys::HKEY root = command.key.root;
  const zelsys::REGSAM access = READ_WRITE | command.view;
  switch (value.type) {
  case zelsys::REG_DWORD:
    return CZELRegistryDword(root, path, valueName, access, true)
        .setRegistryDword(value.number, false);
  case zelsys::REG_EXPAND_SZ:
    return CZELRegistryStringExpand(root, path, valueName, access, true)
        .setRegistryString(framework(value.text), false);
  case zelsys::REG_MULTI_SZ: {
    CZELWCharStringList list;
    for (std::size_t i = 0; i < value.strings.size(); ++i)
      list.add(framework(value.strings[i]), static_cast<ZEL_ULONG>(i));
    return CZELRegistryMultiString(root, path, valueName, access, true).set(list, false);
  }
  case zelsys::REG_BINARY: {
    const auto count = static_cast<ZEL_ULONG>(value.bytes.size());
    const CZELBuffer<ZEL_BYTE> bytes =
        count == 0 ? CZELBuffer<ZEL_BYTE>() : CZELBuffer<ZEL_BYTE>(value.bytes.data(), count);
    return CZELRegistryBinary(root, path, valueName, access, true).setRegistryBinary(bytes, false);
  }
  default:
    return CZELRegistryString(root, path, valueName, access, true)
        .setRegistryString(framework(value.text), false);
  }
}

// Any typed class deletes a value, whatever the value's type.
bool deleteValue(const Command &command, const std::u16string &name) {
  return CZELRegistryBinary(command.key.root, framework(command.key.path), framework(name),
                            READ_WRITE | command.view)
      .deleteRegistryValue();
}

// The file's full path: the profile calls would look for a bare name in the
// Windows folder, where the user did not mean it.
bool fullPath(const std::u16string &file, std::u16string &full) {
  const DWORD needed = zelsys::GetFullPathNameW(file.c_str(), 0, nullptr, nullptr);
  if (needed == 0)
    return false;
  std::u16string buffer(needed, u'\0');
  const DWORD length = zelsys::GetFullPathNameW(file.c_str(), needed, buffer.data(), nullptr);
  if (length == 0 || length >= needed)
    return false;
  full = buffer.substr(0, length);
  return true;
}

} // namespace

int runQuery(const Command &command) {
  CZELRegistryKey key(command.key.root, framework(command.key.path), READ | command.view);
  if (!key.open())
    return fail(NOT_FOUND);
  if (command.valueName || command.defaultValue) {
    const std::u16string name = command.valueName.value_or(u"");
    DWORD type = 0;
    Bytes data;
    if (readValue(key.getKeyHandle(), name, type, data) != zelsys::ERROR_SUCCESS)
      return fail(NOT_FOUND);
    say(u"");
    say(command.key.full());
    sayValue(name, type, data);
    return EXIT_DONE;
  }
  if (command.recursive)
    return queryTree(command);
  std::vector<std::u16string> names;
  if (!sayKey(key, command.key.full()) || !subKeyNames(key, names))
    return fail(u"Cannot read the key " + command.key.full());
  if (!names.empty())
    say(u"");
  for (const std::u16string &name : names)
    say(childPath(command.key.full(), name));
  return EXIT_DONE;
}

int runAdd(const Command &command) {
  const bool wantsValue = command.valueName || command.defaultValue || command.type ||
                          command.data || command.separator;
  if (!wantsValue) {
    CZELRegistryKey key(command.key.root, framework(command.key.path), READ_WRITE | command.view,
                        true);
    return key.create() ? done() : fail(u"The key " + command.key.full() + u" cannot be created.");
  }
  NewValue value;
  std::u16string error;
  if (!prepareValue(command, value, error))
    return fail(error);
  // Without /v or /ve the data goes to the default value.
  const std::u16string name = command.valueName.value_or(u"");
  CZELRegistryKey key(command.key.root, framework(command.key.path), READ | command.view);
  if (!command.force && valueExists(key, name) &&
      !confirm(u"Value " + shownName(name) + u" exists, overwrite(Yes/No)?"))
    return cancelled();
  key.close();
  return writeValue(command, name, value)
             ? done()
             : fail(u"The value " + shownName(name) + u" cannot be written.");
}

int runDelete(const Command &command) {
  const std::u16string shown = command.key.full();
  CZELRegistryKey key(command.key.root, framework(command.key.path), READ | command.view);
  if (!command.valueName && !command.defaultValue && !command.allValues) {
    if (command.key.path.empty())
      return fail(u"A root key cannot be deleted.");
    if (!key.doesRegistryKeyExist())
      return fail(NOT_FOUND);
    if (!command.force && !confirm(u"Permanently delete the registry key " + shown + u" (Yes/No)?"))
      return cancelled();
    CZELRegistryKey tree(command.key.root, framework(command.key.path), READ_WRITE | command.view);
    return tree.remove(true) ? done() : fail(u"The key " + shown + u" cannot be deleted.");
  }
  if (!key.open())
    return fail(NOT_FOUND);
  std::vector<std::u16string> names;
  if (command.allValues) {
    CZELWCharStringList list;
    key.enumAllValueNames(list); // false for a key without named values
    for (auto *pNode = list.begin().getCursorNode(); pNode != nullptr; pNode = pNode->getNext())
      names.push_back(text(pNode->getItemRef()));
    if (valueExists(key, u""))
      names.push_back(u"");
  } else {
    names.push_back(command.valueName.value_or(u""));
    if (!valueExists(key, names.back()))
      return fail(NOT_FOUND);
  }
  key.close();
  const std::u16string question =
      command.allValues ? u"Delete all values under the registry key " + shown + u" (Yes/No)?"
                        : u"Delete the registry value " + shownName(names.back()) + u" (Yes/No)?";
  if (!command.force && !confirm(question))
    return cancelled();
  for (const std::u16string &name : names)
    if (!deleteValue(command, name))
      return fail(u"The value " + shownName(name) + u" cannot be deleted.");
  return done();
}

int runExport(const Command &command) {
  CZELRegistryKey key(command.key.root, framework(command.key.path), READ);
  if (!key.doesRegistryKeyExist())
    return fail(NOT_FOUND);
  std::u16string file;
  if (!fullPath(command.file, file))
    return fail(u"Invalid file name: " + command.file);
  const DWORD attributes = zelsys::GetFileAttributesW(file.c_str());
  if (attributes != zelsys::INVALID_FILE_ATTRIBUTES) {
    if (attributes & zelsys::FILE_ATTRIBUTE_DIRECTORY)
      return fail(file + u" is a folder.");
    if (!command.force && !confirm(u"File " + file + u" exists, overwrite(Yes/No)?"))
      return cancelled();
  }
  // A fresh file (begun as UTF-16 text by the export): nothing of an
  // earlier one is merged into it.
  return CZELRegistryFile(framework(file))
                 .exportKey(command.key.root, framework(command.key.path), true)
             ? done()
             : fail(u"The key " + command.key.full() + u" was not exported completely to " + file);
}

int runImport(const Command &command) {
  std::u16string file;
  if (!fullPath(command.file, file))
    return fail(u"Invalid file name: " + command.file);
  const DWORD attributes = zelsys::GetFileAttributesW(file.c_str());
  if (attributes == zelsys::INVALID_FILE_ATTRIBUTES)
    return fail(u"The file " + file + u" cannot be found.");
  if (attributes & zelsys::FILE_ATTRIBUTE_DIRECTORY)
    return fail(file + u" is a folder.");
  return CZELRegistryFile(framework(file)).importKey()
             ? done()
             : fail(u"The import from " + file + u" failed.");
}

} // namespace zelreg
