#include "tools/sim/FakeAccessory.h"

#include <algorithm>
#include <cmath>

#include "tools/sim/Random.h"

namespace tarvo::sim {

namespace {

constexpr uint8_t SYNC = 0xAA;
constexpr uint8_t CMD_POWER = 0x01, CMD_CONFIGURE = 0x02, CMD_DISCOVER = 0x03, CMD_SWEEP = 0x05, CMD_STOP = 0x06,
                  CMD_SCAN = 0x07;
constexpr uint8_t CONFIGURE_MARK = 0x53;
constexpr size_t LONGEST_COMMAND = 64;
constexpr int MAX_UNITS_PER_CALL = 50;
constexpr int GEN1_MAX_BANKED = 2;
constexpr double GEN1_ROLL_KEEPALIVE_MS = 500.0;
constexpr int SCAN_LOOP_CYCLES = 64;
enum : uint64_t { STREAM_FREERUN = 301 };

uint32_t getU32(const Bytes& b, size_t at) {
  return (uint32_t{b[at]} << 24) | (uint32_t{b[at + 1]} << 16) | (uint32_t{b[at + 2]} << 8) | b[at + 3];
}
uint16_t getU16(const Bytes& b, size_t at) { return static_cast<uint16_t>((b[at] << 8) | b[at + 1]); }

float spectrumNoise(const AccessoryProfile& p, int band) { return p.hostFloorDbm(band) + (band == BAND_5G ? 4.0f : 3.5f); }

}  // namespace

FakeAccessory::FakeAccessory(GenerationCode generation) : FakeAccessory([&] {
    FakeAccessoryOptions o;
    o.generation = generation;
    return o;
  }()) {}

FakeAccessory::FakeAccessory(const FakeAccessoryOptions& options)
    : options_(options),
      profile_(options.profile ? *options.profile : defaultProfile(options.generation)),
      population_(options.seed) {
  scene24_ = std::make_unique<SpectrumScene>(options.scene, BAND_2G4, options.seed, spectrumNoise(profile_, BAND_2G4),
                                             options.loopSweeps);
  scene5_ = std::make_unique<SpectrumScene>(options.scene, BAND_5G, options.seed, spectrumNoise(profile_, BAND_5G),
                                            options.loopSweeps);
  powerScene_ = std::make_unique<PowerScene>(options.scene, options.seed, profile_.hostPower().offset + 12.0f);
  // Before any configure command: a centred trigger at the default time base, AUTO.
  config_.timebaseIndex = 15;
  config_.timebaseByte = profile_.generation == GENERATION_TARVO2 ? 2 : 15;
  config_.autoTrigger = true;
  config_.levelCode = 128;
  config_.edgeByte = 1;
  config_.preTriggerCount = static_cast<uint32_t>(profile_.samplesPerTrace() / 2);
}

FakeAccessory::~FakeAccessory() = default;

Bytes FakeAccessory::handleCommand(const uint8_t* bytes, size_t length) {
  int64_t now;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    now = nowMs_;
  }
  return handleCommand(bytes, length, now);
}

Bytes FakeAccessory::handleCommand(const uint8_t* bytes, size_t length, int64_t nowMs) {
  std::lock_guard<std::mutex> lock(mutex_);
  nowMs_ = std::max(nowMs_, nowMs);
  Bytes reply;
  if (!bytes || length == 0) return reply;
  inbox_.insert(inbox_.end(), bytes, bytes + length);
  size_t h = 0;
  while (inbox_.size() - h >= 2) {
    if (inbox_[h] != SYNC) {
      ++h;
      continue;
    }
    const size_t len = inbox_[h + 1];
    if (len < 3 || len > LONGEST_COMMAND) {
      ++h;
      continue;
    }
    if (inbox_.size() - h < len) break;  // the rest of the command comes later
    const Bytes command(inbox_.begin() + static_cast<std::ptrdiff_t>(h),
                        inbox_.begin() + static_cast<std::ptrdiff_t>(h + len));
    dispatch(command, reply);
    h += len;
  }
  inbox_.erase(inbox_.begin(), inbox_.begin() + static_cast<std::ptrdiff_t>(h));
  return reply;
}

void FakeAccessory::dispatch(const Bytes& command, Bytes& reply) {
  const uint8_t code = command[2];
  commands_.push_back({nowMs_, code, command});
  const bool gen1 = profile_.generation == GENERATION_TARVO;
  const bool dual = profile_.generation == GENERATION_TARVO25;
  const bool shortCommand = command.size() == 3;
  switch (code) {
    case CMD_DISCOVER:
      if (!shortCommand) return;
      stopStreams();
      if (options_.answerDiscover) {
        const Bytes d = encodeDiscover(profile_);
        reply.insert(reply.end(), d.begin(), d.end());
      }
      return;
    case CMD_CONFIGURE: {
      if (static_cast<int>(command.size()) != profile_.configureLength() || command[3] != CONFIGURE_MARK) return;
      parseConfigure(command);
      stopStreams();
      if (options_.answerConfigure) {
        const Bytes a = encodeConfigureAck(config_.sequence);
        reply.insert(reply.end(), a.begin(), a.end());
      }
      return;
    }
    case CMD_SWEEP:
      if (!shortCommand || !profile_.spectrumCapable) return;
      if (dual && !(config_.band == BAND_5G ? profile_.band2Capable : profile_.band1Capable)) return;
      request(sweep_, sweepPeriodMs());
      return;
    case CMD_POWER:
      if (!shortCommand || dual || !profile_.powerCapable) return;
      if (gen1 && config_.roll) {
        power_.keepAliveUntilMs = nowMs_ + GEN1_ROLL_KEEPALIVE_MS;
        if (!power_.active) {
          power_.active = true;
          power_.credits = -1;
          power_.nextDueMs = std::max(static_cast<double>(nowMs_), power_.lastDueMs + powerPeriodMs());
        }
        return;
      }
      request(power_, powerPeriodMs());
      return;
    case CMD_SCAN:
      if (!shortCommand || gen1 || !profile_.scanCapable) return;
      if (!scan_.active) {
        scan_.active = true;
        scan_.credits = dual ? 1 : -1;
        scan_.nextDueMs = static_cast<double>(nowMs_ + (dual ? options_.scanDurationMs : options_.scanFirstDelayMs));
      }
      return;
    case CMD_STOP:
      if (!shortCommand || gen1) return;
      stopStreams();
      if (options_.answerStop) {
        const Bytes s = encodeStopAck();
        reply.insert(reply.end(), s.begin(), s.end());
      }
      return;
    default:
      return;
  }
}

void FakeAccessory::parseConfigure(const Bytes& b) {
  ConfigureState c;
  c.received = true;
  c.raw = b;
  switch (profile_.generation) {
    case GENERATION_TARVO:
      c.levelCode = getU16(b, 4);
      c.timebaseByte = b[6];
      c.edgeByte = b[9];
      c.roll = b[10] == 2;
      c.autoTrigger = b[10] == 1;
      c.attenuatorStep = b[11];
      c.digitalLogic = b[20];
      c.digitalLines = b[21];
      c.sequence = b[22];
      c.powerMode = b[23] == 1;
      c.holdoffCount = getU32(b, 24);
      c.preTriggerCount = getU32(b, 28);
      // In roll mode the fastest roll time base travels as code 5 (twice the sample rate).
      c.timebaseIndex = std::min<int>(c.timebaseByte, TIMEBASE_TABLE_SIZE - 1);
      break;
    case GENERATION_TARVO25:
      c.sequence = b[4];
      c.band = b[5] == 1 ? BAND_5G : BAND_2G4;
      break;
    default:
      c.sequence = b[4];
      c.timebaseByte = b[5];
      c.timebaseIndex = std::clamp(17 - static_cast<int>(b[5]), 0, TIMEBASE_TABLE_SIZE - 1);
      c.levelCode = getU16(b, 6);
      c.edgeByte = b[8];
      c.roll = b[9] == 2;
      c.autoTrigger = b[9] == 1;
      c.digitalLogic = b[10];
      c.digitalLines = b[11];
      c.holdoffCount = getU32(b, 12);
      c.preTriggerCount = getU32(b, 16);
      break;
  }
  c.powerTrigger = c.digitalLogic == 0;
  config_ = c;
}

void FakeAccessory::stopStreams() {
  for (Stream* s : {&sweep_, &power_, &scan_}) {
    s->active = false;
    s->credits = -1;
    s->keepAliveUntilMs = 0.0;
  }
}

void FakeAccessory::request(Stream& s, double periodMs) {
  const double now = static_cast<double>(nowMs_);
  if (profile_.generation == GENERATION_TARVO) {
    // One unit per request, banked up to two.
    s.credits = s.active && s.credits > 0 ? std::min(s.credits + 1, GEN1_MAX_BANKED) : 1;
    if (!s.active) {
      s.active = true;
      s.nextDueMs = std::max(now + periodMs, s.lastDueMs + periodMs);
    }
    return;
  }
  if (!s.active) {
    s.active = true;
    s.credits = -1;
    s.nextDueMs = now + periodMs;
  }
}

double FakeAccessory::sweepPeriodMs() const {
  return profile_.sweepPeriodSeconds(profile_.generation == GENERATION_TARVO25 ? config_.band : BAND_2G4) * 1000.0;
}

double FakeAccessory::rollSampleSeconds() const {
  // The roll stream is sampled at the rate of the slowest triggered time base (ten divisions
  // of 0.04 s per trace); the first generation's code 5 doubles it.
  const double base = TIMEBASE_TABLE[4] * TIMEBASE_DIVISIONS / std::max(profile_.samplesPerTrace(), 1);
  if (profile_.generation == GENERATION_TARVO && config_.timebaseByte == 5) return base / 2.0;
  return base;
}

double FakeAccessory::powerPeriodMs() const {
  if (config_.roll) return profile_.samplesPerPowerFrame() * rollSampleSeconds() * 1000.0;
  return profile_.powerPeriodSeconds() * 1000.0;
}

const SpectrumScene& FakeAccessory::sceneFor(int band) const { return band == BAND_5G ? *scene5_ : *scene24_; }

CaptureGeometry FakeAccessory::captureGeometry() const {
  CaptureGeometry g;
  g.samples = profile_.samplesPerTrace();
  const int idx = std::clamp(config_.timebaseIndex, 0, TIMEBASE_TABLE_SIZE - 1);
  g.sampleSeconds = static_cast<double>(TIMEBASE_TABLE[idx]) * TIMEBASE_DIVISIONS / std::max(g.samples, 1);
  g.triggerIndex = triggerIndexFromPreCount(g.samples, config_.preTriggerCount);
  const SlopeOffset cal = profile_.hostPower();
  g.triggerLevelDbm = cal.dbm(config_.levelCode);
  g.rising = config_.edgeByte == 1;
  g.levelMarginDb = 1.6f * cal.slope;
  return g;
}

bool FakeAccessory::emitSweep(Bytes& out) {
  const int band = profile_.generation == GENERATION_TARVO25 ? config_.band : BAND_2G4;
  const std::vector<float> levels = sceneFor(band).sweep(sweepIndex_++, binPlanFor(profile_.generation, band));
  for (const Bytes& f : encodeSweep(profile_, band, levels)) out.insert(out.end(), f.begin(), f.end());
  ++sweepsSent_;
  return true;
}

bool FakeAccessory::emitPower(Bytes& out) {
  const SlopeOffset cal = profile_.hostPower();
  if (config_.roll) {
    const int n = profile_.samplesPerPowerFrame();
    const std::vector<float> levels = powerScene_->roll(rollSample_, rollSampleSeconds(), n);
    std::vector<uint8_t> codes(n);
    for (int i = 0; i < n; ++i) codes[i] = amplitudeCode(levels[i], cal);
    const int segment = static_cast<int>((rollSample_ / n) % profile_.packetsPerTrace());
    rollSample_ += n;
    const Bytes f = encodePowerFrame(profile_, segment, false, codes.data(), n);
    out.insert(out.end(), f.begin(), f.end());
    ++capturesSent_;
    return true;
  }
  const CaptureGeometry g = captureGeometry();
  const int index = captureIndex_++;
  Capture c = powerScene_->capture(index, g);
  std::vector<uint8_t> codes(g.samples);
  for (int i = 0; i < g.samples; ++i) codes[i] = amplitudeCode(c.dbm[i], cal);
  const bool fired = config_.powerTrigger &&
                     triggerFires(codes.data(), g.samples, g.triggerIndex, config_.levelCode, g.rising);
  if (!fired) {
    if (!config_.autoTrigger) return false;  // NORMAL: nothing without a trigger
    // AUTO: a free-running capture, the scene at an arbitrary moment.
    CaptureGeometry freeRun = g;
    Rng rng(options_.seed, STREAM_FREERUN, static_cast<uint64_t>(index));
    freeRun.triggerIndex = g.samples / 8 + rng.below(std::max(g.samples * 3 / 4, 1));
    c = powerScene_->capture(index, freeRun);
  }
  for (const Bytes& f : encodeCapture(profile_, c.dbm, fired)) out.insert(out.end(), f.begin(), f.end());
  ++capturesSent_;
  return true;
}

void FakeAccessory::emitScanCycle(Bytes& out) {
  std::vector<Bytes> frames = encodeScanCycle(population_.scan(profile_.generation, scanCycle_++, SCAN_LOOP_CYCLES));
  for (Bytes& f : frames) {
    const int records = f.size() >= 4 ? f[2] : 0;
    for (int j = 0; j < records; ++j) {
      ++recordCounter_;
      if (options_.corruptEveryNthRecord > 0 && recordCounter_ % options_.corruptEveryNthRecord == 0)
        f[4 + 64 * j + 63] = static_cast<uint8_t>(f[4 + 64 * j + 63] + 1);  // sum is now 1, not 0
    }
    out.insert(out.end(), f.begin(), f.end());
  }
  ++scanCyclesSent_;
}

Bytes FakeAccessory::pendingFrames(int64_t nowMs) {
  std::lock_guard<std::mutex> lock(mutex_);
  nowMs_ = std::max(nowMs_, nowMs);
  const double now = static_cast<double>(nowMs_);
  Bytes out;
  int sent[3] = {0, 0, 0};
  Stream* streams[3] = {&sweep_, &power_, &scan_};
  const bool gen1 = profile_.generation == GENERATION_TARVO;
  for (;;) {
    // The earliest due unit among the streams.
    int pick = -1;
    for (int i = 0; i < 3; ++i) {
      Stream& s = *streams[i];
      if (!s.active || s.nextDueMs > now) continue;
      if (i == 1 && gen1 && config_.roll && s.nextDueMs > s.keepAliveUntilMs) {
        s.active = false;  // the host stopped asking
        continue;
      }
      if (pick < 0 || s.nextDueMs < streams[pick]->nextDueMs) pick = i;
    }
    if (pick < 0) break;
    Stream& s = *streams[pick];
    const double period = pick == 0 ? sweepPeriodMs() : pick == 1 ? powerPeriodMs()
                                                               : static_cast<double>(options_.scanIntervalMs);
    if (++sent[pick] > MAX_UNITS_PER_CALL) {
      // Far behind: drop the backlog, as a small device FIFO would.
      s.nextDueMs = now + period;
      continue;
    }
    if (pick == 0) emitSweep(out);
    else if (pick == 1) emitPower(out);
    else emitScanCycle(out);
    s.lastDueMs = s.nextDueMs;
    s.nextDueMs += period;
    if (s.credits > 0 && --s.credits == 0) s.active = false;
  }
  return out;
}

int64_t FakeAccessory::nextFrameDueMs() const {
  std::lock_guard<std::mutex> lock(mutex_);
  double best = -1.0;
  for (const Stream* s : {&sweep_, &power_, &scan_})
    if (s->active && (best < 0.0 || s->nextDueMs < best)) best = s->nextDueMs;
  return best < 0.0 ? -1 : static_cast<int64_t>(std::ceil(best));
}

ConfigureState FakeAccessory::configuration() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return config_;
}

std::vector<ReceivedCommand> FakeAccessory::commands() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return commands_;
}

bool FakeAccessory::sweeping() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return sweep_.active;
}

bool FakeAccessory::capturingPower() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return power_.active;
}

bool FakeAccessory::scanning() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return scan_.active;
}

int FakeAccessory::sweepsSent() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return sweepsSent_;
}

int FakeAccessory::capturesSent() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return capturesSent_;
}

int FakeAccessory::scanCyclesSent() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return scanCyclesSent_;
}

}  // namespace tarvo::sim
