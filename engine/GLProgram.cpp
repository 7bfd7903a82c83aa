#include "engine/GLProgram.h"

#include <GL/glew.h>

#include <cstdio>

#include "engine/Director.h"
#include "engine/Texture2D.h"
#include "engine/detail/GLContext.h"

namespace eng {

namespace detail {
namespace {
unsigned g_generation = 0;
unsigned g_counter = 0;
}  // namespace
unsigned glGeneration() { return g_generation; }
void glContextCreated() { g_generation = ++g_counter; }
void glContextDestroyed() { g_generation = 0; }
}  // namespace detail

// --- built-in programs (GLSL 1.20) -----------------------------------------------------------

namespace {
const char* kPositionTextureColorVsh = R"(#version 120
attribute vec2 a_position;
attribute vec4 a_color;
attribute vec2 a_texCoord;
uniform mat4 u_MVPMatrix;
varying vec4 v_color;
varying vec2 v_texCoord;
void main() {
  gl_Position = u_MVPMatrix * vec4(a_position, 0.0, 1.0);
  v_color = a_color;
  v_texCoord = a_texCoord;
}
)";
const char* kPositionTextureColorFsh = R"(#version 120
uniform sampler2D u_texture;
varying vec4 v_color;
varying vec2 v_texCoord;
void main() {
  gl_FragColor = v_color * texture2D(u_texture, v_texCoord);
}
)";
const char* kLabelFsh = R"(#version 120
uniform sampler2D u_texture;
varying vec4 v_color;
varying vec2 v_texCoord;
void main() {
  gl_FragColor = vec4(v_color.rgb, v_color.a * texture2D(u_texture, v_texCoord).a);
}
)";
const char* kPositionColorVsh = R"(#version 120
attribute vec2 a_position;
attribute vec4 a_color;
uniform mat4 u_MVPMatrix;
uniform float u_pointSize;
varying vec4 v_color;
void main() {
  gl_Position = u_MVPMatrix * vec4(a_position, 0.0, 1.0);
  gl_PointSize = u_pointSize;
  v_color = a_color;
}
)";
const char* kPositionColorFsh = R"(#version 120
varying vec4 v_color;
void main() {
  gl_FragColor = v_color;
}
)";
const char* kPositionUColorVsh = R"(#version 120
attribute vec4 a_position;
uniform mat4 u_MVPMatrix;
uniform float u_pointSize;
void main() {
  gl_Position = u_MVPMatrix * a_position;
  gl_PointSize = u_pointSize;
}
)";
const char* kPositionUColorFsh = R"(#version 120
uniform vec4 u_color;
void main() {
  gl_FragColor = u_color;
}
)";

bool haveContext() { return detail::glGeneration() != 0; }

GLuint compile(GLenum type, const std::string& src, std::string& log) {
  GLuint s = glCreateShader(type);
  const char* p = src.c_str();
  glShaderSource(s, 1, &p, nullptr);
  glCompileShader(s);
  GLint ok = 0;
  glGetShaderiv(s, GL_COMPILE_STATUS, &ok);
  if (!ok) {
    char buf[2048] = {0};
    glGetShaderInfoLog(s, sizeof buf - 1, nullptr, buf);
    log += (type == GL_VERTEX_SHADER ? "vertex shader: " : "fragment shader: ");
    log += buf;
    glDeleteShader(s);
    return 0;
  }
  return s;
}
}  // namespace

// --- GLProgram -------------------------------------------------------------------------------

GLProgram* GLProgram::create() {
  auto* p = new GLProgram();
  p->autorelease();
  return p;
}

GLProgram* GLProgram::createWithByteArrays(const char* vsh, const char* fsh) {
  auto* p = new GLProgram();
  if (!p->initWithByteArrays(vsh, fsh)) {
    p->release();
    return nullptr;
  }
  p->bindAttribLocation(ATTRIBUTE_NAME_POSITION, VERTEX_ATTRIB_POSITION);
  p->bindAttribLocation(ATTRIBUTE_NAME_COLOR, VERTEX_ATTRIB_COLOR);
  p->bindAttribLocation(ATTRIBUTE_NAME_TEX_COORD, VERTEX_ATTRIB_TEX_COORD);
  if (!p->link()) {
    std::fprintf(stderr, "GLProgram: link failed: %s\n", p->getLog().c_str());
    p->release();
    return nullptr;
  }
  p->updateUniforms();
  p->autorelease();
  return p;
}

GLProgram::~GLProgram() {
  if (program_ && generation_ == detail::glGeneration() && haveContext()) glDeleteProgram(program_);
}

bool GLProgram::initWithByteArrays(const char* vsh, const char* fsh) {
  if (!vsh || !fsh || !*vsh || !*fsh) return false;
  vsh_ = vsh;
  fsh_ = fsh;
  return true;
}

void GLProgram::bindAttribLocation(const std::string& name, unsigned index) {
  for (auto& a : attribs_)
    if (a.first == name) {
      a.second = index;
      return;
    }
  attribs_.emplace_back(name, index);
}

bool GLProgram::link() {
  linkRequested_ = true;
  if (vsh_.empty() || fsh_.empty()) return false;
  if (!haveContext()) {
    // Built on first use once a context exists.
    linked_ = true;
    return true;
  }
  return build();
}

bool GLProgram::build() {
  if (program_ && generation_ == detail::glGeneration()) return linked_;
  program_ = 0;
  uniformCache_.clear();
  log_.clear();
  failed_ = false;
  generation_ = detail::glGeneration();
  const GLuint vs = compile(GL_VERTEX_SHADER, vsh_, log_);
  const GLuint fs = compile(GL_FRAGMENT_SHADER, fsh_, log_);
  if (!vs || !fs) {
    if (vs) glDeleteShader(vs);
    if (fs) glDeleteShader(fs);
    linked_ = false;
    failed_ = true;
    return false;
  }
  const GLuint p = glCreateProgram();
  glAttachShader(p, vs);
  glAttachShader(p, fs);
  for (auto& [name, index] : attribs_) glBindAttribLocation(p, index, name.c_str());
  glLinkProgram(p);
  glDeleteShader(vs);
  glDeleteShader(fs);
  GLint ok = 0;
  glGetProgramiv(p, GL_LINK_STATUS, &ok);
  if (!ok) {
    char buf[2048] = {0};
    glGetProgramInfoLog(p, sizeof buf - 1, nullptr, buf);
    log_ += buf;
    glDeleteProgram(p);
    linked_ = false;
    failed_ = true;
    return false;
  }
  program_ = p;
  linked_ = true;
  return true;
}

void GLProgram::updateUniforms() { uniformCache_.clear(); }

unsigned GLProgram::getProgram() {
  if (!haveContext() || !linkRequested_) return 0;
  if (failed_ && generation_ == detail::glGeneration()) return 0;
  build();
  return program_;
}

void GLProgram::use() {
  if (const unsigned p = getProgram()) glUseProgram(p);
}

int GLProgram::getUniformLocation(const std::string& name) {
  const unsigned p = getProgram();
  if (!p) return -1;
  auto it = uniformCache_.find(name);
  if (it != uniformCache_.end()) return it->second;
  const int loc = glGetUniformLocation(p, name.c_str());
  uniformCache_[name] = loc;
  return loc;
}

int GLProgram::getAttribLocation(const std::string& name) {
  const unsigned p = getProgram();
  return p ? glGetAttribLocation(p, name.c_str()) : -1;
}

void GLProgram::setUniformsForBuiltins(const Mat4& mv) {
  if (!getProgram()) return;
  const Mat4& proj = Director::getInstance()->getProjection();
  const Mat4 mvp = proj * mv;
  setUniformLocationWithMatrix4fv(getUniformLocation("u_MVPMatrix"), mvp.m);
  setUniformLocationWithMatrix4fv(getUniformLocation("u_MVMatrix"), mv.m);
  setUniformLocationWithMatrix4fv(getUniformLocation("u_PMatrix"), proj.m);
}

void GLProgram::setUniformLocationWith1i(int l, int v) { if (l >= 0 && haveContext()) glUniform1i(l, v); }
void GLProgram::setUniformLocationWith1f(int l, float v) { if (l >= 0 && haveContext()) glUniform1f(l, v); }
void GLProgram::setUniformLocationWith2f(int l, float a, float b) { if (l >= 0 && haveContext()) glUniform2f(l, a, b); }
void GLProgram::setUniformLocationWith4f(int l, float a, float b, float c, float d) {
  if (l >= 0 && haveContext()) glUniform4f(l, a, b, c, d);
}
void GLProgram::setUniformLocationWithMatrix4fv(int l, const float* m) {
  if (l >= 0 && haveContext()) glUniformMatrix4fv(l, 1, GL_FALSE, m);
}

// --- GLProgramCache --------------------------------------------------------------------------

GLProgramCache* GLProgramCache::getInstance() {
  static GLProgramCache* c = new GLProgramCache();
  return c;
}

GLProgramCache::GLProgramCache() { loadDefaults(); }

void GLProgramCache::loadDefaults() {
  struct Def {
    const char* name;
    const char* vsh;
    const char* fsh;
  };
  const Def defs[] = {
      {GLProgram::SHADER_NAME_POSITION_TEXTURE_COLOR, kPositionTextureColorVsh, kPositionTextureColorFsh},
      {GLProgram::SHADER_NAME_LABEL, kPositionTextureColorVsh, kLabelFsh},
      {GLProgram::SHADER_NAME_POSITION_COLOR, kPositionColorVsh, kPositionColorFsh},
      {GLProgram::SHADER_NAME_POSITION_U_COLOR, kPositionUColorVsh, kPositionUColorFsh},
  };
  for (const Def& d : defs) {
    auto* p = new GLProgram();
    p->initWithByteArrays(d.vsh, d.fsh);
    p->bindAttribLocation(GLProgram::ATTRIBUTE_NAME_POSITION, GLProgram::VERTEX_ATTRIB_POSITION);
    p->bindAttribLocation(GLProgram::ATTRIBUTE_NAME_COLOR, GLProgram::VERTEX_ATTRIB_COLOR);
    p->bindAttribLocation(GLProgram::ATTRIBUTE_NAME_TEX_COORD, GLProgram::VERTEX_ATTRIB_TEX_COORD);
    p->link();  // deferred until a context exists
    programs_[d.name] = p;
    p->release();
  }
}

GLProgram* GLProgramCache::getGLProgram(const std::string& name) {
  auto it = programs_.find(name);
  return it == programs_.end() ? nullptr : it->second.get();
}

void GLProgramCache::addGLProgram(GLProgram* p, const std::string& name) {
  if (p) programs_[name] = p;
  else programs_.erase(name);
}

void GLProgramCache::removeAll() {
  programs_.clear();
  loadDefaults();
}

// --- GLProgramState --------------------------------------------------------------------------

GLProgramState* GLProgramState::create(GLProgram* program) {
  if (!program) return nullptr;
  auto* s = new GLProgramState();
  s->program_ = program;
  s->autorelease();
  return s;
}

GLProgramState* GLProgramState::getOrCreateWithGLProgram(GLProgram* program) {
  static std::map<GLProgram*, RefPtr<GLProgramState>> states;
  if (!program) return nullptr;
  auto it = states.find(program);
  if (it != states.end()) return it->second.get();
  GLProgramState* s = create(program);
  states[program] = s;
  return s;
}

GLProgramState* GLProgramState::getOrCreateWithGLProgramName(const std::string& name) {
  return getOrCreateWithGLProgram(GLProgramCache::getInstance()->getGLProgram(name));
}

void GLProgramState::setUniformFloat(const std::string& n, float v) {
  Value& x = values_[n];
  x.kind = 1;
  x.f[0] = v;
}
void GLProgramState::setUniformVec2(const std::string& n, const Vec2& v) {
  Value& x = values_[n];
  x.kind = 2;
  x.f[0] = v.x;
  x.f[1] = v.y;
}
void GLProgramState::setUniformVec4(const std::string& n, const Color4F& v) {
  Value& x = values_[n];
  x.kind = 3;
  x.f[0] = v.r; x.f[1] = v.g; x.f[2] = v.b; x.f[3] = v.a;
}
void GLProgramState::setUniformInt(const std::string& n, int v) {
  Value& x = values_[n];
  x.kind = 4;
  x.i = v;
}
void GLProgramState::setUniformTexture(const std::string& n, Texture2D* t) {
  Value& x = values_[n];
  x.kind = 5;
  x.texture = t;
}

void GLProgramState::apply(const Mat4& mv) {
  if (!program_) return;
  program_->use();
  program_->setUniformsForBuiltins(mv);
  int unit = 1;
  for (auto& [name, v] : values_) {
    const int loc = program_->getUniformLocation(name);
    if (loc < 0) continue;
    switch (v.kind) {
      case 1: program_->setUniformLocationWith1f(loc, v.f[0]); break;
      case 2: program_->setUniformLocationWith2f(loc, v.f[0], v.f[1]); break;
      case 3: program_->setUniformLocationWith4f(loc, v.f[0], v.f[1], v.f[2], v.f[3]); break;
      case 4: program_->setUniformLocationWith1i(loc, v.i); break;
      case 5:
        if (v.texture) {
          v.texture->bind(unit);
          program_->setUniformLocationWith1i(loc, unit);
          ++unit;
        }
        break;
      default: break;
    }
  }
  if (haveContext()) glActiveTexture(GL_TEXTURE0);
}

}  // namespace eng
