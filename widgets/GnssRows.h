#pragma once
// The display-free choices of the multi-GNSS screen: which twelve satellites of every
// constellation the strips show, and how a satellite is labelled. Pure functions, any thread; the
// state handed in is a snapshot (or the live one under g_csParser).
#include "MultiGnss.h"
#include "WidgetGeometry.h"

#include <string>
#include <vector>

// "G5", "R67", "E11", "C23", "J193", "S44".
std::string GnssLabel(EGnssSystem system, uint16_t prn);

// One strip row of the multi-GNSS screen.
struct CGnssRow {
    std::string label;
    int32_t key; // constellation and number in one value: the row's identity between refreshes
    int32_t snr;
    bool used;
};
// The satellites in the fix first, then the strongest, at most kHistogramRows; within each part
// by falling SNR, ties in table order.
std::vector<CGnssRow> PlanGnssRows(const CMultiGnssState& state);
