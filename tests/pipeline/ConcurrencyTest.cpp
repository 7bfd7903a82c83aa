// The link-thread side (the simulated accessory answering queued commands and streaming its
// frames, delivered in arbitrary chunks) and the real controller thread run together for four
// seconds while the main thread changes settings, reads the stores like the display does and
// swaps the accessory for another one. Run it under ThreadSanitizer too.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <deque>
#include <random>
#include <thread>

#include "TestFrames.h"
#include "acquisition/pipeline/AccessoryCommunicationDelegate.h"
#include "tools/sim/FakeAccessory.h"

namespace tarvo {
namespace {

using namespace tarvo::testing;
using namespace std::chrono_literals;

// The link thread's side: one queued command per pass goes to the simulated accessory, then
// whatever it answered or streamed is handed over in pieces of at most one bulk read.
class SimulatedLink : public CommandQueue {
 public:
  bool enqueue(std::vector<uint8_t> bytes, int tag) override {
    if (bytes.empty()) return false;
    std::lock_guard lock(mutex_);
    queue_.push_back(std::move(bytes));
    (void)tag;
    return true;
  }

  // A different accessory is plugged in (link thread only).
  void plug(GenerationCode generation) {
    sim::FakeAccessoryOptions options;
    options.generation = generation;
    options.scanFirstDelayMs = 300;
    options.scanIntervalMs = 700;
    options.scanDurationMs = 200;
    accessory_ = std::make_unique<sim::FakeAccessory>(options);
    std::lock_guard lock(mutex_);
    queue_.clear();
  }

  void pass(AccessoryCommunicationDelegate& d, std::mt19937& rng) {
    std::vector<uint8_t> command;
    {
      std::lock_guard lock(mutex_);
      if (!queue_.empty()) {
        command = std::move(queue_.front());
        queue_.pop_front();
      }
    }
    const int64_t now = eng::systemClock().nowMs();
    Bytes out;
    if (!command.empty()) out = accessory_->handleCommand(command.data(), command.size(), now);
    const Bytes streamed = accessory_->pendingFrames(now);
    out.insert(out.end(), streamed.begin(), streamed.end());
    std::uniform_int_distribution<int> piece(1, 2048);
    for (size_t at = 0; at < out.size();) {
      const size_t n = std::min<size_t>(piece(rng), out.size() - at);
      d.dataReceived(this, this, out.data() + at, static_cast<int>(n));
      at += n;
    }
  }

 private:
  std::mutex mutex_;
  std::deque<std::vector<uint8_t>> queue_;
  std::unique_ptr<sim::FakeAccessory> accessory_;
};

TEST(PipelineThreads, LinkAndControllerRunTogether) {
  AnalyzerModel model;
  model.spectrum.ssidRefreshSeconds = 1.0f;
  AccessoryCommunicationDelegate delegate(model, eng::systemClock());
  SimulatedLink link;

  std::atomic<bool> stop{false};
  std::atomic<bool> attached{true};
  link.plug(GENERATION_TARVO25);
  delegate.deviceAdded(&link, &link);
  std::thread linkThread([&] {
    std::mt19937 rng(3);
    bool wasAttached = true;
    while (!stop) {
      const bool now = attached;
      if (now != wasAttached) {
        if (now) {
          link.plug(GENERATION_TARVO2);  // another accessory: the decoder is replaced
          delegate.deviceAdded(&link, &link);
        } else {
          delegate.deviceRemoved(&link, &link, 0);
        }
        wasAttached = now;
      }
      if (now) link.pass(delegate, rng);
      std::this_thread::sleep_for(1ms);
    }
  });
  delegate.startController();

  int maxRows = 0;
  size_t maxAccessPoints = 0;
  std::mt19937 rng(11);
  const auto end = std::chrono::steady_clock::now() + 4s;
  for (int i = 0; std::chrono::steady_clock::now() < end; ++i) {
    {
      ModelLock lock(model, LOCK_SPECTRUM | LOCK_AP_LIST);
      maxRows = std::max(maxRows, model.band24.sweepHistory.size() + model.band5.sweepHistory.size());
      maxAccessPoints = std::max(maxAccessPoints, model.accessPoints.size());
      // The trace layer consumes the published heat map in place.
      SpectrumStore& s = model.band5;
      if (s.heatMapDirty && !s.heatMap.empty()) {
        s.heatMap[0] += 1;
        s.heatMapDirty = false;
      }
    }
    // 2 s undisturbed: dual-band sweeps, then a scan cycle once the 1 s SSID timer fired. Then
    // the menus act, and the accessory is swapped for a second-generation one.
    switch (i) {
      case 100:
        model.spectrum.displayMode = 1;
        break;
      case 110:
        model.spectrum.displayMode = 0;
        delegate.requestReconfigure(rng() % 2 == 0);
        break;
      case 120:
        model.spectrum.band = 1;
        delegate.stopAcquisition();
        break;
      case 125:
        model.spectrum.band = 0;
        delegate.runAcquisition();
        break;
      case 130:
        attached = false;  // for a moment: demo playback takes over
        break;
      case 135:
        attached = true;
        break;
      case 170:
        delegate.requestReconfigure(false);
        break;
      default:
        break;
    }
    std::this_thread::sleep_for(20ms);
  }
  delegate.stopController();
  stop = true;
  linkThread.join();

  EXPECT_FALSE(delegate.linkState().threadRunning);
  EXPECT_TRUE(delegate.linkState().discovered);
  EXPECT_EQ(model.deviceInfo()->generationCode, GENERATION_TARVO2);
  EXPECT_GE(maxRows, 4);
  EXPECT_GT(maxAccessPoints, 0u);
}

}  // namespace
}  // namespace tarvo
