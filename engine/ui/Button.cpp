#include "engine/ui/Button.h"

#include "engine/Texture2D.h"

namespace eng::ui {

namespace {
constexpr float kPressedZoom = 1.1f;
}

Button* Button::create(const std::string& normal, const std::string& pressed, const std::string& disabled) {
  Button* b = create();
  if (b) b->loadTextures(normal, pressed, disabled);
  return b;
}

bool Button::init() {
  if (!Widget::init()) return false;
  setTouchEnabled(true);
  return true;
}

void Button::replaceRenderer(RefPtr<Scale9Sprite>& slot, const std::string& file) {
  if (slot) removeProtectedChild(slot.get());
  slot.reset();
  if (file.empty()) return;
  Scale9Sprite* s = Scale9Sprite::create(file);
  if (!s) return;
  s->setScale9Enabled(scale9_);
  if (insets_.size.width > 0 && insets_.size.height > 0) s->setCapInsets(insets_);
  s->setBlendFunc(blend_);
  slot = s;
  addProtectedChild(s, -1);
}

void Button::loadTextures(const std::string& normal, const std::string& pressed, const std::string& disabled) {
  replaceRenderer(normal_, normal);
  replaceRenderer(pressed_, pressed);
  replaceRenderer(disabled_, disabled);
  updateSizeFromContent();
  updateLook();
}

void Button::loadTextureNormal(const std::string& file) {
  replaceRenderer(normal_, file);
  updateSizeFromContent();
  updateLook();
}

void Button::loadTexturePressed(const std::string& file) {
  replaceRenderer(pressed_, file);
  onSizeChanged();
  updateLook();
}

void Button::loadTextureDisabled(const std::string& file) {
  replaceRenderer(disabled_, file);
  onSizeChanged();
  updateLook();
}

void Button::setScale9Enabled(bool e) {
  scale9_ = e;
  for (auto* r : {normal_.get(), pressed_.get(), disabled_.get()})
    if (r) r->setScale9Enabled(e);
}

void Button::setCapInsets(const Rect& insets) {
  insets_ = insets;
  for (auto* r : {normal_.get(), pressed_.get(), disabled_.get()})
    if (r) r->setCapInsets(insets);
}

void Button::setBlendFunc(const BlendFunc& b) {
  blend_ = b;
  for (auto* r : {normal_.get(), pressed_.get(), disabled_.get()})
    if (r) r->setBlendFunc(b);
}

// --- title -----------------------------------------------------------------------------------

void Button::ensureTitle() {
  if (title_) return;
  Label* l = Label::createWithTTF(titleText_, titleFont_, titleSize_);
  if (!l) return;
  l->setTextColor(Color4B(titleColor_, 255));
  title_ = l;
  addProtectedChild(l, 1);
  const Size s = getContentSize();
  l->setPosition(s.width * 0.5f, s.height * 0.5f);
}

void Button::setTitleText(const std::string& text) {
  titleText_ = text;
  ensureTitle();
  if (title_) title_->setString(text);
  if (!normal_) updateSizeFromContent();
}

void Button::setTitleFontName(const std::string& font) {
  titleFont_ = font;
  if (title_) title_->setFontFile(font);
  else ensureTitle();
  if (!normal_) updateSizeFromContent();
}

void Button::setTitleFontSize(float size) {
  titleSize_ = size;
  if (title_) title_->setFontSize(size);
  else ensureTitle();
  if (!normal_) updateSizeFromContent();
}

void Button::setTitleColor(const Color3B& c) {
  titleColor_ = c;
  if (title_) title_->setTextColor(Color4B(c, 255));
}

Label* Button::getTitleRenderer() {
  ensureTitle();
  return title_.get();
}

Size Button::getTitleSize() const { return title_ && !titleText_.empty() ? title_->getContentSize() : Size(); }

// --- look ------------------------------------------------------------------------------------

void Button::setPressedActionEnabled(bool e) {
  zoomOnPress_ = e;
  updateLook();
}

Button::Look Button::getLook() const {
  if (!isBright()) return Look::DISABLED;
  if (isHighlighted() || isPressed()) return Look::PRESSED;
  return Look::NORMAL;
}

void Button::updateLook() {
  const Look look = getLook();
  Scale9Sprite* shown = normal_.get();
  if (look == Look::DISABLED && disabled_) shown = disabled_.get();
  if (look == Look::PRESSED && pressed_) shown = pressed_.get();
  const float zoom = zoomOnPress_ && isPressed() ? kPressedZoom : 1.f;
  for (auto* r : {normal_.get(), pressed_.get(), disabled_.get()})
    if (r) {
      r->setVisible(r == shown);
      r->setScale(zoom);
    }
}

void Button::onStateChanged() { updateLook(); }

Size Button::getNaturalSize() const {
  if (normal_) return normal_->getOriginalSize();
  return getTitleSize();
}

void Button::onSizeChanged() {
  const Size s = getContentSize();
  for (auto* r : {normal_.get(), pressed_.get(), disabled_.get()})
    if (r) {
      r->setPosition(s.width * 0.5f, s.height * 0.5f);
      r->setContentSize(s);
    }
  if (title_) title_->setPosition(s.width * 0.5f, s.height * 0.5f);
}

}  // namespace eng::ui
