#include "engine/Renderer.h"

#include <GL/glew.h>

#include <algorithm>
#include <cmath>

#include "engine/GLProgram.h"
#include "engine/Node.h"
#include "engine/Texture2D.h"

namespace eng {

class Renderer::ScissorCommand : public RenderCommand {
 public:
  ScissorCommand() : RenderCommand(Kind::SCISSOR_PUSH) {}
  void execute(Renderer& r) override {
    if (push) r.applyScissorPush(rect);
    else r.applyScissorPop();
  }
  bool push = true;
  Rect rect;
};

Renderer::Renderer() = default;
Renderer::~Renderer() = default;

void Renderer::addCommand(RenderCommand* c) {
  if (c) queue_.push_back(c);
}

BatchCommand& Renderer::addBatch(const Node* owner, Primitive primitive, const Mat4& mv) {
  if (batchesUsed_ == batches_.size()) batches_.emplace_back();
  BatchCommand& b = batches_[batchesUsed_++];
  b.owner = owner;
  b.globalZ = owner ? owner->getGlobalZOrder() : 0;
  b.primitive = primitive;
  b.vertices.clear();
  b.texture.reset();
  b.programState.reset();
  b.blend = BlendFunc::ALPHA_NON_PREMULTIPLIED;
  b.modelView = mv;
  b.lineWidth = 2;
  b.pointSize = 2;
  b.alphaTexture = false;
  queue_.push_back(&b);
  return b;
}

void Renderer::addQuad(const Node* owner, const Mat4& mv, const Rect& r, Color4B c, BlendFunc blend) {
  BatchCommand& b = addBatch(owner, Primitive::TRIANGLES, mv);
  b.blend = blend;
  const float x0 = r.getMinX(), x1 = r.getMaxX(), y0 = r.getMinY(), y1 = r.getMaxY();
  const V2F_C4B_T2F v[6] = {{{x0, y0}, c, 0, 0}, {{x1, y0}, c, 0, 0}, {{x1, y1}, c, 0, 0},
                            {{x0, y0}, c, 0, 0}, {{x1, y1}, c, 0, 0}, {{x0, y1}, c, 0, 0}};
  b.vertices.assign(v, v + 6);
}

void Renderer::pushScissor(const Rect& r, const Node* owner) {
  if (scissorsUsed_ == scissors_.size()) scissors_.push_back(std::make_unique<ScissorCommand>());
  auto* c = static_cast<ScissorCommand*>(scissors_[scissorsUsed_++].get());
  c->push = true;
  c->rect = r;
  c->owner = owner;
  c->globalZ = owner ? owner->getGlobalZOrder() : 0;
  queue_.push_back(c);
}

void Renderer::popScissor(const Node* owner) {
  if (scissorsUsed_ == scissors_.size()) scissors_.push_back(std::make_unique<ScissorCommand>());
  auto* c = static_cast<ScissorCommand*>(scissors_[scissorsUsed_++].get());
  c->push = false;
  c->owner = owner;
  c->globalZ = owner ? owner->getGlobalZOrder() : 0;
  queue_.push_back(c);
}

void Renderer::applyScissorPush(const Rect& r) {
  const Rect clipped = scissorStack_.empty() ? r : scissorStack_.back().intersection(r);
  scissorStack_.push_back(clipped);
  stats_.scissors.push_back(clipped);
  if (!executing_) return;
  glEnable(GL_SCISSOR_TEST);
  // Round outwards to whole pixels; an empty intersection clips everything.
  const GLint x = GLint(std::floor(clipped.getMinX()));
  const GLint y = GLint(std::floor(clipped.getMinY()));
  const GLint x1 = GLint(std::ceil(clipped.getMaxX()));
  const GLint y1 = GLint(std::ceil(clipped.getMaxY()));
  glScissor(x, y, std::max(0, x1 - x), std::max(0, y1 - y));
}

void Renderer::applyScissorPop() {
  if (!scissorStack_.empty()) scissorStack_.pop_back();
  if (!executing_) return;
  if (scissorStack_.empty()) {
    glDisable(GL_SCISSOR_TEST);
  } else {
    const Rect& r = scissorStack_.back();
    const GLint x = GLint(std::floor(r.getMinX())), y = GLint(std::floor(r.getMinY()));
    glScissor(x, y, std::max(0, GLint(std::ceil(r.getMaxX())) - x), std::max(0, GLint(std::ceil(r.getMaxY())) - y));
  }
}

void Renderer::clearQueue() {
  queue_.clear();
  batchesUsed_ = 0;
  scissorsUsed_ = 0;
  // Drop references held by batches (textures, program states) at the end of the frame.
  for (auto& b : batches_) {
    b.texture.reset();
    b.programState.reset();
  }
  visit_.clear();
}

void Renderer::render() {
  std::stable_sort(queue_.begin(), queue_.end(),
                   [](const RenderCommand* a, const RenderCommand* b) { return a->globalZ < b->globalZ; });
  stats_ = Stats{};
  stats_.commands = queue_.size();
  lastOwners_.clear();
  for (const RenderCommand* c : queue_) lastOwners_.push_back(c->owner);
  scissorStack_.clear();
  if (executing_) {
    executeQueue();
    if (!scissorStack_.empty()) glDisable(GL_SCISSOR_TEST);
  } else {
    // Keep the scissor bookkeeping observable without GL.
    for (RenderCommand* c : queue_)
      if (auto* sc = dynamic_cast<ScissorCommand*>(c)) sc->execute(*this);
  }
  scissorStack_.clear();
  lastStats_ = stats_;
  lastVisit_.swap(visit_);
  clearQueue();
}

namespace {
bool mergeable(const BatchCommand& b) { return !b.programState && b.primitive != Primitive::LINE_STRIP; }
bool sameState(const BatchCommand& a, const BatchCommand& b) {
  return mergeable(b) && a.primitive == b.primitive && a.texture == b.texture && a.alphaTexture == b.alphaTexture &&
         a.blend == b.blend && (a.primitive != Primitive::LINES || a.lineWidth == b.lineWidth) &&
         (a.primitive != Primitive::POINTS || a.pointSize == b.pointSize);
}
}  // namespace

// Consecutive batches with the same state are drawn with one call: their vertices are taken
// into window space on the CPU (cheaper under a software rasteriser than one call per node).
void Renderer::executeQueue() {
  const size_t n = queue_.size();
  size_t i = 0;
  while (i < n) {
    RenderCommand* c = queue_[i];
    if (c->kind() != RenderCommand::Kind::BATCH) {
      c->execute(*this);
      ++i;
      continue;
    }
    auto* first = static_cast<BatchCommand*>(c);
    size_t j = i + 1;
    if (mergeable(*first))
      while (j < n && queue_[j]->kind() == RenderCommand::Kind::BATCH &&
             sameState(*first, *static_cast<BatchCommand*>(queue_[j])))
        ++j;
    if (j == i + 1) {
      first->execute(*this);
      ++i;
      continue;
    }
    merged_.primitive = first->primitive;
    merged_.texture = first->texture;
    merged_.alphaTexture = first->alphaTexture;
    merged_.blend = first->blend;
    merged_.lineWidth = first->lineWidth;
    merged_.pointSize = first->pointSize;
    merged_.programState.reset();
    merged_.modelView = Mat4::identity();
    merged_.vertices.clear();
    for (size_t k = i; k < j; ++k) {
      const auto* b = static_cast<const BatchCommand*>(queue_[k]);
      const float* m = b->modelView.m;
      for (const V2F_C4B_T2F& v : b->vertices) {
        V2F_C4B_T2F w = v;
        w.pos = Vec2(m[0] * v.pos.x + m[4] * v.pos.y + m[12], m[1] * v.pos.x + m[5] * v.pos.y + m[13]);
        merged_.vertices.push_back(w);
      }
    }
    merged_.execute(*this);
    merged_.texture.reset();
    i = j;
  }
}

void BatchCommand::execute(Renderer& r) {
  if (vertices.empty()) return;
  GLProgram* program = nullptr;
  if (programState) {
    programState->apply(modelView);
    program = programState->getGLProgram();
  } else {
    const char* name = !texture ? GLProgram::SHADER_NAME_POSITION_COLOR
                       : alphaTexture ? GLProgram::SHADER_NAME_LABEL
                                      : GLProgram::SHADER_NAME_POSITION_TEXTURE_COLOR;
    program = GLProgramCache::getInstance()->getGLProgram(name);
    if (!program) return;
    program->use();
    program->setUniformsForBuiltins(modelView);
    const int ps = program->getUniformLocation("u_pointSize");
    if (ps >= 0) program->setUniformLocationWith1f(ps, pointSize);
  }
  if (!program || !program->isLinked()) return;
  if (texture) {
    texture->bind(0);
    const int loc = program->getUniformLocation("u_texture");
    if (loc >= 0) program->setUniformLocationWith1i(loc, 0);
  }
  // Every draw sets the state it needs (direct GL in custom commands may have changed it).
  if (blend == BlendFunc::DISABLE) {
    glDisable(GL_BLEND);
  } else {
    glEnable(GL_BLEND);
    glBlendFunc(blend.src, blend.dst);
  }
  glBindBuffer(GL_ARRAY_BUFFER, 0);
  const auto* base = reinterpret_cast<const uint8_t*>(vertices.data());
  const GLsizei stride = sizeof(V2F_C4B_T2F);
  glEnableVertexAttribArray(GLProgram::VERTEX_ATTRIB_POSITION);
  glVertexAttribPointer(GLProgram::VERTEX_ATTRIB_POSITION, 2, GL_FLOAT, GL_FALSE, stride,
                        base + offsetof(V2F_C4B_T2F, pos));
  glEnableVertexAttribArray(GLProgram::VERTEX_ATTRIB_COLOR);
  glVertexAttribPointer(GLProgram::VERTEX_ATTRIB_COLOR, 4, GL_UNSIGNED_BYTE, GL_TRUE, stride,
                        base + offsetof(V2F_C4B_T2F, color));
  glEnableVertexAttribArray(GLProgram::VERTEX_ATTRIB_TEX_COORD);
  glVertexAttribPointer(GLProgram::VERTEX_ATTRIB_TEX_COORD, 2, GL_FLOAT, GL_FALSE, stride,
                        base + offsetof(V2F_C4B_T2F, u));
  GLenum mode = GL_TRIANGLES;
  switch (primitive) {
    case Primitive::TRIANGLES: mode = GL_TRIANGLES; break;
    case Primitive::LINES: mode = GL_LINES; glLineWidth(lineWidth); break;
    case Primitive::LINE_STRIP: mode = GL_LINE_STRIP; glLineWidth(lineWidth); break;
    case Primitive::POINTS: mode = GL_POINTS; break;
  }
  glDrawArrays(mode, 0, GLsizei(vertices.size()));
  glDisableVertexAttribArray(GLProgram::VERTEX_ATTRIB_TEX_COORD);
  glDisableVertexAttribArray(GLProgram::VERTEX_ATTRIB_COLOR);
  r.countDraw(vertices.size());
}

}  // namespace eng
