#include "OwnerDraw.h"

#include <wx/dcbuffer.h>
#include <wx/renderer.h>
#include <wx/settings.h>

wxDEFINE_EVENT(wxEVT_DRAW_ITEM, CDrawItemEvent);

CDrawItemEvent::CDrawItemEvent(wxEventType type, const CDrawItem& item)
    : wxEvent(item.CtlID, type), m_item(item) {}

wxIMPLEMENT_DYNAMIC_CLASS(COwnerDrawButton, wxControl);

wxBEGIN_EVENT_TABLE(COwnerDrawButton, wxControl)
    EVT_PAINT(COwnerDrawButton::OnPaint)
    EVT_LEFT_DOWN(COwnerDrawButton::OnLeftDown)
    EVT_LEFT_DCLICK(COwnerDrawButton::OnLeftDown)
    EVT_LEFT_UP(COwnerDrawButton::OnLeftUp)
    EVT_MOTION(COwnerDrawButton::OnMotion)
    EVT_MOUSE_CAPTURE_LOST(COwnerDrawButton::OnCaptureLost)
    EVT_SET_FOCUS(COwnerDrawButton::OnFocus)
    EVT_KILL_FOCUS(COwnerDrawButton::OnFocus)
wxEND_EVENT_TABLE()

COwnerDrawButton::COwnerDrawButton(wxWindow* parent, wxWindowID id, const wxPoint& pos,
                                   const wxSize& size, long style) {
    Create(parent, id, pos, size, style);
}

bool COwnerDrawButton::Create(wxWindow* parent, wxWindowID id, const wxPoint& pos,
                              const wxSize& size, long style) {
    // Everything is painted here: no background erase, so nothing flickers between draws.
    SetBackgroundStyle(wxBG_STYLE_PAINT);
    return wxControl::Create(parent, id, pos, size, style | wxBORDER_NONE);
}

unsigned COwnerDrawButton::ItemState() const {
    unsigned state = 0;
    if (m_bPressed) {
        state |= kOdsSelected;
    }
    if (!IsThisEnabled()) {
        state |= kOdsDisabled;
    }
    if (HasFocus()) {
        state |= kOdsFocus;
    }
    return state;
}

void COwnerDrawButton::OnPaint(wxPaintEvent&) {
    wxAutoBufferedPaintDC dc(this);
    CDrawItem item;
    item.CtlID = GetId();
    item.itemState = ItemState();
    item.rcItem = wxRect(GetClientSize());
    item.pDC = &dc;
    item.control = this;
    CDrawItemEvent event(wxEVT_DRAW_ITEM, item);
    event.SetEventObject(this);
    // The dialog draws first; a handler that skips the event, or no handler, lets the control draw.
    wxWindow* parent = GetParent();
    if (parent == nullptr || !parent->GetEventHandler()->ProcessEvent(event)) {
        DrawItem(item);
    }
}

void COwnerDrawButton::DrawItem(const CDrawItem& item) {
    DrawPushButtonFrame(this, *item.pDC, item.rcItem, (item.itemState & kOdsSelected) != 0);
    const wxString label = GetLabelText();
    if (!label.empty()) {
        item.pDC->SetFont(GetFont());
        item.pDC->SetTextForeground((item.itemState & kOdsDisabled) != 0
                                        ? wxSystemSettings::GetColour(wxSYS_COLOUR_GRAYTEXT)
                                        : GetForegroundColour());
        item.pDC->DrawLabel(label, item.rcItem, wxALIGN_CENTRE);
    }
}

void COwnerDrawButton::DrawPushButtonFrame(wxWindow* win, wxDC& dc, const wxRect& rect,
                                           bool pressed) {
    dc.SetBrush(wxBrush(wxSystemSettings::GetColour(wxSYS_COLOUR_BTNFACE)));
    dc.SetPen(*wxTRANSPARENT_PEN);
    dc.DrawRectangle(rect);
    const int flags = pressed ? static_cast<int>(wxCONTROL_PRESSED) : 0;
    wxRendererNative::Get().DrawPushButton(win, dc, rect, flags);
}

wxSize COwnerDrawButton::DoGetBestSize() const {
    return wxSize(20, 20);
}

void COwnerDrawButton::DoEnable(bool enable) {
    wxControl::DoEnable(enable);
    if (!enable && m_bTracking) {
        m_bTracking = false;
        m_bPressed = false;
        if (HasCapture()) {
            ReleaseMouse();
        }
    }
    Refresh();
}

void COwnerDrawButton::OnLeftDown(wxMouseEvent&) {
    if (!IsThisEnabled()) {
        return;
    }
    m_bTracking = true;
    m_bPressed = true;
    if (!HasCapture()) {
        CaptureMouse();
    }
    Refresh();
}

void COwnerDrawButton::OnMotion(wxMouseEvent& event) {
    if (m_bTracking) {
        const bool inside = wxRect(GetClientSize()).Contains(event.GetPosition());
        if (inside != m_bPressed) {
            m_bPressed = inside;
            Refresh();
        }
    }
    event.Skip();
}

void COwnerDrawButton::OnLeftUp(wxMouseEvent& event) {
    if (!m_bTracking) {
        event.Skip();
        return;
    }
    m_bTracking = false;
    if (HasCapture()) {
        ReleaseMouse();
    }
    const bool clicked = m_bPressed && wxRect(GetClientSize()).Contains(event.GetPosition());
    m_bPressed = false;
    Refresh();
    if (clicked) {
        wxCommandEvent click(wxEVT_BUTTON, GetId());
        click.SetEventObject(this);
        ProcessWindowEvent(click);
    }
}

void COwnerDrawButton::OnCaptureLost(wxMouseCaptureLostEvent&) {
    m_bTracking = false;
    m_bPressed = false;
    Refresh();
}

void COwnerDrawButton::OnFocus(wxFocusEvent& event) {
    Refresh();
    event.Skip();
}
