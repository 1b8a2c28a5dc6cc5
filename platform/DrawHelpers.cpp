#include "DrawHelpers.h"

#include "Raster.h"

#include <wx/bitmap.h>
#include <wx/brush.h>
#include <wx/dcmemory.h>
#include <wx/graphics.h>
#include <wx/pen.h>

namespace {

// Restores the pen, brush and background mode the caller had.
class DcStateKeeper {
public:
    explicit DcStateKeeper(wxDC& dc)
        : m_dc(dc), m_pen(dc.GetPen()), m_brush(dc.GetBrush()), m_mode(dc.GetBackgroundMode()) {}
    ~DcStateKeeper() {
        m_dc.SetPen(m_pen);
        m_dc.SetBrush(m_brush);
        m_dc.SetBackgroundMode(m_mode);
    }
    DcStateKeeper(const DcStateKeeper&) = delete;
    DcStateKeeper& operator=(const DcStateKeeper&) = delete;

private:
    wxDC& m_dc;
    wxPen m_pen;
    wxBrush m_brush;
    int m_mode;
};

void PutSpans(wxDC& dc, const std::vector<CSpan>& spans, const wxColour& colour) {
    if (spans.empty()) {
        return;
    }
    dc.SetPen(*wxTRANSPARENT_PEN);
    dc.SetBrush(wxBrush(colour));
    // One path filled once: a fill per one-pixel row was most of a sky plot's drawing time. The
    // rows are whole pixels without antialiasing, so the pixels are the same.
    if (wxGraphicsContext* gc = dc.GetGraphicsContext()) {
        wxGraphicsPath path = gc->CreatePath();
        for (const CSpan& s : spans) {
            if (s.x1 > s.x0) {
                path.AddRectangle(s.x0, s.y, s.x1 - s.x0, 1);
            }
        }
        gc->FillPath(path, wxWINDING_RULE);
        return;
    }
    for (const CSpan& s : spans) {
        if (s.x1 > s.x0) {
            dc.DrawRectangle(s.x0, s.y, s.x1 - s.x0, 1);
        }
    }
}

} // namespace

void PrepareExactDc(wxDC& dc) {
    if (wxGraphicsContext* gc = dc.GetGraphicsContext()) {
        gc->SetAntialiasMode(wxANTIALIAS_NONE);
    }
}

void DcFillRect(wxDC& dc, int32_t l, int32_t t, int32_t r, int32_t b, const wxColour& colour) {
    if (r <= l || b <= t) {
        return;
    }
    DcStateKeeper keep(dc);
    dc.SetPen(*wxTRANSPARENT_PEN);
    dc.SetBrush(wxBrush(colour));
    dc.DrawRectangle(l, t, r - l, b - t);
}

void DcRectangle(wxDC& dc, int32_t l, int32_t t, int32_t r, int32_t b, const CDrawPen& pen,
                 const wxColour& brush) {
    if (brush.IsOk()) {
        DcFillRect(dc, l, t, r, b, brush);
    }
    if (!pen.IsNull()) {
        DcStateKeeper keep(dc);
        PutSpans(dc, RasterRectFrame(l, t, r, b, pen.width), pen.colour);
    }
}

void DcEllipse(wxDC& dc, int32_t l, int32_t t, int32_t r, int32_t b, const CDrawPen& pen,
               const wxColour& brush) {
    DcStateKeeper keep(dc);
    if (brush.IsOk()) {
        PutSpans(dc, RasterEllipseFill(l, t, r, b), brush);
    }
    if (!pen.IsNull()) {
        PutSpans(dc, RasterEllipseOutline(l, t, r, b, pen.width, pen.dashed), pen.colour);
    }
}

void DcLine(wxDC& dc, CDrawPoint from, CDrawPoint to, const CDrawPen& pen) {
    DcPolyline(dc, {from, to}, pen);
}

void DcPolyline(wxDC& dc, const std::vector<CDrawPoint>& points, const CDrawPen& pen) {
    if (pen.IsNull()) {
        return;
    }
    std::vector<CRasterPoint> raster;
    raster.reserve(points.size());
    for (const CDrawPoint& p : points) {
        raster.push_back({p.x, p.y});
    }
    DcStateKeeper keep(dc);
    PutSpans(dc, RasterPolyline(raster, pen.width), pen.colour);
}

void DcTextAt(wxDC& dc, const wxString& text, int32_t x, int32_t y, const wxColour& colour) {
    DcStateKeeper keep(dc);
    const wxColour oldColour = dc.GetTextForeground();
    dc.SetBackgroundMode(wxBRUSHSTYLE_TRANSPARENT);
    dc.SetTextForeground(colour);
    dc.DrawText(text, x, y);
    dc.SetTextForeground(oldColour);
}

void DcCopyImage(wxDC& dst, int32_t dx, int32_t dy, int32_t w, int32_t h, wxDC& src, int32_t sx,
                 int32_t sy) {
    if (w <= 0 || h <= 0) {
        return;
    }
    if (&dst != &src) {
        dst.Blit(dx, dy, w, h, &src, sx, sy, wxCOPY);
        return;
    }
    // Overlapping copy within one image: through a scratch bitmap, since a context blitting onto
    // itself reads pixels it has already overwritten on some back ends.
    wxBitmap scratch(w, h, 24);
    {
        wxMemoryDC tmp(scratch);
        tmp.Blit(0, 0, w, h, &src, sx, sy, wxCOPY);
    }
    wxMemoryDC tmp(scratch);
    dst.Blit(dx, dy, w, h, &tmp, 0, 0, wxCOPY);
}

wxImage DcReadImage(wxDC& src, int32_t w, int32_t h) {
    if (w <= 0 || h <= 0) {
        return wxImage();
    }
    wxBitmap copy(w, h, 24);
    {
        wxMemoryDC dc(copy);
        dc.Blit(0, 0, w, h, &src, 0, 0, wxCOPY);
    }
    return copy.ConvertToImage();
}
