// Text: TrueType labels through FreeType, glyphs packed into alpha atlases per font file and
// pixel size (shared by every label of that font and size).
//
// Layout: UTF-8 text (malformed bytes show as U+FFFD), lines split at "\n", optionally wrapped
// to a width at spaces (a word longer than the width is broken between characters). The content
// size is the widest line × (number of lines × line height), or the fixed dimensions when set.
// Lines are aligned left, centred or right within the content width; with fixed dimensions the
// block is aligned top, centre or bottom. Overflow SHRINK lowers the font size until the text
// fits the dimensions. Characters the font lacks are taken from the fallback font
// "fonts/fallback/DejaVuSans.ttf" when it exists; variation selectors take no space.
//
// Colour: the text colour (with its own alpha) × the node's displayed colour and opacity.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine/Node.h"

namespace eng {

class Texture2D;

enum class TextHAlignment { LEFT, CENTER, RIGHT };
enum class TextVAlignment { TOP, CENTER, BOTTOM };

struct GlyphInfo {
  bool valid = false;
  int page = 0;
  int x = 0, y = 0, width = 0, height = 0;  // in the atlas, pixels from the top-left
  float bearingX = 0, bearingY = 0;         // from the pen position on the baseline to the bitmap's top-left
  float advance = 0;
  unsigned faceIndex = 0;  // 0 primary, 1 fallback
  unsigned glyphIndex = 0;
};

// One font file at one pixel size, with its glyph atlas pages.
class FontAtlas {
 public:
  static constexpr int PAGE_SIZE = 1024;
  // nullptr when the file is missing or not a font.
  static FontAtlas* get(const std::string& fontFile, int pixelSize);
  static void releaseAll();

  const GlyphInfo& glyph(char32_t cp);
  float kerning(const GlyphInfo& left, const GlyphInfo& right) const;
  float lineHeight() const { return lineHeight_; }
  float ascender() const { return ascender_; }
  float descender() const { return descender_; }
  int pixelSize() const { return pixelSize_; }
  Texture2D* page(int i) const;
  size_t pageCount() const { return pages_.size(); }
  ~FontAtlas();

 private:
  FontAtlas() = default;
  struct Impl;
  std::unique_ptr<Impl> impl_;
  std::map<char32_t, GlyphInfo> glyphs_;
  std::vector<RefPtr<Texture2D>> pages_;
  int pixelSize_ = 0;
  float lineHeight_ = 0, ascender_ = 0, descender_ = 0;
  int penX_ = 1, penY_ = 1, rowHeight_ = 0;
};

class Label : public Node {
 public:
  enum class Overflow { NONE, CLAMP, SHRINK };

  static Label* create();
  // nullptr when the font cannot be loaded.
  static Label* createWithTTF(const std::string& text, const std::string& fontFile, float fontSize,
                              const Size& dimensions = Size(), TextHAlignment h = TextHAlignment::LEFT,
                              TextVAlignment v = TextVAlignment::TOP);
  // A named system font: a font file of that name when it exists, else Roboto Regular.
  static Label* createWithSystemFont(const std::string& text, const std::string& fontName, float fontSize,
                                     const Size& dimensions = Size(), TextHAlignment h = TextHAlignment::LEFT,
                                     TextVAlignment v = TextVAlignment::TOP);
  static constexpr const char* DEFAULT_FONT = "fonts/roboto/Roboto-Regular.ttf";
  static constexpr const char* FALLBACK_FONT = "fonts/fallback/DejaVuSans.ttf";

  bool init() override;
  bool initWithTTF(const std::string& text, const std::string& fontFile, float fontSize, const Size& dimensions,
                   TextHAlignment h, TextVAlignment v);

  void setString(const std::string& text);
  const std::string& getString() const { return text_; }
  void setFontFile(const std::string& file);
  const std::string& getFontFile() const { return fontFile_; }
  void setFontSize(float size);
  float getFontSize() const { return fontSize_; }
  // The size actually used after shrinking.
  float getRenderedFontSize() const { return renderedSize_; }
  void setTextColor(const Color4B& c) { textColor_ = c; }
  const Color4B& getTextColor() const { return textColor_; }
  void setDimensions(float width, float height);
  Size getDimensions() const { return dimensions_; }
  // Wraps to `width` (0: no wrapping); the height follows the text.
  void setMaxLineWidth(float width);
  void setAlignment(TextHAlignment h) { setHorizontalAlignment(h); }
  void setAlignment(TextHAlignment h, TextVAlignment v) { setHorizontalAlignment(h); setVerticalAlignment(v); }
  void setHorizontalAlignment(TextHAlignment h);
  void setVerticalAlignment(TextVAlignment v);
  TextHAlignment getHorizontalAlignment() const { return hAlign_; }
  void setOverflow(Overflow o);
  Overflow getOverflow() const { return overflow_; }
  void setLineSpacing(float extra);
  int getStringNumLines() const { return lines_; }
  float getLineHeight() const;

  // Layout runs in every setter, so the content size is always current. Setting the content
  // size by hand fixes the dimensions.
  void setContentSize(const Size& s) override;
  void draw(Renderer& renderer, const Mat4& transform, uint32_t flags) override;

 protected:
  Label() = default;

 private:
  struct Quad {
    int page;
    Rect box;   // node space
    Rect uv;    // texture space (v from the top)
  };
  void markDirty() { layout(); }
  void layout();
  bool layoutAt(FontAtlas* atlas, bool measureOnly);

  std::string text_;
  std::string fontFile_;
  float fontSize_ = 12;
  float renderedSize_ = 12;
  Color4B textColor_;
  Size dimensions_;
  float maxLineWidth_ = 0;
  float lineSpacing_ = 0;
  TextHAlignment hAlign_ = TextHAlignment::LEFT;
  TextVAlignment vAlign_ = TextVAlignment::TOP;
  Overflow overflow_ = Overflow::NONE;
  bool inLayout_ = false;
  int lines_ = 0;
  std::vector<Quad> quads_;
  FontAtlas* atlas_ = nullptr;
};

}  // namespace eng
