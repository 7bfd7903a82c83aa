#include "engine/GLView.h"

#include <GL/glew.h>
#include <SDL2/SDL.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "engine/Director.h"
#include "engine/Image.h"
#include "engine/Touch.h"
#include "engine/detail/GLContext.h"

namespace eng {

namespace {
GLContextAttrs g_attrs;
float g_testDpi = 0;

// Touch ids the platform uses: 0 the mouse, 1..16 fingers, 100/101 the wheel's pinch.
constexpr int kWheelTouchA = 100, kWheelTouchB = 101;
// One wheel step: two touches 40 points apart move 60 points each along the axis (120 points of
// pinch travel, enough for one step of every pinch handler), spreading on wheel up.
constexpr float kWheelNear = 40, kWheelFar = 160;

KeyCode keyFromSdl(SDL_Keycode k) {
  switch (k) {
    case SDLK_ESCAPE: return KeyCode::ESCAPE;
    case SDLK_SPACE: return KeyCode::SPACE;
    case SDLK_RETURN: return KeyCode::ENTER;
    case SDLK_BACKSPACE: return KeyCode::BACKSPACE;
    case SDLK_LEFT: return KeyCode::LEFT;
    case SDLK_RIGHT: return KeyCode::RIGHT;
    case SDLK_UP: return KeyCode::UP;
    case SDLK_DOWN: return KeyCode::DOWN;
    default: return KeyCode::OTHER;
  }
}
}  // namespace

float Device::getDPI() {
  if (g_testDpi > 0) return g_testDpi;
  float ddpi = 0;
  if (SDL_WasInit(SDL_INIT_VIDEO) && SDL_GetDisplayDPI(0, &ddpi, nullptr, nullptr) == 0 && ddpi > 0) return ddpi;
  return 96.f;
}
void Device::setDPIForTesting(float dpi) { g_testDpi = dpi; }

void GLView::setGLContextAttrs(const GLContextAttrs& a) { g_attrs = a; }
GLContextAttrs GLView::getGLContextAttrs() { return g_attrs; }

GLView* GLView::createWithRect(const std::string& title, const Rect& rect, float zoom) {
  auto* v = new GLView();
  const int w = int(std::lround(rect.size.width * zoom)), h = int(std::lround(rect.size.height * zoom));
  if (!v->initWindow(title, w, h, false)) {
    v->release();
    return nullptr;
  }
  v->autorelease();
  return v;
}

GLView* GLView::createOffscreen(Size size) {
  auto* v = new GLView();
  const int w = int(size.width), h = int(size.height);
  if (!v->initWindow("Tarvo (offscreen)", 64, 64, true) || !v->initFramebuffer(w, h)) {
    v->release();
    return nullptr;
  }
  v->autorelease();
  return v;
}

bool GLView::initWindow(const std::string& title, int w, int h, bool hidden) {
  if (!SDL_WasInit(SDL_INIT_VIDEO) && SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
    std::fprintf(stderr, "GLView: no display (%s)\n", SDL_GetError());
    return false;
  }
  SDL_GL_SetAttribute(SDL_GL_RED_SIZE, g_attrs.redBits);
  SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, g_attrs.greenBits);
  SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, g_attrs.blueBits);
  SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, g_attrs.alphaBits);
  SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, g_attrs.depthBits);
  SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, g_attrs.stencilBits);
  SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
  // Compatibility context: the power trace draws from client-side arrays.
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 2);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 1);
  Uint32 flags = SDL_WINDOW_OPENGL | (hidden ? SDL_WINDOW_HIDDEN : (SDL_WINDOW_RESIZABLE | SDL_WINDOW_SHOWN));
  window_ = SDL_CreateWindow(title.c_str(), SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, w, h, flags);
  if (!window_) {
    std::fprintf(stderr, "GLView: cannot create the window (%s)\n", SDL_GetError());
    return false;
  }
  context_ = SDL_GL_CreateContext(window_);
  if (!context_) {
    std::fprintf(stderr, "GLView: cannot create a GL context (%s)\n", SDL_GetError());
    return false;
  }
  SDL_GL_MakeCurrent(window_, context_);
  SDL_GL_SetSwapInterval(0);  // paced by the frame loop (Xvfb has no vsync)
  glewExperimental = GL_TRUE;
  const GLenum err = glewInit();
  if (err != GLEW_OK) {
    std::fprintf(stderr, "GLView: GLEW: %s\n", reinterpret_cast<const char*>(glewGetErrorString(err)));
    return false;
  }
  while (glGetError() != GL_NO_ERROR) {
  }
  detail::glContextCreated();
  glEnable(GL_PROGRAM_POINT_SIZE);
  glDisable(GL_DEPTH_TEST);
  int dw = w, dh = h;
  SDL_GL_GetDrawableSize(window_, &dw, &dh);
  frameSize_ = Size(float(dw), float(dh));
  return true;
}

bool GLView::initFramebuffer(int w, int h) {
  if (w <= 0 || h <= 0) return false;
  GLuint fbo = 0, color = 0, depth = 0;
  glGenFramebuffers(1, &fbo);
  glBindFramebuffer(GL_FRAMEBUFFER, fbo);
  glGenTextures(1, &color);
  glBindTexture(GL_TEXTURE_2D, color);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, w, h, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, color, 0);
  glGenRenderbuffers(1, &depth);
  glBindRenderbuffer(GL_RENDERBUFFER, depth);
  glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH24_STENCIL8, w, h);
  glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, depth);
  const GLenum status = glCheckFramebufferStatus(GL_FRAMEBUFFER);
  fbo_ = fbo;
  fboColor_ = color;
  fboDepth_ = depth;
  if (status != GL_FRAMEBUFFER_COMPLETE) {
    std::fprintf(stderr, "GLView: offscreen framebuffer incomplete (0x%x)\n", status);
    return false;
  }
  frameSize_ = Size(float(w), float(h));
  return true;
}

GLView::~GLView() {
  if (context_) {
    SDL_GL_MakeCurrent(window_, context_);
    if (fbo_) {
      GLuint f = fbo_, c = fboColor_, d = fboDepth_;
      glBindFramebuffer(GL_FRAMEBUFFER, 0);
      glDeleteFramebuffers(1, &f);
      glDeleteTextures(1, &c);
      glDeleteRenderbuffers(1, &d);
    }
    detail::glContextDestroyed();
    SDL_GL_DeleteContext(context_);
  }
  if (window_) SDL_DestroyWindow(window_);
}

std::string GLView::glVersion() const {
  const auto* v = reinterpret_cast<const char*>(glGetString(GL_VERSION));
  return v ? v : "";
}

void GLView::setScissorInPoints(const Rect& r) {
  glEnable(GL_SCISSOR_TEST);
  glScissor(GLint(std::floor(r.getMinX())), GLint(std::floor(r.getMinY())), GLsizei(std::ceil(r.size.width)),
            GLsizei(std::ceil(r.size.height)));
}

bool GLView::isScissorEnabled() const { return glIsEnabled(GL_SCISSOR_TEST) == GL_TRUE; }

void GLView::beginFrame() {
  SDL_GL_MakeCurrent(window_, context_);
  glBindFramebuffer(GL_FRAMEBUFFER, fbo_);
  glViewport(0, 0, GLsizei(frameSize_.width), GLsizei(frameSize_.height));
  glDisable(GL_SCISSOR_TEST);
  glClearColor(clear_.r, clear_.g, clear_.b, clear_.a);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
}

void GLView::swapBuffers() {
  if (!fbo_) SDL_GL_SwapWindow(window_);
}

bool GLView::readPixels(const Rect& r, Image& out) {
  const int x = int(r.getMinX()), y = int(r.getMinY());
  const int w = int(r.size.width), h = int(r.size.height);
  if (w <= 0 || h <= 0 || x < 0 || y < 0 || x + w > int(frameSize_.width) || y + h > int(frameSize_.height)) return false;
  glBindFramebuffer(GL_FRAMEBUFFER, fbo_);
  glReadBuffer(fbo_ ? GL_COLOR_ATTACHMENT0 : GL_BACK);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  std::vector<uint8_t> buf(size_t(w) * h * 4);
  glReadPixels(x, y, w, h, GL_RGBA, GL_UNSIGNED_BYTE, buf.data());
  out.width = w;
  out.height = h;
  out.rgba.resize(buf.size());
  // GL rows start at the bottom; images start at the top.
  for (int row = 0; row < h; ++row)
    std::memcpy(&out.rgba[size_t(row) * w * 4], &buf[size_t(h - 1 - row) * w * 4], size_t(w) * 4);
  return glGetError() == GL_NO_ERROR;
}

void GLView::handleResize(int w, int h) {
  if (fbo_ || w <= 0 || h <= 0) return;
  frameSize_ = Size(float(w), float(h));
  Director::getInstance()->setDesignSize(frameSize_);
  if (onWindowEvent_) onWindowEvent_(WindowEvent::RESIZED);
}

int GLView::fingerToTouchId(long long fingerId, bool allocate) {
  for (int i = 0; i < 16; ++i)
    if (fingerUsed_[i] && fingers_[i] == fingerId) return i + 1;
  if (!allocate) return -1;
  for (int i = 0; i < 16; ++i)
    if (!fingerUsed_[i]) {
      fingerUsed_[i] = true;
      fingers_[i] = fingerId;
      return i + 1;
    }
  return -1;
}

void GLView::pollEvents() {
  EventDispatcher& d = *Director::getInstance()->getEventDispatcher();
  const float H = frameSize_.height;
  auto toPoints = [&](int x, int y) {
    // Window pixels (top-left origin) to points (bottom-left origin).
    // The offscreen view's window is a stand-in; its events are in framebuffer pixels.
    int ww = 0, wh = 0;
    if (!fbo_) SDL_GetWindowSize(window_, &ww, &wh);
    const float sx = ww > 0 ? frameSize_.width / float(ww) : 1.f, sy = wh > 0 ? H / float(wh) : 1.f;
    return Vec2(float(x) * sx, H - float(y) * sy);
  };
  SDL_Event e;
  while (SDL_PollEvent(&e)) {
    switch (e.type) {
      case SDL_QUIT:
        closeRequested_ = true;
        if (onWindowEvent_) onWindowEvent_(WindowEvent::CLOSE_REQUESTED);
        break;
      case SDL_WINDOWEVENT:
        if (e.window.event == SDL_WINDOWEVENT_MINIMIZED) {
          d.cancelAllTouches();
          mouseDown_ = false;
          if (onWindowEvent_) onWindowEvent_(WindowEvent::MINIMIZED);
        } else if (e.window.event == SDL_WINDOWEVENT_RESTORED) {
          if (onWindowEvent_) onWindowEvent_(WindowEvent::RESTORED);
        } else if (e.window.event == SDL_WINDOWEVENT_SIZE_CHANGED) {
          int dw = 0, dh = 0;
          SDL_GL_GetDrawableSize(window_, &dw, &dh);
          handleResize(dw, dh);
        } else if (e.window.event == SDL_WINDOWEVENT_CLOSE) {
          closeRequested_ = true;
          if (onWindowEvent_) onWindowEvent_(WindowEvent::CLOSE_REQUESTED);
        }
        break;
      case SDL_MOUSEBUTTONDOWN:
        if (e.button.button == SDL_BUTTON_LEFT && e.button.which != SDL_TOUCH_MOUSEID) {
          mouseDown_ = true;
          d.touchesBegan(0, toPoints(e.button.x, e.button.y));
        }
        break;
      case SDL_MOUSEMOTION:
        if (mouseDown_ && e.motion.which != SDL_TOUCH_MOUSEID) d.touchesMoved(0, toPoints(e.motion.x, e.motion.y));
        break;
      case SDL_MOUSEBUTTONUP:
        if (e.button.button == SDL_BUTTON_LEFT && mouseDown_ && e.button.which != SDL_TOUCH_MOUSEID) {
          mouseDown_ = false;
          d.touchesEnded(0, toPoints(e.button.x, e.button.y));
        }
        break;
      case SDL_MOUSEWHEEL: {
        const Vec2 p = toPoints(e.wheel.mouseX, e.wheel.mouseY);
        int steps = e.wheel.y != 0 ? e.wheel.y : e.wheel.x;
        if (e.wheel.direction == SDL_MOUSEWHEEL_FLIPPED) steps = -steps;
        const bool horizontal = e.wheel.y == 0 || (SDL_GetModState() & KMOD_SHIFT) != 0;
        const Vec2 axis = horizontal ? Vec2(1, 0) : Vec2(0, 1);
        TouchScript script(d);
        for (int i = 0; i < std::min(std::abs(steps), 10); ++i) {
          if (steps > 0) script.pinch(kWheelTouchA, kWheelTouchB, p, axis, kWheelNear, kWheelFar);
          else script.pinch(kWheelTouchA, kWheelTouchB, p, axis, kWheelFar, kWheelNear);
        }
        break;
      }
      case SDL_FINGERDOWN: {
        const int id = fingerToTouchId(e.tfinger.fingerId, true);
        if (id > 0) d.touchesBegan(id, Vec2(e.tfinger.x * frameSize_.width, H - e.tfinger.y * H));
        break;
      }
      case SDL_FINGERMOTION: {
        const int id = fingerToTouchId(e.tfinger.fingerId, false);
        if (id > 0) d.touchesMoved(id, Vec2(e.tfinger.x * frameSize_.width, H - e.tfinger.y * H));
        break;
      }
      case SDL_FINGERUP: {
        const int id = fingerToTouchId(e.tfinger.fingerId, false);
        if (id > 0) {
          d.touchesEnded(id, Vec2(e.tfinger.x * frameSize_.width, H - e.tfinger.y * H));
          fingerUsed_[id - 1] = false;
        }
        break;
      }
      case SDL_KEYDOWN:
        if (!e.key.repeat) d.keyPressed(keyFromSdl(e.key.keysym.sym));
        break;
      case SDL_KEYUP:
        d.keyReleased(keyFromSdl(e.key.keysym.sym));
        break;
      default:
        break;
    }
  }
}

}  // namespace eng
