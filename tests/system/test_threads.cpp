// test_threads.cpp - events, threads and waits: the platform calls and
// CZELWindowsEvent and CZELThread over them.
#include "zel_exceptions.h"
#include "zel_lock.h"
#include "zel_test_support.h"
#include "zel_thread.h"
#include "zel_windows_event.h"
#include "zelsys/kernel.h"
#include "zelsys/security.h"
#include "zelsys/sync.h"
#include "zelsys/winconst.h"

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>

using namespace zelsys;

namespace {

constexpr DWORD kSentinel = 0xdeadbeef;

DWORD waitThenReturn(LPVOID pEvent) {
  return WaitForSingleObject(static_cast<HANDLE>(pEvent), INFINITE) == WAIT_OBJECT_0 ? 7 : 9;
}

// A work that counts its runs, optionally holds until a gate opens, and
// optionally runs until it is asked to stop.
class Worker : public CZELThread {
public:
  explicit Worker(bool bWatchStop = false)
      : CZELThread(u"worker"), m_bWatchStop(bWatchStop), m_evGate(u"", 9, true, true) {}
  ~Worker() override { stop(); }
  void thread() override {
    ++m_lRuns;
    if (m_bThrow)
      throw 1;
    m_evGate.waitForSignal(INFINITE);
    while (m_bWatchStop && !getStopEvent().isSignaled())
      Sleep(1);
    m_bFinished = true;
  }
  std::atomic<int> m_lRuns{0};
  std::atomic<bool> m_bFinished{false};
  bool m_bWatchStop;
  bool m_bThrow = false;
  CZELWindowsEvent m_evGate;
};

} // namespace

TEST(PlatformSync, ManualAndAutomaticResetEvents) {
  struct Case {
    BOOL bManual;
    DWORD dwSecondWait; // after one wait has ended on the signalled event
  };
  const Case cases[] = {{TRUE, WAIT_OBJECT_0}, {FALSE, WAIT_TIMEOUT}};
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(i);
    const HANDLE hEvent = CreateEventW(nullptr, cases[i].bManual, TRUE, nullptr);
    ASSERT_NE(hEvent, nullptr);
    EXPECT_EQ(WaitForSingleObject(hEvent, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(hEvent, 0), cases[i].dwSecondWait);
    EXPECT_TRUE(SetEvent(hEvent));
    EXPECT_TRUE(ResetEvent(hEvent));
    EXPECT_EQ(WaitForSingleObject(hEvent, 10), WAIT_TIMEOUT);

    // Two threads wait; one SetEvent releases both or, automatic, just one.
    HANDLE hThreads[2];
    DWORD dwIds[2] = {0, 0};
    for (int t = 0; t < 2; ++t)
      hThreads[t] = CreateThread(nullptr, 0, waitThenReturn, hEvent, 0, &dwIds[t]);
    ASSERT_TRUE(hThreads[0] != nullptr && hThreads[1] != nullptr);
    EXPECT_TRUE(dwIds[0] != 0 && dwIds[0] != dwIds[1]);
    DWORD dwCode = 0;
    EXPECT_TRUE(GetExitCodeThread(hThreads[0], &dwCode));
    EXPECT_EQ(dwCode, STILL_ACTIVE);
    EXPECT_EQ(MsgWaitForMultipleObjects(2, hThreads, FALSE, 20, QS_ALLINPUT), WAIT_TIMEOUT);
    SetEvent(hEvent);
    const DWORD dwFirst = MsgWaitForMultipleObjects(2, hThreads, FALSE, INFINITE, QS_ALLINPUT);
    ASSERT_LT(dwFirst, WAIT_OBJECT_0 + 2);
    const HANDLE hOther = hThreads[1 - (dwFirst - WAIT_OBJECT_0)];
    EXPECT_EQ(WaitForSingleObject(hOther, 200), cases[i].bManual ? WAIT_OBJECT_0 : WAIT_TIMEOUT);
    SetEvent(hEvent);
    EXPECT_EQ(WaitForSingleObject(hOther, INFINITE), WAIT_OBJECT_0);
    // Waiting for all needs an input message as well, and none comes.
    EXPECT_EQ(MsgWaitForMultipleObjects(2, hThreads, TRUE, 0, QS_ALLINPUT), WAIT_TIMEOUT);
    EXPECT_TRUE(GetExitCodeThread(hOther, &dwCode));
    EXPECT_EQ(dwCode, 7u);
    for (const HANDLE hThread : hThreads)
      EXPECT_TRUE(CloseHandle(hThread));
    EXPECT_TRUE(CloseHandle(hEvent));
    SetLastError(kSentinel);
    EXPECT_EQ(WaitForSingleObject(hEvent, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  }
}

TEST(PlatformSync, NamesAndDuplicatesReachOneEvent) {
  const char16_t *pszName = u"ZelTestEvent-Threads";
  SetLastError(kSentinel);
  const HANDLE hFirst = CreateEventW(nullptr, TRUE, FALSE, pszName);
  EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
  // The second opening keeps the first one's state, not its own arguments.
  const HANDLE hSecond = CreateEventW(nullptr, FALSE, TRUE, pszName);
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  ASSERT_TRUE(hFirst != nullptr && hSecond != nullptr && hFirst != hSecond);
  EXPECT_EQ(WaitForSingleObject(hSecond, 0), WAIT_TIMEOUT);
  const HANDLE hOtherCase = CreateEventW(nullptr, TRUE, FALSE, u"zeltestevent-threads");
  EXPECT_EQ(GetLastError(), ERROR_SUCCESS);

  HANDLE hCopy = nullptr;
  ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), hFirst, GetCurrentProcess(), &hCopy, 0, FALSE,
                              DUPLICATE_SAME_ACCESS));
  EXPECT_TRUE(SetEvent(hSecond));
  EXPECT_EQ(WaitForSingleObject(hCopy, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(hOtherCase, 0), WAIT_TIMEOUT);
  // The object lasts while any handle does; the name as long as the object.
  CloseHandle(hFirst);
  CloseHandle(hSecond);
  EXPECT_TRUE(ResetEvent(hCopy));
  CloseHandle(hCopy);
  CloseHandle(hOtherCase);
  const HANDLE hAgain = CreateEventW(nullptr, TRUE, FALSE, pszName);
  EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
  CloseHandle(hAgain);

  SetLastError(kSentinel);
  EXPECT_FALSE(DuplicateHandle(GetCurrentProcess(), hCopy, GetCurrentProcess(), &hCopy, 0, FALSE,
                               DUPLICATE_SAME_ACCESS));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

// A plain counter stays exact only if the lock keeps the threads apart; the
// inner lock is taken by the thread that already holds it, which must not
// block. A process-wide lock is constant-initialized, so it works before
// any constructor has run.
TEST(Lock, ExcludesOtherThreadsAndAdmitsItsHolderAgain) {
  static constinit CZELLock lock;
  long lCount = 0;
  const auto add = [&] {
    for (int i = 0; i < 20000; ++i) {
      const std::lock_guard<CZELLock> outer(lock);
      const std::lock_guard<CZELLock> inner(lock);
      lCount = lCount + 1;
    }
  };
  ASSERT_TRUE(zeltest::runOnThreads({add, add, add, add}));
  EXPECT_EQ(lCount, 80000);
}

TEST(WindowsEvent, SignalsAreSharedByCopiesAndNames) {
  CZELWindowsEvent unnamed(u"", 4, false, true);
  const auto before = std::chrono::steady_clock::now();
  EXPECT_FALSE(unnamed.waitForSignal(0));
  EXPECT_FALSE(unnamed.isSignaled());
  EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(1));

  CZELWindowsEvent copy(unnamed);
  EXPECT_TRUE(copy == unnamed);
  EXPECT_NE(copy.getHandle(), unnamed.getHandle());
  EXPECT_TRUE(unnamed.set());
  EXPECT_TRUE(copy.isSignaled());
  EXPECT_TRUE(copy.reset());
  EXPECT_FALSE(unnamed.isSignaled());

  // An automatic-reset event opened by name twice: one signal, one taker.
  CZELWindowsEvent named(u"ZelTestEvent-Named", 1, false, false);
  CZELWindowsEvent again(u"ZelTestEvent-Named", 2, true, true);
  EXPECT_TRUE(named != again);
  EXPECT_FALSE(again.isSignaled());
  named.set();
  EXPECT_TRUE(again.waitForSignal(0));
  EXPECT_FALSE(named.waitForSignal(0));
  copy = named;
  named.set();
  EXPECT_TRUE(copy.isSignaled());
}

TEST(WindowsEvent, FailedCreationIsLoggedAndThrown) {
  zeltest::RecordingSink sink;
  // Names live in the session's folder of objects, which has no such folder.
  const std::u16string name = u"NoSuchFolder\\ZelTestEvent";
  EXPECT_THROW(CZELWindowsEvent(name.c_str(), 0, false, true), CZELWindowsEventInitException);
  ASSERT_EQ(sink.countMessage(u"Unable to create event. ( Event name = " + name + u" )"), 1u);
  EXPECT_EQ(sink.entries().front().value, static_cast<ZEL_LONG>(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(sink.countMessage(u"Unable to create windows event. ( Event name = " + name + u" )"),
            1u);
}

TEST(Thread, StartModesAndRepeatedStarts) {
  {
    CZELThread plain(u"");
    EXPECT_EQ(std::u16string(plain.getName().getBuffer()), u"Unknown Thread");
    zeltest::RecordingSink sink;
    EXPECT_TRUE(plain.stop()); // never started: nothing to wait for
    EXPECT_EQ(sink.count(), 0u);
    // A plain thread has no work, on a worker or on the caller's thread.
    EXPECT_TRUE(plain.start(tsmWaitDone, true));
    EXPECT_TRUE(plain.getDoneEvent().isSignaled());
    EXPECT_TRUE(plain.start(tsmNoWait, false));
    EXPECT_TRUE(plain.getDoneEvent().isSignaled());
  }

  Worker worker;
  worker.m_evGate.set();
  EXPECT_TRUE(worker.start(tsmWaitDone, true)); // returns once the work has
  EXPECT_TRUE(worker.m_bFinished);
  EXPECT_NE(worker.getThreadId(), 0u);
  EXPECT_TRUE(worker.start(tsmWaitDone, true)); // a finished worker is replaced
  EXPECT_EQ(worker.m_lRuns, 2);

  worker.m_evGate.reset();
  worker.m_bFinished = false;
  EXPECT_TRUE(worker.start(tsmWaitStarted, true)); // returns once the work began
  EXPECT_TRUE(worker.isActive());
  EXPECT_TRUE(worker.getStartedEvent().isSignaled());
  EXPECT_FALSE(worker.getDoneEvent().waitForSignal(20));
  // An active worker: no second one, and the events stay as they are.
  EXPECT_TRUE(worker.start(tsmWaitStarted, true));
  EXPECT_TRUE(worker.getStartedEvent().isSignaled());
  worker.m_evGate.set();
  EXPECT_TRUE(worker.getCompleteEvent().waitForSignal(INFINITE));
  EXPECT_EQ(worker.m_lRuns, 3);
  EXPECT_TRUE(worker.m_bFinished);

  // A work that throws never sets done: the end of the worker ends the wait.
  zeltest::RecordingSink sink;
  worker.m_bThrow = true;
  EXPECT_TRUE(worker.start(tsmWaitDone, true));
  EXPECT_TRUE(worker.getCompleteEvent().waitForSignal(INFINITE));
  EXPECT_FALSE(worker.getDoneEvent().isSignaled());
  EXPECT_FALSE(worker.isActive());
  EXPECT_EQ(sink.countMessage(u"An unhandled exception occurred"), 1u);
}

TEST(Thread, StopEndsAWorkThatWatchesTheStopEvent) {
  zeltest::RecordingSink sink;
  Worker worker(true);
  worker.m_evGate.set();
  ASSERT_TRUE(worker.start(tsmNoWait, true));
  EXPECT_FALSE(worker.getDoneEvent().waitForSignal(20));
  EXPECT_TRUE(worker.stop());
  EXPECT_TRUE(worker.m_bFinished);
  EXPECT_FALSE(worker.isActive());
  EXPECT_TRUE(worker.getDoneEvent().isSignaled() && worker.getCompleteEvent().isSignaled());
  ASSERT_EQ(sink.countMessage(u"In CZELThread::stop() and thread is valid/active"), 1u);
  EXPECT_EQ(sink.entries().back().function, u"worker");
}
