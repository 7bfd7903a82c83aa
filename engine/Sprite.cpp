#include "engine/Sprite.h"

#include <algorithm>

#include "engine/GLProgram.h"
#include "engine/Renderer.h"
#include "engine/Texture2D.h"

namespace eng {

namespace {
template <class T, class F>
T* build(F&& init) {
  auto* s = T::create();  // autoreleased
  if (!s || !init(s)) return nullptr;
  return s;
}
}  // namespace

// --- Sprite ----------------------------------------------------------------------------------

Sprite* Sprite::create(const std::string& file) {
  return build<Sprite>([&](Sprite* s) { return s->initWithFile(file); });
}
Sprite* Sprite::create(const std::string& file, const Rect& r) {
  return build<Sprite>([&](Sprite* s) { return s->initWithTexture(TextureCache::getInstance()->addImage(file), r); });
}
Sprite* Sprite::createWithTexture(Texture2D* t) {
  if (!t) return nullptr;
  const Size cs = t->getContentSize();
  return createWithTexture(t, Rect(0, 0, cs.width, cs.height));
}
Sprite* Sprite::createWithTexture(Texture2D* t, const Rect& r) {
  return build<Sprite>([&](Sprite* s) { return s->initWithTexture(t, r); });
}

bool Sprite::init() {
  setAnchorPoint(Vec2(0.5f, 0.5f));
  return true;
}

bool Sprite::initWithFile(const std::string& file) {
  Texture2D* t = TextureCache::getInstance()->addImage(file);
  if (!t) return false;
  const Size cs = t->getContentSize();
  return initWithTexture(t, Rect(0, 0, cs.width, cs.height));
}

bool Sprite::initWithTexture(Texture2D* t, const Rect& r) {
  if (!t) return false;
  setAnchorPoint(Vec2(0.5f, 0.5f));
  texture_ = t;
  setTextureRect(r);
  return true;
}

void Sprite::setTexture(Texture2D* t) {
  texture_ = t;
  if (t && rect_.size.width <= 0 && rect_.size.height <= 0) {
    const Size cs = t->getContentSize();
    setTextureRect(Rect(0, 0, cs.width, cs.height));
  }
}

void Sprite::setTextureRect(const Rect& r) {
  rect_ = r;
  setContentSize(r.size);
}

void Sprite::setGLProgramState(GLProgramState* s) { state_ = s; }

void Sprite::draw(Renderer& renderer, const Mat4& transform, uint32_t) {
  if (!texture_) return;
  const Size cs = getContentSize();
  if (cs.width <= 0 || cs.height <= 0) return;
  const float pw = float(texture_->getPixelsWide()), ph = float(texture_->getPixelsHigh());
  float u0 = rect_.getMinX() / pw, u1 = rect_.getMaxX() / pw;
  // Texture row 0 is the image's top row: v grows downwards.
  float vTop = rect_.getMinY() / ph, vBottom = rect_.getMaxY() / ph;
  if (flipX_) std::swap(u0, u1);
  if (flipY_) std::swap(vTop, vBottom);
  const Color4B c(getDisplayedColor(), getDisplayedOpacity());
  BatchCommand& b = renderer.addBatch(this, Primitive::TRIANGLES, transform);
  b.texture = texture_;
  b.programState = state_;
  b.blend = blend_;
  const float w = cs.width, h = cs.height;
  const V2F_C4B_T2F v[6] = {{{0, 0}, c, u0, vBottom}, {{w, 0}, c, u1, vBottom}, {{w, h}, c, u1, vTop},
                            {{0, 0}, c, u0, vBottom}, {{w, h}, c, u1, vTop},    {{0, h}, c, u0, vTop}};
  b.vertices.assign(v, v + 6);
}

// --- Scale9Sprite ----------------------------------------------------------------------------

Scale9Sprite* Scale9Sprite::create(const std::string& file) {
  return build<Scale9Sprite>([&](Scale9Sprite* s) { return s->initWithFile(file); });
}
Scale9Sprite* Scale9Sprite::create(const std::string& file, const Rect& insets) {
  Scale9Sprite* s = create(file);
  if (s) s->setCapInsets(insets);
  return s;
}
Scale9Sprite* Scale9Sprite::createWithTexture(Texture2D* t) {
  return build<Scale9Sprite>([&](Scale9Sprite* s) { return s->initWithTexture(t); });
}

bool Scale9Sprite::init() {
  setAnchorPoint(Vec2(0.5f, 0.5f));
  return true;
}

bool Scale9Sprite::initWithFile(const std::string& file) { return initWithTexture(TextureCache::getInstance()->addImage(file)); }

bool Scale9Sprite::initWithTexture(Texture2D* t) {
  if (!t) return false;
  setAnchorPoint(Vec2(0.5f, 0.5f));
  setTexture(t);
  setContentSize(t->getContentSize());
  return true;
}

void Scale9Sprite::setTexture(Texture2D* t) {
  texture_ = t;
  if (t && !insetsSet_) {
    const Size s = t->getContentSize();
    insets_ = Rect(s.width / 3, s.height / 3, s.width / 3, s.height / 3);
  }
}

Size Scale9Sprite::getOriginalSize() const { return texture_ ? texture_->getContentSize() : Size(); }

void Scale9Sprite::setCapInsets(const Rect& r) {
  const Size o = getOriginalSize();
  // Keep the centre inside the image; an empty rectangle means the default.
  if (r.size.width <= 0 || r.size.height <= 0) {
    insetsSet_ = false;
    insets_ = Rect(o.width / 3, o.height / 3, o.width / 3, o.height / 3);
    return;
  }
  const float x = std::clamp(r.getMinX(), 0.f, o.width), y = std::clamp(r.getMinY(), 0.f, o.height);
  insets_ = Rect(x, y, std::clamp(r.size.width, 0.f, o.width - x), std::clamp(r.size.height, 0.f, o.height - y));
  insetsSet_ = true;
}

float Scale9Sprite::getInsetRight() const { return getOriginalSize().width - insets_.getMaxX(); }
float Scale9Sprite::getInsetBottom() const { return getOriginalSize().height - insets_.getMaxY(); }

void Scale9Sprite::setInsetLeft(float v) {
  const float right = getInsetRight();
  setCapInsets(Rect(v, insets_.getMinY(), getOriginalSize().width - v - right, insets_.size.height));
}
void Scale9Sprite::setInsetRight(float v) {
  setCapInsets(Rect(insets_.getMinX(), insets_.getMinY(), getOriginalSize().width - insets_.getMinX() - v,
                    insets_.size.height));
}
void Scale9Sprite::setInsetTop(float v) {
  const float bottom = getInsetBottom();
  setCapInsets(Rect(insets_.getMinX(), v, insets_.size.width, getOriginalSize().height - v - bottom));
}
void Scale9Sprite::setInsetBottom(float v) {
  setCapInsets(Rect(insets_.getMinX(), insets_.getMinY(), insets_.size.width,
                    getOriginalSize().height - insets_.getMinY() - v));
}

void Scale9Sprite::draw(Renderer& renderer, const Mat4& transform, uint32_t) {
  if (!texture_) return;
  const Size o = getOriginalSize();
  const Size cs = getContentSize();
  if (o.width <= 0 || o.height <= 0 || cs.width <= 0 || cs.height <= 0) return;
  const float pw = float(texture_->getPixelsWide()), ph = float(texture_->getPixelsHigh());
  const Color4B c(getDisplayedColor(), getDisplayedOpacity());
  BatchCommand& b = renderer.addBatch(this, Primitive::TRIANGLES, transform);
  b.texture = texture_;
  b.blend = blend_;
  auto quad = [&](float x0, float y0, float x1, float y1, float u0, float v0, float u1, float v1) {
    // (x, y) in node space bottom-up; (u, v) with v from the top of the image.
    if (x1 <= x0 || y1 <= y0) return;
    const V2F_C4B_T2F q[6] = {{{x0, y0}, c, u0, v1}, {{x1, y0}, c, u1, v1}, {{x1, y1}, c, u1, v0},
                              {{x0, y0}, c, u0, v1}, {{x1, y1}, c, u1, v0}, {{x0, y1}, c, u0, v0}};
    b.vertices.insert(b.vertices.end(), q, q + 6);
  };
  if (!scale9_) {
    quad(0, 0, cs.width, cs.height, 0, 0, o.width / pw, o.height / ph);
    return;
  }
  float l = insets_.getMinX(), r = o.width - insets_.getMaxX();
  float t = insets_.getMinY(), btm = o.height - insets_.getMaxY();
  // A panel smaller than its borders shrinks the borders proportionally.
  if (l + r > cs.width && l + r > 0) {
    const float k = cs.width / (l + r);
    l *= k;
    r *= k;
  }
  if (t + btm > cs.height && t + btm > 0) {
    const float k = cs.height / (t + btm);
    t *= k;
    btm *= k;
  }
  const float xs[4] = {0, l, cs.width - r, cs.width};
  const float ys[4] = {0, btm, cs.height - t, cs.height};  // bottom-up
  const float us[4] = {0, insets_.getMinX() / pw, insets_.getMaxX() / pw, o.width / pw};
  const float vs[4] = {o.height / ph, insets_.getMaxY() / ph, insets_.getMinY() / ph, 0};  // matches ys
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) quad(xs[i], ys[j], xs[i + 1], ys[j + 1], us[i], vs[j + 1], us[i + 1], vs[j]);
}

}  // namespace eng
