#include "engine/ui/Slider.h"

#include <algorithm>
#include <cmath>

namespace eng::ui {

Slider* Slider::create(const std::string& bar, const std::string& ball, const std::string& progress) {
  Slider* s = create();
  if (!s) return nullptr;
  s->loadBarTexture(bar);
  s->loadSlidBallTextures(ball);
  if (!progress.empty()) s->loadProgressBarTexture(progress);
  return s;
}

bool Slider::init() {
  if (!Widget::init()) return false;
  setTouchEnabled(true);
  return true;
}

void Slider::replaceBar(RefPtr<Scale9Sprite>& slot, const std::string& file, int z) {
  if (slot) removeProtectedChild(slot.get());
  slot.reset();
  if (file.empty()) return;
  Scale9Sprite* s = Scale9Sprite::create(file);
  if (!s) return;
  s->setScale9Enabled(scale9_);
  if (insets_.size.width > 0 && insets_.size.height > 0) s->setCapInsets(insets_);
  slot = s;
  addProtectedChild(s, z);
}

void Slider::replaceBall(RefPtr<Sprite>& slot, const std::string& file) {
  if (slot) removeProtectedChild(slot.get());
  slot.reset();
  if (file.empty()) return;
  Sprite* s = Sprite::create(file);
  if (!s) return;
  slot = s;
  addProtectedChild(s, 2);
}

void Slider::loadBarTexture(const std::string& file) {
  replaceBar(bar_, file, 0);
  updateSizeFromContent();
}

void Slider::loadProgressBarTexture(const std::string& file) {
  replaceBar(progress_, file, 1);
  layoutParts();
}

void Slider::loadSlidBallTextures(const std::string& normal, const std::string& pressed, const std::string& disabled) {
  replaceBall(ballNormal_, normal);
  replaceBall(ballPressed_, pressed);
  replaceBall(ballDisabled_, disabled);
  if (!bar_) updateSizeFromContent();
  layoutParts();
}

void Slider::setScale9Enabled(bool e) {
  scale9_ = e;
  if (bar_) bar_->setScale9Enabled(e);
  if (progress_) progress_->setScale9Enabled(e);
}

void Slider::setCapInsets(const Rect& insets) {
  insets_ = insets;
  if (bar_) bar_->setCapInsets(insets);
  if (progress_) progress_->setCapInsets(insets);
}

Size Slider::getNaturalSize() const {
  if (bar_) return bar_->getOriginalSize();
  if (ballNormal_) return ballNormal_->getContentSize();
  return Size();
}

void Slider::setPercent(int p) {
  p = std::clamp(p, 0, 100);
  if (p == percent_) return;
  percent_ = p;
  layoutParts();
}

int Slider::percentAt(const Vec2& world) const {
  const float w = getContentSize().width;
  if (w <= 0) return 0;
  const float x = convertToNodeSpace(world).x;
  return std::clamp(int(std::lround(x / w * 100.f)), 0, 100);
}

Sprite* Slider::getBallRenderer() const {
  if (!isBright() && ballDisabled_) return ballDisabled_.get();
  if ((isPressed() || isHighlighted()) && ballPressed_) return ballPressed_.get();
  return ballNormal_.get();
}

void Slider::layoutParts() {
  const Size s = getContentSize();
  if (bar_) {
    bar_->setPosition(s.width * 0.5f, s.height * 0.5f);
    bar_->setContentSize(s);
  }
  if (progress_) {
    const float w = s.width * float(percent_) / 100.f;
    progress_->setAnchorPoint(Vec2(0, 0.5f));
    progress_->setPosition(0, s.height * 0.5f);
    progress_->setContentSize(Size(w, s.height));
    progress_->setVisible(w > 0);
  }
  Sprite* shown = getBallRenderer();
  for (Sprite* b : {ballNormal_.get(), ballPressed_.get(), ballDisabled_.get()})
    if (b) {
      b->setPosition(s.width * float(percent_) / 100.f, s.height * 0.5f);
      b->setVisible(b == shown);
    }
}

void Slider::onStateChanged() { layoutParts(); }
void Slider::onSizeChanged() { layoutParts(); }

bool Slider::hitTest(const Vec2& world) const {
  const Vec2 p = convertToNodeSpace(world);
  const Size s = getContentSize();
  Rect r(0, 0, s.width, s.height);
  if (Sprite* b = getBallRenderer()) r = r.unionWithRect(b->getBoundingBox());
  return r.containsPoint(p);
}

void Slider::emitEvent(EventType type) {
  if (!eventCallback_) return;
  RefPtr<Slider> hold(this);
  EventCallback cb = eventCallback_;
  cb(this, type);
}

void Slider::setPercentByTouch(int p) {
  p = std::clamp(p, 0, 100);
  if (p == percent_) return;
  setPercent(p);
  emitEvent(EventType::ON_PERCENTAGE_CHANGED);
}

bool Slider::onTouchBegan(Touch* touch) {
  if (!Widget::onTouchBegan(touch)) return false;
  if (isTouchStolen()) return true;  // it only stopped a moving scroll view
  RefPtr<Slider> hold(this);
  percentBeforeTouch_ = percent_;
  emitEvent(EventType::ON_SLIDEBALL_DOWN);
  setPercentByTouch(percentAt(touch->getLocation()));
  return true;
}

void Slider::onTouchMoved(Touch* touch) {
  if (touch->getId() != getTrackedTouchId()) return;
  RefPtr<Slider> hold(this);
  if (isTouchStolen()) {
    Widget::onTouchMoved(touch);
    return;
  }
  Widget::onTouchMoved(touch);
  if (isTouchStolen()) {
    // A scroll view took the touch: undo what the touch did.
    setPercentByTouch(percentBeforeTouch_);
    emitEvent(EventType::ON_SLIDEBALL_CANCEL);
    return;
  }
  setPercentByTouch(percentAt(touch->getLocation()));
}

void Slider::onTouchEnded(Touch* touch) {
  if (touch->getId() != getTrackedTouchId()) return;
  RefPtr<Slider> hold(this);
  const bool stolen = isTouchStolen();
  Widget::onTouchEnded(touch);
  if (!stolen) emitEvent(EventType::ON_SLIDEBALL_UP);
}

void Slider::onTouchCancelled(Touch* touch) {
  if (touch->getId() != getTrackedTouchId()) return;
  RefPtr<Slider> hold(this);
  const bool stolen = isTouchStolen();
  Widget::onTouchCancelled(touch);
  if (!stolen) emitEvent(EventType::ON_SLIDEBALL_CANCEL);
}

}  // namespace eng::ui
