#include <algorithm>

#include "engine/Engine.h"
#include "engine/demo/ContactSheet.h"

namespace engdemo {

using namespace eng;

const std::vector<std::string>& interfaceImages() {
  static const std::vector<std::string> names = [] {
    std::vector<std::string> n = {
        "demo.png", "OuterWheel.png", "InnerWheel.png", "PeakIcon.png", "WhiteBubbleTextureMap.png",
        "ExpandShrinkIcon.png", "ChannelGuideButton.png", "MenuBackground.png", "close_icon.png",
        "ScalingPopoverBox.png", "ScalingPopoverBackground.png", "magnifying-glass.png", "groundLabel.png",
        "PositionAndDelayIcon.png", "PositionAndDelayIconSideways.png", "LineBar-grey.png",
        "LineBar-grey_rotated.png", "WifiIcon_lock.png", "sliderwhite.png", "balldarkblue.png",
        "sliderlightblue.png", "ButtonUnselected.png", "ButtonSelected.png", "ButtonDisabled.png",
        "AlertButtonUnselected.png", "AlertButtonSelected.png", "AlertViewSpotlight.png",
        "AlertViewBackground.png", "left-edge.png", "middle-edge.png", "right-edge.png", "wheel.png",
        "FlyinUnselected.png", "FlyoutUnselected.png", "BlankIcon.png", "connectedIcon.png",
        "disconnectedIcon.png"};
    for (const char* part : {"Start", "Middle", "End", "Single"})
      for (const char* state : {"Disabled", "Selected", "Unselected"})
        n.push_back(std::string("SegmentedControl") + part + state + ".png");
    for (const char* icon : {"Spectrum", "Korvel", "Cursor", "Measure", "Color", "Trigger", "Demo", "Settings",
                             "Pause", "Play", "SingleShot"})
      for (const char* state : {"Unselected", "Selected"}) n.push_back(std::string(icon) + "Icon" + state + ".png");
    return n;
  }();
  return names;
}

Scene* buildContactSheet(std::vector<std::string>* missing) {
  Scene* scene = Scene::create();
  const Size size = scene->getContentSize();
  scene->addChild(LayerColor::create(Color4B(18, 18, 22, 255), size.width, size.height), -10);
  const auto& names = interfaceImages();
  constexpr int kCols = 10;
  const float cellW = size.width / kCols;
  const float cellH = size.height / 8;
  for (size_t i = 0; i < names.size(); ++i) {
    const int col = int(i % kCols), row = int(i / kCols);
    const float x0 = col * cellW, y0 = size.height - (row + 1) * cellH;
    LayerColor* cell = LayerColor::create(Color4B(44, 44, 52, 255), cellW - 4, cellH - 4);
    cell->setPosition(x0 + 2, y0 + 2);
    scene->addChild(cell);
    Sprite* s = Sprite::create(names[i]);
    if (!s) {
      if (missing) missing->push_back(names[i]);
      continue;
    }
    // Fit into the cell above the name, never enlarging more than twice.
    const Size img = s->getContentSize();
    const float boxW = cellW - 12, boxH = cellH - 22;
    const float k = std::min({boxW / std::max(1.f, img.width), boxH / std::max(1.f, img.height), 2.f});
    s->setScale(k);
    s->setPosition(x0 + cellW / 2, y0 + 16 + boxH / 2 + 2);
    scene->addChild(s, 1);
    std::string label = names[i].substr(0, names[i].size() - 4);
    Label* l = Label::createWithTTF(label, Label::DEFAULT_FONT, 9, Size(cellW - 6, 12), TextHAlignment::CENTER);
    if (l) {
      l->setOverflow(Label::Overflow::SHRINK);
      l->setTextColor(Color4B(200, 200, 205, 255));
      l->setPosition(x0 + cellW / 2, y0 + 10);
      scene->addChild(l, 2);
    }
  }
  return scene;
}

}  // namespace engdemo
