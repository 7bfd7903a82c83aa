#include "engine/ui/ScrollView.h"

#include <algorithm>
#include <cmath>

#include "engine/Director.h"
#include "engine/Renderer.h"

namespace eng::ui {

namespace {
// Glide: the speed keeps this fraction per second; below kRestSpeed the glide ends.
constexpr float kGlideKeptPerSecond = 0.15f;
// Beyond an end the glide brakes much harder.
constexpr float kOvershootKeptPerSecond = 1e-4f;
constexpr float kRestSpeed = 10;
constexpr float kMinFlingSpeed = 30;
constexpr float kMaxFlingSpeed = 6000;
// Finger speed is measured over this window before the release.
constexpr float kVelocityWindow = 0.1f;
// Scroll bar: fully shown for this long after the content stopped, then fades out.
constexpr float kBarHoldSeconds = 0.5f, kBarFadeSeconds = 0.3f;
}  // namespace

class ScrollView::ScrollBar : public Node {
 public:
  ScrollView* owner = nullptr;
  void draw(Renderer& renderer, const Mat4& transform, uint32_t) override {
    if (owner) owner->drawScrollBar(renderer, transform);
  }
};

ScrollView::~ScrollView() = default;

bool ScrollView::init() {
  if (!Layout::init()) return false;
  setClippingEnabled(true);
  setTouchEnabled(true);
  setPropagateTouchEvents(false);
  inner_ = Layout::create();
  addProtectedChild(inner_.get(), 0);
  auto* bar = makeAutoreleased<ScrollBar>();
  bar->owner = this;
  bar_ = bar;
  addProtectedChild(bar, 1 << 20);
  return true;
}

void ScrollView::onEnter() {
  Layout::onEnter();
  // Scheduled here, not in init: removal with clean-up drops a node's update.
  scheduleUpdate();
}

void ScrollView::setDirection(Direction d) {
  direction_ = d;
  setInnerContainerPosition(getInnerContainerPosition());
}

// --- geometry --------------------------------------------------------------------------------

Size ScrollView::getInnerContainerSize() const { return inner_ ? inner_->getContentSize() : Size(); }
Vec2 ScrollView::getInnerContainerPosition() const { return inner_ ? inner_->getPosition() : Vec2(); }

Vec2 ScrollView::getMinContainerPosition() const {
  const Size v = getContentSize(), in = getInnerContainerSize();
  return Vec2(std::min(0.f, v.width - in.width), v.height - in.height);
}

Vec2 ScrollView::getMaxContainerPosition() const {
  const Size v = getContentSize(), in = getInnerContainerSize();
  return Vec2(0, std::max(0.f, v.height - in.height));
}

Vec2 ScrollView::clampPosition(Vec2 p) const {
  const Vec2 lo = getMinContainerPosition(), hi = getMaxContainerPosition();
  return Vec2(std::clamp(p.x, lo.x, hi.x), std::clamp(p.y, lo.y, hi.y));
}

Vec2 ScrollView::rubberBand(Vec2 raw) const {
  if (!bounce_) return clampPosition(raw);
  const Vec2 lo = getMinContainerPosition(), hi = getMaxContainerPosition();
  const Size v = getContentSize();
  auto axis = [](float r, float l, float h, float half) {
    if (r > h) return h + std::min((r - h) * 0.5f, half);
    if (r < l) return l - std::min((l - r) * 0.5f, half);
    return r;
  };
  return Vec2(axis(raw.x, lo.x, hi.x, v.width * 0.5f), axis(raw.y, lo.y, hi.y, v.height * 0.5f));
}

Vec2 ScrollView::unRubberBand(Vec2 shown) const {
  if (!bounce_) return shown;
  const Vec2 lo = getMinContainerPosition(), hi = getMaxContainerPosition();
  auto axis = [](float s, float l, float h) {
    if (s > h) return h + (s - h) * 2;
    if (s < l) return l - (l - s) * 2;
    return s;
  };
  return Vec2(axis(shown.x, lo.x, hi.x), axis(shown.y, lo.y, hi.y));
}

void ScrollView::applyInnerSize(Size wanted, float previousViewHeight) {
  if (!inner_) return;
  const Size view = getContentSize();
  if (!innerMayBeSmaller_) {
    wanted.width = std::max(wanted.width, view.width);
    wanted.height = std::max(wanted.height, view.height);
  }
  const Vec2 old = inner_->getPosition();
  // Keep the gap between the view's top edge and the content's top edge.
  const float topGap = previousViewHeight - (old.y + inner_->getContentSize().height);
  inner_->setContentSize(wanted);
  lastViewHeight_ = view.height;
  moveContainer(clampPosition(Vec2(old.x, view.height - wanted.height - topGap)));
}

void ScrollView::setInnerContainerSize(const Size& s) {
  wantedInner_ = s;
  applyInnerSize(s, getContentSize().height);
}

void ScrollView::onSizeChanged() {
  Layout::onSizeChanged();
  applyInnerSize(wantedInner_, lastViewHeight_);
}

void ScrollView::setInnerContainerPosition(const Vec2& p) { moveContainer(clampPosition(p)); }

void ScrollView::moveContainer(const Vec2& p) {
  if (!inner_ || inner_->getPosition() == p) return;
  RefPtr<ScrollView> hold(this);
  // Moved by code while a finger is down (a table reloaded while the user drags it): the drag
  // goes on from the new place instead of jumping back.
  if (scrollTouchId_ >= 0 && !movingByDrag_) containerStartRaw_ += p - inner_->getPosition();
  inner_->setPosition(p);
  barIdle_ = 0;
  onContainerMoved();
  emitEvent(EventType::CONTAINER_MOVED);
}

void ScrollView::emitEvent(EventType type) {
  if (!eventCallback_) return;
  RefPtr<ScrollView> hold(this);
  EventCallback cb = eventCallback_;
  cb(this, type);
}

// --- scrolling by code -----------------------------------------------------------------------

void ScrollView::jumpToPercentVertical(float percent) {
  const bool wasMoving = motion_ != Motion::NONE;
  motion_ = Motion::NONE;
  const Vec2 lo = getMinContainerPosition(), hi = getMaxContainerPosition();
  const float f = std::clamp(percent, 0.f, 100.f) / 100.f;
  moveContainer(Vec2(getInnerContainerPosition().x, lo.y + (hi.y - lo.y) * f));
  if (wasMoving) emitEvent(EventType::AUTOSCROLL_ENDED);
}

void ScrollView::jumpToPercentHorizontal(float percent) {
  const bool wasMoving = motion_ != Motion::NONE;
  motion_ = Motion::NONE;
  const float f = std::clamp(percent, 0.f, 100.f) / 100.f;
  moveContainer(Vec2(getMinContainerPosition().x * f, getInnerContainerPosition().y));
  if (wasMoving) emitEvent(EventType::AUTOSCROLL_ENDED);
}

void ScrollView::scrollToPercentVertical(float percent, float seconds, bool attenuated) {
  const Vec2 lo = getMinContainerPosition(), hi = getMaxContainerPosition();
  const float f = std::clamp(percent, 0.f, 100.f) / 100.f;
  scrollToPosition(Vec2(getInnerContainerPosition().x, lo.y + (hi.y - lo.y) * f), seconds, attenuated);
}

void ScrollView::scrollToPercentHorizontal(float percent, float seconds, bool attenuated) {
  const float f = std::clamp(percent, 0.f, 100.f) / 100.f;
  scrollToPosition(Vec2(getMinContainerPosition().x * f, getInnerContainerPosition().y), seconds, attenuated);
}

void ScrollView::scrollToPosition(const Vec2& target, float seconds, bool attenuated) {
  startAnimation(clampPosition(target), seconds, attenuated);
}

float ScrollView::getScrolledPercentVertical() const {
  const Vec2 lo = getMinContainerPosition(), hi = getMaxContainerPosition();
  if (hi.y - lo.y <= 0) return 0;
  return std::clamp((getInnerContainerPosition().y - lo.y) / (hi.y - lo.y) * 100.f, 0.f, 100.f);
}

float ScrollView::getScrolledPercentHorizontal() const {
  const float lo = getMinContainerPosition().x;
  if (lo >= 0) return 0;
  return std::clamp(getInnerContainerPosition().x / lo * 100.f, 0.f, 100.f);
}

void ScrollView::startAnimation(Vec2 target, float seconds, bool attenuated) {
  const Vec2 from = getInnerContainerPosition();
  if (seconds <= 0 || from == target) {
    motion_ = Motion::NONE;
    moveContainer(target);
    emitEvent(EventType::AUTOSCROLL_ENDED);
    return;
  }
  motion_ = Motion::ANIMATED;
  animFrom_ = from;
  animTo_ = target;
  animSeconds_ = seconds;
  animElapsed_ = 0;
  animAttenuated_ = attenuated;
}

void ScrollView::startSpringBack() {
  const Vec2 cur = getInnerContainerPosition();
  const Vec2 target = clampPosition(cur);
  if (cur.y < target.y) emitEvent(EventType::BOUNCE_TOP);
  if (cur.y > target.y) emitEvent(EventType::BOUNCE_BOTTOM);
  if (cur.x > target.x) emitEvent(EventType::BOUNCE_LEFT);
  if (cur.x < target.x) emitEvent(EventType::BOUNCE_RIGHT);
  startAnimation(target, BOUNCE_BACK_SECONDS, true);
}

void ScrollView::finishMotion() {
  motion_ = Motion::NONE;
  emitEvent(EventType::AUTOSCROLL_ENDED);
}

void ScrollView::stopAutoScroll() {
  if (motion_ != Motion::NONE) finishMotion();
}

void ScrollView::update(float dt) {
  RefPtr<ScrollView> hold(this);
  time_ += dt;
  if (dt > 0) lastDt_ = dt;
  barIdle_ += dt;
  if (motion_ == Motion::ANIMATED) {
    animElapsed_ += dt;
    const float t = std::min(1.f, animElapsed_ / animSeconds_);
    const float e = animAttenuated_ ? 1 - (1 - t) * (1 - t) * (1 - t) : t;
    moveContainer(t >= 1 ? animTo_ : animFrom_ + (animTo_ - animFrom_) * e);
    if (t >= 1 && motion_ == Motion::ANIMATED) finishMotion();
  } else if (motion_ == Motion::INERTIA) {
    const Vec2 cur = getInnerContainerPosition();
    Vec2 p = cur + velocity_ * dt;
    const Vec2 clamped = clampPosition(p);
    if (!bounce_) {
      if (clamped.x != p.x) velocity_.x = 0;
      if (clamped.y != p.y) velocity_.y = 0;
      p = clamped;
    } else {
      // Beyond an end: brake hard, and never further than the rubber band allows.
      const float brake = std::pow(kOvershootKeptPerSecond, dt);
      const Vec2 lo = getMinContainerPosition(), hi = getMaxContainerPosition();
      const Size v = getContentSize();
      if (clamped.x != p.x) {
        velocity_.x *= brake;
        const float capped = std::clamp(p.x, lo.x - v.width * 0.5f, hi.x + v.width * 0.5f);
        if (capped != p.x) velocity_.x = 0;
        p.x = capped;
      }
      if (clamped.y != p.y) {
        velocity_.y *= brake;
        const float capped = std::clamp(p.y, lo.y - v.height * 0.5f, hi.y + v.height * 0.5f);
        if (capped != p.y) velocity_.y = 0;
        p.y = capped;
      }
    }
    velocity_ = velocity_ * std::pow(kGlideKeptPerSecond, dt);
    moveContainer(p);
    if (motion_ == Motion::INERTIA && velocity_.length() < kRestSpeed) {
      if (isOutOfRange(getInnerContainerPosition())) startSpringBack();
      else finishMotion();
    }
  }
}

// --- touches ---------------------------------------------------------------------------------

void ScrollView::beginScrollTouch(Touch* touch) {
  stoppedMotion_ = motion_ != Motion::NONE;
  if (stoppedMotion_) finishMotion();  // the finger catches the content
  scrollTouchId_ = touch->getId();
  touchStartLocal_ = convertToNodeSpace(touch->getLocation());
  containerStartRaw_ = unRubberBand(getInnerContainerPosition());
  dragging_ = false;
  didDrag_ = false;
  ignoreTouch_ = false;
  samples_.clear();
  samples_.push_back({time_, touchStartLocal_});
}

void ScrollView::moveScrollTouch(Touch* touch, Widget* sender) {
  if (touch->getId() != scrollTouchId_ || ignoreTouch_ || direction_ == Direction::NONE) return;
  const Vec2 local = convertToNodeSpace(touch->getLocation());
  const Vec2 d = local - touchStartLocal_;
  samples_.push_back({time_, local});
  while (samples_.size() > 2 && samples_.front().time < time_ - 2 * kVelocityWindow) samples_.erase(samples_.begin());
  if (!dragging_) {
    float along = 0, across = 0;
    if (direction_ == Direction::VERTICAL) along = std::fabs(d.y), across = std::fabs(d.x);
    else if (direction_ == Direction::HORIZONTAL) along = std::fabs(d.x), across = std::fabs(d.y);
    else along = d.length();
    if (along > DRAG_THRESHOLD && along >= across) {
      dragging_ = true;
      didDrag_ = true;
      if (sender) sender->cancelTouchForScroll();
      emitEvent(EventType::SCROLLING_BEGAN);
    } else if (sender && across > DRAG_THRESHOLD) {
      ignoreTouch_ = true;  // a drag across the axis belongs to the child
      return;
    } else {
      return;
    }
  }
  const Vec2 cur = getInnerContainerPosition();
  Vec2 raw = containerStartRaw_ + d;
  if (!scrollsX()) raw.x = unRubberBand(cur).x;
  if (!scrollsY()) raw.y = unRubberBand(cur).y;
  movingByDrag_ = true;
  moveContainer(rubberBand(raw));
  movingByDrag_ = false;
}

void ScrollView::endScrollTouch() {
  if (scrollTouchId_ < 0) return;
  scrollTouchId_ = -1;
  const bool wasDragging = dragging_;
  dragging_ = false;
  if (wasDragging) emitEvent(EventType::SCROLLING_ENDED);
  if (isOutOfRange(getInnerContainerPosition())) {
    startSpringBack();
    return;
  }
  if (!wasDragging) return;
  if (inertia_ && samples_.size() >= 2) {
    const Sample& last = samples_.back();
    const Sample* first = &last;
    for (const Sample& s : samples_)
      if (s.time >= time_ - kVelocityWindow) {
        first = &s;
        break;
      }
    if (last.time >= time_ - kVelocityWindow && first != &last) {
      const float span = std::max(last.time - first->time, lastDt_);
      Vec2 v = (last.position - first->position) / span;
      if (!scrollsX()) v.x = 0;
      if (!scrollsY()) v.y = 0;
      const float speed = v.length();
      if (speed > kMaxFlingSpeed) v = v * (kMaxFlingSpeed / speed);
      if (speed > kMinFlingSpeed) {
        velocity_ = v;
        motion_ = Motion::INERTIA;
        return;
      }
    }
  }
  emitEvent(EventType::AUTOSCROLL_ENDED);
}

bool ScrollView::onTouchBegan(Touch* touch) {
  if (scrollTouchId_ >= 0) return false;  // a child's touch is scrolling
  if (!Widget::onTouchBegan(touch)) return false;
  beginScrollTouch(touch);
  return true;
}

void ScrollView::onTouchMoved(Touch* touch) {
  RefPtr<ScrollView> hold(this);
  moveScrollTouch(touch, nullptr);
  Widget::onTouchMoved(touch);
}

void ScrollView::onTouchEnded(Touch* touch) {
  RefPtr<ScrollView> hold(this);
  if (touch->getId() == scrollTouchId_) endScrollTouch();
  Widget::onTouchEnded(touch);
}

void ScrollView::onTouchCancelled(Touch* touch) {
  RefPtr<ScrollView> hold(this);
  if (touch->getId() == scrollTouchId_) endScrollTouch();
  Widget::onTouchCancelled(touch);
}

void ScrollView::interceptTouchEvent(TouchEventType type, Widget* sender, Touch* touch) {
  if (!isEnabled() || !isRunning()) return;
  switch (type) {
    case TouchEventType::BEGAN:
      if (scrollTouchId_ < 0 && !isTracking()) {
        beginScrollTouch(touch);
        if (stoppedMotion_ && sender) sender->cancelTouchForScroll();
      }
      break;
    case TouchEventType::MOVED:
      moveScrollTouch(touch, sender);
      break;
    case TouchEventType::ENDED:
    case TouchEventType::CANCELED:
      if (touch->getId() == scrollTouchId_ && !isTracking()) endScrollTouch();
      break;
  }
}

// --- mouse wheel -----------------------------------------------------------------------------

bool ScrollView::scrollByWheel(float steps) {
  if (!isEnabled() || direction_ == Direction::NONE) return false;
  motion_ = Motion::NONE;
  const Vec2 cur = getInnerContainerPosition();
  Vec2 target = cur;
  if (scrollsY()) target.y -= steps * WHEEL_STEP_POINTS;
  else target.x += steps * WHEEL_STEP_POINTS;
  target = clampPosition(target);
  if (!(target == cur)) {
    moveContainer(target);
    emitEvent(EventType::AUTOSCROLL_ENDED);
  }
  return true;
}

namespace {
void collectScrollViews(Node* n, std::vector<ScrollView*>& out) {
  if (!n->isVisible()) return;
  const auto& kids = n->sortedChildren();
  size_t i = 0;
  for (; i < kids.size() && kids[i]->getLocalZOrder() < 0; ++i) collectScrollViews(kids[i], out);
  if (auto* sv = dynamic_cast<ScrollView*>(n)) out.push_back(sv);
  for (; i < kids.size(); ++i) collectScrollViews(kids[i], out);
}
}  // namespace

bool ScrollView::dispatchMouseWheel(const Vec2& point, float steps) {
  Scene* scene = Director::getInstance()->getRunningScene();
  if (!scene) return false;
  std::vector<ScrollView*> views;
  collectScrollViews(scene, views);
  for (auto it = views.rbegin(); it != views.rend(); ++it) {
    ScrollView* sv = *it;
    if (!sv->isRunning() || !sv->isEnabled() || !sv->isTouchEnabled() || sv->direction_ == Direction::NONE) continue;
    if (!sv->hitTest(point) || !sv->isClippingParentContainsPoint(point)) continue;
    RefPtr<ScrollView> hold(sv);
    return sv->scrollByWheel(steps);
  }
  return false;
}

// --- scroll bar ------------------------------------------------------------------------------

Rect ScrollView::getScrollBarRect() const {
  if (!barEnabled_ || !scrollsY()) return Rect();
  const Size v = getContentSize(), in = getInnerContainerSize();
  if (in.height <= v.height || v.height <= 0) return Rect();
  const float track = v.height - 2 * barCorner_.y;
  if (track <= 0) return Rect();
  const float length = std::clamp(track * v.height / in.height, std::min(track, barWidth_ * 2), track);
  const Vec2 lo = getMinContainerPosition(), hi = getMaxContainerPosition();
  const float f = std::clamp((getInnerContainerPosition().y - lo.y) / (hi.y - lo.y), 0.f, 1.f);  // 0 at the top
  const float top = v.height - barCorner_.y - f * (track - length);
  return Rect(v.width - barCorner_.x - barWidth_, top - length, barWidth_, length);
}

void ScrollView::drawScrollBar(Renderer& renderer, const Mat4& transform) {
  const Rect r = getScrollBarRect();
  if (r.size.width <= 0 || r.size.height <= 0) return;
  float fade = 1;
  if (barAutoHide_ && !dragging_ && motion_ == Motion::NONE) {
    if (barIdle_ >= kBarHoldSeconds + kBarFadeSeconds) return;
    if (barIdle_ > kBarHoldSeconds) fade = 1 - (barIdle_ - kBarHoldSeconds) / kBarFadeSeconds;
  }
  const float alpha = barOpacity_ * fade * getDisplayedOpacity() / 255.f;
  if (alpha <= 0) return;
  renderer.addQuad(bar_.get(), transform, r, Color4B(barColor_, uint8_t(std::lround(alpha))), BlendFunc());
}

// --- children --------------------------------------------------------------------------------

void ScrollView::addChild(Node* child) { inner_->addChild(child); }
void ScrollView::addChild(Node* child, int z) { inner_->addChild(child, z); }
void ScrollView::addChild(Node* child, int z, int tag) { inner_->addChild(child, z, tag); }

void ScrollView::removeChild(Node* child, bool cleanup) {
  if (child && child->getParent() == inner_.get()) inner_->removeChild(child, cleanup);
  else Layout::removeChild(child, cleanup);
}

void ScrollView::removeAllChildrenWithCleanup(bool cleanup) { inner_->removeAllChildrenWithCleanup(cleanup); }
void ScrollView::setLayoutType(Type t) { inner_->setLayoutType(t); }
Layout::Type ScrollView::getLayoutType() const { return inner_->getLayoutType(); }
void ScrollView::forceDoLayout() { inner_->forceDoLayout(); }

}  // namespace eng::ui
