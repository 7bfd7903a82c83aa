// LoadingBar: an image filled to a percent 0 … 100 from the left (or the right).
//
// The filled part is the image nine-sliced (or stretched) to (width × percent ÷ 100, height);
// the rest is empty. Natural size: the image's. Colour and opacity tint the fill.
#pragma once

#include <string>

// Sprite.h needs the texture and program types complete (its RefPtr members).
#include "engine/GLProgram.h"
#include "engine/Texture2D.h"
#include "engine/Sprite.h"
#include "engine/ui/Widget.h"

namespace eng::ui {

class LoadingBar : public Widget {
 public:
  enum class Direction { LEFT, RIGHT };

  ENG_CREATE_FUNC(LoadingBar)
  static LoadingBar* create(const std::string& texture, float percent = 0);

  void loadTexture(const std::string& file);
  void setScale9Enabled(bool enabled);
  bool isScale9Enabled() const { return scale9_; }
  void setCapInsets(const Rect& insets);
  // Clamped to 0 … 100.
  void setPercent(float percent);
  float getPercent() const { return percent_; }
  void setDirection(Direction d);
  Direction getDirection() const { return direction_; }
  // The fill renderer; nullptr without an image.
  Scale9Sprite* getVirtualRenderer() const { return bar_.get(); }

  Size getNaturalSize() const override;

 public:
  LoadingBar() = default;

 protected:
  void onSizeChanged() override { layoutBar(); }

 private:
  void layoutBar();

  RefPtr<Scale9Sprite> bar_;
  Rect insets_;
  float percent_ = 0;
  Direction direction_ = Direction::LEFT;
  bool scale9_ = false;
};

}  // namespace eng::ui
