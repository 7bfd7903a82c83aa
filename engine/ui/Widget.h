// Widget: the base of every interactive or laid-out element of the toolkit (eng::ui).
//
// States. A widget is *enabled* (claims touches) or not, *bright* (normal look) or not (the
// disabled look), and *highlighted* (the pressed look, set by the owner, e.g. a selected
// segment) or not. Independently of the highlight, a widget is *pressed* while a touch that
// began on it is down inside it; subclasses show the pressed look for "highlighted or
// pressed".
//
// Touches. With touch enabled (Button, Slider and ScrollView turn it on; the other widgets are
// passive by default), a touch that begins inside the widget, inside every clipping ancestor
// (a Layout with clipping, such as a ScrollView), while the widget is enabled and visible, is
// claimed and reported to the touch-event callback:
//   BEGAN on the claim, MOVED for every move, and at the end exactly one of
//   ENDED     released inside the widget, or
//   CANCELED  released outside it, cancelled by the platform, or taken over by a scroll view.
// The pressed state is cleared before the callback hears ENDED/CANCELED, so a callback that
// sets the highlight keeps it. Touches are swallowed by default (nothing behind the widget
// sees them).
//
// Scroll views. Touches of a widget inside a ScrollView are also shown to the nearest scroll
// view ancestor, so dragging on a button scrolls its menu. When the drag runs mostly along the
// scroll view's axis the scroll view takes the touch over: the widget hears CANCELED (no
// action) and nothing more of that touch. A drag across the axis stays with the widget (a
// horizontal slider in a vertical menu). A touch that stops a gliding or springing scroll view
// only catches its content: the widget under it reports nothing of that touch.
//
// Size. A widget adapts its content size to what it shows (image, text) until a size is set
// with setContentSize, which makes the size explicit (images are then stretched or
// nine-sliced to it); ignoreContentAdaptWithSize(true) returns to the natural size.
//
// Colour and opacity cascade to the widget's parts and children by default, so fading or
// tinting a widget fades or tints all of it.
#pragma once

#include <functional>
#include <vector>

#include "engine/Node.h"
#include "engine/Touch.h"

namespace eng::ui {

class Layout;
class ScrollView;

enum class TouchEventType { BEGAN, MOVED, ENDED, CANCELED };

// Space kept around a widget by the linear layouts, in points.
struct Margin {
  float left = 0, top = 0, right = 0, bottom = 0;
  constexpr Margin() = default;
  constexpr Margin(float l, float t, float r, float b) : left(l), top(t), right(r), bottom(b) {}
  constexpr bool operator==(const Margin&) const = default;
};

// How a vertical or horizontal Layout places a child (a plain value, copied into the widget).
struct LinearLayoutParameter {
  // NONE: left in a vertical layout, top in a horizontal one. CENTER_VERTICAL centres in a
  // horizontal row, CENTER_HORIZONTAL in a vertical column.
  enum class Gravity { NONE, LEFT, TOP, RIGHT, BOTTOM, CENTER_VERTICAL, CENTER_HORIZONTAL };
  Margin margin;
  Gravity gravity = Gravity::NONE;
  constexpr LinearLayoutParameter() = default;
  constexpr LinearLayoutParameter(Margin m, Gravity g) : margin(m), gravity(g) {}
  constexpr bool operator==(const LinearLayoutParameter&) const = default;
};

class Widget : public Node {
 public:
  // sender is the widget itself.
  using TouchEventCallback = std::function<void(Ref* sender, TouchEventType type)>;

  ENG_CREATE_FUNC(Widget)
  bool init() override;

  // --- states --------------------------------------------------------------------------------
  virtual void setEnabled(bool enabled);
  bool isEnabled() const { return enabled_; }
  virtual void setBright(bool bright);
  bool isBright() const { return bright_; }
  virtual void setHighlighted(bool highlighted);
  bool isHighlighted() const { return highlighted_; }
  // A touch that began on the widget is down inside it.
  bool isPressed() const { return pressed_; }

  // --- touches -------------------------------------------------------------------------------
  void setTouchEnabled(bool enabled);
  bool isTouchEnabled() const { return touchEnabled_; }
  void setSwallowTouches(bool swallow);
  bool isSwallowTouches() const;
  // Show this widget's touches to the nearest scroll view ancestor (on by default).
  void setPropagateTouchEvents(bool p) { propagate_ = p; }
  bool isPropagateTouchEvents() const { return propagate_; }
  // Replaces the callback (one per widget).
  void addTouchEventListener(TouchEventCallback callback) { touchCallback_ = std::move(callback); }
  // Where the current or last touch began / moved to / ended, in world points.
  Vec2 getTouchBeganPosition() const { return touchBegan_; }
  Vec2 getTouchMovePosition() const { return touchMoved_; }
  Vec2 getTouchEndPosition() const { return touchEnded_; }

  // World point inside the widget's own rectangle (0, 0, content size)?
  virtual bool hitTest(const Vec2& worldPoint) const;
  // World point inside every clipping ancestor (true when there is none)?
  bool isClippingParentContainsPoint(const Vec2& worldPoint) const;

  // --- size ----------------------------------------------------------------------------------
  // Makes the size explicit (see the header comment).
  void setContentSize(const Size& size) override;
  // true: follow the natural size of what the widget shows; false: keep the current size.
  virtual void ignoreContentAdaptWithSize(bool ignore);
  bool isIgnoreContentAdaptWithSize() const { return !explicitSize_; }
  // The size the widget would have if it adapted to its content.
  virtual Size getNaturalSize() const { return getContentSize(); }

  // --- layout --------------------------------------------------------------------------------
  void setLayoutParameter(const LinearLayoutParameter& p);
  const LinearLayoutParameter& getLayoutParameter() const { return layoutParameter_; }

  // Children the widget made for itself (images, labels, bars); layouts skip them, and
  // removeAllChildren keeps them.
  bool isProtectedChild(const Node* n) const;
  void removeChild(Node* child, bool cleanup = true) override;
  void removeAllChildrenWithCleanup(bool cleanup) override;

 public:
  Widget() = default;

 protected:
  ~Widget() override;

  // Touch handlers; subclasses extend them (call the base first).
  virtual bool onTouchBegan(Touch* touch);
  virtual void onTouchMoved(Touch* touch);
  virtual void onTouchEnded(Touch* touch);
  virtual void onTouchCancelled(Touch* touch);
  // The look follows enabled/bright/highlighted/pressed.
  virtual void onStateChanged() {}
  // The content size changed: place the parts again.
  virtual void onSizeChanged() {}

  // Adds an internal part (not laid out by layouts, not one of the user's children).
  void addProtectedChild(Node* child, int localZOrder = 0);
  void removeProtectedChild(Node* child);
  // Sets the natural size when the widget adapts to its content; call after the content
  // (texture, text) changed.
  void updateSizeFromContent();
  void setPressed(bool p);
  void emitTouchEvent(TouchEventType type);
  // The scroll view took this widget's touch over: the widget reports CANCELED and ignores
  // the rest of the touch.
  void cancelTouchForScroll();
  bool isTouchStolen() const { return stolen_; }
  bool isTracking() const { return tracking_; }
  // Id of the touch the widget follows, -1 when none.
  int getTrackedTouchId() const { return tracking_ ? touchId_ : -1; }
  // Hands the event to the nearest scroll view ancestor (when propagation is on).
  void propagateToScrollParent(TouchEventType type, Touch* touch);

  friend class ScrollView;
  friend class Layout;

 private:
  void notifyParentLayout();

  RefPtr<EventListenerTouchOneByOne> listener_;
  TouchEventCallback touchCallback_;
  LinearLayoutParameter layoutParameter_;
  std::vector<Node*> protected_;
  Vec2 touchBegan_, touchMoved_, touchEnded_;
  int touchId_ = -1;
  bool enabled_ = true;
  bool bright_ = true;
  bool highlighted_ = false;
  bool pressed_ = false;
  bool touchEnabled_ = false;
  bool propagate_ = true;
  bool tracking_ = false;
  bool stolen_ = false;
  bool explicitSize_ = false;
};

}  // namespace eng::ui
