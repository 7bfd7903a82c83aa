// The platform window: an SDL2 window with an OpenGL compatibility context (GLSL 1.20), or a
// hidden window that renders into an offscreen framebuffer (tests, headless capture).
//
// pollEvents turns SDL input into touches and keys for the director's event dispatcher:
// the left mouse button is touch 0 (began/moved/ended), SDL finger events are touches with
// their own ids (1, 2, ... while down), a wheel step is one two-finger pinch step on the point
// under the mouse (wheel = vertical axis, Shift + wheel = horizontal; wheel up spreads), and
// keys go to keyboard listeners. Window coordinates (top-left origin) become points with the
// origin at the bottom-left.
#pragma once

#include <functional>
#include <string>

#include "engine/Ref.h"
#include "engine/Types.h"

struct SDL_Window;

namespace eng {

struct Image;

struct GLContextAttrs {
  int redBits = 8, greenBits = 8, blueBits = 8, alphaBits = 8, depthBits = 24, stencilBits = 8;
};

enum class WindowEvent { MINIMIZED, RESTORED, CLOSE_REQUESTED, RESIZED };

class GLView : public Ref {
 public:
  static void setGLContextAttrs(const GLContextAttrs& attrs);
  static GLContextAttrs getGLContextAttrs();

  // A visible, resizable window. nullptr (with one line on stderr) when no display is reachable
  // or no GL context can be made.
  static GLView* createWithRect(const std::string& title, const Rect& rect, float frameZoom = 1.0f);
  // A hidden window rendering into a framebuffer object of `size` pixels.
  static GLView* createOffscreen(Size size);

  Size getFrameSize() const { return frameSize_; }
  Size getDesignResolutionSize() const { return frameSize_; }
  Rect getVisibleRect() const { return Rect(Vec2(), frameSize_); }
  Vec2 getVisibleOrigin() const { return {}; }
  Size getVisibleSize() const { return frameSize_; }
  bool isOffscreen() const { return fbo_ != 0; }

  // GL: scissor test on for a rectangle in points (bottom-left origin).
  void setScissorInPoints(const Rect& r);
  bool isScissorEnabled() const;

  bool windowShouldClose() const { return closeRequested_; }
  void requestClose() { closeRequested_ = true; }
  // Minimise, restore, close, resize (after the design size has followed).
  void setWindowEventHandler(std::function<void(WindowEvent)> h) { onWindowEvent_ = std::move(h); }

  void pollEvents();
  // Binds the frame's target, sets the viewport and clears it.
  void beginFrame();
  void swapBuffers();
  // The rectangle (points, bottom-left origin) of the current frame as an image (top row first).
  bool readPixels(const Rect& r, Image& out);
  void setClearColor(const Color4F& c) { clear_ = c; }
  SDL_Window* sdlWindow() const { return window_; }
  std::string glVersion() const;

 protected:
  GLView() = default;
  ~GLView() override;

 private:
  bool initWindow(const std::string& title, int w, int h, bool hidden);
  bool initFramebuffer(int w, int h);
  void handleResize(int w, int h);
  int fingerToTouchId(long long fingerId, bool allocate);

  SDL_Window* window_ = nullptr;
  void* context_ = nullptr;
  unsigned fbo_ = 0, fboColor_ = 0, fboDepth_ = 0;
  Size frameSize_;
  bool closeRequested_ = false;
  bool mouseDown_ = false;
  Color4F clear_{0, 0, 0, 1};
  std::function<void(WindowEvent)> onWindowEvent_;
  long long fingers_[16] = {};
  bool fingerUsed_[16] = {};
};

}  // namespace eng
