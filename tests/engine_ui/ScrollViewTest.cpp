// Scroll views: drag offsets, ends, bounce, glide, percent scrolling, the event stream, child
// widgets, clipping, the scroll bar and the mouse wheel.
#include <algorithm>
#include <vector>

#include "UiFixture.h"

using namespace eng;
using namespace eng::ui;

namespace {

using E = ScrollView::EventType;
using Stream = std::vector<E>;

// Consecutive CONTAINER_MOVED events folded into one, so a stream reads as its phases.
Stream folded(const Stream& s) {
  Stream out;
  for (E e : s)
    if (out.empty() || !(e == E::CONTAINER_MOVED && out.back() == E::CONTAINER_MOVED)) out.push_back(e);
  return out;
}

// A vertical scroll view at (100, 100), 200 × 300, over 1000 points of content: the top shows
// at y = −700, the bottom at y = 0. Touch points inside it have x = 200 and y in 100 … 400.
class ScrollTest : public uitest::UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    sv = ScrollView::create();
    sv->setContentSize(Size(200, 300));
    sv->setPosition(100, 100);
    sv->setInnerContainerSize(Size(200, 1000));
    sv->setInertiaScrollEnabled(false);
    sv->addEventListener([this](Ref*, E e) { events.push_back(e); });
    scene->addChild(sv);
    frames();
  }
  float y() const { return sv->getInnerContainerPosition().y; }

  ScrollView* sv = nullptr;
  Stream events;
};

}  // namespace

TEST_F(ScrollTest, ContentStartsAtTheTopAndFollowsTheFinger) {
  EXPECT_FLOAT_EQ(y(), -700);
  EXPECT_FLOAT_EQ(sv->getScrolledPercentVertical(), 0);
  drag(Vec2(200, 150), Vec2(200, 250));  // finger up 100: content up 100
  EXPECT_FLOAT_EQ(y(), -600);
  drag(Vec2(200, 300), Vec2(200, 250));
  EXPECT_FLOAT_EQ(y(), -650);
  drag(Vec2(200, 390), Vec2(200, 110), 4, false);  // held beyond the top: stops at the end
  EXPECT_FLOAT_EQ(y(), -700);
  touches().touchesMoved(0, Vec2(150, 110));  // sideways travel does not move a vertical view
  touches().touchesEnded(0, Vec2(150, 110));
  EXPECT_FLOAT_EQ(y(), -700);
  EXPECT_FLOAT_EQ(sv->getInnerContainerPosition().x, 0);
  drag(Vec2(200, 110), Vec2(200, 1500), 8);  // far beyond the bottom
  EXPECT_FLOAT_EQ(y(), 0);
  EXPECT_FLOAT_EQ(sv->getScrolledPercentVertical(), 100);
}

TEST_F(ScrollTest, MovementBelowTheThresholdDoesNotScroll) {
  drag(Vec2(200, 200), Vec2(200, 200 + ScrollView::DRAG_THRESHOLD - 1), 2);
  EXPECT_FLOAT_EQ(y(), -700);
  EXPECT_TRUE(events.empty());
}

TEST_F(ScrollTest, PulledBeyondTheTopItFollowsAtHalfSpeedAndSpringsBack) {
  sv->setBounceEnabled(true);
  drag(Vec2(200, 350), Vec2(200, 250), 4, false);  // finger down 100 past the top
  EXPECT_FLOAT_EQ(y(), -750);
  touches().touchesEnded(0, Vec2(200, 250));
  frames(5);
  EXPECT_GT(y(), -750);
  EXPECT_LT(y(), -700);
  frames(20);  // the spring takes BOUNCE_BACK_SECONDS (0.3 s)
  EXPECT_FLOAT_EQ(y(), -700);
  EXPECT_FALSE(sv->isAutoScrolling());
  // And beyond the bottom: never further than half the view.
  sv->jumpToBottom();
  drag(Vec2(200, 110), Vec2(200, 1500), 8, false);
  EXPECT_FLOAT_EQ(y(), 150);
  touches().touchesEnded(0, Vec2(200, 1500));
  frames(30);
  EXPECT_FLOAT_EQ(y(), 0);
}

TEST_F(ScrollTest, EventStreamOfADragASpringAndAnAnimatedScroll) {
  sv->setBounceEnabled(true);
  drag(Vec2(200, 200), Vec2(200, 250));  // within range, no glide
  EXPECT_EQ(folded(events), (Stream{E::SCROLLING_BEGAN, E::CONTAINER_MOVED, E::SCROLLING_ENDED, E::AUTOSCROLL_ENDED}));

  events.clear();
  sv->jumpToTop();
  drag(Vec2(200, 300), Vec2(200, 200));  // beyond the top
  frames(30);
  EXPECT_EQ(folded(events), (Stream{E::CONTAINER_MOVED, E::SCROLLING_BEGAN, E::CONTAINER_MOVED, E::SCROLLING_ENDED,
                                    E::BOUNCE_TOP, E::CONTAINER_MOVED, E::AUTOSCROLL_ENDED}));
  EXPECT_EQ(static_cast<int>(E::CONTAINER_MOVED), 9);

  events.clear();
  sv->scrollToPercentVertical(40);
  frames(40);
  EXPECT_EQ(folded(events), (Stream{E::CONTAINER_MOVED, E::AUTOSCROLL_ENDED}));

  events.clear();
  tap(Vec2(200, 200));  // a tap moves nothing and says nothing
  sv->jumpToPercentVertical(10);
  EXPECT_EQ(events, (Stream{E::CONTAINER_MOVED}));
}

TEST_F(ScrollTest, AnimatedScrollToAPercentLandsOnItsTargetAtItsTime) {
  ASSERT_FLOAT_EQ(ScrollView::DEFAULT_AUTO_SCROLL_SECONDS, 0.5f);
  sv->scrollToPercentVertical(50);  // default duration, eased
  std::vector<float> ys;
  for (int i = 0; i < 3; ++i) {
    frames(1, 0.125f);
    ys.push_back(y());
  }
  EXPECT_TRUE(std::is_sorted(ys.begin(), ys.end()));
  EXPECT_GT(ys.front(), -700);
  EXPECT_LT(ys.back(), -350) << "not there before the time is up";
  EXPECT_GT(ys[0] - (-700), ys[2] - ys[1]) << "eased out: fast first, slow at the end";
  frames(1, 0.125f);
  EXPECT_FLOAT_EQ(y(), -350);
  EXPECT_FALSE(sv->isAutoScrolling());
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events.back(), E::AUTOSCROLL_ENDED);

  sv->scrollToPercentVertical(100, 0.25f, false);
  frames(1, 0.125f);
  EXPECT_FLOAT_EQ(y(), -175) << "linear without attenuation";
  frames(1, 0.125f);
  EXPECT_FLOAT_EQ(y(), 0);
  sv->scrollToPercentVertical(250, 0.1f);  // clamped
  frames(10);
  EXPECT_FLOAT_EQ(y(), 0);
}

TEST_F(ScrollTest, PercentOrientationAndJumps) {
  struct Row {
    float percent, y;
  };
  for (const Row& r : {Row{0, -700}, Row{25, -525}, Row{100, 0}, Row{-10, -700}}) {
    SCOPED_TRACE(r.percent);
    sv->jumpToPercentVertical(r.percent);
    EXPECT_FLOAT_EQ(y(), r.y);
    EXPECT_FLOAT_EQ(sv->getScrolledPercentVertical(), std::clamp(r.percent, 0.f, 100.f));
  }
}

TEST_F(ScrollTest, HorizontalViewScrollsAlongX) {
  sv->setDirection(ScrollView::Direction::HORIZONTAL);
  sv->setInnerContainerSize(Size(800, 300));
  EXPECT_FLOAT_EQ(sv->getMinContainerPosition().x, -600);
  EXPECT_FLOAT_EQ(sv->getInnerContainerPosition().x, 0) << "the left end first";
  drag(Vec2(250, 200), Vec2(150, 260));  // finger left 100 (and up, which does nothing)
  EXPECT_FLOAT_EQ(sv->getInnerContainerPosition().x, -100);
  EXPECT_FLOAT_EQ(y(), 0);
  sv->jumpToPercentHorizontal(50);
  EXPECT_FLOAT_EQ(sv->getInnerContainerPosition().x, -300);
  EXPECT_FLOAT_EQ(sv->getScrolledPercentHorizontal(), 50);
}

TEST_F(ScrollTest, ReleaseWhileMovingGlidesThenComesToRest) {
  sv->setInertiaScrollEnabled(true);
  drag(Vec2(200, 150), Vec2(200, 190), 4);  // 10 points per frame: 600 points/s
  const float atRelease = y();
  EXPECT_FLOAT_EQ(atRelease, -660);
  std::vector<float> ys;
  for (int i = 0; i < 400; ++i) {
    frames();
    ys.push_back(y());
  }
  EXPECT_GT(ys.front(), atRelease);
  for (size_t i = 2; i < ys.size(); ++i) EXPECT_LE(ys[i] - ys[i - 1], ys[i - 1] - ys[i - 2] + 1e-3f) << "slows down";
  EXPECT_GT(ys.back(), atRelease + 100);
  EXPECT_LT(ys.back(), 0);
  EXPECT_FALSE(sv->isAutoScrolling());
  EXPECT_EQ(events.back(), E::AUTOSCROLL_ENDED);
}

TEST_F(ScrollTest, AFlingStopsAtTheEndWithoutBounceAndSpringsBackWithIt) {
  for (bool bounce : {false, true}) {
    SCOPED_TRACE(bounce);
    sv->setInertiaScrollEnabled(true);
    sv->setBounceEnabled(bounce);
    sv->jumpToTop();
    events.clear();
    drag(Vec2(200, 110), Vec2(200, 390), 4);  // 70 points per frame
    float highest = y();
    for (int i = 0; i < 300; ++i) {
      frames();
      highest = std::max(highest, y());
    }
    EXPECT_FLOAT_EQ(y(), 0);
    if (bounce) {
      EXPECT_GT(highest, 0);
      EXPECT_LE(highest, 150);
      EXPECT_NE(std::find(events.begin(), events.end(), E::BOUNCE_BOTTOM), events.end());
    } else {
      EXPECT_FLOAT_EQ(highest, 0);
    }
    EXPECT_EQ(events.back(), E::AUTOSCROLL_ENDED);
  }
}

TEST_F(ScrollTest, ATouchStopsAGlide) {
  sv->setInertiaScrollEnabled(true);
  drag(Vec2(200, 150), Vec2(200, 190), 4);
  frames(3);
  ASSERT_TRUE(sv->isAutoScrolling());
  touches().touchesBegan(0, Vec2(200, 200));
  EXPECT_FALSE(sv->isAutoScrolling());
  EXPECT_EQ(events.back(), E::AUTOSCROLL_ENDED);
  const float held = y();
  frames(10);
  EXPECT_FLOAT_EQ(y(), held);
  touches().touchesEnded(0, Vec2(200, 200));
}

TEST_F(ScrollTest, DraggingOnAButtonScrollsAndCancelsIt) {
  using T = TouchEventType;
  std::vector<T> seen;
  Button* b = Button::create("btn_normal.png");
  b->setContentSize(Size(180, 40));
  b->setPosition(100, 1000 - 100);  // in the inner container; on screen at (200, 300)
  b->addTouchEventListener([&](Ref*, T t) { seen.push_back(t); });
  sv->addChild(b);
  ASSERT_EQ(b->getParent(), sv->getInnerContainer());
  frames();
  ASSERT_TRUE(b->hitTest(Vec2(200, 300)));

  drag(Vec2(200, 300), Vec2(200, 380));  // along the axis
  EXPECT_FLOAT_EQ(y(), -620);
  EXPECT_EQ(seen, (std::vector<T>{T::BEGAN, T::CANCELED})) << "no ENDED: the handler does nothing";
  EXPECT_FALSE(b->isPressed());

  seen.clear();
  drag(Vec2(200, 380), Vec2(203, 378), 1);  // a small wobble stays a tap
  EXPECT_FLOAT_EQ(y(), -620);
  EXPECT_EQ(seen, (std::vector<T>{T::BEGAN, T::MOVED, T::ENDED}));

  seen.clear();
  drag(Vec2(200, 380), Vec2(400, 385));  // across the axis: the button keeps the touch
  EXPECT_FLOAT_EQ(y(), -620);
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.back(), T::CANCELED) << "released outside the button";
  EXPECT_EQ(std::count(seen.begin(), seen.end(), T::MOVED), 4);
}

TEST_F(ScrollTest, ATouchThatStopsAGlideDoesNotPressTheButtonUnderIt) {
  std::vector<TouchEventType> seen;
  Button* b = Button::create("btn_normal.png");
  b->setContentSize(Size(200, 1000));  // covers the whole content
  b->setAnchorPoint(Vec2(0, 0));
  b->addTouchEventListener([&](Ref*, TouchEventType t) { seen.push_back(t); });
  sv->addChild(b);
  sv->setInertiaScrollEnabled(true);
  drag(Vec2(200, 150), Vec2(200, 190), 4);
  frames(3);
  ASSERT_TRUE(sv->isAutoScrolling());
  seen.clear();
  tap(Vec2(200, 200));
  EXPECT_FALSE(sv->isAutoScrolling());
  EXPECT_TRUE(seen.empty());
  EXPECT_FALSE(b->isPressed());
  tap(Vec2(200, 200));  // at rest: an ordinary tap
  EXPECT_EQ(seen, (std::vector<TouchEventType>{TouchEventType::BEGAN, TouchEventType::ENDED}));
}

TEST_F(ScrollTest, ASliderInAMenuKeepsSidewaysDragsAndGivesUpVerticalOnes) {
  Slider* s = Slider::create("bar.png", "ball.png", "progress.png");
  s->setScale9Enabled(true);
  s->setContentSize(Size(100, 10));
  s->setPosition(100, 1000 - 100);  // on screen: x 150 … 250 at y = 300
  s->setPercent(50);
  std::vector<int> changes;
  s->addEventListener([&](Ref*, Slider::EventType t) {
    if (t == Slider::EventType::ON_PERCENTAGE_CHANGED) changes.push_back(s->getPercent());
  });
  sv->addChild(s);
  frames();

  drag(Vec2(230, 300), Vec2(240, 380));  // mostly vertical: the menu scrolls
  EXPECT_FLOAT_EQ(y(), -620);
  EXPECT_EQ(s->getPercent(), 50) << "the jump to the touch is undone";
  ASSERT_FALSE(changes.empty());
  EXPECT_EQ(changes.back(), 50);

  drag(Vec2(200, 380), Vec2(170, 383));  // sideways: the slider moves, the menu does not
  EXPECT_FLOAT_EQ(y(), -620);
  EXPECT_EQ(s->getPercent(), 20);
}

TEST_F(ScrollTest, OwnTouchEventsLetAHandlerScrollOnRelease) {
  // The picker pattern: on a tap the wheel scrolls to the tapped row; the release handling
  // must not undo that scroll.
  std::vector<TouchEventType> seen;
  sv->addTouchEventListener([&](Ref*, TouchEventType t) {
    seen.push_back(t);
    if (t == TouchEventType::ENDED) sv->scrollToPercentVertical(100, 0.25f, true);
  });
  tap(Vec2(200, 200));
  frames(20);
  EXPECT_FLOAT_EQ(y(), 0);
  EXPECT_EQ(seen, (std::vector<TouchEventType>{TouchEventType::BEGAN, TouchEventType::ENDED}));
}

TEST_F(ScrollTest, ChildrenAreClippedToTheViewInsideEnclosingClips) {
  frames();
  auto scissors = director().getRenderer()->lastFrameStats().scissors;
  ASSERT_EQ(scissors.size(), 1u);
  EXPECT_EQ(scissors[0], Rect(100, 100, 200, 300));
  // Inside a clipping layout that covers only part of it: the intersection.
  sv->retain();
  sv->removeFromParent();
  Layout* clip = Layout::create();
  clip->setClippingEnabled(true);
  clip->setContentSize(Size(150, 1000));
  scene->addChild(clip);
  clip->addChild(sv);
  sv->release();
  frames();
  scissors = director().getRenderer()->lastFrameStats().scissors;
  ASSERT_EQ(scissors.size(), 2u);
  EXPECT_EQ(scissors[1], Rect(100, 100, 50, 300));
  // A touch on the hidden part does not scroll.
  drag(Vec2(200, 150), Vec2(200, 250));
  EXPECT_FLOAT_EQ(y(), -700);
}

TEST_F(ScrollTest, ScrollBarShowsWherePageIs) {
  sv->setScrollBarWidth(2);
  sv->setScrollBarPositionFromCornerForVertical(Vec2(2, 8));
  const float track = 300 - 16, length = track * 300 / 1000;
  Rect r = sv->getScrollBarRect();
  EXPECT_FLOAT_EQ(r.getMaxX(), 198);
  EXPECT_FLOAT_EQ(r.size.width, 2);
  EXPECT_FLOAT_EQ(r.getMaxY(), 292);
  EXPECT_NEAR(r.size.height, length, 1e-3);
  sv->jumpToBottom();
  EXPECT_NEAR(sv->getScrollBarRect().getMinY(), 8, 1e-3);
  sv->setScrollBarEnabled(false);
  EXPECT_EQ(sv->getScrollBarRect().size, Size());
  sv->setScrollBarEnabled(true);
  sv->setInnerContainerSize(Size(200, 100));  // nothing to scroll
  EXPECT_EQ(sv->getScrollBarRect().size, Size());
}

TEST_F(ScrollTest, GrowingTheContentKeepsItsTopEdgeInPlace) {
  sv->setInnerContainerSize(Size(200, 1200));
  EXPECT_FLOAT_EQ(y(), -900) << "still at the top";
  sv->jumpToPercentVertical(50);  // y = −450: the content's top is 450 above the view's top
  sv->setInnerContainerSize(Size(200, 1500));
  EXPECT_FLOAT_EQ(y() + 1500 - 300, 450 + 0.f);
  sv->setInnerContainerSize(Size(10, 10));  // never smaller than the view
  EXPECT_EQ(sv->getInnerContainerSize(), Size(200, 300));
  EXPECT_FLOAT_EQ(y(), 0);
}

TEST_F(ScrollTest, MouseWheelScrollsTheFrontMostViewUnderThePointer) {
  sv->jumpToPercentVertical(50);  // y = −350
  EXPECT_TRUE(ScrollView::dispatchMouseWheel(Vec2(200, 200), 1));  // wheel up: towards the top
  EXPECT_FLOAT_EQ(y(), -350 - ScrollView::WHEEL_STEP_POINTS);
  EXPECT_TRUE(ScrollView::dispatchMouseWheel(Vec2(200, 200), -3));
  EXPECT_FLOAT_EQ(y(), -350 + 2 * ScrollView::WHEEL_STEP_POINTS);
  EXPECT_EQ(events.back(), E::AUTOSCROLL_ENDED);
  EXPECT_FALSE(ScrollView::dispatchMouseWheel(Vec2(50, 50), 1)) << "nothing under the pointer";
  sv->jumpToTop();
  EXPECT_TRUE(ScrollView::dispatchMouseWheel(Vec2(200, 200), 5)) << "taken at the end too";
  EXPECT_FLOAT_EQ(y(), -700);

  // A second view in front of the first, overlapping it.
  ScrollView* front = ScrollView::create();
  front->setContentSize(Size(100, 100));
  front->setPosition(150, 150);
  front->setInnerContainerSize(Size(100, 400));
  scene->addChild(front);
  EXPECT_TRUE(ScrollView::dispatchMouseWheel(Vec2(200, 200), -1));
  EXPECT_FLOAT_EQ(front->getInnerContainerPosition().y, -300 + ScrollView::WHEEL_STEP_POINTS);
  EXPECT_FLOAT_EQ(y(), -700);
  front->setEnabled(false);
  EXPECT_TRUE(ScrollView::dispatchMouseWheel(Vec2(200, 200), -1));
  EXPECT_FLOAT_EQ(y(), -700 + ScrollView::WHEEL_STEP_POINTS);
}
