// Sprites: textured quads (Sprite) and nine-slice panels (Scale9Sprite).
//
// A sprite's texture rectangle is in texture pixels from the top-left; its content size is the
// rectangle's size, so a sprite made from a file is as big as the image. Vertex colour is the
// displayed colour with the displayed opacity as alpha (straight alpha, blended SRC_ALPHA /
// ONE_MINUS_SRC_ALPHA unless set otherwise). A program state replaces the built-in program.
#pragma once

#include <string>

#include "engine/Node.h"

namespace eng {

class Texture2D;
class GLProgramState;

class Sprite : public Node {
 public:
  ENG_CREATE_FUNC(Sprite)
  // nullptr when the image is missing or unreadable.
  static Sprite* create(const std::string& file);
  static Sprite* create(const std::string& file, const Rect& rectInPixels);
  static Sprite* createWithTexture(Texture2D* texture);
  static Sprite* createWithTexture(Texture2D* texture, const Rect& rectInPixels);

  bool init() override;
  virtual bool initWithFile(const std::string& file);
  virtual bool initWithTexture(Texture2D* texture, const Rect& rectInPixels);

  void setTexture(Texture2D* texture);
  Texture2D* getTexture() const { return texture_.get(); }
  // Changes the part of the texture shown; the content size follows.
  void setTextureRect(const Rect& rectInPixels);
  const Rect& getTextureRect() const { return rect_; }
  void setFlippedX(bool f) { flipX_ = f; }
  void setFlippedY(bool f) { flipY_ = f; }
  void setBlendFunc(const BlendFunc& b) { blend_ = b; }
  const BlendFunc& getBlendFunc() const { return blend_; }
  void setGLProgramState(GLProgramState* state);
  GLProgramState* getGLProgramState() const { return state_.get(); }

  void draw(Renderer& renderer, const Mat4& transform, uint32_t flags) override;

 private:
  RefPtr<Texture2D> texture_;
  RefPtr<GLProgramState> state_;
  Rect rect_;
  BlendFunc blend_;
  bool flipX_ = false, flipY_ = false;
};

// A panel drawn from nine parts of an image: the corners keep their size, the edges stretch
// along one axis and the centre along both. Cap insets are the centre part of the image in
// pixels from the top-left (default: the middle third each way).
class Scale9Sprite : public Node {
 public:
  ENG_CREATE_FUNC(Scale9Sprite)
  static Scale9Sprite* create(const std::string& file);
  static Scale9Sprite* create(const std::string& file, const Rect& capInsets);
  static Scale9Sprite* createWithTexture(Texture2D* texture);

  bool init() override;
  virtual bool initWithFile(const std::string& file);
  virtual bool initWithTexture(Texture2D* texture);

  void setCapInsets(const Rect& insetsInPixels);
  const Rect& getCapInsets() const { return insets_; }
  // Border widths: left/right/top/bottom parts that do not stretch.
  void setInsetLeft(float v);
  void setInsetRight(float v);
  void setInsetTop(float v);
  void setInsetBottom(float v);
  float getInsetLeft() const { return insets_.getMinX(); }
  float getInsetRight() const;
  float getInsetTop() const { return insets_.getMinY(); }
  float getInsetBottom() const;
  void setPreferredSize(const Size& s) { setContentSize(s); }
  Size getPreferredSize() const { return getContentSize(); }
  Size getOriginalSize() const;
  // Off: the image is stretched as a whole.
  void setScale9Enabled(bool e) { scale9_ = e; }
  bool isScale9Enabled() const { return scale9_; }
  void setTexture(Texture2D* texture);
  Texture2D* getTexture() const { return texture_.get(); }
  void setBlendFunc(const BlendFunc& b) { blend_ = b; }

  void draw(Renderer& renderer, const Mat4& transform, uint32_t flags) override;

 private:
  RefPtr<Texture2D> texture_;
  Rect insets_;
  bool insetsSet_ = false;
  bool scale9_ = true;
  BlendFunc blend_;
};

}  // namespace eng
