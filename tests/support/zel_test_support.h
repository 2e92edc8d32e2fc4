// zel_test_support.h - what every test binary shares: a sink that records
// the entries the framework writes, text helpers, and the markers for known
// gaps of one platform implementation.
#pragma once

#include "zel_log_sink.h"
#include "zelsys/host.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace zeltest {

// UTF-16 text as UTF-8, for failure messages.
std::string narrow(const std::u16string &text);
std::string narrow(const char16_t *text);
// A null text as the empty string.
std::u16string text(const char16_t *text);
// A file's bytes through the platform's calls; empty when it cannot be read.
std::string readFileBytes(const std::u16string &path);
// Creates or replaces a file with these bytes; false when that failed.
bool writeFileBytes(const std::u16string &path, const std::string &bytes);
// Runs each function on a thread of its own through the platform's calls
// (the Windows build's C++ runtime has no std::thread) and waits for all;
// false when a thread could not be started.
bool runOnThreads(const std::vector<std::function<void()>> &functions);

struct LoggedEntry {
  ZEL_ULONG type = 0;
  std::u16string message;
  ZEL_LONG value = 0;
  ZEL_ULONG valueKind = 0;
  bool detailed = false;
  std::u16string module;
  std::u16string function;
  std::u16string sourceFile;
  ZEL_ULONG line = 0;
  bool messageNull = true; // the record's field was null
};

// Attached for its lifetime; records every entry the framework writes.
class RecordingSink : public CZELLogSink {
public:
  RecordingSink();
  ~RecordingSink() override;
  RecordingSink(const RecordingSink &) = delete;
  RecordingSink &operator=(const RecordingSink &) = delete;

  bool write(const CZELLogRecord &rRecord, const CZELDetailedLogRecord *pDetailed,
             bool bAllowed) noexcept override;

  const std::vector<LoggedEntry> &entries() const { return m_entries; }
  std::size_t count() const { return m_entries.size(); }
  // How many entries carry exactly this message.
  std::size_t countMessage(const std::u16string &message) const;
  void clear() { m_entries.clear(); }

private:
  std::vector<LoggedEntry> m_entries;
  CZELLogSink *m_pPrevious;
};

// Checks condition everywhere except on host, where it is a known gap: there
// it must fail, and passing means the gap is gone and the marker must go.
void expectUnlessGap(zelsys::HostKind host, bool condition, const char *text, const char *why,
                     const char *file, int line);

} // namespace zeltest

#define ZEL_EXPECT_GAP_ON_WINE(condition, why)                                                     \
  ::zeltest::expectUnlessGap(::zelsys::HostKind::Wine, (condition), #condition, why, __FILE__,     \
                             __LINE__)
#define ZEL_EXPECT_GAP_IN_SUBSTITUTE(condition, why)                                               \
  ::zeltest::expectUnlessGap(::zelsys::HostKind::Substitute, (condition), #condition, why,         \
                             __FILE__, __LINE__)
