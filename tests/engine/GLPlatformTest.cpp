// The SDL window: input mapping (mouse = touch 0, wheel = pinch step, keys), resize, and the
// application's background/foreground/close hooks. Events are injected into SDL's queue.
#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/Engine.h"

using namespace eng;

namespace {

struct Logged {
  int id;
  char phase;
  Vec2 at;
};

class PlatformGLTest : public ::testing::Test {
 protected:
  void SetUp() override { FileUtils::getInstance().setResourceRoot(TARVO_BINARY_DIR); }
  void TearDown() override { Director::getInstance()->reset(); }

  // A scene with one full-window listener that claims everything and logs it.
  void listenEverywhere() {
    Scene* s = Scene::create();
    Director::getInstance()->runWithScene(s);
    auto* l = EventListenerTouchOneByOne::create();
    l->onTouchBegan = [this](Touch* t) { log.push_back({t->getId(), 'b', t->getLocation()}); return true; };
    l->onTouchMoved = [this](Touch* t) { log.push_back({t->getId(), 'm', t->getLocation()}); };
    l->onTouchEnded = [this](Touch* t) { log.push_back({t->getId(), 'e', t->getLocation()}); };
    Director::getInstance()->getEventDispatcher()->addEventListenerWithSceneGraphPriority(l, s);
    auto* k = EventListenerKeyboard::create();
    k->onKeyPressed = [this](KeyCode c) { keys.push_back(c); };
    Director::getInstance()->getEventDispatcher()->addKeyboardListener(k);
  }
  static void push(SDL_Event e) { ASSERT_EQ(SDL_PushEvent(&e), 1) << SDL_GetError(); }
  static SDL_Event mouse(Uint32 type, int x, int y) {
    SDL_Event e{};
    e.type = type;
    if (type == SDL_MOUSEMOTION) {
      e.motion.x = x;
      e.motion.y = y;
      e.motion.state = SDL_BUTTON_LMASK;
    } else {
      e.button.button = SDL_BUTTON_LEFT;
      e.button.x = x;
      e.button.y = y;
    }
    return e;
  }
  std::vector<Logged> log;
  std::vector<KeyCode> keys;
};

TEST_F(PlatformGLTest, MouseIsTouchZeroWithTheOriginAtTheBottomLeft) {
  RefPtr<GLView> view = GLView::createOffscreen(Size(960, 640));
  ASSERT_TRUE(view);
  Director::getInstance()->setOpenGLView(view.get());
  listenEverywhere();
  push(mouse(SDL_MOUSEBUTTONDOWN, 100, 40));
  push(mouse(SDL_MOUSEMOTION, 150, 60));
  push(mouse(SDL_MOUSEBUTTONUP, 150, 60));
  Director::getInstance()->stepFrame(1.f / 60);
  ASSERT_EQ(log.size(), 3u);
  EXPECT_EQ(log[0].id, 0);
  EXPECT_EQ(log[0].phase, 'b');
  EXPECT_EQ(log[0].at, Vec2(100, 600));
  EXPECT_EQ(log[1].phase, 'm');
  EXPECT_EQ(log[1].at, Vec2(150, 580));
  EXPECT_EQ(log[2].phase, 'e');
}

TEST_F(PlatformGLTest, WheelStepIsOnePinchAboutThePointer) {
  RefPtr<GLView> view = GLView::createOffscreen(Size(960, 640));
  ASSERT_TRUE(view);
  Director::getInstance()->setOpenGLView(view.get());
  listenEverywhere();
  SDL_Event up{};
  up.type = SDL_MOUSEWHEEL;
  up.wheel.y = 1;
  up.wheel.mouseX = 480;
  up.wheel.mouseY = 320;
  push(up);
  Director::getInstance()->stepFrame(1.f / 60);
  // Two touches begin 40 apart vertically, both move (spreading to 160), both end.
  ASSERT_EQ(log.size(), 6u);
  EXPECT_EQ(log[0].phase, 'b');
  EXPECT_EQ(log[1].phase, 'b');
  EXPECT_NE(log[0].id, log[1].id);
  EXPECT_EQ(log[0].at, Vec2(480, 300));
  EXPECT_EQ(log[1].at, Vec2(480, 340));
  EXPECT_EQ(log[2].at, Vec2(480, 240));
  EXPECT_EQ(log[3].at, Vec2(480, 400));
  EXPECT_EQ(log[4].phase, 'e');
  log.clear();
  // Shift + wheel down: a horizontal pinch that closes.
  SDL_SetModState(KMOD_LSHIFT);
  up.wheel.y = -1;
  push(up);
  Director::getInstance()->stepFrame(1.f / 60);
  SDL_SetModState(KMOD_NONE);
  ASSERT_EQ(log.size(), 6u);
  EXPECT_EQ(log[0].at, Vec2(400, 320));
  EXPECT_EQ(log[3].at, Vec2(500, 320));
}

TEST_F(PlatformGLTest, EscapeAndSpaceReachKeyboardListeners) {
  RefPtr<GLView> view = GLView::createOffscreen(Size(960, 640));
  ASSERT_TRUE(view);
  Director::getInstance()->setOpenGLView(view.get());
  listenEverywhere();
  for (SDL_Keycode k : {SDLK_ESCAPE, SDLK_SPACE}) {
    SDL_Event e{};
    e.type = SDL_KEYDOWN;
    e.key.keysym.sym = k;
    push(e);
  }
  Director::getInstance()->stepFrame(1.f / 60);
  EXPECT_EQ(keys, (std::vector<KeyCode>{KeyCode::ESCAPE, KeyCode::SPACE}));
}

TEST_F(PlatformGLTest, WindowResizeBecomesTheDesignSize) {
  RefPtr<GLView> view = GLView::createWithRect("Tarvo", Rect(0, 0, 960, 640), 1.0f);
  ASSERT_TRUE(view);
  Director* d = Director::getInstance();
  d->setOpenGLView(view.get());
  EXPECT_EQ(d->getVisibleSize(), Size(960, 640));
  EXPECT_STREQ(SDL_GetWindowTitle(view->sdlWindow()), "Tarvo");
  d->runWithScene(Scene::create());
  SDL_SetWindowSize(view->sdlWindow(), 800, 500);
  for (int i = 0; i < 100 && d->getVisibleSize() != Size(800, 500); ++i) {
    d->stepFrame(1.f / 60);
    SDL_Delay(10);
  }
  EXPECT_EQ(d->getVisibleSize(), Size(800, 500));
  EXPECT_EQ(view->getFrameSize(), Size(800, 500));
}

class HookApp : public Application {
 public:
  std::vector<std::string> hooks;
  bool applicationDidFinishLaunching() override {
    hooks.push_back("launch");
    Director* d = Director::getInstance();
    if (!d->getOpenGLView()) d->setOpenGLView(GLView::createWithRect("Tarvo", Rect(0, 0, 960, 640), 1.0f));
    if (!d->getOpenGLView()) return false;
    d->setAnimationInterval(1.0 / 60);
    d->runWithScene(Scene::create());
    const Uint8 events[] = {SDL_WINDOWEVENT_MINIMIZED, SDL_WINDOWEVENT_RESTORED};
    for (Uint8 w : events) {
      SDL_Event e{};
      e.type = SDL_WINDOWEVENT;
      e.window.event = w;
      SDL_PushEvent(&e);
    }
    SDL_Event quit{};
    quit.type = SDL_QUIT;
    SDL_PushEvent(&quit);
    return true;
  }
  void applicationDidEnterBackground() override {
    hooks.push_back("background");
    Director::getInstance()->stopAnimation();
  }
  void applicationWillEnterForeground() override {
    hooks.push_back("foreground");
    Director::getInstance()->startAnimation();
  }
};

TEST_F(PlatformGLTest, MinimiseRestoreAndCloseRunTheHooksThenRunReturns) {
  HookApp app;
  EXPECT_EQ(Application::getInstance(), &app);
  EXPECT_EQ(app.run(), 0);
  EXPECT_EQ(app.hooks, (std::vector<std::string>{"launch", "background", "foreground", "background"}))
      << "closing saves like going to the background";
}

class ClosingApp : public Application {
 public:
  std::vector<std::string> hooks;
  bool applicationDidFinishLaunching() override {
    hooks.push_back("launch");
    Director* d = Director::getInstance();
    d->setOpenGLView(GLView::createOffscreen(Size(960, 640)));
    if (!d->getOpenGLView()) return false;
    d->runWithScene(Scene::create());
    d->getRunningScene()->scheduleOnce([](float) { Director::getInstance()->getOpenGLView()->requestClose(); }, 0.05f,
                                       "close");
    return true;
  }
  void applicationDidEnterBackground() override { hooks.push_back("background"); }
  void applicationWillEnterForeground() override { hooks.push_back("foreground"); }
};

TEST_F(PlatformGLTest, AProgrammaticCloseStillRunsTheBackgroundHandlerOnce) {
  ClosingApp app;
  EXPECT_EQ(app.run(), 0);
  EXPECT_EQ(app.hooks, (std::vector<std::string>{"launch", "background"}));
}

}  // namespace
