// AccessoryCommunicationDelegate: turns the accessory's byte stream into model state and paces
// the conversation with the accessory.
//
//   - dataReceived, the packet handler: reassembles frames from arbitrary chunks, recognises
//     the generation from the discover response and creates its decoder, dispatches frames by
//     type, assembles multi-frame sweeps and traces, stores sweeps (history rows, heat maps),
//     power traces and the roll stream, merges SSID scans, moves the controller on
//     acknowledgements and feeds the data log. Runs on the link thread, or on the controller
//     thread in demo playback.
//   - the controller: a thread with a 100 ms cycle (runCycle) that walks the states of
//     LinkState.h with an attached accessory and runs demo playback without one.
//   - requestStop / requestReconfigure and the run control of the menu bar.
//   - the link's connection callbacks (filter, device added, device removed).
//
// Locks: the handler's own state (reassembly buffer, decoder, segment accumulators) is guarded
// by handlerMutex_; one controller cycle holds cycleMutex_, which the device callbacks also
// take, so a cycle never straddles a connection change. Order: cycle, handler, then the model's
// mutexes (always through ModelLock). Nothing that holds a model mutex takes either of ours.
//
// Time stamps come from the eng::Clock given at construction, so tests run on virtual time.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "acquisition/datalog/DataLogSink.h"
#include "acquisition/demo/DemoPlayback.h"
#include "acquisition/pipeline/CommandQueue.h"
#include "acquisition/pipeline/HeatMap.h"
#include "acquisition/pipeline/LinkState.h"
#include "acquisition/protocol/AccessoryProtocol.h"
#include "core/AnalyzerModel.h"
#include "engine/services/Clock.h"

namespace tarvo {

// Creates the decoder for a generation code (2, 6, 7), or null for any other code.
using DecoderFactory = std::function<std::unique_ptr<AccessoryProtocol>(int generationCode)>;

// Decode buffers: the most bins one sweep frame carries and the most samples one power frame
// carries, over all generations.
constexpr int SPECTRUM_DECODE_CAPACITY = 512;
constexpr int POWER_DECODE_CAPACITY = 1000;
// Records in a full scan frame: such a frame is followed by another of the same cycle.
constexpr int SCAN_FRAME_FULL_RECORDS = 20;
// A scan cycle that got its first frame ends this long after it even without a second.
constexpr int64_t SCAN_CYCLE_TIMEOUT_MS = 250;
constexpr int CONTROLLER_CYCLE_MS = 100;
// Captures kept when nothing prunes them: far more than any persistence the power view shows
// (its captures arrive at most ten a second).
constexpr int POWER_TRACES_MAX = 1000;

class AccessoryCommunicationDelegate {
 public:
  // Without a factory the delegate uses the decoders of the three accessory generations.
  AccessoryCommunicationDelegate(AnalyzerModel& model, eng::Clock& clock, DecoderFactory factory = {});
  ~AccessoryCommunicationDelegate();
  AccessoryCommunicationDelegate(const AccessoryCommunicationDelegate&) = delete;
  AccessoryCommunicationDelegate& operator=(const AccessoryCommunicationDelegate&) = delete;

  // Where stored sweeps and traces are logged (borrowed; null restores the no-op log). The
  // application attaches the CSV data log here.
  void setDataLogSink(DataLogSink* sink);

  // --- link callbacks ---
  // Filter: refuses everything while connections are blocked; otherwise takes a preapproved
  // device or one whose USB identity is the accessory's.
  bool shouldConnect(bool preapproved, bool identityMatches) const;
  void deviceAdded(CommandQueue* link, const void* device);
  void deviceRemoved(CommandQueue* link, const void* device, int reason);
  // The packet handler. `link` and `device` are null in demo playback. Copies what it keeps.
  void dataReceived(CommandQueue* link, const void* device, const uint8_t* bytes, int length);

  // --- controller ---
  // Starts the controller thread unless it runs; it loops runCycle every 100 ms.
  void startController();
  // Asks the thread to end, wakes it and joins it.
  void stopController();
  // One controller cycle (the thread's body; tests call it directly on virtual time).
  void runCycle();

  // Stops the data requests (user stop, completed single shot).
  void requestStop();
  // Stops, sends a new configure command and requests data again; `resetFirst` clears the
  // stores on the acknowledgement.
  void requestReconfigure(bool resetFirst);

  // --- run control of the menu bar ---
  void stopAcquisition();   // STOP: acquisitionPause 1 and a stop request
  void runAcquisition();    // RUN: acquisitionPause 0, data requested again
  void singleShot();        // SINGLE: acquisitionPause 2 through a fresh configure

  LinkState& linkState() { return link_; }
  const LinkState& linkState() const { return link_; }
  AnalyzerModel& model() { return model_; }
  int64_t nowMs() const { return clock_.nowMs(); }

  // Frame length of the current decoder at `bytes`, or -1 without a decoder (demo playback).
  int frameLengthNow(const uint8_t* bytes, int available);
  // Generation of the current decoder, 0 before any.
  int decoderGeneration();
  // Bytes waiting in the reassembly buffer (tests).
  size_t bufferedBytes();

  // The work of states 5 and 11, shared by the live branch and demo playback.
  void acknowledgedStep();
  void stoppedStep();

 private:
  struct Accumulator {
    std::vector<float> values;
    std::vector<uint8_t> order;
    void clear() {
      values.clear();
      order.clear();
    }
  };

  // --- handler (handlerMutex_ held) ---
  void resetAccumulators();
  void scanBuffer();
  void dispatch(const uint8_t* frame, int length);
  void onAcknowledge(const uint8_t* frame, int length);
  void onDiscover(const uint8_t* frame, int length);
  void onStopAcknowledge(const uint8_t* frame, int length);
  void onSpectrum(const uint8_t* frame, int length);
  void onPower(const uint8_t* frame, int length);
  void onScan(const uint8_t* frame, int length);
  // Adds one segment; true (and the whole sweep or trace in `out`) when it completed one.
  bool collectSegment(Accumulator& acc, int segments, int segment, const float* values, int count,
                      std::vector<float>& out);

  // --- controller (cycleMutex_ held) ---
  void liveCycle(CommandQueue* link);
  void requestData(CommandQueue* link);
  void queueCommand(CommandQueue* link, int tag, int length, const std::function<int(uint8_t*, int)>& build);

  AnalyzerModel& model_;
  eng::Clock& clock_;
  DecoderFactory factory_;
  DataLogSink noLog_;
  std::atomic<DataLogSink*> log_;
  LinkState link_;

  std::mutex handlerMutex_;
  std::vector<uint8_t> frameBuffer_;
  std::unique_ptr<AccessoryProtocol> decoder_;
  int decoderGeneration_ = 0;
  Accumulator powerAccum_, band1Accum_, band2Accum_;
  int32_t rollCountdown_ = 0;
  HeatMapCounter heatMaps_[BAND_COUNT];
  std::vector<float> decoded_;  // decode scratch
  std::vector<float> sweep_;    // a whole sweep or trace

  std::mutex cycleMutex_;
  DemoPlayback demo_;

  std::thread thread_;
  std::mutex wakeMutex_;
  std::condition_variable wake_;
};

}  // namespace tarvo
