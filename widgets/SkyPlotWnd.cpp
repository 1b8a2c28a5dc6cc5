#include "SkyPlotWnd.h"

#include <wx/dcclient.h>

namespace {

const wxColour kUsedFill(0, 0, 255);
const wxColour kOtherFill(128, 128, 128);

const CDrawPen kWhitePen{*wxWHITE, 1, false};
const CDrawPen kDashedWhitePen{*wxWHITE, 1, true};

} // namespace

wxBEGIN_EVENT_TABLE(CSkyPlotWnd, wxWindow)
    EVT_SIZE(CSkyPlotWnd::OnSize)
    EVT_PAINT(CSkyPlotWnd::OnPaint)
wxEND_EVENT_TABLE()

CSkyPlotWnd::CSkyPlotWnd() = default;

CSkyPlotWnd::~CSkyPlotWnd() {
    if (m_dcMem) {
        m_dcMem->SelectObject(wxNullBitmap);
    }
    m_bmpMem = wxBitmap();
    m_dcMem.reset();
}

bool CSkyPlotWnd::Create(long /*style*/, const wxRect& rect, wxWindow* parent, int id) {
    SetBackgroundStyle(wxBG_STYLE_PAINT);
    if (!wxWindow::Create(parent, id, rect.GetPosition(), rect.GetSize(),
                          wxBORDER_SIMPLE | wxFULL_REPAINT_ON_RESIZE)) {
        return false;
    }
    // The creation's size message may come later or not at all: the square is known now.
    const wxSize client = GetClientSize();
    m_rcPlot = SkyPlotSquare(client.x, client.y);
    return true;
}

void CSkyPlotWnd::OnSize(wxSizeEvent& event) {
    event.Skip();
    const wxSize client = GetClientSize();
    m_rcPlot = SkyPlotSquare(client.x, client.y);
}

void CSkyPlotWnd::DrawBackground(bool firstPaint) {
    wxMemoryDC& dc = *m_dcMem;
    DcFillRect(dc, 0, 0, m_bmpMem.GetWidth(), m_bmpMem.GetHeight(), *wxBLACK);
    DcEllipse(dc, m_rcPlot.left, m_rcPlot.top, m_rcPlot.right, m_rcPlot.bottom, kDashedWhitePen,
              *wxBLACK);
    const CGeoPoint c = SkyPlotCentre(m_rcPlot);
    DcLine(dc, {m_rcPlot.left, c.y}, {m_rcPlot.right, c.y}, kWhitePen);
    DcLine(dc, {c.x, m_rcPlot.top}, {c.x, m_rcPlot.bottom}, kWhitePen);
    for (const char letter : {'N', 'E', 'W', 'S'}) {
        const CGeoPoint p = SkyPlotLetterPoint(m_rcPlot, letter, firstPaint);
        DcTextAt(dc, wxString(letter), p.x, p.y, *wxWHITE);
    }
}

void CSkyPlotWnd::DrawSatellites(const CNmeaParser& snapshot) {
    if (!m_dcMem) {
        return;
    }
    DrawBackground(false);
    const int32_t n = std::min<int32_t>(snapshot.m_wGSVSatellites, CNmeaParser::kSatelliteSlots);
    for (int32_t i = 0; i < n; ++i) {
        const SatelliteInfo& sat = snapshot.m_Satellites[i];
        const CGeoPoint p = SkyPlotPosition(m_rcPlot, sat.wAzimuth, sat.wElevation);
        const wxColour& fill = snapshot.IsPrnInFix(sat.wPrn) ? kUsedFill : kOtherFill;
        DcEllipse(*m_dcMem, p.x - 10, p.y - 10, p.x + 10, p.y + 10, kWhitePen, fill);
        const CGeoPoint t = SkyPlotPrnTextPoint(p, sat.wPrn);
        DcTextAt(*m_dcMem, wxString::Format("%d", static_cast<int>(sat.wPrn)), t.x, t.y, *wxWHITE);
    }
    // Shown with the window's next frame: an immediate Update() waited for the X server and
    // painted the whole dialog a second time every second.
    Refresh();
}

wxImage CSkyPlotWnd::CopyImage() const {
    if (!m_dcMem) {
        return wxImage();
    }
    return DcReadImage(*m_dcMem, m_bmpMem.GetWidth(), m_bmpMem.GetHeight());
}

void CSkyPlotWnd::OnPaint(wxPaintEvent&) {
    wxPaintDC dc(this);
    if (!m_dcMem) {
        // First paint: the image is made once, in the size the window has now, and kept.
        const wxSize client = GetClientSize();
        m_bmpMem = wxBitmap(std::max(client.x, 1), std::max(client.y, 1), 24);
        m_dcMem = std::make_unique<wxMemoryDC>(m_bmpMem);
        PrepareExactDc(*m_dcMem);
        m_dcMem->SetBackground(*wxBLACK_BRUSH);
        m_dcMem->SetBackgroundMode(wxBRUSHSTYLE_TRANSPARENT);
        m_dcMem->SetTextForeground(*wxWHITE);
        m_dcMem->SetFont(wxFont(wxFontInfo(7).Family(wxFONTFAMILY_SWISS)));
        DrawBackground(true);
    }
    // GTK cannot repaint from inside a paint: the image goes on the screen right here.
    dc.Blit(0, 0, m_bmpMem.GetWidth(), m_bmpMem.GetHeight(), m_dcMem.get(), 0, 0, wxCOPY);
}
