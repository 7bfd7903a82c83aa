// The link-thread side (a simulated accessory answering queued commands and delivering its
// frames in arbitrary chunks) and the real controller thread run together for a few seconds
// while the main thread changes settings, reads the stores like the display does and plugs
// the accessory out and in. Run it under ThreadSanitizer too.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <deque>
#include <random>
#include <thread>

#include "TestFrames.h"
#include "acquisition/pipeline/AccessoryCommunicationDelegate.h"

namespace tarvo {
namespace {

using namespace tarvo::testing;
using namespace std::chrono_literals;

// The accessory's side of the link: takes queued commands one per pass and answers them the
// way the dual-band accessory does.
class SimulatedLink : public CommandQueue {
 public:
  bool enqueue(std::vector<uint8_t> bytes, int tag) override {
    if (bytes.empty()) return false;
    std::lock_guard lock(mutex_);
    queue_.push_back(std::move(bytes));
    (void)tag;
    return true;
  }

  // One pass of the link thread: at most one command, then one "read" of whatever the
  // accessory has to say, handed over in pieces.
  void pass(AccessoryCommunicationDelegate& d, std::mt19937& rng) {
    std::vector<uint8_t> command;
    {
      std::lock_guard lock(mutex_);
      if (!queue_.empty()) {
        command = std::move(queue_.front());
        queue_.pop_front();
      }
    }
    Bytes out;
    if (command.size() >= 3) {
      switch (command[2]) {
        case COMMAND_DISCOVER: {
          DiscoverSpec spec;
          spec.generation = 7;
          out = discoverFrame(spec);
          break;
        }
        case COMMAND_CONFIGURE:
          out = ackFrame();
          break;
        case COMMAND_SWEEP:
          sweeping_ = true;
          break;
        case COMMAND_SCAN:
          out = concat({scanFrame(scanRecords(20, scans_)), scanFrame(scanRecords(4, scans_ + 20))});
          scans_ = (scans_ + 24) % 200;
          break;
        case COMMAND_STOP:
          sweeping_ = false;
          out = stopAckFrame();
          break;
        default:
          break;
      }
    }
    if (sweeping_) {
      const Bytes sweep = spectrumFrame(7, band_ ^= 1, 0, std::vector<uint8_t>(512, static_cast<uint8_t>(rng())));
      out.insert(out.end(), sweep.begin(), sweep.end());
    }
    std::uniform_int_distribution<int> piece(1, 600);
    for (size_t at = 0; at < out.size();) {
      const size_t n = std::min<size_t>(piece(rng), out.size() - at);
      d.dataReceived(this, this, out.data() + at, static_cast<int>(n));
      at += n;
    }
  }

 private:
  std::mutex mutex_;
  std::deque<std::vector<uint8_t>> queue_;
  bool sweeping_ = false;
  int band_ = 0;
  int scans_ = 0;
};

TEST(PipelineThreads, LinkAndControllerRunTogether) {
  AnalyzerModel model;
  model.spectrum.ssidRefreshSeconds = 1.0f;
  AccessoryCommunicationDelegate delegate(model, eng::systemClock());
  SimulatedLink link;

  std::atomic<bool> stop{false};
  std::atomic<bool> attached{true};
  delegate.deviceAdded(&link, &link);
  std::thread linkThread([&] {
    std::mt19937 rng(3);
    bool wasAttached = true;
    while (!stop) {
      const bool now = attached;
      if (now != wasAttached) {
        if (now)
          delegate.deviceAdded(&link, &link);
        else
          delegate.deviceRemoved(&link, &link, 0);
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
  const auto end = std::chrono::steady_clock::now() + 3s;
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
    // The first 1.5 s run undisturbed (sweeps, then a scan cycle after 1 s); then the menus act.
    switch (i < 75 ? -1 : i % 50) {
      case 10:
        model.spectrum.displayMode = 1;
        break;
      case 20:
        model.spectrum.displayMode = 0;
        delegate.requestReconfigure(rng() % 2 == 0);
        break;
      case 30:
        model.spectrum.band = 1 - model.spectrum.band;
        delegate.stopAcquisition();
        break;
      case 35:
        delegate.runAcquisition();
        break;
      case 40:
        if (i == 90) attached = false;  // once, for a moment: demo playback takes over
        break;
      case 45:
        attached = true;
        break;
    }
    std::this_thread::sleep_for(20ms);
  }
  delegate.stopController();
  stop = true;
  linkThread.join();

  EXPECT_FALSE(delegate.linkState().threadRunning);
  EXPECT_TRUE(delegate.linkState().discovered);
  EXPECT_GT(maxRows, 10);
  EXPECT_GT(maxAccessPoints, 0u);
}

}  // namespace
}  // namespace tarvo
