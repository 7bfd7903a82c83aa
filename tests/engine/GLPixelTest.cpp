// Pixels read back from an offscreen 960 × 640 framebuffer (Mesa llvmpipe under Xvfb).
#include <gtest/gtest.h>

#include <GL/glew.h>

#include <cstdio>
#include <cstdlib>

#include "engine/Engine.h"
#include "engine/demo/ContactSheet.h"

using namespace eng;

namespace {

class GLTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    FileUtils::getInstance().setResourceRoot(TARVO_BINARY_DIR);
    view_ = GLView::createOffscreen(Size(960, 640));
  }
  static void TearDownTestSuite() {
    Director::getInstance()->reset();
    view_.reset();
  }
  void SetUp() override {
    ASSERT_TRUE(view_) << "no GL context (is an X display reachable?)";
    Director::getInstance()->setOpenGLView(view_.get());
    scene = Scene::create();
    Director::getInstance()->runWithScene(scene);
  }
  void TearDown() override { Director::getInstance()->reset(true); }

  // Renders one frame and reads the whole frame back.
  Image frame() {
    Image img;
    Director::getInstance()->requestCapture([&](const Image& f) { img = f; });
    Director::getInstance()->stepFrame(1.f / 60);
    return img;
  }
  // Pixel at (x, y) in points, y from the bottom.
  static const uint8_t* at(const Image& img, int x, int y) { return img.pixel(x, img.height - 1 - y); }
  static bool near(const uint8_t* p, int r, int g, int b, int tol = 3) {
    return std::abs(p[0] - r) <= tol && std::abs(p[1] - g) <= tol && std::abs(p[2] - b) <= tol;
  }
  static int brightIn(const Image& img, Rect r, int threshold = 128) {
    int n = 0;
    for (int y = int(r.getMinY()); y < int(r.getMaxY()); ++y)
      for (int x = int(r.getMinX()); x < int(r.getMaxX()); ++x)
        if (at(img, x, y)[0] > threshold) ++n;
    return n;
  }

  static inline RefPtr<GLView> view_;
  Scene* scene = nullptr;
};

#define EXPECT_PIXEL(img, x, y, r, g, b)                                                       \
  do {                                                                                        \
    const uint8_t* p_ = at(img, x, y);                                                        \
    EXPECT_TRUE(near(p_, r, g, b)) << "at (" << (x) << ", " << (y) << "): " << int(p_[0]) << "," \
                                   << int(p_[1]) << "," << int(p_[2]);                         \
  } while (0)

TEST_F(GLTest, ContextIsACompatibilityProfile) {
  EXPECT_NE(view_->glVersion().find("Compatibility"), std::string::npos) << view_->glVersion();
  const Image img = frame();
  EXPECT_EQ(img.width, 960);
  EXPECT_EQ(img.height, 640);
  EXPECT_PIXEL(img, 10, 10, 0, 0, 0);
}

TEST_F(GLTest, SpriteShowsTextureRowZeroAtTheTopWithOpacityAndTint) {
  // 2 × 2 texture: top row red, bottom row green.
  const uint8_t px[16] = {255, 0, 0, 255, 255, 0, 0, 255, 0, 255, 0, 255, 0, 255, 0, 255};
  Texture2D* t = Texture2D::create();
  ASSERT_TRUE(t->initWithData(px, sizeof px, Texture2D::PixelFormat::RGBA8888, 2, 2, Size(2, 2)));
  t->setAliasTexParameters();
  Sprite* s = Sprite::createWithTexture(t);
  s->setScale(50);  // 100 × 100 centred on (200, 200)
  s->setPosition(200, 200);
  scene->addChild(s);
  Sprite* dim = Sprite::createWithTexture(t);
  dim->setScale(50);
  dim->setPosition(600, 200);
  dim->setOpacity(128);
  dim->setColor(Color3B(255, 255, 0));
  scene->addChild(dim);
  Image img = frame();
  EXPECT_PIXEL(img, 200, 230, 255, 0, 0);
  EXPECT_PIXEL(img, 200, 170, 0, 255, 0);
  EXPECT_PIXEL(img, 200, 260, 0, 0, 0);  // outside
  EXPECT_PIXEL(img, 600, 230, 128, 0, 0);
  // A negative y scale turns it upside down.
  s->setScaleY(-50);
  img = frame();
  EXPECT_PIXEL(img, 200, 230, 0, 255, 0);
  // Sub-image updates show on the next frame.
  const uint8_t blue[8] = {0, 0, 255, 255, 0, 0, 255, 255};
  t->updateWithData(blue, 0, 1, 2, 1);
  img = frame();
  EXPECT_PIXEL(img, 200, 230, 0, 0, 255);
}

TEST_F(GLTest, NestedScissorsClipToTheirIntersection) {
  class Clip : public Node {
   public:
    Rect r;
    void visit(Renderer& renderer, const Mat4& t, uint32_t f) override {
      renderer.pushScissor(r, this);
      Node::visit(renderer, t, f);
      renderer.popScissor(this);
    }
  };
  auto* outer = new Clip();
  outer->autorelease();
  outer->r = Rect(100, 100, 200, 200);
  auto* inner = new Clip();
  inner->autorelease();
  inner->r = Rect(150, 50, 200, 100);
  scene->addChild(outer);
  outer->addChild(inner);
  inner->addChild(LayerColor::create(Color4B(255, 255, 255, 255)));
  // After the clipped subtree, drawing is unclipped again.
  LayerColor* after = LayerColor::create(Color4B(0, 0, 255, 255), 20, 20);
  after->setPosition(900, 600);
  scene->addChild(after, 5);
  const Image img = frame();
  EXPECT_PIXEL(img, 200, 120, 255, 255, 255);  // inside both
  EXPECT_PIXEL(img, 120, 120, 0, 0, 0);        // outer only
  EXPECT_PIXEL(img, 200, 170, 0, 0, 0);        // outer only (above inner)
  EXPECT_PIXEL(img, 320, 120, 0, 0, 0);        // inner only
  EXPECT_PIXEL(img, 910, 610, 0, 0, 255);
  EXPECT_EQ(brightIn(img, Rect(0, 0, 960, 640)), 150 * 50);
}

TEST_F(GLTest, DrawNodeLinesAreTwoPixelsWideAndShapesFill) {
  DrawNode* d = DrawNode::create();
  d->drawLine(Vec2(100, 300), Vec2(500, 300), Color4F(1, 1, 0, 1));
  d->drawSolidRect(Vec2(600, 100), Vec2(700, 200), Color4F(0, 0, 1, 1));
  d->drawRect(Vec2(50, 400), Vec2(150, 500), Color4F(1, 1, 1, 1));
  const Vec2 pt(800, 500);
  d->drawPoints(&pt, 1, 2, Color4F(0, 1, 0, 1));
  scene->addChild(d);
  const Image img = frame();
  int lit = 0;
  for (int y = 295; y <= 305; ++y)
    if (at(img, 300, y)[0] > 200) ++lit;
  EXPECT_EQ(lit, 2) << "line width 2";
  EXPECT_PIXEL(img, 650, 150, 0, 0, 255);
  EXPECT_PIXEL(img, 100, 450, 0, 0, 0);  // outline only
  EXPECT_GT(brightIn(img, Rect(45, 395, 110, 110)), 350);
  int green = 0;
  for (int y = 497; y <= 503; ++y)
    for (int x = 797; x <= 803; ++x) green += at(img, x, y)[1] > 200;
  EXPECT_EQ(green, 4) << "a point of size 2";
}

TEST_F(GLTest, NineSliceKeepsItsBordersWhenStretched) {
  // 6 × 6: a red border two pixels wide around a green centre.
  std::vector<uint8_t> px(6 * 6 * 4);
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 6; ++x) {
      uint8_t* p = &px[size_t(y * 6 + x) * 4];
      const bool border = x < 2 || y < 2 || x > 3 || y > 3;
      p[0] = border ? 255 : 0;
      p[1] = border ? 0 : 255;
      p[2] = 0;
      p[3] = 255;
    }
  Texture2D* t = Texture2D::create();
  t->initWithData(px.data(), px.size(), Texture2D::PixelFormat::RGBA8888, 6, 6, Size(6, 6));
  t->setAliasTexParameters();
  Scale9Sprite* s = Scale9Sprite::createWithTexture(t);
  ASSERT_NE(s, nullptr);
  s->setCapInsets(Rect(2, 2, 2, 2));
  s->setPreferredSize(Size(100, 60));
  s->setAnchorPoint(Vec2(0, 0));
  s->setPosition(100, 100);
  scene->addChild(s);
  const Image img = frame();
  EXPECT_PIXEL(img, 100, 100, 255, 0, 0);  // corner
  EXPECT_PIXEL(img, 101, 130, 255, 0, 0);  // left border keeps 2 px
  EXPECT_PIXEL(img, 102, 130, 0, 255, 0);
  EXPECT_PIXEL(img, 150, 157, 0, 255, 0);
  EXPECT_PIXEL(img, 150, 158, 255, 0, 0);  // top border keeps 2 px
  EXPECT_PIXEL(img, 197, 130, 0, 255, 0);
  EXPECT_PIXEL(img, 198, 130, 255, 0, 0);  // right border
  EXPECT_PIXEL(img, 150, 130, 0, 255, 0);  // centre stretched
  EXPECT_PIXEL(img, 201, 130, 0, 0, 0);
}

TEST_F(GLTest, LabelDrawsInsideItsBoxAndAlignsRight) {
  Label* l = Label::createWithTTF("Tarvo ΔHz µ°", Label::DEFAULT_FONT, 32);
  ASSERT_NE(l, nullptr);
  l->setPosition(480, 320);
  scene->addChild(l);
  Label* right = Label::createWithTTF("99", Label::DEFAULT_FONT, 24, Size(200, 40), TextHAlignment::RIGHT);
  right->setAnchorPoint(Vec2(0, 0));
  right->setPosition(100, 100);
  scene->addChild(right);
  const Image img = frame();
  const Rect box = l->getBoundingBox();
  const int inside = brightIn(img, box);
  EXPECT_GT(inside, 300);
  EXPECT_EQ(brightIn(img, Rect(0, 0, 960, 640)) - brightIn(img, Rect(100, 100, 200, 40)), inside)
      << "no text pixel outside the label's box";
  EXPECT_EQ(brightIn(img, Rect(100, 100, 100, 40)), 0) << "right-aligned: the left half is empty";
  EXPECT_GT(brightIn(img, Rect(200, 100, 100, 40)), 50);
}

TEST_F(GLTest, CustomCommandMayDrawWithDirectGL) {
  // The way the power trace draws: built-in uniform-colour program, client-side array.
  class Trace : public Node {
   public:
    CustomCommand cmd;
    void draw(Renderer& r, const Mat4& t, uint32_t flags) override {
      cmd.init(0, t, flags);
      cmd.func = [this] {
        GLProgram* p = GLProgramCache::getInstance()->getGLProgram(GLProgram::SHADER_NAME_POSITION_U_COLOR);
        p->use();
        p->setUniformsForBuiltins(cmd.modelView);
        glUniform4f(p->getUniformLocation("u_color"), 1, 0, 1, 1);
        glUniform1f(p->getUniformLocation("u_pointSize"), 2);
        const float pts[] = {10, 10, 100, 10, 100, 100};
        glDisable(GL_BLEND);
        glEnableVertexAttribArray(0);
        glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, 0, pts);
        glDrawArrays(GL_LINE_STRIP, 0, 3);
      };
      r.addCommand(&cmd);
    }
  };
  auto* t = new Trace();
  t->autorelease();
  t->setPosition(200, 200);
  scene->addChild(t);
  // A sprite after it still blends: the engine sets its own state for every draw.
  LayerColor* half = LayerColor::create(Color4B(255, 255, 255, 128), 50, 50);
  half->setPosition(700, 500);
  scene->addChild(half, 1);
  const Image img = frame();
  int magenta = 0;
  for (int y = 208; y <= 212; ++y) magenta += near(at(img, 255, y), 255, 0, 255);
  EXPECT_GE(magenta, 1) << "the strip from (210, 210) to (300, 210)";
  EXPECT_PIXEL(img, 255, 230, 0, 0, 0);
  EXPECT_PIXEL(img, 725, 525, 128, 128, 128);
}

TEST_F(GLTest, WaterfallProgramBuildsFromTheShaderFilesAndShowsCells) {
  const std::string vsh = FileUtils::getInstance().getStringFromFile("shaders/WaterfallShader.vsh");
  const std::string fsh = FileUtils::getInstance().getStringFromFile("shaders/WaterfallShader.fsh");
  ASSERT_FALSE(vsh.empty());
  GLProgram* p = GLProgram::createWithByteArrays(vsh.c_str(), fsh.c_str());
  ASSERT_NE(p, nullptr);
  ASSERT_TRUE(p->isLinked()) << p->getLog();
  GLProgramCache::getInstance()->addGLProgram(p, "Waterfall");
  std::vector<uint8_t> px(512 * 256 * 4, 0);
  for (int x = 0; x < 512; ++x) {
    uint8_t* c = &px[size_t(x) * 4];  // top row: red to the middle, then white
    c[0] = 255;
    c[1] = c[2] = x < 256 ? 0 : 255;
    c[3] = 255;
  }
  Texture2D* t = Texture2D::create();
  t->initWithData(px.data(), px.size(), Texture2D::PixelFormat::RGBA8888, 512, 256, Size(512, 256));
  t->setAliasTexParameters();
  Sprite* s = Sprite::createWithTexture(t);
  GLProgramState* st = GLProgramState::create(GLProgramCache::getInstance()->getGLProgram("Waterfall"));
  st->setUniformVec2("textureSize", Vec2(512, 256));
  s->setGLProgramState(st);
  s->setAnchorPoint(Vec2(0, 1));
  s->setPosition(0, 640);
  scene->addChild(s);
  const Image img = frame();
  EXPECT_PIXEL(img, 100, 639, 255, 0, 0);
  EXPECT_PIXEL(img, 400, 639, 255, 255, 255);
  EXPECT_PIXEL(img, 100, 600, 0, 0, 0);
  GLProgramCache::getInstance()->addGLProgram(nullptr, "Waterfall");
}

TEST_F(GLTest, ScreenCaptureWritesA960x640Png) {
  char tmpl[] = "/tmp/tarvo-capture-XXXXXX";
  const std::string dir = std::string(mkdtemp(tmpl)) + "/";
  FileUtils::getInstance().setWritablePath(dir);
  scene->addChild(LayerColor::create(Color4B(0, 128, 255, 255), 100, 100));
  bool called = false, ok = false;
  std::string path;
  utils::captureScreen([&](bool success, const std::string& p) {
    called = true;
    ok = success;
    path = p;
  }, "Tarvo_20261211_120000.png");
  Director::getInstance()->stepFrame(1.f / 60);
  ASSERT_TRUE(called);
  EXPECT_TRUE(ok);
  EXPECT_EQ(path, dir + "Tarvo_20261211_120000.png");
  Image img;
  ASSERT_TRUE(loadPng(path, img));
  EXPECT_EQ(img.width, 960);
  EXPECT_EQ(img.height, 640);
  EXPECT_TRUE(near(img.pixel(50, 639 - 50), 0, 128, 255));
  EXPECT_EQ(img.pixel(500, 100)[3], 255) << "screenshots are opaque";
  std::remove(path.c_str());
}

TEST_F(GLTest, ContactSheetShowsEveryInterfaceImage) {
  EXPECT_EQ(engdemo::interfaceImages().size(), 71u);
  std::vector<std::string> missing;
  Director::getInstance()->reset(true);
  Scene* sheet = engdemo::buildContactSheet(&missing);
  Director::getInstance()->runWithScene(sheet);
  EXPECT_TRUE(missing.empty()) << missing.size() << " missing, first " << (missing.empty() ? "" : missing[0]);
  const Image img = frame();
  const std::string out = std::string(TARVO_BINARY_DIR) + "/contact_sheet.png";
  EXPECT_TRUE(savePng(out, img, true));
  std::printf("contact sheet: %s\n", out.c_str());
}

}  // namespace
