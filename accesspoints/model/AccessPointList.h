// The access-point list: merging scan batches by BSSID, sorting, clearing and aging.
#pragma once

#include <cstdint>

#include "acquisition/protocol/AccessoryProtocol.h"
#include "core/AnalyzerModel.h"

namespace tarvo {

// Folds a batch of freshly decoded records into model.accessPoints (takes ownership of every
// record). Takes apListMutex itself.
void mergeScan(AnalyzerModel& model, AccessPointBatch batch, int64_t nowMs);

// Reorders model.accessPoints in place. The caller holds apListMutex.
void sortAccessPoints(AnalyzerModel& model, int criteria, bool descending);

// Empties the list ("CLEAR TABLE"). Takes apListMutex itself.
void clearAccessPoints(AnalyzerModel& model);

// Removes entries not seen for the aging period. Takes apListMutex itself.
void ageAccessPoints(AnalyzerModel& model, int64_t nowMs);

}  // namespace tarvo
