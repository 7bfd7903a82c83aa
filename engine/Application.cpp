#include "engine/Application.h"

#include <cassert>
#include <cstdio>

#include "engine/Director.h"
#include "engine/GLView.h"
#include "engine/Platform.h"

namespace eng {

namespace {
Application* g_app = nullptr;
}

Application::Application() {
  assert(!g_app && "one Application per process");
  g_app = this;
}

Application::~Application() {
  if (g_app == this) g_app = nullptr;
}

Application* Application::getInstance() { return g_app; }

void Application::initGLContextAttrs() { GLView::setGLContextAttrs(GLContextAttrs{}); }

int Application::run() {
  initGLContextAttrs();
  if (!applicationDidFinishLaunching()) return 1;
  Director* d = Director::getInstance();
  GLView* view = d->getOpenGLView();
  if (!view) {
    std::fprintf(stderr, "Application: no window\n");
    return 1;
  }
  view->setWindowEventHandler([this](WindowEvent e) {
    switch (e) {
      case WindowEvent::MINIMIZED:
        if (!background_) {
          background_ = true;
          applicationDidEnterBackground();
        }
        break;
      case WindowEvent::RESTORED:
        if (background_) {
          background_ = false;
          applicationWillEnterForeground();
        }
        break;
      case WindowEvent::CLOSE_REQUESTED:
        if (!background_) {
          background_ = true;
          applicationDidEnterBackground();
        }
        break;
      case WindowEvent::RESIZED:
        break;
    }
  });
  d->mainLoop();
  // However the loop ended (window closed, requestClose), the background handler has run once
  // so the settings are saved.
  if (!background_) {
    background_ = true;
    applicationDidEnterBackground();
  }
  return 0;
}

bool Application::openURL(const std::string& url) { return eng::openURL(url); }

bool Application::sendEmail(const std::string& recipient, const std::string& subject, const std::string& body,
                            const uint8_t* bytes, size_t size, const std::string& text, const std::string& fileName) {
  return eng::sendEmail(recipient, subject, body, bytes, size, text, fileName);
}

}  // namespace eng
