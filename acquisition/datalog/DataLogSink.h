// What the packet handler tells the CSV data log. Each call is made on the thread that runs
// the packet handler, inside the store lock of the frame being logged; the log evaluates the
// model's dataLogState itself. The default does nothing (no log attached).
#pragma once

#include <cstdint>

namespace tarvo {

class DataLogSink {
 public:
  virtual ~DataLogSink() = default;
  // A sweep was stored: `values` are the bins to log (already limited to the bins shown).
  virtual void sweepStored(int band, const float* values, int count, int64_t nowMs) {
    (void)band, (void)values, (void)count, (void)nowMs;
  }
  // A triggered power trace was stored.
  virtual void powerTraceStored(const float* samples, int count, int64_t nowMs) {
    (void)samples, (void)count, (void)nowMs;
  }
  // Roll mode: `count` newly retained samples (oldest first) were appended.
  virtual void rollSamplesStored(const float* samples, int count, int64_t nowMs) {
    (void)samples, (void)count, (void)nowMs;
  }
  // A configure acknowledgement arrived: the next row is preceded by the mode header.
  virtual void configureAcknowledged() {}
  // The accessory went away: close the log file (the caller sets dataLogState to 0).
  virtual void stopLog() {}
};

}  // namespace tarvo
