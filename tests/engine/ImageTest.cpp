// PNG encode/decode and textures without GL.
#include <gtest/gtest.h>

#include <cstdio>

#include "EngineFixture.h"

using namespace eng;
using enginetest::HeadlessTest;

namespace {

TEST(ImageTest, RoundTripKeepsPixelsAndRowOrder) {
  Image img;
  img.width = 3;
  img.height = 2;
  img.rgba = {255, 0, 0, 255, 0, 255, 0, 128, 0, 0, 255, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
  const std::string path = std::string(TARVO_BINARY_DIR) + "/image_roundtrip.png";
  ASSERT_TRUE(savePng(path, img));
  Image back;
  ASSERT_TRUE(loadPng(path, back));
  EXPECT_EQ(back.width, 3);
  EXPECT_EQ(back.height, 2);
  EXPECT_EQ(back.rgba, img.rgba);
  ASSERT_TRUE(savePng(path, img, true));
  ASSERT_TRUE(loadPng(path, back));
  EXPECT_EQ(back.pixel(1, 0)[3], 255) << "opaque writes force alpha";
  std::remove(path.c_str());
}

TEST(ImageTest, CorruptOrTruncatedDataFailsCleanly) {
  const std::string path = std::string(TARVO_BINARY_DIR) + "/res/PeakIcon.png";
  std::vector<uint8_t> bytes;
  ASSERT_TRUE(readWholeFile(path, bytes));
  Image img;
  std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + long(bytes.size() / 2));
  EXPECT_FALSE(decodePng(cut.data(), cut.size(), img));
  EXPECT_TRUE(img.empty());
  const uint8_t junk[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  EXPECT_FALSE(decodePng(junk, sizeof junk, img));
  EXPECT_FALSE(decodePng(nullptr, 0, img));
}

class TextureTest : public HeadlessTest {};

TEST_F(TextureTest, SubImageUpdatesMarkOnlyTheirRows) {
  Texture2D* t = Texture2D::create();
  std::vector<uint8_t> zero(512 * 256 * 4, 0);
  ASSERT_TRUE(t->initWithData(zero.data(), zero.size(), Texture2D::PixelFormat::RGBA8888, 512, 256, Size(512, 256)));
  EXPECT_FLOAT_EQ(t->getMaxS(), 1);
  std::vector<uint8_t> rows(512 * 10 * 4, 200);
  ASSERT_TRUE(t->updateWithData(rows.data(), 0, 20, 512, 10));
  EXPECT_EQ(t->pixels()[(20 * 512) * 4], 200);
  EXPECT_EQ(t->pixels()[(19 * 512) * 4], 0);
  EXPECT_FALSE(t->updateWithData(rows.data(), 0, 250, 512, 10)) << "out of bounds is refused";
  t->setMaxS(0.5f);
  EXPECT_FLOAT_EQ(t->getMaxS(), 0.5f);
}

TEST_F(TextureTest, SpritesTakeTheImageSizeAndTextureRects) {
  Sprite* s = Sprite::create("WhiteBubbleTextureMap.png");
  ASSERT_NE(s, nullptr);
  const Size full = s->getContentSize();
  EXPECT_GT(full.width, 0);
  s->setTextureRect(Rect(full.width / 2, 0, full.width / 2, full.height / 2));
  EXPECT_EQ(s->getContentSize(), Size(full.width / 2, full.height / 2));
  EXPECT_EQ(Sprite::create("no-such-image.png"), nullptr);
}

}  // namespace
