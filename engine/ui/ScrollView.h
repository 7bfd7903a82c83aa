// ScrollView: a clipped window onto a larger inner container that the user drags.
//
// Geometry. The scroll view's content size is the visible window (the "view"); children added
// to the scroll view go into its inner container (a Layout, anchor (0, 0)), whose position is
// the scroll offset. The inner container is at least as large as the view. Along y the valid
// positions run from  min = view height − inner height  (the top of the content visible) to
// max = 0  (the bottom visible); along x from  view width − inner width  (right end) to 0 (left
// end). Resizing the inner container or the view keeps the content's top edge where it was.
//
// Percentages. Vertical: 0 % = top visible (y = min), 100 % = bottom visible (y = 0).
// Horizontal: 0 % = left end, 100 % = right end. An animated scroll runs for the given time
// (DEFAULT_AUTO_SCROLL_SECONDS unless told), eased out when attenuated, and lands exactly on
// its target.
//
// Dragging. A touch that begins inside the view (and inside any clipping ancestor) moves the
// content once it has travelled DRAG_THRESHOLD points; from then on the content follows the
// finger exactly while in range. With bounce on, the content can be pulled beyond its ends at
// half the finger's travel (at most half the view) and springs back over BOUNCE_BACK_SECONDS
// after the release; with bounce off it stops at the ends. With inertia on, a release while
// moving keeps the content gliding with the finger's speed of the last 0.1 s, slowing down
// (and springing back if it overshoots an end). A touch on a gliding or springing view stops it.
// Touches of child widgets reach the scroll view too (see Widget.h): a drag along the axis
// becomes a scroll and cancels the child's press.
//
// Events (addEventListener), in the order they occur:
//   SCROLLING_BEGAN   a drag started moving the content;
//   CONTAINER_MOVED   (9) the inner container moved, for every move: drag, glide, spring,
//                     animated or jumped scroll, wheel;
//   SCROLLING_ENDED   the finger that dragged was lifted;
//   BOUNCE_TOP/BOTTOM/LEFT/RIGHT  a spring-back towards that end starts;
//   AUTOSCROLL_ENDED  the content came to rest after a release, an animated scroll or a wheel
//                     step (also when a touch stops a moving view). A released drag therefore
//                     always ends its stream with AUTOSCROLL_ENDED, at once when nothing glides.
// Jumps (jumpTo..., setInnerContainerPosition) report CONTAINER_MOVED only.
//
// The scroll view itself is a touch-enabled widget: its own touch-event callback hears BEGAN,
// MOVED and ENDED/CANCELED of touches that start on it outside any child widget; the release
// is handled (glide, spring) before ENDED is reported, so a callback may start a scroll. It
// swallows the touches it claims.
//
// Mouse wheel: dispatchMouseWheel(point, steps) scrolls the front-most scroll view under the
// point by WHEEL_STEP_POINTS per step (positive = wheel up = towards the top), within range.
#pragma once

#include <functional>
#include <vector>

#include "engine/ui/Layout.h"

namespace eng::ui {

class ScrollView : public Layout {
 public:
  enum class Direction { NONE, VERTICAL, HORIZONTAL, BOTH };
  // CONTAINER_MOVED is 9: callers compare against that number.
  enum class EventType : int {
    BOUNCE_TOP = 5,
    BOUNCE_BOTTOM = 6,
    BOUNCE_LEFT = 7,
    BOUNCE_RIGHT = 8,
    CONTAINER_MOVED = 9,
    SCROLLING_BEGAN = 10,
    SCROLLING_ENDED = 11,
    AUTOSCROLL_ENDED = 12,
  };
  using EventCallback = std::function<void(Ref* sender, EventType type)>;

  static constexpr float DEFAULT_AUTO_SCROLL_SECONDS = 0.5f;
  static constexpr float BOUNCE_BACK_SECONDS = 0.3f;
  static constexpr float DRAG_THRESHOLD = 6;
  static constexpr float WHEEL_STEP_POINTS = 40;

  ENG_CREATE_FUNC(ScrollView)
  bool init() override;
  void onEnter() override;
  void update(float dt) override;

  void setDirection(Direction d);
  Direction getDirection() const { return direction_; }
  void setBounceEnabled(bool e) { bounce_ = e; }
  bool isBounceEnabled() const { return bounce_; }
  void setInertiaScrollEnabled(bool e) { inertia_ = e; }
  bool isInertiaScrollEnabled() const { return inertia_; }

  // --- scroll bar (vertical; drawn over the content) -------------------------------------------
  void setScrollBarEnabled(bool e) { barEnabled_ = e; }
  bool isScrollBarEnabled() const { return barEnabled_; }
  void setScrollBarWidth(float w) { barWidth_ = w; }
  float getScrollBarWidth() const { return barWidth_; }
  // x: from the view's right edge to the bar's right edge; y: from the top and bottom edges to
  // the ends of the bar's track.
  void setScrollBarPositionFromCornerForVertical(const Vec2& p) { barCorner_ = p; }
  const Vec2& getScrollBarPositionFromCornerForVertical() const { return barCorner_; }
  void setScrollBarColor(const Color3B& c) { barColor_ = c; }
  const Color3B& getScrollBarColor() const { return barColor_; }
  void setScrollBarOpacity(uint8_t o) { barOpacity_ = o; }
  uint8_t getScrollBarOpacity() const { return barOpacity_; }
  // On: the bar shows while the content moves and fades out shortly after it stops.
  void setScrollBarAutoHideEnabled(bool e) { barAutoHide_ = e; }
  bool isScrollBarAutoHideEnabled() const { return barAutoHide_; }
  // The bar's rectangle in the view's space; empty when no bar is drawn (off, or nothing to
  // scroll).
  Rect getScrollBarRect() const;

  // --- inner container -----------------------------------------------------------------------
  Layout* getInnerContainer() const { return inner_.get(); }
  void setInnerContainerSize(const Size& size);
  Size getInnerContainerSize() const;
  // Clamped to the valid range; reports CONTAINER_MOVED when it moves.
  void setInnerContainerPosition(const Vec2& position);
  Vec2 getInnerContainerPosition() const;
  // The ends of the valid range (see the header comment).
  Vec2 getMinContainerPosition() const;
  Vec2 getMaxContainerPosition() const;

  // --- scrolling by code ---------------------------------------------------------------------
  void jumpToTop() { jumpToPercentVertical(0); }
  void jumpToBottom() { jumpToPercentVertical(100); }
  void jumpToPercentVertical(float percent);
  void jumpToPercentHorizontal(float percent);
  void scrollToPercentVertical(float percent, float seconds = DEFAULT_AUTO_SCROLL_SECONDS, bool attenuated = true);
  void scrollToPercentHorizontal(float percent, float seconds = DEFAULT_AUTO_SCROLL_SECONDS, bool attenuated = true);
  void scrollToTop(float seconds = DEFAULT_AUTO_SCROLL_SECONDS, bool attenuated = true) {
    scrollToPercentVertical(0, seconds, attenuated);
  }
  void scrollToBottom(float seconds = DEFAULT_AUTO_SCROLL_SECONDS, bool attenuated = true) {
    scrollToPercentVertical(100, seconds, attenuated);
  }
  // Animated move of the inner container to a position (clamped).
  void scrollToPosition(const Vec2& position, float seconds, bool attenuated);
  float getScrolledPercentVertical() const;
  float getScrolledPercentHorizontal() const;
  // Stops a glide, spring or animated scroll where it is (reports AUTOSCROLL_ENDED).
  void stopAutoScroll();
  bool isAutoScrolling() const { return motion_ != Motion::NONE; }
  // A finger is dragging the content.
  bool isDragging() const { return dragging_; }

  void addEventListener(EventCallback callback) { eventCallback_ = std::move(callback); }

  // --- mouse wheel ---------------------------------------------------------------------------
  // Scrolls by `steps` wheel steps (positive = towards the top / left end). true when the
  // scroll view took the wheel (it is enabled and scrolls along some axis), even at an end.
  bool scrollByWheel(float steps);
  // The front-most enabled scroll view of the running scene under the world point takes the
  // wheel; false when there is none (the platform may then use the wheel otherwise).
  static bool dispatchMouseWheel(const Vec2& worldPoint, float steps);

  // --- children go to the inner container ----------------------------------------------------
  void addChild(Node* child) override;
  void addChild(Node* child, int localZOrder) override;
  void addChild(Node* child, int localZOrder, int tag) override;
  void removeChild(Node* child, bool cleanup = true) override;
  void removeAllChildrenWithCleanup(bool cleanup) override;
  // The layout type of the inner container.
  void setLayoutType(Type type) override;
  Type getLayoutType() const override;
  void forceDoLayout() override;

 public:
  ScrollView() = default;

 protected:
  ~ScrollView() override;

  void onSizeChanged() override;
  bool onTouchBegan(Touch* touch) override;
  void onTouchMoved(Touch* touch) override;
  void onTouchEnded(Touch* touch) override;
  void onTouchCancelled(Touch* touch) override;
  // Touches of child widgets (see Widget.h).
  virtual void interceptTouchEvent(TouchEventType type, Widget* sender, Touch* touch);
  // Called after every move of the inner container.
  virtual void onContainerMoved() {}
  // Lets the inner container be smaller than the view (a table view whose rows do not fill
  // it keeps them at the top: the valid y range is then the single position min > 0).
  void setInnerContainerMayBeSmaller(bool may) { innerMayBeSmaller_ = may; }
  // Moves the inner container without clamping; reports CONTAINER_MOVED when it moves.
  void moveContainer(const Vec2& position);
  void emitEvent(EventType type);
  // The current or last touch dragged the content (a table view's tap test).
  bool touchDidDrag() const { return didDrag_; }
  // The current or last touch stopped a glide, spring or animated scroll when it began.
  bool touchStoppedMotion() const { return stoppedMotion_; }

  friend class Widget;

 private:
  class ScrollBar;
  enum class Motion { NONE, ANIMATED, INERTIA };

  bool scrollsX() const { return direction_ == Direction::HORIZONTAL || direction_ == Direction::BOTH; }
  bool scrollsY() const { return direction_ == Direction::VERTICAL || direction_ == Direction::BOTH; }
  Vec2 clampPosition(Vec2 p) const;
  bool isOutOfRange(Vec2 p) const { return !(clampPosition(p) == p); }
  // Finger travel → displayed position, with the rubber band beyond the ends.
  Vec2 rubberBand(Vec2 raw) const;
  Vec2 unRubberBand(Vec2 shown) const;
  void beginScrollTouch(Touch* touch);
  void moveScrollTouch(Touch* touch, Widget* sender);
  void endScrollTouch();
  void startAnimation(Vec2 target, float seconds, bool attenuated);
  void startSpringBack();
  void finishMotion();
  void drawScrollBar(Renderer& renderer, const Mat4& transform);
  void applyInnerSize(Size wanted, float previousViewHeight);

  RefPtr<Layout> inner_;
  RefPtr<Node> bar_;
  EventCallback eventCallback_;
  Direction direction_ = Direction::VERTICAL;
  bool bounce_ = false;
  bool inertia_ = true;
  bool innerMayBeSmaller_ = false;
  Size wantedInner_;
  float lastViewHeight_ = 0;

  // Scroll bar.
  bool barEnabled_ = true;
  bool barAutoHide_ = true;
  float barWidth_ = 4;
  Vec2 barCorner_{4, 4};
  Color3B barColor_{192, 192, 192};
  uint8_t barOpacity_ = 160;
  float barIdle_ = 1e9f;  // seconds since the content last moved

  // The touch that scrolls (own or a child's).
  int scrollTouchId_ = -1;
  Vec2 touchStartLocal_;
  Vec2 containerStartRaw_;
  bool dragging_ = false;
  bool movingByDrag_ = false;
  bool didDrag_ = false;
  bool stoppedMotion_ = false;
  bool ignoreTouch_ = false;
  struct Sample {
    float time;
    Vec2 position;
  };
  std::vector<Sample> samples_;

  // Automatic motion.
  Motion motion_ = Motion::NONE;
  Vec2 animFrom_, animTo_;
  float animSeconds_ = 0, animElapsed_ = 0;
  bool animAttenuated_ = true;
  Vec2 velocity_;
  float time_ = 0;
  float lastDt_ = 1.f / 60;
};

}  // namespace eng::ui
