#pragma once
// The statistics of a static run in bounded memory, however long the run: a day at 10 Hz is
// 864,000 epochs, and the command must not grow with it.
//
// Quantiles (CEP50, CEP95, vertical 95 %, the C/N0 median) come from CQuantileSketch: the first
// kExactValues values are kept and give exact percentiles (interpolated between ranks as
// Percentile does for the TTFF); beyond that they move into a histogram of logarithmic bins
// 0.1 % wide, so a quantile is then within 0.05 % of the exact one. Means and standard
// deviations (n - 1) use Welford's update, which stays exact over long sums.
//
// Threads: plain values; one owner.
#include "Geodesy.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class CQuantileSketch {
public:
    static constexpr size_t kExactValues = 4096;

    void Add(double value); // values below 0 count as 0
    // p in [0, 1]; 0 without values.
    double Quantile(double p) const;
    uint64_t Count() const { return m_count; }
    double Min() const { return m_min; }
    double Max() const { return m_max; }

private:
    int Bin(double value) const;
    double BinValue(int bin) const;
    double ValueAtRank(uint64_t rank) const;

    std::vector<double> m_exact;  // until the histogram takes over
    std::vector<uint32_t> m_bins; // empty until then
    uint64_t m_count = 0;
    double m_min = 0;
    double m_max = 0;
};

// Mean and sample standard deviation of a stream.
class CMoments {
public:
    void Add(double value);
    uint64_t Count() const { return m_count; }
    double Mean() const { return m_mean; }
    double StdDev() const; // n - 1; 0 below two values

private:
    uint64_t m_count = 0;
    double m_mean = 0;
    double m_m2 = 0;
};

struct MeanStd {
    double mean = 0;
    double stddev = 0;
};

struct Distribution {
    uint64_t count = 0;
    double min = 0;
    double median = 0;
    double mean = 0;
    double max = 0;
};

// The C/N0 figures of one stream of values (all constellations, or one of them).
class CDistribution {
public:
    void Add(double value) {
        m_sketch.Add(value);
        m_moments.Add(value);
    }
    std::optional<Distribution> Result() const;

private:
    CQuantileSketch m_sketch;
    CMoments m_moments;
};

// The horizontal and vertical errors of the 3D epochs about one origin.
class CErrorStats {
public:
    void Add(const Enu& offset);
    uint64_t Count() const { return m_east.Count(); }
    double Cep50M() const { return m_horizontal.Quantile(0.50); }
    double Cep95M() const { return m_horizontal.Quantile(0.95); }
    // Twice the root of the summed horizontal variances.
    double Drms2M() const;
    double Vertical95M() const { return m_vertical.Quantile(0.95); }
    MeanStd East() const { return {m_east.Mean(), m_east.StdDev()}; }
    MeanStd North() const { return {m_north.Mean(), m_north.StdDev()}; }
    MeanStd Up() const { return {m_up.Mean(), m_up.StdDev()}; }
    // The horizontal error below which share p of the epochs lie (the plot's outlier cut).
    double HorizontalQuantile(double p) const { return m_horizontal.Quantile(p); }

private:
    CQuantileSketch m_horizontal;
    CQuantileSketch m_vertical; // |up|
    CMoments m_east, m_north, m_up;
};
