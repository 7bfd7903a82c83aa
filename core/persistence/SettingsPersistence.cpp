#include "core/persistence/SettingsPersistence.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>
#include <string>

namespace tarvo {

static_assert(std::endian::native == std::endian::little,
              "settings blobs are little-endian byte images of the records");

namespace {

std::string keyOf(int slot, const char* name) { return "config" + std::to_string(slot) + "." + name; }

template <class Record>
eng::Data encodeRecord(const Record& record) {
  alignas(4) uint8_t bytes[sizeof(Record)];
  recordToBytes(record, bytes);
  return eng::Data(bytes, bytes + sizeof(Record));
}

// The record from a blob of exactly its size; nothing otherwise.
template <class Record>
std::optional<Record> decodeRecord(const eng::Data& blob, const Record& current) {
  if (blob.size() != sizeof(Record)) return std::nullopt;
  alignas(4) uint8_t bytes[sizeof(Record)];
  std::memcpy(bytes, blob.data(), sizeof(Record));
  Record record = current;
  recordFromBytes(record, bytes);
  return record;
}

// Version 0 had no channelGuideBand2: everything from guideOption on sits 4 bytes earlier.
// The fields it did not carry the same way (the third trace type, hold, decay, average and the
// 5 GHz guide) keep their current values.
std::optional<SpectrumSettings> convertSpectrumV0(const eng::Data& blob, const SpectrumSettings& current) {
  if (blob.size() != SPECTRUM_SETTINGS_V0_SIZE) return std::nullopt;
  alignas(4) uint8_t bytes[sizeof(SpectrumSettings)];
  recordToBytes(current, bytes);
  const uint8_t* old = blob.data();
  struct Range {
    size_t from, to, length;
  };
  static constexpr Range TAKEN[] = {
      {0, 0, 1},    // displayMode
      {4, 4, 4},    // band
      {8, 8, 3},    // ssidEnabled, traceTypes[0..1]
      {24, 24, 20}, // colorMapA, colorMapB, waterfallOption, waterfallTopDbm, waterfallBottomDbm
      {44, 44, 23}, // traceColors, peaksOnTopTrace, measureSettings
      {68, 68, 4},  // channelGuideBand1
      {72, 76, 1},  // guideOption
      {76, 80, 4},  // ssidRefreshSeconds
      {80, 84, 4},  // ssidSortKey, ssidSortDescending, utilizationSortKey, utilizationSortDescending
  };
  for (const Range& r : TAKEN) std::memcpy(bytes + r.to, old + r.from, r.length);
  SpectrumSettings converted = current;
  recordFromBytes(converted, bytes);
  return converted;
}

// 0 means "continuously"; a shorter interval than 20 s floods the accessory with scans, and
// anything beyond what the menu offers (120 s, also NaN and infinities) is not a setting the
// user made.
float sanitizedSsidInterval(float seconds) {
  if (seconds == 0.0f) return 0.0f;
  if (!(seconds >= 20.0f)) return 20.0f;
  if (seconds > 120.0f) return 120.0f;
  return seconds;
}

template <class Container>
eng::Data encodeFloats(const Container& values) {
  eng::Data out(values.size() * sizeof(float));
  size_t pos = 0;
  for (float v : values) {
    std::memcpy(out.data() + pos, &v, sizeof v);
    pos += sizeof v;
  }
  return out;
}

eng::Data encodeVertices(const std::vector<Vertex2>& vertices) {
  eng::Data out(vertices.size() * 2 * sizeof(float));
  if (!vertices.empty()) std::memcpy(out.data(), vertices.data(), out.size());
  return out;
}

static_assert(sizeof(Vertex2) == 2 * sizeof(float));

std::vector<float> decodeFloats(const eng::Data& blob) {
  std::vector<float> out(blob.size() / sizeof(float));
  if (!out.empty()) std::memcpy(out.data(), blob.data(), out.size() * sizeof(float));
  return out;
}

// x, y pairs; an odd last value has no partner and is dropped.
std::vector<Vertex2> verticesFromFloats(const std::vector<float>& values) {
  std::vector<Vertex2> out(values.size() / 2);
  for (size_t i = 0; i < out.size(); ++i) out[i] = Vertex2{values[2 * i], values[2 * i + 1]};
  return out;
}

std::vector<float> floatsFromVertices(const std::vector<Vertex2>& vertices) {
  std::vector<float> out;
  out.reserve(vertices.size() * 2);
  for (const Vertex2& v : vertices) {
    out.push_back(v.x);
    out.push_back(v.y);
  }
  return out;
}

// Everything a slot holds, decoded and checked, ready to be put into the model at once.
struct DecodedSlot {
  int32_t graticule = 0;
  int32_t alerts = 0;
  std::optional<CursorSettings> cursors;
  std::optional<CommonSettings> common;
  std::optional<SpectrumSettings> spectrum;
  std::optional<PowerSettings> power;
  std::optional<ChannelStyle> powerChannel;
  std::optional<ChannelStyle> referenceChannel;
  std::optional<DemoSettings> demo;
  PowerHistory reference;
};

DecodedSlot decodeSlot(const AnalyzerModel& model, int slot, int version, eng::UserDefault& store) {
  auto data = [&](const char* name) { return store.getDataForKey(keyOf(slot, name).c_str()); };
  auto integer = [&](const char* name, int current) { return store.getIntegerForKey(keyOf(slot, name).c_str(), current); };

  DecodedSlot d;
  d.graticule = integer("graticule", model.graticule);
  d.alerts = integer("alerts", model.alerts);
  d.cursors = decodeRecord(data("cursors"), model.cursors);
  d.common = decodeRecord(data("common_settings"), model.common);

  const eng::Data spectrum = data("spectrum_settings");
  d.spectrum = version == 0 ? convertSpectrumV0(spectrum, model.spectrum) : decodeRecord(spectrum, model.spectrum);
  if (d.spectrum) d.spectrum->ssidRefreshSeconds = sanitizedSsidInterval(d.spectrum->ssidRefreshSeconds);

  d.power = decodeRecord(data("power_setting"), model.power);
  d.powerChannel = decodeRecord(data("power_channel0"), model.powerChannel);
  d.referenceChannel = decodeRecord(data("reference_channel0"), model.referenceChannel);

  // The reference trace is always emptied first, then filled from whatever the slot holds.
  PowerHistory& ref = d.reference;
  ref.clear();
  ref.history = decodeVectorList(data("referenceHistory.history"));
  for (const auto& v : decodeVectorList(data("referenceHistory.processedHistory")))
    ref.processedHistory.push_back(verticesFromFloats(v));
  for (float a : decodeFloats(data("referenceHistory.alpha"))) ref.alpha.push_back(a);
  ref.rollingHistory = decodeFloats(data("referenceHistory.rollingHistory"));
  ref.processedRollingHistory = verticesFromFloats(decodeFloats(data("referenceHistory.processedRollingHistory")));
  ref.maxRollPointsNeeded = integer("referenceHistory.maxRollPointsNeeded", ref.maxRollPointsNeeded);
  ref.timeScaleIndex = integer("referenceHistory.timeScaleIndex", ref.timeScaleIndex);
  ref.amplitudeScaleIndex = integer("referenceHistory.amplitudeScaleIndex", ref.amplitudeScaleIndex);
  ref.isValid = store.getBoolForKey(keyOf(slot, "referenceHistory.isValid").c_str(), ref.isValid);

  d.demo = decodeRecord(data("demo"), model.demo);
  return d;
}

// Plain assignments only: nothing here can fail, so the model never ends up half-loaded.
void commitSlot(AnalyzerModel& model, DecodedSlot&& d) {
  model.graticule = d.graticule;
  model.alerts = d.alerts;
  if (d.cursors) model.cursors = *d.cursors;
  if (d.common) model.common = *d.common;
  if (d.spectrum) model.spectrum = *d.spectrum;
  if (d.power) model.power = *d.power;
  if (d.powerChannel) model.powerChannel = *d.powerChannel;
  if (d.referenceChannel) model.referenceChannel = *d.referenceChannel;
  model.reference = std::move(d.reference);
  if (d.demo) model.demo = *d.demo;
}

bool validSlot(int slot) { return slot >= 0 && slot < CONFIGURATION_SLOT_COUNT; }

}  // namespace

eng::Data encodeVectorList(const std::deque<std::vector<float>>& list) {
  size_t total = 0;
  for (const auto& v : list)
    if (v.size() <= static_cast<size_t>(std::numeric_limits<int32_t>::max())) total += 4 + v.size() * sizeof(float);
  eng::Data out(total);
  size_t pos = 0;
  for (const auto& v : list) {
    if (v.size() > static_cast<size_t>(std::numeric_limits<int32_t>::max())) continue;  // its count cannot be written
    const int32_t n = static_cast<int32_t>(v.size());
    std::memcpy(out.data() + pos, &n, sizeof n);
    pos += sizeof n;
    if (n > 0) std::memcpy(out.data() + pos, v.data(), v.size() * sizeof(float));
    pos += v.size() * sizeof(float);
  }
  return out;
}

std::deque<std::vector<float>> decodeVectorList(const eng::Data& blob) {
  std::deque<std::vector<float>> out;
  size_t pos = 0;
  while (blob.size() - pos >= sizeof(int32_t)) {
    int32_t n;
    std::memcpy(&n, blob.data() + pos, sizeof n);
    pos += sizeof n;
    // A negative count, or one whose values run past the end, ends the list.
    if (n < 0 || static_cast<uint64_t>(n) * sizeof(float) > blob.size() - pos) break;
    std::vector<float> v(static_cast<size_t>(n));
    if (n > 0) std::memcpy(v.data(), blob.data() + pos, v.size() * sizeof(float));
    pos += v.size() * sizeof(float);
    out.push_back(std::move(v));
  }
  return out;
}

bool loadConfiguration(AnalyzerModel& model, int slot, eng::UserDefault& store) {
  if (!validSlot(slot)) return false;
  const int version = store.getIntegerForKey(keyOf(slot, "version").c_str(), -1);
  if (version != 0 && version != 1) {
    // Never written, or written by a later format this build cannot read.
    model.resetSettings();
    saveConfiguration(model, slot, store);
    return true;
  }
  commitSlot(model, decodeSlot(model, slot, version, store));
  return true;
}

bool loadConfiguration(AnalyzerModel& model, int slot) {
  return loadConfiguration(model, slot, eng::UserDefault::getInstance());
}

bool saveConfiguration(const AnalyzerModel& model, int slot, eng::UserDefault& store) {
  if (!validSlot(slot)) return false;
  auto data = [&](const char* name, const eng::Data& blob) { store.setDataForKey(keyOf(slot, name).c_str(), blob); };
  auto integer = [&](const char* name, int value) { store.setIntegerForKey(keyOf(slot, name).c_str(), value); };

  integer("version", SETTINGS_FORMAT_VERSION);
  integer("graticule", model.graticule);
  integer("alerts", model.alerts);
  data("cursors", encodeRecord(model.cursors));
  data("common_settings", encodeRecord(model.common));
  data("spectrum_settings", encodeRecord(model.spectrum));
  data("power_setting", encodeRecord(model.power));
  data("power_channel0", encodeRecord(model.powerChannel));
  data("reference_channel0", encodeRecord(model.referenceChannel));

  const PowerHistory& ref = model.reference;
  data("referenceHistory.history", encodeVectorList(ref.history));
  std::deque<std::vector<float>> processed;
  for (const auto& v : ref.processedHistory) processed.push_back(floatsFromVertices(v));
  data("referenceHistory.processedHistory", encodeVectorList(processed));
  data("referenceHistory.alpha", encodeFloats(ref.alpha));
  data("referenceHistory.rollingHistory", encodeFloats(ref.rollingHistory));
  data("referenceHistory.processedRollingHistory", encodeVertices(ref.processedRollingHistory));
  integer("referenceHistory.maxRollPointsNeeded", ref.maxRollPointsNeeded);
  integer("referenceHistory.timeScaleIndex", ref.timeScaleIndex);
  integer("referenceHistory.amplitudeScaleIndex", ref.amplitudeScaleIndex);
  store.setBoolForKey(keyOf(slot, "referenceHistory.isValid").c_str(), ref.isValid);
  data("demo", encodeRecord(model.demo));
  return store.flush();
}

bool saveConfiguration(const AnalyzerModel& model, int slot) {
  return saveConfiguration(model, slot, eng::UserDefault::getInstance());
}

}  // namespace tarvo
