// zel_log_dispatcher.h - hands an admitted entry to the outputs of its mask.
//
// Output mask bits: 0x01 text file, 0x02 XML, 0x04 server, 0x08 HTML,
// 0x10 event log, 0x20 unknown. Holds no data; never throws.
#pragma once

#include "zel_log_record.h"

struct CZELOutputType {
  enum : ZEL_WORD {
    TEXT = 0x01,
    XML = 0x02,
    SERVER = 0x04,
    HTML = 0x08,
    EVENTLOG = 0x10,
    UNKNOWN = 0x20
  };
};

class CZELLogDispatcher {
public:
  // Detailed entries: each output of the mask in turn (text, XML, HTML,
  // server, unknown; the event-log bit is ignored). The result is the last
  // output's; false when the mask names none of them. An output may store
  // the path it wrote to in the record.
  bool dispatch(ZEL_WORD wOutputType, CZELDetailedLogRecord &rRecord) noexcept;
  // Entries without a source location, in the simple text format.
  bool dispatchSimple(ZEL_WORD wOutputType, CZELLogRecord &rRecord) noexcept;
};
