// test_log_entries.cpp - log entries, the exception family and catch sites.
#include "zel_catch.h"
#include "zel_function_trace.h"
#include "zel_simple_log.h"
#include "zel_test_support.h"
#include "zelsys/kernel.h"

#include <cerrno>
#include <stdexcept>
#include <string>
#include <type_traits>

using zeltest::RecordingSink;

namespace {

const ZEL_USHORT kSource[] = u".\\test_log_entries";

} // namespace

TEST(LogEntry, WrittenAtOnceThenCaughtGivesOneLine) {
  RecordingSink sink;
  try {
    throw CZELFileOpenException(u"C:\\a.txt", kSource, 10, 1, true, false);
  } catch (CZELLogging &rEntry) {
    EXPECT_TRUE(rEntry.isLogged()) << "the thrown copy keeps the written flag";
    zelLogCaught(rEntry);
  }
  ASSERT_EQ(sink.count(), 1u);
  const zeltest::LoggedEntry &entry = sink.entries()[0];
  EXPECT_EQ(entry.type, CZELLogType::EXCEPTION_BAD);
  EXPECT_EQ(entry.message, u"The specified file, C:\\a.txt, cannot be opened.");
  EXPECT_EQ(entry.value, -1);
  EXPECT_EQ(entry.sourceFile, kSource);
  EXPECT_EQ(entry.line, 10u);
}

TEST(LogEntry, LogOnDestroyEntryCaughtGivesTwoLines) {
  RecordingSink sink;
  try {
    throw CZELBufferInitException(kSource, 20, true);
  } catch (CZELLogging &rEntry) {
    EXPECT_FALSE(rEntry.isLogged()) << "log now is fixed to false";
    zelLogCaught(rEntry);
    EXPECT_EQ(sink.count(), 1u);
  }
  EXPECT_EQ(sink.count(), 2u);
  EXPECT_EQ(sink.countMessage(u"Unable to initialize CZELBuffer"), 2u);
}

TEST(LogEntry, LogWritesAgainWhenCalledTwice) {
  RecordingSink sink;
  CZELLogDebug debug(u"two lines", 0, 1, u"prog", u"f", kSource, 1, 1, true, false);
  debug.log();
  EXPECT_EQ(sink.countMessage(u"two lines"), 2u);
}

TEST(LogEntry, MissingPlaceholdersPrintUnknown) {
  RecordingSink sink;
  CZELMemAllocException(nullptr, kSource, 1, 1, true, false);
  CZELRegValueSetException(u"Software\\Test", nullptr, 5, u"CZELRegistryString", u"setValue",
                           kSource, 2, 1, true, false);
  CZELGetPolicySettingWarning(42, kSource, 3, 1, true, false);
  CZELLoadStringException(1130, nullptr, 1814, kSource, 4, 1, true, false);
  ASSERT_EQ(sink.count(), 4u);
  EXPECT_EQ(sink.entries()[0].message, u"Unable to allocate memory ( Unknown )");
  EXPECT_EQ(sink.entries()[1].message,
            u"Unable to Set registry value ( \"Software\\Test\\Unknown\" )");
  EXPECT_EQ(sink.entries()[2].message, u"Could not find policy setting with ID ( 42 )");
  EXPECT_EQ(sink.entries()[3].message,
            u"Unable to load string ( ID: 1130 ) from resource DLL ( Unknown )");
}

TEST(LogEntry, RecordsValueKindModuleAndFunctionPerClass) {
  RecordingSink sink;
  CZELRegKeyCreateException(u"Software\\X", 5, u"CZELRegistryKey", u"open", kSource, 7, 1, true,
                            false);
  CZELRegKeyAlreadyOpenWarning(u"Software\\X", u"CZELRegistryKey", u"open", kSource, 8, 1, true,
                               false);
  CZELBadArgException(u"ulOffset", u"value is out of bounds", kSource, 9, 1, true, false);
  CZELSetEnvironmentVariableException(203, kSource, 10, 1, true, false);
  ASSERT_EQ(sink.count(), 4u);
  const auto &create = sink.entries()[0];
  EXPECT_EQ(create.value, 5);
  EXPECT_EQ(create.valueKind, 1u);
  EXPECT_EQ(create.module, u"CZELRegistryKey");
  EXPECT_EQ(create.function, u"open");
  const auto &open = sink.entries()[1];
  EXPECT_EQ(open.type, CZELLogType::WARNING);
  EXPECT_EQ(open.value, -1);
  EXPECT_EQ(open.valueKind, 1u);
  EXPECT_EQ(open.message, u"Registry key is already open ( Software\\X )");
  const auto &badArg = sink.entries()[2];
  EXPECT_EQ(badArg.message, u"A bad argument was provided ( ulOffset ). value is out of bounds");
  EXPECT_EQ(badArg.value, 0);
  EXPECT_EQ(badArg.valueKind, 0u);
  EXPECT_TRUE(badArg.module.empty());
  EXPECT_EQ(sink.entries()[3].value, 203);
  EXPECT_EQ(sink.entries()[3].message, u"SetEnvironmentVariable call failed.");
}

TEST(LogEntry, FormattedMessageIsCutToTheBuffer) {
  RecordingSink sink;
  const std::u16string longName(3000, u'n');
  CZELBadArgException(longName.c_str(), u"reason", kSource, 1, 1, true, false);
  ASSERT_EQ(sink.count(), 1u);
  const std::u16string &message = sink.entries()[0].message;
  EXPECT_EQ(message.size(), static_cast<std::size_t>(CZELDetailedLog::MAX_MESSAGE_CHARS - 1));
  EXPECT_EQ(message.substr(0, 31), u"A bad argument was provided ( n");
}

TEST(LogEntry, EmptyTextsLeaveRecordFieldsNull) {
  CZELLogDebug debug(u"", 0, 1, u"", nullptr, u"", 1, 1, false, false);
  const CZELDetailedLogRecord &record = debug.getRecord();
  EXPECT_EQ(record.m_pszMessage, nullptr);
  EXPECT_EQ(record.m_pszModule, nullptr);
  EXPECT_EQ(record.m_pszFunction, nullptr);
  EXPECT_EQ(record.m_pszSourceFile, nullptr);
  EXPECT_EQ(record.m_pszLogName, nullptr);
}

TEST(LogEntry, CopiesOwnTheirTexts) {
  auto *pOriginal = new CZELLogDebug(u"text", 3, 2, u"mod", u"fn", kSource, 4, 1, false, false);
  CZELLogDebug copy(*pOriginal);
  delete pOriginal;
  EXPECT_EQ(zeltest::text(copy.getRecord().m_pszMessage), u"text");
  EXPECT_EQ(zeltest::text(copy.getRecord().m_pszModule), u"mod");
  EXPECT_EQ(copy.getRecord().m_lValue, 3);
}

TEST(LogEntry, WritingKeepsTheLastError) {
  for (bool withSink : {false, true}) {
    RecordingSink *pSink = withSink ? new RecordingSink : nullptr;
    zelsys::SetLastError(0xdeadbeef);
    CZELLogDebug debug(u"keep", 0, 1, u"prog", u"f", kSource, 1, 1, true, false);
    EXPECT_EQ(debug.isLogged(), withSink);
    EXPECT_EQ(zelsys::GetLastError(), 0xdeadbeefu) << "with sink: " << withSink;
    delete pSink;
  }
}

TEST(LogEntry, NotificationNamesTheMessageBox) {
  RecordingSink sink;
  CLogNotification notification(u"Patch applied");
  ASSERT_EQ(sink.count(), 1u);
  const auto &entry = sink.entries()[0];
  EXPECT_FALSE(entry.detailed);
  EXPECT_EQ(entry.type, CZELLogType::NOTIFICATION);
  EXPECT_EQ(entry.message, u"Message Box displayed: Patch applied");
  EXPECT_EQ(entry.valueKind, 0u);
  EXPECT_TRUE(notification.isLogged());
}

TEST(LogEntry, TypeLabels) {
  EXPECT_EQ(std::u16string(CZELLogType::label(CZELLogType::EXCEPTION_BAD)), u"EXCEPTION_BAD");
  EXPECT_EQ(std::u16string(CZELLogType::label(CZELLogType::EXIT)), u"EXIT");
  EXPECT_EQ(std::u16string(CZELLogType::label(0x1000)), u"UNSPECIFIED");
  EXPECT_EQ(std::u16string(CZELLogType::label(0x003)), u"UNSPECIFIED");
}

// The family's kinds: the seven warnings, everything else an exception.
static_assert(std::is_base_of_v<CZELLogWarning, CCloseHandleWarning>);
static_assert(std::is_base_of_v<CZELLogWarning, CMemDestroyFailWarning>);
static_assert(std::is_base_of_v<CZELLogWarning, CNetApiBufferFreeWarning>);
static_assert(std::is_base_of_v<CZELLogWarning, CTerminateProcessWarning>);
static_assert(std::is_base_of_v<CZELLogWarning, CZELGetPolicySettingWarning>);
static_assert(std::is_base_of_v<CZELLogWarning, CZELRegCloseKeyWarning>);
static_assert(std::is_base_of_v<CZELLogWarning, CZELRegKeyAlreadyOpenWarning>);
static_assert(std::is_base_of_v<CZELLogException1, CZELSHCopyKeyException>);
static_assert(std::is_base_of_v<CZELLogException1, CZELWMIValueNotSetException>);

TEST(CatchSite, AbsorbLogsForeignExceptionsOnceWithTheErrorCode) {
  RecordingSink sink;
  errno = ERANGE;
  const bool result = zelAbsorb(kSource, 77, CZELErrorSource::esErrno,
                                []() -> bool { throw std::runtime_error("x"); });
  EXPECT_FALSE(result);
  ASSERT_EQ(sink.count(), 1u);
  EXPECT_EQ(sink.entries()[0].message, u"An unhandled exception occurred");
  EXPECT_EQ(sink.entries()[0].value, ERANGE);
  EXPECT_EQ(sink.entries()[0].line, 77u);
  EXPECT_EQ(sink.entries()[0].sourceFile, kSource);
}

TEST(CatchSite, AbsorbDoesNotWriteAWrittenEntryAgain) {
  RecordingSink sink;
  EXPECT_FALSE(zelAbsorb(kSource, 1, CZELErrorSource::esNone, [] {
    throw CZELBadArgException(u"a", u"b", kSource, 1, 1, true, false);
  }));
  EXPECT_EQ(sink.count(), 1u);
  EXPECT_TRUE(zelAbsorb(kSource, 1, CZELErrorSource::esNone, [] {}));
  EXPECT_EQ(sink.count(), 1u);
}

TEST(CatchSite, TranslateLogsTheCauseThenThrowsItsOwnClass) {
  RecordingSink sink;
  zelsys::SetLastError(1234);
  bool translated = false;
  try {
    zelTranslate<CZELBufferInitException>(
        kSource, 5, CZELErrorSource::esLastError, []() -> int { throw 7; }, kSource, 6, false);
  } catch (CZELBufferInitException &rEntry) {
    translated = true;
    EXPECT_FALSE(rEntry.isLogged());
    zelLogCaught(rEntry);
  }
  EXPECT_TRUE(translated);
  ASSERT_EQ(sink.count(), 2u);
  EXPECT_EQ(sink.entries()[0].message, u"An unhandled exception occurred");
  EXPECT_EQ(sink.entries()[0].value, 1234);
  EXPECT_EQ(sink.entries()[1].message, u"Unable to initialize CZELBuffer");
  EXPECT_EQ(sink.entries()[1].line, 6u);
}

TEST(CatchSite, RethrowPassesTheEntryOnAfterWritingIt) {
  RecordingSink sink;
  EXPECT_THROW(zelRethrow(kSource, 1, CZELErrorSource::esNone,
                          [] { throw CZELFileInitException(kSource, 2, 1, false, false); }),
               CZELFileInitException);
  EXPECT_EQ(sink.countMessage(u"CZELFile object failed to initialize"), 1u);
}

class FunctionTrace : public ::testing::Test {
protected:
  void TearDown() override {
    CZELLogSettings::setDynamicLoggingState(CZELLogSettings::DYNAMIC_UNKNOWN);
  }
};

TEST_F(FunctionTrace, KeepsNothingWhileLoggingIsOff) {
  RecordingSink sink;
  for (ZEL_ULONG state : {CZELLogSettings::DYNAMIC_UNKNOWN, CZELLogSettings::DYNAMIC_OFF,
                          CZELLogSettings::DYNAMIC_ON}) {
    CZELLogSettings::setDynamicLoggingState(state);
    {
      CZELFunctionTrace trace(u"CZELFile", u"open", kSource, 1);
      EXPECT_FALSE(trace.isActive()) << "state " << state;
      trace.setResult(false);
    }
  }
  EXPECT_EQ(sink.count(), 0u);
}

TEST(LogEntryTrace, EntryWritesEntryThenExitWithTheResult) {
  RecordingSink sink;
  {
    _CZELLogEntry entry(u"CZELFile", u"open", kSource, 12, 1, true, true);
    entry.setResult(false);
  }
  {
    _CZELLogEntry entry(u"CZELFile", u"compare", kSource, 13, 1, false, true);
    entry.setLogicalResult(-1);
  }
  ASSERT_EQ(sink.count(), 3u);
  EXPECT_EQ(sink.entries()[0].type, CZELLogType::ENTRY);
  EXPECT_EQ(sink.entries()[1].type, CZELLogType::EXIT);
  EXPECT_EQ(sink.entries()[1].value, 0);
  EXPECT_EQ(sink.entries()[1].valueKind, 1u);
  EXPECT_EQ(sink.entries()[1].function, u"open");
  EXPECT_EQ(sink.entries()[2].type, CZELLogType::EXIT);
  EXPECT_EQ(sink.entries()[2].value, -1);
  EXPECT_EQ(sink.entries()[2].valueKind, 2u);
}
