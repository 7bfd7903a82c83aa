#include "accesspoints/model/ChannelGeometry.h"

#include <algorithm>
#include <cmath>

namespace tarvo {

namespace {

constexpr int SECONDARY_ABOVE = 1;
constexpr int SECONDARY_BELOW = 2;

ChannelSpan overlap20(int n) {
  if (n == 14) return {12, 14};
  const int first = n < 5 ? 1 : n - 4;
  const int last = (n <= 11 && n + 4 <= 14) ? n + 4 : 14;
  return {first, last};
}

}  // namespace

double channelCentreMHz2G4(int n) { return n == 14 ? 2484.0 : 2412.0 + 5.0 * (n - 1); }

int secondaryChannelOn(const AccessPoint& ap, int n) {
  if (ap.bandwidthMHz != 40) return 0;
  if (ap.secondaryChannel == SECONDARY_ABOVE && n <= 9) return n + 4;
  if (ap.secondaryChannel == SECONDARY_BELOW && n >= 5) return n - 4;
  return 0;
}

std::optional<FrequencySpanMHz> bandEdges(const AccessPoint& ap, int n) {
  if (n == 0 || ap.band != BAND_2G4 || ap.channel > 14) return std::nullopt;
  const double centre = channelCentreMHz2G4(n);
  FrequencySpanMHz span{centre - 10.0, centre + 10.0};
  if (ap.bandwidthMHz == 20) return span;
  if (ap.bandwidthMHz != 40) return std::nullopt;
  switch (ap.secondaryChannel) {
    case 0:
      return span;
    case SECONDARY_ABOVE:
      if (n > 9) return std::nullopt;
      span.highMHz = 2412.0 + 5.0 * (n + 3) + 10.0;  // top of channel n + 4
      return span;
    case SECONDARY_BELOW:
      // The test is on the access point's own channel, as the scan reported it.
      if (ap.channel < 5 || ap.channel > 13) return std::nullopt;
      span.lowMHz = 2412.0 + 5.0 * (n - 5) - 10.0;  // bottom of channel n - 4
      return span;
    default:
      return std::nullopt;
  }
}

std::optional<ChannelSpan> overlapRange(const AccessPoint& ap, int n) {
  if (n == 0 || ap.band != BAND_2G4) return std::nullopt;
  if (ap.bandwidthMHz == 20) {
    if (n > 14) return std::nullopt;
    return overlap20(n);
  }
  if (ap.bandwidthMHz != 40 || n >= 14) return std::nullopt;
  ChannelSpan span = overlap20(n);
  switch (ap.secondaryChannel) {
    case SECONDARY_ABOVE:
      if (n > 9) return std::nullopt;
      span.last = (n + 4 <= 11 && n + 8 <= 14) ? n + 8 : 14;
      return span;
    case SECONDARY_BELOW:
      if (n < 5) return std::nullopt;
      span.first = n - 4 < 5 ? 1 : n - 8;
      return span;
    default:
      return std::nullopt;
  }
}

BinSpan binRange(const FrequencySpanMHz& span, double binsPerMHz, int rowBins) {
  const BinSpan none{0, -1};
  if (!(binsPerMHz > 0.0) || !std::isfinite(binsPerMHz) || rowBins <= 0) return none;
  double first = std::ceil((span.lowMHz - BAND_2G4_START_MHZ) * binsPerMHz);
  double last = std::floor((span.highMHz - BAND_2G4_START_MHZ) * binsPerMHz);
  if (!std::isfinite(first) || !std::isfinite(last)) return none;
  // Clamp as doubles before converting, so a wild channel number cannot overflow an int.
  first = std::clamp(first, 0.0, static_cast<double>(rowBins));
  last = std::clamp(last, -1.0, static_cast<double>(rowBins - 1));
  return {static_cast<int>(first), static_cast<int>(last)};
}

}  // namespace tarvo
