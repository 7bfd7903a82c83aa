// The on-screen log without the engine: what is recorded, how lines stack, when they expire,
// and posting from other threads while the main thread updates.
#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "core/ScreenLog.h"

using namespace tarvo;

namespace {

// Keeps each line's text and its height in lines above the bottom.
struct RecordingView : ScreenLogView {
  struct Line {
    std::string text;
    int level;
    int height;
  };
  std::map<int, Line> lines;
  int next = 0;
  int created = 0, replaced = 0, removed = 0;
  int createLine(const ScreenLogMessage& m) override {
    ++created;
    lines[next] = {m.text, m.level, 0};
    return next++;
  }
  int replaceLine(int old, const ScreenLogMessage& m) override {
    ++replaced;
    const int height = lines.count(old) ? lines[old].height : 0;
    lines.erase(old);
    lines[next] = {m.text, m.level, height};
    return next++;
  }
  void moveLineUp(int line) override { ++lines[line].height; }
  void removeLine(int line) override {
    ++removed;
    lines.erase(line);
  }
  std::vector<std::pair<std::string, int>> byHeight() const {
    std::map<int, std::string> h;
    for (auto& [id, l] : lines) h[l.height] = l.text;
    std::vector<std::pair<std::string, int>> out;
    for (auto& [height, text] : h) out.emplace_back(text, height);
    return out;
  }
};

class ScreenLogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    log.setLevelMask(ScreenLog::STARTUP_MASK);
    log.setLifetimeMs(ScreenLog::STARTUP_LIFETIME_MS);
  }
  eng::ManualClock clock;
  ScreenLog log{clock};
  RecordingView view;
};

TEST(ScreenLogDefaults, MaskZeroRecordsNothing) {
  eng::ManualClock clock;
  ScreenLog log(clock);
  EXPECT_EQ(log.levelMask(), 0u);
  EXPECT_EQ(log.lifetimeMs(), 5000.0f);
  EXPECT_FALSE(log.log(1, "hello"));
  log.post("decoded");
  EXPECT_EQ(log.messageCount(), 0u);
}

TEST_F(ScreenLogTest, OnlyLevelsInTheMaskAreRecorded) {
  struct Row {
    int level;
    bool recorded;
  };
  const Row rows[] = {{1, true}, {2, true}, {4, true}, {8, true}, {16, true}, {32, false}, {3, true},
                      {0, false}, {-1, false}, {64, false}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.level);
    EXPECT_EQ(log.log(row.level, "level %d", row.level), row.recorded);
  }
  EXPECT_FALSE(log.log(1, nullptr));
}

TEST_F(ScreenLogTest, DecoderLinesArriveAtLevelEightVerbatim) {
  log.post("50% of 100%d");  // a posted text is not a format
  log.update(view);
  ASSERT_EQ(view.lines.size(), 1u);
  EXPECT_EQ(view.lines.begin()->second.text, "50% of 100%d");
  EXPECT_EQ(view.lines.begin()->second.level, 8);
  EXPECT_EQ(screenLogColor(8), (ScreenLogColor{32, 255, 32}));
}

TEST(ScreenLogColors, ByLevel) {
  EXPECT_EQ(screenLogColor(4), (ScreenLogColor{255, 127, 32}));
  EXPECT_EQ(screenLogColor(16), (ScreenLogColor{255, 255, 255}));
  EXPECT_EQ(screenLogColor(32), (ScreenLogColor{255, 255, 255}));
  for (int level : {0, 1, 2, 3, 64}) EXPECT_EQ(screenLogColor(level), (ScreenLogColor{255, 32, 32})) << level;
}

TEST_F(ScreenLogTest, FormatsWithPrintfRulesUpToTheBufferSize) {
  log.log(1, "%d) %s CH: %d", 3, "home", 11);
  const std::string longText(20000, 'x');
  log.log(1, "%s", longText.c_str());
  auto texts = log.texts();
  EXPECT_EQ(texts.front(), "3) home CH: 11");
  EXPECT_EQ(texts.back().size(), ScreenLog::TEXT_CAPACITY);
}

TEST_F(ScreenLogTest, NewLinesPushOlderOnesUp) {
  log.log(1, "first");
  log.update(view);
  log.log(1, "second");
  log.log(1, "third");
  log.update(view);
  EXPECT_EQ(view.byHeight(),
            (std::vector<std::pair<std::string, int>>{{"third", 0}, {"second", 1}, {"first", 2}}));
  log.update(view);
  EXPECT_EQ(view.created, 3) << "a line is made once per message";
}

TEST_F(ScreenLogTest, OneHundredAndFiftyInOneFrameLeaveTheNewest101) {
  for (int i = 0; i < 150; ++i) log.log(2, "message %d", i);
  log.update(view);
  auto texts = log.texts();
  ASSERT_EQ(texts.size(), 101u);
  EXPECT_EQ(texts.front(), "message 49");
  EXPECT_EQ(texts.back(), "message 149");
  EXPECT_EQ(view.lines.size(), 101u);
}

TEST_F(ScreenLogTest, AMessageGoesOnTheFirstUpdateAfterItsLifetime) {
  log.log(1, "old");
  clock.advanceMs(5000);
  log.log(1, "young");
  clock.advanceMs(10000);  // "old" is exactly 15000 ms old
  log.update(view);
  EXPECT_EQ(log.messageCount(), 2u);
  clock.advanceMs(1);
  log.update(view);
  EXPECT_EQ(log.texts(), (std::list<std::string>{"young"}));
  EXPECT_EQ(view.lines.size(), 1u);
  EXPECT_EQ(view.byHeight()[0], (std::pair<std::string, int>{"young", 0}));
}

TEST_F(ScreenLogTest, LifetimeIsExactAtWallClockMagnitudes) {
  // Milliseconds since 1970 need more than a float's 24 bits; a float time stamp would be off
  // by up to about two minutes and expire lines long before or after their lifetime.
  clock.setMs(1'712'345'678'901);
  log.log(1, "line");
  clock.advanceMs(14999);
  log.update(view);
  EXPECT_EQ(log.messageCount(), 1u);
  clock.advanceMs(2);
  log.update(view);
  EXPECT_EQ(log.messageCount(), 0u);
}

TEST_F(ScreenLogTest, AFontChangeRelabelsEveryLineInPlace) {
  log.log(1, "a");
  log.log(1, "b");
  log.update(view);
  const auto before = view.byHeight();
  log.setFontName("fonts/roboto/Roboto-Bold.ttf");
  log.update(view);
  EXPECT_EQ(view.replaced, 2);
  EXPECT_EQ(view.byHeight(), before);
}

TEST_F(ScreenLogTest, PostingFromOtherThreadsWhileTheMainThreadUpdates) {
  std::atomic<bool> stop{false};
  std::vector<std::thread> posters;
  for (int t = 0; t < 3; ++t)
    posters.emplace_back([&, t] {
      for (int i = 0; i < 2000; ++i) {
        log.log(8, "thread %d line %d", t, i);
        if (i % 3 == 0) log.post("--------------");
      }
    });
  std::thread ager([&] {
    while (!stop) clock.advanceMs(7);
  });
  for (int frame = 0; frame < 300; ++frame) log.update(view);
  for (auto& p : posters) p.join();
  stop = true;
  ager.join();
  log.update(view);
  EXPECT_LE(log.messageCount(), 101u);
  EXPECT_EQ(view.lines.size(), log.messageCount());
}

}  // namespace
