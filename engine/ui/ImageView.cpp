#include "engine/ui/ImageView.h"

namespace eng::ui {

ImageView* ImageView::create(const std::string& file) {
  ImageView* v = create();
  if (v) v->loadTexture(file);
  return v;
}

void ImageView::loadTexture(const std::string& file) {
  if (image_) removeProtectedChild(image_.get());
  image_.reset();
  if (!file.empty()) {
    if (Scale9Sprite* s = Scale9Sprite::create(file)) {
      s->setScale9Enabled(scale9_);
      if (insets_.size.width > 0 && insets_.size.height > 0) s->setCapInsets(insets_);
      s->setBlendFunc(blend_);
      image_ = s;
      addProtectedChild(s, -1);
    }
  }
  updateSizeFromContent();
}

void ImageView::setScale9Enabled(bool e) {
  scale9_ = e;
  if (image_) image_->setScale9Enabled(e);
}

void ImageView::setCapInsets(const Rect& insets) {
  insets_ = insets;
  if (image_) image_->setCapInsets(insets);
}

Rect ImageView::getCapInsets() const { return image_ ? image_->getCapInsets() : insets_; }

void ImageView::setBlendFunc(const BlendFunc& b) {
  blend_ = b;
  if (image_) image_->setBlendFunc(b);
}

Size ImageView::getNaturalSize() const { return image_ ? image_->getOriginalSize() : Size(); }

void ImageView::onSizeChanged() {
  if (!image_) return;
  const Size s = getContentSize();
  image_->setPosition(s.width * 0.5f, s.height * 0.5f);
  image_->setContentSize(s);
}

}  // namespace eng::ui
