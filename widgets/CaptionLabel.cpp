#include "CaptionLabel.h"

#include "DrawHelpers.h"

#include <wx/dcclient.h>
#include <wx/settings.h>
#include <wx/tokenzr.h>

wxBEGIN_EVENT_TABLE(CCaptionLabel, wxWindow)
    EVT_ERASE_BACKGROUND(CCaptionLabel::OnEraseBackground)
    EVT_PAINT(CCaptionLabel::OnPaint)
wxEND_EVENT_TABLE()

namespace {

// Breaks text into lines no wider than width, at blanks (a word wider than width stands alone).
wxArrayString WrapWords(wxDC& dc, const wxString& text, int width) {
    wxArrayString lines;
    wxString line;
    for (const wxString& word : wxSplit(text, ' ', '\0')) {
        const wxString candidate = line.empty() ? word : line + " " + word;
        if (!line.empty() && dc.GetTextExtent(candidate).x > width) {
            lines.push_back(line);
            line = word;
        } else {
            line = candidate;
        }
    }
    if (!line.empty()) {
        lines.push_back(line);
    }
    return lines;
}

int AlignmentOf(int align) {
    return align == 1 ? wxALIGN_CENTRE_HORIZONTAL : align == 2 ? wxALIGN_RIGHT : wxALIGN_LEFT;
}

} // namespace

CCaptionLabel::CCaptionLabel()
    : m_nIconWidth(wxSystemSettings::GetMetric(wxSYS_ICON_X)),
      m_crBack(wxSystemSettings::GetColour(wxSYS_COLOUR_WINDOW)) {}

void CCaptionLabel::MakeFont(wxFont& font, int weight, int height) {
    font = wxFont(
        wxFontInfo(wxSize(0, height)).FaceName("Tahoma").Family(wxFONTFAMILY_SWISS).Weight(weight));
}

void CCaptionLabel::OnPaint(wxPaintEvent&) {
    wxPaintDC dc(this);
    Paint(dc, wxRect(GetClientSize()));
}

void CCaptionLabel::Paint(wxDC& dc, const wxRect& client) {
    if (!m_bFontsReady) {
        MakeFont(m_fontText, 400, m_nTextHeight);
        MakeFont(m_fontTitle, 700, m_nTitleHeight);
    }
    const int cl = client.GetLeft();
    const int ct = client.GetTop();
    const int cr = client.GetRight() + 1;
    const int cb = client.GetBottom() + 1;
    DcFillRect(dc, cl, ct, cr, cb, m_crBack);
    if (m_hIconLabel.IsOk()) {
        dc.DrawIcon(m_hIconLabel, m_nMargin, m_nMargin);
    }
    const wxFont oldFont = dc.GetFont();
    dc.SetBackgroundMode(wxBRUSHSTYLE_TRANSPARENT);
    dc.SetTextForeground(GetForegroundColour().IsOk() ? GetForegroundColour() : *wxBLACK);

    int left = cl + m_nTitleIndent;
    if (m_hIconLabel.IsOk() || m_bIconSpace) {
        left += m_nMargin + m_nIconWidth;
    }
    int top = ct;
    int bottom = cb;
    if (!m_strBody.empty()) {
        top = ct + m_nMargin;
        bottom = top + m_nTitleHeight;
    }
    int right = cr - m_nMargin - m_nBorder;
    if (m_nAlign == 1) {
        right -= left - cl; // both sides inset alike
    }
    m_rcTitle = wxRect(wxPoint(left, top), wxPoint(right - 1, bottom - 1));
    dc.SetFont(m_fontTitle);
    const wxArrayString title = WrapWords(dc, m_strTitle, m_rcTitle.width);
    dc.DrawLabel(wxJoin(title, '\n', '\0'), m_rcTitle,
                 AlignmentOf(m_nAlign) | wxALIGN_CENTRE_VERTICAL);

    dc.SetFont(m_fontText);
    int textLeft = m_rcTitle.GetLeft();
    int textRight = cr - m_nMargin - m_nBorder;
    if (m_nAlign == 0) {
        textLeft += m_nTextIndent;
    } else if (m_nAlign == 2) {
        textRight -= m_nTextIndent;
    }
    const wxRect body(wxPoint(textLeft, bottom), wxPoint(textRight - 1, cb - 1));
    const wxArrayString lines = WrapWords(dc, m_strBody, body.width);
    dc.DrawLabel(wxJoin(lines, '\n', '\0'), body, AlignmentOf(m_nAlign) | wxALIGN_TOP);
    dc.SetFont(oldFont);
}
