// Deterministic randomness for the simulator.
//
// Every random draw of a scene is a pure function of (seed, stream, index): the generator for
// sweep 117 of the WIFI scene is built from those three numbers alone. So any sweep can be made
// in any order, a recording is byte-identical on every machine and every run, and a loop's
// last sweep is no different in kind from its first. SplitMix64 is used for both the mixing of
// the key and the sequence; it is small, fast and passes the usual statistical batteries.
#pragma once

#include <cmath>
#include <cstdint>

namespace tarvo::sim {

// The SplitMix64 finaliser: a bijective scramble of 64 bits.
constexpr uint64_t mix64(uint64_t x) {
  x += 0x9E3779B97F4A7C15ull;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

// One key out of several numbers (order matters).
constexpr uint64_t hashKey(uint64_t a, uint64_t b = 0, uint64_t c = 0, uint64_t d = 0) {
  return mix64(mix64(mix64(mix64(a) ^ b) ^ c) ^ d);
}

class Rng {
 public:
  explicit Rng(uint64_t key) : state_(key) {}
  Rng(uint64_t seed, uint64_t stream, uint64_t index = 0, uint64_t sub = 0)
      : state_(hashKey(seed, stream, index, sub)) {}

  uint64_t next() {
    state_ += 0x9E3779B97F4A7C15ull;
    uint64_t z = state_;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // Uniform in [0, 1).
  double uniform() { return static_cast<double>(next() >> 11) * (1.0 / 9007199254740992.0); }
  double uniform(double lo, double hi) { return lo + (hi - lo) * uniform(); }
  // Uniform integer in [0, n); 0 when n <= 0.
  int below(int n) { return n <= 0 ? 0 : static_cast<int>(uniform() * n); }
  bool chance(double p) { return uniform() < p; }
  // Standard normal (Box-Muller; one value per call keeps the sequence position-independent).
  double gaussian() {
    double u1 = uniform();
    if (u1 < 1e-300) u1 = 1e-300;
    const double u2 = uniform();
    return std::sqrt(-2.0 * std::log(u1)) * std::cos(6.283185307179586 * u2);
  }
  double gaussian(double mean, double sd) { return mean + sd * gaussian(); }
  // Poisson-distributed count (Knuth; fine for the small means used here).
  int poisson(double mean) {
    const double limit = std::exp(-mean);
    int k = 0;
    double p = uniform();
    while (p > limit && k < 1000) {
      ++k;
      p *= uniform();
    }
    return k;
  }

 private:
  uint64_t state_;
};

}  // namespace tarvo::sim
