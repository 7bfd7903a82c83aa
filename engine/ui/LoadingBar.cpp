#include "engine/ui/LoadingBar.h"

#include <algorithm>
#include <cmath>

namespace eng::ui {

LoadingBar* LoadingBar::create(const std::string& texture, float percent) {
  LoadingBar* b = create();
  if (!b) return nullptr;
  b->loadTexture(texture);
  b->setPercent(percent);
  return b;
}

void LoadingBar::loadTexture(const std::string& file) {
  if (bar_) removeProtectedChild(bar_.get());
  bar_.reset();
  if (!file.empty()) {
    if (Scale9Sprite* s = Scale9Sprite::create(file)) {
      s->setScale9Enabled(scale9_);
      if (insets_.size.width > 0 && insets_.size.height > 0) s->setCapInsets(insets_);
      bar_ = s;
      addProtectedChild(s, -1);
    }
  }
  updateSizeFromContent();
}

void LoadingBar::setScale9Enabled(bool e) {
  scale9_ = e;
  if (bar_) bar_->setScale9Enabled(e);
}

void LoadingBar::setCapInsets(const Rect& insets) {
  insets_ = insets;
  if (bar_) bar_->setCapInsets(insets);
}

void LoadingBar::setPercent(float p) {
  if (std::isnan(p)) p = 0;
  percent_ = std::clamp(p, 0.f, 100.f);
  layoutBar();
}

void LoadingBar::setDirection(Direction d) {
  direction_ = d;
  layoutBar();
}

Size LoadingBar::getNaturalSize() const { return bar_ ? bar_->getOriginalSize() : Size(); }

void LoadingBar::layoutBar() {
  if (!bar_) return;
  const Size s = getContentSize();
  const float w = s.width * percent_ / 100.f;
  const bool left = direction_ == Direction::LEFT;
  bar_->setAnchorPoint(Vec2(left ? 0.f : 1.f, 0.5f));
  bar_->setPosition(left ? 0.f : s.width, s.height * 0.5f);
  bar_->setContentSize(Size(w, s.height));
  bar_->setVisible(w > 0);
}

}  // namespace eng::ui
