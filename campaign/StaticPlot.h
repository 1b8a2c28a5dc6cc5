#pragma once
// The plot of a static run as one SVG document, in the style of the restart campaigns' plot:
// the deviation of the 3D fixes (east/north metres, equal scales, CEP50 and CEP95 circles
// labelled, the origin marked), and below it horizontal error, vertical error and the C/N0 of
// the four strongest satellites against time. The caller hands over a bounded choice: at most
// some 20,000 dots and a few hundred time columns, each with the least and greatest value of
// its epochs (so a spike in any column still shows).
//
// Threads: a pure function; any thread may call it.
#include <string>
#include <vector>

struct StaticPlot {
    enum Series { kHorizontal = 0, kVertical = 1, kCn0 = 2, kSeries = 3 };
    struct Dot {
        float east;
        float north;
        bool outlier; // beyond outlierCutM: every one is shown
    };
    struct Column {
        bool has[kSeries] = {false, false, false};
        double t[kSeries] = {0, 0, 0}; // seconds from the first epoch in the statistics
        double lo[kSeries] = {0, 0, 0};
        double hi[kSeries] = {0, 0, 0};
        void Add(Series s, double time, double value) {
            if (!has[s]) {
                has[s] = true;
                t[s] = time;
                lo[s] = hi[s] = value;
            } else {
                lo[s] = value < lo[s] ? value : lo[s];
                hi[s] = value > hi[s] ? value : hi[s];
            }
        }
    };

    bool aboutReference = false;
    double cep50M = 0;
    double cep95M = 0;
    unsigned durationS = 0;
    // Thinned from this many 3D epochs (0: all shown): every one beyond outlierCutM is kept.
    unsigned long long thinnedFrom = 0;
    double outlierCutM = 0;
    std::vector<Dot> dots;
    std::vector<Column> columns;
};

// One element of class "epoch" per dot; the circles have classes "cep50" and "cep95".
std::string StaticSvg(const StaticPlot& plot);
