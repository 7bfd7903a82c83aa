// The director runs the frame loop: one running scene, the scheduler, the action manager, the
// event dispatcher and the renderer.
//
// A frame (stepFrame) is, in order: the platform's input (dispatched at once), the actions,
// the per-frame updates and timers (by priority), the visit of the running scene (draw commands
// recorded), their execution, pending screen captures, the buffer swap, and the draining of the
// autorelease pool. While the animation is stopped (minimised window) only input runs.
//
// Headless use (tests without a display): initHeadless(size) gives a director without a GL view;
// frames run the same way, commands are recorded but not executed. With a view (GLView), the
// view's context is current and commands are executed.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/Ref.h"
#include "engine/Types.h"

namespace eng {

class Scene;
class Scheduler;
class ActionManager;
class EventDispatcher;
class Renderer;
class GLView;
struct Image;

class Director {
 public:
  static Director* getInstance();

  // A director without a window: the design size is `size`, nothing touches OpenGL.
  void initHeadless(Size size);
  // Takes a reference to the view; its frame size becomes the design size.
  void setOpenGLView(GLView* view);
  GLView* getOpenGLView() const { return view_.get(); }
  bool hasGLContext() const;

  void setAnimationInterval(double seconds) { interval_ = seconds; }
  double getAnimationInterval() const { return interval_; }
  // Only 1.0 is meaningful on the desktop (one point = one pixel); kept for the start-up sequence.
  void setContentScaleFactor(float f) { contentScale_ = f; }
  float getContentScaleFactor() const { return contentScale_; }

  void runWithScene(Scene* scene);
  void replaceScene(Scene* scene);
  Scene* getRunningScene() const { return scene_.get(); }

  void startAnimation() { animating_ = true; }
  void stopAnimation() { animating_ = false; }
  bool isAnimating() const { return animating_; }

  // Design size in points = the window size (exact fit); visible origin (0, 0).
  Size getWinSize() const { return designSize_; }
  Size getVisibleSize() const { return designSize_; }
  Vec2 getVisibleOrigin() const { return {}; }
  // A new window size (resize): the design size follows.
  void setDesignSize(Size s);
  float getDeltaTime() const { return deltaTime_; }
  uint64_t getTotalFrames() const { return frames_; }

  Scheduler* getScheduler() const { return scheduler_.get(); }
  ActionManager* getActionManager() const { return actions_.get(); }
  EventDispatcher* getEventDispatcher() const { return dispatcher_.get(); }
  Renderer* getRenderer() const { return renderer_.get(); }
  const Mat4& getProjection() const { return projection_; }

  // One frame with a fixed dt, no sleeping.
  void stepFrame(float dt);
  // The frame loop until the view asks to close: measured dt, paced to the animation interval.
  void mainLoop();
  // Seconds from a monotonic source; replaceable for tests.
  void setTimeSource(std::function<double()> now) { now_ = std::move(now); }

  // After the next rendered frame, reads the frame back and hands it over (GL only).
  void requestCapture(std::function<void(const Image&)> onCaptured);

  // Ends the running scene, drops every scheduled item, action and listener, and (unless
  // keepView) the view. Tests call it between cases; the application at exit.
  void reset(bool keepView = false);

 private:
  Director();
  void updateProjection();

  std::unique_ptr<Scheduler> scheduler_;
  std::unique_ptr<ActionManager> actions_;
  std::unique_ptr<EventDispatcher> dispatcher_;
  std::unique_ptr<Renderer> renderer_;
  RefPtr<GLView> view_;
  RefPtr<Scene> scene_;
  Size designSize_{960, 640};
  Mat4 projection_;
  double interval_ = 1.0 / 60;
  float contentScale_ = 1;
  float deltaTime_ = 0;
  bool animating_ = true;
  uint64_t frames_ = 0;
  std::function<double()> now_;
  std::vector<std::function<void(const Image&)>> captures_;
};

}  // namespace eng
