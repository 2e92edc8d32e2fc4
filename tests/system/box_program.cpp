// box_program.cpp - shows one framework message box, for the tests that
// answer it: on the terminal natively, by a key press in a real window
// under Wine.
//
// The box is made with the caption "Kept title", then given a title by a
// string-table id the table lacks (which must fail and keep the caption)
// and its message by id 201 ("Own message"). Every notification the
// framework logs is printed as "NOTIFICATION: <text>". The exit code is the
// button pressed, 100 when no box could be shown, and 101 to 103 when a
// step before showing went wrong.
#include "zel_log_sink.h"
#include "zel_message_box.h"

#include "zelsys/entry.h"
#include "zelsys/winconst.h"

#include <cstdio>
#include <string>

namespace {

// Prints the notification lines; ASCII is all the box's texts hold.
class NotificationPrinter : public CZELLogSink {
public:
  bool write(const CZELLogRecord &rRecord, const CZELDetailedLogRecord *, bool) noexcept override {
    if (rRecord.m_ulType != CZELLogType::NOTIFICATION)
      return false;
    std::string text;
    for (const ZEL_USHORT *p = rRecord.m_pszMessage; p != nullptr && *p != 0; ++p)
      text += *p < 0x80 ? static_cast<char>(*p) : '?';
    std::printf("NOTIFICATION: %s\n", text.c_str());
    std::fflush(stdout);
    return true;
  }
};

} // namespace

int zelConsoleMain(int, const zelsys::LPCWSTR *) {
  NotificationPrinter printer;
  CZELLogSink::attach(&printer);
  int exitCode = 0;
  {
    CZELMessageBox box(nullptr, u"Kept title", u"Body text", CZELFlags(zelsys::MB_OKCANCEL));
    if (box.getResult() != zelsys::IDCANCEL)
      exitCode = 101;
    else if (box.setTitle(9999))
      exitCode = 102;
    else if (!box.setMsg(201))
      exitCode = 103;
    else
      exitCode = box.showMessageBox() ? box.getResult() : 100;
  }
  CZELLogSink::attach(nullptr);
  return exitCode;
}
