// FakeAccessory: the accessory's side of the conversation, for tests.
//
// It answers the commands the controller sends exactly as the accessory would, byte for byte,
// and streams data frames at the generation's pace from the simulator's radio scenes.
//
//   tarvo::sim::FakeAccessory fake(tarvo::GENERATION_TARVO2);      // or FakeAccessoryOptions
//   Bytes reply = fake.handleCommand(cmd, cmdLength, nowMs);        // immediate answers
//   Bytes data = fake.pendingFrames(nowMs);                         // frames due by nowMs
//
// Commands (bytes written to the OUT endpoint; several per call, or one split over calls, are
// fine: input is reassembled and resynchronised on 0xAA; a length byte below 3 or above 64
// skips one byte):
//   AA 03 03 discover   -> the discover response at once; streams stop
//   AA len 02 53 ...    -> configure (len 32, 20 or 8 by generation; any other length is
//                          ignored): parsed into configuration(), streams stop, and the
//                          acknowledgement AA 40 <sequence byte of the command> at once
//   AA 03 05 sweep      -> sweeps of the configured band (band byte on the dual-band accessory)
//   AA 03 01 power      -> power captures (triggered time bases) or the roll stream
//   AA 03 07 scan       -> SSID scan cycles
//   AA 03 06 stop       -> streams stop; the stop acknowledgement AA C0 00 00 at once
//                          (the first generation has no stop command and ignores it)
// A capability the profile lacks ignores its request (no power on the dual-band accessory, no
// scans on the first generation).
//
// Pace (from the request's time; `nowMs` is any millisecond scale the test likes, e.g.
// eng::ManualClock):
//   - First generation (the host repeats requests every cycle): each sweep request buys one
//     sweep (both segments, back to back) and each power request one capture (six segments),
//     due one period after the request and never sooner than one period after the previous
//     one (0.1 s); at most two requests are banked. In roll mode each power request keeps the
//     stream flowing for 500 ms: 40-sample frames every 66.7 ms (33.3 ms at timebase code 5).
//   - Second generation: one request starts a stream until stop: a sweep every 0.2 s, a
//     capture every 0.1 s, or in roll mode a 1000-sample frame every 0.4 s. SSID scans are
//     paced by the accessory: the first cycle scanFirstDelayMs after the request, then one every
//     scanIntervalMs.
//   - Dual-band: sweeps every 0.25 s (2.4 GHz) or 1.25 s (5 GHz) until stop; each scan request
//     gives one scan cycle scanDurationMs later (one frame, or 20 records plus a closing frame).
//   A stream that falls far behind (the test jumped the clock) sends at most 50 units per call
//   and then resumes from the current time, as a device with a small FIFO would.
//
// Power captures follow the configure command: time base, pre-trigger count (the edge sits
// that many samples before the end), level code, edge and mode. A capture whose codes cross the
// level code at the trigger sample is sent with the triggered flag. When the trigger does not
// fire (level above the pulses, digital trigger, NONE scene) AUTO mode sends a free-running
// capture without the flag and NORMAL mode sends nothing for that slot.
//
// Threads: every public operation takes an internal mutex, so the link thread may call
// handleCommand while a test thread calls pendingFrames.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "tools/sim/AccessPointPopulation.h"
#include "tools/sim/FrameEncoder.h"
#include "tools/sim/Scenes.h"

namespace tarvo::sim {

struct FakeAccessoryOptions {
  GenerationCode generation = GENERATION_TARVO2;
  // The accessory itself; defaultProfile(generation) when not given.
  std::optional<AccessoryProfile> profile;
  uint32_t seed = 1;
  SceneKind scene = SceneKind::Wifi;  // what the sweeps and captures show
  int loopSweeps = 256;               // period of the spectrum scene's slow changes
  int64_t scanFirstDelayMs = 2000;    // second generation: first cycle after a scan request
  int64_t scanIntervalMs = 10000;     // second generation: later cycles
  int64_t scanDurationMs = 1500;      // dual-band: one cycle this long after each request
  // Fault injection: silence an answer (timeouts), or give every n-th scan record a wrong
  // checksum (0 = never).
  bool answerDiscover = true;
  bool answerConfigure = true;
  bool answerStop = true;
  int corruptEveryNthRecord = 0;
};

// A configure command as the accessory understood it.
struct ConfigureState {
  bool received = false;
  uint8_t sequence = 0;
  bool powerMode = false;      // first generation's mode byte (later generations: false)
  int timebaseIndex = 0;       // index into the time-per-division table
  int timebaseByte = 0;        // as sent (first generation: index or 5; second: 17 - index)
  bool roll = false;           // trigger mode byte 2
  bool autoTrigger = false;    // trigger mode byte 1
  bool powerTrigger = true;    // digital logic byte 0
  int levelCode = 0;
  int edgeByte = 0;            // power: 1 rising, 0 falling
  uint8_t digitalLogic = 0, digitalLines = 0;
  int attenuatorStep = 0;      // first generation
  uint32_t holdoffCount = 0, preTriggerCount = 0;
  int band = 0;                // dual-band: 0 = 2.4 GHz, 1 = 5 GHz
  Bytes raw;
};

struct ReceivedCommand {
  int64_t atMs = 0;
  uint8_t code = 0;  // COMMAND_* of the protocol (1 power, 2 configure, 3 discover, 5, 6, 7)
  Bytes bytes;
};

class FakeAccessory {
 public:
  explicit FakeAccessory(GenerationCode generation);
  explicit FakeAccessory(const FakeAccessoryOptions& options);
  ~FakeAccessory();
  FakeAccessory(const FakeAccessory&) = delete;
  FakeAccessory& operator=(const FakeAccessory&) = delete;

  // Bytes the host wrote; returns what the accessory answers at once. The first form uses the
  // latest time given to either operation (0 at the start).
  Bytes handleCommand(const uint8_t* bytes, size_t length);
  Bytes handleCommand(const uint8_t* bytes, size_t length, int64_t nowMs);
  // Streamed frames due by nowMs, in time order, concatenated.
  Bytes pendingFrames(int64_t nowMs);
  // When the next streamed frame is due, or -1 when nothing is streaming.
  int64_t nextFrameDueMs() const;

  const AccessoryProfile& profile() const { return profile_; }
  ConfigureState configuration() const;
  std::vector<ReceivedCommand> commands() const;
  bool sweeping() const;
  bool capturingPower() const;
  bool scanning() const;
  // Units sent so far (a first-generation sweep is one unit of two frames).
  int sweepsSent() const;
  int capturesSent() const;   // triggered and untriggered; roll frames count too
  int scanCyclesSent() const;

 private:
  // Times are fractional milliseconds: the first generation's roll frames come every 66.7 ms.
  struct Stream {
    bool active = false;
    double nextDueMs = 0.0;
    double lastDueMs = -1e18;  // due time of the previous unit
    int credits = -1;          // first generation: banked requests; -1 = until stopped
    double keepAliveUntilMs = 0.0;  // first generation's roll stream
  };

  void dispatch(const Bytes& command, Bytes& reply);
  void parseConfigure(const Bytes& command);
  void stopStreams();
  void request(Stream& s, double periodMs);
  double sweepPeriodMs() const;
  double powerPeriodMs() const;
  double rollSampleSeconds() const;
  bool emitSweep(Bytes& out);
  bool emitPower(Bytes& out);
  void emitScanCycle(Bytes& out);
  CaptureGeometry captureGeometry() const;
  const SpectrumScene& sceneFor(int band) const;

  mutable std::mutex mutex_;
  FakeAccessoryOptions options_;
  AccessoryProfile profile_;
  std::unique_ptr<SpectrumScene> scene24_, scene5_;
  std::unique_ptr<PowerScene> powerScene_;
  AccessPointPopulation population_;
  Bytes inbox_;
  int64_t nowMs_ = 0;
  ConfigureState config_;
  std::vector<ReceivedCommand> commands_;
  Stream sweep_, power_, scan_;
  int sweepIndex_ = 0;
  int captureIndex_ = 0;
  int64_t rollSample_ = 0;
  int scanCycle_ = 0;
  int recordCounter_ = 0;
  int sweepsSent_ = 0, capturesSent_ = 0, scanCyclesSent_ = 0;
};

}  // namespace tarvo::sim
