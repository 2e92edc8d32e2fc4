// zel_log_dispatcher.cpp - hands an admitted entry to the outputs of its
// mask, each made fresh for the one write.
#include "zel_log_dispatcher.h"

#include "zel_logging_output_text.h"
#include "zel_logging_outputs.h"

namespace {

// Every output but the text file, in the dispatcher's order; the result is
// the last one's, or bResult when none of their bits is set.
bool dispatchOthers(ZEL_WORD wOutputType, const CZELLogRecord &rRecord, bool bResult) {
  if (wOutputType & 0x02)
    bResult = CZELLoggingOutputXML().write(rRecord);
  if (wOutputType & 0x08)
    bResult = CZELLoggingOutputXML().write(rRecord);
  if (wOutputType & 0x04)
    bResult = CZELLoggingOutputServer().write(rRecord);
  if (wOutputType & 0x20)
    bResult = CZELLoggingOutputUnknown().write(rRecord);
  return bResult;
}

} // namespace

bool CZELLogDispatcher::dispatch(ZEL_WORD wOutputType, CZELDetailedLogRecord &rRecord) noexcept {
  const bool bText = (wOutputType & 0x01) && CZELLoggingOutputText().write(rRecord);
  return dispatchOthers(wOutputType, rRecord, bText);
}

bool CZELLogDispatcher::dispatchSimple(ZEL_WORD wOutputType, CZELLogRecord &rRecord) noexcept {
  const bool bText = (wOutputType & 0x01) && CZELLoggingOutputText().writeSimple(rRecord);
  return dispatchOthers(wOutputType, rRecord, bText);
}
