// Natural cubic spline through 2-D points with chord-length knots, used to draw short power
// captures as smooth curves, and the index-range allocators it works with.
//
// Storage is addressed over inclusive index ranges so the formulas can use 1-based indices:
// a vector over [low, high], a matrix over rows [rowLow, rowHigh] and columns [colLow, colHigh],
// held as an array of row pointers with every row allocated on its own. Ranges start at 0 or
// above. Every element of a range is zero after allocation.
//
// Allocation failure is not recoverable here: it prints
//   "Numerical Recipes run-time error...\n" <message> "\n" "...now exiting to system...\n"
// to stderr and ends the process with status 1. The messages are
// "allocation failure 1 in matrix()" (row-pointer array), "allocation failure 2 in matrix()"
// (a row) and "allocation failure in vector()" (a vector). An invalid range (negative low, or
// high below low) is treated the same way, as nothing usable could be returned for it.
#pragma once

#include <cstddef>

namespace tarvo {

// Vectors over [low, high]; release with the same range.
float* allocVector(int low, int high);
void freeVector(float* v, int low, int high);

// Matrices over [rowLow, rowHigh] x [colLow, colHigh]; m[r][c] is valid inside the ranges.
float** allocMatrix(int rowLow, int rowHigh, int colLow, int colHigh);
void freeMatrix(float** m, int rowLow, int rowHigh, int colLow, int colHigh);

// Owns one matrix allocated with allocMatrix (move-only).
class SplineMatrix {
 public:
  SplineMatrix(int rowLow, int rowHigh, int colLow, int colHigh)
      : rowLow_(rowLow), rowHigh_(rowHigh), colLow_(colLow), colHigh_(colHigh),
        m_(allocMatrix(rowLow, rowHigh, colLow, colHigh)) {}
  ~SplineMatrix() {
    if (m_ != nullptr) freeMatrix(m_, rowLow_, rowHigh_, colLow_, colHigh_);
  }
  SplineMatrix(const SplineMatrix&) = delete;
  SplineMatrix& operator=(const SplineMatrix&) = delete;
  SplineMatrix(SplineMatrix&& o) noexcept
      : rowLow_(o.rowLow_), rowHigh_(o.rowHigh_), colLow_(o.colLow_), colHigh_(o.colHigh_), m_(o.m_) {
    o.m_ = nullptr;
  }
  SplineMatrix& operator=(SplineMatrix&&) = delete;

  float** get() const { return m_; }
  float* operator[](int row) const { return m_[row]; }

 private:
  int rowLow_, rowHigh_, colLow_, colHigh_;
  float** m_;
};

// Fills the coefficient table for m points. points[i][0] is x and points[i][1] is y of point i
// (i = 0 .. m-1; the power trace allocates rows 0 .. m, columns 0 .. 1). coefficients has rows
// 1 .. 4 and columns 1 .. m (or more): column k (1 <= k <= m-1) receives c0..c3 of interval k,
// from point k-1 to point k, with p(t) = c0 + c1 t + c2 t^2 + c3 t^3 running from y[k-1] at
// t = 0 to y[k] at t = 1. Column m is not written. Does nothing when m < 2 or a table is null.
// Coincident consecutive points (a zero chord) give a flat interval instead of dividing by zero.
void splineCoefficients(int m, float** points, float** coefficients);

// Test hook: the raw allocator behind every allocation above (std::malloc by default; nullptr
// restores it). Lets tests inject an allocation failure at a chosen call.
using SplineRawAllocator = void* (*)(size_t bytes);
void setSplineAllocatorForTesting(SplineRawAllocator allocator);

}  // namespace tarvo
