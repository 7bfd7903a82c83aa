#include "acquisition/protocol/AccessoryProtocol.h"

#include <gtest/gtest.h>

#include <numeric>
#include <vector>

namespace tarvo {
namespace {

struct LengthCase {
  const char* what;
  int generation;
  std::vector<uint8_t> head;  // first bytes; the rest of `available` is zero
  int available;
  int expected;
};

TEST(FrameLength, GenerationRules) {
  const LengthCase cases[] = {
      {"discover header alone, gen 1", 2, {0xAA, 0x60, 0x02}, 3, 3},
      {"discover header alone, gen 2", 6, {0xAA, 0x60, 0x06}, 3, 3},
      {"discover header alone, dual", 7, {0xAA, 0x60, 0x07}, 3, 3},
      {"discover whole, gen 1", 2, {0xAA, 0x60, 0x02}, 68, 68},
      {"discover whole, gen 2", 6, {0xAA, 0x60, 0x06}, 60, 60},
      {"discover whole, dual", 7, {0xAA, 0x60, 0x07}, 56, 56},
      {"two bytes of discover", 6, {0xAA, 0x60}, 2, -1},
      {"one byte", 6, {0xAA}, 1, -1},
      {"bad sync", 6, {0x55, 0x60}, 2, -3},
      {"byte 1 below 0x20", 6, {0xAA, 0x1F}, 2, -2},
      {"type 4 unknown", 6, {0xAA, 0x80}, 2, -2},
      {"ack", 2, {0xAA, 0x40, 0x00}, 3, 3},
      {"ack incomplete", 2, {0xAA, 0x40}, 2, -1},
      {"gen 1 power", 2, {0xAA, 0x21}, 62, 62},
      {"gen 1 power incomplete", 2, {0xAA, 0x21}, 61, -1},
      {"gen 2 power", 6, {0xAA, 0x30}, 1254, 1254},
      {"dual power unknown", 7, {0xAA, 0x20}, 100, -2},
      {"gen 1 spectrum", 2, {0xAA, 0xA1}, 52, 52},
      {"gen 1 spectrum short", 2, {0xAA, 0xA1}, 51, -1},
      {"gen 2 spectrum", 6, {0xAA, 0xA0, 0x00}, 260, 260},
      {"dual band 1", 7, {0xAA, 0xA0, 0x00}, 260, 260},
      {"dual band 2", 7, {0xAA, 0xA0, 0x01}, 516, 516},
      {"dual band 2 incomplete", 7, {0xAA, 0xA0, 0x01}, 300, -1},
      {"dual bad band", 7, {0xAA, 0xA0, 0x02}, 600, -99},
      {"dual empty sweep", 7, {0xAA, 0xA1, 0x00, 0x00}, 4, 4},
      {"gen 1 stop ack unknown", 2, {0xAA, 0xC0}, 4, -2},
      {"gen 2 stop ack", 6, {0xAA, 0xC0, 0, 0}, 4, 4},
      {"gen 2 stop ack short", 6, {0xAA, 0xC0, 0}, 3, -2},
      {"dual stop ack short", 7, {0xAA, 0xC0}, 2, -2},
      {"gen 1 scan never complete", 2, {0xAA, 0xE0, 0x00, 0x00}, 500, -1},
      {"gen 2 scan of 2", 6, {0xAA, 0xE0, 0x02, 0x00}, 132, 132},
      {"gen 2 scan of 0", 6, {0xAA, 0xE0, 0x00, 0x00}, 4, 4},
      {"gen 2 scan of 30", 6, {0xAA, 0xE0, 30, 0x00}, 4 + 64 * 30, 4 + 64 * 30},
      {"dual scan of 20", 7, {0xAA, 0xE0, 20, 0x00}, 4 + 64 * 20, 4 + 64 * 20},
      {"dual scan of 21", 7, {0xAA, 0xE0, 21, 0x00}, 4, -99},
      {"unknown generation", 3, {0xAA, 0x60}, 60, -2},
  };
  for (const auto& c : cases) {
    std::vector<uint8_t> buf(std::max<size_t>(c.available, c.head.size()), 0);
    std::copy(c.head.begin(), c.head.end(), buf.begin());
    EXPECT_EQ(frameLengthFor(c.generation, buf.data(), c.available), c.expected) << c.what;
  }
  EXPECT_EQ(frameLengthFor(6, nullptr, 10), -1);
}

TEST(ShortCommands, BuildsAndRefusesSmallBuffers) {
  uint8_t out[3];
  EXPECT_EQ(buildShortCommand(COMMAND_SWEEP, out, 3), 3);
  EXPECT_EQ(out[0], 0xAA);
  EXPECT_EQ(out[1], 0x03);
  EXPECT_EQ(out[2], 0x05);
  EXPECT_EQ(buildShortCommand(COMMAND_SWEEP, out, 2), -1);
  EXPECT_EQ(buildShortCommand(COMMAND_SWEEP, nullptr, 3), -1);
}

std::vector<float> iota(int n) {
  std::vector<float> v(n);
  std::iota(v.begin(), v.end(), 0.0f);
  return v;
}

TEST(ReorderSegments, InterleavedTwoSegments) {
  // Segment 0 arrives first holding 0..49, segment 1 second holding 50..99.
  std::vector<float> v = iota(100);
  const uint8_t order[] = {0, 1};
  ASSERT_TRUE(reorderInterleaved(v.data(), 100, order, 2));
  EXPECT_EQ(v[0], 0.0f);
  EXPECT_EQ(v[1], 50.0f);
  EXPECT_EQ(v[2], 1.0f);
  EXPECT_EQ(v[99], 99.0f);
}

TEST(ReorderSegments, InterleaveOneZeroPutsFirstArrivedIntoOddBins) {
  std::vector<float> v = iota(100);
  const uint8_t order[] = {1, 0};
  ASSERT_TRUE(reorderInterleaved(v.data(), 100, order, 2));
  EXPECT_EQ(v[1], 0.0f);
  EXPECT_EQ(v[3], 1.0f);
  EXPECT_EQ(v[0], 50.0f);
  EXPECT_EQ(v[98], 99.0f);
}

TEST(ReorderSegments, InterleavedSixPowerSegments) {
  std::vector<float> v = iota(240);
  const uint8_t order[] = {5, 4, 3, 2, 1, 0};
  ASSERT_TRUE(reorderInterleaved(v.data(), 240, order, 6));
  // value k of arrived segment j (j*40 + k) lands at order[j] + 6k
  EXPECT_EQ(v[5], 0.0f);
  EXPECT_EQ(v[0], 200.0f);
  EXPECT_EQ(v[6 * 39 + 5], 39.0f);
}

TEST(ReorderSegments, Blocks) {
  std::vector<float> v = iota(6);
  const uint8_t order[] = {2, 0, 1};
  ASSERT_TRUE(reorderBlocks(v.data(), 6, order, 3));
  EXPECT_EQ(v, (std::vector<float>{2, 3, 4, 5, 0, 1}));
  std::vector<float> same = iota(6);
  const uint8_t inOrder[] = {0, 1, 2};
  ASSERT_TRUE(reorderBlocks(same.data(), 6, inOrder, 3));
  EXPECT_EQ(same, iota(6));
}

TEST(ReorderSegments, FailureCasesLeaveValuesUntouched) {
  for (auto reorder : {&reorderInterleaved, &reorderBlocks}) {
    std::vector<float> v = iota(100);
    const uint8_t bad[] = {0, 2};
    EXPECT_FALSE(reorder(v.data(), 100, bad, 2));  // entry equal to n
    EXPECT_EQ(v, iota(100));
    EXPECT_FALSE(reorder(v.data(), 100, bad, 0));
    EXPECT_EQ(v, iota(100));
    const uint8_t one[] = {0};
    EXPECT_TRUE(reorder(v.data(), 100, one, 1));
    EXPECT_EQ(v, iota(100));
  }
}

}  // namespace
}  // namespace tarvo
