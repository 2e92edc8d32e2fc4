// zel_message_box.h - CZELMessageBox, the framework's modal message box.
//
// Holds a title, a message, a style word (the MessageBoxW buttons, icon and
// modality) and an owner window; shows the box on request and remembers the
// button pressed, 2 (IDCANCEL) until a box has been shown. Every box shown
// leaves a NOTIFICATION line "Message Box displayed: <message>" in the log.
// Only the constructor throws; the other operations answer with a boolean
// and log what went wrong.
#pragma once

#include "zel_flags.h"
#include "zel_types.h"
#include "zel_wchar_string.h"
#include "zelsys/ui.h"

class CZELMessageBox {
public:
  // Copies the four arguments; throws CZELMessageBoxInitException when that
  // fails.
  CZELMessageBox(zelsys::HWND hOwner, const CZELWCharString &strTitle,
                 const CZELWCharString &strMessage, const CZELFlags &flgStyle);
  virtual ~CZELMessageBox();

  // Shows the box and waits for it; true when the platform returned a
  // button (the result then holds it).
  virtual bool showMessageBox();
  // Load the text with this id from the program's own string table; false,
  // with the old text kept, when it is missing.
  virtual bool setTitle(ZEL_ULONG ulId);
  virtual bool setMsg(ZEL_ULONG ulId);

  bool setTitle(const CZELWCharString &strTitle);
  bool setMsg(const CZELWCharString &strMessage);
  void setStyle(const CZELFlags &flgStyle);
  ZEL_LONG getResult() const { return m_lResult; }

private:
  ZEL_LONG m_lResult;
  CZELWCharString m_strMessage;
  CZELWCharString m_strTitle;
  CZELFlags m_flgStyle;
  zelsys::HWND m_hOwner;
};
