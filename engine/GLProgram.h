// GL programs (GLSL 1.20), the program cache with the built-in programs, and program states
// (a program plus uniform values, for sprites that draw with a custom program).
//
// A program is built from two source strings. Compilation and linking happen when a GL context
// exists: at once if the director already has its view, else on first use while rendering.
// Attribute locations: a_position 0, a_color 1, a_texCoord 2. Built-in uniforms set by
// setUniformsForBuiltins: u_MVPMatrix (projection × model-view), u_MVMatrix, u_PMatrix; the
// texture sampler is u_texture (unit 0).
#pragma once

#include <map>
#include <string>
#include <vector>

#include "engine/Ref.h"
#include "engine/Types.h"

namespace eng {

class Texture2D;

class GLProgram : public Ref {
 public:
  static constexpr const char* ATTRIBUTE_NAME_POSITION = "a_position";
  static constexpr const char* ATTRIBUTE_NAME_COLOR = "a_color";
  static constexpr const char* ATTRIBUTE_NAME_TEX_COORD = "a_texCoord";
  enum : unsigned { VERTEX_ATTRIB_POSITION = 0, VERTEX_ATTRIB_COLOR = 1, VERTEX_ATTRIB_TEX_COORD = 2 };

  // Built-in programs in the cache.
  static constexpr const char* SHADER_NAME_POSITION_TEXTURE_COLOR = "ShaderPositionTextureColor";
  static constexpr const char* SHADER_NAME_POSITION_COLOR = "ShaderPositionColor";
  // Position only; uniforms u_color (vec4) and u_pointSize (float).
  static constexpr const char* SHADER_NAME_POSITION_U_COLOR = "ShaderPosition_uColor";
  // Glyph atlases: colour × the alpha of an alpha-only texture.
  static constexpr const char* SHADER_NAME_LABEL = "ShaderLabel";

  static GLProgram* create();
  // Sources, the three standard attribute locations, link, uniforms. nullptr when linking fails
  // (with a context) or a source is empty.
  static GLProgram* createWithByteArrays(const char* vertexSource, const char* fragmentSource);

  bool initWithByteArrays(const char* vertexSource, const char* fragmentSource);
  void bindAttribLocation(const std::string& name, unsigned index);
  // True when linked (or, without a context, when both sources are present).
  bool link();
  void updateUniforms();
  void use();
  bool isLinked() const { return linked_; }
  // GL program object (0 without a context).
  unsigned getProgram();
  int getUniformLocation(const std::string& name);
  int getAttribLocation(const std::string& name);
  void setUniformsForBuiltins(const Mat4& modelView);
  void setUniformLocationWith1i(int location, int v);
  void setUniformLocationWith1f(int location, float v);
  void setUniformLocationWith2f(int location, float a, float b);
  void setUniformLocationWith4f(int location, float a, float b, float c, float d);
  void setUniformLocationWithMatrix4fv(int location, const float* m);
  const std::string& getLog() const { return log_; }
  const std::string& vertexSource() const { return vsh_; }
  const std::string& fragmentSource() const { return fsh_; }

 public:
  GLProgram() = default;

 protected:
  ~GLProgram() override;

 private:
  bool build();  // needs a context
  std::string vsh_, fsh_;
  std::vector<std::pair<std::string, unsigned>> attribs_;
  std::map<std::string, int> uniformCache_;
  unsigned program_ = 0;
  unsigned generation_ = 0;
  bool linkRequested_ = false;
  bool linked_ = false;
  bool failed_ = false;
  std::string log_;
};

class GLProgramCache {
 public:
  static GLProgramCache* getInstance();
  GLProgram* getGLProgram(const std::string& name);
  void addGLProgram(GLProgram* program, const std::string& name);
  void removeAll();

 private:
  GLProgramCache();
  void loadDefaults();
  std::map<std::string, RefPtr<GLProgram>> programs_;
};

// A program with the uniform values of one user (e.g. the density sprite's "textureSize").
class GLProgramState : public Ref {
 public:
  static GLProgramState* create(GLProgram* program);
  // One shared state per program.
  static GLProgramState* getOrCreateWithGLProgram(GLProgram* program);
  static GLProgramState* getOrCreateWithGLProgramName(const std::string& name);
  GLProgram* getGLProgram() const { return program_.get(); }
  void setUniformFloat(const std::string& name, float v);
  void setUniformVec2(const std::string& name, const Vec2& v);
  void setUniformVec4(const std::string& name, const Color4F& v);
  void setUniformInt(const std::string& name, int v);
  // Bound to the next free texture unit (unit 0 is the sprite's own texture).
  void setUniformTexture(const std::string& name, Texture2D* texture);
  // use(), built-ins, then every stored uniform (GL).
  void apply(const Mat4& modelView);

 private:
  GLProgramState() = default;
  struct Value {
    int kind = 0;  // 1 float, 2 vec2, 3 vec4, 4 int, 5 texture
    float f[4] = {0, 0, 0, 0};
    int i = 0;
    RefPtr<Texture2D> texture;
  };
  RefPtr<GLProgram> program_;
  std::map<std::string, Value> values_;
};

}  // namespace eng
