// AppDelegate: the application's start-up, background and foreground.
//
// Launch, in order: keep the screen on; the model with configuration slot 0 loaded (a store
// that never held slot 0 gets it written with the defaults); the 960 × 640 window titled
// "Tarvo" unless the director already has a view; 60 frames a second, content scale 1; display
// size class 3; the resource search paths "res/desktop/sd", "res", ""; the main scene; the
// on-screen log (levels 0x1F, lines live 15 s) sized to the visible area and kept in the model;
// the scene runs; then the USB link and the acquisition delegate with their threads
// (Acquisition.h).
//
// Background (the window is minimised, or closed): the frame loop stops drawing, slot 0 is saved
// under the three model locks, a connected accessory is released and new ones are refused.
// Foreground (restored): drawing resumes and the link may take the accessory again. Closing the
// window runs the background handler first, so the working settings survive.
#pragma once

#include <chrono>
#include <functional>
#include <memory>

#include "app/Acquisition.h"
#include "core/gui/ScreenLogLayer.h"
#include "display/MainScene.h"
#include "engine/Application.h"
#include "engine/services/Clock.h"
#include "engine/services/UserDefault.h"

namespace tarvo {

class AnalyzerModel;

// Named screen sizes for layout decisions.
namespace screen {
inline constexpr eng::Size SMALL{480, 320};
inline constexpr eng::Size WINDOW_FRAME{960, 640};  // the window the desktop start-up opens
inline constexpr eng::Size WIDE_540{960, 540};
inline constexpr eng::Size TABLET{1024, 768};
inline constexpr eng::Size FULL_HD{1920, 1080};
inline constexpr eng::Size FULL_HD_TALL{1920, 1280};
inline constexpr eng::Size TABLET_RETINA{2048, 1536};
inline constexpr eng::Size UHD{3840, 2160};
inline constexpr eng::Size LARGE{4096, 3064};
}  // namespace screen

class AppDelegate : public eng::Application {
 public:
  struct Options {
    AnalyzerModel* model = nullptr;    // the process-wide model when null
    eng::UserDefault* store = nullptr; // the process-wide settings store when null
    eng::Clock* clock = nullptr;       // the system clock when null
    bool startAcquisition = true;      // false: no link and no controller (tests)
    bool reportFirstFrame = true;      // one line on stdout once the first frame is drawn
    // Builds the link and the acquisition delegate; Acquisition::start when empty (tests put a
    // recording stand-in here).
    std::function<std::unique_ptr<Acquisition>(AnalyzerModel&, eng::Clock&)> acquisitionFactory;
  };

  AppDelegate();
  explicit AppDelegate(const Options& options);
  ~AppDelegate() override;

  bool applicationDidFinishLaunching() override;
  void applicationDidEnterBackground() override;
  void applicationWillEnterForeground() override;
  void initGLContextAttrs() override;

  AnalyzerModel& model() { return *model_; }
  MainScene* scene() const { return scene_.get(); }
  ScreenLogLayer* screenLog() const { return screenLog_.get(); }
  bool hasAcquisition() const { return acquisition_ != nullptr; }

  static constexpr const char* WINDOW_TITLE = "Tarvo";
  static constexpr float ANIMATION_INTERVAL = 1.0f / 60;  // 0.016666668 s

 private:
  AnalyzerModel* model_;
  eng::UserDefault* store_;
  eng::Clock* clock_;
  Options options_;
  std::chrono::steady_clock::time_point constructed_;
  eng::RefPtr<MainScene> scene_;
  eng::RefPtr<ScreenLogLayer> screenLog_;
  std::unique_ptr<Acquisition> acquisition_;
};

}  // namespace tarvo
