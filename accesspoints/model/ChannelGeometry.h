// Where a 2.4 GHz access point sits if its primary channel were n: its secondary channel, the
// frequencies it occupies, the channels its signal overlaps, and the sweep bins of a span.
//
// Channel n (1..13) is centred on 2412 + 5 (n - 1) MHz, channel 14 on 2484 MHz. A 40 MHz access
// point with its secondary channel above (S = 1) adds channel n + 4, below (S = 2) channel n - 4.
// Every rule applies to band 0 only and fails (std::nullopt) where the rules give nothing.
// Channel numbers come straight from scan records, so any value must be handled: nothing here
// indexes memory, and binRange clamps into the row.
#pragma once

#include <optional>

#include "core/DomainTypes.h"

namespace tarvo {

struct FrequencySpanMHz {
  double lowMHz;
  double highMHz;
};

struct ChannelSpan {
  int first;
  int last;
};

// Inclusive bin indices; empty when last < first.
struct BinSpan {
  int first;
  int last;
  bool empty() const { return last < first; }
  int count() const { return empty() ? 0 : last - first + 1; }
};

double channelCentreMHz2G4(int n);

// n + 4 for 40 MHz with S = 1 and n <= 9, n - 4 for 40 MHz with S = 2 and n >= 5, otherwise 0.
int secondaryChannelOn(const AccessPoint& ap, int n);

// The lowest and highest frequency the access point occupies on channel n.
std::optional<FrequencySpanMHz> bandEdges(const AccessPoint& ap, int n);

// The first and last channel whose signal overlaps the access point on channel n.
std::optional<ChannelSpan> overlapRange(const AccessPoint& ap, int n);

// Bins of a 2.4 GHz sweep row covering a span: ceil((low - 2400) * binsPerMHz) to
// floor((high - 2400) * binsPerMHz), clamped to 0 .. rowBins - 1. Empty for a non-positive or
// non-finite bin density.
BinSpan binRange(const FrequencySpanMHz& span, double binsPerMHz, int rowBins);

}  // namespace tarvo
