#pragma once
// CCaptionLabel: a bold title over a body text, in the "Tahoma" face, beside an optional icon.
// The dialogs own one each but never give it a window, so it draws nothing on the screen;
// Paint draws it into any context (the paint handler uses it).
//
// Threads: the user-interface thread.
#include <wx/colour.h>
#include <wx/dc.h>
#include <wx/font.h>
#include <wx/icon.h>
#include <wx/window.h>

class CCaptionLabel : public wxWindow {
public:
    CCaptionLabel();

    void SetTitle(const wxString& title) { m_strTitle = title; }
    void SetBody(const wxString& body) { m_strBody = body; }
    void SetAlign(int align) { m_nAlign = align; }
    void SetLabelIcon(const wxIcon& icon) { m_hIconLabel = icon; }

    // Replaces font's font by face "Tahoma" of weight (400 normal, 700 bold) and pixel height.
    static void MakeFont(wxFont& font, int weight, int height);

    // The whole label into dc over client (the paint handler's work).
    void Paint(wxDC& dc, const wxRect& client);
    // Where the title went at the last Paint (tests).
    const wxRect& TitleRect() const { return m_rcTitle; }

private:
    void OnEraseBackground(wxEraseEvent&) {} // everything is painted: nothing to erase
    void OnPaint(wxPaintEvent& event);

    int m_nTitleHeight = 15;
    int m_nTextHeight = 13;
    int m_nIconWidth;
    int m_nBorder = 1;
    int m_nMargin = 5;
    int m_nTitleIndent = 10;
    int m_nTextIndent = 10;
    int m_nAlign = 0;           // 0 left, 1 centred, 2 right
    bool m_bFontsReady = false; // never set: the fonts are made anew at every paint
    bool m_bIconSpace = true;   // leave room for an icon even without one
    wxIcon m_hIconLabel;
    wxFont m_fontTitle;
    wxFont m_fontText;
    wxString m_strTitle;
    wxString m_strBody;
    wxColour m_crBack;
    wxRect m_rcTitle;

    wxDECLARE_EVENT_TABLE();
};
