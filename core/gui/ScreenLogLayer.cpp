#include "core/gui/ScreenLogLayer.h"

#include "engine/Director.h"
#include "engine/Scheduler.h"
#include "engine/services/FileUtils.h"

namespace tarvo {

ScreenLogLayer* ScreenLogLayer::create(eng::Clock& clock) {
  auto* layer = new ScreenLogLayer(clock);
  if (!layer->init()) {
    layer->release();
    return nullptr;
  }
  layer->autorelease();
  return layer;
}

bool ScreenLogLayer::init() {
  if (!eng::Layer::init()) return false;
  eng::Director::getInstance()->getScheduler()->scheduleUpdate(this, UPDATE_PRIORITY, false);
  return true;
}

ScreenLogLayer::~ScreenLogLayer() { eng::Director::getInstance()->getScheduler()->unscheduleUpdate(this); }

void ScreenLogLayer::update(float) { log_.update(*this); }

float ScreenLogLayer::lineHeight() const { return eng::Director::getInstance()->getVisibleSize().height / 50.0f - 1.0f; }

eng::Label* ScreenLogLayer::lineLabel(int line) const {
  auto it = lines_.find(line);
  return it == lines_.end() ? nullptr : it->second.get();
}

eng::Label* ScreenLogLayer::makeLabel(const ScreenLogMessage& m) {
  const float size = lineHeight();
  const std::string font = log_.fontName();
  eng::Label* label = nullptr;
  if (!font.empty() && eng::FileUtils::getInstance().isFileExist(font))
    label = eng::Label::createWithTTF(m.text, font, size);
  if (!label) label = eng::Label::createWithSystemFont(m.text, font, size);
  if (!label) return nullptr;
  label->setAnchorPoint({0, 0});
  label->setPosition({0, 0});
  const ScreenLogColor c = screenLogColor(m.level);
  label->setColor(eng::Color3B(c.r, c.g, c.b));
  return label;
}

int ScreenLogLayer::createLine(const ScreenLogMessage& message) {
  const int id = nextLine_++;
  eng::Label* label = makeLabel(message);
  if (label) {
    addChild(label);
    lines_[id] = label;
  }
  return id;
}

int ScreenLogLayer::replaceLine(int old, const ScreenLogMessage& message) {
  eng::Vec2 where;
  auto it = lines_.find(old);
  if (it != lines_.end()) where = it->second->getPosition();
  removeLine(old);
  const int id = createLine(message);
  if (eng::Label* l = lineLabel(id)) l->setPosition(where);
  return id;
}

void ScreenLogLayer::moveLineUp(int line) {
  if (eng::Label* l = lineLabel(line)) l->setPosition(l->getPosition() + eng::Vec2(0, lineHeight()));
}

void ScreenLogLayer::removeLine(int line) {
  auto it = lines_.find(line);
  if (it == lines_.end()) return;
  it->second->removeFromParentAndCleanup(true);
  lines_.erase(it);
}

}  // namespace tarvo
