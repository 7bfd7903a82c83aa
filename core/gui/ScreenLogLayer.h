// ScreenLogLayer: the engine side of the on-screen log (core/ScreenLog.h).
//
// A layer that owns a ScreenLog and shows its lines as labels stacked from the bottom-left
// corner, one line height L = visible height ÷ 50 − 1 apart, each coloured by its level. Its
// per-frame update is scheduled on the director's scheduler at priority 10000, after every
// node's, and independent of the scene graph: the application keeps the layer in the model
// (as its screenLog sink) without adding it to the scene.
#pragma once

#include <map>

#include "core/ScreenLog.h"
#include "engine/Label.h"
#include "engine/Node.h"

namespace tarvo {

class ScreenLogLayer : public eng::Layer, private ScreenLogView {
 public:
  static constexpr int UPDATE_PRIORITY = 10000;

  static ScreenLogLayer* create(eng::Clock& clock = eng::systemClock());
  bool init() override;
  void update(float dt) override;

  ScreenLog& log() { return log_; }
  float lineHeight() const;
  // The label of a message's line (tests), or nullptr.
  eng::Label* lineLabel(int line) const;
  size_t lineCount() const { return lines_.size(); }

 protected:
  explicit ScreenLogLayer(eng::Clock& clock) : log_(clock) {}
  ~ScreenLogLayer() override;

 private:
  eng::Label* makeLabel(const ScreenLogMessage& m);
  int createLine(const ScreenLogMessage& message) override;
  int replaceLine(int old, const ScreenLogMessage& message) override;
  void moveLineUp(int line) override;
  void removeLine(int line) override;

  ScreenLog log_;
  std::map<int, eng::RefPtr<eng::Label>> lines_;
  int nextLine_ = 0;
};

}  // namespace tarvo
