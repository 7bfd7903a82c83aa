#include "engine/ui/Text.h"

namespace eng::ui {

Text* Text::create(const std::string& text, const std::string& font, float size) {
  Text* t = create();
  if (!t) return nullptr;
  t->text_ = text;
  t->font_ = font;
  t->fontSize_ = size;
  t->rebuildLabel();
  return t;
}

bool Text::init() {
  if (!Widget::init()) return false;
  rebuildLabel();
  return true;
}

void Text::rebuildLabel() {
  if (label_) removeProtectedChild(label_.get());
  label_.reset();
  if (Label* l = Label::createWithTTF(text_, font_, fontSize_)) {
    l->setAnchorPoint(Vec2(0, 0));
    l->setPosition(0, 0);
    l->setTextColor(textColor_);
    l->setAlignment(hAlign_, vAlign_);
    l->setMaxLineWidth(maxLineWidth_);
    l->setOverflow(overflow_);
    label_ = l;
    addProtectedChild(l, 0);
  }
  contentChanged();
}

void Text::contentChanged() {
  if (label_ && isIgnoreContentAdaptWithSize()) label_->setDimensions(0, 0);
  updateSizeFromContent();
}

void Text::setString(const std::string& text) {
  if (text == text_) return;
  text_ = text;
  if (label_) label_->setString(text);
  contentChanged();
}

void Text::setFontName(const std::string& font) {
  font_ = font;
  if (label_) {
    label_->setFontFile(font);
    contentChanged();
  } else {
    rebuildLabel();
  }
}

void Text::setFontSize(float size) {
  fontSize_ = size;
  if (label_) label_->setFontSize(size);
  contentChanged();
}

void Text::setTextColor(const Color4B& c) {
  textColor_ = c;
  if (label_) label_->setTextColor(c);
}

void Text::setTextHorizontalAlignment(TextHAlignment a) {
  hAlign_ = a;
  if (label_) label_->setHorizontalAlignment(a);
}

void Text::setTextVerticalAlignment(TextVAlignment a) {
  vAlign_ = a;
  if (label_) label_->setVerticalAlignment(a);
}

void Text::setMaxLineWidth(float w) {
  maxLineWidth_ = w;
  if (label_) label_->setMaxLineWidth(w);
  contentChanged();
}

void Text::setOverflow(Label::Overflow o) {
  overflow_ = o;
  if (label_) label_->setOverflow(o);
}

void Text::ignoreContentAdaptWithSize(bool ignore) {
  if (ignore && label_) label_->setDimensions(0, 0);
  Widget::ignoreContentAdaptWithSize(ignore);
}

Size Text::getNaturalSize() const { return label_ ? label_->getContentSize() : Size(); }

void Text::onSizeChanged() {
  if (!label_) return;
  if (!isIgnoreContentAdaptWithSize()) {
    const Size s = getContentSize();
    label_->setDimensions(s.width, s.height);
  }
}

}  // namespace eng::ui
