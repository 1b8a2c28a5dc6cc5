#pragma once
// Rasterises the handheld's drawing primitives into pixel spans, so that a drawing means the
// same pixels on every back end (cairo strokes would otherwise place and anti-alias them their
// own way). Display-free; pure functions, any thread.
//
// Conventions: a rectangle (l, t, r, b) covers columns l..r-1 and rows t..b-1; a shape's outline
// runs through the centres of its outermost pixels and a pen of width w is centred on it; a line
// stops before its end point.
#include <cstdint>
#include <vector>

struct CSpan {
    int32_t y;
    int32_t x0; // first column
    int32_t x1; // one past the last column
};

struct CRasterPoint {
    int32_t x;
    int32_t y;
};

// Every pixel of the rectangle (l, t, r, b); empty when r <= l or b <= t.
std::vector<CSpan> RasterFillRect(int32_t l, int32_t t, int32_t r, int32_t b);
// The interior of the outline of rectangle (l, t, r, b), i.e. all its pixels.
std::vector<CSpan> RasterRectFrame(int32_t l, int32_t t, int32_t r, int32_t b, int32_t penWidth);

// The ellipse inscribed in (l, t, r, b): its filled area and its outline under a pen of the
// given width. A dashed outline keeps 18 of every 24 pixels along the circumference.
std::vector<CSpan> RasterEllipseFill(int32_t l, int32_t t, int32_t r, int32_t b);
std::vector<CSpan> RasterEllipseOutline(int32_t l, int32_t t, int32_t r, int32_t b,
                                        int32_t penWidth, bool dashed);

// A line from p0 towards p1, without p1; a pen wider than 1 pixel stamps a round nib.
std::vector<CSpan> RasterLine(CRasterPoint p0, CRasterPoint p1, int32_t penWidth);
std::vector<CSpan> RasterPolyline(const std::vector<CRasterPoint>& points, int32_t penWidth);
