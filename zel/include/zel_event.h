// zel_event.h - CZELEvent, the interface of the framework's event objects.
//
// An event has a name (empty for an unnamed event) and an identifier that
// tells the events of one owner apart; two events compare equal when both
// agree. The signalling operations are left to the derived classes.
#pragma once

#include "zel_types.h"
#include "zel_wchar_string.h"

class CZELEvent {
public:
  CZELEvent(const CZELWCharString &strName, ZEL_LONG lId) : m_strName(strName), m_lId(lId) {}
  CZELEvent(const CZELEvent &) = default;
  CZELEvent &operator=(const CZELEvent &) = default;
  virtual ~CZELEvent() = default;

  // Whether the event is signalled now, without waiting.
  virtual bool isSignaled() = 0;
  virtual bool reset() = 0;
  virtual void setId(ZEL_LONG lId) { m_lId = lId; }
  virtual void setName(const CZELWCharString &strName) { m_strName = strName; }
  virtual bool set() = 0;
  // True when the event is signalled within ulMilliseconds (INFINITE: no limit).
  virtual bool waitForSignal(ZEL_ULONG ulMilliseconds) = 0;

  const CZELWCharString &getName() const { return m_strName; }
  ZEL_LONG getId() const { return m_lId; }

  bool operator==(const CZELEvent &other) const {
    return m_strName == other.m_strName && m_lId == other.m_lId;
  }
  bool operator!=(const CZELEvent &other) const { return !(*this == other); }

protected:
  CZELWCharString m_strName;
  ZEL_LONG m_lId;
};
