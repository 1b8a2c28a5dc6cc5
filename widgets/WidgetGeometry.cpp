#include "WidgetGeometry.h"

#include <algorithm>
#include <cmath>

namespace {

// Entries beyond the table are never read, whatever count the receiver claimed.
int32_t LiveSatellites(const CNmeaParser& parser) {
    return std::min<int32_t>(parser.m_wGSVSatellites, CNmeaParser::kSatelliteSlots);
}

} // namespace

CGeoRect SkyPlotSquare(int32_t cx, int32_t cy) {
    CGeoRect rc;
    if (cx > cy) {
        rc.top = 0;
        rc.bottom = cy;
        rc.left = (cx - cy) / 2;
        rc.right = cy + rc.left;
    } else {
        rc.left = 0;
        rc.right = cx;
        rc.top = (cy - cx) / 2;
        rc.bottom = cx + rc.top;
    }
    const int32_t side = std::min(cx, cy);
    const auto d = static_cast<int32_t>(side * -0.15); // d <= 0: the square shrinks
    rc.left -= d;
    rc.top -= d;
    rc.right += d;
    rc.bottom += d;
    return rc;
}

CGeoPoint SkyPlotCentre(const CGeoRect& plot) {
    return {(plot.left + plot.right) / 2, (plot.top + plot.bottom) / 2};
}

int32_t SkyPlotAngle(int32_t azimuth) {
    int32_t a = 90 - azimuth;
    if (a < -180) {
        a += 360;
    }
    return a;
}

CGeoPoint SkyPlotPosition(const CGeoRect& plot, int32_t azimuth, int32_t elevation) {
    const CGeoPoint c = SkyPlotCentre(plot);
    const float radius = static_cast<float>(plot.right - plot.left) * 0.5f;
    const float r = static_cast<float>(90 - elevation) * radius * (1.0f / 90.0f);
    const double theta = SkyPlotAngle(azimuth) * 3.14159265358979323846 / 180.0;
    const auto ox = static_cast<float>(static_cast<double>(r) * std::cos(theta));
    const auto oy = static_cast<float>(static_cast<double>(r) * std::sin(theta));
    return {static_cast<int32_t>(ox + static_cast<float>(c.x)),
            static_cast<int32_t>(static_cast<float>(c.y) - oy)};
}

CGeoPoint SkyPlotPrnTextPoint(CGeoPoint sat, int32_t prn) {
    return {prn < 10 ? sat.x - 3 : sat.x - 7, sat.y - 8};
}

CGeoPoint SkyPlotLetterPoint(const CGeoRect& plot, char letter, bool firstPaint) {
    const CGeoPoint c = SkyPlotCentre(plot);
    switch (letter) {
    case 'N':
        return {c.x - (firstPaint ? 5 : 3), plot.top - 15};
    case 'E':
        return {plot.right + 5, c.y - 5};
    case 'W':
        return {plot.left - 15, c.y - 5};
    default:
        return {c.x - 3, plot.bottom + 2};
    }
}

uint32_t ClampSample(uint32_t value, uint32_t min, uint32_t max) {
    if (value > max) {
        value = max;
    }
    if (value < min) {
        value = min;
    }
    return value;
}

int32_t StripColumnHeight(uint32_t value, uint32_t min, uint32_t max, int32_t height) {
    if (max <= min) {
        return 0; // a range without width shows nothing rather than dividing by zero
    }
    const float share = static_cast<float>(value - min) / static_cast<float>(max - min);
    const auto h = static_cast<int32_t>(share * static_cast<float>(height));
    return std::clamp(h, 0, std::max(height, 0));
}

CGeoRect ResultMarkSquare(int32_t l, int32_t t, int32_t r, int32_t b) {
    const int32_t w = r - l;
    const int32_t h = b - t;
    const int32_t m = std::min(w, h) - 20;
    const int32_t dx = (w - m) / 2;
    const int32_t dy = (h - m) / 2;
    return {l + dx, t + dy, r - dx, b - dy};
}

int32_t AssignUsedRows(const CNmeaParser& parser, int32_t (&rows)[kHistogramRows]) {
    std::fill(std::begin(rows), std::end(rows), 0);
    int32_t count = 0;
    const int32_t n = LiveSatellites(parser);
    for (int32_t i = 0; i < n && count < kHistogramRows; ++i) {
        const int32_t prn = parser.m_Satellites[i].wPrn;
        if (parser.IsPrnInFix(prn)) {
            rows[count++] = prn;
        }
    }
    return count;
}

int32_t FindHistogramRow(const int32_t (&rows)[kHistogramRows], int32_t prn) {
    for (int32_t r = 0; r < kHistogramRows; ++r) {
        if (rows[r] == prn) {
            return r;
        }
    }
    return -1;
}

CHistogramPlan PlanHistogram(const CNmeaParser& snapshot, int32_t (&rows)[kHistogramRows],
                             int32_t& pos) {
    CHistogramPlan plan;
    const int32_t n = LiveSatellites(snapshot);
    for (int32_t i = 0; i < n; ++i) {
        const int32_t prn = snapshot.m_Satellites[i].wPrn;
        const int32_t snr = snapshot.m_Satellites[i].wSnr;
        int32_t r = FindHistogramRow(rows, prn);
        if (r == -1) {
            r = pos++;
            if (r >= kHistogramRows) {
                plan.overflow.push_back(r);
                continue;
            }
        }
        rows[r] = prn;
        plan.shown.push_back({r, prn, snr, snapshot.IsPrnInFix(prn)});
    }
    plan.firstEmptyRow = std::min(n, kHistogramRows);
    return plan;
}
