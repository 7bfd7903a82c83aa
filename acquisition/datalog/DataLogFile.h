// DataLogFile: the CSV data log.
//
// While logging is on, every sweep, power trace or roll-mode sample the packet handler stores
// becomes one row of a text file. The settings menu only writes the model's dataLogState
// (1 start requested, 2 logging, 3 stop requested, 0 idle); the log acts on it when the next
// frame is stored, on the packet handler's thread.
//
// File: <writable directory>Tarvo_<YYYYMMDD>_<hhmmss>.csv (local time), a new one per start.
// Lines end in "\n". A file is a sequence of sections, each a header and data rows:
//
//   Spectrum                                           or  Power
//   Spectrum Mode :: Frequency: MHz :: Amplitude: dBm  or  time:,<T>,s/div, Power:,<P>,dBm/div,
//   Freq (MHz):,<f0>,<f1>,...                          (spectrum only)
//   <time>,<v0>,<v1>,...
//
// The second line (the mode header) is written in the first section of a file and after every
// configure acknowledgement; a new section starts whenever the kind of data changes (power,
// 2.4 GHz sweep, 5 GHz sweep). Frequency rows: 2.4 GHz on the first generation " 2400,...,2495"
// (96 values), on the later ones "2400.0,2400.4,...,2495.7" (245 values, 2400 + i*100/255 at
// one decimal); 5 GHz " 5145.0,...,5860.0" (512 values, 5145 + i*715/511). The time field of a
// file's first row is the local date and time "YYYY-MM-DD hh:mm:ss.000,", every later row the
// seconds since the log started, "%0.3f,". Values are "%.4f". Every number is written with a
// "." decimal point, whatever the process locale.
//
// Threads: the sink operations run on the packet handler's thread inside the lock of the store
// being logged; configureAcknowledged and stopLog may come from the controller or link thread.
// One internal mutex (a leaf: no model lock is taken while it is held) serialises them.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>

#include "acquisition/datalog/DataLogSink.h"
#include "core/AnalyzerModel.h"
#include "engine/services/Clock.h"

namespace tarvo {

class DataLogFile : public DataLogSink {
 public:
  // What a row holds; also what decides when a new section starts.
  enum class FrameKind { POWER, SWEEP_2G4, SWEEP_5G };

  // The process-wide log: the shared model, the system clock, the engine's writable directory.
  static DataLogFile& getInstance();

  DataLogFile(AnalyzerModel& model, const eng::Clock& clock);
  ~DataLogFile() override;
  DataLogFile(const DataLogFile&) = delete;
  DataLogFile& operator=(const DataLogFile&) = delete;

  // Where new files are created; empty (the default) means the engine's writable directory.
  void setDirectory(const std::string& directory);
  // When set, the next logs go to exactly this file (truncated) instead of a new dated file in
  // the directory: the headless replay writes its CSV this way.
  void setOutputPath(const std::string& path);

  // Opens a new file unless one is open; true when a file is open afterwards. logStartMs is
  // the clock's time (or nowMs) of a successful open.
  bool startLog();
  bool startLog(int64_t nowMs);
  // Closes the file if open, clears the path and logStartMs. Also called when the accessory is
  // removed.
  void stopLog() override;

  bool isOpen() const;
  std::string path() const;
  int64_t logStartMs() const;

  // --- the text pieces of the file (each line ends in "\n") ---
  // "Spectrum"/"Power", the mode header when asked for, and the frequency row of a sweep.
  std::string sectionHeader(FrameKind kind, bool includeModeHeader) const;
  std::string modeHeader(FrameKind kind) const;
  // The frequency row of a band and generation; empty for a combination that has none.
  static std::string frequencyRow(int band, int generationCode);
  // Absolute: the local date and time of nowMs. Relative: (nowMs + offsetMs - logStartMs) s.
  std::string timeField(bool absolute, int64_t nowMs, int64_t offsetMs);
  // The values at four decimals, separated by "," and ended by "\n".
  static std::string valuesRow(const float* values, int count);
  // Appends text to the open file. A write that stores less than all of it closes the file
  // (later rows are dropped until the log is started again). False when nothing was written.
  bool writeText(const std::string& text);

  // --- DataLogSink ---
  void sweepStored(int band, const float* values, int count, int64_t nowMs) override;
  void powerTraceStored(const float* samples, int count, int64_t nowMs) override;
  void rollSamplesStored(const float* samples, int count, int64_t nowMs) override;
  void configureAcknowledged() override;

 private:
  void frameStored(FrameKind kind, const float* values, int count, int64_t nowMs, bool roll);
  bool openLocked(int64_t nowMs);
  void closeLocked();
  bool writeLocked(const std::string& text);
  std::string timeFieldLocked(bool absolute, int64_t nowMs, int64_t offsetMs);
  std::string newFilePathLocked(int64_t nowMs, std::string& stamp) const;

  AnalyzerModel& model_;
  const eng::Clock& clock_;

  mutable std::mutex mutex_;
  std::string directory_;
  std::string outputPath_;
  std::string path_;          // empty when closed
  std::FILE* file_ = nullptr;  // null when closed
  int64_t logStartMs_ = 0;     // 0 when not set

  // Section bookkeeping: set at every configure acknowledgement, cleared by the next frame.
  std::atomic<bool> logNeedsHeader_{false};
  bool lastFrameWasPower_ = false;
  bool lastFrameWasBand2_ = false;
};

}  // namespace tarvo
