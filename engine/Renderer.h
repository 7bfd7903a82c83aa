// The renderer: a queue of draw commands filled during the visit of the scene and executed in
// order (stable by global z, then by queueing order) with the GL context current.
//
// Engine nodes queue batches of vertices (quads, lines, points, triangles) that carry the state
// they were recorded with. Nodes of the application may queue their own CustomCommand, whose
// function may call OpenGL directly. Clipping: pushScissor/popScissor queue commands that keep a
// stack of scissor rectangles in window points, each clipped to the one below, so clipping
// regions nest.
//
// Without a GL context (headless director) commands are recorded and counted but not executed,
// so draw order can be checked without a display.
#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <vector>

#include "engine/GLProgram.h"
#include "engine/Ref.h"
#include "engine/Texture2D.h"
#include "engine/Types.h"

namespace eng {

class Node;
class Renderer;

// One vertex of the built-in programs: position (points), colour (straight alpha), texture
// coordinate.
struct V2F_C4B_T2F {
  Vec2 pos;
  Color4B color;
  float u = 0, v = 0;
};

class RenderCommand {
 public:
  enum class Kind { CUSTOM, BATCH, SCISSOR_PUSH, SCISSOR_POP };
  virtual ~RenderCommand() = default;
  virtual void execute(Renderer& renderer) = 0;
  Kind kind() const { return kind_; }
  float globalZ = 0;
  const Node* owner = nullptr;

 protected:
  explicit RenderCommand(Kind k) : kind_(k) {}

 private:
  Kind kind_;
};

// A command that runs a callable, owned by the node that queues it (usually a member).
class CustomCommand : public RenderCommand {
 public:
  CustomCommand() : RenderCommand(Kind::CUSTOM) {}
  void init(float globalZOrder) { globalZ = globalZOrder; }
  void init(float globalZOrder, const Mat4& mv, uint32_t flags) {
    globalZ = globalZOrder;
    modelView = mv;
    this->flags = flags;
  }
  void execute(Renderer&) override {
    if (func) func();
  }
  std::function<void()> func;
  Mat4 modelView;
  uint32_t flags = 0;
};

enum class Primitive { TRIANGLES, LINES, POINTS, LINE_STRIP };

// Vertices with their state, drawn with one call. Owned by the renderer (reused every frame).
class BatchCommand : public RenderCommand {
 public:
  BatchCommand() : RenderCommand(Kind::BATCH) {}
  void execute(Renderer& renderer) override;
  Primitive primitive = Primitive::TRIANGLES;
  std::vector<V2F_C4B_T2F> vertices;
  RefPtr<Texture2D> texture;          // null: untextured (position + colour program)
  RefPtr<GLProgramState> programState;  // null: the built-in program
  BlendFunc blend;
  Mat4 modelView;
  float lineWidth = 2;
  float pointSize = 2;
  bool alphaTexture = false;  // glyph atlases: alpha-only texture
};

class Renderer {
 public:
  Renderer();
  ~Renderer();

  void addCommand(RenderCommand* command);
  // A batch to fill; queued at once with the owner's global z.
  BatchCommand& addBatch(const Node* owner, Primitive primitive, const Mat4& modelView);
  // One untextured rectangle in node space.
  void addQuad(const Node* owner, const Mat4& modelView, const Rect& r, Color4B color, BlendFunc blend);
  // Scissor in window points; intersects with the enclosing scissor.
  void pushScissor(const Rect& windowRect, const Node* owner = nullptr);
  void popScissor(const Node* owner = nullptr);

  // Executes the queue (when a GL context is active) and empties it.
  void render();
  void clearQueue();

  // Only with a context: GL calls happen inside render().
  void setExecuting(bool e) { executing_ = e; }
  bool isExecuting() const { return executing_; }
  void setProjection(const Mat4& p) { projection_ = p; }
  const Mat4& getProjection() const { return projection_; }
  // Window size in points, for the scissor (y from the bottom).
  void setViewSize(Size s) { viewSize_ = s; }

  // --- introspection (tests, statistics) -----------------------------------------------------
  struct Stats {
    size_t commands = 0, drawCalls = 0, vertices = 0;
    std::vector<Rect> scissors;  // effective rectangle of each push, in order
  };
  const Stats& lastFrameStats() const { return lastStats_; }
  // Owners of the last rendered frame's commands, in execution order.
  const std::vector<const Node*>& lastFrameOwners() const { return lastOwners_; }
  // The scene's nodes in the order their draw() ran during the last visit.
  const std::vector<const Node*>& lastVisitOrder() const { return lastVisit_; }
  void noteVisited(const Node* n) { visit_.push_back(n); }
  // The scissor rectangle on top of the stack while commands execute (tests); empty size = none.
  Rect currentScissor() const { return scissorStack_.empty() ? Rect() : scissorStack_.back(); }
  size_t scissorDepth() const { return scissorStack_.size(); }

  // Called by batch and scissor commands while executing.
  void countDraw(size_t vertices) {
    ++stats_.drawCalls;
    stats_.vertices += vertices;
  }
  void applyScissorPush(const Rect& r);
  void applyScissorPop();

 private:
  class ScissorCommand;
  void executeQueue();
  std::vector<RenderCommand*> queue_;
  BatchCommand merged_;
  std::deque<BatchCommand> batches_;
  size_t batchesUsed_ = 0;
  std::deque<std::unique_ptr<RenderCommand>> scissors_;
  size_t scissorsUsed_ = 0;
  std::vector<Rect> scissorStack_;
  bool executing_ = false;
  Mat4 projection_;
  Size viewSize_;
  Stats stats_, lastStats_;
  std::vector<const Node*> lastOwners_;
  std::vector<const Node*> visit_, lastVisit_;
};

}  // namespace eng
