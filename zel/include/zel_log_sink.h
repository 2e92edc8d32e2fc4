// zel_log_sink.h - an observer of every entry offered for writing.
//
// A sink attached to the process sees each entry the moment it asks to be
// written, together with the write decision, and counts as an output that
// wrote it: the entry then reports itself as logged, exactly as when a
// configured output has written it. Test harnesses attach one to see what
// the framework logs; the product never does.
#pragma once

#include "zel_log_record.h"

class CZELLogSink {
public:
  virtual ~CZELLogSink() = default;

  // pDetailed is the same record as rRecord when the entry carries a source
  // location, else null. Returns whether the sink took the entry.
  virtual bool write(const CZELLogRecord &rRecord, const CZELDetailedLogRecord *pDetailed,
                     bool bAllowed) noexcept = 0;

  // One sink per process; null detaches. Returns the previous one.
  static CZELLogSink *attach(CZELLogSink *pSink) noexcept;
  static CZELLogSink *attached() noexcept;
};
