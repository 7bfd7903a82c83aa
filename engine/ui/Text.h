// Text: a Label as a widget (so it takes layout parameters, states and cascading opacity).
//
// Natural size: the measured text. With an explicit size (setContentSize, or
// ignoreContentAdaptWithSize(false) keeping the current one) the text is laid out in that box
// with the set alignments and no longer adapts to its string. A font that cannot be loaded
// gives an empty text widget (size 0), never a null one.
#pragma once

#include <string>

#include "engine/Label.h"
#include "engine/ui/Widget.h"

namespace eng::ui {

class Text : public Widget {
 public:
  ENG_CREATE_FUNC(Text)
  static Text* create(const std::string& text, const std::string& fontFile, float fontSize);
  bool init() override;

  void setString(const std::string& text);
  const std::string& getString() const { return text_; }
  void setFontName(const std::string& fontFile);
  const std::string& getFontName() const { return font_; }
  void setFontSize(float size);
  float getFontSize() const { return fontSize_; }
  void setTextColor(const Color4B& color);
  const Color4B& getTextColor() const { return textColor_; }
  void setTextHorizontalAlignment(TextHAlignment a);
  TextHAlignment getTextHorizontalAlignment() const { return hAlign_; }
  void setTextVerticalAlignment(TextVAlignment a);
  TextVAlignment getTextVerticalAlignment() const { return vAlign_; }
  // Wraps at this width (0: no wrapping); the natural height grows with the lines.
  void setMaxLineWidth(float width);
  void setOverflow(Label::Overflow overflow);
  // The label; nullptr when the font cannot be loaded.
  Label* getVirtualRenderer() const { return label_.get(); }

  void ignoreContentAdaptWithSize(bool ignore) override;
  Size getNaturalSize() const override;

 public:
  Text() = default;

 protected:
  void onSizeChanged() override;

 private:
  void rebuildLabel();
  void contentChanged();

  RefPtr<Label> label_;
  std::string text_;
  std::string font_ = Label::DEFAULT_FONT;
  float fontSize_ = 12;
  Color4B textColor_;
  TextHAlignment hAlign_ = TextHAlignment::LEFT;
  TextVAlignment vAlign_ = TextVAlignment::TOP;
  float maxLineWidth_ = 0;
  Label::Overflow overflow_ = Label::Overflow::NONE;
};

}  // namespace eng::ui
