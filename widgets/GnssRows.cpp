#include "GnssRows.h"

#include <algorithm>

std::string GnssLabel(EGnssSystem system, uint16_t prn) {
    return GnssSystemLetter(system) + std::to_string(prn);
}

std::vector<CGnssRow> PlanGnssRows(const CMultiGnssState& state) {
    std::vector<CGnssRow> all;
    const int n = std::min<int>(state.m_wCount, CMultiGnssState::kSatellites);
    for (int i = 0; i < n; ++i) {
        const CGnssSatellite& s = state.m_Satellites[i];
        all.push_back({GnssLabel(s.system, s.wPrn), static_cast<int32_t>(s.system) * 1000 + s.wPrn,
                       s.wSnr, s.bUsed != 0});
    }
    std::stable_sort(all.begin(), all.end(), [](const CGnssRow& a, const CGnssRow& b) {
        if (a.used != b.used) {
            return a.used;
        }
        return a.snr > b.snr;
    });
    if (all.size() > static_cast<size_t>(kHistogramRows)) {
        all.resize(kHistogramRows);
    }
    return all;
}
