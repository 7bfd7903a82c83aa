// The list is written by the packet handler's thread (merge, then the utilisation pass) while the
// main thread sorts, ages, clears and reads it. Run under ThreadSanitizer as well.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "accesspoints/model/AccessPointList.h"
#include "accesspoints/model/Utilization.h"

namespace tarvo {
namespace {

using Criteria = SpectrumSettings::SSIDSortCriteria;

AccessPointBatch scanBatch(int scan) {
  AccessPointBatch batch;
  for (int i = 0; i < 12; ++i) {
    auto ap = std::make_unique<AccessPoint>();
    ap->bssid = {0x02, 0, 0, 0, static_cast<uint8_t>(i), static_cast<uint8_t>((scan + i) % 3)};
    ap->channel = static_cast<uint16_t>(1 + (i * 5 + scan) % 13);
    ap->bandwidthMHz = 20;
    ap->band = i % 4 == 0 ? 1 : 0;
    ap->rssi = -30.0f - static_cast<float>((i * 7 + scan) % 60);
    batch.push_back(std::move(ap));
  }
  return batch;
}

TEST(AccessPointThreads, HandlerAndMainThreadShareTheList) {
  AnalyzerModel model;
  {
    std::vector<float> row(BAND_2G4_ROW_BINS, -80.0f);
    ModelLock lock(model, LOCK_SPECTRUM);
    for (int i = 0; i < 120; ++i) model.band24.sweepHistory.append(row.data(), BAND_2G4_ROW_BINS);
  }
  constexpr int SCANS = 300;
  std::atomic<bool> done{false};

  std::thread handler([&] {
    for (int scan = 0; scan < SCANS; ++scan) {
      mergeScan(model, scanBatch(scan), 1000 * scan);
      model.runtime.scanCount = model.runtime.scanCount + 1;
      {
        ModelLock lock(model, LOCK_SPECTRUM | LOCK_AP_LIST);
        updateUtilization(model, true);
      }
      model.runtime.apListChanged = true;
    }
    done = true;
  });

  int rounds = 0;
  while (!done || rounds < 10) {
    ++rounds;
    selectSortColumn(model, SortTable::Ssid, rounds % 2 ? Criteria::Rssi : Criteria::Grade);
    {
      ModelLock lock(model, LOCK_AP_LIST);
      sortAccessPoints(model, model.spectrum.ssidSortKey, model.spectrum.ssidSortDescending != 0);
      if (!model.accessPoints.empty()) {
        const AccessPoint& first = *model.accessPoints.front();
        (void)utilizationChannelText(model.scanStatistics, first);
        if (rounds % 5 == 0) (void)addToSelection(model.scanStatistics, first.bssid);
      }
    }
    ageAccessPoints(model, 1000 * (rounds % SCANS));
    if (rounds % 50 == 0) clearAccessPoints(model);
    std::this_thread::yield();
  }
  handler.join();

  ModelLock lock(model, LOCK_AP_LIST);
  for (const auto& e : model.accessPoints) {
    EXPECT_GE(e->grade, 0.0f);
    EXPECT_LE(e->grade, 100.0f);
  }
}

}  // namespace
}  // namespace tarvo
