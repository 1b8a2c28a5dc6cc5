#include "Raster.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

// Pen reach to either side of the outline: a 3-pixel pen covers one pixel each side, an even
// width reaches one pixel further up and left.
int32_t ReachBefore(int32_t w) {
    return w / 2;
}
int32_t ReachAfter(int32_t w) {
    return (w - 1) / 2;
}

// A round nib of width w centred on pixel (x, y).
void StampNib(std::vector<CSpan>& out, int32_t x, int32_t y, int32_t w) {
    if (w <= 1) {
        out.push_back({y, x, x + 1});
        return;
    }
    const double radius = w / 2.0;
    for (int32_t dy = -ReachBefore(w); dy <= ReachAfter(w); ++dy) {
        int32_t x0 = x;
        int32_t x1 = x;
        for (int32_t dx = -ReachBefore(w); dx <= ReachAfter(w); ++dx) {
            if (dx * dx + dy * dy <= radius * radius) {
                x0 = std::min(x0, x + dx);
                x1 = std::max(x1, x + dx);
            }
        }
        out.push_back({y + dy, x0, x1 + 1});
    }
}

// The ellipse through the centres of the outermost pixels of (l, t, r, b).
struct Ellipse {
    double cx, cy, a, b;
};
Ellipse EllipseOf(int32_t l, int32_t t, int32_t r, int32_t b) {
    return {(l + r - 1) / 2.0, (t + b - 1) / 2.0, (r - 1 - l) / 2.0, (b - 1 - t) / 2.0};
}
bool Inside(const Ellipse& e, double a, double b, double x, double y) {
    if (a < 0 || b < 0) {
        return false;
    }
    const double nx = a > 0 ? (x - e.cx) / a : (x == e.cx ? 0.0 : 2.0);
    const double ny = b > 0 ? (y - e.cy) / b : (y == e.cy ? 0.0 : 2.0);
    return nx * nx + ny * ny <= 1.0 + 1e-9;
}

} // namespace

std::vector<CSpan> RasterFillRect(int32_t l, int32_t t, int32_t r, int32_t b) {
    std::vector<CSpan> out;
    if (r <= l || b <= t) {
        return out;
    }
    for (int32_t y = t; y < b; ++y) {
        out.push_back({y, l, r});
    }
    return out;
}

std::vector<CSpan> RasterRectFrame(int32_t l, int32_t t, int32_t r, int32_t b, int32_t penWidth) {
    std::vector<CSpan> out;
    if (r <= l || b <= t) {
        return out;
    }
    const int32_t before = ReachBefore(penWidth);
    const int32_t after = ReachAfter(penWidth);
    // Top and bottom bands, then the left and right bands between them.
    for (int32_t y = t - before; y <= t + after; ++y) {
        out.push_back({y, l - before, r + after});
    }
    for (int32_t y = b - 1 - before; y <= b - 1 + after; ++y) {
        out.push_back({y, l - before, r + after});
    }
    for (int32_t y = t; y < b; ++y) {
        out.push_back({y, l - before, l + after + 1});
        out.push_back({y, r - 1 - before, r + after});
    }
    return out;
}

std::vector<CSpan> RasterEllipseFill(int32_t l, int32_t t, int32_t r, int32_t b) {
    std::vector<CSpan> out;
    if (r <= l || b <= t) {
        return out;
    }
    const Ellipse e = EllipseOf(l, t, r, b);
    for (int32_t y = t; y < b; ++y) {
        int32_t x0 = r;
        int32_t x1 = l - 1;
        for (int32_t x = l; x < r; ++x) {
            if (Inside(e, e.a + 0.5, e.b + 0.5, x, y)) {
                x0 = std::min(x0, x);
                x1 = std::max(x1, x);
            }
        }
        if (x1 >= x0) {
            out.push_back({y, x0, x1 + 1});
        }
    }
    return out;
}

std::vector<CSpan> RasterEllipseOutline(int32_t l, int32_t t, int32_t r, int32_t b,
                                        int32_t penWidth, bool dashed) {
    std::vector<CSpan> out;
    if (r <= l || b <= t) {
        return out;
    }
    const Ellipse e = EllipseOf(l, t, r, b);
    const double half = penWidth / 2.0;
    const double perimeter = 3.14159265358979 * (e.a + e.b);
    const int32_t reach = ReachBefore(penWidth) + 1;
    for (int32_t y = t - reach; y < b + reach; ++y) {
        for (int32_t x = l - reach; x < r + reach; ++x) {
            if (!Inside(e, e.a + half, e.b + half, x, y) ||
                Inside(e, e.a - half, e.b - half, x, y)) {
                continue;
            }
            if (dashed) {
                const double angle = std::atan2(y - e.cy, x - e.cx) + 3.14159265358979;
                const auto step = static_cast<int64_t>(angle / (2 * 3.14159265358979) * perimeter);
                if (step % 24 >= 18) {
                    continue;
                }
            }
            out.push_back({y, x, x + 1});
        }
    }
    return out;
}

std::vector<CSpan> RasterLine(CRasterPoint p0, CRasterPoint p1, int32_t penWidth) {
    std::vector<CSpan> out;
    // Bresenham, stopping before p1.
    const int32_t dx = std::abs(p1.x - p0.x);
    const int32_t dy = -std::abs(p1.y - p0.y);
    const int32_t sx = p0.x < p1.x ? 1 : -1;
    const int32_t sy = p0.y < p1.y ? 1 : -1;
    int32_t err = dx + dy;
    int32_t x = p0.x;
    int32_t y = p0.y;
    while (x != p1.x || y != p1.y) {
        StampNib(out, x, y, penWidth);
        const int32_t e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            x += sx;
        }
        if (e2 <= dx) {
            err += dx;
            y += sy;
        }
    }
    return out;
}

std::vector<CSpan> RasterPolyline(const std::vector<CRasterPoint>& points, int32_t penWidth) {
    std::vector<CSpan> out;
    for (size_t i = 1; i < points.size(); ++i) {
        const std::vector<CSpan> part = RasterLine(points[i - 1], points[i], penWidth);
        out.insert(out.end(), part.begin(), part.end());
    }
    return out;
}
