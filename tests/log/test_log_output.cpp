// test_log_output.cpp - the write decision, the text log's lines, its file,
// links planted for it, and its rotation by processes one after the other
// and at once, over the machine's registry ("SOFTWARE\Korvel\Logs", removed
// before and after) and test folders. One source for both platforms.
#include "zel_function_trace.h"
#include "zel_log_entries.h"
#include "zel_log_settings.h"
#include "zel_logging_output_text.h"
#include "zel_run_program.h"
#include "zel_simple_log.h"
#include "zel_test_support.h"
#include "zelsys/environment.h"
#include "zelsys/files.h"
#include "zelsys/kernel.h"
#include "zelsys/process.h"
#include "zelsys/registry.h"
#include "zelsys/security.h"
#include "zelsys/winconst.h"

#include <algorithm>
#include <functional>
#include <map>
#include <numeric>
#include <string>
#include <vector>

using zeltest::narrow;

namespace {

const ZEL_USHORT kLogsKey[] = u"SOFTWARE\\Korvel\\Logs";
const std::u16string kFolder = u"C:\\ZelTestLogs";
const std::u16string kLog = kFolder + u"\\test.log";
// A file of the log's name outside its folder, where planted links lead.
const std::u16string kOutside = u"C:\\ZelTestLogsOutside";
const std::u16string kOutsideLog = kOutside + u"\\test.log";
const ZEL_USHORT kSource[] = u".\\zel_file";

// Values of the key; a text makes a string value, else a number. No values
// at all: no key.
struct Value {
  const char16_t *name;
  ZEL_ULONG number;
  const char16_t *text = nullptr;
};

void configure(const std::vector<Value> &values) {
  zelsys::SHDeleteKeyW(zelsys::HKEY_LOCAL_MACHINE, kLogsKey);
  zelsys::HKEY hKey = nullptr;
  if (values.empty() ||
      zelsys::RegCreateKeyExW(zelsys::HKEY_LOCAL_MACHINE, kLogsKey, 0, nullptr,
                              zelsys::REG_OPTION_NON_VOLATILE, zelsys::KEY_ALL_ACCESS, nullptr,
                              &hKey, nullptr) != zelsys::ERROR_SUCCESS)
    return;
  for (const Value &value : values) {
    const std::u16string text = value.text ? value.text : u"";
    const auto *pData = value.text ? reinterpret_cast<const zelsys::BYTE *>(text.c_str())
                                   : reinterpret_cast<const zelsys::BYTE *>(&value.number);
    const zelsys::DWORD dwBytes = value.text ? zelsys::DWORD((text.size() + 1) * 2) : 4;
    zelsys::RegSetValueExW(hKey, value.name, 0, value.text ? zelsys::REG_SZ : zelsys::REG_DWORD,
                           pData, dwBytes);
  }
  zelsys::RegCloseKey(hKey);
}

bool exists(const std::u16string &path) {
  return zelsys::GetFileAttributesW(path.c_str()) != zelsys::INVALID_FILE_ATTRIBUTES;
}

// The file's UTF-16 units, byte-order mark included; empty when absent.
std::u16string readUnits(const std::u16string &path) {
  const zelsys::HANDLE hFile = zelsys::CreateFileW(
      path.c_str(), zelsys::GENERIC_READ,
      zelsys::FILE_SHARE_READ | zelsys::FILE_SHARE_WRITE | zelsys::FILE_SHARE_DELETE, nullptr,
      zelsys::OPEN_EXISTING, zelsys::FILE_ATTRIBUTE_NORMAL, nullptr);
  if (hFile == zelsys::INVALID_HANDLE_VALUE)
    return std::u16string();
  std::u16string units(zelsys::GetFileSize(hFile, nullptr) / 2 + 1, u'\0');
  zelsys::DWORD dwRead = 0;
  zelsys::ReadFile(hFile, units.data(), zelsys::DWORD(units.size() * 2), &dwRead, nullptr);
  zelsys::CloseHandle(hFile);
  units.resize(dwRead / 2);
  return units;
}

void removeLogs() {
  zeltest::removeTree(kFolder);
  zeltest::removeTree(kOutside);
}

std::u16string decimal(int iValue) {
  const std::string text = std::to_string(iValue);
  return std::u16string(text.begin(), text.end());
}

// The log, or its copy numbered n.
std::u16string logCopy(int n) { return n == 0 ? kLog : kLog + u"." + decimal(n); }

std::tm fixedTime() {
  std::tm time{};
  time.tm_year = 93, time.tm_mon = 5, time.tm_mday = 30, time.tm_wday = 3;
  time.tm_hour = 21, time.tm_min = 49, time.tm_sec = 8;
  return time;
}

// The line a detailed record gives at the fixed time.
std::u16string lineOf(const CZELDetailedLogRecord &record) {
  ZEL_USHORT szLine[CZELLoggingOutputText::MAX_LINE_CHARS + 1] = {};
  CZELLoggingOutputText::formatDetailed(record, fixedTime(), szLine, std::size(szLine));
  return szLine;
}

// Records each write decision; takes no entry, so an entry's written flag
// tells what the outputs did.
class DecisionSink : public CZELLogSink {
public:
  DecisionSink() : m_pPrevious(attach(this)) {}
  ~DecisionSink() override { attach(m_pPrevious); }
  bool write(const CZELLogRecord &, const CZELDetailedLogRecord *,
             bool bAllowed) noexcept override {
    m_decisions.push_back(bAllowed);
    return false;
  }
  std::vector<bool> m_decisions;

private:
  CZELLogSink *m_pPrevious;
};

class LogOutput : public ::testing::Test {
protected:
  void SetUp() override {
    configure({});
    removeLogs();
    CZELLogSettings::setDynamicLoggingState(0);
    CZELLoggingOutputText::resetCounters();
    CZELLoggingOutputText::setClock(fixedTime);
  }
  void TearDown() override {
    CZELLoggingOutputText::setClock(nullptr);
    configure({});
    removeLogs();
  }
};

} // namespace

TEST_F(LogOutput, WriteDecisionFollowsTheConfiguration) {
  using T = CZELLogType;
  const Value on{u"Logging", 1}, text{u"TextOutput", 0, kLog.c_str()};
  const Value allow{u"AllowObjects", 0, u"CZELFile"}, exclude{u"ExcludeObjects", 0, u"CZELFile"};
  const Value own{u"test_log_output", 0, u"1,0,x"}, ownXml{u"test_log_output", 0, u"2,0,x"};
  auto detail = [](ZEL_ULONG ulDetail) { return Value{u"LogDetail", ulDetail}; };
  struct Case {
    std::vector<Value> values;
    bool simple;
    ZEL_ULONG type, kind;
    ZEL_LONG value;
    const char16_t *module;
    bool allowed, written;
  } cases[] = {
      {{}, false, T::EXCEPTION_BAD, 0, 5, nullptr, false, false},
      {{{u"Logging", 0}, text}, false, T::CRITICAL, 0, 5, nullptr, false, false},
      {{on, text}, false, T::EXCEPTION_BAD, 0, 5, u"CZELFile", true, true},
      {{on, text}, false, T::WARNING, 0, 5, nullptr, true, true},
      {{on, text}, false, T::DEBUG, 0, 5, nullptr, false, false},
      {{on, text}, true, T::NOTIFICATION, 1, 1, nullptr, false, false},
      {{on, text}, false, T::ENTRY, 1, 0, nullptr, false, false},
      {{on, text}, false, T::EXIT, 1, 1, nullptr, false, false},
      {{on, text, detail(0)}, true, T::UNSPECIFIED, 1, 1, nullptr, true, true},
      {{on, text, detail(0x1300)}, false, T::ENTRY, 1, 0, nullptr, true, true},
      {{on, text, detail(0x1300)}, false, T::EXIT, 0, 5, nullptr, true, true},
      {{on, text, detail(0x1300)}, false, T::EXIT, 0, 0, nullptr, false, false},
      {{on, text, detail(0x1300)}, false, T::EXIT, 1, 0, nullptr, false, false},
      {{on, text, detail(0x2300)}, false, T::EXIT, 1, 0x100, nullptr, true, true},
      {{on, text, detail(0x2300)}, false, T::EXIT, 1, 1, nullptr, false, false},
      {{on, text, detail(0x2300)}, false, T::EXIT, 2, 0, nullptr, false, false},
      {{on, text, detail(0x4300)}, false, T::EXIT, 2, 0, nullptr, true, true},
      {{on, text, detail(0x4300)}, false, T::EXIT, 2, 7, nullptr, false, false},
      {{on, text, detail(0x0300)}, false, T::EXIT, 1, 1, nullptr, true, true},
      {{on, text, own}, false, T::DEBUG, 0, 5, nullptr, true, true},
      {{on, text, own}, true, T::NOTIFICATION, 1, 1, nullptr, true, true},
      {{on, text, ownXml}, false, T::EXCEPTION_BAD, 0, 5, nullptr, true, false},
      {{on, text, allow}, false, T::WARNING, 0, 5, u"File", true, true},
      {{on, text, allow}, false, T::WARNING, 0, 5, u"CZELFILE", false, false},
      {{on, text, allow}, false, T::WARNING, 0, 5, nullptr, true, true},
      {{on, text, allow, exclude}, false, T::WARNING, 0, 5, u"CZELFile", true, true},
      {{on, text, exclude}, false, T::WARNING, 0, 5, u"CZELFile", false, false},
      {{on, text, exclude}, false, T::WARNING, 0, 5, u"CZELDirectory", true, true},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const Case &c = cases[i];
    configure(c.values);
    const std::u16string message = u"case " + std::u16string(1, char16_t(u'A' + i));
    DecisionSink sink;
    bool bLogged = false;
    if (c.simple) {
      CZELSimpleLog entry(1, false, c.type, message.c_str(), c.value, c.kind);
      bLogged = entry.log();
    } else {
      CZELDetailedLog entry(c.type, message.c_str(), c.value, c.kind, c.module, u"f", kSource, 9,
                            true, false, 1);
      bLogged = entry.isLogged();
    }
    ASSERT_EQ(sink.m_decisions.size(), 1u) << "case " << i;
    EXPECT_EQ(sink.m_decisions[0], c.allowed) << "case " << i;
    EXPECT_EQ(bLogged, c.written) << "case " << i;
    const bool bInFile = readUnits(kLog).find(u"\"" + message + u"\"") != std::u16string::npos;
    EXPECT_EQ(bInFile, c.written) << "case " << i;
  }
  // A trace's ENTRY and EXIT lines, through the detail level of each.
  configure({on, text, {u"DynamicLogging", 1}, {u"LogDetail", 0x0300}});
  {
    CZELFunctionTrace trace(u"CZELFile", u"read", kSource, 1105);
    ASSERT_TRUE(trace.isActive());
    trace.setResult(true);
  }
  const std::u16string units = readUnits(kLog);
  EXPECT_NE(units.find(u"<ENTRY> <test_log_output> <CZELFile::read> <zel_file, 1105> \r\n"),
            std::u16string::npos)
      << narrow(units);
  EXPECT_NE(units.find(u"<EXIT> <test_log_output> <CZELFile::read> <Passed> <zel_file, 1105> "),
            std::u16string::npos)
      << narrow(units);
}

TEST_F(LogOutput, LinesAreFormattedPieceByPiece) {
  using T = CZELLogType;
  const char16_t *const N = nullptr;
  struct Case {
    bool simple;
    ZEL_ULONG type;
    const char16_t *message;
    ZEL_LONG value;
    ZEL_ULONG kind;
    const char16_t *module, *function, *source;
    ZEL_ULONG line;
    const char16_t *tail; // after "<time>: <label> <prog> "
  } cases[] = {
      {false, T::EXCEPTION_BAD, u"No file", 2, 0, N, N, kSource, 1369,
       u"\"No file\" <Error: 0x00000002> <zel_file, 1369> "},
      {false, T::EXIT, N, 1, 1, u"CZELFile", u"read", kSource, 1105,
       u"<CZELFile::read> <Passed> <zel_file, 1105> "},
      {false, T::WARNING, u"m", -1, 0, u"CZELFile", N, N, 0, u"<CZELFile> \"m\" "},
      {false, T::DEBUG, u"", 0, 0, N, u"f", N, 42, u"<::f> <42> "},
      {false, T::EXIT, N, 0x100, 1, N, N, u"zel_file", 0, u"<Failed> <zel_file>"},
      {false, T::EXIT, N, 0, 2, N, N, u"a\\b\\c.cpp", 3, u"<Failed Logical Result> <c.cpp, 3> "},
      {false, T::EXIT, N, 1, 2, N, N, N, 0, u"<Passed> "},
      {false, T::ENTRY, N, 0, 1, N, N, N, 0, u""},
      {false, T::DEBUG, N, 0, 2, N, N, N, 0, u""},
      {false, T::ERROR, N, -1, 3, N, N, N, 0, u"<Return Code: 0xffffffff> "},
      {false, T::ERROR, N, static_cast<ZEL_LONG>(0x80004005), 0, N, N, N, 0,
       u"<Error: 0x80004005> "},
      {false, T::ERROR, N, 9, 7, N, N, N, 0, u""},
      {true, T::NOTIFICATION, u"Box text", 1, 1, N, N, N, 0, u"\"Box text\" "},
      {true, T::EXIT, N, 1, 1, N, N, N, 0, u"<Passed>"},
      {true, T::EXIT, N, 0, 1, N, N, N, 0, u"<Failed>"},
      {true, T::EXIT, N, 0, 2, N, N, N, 0, u"<Failed Comparison>"},
      {true, T::EXIT, u"q", 0x201, 2, N, N, N, 0, u"\"q\" <Passed>"},
      {true, T::WARNING, N, 5, 0, N, N, N, 0, u"<Error: 0x00000005> "},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const Case &c = cases[i];
    CZELDetailedLogRecord record(c.type, c.message, c.value, c.kind, c.module, c.function, c.source,
                                 c.line, u"prog");
    ZEL_USHORT szLine[CZELLoggingOutputText::MAX_LINE_CHARS + 1] = {};
    ASSERT_TRUE(c.simple
                    ? CZELLoggingOutputText::formatSimple(record, fixedTime(), szLine, 1025)
                    : CZELLoggingOutputText::formatDetailed(record, fixedTime(), szLine, 1025));
    const std::u16string expected = u"<Wed Jun 30 21:49:08 1993>: <" +
                                    std::u16string(CZELLogType::label(c.type)) + u"> <prog> " +
                                    c.tail + u"\r\n";
    EXPECT_EQ(narrow(szLine), narrow(expected)) << "case " << i;
  }
  // The day of the month always has two digits; a line too long for its
  // buffer is cut before its CR LF.
  std::tm time = fixedTime();
  time.tm_mday = 5, time.tm_wday = 6;
  const std::u16string message(1100, u'm');
  const CZELLogRecord longRecord(CZELLogType::DEBUG, message.c_str(), 0, 0, u"prog");
  ZEL_USHORT szLine[CZELLoggingOutputText::MAX_LINE_CHARS + 1] = {};
  ASSERT_TRUE(CZELLoggingOutputText::formatSimple(longRecord, time, szLine, std::size(szLine)));
  const std::u16string line = szLine;
  EXPECT_EQ(narrow(line.substr(0, 45)), "<Sat Jun 05 21:49:08 1993>: <DEBUG> <prog> \"m");
  EXPECT_GE(line.size(), CZELLoggingOutputText::MAX_LINE_CHARS - 1);
  EXPECT_LE(line.size(), CZELLoggingOutputText::MAX_LINE_CHARS);
  EXPECT_EQ(line.substr(line.size() - 3), u"m\r\n");
}

TEST_F(LogOutput, FileGetsItsMarkOnceAndOnlyWhenConfigured) {
  // No TextOutput: nothing written, no file.
  configure({{u"Logging", 1}});
  CZELDetailedLogRecord record(CZELLogType::WARNING, u"w", 0, 0, nullptr, nullptr, kSource, 1);
  EXPECT_FALSE(CZELLoggingOutputText().write(record));
  EXPECT_FALSE(CZELLogWarning(u"w", 0, 0, nullptr, nullptr, kSource, 1, 1, true, false).isLogged());
  EXPECT_FALSE(exists(kLog));
  // Two lines: one mark at the start of the new file.
  configure({{u"Logging", 1}, {u"TextOutput", 0, kLog.c_str()}});
  const CZELLogWarning first(u"first", 0, 0, nullptr, nullptr, kSource, 1, 1, true, false);
  const CZELLogWarning second(u"second", 0, 0, nullptr, nullptr, kSource, 2, 1, true, false);
  EXPECT_TRUE(first.isLogged() && second.isLogged());
  EXPECT_EQ(narrow(readUnits(kLog)),
            narrow(u'\xFEFF' + lineOf(first.getRecord()) + lineOf(second.getRecord())));
  // Only the XML bit: admitted, nothing written, the entry stays unwritten.
  EXPECT_FALSE(
      CZELLogWarning(u"xml", 0, 0, nullptr, nullptr, kSource, 3, 2, true, false).isLogged());
  // A path without a drive letter takes no detailed line.
  CZELDetailedLogRecord noDrive(CZELLogType::WARNING, u"w", 0, 0, nullptr, nullptr, kSource, 1,
                                nullptr, u"ZelTestLogs\\test.log");
  EXPECT_FALSE(CZELLoggingOutputText().write(noDrive));
  EXPECT_EQ(readUnits(kLog).find(u"xml"), std::u16string::npos);
}

TEST_F(LogOutput, RotationKeepsAtMostTheConfiguredCopies) {
  configure({{u"Logging", 1},
             {u"TextOutput", 0, kLog.c_str()},
             {u"DynamicLogging", 0},
             {u"MaxLogFileNum", 2},
             {u"MaxLogFileSize", 1}});
  ASSERT_EQ(CZELLogSettings::getDynamicLoggingState(), ZEL_ULONG(CZELLogSettings::DYNAMIC_OFF));
  // What each file must hold, rotated by the rule itself: the line that
  // leaves the file past 1 KB (over 2047 bytes) stays in it as it becomes
  // ".1".
  std::vector<std::u16string> files(3); // the file, ".1", ".2"
  ZEL_ULONG ulBytes = 0, ulRotations = 0;
  for (int i = 0; ulRotations < 3 || files[0].empty(); ++i) {
    const std::u16string message = u"line " + std::u16string(1 + i % 17, u'x');
    CZELDetailedLogRecord record(CZELLogType::DEBUG, message.c_str(), 0, 0, nullptr, nullptr,
                                 kSource, ZEL_ULONG(i));
    ASSERT_TRUE(CZELLoggingOutputText().write(record));
    files[0] += lineOf(record);
    ulBytes += ZEL_ULONG(lineOf(record).size() * 2);
    if ((ulBytes + 2) / 1024 > 1) { // the file's size, its mark included
      files[2] = files[1], files[1] = files[0], files[0].clear();
      ulBytes = 0, ++ulRotations;
    }
    ASSERT_EQ(CZELLoggingOutputText::getBytesWritten(), ulBytes) << "line " << i;
    ASSERT_EQ(CZELLoggingOutputText::getRotationCount(), ulRotations) << "line " << i;
  }
  EXPECT_EQ(narrow(readUnits(kLog)), narrow(u'\xFEFF' + files[0]));
  EXPECT_EQ(narrow(readUnits(kLog + u".1")), narrow(u'\xFEFF' + files[1]));
  EXPECT_EQ(narrow(readUnits(kLog + u".2")), narrow(u'\xFEFF' + files[2]));
  EXPECT_FALSE(exists(kLog + u".3"));

  // Without a readable DynamicLogging the limits keep their defaults.
  configure({{u"MaxLogFileNum", 5}, {u"MaxLogFileSize", 1}});
  CZELLogSettings::setDynamicLoggingState(0);
  EXPECT_EQ(CZELLogSettings::getDynamicLoggingState(), ZEL_ULONG(CZELLogSettings::DYNAMIC_OFF));
  EXPECT_EQ(CZELLogSettings::getMaxLogFileNum(), 1u);
  EXPECT_EQ(CZELLogSettings::getMaxLogFileSize(), 10240u);
}

// The user who owns the log's folder plants links in it for the
// administrator's next line; nothing may go through them: the file outside
// keeps its bytes and place, and a line that cannot be written counts as
// not written.
TEST_F(LogOutput, LinksPlantedForTheLogAreNeverFollowed) {
  static const std::string kOutsideBytes = "not the log's" + std::string(3000, '.');
  const auto folder = [] { return zelsys::CreateDirectoryW(kFolder.c_str(), nullptr) != 0; };
  const auto dueLog = [&] { return folder() && zeltest::writeFileBytes(kLog, kOutsideBytes); };
  const char *const kWineFollows = "Wine opens what a host link points to and shows no reparse "
                                   "point through the handle";
  const struct {
    const char *what;
    std::function<bool()> plant;
    bool written;
    const char *wineGap; // why Wine does otherwise; null when it does not
  } cases[] = {
      {"the log a symbolic link",
       [&] { return folder() && zeltest::makeFileLink(kLog, kOutsideLog); }, false, kWineFollows},
      {"the log a hard link", [&] { return folder() && zeltest::makeHardLink(kLog, kOutsideLog); },
       false, nullptr},
      {"the folder a symbolic link", [] { return zeltest::makeFolderLink(kFolder, kOutside); },
       false, kWineFollows},
      {"the log a folder",
       [&] { return folder() && zelsys::CreateDirectoryW(kLog.c_str(), nullptr); }, false, nullptr},
      {"a copy a symbolic link, moved on by the rotation",
       [&] { return dueLog() && zeltest::makeFileLink(logCopy(1), kOutsideLog); }, true,
       "Wine moves the file a host link points to"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    removeLogs();
    configure({{u"Logging", 1},
               {u"TextOutput", 0, kLog.c_str()},
               {u"DynamicLogging", 0},
               {u"MaxLogFileNum", 3},
               {u"MaxLogFileSize", 1}});
    CZELLogSettings::setDynamicLoggingState(0);
    CZELLogSettings::getDynamicLoggingState();
    ASSERT_TRUE(zelsys::CreateDirectoryW(kOutside.c_str(), nullptr));
    ASSERT_TRUE(zeltest::writeFileBytes(kOutsideLog, kOutsideBytes));
    ASSERT_TRUE(c.plant());
    const CZELLogWarning detailed(u"planted", 0, 0, nullptr, nullptr, kSource, 1, 1, true, false);
    CZELLogRecord simple(CZELLogType::WARNING, u"planted", 0, 0, u"prog");
    const bool bSimple = CZELLoggingOutputText().writeSimple(simple);
    const bool bUntouched = zeltest::readFileBytes(kOutsideLog) == kOutsideBytes;
    const bool bAsExpected = detailed.isLogged() == c.written && bSimple == c.written && bUntouched;
    if (c.wineGap != nullptr) {
      ZEL_EXPECT_GAP_ON_WINE(bAsExpected, c.wineGap);
    } else {
      EXPECT_TRUE(bAsExpected) << detailed.isLogged() << bSimple << bUntouched;
    }
  }
}

namespace {

constexpr int kLinesPerWriter = 200;
const char16_t kWritersVariable[] = u"ZEL_TEST_LOG_WRITERS";

// Line i of the writer who: the message names both, and lengths differ from
// line to line, so a line cut into another cannot pass for a whole one.
CZELDetailedLogRecord writerRecord(const std::u16string &who, int i) {
  const std::u16string message = who + u":" + decimal(i) + u":" + std::u16string(i % 41, u'x');
  return CZELDetailedLogRecord(CZELLogType::DEBUG, message.c_str(), i, 3, u"writer", nullptr,
                               nullptr, ZEL_ULONG(i + 1), u"appender", kLog.c_str());
}

// The lines of the kept copies and the log, oldest first (the log is
// missing when the last line rotated it); counts the files and the
// byte-order marks that open them.
std::vector<std::u16string> keptLines(int &files, int &marks) {
  int copies = 0;
  while (exists(logCopy(copies + 1)))
    ++copies;
  files = copies + (exists(kLog) ? 1 : 0), marks = 0;
  std::vector<std::u16string> lines;
  for (int n = copies; n > copies - files; --n) {
    const std::u16string units = readUnits(logCopy(n));
    marks += !units.empty() && units[0] == u'\xFEFF';
    for (std::size_t at = 1, end; at < units.size(); at = end + 2) {
      end = std::min(units.find(u"\r\n", at), units.size());
      lines.push_back(units.substr(at, std::min(end + 2, units.size()) - at));
    }
  }
  return lines;
}

// Waits at most a minute for the log and its copies to hold a number of
// lines.
bool waitForLines(int lines) {
  int files = 0, marks = 0;
  for (int i = 0; i < 60000; ++i) {
    if (keptLines(files, marks).size() >= std::size_t(lines))
      return true;
    zelsys::Sleep(1);
  }
  return false;
}

// One writer's lines, named after its process, in bursts of ten. With
// several writers at once, each waits after its first line until every one
// has written its first. How many were reported written; -1 when the
// others never came.
int writeLines(int together) {
  CZELLoggingOutputText::setClock(fixedTime);
  CZELLogSettings::getDynamicLoggingState(); // reads the rotation limits
  const std::u16string who = decimal(int(zelsys::GetCurrentProcessId()));
  int written = 0;
  for (int i = 0; i < kLinesPerWriter; ++i) {
    CZELDetailedLogRecord record = writerRecord(who, i);
    written += CZELLoggingOutputText().write(record) ? 1 : 0;
    if (i == 0 && !waitForLines(together))
      return -1;
    if (i % 10 == 9)
      zelsys::Sleep(1);
  }
  return written;
}

} // namespace

// A writer of the test below in a process of its own, started by it;
// skipped otherwise.
TEST(LogOutputChild, WriteLines) {
  zelsys::WCHAR szValue[8] = {};
  if (zelsys::GetEnvironmentVariableW(kWritersVariable, szValue, 8) == 0)
    GTEST_SKIP() << "run by LogOutput.RotationKeepsEveryLineOfEveryProcess";
  EXPECT_EQ(writeLines(szValue[0] - u'0'), kLinesPerWriter);
}

// Processes rotate a small log many times over: every line of each one is
// in the log or a kept copy, once, whole, and in its order. The copies are
// shifted from what is on disk, whoever rotated before; and while a writer
// appends and rotates, the others wait.
TEST_F(LogOutput, RotationKeepsEveryLineOfEveryProcess) {
  const struct {
    const char *what;
    int writers;
    bool together;
  } cases[] = {{"two runs one after the other", 2, false}, {"four processes at once", 4, true}};
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    removeLogs();
    configure(
        {{u"Logging", 1}, {u"DynamicLogging", 0}, {u"MaxLogFileNum", 99}, {u"MaxLogFileSize", 4}});
    CZELLogSettings::setDynamicLoggingState(0);
    const int together = c.together ? c.writers : 1;
    ASSERT_TRUE(zelsys::SetEnvironmentVariableW(kWritersVariable, decimal(together).c_str()));
    // Writer 0 is this process, the others are children.
    std::vector<int> written(c.writers, -1);
    std::vector<std::function<void()>> writers;
    for (int w = 1; w < c.writers; ++w)
      writers.push_back([&written, w] {
        const int code =
            zeltest::runProgram(zeltest::builtProgram(u"tests\\log\\test_log_output"),
                                u"--gtest_filter=LogOutputChild.*", u"C:\\", std::nullopt);
        written[w] = code == 0 ? kLinesPerWriter : -1;
      });
    writers.push_back([&written, together] { written[0] = writeLines(together); });
    if (c.together) {
      ASSERT_TRUE(zeltest::runOnThreads(writers));
    } else {
      for (const auto &writer : writers)
        writer();
    }
    zelsys::SetEnvironmentVariableW(kWritersVariable, nullptr);
    EXPECT_EQ(written, std::vector<int>(c.writers, kLinesPerWriter));

    int files = 0, marks = 0;
    const std::vector<std::u16string> lines = keptLines(files, marks);
    std::map<std::u16string, std::vector<int>> numbers; // writer: its line numbers, in order
    std::size_t whole = 0, changes = 0;
    std::u16string last;
    for (const std::u16string &line : lines) {
      const std::size_t open = line.find(u'"'), first = line.find(u':', open + 1),
                        second = line.find(u':', first + 1);
      if (second == std::u16string::npos)
        continue;
      const std::u16string who = line.substr(open + 1, first - open - 1);
      const int i = std::stoi(zeltest::narrow(line.substr(first + 1, second - first - 1)));
      if (line != lineOf(writerRecord(who, i)))
        continue;
      ++whole, changes += who != last, last = who;
      numbers[who].push_back(i);
    }
    std::vector<int> all(kLinesPerWriter);
    std::iota(all.begin(), all.end(), 0);
    EXPECT_EQ(lines.size(), std::size_t(c.writers * kLinesPerWriter));
    EXPECT_EQ(whole, lines.size());
    EXPECT_EQ(numbers.size(), std::size_t(c.writers));
    for (const auto &[who, numbered] : numbers)
      EXPECT_EQ(numbered, all) << zeltest::narrow(who);
    EXPECT_EQ(marks, files);
    EXPECT_GT(files, c.writers * 4) << "the log must have been rotated many times";
    EXPECT_TRUE(!c.together || changes > std::size_t(c.writers * 4))
        << changes << " changes of writer: they must have written at once";
  }
}
