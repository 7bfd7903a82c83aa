#include "display/spectrum/WaterfallThresholdAndTouchLayer.h"

#include <algorithm>
#include <cmath>

#include "core/LockOrder.h"
#include "core/ValueFormat.h"
#include "display/spectrum/ScalingPopoverSeam.h"
#include "display/spectrum/WaterfallProcessing.h"
#include "engine/Director.h"

namespace tarvo {

namespace {
constexpr const char* BUBBLE_IMAGE = "WhiteBubbleTextureMap.png";
constexpr const char* READOUT_FONT = "fonts/roboto/Roboto-Regular.ttf";
constexpr const char* READOUT_MEASURE = "-00000.00dBm";
constexpr const char* READOUT_PLACEHOLDER = "-00.00 dBm";

// Quadrants of the bubble atlas, in pixels from the top-left.
enum class Quadrant { ABOVE, BELOW, INSIDE };
eng::Rect quadrantRect(const eng::Texture2D* atlas, Quadrant q) {
  const float hw = float(atlas->getPixelsWide()) / 2, hh = float(atlas->getPixelsHigh()) / 2;
  switch (q) {
    case Quadrant::ABOVE: return eng::Rect(0, 0, hw, hh);
    case Quadrant::BELOW: return eng::Rect(hw, 0, hw, hh);
    case Quadrant::INSIDE: break;
  }
  return eng::Rect(hw, hh, hw, hh);
}

eng::Color3B toColor(const Rgb& c) { return eng::Color3B(c.r, c.g, c.b); }

std::string readoutText(float dbm, bool milliwatt) {
  if (milliwatt) return formatAuto(AnalyzerModel::dBmToMilliwatt(dbm) * 0.001f) + "W";
  return formatFixed2(dbm) + "dBm";
}
}  // namespace

WaterfallThresholdAndTouchLayer* WaterfallThresholdAndTouchLayer::create() {
  return create(AnalyzerModel::getInstance());
}

WaterfallThresholdAndTouchLayer* WaterfallThresholdAndTouchLayer::create(AnalyzerModel& model) {
  auto* layer = new WaterfallThresholdAndTouchLayer();
  layer->model_ = &model;
  if (!layer->init()) {
    layer->release();
    return nullptr;
  }
  layer->autorelease();
  return layer;
}

WaterfallThresholdAndTouchLayer::~WaterfallThresholdAndTouchLayer() = default;

bool WaterfallThresholdAndTouchLayer::init() {
  if (!ClippingLayer::init()) return false;
  if (!model_) model_ = &AnalyzerModel::getInstance();
  band24_ = band5_ = true;

  listener_ = eng::EventListenerTouchOneByOne::create();
  listener_->setSwallowTouches(false);
  listener_->onTouchBegan = [this](eng::Touch* t) { return onTouchBegan(t); };
  listener_->onTouchMoved = [this](eng::Touch* t) { onTouchMoved(t); };
  listener_->onTouchEnded = [this](eng::Touch* t) { onTouchEnded(t); };
  listener_->onTouchCancelled = [this](eng::Touch* t) { onTouchCancelled(t); };
  eng::Director::getInstance()->getEventDispatcher()->addEventListenerWithSceneGraphPriority(listener_.get(), this);

  switch (model().runtime.displaySizeClass) {
    case 0: fontSize_ = 14; break;
    case 1:
    case 2:
    case 3: fontSize_ = 16; break;
    default: fontSize_ = 10; break;
  }

  drawNode_ = eng::DrawNode::create(2.0f);
  addChild(drawNode_.get());

  if (eng::Label* probe = eng::Label::createWithTTF(READOUT_MEASURE, READOUT_FONT, fontSize_)) {
    const eng::Size s = probe->getContentSize();
    box_ = eng::Size(s.width * 1.25f, s.height);
  } else {
    // No font: keep a box of about the size the text would have, so the geometry still works.
    box_ = eng::Size(fontSize_ * 7.5f, fontSize_ * 1.2f);
  }

  lowerLabel_ = eng::Label::createWithTTF(READOUT_PLACEHOLDER, READOUT_FONT, fontSize_);
  upperLabel_ = eng::Label::createWithTTF(READOUT_PLACEHOLDER, READOUT_FONT, fontSize_);
  for (eng::Label* l : {lowerLabel_.get(), upperLabel_.get()}) {
    if (!l) continue;
    l->setTextColor(eng::Color4B(255, 255, 255, 255));
    l->setAnchorPoint(eng::Vec2(0.5f, 0.5f));
    l->setOpacity(0);
    addChild(l);
  }

  lower_ = eng::Sprite::create(BUBBLE_IMAGE);
  upper_ = eng::Sprite::create(BUBBLE_IMAGE);
  for (eng::Sprite* b : {lower_.get(), upper_.get()}) {
    if (!b) continue;
    addChild(b);
    b->setPosition(100, 100);
    b->setTextureRect(quadrantRect(b->getTexture(), Quadrant::INSIDE));
  }
  if (lower_) lower_->setColor(eng::colors::MAGENTA);
  if (upper_) upper_->setColor(eng::colors::ORANGE);
  return true;
}

void WaterfallThresholdAndTouchLayer::onEnter() {
  ClippingLayer::onEnter();
  scheduleUpdate();
}

void WaterfallThresholdAndTouchLayer::onExit() {
  ClippingLayer::onExit();
  // A layer that leaves in the middle of a drag or pinch must not keep the touch captured, or
  // the cursors could never be dragged again.
  if (dragState_ != DRAG_NONE || !touches_.empty()) model().runtime.touchCaptured = false;
  releaseTouches();
  dragState_ = DRAG_NONE;
  unscheduleUpdate();
}

void WaterfallThresholdAndTouchLayer::update(float dt) {
  dt_ = dt;
  ClippingLayer::update(dt);
}

WaterfallThresholdAndTouchLayer::Range WaterfallThresholdAndTouchLayer::visibleRange() const {
  const auto info = model().deviceInfo();
  const float o = model().attenuationOffsetDb();
  Range r;
  r.minDbm = info->minDbm(band()) + o;
  r.maxDbm = info->maxDbm(band()) + o;
  r.yScale = getContentSize().height / (r.maxDbm - r.minDbm);
  return r;
}

void WaterfallThresholdAndTouchLayer::placeBubble(eng::Sprite* b, float y, float width, float height) {
  if (!b) return;
  Quadrant q = Quadrant::INSIDE;
  eng::Vec2 anchor(1, 0.5f), pos(width, y);
  if (y > height) {
    q = Quadrant::ABOVE;
    anchor = eng::Vec2(1, 1);
    pos = eng::Vec2(width, height);
  } else if (y < 0 || std::isnan(y)) {
    q = Quadrant::BELOW;
    anchor = eng::Vec2(1, 0);
    pos = eng::Vec2(width, 0);
  }
  const eng::Rect rect = quadrantRect(b->getTexture(), q);
  if (!(b->getTextureRect() == rect)) b->setTextureRect(rect);
  b->setAnchorPoint(anchor);
  b->setPosition(pos);
}

float WaterfallThresholdAndTouchLayer::boxBottom(bool upper, float yc, float height) const {
  const float bh = box_.height;
  if (upper) {
    if (yc < bh) return bh;
    if (yc > height - bh) return height - bh;
    return yc;
  }
  if (yc < bh) return 0;
  if (yc > height - bh) return height - 2 * bh;
  return yc - bh;
}

void WaterfallThresholdAndTouchLayer::draw(eng::Renderer& renderer, const eng::Mat4& transform, uint32_t flags) {
  ClippingLayer::draw(renderer, transform, flags);
  const eng::Size size = getContentSize();
  const float W = size.width, H = size.height;
  const Range range = visibleRange();
  const SpectrumSettings& s = model().spectrum;

  const Rgb* table = colors_.get(s.colorMapB, WATERFALL_COLOR_ENTRIES, ColorTableForm::WATERFALL);
  const Rgb first = table[0], last = table[WATERFALL_COLOR_ENTRIES - 1];
  if (lower_) lower_->setColor(toColor(first));
  if (upper_) upper_->setColor(toColor(last));

  const float top = s.waterfallTopDbm;
  const float lowerValue = std::min(float(s.waterfallBottomDbm), top);
  const float upperValue = top;
  const float yLower = (lowerValue - range.minDbm) * range.yScale;
  const float yUpper = (upperValue - range.minDbm) * range.yScale;
  placeBubble(lower_.get(), yLower, W, H);
  placeBubble(upper_.get(), yUpper, W, H);

  drawNode_->clear();
  fade_ = fadeLevel(fade_, dragState_ == DRAG_LOWER || dragState_ == DRAG_UPPER, dt_);
  if (fade_ <= 0) {
    for (eng::Label* l : {lowerLabel_.get(), upperLabel_.get()})
      if (l) l->setOpacity(0);
    lowerBox_ = upperBox_ = eng::Rect();
    return;
  }
  drawReadout(false, lowerValue, yLower, lowerLabel_.get(), first, W, H);
  drawReadout(true, upperValue, yUpper, upperLabel_.get(), last, W, H);
}

void WaterfallThresholdAndTouchLayer::drawReadout(bool upper, float value, float y, eng::Label* label,
                                                  const Rgb& color, float W, float H) {
  const float fade = std::min(fade_, 1.0f);
  const float bw = box_.width, bh = box_.height;
  const float yc = std::clamp(std::isnan(y) ? 0.0f : y, 0.0f, H);
  const float n = W / 100;
  const eng::Sprite* bubble = upper ? upper_.get() : lower_.get();
  const float atlasHeight = bubble ? float(bubble->getTexture()->getPixelsHigh()) : 0.0f;
  const float x0 = W - (atlasHeight + bw), x1 = x0 + bw;
  const float b = boxBottom(upper, yc, H), t = b + bh;
  (upper ? upperBox_ : lowerBox_) = eng::Rect(x0, b, bw, bh);

  drawNode_->drawSolidRect(eng::Vec2(x0, b), eng::Vec2(x1, t), eng::Color4F(0.1f, 0.1f, 0.1f, 0.55f * fade));
  const eng::Color4F c(eng::Color3B(color.r, color.g, color.b), fade);
  drawNode_->drawLine(eng::Vec2(0, yc), eng::Vec2(x0, yc), c);
  drawNode_->drawLine(eng::Vec2(x0, b), eng::Vec2(x0, t), c);
  drawNode_->drawLine(eng::Vec2(x1, b), eng::Vec2(x1, t), c);
  for (float edge : {b, t}) {
    drawNode_->drawLine(eng::Vec2(x0, edge), eng::Vec2(x0 + n, edge), c);
    drawNode_->drawLine(eng::Vec2(x1 - n, edge), eng::Vec2(x1, edge), c);
  }
  drawNode_->drawLine(eng::Vec2(x1, yc), eng::Vec2(W, yc), c);

  if (!label) return;
  const std::string text = readoutText(value, model().common.unitsMilliwatt != 0);
  if (label->getString() != text) label->setString(text);
  label->setOpacity(255);
  label->setTextColor(eng::Color4B(255, 255, 255, uint8_t(255 * fade)));
  label->setPosition(x0 + bw / 2, b + bh / 2);
}

// --- touch -------------------------------------------------------------------------------------

bool WaterfallThresholdAndTouchLayer::hitsBubble(bool upper, eng::Vec2 p) const {
  const eng::Sprite* b = upper ? upper_.get() : lower_.get();
  if (b && b->getBoundingBox().containsPoint(p)) return true;
  // The read-out box belongs to its bubble while it is on screen.
  const eng::Rect& box = upper ? upperBox_ : lowerBox_;
  return fade_ > 0 && box.size.width > 0 && box.containsPoint(p);
}

bool WaterfallThresholdAndTouchLayer::onTouchBegan(eng::Touch* touch) {
  if (getNumberOfRunningActions() > 0) return false;
  const eng::Vec2 p = convertToNodeSpace(touch->getLocation());
  const eng::Size size = getContentSize();
  if (!eng::Rect(0, 0, size.width, size.height).containsPoint(p)) return false;
  touches_.emplace_back(touch);
  if (touches_.size() == 1) {
    if (hitsBubble(true, p)) dragState_ = DRAG_UPPER;
    else if (hitsBubble(false, p)) dragState_ = DRAG_LOWER;
    else dragState_ = DRAG_NONE;
    model().runtime.touchCaptured = dragState_ == DRAG_LOWER || dragState_ == DRAG_UPPER;
  } else if (touches_.size() == 2) {
    dragState_ = DRAG_PINCH;
    // Each pinch counts its own movement.
    pinchX_ = pinchY_ = 0;
    model().runtime.touchCaptured = true;
  }
  return true;
}

void WaterfallThresholdAndTouchLayer::onTouchMoved(eng::Touch* touch) {
  auto it = std::find_if(touches_.begin(), touches_.end(), [&](const auto& t) { return t.get() == touch; });
  if (it == touches_.end()) return;

  if (touches_.size() == 1) {
    if (dragState_ != DRAG_LOWER && dragState_ != DRAG_UPPER) return;
    const float dy = convertToNodeSpace(touch->getLocation()).y - convertToNodeSpace(touch->getPreviousLocation()).y;
    SpectrumSettings& s = model().spectrum;
    float top = s.waterfallTopDbm, bottom = s.waterfallBottomDbm;
    dragThreshold(dragState_, dy, visibleRange().yScale, top, bottom);
    s.waterfallTopDbm = top;
    s.waterfallBottomDbm = bottom;
    ModelLock lock(model(), LOCK_SPECTRUM);
    model().band24.heatMapChanged = true;
    model().band5.heatMapChanged = true;
    return;
  }
  if (touches_.size() != 2) return;

  // Each touch reports its own movement, so the two accumulators add up both fingers.
  const eng::Vec2 d = touch->getDelta();
  pinchX_ += std::fabs(d.x);
  pinchY_ += std::fabs(d.y);
  if (pinchY_ < PINCH_STEP_POINTS) return;
  const eng::Touch* a = touches_[0].get();
  const eng::Touch* b = touches_[1].get();
  const bool apart = a->getLocation().distanceSquared(b->getLocation()) >
                     a->getPreviousLocation().distanceSquared(b->getPreviousLocation());
  SpectrumSettings& s = model().spectrum;
  const int before = s.waterfallOption;
  const int after = stepZoomOption(before, apart);
  if (after != before) {
    s.waterfallOption = after;
    ScalingPopoverStep step;
    step.horizontalCount = 0;
    step.verticalCount = 3;
    step.verticalIndex = after;
    step.verticalPrevious = before;
    scalingPopover().showStep(step);
  }
  pinchY_ = 0;
}

void WaterfallThresholdAndTouchLayer::finishTouch(eng::Touch* touch, bool cancelled) {
  auto it = std::find_if(touches_.begin(), touches_.end(), [&](const auto& t) { return t.get() == touch; });
  if (it == touches_.end()) return;
  touches_.erase(it);
  if (!cancelled && touches_.size() < 2) scalingPopover().stopShowing();
  if (touches_.empty()) {
    dragState_ = DRAG_NONE;
    model().runtime.touchCaptured = false;
  }
}

void WaterfallThresholdAndTouchLayer::onTouchEnded(eng::Touch* touch) { finishTouch(touch, false); }
void WaterfallThresholdAndTouchLayer::onTouchCancelled(eng::Touch* touch) { finishTouch(touch, true); }

void WaterfallThresholdAndTouchLayer::releaseTouches() { touches_.clear(); }

}  // namespace tarvo
