#include "ResultFace.h"

#include "DrawHelpers.h"
#include "WidgetGeometry.h"

#include <wx/settings.h>

void DrawResultFace(wxDC& dc, const wxRect& rcItem, bool selected, int32_t testResult) {
    PrepareExactDc(dc);
    const int32_t l = rcItem.GetLeft();
    const int32_t t = rcItem.GetTop();
    const int32_t r = rcItem.GetRight() + 1;
    const int32_t b = rcItem.GetBottom() + 1;
    const CDrawPen shadow{wxSystemSettings::GetColour(wxSYS_COLOUR_BTNSHADOW), 3, false};
    const CDrawPen light{wxSystemSettings::GetColour(wxSYS_COLOUR_3DLIGHT), 1, false};
    const CDrawPen dark{wxSystemSettings::GetColour(wxSYS_COLOUR_3DDKSHADOW), 1, false};
    const CDrawPen red{wxColour(255, 0, 0), 5, false};
    const CDrawPen blue{wxColour(0, 0, 255), 5, false};

    DcRectangle(dc, l, t, r, b, shadow, *wxWHITE);
    DcPolyline(dc, {{l + 1, b - 3}, {l + 1, t + 1}, {r - 3, t + 1}}, selected ? dark : light);
    if (selected) {
        DcPolyline(dc, {{l + 1, b - 3}, {r - 3, b - 3}, {r - 3, t + 1}}, light);
        DcPolyline(dc, {{l, b - 1}, {l, t}, {r - 1, t}}, dark);
    } else {
        DcPolyline(dc, {{l, b - 1}, {r - 1, b - 1}, {r - 1, t}}, dark);
    }
    const CGeoRect m = ResultMarkSquare(l, t, r, b);
    if (testResult == 1) {
        DcEllipse(dc, m.left, m.top, m.right, m.bottom, blue, *wxWHITE);
    } else if (testResult == 0) {
        DcLine(dc, {m.left, m.top}, {m.right, m.bottom}, red);
        DcLine(dc, {m.right, m.top}, {m.left, m.bottom}, red);
    }
}

void CResultIndicator::SetCovered(wxWindow* covered) {
    m_covered = covered;
    if (m_covered) {
        m_covered->Show(!IsShown());
    }
}

bool CResultIndicator::Show(bool show) {
    if (m_covered) {
        m_covered->Show(!show);
    }
    return COwnerDrawButton::Show(show);
}
