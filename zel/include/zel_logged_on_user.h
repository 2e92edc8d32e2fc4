// zel_logged_on_user.h - CZELLoggedOnUser: the user logged on at the console.
//
// The user of the session attached to the console (on Windows the active
// console session, on the emulated machine the host's terminal session),
// named as the system names it and as a SID for access lists. Holds no
// state: every question asks the system anew.
#pragma once

#include "zel_buffer.h"
#include "zel_wchar_string.h"

class CZELLoggedOnUser {
public:
  CZELLoggedOnUser();
  ~CZELLoggedOnUser();

  // The account name; false when nobody is logged on at the console.
  bool getUserName(CZELWCharString &strName) const;
  // The account's SID in its binary form; false when nobody is logged on at
  // the console or the name has no SID.
  bool getSid(CZELBuffer<ZEL_BYTE> &bufSid) const;
};
