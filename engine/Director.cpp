#include "engine/Director.h"

#include <chrono>
#include <thread>

#include "engine/Actions.h"
#include "engine/GLView.h"
#include "engine/Image.h"
#include "engine/Node.h"
#include "engine/Renderer.h"
#include "engine/Scheduler.h"
#include "engine/Touch.h"

namespace eng {

Director* Director::getInstance() {
  // Never destroyed: nodes released during static destruction still reach it.
  static Director* d = new Director();
  return d;
}

Director::Director()
    : scheduler_(std::make_unique<Scheduler>()),
      actions_(std::make_unique<ActionManager>()),
      dispatcher_(std::make_unique<EventDispatcher>()),
      renderer_(std::make_unique<Renderer>()) {
  now_ = [] {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
  };
  updateProjection();
}

void Director::initHeadless(Size size) {
  view_.reset();
  renderer_->setExecuting(false);
  setDesignSize(size);
}

void Director::setOpenGLView(GLView* view) {
  view_ = view;
  renderer_->setExecuting(view != nullptr);
  if (view) setDesignSize(view->getFrameSize());
}

bool Director::hasGLContext() const { return view_ != nullptr; }

void Director::setDesignSize(Size s) {
  if (s.width <= 0 || s.height <= 0) return;
  designSize_ = s;
  updateProjection();
}

void Director::updateProjection() {
  projection_ = Mat4::ortho(0, designSize_.width, 0, designSize_.height, -1024, 1024);
  renderer_->setProjection(projection_);
  renderer_->setViewSize(designSize_);
}

void Director::runWithScene(Scene* scene) {
  assert(!scene_ && "runWithScene runs the first scene; use replaceScene afterwards");
  replaceScene(scene);
}

void Director::replaceScene(Scene* scene) {
  if (scene_ == scene) return;
  dispatcher_->cancelAllTouches();
  if (scene_) {
    RefPtr<Scene> old = scene_;
    scene_.reset();
    old->onExit();
    old->cleanup();
  }
  scene_ = scene;
  if (scene_) scene_->onEnter();
}

void Director::requestCapture(std::function<void(const Image&)> onCaptured) {
  captures_.push_back(std::move(onCaptured));
}

void Director::stepFrame(float dt) {
  if (view_) view_->pollEvents();
  if (!animating_) {
    AutoreleasePool::instance().clear();
    return;
  }
  deltaTime_ = dt < 0 ? 0 : dt;
  ++frames_;
  actions_->update(deltaTime_);
  scheduler_->update(deltaTime_);
  if (view_) view_->beginFrame();
  if (scene_) {
    RefPtr<Scene> s = scene_;
    s->visit(*renderer_, Mat4::identity(), 0);
  }
  renderer_->render();
  if (!captures_.empty()) {
    auto pending = std::move(captures_);
    captures_.clear();
    Image frame;
    if (view_ && view_->readPixels(Rect(0, 0, designSize_.width, designSize_.height), frame)) {
      for (auto& cb : pending) cb(frame);
    } else {
      for (auto& cb : pending) cb(Image{});
    }
  }
  if (view_) view_->swapBuffers();
  AutoreleasePool::instance().clear();
}

void Director::mainLoop() {
  double last = now_();
  while (view_ && !view_->windowShouldClose()) {
    const double start = now_();
    const double dt = start - last;
    last = start;
    // A stall (debugger, suspended machine) must not throw the animations forward.
    stepFrame(static_cast<float>(dt > 0.25 ? interval_ : dt));
    const double spent = now_() - start;
    const double rest = (animating_ ? interval_ : 0.05) - spent;
    if (rest > 0) std::this_thread::sleep_for(std::chrono::duration<double>(rest));
  }
}

void Director::reset(bool keepView) {
  dispatcher_->cancelAllTouches();
  if (scene_) {
    RefPtr<Scene> old = scene_;
    scene_.reset();
    old->onExit();
    old->cleanup();
  }
  AutoreleasePool::instance().clear();
  actions_->removeAllActions();
  scheduler_->unscheduleAll();
  dispatcher_->removeAllEventListeners();
  renderer_->clearQueue();
  captures_.clear();
  animating_ = true;
  frames_ = 0;
  if (view_ && !keepView) {
    view_.reset();
    renderer_->setExecuting(false);
  }
}

}  // namespace eng
