// registry_value_fixture.h - what the registry value tests share: the test
// root, removed before and after each test, and direct access to stored
// values through the platform calls, so that checks do not depend on the
// classes under test.
#pragma once

#include "zel_registry_key.h"
#include "zel_test_support.h"

#include "zelsys/registry.h"
#include "zelsys/winconst.h"

#include <cstdint>
#include <string>
#include <vector>

namespace valtest {

inline const char16_t ROOT[] = u"Software\\Fixwell\\Test\\Values";

typedef std::vector<std::uint8_t> Bytes;

struct Stored {
  zelsys::LSTATUS result = 0;
  zelsys::DWORD type = 0;
  Bytes data;
};

// The value as the registry holds it.
inline Stored stored(const char16_t *pszName) {
  Stored value;
  zelsys::HKEY hKey = nullptr;
  value.result = zelsys::RegOpenKeyExW(zelsys::HKEY_CURRENT_USER, ROOT, 0, zelsys::KEY_READ, &hKey);
  if (value.result != 0)
    return value;
  zelsys::DWORD cbData = 0;
  value.result = zelsys::RegQueryValueExW(hKey, pszName, nullptr, &value.type, nullptr, &cbData);
  value.data.resize(cbData);
  if (value.result == 0 && cbData != 0)
    value.result =
        zelsys::RegQueryValueExW(hKey, pszName, nullptr, &value.type, value.data.data(), &cbData);
  zelsys::RegCloseKey(hKey);
  return value;
}

// Stores a value directly (the test root is created when missing).
inline void store(const char16_t *pszName, zelsys::DWORD dwType, const Bytes &data) {
  zelsys::HKEY hKey = nullptr;
  ASSERT_EQ(zelsys::RegCreateKeyExW(zelsys::HKEY_CURRENT_USER, ROOT, 0, nullptr, 0,
                                    zelsys::KEY_ALL_ACCESS, nullptr, &hKey, nullptr),
            0);
  EXPECT_EQ(zelsys::RegSetValueExW(hKey, pszName, 0, dwType, data.data(),
                                   static_cast<zelsys::DWORD>(data.size())),
            0);
  zelsys::RegCloseKey(hKey);
}

// UTF-16 units as stored bytes (little-endian), terminators as given.
inline Bytes bytesOf(const std::u16string &units) {
  Bytes bytes;
  for (char16_t unit : units) {
    bytes.push_back(static_cast<std::uint8_t>(unit & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
  }
  return bytes;
}

inline std::u16string textOf(const CZELWCharString &text) {
  return text.isValid() ? std::u16string(text.getBuffer(), text.getLength()) : u"";
}

// The strings of a list in order, with their positions.
inline std::vector<std::u16string> stringsOf(CZELWCharStringList &list,
                                             std::vector<ZEL_ULONG> *pPositions = nullptr) {
  std::vector<std::u16string> strings;
  for (const CZELNode<CZELWCharString> *pNode = list.begin().getCursorNode(); pNode != nullptr;
       pNode = pNode->getNext()) {
    strings.push_back(textOf(pNode->getItemRef()));
    if (pPositions != nullptr)
      pPositions->push_back(pNode->getItemData());
  }
  return strings;
}

inline CZELWCharStringList listOf(const std::vector<std::u16string> &strings) {
  CZELWCharStringList list;
  ZEL_ULONG ulPosition = 0;
  for (const std::u16string &text : strings)
    list.add(CZELWCharString(text.c_str()), ulPosition++);
  return list;
}

// Every test starts and ends without the test root; the root itself exists
// at the start, empty.
class RegistryValues : public ::testing::Test {
protected:
  void SetUp() override {
    removeRoot();
    ASSERT_TRUE(CZELRegistryKey(zelsys::HKEY_CURRENT_USER, ROOT).create());
  }
  void TearDown() override { removeRoot(); }
  static void removeRoot() { CZELRegistryKey(zelsys::HKEY_CURRENT_USER, ROOT).remove(true); }
};

} // namespace valtest
