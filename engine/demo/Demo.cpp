// An interactive check of the window and input path: the 960 × 640 "Tarvo" window with the
// turning acquisition wheels, a trail of every touch and a line per event on stdout:
//   TOUCH <began|moved|ended|cancelled> <id> <x> <y>     (points, origin bottom-left)
//   KEY <ESCAPE|SPACE|OTHER...>
//   WINDOW <background|foreground>
//   eng_input_demo [--seconds S] [--png file]   (prints READY after the first frame)
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "engine/Engine.h"

using namespace eng;

namespace {

class DemoApp : public Application {
 public:
  double seconds = 0;
  std::string png;

  bool applicationDidFinishLaunching() override {
    Director* d = Director::getInstance();
    if (!d->getOpenGLView()) d->setOpenGLView(GLView::createWithRect("Tarvo", Rect(0, 0, 960, 640), 1.0f));
    if (!d->getOpenGLView()) return false;
    d->setAnimationInterval(1.0 / 60);
    Scene* scene = Scene::create();
    const Size s = scene->getContentSize();
    scene->addChild(LayerColor::create(Color4B(18, 18, 22, 255), s.width, s.height), -1);
    if (Sprite* outer = Sprite::create("OuterWheel.png")) {
      outer->setPosition(s.width / 2, s.height / 2);
      outer->runAction(RepeatForever::create(RotateBy::create(1.5f, 360)));
      scene->addChild(outer, 59);
    }
    if (Sprite* inner = Sprite::create("InnerWheel.png")) {
      inner->setPosition(s.width / 2, s.height / 2);
      inner->runAction(RepeatForever::create(RotateBy::create(2.f, -360)));
      scene->addChild(inner, 59);
    }
    status_ = Label::createWithTTF("touch, drag, wheel, Escape, Space", Label::DEFAULT_FONT, 16);
    if (status_) {
      status_->setAnchorPoint(Vec2(0, 0));
      status_->setPosition(10, 10);
      scene->addChild(status_, 60);
    }
    trail_ = DrawNode::create(2);
    scene->addChild(trail_, 10);
    auto* l = EventListenerTouchOneByOne::create();
    l->onTouchBegan = [this](Touch* t) { report("began", t); return true; };
    l->onTouchMoved = [this](Touch* t) {
      trail_->drawLine(t->getPreviousLocation(), t->getLocation(), Color4F(1, 0.5f, 0, 1));
      report("moved", t);
    };
    l->onTouchEnded = [this](Touch* t) { report("ended", t); };
    l->onTouchCancelled = [this](Touch* t) { report("cancelled", t); };
    d->getEventDispatcher()->addEventListenerWithSceneGraphPriority(l, scene);
    auto* k = EventListenerKeyboard::create();
    k->onKeyPressed = [](KeyCode c) {
      const char* names[] = {"ESCAPE", "SPACE", "ENTER", "BACKSPACE", "LEFT", "RIGHT", "UP", "DOWN", "OTHER"};
      std::printf("KEY %s\n", names[int(c)]);
      std::fflush(stdout);
    };
    d->getEventDispatcher()->addKeyboardListener(k, scene);
    d->runWithScene(scene);
    scene->scheduleOnce([](float) { std::printf("READY\n"); std::fflush(stdout); }, 0.f, "ready");
    if (seconds > 0) {
      scene->scheduleOnce([this](float) {
        if (!png.empty()) utils::captureScreen(nullptr, png);
        Director::getInstance()->getScheduler()->schedule(
            [](float) { Director::getInstance()->getOpenGLView()->requestClose(); }, nullptr, 0.f, 0, 0.1f, false, "quit");
      }, float(seconds), "end");
    }
    return true;
  }
  void applicationDidEnterBackground() override {
    std::printf("WINDOW background\n");
    std::fflush(stdout);
    Director::getInstance()->stopAnimation();
  }
  void applicationWillEnterForeground() override {
    std::printf("WINDOW foreground\n");
    std::fflush(stdout);
    Director::getInstance()->startAnimation();
  }

 private:
  void report(const char* phase, Touch* t) {
    char buf[96];
    std::snprintf(buf, sizeof buf, "TOUCH %s %d %.0f %.0f", phase, t->getId(), t->getLocation().x, t->getLocation().y);
    std::printf("%s\n", buf);
    std::fflush(stdout);
    if (status_) status_->setString(buf);
  }
  Label* status_ = nullptr;
  DrawNode* trail_ = nullptr;
};

}  // namespace

int main(int argc, char** argv) {
  DemoApp app;
  for (int i = 1; i + 1 < argc; ++i) {
    if (!std::strcmp(argv[i], "--seconds")) app.seconds = std::atof(argv[++i]);
    else if (!std::strcmp(argv[i], "--png")) app.png = argv[++i];
  }
  return app.run();
}
