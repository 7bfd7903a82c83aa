// Button: a push button with up to three images and an optional title.
//
// Look: not bright → the disabled image; else highlighted or pressed → the pressed image; else
// the normal image. A state without an image of its own shows the normal image. With nine-slice
// on, the images keep their corners at any size (cap insets default to the middle third);
// off, they are stretched to the button's size. A button without images is a text-only button
// whose natural size is its title's.
//
// Natural size: the normal image's size (or the title's). Once setContentSize is called the size
// stays explicit, also across loadTextures.
//
// The title is a Label (created on first use, font "fonts/roboto/Roboto-Regular.ttf" at 14
// unless set), anchored at its centre in the middle of the button; it is re-centred when the
// button's size changes, so a caller may place it elsewhere after sizing the button.
// Pressed-action zoom (off by default) scales the images by 1.1 while pressed (the title keeps
// whatever scale its owner gave it).
#pragma once

#include <string>

#include "engine/Label.h"
// Sprite.h needs the texture and program types complete (its RefPtr members).
#include "engine/GLProgram.h"
#include "engine/Texture2D.h"
#include "engine/Sprite.h"
#include "engine/ui/Widget.h"

namespace eng::ui {

class Button : public Widget {
 public:
  enum class Look { NORMAL, PRESSED, DISABLED };

  ENG_CREATE_FUNC(Button)
  // Images by resource name; an empty or missing name leaves that state without an image (a
  // missing file is reported once on stderr by the texture cache).
  static Button* create(const std::string& normal, const std::string& pressed = "", const std::string& disabled = "");
  bool init() override;

  void loadTextures(const std::string& normal, const std::string& pressed, const std::string& disabled);
  void loadTextureNormal(const std::string& file);
  void loadTexturePressed(const std::string& file);
  void loadTextureDisabled(const std::string& file);
  void setScale9Enabled(bool enabled);
  bool isScale9Enabled() const { return scale9_; }
  // Cap insets of all three images, in image pixels from the top-left; an empty rectangle is
  // the default (the middle third).
  void setCapInsets(const Rect& insets);
  const Rect& getCapInsets() const { return insets_; }
  void setBlendFunc(const BlendFunc& blend);

  void setTitleText(const std::string& text);
  const std::string& getTitleText() const { return titleText_; }
  void setTitleFontName(const std::string& fontFile);
  const std::string& getTitleFontName() const { return titleFont_; }
  void setTitleFontSize(float size);
  float getTitleFontSize() const { return titleSize_; }
  void setTitleColor(const Color3B& color);
  const Color3B& getTitleColor() const { return titleColor_; }
  // The title label, created on first use; nullptr when its font cannot be loaded.
  Label* getTitleRenderer();
  // The title label's content size (unscaled); zero without a title.
  Size getTitleSize() const;

  void setPressedActionEnabled(bool enabled);
  bool isPressedActionEnabled() const { return zoomOnPress_; }

  // What the button shows now, by the look rule above.
  Look getLook() const;
  // The image renderers (nullptr for a state without an image).
  Scale9Sprite* getRendererNormal() const { return normal_.get(); }
  Scale9Sprite* getRendererPressed() const { return pressed_.get(); }
  Scale9Sprite* getRendererDisabled() const { return disabled_.get(); }

  Size getNaturalSize() const override;

 public:
  Button() = default;

 protected:
  void onStateChanged() override;
  void onSizeChanged() override;

 private:
  void replaceRenderer(RefPtr<Scale9Sprite>& slot, const std::string& file);
  void ensureTitle();
  void updateLook();

  RefPtr<Scale9Sprite> normal_, pressed_, disabled_;
  RefPtr<Label> title_;
  std::string titleText_;
  std::string titleFont_ = Label::DEFAULT_FONT;
  float titleSize_ = 14;
  Color3B titleColor_ = colors::WHITE;
  Rect insets_;
  BlendFunc blend_;
  bool scale9_ = false;
  bool zoomOnPress_ = false;
};

}  // namespace eng::ui
