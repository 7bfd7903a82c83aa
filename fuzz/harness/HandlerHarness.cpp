// Handler harness: the packet handler of each accessory generation, after a simulated
// discovery, fed arbitrary bytes in arbitrary chunks, with the model's invariants checked after
// every chunk and every other event.
//
// The accessory's side comes from the simulator (tools/sim): its discover response, and a set of
// well-formed frames of the generation (acknowledgements, sweeps, captures, scan cycles) that
// an input can drop into the stream by number, so the fuzzer starts from a working conversation
// and mutates from there. Events a menu or the controller would cause (a state change, a run
// control, a settings change, the controller's cycle with a fake link, a device that goes and
// comes back) are part of the input too, because they change what the handler does with the
// next frame.
//
// Invariants after each step:
//   - the controller state is one of the twelve states, the trigger status one of three, the
//     run control one of four, and a scan cycle never counts more than its first frame;
//   - a sweep history never holds more than its 510 rows, its last sweep fits its row;
//   - a heat map has levels x bins cells, 1 to 256 levels, at most a row of bins, and counts
//     exactly one entry per bin for each of the newest (at most 50) history rows;
//   - the roll stream holds at most 2000 samples, the capture list at most POWER_TRACES_MAX
//     captures of at most 1000 samples;
//   - the access-point list holds no null record, no BSSID twice, no SSID longer than its field;
//   - the reassembly buffer never holds more than the largest frame (a 255-record scan frame);
//   - once discovered, the model's capability record is the decoder's generation;
//   - what the data log receives fits the buffers the handler owns.
//
// Input format:
//   byte 0   bits 0-1  generation: 0 first (code 2), 1 second (6), 2 dual-band (7),
//                      3 none simulated: the stream itself must discover the accessory
//            bit 2     spectrum mode (else power mode)
//            bit 3     roll time base (timebaseIndex 1; else 15)
//            bit 4     triggerAuto
//            bit 5     waterfall display
//            bit 6     the CSV data log is on (a file in the scratch directory)
//            bit 7     an accessory is attached (a fake link; else demo-playback conditions)
//   byte 1   bits 0-1  spectrum band setting (0 2.4 GHz, 1 5 GHz, 2-3 out of range)
//            bit 2     SSID scanning on; bit 3 power trigger (else digital)
//            bits 4-5  acquisitionPause; bit 6 apListFrozen; bit 7 SSID interval 0 (else 30 s)
//   then steps until the input ends:
//     0x00-0xDF       a chunk of (op + 1) bytes from the input to dataReceived
//     0xE0 u16        a chunk of that many bytes (at least one)
//     0xF0 s          controller state = s % 12 (as the controller or a menu would set it)
//     0xF1 p          acquisitionPause = p % 4
//     0xF2            spectrum mode toggled
//     0xF3 t          timebaseIndex = t as a signed byte (may be out of the table)
//     0xF4 u16        the clock advances by that many milliseconds
//     0xF5            the accessory goes away and comes back; discovery is simulated again
//     0xF6 k          well-formed frame k (modulo the generation's set) in one chunk
//     0xF7            apListFrozen toggled
//     0xF8 r          run control r % 5: requestStop, requestReconfigure(true), singleShot,
//                     runAcquisition, stopAcquisition
//     0xF9            one controller cycle (only with an accessory attached)
//     0xFA            the stores reset as after an acknowledged reconfiguration with reset
//     0xFB            display mode toggled (REAL WAVE / WATERFALL)
//     0xFC-0xFF       a chunk of the well-formed frames k and k+1 (k from the next byte)
//                     with the cut at a point taken from the byte after
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "acquisition/datalog/DataLogFile.h"
#include "acquisition/pipeline/AccessoryCommunicationDelegate.h"
#include "acquisition/pipeline/CommandQueue.h"
#include "acquisition/pipeline/HeatMap.h"
#include "core/AnalyzerModel.h"
#include "engine/services/Clock.h"
#include "fuzz/harness/FuzzInput.h"
#include "fuzz/harness/Harness.h"
#include "tools/sim/AccessPointPopulation.h"
#include "tools/sim/AccessoryProfile.h"
#include "tools/sim/FrameEncoder.h"
#include "tools/sim/Recordings.h"
#include "tools/sim/Scenes.h"

namespace tarvo::fuzz {

namespace {

constexpr int GENERATIONS[] = {GENERATION_TARVO, GENERATION_TARVO2, GENERATION_TARVO25};
// The largest frame any generation sends: a second-generation scan frame of 255 records.
constexpr size_t LARGEST_FRAME = SCAN_HEADER_LENGTH + SCAN_RECORD_LENGTH * 255;

enum Step : uint8_t {
  STEP_LONG_CHUNK = 0xE0,
  STEP_STATE = 0xF0,
  STEP_PAUSE = 0xF1,
  STEP_MODE = 0xF2,
  STEP_TIMEBASE = 0xF3,
  STEP_CLOCK = 0xF4,
  STEP_RECONNECT = 0xF5,
  STEP_FRAME = 0xF6,
  STEP_FREEZE = 0xF7,
  STEP_RUN_CONTROL = 0xF8,
  STEP_CYCLE = 0xF9,
  STEP_RESET_STORES = 0xFA,
  STEP_DISPLAY = 0xFB,
  STEP_SPLIT_FRAMES = 0xFC,
};

constexpr uint8_t H_SPECTRUM = 0x04, H_ROLL = 0x08, H_AUTO = 0x10, H_WATERFALL = 0x20, H_DATALOG = 0x40,
                  H_ATTACHED = 0x80;
constexpr uint8_t S_SSID = 0x04, S_POWER_TRIGGER = 0x08, S_FROZEN = 0x40, S_INTERVAL0 = 0x80;

// The well-formed frames of one generation, as the simulator makes them.
struct Conversation {
  sim::AccessoryProfile profile;
  sim::Bytes discover;
  std::vector<sim::Bytes> frames;
};

std::vector<float> ramp(int n, float lo, float hi) {
  std::vector<float> v(static_cast<size_t>(std::max(n, 0)));
  for (int i = 0; i < n; ++i) v[i] = lo + (hi - lo) * static_cast<float>(i % 37) / 36.0f;
  return v;
}

Conversation makeConversation(int code) {
  Conversation c;
  c.profile = sim::defaultProfile(code);
  c.discover = sim::encodeDiscover(c.profile);
  auto add = [&](const std::vector<sim::Bytes>& frames) {
    for (const auto& f : frames)
      if (!f.empty()) c.frames.push_back(f);
  };
  c.frames.push_back(sim::encodeConfigureAck(1));
  if (code != GENERATION_TARVO) c.frames.push_back(sim::encodeStopAck());
  for (int band = 0; band < BAND_COUNT; ++band) {
    const int bins = c.profile.binsPerSweep(band);
    if (bins <= 0) continue;
    const sim::BinPlan plan = sim::binPlanFor(code, band);
    const sim::SpectrumScene scene(sim::SceneKind::Wifi, band, 7, c.profile.hostFloorDbm(band) + 5.0f, 16);
    add(sim::encodeSweep(c.profile, band, scene.sweep(0, plan)));
    add(sim::encodeSweep(c.profile, band, ramp(bins, -110.0f, 0.0f)));
  }
  if (code == GENERATION_TARVO25) c.frames.push_back(sim::encodeEmptySweep());
  const int samples = c.profile.samplesPerTrace();
  if (samples > 0) {
    add(sim::encodeCapture(c.profile, ramp(samples, -90.0f, -10.0f), true));
    add(sim::encodeCapture(c.profile, ramp(samples, -80.0f, -60.0f), false));
  }
  if (code != GENERATION_TARVO) {
    const sim::AccessPointPopulation population(11);
    for (int cycle = 0; cycle < 2; ++cycle) add(sim::encodeScanCycle(population.scan(code, cycle, 8)));
    // A full frame of 20 and its empty closing frame, and an empty scan.
    std::vector<sim::ScanRecord> twenty = population.scan(code, 3, 8);
    twenty.resize(std::min<size_t>(twenty.size(), 20));
    while (twenty.size() < 20) twenty.push_back(twenty.empty() ? sim::ScanRecord{} : twenty.back());
    add(sim::encodeScanCycle(twenty));
    c.frames.push_back(sim::encodeScanFrame({}));
  }
  return c;
}

const Conversation& conversation(int code) {
  static const std::vector<Conversation> all = [] {
    std::vector<Conversation> v;
    for (int g : GENERATIONS) v.push_back(makeConversation(g));
    return v;
  }();
  for (const auto& c : all)
    if (c.profile.generation == code) return c;
  return all[1];
}

// The commands the controller queues go nowhere.
struct NullLink : CommandQueue {
  size_t commands = 0;
  bool enqueue(std::vector<uint8_t> bytes, int) override {
    if (bytes.empty()) return false;
    ++commands;
    return true;
  }
};

// Checks what the handler hands the data log, then passes it on to the real log (when on).
struct CheckingLog : DataLogSink {
  DataLogSink* next = nullptr;
  std::string broken;
  volatile float sink = 0.0f;

  void touch(const float* v, int count) {
    float s = 0.0f;
    for (int i = 0; i < count; ++i) s += v[i];  // ASan: every value must be readable
    sink = s;
  }
  void sweepStored(int band, const float* values, int count, int64_t nowMs) override {
    if (band != BAND_2G4 && band != BAND_5G) broken = "data log got band " + std::to_string(band);
    if (count < 0 || count > rowBinsOfBand(sanitizeBand(band))) broken = "data log got a sweep of " + std::to_string(count);
    if (count > 0) touch(values, count);
    if (next) next->sweepStored(band, values, count, nowMs);
  }
  void powerTraceStored(const float* samples, int count, int64_t nowMs) override {
    if (count < 0 || count > POWER_DECODE_CAPACITY) broken = "data log got a trace of " + std::to_string(count);
    if (count > 0) touch(samples, count);
    if (next) next->powerTraceStored(samples, count, nowMs);
  }
  void rollSamplesStored(const float* samples, int count, int64_t nowMs) override {
    if (count < 0 || count > POWER_DECODE_CAPACITY) broken = "data log got " + std::to_string(count) + " roll samples";
    if (count > 0) touch(samples, count);
    if (next) next->rollSamplesStored(samples, count, nowMs);
  }
  void configureAcknowledged() override {
    if (next) next->configureAcknowledged();
  }
  void stopLog() override {
    if (next) next->stopLog();
  }
};

// Checks a store; its heat map only when it was published since the last check (the harness
// consumes heatMapChanged as the waterfall layer does), since summing it after every step
// would cost more than the handler's own work.
std::string checkStore(SpectrumStore& store, const char* name) {
  const std::string band = name;
  const SweepHistory& h = store.sweepHistory;
  if (h.depth() != SpectrumStore::HISTORY_DEPTH) return band + ": history depth " + std::to_string(h.depth());
  if (h.size() < 0 || h.size() > h.depth()) return band + ": history holds " + std::to_string(h.size()) + " rows";
  if (store.lastSweepBins > store.rowBins || store.lastSweepBins < -1 || store.lastSweepBins == 0)
    return band + ": lastSweepBins " + std::to_string(store.lastSweepBins);
  if (!store.heatMapChanged) return {};
  store.heatMapChanged = false;
  if (store.heatMapBins == 0 && store.heatMapLevels == 0) return {};
  const int bins = store.heatMapBins, levels = store.heatMapLevels;
  if (bins < 1 || bins > store.rowBins) return band + ": heat map of " + std::to_string(bins) + " bins";
  if (levels < 1 || levels > static_cast<int>(HEAT_MAP_MAX_LEVELS))
    return band + ": heat map of " + std::to_string(levels) + " levels";
  if (store.heatMap.size() != static_cast<size_t>(bins) * static_cast<size_t>(levels))
    return band + ": heat map has " + std::to_string(store.heatMap.size()) + " cells for " + std::to_string(levels) +
           " x " + std::to_string(bins);
  // Each of the newest rows (at most 50) adds one count per bin.
  const uint64_t rows = static_cast<uint64_t>(std::min(h.size(), HEAT_MAP_WINDOW_ROWS));
  uint64_t total = 0;
  const uint16_t* cells = store.heatMap.data();
  for (size_t i = 0, n = store.heatMap.size(); i < n; ++i) total += cells[i];
  if (total != rows * static_cast<uint64_t>(bins))
    return band + ": heat map counts " + std::to_string(total) + " entries for " + std::to_string(rows) + " rows of " +
           std::to_string(bins) + " bins";
  return {};
}

// One model for every input (it holds two 510-row histories, too much to build per input),
// brought back to the state of a new one before each.
AnalyzerModel& sharedModel() {
  static AnalyzerModel* model = new AnalyzerModel();
  return *model;
}

void resetModel(AnalyzerModel& m) {
  ModelLock lock(m, LOCK_ALL);
  m.resetSettings();
  m.resetSpectrumData();
  m.resetPowerData();
  m.resetCursorSamples();
  m.markerSlots = {};
  m.scanStatistics = ScanStatistics{};
  m.powerDataChanged = false;
  m.runtime = RuntimeState{};
  m.screenLog = nullptr;
  m.setDeviceInfo(DeviceInfo{});
}

struct Session {
  AnalyzerModel& model = sharedModel();
  eng::ManualClock clock;
  NullLink link;
  int device = 0;
  CheckingLog log;
  std::unique_ptr<DataLogFile> file;
  AccessoryCommunicationDelegate handler{model, clock};
  int generation = 0;  // simulated generation, 0 when the stream discovers by itself
  bool attached = false;

  void feed(const uint8_t* bytes, size_t n) {
    if (n == 0) return;
    handler.dataReceived(attached ? &link : nullptr, attached ? &device : nullptr, bytes, static_cast<int>(n));
  }
  void feed(const std::vector<uint8_t>& bytes) { feed(bytes.data(), bytes.size()); }

  // What the controller does for a new accessory: discover (state 1 waits for the response),
  // configure and wait for the acknowledgement, then stream.
  void discover() {
    if (generation == 0) return;
    const Conversation& c = conversation(generation);
    handler.linkState().state = STATE_AWAIT_DISCOVER;
    feed(c.discover);
    handler.linkState().state = STATE_AWAIT_ACK;
    feed(sim::encodeConfigureAck(1));
    handler.linkState().state = STATE_STREAMING;
  }

  std::string check() {
    if (!log.broken.empty()) return log.broken;
    const int32_t state = handler.linkState().state;
    if (state < STATE_START_DISCOVERY || state > STATE_STOPPED) return "controller state " + std::to_string(state);
    // A scan cycle is one frame, or a full frame of 20 records and the one after it.
    if (handler.linkState().scanFrames > 1) return "scanFrames " + std::to_string(handler.linkState().scanFrames);
    const int32_t trigger = model.runtime.triggerStatus;
    if (trigger < 0 || trigger > 2) return "triggerStatus " + std::to_string(trigger);
    const int32_t pause = model.runtime.acquisitionPause;
    if (pause < ACQ_RUN || pause > ACQ_SINGLE_CAPTURED) return "acquisitionPause " + std::to_string(pause);
    const size_t buffered = handler.bufferedBytes();
    if (buffered > LARGEST_FRAME) return "reassembly buffer holds " + std::to_string(buffered) + " bytes";
    const int decoder = handler.decoderGeneration();
    if (decoder != 0 && decoder != GENERATION_TARVO && decoder != GENERATION_TARVO2 && decoder != GENERATION_TARVO25)
      return "decoder of generation " + std::to_string(decoder);
    if (handler.linkState().discovered && decoder != 0 && model.deviceInfo()->generationCode != decoder)
      return "the model describes generation " + std::to_string(model.deviceInfo()->generationCode) +
             ", the decoder is generation " + std::to_string(decoder);
    {
      ModelLock lock(model, LOCK_ALL);
      if (std::string b = checkStore(model.band24, "2.4 GHz"); !b.empty()) return b;
      if (std::string b = checkStore(model.band5, "5 GHz"); !b.empty()) return b;
      if (model.rollSamples().size() > static_cast<size_t>(ROLL_SAMPLES_MAX))
        return "roll stream holds " + std::to_string(model.rollSamples().size()) + " samples";
      if (model.powerTraces().size() > static_cast<size_t>(POWER_TRACES_MAX))
        return std::to_string(model.powerTraces().size()) + " power traces kept";
      for (const auto& trace : model.powerTraces())
        if (trace.empty() || trace.size() > static_cast<size_t>(POWER_DECODE_CAPACITY))
          return "a power trace of " + std::to_string(trace.size()) + " samples";
      // (A BSSID may be listed twice: the first batch into an empty list is taken as it is.)
      for (const auto& ap : model.accessPoints) {
        if (!ap) return "a null access point in the list";
        if (ap->ssidLength > SSID_MAX_LENGTH) return "an access point with ssidLength " + std::to_string(ap->ssidLength);
      }
    }
    return {};
  }
};

void applySettings(AnalyzerModel& model, uint8_t h, uint8_t s) {
  model.common.spectrumMode = (h & H_SPECTRUM) ? 1 : 0;
  model.power.timebaseIndex = (h & H_ROLL) ? 1 : 15;
  model.power.triggerAuto = (h & H_AUTO) ? 1 : 0;
  model.spectrum.displayMode = (h & H_WATERFALL) ? 1 : 0;
  model.spectrum.band = s & 3;
  model.spectrum.ssidEnabled = (s & S_SSID) ? 1 : 0;
  model.power.triggerOnPower = (s & S_POWER_TRIGGER) ? 1 : 0;
  model.runtime.acquisitionPause = (s >> 4) & 3;
  model.runtime.apListFrozen = (s & S_FROZEN) != 0;
  model.spectrum.ssidRefreshSeconds = (s & S_INTERVAL0) ? 0.0f : 30.0f;
}

}  // namespace

std::string runHandlerInput(const uint8_t* data, size_t size) {
  FuzzInput in(data, size);
  const uint8_t h = in.u8();
  const uint8_t s = in.u8();
  std::srand(1);  // the access-point list picks marker colours with rand()

  resetModel(sharedModel());
  auto session = std::make_unique<Session>();
  Session& se = *session;
  se.generation = (h & 3) == 3 ? 0 : GENERATIONS[h & 3];
  applySettings(se.model, h, s);

  if (h & H_DATALOG) {
    clearScratchDirectory();
    se.file = std::make_unique<DataLogFile>(se.model, se.clock);
    se.file->setOutputPath(scratchDirectory() + "/handler.csv");
    se.model.runtime.dataLogState = DATALOG_START_REQUESTED;
    se.log.next = se.file.get();
  }
  se.handler.setDataLogSink(&se.log);
  se.attached = (h & H_ATTACHED) != 0;
  if (se.attached) se.handler.deviceAdded(&se.link, &se.device);
  se.discover();
  if (std::string broken = se.check(); !broken.empty()) return "after discovery: " + broken;

  const std::vector<sim::Bytes>* frames = se.generation ? &conversation(se.generation).frames : nullptr;
  int step = 0;
  while (!in.empty()) {
    const uint8_t op = in.u8();
    ++step;
    if (op < STEP_LONG_CHUNK) {
      se.feed(in.bytes(static_cast<size_t>(op) + 1));
    } else if (op < STEP_STATE) {
      const size_t n = std::max<size_t>(1, in.u16());
      se.feed(in.bytes(n));
    } else {
      switch (op) {
        case STEP_STATE:
          se.handler.linkState().state = in.u8() % 12;
          break;
        case STEP_PAUSE:
          se.model.runtime.acquisitionPause = in.u8() % 4;
          break;
        case STEP_MODE:
          se.model.common.spectrumMode = se.model.isSpectrumMode() ? 0 : 1;
          break;
        case STEP_TIMEBASE:
          se.model.power.timebaseIndex = static_cast<int8_t>(in.u8());
          break;
        case STEP_CLOCK:
          se.clock.advanceMs(in.u16());
          break;
        case STEP_RECONNECT:
          se.handler.deviceRemoved(se.attached ? &se.link : nullptr, se.attached ? &se.device : nullptr, 0);
          if (se.attached) se.handler.deviceAdded(&se.link, &se.device);
          se.discover();
          break;
        case STEP_FRAME: {
          const uint8_t k = in.u8();
          if (frames && !frames->empty()) se.feed((*frames)[k % frames->size()]);
          break;
        }
        case STEP_FREEZE:
          se.model.runtime.apListFrozen = !se.model.runtime.apListFrozen;
          break;
        case STEP_RUN_CONTROL:
          switch (in.u8() % 5) {
            case 0:
              se.handler.requestStop();
              break;
            case 1:
              se.handler.requestReconfigure(true);
              break;
            case 2:
              se.handler.singleShot();
              break;
            case 3:
              se.handler.runAcquisition();
              break;
            default:
              se.handler.stopAcquisition();
              break;
          }
          break;
        case STEP_CYCLE:
          // Without an accessory the cycle would play the demo recordings from disk.
          if (se.attached) se.handler.runCycle();
          break;
        case STEP_RESET_STORES:
          se.handler.linkState().resetStores = true;
          se.handler.acknowledgedStep();
          break;
        case STEP_DISPLAY:
          se.model.spectrum.displayMode = se.model.spectrum.displayMode == 1 ? 0 : 1;
          break;
        default: {  // two well-formed frames with the cut anywhere
          const uint8_t k = in.u8();
          const uint8_t cut = in.u8();
          if (!frames || frames->empty()) break;
          std::vector<uint8_t> both = (*frames)[k % frames->size()];
          const auto& second = (*frames)[(k + 1u) % frames->size()];
          both.insert(both.end(), second.begin(), second.end());
          const size_t at = both.size() * cut / 256;
          se.feed(both.data(), at);
          se.feed(both.data() + at, both.size() - at);
          break;
        }
      }
    }
    if (std::string broken = se.check(); !broken.empty()) return "step " + std::to_string(step) + ": " + broken;
  }
  return {};
}

std::vector<Seed> handlerSeeds() {
  std::vector<Seed> seeds;
  // A stream cut into chunks of 1 to 224 bytes (fixed pseudo-random sizes).
  auto chunked = [](FuzzInputWriter& w, const std::vector<uint8_t>& stream, uint32_t seed) {
    uint32_t x = seed;
    for (size_t at = 0; at < stream.size();) {
      x = x * 1103515245u + 12345u;
      const size_t n = std::min<size_t>(stream.size() - at, 1 + (x >> 16) % 224);
      w.u8(static_cast<uint8_t>(n - 1));
      w.append(std::vector<uint8_t>(stream.begin() + at, stream.begin() + at + n));
      at += n;
    }
  };

  // Every recording of the demo layout, its first frames after a simulated discovery.
  const sim::RecordingOptions options;
  uint32_t n = 0;
  for (const sim::RecordingFile& file : sim::recordingLayout()) {
    if (file.kind == sim::RecordingKind::Discover || file.kind == sim::RecordingKind::Settings) continue;
    if (file.scene != sim::SceneKind::None && file.scene != sim::SceneKind::Wifi &&
        file.kind != sim::RecordingKind::Ssid)
      continue;
    const int g = file.generation == GENERATION_TARVO ? 0 : file.generation == GENERATION_TARVO2 ? 1 : 2;
    const bool power = file.kind == sim::RecordingKind::Power;
    const uint8_t roll = (power && (n % 2)) ? H_ROLL : 0;
    const uint8_t header = static_cast<uint8_t>(g | (power ? H_AUTO | roll : H_SPECTRUM) | (n % 3 == 0 ? H_ATTACHED : 0));
    const uint8_t settings = static_cast<uint8_t>((file.kind == sim::RecordingKind::Spectrum5GHz ? 1 : 0) | S_SSID |
                                                  S_POWER_TRIGGER);
    std::vector<uint8_t> stream = sim::buildRecording(file, options);
    stream.resize(std::min<size_t>(stream.size(), 3000));
    FuzzInputWriter w;
    w.u8(header).u8(settings);
    chunked(w, stream, 17 + n);
    std::string name = file.path.substr(file.path.find_last_of('/') + 1);
    seeds.push_back({name.substr(0, name.size() - 4), w.bytes()});
    ++n;
  }

  // Conversations through the frame set, with events in between.
  for (int g = 0; g < 3; ++g) {
    const int code = GENERATIONS[g];
    const size_t count = conversation(code).frames.size();
    FuzzInputWriter w;
    w.u8(static_cast<uint8_t>(g | H_SPECTRUM | H_AUTO | H_ATTACHED | H_DATALOG)).u8(S_SSID | S_POWER_TRIGGER);
    for (size_t k = 0; k < count; ++k) w.u8(STEP_FRAME).u8(static_cast<uint8_t>(k));
    w.u8(STEP_CYCLE).u8(STEP_MODE).u8(STEP_CYCLE);
    for (size_t k = 0; k < count; ++k) w.u8(STEP_SPLIT_FRAMES).u8(static_cast<uint8_t>(k)).u8(static_cast<uint8_t>(37 * k));
    w.u8(STEP_RUN_CONTROL).u8(2).u8(STEP_CYCLE).u8(STEP_CYCLE);
    for (size_t k = 0; k < count; ++k) w.u8(STEP_FRAME).u8(static_cast<uint8_t>(k));
    w.u8(STEP_RESET_STORES).u8(STEP_RECONNECT).u8(STEP_TIMEBASE).u8(1).u8(STEP_CLOCK).u16(12000);
    for (size_t k = 0; k < count; ++k) w.u8(STEP_FRAME).u8(static_cast<uint8_t>(k));
    w.u8(STEP_DISPLAY).u8(STEP_STATE).u8(STATE_STREAMING);
    for (size_t k = 0; k < count; ++k) w.u8(STEP_FRAME).u8(static_cast<uint8_t>(k));
    seeds.push_back({"conversation-gen" + std::to_string(code), w.bytes()});
  }
  // Discovery from the stream itself, then a first-generation scan head that never completes.
  {
    FuzzInputWriter w;
    w.u8(3 | H_SPECTRUM).u8(0);
    const auto& c = conversation(GENERATION_TARVO);
    std::vector<uint8_t> stream = {0xAA, 0x20, 0x01};
    stream.insert(stream.end(), c.discover.begin(), c.discover.end());
    const std::vector<uint8_t> scanHead = {0xAA, 0xE0, 0x05, 0x00};
    stream.insert(stream.end(), scanHead.begin(), scanHead.end());
    for (const auto& f : c.frames) stream.insert(stream.end(), f.begin(), f.end());
    w.u8(STEP_STATE).u8(STATE_AWAIT_DISCOVER);
    chunked(w, stream, 5);
    seeds.push_back({"stream-discovers-gen1", w.bytes()});
  }
  return seeds;
}

}  // namespace tarvo::fuzz
