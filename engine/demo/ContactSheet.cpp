// Renders the contact sheet of every interface image offscreen and writes it as a PNG.
//   eng_contact_sheet [output.png]      (runs itself under Xvfb when no display is set)
#include <cstdio>

#include "engine/Engine.h"
#include "engine/demo/ContactSheet.h"
#include "engine/testing/Xvfb.h"

int main(int argc, char** argv) {
  using namespace eng;
  eng::testing::reexecUnderXvfbIfNoDisplay(argc, argv);
  const std::string out = argc > 1 ? argv[1] : "contact_sheet.png";
  Director* d = Director::getInstance();
  GLView* view = GLView::createOffscreen(Size(960, 640));
  if (!view) return 1;
  d->setOpenGLView(view);
  std::vector<std::string> missing;
  d->runWithScene(engdemo::buildContactSheet(&missing));
  for (auto& m : missing) std::fprintf(stderr, "missing image: %s\n", m.c_str());
  bool ok = false;
  utils::captureScreen([&](bool success, const std::string& path) {
    ok = success;
    std::printf("%s %s\n", success ? "wrote" : "failed", path.c_str());
  }, out[0] == '/' ? out : executableDirectory() + "/" + out);
  d->stepFrame(1.f / 60);
  d->reset();
  return ok && missing.empty() ? 0 : 1;
}
