// ImageView: one image, at its own size or stretched / nine-sliced to a set size.
//
// Natural size: the image's size. With nine-slice on, the corners keep their size (cap insets
// default to the middle third); off, the whole image is stretched. A missing image gives an
// empty image view (nothing drawn, size 0), never a null widget.
#pragma once

#include <string>

// Sprite.h needs the texture and program types complete (its RefPtr members).
#include "engine/GLProgram.h"
#include "engine/Texture2D.h"
#include "engine/Sprite.h"
#include "engine/ui/Widget.h"

namespace eng::ui {

class ImageView : public Widget {
 public:
  ENG_CREATE_FUNC(ImageView)
  static ImageView* create(const std::string& file);

  void loadTexture(const std::string& file);
  void setScale9Enabled(bool enabled);
  bool isScale9Enabled() const { return scale9_; }
  // Image pixels from the top-left; an empty rectangle is the default (the middle third).
  void setCapInsets(const Rect& insets);
  Rect getCapInsets() const;
  void setBlendFunc(const BlendFunc& blend);
  // The image renderer; nullptr without an image.
  Scale9Sprite* getVirtualRenderer() const { return image_.get(); }

  Size getNaturalSize() const override;

 public:
  ImageView() = default;

 protected:
  void onSizeChanged() override;

 private:
  RefPtr<Scale9Sprite> image_;
  Rect insets_;
  BlendFunc blend_;
  bool scale9_ = false;
};

}  // namespace eng::ui
