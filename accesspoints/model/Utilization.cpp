#include "accesspoints/model/Utilization.h"

namespace tarvo {

void updateUtilization(AnalyzerModel&, bool) {}

void resetScanStatistics(AnalyzerModel& model) { model.scanStatistics.utilizationSkipCount = 0; }

}  // namespace tarvo
