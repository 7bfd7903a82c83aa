#include "core/DomainTypes.h"

#include <algorithm>
#include <bit>
#include <cstdio>

namespace tarvo {

float notAvailable() { return std::bit_cast<float>(uint32_t{0xFFC00000u}); }

bool isSupportedGeneration(int code) {
  return code == GENERATION_TARVO || code == GENERATION_TARVO2 || code == GENERATION_TARVO25;
}

namespace {
constexpr GenerationRow GENERATION_ROWS[GENERATION_ROW_COUNT] = {
    {GENERATION_TARVO, "Tarvo", "packets/Tarvo/Tarvo_"},
    {GENERATION_TARVO2, "Tarvo-Pro", "packets/Tarvo2/Tarvo2_"},
    {GENERATION_TARVO25, "Tarvo 5x", "packets/Tarvo5x/Tarvo5x_"},
};

constexpr FrequencyPlan PLANS[] = {
    {FrequencyPlanId::COARSE_2G4, 100, 96, 2400.0, 1.0, 0},
    {FrequencyPlanId::FINE_2G4, 256, 245, 2400.0, 100.0 / 255.0, 1},
    {FrequencyPlanId::BAND_5G, 512, 512, 5145.0, 715.0 / 511.0, 1},
};
}  // namespace

const GenerationRow& generationRow(int row) {
  if (row < 0 || row >= GENERATION_ROW_COUNT) row = 0;
  return GENERATION_ROWS[row];
}

int generationRowOf(int code) {
  for (int i = 0; i < GENERATION_ROW_COUNT; ++i)
    if (GENERATION_ROWS[i].code == code) return i;
  return -1;
}

const FrequencyPlan& frequencyPlan(FrequencyPlanId id) {
  for (const auto& p : PLANS)
    if (p.id == id) return p;
  return PLANS[0];
}

const FrequencyPlan* frequencyPlanFor(int generationCode, int band) {
  switch (generationCode) {
    case GENERATION_TARVO:
      return band == BAND_2G4 ? &PLANS[0] : nullptr;
    case GENERATION_TARVO2:
      return band == BAND_2G4 ? &PLANS[1] : nullptr;
    case GENERATION_TARVO25:
      return band == BAND_2G4 ? &PLANS[1] : band == BAND_5G ? &PLANS[2] : nullptr;
    default:
      return nullptr;
  }
}

double channelCenterMHz(int band, int channel) {
  if (band == BAND_5G) return 5000.0 + 5.0 * channel;
  if (channel == 14) return 2484.0;
  return 2407.0 + 5.0 * channel;
}

const std::array<float, TIMEBASE_TABLE_SIZE> TIMEBASE_TABLE = {
    1.0f,    0.4f,    0.2f,     0.1f,     0.04f,    0.02f,    0.01f,    0.004f,    0.002f,
    0.001f,  0.0004f, 0.0002f,  0.0001f,  0.00004f, 0.00002f, 0.00001f, 0.000004f, 0.000002f,
};

const char* traceTypeLabel(int type) {
  static const char* const LABELS[] = {"NONE", "RAW", "DECAY", "AVERAGE", "MAX HOLD", "MIN HOLD", "HEAT MAP"};
  return (type >= 0 && type <= 6) ? LABELS[type] : "UNKNOWN";
}

const char* channelStandardLabel(int standard) {
  static const char* const LABELS[] = {
      "NONE",
      "802.11b",
      "802.11g",
      "802.11n - 20MHz",
      "802.11n - 40MHz BELOW",
      "802.11n - 40MHz ABOVE",
      "802.15.4 - Zigbee",
      "ZEL Custom",
      "802.11a/n - 20MHz",
      "802.11n/ac - 40MHz",
      "802.11ac - 80MHz",
      "802.11ac - 160MHz",
  };
  return (standard >= 0 && standard <= 11) ? LABELS[standard] : "UNKNOWN";
}

const char* demoSignalLabel(int signal) {
  static const char* const LABELS[] = {"NONE", "WIFI", "DECT", "DSS"};
  return (signal >= 0 && signal < DEMO_SIGNAL_COUNT) ? LABELS[signal] : "UNKNOWN";
}

DbmRange powerRangeFromCalibration(float slope, float offset) {
  const float lo = offset;
  const float hi = 255.0f * slope + offset;
  DbmRange r{std::min(lo, hi), std::max(lo, hi)};
  if (r.maxDbm > 0.0f && r.minDbm < 0.0f) r.maxDbm = 0.0f;
  return r;
}

DbmRange spectrumRangeFromCalibration(float slope, float offset, float floorDbm) {
  const float lo = offset;
  const float hi = 255.0f * slope + offset;
  return {std::max(floorDbm, std::min(lo, hi)), std::max(lo, hi)};
}

std::string AccessPoint::ssidText() const {
  // Like "%.*s": at most ssidLength bytes, and never past a NUL.
  const size_t limit = std::min<size_t>(ssidLength, ssid.size());
  size_t n = 0;
  while (n < limit && ssid[n] != 0) ++n;
  return std::string(reinterpret_cast<const char*>(ssid.data()), n);
}

std::string AccessPoint::bssidText() const {
  char buf[32];
  std::snprintf(buf, sizeof buf, "[%.2x:%.2x:%.2x:%.2x:%.2x:%.2x]", bssid[0], bssid[1], bssid[2], bssid[3],
                bssid[4], bssid[5]);
  return buf;
}

std::string hexText(const uint8_t* bytes, size_t count) {
  static const char DIGITS[] = "0123456789abcdef";
  std::string out;
  out.reserve(count * 2);
  for (size_t i = 0; i < count; ++i) {
    out.push_back(DIGITS[bytes[i] >> 4]);
    out.push_back(DIGITS[bytes[i] & 0x0F]);
  }
  return out;
}

}  // namespace tarvo
