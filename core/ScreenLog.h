// ScreenLog: the on-screen diagnostic log, the part without the engine.
//
// Recent text messages shown as a stack of coloured lines at the bottom-left of the window,
// newest at the bottom, each disappearing after a lifetime. Any thread may post (the
// access-point decoders post on the link and controller threads); the lines are made and
// expired on the main thread by update(), which drives a ScreenLogView (the engine layer in
// core/gui/ScreenLogLayer.h draws them; tests use a recording view).
//
// A message is recorded only when its level's bit is in the mask (mask 0 records nothing).
// Levels and colours: 4 orange (255, 127, 32), 8 green (32, 255, 32), 16 and 32 white, every
// other level red (255, 32, 32). Lines posted through the ScreenLogSink interface (the
// decoders' scan records) are level 8.
//
// update(), per frame, under the log's mutex:
//   1. oldest to newest: a message without a line gets one (at the bottom) and every older
//      message's line moves up by one line; a message flagged for relabelling gets a new line
//      where its old one was;
//   2. newest to oldest: a message is removed (its line too) when it is older than the
//      lifetime or when more than MAX_NEWER_MESSAGES newer messages precede it.
// Creation times are whole milliseconds since 1970 from the clock the log was given.
#pragma once

#include <cstdint>
#include <list>
#include <mutex>
#include <string>

#include "core/AnalyzerModel.h"
#include "engine/services/Clock.h"

namespace tarvo {

struct ScreenLogColor {
  uint8_t r, g, b;
  bool operator==(const ScreenLogColor&) const = default;
};
ScreenLogColor screenLogColor(int level);

struct ScreenLogMessage {
  int level = 0;
  std::string text;
  int64_t createdMs = 0;
  int lineId = -1;  // the view's handle of the line; -1 while the message has none
  bool needsRelabel = true;
};

// What shows the lines (main thread only).
class ScreenLogView {
 public:
  virtual ~ScreenLogView() = default;
  // A new line for the message at the bottom of the view; returns its handle.
  virtual int createLine(const ScreenLogMessage& message) = 0;
  // A new line for the message in the place of line `old`, which goes away; returns its handle.
  virtual int replaceLine(int old, const ScreenLogMessage& message) = 0;
  virtual void moveLineUp(int line) = 0;
  virtual void removeLine(int line) = 0;
};

class ScreenLog : public ScreenLogSink {
 public:
  static constexpr size_t TEXT_CAPACITY = 8191;
  static constexpr int MAX_NEWER_MESSAGES = 100;
  static constexpr int DEFAULT_LIFETIME_MS = 5000;
  static constexpr uint32_t STARTUP_MASK = 0x1F;  // levels 1, 2, 4, 8 and 16
  static constexpr float STARTUP_LIFETIME_MS = 15000.0f;
  static constexpr int SINK_LEVEL = 8;

  explicit ScreenLog(eng::Clock& clock = eng::systemClock());
  ScreenLog(const ScreenLog&) = delete;
  ScreenLog& operator=(const ScreenLog&) = delete;

  // Formats with printf rules (at most TEXT_CAPACITY characters) and records the message when
  // the format is present and the level is in the mask. True when it was recorded.
  bool log(int level, const char* format, ...) __attribute__((format(printf, 3, 4)));
  // ScreenLogSink: one line at SINK_LEVEL.
  void post(const char* text) override;

  void setLevelMask(uint32_t mask);
  uint32_t levelMask() const;
  void setLifetimeMs(float ms);
  float lifetimeMs() const;
  // Font of the lines; a change recreates every line with the new font on the next update.
  void setFontName(const std::string& font);
  std::string fontName() const;

  // Main thread: brings the view in line with the messages (see the header comment).
  void update(ScreenLogView& view);

  size_t messageCount() const;
  // The texts, oldest first (tests, diagnostics).
  std::list<std::string> texts() const;

 private:
  mutable std::recursive_mutex mutex_;
  eng::Clock& clock_;
  std::string font_;
  uint32_t mask_ = 0;
  float lifetimeMs_ = DEFAULT_LIFETIME_MS;
  std::list<ScreenLogMessage> messages_;
};

}  // namespace tarvo
