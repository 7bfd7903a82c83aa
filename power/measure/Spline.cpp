#include "power/measure/Spline.h"

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace tarvo {

namespace {

void* defaultAllocate(size_t bytes) { return std::malloc(bytes); }

std::atomic<SplineRawAllocator> rawAllocator{&defaultAllocate};

[[noreturn]] void allocationFailure(const char* message) {
  std::fprintf(stderr, "Numerical Recipes run-time error...\n");
  std::fprintf(stderr, "%s\n", message);
  std::fprintf(stderr, "...now exiting to system...\n");
  std::fflush(stderr);
  std::exit(1);
}

void* allocate(size_t bytes) { return rawAllocator.load(std::memory_order_relaxed)(bytes); }

// Ranges start at 0 or above, so a range [low, high] is stored as high + 1 elements and index i
// addresses element i directly; the elements below low are never touched. This keeps every
// pointer inside its allocation (no offset pointers before the block).
size_t elementsFor(int high) { return static_cast<size_t>(high) + 1; }

}  // namespace

void setSplineAllocatorForTesting(SplineRawAllocator allocator) {
  rawAllocator.store(allocator != nullptr ? allocator : &defaultAllocate, std::memory_order_relaxed);
}

float* allocVector(int low, int high) {
  if (low < 0 || high < low) allocationFailure("allocation failure in vector()");
  const size_t count = elementsFor(high);
  auto* v = static_cast<float*>(allocate(count * sizeof(float)));
  if (v == nullptr) allocationFailure("allocation failure in vector()");
  std::memset(v, 0, count * sizeof(float));
  return v;
}

void freeVector(float* v, int, int) { std::free(v); }

float** allocMatrix(int rowLow, int rowHigh, int colLow, int colHigh) {
  if (rowLow < 0 || rowHigh < rowLow) allocationFailure("allocation failure 1 in matrix()");
  const size_t rows = elementsFor(rowHigh);
  auto** m = static_cast<float**>(allocate(rows * sizeof(float*)));
  if (m == nullptr) allocationFailure("allocation failure 1 in matrix()");
  for (size_t r = 0; r < rows; ++r) m[r] = nullptr;
  if (colLow < 0 || colHigh < colLow) allocationFailure("allocation failure 2 in matrix()");
  const size_t cols = elementsFor(colHigh);
  for (int r = rowLow; r <= rowHigh; ++r) {
    m[r] = static_cast<float*>(allocate(cols * sizeof(float)));
    if (m[r] == nullptr) allocationFailure("allocation failure 2 in matrix()");
    std::memset(m[r], 0, cols * sizeof(float));
  }
  return m;
}

void freeMatrix(float** m, int rowLow, int rowHigh, int, int) {
  if (m == nullptr) return;
  for (int r = rowLow; r <= rowHigh; ++r) std::free(m[r]);
  std::free(m);
}

void splineCoefficients(int m, float** points, float** coefficients) {
  if (m < 2 || points == nullptr || coefficients == nullptr) return;

  // Work vectors first (all five together), then the three columns of the tridiagonal system.
  float* h = allocVector(0, m);       // chord length of interval i (1 .. m-1)
  float* knot = allocVector(0, m);    // cumulative chord length
  float* lambda = allocVector(0, m);  // super-diagonal of interior row i
  float* mu = allocVector(0, m);      // sub-diagonal of interior row i
  float* d = allocVector(0, m);       // right-hand side of interior row i
  float** diag = allocMatrix(0, m - 1, 1, 1);
  float** rhs = allocMatrix(0, m - 1, 1, 1);
  float** second = allocMatrix(0, m - 1, 1, 1);  // the second derivatives M[0 .. m-1]

  auto x = [&](int i) { return points[i][0]; };
  auto y = [&](int i) { return points[i][1]; };

  knot[0] = 0.0f;
  for (int i = 1; i < m; ++i) {
    const float dx = x(i) - x(i - 1);
    const float dy = y(i) - y(i - 1);
    h[i] = static_cast<float>(std::sqrt(static_cast<double>(dx * dx + dy * dy)));
    knot[i] = knot[i - 1] + h[i];
  }

  for (int i = 1; i <= m - 2; ++i) {
    if (h[i] == 0.0f || h[i + 1] == 0.0f) {
      // A repeated point has no direction on one side: give it no curvature of its own.
      lambda[i] = 0.5f;
      mu[i] = 0.5f;
      d[i] = 0.0f;
      continue;
    }
    lambda[i] = h[i + 1] / (h[i] + h[i + 1]);
    mu[i] = 1.0f - lambda[i];
    d[i] = 6.0f * ((y(i + 1) - y(i)) / (h[i + 1] * h[i + 1]) * lambda[i] - (y(i) - y(i - 1)) / (h[i] * h[i]) * mu[i]);
  }

  // Rows 0 and m-1 are the natural end conditions M = 0; interior row i reads
  // mu[i] M[i-1] + 2 M[i] + lambda[i] M[i+1] = d[i].
  auto sub = [&](int i) { return (i == 0 || i == m - 1) ? 0.0f : mu[i]; };
  auto super = [&](int i) { return (i == 0 || i == m - 1) ? 0.0f : lambda[i]; };
  for (int i = 0; i < m; ++i) {
    const bool end = (i == 0 || i == m - 1);
    diag[i][1] = end ? 1.0f : 2.0f;
    rhs[i][1] = end ? 0.0f : d[i];
  }

  // Thomas algorithm: forward elimination, back substitution.
  for (int i = 1; i < m; ++i) {
    const float factor = sub(i) / diag[i - 1][1];
    diag[i][1] -= factor * super(i - 1);
    rhs[i][1] -= factor * rhs[i - 1][1];
  }
  second[m - 1][1] = rhs[m - 1][1] / diag[m - 1][1];
  for (int i = m - 2; i >= 0; --i) second[i][1] = (rhs[i][1] - super(i) * second[i + 1][1]) / diag[i][1];

  for (int k = 1; k <= m - 1; ++k) {
    const float hk = h[k];
    const float y0 = y(k - 1);
    const float y1 = y(k);
    const float p0 = hk * hk * second[k - 1][1];
    const float p1 = hk * hk * second[k][1];
    coefficients[1][k] = y0;
    coefficients[2][k] = y1 - y0 - p0 / 3.0f - p1 / 6.0f;
    coefficients[3][k] = p0 / 2.0f;
    coefficients[4][k] = (p1 - p0) / 6.0f;
  }

  freeMatrix(second, 0, m - 1, 1, 1);
  freeMatrix(rhs, 0, m - 1, 1, 1);
  freeMatrix(diag, 0, m - 1, 1, 1);
  freeVector(d, 0, m);
  freeVector(mu, 0, m);
  freeVector(lambda, 0, m);
  freeVector(knot, 0, m);
  freeVector(h, 0, m);
}

}  // namespace tarvo
