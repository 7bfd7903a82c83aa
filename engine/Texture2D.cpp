#include "engine/Texture2D.h"

#include <GL/glew.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "engine/Image.h"
#include "engine/detail/GLContext.h"
#include "engine/services/FileUtils.h"

namespace eng {

Texture2D* Texture2D::create() {
  auto* t = new Texture2D();
  t->autorelease();
  return t;
}

Texture2D::~Texture2D() {
  if (name_ && generation_ == detail::glGeneration() && detail::glGeneration() != 0) {
    GLuint n = name_;
    glDeleteTextures(1, &n);
  }
}

bool Texture2D::initWithData(const void* data, size_t len, PixelFormat format, int pw, int ph, const Size& cs) {
  if (pw <= 0 || ph <= 0 || pw > 16384 || ph > 16384) return false;
  const size_t bpp = format == PixelFormat::A8 ? 1 : 4;
  const size_t need = size_t(pw) * ph * bpp;
  if (data && len < need) return false;
  format_ = format;
  width_ = pw;
  height_ = ph;
  contentSize_ = cs;
  pixels_.assign(need, 0);
  if (data) std::memcpy(pixels_.data(), data, need);
  maxS_ = cs.width > 0 ? std::min(1.f, cs.width / pw) : 1.f;
  maxT_ = cs.height > 0 ? std::min(1.f, cs.height / ph) : 1.f;
  // A new size or format needs a new GL image: drop the old name's contents.
  if (name_ && generation_ == detail::glGeneration() && detail::glGeneration() != 0) {
    GLuint n = name_;
    glDeleteTextures(1, &n);
  }
  name_ = 0;
  markDirty(0, ph);
  return true;
}

bool Texture2D::initWithImage(const Image& img) {
  if (img.empty()) return false;
  return initWithData(img.rgba.data(), img.rgba.size(), PixelFormat::RGBA8888, img.width, img.height,
                      Size(float(img.width), float(img.height)));
}

bool Texture2D::updateWithData(const void* data, int x, int y, int w, int h) {
  if (!data || w <= 0 || h <= 0 || x < 0 || y < 0 || x + w > width_ || y + h > height_) return false;
  const int bpp = bytesPerPixel();
  const auto* src = static_cast<const uint8_t*>(data);
  for (int row = 0; row < h; ++row)
    std::memcpy(&pixels_[(size_t(y + row) * width_ + x) * bpp], src + size_t(row) * w * bpp, size_t(w) * bpp);
  markDirty(y, y + h);
  return true;
}

void Texture2D::markDirty(int from, int to) {
  if (dirtyFrom_ >= dirtyTo_) {
    dirtyFrom_ = from;
    dirtyTo_ = to;
  } else {
    dirtyFrom_ = std::min(dirtyFrom_, from);
    dirtyTo_ = std::max(dirtyTo_, to);
  }
}

void Texture2D::setAliasTexParameters() {
  linear_ = false;
  paramsDirty_ = true;
}
void Texture2D::setAntiAliasTexParameters() {
  linear_ = true;
  paramsDirty_ = true;
}

unsigned Texture2D::bind(int unit) {
  if (detail::glGeneration() == 0 || width_ <= 0) return 0;
  glActiveTexture(GL_TEXTURE0 + unit);
  const GLenum fmt = format_ == PixelFormat::A8 ? GL_ALPHA : GL_RGBA;
  if (!name_ || generation_ != detail::glGeneration()) {
    GLuint n = 0;
    glGenTextures(1, &n);
    name_ = n;
    generation_ = detail::glGeneration();
    glBindTexture(GL_TEXTURE_2D, name_);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, GLint(fmt), width_, height_, 0, fmt, GL_UNSIGNED_BYTE, pixels_.data());
    dirtyFrom_ = dirtyTo_ = 0;
    paramsDirty_ = true;
  } else {
    glBindTexture(GL_TEXTURE_2D, name_);
  }
  if (dirtyTo_ > dirtyFrom_) {
    // Only the rows that changed since the last upload.
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, dirtyFrom_, width_, dirtyTo_ - dirtyFrom_, fmt, GL_UNSIGNED_BYTE,
                    &pixels_[size_t(dirtyFrom_) * width_ * bytesPerPixel()]);
    dirtyFrom_ = dirtyTo_ = 0;
  }
  if (paramsDirty_) {
    const GLint f = linear_ ? GL_LINEAR : GL_NEAREST;
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, f);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, f);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    paramsDirty_ = false;
  }
  return name_;
}

// --- TextureCache ----------------------------------------------------------------------------

TextureCache* TextureCache::getInstance() {
  static TextureCache* c = new TextureCache();
  return c;
}

Texture2D* TextureCache::addImage(const std::string& file) {
  const std::string path = FileUtils::getInstance().fullPathForFilename(file);
  if (path.empty()) {
    std::fprintf(stderr, "TextureCache: image not found: %s\n", file.c_str());
    return nullptr;
  }
  auto it = textures_.find(path);
  if (it != textures_.end()) return it->second.get();
  Image img;
  std::string err;
  if (!loadPng(path, img, &err)) {
    std::fprintf(stderr, "TextureCache: cannot decode %s: %s\n", path.c_str(), err.c_str());
    return nullptr;
  }
  Texture2D* t = Texture2D::create();
  if (!t->initWithImage(img)) return nullptr;
  textures_[path] = t;
  return t;
}

Texture2D* TextureCache::getTextureForKey(const std::string& file) const {
  const std::string path = FileUtils::getInstance().fullPathForFilename(file);
  auto it = textures_.find(path);
  return it == textures_.end() ? nullptr : it->second.get();
}

void TextureCache::removeAllTextures() { textures_.clear(); }

}  // namespace eng
