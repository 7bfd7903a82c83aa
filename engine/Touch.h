// Touch input: touches, one-by-one listeners and their dispatch, keyboard keys, and the
// device's DPI.
//
// Dispatch of a new touch goes front-most first: listeners bound to nodes of the running scene
// are ordered by the scene's draw order (a node drawn later is in front; a child drawn after its
// parent comes before it), listeners with a negative fixed priority before all of them and a
// positive one after. Each listener's onTouchBegan may claim the touch by returning true; the
// claiming listener then receives that touch's moved, ended and cancelled calls. A claiming
// listener that swallows stops the touch from reaching the listeners behind it. Listeners of
// nodes that are not running (or hidden) are skipped.
//
// The platform (the SDL window) and tests feed touches through the same entry points, in
// points with the origin at the bottom-left. Several touch ids may be down at once.
#pragma once

#include <functional>
#include <map>
#include <utility>
#include <vector>

#include "engine/Ref.h"
#include "engine/Types.h"

namespace eng {

class Node;

class Touch : public Ref {
 public:
  int getId() const { return id_; }
  Vec2 getLocation() const { return location_; }
  Vec2 getPreviousLocation() const { return previous_; }
  Vec2 getStartLocation() const { return start_; }
  Vec2 getDelta() const { return location_ - previous_; }

 private:
  friend class EventDispatcher;
  Touch() = default;
  int id_ = 0;
  Vec2 location_, previous_, start_;
};

class EventListenerTouchOneByOne : public Ref {
 public:
  static EventListenerTouchOneByOne* create();
  void setSwallowTouches(bool s) { swallow_ = s; }
  bool isSwallowTouches() const { return swallow_; }
  void setEnabled(bool e) { enabled_ = e; }
  bool isEnabled() const { return enabled_; }

  std::function<bool(Touch*)> onTouchBegan;
  std::function<void(Touch*)> onTouchMoved;
  std::function<void(Touch*)> onTouchEnded;
  std::function<void(Touch*)> onTouchCancelled;

 private:
  friend class EventDispatcher;
  EventListenerTouchOneByOne() = default;
  bool swallow_ = false;
  bool enabled_ = true;
  bool registered_ = false;
  Node* node_ = nullptr;
  int fixedPriority_ = 0;
  unsigned order_ = 0;
  std::vector<int> claimed_;
};

enum class KeyCode { ESCAPE, SPACE, ENTER, BACKSPACE, LEFT, RIGHT, UP, DOWN, OTHER };

class EventListenerKeyboard : public Ref {
 public:
  static EventListenerKeyboard* create();
  std::function<void(KeyCode)> onKeyPressed;
  std::function<void(KeyCode)> onKeyReleased;

 private:
  friend class EventDispatcher;
  EventListenerKeyboard() = default;
  bool registered_ = false;
  Node* node_ = nullptr;
};

class EventDispatcher {
 public:
  EventDispatcher();
  ~EventDispatcher();

  // The listener follows the node: dispatched by draw order while the node runs, removed when
  // the node is destroyed. The dispatcher retains the listener.
  void addEventListenerWithSceneGraphPriority(EventListenerTouchOneByOne* listener, Node* node);
  // Not bound to a node: priority < 0 goes before the scene's listeners, > 0 after (0 is not
  // allowed and is taken as 1).
  void addEventListenerWithFixedPriority(EventListenerTouchOneByOne* listener, int priority);
  void removeEventListener(EventListenerTouchOneByOne* listener);
  // Keyboard listeners get every key; a node-bound one only while its node runs.
  void addKeyboardListener(EventListenerKeyboard* listener, Node* node = nullptr);
  void removeKeyboardListener(EventListenerKeyboard* listener);
  void removeEventListenersForTarget(Node* node);
  void removeAllEventListeners();
  size_t touchListenerCount() const { return touchListeners_.size(); }

  // --- input entry points (platform and tests) -----------------------------------------------
  void touchesBegan(int id, Vec2 point);
  void touchesMoved(int id, Vec2 point);
  // Several touches moving in one event (a pinch): every touch gets its new location before any
  // listener hears of the move, so each sees the other's current position.
  void touchesMoved(const std::vector<std::pair<int, Vec2>>& moves);
  void touchesEnded(int id, Vec2 point);
  void touchesCancelled(int id, Vec2 point);
  // Cancels every touch that is down (window lost focus, scene replaced).
  void cancelAllTouches();
  void keyPressed(KeyCode key);
  void keyReleased(KeyCode key);
  size_t activeTouchCount() const { return touches_.size(); }
  // The touch with this id while it is down, else nullptr.
  Touch* activeTouch(int id) const;

 private:
  std::vector<EventListenerTouchOneByOne*> dispatchOrder() const;
  void finishTouch(int id, Vec2 point, bool cancelled);

  std::vector<RefPtr<EventListenerTouchOneByOne>> touchListeners_;
  std::vector<RefPtr<EventListenerKeyboard>> keyListeners_;
  std::map<int, RefPtr<Touch>> touches_;
  unsigned orderCounter_ = 0;
};

// Helpers for tests and the platform: whole gestures through an EventDispatcher.
struct TouchScript {
  explicit TouchScript(EventDispatcher& d) : dispatcher(d) {}
  void tap(int id, Vec2 p);
  // Down at `from`, `steps` moves to `to`, up at `to`.
  void drag(int id, Vec2 from, Vec2 to, int steps = 4);
  // Two touches (ids a and b) centred on `centre`, `startDistance` apart along `axis` (a unit
  // vector), moved together in `steps` to `endDistance` apart, then lifted.
  void pinch(int a, int b, Vec2 centre, Vec2 axis, float startDistance, float endDistance, int steps = 1);
  EventDispatcher& dispatcher;
};

struct Device {
  // Dots per inch of the display: the platform's figure, 96 when it reports none (Xvfb), or the
  // value set for tests.
  static float getDPI();
  static void setDPIForTesting(float dpi);  // <= 0 returns to the platform's figure
  // Desktop: nothing to do (kept for the start-up sequence).
  static void setKeepScreenOn(bool) {}
};

}  // namespace eng
