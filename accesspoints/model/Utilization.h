// Channel utilisation, grades and channel suggestions for 2.4 GHz access points.
#pragma once

#include <array>
#include <cstdint>

#include "core/AnalyzerModel.h"

namespace tarvo {

// One utilisation pass. forced = true after a merged scan, false after every 2.4 GHz sweep.
// The caller holds spectrumMutex and apListMutex (in that order).
void updateUtilization(AnalyzerModel& model, bool forced);

// Sets utilizationSkipCount to 0; the optimisation selection is kept. Caller holds apListMutex.
void resetScanStatistics(AnalyzerModel& model);

}  // namespace tarvo
