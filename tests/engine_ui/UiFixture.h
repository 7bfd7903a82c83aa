// Shared fixture of the widget tests: a headless director (no window, no GL) running one scene,
// and a private resource root holding small images drawn here (so sizes are known exactly) and
// the Roboto fonts (linked from the system's font package, found at configure time).
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/Engine.h"
#include "engine/ui/UI.h"

namespace uitest {

// Plain RGBA drawing for the test images.
struct Canvas {
  eng::Image img;
  Canvas(int w, int h, eng::Color4B fill = {0, 0, 0, 0}) {
    img.width = w;
    img.height = h;
    img.rgba.resize(size_t(w) * h * 4);
    rect(0, 0, w, h, fill);
  }
  void rect(int x0, int y0, int w, int h, eng::Color4B c) {
    for (int y = y0; y < y0 + h; ++y)
      for (int x = x0; x < x0 + w; ++x) {
        if (x < 0 || y < 0 || x >= img.width || y >= img.height) continue;
        uint8_t* p = &img.rgba[(size_t(y) * img.width + x) * 4];
        p[0] = c.r, p[1] = c.g, p[2] = c.b, p[3] = c.a;
      }
  }
  // A filled disc of radius r centred in the image.
  void disc(eng::Color4B c) {
    const float cx = (img.width - 1) / 2.f, cy = (img.height - 1) / 2.f, r = std::min(img.width, img.height) / 2.f;
    for (int y = 0; y < img.height; ++y)
      for (int x = 0; x < img.width; ++x)
        if ((x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r) rect(x, y, 1, 1, c);
  }
  // A panel: a border of `b` pixels around a fill.
  static Canvas framed(int w, int h, int b, eng::Color4B border, eng::Color4B fill) {
    Canvas c(w, h, border);
    c.rect(b, b, w - 2 * b, h - 2 * b, fill);
    return c;
  }
  bool save(const std::string& path) const { return eng::savePng(path, img); }
};

// Image names and sizes the tests rely on.
inline constexpr eng::Size kButtonImage{30, 20};
inline constexpr eng::Size kBarImage{40, 10};
inline constexpr eng::Size kBallImage{16, 16};
inline constexpr eng::Size kPanelImage{30, 30};

// Colours of the images (the pixel test looks for them).
inline constexpr eng::Color4B kNormalFill{90, 90, 90, 255}, kPressedFill{0, 120, 230, 255},
    kDisabledFill{40, 40, 40, 255}, kBorder{200, 200, 200, 255}, kBarFill{235, 235, 235, 255},
    kProgressFill{0, 200, 255, 255}, kBallFill{10, 40, 160, 255}, kPanelFill{26, 26, 26, 255},
    kPanelBorder{120, 120, 120, 255};

inline std::string& resourceRoot() {
  static std::string root;
  return root;
}

inline void makeResources() {
  namespace fs = std::filesystem;
  if (!resourceRoot().empty()) return;
  std::string tmpl = (fs::temp_directory_path() / "tarvo_ui_XXXXXX").string();
  if (!mkdtemp(tmpl.data())) return;
  resourceRoot() = tmpl;
  const fs::path res = fs::path(tmpl) / "res";
  fs::create_directories(res / "fonts" / "roboto");
  std::error_code ec;
  fs::create_symlink(TARVO_TEST_FONT_REGULAR, res / "fonts" / "roboto" / "Roboto-Regular.ttf", ec);
  fs::create_symlink(TARVO_TEST_FONT_BOLD, res / "fonts" / "roboto" / "Roboto-Bold.ttf", ec);
  const int bw = int(kButtonImage.width), bh = int(kButtonImage.height);
  Canvas::framed(bw, bh, 3, kBorder, kNormalFill).save((res / "btn_normal.png").string());
  Canvas::framed(bw, bh, 3, kBorder, kPressedFill).save((res / "btn_pressed.png").string());
  Canvas::framed(bw, bh, 3, kBorder, kDisabledFill).save((res / "btn_disabled.png").string());
  Canvas(int(kBarImage.width), int(kBarImage.height), kBarFill).save((res / "bar.png").string());
  Canvas(int(kBarImage.width), int(kBarImage.height), kProgressFill).save((res / "progress.png").string());
  Canvas ball(int(kBallImage.width), int(kBallImage.height));
  ball.disc(kBallFill);
  ball.save((res / "ball.png").string());
  Canvas::framed(int(kPanelImage.width), int(kPanelImage.height), 4, kPanelBorder, kPanelFill)
      .save((res / "panel.png").string());
}

inline void removeResources() {
  if (resourceRoot().empty()) return;
  std::error_code ec;
  std::filesystem::remove_all(resourceRoot(), ec);
  resourceRoot().clear();
}

class UiTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { makeResources(); }
  static void TearDownTestSuite() {
    eng::TextureCache::getInstance()->removeAllTextures();
    removeResources();
  }
  void SetUp() override {
    ASSERT_FALSE(resourceRoot().empty()) << "could not make the test resources";
    eng::FileUtils::getInstance().setResourceRoot(resourceRoot());
    eng::Director::getInstance()->initHeadless(eng::Size(960, 640));
    scene = eng::Scene::create();
    eng::Director::getInstance()->runWithScene(scene);
  }
  void TearDown() override { eng::Director::getInstance()->reset(); }

  eng::Director& director() { return *eng::Director::getInstance(); }
  eng::EventDispatcher& touches() { return *director().getEventDispatcher(); }
  // One frame: input already injected, then actions, updates, visit (which also records the
  // listeners' draw order) and the release pool.
  void frames(int n = 1, float dt = 1.f / 60) {
    for (int i = 0; i < n; ++i) director().stepFrame(dt);
  }
  // A drag in `steps` moves with one frame between moves (so speeds are measurable).
  void drag(eng::Vec2 from, eng::Vec2 to, int steps = 4, bool release = true, int id = 0) {
    touches().touchesBegan(id, from);
    frames();
    for (int i = 1; i <= steps; ++i) {
      touches().touchesMoved(id, from + (to - from) * (float(i) / steps));
      frames();
    }
    if (release) touches().touchesEnded(id, to);
  }
  void tap(eng::Vec2 p, int id = 0) {
    touches().touchesBegan(id, p);
    touches().touchesEnded(id, p);
  }

  eng::Scene* scene = nullptr;
};

}  // namespace uitest
