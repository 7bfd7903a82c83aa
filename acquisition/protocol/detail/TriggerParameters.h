// The device trigger parameters that the first- and second-generation configure commands carry:
// the trigger level as an amplitude code and the pre-trigger and hold-off sample counts.
//
// Level code = (level - attenuation - offset) / slope, where slope and offset are the accessory's
// power calibration (a sample's dBm = code * slope + offset), clamped to 0..255 and rounded down
// for a rising-edge trigger, up for a falling one, so the threshold never moves past the level
// the user asked for on the side the edge approaches from.
//
// Sample counts, with span = seconds per division * 10 (the screen) and rate = samples per trace
// / span: pre-trigger P = (span / 2 + delay) * rate, hold-off H = hold-off * rate, both whole
// sample counts in 0..4294967295. The hold-off count sent is max(P, H') with H' = H - P when
// 0 < P <= H and H' = H otherwise, and 1 when that maximum is 0.
#pragma once

#include <cstdint>

namespace tarvo::trigger {

// A NaN anywhere in the inputs gives code 0.
uint16_t levelCode(float levelDbm, float attenuationDb, float powerSlope, float powerOffset, bool roundDown);

// A count in samples as the device takes it: NaN and anything below 0 give 0, anything above
// the 32-bit range gives 4294967295, and a value a hair below a whole number (within the
// rounding of single-precision settings) counts as that whole number; otherwise truncated.
uint32_t wholeSamples(double samples);

struct SampleCounts {
  uint32_t preTrigger = 0;
  uint32_t holdoffSent = 1;
};
SampleCounts sampleCounts(float secondsPerDivision, int32_t samplesPerTrace, float delaySeconds,
                          float holdoffSeconds);

}  // namespace tarvo::trigger
