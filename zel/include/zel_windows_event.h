// zel_windows_event.h - CZELWindowsEvent, an event over a platform event.
//
// The constructor creates the platform event (an empty name makes an
// unnamed one; a name already in use opens that event) and throws
// CZELWindowsEventInitException when it cannot. A copy holds its own handle
// to the same platform event, so both see one signalled state. The other
// operations log what went wrong and answer false; an event without a
// handle (a failed copy) never counts as signalled.
#pragma once

#include "zel_event.h"
#include "zelsys/wintypes.h"

class CZELWindowsEvent : public CZELEvent {
public:
  CZELWindowsEvent(const CZELWCharString &strName, ZEL_LONG lId, bool bInitialState,
                   bool bManualReset, zelsys::SECURITY_ATTRIBUTES *pSecurity = nullptr);
  CZELWindowsEvent(const CZELWindowsEvent &other);
  CZELWindowsEvent &operator=(const CZELWindowsEvent &other);
  ~CZELWindowsEvent() override;

  bool isSignaled() override;
  bool reset() override;
  bool set() override;
  bool waitForSignal(ZEL_ULONG ulMilliseconds) override;

  zelsys::HANDLE getHandle() const { return m_hEvent; }

private:
  // Closes m_hEvent (a failure is a logged warning) and clears it.
  void closeEvent() noexcept;
  // Makes m_hEvent a second handle to hOther's event, or null.
  void duplicateFrom(zelsys::HANDLE hOther) noexcept;

  zelsys::HANDLE m_hEvent;
};
