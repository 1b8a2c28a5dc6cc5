#pragma once
// Drawing with the handheld's conventions over a wxDC, so that the widgets' numbers mean on the
// screen what they say: a rectangle (l, t, r, b) covers columns l..r-1 and rows t..b-1, a line
// stops before its end point, a wide pen is centred on the outline, fills are exact and nothing
// is anti-aliased. Shapes are rasterised by Raster.h and put down as exact pixel runs.
//
// Threads: the user-interface thread (wx drawing). The device context is the caller's; each
// helper leaves its pen, brush and background mode as it found them.
#include <cstdint>
#include <vector>
#include <wx/colour.h>
#include <wx/dc.h>
#include <wx/image.h>
#include <wx/string.h>

// A pen of the handheld: solid or dashed, width in pixels. A null pen draws no outline.
struct CDrawPen {
    wxColour colour;
    int32_t width = 1;
    bool dashed = false;
    static CDrawPen Null() { return CDrawPen{wxColour(), 0, false}; }
    bool IsNull() const { return width <= 0 || !colour.IsOk(); }
};

struct CDrawPoint {
    int32_t x;
    int32_t y;
};

// Switches anti-aliasing off on a context that supports the choice (memory and paint contexts
// on GTK 3 do).
void PrepareExactDc(wxDC& dc);

// Fills (l, t, r, b) with a colour.
void DcFillRect(wxDC& dc, int32_t l, int32_t t, int32_t r, int32_t b, const wxColour& colour);
// Rectangle and ellipse: the interior filled with brush (none when !brush.IsOk()), then the
// outline drawn with pen.
void DcRectangle(wxDC& dc, int32_t l, int32_t t, int32_t r, int32_t b, const CDrawPen& pen,
                 const wxColour& brush);
void DcEllipse(wxDC& dc, int32_t l, int32_t t, int32_t r, int32_t b, const CDrawPen& pen,
               const wxColour& brush);
void DcLine(wxDC& dc, CDrawPoint from, CDrawPoint to, const CDrawPen& pen);
void DcPolyline(wxDC& dc, const std::vector<CDrawPoint>& points, const CDrawPen& pen);
// Text with its top-left corner at (x, y), transparent background, the context's font.
void DcTextAt(wxDC& dc, const wxString& text, int32_t x, int32_t y, const wxColour& colour);
// Plain copy of w x h pixels from src at (sx, sy) to dst at (dx, dy). src may be dst itself.
void DcCopyImage(wxDC& dst, int32_t dx, int32_t dy, int32_t w, int32_t h, wxDC& src, int32_t sx,
                 int32_t sy);
// The current w x h pixels of src from (0, 0) as an image. (A memory context's own bitmap may
// answer with pixels from before the latest drawing while it is selected; a copy is current.)
wxImage DcReadImage(wxDC& src, int32_t w, int32_t h);
