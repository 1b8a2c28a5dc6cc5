// The widgets' arithmetic, without a display: the worked examples of the sky plot, the strips,
// the result mark and the row assignment, and the pixel conventions of the rasteriser.
#include "Raster.h"
#include "WidgetGeometry.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <set>
#include <utility>

namespace {

struct Sat {
    uint16_t prn;
    uint16_t snr;
    bool used;
};

// A receiver state with these satellites in view, in this order; used ones in the GSA slots.
CNmeaParser ParserWith(const std::vector<Sat>& sats) {
    CNmeaParser p;
    // Slots 12 to 35 hold 0, so PRN 0 counts as in the fix; give every test PRN a real number.
    int slot = 0;
    for (size_t i = 0; i < sats.size(); ++i) {
        p.m_Satellites[i] = SatelliteInfo{sats[i].prn, sats[i].snr, sats[i].used ? 1 : 0, 0, 0};
        if (sats[i].used && slot < 12) {
            p.m_wGSAPrn[slot++] = sats[i].prn;
        }
    }
    p.m_wGSVSatellites = static_cast<uint16_t>(sats.size());
    return p;
}

std::set<std::pair<int, int>> Pixels(const std::vector<CSpan>& spans) {
    std::set<std::pair<int, int>> px;
    for (const CSpan& s : spans) {
        for (int x = s.x0; x < s.x1; ++x) {
            px.insert({x, s.y});
        }
    }
    return px;
}

} // namespace

TEST(SkyPlotGeometry, SquareOfA120By110ClientArea) {
    EXPECT_EQ(SkyPlotSquare(120, 110), (CGeoRect{21, 16, 99, 94}));
    EXPECT_EQ(SkyPlotCentre(SkyPlotSquare(120, 110)), (CGeoPoint{60, 55}));
    // Taller than wide: the square is centred vertically instead.
    EXPECT_EQ(SkyPlotSquare(110, 120), (CGeoRect{16, 21, 94, 99}));
}

TEST(SkyPlotGeometry, SatellitePositions) {
    const CGeoRect plot = SkyPlotSquare(120, 110);
    struct Row {
        const char* label;
        int az;
        int el;
        CGeoPoint at;
    };
    const Row rows[] = {
        {"north horizon", 0, 0, {60, 16}},   {"east horizon", 90, 0, {99, 55}},
        {"zenith, az 0", 0, 90, {60, 55}},   {"zenith, az 271", 271, 90, {60, 55}},
        {"south horizon", 180, 0, {60, 94}}, {"west horizon", 270, 0, {21, 55}},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(SkyPlotPosition(plot, row.az, row.el), row.at) << row.label;
    }
}

TEST(SkyPlotGeometry, AngleFoldsOnceBelowMinus180) {
    EXPECT_EQ(SkyPlotAngle(271), 179);
    EXPECT_EQ(SkyPlotAngle(270), -180);
    EXPECT_EQ(SkyPlotAngle(0), 90);
    EXPECT_EQ(SkyPlotAngle(359), 91);
}

TEST(SkyPlotGeometry, PrnTextAndLetterPoints) {
    EXPECT_EQ(SkyPlotPrnTextPoint({50, 40}, 9), (CGeoPoint{47, 32}));
    EXPECT_EQ(SkyPlotPrnTextPoint({50, 40}, 10), (CGeoPoint{43, 32}));
    const CGeoRect plot = SkyPlotSquare(120, 110);
    EXPECT_EQ(SkyPlotLetterPoint(plot, 'N', true), (CGeoPoint{55, 1}));
    EXPECT_EQ(SkyPlotLetterPoint(plot, 'N', false), (CGeoPoint{57, 1}));
    EXPECT_EQ(SkyPlotLetterPoint(plot, 'E', false), (CGeoPoint{104, 50}));
    EXPECT_EQ(SkyPlotLetterPoint(plot, 'W', true), (CGeoPoint{6, 50}));
    EXPECT_EQ(SkyPlotLetterPoint(plot, 'S', true), (CGeoPoint{57, 96}));
}

TEST(StripGeometry, ColumnHeights) {
    struct Row {
        const char* label;
        uint32_t value;
        int height;
        int expected;
    };
    const Row rows[] = {
        {"SNR 30 in 20 pixels: 8.89 truncated", 30, 20, 8},
        {"SNR 0 is empty", 0, 20, 0},
        {"SNR 10 is empty", 10, 20, 0},
        {"SNR 55 is full", 55, 20, 20},
        {"SNR 99 is full", 99, 20, 20},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(StripColumnHeight(ClampSample(row.value, 10, 55), 10, 55, row.height),
                  row.expected)
            << row.label;
    }
    EXPECT_EQ(StripColumnHeight(5, 5, 5, 20), 0) << "empty range";
}

TEST(ResultMark, SquareOfA60By40Face) {
    EXPECT_EQ(ResultMarkSquare(0, 0, 60, 40), (CGeoRect{20, 10, 40, 30}));
    EXPECT_EQ(ResultMarkSquare(100, 50, 160, 90), (CGeoRect{120, 60, 140, 80}));
}

TEST(HistogramRows, UsedSatellitesFirstThenTheOthersInOrder) {
    const CNmeaParser p =
        ParserWith({{5, 40, true}, {12, 25, false}, {29, 47, true}, {2, 0, false}});
    int32_t rows[kHistogramRows] = {7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7};
    int32_t pos = AssignUsedRows(p, rows);
    EXPECT_EQ(pos, 2);
    EXPECT_EQ(FindHistogramRow(rows, 29), 1);
    EXPECT_EQ(FindHistogramRow(rows, 12), -1);

    const CHistogramPlan plan = PlanHistogram(p, rows, pos);
    ASSERT_EQ(plan.shown.size(), 4u);
    const CRowShow expected[] = {
        {0, 5, 40, true}, {2, 12, 25, false}, {1, 29, 47, true}, {3, 2, 0, false}};
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(plan.shown[i].row, expected[i].row) << i;
        EXPECT_EQ(plan.shown[i].prn, expected[i].prn) << i;
        EXPECT_EQ(plan.shown[i].snr, expected[i].snr) << i;
        EXPECT_EQ(plan.shown[i].used, expected[i].used) << i;
    }
    EXPECT_EQ(plan.firstEmptyRow, 4) << "rows 4 to 11 are cleared";
    EXPECT_TRUE(plan.overflow.empty());
}

TEST(HistogramRows, ThirteenSatellitesLeaveTheLastOneOut) {
    std::vector<Sat> sats;
    for (uint16_t prn = 1; prn <= 13; ++prn) {
        sats.push_back({prn, 30, false});
    }
    const CNmeaParser p = ParserWith(sats);
    int32_t rows[kHistogramRows];
    int32_t pos = AssignUsedRows(p, rows);
    const CHistogramPlan plan = PlanHistogram(p, rows, pos);
    EXPECT_EQ(plan.shown.size(), 12u);
    EXPECT_EQ(plan.overflow, std::vector<int32_t>{12});
    EXPECT_EQ(plan.firstEmptyRow, 12);
}

TEST(HistogramRows, NoSatelliteClearsEveryRow) {
    const CNmeaParser p = ParserWith({});
    int32_t rows[kHistogramRows];
    int32_t pos = AssignUsedRows(p, rows);
    const CHistogramPlan plan = PlanHistogram(p, rows, pos);
    EXPECT_TRUE(plan.shown.empty());
    EXPECT_EQ(plan.firstEmptyRow, 0);
}

TEST(HistogramRows, CountBeyondTheTableIsBounded) {
    CNmeaParser p = ParserWith({{3, 20, false}});
    p.m_wGSVSatellites = 60; // a receiver claiming more than the table holds
    int32_t rows[kHistogramRows];
    int32_t pos = AssignUsedRows(p, rows);
    const CHistogramPlan plan = PlanHistogram(p, rows, pos);
    EXPECT_EQ(plan.shown.size() + plan.overflow.size(), 36u);
}

TEST(Raster, HandheldConventions) {
    // (l, t, r, b) covers columns l..r-1 and rows t..b-1.
    const auto fill = Pixels(RasterFillRect(2, 3, 5, 5));
    EXPECT_EQ(fill.size(), 6u);
    EXPECT_TRUE(fill.count({4, 4}));
    EXPECT_FALSE(fill.count({5, 4}));
    // A line stops before its end point.
    const auto line = Pixels(RasterLine({0, 0}, {4, 0}, 1));
    EXPECT_EQ(line, (std::set<std::pair<int, int>>{{0, 0}, {1, 0}, {2, 0}, {3, 0}}));
    // A 5-pixel pen is centred on the path: two pixels either side.
    const auto wide = Pixels(RasterLine({10, 10}, {20, 10}, 5));
    EXPECT_TRUE(wide.count({15, 8}) && wide.count({15, 12}));
    EXPECT_FALSE(wide.count({15, 7}) || wide.count({15, 13}));
    // A 3-pixel frame around (0, 0, 10, 6): centred on columns 0 and 9, rows 0 and 5.
    const auto frame = Pixels(RasterRectFrame(0, 0, 10, 6, 3));
    EXPECT_TRUE(frame.count({-1, 3}) && frame.count({1, 3}) && frame.count({10, 3}));
    EXPECT_FALSE(frame.count({2, 3}) || frame.count({7, 3}));
    // An ellipse touches its rectangle's first and last columns and rows, no further.
    const auto disc = Pixels(RasterEllipseFill(0, 0, 20, 20));
    const auto [minX, maxX] = std::minmax_element(disc.begin(), disc.end());
    EXPECT_EQ(minX->first, 0);
    EXPECT_EQ(maxX->first, 19);
    EXPECT_TRUE(disc.count({10, 0}) && disc.count({10, 19}));
    EXPECT_FALSE(disc.count({0, 0}));
}
