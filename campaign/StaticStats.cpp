#include "StaticStats.h"

#include <algorithm>
#include <cmath>

namespace {

// Logarithmic bins from 0.1 mm (or 0.0001 dB-Hz) to 10^6; bin 0 holds everything below.
constexpr double kLowest = 1e-4;
constexpr double kGrowth = 1.001;
const double kLogGrowth = std::log(kGrowth);
const int kBinCount = 2 + static_cast<int>(std::log(1e10) / std::log(kGrowth));

} // namespace

int CQuantileSketch::Bin(double value) const {
    if (value < kLowest) {
        return 0;
    }
    const double k = std::floor(std::log(value / kLowest) / kLogGrowth);
    return 1 + static_cast<int>(std::min(k, static_cast<double>(kBinCount - 2)));
}

double CQuantileSketch::BinValue(int bin) const {
    if (bin == 0) {
        return 0;
    }
    // The geometric middle of the bin, held within the values seen.
    const double v = kLowest * std::pow(kGrowth, (bin - 1) + 0.5);
    return std::clamp(v, m_min, m_max);
}

void CQuantileSketch::Add(double value) {
    if (!(value > 0)) { // NaN as well
        value = 0;
    }
    m_min = m_count == 0 ? value : std::min(m_min, value);
    m_max = m_count == 0 ? value : std::max(m_max, value);
    ++m_count;
    if (m_bins.empty() && m_exact.size() < kExactValues) {
        m_exact.push_back(value);
        return;
    }
    if (m_bins.empty()) {
        m_bins.assign(static_cast<size_t>(kBinCount), 0);
        for (double v : m_exact) {
            ++m_bins[static_cast<size_t>(Bin(v))];
        }
        m_exact.clear();
        m_exact.shrink_to_fit();
    }
    ++m_bins[static_cast<size_t>(Bin(value))];
}

double CQuantileSketch::ValueAtRank(uint64_t rank) const {
    if (rank == 0 || rank + 1 >= m_count) {
        return rank == 0 ? m_min : m_max; // the ends are known exactly
    }
    uint64_t seen = 0;
    for (size_t b = 0; b < m_bins.size(); ++b) {
        seen += m_bins[b];
        if (seen > rank) {
            return BinValue(static_cast<int>(b));
        }
    }
    return m_max;
}

double CQuantileSketch::Quantile(double p) const {
    if (m_count == 0) {
        return 0;
    }
    const double rank = std::clamp(p, 0.0, 1.0) * static_cast<double>(m_count - 1);
    const auto lo = static_cast<uint64_t>(std::floor(rank));
    const uint64_t hi = std::min(lo + 1, m_count - 1);
    const double share = rank - static_cast<double>(lo);
    if (m_bins.empty()) {
        std::vector<double> v = m_exact;
        std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(lo), v.end());
        const double a = v[lo];
        const double b =
            hi == lo ? a
                     : *std::min_element(v.begin() + static_cast<std::ptrdiff_t>(lo) + 1, v.end());
        return a + (b - a) * share;
    }
    const double a = ValueAtRank(lo);
    const double b = hi == lo ? a : ValueAtRank(hi);
    return a + (b - a) * share;
}

void CMoments::Add(double value) {
    ++m_count;
    const double delta = value - m_mean;
    m_mean += delta / static_cast<double>(m_count);
    m_m2 += delta * (value - m_mean);
}

double CMoments::StdDev() const {
    return m_count < 2 ? 0 : std::sqrt(m_m2 / static_cast<double>(m_count - 1));
}

std::optional<Distribution> CDistribution::Result() const {
    if (m_sketch.Count() == 0) {
        return std::nullopt;
    }
    return Distribution{m_sketch.Count(), m_sketch.Min(), m_sketch.Quantile(0.5), m_moments.Mean(),
                        m_sketch.Max()};
}

void CErrorStats::Add(const Enu& o) {
    m_horizontal.Add(std::hypot(o.east, o.north));
    m_vertical.Add(std::fabs(o.up));
    m_east.Add(o.east);
    m_north.Add(o.north);
    m_up.Add(o.up);
}

double CErrorStats::Drms2M() const {
    const double e = m_east.StdDev();
    const double n = m_north.StdDev();
    return 2.0 * std::sqrt(e * e + n * n);
}
