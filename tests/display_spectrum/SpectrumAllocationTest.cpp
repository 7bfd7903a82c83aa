// The layers' per-frame work allocates nothing once warmed up: not on a steady frame, not on a
// frame that processes a new sweep or rebuilds the heat map or the waterfall rows. Counted with
// a replaced global operator new around the layers' own update and draw.
#include <atomic>
#include <cstdlib>
#include <new>
#include <vector>

#include "SpectrumLayerFixture.h"
#include "display/spectrum/RssiLayer.h"
#include "display/spectrum/WaterfallLayer.h"
#include "display/spectrum/WaterfallThresholdAndTouchLayer.h"

// GCC sees malloc/free pairs inside the replaced operators and mistakes them for a mismatch.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

namespace {
std::atomic<bool> counting{false};
std::atomic<long> allocations{0};
}  // namespace

void* operator new(std::size_t n) {
  if (counting.load(std::memory_order_relaxed)) allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(n ? n : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

using namespace tarvo;
using spectrumtest::LayerTest;

namespace {

class Allocations : public LayerTest {
 protected:
  // Allocations made by one frame's update and draw of `layer` (not the engine's visit).
  long frameOf(eng::Node* layer) {
    eng::Renderer& r = *eng::Director::getInstance()->getRenderer();
    allocations = 0;
    counting = true;
    layer->update(1.f / 60);
    layer->draw(r, layer->getNodeToWorldTransform(), 0);
    counting = false;
    r.clearQueue();
    return allocations.load();
  }
  std::vector<float> wifiLike(int k) const {
    std::vector<float> v(256);
    for (int i = 0; i < 256; ++i) v[size_t(i)] = -95.0f + float((i * 7 + k * 13) % 40) + (i / 40 == k % 6 ? 30.0f : 0.0f);
    return v;
  }
  void histogram() {
    ModelLock lock(model, LOCK_SPECTRUM);
    SpectrumStore& s = model.band24;
    s.heatMapBins = 256;
    s.heatMapLevels = 200;
    s.heatMap.assign(256 * 200, 1);  // allocation by the producer, outside the counted frame
    s.heatMapDirty = true;
    s.heatMapAccumulated = false;
  }
};

TEST_F(Allocations, TheCounterSeesAnAllocation) {
  counting = true;
  allocations = 0;
  auto* v = new std::vector<int>(100);
  counting = false;
  delete v;
  EXPECT_EQ(allocations.load(), 2);
}

TEST_F(Allocations, TraceLayerFramesAllocateNothing) {
  model.spectrum.traceTypes[0] = TRACE_RAW;
  model.spectrum.traceTypes[1] = TRACE_MAX_HOLD;
  model.spectrum.traceTypes[2] = TRACE_HEAT_MAP;
  model.cursors.cursorsShown = 1;
  RssiLayer* layer = place(RssiLayer::create(model));
  for (int k = 0; k < 5; ++k) {
    sweep(wifiLike(k));
    histogram();
    frames(2);
  }
  EXPECT_EQ(frameOf(layer), 0) << "steady frame";
  sweep(wifiLike(7));
  histogram();
  EXPECT_EQ(frameOf(layer), 0) << "frame with a new sweep and a new heat map";
  EXPECT_FALSE(model.band24.heatMapDirty);
}

TEST_F(Allocations, WaterfallFramesAllocateNothing) {
  model.cursors.cursorsShown = 1;
  model.cursors.cursorPositions[2] = 300;
  WaterfallLayer* layer = place(WaterfallLayer::create(model));
  for (int k = 0; k < 520; ++k) sweep(wifiLike(k));
  frames(3);
  EXPECT_EQ(frameOf(layer), 0) << "steady frame with markers";
  sweep(wifiLike(600));
  EXPECT_EQ(frameOf(layer), 0) << "frame rebuilding the rows";
  EXPECT_FALSE(model.band24.heatMapChanged);
}

TEST_F(Allocations, ThresholdFramesAllocateNothingOnceTheReadoutsAreOut) {
  auto* layer = place(WaterfallThresholdAndTouchLayer::create(model));
  frames(2);
  EXPECT_EQ(frameOf(layer), 0) << "steady frame";
}

}  // namespace
