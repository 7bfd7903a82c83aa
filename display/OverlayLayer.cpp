#include "display/OverlayLayer.h"

#include <cmath>

#include "core/AnalyzerModel.h"
#include "core/ValueFormat.h"
#include "engine/Director.h"

namespace tarvo {

namespace {
constexpr const char* FONT = "fonts/roboto/Roboto-Regular.ttf";
const char* const INITIAL_TEXTS[4] = {"00001dbm", "00002dbm", "00003dbm", "00004dbm"};

uint8_t opacityOf(float fade) {
  // The fade level stays within 0..1.
  const float f = fade < 0 ? 0 : (fade > 1 ? 1 : fade);
  return static_cast<uint8_t>(std::trunc(f * 255.0f));
}

std::string endText(float value, const char* unit) {
  if (std::isnan(value)) return std::string();
  return formatSI(2, value) + unit;
}
}  // namespace

float overlayFontSize(int sizeClass) { return (sizeClass == 1 || sizeClass == 2) ? 12.0f : 10.0f; }

OverlayLayer* OverlayLayer::create(AnalyzerModel& model) {
  auto* layer = new OverlayLayer();
  layer->model_ = &model;
  if (!layer->init()) {
    layer->release();
    return nullptr;
  }
  layer->autorelease();
  return layer;
}

bool OverlayLayer::init() {
  if (!eng::Layer::init() || !model_) return false;
  const float size = overlayFontSize(model_->runtime.displaySizeClass);
  for (int i = 0; i < 4; ++i) {
    eng::Label* l = eng::Label::createWithTTF(INITIAL_TEXTS[i], FONT, size);
    if (!l) l = eng::Label::createWithSystemFont(INITIAL_TEXTS[i], FONT, size);
    if (!l) return false;
    l->setOpacity(0);
    labels_[i] = l;
    addChild(l);
  }
  listener_ = eng::EventListenerTouchOneByOne::create();
  listener_->setSwallowTouches(false);
  listener_->onTouchBegan = [this](eng::Touch*) {
    ++touches_;
    return true;
  };
  auto ended = [this](eng::Touch*) {
    if (touches_ > 0) --touches_;
  };
  listener_->onTouchEnded = ended;
  listener_->onTouchCancelled = ended;
  eng::Director::getInstance()->getEventDispatcher()->addEventListenerWithSceneGraphPriority(listener_.get(), this);
  return true;
}

void OverlayLayer::onEnter() {
  eng::Layer::onEnter();
  touches_ = 0;
  scheduleUpdate();
}

void OverlayLayer::onExit() {
  eng::Layer::onExit();
  touches_ = 0;
  unscheduleUpdate();
}

void OverlayLayer::update(float dt) { dt_ = dt; }

void OverlayLayer::setFlags(bool spectrumMode, bool band24, bool band5, bool waterfall) {
  spectrumMode_ = spectrumMode;
  band24_ = band24;
  band5_ = band5;
  waterfall_ = waterfall;
}

void OverlayLayer::visit(eng::Renderer& renderer, const eng::Mat4& parentTransform, uint32_t flags) {
  eng::Layer::visit(renderer, parentTransform, flags);
  labelStep();
}

void OverlayLayer::labelStep() {
  // 1. Fade.
  if (touches_ == 0) {
    if (fade_ <= 0.0f) {
      fade_ = 0.0f;
      for (auto& l : labels_) l->setOpacity(0);
      return;
    }
    fade_ -= dt_ * FADE_OUT_PER_SECOND;
    if (fade_ < 0.0f) fade_ = 0.0f;  // a last step past zero must not wrap the opacity
  } else if (fade_ < 1.0f) {
    fade_ += dt_ * FADE_IN_PER_SECOND;
    if (fade_ > 1.0f) fade_ = 1.0f;
  }
  const uint8_t opacity = opacityOf(fade_);
  // 2.
  labels_[AMPLITUDE_BOTTOM]->setOpacity(opacity);
  labels_[AMPLITUDE_TOP]->setOpacity(opacity);
  // 3.
  const float offset = model_->isConnected() ? model_->attenuationOffsetDb() : 0.0f;
  // 4.
  const auto info = model_->deviceInfo();
  float lo, hi;
  if (!spectrumMode_) {
    labels_[FIRST_FREQUENCY]->setOpacity(0);
    labels_[LAST_FREQUENCY]->setOpacity(0);
    lo = info->powerMinDbm;
    hi = info->powerMaxDbm;
  } else {
    labels_[FIRST_FREQUENCY]->setOpacity(opacity);
    labels_[LAST_FREQUENCY]->setOpacity(opacity);
    if (band5_ && !band24_) {
      lo = info->band2MinDbm;
      hi = info->band2MaxDbm;
      labels_[FIRST_FREQUENCY]->setString("5.145GHz");
      labels_[LAST_FREQUENCY]->setString("5.860GHz");
    } else {
      lo = info->band1MinDbm;
      hi = info->band1MaxDbm;
      labels_[FIRST_FREQUENCY]->setString("2.4GHz");
      labels_[LAST_FREQUENCY]->setString("2.5GHz");
    }
  }
  // 5.
  lo += offset;
  hi += offset;
  const char* unit = "dBm";
  if (model_->common.unitsMilliwatt != 0) {
    unit = "W";
    lo = AnalyzerModel::dBmToMilliwatt(lo) * 0.001f;
    hi = AnalyzerModel::dBmToMilliwatt(hi) * 0.001f;
  }
  // 6.
  labels_[AMPLITUDE_BOTTOM]->setString(endText(lo, unit));
  labels_[AMPLITUDE_TOP]->setString(endText(hi, unit));
  // 7.
  const float W = getContentSize().width;
  const float H = getContentSize().height;
  labels_[FIRST_FREQUENCY]->setAnchorPoint({0, 0});
  labels_[FIRST_FREQUENCY]->setPosition({0, 0});
  labels_[LAST_FREQUENCY]->setAnchorPoint({1, 0});
  labels_[LAST_FREQUENCY]->setPosition({W, 0});
  labels_[AMPLITUDE_BOTTOM]->setAnchorPoint({1, 0});
  labels_[AMPLITUDE_BOTTOM]->setPosition({W, labels_[LAST_FREQUENCY]->getContentSize().height});
  labels_[AMPLITUDE_TOP]->setAnchorPoint({1, 1});
  labels_[AMPLITUDE_TOP]->setPosition({W, H});
}

}  // namespace tarvo
