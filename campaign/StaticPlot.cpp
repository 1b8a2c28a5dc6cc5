#include "StaticPlot.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace {

std::string F(double v) {
    char buffer[48];
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::fixed, 1);
    return r.ec == std::errc() ? std::string(buffer, r.ptr) : "0";
}

std::string Metres(double v) {
    char buffer[48];
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::fixed,
                                 std::fabs(v) < 10 ? 2 : 1);
    return r.ec == std::errc() ? std::string(buffer, r.ptr) : "0";
}

// A round step giving about six ticks over [0, top].
double TickStep(double top) {
    const double raw = std::max(top, 1e-6) / 6;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (double m : {1.0, 2.0, 5.0}) {
        if (m * power >= raw) {
            return m * power;
        }
    }
    return 10 * power;
}

std::string Label(double v, double step) {
    char buffer[48];
    const int digits = step >= 1 ? 0 : step >= 0.1 ? 1 : 2;
    const auto r =
        std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::fixed, digits);
    return r.ec == std::errc() ? std::string(buffer, r.ptr) : "0";
}

constexpr double kLeft = 70, kRight = 780;
constexpr const char* kDotColour = "#1f5fbf";
constexpr const char* kOutsideColour = "#d62728"; // beyond the frame: drawn on it
constexpr const char* kOutlierColour = "#ff8c00"; // kept by the thinning
// A white edge under a label keeps it readable over the dots.
constexpr const char* kHalo = " paint-order=\"stroke\" stroke=\"white\" stroke-width=\"3\"";
const char* const kSeriesColour[] = {"#1f5fbf", "#2e9e44", "#8e44ad"};
const char* const kSeriesTitle[] = {"Horizontal error (m)", "Vertical error (m)",
                                    "C/N0 of the four strongest (dB-Hz)"};

} // namespace

std::string StaticSvg(const StaticPlot& p) {
    constexpr double kSize = 440, kX0 = 200, kY0 = 50; // the deviation square
    constexpr double kPanel = 140, kGap = 60, kFirstPanel = kY0 + kSize + 70;
    const double height = kFirstPanel + 3 * (kPanel + kGap) + 10;
    std::string s = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                    "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"800\" height=\"" +
                    F(height) + "\" viewBox=\"0 0 800 " + F(height) +
                    "\" font-family=\"sans-serif\" font-size=\"12\">\n"
                    "<rect width=\"800\" height=\"" +
                    F(height) + "\" fill=\"white\"/>\n";
    s += "<text x=\"400\" y=\"24\" text-anchor=\"middle\" font-size=\"16\">Deviation from the " +
         std::string(p.aboutReference ? "reference" : "mean position") + "</text>\n";

    // Equal scales: one extent for both axes, wide enough for CEP95 and most dots; dots beyond
    // it sit on the frame in red.
    double farthest = 0;
    for (const StaticPlot::Dot& d : p.dots) {
        farthest = std::max({farthest, std::fabs(static_cast<double>(d.east)),
                             std::fabs(static_cast<double>(d.north))});
    }
    double extent = std::max(p.cep95M * 1.2, std::min(farthest, p.cep95M * 3));
    if (!(extent > 0)) {
        extent = std::max(farthest, 1.0);
    }
    const double step = TickStep(extent);
    extent = std::ceil(extent / step) * step;
    const double scale = kSize / (2 * extent);
    const double cx = kX0 + kSize / 2, cy = kY0 + kSize / 2;
    auto px = [&](double east) { return cx + east * scale; };
    auto py = [&](double north) { return cy - north * scale; };
    for (double v = -extent; v <= extent + 1e-9; v += step) {
        s += "<line x1=\"" + F(px(v)) + "\" y1=\"" + F(kY0) + "\" x2=\"" + F(px(v)) + "\" y2=\"" +
             F(kY0 + kSize) + "\" stroke=\"#e0e0e0\"/>\n";
        s += "<line x1=\"" + F(kX0) + "\" y1=\"" + F(py(v)) + "\" x2=\"" + F(kX0 + kSize) +
             "\" y2=\"" + F(py(v)) + "\" stroke=\"#e0e0e0\"/>\n";
        s += "<text x=\"" + F(px(v)) + "\" y=\"" + F(kY0 + kSize + 16) +
             "\" text-anchor=\"middle\">" + Label(v, step) + "</text>\n";
        s += "<text x=\"" + F(kX0 - 6) + "\" y=\"" + F(py(v) + 4) + "\" text-anchor=\"end\">" +
             Label(v, step) + "</text>\n";
    }
    s += "<rect x=\"" + F(kX0) + "\" y=\"" + F(kY0) + "\" width=\"" + F(kSize) + "\" height=\"" +
         F(kSize) + "\" fill=\"none\" stroke=\"black\"/>\n";
    s += "<text x=\"" + F(cx) + "\" y=\"" + F(kY0 + kSize + 34) +
         "\" text-anchor=\"middle\">east (m)</text>\n";
    s += "<text x=\"" + F(kX0 - 44) + "\" y=\"" + F(cy) + "\" transform=\"rotate(-90 " +
         F(kX0 - 44) + " " + F(cy) + ")\" text-anchor=\"middle\">north (m)</text>\n";
    for (const StaticPlot::Dot& d : p.dots) {
        const double e = d.east, n = d.north;
        const bool outside = std::fabs(e) > extent || std::fabs(n) > extent;
        s += "<circle class=\"epoch\" cx=\"" + F(px(std::clamp(e, -extent, extent))) + "\" cy=\"" +
             F(py(std::clamp(n, -extent, extent))) + "\" r=\"1.5\" fill=\"" +
             (outside     ? kOutsideColour
              : d.outlier ? kOutlierColour
                          : kDotColour) +
             "\"/>\n";
    }
    // The circles and their labels, then the origin's cross above the dots.
    const struct {
        const char* cls;
        double r;
        const char* colour;
        const char* name;
    } circles[] = {{"cep50", p.cep50M, "#2e9e44", "CEP50"},
                   {"cep95", p.cep95M, "#ff8c00", "CEP95"}};
    for (const auto& c : circles) {
        if (!(c.r > 0)) {
            continue;
        }
        s += "<circle class=\"" + std::string(c.cls) + "\" cx=\"" + F(cx) + "\" cy=\"" + F(cy) +
             "\" r=\"" + F(c.r * scale) + "\" fill=\"none\" stroke=\"" + c.colour +
             "\" stroke-width=\"2\"/>\n";
        const double a = 0.7071 * std::min(c.r, extent);
        s += "<text x=\"" + F(px(a) + 4) + "\" y=\"" + F(py(a) - 4) + "\" fill=\"" + c.colour +
             "\"" + kHalo + ">" + c.name + " " + Metres(c.r) + " m</text>\n";
    }
    s += "<path class=\"origin\" d=\"M" + F(cx - 8) + " " + F(cy) + " H" + F(cx + 8) + " M" +
         F(cx) + " " + F(cy - 8) + " V" + F(cy + 8) + "\" stroke=\"black\" stroke-width=\"2\"/>\n";
    s += "<text x=\"" + F(cx + 10) + "\" y=\"" + F(cy + 16) + "\"" + kHalo + ">" +
         (p.aboutReference ? "reference" : "mean") + "</text>\n";
    if (p.thinnedFrom > 0) {
        s += "<text x=\"" + F(kX0) + "\" y=\"" + F(kY0 - 6) + "\">" +
             std::to_string(p.dots.size()) + " of " + std::to_string(p.thinnedFrom) +
             " epochs; every one beyond " + Metres(p.outlierCutM) + " m (orange)</text>\n";
    }

    // The time panels.
    double tEnd = 1;
    for (const StaticPlot::Column& c : p.columns) {
        for (int k = 0; k < StaticPlot::kSeries; ++k) {
            tEnd = c.has[k] ? std::max(tEnd, c.t[k]) : tEnd;
        }
    }
    // Long runs read better in minutes or hours.
    const double unitS = tEnd > 3 * 3600 ? 3600 : tEnd > 600 ? 60 : 1;
    const char* unitName = unitS == 3600 ? "h" : unitS == 60 ? "min" : "s";
    const double tStep = TickStep(tEnd / unitS) * unitS;
    tEnd = std::ceil(tEnd / tStep) * tStep;
    auto tx = [&](double t) { return kLeft + (kRight - kLeft) * t / tEnd; };
    for (int k = 0; k < StaticPlot::kSeries; ++k) {
        const double top = kFirstPanel + k * (kPanel + kGap), bottom = top + kPanel;
        double lo = 0, hi = 0;
        bool any = false;
        for (const StaticPlot::Column& c : p.columns) {
            if (c.has[k]) {
                lo = any ? std::min(lo, c.lo[k]) : c.lo[k];
                hi = any ? std::max(hi, c.hi[k]) : c.hi[k];
                any = true;
            }
        }
        if (k != StaticPlot::kCn0) {
            lo = std::min(lo, 0.0); // errors from 0 (or symmetric about it, vertical)
        }
        if (k == StaticPlot::kVertical) {
            hi = std::max(std::fabs(lo), std::fabs(hi));
            lo = -hi;
        }
        const double vStep = TickStep(std::max(hi - lo, 1e-3));
        lo = std::floor(lo / vStep) * vStep;
        hi = std::max(std::ceil(hi / vStep) * vStep, lo + vStep);
        auto vy = [&](double v) { return bottom - kPanel * (v - lo) / (hi - lo); };
        s += "<text x=\"400\" y=\"" + F(top - 10) + "\" text-anchor=\"middle\" font-size=\"14\">" +
             kSeriesTitle[k] + "</text>\n";
        for (double v = lo; v <= hi + 1e-9; v += vStep) {
            s += "<line x1=\"" + F(kLeft) + "\" y1=\"" + F(vy(v)) + "\" x2=\"" + F(kRight) +
                 "\" y2=\"" + F(vy(v)) + "\" stroke=\"#e0e0e0\"/>\n";
            s += "<text x=\"" + F(kLeft - 6) + "\" y=\"" + F(vy(v) + 4) +
                 "\" text-anchor=\"end\">" + Label(v, vStep) + "</text>\n";
        }
        for (double t = 0; t <= tEnd + 1e-9; t += tStep) {
            s += "<text x=\"" + F(tx(t)) + "\" y=\"" + F(bottom + 16) +
                 "\" text-anchor=\"middle\">" + Label(t / unitS, tStep / unitS) + "</text>\n";
        }
        s += "<rect x=\"" + F(kLeft) + "\" y=\"" + F(top) + "\" width=\"" + F(kRight - kLeft) +
             "\" height=\"" + F(kPanel) + "\" fill=\"none\" stroke=\"black\"/>\n";
        if (!any) {
            s += "<text x=\"400\" y=\"" + F(top + kPanel / 2) +
                 "\" text-anchor=\"middle\" fill=\"#7f7f7f\">no values</text>\n";
            continue;
        }
        // Each column as a stroke from its least to its greatest value.
        std::string d;
        for (const StaticPlot::Column& c : p.columns) {
            if (c.has[k]) {
                const double y1 = vy(c.hi[k]), y2 = std::max(vy(c.lo[k]), y1 + 1);
                d += "M" + F(tx(c.t[k])) + " " + F(y1) + " V" + F(y2) + " ";
            }
        }
        s += "<path class=\"series\" d=\"" + d + "\" stroke=\"" + kSeriesColour[k] +
             "\" stroke-width=\"1.5\" fill=\"none\"/>\n";
    }
    s += "<text x=\"400\" y=\"" + F(height - 8) + "\" text-anchor=\"middle\">time (" + unitName +
         ")</text>\n";
    return s + "</svg>\n";
}
