// Application start-up on an offscreen view: the first start with an empty settings store,
// minimise and restore, and closing the window, each against a settings file in a temporary
// directory.
#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>

#include "app/AppDelegate.h"
#include "core/AnalyzerModel.h"
#include "core/Relaxed.h"
#include "core/persistence/SettingsPersistence.h"
#include "engine/Engine.h"
#include "engine/Scheduler.h"
#include "tests/services/TestDirs.h"

using namespace tarvo;

namespace {

class StartupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    eng::FileUtils::getInstance().setResourceRoot(TARVO_BINARY_DIR);
    eng::FileUtils::getInstance().setWritablePath(dir.file("data"));
    view = eng::GLView::createOffscreen(eng::Size(960, 640));
    ASSERT_TRUE(view) << "no GL context (is an X display reachable?)";
    eng::Director::getInstance()->setOpenGLView(view.get());
  }
  void TearDown() override { eng::Director::getInstance()->reset(); }

  AppDelegate::Options options() {
    AppDelegate::Options o;
    o.model = &model;
    o.store = &store;
    o.clock = &clock;
    o.startAcquisition = false;
    o.reportFirstFrame = false;
    return o;
  }
  // What another process would find in the settings file.
  int storedInteger(const char* key, int fallback = -99) {
    eng::UserDefault reader(path);
    return reader.getIntegerForKey(key, fallback);
  }
  eng::Data storedBlob(const char* key) {
    eng::UserDefault reader(path);
    return reader.getDataForKey(key);
  }
  template <class Record>
  static eng::Data bytesOf(const Record& r) {
    eng::Data out(sizeof(Record));
    recordToBytes(r, out.data());
    return out;
  }

  tarvo::testing::TempDir dir;
  std::string path = dir.file("settings.sqlite3");
  eng::UserDefault store{path};
  AnalyzerModel model;
  eng::ManualClock clock;
  eng::RefPtr<eng::GLView> view;
};

TEST_F(StartupTest, FirstStartWithAnEmptyStoreWritesSlotZeroWithDefaults) {
  model.graticule = 3;  // whatever the model held, slot 0 decides
  {
    AppDelegate app(options());
    ASSERT_TRUE(app.applicationDidFinishLaunching());
    EXPECT_EQ(int32_t(model.graticule), 31);
    EXPECT_EQ(int32_t(model.runtime.displaySizeClass), 3);
    EXPECT_EQ(eng::Director::getInstance()->getRunningScene(), app.scene());
    EXPECT_EQ(eng::Director::getInstance()->getOpenGLView(), view.get()) << "the given view is kept";
    EXPECT_NEAR(eng::Director::getInstance()->getAnimationInterval(), 0.016666668, 1e-7);
    EXPECT_EQ(eng::FileUtils::getInstance().searchPaths(), (std::vector<std::string>{"res/desktop/sd", "res", ""}));
    ASSERT_TRUE(app.screenLog());
    EXPECT_EQ(model.screenLog.load(), &app.screenLog()->log());
    EXPECT_EQ(app.screenLog()->log().levelMask(), 0x1Fu);
    EXPECT_EQ(app.screenLog()->log().lifetimeMs(), 15000.0f);
    EXPECT_EQ(app.screenLog()->getContentSize(), eng::Size(960, 640));
    EXPECT_FALSE(app.screenLog()->getParent()) << "the log is not part of the scene";
    eng::Director::getInstance()->stepFrame(1.f / 60);
  }
  EXPECT_EQ(storedInteger("config0.version"), 1);
  EXPECT_EQ(storedInteger("config0.graticule"), 31);
  const AnalyzerModel defaults;
  EXPECT_EQ(storedBlob("config0.spectrum_settings"), bytesOf(defaults.spectrum));
  EXPECT_EQ(storedBlob("config0.common_settings"), bytesOf(defaults.common));
  EXPECT_EQ(storedBlob("config0.power_setting"), bytesOf(defaults.power));
  EXPECT_EQ(storedBlob("config0.cursors"), bytesOf(defaults.cursors));
}

TEST_F(StartupTest, DecoderLinesReachTheOnScreenLogThroughTheModel) {
  AppDelegate app(options());
  ASSERT_TRUE(app.applicationDidFinishLaunching());
  model.screenLog.load()->post("1) home CH: 6");
  eng::Director::getInstance()->stepFrame(1.f / 60);
  EXPECT_EQ(app.screenLog()->lineCount(), 1u);
}

TEST_F(StartupTest, MinimiseSavesSlotZeroAndRestoreResumes) {
  AppDelegate app(options());
  ASSERT_TRUE(app.applicationDidFinishLaunching());
  eng::Director* d = eng::Director::getInstance();
  d->stepFrame(1.f / 60);
  model.graticule = 7;
  model.common.spectrumMode = 0;

  app.applicationDidEnterBackground();
  EXPECT_EQ(storedInteger("config0.graticule"), 7);
  EXPECT_EQ(storedBlob("config0.common_settings")[11], 0) << "spectrumMode at byte 11";
  EXPECT_TRUE(model.runtime.connectionsBlocked);
  EXPECT_FALSE(d->isAnimating());
  const uint64_t frames = d->getTotalFrames();
  d->stepFrame(1.f / 60);
  EXPECT_EQ(d->getTotalFrames(), frames) << "nothing is drawn in the background";

  app.applicationWillEnterForeground();
  EXPECT_TRUE(d->isAnimating());
  EXPECT_FALSE(model.runtime.connectionsBlocked);
  d->stepFrame(1.f / 60);
  EXPECT_EQ(d->getTotalFrames(), frames + 1);
}

TEST_F(StartupTest, ClosingTheWindowSavesSlotZero) {
  AppDelegate app(options());
  // Half a second into the run, change a setting and close the window the way the window
  // system does.
  eng::Director::getInstance()->getScheduler()->schedule(
      [this](float) {
        model.graticule = 9;
        SDL_Event quit{};
        quit.type = SDL_QUIT;
        SDL_PushEvent(&quit);
      },
      nullptr, 0, 0, 0.5f, false, "close");
  EXPECT_EQ(app.run(), 0);
  EXPECT_EQ(storedInteger("config0.graticule"), 9);
}

TEST_F(StartupTest, SettingsOfTheLastRunAreLoadedAtTheNextStart) {
  {
    AnalyzerModel previous;
    previous.spectrum.displayMode = 1;
    previous.graticule = 12;
    ASSERT_TRUE(saveConfiguration(previous, 0, store));
  }
  AppDelegate app(options());
  ASSERT_TRUE(app.applicationDidFinishLaunching());
  EXPECT_EQ(int32_t(model.graticule), 12);
  eng::Director::getInstance()->stepFrame(1.f / 60);
  ASSERT_TRUE(app.scene()->grid());
  // 12 sets bits 2 (minor ticks) and 3 (major grid) only.
  EXPECT_FALSE(app.scene()->grid()->getSwitch(GridLayer::CROSSHAIR));
  EXPECT_FALSE(app.scene()->grid()->getSwitch(GridLayer::MAJOR_TICKS));
  EXPECT_TRUE(app.scene()->grid()->getSwitch(GridLayer::MINOR_TICKS));
  EXPECT_TRUE(app.scene()->grid()->getSwitch(GridLayer::MAJOR_GRID));
  EXPECT_TRUE(app.scene()->overlay()->waterfall());
}

}  // namespace

namespace {

TEST_F(StartupTest, WithoutAnAccessoryTheDemoFeedsTheModel) {
  if (!Acquisition::available()) GTEST_SKIP() << "this build has no USB link or acquisition pipeline";
  AppDelegate::Options o = options();
  o.startAcquisition = true;
  o.clock = &eng::systemClock();
  AppDelegate app(o);
  ASSERT_TRUE(app.applicationDidFinishLaunching());
  ASSERT_TRUE(app.hasAcquisition());
  // The controller thread plays the recordings of demoHardware on its 100 ms cycle.
  bool swept = false;
  for (int i = 0; i < 300 && !swept; ++i) {
    eng::Director::getInstance()->stepFrame(1.f / 60);
    usleep(10000);
    ModelLock lock(model, LOCK_SPECTRUM);
    swept = !model.band24.sweepHistory.empty();
  }
  EXPECT_TRUE(swept) << "no sweep within 3 s of demo playback";
  EXPECT_FALSE(model.isConnected());
  EXPECT_NE(model.deviceInfo()->generationCode, 0) << "the demo's discover response was decoded";
}

}  // namespace

namespace {

// Records what the application asks of the link.
struct RecordingAcquisition : Acquisition {
  explicit RecordingAcquisition(std::vector<bool>& calls) : calls_(calls) {}
  void setLinkPaused(bool paused) override { calls_.push_back(paused); }
  std::vector<bool>& calls_;
};

TEST_F(StartupTest, BackgroundReleasesAConnectedAccessoryAndForegroundLetsTheLinkLookAgain) {
  std::vector<bool> calls;
  AppDelegate::Options o = options();
  o.startAcquisition = true;
  o.acquisitionFactory = [&calls](AnalyzerModel&, eng::Clock&) {
    return std::unique_ptr<Acquisition>(new RecordingAcquisition(calls));
  };
  AppDelegate app(o);
  ASSERT_TRUE(app.applicationDidFinishLaunching());
  ASSERT_TRUE(app.hasAcquisition());

  model.setConnected(true);
  app.applicationDidEnterBackground();
  EXPECT_EQ(calls, (std::vector<bool>{true})) << "the accessory is released";
  EXPECT_TRUE(model.runtime.connectionsBlocked) << "and none is taken while in the background";
  app.applicationWillEnterForeground();
  EXPECT_EQ(calls, (std::vector<bool>{true, false}));
  EXPECT_FALSE(model.runtime.connectionsBlocked);

  calls.clear();
  model.setConnected(false);
  app.applicationDidEnterBackground();
  EXPECT_TRUE(calls.empty()) << "nothing to release without an accessory";
  EXPECT_TRUE(model.runtime.connectionsBlocked);
  app.applicationWillEnterForeground();
  EXPECT_EQ(calls, (std::vector<bool>{false}));
}

}  // namespace
