// Buttons, sliders, image views, texts and loading bars: looks, touch rules, sizes.
#include <vector>

#include "UiFixture.h"

using namespace eng;
using namespace eng::ui;
using uitest::UiTest;

namespace {

using Events = std::vector<TouchEventType>;

// A button of the test images at (200, 200), 60 × 40.
Button* makeButton(Scene* scene, Events* events) {
  Button* b = Button::create("btn_normal.png", "btn_pressed.png", "btn_disabled.png");
  b->setScale9Enabled(true);
  b->setContentSize(Size(60, 40));
  b->setPosition(200, 200);
  if (events) b->addTouchEventListener([events](Ref*, TouchEventType t) { events->push_back(t); });
  scene->addChild(b);
  return b;
}

Scale9Sprite* shownImage(Button* b) {
  Scale9Sprite* shown = nullptr;
  int visible = 0;
  for (Scale9Sprite* r : {b->getRendererNormal(), b->getRendererPressed(), b->getRendererDisabled()})
    if (r && r->isVisible()) shown = r, ++visible;
  EXPECT_EQ(visible, 1) << "exactly one image shows";
  return shown;
}

}  // namespace

TEST_F(UiTest, ButtonLookFollowsBrightHighlightAndPress) {
  struct Row {
    const char* name;
    bool bright, highlighted, pressed;
    Button::Look look;
  };
  const Row rows[] = {
      {"normal", true, false, false, Button::Look::NORMAL},
      {"highlighted", true, true, false, Button::Look::PRESSED},
      {"pressed", true, false, true, Button::Look::PRESSED},
      {"not bright wins over highlight", false, true, false, Button::Look::DISABLED},
      {"not bright wins over press", false, false, true, Button::Look::DISABLED},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    Button* b = makeButton(scene, nullptr);
    b->setBright(r.bright);
    b->setHighlighted(r.highlighted);
    if (r.pressed) touches().touchesBegan(0, Vec2(200, 200));
    EXPECT_EQ(b->getLook(), r.look);
    Scale9Sprite* expected = r.look == Button::Look::NORMAL    ? b->getRendererNormal()
                             : r.look == Button::Look::PRESSED ? b->getRendererPressed()
                                                                : b->getRendererDisabled();
    EXPECT_EQ(shownImage(b), expected);
    if (r.pressed) touches().touchesEnded(0, Vec2(200, 200));
    b->removeFromParent();
  }
}

TEST_F(UiTest, ButtonWithoutPressedOrDisabledImageShowsTheNormalOne) {
  Button* b = Button::create("btn_normal.png");
  b->setPosition(100, 100);
  scene->addChild(b);
  b->setHighlighted(true);
  EXPECT_EQ(shownImage(b), b->getRendererNormal());
  b->setBright(false);
  EXPECT_EQ(shownImage(b), b->getRendererNormal());
}

TEST_F(UiTest, ButtonReportsEndedOnlyForAReleaseInside) {
  struct Row {
    const char* name;
    std::vector<Vec2> path;  // began, moves..., end
    Events expected;
  };
  using T = TouchEventType;
  const Row rows[] = {
      {"tap", {{200, 200}, {200, 200}}, {T::BEGAN, T::ENDED}},
      {"release outside", {{200, 200}, {260, 200}, {300, 200}}, {T::BEGAN, T::MOVED, T::CANCELED}},
      {"out and back in", {{200, 200}, {300, 200}, {205, 195}, {205, 195}}, {T::BEGAN, T::MOVED, T::MOVED, T::ENDED}},
      {"on the edge counts as inside", {{200, 200}, {230, 220}}, {T::BEGAN, T::ENDED}},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    Events events;
    Button* b = makeButton(scene, &events);
    touches().touchesBegan(0, r.path.front());
    for (size_t i = 1; i + 1 < r.path.size(); ++i) touches().touchesMoved(0, r.path[i]);
    touches().touchesEnded(0, r.path.back());
    EXPECT_EQ(events, r.expected);
    EXPECT_FALSE(b->isPressed());
    EXPECT_EQ(b->getLook(), Button::Look::NORMAL);
    b->removeFromParent();
  }
}

TEST_F(UiTest, ButtonShowsPressedOnlyWhileTheTouchIsInside) {
  Button* b = makeButton(scene, nullptr);
  touches().touchesBegan(0, Vec2(200, 200));
  EXPECT_EQ(b->getLook(), Button::Look::PRESSED);
  touches().touchesMoved(0, Vec2(400, 200));
  EXPECT_EQ(b->getLook(), Button::Look::NORMAL);
  touches().touchesMoved(0, Vec2(210, 210));
  EXPECT_EQ(b->getLook(), Button::Look::PRESSED);
  touches().touchesCancelled(0, Vec2(210, 210));
  EXPECT_EQ(b->getLook(), Button::Look::NORMAL);
}

TEST_F(UiTest, HighlightSetByTheHandlerOnEndedSticks) {
  // A menu-bar button shows itself highlighted from its ENDED handler: the press must be
  // cleared before the handler runs, not after.
  Button* b = makeButton(scene, nullptr);
  b->addTouchEventListener([b](Ref*, TouchEventType t) {
    if (t == TouchEventType::ENDED) b->setHighlighted(true);
  });
  tap(Vec2(200, 200));
  EXPECT_TRUE(b->isHighlighted());
  EXPECT_EQ(b->getLook(), Button::Look::PRESSED);
  // A selected button touched and dragged away keeps its selected look.
  touches().touchesBegan(0, Vec2(200, 200));
  touches().touchesMoved(0, Vec2(400, 400));
  touches().touchesEnded(0, Vec2(400, 400));
  EXPECT_EQ(b->getLook(), Button::Look::PRESSED);
}

TEST_F(UiTest, DisabledOrHiddenButtonDoesNotClaimAndEnabledOneSwallows) {
  int behind = 0;
  auto* back = EventListenerTouchOneByOne::create();
  back->onTouchBegan = [&](Touch*) {
    ++behind;
    return true;
  };
  Node* holder = Node::create();
  scene->addChild(holder, -1);
  touches().addEventListenerWithSceneGraphPriority(back, holder);

  Events events;
  Button* b = makeButton(scene, &events);
  tap(Vec2(200, 200));
  EXPECT_EQ(behind, 0) << "the button swallows";
  EXPECT_EQ(events.size(), 2u);

  b->setEnabled(false);
  tap(Vec2(200, 200));
  EXPECT_EQ(behind, 1) << "a disabled button lets the touch through";
  EXPECT_EQ(events.size(), 2u);

  b->setEnabled(true);
  b->setVisible(false);
  tap(Vec2(200, 200));
  EXPECT_EQ(behind, 2) << "a hidden button lets the touch through";

  b->setVisible(true);
  b->setSwallowTouches(false);
  tap(Vec2(200, 200));
  EXPECT_EQ(behind, 3) << "without swallowing both hear the touch";
  EXPECT_EQ(events.size(), 4u);
}

TEST_F(UiTest, ButtonOutsideItsClippingParentDoesNotClaim) {
  Layout* clip = Layout::create();
  clip->setClippingEnabled(true);
  clip->setContentSize(Size(100, 100));
  clip->setPosition(0, 0);
  scene->addChild(clip);
  Events events;
  Button* b = Button::create("btn_normal.png");
  b->setContentSize(Size(60, 40));
  b->setPosition(100, 50);  // spans x 70 … 130; the clip ends at 100
  b->addTouchEventListener([&](Ref*, TouchEventType t) { events.push_back(t); });
  clip->addChild(b);
  tap(Vec2(120, 50));
  EXPECT_TRUE(events.empty());
  tap(Vec2(90, 50));
  EXPECT_EQ(events, (Events{TouchEventType::BEGAN, TouchEventType::ENDED}));
}

TEST_F(UiTest, ButtonSizeIsTheImageUntilSetAndStaysSetAcrossTextureChanges) {
  Button* b = Button::create("btn_normal.png", "btn_pressed.png");
  EXPECT_EQ(b->getContentSize(), uitest::kButtonImage);
  b->setContentSize(Size(120, 33));
  b->loadTextures("panel.png", "btn_pressed.png", "");
  EXPECT_EQ(b->getContentSize(), Size(120, 33));
  EXPECT_EQ(b->getRendererNormal()->getContentSize(), Size(120, 33)) << "images stretch to the button";
  b->ignoreContentAdaptWithSize(true);
  EXPECT_EQ(b->getContentSize(), uitest::kPanelImage);
}

TEST_F(UiTest, ButtonTitleIsCentredAndATextOnlyButtonTakesItsSize) {
  Button* b = Button::create("btn_normal.png");
  b->setTitleFontName("fonts/roboto/Roboto-Bold.ttf");
  b->setTitleFontSize(16);
  b->setTitleText("CLEAR TABLE");
  b->setTitleColor(Color3B(127, 127, 127));
  Label* title = b->getTitleRenderer();
  ASSERT_NE(title, nullptr);
  const Size t = b->getTitleSize();
  EXPECT_GT(t.width, 50);
  EXPECT_GT(t.height, 10);
  // The pattern the tables and menus use: the button is its title plus padding.
  b->setScale9Enabled(true);
  b->setContentSize(Size(t.width + 10, t.height + 16));
  EXPECT_EQ(title->getPosition(), Vec2((t.width + 10) / 2, (t.height + 16) / 2));
  EXPECT_EQ(title->getTextColor(), Color4B(127, 127, 127, 255));

  Button* header = Button::create();
  header->setTitleText("RSSI");
  header->setTitleFontSize(16);
  EXPECT_EQ(header->getContentSize(), header->getTitleSize());
  EXPECT_GT(header->getContentSize().width, 0);
}

TEST_F(UiTest, ButtonWithMissingImagesIsStillAButton) {
  Events events;
  Button* b = Button::create("no-such-image.png");
  ASSERT_NE(b, nullptr);
  b->setTitleText("OK");
  b->setPosition(300, 300);
  b->addTouchEventListener([&](Ref*, TouchEventType t) { events.push_back(t); });
  scene->addChild(b);
  tap(Vec2(300, 300));
  EXPECT_EQ(events, (Events{TouchEventType::BEGAN, TouchEventType::ENDED}));
}

// --- slider ----------------------------------------------------------------------------------

namespace {
// A slider 200 wide with its left end at x = 100, centred on y = 100.
Slider* makeSlider(Scene* scene, std::vector<int>* changes) {
  Slider* s = Slider::create("bar.png", "ball.png", "progress.png");
  s->setScale9Enabled(true);
  s->setContentSize(Size(200, uitest::kBarImage.height));
  s->setPosition(200, 100);
  s->setPercent(50);
  if (changes)
    s->addEventListener([s, changes](Ref*, Slider::EventType t) {
      if (t == Slider::EventType::ON_PERCENTAGE_CHANGED) changes->push_back(s->getPercent());
    });
  scene->addChild(s);
  return s;
}
}  // namespace

TEST_F(UiTest, SliderPercentFollowsTheDrag) {
  struct Row {
    const char* name;
    float fromX, toX;
    int percent;
  };
  const Row rows[] = {
      {"ball dragged to a quarter", 200, 150, 25},
      {"to the left end", 200, 100, 0},
      {"past the right end clamps", 200, 500, 100},
      {"from the bar", 120, 280, 90},
      {"rounds to the nearest percent", 200, 200.9f, 50},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    std::vector<int> changes;
    Slider* s = makeSlider(scene, &changes);
    drag(Vec2(r.fromX, 100), Vec2(r.toX, 100), 5);
    EXPECT_EQ(s->getPercent(), r.percent);
    if (r.percent != 50) {
      ASSERT_FALSE(changes.empty());
      EXPECT_EQ(changes.back(), r.percent);
    }
    for (size_t i = 1; i < changes.size(); ++i) EXPECT_NE(changes[i], changes[i - 1]) << "only changes are reported";
    // The progress bar covers the left part, the ball sits at the percent.
    EXPECT_FLOAT_EQ(s->getProgressBarRenderer()->getContentSize().width, 2.f * r.percent);
    EXPECT_FLOAT_EQ(s->getBallRenderer()->getPositionX(), 2.f * r.percent);
    s->removeFromParent();
  }
}

TEST_F(UiTest, SliderReportsEveryStepOfADragAndNothingForSetPercent) {
  std::vector<int> changes;
  Slider* s = makeSlider(scene, &changes);
  s->setPercent(10);
  EXPECT_TRUE(changes.empty());
  drag(Vec2(120, 100), Vec2(200, 100), 4);  // 10 % → 50 % in steps of 10
  EXPECT_EQ(changes, (std::vector<int>{20, 30, 40, 50}));
}

TEST_F(UiTest, DisabledSliderIgnoresTouches) {
  std::vector<int> changes;
  Slider* s = makeSlider(scene, &changes);
  s->setEnabled(false);
  s->setBright(false);
  s->setColor(Color3B(64, 64, 64));
  drag(Vec2(200, 100), Vec2(280, 100));
  EXPECT_EQ(s->getPercent(), 50);
  EXPECT_TRUE(changes.empty());
  EXPECT_EQ(s->getBarRenderer()->getDisplayedColor(), Color3B(64, 64, 64)) << "the colour reaches the bar";
}

// --- image view, text, loading bar -----------------------------------------------------------

TEST_F(UiTest, ImageViewTakesTheImageSizeOrTheSetOne) {
  ImageView* v = ImageView::create("panel.png");
  EXPECT_EQ(v->getContentSize(), uitest::kPanelImage);
  v->setScale9Enabled(true);
  v->setCapInsets(Rect(4, 4, 22, 22));
  v->setContentSize(Size(300, 80));
  ASSERT_NE(v->getVirtualRenderer(), nullptr);
  EXPECT_EQ(v->getVirtualRenderer()->getContentSize(), Size(300, 80));
  EXPECT_EQ(v->getCapInsets(), Rect(4, 4, 22, 22));
  EXPECT_FLOAT_EQ(v->getVirtualRenderer()->getInsetRight(), 4);

  ImageView* missing = ImageView::create("not-there.png");
  ASSERT_NE(missing, nullptr);
  EXPECT_EQ(missing->getContentSize(), Size());
  EXPECT_EQ(missing->getVirtualRenderer(), nullptr);
}

TEST_F(UiTest, ImageViewOpacityCascadesToItsImage) {
  ImageView* v = ImageView::create("panel.png");
  scene->addChild(v);
  v->setOpacity(64);
  EXPECT_EQ(v->getVirtualRenderer()->getDisplayedOpacity(), 64);
}

TEST_F(UiTest, TextAdaptsToItsStringUntilGivenAFixedWidth) {
  Text* t = Text::create("  30.0s", "fonts/roboto/Roboto-Bold.ttf", 16);
  ASSERT_NE(t->getVirtualRenderer(), nullptr);
  const float w = t->getContentSize().width;
  EXPECT_GT(w, 20);
  t->setString("  30.0s  30.0s");
  EXPECT_GT(t->getContentSize().width, w * 1.5f);
  // Fixed width: stops adapting, keeps the width for any string.
  t->ignoreContentAdaptWithSize(false);
  t->setContentSize(Size(w, t->getContentSize().height));
  t->setTextHorizontalAlignment(TextHAlignment::RIGHT);
  t->setString("0.1s");
  EXPECT_FLOAT_EQ(t->getContentSize().width, w);
  EXPECT_FLOAT_EQ(t->getVirtualRenderer()->getContentSize().width, w);
  t->ignoreContentAdaptWithSize(true);
  EXPECT_LT(t->getContentSize().width, w);
}

TEST_F(UiTest, LoadingBarFillsItsPercentFromTheLeft) {
  LoadingBar* bar = LoadingBar::create("bar.png", 30);
  bar->setScale9Enabled(true);
  bar->setContentSize(Size(150, 10));
  ASSERT_NE(bar->getVirtualRenderer(), nullptr);
  EXPECT_FLOAT_EQ(bar->getVirtualRenderer()->getContentSize().width, 45);
  EXPECT_FLOAT_EQ(bar->getVirtualRenderer()->getBoundingBox().getMinX(), 0);
  bar->setPercent(75);
  EXPECT_FLOAT_EQ(bar->getVirtualRenderer()->getContentSize().width, 112.5f);
  bar->setPercent(180);
  EXPECT_FLOAT_EQ(bar->getPercent(), 100);
  bar->setPercent(-5);
  EXPECT_FALSE(bar->getVirtualRenderer()->isVisible()) << "an empty bar draws nothing";
  bar->setDirection(LoadingBar::Direction::RIGHT);
  bar->setPercent(20);
  EXPECT_FLOAT_EQ(bar->getVirtualRenderer()->getBoundingBox().getMaxX(), 150);
}
