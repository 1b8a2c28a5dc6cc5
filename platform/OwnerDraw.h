#pragma once
// Owner-drawn controls: a button whose face the dialog and the control paint themselves.
//
// Every paint of a COwnerDrawButton is first offered to its parent dialog as a CDrawItemEvent
// (the dialog's event table: EVT_DRAW_ITEM(handler)). The handler draws with the record's device
// context, state and rectangle; calling event.Skip() passes the draw on to the control's own
// DrawItem, which is also what happens when the dialog has no handler. A click (left button
// pressed and released over the control) sends wxEVT_BUTTON with the control's id.
//
// Threads: the user-interface thread only.
#include <wx/control.h>
#include <wx/dc.h>
#include <wx/event.h>

class COwnerDrawButton;

// Item state bits of a draw record.
inline constexpr unsigned kOdsSelected = 0x0001; // pressed
inline constexpr unsigned kOdsDisabled = 0x0004;
inline constexpr unsigned kOdsFocus = 0x0010;

// The record of one draw: control id, state, the control's client rectangle and the device
// context to draw into (valid for the duration of the draw only).
struct CDrawItem {
    int CtlID = 0;
    unsigned itemState = 0;
    wxRect rcItem;
    wxDC* pDC = nullptr;
    COwnerDrawButton* control = nullptr;
};

class CDrawItemEvent : public wxEvent {
public:
    CDrawItemEvent(wxEventType type, const CDrawItem& item);
    wxEvent* Clone() const override { return new CDrawItemEvent(*this); }
    const CDrawItem& Item() const { return m_item; }

private:
    CDrawItem m_item;
};

wxDECLARE_EVENT(wxEVT_DRAW_ITEM, CDrawItemEvent);
#define EVT_DRAW_ITEM(func)                                                                        \
    wx__DECLARE_EVT0(wxEVT_DRAW_ITEM, wxEVENT_HANDLER_CAST(CDrawItemEventFunction, func))
typedef void (wxEvtHandler::*CDrawItemEventFunction)(CDrawItemEvent&);

class COwnerDrawButton : public wxControl {
public:
    COwnerDrawButton() = default;
    COwnerDrawButton(wxWindow* parent, wxWindowID id, const wxPoint& pos, const wxSize& size,
                     long style = 0);
    bool Create(wxWindow* parent, wxWindowID id, const wxPoint& pos, const wxSize& size,
                long style = 0);

    // Paints the control's own face; the base draws a plain push button with the label.
    virtual void DrawItem(const CDrawItem& item);

    // Pressed: the left button went down on the control and is held over it.
    bool IsPressed() const { return m_bPressed; }
    unsigned ItemState() const;

    // Draws the push-button frame of the platform into rect, sunken when pressed.
    static void DrawPushButtonFrame(wxWindow* win, wxDC& dc, const wxRect& rect, bool pressed);

protected:
    wxSize DoGetBestSize() const override;
    bool AcceptsFocusFromKeyboard() const override { return false; }
    void DoEnable(bool enable) override;

private:
    void OnPaint(wxPaintEvent& event);
    void OnLeftDown(wxMouseEvent& event);
    void OnLeftUp(wxMouseEvent& event);
    void OnMotion(wxMouseEvent& event);
    void OnCaptureLost(wxMouseCaptureLostEvent& event);
    void OnFocus(wxFocusEvent& event);

    bool m_bPressed = false;
    bool m_bTracking = false;

    wxDECLARE_DYNAMIC_CLASS(COwnerDrawButton);
    wxDECLARE_EVENT_TABLE();
};
