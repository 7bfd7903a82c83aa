// AnalyzerModel: the one process-wide object holding every user setting, the capability
// record of the attached accessory, and all acquired data.
//
// Contents, in order:
//   - settings records (persisted as byte images; layouts pinned by static_asserts below)
//   - spectrum stores, one per band (guarded by spectrumMutex)
//   - the access-point list and scan statistics (guarded by apListMutex)
//   - power data, measurements and the reference trace (guarded by powerMutex)
//   - the run-time state record (lock-free flags)
//
// Threads: settings and run-time flags are Relaxed<T> (atomic, relaxed, whole-field); the
// acquired-data groups are taken with ModelLock (LockOrder.h). deviceInfo is published as an
// immutable snapshot, so a reader always sees one whole record.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

#include "core/DomainTypes.h"
#include "core/LockOrder.h"
#include "core/Relaxed.h"

namespace tarvo {

class ScreenLogSink;

// ---------------------------------------------------------------------------------------------
// Persisted settings records

struct CursorSettings {
  Relaxed<uint8_t> cursorsShown{0};
  Relaxed<uint8_t> cursorTracking{0};
  Relaxed<uint8_t> cursorSelect{1};
  Relaxed<uint8_t> cursorFlag{0};
  Relaxed<uint8_t> verticalReadout{0};
  Relaxed<uint8_t> verticalReference{0};
  Relaxed<uint8_t> horizontalReadout{0};
  Relaxed<uint8_t> horizontalReference{0};
  Relaxed<uint8_t> cursorColor[3]{0, 255, 0};
  Relaxed<uint8_t> activeCursor{0};
  Relaxed<float> cursorPositions[8]{100, 200, 100, 200, 100, 200, 100, 200};
};

struct CommonSettings {
  Relaxed<float> externalAttenuationDb{0.0f};
  Relaxed<int32_t> internalAttenuationIndex{0};
  Relaxed<uint8_t> reserved[2]{0, 0};
  Relaxed<uint8_t> graticuleDots{0};
  Relaxed<uint8_t> spectrumMode{1};
  Relaxed<int32_t> unitsMilliwatt{0};
};

struct SpectrumSettings {
  // Sort keys of the SSID and utilisation tables.
  enum SSIDSortCriteria : uint8_t {
    None = 0,
    Bssid = 1,
    Ssid = 2,
    Rssi = 3,
    Channel = 4,
    Mode = 5,
    Frequency = 6,
    Count = 7,
    Security = 8,
    Utilization = 9,
    GradePercent = 10,
    Grade = 11,
  };

  Relaxed<uint8_t> displayMode{0};  // 0 REAL WAVE, 1 WATERFALL
  Relaxed<uint8_t> pad0[3]{0, 0, 0};
  Relaxed<int32_t> band{0};
  Relaxed<uint8_t> ssidEnabled{1};
  Relaxed<uint8_t> traceTypes[3]{6, 0, 0};
  Relaxed<float> holdTime{1.0f};
  Relaxed<float> decayDb{2.0f};
  Relaxed<float> averageTime{1.0f};
  Relaxed<int32_t> colorMapA{0};
  Relaxed<int32_t> colorMapB{0};
  Relaxed<int32_t> waterfallOption{0};
  Relaxed<float> waterfallTopDbm{-37.0f};
  Relaxed<float> waterfallBottomDbm{-85.0f};
  Relaxed<uint8_t> traceColors[5][3]{{0, 0, 255}, {255, 0, 0}, {0, 255, 255}, {0, 255, 0}, {0, 0, 255}};
  Relaxed<uint8_t> peaksOnTopTrace{0};
  Relaxed<uint8_t> measureSettings[7]{5, 5, 5, 5, 5, 5, 5};
  Relaxed<uint8_t> pad1{0};
  Relaxed<int32_t> channelGuideBand1{3};
  Relaxed<int32_t> channelGuideBand2{0};
  Relaxed<uint8_t> guideOption{0};
  Relaxed<uint8_t> pad2[3]{0, 0, 0};
  Relaxed<float> ssidRefreshSeconds{30.0f};
  Relaxed<uint8_t> ssidSortKey{3};
  Relaxed<uint8_t> ssidSortDescending{1};
  Relaxed<uint8_t> utilizationSortKey{11};
  Relaxed<uint8_t> utilizationSortDescending{1};
};

struct PowerSettings {
  Relaxed<int32_t> activeChannel{0};
  Relaxed<float> persistSeconds{2.0f};
  Relaxed<int32_t> timebaseIndex{15};
  Relaxed<int32_t> powerScaleIndex{0};
  Relaxed<float> triggerDelay{0.0f};
  Relaxed<float> triggerHoldoff{0.0f};
  Relaxed<uint8_t> triggerAuto{1};
  Relaxed<uint8_t> triggerOnPower{1};
  Relaxed<uint8_t> reserved[2]{0, 0};
  Relaxed<float> triggerLevelDbm{-30.56f};
  Relaxed<uint8_t> powerTriggerEdge{1};
  Relaxed<uint8_t> digitalLogic{0};
  Relaxed<uint8_t> digitalLineA{0};
  Relaxed<uint8_t> digitalLineB{1};
  Relaxed<uint8_t> digitalEdgeA{1};
  Relaxed<uint8_t> digitalEdgeB{0};
  Relaxed<uint8_t> measurementSlots[6]{255, 255, 255, 255, 255, 255};
};

struct ChannelStyle {
  Relaxed<uint8_t> enabled{1};
  Relaxed<uint8_t> pad[3]{0, 0, 0};
  Relaxed<float> verticalOffset{0.0f};
  Relaxed<uint8_t> color[4]{0, 255, 0, 0};
};

struct DemoSettings {
  Relaxed<uint8_t> demoHardware{2};
  Relaxed<uint8_t> demoSignal{1};
  Relaxed<uint8_t> demoSsid{1};
};

// Stored sizes and offsets (memcpy-compatible with the byte images of the settings store).
static_assert(sizeof(CursorSettings) == 44);
static_assert(offsetof(CursorSettings, cursorColor) == 8 && offsetof(CursorSettings, activeCursor) == 11 &&
              offsetof(CursorSettings, cursorPositions) == 12);
static_assert(sizeof(CommonSettings) == 16);
static_assert(offsetof(CommonSettings, internalAttenuationIndex) == 4 && offsetof(CommonSettings, graticuleDots) == 10 &&
              offsetof(CommonSettings, spectrumMode) == 11 && offsetof(CommonSettings, unitsMilliwatt) == 12);
static_assert(sizeof(SpectrumSettings) == 88);
static_assert(offsetof(SpectrumSettings, band) == 4 && offsetof(SpectrumSettings, ssidEnabled) == 8 &&
              offsetof(SpectrumSettings, traceTypes) == 9 && offsetof(SpectrumSettings, holdTime) == 12 &&
              offsetof(SpectrumSettings, colorMapA) == 24 && offsetof(SpectrumSettings, waterfallTopDbm) == 36 &&
              offsetof(SpectrumSettings, traceColors) == 44 && offsetof(SpectrumSettings, peaksOnTopTrace) == 59 &&
              offsetof(SpectrumSettings, measureSettings) == 60 && offsetof(SpectrumSettings, channelGuideBand1) == 68 &&
              offsetof(SpectrumSettings, guideOption) == 76 && offsetof(SpectrumSettings, ssidRefreshSeconds) == 80 &&
              offsetof(SpectrumSettings, ssidSortKey) == 84 && offsetof(SpectrumSettings, utilizationSortDescending) == 87);
static_assert(sizeof(PowerSettings) == 44);
static_assert(offsetof(PowerSettings, triggerAuto) == 24 && offsetof(PowerSettings, triggerLevelDbm) == 28 &&
              offsetof(PowerSettings, powerTriggerEdge) == 32 && offsetof(PowerSettings, digitalEdgeB) == 37 &&
              offsetof(PowerSettings, measurementSlots) == 38);
static_assert(sizeof(ChannelStyle) == 12);
static_assert(offsetof(ChannelStyle, verticalOffset) == 4 && offsetof(ChannelStyle, color) == 8);
static_assert(sizeof(DemoSettings) == 3);

// ---------------------------------------------------------------------------------------------
// Cursor samples (written by the trace layers, read by the cursor read-outs)

struct CursorSample {
  int32_t index = 0;
  float values[5] = {};   // RAW, DECAY, AVERAGE, MAX HOLD, MIN HOLD (power: first is the trace)
  float heights[5] = {};  // screen heights of the values
};
struct CursorSamples {
  CursorSample cursors[2];
  int32_t sampleCount = 0;
};
static_assert(sizeof(CursorSamples) == 92);

struct MarkerSlot {
  int32_t index = -1;
  float value = notAvailable();
};
constexpr int MARKER_SLOT_COUNT = 20;

// ---------------------------------------------------------------------------------------------
// Spectrum store of one band (guarded by spectrumMutex)

// The newest `depth` rows of rowBins floats each, kept in a ring so that appending costs the
// same whether the history is empty or full.
class SweepHistory {
 public:
  explicit SweepHistory(int rowBins, int depth);

  int rowBins() const { return rowBins_; }
  int depth() const { return depth_; }
  int size() const { return size_; }
  bool empty() const { return size_ == 0; }
  // Oldest first: row(0) is the oldest kept row, row(size() - 1) the newest.
  const float* row(int index) const;
  // Newest first: rowByAge(0) is the newest row.
  const float* rowByAge(int age) const { return row(size_ - 1 - age); }
  // Appends a row; count values are copied (at most rowBins), the rest of the row is zeroed.
  // When the history is full the oldest row leaves.
  void append(const float* values, int count);
  void clear() { size_ = 0; head_ = 0; }
  // The whole history as bytes, oldest row first (for the data log and tests).
  std::vector<float> flatten() const;

 private:
  int rowBins_;
  int depth_;
  int size_ = 0;
  int head_ = 0;  // slot of the oldest row
  std::vector<float> cells_;
};

struct PeakEntry {
  int32_t index = -1;
  float value = notAvailable();
};
constexpr int PEAK_TRACE_COUNT = 5;  // RAW, DECAY, AVERAGE, MAX HOLD, MIN HOLD
constexpr int PEAKS_PER_TRACE = 5;

struct SpectrumStore {
  explicit SpectrumStore(int rowBins);
  void reset();

  const int rowBins;
  static constexpr int HISTORY_DEPTH = 510;

  SweepHistory sweepHistory;
  int32_t lastSweepBins = -1;
  int32_t historyDepth = HISTORY_DEPTH;
  Relaxed<bool> newSweep{true};

  // Trace store (the spectrum trace layer's processed traces)
  std::vector<float> rawTrace, decayTrace, maxHoldTrace, minHoldTrace, averageTrace;
  int32_t processedBins = 0;
  std::array<std::array<PeakEntry, PEAKS_PER_TRACE>, PEAK_TRACE_COUNT> peakTables{};
  Relaxed<bool> tracesProcessed{false};

  // Heat map: occurrence counts per (amplitude level, bin), level-major.
  std::vector<uint16_t> heatMap;
  int32_t heatMapBins = 0;
  int32_t heatMapLevels = 0;
  Relaxed<bool> heatMapDirty{true};
  Relaxed<bool> heatMapAccumulated{false};
  Relaxed<bool> heatMapChanged{true};
};

// ---------------------------------------------------------------------------------------------
// Power history block (live and reference have the same shape)

struct Vertex2 {
  float x = 0.0f, y = 0.0f;
};

struct PowerHistory {
  std::deque<std::vector<float>> history;              // live: powerTraces
  std::deque<std::vector<Vertex2>> processedHistory;   // vertex list per capture
  std::deque<float> alpha;
  std::vector<float> rollingHistory;                   // live: rollSamples
  std::vector<Vertex2> processedRollingHistory;
  int32_t maxRollPointsNeeded = 0;                     // reference only
  int32_t timeScaleIndex = -1;                         // reference only
  int32_t amplitudeScaleIndex = -1;                    // reference only
  bool isValid = false;                                // reference only

  void clear();
};

constexpr int POWER_MEASUREMENT_COUNT = 23;
constexpr int ROLL_SAMPLES_MAX = 2000;

// ---------------------------------------------------------------------------------------------
// Access-point scan statistics (guarded by apListMutex)

constexpr int OPTIMIZATION_SLOTS = 20;
struct ScanStatistics {
  std::array<std::array<uint8_t, 6>, OPTIMIZATION_SLOTS> optimizationSelection{};
  uint8_t utilizationSkipCount = 0;
};

// ---------------------------------------------------------------------------------------------
// Run-time state (not stored)

struct FrozenPowerView {
  Relaxed<bool> active{false};
  Relaxed<float> frozenDelay{0.0f};
  Relaxed<int32_t> frozenAmplitudeScaleIndex{-1};
  Relaxed<int32_t> frozenTimeScaleIndex{-1};
  Relaxed<float> viewDelay{0.0f};
  Relaxed<int32_t> viewAmplitudeScaleIndex{-1};
  Relaxed<int32_t> viewTimeScaleIndex{-1};
};

enum DataLogState : int32_t { DATALOG_IDLE = 0, DATALOG_START_REQUESTED = 1, DATALOG_LOGGING = 2, DATALOG_STOP_REQUESTED = 3 };
enum AcquisitionPause : int32_t { ACQ_RUN = 0, ACQ_STOPPED = 1, ACQ_SINGLE_ARMED = 2, ACQ_SINGLE_CAPTURED = 3 };

struct RuntimeState {
  Relaxed<bool> touchCaptured{false};
  Relaxed<int32_t> displaySizeClass{0};
  Relaxed<bool> accessoryConnected{false};
  Relaxed<bool> apListChanged{true};
  Relaxed<bool> apTableChanged{true};
  Relaxed<uint32_t> scanCount{0};
  Relaxed<int32_t> triggerStatus{2};
  Relaxed<int32_t> dataLogState{DATALOG_IDLE};
  Relaxed<int32_t> acquisitionPause{ACQ_RUN};
  FrozenPowerView frozenPowerView;
  Relaxed<bool> apListFrozen{false};
  Relaxed<bool> scanInProgress{false};
  Relaxed<bool> connectionsBlocked{false};
  Relaxed<bool> modeChangedByDevice{false};
};

// ---------------------------------------------------------------------------------------------

class AnalyzerModel {
 public:
  // The single model, constructed with defaults on first use (on the main thread at start-up).
  static AnalyzerModel& getInstance();

  // A separate model for tests; the application uses getInstance only.
  AnalyzerModel();
  AnalyzerModel(const AnalyzerModel&) = delete;
  AnalyzerModel& operator=(const AnalyzerModel&) = delete;

  // Restores every stored record to its defaults and empties the reference trace.
  void resetSettings();
  // Callers hold spectrumMutex and apListMutex.
  void resetSpectrumData();
  // Callers hold powerMutex.
  void resetPowerData();
  void resetCursorSamples();

  // --- capability record ---
  std::shared_ptr<const DeviceInfo> deviceInfo() const { return deviceInfo_.load(); }
  void setDeviceInfo(const DeviceInfo& info) { deviceInfo_.store(std::make_shared<const DeviceInfo>(info)); }

  // --- derived queries ---
  bool isRollMode() const;
  float secondsPerDivision() const;
  bool nextTimebase();
  bool nextPowerScale();
  float attenuationOffsetDb() const;
  static float dBmToMilliwatt(float dbm);
  static float milliwattToDbm(float mw);

  // --- setters the menus use ---
  void setConnected(bool connected) { runtime.accessoryConnected = connected; }
  bool isConnected() const { return runtime.accessoryConnected; }
  // Clamped to 0 ... 120 s (NaN becomes 0).
  void setSsidRefreshSeconds(float seconds);
  // Band setting, read safely whatever a settings blob put there.
  int currentBand() const { return sanitizeBand(spectrum.band); }
  bool isSpectrumMode() const { return common.spectrumMode != 0; }

  SpectrumStore& spectrumStore(int band) { return band == BAND_5G ? band5 : band24; }
  const SpectrumStore& spectrumStore(int band) const { return band == BAND_5G ? band5 : band24; }

  // --- settings ---
  Relaxed<int32_t> graticule{31};
  Relaxed<int32_t> alerts{3};
  CursorSettings cursors;
  CommonSettings common;
  SpectrumSettings spectrum;
  PowerSettings power;
  ChannelStyle powerChannel;
  ChannelStyle referenceChannel;
  DemoSettings demo;

  // --- cursor samples and waterfall markers (written on the main thread) ---
  CursorSamples cursorSamples;
  std::array<MarkerSlot, MARKER_SLOT_COUNT> markerSlots{};

  // --- spectrum data (spectrumMutex) ---
  SpectrumStore band24{BAND_2G4_ROW_BINS};
  SpectrumStore band5{BAND_5G_ROW_BINS};

  // --- access points (apListMutex) ---
  std::vector<std::unique_ptr<AccessPoint>> accessPoints;
  ScanStatistics scanStatistics;

  // --- power data (powerMutex) ---
  PowerHistory live;  // live.history is powerTraces, live.rollingHistory is rollSamples
  Relaxed<bool> powerDataChanged{false};
  std::array<float, POWER_MEASUREMENT_COUNT> powerMeasurements{};
  PowerHistory reference;

  std::deque<std::vector<float>>& powerTraces() { return live.history; }
  std::vector<float>& rollSamples() { return live.rollingHistory; }

  // --- run-time state ---
  RuntimeState runtime;

  // The on-screen log, owned elsewhere (may be null).
  std::atomic<ScreenLogSink*> screenLog{nullptr};

  // --- locks ---
  std::mutex spectrumMutex;
  std::mutex apListMutex;
  std::mutex powerMutex;

 private:
  std::atomic<std::shared_ptr<const DeviceInfo>> deviceInfo_;
};

// Where decoders and other producers post on-screen log lines.
class ScreenLogSink {
 public:
  virtual ~ScreenLogSink() = default;
  virtual void post(const char* text) = 0;
};

}  // namespace tarvo
