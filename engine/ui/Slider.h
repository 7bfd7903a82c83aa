// Slider: a horizontal bar with a progress part and a ball, set to an integer percent 0 … 100.
//
// The bar fills the slider (nine-slice or stretched); the progress bar covers its left
// percent; the ball is centred at x = width × percent ÷ 100 on the bar's middle line (normal,
// pressed and disabled ball images follow the button look rule). Natural size: the bar image's.
//
// Touches: a touch on the bar or the ball moves the ball there at once, and every move
// follows the finger (also outside the slider, clamped to 0 … 100); percent = round(x ÷ width ×
// 100). Each change made by a touch is reported as ON_PERCENTAGE_CHANGED (setPercent by code
// reports nothing). Inside a vertical scroll view a mostly vertical drag scrolls instead: the
// slider then returns to the percent it had before the touch (reporting that change too).
#pragma once

#include <functional>
#include <string>

// Sprite.h needs the texture and program types complete (its RefPtr members).
#include "engine/GLProgram.h"
#include "engine/Texture2D.h"
#include "engine/Sprite.h"
#include "engine/ui/Widget.h"

namespace eng::ui {

class Slider : public Widget {
 public:
  enum class EventType { ON_PERCENTAGE_CHANGED, ON_SLIDEBALL_DOWN, ON_SLIDEBALL_UP, ON_SLIDEBALL_CANCEL };
  using EventCallback = std::function<void(Ref* sender, EventType type)>;

  ENG_CREATE_FUNC(Slider)
  static Slider* create(const std::string& bar, const std::string& ball, const std::string& progress = "");
  bool init() override;

  void loadBarTexture(const std::string& file);
  void loadProgressBarTexture(const std::string& file);
  void loadSlidBallTextures(const std::string& normal, const std::string& pressed = "", const std::string& disabled = "");
  void setScale9Enabled(bool enabled);
  bool isScale9Enabled() const { return scale9_; }
  // Cap insets of the bar and the progress bar (image pixels from the top-left).
  void setCapInsets(const Rect& insets);

  void setPercent(int percent);
  int getPercent() const { return percent_; }
  // The percent a touch at this world point gives.
  int percentAt(const Vec2& worldPoint) const;
  void addEventListener(EventCallback callback) { eventCallback_ = std::move(callback); }

  Scale9Sprite* getBarRenderer() const { return bar_.get(); }
  Scale9Sprite* getProgressBarRenderer() const { return progress_.get(); }
  // The ball image shown now.
  Sprite* getBallRenderer() const;

  Size getNaturalSize() const override;
  // The bar's rectangle and the ball's, together.
  bool hitTest(const Vec2& worldPoint) const override;

 public:
  Slider() = default;

 protected:
  bool onTouchBegan(Touch* touch) override;
  void onTouchMoved(Touch* touch) override;
  void onTouchEnded(Touch* touch) override;
  void onTouchCancelled(Touch* touch) override;
  void onStateChanged() override;
  void onSizeChanged() override;

 private:
  void replaceBar(RefPtr<Scale9Sprite>& slot, const std::string& file, int z);
  void replaceBall(RefPtr<Sprite>& slot, const std::string& file);
  void layoutParts();
  void setPercentByTouch(int percent);
  void emitEvent(EventType type);

  RefPtr<Scale9Sprite> bar_, progress_;
  RefPtr<Sprite> ballNormal_, ballPressed_, ballDisabled_;
  EventCallback eventCallback_;
  Rect insets_;
  int percent_ = 0;
  int percentBeforeTouch_ = 0;
  bool scale9_ = false;
};

}  // namespace eng::ui
