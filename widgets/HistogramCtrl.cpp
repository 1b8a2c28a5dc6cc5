#include "HistogramCtrl.h"

#include "WidgetGeometry.h"

#include <wx/dcclient.h>

const wxColour CHistogramCtrl::kUsedColour(0, 255, 0);
const wxColour CHistogramCtrl::kOtherColour(192, 192, 192);

wxBEGIN_EVENT_TABLE(CHistogramCtrl, wxWindow)
    EVT_PAINT(CHistogramCtrl::OnPaint)
wxEND_EVENT_TABLE()

CHistogramCtrl::CHistogramCtrl() = default;

CHistogramCtrl::~CHistogramCtrl() {
    // The image leaves the context before either goes, then the window itself.
    if (m_dcMem) {
        m_dcMem->SelectObject(wxNullBitmap);
    }
    m_bmpMem = wxBitmap();
    m_dcMem.reset();
}

bool CHistogramCtrl::Create(long /*style*/, const wxRect& rect, wxWindow* parent, int id) {
    // Painting copies the whole image: no erase, so the strip never flickers.
    SetBackgroundStyle(wxBG_STYLE_PAINT);
    return wxWindow::Create(parent, id, rect.GetPosition(), rect.GetSize(),
                            wxBORDER_SIMPLE | wxFULL_REPAINT_ON_RESIZE);
}

void CHistogramCtrl::SetRange(uint32_t min, uint32_t max) {
    m_nMin = min;
    m_nMax = max;
    InitBuffer();
}

void CHistogramCtrl::InitBuffer() {
    if (!m_dcMem) {
        const wxSize size = GetClientSize();
        m_bmpMem = wxBitmap(std::max(size.x, 1), std::max(size.y, 1), 24);
        m_dcMem = std::make_unique<wxMemoryDC>(m_bmpMem);
        PrepareExactDc(*m_dcMem);
        m_dcMem->SetBackground(*wxBLACK_BRUSH);
        DcFillRect(*m_dcMem, 0, 0, m_bmpMem.GetWidth(), m_bmpMem.GetHeight(), *wxBLACK);
    }
    Refresh();
}

uint32_t CHistogramCtrl::AddSample(uint32_t value) {
    return AddSample(value, kUsedColour);
}

uint32_t CHistogramCtrl::AddSample(uint32_t value, const wxColour& colour) {
    const uint32_t previous = m_nValue;
    m_nValue = ClampSample(value, m_nMin, m_nMax);
    DrawSample(colour);
    Refresh();
    return previous;
}

void CHistogramCtrl::DrawSample(const wxColour& colour) {
    if (!m_dcMem) {
        return;
    }
    // The image, not the window, decides: it keeps the size it was made with.
    const int32_t right = m_bmpMem.GetWidth();
    const int32_t bottom = m_bmpMem.GetHeight();
    // Columns from 4 on move left; the rightmost 4 keep old pixels until the fills below.
    DcCopyImage(*m_dcMem, 0, 0, right - 4, bottom, *m_dcMem, 4, 0);
    const int32_t h = StripColumnHeight(m_nValue, m_nMin, m_nMax, bottom);
    DcFillRect(*m_dcMem, right - 4, 0, right, bottom, *wxBLACK);
    DcFillRect(*m_dcMem, right - 4, bottom - h, right - 1, bottom, colour);
}

wxImage CHistogramCtrl::CopyImage() const {
    if (!m_dcMem) {
        return wxImage();
    }
    return DcReadImage(*m_dcMem, m_bmpMem.GetWidth(), m_bmpMem.GetHeight());
}

void CHistogramCtrl::OnPaint(wxPaintEvent&) {
    wxPaintDC dc(this);
    if (m_dcMem) {
        dc.Blit(0, 0, m_bmpMem.GetWidth(), m_bmpMem.GetHeight(), m_dcMem.get(), 0, 0, wxCOPY);
    }
}
