// Channel utilisation, grades and channel suggestions for 2.4 GHz access points.
//
// A full pass reads the newest 100 rows of the 2.4 GHz sweep history and, for every band-0 entry
// of the list in order:
//   - utilisation: the mean over those rows and over the bins the entry occupies of
//     (level - F) / (rssi - F) x 100, F being the bottom of the 2.4 GHz range;
//   - interference: every later band-0 entry not selected for optimisation adds its weight to
//     the co-channel or the adjacent sum of this one and this one's weight to its own;
//   - grade: 0.5 R + 20 + 0.1 (100 - U) + 0.25 J + 0.15 C, clamped to 0 .. 100;
//   - for entries selected for optimisation, the best weighted grade on another channel and its
//     channel, kept as the suggestion.
//
// An access point at or below the floor (rssi <= F) has no headroom to divide by: its
// utilisation reads 100 and every other access point weighs 2 (the most) on it. Bad values from
// the device (NaN levels, wild channel or band numbers, a bogus bin count) never produce a NaN or
// infinite grade nor an access outside the sweep rows.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "core/AnalyzerModel.h"

namespace tarvo {

// Rows of the sweep history one pass reads.
constexpr int UTILIZATION_ROWS = 100;
// Non-forced calls skipped between two passes (the 101st call runs).
constexpr int UTILIZATION_SKIP = 100;
// gradeOnChannel's "cannot be worked out".
constexpr float GRADE_UNAVAILABLE = -10000.0f;
// A suggestion history never grows past this many channels.
constexpr size_t SUGGESTION_HISTORY_MAX = 10;

using Bssid = std::array<uint8_t, 6>;

// One utilisation pass. forced = true after a merged scan, false after every 2.4 GHz sweep.
// The caller holds spectrumMutex and apListMutex (in that order).
void updateUtilization(AnalyzerModel& model, bool forced);

// Sets utilizationSkipCount to 0; the optimisation selection is kept. Caller holds apListMutex.
void resetScanStatistics(AnalyzerModel& model);

// The grade the access point would get on channel n, or GRADE_UNAVAILABLE when it cannot be
// worked out (no access point, not band 0, empty list, 100 history rows or fewer). Reads the
// list, the selection and the history: the caller holds both locks (the pass calls it).
float gradeOnChannel(const AnalyzerModel& model, const AccessPoint* ap, int n);

// The channel 1 .. 13 that occurs most often in the suggestion history, the lowest on a tie;
// 0 when there is none. Channel 14 is never counted.
uint8_t preferredChannel(const AccessPoint& ap);

// Appends a channel to the suggestion history, first dropping the oldest so that at most
// SUGGESTION_HISTORY_MAX remain.
void appendSuggestion(AccessPoint& ap, uint8_t channel);

// --- building blocks of the grade (exposed for the tables and for tests) ---------------------

// The weight access point `other` puts on `victim`: clamp(2 (y - x) / x + 1, 0, 2) with x, y
// their levels above the floor; 2 when the victim is at or below the floor.
float interferenceWeight(float victimRssi, float otherRssi, float floorDbm);
// The grade formula, clamped to 0 .. 100 and always finite.
float gradeFromComponents(float rssi, float utilization, float adjacentInterference, float coChannelInterference);

// --- optimisation selection (caller holds apListMutex) ---------------------------------------

// Writes the BSSID into the first free slot (all zero); fails for an all-zero BSSID or when all
// 20 slots are taken. Does not look for the BSSID already being there.
bool addToSelection(ScanStatistics& stats, const Bssid& bssid);
// Clears the first slot equal to the BSSID; fails for an all-zero BSSID or when not found.
bool removeFromSelection(ScanStatistics& stats, const Bssid& bssid);
// Whether any slot equals the BSSID (an all-zero BSSID matches a free slot).
bool selectionContains(const ScanStatistics& stats, const Bssid& bssid);

// --- texts ------------------------------------------------------------------------------------

// "L" (secondary above) or "U" (below) for a 40 MHz access point of band 0 or 1, else empty.
std::string channelSuffix(const AccessPoint& ap);
// "%d" of the channel followed by its suffix (the SSID table's channel text).
std::string channelLabel(const AccessPoint& ap);
// The utilisation table's channel text: for a selected access point with preferred channel p,
// "6" when p is its channel, "3->6" for another channel (suffix after both numbers), "3->?"
// when there is none; for any other access point, channelLabel.
std::string utilizationChannelText(const ScanStatistics& stats, const AccessPoint& ap);
// The grade as shown: clamped to 0 .. 100 (NaN reads 0).
float shownGrade(float grade);
// "A" (>= 90), "B" (>= 80), "C" (>= 70), "D" (>= 60), else "F", of shownGrade.
const char* gradeLetter(float grade);

}  // namespace tarvo
