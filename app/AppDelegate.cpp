#include "app/AppDelegate.h"

#include <cstdio>

#include "core/AnalyzerModel.h"
#include "core/LockOrder.h"
#include "core/persistence/SettingsPersistence.h"
#include "display/DisplayConventions.h"
#include "engine/Director.h"
#include "engine/GLView.h"
#include "engine/Touch.h"
#include "engine/services/FileUtils.h"

namespace tarvo {

AppDelegate::AppDelegate() : AppDelegate(Options{}) {}

AppDelegate::AppDelegate(const Options& options)
    : model_(options.model ? options.model : &AnalyzerModel::getInstance()),
      store_(options.store ? options.store : &eng::UserDefault::getInstance()),
      clock_(options.clock ? options.clock : &eng::systemClock()),
      options_(options),
      constructed_(std::chrono::steady_clock::now()) {}

AppDelegate::~AppDelegate() {
  // The threads first: the link thread and the decoders may still post to the on-screen log.
  acquisition_.reset();
  if (screenLog_) model_->screenLog.store(nullptr);
  eng::Director::getInstance()->reset();
  scene_.reset();
  screenLog_.reset();
}

void AppDelegate::initGLContextAttrs() {
  eng::GLContextAttrs attrs;
  attrs.redBits = attrs.greenBits = attrs.blueBits = attrs.alphaBits = 8;
  attrs.depthBits = 24;
  attrs.stencilBits = 8;
  eng::GLView::setGLContextAttrs(attrs);
}

bool AppDelegate::applicationDidFinishLaunching() {
  // 1.
  eng::Device::setKeepScreenOn(true);
  // 2.
  AnalyzerModel& model = *model_;
  loadConfiguration(model, 0, *store_);
  // 3.
  eng::Director* director = eng::Director::getInstance();
  if (!director->getOpenGLView()) {
    eng::GLView* view = eng::GLView::createWithRect(WINDOW_TITLE, eng::Rect(eng::Vec2(), screen::WINDOW_FRAME), 1.0f);
    if (!view) return false;
    director->setOpenGLView(view);
  }
  // 4.
  director->setAnimationInterval(ANIMATION_INTERVAL);
  director->setContentScaleFactor(1.0f);
  // 5.
  model.runtime.displaySizeClass = DESKTOP_SIZE_CLASS;
  // 6.
  eng::FileUtils::getInstance().setSearchPaths({"res/desktop/sd", "res", ""});
  // 7.
  MainScene* scene = MainScene::create(model, *clock_);
  if (!scene) return false;
  scene_ = scene;
  // 8.
  screenLog_ = ScreenLogLayer::create(*clock_);
  if (screenLog_) {
    screenLog_->log().setLevelMask(ScreenLog::STARTUP_MASK);
    screenLog_->log().setLifetimeMs(ScreenLog::STARTUP_LIFETIME_MS);
    screenLog_->setContentSize(director->getVisibleSize());
    screenLog_->setPosition(director->getVisibleOrigin());
    model.screenLog.store(&screenLog_->log());
  }
  // 9.
  director->runWithScene(scene);
  if (options_.reportFirstFrame) {
    const auto since = constructed_;
    director->requestCapture([since](const eng::Image&) {
      const auto ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - since).count();
      std::printf("Tarvo: first frame drawn %.0f ms after start\n", ms);
      std::fflush(stdout);
    });
  }
  // 10 to 12.
  if (options_.startAcquisition)
    acquisition_ = options_.acquisitionFactory ? options_.acquisitionFactory(model, *clock_)
                                               : Acquisition::start(model, *clock_);
  return true;
}

void AppDelegate::applicationDidEnterBackground() {
  eng::Director::getInstance()->stopAnimation();
  {
    ModelLock lock(*model_, LOCK_ALL);
    if (!saveConfiguration(*model_, 0, *store_))
      std::fprintf(stderr, "Tarvo: the working settings could not be saved\n");
  }
  if (model_->isConnected() && acquisition_) acquisition_->setLinkPaused(true);
  model_->runtime.connectionsBlocked = true;
}

void AppDelegate::applicationWillEnterForeground() {
  eng::Director::getInstance()->startAnimation();
  if (acquisition_) acquisition_->setLinkPaused(false);
  model_->runtime.connectionsBlocked = false;
}

}  // namespace tarvo
