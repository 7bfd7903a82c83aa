// A model, a virtual clock and a delegate wired to a scripted link: the small fixture most
// pipeline tests start from.
#pragma once

#include <memory>
#include <random>

#include "ScriptedLink.h"
#include "TestFrames.h"
#include "acquisition/pipeline/AccessoryCommunicationDelegate.h"

namespace tarvo::testing {

struct PipelineHarness {
  explicit PipelineHarness(DecoderFactory factory = {})
      : delegate(model, clock, std::move(factory)) {}

  void feed(const Bytes& bytes) {
    delegate.dataReceived(&link, &device, bytes.data(), static_cast<int>(bytes.size()));
  }
  void feedByteByByte(const Bytes& bytes) {
    for (uint8_t b : bytes) delegate.dataReceived(&link, &device, &b, 1);
  }
  // Chunks of 1 ... maxChunk bytes, sizes from a fixed seed.
  void feedRandomChunks(const Bytes& bytes, unsigned seed, int maxChunk = 700) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> size(1, maxChunk);
    for (size_t at = 0; at < bytes.size();) {
      const size_t n = std::min<size_t>(size(rng), bytes.size() - at);
      delegate.dataReceived(&link, &device, bytes.data() + at, static_cast<int>(n));
      at += n;
    }
  }
  void connect() { delegate.deviceAdded(&link, &device); }
  void cycles(int n) {
    for (int i = 0; i < n; ++i) delegate.runCycle();
  }
  int state() const { return delegate.linkState().state; }

  // Discovers a fake accessory of `spec` and takes it through configuration to streaming
  // requests (the commands sent on the way are dropped).
  void bringUp(const DiscoverSpec& spec) {
    connect();
    cycles(1);  // discover
    feed(discoverFrame(spec));
    cycles(2);  // 2 -> 3 -> configure sent
    feed(ackFrame());
    cycles(1);  // 5 -> 6
    link.take();
  }

  AnalyzerModel model;
  eng::ManualClock clock;
  ScriptedLink link;
  int device = 0;  // stands for the USB device; only its address is used
  AccessoryCommunicationDelegate delegate;
};

}  // namespace tarvo::testing
