#include "ImageButton.h"

#include "DrawHelpers.h"
#include "ResourceBitmaps.h"

wxBEGIN_EVENT_TABLE(CImageButton, COwnerDrawButton)
    EVT_SET_FOCUS(CImageButton::OnSetFocus)
    EVT_KILL_FOCUS(CImageButton::OnKillFocus)
wxEND_EVENT_TABLE()

namespace {

// Text flags of the caption (the handheld's values) as wx alignment.
int AlignmentOf(uint32_t format) {
    int align = 0;
    if ((format & 0x1) != 0) {
        align |= wxALIGN_CENTRE_HORIZONTAL;
    } else if ((format & 0x2) != 0) {
        align |= wxALIGN_RIGHT;
    }
    if ((format & 0x4) != 0) {
        align |= wxALIGN_CENTRE_VERTICAL;
    } else if ((format & 0x8) != 0) {
        align |= wxALIGN_BOTTOM;
    }
    return align;
}

} // namespace

CImageButton::~CImageButton() {
    m_imageList.RemoveAll();
}

void CImageButton::LoadBitmaps(int normalId, int pressedId, int disabledId) {
    if (m_bHasImages) {
        m_imageList.RemoveAll();
        m_bHasImages = false;
    }
    const wxBitmap normal = LoadResourceBitmap(normalId);
    if (!normal.IsOk()) {
        return;
    }
    m_bmInfo = normal.GetSize();
    m_rcImage = wxRect(0, 0, m_bmInfo.x, m_bmInfo.y);
    if (!m_imageList.Create(m_bmInfo.x, m_bmInfo.y, false, 1)) {
        return;
    }
    m_imageList.Add(normal);
    for (const int id : {pressedId, disabledId}) {
        if (id == 0) {
            continue;
        }
        // A bitmap that does not load is left out: fewer images, chosen by count below.
        const wxBitmap bitmap = LoadResourceBitmap(id);
        if (bitmap.IsOk() && bitmap.GetSize() == m_bmInfo) {
            m_imageList.Add(bitmap);
        }
    }
    m_bHasImages = true;
}

int CImageButton::ImageIndexFor(unsigned itemState) const {
    const int n = m_imageList.GetImageCount();
    if ((itemState & kOdsDisabled) != 0) {
        return n == 3 ? 2 : 0;
    }
    return (itemState & kOdsSelected) != 0 && n >= 2 ? 1 : 0;
}

void CImageButton::DrawItem(const CDrawItem& item) {
    wxDC& dc = *item.pDC;
    if (m_bFirstDraw) {
        m_bFirstDraw = false;
        // Without images the button keeps its template size and draws into it.
        if (m_bHasImages) {
            SetSize(m_bmInfo);
        } else {
            m_rcImage = item.rcItem;
        }
    }
    COwnerDrawButton::DrawPushButtonFrame(this, dc, m_rcImage,
                                          (item.itemState & kOdsSelected) != 0);
    if (m_bHasImages) {
        m_imageList.Draw(ImageIndexFor(item.itemState), dc, m_rcImage.x, m_rcImage.y,
                         wxIMAGELIST_DRAW_NORMAL);
    }
    const wxColour& colour = (item.itemState & kOdsDisabled) != 0 ? m_crTextDisabled : m_crText;
    if (m_strText.empty()) {
        m_strText = GetLabel();
    }
    if (!m_strText.empty()) {
        const wxFont oldFont = dc.GetFont();
        if (m_font.IsOk()) {
            dc.SetFont(m_font);
        }
        dc.SetBackgroundMode(wxBRUSHSTYLE_TRANSPARENT);
        dc.SetTextForeground(colour);
        dc.DrawLabel(m_strText, m_rcImage, AlignmentOf(m_nTextFormat));
        dc.SetFont(oldFont);
    }
    if (m_bHasFocus && m_bDrawFocus) {
        DcRectangle(dc, m_rcImage.GetLeft(), m_rcImage.GetTop(), m_rcImage.GetRight() + 1,
                    m_rcImage.GetBottom() + 1, CDrawPen{wxColour(255, 0, 0), 3, false}, wxColour());
    }
}

void CImageButton::OnSetFocus(wxFocusEvent& event) {
    if (m_bDrawFocus) {
        m_bHasFocus = true;
        event.Skip();
    }
}

void CImageButton::OnKillFocus(wxFocusEvent& event) {
    if (m_bDrawFocus) {
        event.Skip();
        m_bHasFocus = false;
    }
}
