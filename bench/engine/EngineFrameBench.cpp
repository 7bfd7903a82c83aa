// Cost of one engine frame: 300 sprites, 200 labels (20 of them changing text every frame, as
// read-outs do) and a 512-point polyline rebuilt every frame, at 960 × 640.
//   BM_Engine_FrameGL        the whole frame into an offscreen framebuffer, glFinish included;
//                            /0 "mixed": textures and label sizes alternate in draw order (no two
//                            neighbours share state), /1 "grouped": sprites of one image and
//                            labels of one size are neighbours, as in a table, so draws merge
//   BM_Engine_FrameHeadless  the mixed scene without GL: actions, updates, visit, recording
// Without an X display the program runs itself again under xvfb-run.
#include <GL/glew.h>
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine/Engine.h"
#include "engine/testing/Xvfb.h"

using namespace eng;

namespace {

constexpr int kSprites = 300;
constexpr int kLabels = 200;
constexpr int kChangingLabels = 20;
constexpr int kTracePoints = 512;

struct BenchScene {
  Scene* scene = nullptr;
  DrawNode* trace = nullptr;
  std::vector<Label*> labels;
  std::vector<Vec2> points = std::vector<Vec2>(kTracePoints);
  int frame = 0;

  void build(bool grouped) {
    scene = Scene::create();
    Director::getInstance()->runWithScene(scene);
    const char* images[] = {"PeakIcon.png", "WhiteBubbleTextureMap.png", "SpectrumIconSelected.png",
                            "ButtonUnselected.png", "OuterWheel.png"};
    for (int i = 0; i < kSprites; ++i) {
      Sprite* s = Sprite::create(images[grouped ? i * 5 / kSprites : i % 5]);
      s->setPosition(float(20 + (i * 37) % 920), float(20 + (i * 53) % 600));
      s->setScale(0.5f);
      s->setColor(Color3B(255, uint8_t(i * 7), uint8_t(i * 13)));
      if (i % 10 == 0) s->runAction(RepeatForever::create(RotateBy::create(1.5f, 360)));
      scene->addChild(s, grouped ? 0 : i % 3);
    }
    for (int i = 0; i < kLabels; ++i) {
      Label* l = Label::createWithTTF("-00000.00dBm", Label::DEFAULT_FONT, grouped ? 13 : (i % 2 ? 13 : 16));
      l->setPosition(float(60 + (i * 71) % 840), float(15 + (i * 29) % 610));
      scene->addChild(l, 5);
      labels.push_back(l);
    }
    trace = DrawNode::create(2);
    scene->addChild(trace, 4);
  }
  // What a display layer does every frame.
  void animate() {
    ++frame;
    trace->clear();
    for (int i = 0; i < kTracePoints; ++i)
      points[size_t(i)] = Vec2(i * (960.f / kTracePoints), 320 + 200 * std::sin(i * 0.05f + frame * 0.1f));
    trace->drawPoly(points.data(), kTracePoints, false, Color4F(1, 1, 0, 1));
    char buf[32];
    for (int i = 0; i < kChangingLabels; ++i) {
      std::snprintf(buf, sizeof buf, "%.2fdBm", -90.0 + (frame + i) % 400 * 0.1);
      labels[size_t(i)]->setString(buf);
    }
  }
};

void BM_Engine_FrameGL(benchmark::State& state) {
  FileUtils::getInstance().setResourceRoot(TARVO_BINARY_DIR);
  Director* d = Director::getInstance();
  RefPtr<GLView> view = GLView::createOffscreen(Size(960, 640));
  if (!view) {
    state.SkipWithError("no GL context");
    return;
  }
  d->setOpenGLView(view.get());
  BenchScene b;
  b.build(state.range(0) == 1);
  state.SetLabel(state.range(0) == 1 ? "grouped" : "mixed");
  for (int i = 0; i < 5; ++i) {  // warm the caches: textures, glyphs, programs
    b.animate();
    d->stepFrame(1.f / 60);
  }
  for (auto _ : state) {
    b.animate();
    d->stepFrame(1.f / 60);
    glFinish();
  }
  const auto& stats = d->getRenderer()->lastFrameStats();
  state.counters["draw_calls"] = double(stats.drawCalls);
  state.counters["vertices"] = double(stats.vertices);
  if (stats.drawCalls == 0) state.SkipWithError("nothing was drawn");
  d->reset();
}
BENCHMARK(BM_Engine_FrameGL)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_Engine_FrameHeadless(benchmark::State& state) {
  FileUtils::getInstance().setResourceRoot(TARVO_BINARY_DIR);
  Director* d = Director::getInstance();
  d->initHeadless(Size(960, 640));
  BenchScene b;
  b.build(false);
  d->stepFrame(1.f / 60);
  for (auto _ : state) {
    b.animate();
    d->stepFrame(1.f / 60);
  }
  state.counters["commands"] = double(d->getRenderer()->lastFrameStats().commands);
  d->reset();
}
BENCHMARK(BM_Engine_FrameHeadless)->Unit(benchmark::kMicrosecond)->MinTime(1.0);

}  // namespace

int main(int argc, char** argv) {
  eng::testing::reexecUnderXvfbIfNoDisplay(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
