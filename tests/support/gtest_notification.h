// gtest_notification.h - forced into every GoogleTest translation unit of the
// Windows build. Its C++ runtime (the thread flavour that Windows XP can
// load) has no std::mutex or std::condition_variable, which GoogleTest's own
// Notification is made of; this one waits on an atomic flag instead. Only
// GoogleTest's thread helper uses it, and no test of ours starts one. It
// includes nothing, so no system header is set up before a source's own
// choice of the Windows version.
#pragma once

namespace testing::internal {

class Notification {
public:
  Notification() = default;
  Notification(const Notification &) = delete;
  Notification &operator=(const Notification &) = delete;

  void Notify() { __atomic_store_n(&m_bNotified, true, __ATOMIC_RELEASE); }
  void WaitForNotification() {
    while (!__atomic_load_n(&m_bNotified, __ATOMIC_ACQUIRE)) {
    }
  }

private:
  bool m_bNotified = false;
};

} // namespace testing::internal
