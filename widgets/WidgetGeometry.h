#pragma once
// The display-free arithmetic of the drawn widgets: sky-plot square and satellite positions,
// strip column heights, the result mark's square and the satellite-to-row assignment of the
// signal strips. Pure functions, any thread; the parser handed in is the caller's (under
// g_csParser when it is the live one).
#include "NmeaParser.h"

#include <cstdint>
#include <vector>

// A rectangle (left, top, right, bottom): columns left..right-1, rows top..bottom-1.
struct CGeoRect {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
    bool operator==(const CGeoRect&) const = default;
};

struct CGeoPoint {
    int32_t x = 0;
    int32_t y = 0;
    bool operator==(const CGeoPoint&) const = default;
};

// --- Sky plot ---
// The horizon circle's bounding square in a client area cx x cy: the centred square shrunk by
// 15 % of its side on every side.
CGeoRect SkyPlotSquare(int32_t cx, int32_t cy);
CGeoPoint SkyPlotCentre(const CGeoRect& plot);
// Angle from east, counter-clockwise, in degrees: 90 - azimuth, folded once at -180.
int32_t SkyPlotAngle(int32_t azimuth);
// Centre of a satellite's disc.
CGeoPoint SkyPlotPosition(const CGeoRect& plot, int32_t azimuth, int32_t elevation);
// Top-left corner of the PRN text on a disc centred at sat.
CGeoPoint SkyPlotPrnTextPoint(CGeoPoint sat, int32_t prn);
// Top-left corner of a direction letter ('N', 'E', 'W', 'S'). Until the first satellite drawing
// the "N" stands 2 pixels further left.
CGeoPoint SkyPlotLetterPoint(const CGeoRect& plot, char letter, bool firstPaint);

// --- Signal strips ---
// Clamps to max first, then to min, with unsigned comparisons.
uint32_t ClampSample(uint32_t value, uint32_t min, uint32_t max);
// Height of a column for value (already clamped) in a strip of the given height.
int32_t StripColumnHeight(uint32_t value, uint32_t min, uint32_t max, int32_t height);

// --- Result indicator ---
// The square of the pass ring / fail cross on a face (l, t, r, b).
CGeoRect ResultMarkSquare(int32_t l, int32_t t, int32_t r, int32_t b);

// --- Row assignment of the signal strips ---
inline constexpr int kHistogramRows = 12;

// Fills rows with the PRNs in the fix, in the receiver's order, at most 12, the rest 0; returns
// how many. Reads parser's live satellites: call it under g_csParser for the live parser.
int32_t AssignUsedRows(const CNmeaParser& parser, int32_t (&rows)[kHistogramRows]);
// First row holding prn, or -1.
int32_t FindHistogramRow(const int32_t (&rows)[kHistogramRows], int32_t prn);

// What one refresh shows in the strips, worked out from a snapshot.
struct CRowShow {
    int32_t row;
    int32_t prn;
    int32_t snr;
    bool used; // in the fix: green, else light grey
};
struct CHistogramPlan {
    std::vector<CRowShow> shown;   // in the snapshot's order
    std::vector<int32_t> overflow; // would-be row numbers (12, 13, ...) of satellites left out
    int32_t firstEmptyRow = kHistogramRows; // rows from here to 11 are cleared
};
// Gives every satellite of the snapshot a row: its row in rows, else the next one at pos.
// Updates rows and pos as it goes.
CHistogramPlan PlanHistogram(const CNmeaParser& snapshot, int32_t (&rows)[kHistogramRows],
                             int32_t& pos);
