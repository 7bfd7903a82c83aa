#include "acquisition/protocol/detail/TriggerParameters.h"

#include <algorithm>
#include <cmath>

namespace tarvo::trigger {

uint16_t levelCode(float levelDbm, float attenuationDb, float powerSlope, float powerOffset, bool roundDown) {
  const double code = (static_cast<double>(levelDbm) - attenuationDb - powerOffset) / powerSlope;
  // Comparisons are false for NaN, so a NaN never reaches the conversion below.
  if (!(code > 0.0)) return 0;
  if (code >= 255.0) return 255;
  return static_cast<uint16_t>(roundDown ? std::floor(code) : std::ceil(code));
}

uint32_t wholeSamples(double samples) {
  constexpr double MAX_COUNT = 4294967295.0;
  if (!(samples > 0.0)) return 0;  // also NaN
  if (samples >= MAX_COUNT) return 4294967295u;
  double whole = std::floor(samples);
  // The settings and the time-per-division table are single precision, so 20 ms at 24 000
  // samples/s arrives as 479.99996; relative errors of that size are representation, not intent.
  constexpr double REPRESENTATION_TOLERANCE = 1e-6;
  if (whole + 1.0 - samples <= samples * REPRESENTATION_TOLERANCE) whole += 1.0;
  return static_cast<uint32_t>(std::min(whole, MAX_COUNT));
}

SampleCounts sampleCounts(float secondsPerDivision, int32_t samplesPerTrace, float delaySeconds,
                          float holdoffSeconds) {
  const double span = static_cast<double>(secondsPerDivision) * 10.0;
  const double rate = samplesPerTrace / span;
  SampleCounts counts;
  counts.preTrigger = wholeSamples((span * 0.5 + delaySeconds) * rate);
  const uint32_t hold = wholeSamples(holdoffSeconds * rate);
  uint32_t d = hold - counts.preTrigger;  // unsigned: wraps when the pre-trigger count exceeds the hold-off
  if (d >= hold) d = hold;
  const uint32_t sent = std::max(counts.preTrigger, d);
  counts.holdoffSent = sent == 0 ? 1 : sent;
  return counts;
}

}  // namespace tarvo::trigger
