// zel_registry_file.cpp - CZELRegistryFile, the registry text format.
//
// The file is a profile file: a section per key ("HKEY_CURRENT_USER\path"),
// an entry per value ("name=TAG:data"). Export walks the tree in pre-order
// with an explicit stack (so a deep tree costs no stack depth) and writes
// the values of each key type by type; import reads the sections back and
// writes each entry through the value class of its tag. Single failures are
// logged where they happen (CZELIni on export, the value classes on import)
// and the walk goes on; only an unexpected exception ends an operation.
#include "zel_registry_file.h"

#include "zel_catch.h"
#include "zel_directory.h"
#include "zel_flags.h"
#include "zel_function_trace.h"
#include "zel_ini.h"
#include "zel_registry_binary.h"
#include "zel_registry_dword.h"
#include "zel_registry_key.h"
#include "zel_registry_multi_string.h"
#include "zel_registry_string.h"
#include "zel_registry_string_expand.h"

#include "zelsys/files.h"
#include "zelsys/security.h"
#include "zelsys/winconst.h"

#include <algorithm>
#include <cstddef>
#include <string>
#include <vector>

static const ZEL_USHORT ZEL_SOURCE[] = u".\\zel_registry_file";
static const ZEL_USHORT ZEL_CLASS[] = u"CZELRegistryFile";

namespace {

typedef CZELNullTrace Trace;

// What export and import open keys and values with.
constexpr zelsys::REGSAM EXPORT_ACCESS = zelsys::KEY_READ;
constexpr zelsys::REGSAM IMPORT_ACCESS = zelsys::KEY_READ | zelsys::KEY_WRITE;

const ZEL_USHORT TAG_DWORD[] = u"REG_DWORD";
const ZEL_USHORT TAG_SZ[] = u"REG_SZ";
const ZEL_USHORT TAG_EXPAND_SZ[] = u"REG_SZ_EXPAND";
const ZEL_USHORT TAG_MULTI_SZ[] = u"REG_SZ_MULTI";
const ZEL_USHORT TAG_BINARY[] = u"REG_BINARY";

struct RootName {
  zelsys::HKEY hKey;
  const ZEL_USHORT *pszName;
};

// The roots with a name of their own; HKEY_CURRENT_USER also stands for any
// other root on export, HKEY_LOCAL_MACHINE for any other name on import.
const RootName ROOTS[] = {{zelsys::HKEY_LOCAL_MACHINE, u"HKEY_LOCAL_MACHINE"},
                          {zelsys::HKEY_CURRENT_USER, u"HKEY_CURRENT_USER"},
                          {zelsys::HKEY_CLASSES_ROOT, u"HKEY_CLASSES_ROOT"},
                          {zelsys::HKEY_USERS, u"HKEY_USERS"},
                          {zelsys::HKEY_CURRENT_CONFIG, u"HKEY_CURRENT_CONFIG"}};

// Only an unexpected exception ends an operation: it is recorded as an
// unhandled exception (an entry of the hierarchy is written first if nobody
// has written it yet).
template <class Body> bool runGuarded(const ZEL_USHORT *pszMethod, ZEL_ULONG ulLine, Body &&body) {
  Trace trace(ZEL_CLASS, pszMethod, ZEL_SOURCE, ulLine);
  bool bResult = false;
  try {
    bResult = body();
  } catch (CZELLogging &rEntry) {
    zelLogCaught(rEntry);
    zelLogUnhandled(CZELErrorSource::esLastError, ZEL_SOURCE, ulLine);
  } catch (...) {
    zelLogUnhandled(CZELErrorSource::esLastError, ZEL_SOURCE, ulLine);
  }
  trace.setResult(bResult);
  return bResult;
}

CZELWCharString sectionName(zelsys::HKEY hKeyRoot, const CZELWCharString &szSubKey) {
  CZELWCharString name(u"HKEY_CURRENT_USER");
  for (const RootName &root : ROOTS)
    if (root.hKey == hKeyRoot)
      name = root.pszName;
  // Exactly one separator between the root's name and the path.
  if (!szSubKey.beginsWith(u"\\"))
    name += u"\\";
  return name + szSubKey;
}

zelsys::HKEY rootOf(const CZELWCharString &szName) {
  for (const RootName &root : ROOTS)
    if (szName == CZELWCharString(root.pszName))
      return root.hKey;
  return zelsys::HKEY_LOCAL_MACHINE;
}

// The units [ulFrom, ulTo) of szText as a string (empty when there are none).
CZELWCharString unitsOf(const CZELWCharString &szText, ZEL_ULONG ulFrom, ZEL_ULONG ulTo) {
  if (ulTo <= ulFrom)
    return CZELWCharString();
  return CZELWCharString(CZELBuffer<ZEL_USHORT>(szText.getBuffer() + ulFrom, ulTo - ulFrom));
}

// The position of the first usChar in szText, or its length.
ZEL_ULONG findUnit(const CZELWCharString &szText, ZEL_USHORT usChar) {
  const ZEL_ULONG ulLength = szText.getLength();
  ZEL_ULONG i = 0;
  while (i < ulLength && szText.getBuffer()[i] != usChar)
    ++i;
  return i;
}

// Bytes as the code-string form: two upper-case digits each, one space
// between, padded to an even count as the 16-bit storage of a string is.
CZELWCharString codesOfBytes(const CZELBuffer<ZEL_BYTE> &bytes) {
  static const char16_t DIGITS[] = u"0123456789ABCDEF";
  const ZEL_ULONG ulCount = bytes.getSize() + bytes.getSize() % 2;
  std::u16string text;
  text.reserve(static_cast<std::size_t>(ulCount) * 3);
  for (ZEL_ULONG i = 0; i < ulCount; ++i) {
    const ZEL_BYTE byte = i < bytes.getSize() ? bytes.getBuffer()[i] : 0;
    if (i != 0)
      text += u' ';
    text += DIGITS[byte >> 4];
    text += DIGITS[byte & 0x0F];
  }
  return CZELWCharString(text.c_str());
}

// A code string as bytes, padded to an even count. False for a code that is
// no byte, so that a damaged entry is skipped rather than stored wrong.
bool bytesOfCodes(const CZELWCharString &szCodes, CZELBuffer<ZEL_BYTE> &bytes) {
  bytes = szCodes.getBufferFromAsciiCodeString();
  if (!bytes.isValid())
    return szCodes.getLength() < 2; // no code at all is no bytes
  if (bytes.getSize() % 2 != 0) {
    const ZEL_BYTE zero = 0;
    return bytes.appendBuffer(CZELBuffer<ZEL_BYTE>(&zero, 1));
  }
  return true;
}

// A code string as the string whose storage it is (up to its terminator).
bool stringOfCodes(const CZELWCharString &szCodes, CZELWCharString &szText) {
  CZELBuffer<ZEL_BYTE> bytes;
  if (!bytesOfCodes(szCodes, bytes))
    return false;
  CZELBuffer<ZEL_USHORT> units(bytes.getSize() / 2);
  for (ZEL_ULONG i = 0; i < units.getSize(); ++i)
    units.getBuffer()[i] =
        static_cast<ZEL_USHORT>(bytes.getBuffer()[2 * i] | (bytes.getBuffer()[2 * i + 1] << 8));
  szText = units.getSize() == 0 ? CZELWCharString() : CZELWCharString(units);
  return true;
}

bool breaksLine(const CZELWCharString &szText) {
  return szText.hasSubString(u"\r") || szText.hasSubString(u"\n");
}

CZELWCharString quoted(const ZEL_USHORT *pszTag, const CZELWCharString &szText) {
  return CZELWCharString(pszTag) + u":\"" + szText + u"\"";
}

CZELWCharString unquoted(const CZELWCharString &szData) {
  const ZEL_ULONG ulLength = szData.getLength();
  return ulLength < 2 ? CZELWCharString() : unitsOf(szData, 1, ulLength - 1);
}

// Begins a file that does not exist yet as UTF-16 text: the profile calls
// keep a file's encoding, and a new file in the system's code page would
// turn every name and text outside it into "?". An existing file is left
// as it is.
void beginUnicodeFile(const CZELWCharString &szFileName) {
  static const ZEL_BYTE MARK[] = {0xFF, 0xFE};
  const zelsys::HANDLE hFile =
      zelsys::CreateFileW(szFileName.getBuffer(), zelsys::GENERIC_WRITE, 0, nullptr,
                          zelsys::CREATE_NEW, zelsys::FILE_ATTRIBUTE_NORMAL, nullptr);
  if (hFile == zelsys::INVALID_HANDLE_VALUE)
    return; // there already, or the first write will fail and say why
  zelsys::DWORD written = 0;
  zelsys::WriteFile(hFile, MARK, sizeof MARK, &written, nullptr);
  zelsys::CloseHandle(hFile);
}

// Writes one key's values, type by type in the format's order. False when
// a write failed (it has been logged).
class KeyWriter {
public:
  KeyWriter(const CZELWCharString &szFileName, zelsys::HKEY hKeyRoot,
            const CZELWCharString &szSubKey)
      : m_szFileName(szFileName), m_hKeyRoot(hKeyRoot), m_szSubKey(szSubKey),
        m_szSection(sectionName(hKeyRoot, szSubKey)), m_bAllWritten(true) {}

  bool writeAll() {
    {
      CZELRegistryDwordValueList list;
      if (valueOf<CZELRegistryDword>().enumAllValueNamesAndValues(list))
        forEach(list, [](const CZELRegistryDwordValue &v) {
          return CZELWCharString(TAG_DWORD) + u":" +
                 CZELWCharString(static_cast<ZEL_LONG>(v.getData()), CZELWCharString::nsHex, 8,
                                 true);
        });
    }
    {
      CZELRegistryStringValueList list;
      if (valueOf<CZELRegistryString>().enumAllValueNamesAndValues(list))
        forEach(list, [](const CZELRegistryStringValue &v) { return quoted(TAG_SZ, v.getData()); });
    }
    {
      CZELRegistryStringValueList list;
      if (valueOf<CZELRegistryStringExpand>().enumAllValueNamesAndValues(list, false))
        forEach(list, [](const CZELRegistryStringValue &v) {
          return quoted(TAG_EXPAND_SZ, v.getData());
        });
    }
    {
      CZELRegistryMultiStringValueList list;
      if (valueOf<CZELRegistryMultiString>().enumAllValueNamesAndValues(list))
        forEach(list, [](const CZELRegistryMultiStringValue &v) {
          CZELWCharString text = CZELWCharString(TAG_MULTI_SZ) + u":";
          bool bFirst = true;
          CZELWCharStringList strings(v.getData()); // the walk moves the list's cursor
          for (const CZELNode<CZELWCharString> *pNode = strings.begin().getCursorNode();
               pNode != nullptr; pNode = pNode->getNext(), bFirst = false)
            text += (bFirst ? CZELWCharString() : CZELWCharString(u",")) +
                    pNode->getItemRef().getAsciiCodeString();
          return text;
        });
    }
    {
      CZELRegistryBinaryValueList list;
      if (valueOf<CZELRegistryBinary>().enumAllValueNamesAndValues(list))
        forEach(list, [](const CZELRegistryBinaryValue &v) {
          return CZELWCharString(TAG_BINARY) + u":" + codesOfBytes(v.getData());
        });
    }
    return m_bAllWritten;
  }

private:
  template <class Value> Value valueOf() const {
    return Value(m_hKeyRoot, m_szSubKey, CZELWCharString(), EXPORT_ACCESS, false, 0);
  }

  // The default value has no name to write and is left out.
  template <class List, class Text> void forEach(List &list, Text &&text) {
    for (auto *pNode = list.begin().getCursorNode(); pNode != nullptr; pNode = pNode->getNext()) {
      const auto &record = pNode->getItemRef();
      if (record.getValueName().getLength() == 0)
        continue;
      const CZELWCharString entry = text(record);
      // A line break would end the entry early and turn the rest into lines
      // of their own, even sections naming other keys that an import would
      // then write; such a value is left out and the export reports false.
      if (breaksLine(record.getValueName()) || breaksLine(entry)) {
        m_bAllWritten = false;
        continue;
      }
      if (!CZELIni(m_szFileName).setProfileString(m_szSection, record.getValueName(), entry))
        m_bAllWritten = false;
    }
  }

  const CZELWCharString &m_szFileName;
  zelsys::HKEY m_hKeyRoot;
  const CZELWCharString &m_szSubKey;
  CZELWCharString m_szSection;
  bool m_bAllWritten;
};

// The value an import writes: created with its key when missing.
template <class Value>
Value valueAt(zelsys::HKEY hRoot, const CZELWCharString &szPath, const CZELWCharString &szName) {
  return Value(hRoot, szPath, szName, IMPORT_ACCESS, true, 0);
}

// Restores one entry line "name=TAG:data" of a section; a line that does
// not parse or carries another tag is skipped.
void importEntry(zelsys::HKEY hRoot, const CZELWCharString &szPath, const CZELWCharString &szLine) {
  const ZEL_ULONG ulLength = szLine.getLength();
  const ZEL_ULONG ulEquals = findUnit(szLine, u'=');
  const ZEL_ULONG ulColon = findUnit(szLine, u':');
  if (ulEquals >= ulLength || ulColon >= ulLength || ulColon < ulEquals)
    return;
  const CZELWCharString name = unitsOf(szLine, 0, ulEquals);
  const CZELWCharString tag = unitsOf(szLine, ulEquals + 1, ulColon);
  const CZELWCharString data = unitsOf(szLine, ulColon + 1, ulLength);
  if (tag == CZELWCharString(TAG_DWORD)) {
    ZEL_LONG lValue = 0;
    if (data.toLong(lValue, CZELWCharString::nsHex))
      valueAt<CZELRegistryDword>(hRoot, szPath, name)
          .setRegistryDword(static_cast<ZEL_ULONG>(lValue), false);
  } else if (tag == CZELWCharString(TAG_SZ)) {
    valueAt<CZELRegistryString>(hRoot, szPath, name).setRegistryString(unquoted(data), false);
  } else if (tag == CZELWCharString(TAG_EXPAND_SZ)) {
    // The value class refuses (and logs) a text with no whole "%" pair.
    valueAt<CZELRegistryStringExpand>(hRoot, szPath, name).setRegistryString(unquoted(data), false);
  } else if (tag == CZELWCharString(TAG_BINARY)) {
    CZELBuffer<ZEL_BYTE> bytes;
    if (bytesOfCodes(data, bytes))
      valueAt<CZELRegistryBinary>(hRoot, szPath, name).setRegistryBinary(bytes, false);
  } else if (tag == CZELWCharString(TAG_MULTI_SZ)) {
    CZELWCharStringList pieces, strings;
    data.extractParams(pieces, u",", CZELWCharString::pmForward, CZELFlags(0), CZELFlags(0));
    ZEL_ULONG ulPosition = 0;
    for (const CZELNode<CZELWCharString> *pNode = pieces.begin().getCursorNode(); pNode != nullptr;
         pNode = pNode->getNext()) {
      CZELWCharString text;
      if (!stringOfCodes(pNode->getItemRef(), text))
        return;
      if (!strings.add(text, ulPosition++))
        return;
    }
    valueAt<CZELRegistryMultiString>(hRoot, szPath, name).set(strings, false);
  }
}

void importSection(const CZELIni &ini, const CZELWCharString &szSection) {
  const ZEL_ULONG ulSeparator = findUnit(szSection, u'\\');
  zelsys::HKEY hRoot = zelsys::HKEY_LOCAL_MACHINE;
  CZELWCharString path = szSection;
  if (ulSeparator < szSection.getLength()) {
    // The root's name is a prefix, so its first occurrence with the
    // separator is the start of the name.
    hRoot = rootOf(unitsOf(szSection, 0, ulSeparator));
    path = unitsOf(szSection, ulSeparator + 1, szSection.getLength());
  }
  CZELRegistryKey key(hRoot, path, IMPORT_ACCESS, true, 0);
  key.open(); // the key exists afterwards even if no entry can be restored
  CZELIniLineList lines;
  if (CZELIni(ini).getWholeProfileSection(szSection, lines))
    for (const CZELNode<CZELWCharString> *pNode = lines.begin().getCursorNode(); pNode != nullptr;
         pNode = pNode->getNext())
      importEntry(hRoot, path, pNode->getItemRef());
  key.close();
}

} // namespace

CZELRegistryFile::CZELRegistryFile(const CZELWCharString &szFileName) : m_szFileName(szFileName) {}

CZELRegistryFile::CZELRegistryFile(const CZELRegistryFile &other)
    : m_szFileName(other.m_szFileName) {}

CZELRegistryFile &CZELRegistryFile::operator=(const CZELRegistryFile &other) {
  if (this != &other)
    m_szFileName = other.m_szFileName;
  return *this;
}

bool CZELRegistryFile::operator==(const CZELRegistryFile &other) const {
  return m_szFileName == other.m_szFileName;
}

bool CZELRegistryFile::exportKey(zelsys::HKEY hKeyRoot, const CZELWCharString &szSubKey,
                                 bool bOverwrite) {
  return runGuarded(u"export", __LINE__, [&] {
    if (bOverwrite)
      zelsys::DeleteFileW(m_szFileName.getBuffer()); // a missing file is fine
    CZELWCharString folder = m_szFileName;
    if (folder.trimTo(u"\\", 1, CZELWCharString::pmBackward, true) && folder.getLength() != 0) {
      CZELDirectory directory(folder);
      if (!directory.isValidDirectory())
        directory.createDirectoryPath();
    }
    beginUnicodeFile(m_szFileName);
    // Pre-order: a key's sub-keys are pushed in reverse so that they come
    // off the stack in enumeration order, each followed by its subtree.
    bool bAllWritten = true;
    std::vector<CZELWCharString> pending{szSubKey};
    while (!pending.empty()) {
      const CZELWCharString path = pending.back();
      pending.pop_back();
      if (!KeyWriter(m_szFileName, hKeyRoot, path).writeAll())
        bAllWritten = false;
      CZELWCharStringList names;
      CZELRegistryKey(hKeyRoot, path, EXPORT_ACCESS, false, 0).enumAllSubKeys(names);
      const std::size_t ulFirst = pending.size();
      for (const CZELNode<CZELWCharString> *pNode = names.begin().getCursorNode(); pNode != nullptr;
           pNode = pNode->getNext())
        pending.push_back(path + u"\\" + pNode->getItemRef());
      std::reverse(pending.begin() + static_cast<std::ptrdiff_t>(ulFirst), pending.end());
    }
    return bAllWritten;
  });
}

bool CZELRegistryFile::exportKey(const CZELRegistryKey &key, bool bOverwrite) {
  return runGuarded(u"export", __LINE__, [&] {
    CZELWCharString path;
    return key.getSubKeyName(path, true) && exportKey(key.getKeyRoot(), path, bOverwrite);
  });
}

bool CZELRegistryFile::importKey() {
  return runGuarded(u"import", __LINE__, [&] {
    const CZELIni ini(m_szFileName);
    CZELIniLineList sections;
    if (!CZELIni(ini).getWholeProfileSectionNames(sections))
      return true; // nothing to restore
    for (const CZELNode<CZELWCharString> *pNode = sections.begin().getCursorNode();
         pNode != nullptr; pNode = pNode->getNext())
      importSection(ini, pNode->getItemRef());
    return true;
  });
}
