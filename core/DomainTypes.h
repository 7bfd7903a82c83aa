// Domain vocabulary shared by every subsystem: accessory generations, bands and their
// frequency plans, the capability record of a discovered accessory (DeviceInfo), one decoded
// SSID scan record (AccessPoint), and the small enumerations that settings refer to.
//
// None of these types has behaviour beyond construction and copying; the protocol decoders
// fill them and AnalyzerModel stores them.
#pragma once

#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

namespace tarvo {

// Quiet NaN with the bit pattern 0xFFC00000: the "not available" marker of ranges and results.
float notAvailable();
inline bool isAvailable(float v) { return !std::isnan(v); }

// ---------------------------------------------------------------------------------------------
// Accessory generations (byte 2 of the discover response)

enum GenerationCode : uint8_t {
  GENERATION_NONE = 0,
  GENERATION_TARVO = 2,     // first generation, 2.4 GHz, 100-bin sweeps
  GENERATION_TARVO2 = 6,    // second generation, 2.4 GHz, 256-bin sweeps, SSID scans
  GENERATION_TARVO25 = 7,   // dual-band, 2.4 + 5 GHz, no power mode
};

bool isSupportedGeneration(int code);

// One row of the generation table; demo playback and the demo menu index rows 0, 1, 2.
struct GenerationRow {
  GenerationCode code;
  const char* demoLabel;         // "Tarvo", "Tarvo-Pro", "Tarvo 5x"
  const char* demoPacketPrefix;  // "packets/Tarvo/Tarvo_", ...
};
constexpr int GENERATION_ROW_COUNT = 3;
// Row 0..2; any other index is treated as row 0.
const GenerationRow& generationRow(int row);
// Row for a generation code, or -1.
int generationRowOf(int code);

// ---------------------------------------------------------------------------------------------
// Bands and frequency plans

enum SpectrumBand : int32_t { BAND_2G4 = 0, BAND_5G = 1 };
constexpr int BAND_COUNT = 2;
// A band setting read from storage may hold anything: everything outside 0..1 is band 0.
inline int sanitizeBand(int band) { return band == BAND_5G ? BAND_5G : BAND_2G4; }

constexpr float BAND_2G4_START_MHZ = 2400.0f;
constexpr float BAND_2G4_END_MHZ = 2500.0f;
constexpr float BAND_5G_START_MHZ = 5145.0f;
constexpr float BAND_5G_END_MHZ = 5860.0f;

// Row sizes of the sweep stores.
constexpr int BAND_2G4_ROW_BINS = 256;
constexpr int BAND_5G_ROW_BINS = 512;
inline int rowBinsOfBand(int band) { return band == BAND_5G ? BAND_5G_ROW_BINS : BAND_2G4_ROW_BINS; }

enum class FrequencyPlanId { COARSE_2G4, FINE_2G4, BAND_5G };

struct FrequencyPlan {
  FrequencyPlanId id;
  int binsPerSweep;
  int binsShown;
  double startMHz;
  double stepMHz;
  // Decimals the data log writes: 0 for the 1 MHz plan, 1 for the others.
  int logDecimals;

  double frequencyMHz(int bin) const { return startMHz + bin * stepMHz; }
  double lastShownMHz() const { return frequencyMHz(binsShown - 1); }
};

const FrequencyPlan& frequencyPlan(FrequencyPlanId id);
// The plan used by a generation for a band (band 1 only exists on the dual-band accessory);
// nullptr when the generation has no such band.
const FrequencyPlan* frequencyPlanFor(int generationCode, int band);

// Channel centres. 2.4 GHz channels 1..13 are 2407 + 5c, channel 14 is 2484; 5 GHz: 5000 + 5c.
double channelCenterMHz(int band, int channel);

// ---------------------------------------------------------------------------------------------
// Power time base

constexpr int TIMEBASE_TABLE_SIZE = 18;
extern const std::array<float, TIMEBASE_TABLE_SIZE> TIMEBASE_TABLE;  // seconds per division
constexpr int TIMEBASE_DIVISIONS = 10;

// ---------------------------------------------------------------------------------------------
// Settings enumerations and their labels

enum TraceType : uint8_t {
  TRACE_NONE = 0,
  TRACE_RAW = 1,
  TRACE_DECAY = 2,
  TRACE_AVERAGE = 3,
  TRACE_MAX_HOLD = 4,
  TRACE_MIN_HOLD = 5,
  TRACE_HEAT_MAP = 6,
};
const char* traceTypeLabel(int type);
// Values outside 1..6 are treated as NONE wherever a trace kind is selected.
inline int sanitizeTraceType(int type) { return (type >= 1 && type <= 6) ? type : 0; }

enum ChannelStandard : int32_t {
  STANDARD_NONE = 0,
  STANDARD_80211B = 1,
  STANDARD_80211G = 2,
  STANDARD_80211N_20 = 3,
  STANDARD_80211N_40_BELOW = 4,
  STANDARD_80211N_40_ABOVE = 5,
  STANDARD_ZIGBEE = 6,
  STANDARD_ZEL_CUSTOM = 7,
  STANDARD_80211AN_20 = 8,
  STANDARD_80211NAC_40 = 9,
  STANDARD_80211AC_80 = 10,
  STANDARD_80211AC_160 = 11,
};
const char* channelStandardLabel(int standard);

enum DemoSignal : uint8_t { DEMO_SIGNAL_NONE = 0, DEMO_SIGNAL_WIFI = 1, DEMO_SIGNAL_DECT = 2, DEMO_SIGNAL_DSS = 3 };
constexpr int DEMO_SIGNAL_COUNT = 4;
// "NONE", "WIFI", "DECT", "DSS"; other values "UNKNOWN".
const char* demoSignalLabel(int signal);

// ---------------------------------------------------------------------------------------------
// DeviceInfo: the capability record that a discover response produces.
// Default construction gives the values the model holds before any discovery.

struct DeviceInfo {
  uint8_t generationCode = 0;
  uint8_t infoByte1 = 0, infoByte2 = 0;
  uint8_t reserved = 0;
  uint8_t infoByte4 = 0, infoByte5 = 0;
  uint8_t infoByte6 = 0, infoByte7 = 0;
  bool band1SpectrumCapable = false;
  bool band2SpectrumCapable = false;
  bool band1ScanCapable = false;
  bool band2ScanCapable = false;
  bool powerCapable = false;
  bool internalAttenuatorAvailable = false;
  bool fixedScanCycle = false;
  std::string deviceIdText;
  bool laterGeneration = false;
  std::array<float, 8> internalAttenuations{};
  int32_t internalAttenuationCount = 0;
  uint32_t gen1ExtraWord = 0;
  uint8_t powerPacketsPerTrace = 1;
  uint8_t band1PacketsPerSweep = 1;
  uint8_t band2PacketsPerSweep = 1;
  uint8_t gen1Marker = 0;
  int32_t band1BinsPerSweep = 100;
  int32_t band2BinsPerSweep = 1000;
  int32_t powerSamplesPerTrace = 240;
  int32_t band1BinsShown = 95;
  int32_t band2BinsShown = 1000;
  uint32_t band1AmplitudeLevels = 256;
  uint32_t band2AmplitudeLevels = 256;
  float band1SweepPeriod = 0.1f;
  float band2SweepPeriod = 0.1f;
  float powerPeriod = 0.1f;
  float demoScanDelay = 0.0f;
  float demoScanInterval = 0.0f;
  std::vector<float> timebaseTable;
  int32_t rollTimebaseCount = -1;
  int32_t rollTimebaseCode = -1;
  std::vector<float> amplitudeScaleTable;
  float powerMinDbm = -40.0f, powerMaxDbm = 0.0f;
  float band1MinDbm = -90.0f, band1MaxDbm = -10.0f;
  float band2MinDbm = -90.0f, band2MaxDbm = -10.0f;

  bool operator==(const DeviceInfo&) const = default;

  // Per-band views of the fields above (band 0 = 2.4 GHz, 1 = 5 GHz; others read as band 0).
  bool spectrumCapable(int band) const { return band == BAND_5G ? band2SpectrumCapable : band1SpectrumCapable; }
  bool scanCapable(int band) const { return band == BAND_5G ? band2ScanCapable : band1ScanCapable; }
  int32_t binsPerSweep(int band) const { return band == BAND_5G ? band2BinsPerSweep : band1BinsPerSweep; }
  int32_t binsShown(int band) const { return band == BAND_5G ? band2BinsShown : band1BinsShown; }
  uint32_t amplitudeLevels(int band) const { return band == BAND_5G ? band2AmplitudeLevels : band1AmplitudeLevels; }
  float sweepPeriod(int band) const { return band == BAND_5G ? band2SweepPeriod : band1SweepPeriod; }
  float minDbm(int band) const { return band == BAND_5G ? band2MinDbm : band1MinDbm; }
  float maxDbm(int band) const { return band == BAND_5G ? band2MaxDbm : band1MaxDbm; }
  uint8_t packetsPerSweep(int band) const { return band == BAND_5G ? band2PacketsPerSweep : band1PacketsPerSweep; }
};

// Ranges derived from a slope/offset pair (lo = offset, hi = 255 * slope + offset).
struct DbmRange {
  float minDbm;
  float maxDbm;
};
// Power: (min(lo, hi), max(lo, hi)); a maximum above 0 becomes 0 when the minimum is below 0.
DbmRange powerRangeFromCalibration(float slope, float offset);
// Spectrum: (max(floor, min(lo, hi)), max(lo, hi)).
DbmRange spectrumRangeFromCalibration(float slope, float offset, float floorDbm);

// ---------------------------------------------------------------------------------------------
// AccessPoint: one decoded SSID scan record, plus the bookkeeping the access-point list adds.

constexpr int SSID_MAX_LENGTH = 32;

struct AccessPoint {
  int64_t lastSeenMs = 0;
  uint32_t sightings = 0;
  uint8_t ssidLength = 0;
  std::array<uint8_t, SSID_MAX_LENGTH> ssid{};
  std::array<uint8_t, 6> bssid{};
  int32_t recordKind = 3;
  int32_t band = 0;
  uint8_t phyModes = 0;
  uint16_t channel = 0;
  int32_t altA = 0, altB = 0;
  int32_t bandwidthMHz = -1;
  int32_t secondaryChannel = 0;
  int32_t security = -1;
  int32_t cipher = -1;
  float rssi = 0.0f;

  // Fields owned by the access-point list (zero, history empty, when decoded).
  float markerStartDbm = 0.0f;
  float markerDbm = 0.0f;
  float markerTargetDbm = 0.0f;
  std::array<uint8_t, 4> markerColor{};
  float utilization = 0.0f;
  float adjacentInterference = 0.0f;
  float coChannelInterference = 0.0f;
  float grade = 0.0f;
  float bestAlternativeGrade = 0.0f;
  uint8_t suggestedChannel = 0;
  std::vector<uint8_t> suggestionHistory;

  bool operator==(const AccessPoint&) const = default;

  // "%.*s" of the SSID (length-limited, never past the field).
  std::string ssidText() const;
  // "[%.2x:%.2x:%.2x:%.2x:%.2x:%.2x]"
  std::string bssidText() const;
};

enum PhyModeBits : uint8_t { PHY_B = 0x01, PHY_G = 0x02, PHY_N = 0x04, PHY_A = 0x08, PHY_AC = 0x10 };
enum SecurityKind : int32_t { SECURITY_OPEN = 0, SECURITY_WPS = 1, SECURITY_WEP = 2, SECURITY_WPA = 3, SECURITY_WPA2 = 4 };

// Lowercase hexadecimal, two digits per byte.
std::string hexText(const uint8_t* bytes, size_t count);

}  // namespace tarvo
