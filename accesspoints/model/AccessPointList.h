// The access-point list: merging scan batches by BSSID, sorting, clearing, aging, and the
// header-button rule of the two tables.
//
// model.accessPoints holds one owned record per access point heard, across both bands. An
// entry's identity is its BSSID (the band is not compared); its place changes only through
// sorting and through removal of entries before it. Every change to the list or to the fields of
// listed records happens under apListMutex. Times are milliseconds since 1970, always passed in
// by the caller (nothing here reads a clock).
#pragma once

#include <cstdint>
#include <string>

#include "acquisition/protocol/AccessoryProtocol.h"
#include "core/AnalyzerModel.h"

namespace tarvo {

// An entry not heard for this long is dropped by ageAccessPoints.
constexpr int64_t ACCESS_POINT_MAX_AGE_MS = 180000;
// The sighting count saturates here (the "CNT." column has four digits).
constexpr uint32_t MAX_SIGHTINGS = 9999;

// Folds a batch of freshly decoded records into model.accessPoints (takes ownership of every
// record; null records are ignored). A record whose BSSID is listed replaces that entry in place,
// keeping its marker colour and count (+1) and animating its marker from where it stands; any
// other record is appended as a new entry. Into an empty list the batch is appended as it is.
// Takes apListMutex itself; the caller counts the scan and runs the utilisation pass afterwards.
void mergeScan(AnalyzerModel& model, AccessPointBatch batch, int64_t nowMs);

// Reorders model.accessPoints in place by an SSIDSortCriteria (None or a value above Grade
// leaves it as it is). The caller holds apListMutex.
void sortAccessPoints(AnalyzerModel& model, int criteria, bool descending);

// Empties the list ("CLEAR TABLE"), resets the scan statistics' skip counter (the optimisation
// selection stays) and scanCount, and flags both tables. Takes apListMutex itself.
void clearAccessPoints(AnalyzerModel& model);

// Removes every entry with lastSeenMs + ACCESS_POINT_MAX_AGE_MS <= nowMs, keeping the order of the
// others, and flags both tables. Takes apListMutex itself.
void ageAccessPoints(AnalyzerModel& model, int64_t nowMs);

// The two tables whose headers sort the list.
enum class SortTable {
  Ssid,         // ssidSortKey, ssidSortDescending, apListChanged
  Utilization,  // utilizationSortKey, utilizationSortDescending, apTableChanged
};

// A tap on a column header (on touch end): the active column flips its direction; another column
// becomes active, descending for RSSI (strongest first) and ascending otherwise. Sets the table's
// changed flag; the scene re-sorts on its next refresh. Settings only: no lock is taken.
// A criteria outside None..Grade changes nothing.
void selectSortColumn(AnalyzerModel& model, SortTable table, int criteria);

// --- ordering keys (shared with the tables) --------------------------------------------------

// "a/", "b/", "g/", "n/", "ac/" for the set bits of phyModes, in that order, the last "/" kept.
std::string modeSortText(uint8_t phyModes);
// OPEN 0, WEP 1, WPA 2, WPA2 3, WPS 4, anything else 10.
int securityRank(int32_t security);
// The SSID text order: ASCII letters folded to lower case, bytes compared as signed 8-bit
// values, a name before every longer name that begins with it. Negative, zero or positive.
int compareSsid(const AccessPoint& a, const AccessPoint& b);

}  // namespace tarvo
