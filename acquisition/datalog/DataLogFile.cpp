#include "acquisition/datalog/DataLogFile.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <ctime>

#include "core/ValueFormat.h"
#include "engine/services/FileUtils.h"

namespace tarvo {

namespace {

const char* const SPECTRUM_MODE_HEADER = "Spectrum Mode :: Frequency: MHz :: Amplitude: dBm";

// Local calendar time of a wall-clock time in milliseconds.
std::tm localTime(int64_t ms) {
  std::time_t t = static_cast<std::time_t>(ms >= 0 ? ms / 1000 : (ms - 999) / 1000);
  std::tm tm{};
  if (!localtime_r(&t, &tm)) gmtime_r(&t, &tm);
  return tm;
}

std::string buildFrequencyRow(const char* lead, int count, double startMHz, double numerator, double denominator,
                              bool wholeMHz) {
  std::string row = "Freq (MHz):,";
  row += lead;
  for (int i = 0; i < count; ++i) {
    if (i) row += ',';
    // Double precision and the C library's own %.1f rounding, as the accessory's tools expect.
    row += wholeMHz ? formatC("%d", static_cast<int>(startMHz) + i)
                    : formatC("%.1f", startMHz + i * numerator / denominator);
  }
  row += '\n';
  return row;
}

// Milliseconds between two roll-mode samples: one trace's time span over its sample count,
// truncated. 0 when the capability record gives nothing sensible.
int64_t rollSampleSpacingMs(float secondsPerDivision, int32_t samplesPerTrace) {
  if (samplesPerTrace <= 0) return 0;
  const double ms = static_cast<double>(secondsPerDivision) * 1000.0 * TIMEBASE_DIVISIONS / samplesPerTrace;
  if (!(ms >= 0.0) || ms > 1e12) return 0;
  return static_cast<int64_t>(ms);
}

}  // namespace

DataLogFile& DataLogFile::getInstance() {
  static DataLogFile* instance = new DataLogFile(AnalyzerModel::getInstance(), eng::systemClock());
  return *instance;
}

DataLogFile::DataLogFile(AnalyzerModel& model, const eng::Clock& clock) : model_(model), clock_(clock) {}

DataLogFile::~DataLogFile() {
  std::lock_guard<std::mutex> lock(mutex_);
  closeLocked();
}

void DataLogFile::setDirectory(const std::string& directory) {
  std::lock_guard<std::mutex> lock(mutex_);
  directory_ = directory;
}

void DataLogFile::setOutputPath(const std::string& path) {
  std::lock_guard<std::mutex> lock(mutex_);
  outputPath_ = path;
}

bool DataLogFile::isOpen() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return file_ != nullptr;
}

std::string DataLogFile::path() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return path_;
}

int64_t DataLogFile::logStartMs() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return logStartMs_;
}

// ---------------------------------------------------------------------------------------------
// Opening and closing

std::string DataLogFile::newFilePathLocked(int64_t nowMs, std::string& stamp) const {
  std::string dir = directory_.empty() ? eng::FileUtils::getInstance().getWritablePath() : directory_;
  if (!dir.empty() && dir.back() != '/') dir += '/';
  const std::tm tm = localTime(nowMs);
  stamp = formatC("%d%.2d%.2d_%.2d%.2d%.2d", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min,
                  tm.tm_sec);
  return dir + "Tarvo_" + stamp;
}

bool DataLogFile::openLocked(int64_t nowMs) {
  if (file_) return true;
  std::string path;
  std::FILE* f = nullptr;
  if (!outputPath_.empty()) {
    path = outputPath_;
    f = std::fopen(path.c_str(), "w");
  } else {
    // Two logs started within one second would share a name; the second must not truncate the
    // first, so an existing name gets a numbered sibling.
    std::string stamp;
    const std::string base = newFilePathLocked(nowMs, stamp);
    path = base + ".csv";
    for (int n = 2; n < 1000; ++n) {
      f = std::fopen(path.c_str(), "wx");
      if (f || errno != EEXIST) break;
      path = base + "_" + std::to_string(n) + ".csv";
    }
  }
  if (!f) {
    std::fprintf(stderr, "data log: cannot create %s (%s); rows are dropped\n", path.c_str(), std::strerror(errno));
    return false;
  }
  file_ = f;
  path_ = path;
  logStartMs_ = nowMs;
  return true;
}

void DataLogFile::closeLocked() {
  if (file_) std::fclose(file_);
  file_ = nullptr;
  path_.clear();
}

bool DataLogFile::startLog() { return startLog(clock_.nowMs()); }

bool DataLogFile::startLog(int64_t nowMs) {
  std::lock_guard<std::mutex> lock(mutex_);
  return openLocked(nowMs);
}

void DataLogFile::stopLog() {
  std::lock_guard<std::mutex> lock(mutex_);
  closeLocked();
  logStartMs_ = 0;
}

// ---------------------------------------------------------------------------------------------
// Text pieces

std::string DataLogFile::modeHeader(FrameKind kind) const {
  if (kind != FrameKind::POWER) return std::string(SPECTRUM_MODE_HEADER) + "\n";
  const auto info = model_.deviceInfo();
  const float span = (info->powerMaxDbm - info->powerMinDbm) * 0.125f;
  const std::string perDivision = std::isnan(span) ? "--" : formatSI(2, span);
  return "time:," + formatSI(0, model_.secondsPerDivision()) + ",s/div," + " Power:," + perDivision + ",dBm/div,\n";
}

std::string DataLogFile::frequencyRow(int band, int generationCode) {
  static const std::string COARSE_2G4 = buildFrequencyRow(" ", 96, 2400.0, 1.0, 1.0, true);
  static const std::string FINE_2G4 = buildFrequencyRow("", 245, 2400.0, 100.0, 255.0, false);
  static const std::string ROW_5G = buildFrequencyRow(" ", 512, 5145.0, 715.0, 511.0, false);
  if (band == BAND_5G) return ROW_5G;
  if (band == BAND_2G4) {
    if (generationCode == GENERATION_TARVO) return COARSE_2G4;
    if (generationCode == GENERATION_TARVO2 || generationCode == GENERATION_TARVO25) return FINE_2G4;
  }
  return {};
}

std::string DataLogFile::sectionHeader(FrameKind kind, bool includeModeHeader) const {
  std::string text = kind == FrameKind::POWER ? "Power\n" : "Spectrum\n";
  if (includeModeHeader) text += modeHeader(kind);
  if (kind != FrameKind::POWER)
    text += frequencyRow(kind == FrameKind::SWEEP_5G ? BAND_5G : BAND_2G4, model_.deviceInfo()->generationCode);
  return text;
}

std::string DataLogFile::timeFieldLocked(bool absolute, int64_t nowMs, int64_t offsetMs) {
  if (absolute) {
    const std::tm tm = localTime(nowMs);
    return formatC("%d-%.2d-%.2d %.2d:%.2d:%.2d.000,", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour,
                   tm.tm_min, tm.tm_sec);
  }
  if (logStartMs_ == 0) logStartMs_ = nowMs;
  return formatC("%0.3f,", static_cast<double>(nowMs + offsetMs - logStartMs_) / 1000.0);
}

std::string DataLogFile::timeField(bool absolute, int64_t nowMs, int64_t offsetMs) {
  std::lock_guard<std::mutex> lock(mutex_);
  return timeFieldLocked(absolute, nowMs, offsetMs);
}

std::string DataLogFile::valuesRow(const float* values, int count) {
  std::string row;
  if (values && count > 0) row.reserve(static_cast<size_t>(count) * 10);
  for (int i = 0; values && i < count; ++i) {
    if (i) row += ',';
    row += formatC("%.4f", static_cast<double>(values[i]));
  }
  row += '\n';
  return row;
}

bool DataLogFile::writeLocked(const std::string& text) {
  if (!file_ || text.empty()) return false;
  // Flushed at once, so that a full disk shows here and not at some later close.
  const size_t written = std::fwrite(text.data(), 1, text.size(), file_);
  if (written == text.size() && std::fflush(file_) == 0) return true;
  std::fprintf(stderr, "data log: writing %s failed (%s); log closed\n", path_.c_str(), std::strerror(errno));
  closeLocked();
  return false;
}

bool DataLogFile::writeText(const std::string& text) {
  std::lock_guard<std::mutex> lock(mutex_);
  return writeLocked(text);
}

// ---------------------------------------------------------------------------------------------
// The logging step after each stored frame

void DataLogFile::frameStored(FrameKind kind, const float* values, int count, int64_t nowMs, bool roll) {
  if (!values || count <= 0) return;  // nothing was stored
  std::lock_guard<std::mutex> lock(mutex_);

  // The menu writes dataLogState at any time; compare-and-swap so its request made while this
  // frame is handled is not overwritten.
  std::atomic_ref<int32_t> state(model_.runtime.dataLogState.raw);
  int32_t current = state.load(std::memory_order_relaxed);
  bool first = false;
  bool logging = false;
  if (current == DATALOG_START_REQUESTED) {
    openLocked(nowMs);
    state.compare_exchange_strong(current, DATALOG_LOGGING, std::memory_order_relaxed);
    first = true;
    logging = true;
  } else if (current == DATALOG_LOGGING) {
    logging = true;
  } else if (current == DATALOG_STOP_REQUESTED) {
    closeLocked();
    logStartMs_ = 0;
    state.compare_exchange_strong(current, DATALOG_IDLE, std::memory_order_relaxed);
  }

  if (logging) {
    const bool includeMode = logNeedsHeader_.exchange(false, std::memory_order_relaxed) || first;
    bool kindChanged = false;
    switch (kind) {
      case FrameKind::POWER: kindChanged = !lastFrameWasPower_; break;
      case FrameKind::SWEEP_2G4: kindChanged = lastFrameWasPower_ || lastFrameWasBand2_; break;
      case FrameKind::SWEEP_5G: kindChanged = lastFrameWasPower_ || !lastFrameWasBand2_; break;
    }
    if (file_) {
      std::string text;
      if (first || kindChanged)
        text = sectionHeader(kind, includeMode);
      else if (includeMode)
        text = modeHeader(kind);
      if (roll) {
        const int64_t spacing = rollSampleSpacingMs(model_.secondsPerDivision(), model_.deviceInfo()->powerSamplesPerTrace);
        for (int k = 0; k < count; ++k) {
          text += timeFieldLocked(first && k == 0, nowMs, k * spacing);
          text += valuesRow(values + k, 1);
        }
      } else {
        text += timeFieldLocked(first, nowMs, 0);
        text += valuesRow(values, count);
      }
      writeLocked(text);
    }
  }

  lastFrameWasPower_ = kind == FrameKind::POWER;
  lastFrameWasBand2_ = kind == FrameKind::SWEEP_5G;
}

void DataLogFile::sweepStored(int band, const float* values, int count, int64_t nowMs) {
  if (band != BAND_2G4 && band != BAND_5G) return;
  frameStored(band == BAND_5G ? FrameKind::SWEEP_5G : FrameKind::SWEEP_2G4, values, count, nowMs, false);
}

void DataLogFile::powerTraceStored(const float* samples, int count, int64_t nowMs) {
  frameStored(FrameKind::POWER, samples, count, nowMs, false);
}

void DataLogFile::rollSamplesStored(const float* samples, int count, int64_t nowMs) {
  frameStored(FrameKind::POWER, samples, count, nowMs, true);
}

void DataLogFile::configureAcknowledged() { logNeedsHeader_.store(true, std::memory_order_relaxed); }

}  // namespace tarvo
