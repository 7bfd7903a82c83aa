// The scene graph: Node and the three container kinds Scene, Layer and LayerColor.
//
// Lifecycle: `init` once after construction (through create()), `onEnter` when the node joins
// a running scene (the node's own state first, then its children), `onExit` when it leaves
// (children first), `cleanup` when it is removed with clean-up (stops its actions, timers and
// update, recursively), destructor when the last reference goes.
//
// Per frame: `update(dt)` for nodes that called scheduleUpdate(), then `visit` of the running
// scene: visit computes the node's transform, visits the children with local z < 0, calls the
// node's own `draw`, then visits the remaining children. Children are ordered by local z, equal
// z by insertion order. Draw commands record their state when queued (at visit time).
//
// Transform: position is where the anchor point (a fraction of the content size) sits in the
// parent; rotation in degrees clockwise; negative scale mirrors. Opacity cascades from a parent
// that has cascading enabled to its children (displayed = own × parent's displayed ÷ 255).
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "engine/Ref.h"
#include "engine/Types.h"

namespace eng {

class Renderer;
class Touch;
class Action;
class Scheduler;
class ActionManager;

class Node : public Ref {
 public:
  ENG_CREATE_FUNC(Node)
  static constexpr int INVALID_TAG = -1;

  virtual bool init();
  virtual void onEnter();
  virtual void onExit();
  virtual void cleanup();
  virtual void update(float dt);
  virtual void draw(Renderer& renderer, const Mat4& transform, uint32_t flags);
  virtual void visit(Renderer& renderer, const Mat4& parentTransform, uint32_t flags);

  // --- children ------------------------------------------------------------------------------
  virtual void addChild(Node* child);
  virtual void addChild(Node* child, int localZOrder);
  virtual void addChild(Node* child, int localZOrder, int tag);
  virtual void removeChild(Node* child, bool cleanup = true);
  void removeChildByTag(int tag, bool cleanup = true);
  void removeAllChildren() { removeAllChildrenWithCleanup(true); }
  virtual void removeAllChildrenWithCleanup(bool cleanup);
  void removeFromParent() { removeFromParentAndCleanup(true); }
  void removeFromParentAndCleanup(bool cleanup);
  Node* getParent() const { return parent_; }
  Node* getChildByTag(int tag) const;
  Node* getChildByName(const std::string& name) const;
  // In insertion order (not draw order); see sortedChildren().
  const std::vector<Node*>& getChildren() const { return children_; }
  size_t getChildrenCount() const { return children_.size(); }
  // Children in draw order (local z, then insertion).
  const std::vector<Node*>& sortedChildren() const;
  bool isRunning() const { return running_; }

  // --- identity ------------------------------------------------------------------------------
  void setTag(int tag) { tag_ = tag; }
  int getTag() const { return tag_; }
  void setName(const std::string& n) { name_ = n; }
  const std::string& getName() const { return name_; }
  void setLocalZOrder(int z);
  int getLocalZOrder() const { return localZ_; }
  // Commands of a node are sorted by global z first (default 0 keeps the visit order).
  void setGlobalZOrder(float z) { globalZ_ = z; }
  float getGlobalZOrder() const { return globalZ_; }

  // --- geometry ------------------------------------------------------------------------------
  virtual void setContentSize(const Size& size);
  const Size& getContentSize() const { return contentSize_; }
  virtual void setPosition(const Vec2& p);
  void setPosition(float x, float y) { setPosition(Vec2(x, y)); }
  const Vec2& getPosition() const { return position_; }
  void setPositionX(float x) { setPosition(Vec2(x, position_.y)); }
  void setPositionY(float y) { setPosition(Vec2(position_.x, y)); }
  float getPositionX() const { return position_.x; }
  float getPositionY() const { return position_.y; }
  virtual void setAnchorPoint(const Vec2& a);
  const Vec2& getAnchorPoint() const { return anchor_; }
  Vec2 getAnchorPointInPoints() const { return {anchor_.x * contentSize_.width, anchor_.y * contentSize_.height}; }
  void setScale(float s) { setScaleX(s); setScaleY(s); }
  void setScale(float sx, float sy) { setScaleX(sx); setScaleY(sy); }
  virtual void setScaleX(float s);
  virtual void setScaleY(float s);
  float getScale() const { return scaleX_; }
  float getScaleX() const { return scaleX_; }
  float getScaleY() const { return scaleY_; }
  virtual void setRotation(float degreesClockwise);
  float getRotation() const { return rotation_; }
  void setVisible(bool v) { visible_ = v; }
  bool isVisible() const { return visible_; }

  // Transform from this node's space to its parent's, and to the world (scene) space.
  Mat4 getNodeToParentTransform() const;
  Mat4 getNodeToWorldTransform() const;
  Mat4 getWorldToNodeTransform() const { return getNodeToWorldTransform().inverse(); }
  Vec2 convertToNodeSpace(const Vec2& world) const;
  Vec2 convertToWorldSpace(const Vec2& local) const;
  Vec2 convertTouchToNodeSpace(const Touch* touch) const;
  // Whether a world point lies inside (0, 0, content size) in this node's space.
  bool hitTest(const Vec2& world) const;
  // (0, 0, content size) transformed into the parent's space (axis-aligned hull).
  Rect getBoundingBox() const;

  // --- colour and opacity --------------------------------------------------------------------
  virtual void setColor(const Color3B& c);
  const Color3B& getColor() const { return color_; }
  Color3B getDisplayedColor() const;
  virtual void setOpacity(uint8_t o);
  uint8_t getOpacity() const { return opacity_; }
  uint8_t getDisplayedOpacity() const;
  void setCascadeOpacityEnabled(bool e) { cascadeOpacity_ = e; }
  bool isCascadeOpacityEnabled() const { return cascadeOpacity_; }
  void setCascadeColorEnabled(bool e) { cascadeColor_ = e; }
  bool isCascadeColorEnabled() const { return cascadeColor_; }

  // --- actions and scheduling ----------------------------------------------------------------
  // Actions start at once (their start state is read now); they advance while the node runs.
  Action* runAction(Action* action);
  void stopAllActions();
  void stopAction(Action* action);
  void stopActionByTag(int tag);
  Action* getActionByTag(int tag) const;
  int getNumberOfRunningActions() const;
  // Per-frame update() at priority 0 while the node is running.
  void scheduleUpdate();
  void scheduleUpdateWithPriority(int priority);
  void unscheduleUpdate();
  // Timers by key, owned by this node (paused while it is not running).
  void schedule(std::function<void(float)> callback, float interval, const std::string& key);
  void schedule(std::function<void(float)> callback, float interval, unsigned repeat, float delay,
                const std::string& key);
  void scheduleOnce(std::function<void(float)> callback, float delay, const std::string& key);
  void unschedule(const std::string& key);
  bool isScheduled(const std::string& key) const;
  void unscheduleAllCallbacks();

  // Free slot for the owner (not touched by the engine).
  void setUserData(void* p) { userData_ = p; }
  void* getUserData() const { return userData_; }

 public:
  Node();

 protected:
  ~Node() override;
  // Called when the content size, anchor, scale or position changed (layout hook).
  virtual void onTransformChanged() {}
  static Scheduler& scheduler();
  static ActionManager& actionManager();

 private:
  void insertChild(Node* child, int z, int tag);
  void detachChild(Node* child, size_t index, bool cleanup);

  Node* parent_ = nullptr;
  std::vector<Node*> children_;
  mutable std::vector<Node*> sorted_;
  mutable bool sortDirty_ = false;
  int localZ_ = 0;
  float globalZ_ = 0;
  unsigned arrival_ = 0;
  int tag_ = INVALID_TAG;
  std::string name_;
  Vec2 position_;
  Vec2 anchor_;
  Size contentSize_;
  float scaleX_ = 1, scaleY_ = 1;
  float rotation_ = 0;
  bool visible_ = true;
  bool running_ = false;
  Color3B color_;
  uint8_t opacity_ = 255;
  bool cascadeOpacity_ = false;
  bool cascadeColor_ = false;
  void* userData_ = nullptr;
};

// The root of a node tree run by the director. Content size = the visible size.
class Scene : public Node {
 public:
  ENG_CREATE_FUNC(Scene)
  bool init() override;
};

// A full-window container. Content size = the visible size, anchor (0, 0).
class Layer : public Node {
 public:
  ENG_CREATE_FUNC(Layer)
  bool init() override;
};

// A layer filled with one colour (its own opacity multiplies the colour's alpha).
class LayerColor : public Layer {
 public:
  ENG_CREATE_FUNC(LayerColor)
  static LayerColor* create(const Color4B& color);
  static LayerColor* create(const Color4B& color, float width, float height);
  bool init() override;
  virtual bool initWithColor(const Color4B& color, float width, float height);
  void draw(Renderer& renderer, const Mat4& transform, uint32_t flags) override;
  void setBlendFunc(const BlendFunc& b) { blend_ = b; }

 private:
  BlendFunc blend_;
};

}  // namespace eng
