#include "core/ScreenLog.h"

#include <cstdarg>
#include <cstdio>
#include <iterator>
#include <vector>

#include "core/LockOrder.h"

namespace tarvo {

namespace {
using Guard = std::lock_guard<std::recursive_mutex>;

// Levels are single bits; a level outside 0..31 is in no mask.
bool inMask(uint32_t mask, int level) {
  return level > 0 && level < 32 ? (mask & uint32_t(level)) != 0 : false;
}

struct PollingGuard {
  explicit PollingGuard(std::recursive_mutex& m) : m_(m) { lockPolling(m_); }
  ~PollingGuard() { m_.unlock(); }
  std::recursive_mutex& m_;
};
}  // namespace

ScreenLogColor screenLogColor(int level) {
  switch (level) {
    case 4:
      return {255, 127, 32};
    case 8:
      return {32, 255, 32};
    case 16:
    case 32:
      return {255, 255, 255};
    default:
      return {255, 32, 32};
  }
}

ScreenLog::ScreenLog(eng::Clock& clock) : clock_(clock) {}

bool ScreenLog::log(int level, const char* format, ...) {
  PollingGuard guard(mutex_);
  if (!format || !inMask(mask_, level)) return false;
  char buffer[TEXT_CAPACITY + 1];
  va_list args;
  va_start(args, format);
  const int n = std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  if (n < 0) buffer[0] = '\0';
  ScreenLogMessage m;
  m.level = level;
  m.text = buffer;
  m.createdMs = clock_.nowMs();
  messages_.push_back(std::move(m));
  return true;
}

void ScreenLog::post(const char* text) {
  if (text) log(SINK_LEVEL, "%s", text);
}

void ScreenLog::setLevelMask(uint32_t mask) {
  PollingGuard guard(mutex_);
  mask_ = mask;
}
uint32_t ScreenLog::levelMask() const {
  PollingGuard guard(mutex_);
  return mask_;
}
void ScreenLog::setLifetimeMs(float ms) {
  PollingGuard guard(mutex_);
  lifetimeMs_ = ms;
}
float ScreenLog::lifetimeMs() const {
  PollingGuard guard(mutex_);
  return lifetimeMs_;
}
void ScreenLog::setFontName(const std::string& font) {
  PollingGuard guard(mutex_);
  if (font == font_) return;
  font_ = font;
  for (ScreenLogMessage& m : messages_) m.needsRelabel = true;
}
std::string ScreenLog::fontName() const {
  PollingGuard guard(mutex_);
  return font_;
}

void ScreenLog::update(ScreenLogView& view) {
  PollingGuard guard(mutex_);
  // 1. Lines for new messages (pushing the older ones up) and relabelled ones.
  for (auto it = messages_.begin(); it != messages_.end(); ++it) {
    if (it->lineId < 0) {
      it->lineId = view.createLine(*it);
      it->needsRelabel = false;
      for (auto older = messages_.begin(); older != it; ++older)
        if (older->lineId >= 0) view.moveLineUp(older->lineId);
    } else if (it->needsRelabel) {
      it->lineId = view.replaceLine(it->lineId, *it);
      it->needsRelabel = false;
    }
  }
  // 2. Expiry, newest first.
  const int64_t now = clock_.nowMs();
  int newer = 0;
  for (auto it = messages_.end(); it != messages_.begin();) {
    --it;
    const bool tooOld = double(now - it->createdMs) > double(lifetimeMs_);
    if (tooOld || newer > MAX_NEWER_MESSAGES) {
      if (it->lineId >= 0) view.removeLine(it->lineId);
      it = messages_.erase(it);
    }
    ++newer;
  }
}

size_t ScreenLog::messageCount() const {
  PollingGuard guard(mutex_);
  return messages_.size();
}

std::list<std::string> ScreenLog::texts() const {
  PollingGuard guard(mutex_);
  std::list<std::string> out;
  for (const ScreenLogMessage& m : messages_) out.push_back(m.text);
  return out;
}

}  // namespace tarvo
