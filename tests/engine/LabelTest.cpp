// Label metrics with the build tree's Roboto (FreeType only, no GL).
#include "EngineFixture.h"

using namespace eng;
using enginetest::HeadlessTest;

namespace {

constexpr const char* kRegular = "fonts/roboto/Roboto-Regular.ttf";
constexpr const char* kBold = "fonts/roboto/Roboto-Bold.ttf";

class LabelTest : public HeadlessTest {
 protected:
  float width(const std::string& s, float size = 16, const char* font = kRegular) {
    Label* l = Label::createWithTTF(s, font, size);
    return l ? l->getContentSize().width : -1;
  }
};

TEST_F(LabelTest, BothFontsLoadAndAMissingFontFails) {
  EXPECT_NE(Label::createWithTTF("x", kRegular, 16), nullptr);
  EXPECT_NE(Label::createWithTTF("x", kBold, 16), nullptr);
  EXPECT_EQ(Label::createWithTTF("x", "fonts/none.ttf", 16), nullptr);
  EXPECT_GT(width("Tarvo", 16, kBold), width("Tarvo", 16, kRegular)) << "bold is wider";
}

TEST_F(LabelTest, OneLineIsAsTallAsTheLineHeightAndGrowsWithText) {
  Label* l = Label::createWithTTF("A:XX.XXdBm/div", kRegular, 15);
  ASSERT_NE(l, nullptr);
  EXPECT_FLOAT_EQ(l->getContentSize().height, l->getLineHeight());
  EXPECT_GT(l->getLineHeight(), 15.f);
  EXPECT_LT(l->getLineHeight(), 15.f * 1.5f);
  const float w = l->getContentSize().width;
  EXPECT_GT(w, 80.f);
  EXPECT_LT(w, 140.f);
  l->setString("A:XX.XXdBm/div A:XX.XXdBm/div");
  EXPECT_GT(l->getContentSize().width, 2 * w) << "the content size follows every setString";
  l->setFontSize(30);
  EXPECT_NEAR(l->getContentSize().width / (2 * w), 2.0, 0.25);
}

TEST_F(LabelTest, EveryPrintedSymbolHasAGlyph) {
  FontAtlas* atlas = FontAtlas::get(kRegular, 16);
  ASSERT_NE(atlas, nullptr);
  for (char32_t cp : {U'Δ', U'°', U'∞', U'\u00B5', U'\u03BC', U'@', U'-'}) {
    SCOPED_TRACE(static_cast<unsigned>(cp));
    const GlyphInfo& g = atlas->glyph(cp);
    EXPECT_TRUE(g.valid);
    EXPECT_NE(g.glyphIndex, 0u) << "not the missing-glyph box";
    EXPECT_EQ(g.faceIndex, 0u) << "Roboto has it";
    EXPECT_GT(g.advance, 0);
  }
  // The arrow of the table width samples comes from the fallback font.
  const GlyphInfo& arrow = atlas->glyph(U'\u2B06');
  if (FileUtils::getInstance().isFileExist(Label::FALLBACK_FONT)) {
    EXPECT_EQ(arrow.faceIndex, 1u);
    EXPECT_NE(arrow.glyphIndex, 0u);
  }
  EXPECT_GT(arrow.advance, 0);
  // The text-style variation selector after it takes no room.
  EXPECT_FLOAT_EQ(width("\u2B06\uFE0E"), width("\u2B06"));
  EXPECT_GT(width("ΔHz: 2500 MHz"), width("Hz: 2500 MHz"));
}

TEST_F(LabelTest, NewlinesMakeLinesAndWidthIsTheWidestLine) {
  Label* l = Label::createWithTTF("PEAKS \n(DECAY): ", kRegular, 16);
  ASSERT_NE(l, nullptr);
  EXPECT_EQ(l->getStringNumLines(), 2);
  EXPECT_FLOAT_EQ(l->getContentSize().height, 2 * l->getLineHeight());
  EXPECT_NEAR(l->getContentSize().width, std::max(width("PEAKS "), width("(DECAY): ")), 0.01);
}

TEST_F(LabelTest, WrappingToAWidthGrowsTheHeightAndKeepsLinesInside) {
  const std::string text = "Please setup Mail to send and receive email.";
  Label* l = Label::createWithTTF(text, kRegular, 16, Size(120, 0), TextHAlignment::CENTER);
  ASSERT_NE(l, nullptr);
  EXPECT_FLOAT_EQ(l->getContentSize().width, 120);
  EXPECT_GE(l->getStringNumLines(), 3);
  EXPECT_FLOAT_EQ(l->getContentSize().height, l->getStringNumLines() * l->getLineHeight());
  // A word longer than the width is broken, not left sticking out.
  Label* narrow = Label::createWithTTF("Supercalifragilistic", kRegular, 16, Size(40, 0));
  ASSERT_NE(narrow, nullptr);
  EXPECT_GE(narrow->getStringNumLines(), 3);
}

TEST_F(LabelTest, ShrinkLowersTheSizeUntilTheTextFits) {
  Label* l = Label::createWithTTF("A-very-long-network-name", kRegular, 13, Size(60, 20));
  ASSERT_NE(l, nullptr);
  l->setOverflow(Label::Overflow::SHRINK);
  EXPECT_LT(l->getRenderedFontSize(), 13.f);
  EXPECT_LE(width("A-very-long-network-name", l->getRenderedFontSize()), 60.01f);
  EXPECT_EQ(l->getContentSize(), Size(60, 20));
  l->setString("AP");
  EXPECT_FLOAT_EQ(l->getRenderedFontSize(), 13.f) << "short text keeps its size";
}

TEST_F(LabelTest, MalformedUtf8StillLaysOutEveryByte) {
  const std::string raw = std::string("Cafe\xE9 \xFF\xFE") + "ok";
  Label* l = Label::createWithTTF(raw, kRegular, 16);
  ASSERT_NE(l, nullptr);
  EXPECT_GT(l->getContentSize().width, width("Cafe ok"));
  EXPECT_EQ(decodeUtf8(raw).size(), raw.size()) << "one replacement character per bad byte";
}

TEST_F(LabelTest, EmptyTextHasNoWidthButOneLineOfHeight) {
  Label* l = Label::createWithTTF("", kRegular, 16);
  ASSERT_NE(l, nullptr);
  EXPECT_FLOAT_EQ(l->getContentSize().width, 0);
  EXPECT_FLOAT_EQ(l->getContentSize().height, l->getLineHeight());
}

TEST_F(LabelTest, SystemFontFallsBackToRoboto) {
  Label* l = Label::createWithSystemFont("log line", "", 12);
  ASSERT_NE(l, nullptr);
  EXPECT_EQ(l->getFontFile(), Label::DEFAULT_FONT);
}

TEST(Utf8Test, DecodesValidTextAndReplacesBadBytes) {
  struct Row {
    const char* name;
    std::string in;
    std::u32string out;
  };
  const Row rows[] = {
      {"ascii", "Hz", U"Hz"},
      {"two-byte micro", "\xC2\xB5", U"\u00B5"},
      {"greek mu and delta", "\xCE\xBC\xCE\x94", U"\u03BC\u0394"},
      {"arrow with selector", "\xE2\xAC\x86\xEF\xB8\x8E", U"\u2B06\uFE0E"},
      {"truncated sequence", "\xE2\xAC", U"\uFFFD\uFFFD"},
      {"overlong slash", "\xC0\xAF", U"\uFFFD\uFFFD"},
      {"surrogate", "\xED\xA0\x80", U"\uFFFD\uFFFD\uFFFD"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    EXPECT_EQ(decodeUtf8(r.in), r.out);
  }
}

}  // namespace
