// The application: window-system hooks around the director's frame loop.
//
// run() calls, in order: initGLContextAttrs, applicationDidFinishLaunching (which creates the
// view if the director has none, and runs the first scene), then the frame loop until the
// window closes. Minimising the window runs applicationDidEnterBackground, restoring it
// applicationWillEnterForeground; closing runs applicationDidEnterBackground (unless the
// application is already in the background) so nothing is lost, then run() returns 0.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace eng {

class Application {
 public:
  Application();
  virtual ~Application();

  virtual bool applicationDidFinishLaunching() = 0;
  virtual void applicationDidEnterBackground() = 0;
  virtual void applicationWillEnterForeground() = 0;
  // Sets the context attributes (default 8/8/8/8 colour, 24 depth, 8 stencil).
  virtual void initGLContextAttrs();

  // 0 after the window closed; 1 when launching failed or no window could be made.
  int run();
  static Application* getInstance();
  bool isInBackground() const { return background_; }

  bool openURL(const std::string& url);
  // See eng::sendEmail (Platform.h); `text` is a MIME type hint and may be empty.
  bool sendEmail(const std::string& recipient, const std::string& subject, const std::string& body,
                 const uint8_t* bytes, size_t size, const std::string& text, const std::string& fileName);

 private:
  bool background_ = false;
};

}  // namespace eng
