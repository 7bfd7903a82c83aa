#include "power/measure/Spline.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <utility>
#include <vector>

namespace tarvo {
namespace {

struct Cubic {
  float c0, c1, c2, c3;
  float at(float t) const { return c0 + t * (c1 + t * (c2 + t * c3)); }
};

// Runs the routine the way the power trace does: points over rows 0..m, columns 0..1, the
// coefficient table over rows 1..4, columns 1..m+1.
std::vector<Cubic> spline(const std::vector<std::pair<float, float>>& pts) {
  const int m = static_cast<int>(pts.size());
  SplineMatrix points(0, m, 0, 1);
  SplineMatrix coeffs(1, 4, 1, m + 1);
  for (int i = 0; i < m; ++i) {
    points[i][0] = pts[static_cast<size_t>(i)].first;
    points[i][1] = pts[static_cast<size_t>(i)].second;
  }
  splineCoefficients(m, points.get(), coeffs.get());
  std::vector<Cubic> out;
  for (int k = 1; k <= m - 1; ++k) out.push_back({coeffs[1][k], coeffs[2][k], coeffs[3][k], coeffs[4][k]});
  return out;
}

// Second derivative (over the chord-length parameter) at the start of an interval.
float secondDerivativeAtStart(const Cubic& c, float chord) { return 2.0f * c.c2 / (chord * chord); }

TEST(Spline, ThreePointsBulgeSymmetrically) {
  const auto s = spline({{0, 0}, {1, 1}, {2, 0}});
  ASSERT_EQ(s.size(), 2u);
  // Both chords are sqrt(2); the middle second derivative solves 2 M1 = -3.
  EXPECT_NEAR(s[0].c0, 0.0f, 1e-6f);
  EXPECT_NEAR(s[0].c1, 1.5f, 1e-5f);
  EXPECT_NEAR(s[0].c2, 0.0f, 1e-6f);  // M0 = 0 (natural end)
  EXPECT_NEAR(s[0].c3, -0.5f, 1e-5f);
  EXPECT_NEAR(s[1].c0, 1.0f, 1e-6f);
  EXPECT_NEAR(s[1].c1, 0.0f, 1e-5f);
  EXPECT_NEAR(s[1].c2, -1.5f, 1e-5f);
  EXPECT_NEAR(s[1].c3, 0.5f, 1e-5f);
  EXPECT_LT(secondDerivativeAtStart(s[1], std::sqrt(2.0f)), 0.0f);
  for (float t : {0.0f, 0.25f, 0.5f, 0.75f, 1.0f}) EXPECT_NEAR(s[0].at(t), s[1].at(1.0f - t), 1e-5f) << t;
  EXPECT_NEAR(s[0].at(1), 1.0f, 1e-5f);
  EXPECT_NEAR(s[1].at(1), 0.0f, 1e-5f);
}

TEST(Spline, CollinearPointsGiveStraightLines) {
  std::vector<std::pair<float, float>> pts;
  for (int i = 0; i < 7; ++i) pts.push_back({static_cast<float>(i), -50.0f + 2.0f * i});
  const auto s = spline(pts);
  ASSERT_EQ(s.size(), 6u);
  for (size_t k = 0; k < s.size(); ++k) {
    SCOPED_TRACE(k);
    EXPECT_NEAR(s[k].c2, 0.0f, 1e-5f);
    EXPECT_NEAR(s[k].c3, 0.0f, 1e-5f);
    EXPECT_NEAR(s[k].c0, pts[k].second, 1e-5f);
    EXPECT_NEAR(s[k].c1, 2.0f, 1e-5f);
  }
}

TEST(Spline, TwoPointsGiveOneLine) {
  const auto s = spline({{0, -30}, {1, -10}});
  ASSERT_EQ(s.size(), 1u);
  EXPECT_FLOAT_EQ(s[0].c0, -30.0f);
  EXPECT_FLOAT_EQ(s[0].c1, 20.0f);
  EXPECT_FLOAT_EQ(s[0].c2, 0.0f);
  EXPECT_FLOAT_EQ(s[0].c3, 0.0f);
}

// Every interval interpolates its two end points, whatever the data.
TEST(Spline, IntervalsMeetThePoints) {
  std::vector<std::pair<float, float>> pts;
  std::srand(7);
  for (int i = 0; i < 400; ++i) pts.push_back({static_cast<float>(i), -90.0f + static_cast<float>(std::rand() % 80)});
  const auto s = spline(pts);
  ASSERT_EQ(s.size(), 399u);
  for (size_t k = 0; k < s.size(); ++k) {
    ASSERT_NEAR(s[k].at(0), pts[k].second, 1e-3f) << k;
    ASSERT_NEAR(s[k].at(1), pts[k + 1].second, 1e-3f) << k;
  }
}

// A long chord (a big jump) takes the curvature away from its neighbours: the flat stretches
// beside a 100 dB step stay flat. With knots one apart they would swing by about 12.8 dB
// (p(t) = 100/3 (t^3 - t) on the first interval).
TEST(Spline, LargeJumpKeepsNeighboursFlat) {
  const auto s = spline({{0, 0}, {1, 0}, {2, 100}, {3, 100}});
  ASSERT_EQ(s.size(), 3u);
  for (float t : {0.25f, 0.5f, 0.75f}) {
    EXPECT_NEAR(s[0].at(t), 0.0f, 0.1f) << t;
    EXPECT_NEAR(s[2].at(t), 100.0f, 0.1f) << t;
    EXPECT_TRUE(std::isfinite(s[1].at(t)));
  }
}

TEST(Spline, RepeatedPointStaysFinite) {
  const auto s = spline({{0, 0}, {1, 5}, {1, 5}, {2, 0}});
  ASSERT_EQ(s.size(), 3u);
  for (const auto& c : s) {
    EXPECT_TRUE(std::isfinite(c.c0) && std::isfinite(c.c1) && std::isfinite(c.c2) && std::isfinite(c.c3));
  }
  EXPECT_NEAR(s[1].at(0.5f), 5.0f, 1e-5f);  // the zero-length interval is flat
}

TEST(Spline, FewerThanTwoPointsWritesNothing) {
  SplineMatrix points(0, 1, 0, 1);
  SplineMatrix coeffs(1, 4, 1, 2);
  coeffs[1][1] = 42.0f;
  splineCoefficients(1, points.get(), coeffs.get());
  splineCoefficients(0, points.get(), coeffs.get());
  splineCoefficients(5, nullptr, coeffs.get());
  EXPECT_EQ(coeffs[1][1], 42.0f);
}

TEST(SplineAllocators, RangesAreAddressableAndZeroed) {
  float* v = allocVector(1, 5);
  for (int i = 1; i <= 5; ++i) EXPECT_EQ(v[i], 0.0f);
  v[5] = 3.0f;
  freeVector(v, 1, 5);
  float** m = allocMatrix(1, 4, 1, 10);
  for (int r = 1; r <= 4; ++r)
    for (int c = 1; c <= 10; ++c) EXPECT_EQ(m[r][c], 0.0f);
  m[4][10] = 1.0f;
  freeMatrix(m, 1, 4, 1, 10);
}

// Fault injection: fail the n-th raw allocation.
int allocationsLeft = 0;
void* failingAllocator(size_t bytes) {
  if (allocationsLeft-- <= 0) return nullptr;
  return std::malloc(bytes);
}

void splineWithFailureAt(int n) {
  allocationsLeft = n;
  setSplineAllocatorForTesting(&failingAllocator);
  float row0[2] = {0, 0}, row1[2] = {1, 1}, row2[2] = {2, 0};
  float* points[3] = {row0, row1, row2};
  float c1[4] = {}, c2[4] = {}, c3[4] = {}, c4[4] = {};
  float* coeffs[5] = {nullptr, c1, c2, c3, c4};
  splineCoefficients(3, points, coeffs);
  setSplineAllocatorForTesting(nullptr);
}

using SplineAllocatorsDeathTest = ::testing::Test;

TEST_F(SplineAllocatorsDeathTest, FailuresEndTheProcessWithTheFixedMessages) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  // Calls 0..4 are the five work vectors; call 5 is the first matrix's row-pointer array and
  // call 6 its first row.
  EXPECT_EXIT(splineWithFailureAt(0), ::testing::ExitedWithCode(1),
              "Numerical Recipes run-time error...\nallocation failure in vector\\(\\)\n\\.\\.\\.now exiting to system\\.\\.\\.");
  EXPECT_EXIT(splineWithFailureAt(4), ::testing::ExitedWithCode(1), "allocation failure in vector\\(\\)");
  EXPECT_EXIT(splineWithFailureAt(5), ::testing::ExitedWithCode(1), "allocation failure 1 in matrix\\(\\)");
  EXPECT_EXIT(splineWithFailureAt(6), ::testing::ExitedWithCode(1), "allocation failure 2 in matrix\\(\\)");
  EXPECT_EXIT(allocMatrix(0, 3, 2, 1), ::testing::ExitedWithCode(1), "allocation failure 2 in matrix\\(\\)");
}

TEST(SplineAllocators, NoFailureWhenEveryAllocationSucceeds) {
  allocationsLeft = 1000;
  setSplineAllocatorForTesting(&failingAllocator);
  const auto s = spline({{0, 0}, {1, 1}, {2, 0}});
  setSplineAllocatorForTesting(nullptr);
  ASSERT_EQ(s.size(), 2u);
  EXPECT_NEAR(s[0].c1, 1.5f, 1e-5f);
}

}  // namespace
}  // namespace tarvo
