#include "engine/ui/Widget.h"

#include <algorithm>

#include "engine/Director.h"
#include "engine/ui/Layout.h"
#include "engine/ui/ScrollView.h"

namespace eng::ui {

Widget::~Widget() = default;

bool Widget::init() {
  if (!Node::init()) return false;
  setAnchorPoint(Vec2(0.5f, 0.5f));
  setCascadeOpacityEnabled(true);
  setCascadeColorEnabled(true);
  listener_ = EventListenerTouchOneByOne::create();
  listener_->setSwallowTouches(true);
  listener_->onTouchBegan = [this](Touch* t) { return onTouchBegan(t); };
  listener_->onTouchMoved = [this](Touch* t) { onTouchMoved(t); };
  listener_->onTouchEnded = [this](Touch* t) { onTouchEnded(t); };
  listener_->onTouchCancelled = [this](Touch* t) { onTouchCancelled(t); };
  Director::getInstance()->getEventDispatcher()->addEventListenerWithSceneGraphPriority(listener_.get(), this);
  return true;
}

// --- states ----------------------------------------------------------------------------------

void Widget::setEnabled(bool e) {
  if (enabled_ == e) return;
  enabled_ = e;
  onStateChanged();
}

void Widget::setBright(bool b) {
  if (bright_ == b) return;
  bright_ = b;
  onStateChanged();
}

void Widget::setHighlighted(bool h) {
  if (highlighted_ == h) return;
  highlighted_ = h;
  onStateChanged();
}

void Widget::setPressed(bool p) {
  if (pressed_ == p) return;
  pressed_ = p;
  onStateChanged();
}

// --- touches ---------------------------------------------------------------------------------

void Widget::setTouchEnabled(bool e) { touchEnabled_ = e; }
void Widget::setSwallowTouches(bool s) {
  if (listener_) listener_->setSwallowTouches(s);
}
bool Widget::isSwallowTouches() const { return listener_ && listener_->isSwallowTouches(); }

bool Widget::hitTest(const Vec2& world) const {
  const Vec2 p = convertToNodeSpace(world);
  const Size s = getContentSize();
  return Rect(0, 0, s.width, s.height).containsPoint(p);
}

bool Widget::isClippingParentContainsPoint(const Vec2& world) const {
  for (const Node* p = getParent(); p; p = p->getParent()) {
    const auto* l = dynamic_cast<const Layout*>(p);
    if (l && l->isClippingEnabled()) {
      const Vec2 q = l->convertToNodeSpace(world);
      const Size s = l->getContentSize();
      if (!Rect(0, 0, s.width, s.height).containsPoint(q)) return false;
    }
  }
  return true;
}

void Widget::emitTouchEvent(TouchEventType type) {
  if (touchCallback_) {
    // The callback may remove (and so release) the widget.
    RefPtr<Widget> hold(this);
    TouchEventCallback cb = touchCallback_;
    cb(this, type);
  }
}

void Widget::propagateToScrollParent(TouchEventType type, Touch* touch) {
  if (!propagate_) return;
  for (Node* p = getParent(); p; p = p->getParent()) {
    if (auto* sv = dynamic_cast<ScrollView*>(p)) {
      RefPtr<ScrollView> hold(sv);
      sv->interceptTouchEvent(type, this, touch);
      return;
    }
  }
}

void Widget::cancelTouchForScroll() {
  if (!tracking_ || stolen_) return;
  stolen_ = true;
}

bool Widget::onTouchBegan(Touch* touch) {
  if (tracking_) return false;  // one touch at a time
  if (!touchEnabled_ || !enabled_ || !isRunning()) return false;
  const Vec2 p = touch->getLocation();
  if (!hitTest(p) || !isClippingParentContainsPoint(p)) return false;
  RefPtr<Widget> hold(this);
  tracking_ = true;
  stolen_ = false;
  touchId_ = touch->getId();
  touchBegan_ = touchMoved_ = p;
  setPressed(true);
  propagateToScrollParent(TouchEventType::BEGAN, touch);
  if (stolen_) {
    // The touch stopped a moving scroll view: it only catches the content, and the widget
    // reports nothing of it (still claimed, so nothing behind sees it).
    setPressed(false);
    return true;
  }
  emitTouchEvent(TouchEventType::BEGAN);
  return true;
}

void Widget::onTouchMoved(Touch* touch) {
  if (!tracking_ || touch->getId() != touchId_) return;
  RefPtr<Widget> hold(this);
  if (stolen_) {
    // The scroll view that took the touch over still follows it.
    propagateToScrollParent(TouchEventType::MOVED, touch);
    return;
  }
  touchMoved_ = touch->getLocation();
  propagateToScrollParent(TouchEventType::MOVED, touch);
  if (stolen_) {
    setPressed(false);
    emitTouchEvent(TouchEventType::CANCELED);
    return;
  }
  setPressed(hitTest(touchMoved_) && isClippingParentContainsPoint(touchMoved_));
  emitTouchEvent(TouchEventType::MOVED);
}

void Widget::onTouchEnded(Touch* touch) {
  if (!tracking_ || touch->getId() != touchId_) return;
  RefPtr<Widget> hold(this);
  tracking_ = false;
  touchEnded_ = touch->getLocation();
  propagateToScrollParent(TouchEventType::ENDED, touch);
  if (stolen_) {
    stolen_ = false;
    return;
  }
  const bool inside = hitTest(touchEnded_) && isClippingParentContainsPoint(touchEnded_);
  setPressed(false);
  emitTouchEvent(inside ? TouchEventType::ENDED : TouchEventType::CANCELED);
}

void Widget::onTouchCancelled(Touch* touch) {
  if (!tracking_ || touch->getId() != touchId_) return;
  RefPtr<Widget> hold(this);
  tracking_ = false;
  touchEnded_ = touch->getLocation();
  propagateToScrollParent(TouchEventType::CANCELED, touch);
  if (stolen_) {
    stolen_ = false;
    return;
  }
  setPressed(false);
  emitTouchEvent(TouchEventType::CANCELED);
}

// --- size ------------------------------------------------------------------------------------

void Widget::setContentSize(const Size& s) {
  explicitSize_ = true;
  const bool changed = !(s == getContentSize());
  Node::setContentSize(s);
  if (changed) {
    onSizeChanged();
    notifyParentLayout();
  }
}

void Widget::ignoreContentAdaptWithSize(bool ignore) {
  explicitSize_ = !ignore;
  if (ignore) updateSizeFromContent();
}

void Widget::updateSizeFromContent() {
  if (explicitSize_) {
    onSizeChanged();
    return;
  }
  const Size natural = getNaturalSize();
  const bool changed = !(natural == getContentSize());
  Node::setContentSize(natural);
  onSizeChanged();
  if (changed) notifyParentLayout();
}

void Widget::notifyParentLayout() {
  if (auto* l = dynamic_cast<Layout*>(getParent())) l->requestDoLayout();
}

// --- layout ----------------------------------------------------------------------------------

void Widget::setLayoutParameter(const LinearLayoutParameter& p) {
  if (p == layoutParameter_) return;
  layoutParameter_ = p;
  notifyParentLayout();
}

void Widget::addProtectedChild(Node* child, int z) {
  if (!child) return;
  protected_.push_back(child);
  // The three-argument form: the shorter ones dispatch to the (possibly overridden) full one.
  Node::addChild(child, z, child->getTag());
}

void Widget::removeProtectedChild(Node* child) {
  auto it = std::find(protected_.begin(), protected_.end(), child);
  if (it == protected_.end()) return;
  protected_.erase(it);
  Node::removeChild(child, true);
}

void Widget::removeChild(Node* child, bool cleanup) {
  std::erase(protected_, child);
  Node::removeChild(child, cleanup);
}

void Widget::removeAllChildrenWithCleanup(bool cleanup) {
  std::vector<Node*> user;
  for (Node* c : getChildren())
    if (!isProtectedChild(c)) user.push_back(c);
  for (Node* c : user) Node::removeChild(c, cleanup);
}

bool Widget::isProtectedChild(const Node* n) const {
  return std::find(protected_.begin(), protected_.end(), n) != protected_.end();
}

}  // namespace eng::ui
