// zel_test_support.cpp - the shared test helpers.
#include "zel_test_support.h"
#include "zel_run_program.h"

#include "zelsys/files.h"
#include "zelsys/kernel.h"
#include "zelsys/security.h"
#include "zelsys/sync.h"
#include "zelsys/winconst.h"

#include <cstdlib>

namespace zeltest {

namespace {

// Before any test runs: the emulated machine of the tests (Linux only; under
// Windows the registry is the system's).
struct TestMachine {
  TestMachine() {
#ifdef ZEL_TEST_MACHINE
    if (std::getenv("ZEL_MACHINE") == nullptr)
      ::setenv("ZEL_MACHINE", ZEL_TEST_MACHINE, 1);
#endif
  }
} g_testMachine;

} // namespace

std::string narrow(const std::u16string &text) {
  std::string out;
  for (char16_t unit : text) {
    if (unit < 0x80) {
      out += static_cast<char>(unit);
    } else {
      static const char hex[] = "0123456789abcdef";
      out += "\\u";
      for (int shift = 12; shift >= 0; shift -= 4)
        out += hex[(unit >> shift) & 0xF];
    }
  }
  return out;
}

std::string narrow(const char16_t *value) { return narrow(text(value)); }

std::u16string text(const char16_t *value) { return value ? std::u16string(value) : u""; }

std::string readFileBytes(const std::u16string &path) {
  const zelsys::HANDLE hFile =
      zelsys::CreateFileW(path.c_str(), zelsys::GENERIC_READ, zelsys::FILE_SHARE_READ, nullptr,
                          zelsys::OPEN_EXISTING, zelsys::FILE_ATTRIBUTE_NORMAL, nullptr);
  std::string bytes;
  if (hFile == zelsys::INVALID_HANDLE_VALUE)
    return bytes;
  char chunk[4096];
  zelsys::DWORD dwGot = 0;
  while (zelsys::ReadFile(hFile, chunk, sizeof chunk, &dwGot, nullptr) && dwGot != 0)
    bytes.append(chunk, dwGot);
  zelsys::CloseHandle(hFile);
  return bytes;
}

bool writeFileBytes(const std::u16string &path, const std::string &bytes) {
  const zelsys::HANDLE hFile =
      zelsys::CreateFileW(path.c_str(), zelsys::GENERIC_WRITE, 0, nullptr, zelsys::CREATE_ALWAYS,
                          zelsys::FILE_ATTRIBUTE_NORMAL, nullptr);
  if (hFile == zelsys::INVALID_HANDLE_VALUE)
    return false;
  zelsys::DWORD dwPut = 0;
  const bool bWritten =
      zelsys::WriteFile(hFile, bytes.data(), static_cast<zelsys::DWORD>(bytes.size()), &dwPut,
                        nullptr) &&
      dwPut == bytes.size();
  return zelsys::CloseHandle(hFile) && bWritten;
}

void removeTree(const std::u16string &path) {
  const zelsys::DWORD dwAttributes = zelsys::GetFileAttributesW(path.c_str());
  if (dwAttributes == zelsys::INVALID_FILE_ATTRIBUTES)
    return;
  const bool bFolder = dwAttributes & zelsys::FILE_ATTRIBUTE_DIRECTORY;
  if (dwAttributes & zelsys::FILE_ATTRIBUTE_REPARSE_POINT) {
    EXPECT_TRUE(bFolder ? removeFolderLink(path) : removeFileLink(path)) << narrow(path);
    return;
  }
  if (bFolder) {
    zelsys::WIN32_FIND_DATAW data{};
    const zelsys::HANDLE hFind = zelsys::FindFirstFileW((path + u"\\*").c_str(), &data);
    for (bool more = hFind != zelsys::INVALID_HANDLE_VALUE; more;
         more = zelsys::FindNextFileW(hFind, &data)) {
      const std::u16string name = data.cFileName;
      if (name != u"." && name != u"..")
        removeTree(path + u"\\" + name);
    }
    if (hFind != zelsys::INVALID_HANDLE_VALUE)
      zelsys::FindClose(hFind);
  }
  zelsys::SetFileAttributesW(path.c_str(), zelsys::FILE_ATTRIBUTE_NORMAL);
  const bool bRemoved =
      bFolder ? zelsys::RemoveDirectoryW(path.c_str()) : zelsys::DeleteFileW(path.c_str());
  EXPECT_TRUE(bRemoved) << narrow(path) << " " << zelsys::GetLastError();
}

bool runOnThreads(const std::vector<std::function<void()>> &functions) {
  auto start = [](zelsys::LPVOID pFunction) -> zelsys::DWORD {
    (*static_cast<const std::function<void()> *>(pFunction))();
    return 0;
  };
  std::vector<zelsys::HANDLE> threads;
  for (const std::function<void()> &function : functions)
    if (zelsys::HANDLE hThread = zelsys::CreateThread(
            nullptr, 0, start, const_cast<std::function<void()> *>(&function), 0, nullptr))
      threads.push_back(hThread);
  for (zelsys::HANDLE hThread : threads) {
    zelsys::WaitForSingleObject(hThread, zelsys::INFINITE);
    zelsys::CloseHandle(hThread);
  }
  return threads.size() == functions.size();
}

RecordingSink::RecordingSink() : m_pPrevious(CZELLogSink::attach(this)) {}

RecordingSink::~RecordingSink() { CZELLogSink::attach(m_pPrevious); }

bool RecordingSink::write(const CZELLogRecord &rRecord, const CZELDetailedLogRecord *pDetailed,
                          bool) noexcept {
  LoggedEntry entry;
  entry.type = rRecord.m_ulType;
  entry.message = text(rRecord.m_pszMessage);
  entry.messageNull = rRecord.m_pszMessage == nullptr;
  entry.value = rRecord.m_lValue;
  entry.valueKind = rRecord.m_ulValueKind;
  if (pDetailed) {
    entry.detailed = true;
    entry.module = text(pDetailed->m_pszModule);
    entry.function = text(pDetailed->m_pszFunction);
    entry.sourceFile = text(pDetailed->m_pszSourceFile);
    entry.line = pDetailed->m_ulLine;
  }
  m_entries.push_back(std::move(entry));
  return true;
}

std::size_t RecordingSink::countMessage(const std::u16string &message) const {
  std::size_t n = 0;
  for (const LoggedEntry &entry : m_entries)
    n += entry.message == message ? 1 : 0;
  return n;
}

void expectUnlessGap(zelsys::HostKind host, bool condition, const char *text, const char *why,
                     const char *file, int line) {
  if (zelsys::CurrentHost() != host) {
    if (!condition)
      ADD_FAILURE_AT(file, line) << "expected: " << text;
    return;
  }
  if (condition)
    ADD_FAILURE_AT(file, line) << "known gap now passes, remove its marker: " << text << " (" << why
                               << ")";
}

} // namespace zeltest
