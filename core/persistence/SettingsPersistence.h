// Settings persistence: the model's settings records in four configuration slots of the
// key-value store.
//
// Slot 0 is the working configuration (loaded at start-up, saved when the application goes to
// the background); slots 1 to 3 are the CONFIG 1 to CONFIG 3 entries of the settings menu.
// Every key of slot n starts with "config<n>.":
//
//   "version"                      integer   1 is written; 0 and 1 are read
//   "graticule", "alerts"          integer
//   "cursors"                      blob 44   CursorSettings
//   "common_settings"              blob 16   CommonSettings
//   "spectrum_settings"            blob 88   SpectrumSettings (84 bytes in version 0, see below)
//   "power_setting"                blob 44   PowerSettings
//   "power_channel0"               blob 12   ChannelStyle of the power trace
//   "reference_channel0"           blob 12   ChannelStyle of the reference trace
//   "referenceHistory.history"             list of float vectors
//   "referenceHistory.processedHistory"    list of float vectors (x, y pairs)
//   "referenceHistory.alpha"               float array
//   "referenceHistory.rollingHistory"      float array
//   "referenceHistory.processedRollingHistory"  float array (x, y pairs)
//   "referenceHistory.maxRollPointsNeeded", ".timeScaleIndex", ".amplitudeScaleIndex"  integer
//   "referenceHistory.isValid"     boolean
//   "demo"                         blob 3    demoHardware, demoSignal, demoSsid
//
// Record blobs are the little-endian byte images of the records (AnalyzerModel.h pins the
// layouts). A list of float vectors is, per vector, an int32 count n and n float32 values, no
// header, no padding; a float array is just the values. Version 0 of "spectrum_settings" lacks
// channelGuideBand2: guideOption sits at 72, ssidRefreshSeconds at 76, the sort bytes at 80..83.
//
// Loading decodes every key into temporaries and checks it before anything of the model
// changes: a record blob of the wrong size is ignored (the record keeps its value), lists stop
// at the first vector that would run past the end of the blob, and no content of a blob can
// make loading fail half-way. The SSID interval is brought into range: anything that is
// neither 0 nor at least 20 s becomes 20, anything above 120 s becomes 120.
//
// Locks: the reference trace is guarded by powerMutex. Callers hold it (the background handler
// and the settings menu take all three model locks); start-up loads before any thread exists.
#pragma once

#include <deque>
#include <vector>

#include "core/AnalyzerModel.h"
#include "engine/services/UserDefault.h"

namespace tarvo {

constexpr int CONFIGURATION_SLOT_COUNT = 4;
constexpr int SETTINGS_FORMAT_VERSION = 1;
constexpr size_t SPECTRUM_SETTINGS_V0_SIZE = 84;

// False for a slot outside 0..3 (nothing changes). Otherwise true: a slot that was never
// written, or holds an unknown version, resets the settings to their defaults and is saved at
// once.
bool loadConfiguration(AnalyzerModel& model, int slot, eng::UserDefault& store);
bool loadConfiguration(AnalyzerModel& model, int slot);  // the process-wide store

// Writes every key of the slot and flushes the store. False for a slot outside 0..3 (nothing
// is written) or when the store could not be written.
bool saveConfiguration(const AnalyzerModel& model, int slot, eng::UserDefault& store);
bool saveConfiguration(const AnalyzerModel& model, int slot);

// The blob formats, for tests and tools.
eng::Data encodeVectorList(const std::deque<std::vector<float>>& list);
std::deque<std::vector<float>> decodeVectorList(const eng::Data& blob);

}  // namespace tarvo
