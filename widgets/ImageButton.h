#pragma once
// CImageButton: an owner-drawn button that shows a bitmap per state (image 0 normal, 1 pressed,
// 2 disabled) and takes the size of its images at its first drawing.
//
// Threads: the user-interface thread only.
#include "OwnerDraw.h"

#include <cstdint>
#include <wx/bitmap.h>
#include <wx/font.h>
#include <wx/imaglist.h>

class CImageButton : public COwnerDrawButton {
public:
    CImageButton() = default;
    CImageButton(wxWindow* parent, wxWindowID id, const wxPoint& pos, const wxSize& size)
        : COwnerDrawButton(parent, id, pos, size) {}
    ~CImageButton() override;

    // Resource ids of bitmaps (res/); 0 = none for pressed and disabled. Replaces any images.
    void LoadBitmaps(int normalId, int pressedId = 0, int disabledId = 0);
    // Off: no focus frame, and focus changes are not even passed on.
    void SetDrawFocus(bool drawFocus) { m_bDrawFocus = drawFocus; }

    void DrawItem(const CDrawItem& item) override;

    // Which image a draw with this item state shows (by the number of images loaded).
    int ImageIndexFor(unsigned itemState) const;
    bool HasImages() const { return m_bHasImages; }
    int ImageCount() const { return m_imageList.GetImageCount(); }
    bool HasFocusFlag() const { return m_bHasFocus; }

private:
    void OnSetFocus(wxFocusEvent& event);
    void OnKillFocus(wxFocusEvent& event);

    wxSize m_bmInfo; // size of the normal image
    wxImageList m_imageList;
    bool m_bHasImages = false;
    wxString m_strText; // caption; fetched from the label when first needed
    wxRect m_rcImage;   // (0, 0, image width, image height)
    wxColour m_crText = *wxWHITE;
    wxColour m_crTextDisabled = *wxWHITE;
    uint32_t m_nTextFormat = 37; // centred both ways, one line
    wxFont m_font;
    bool m_bHasFocus = false;
    bool m_bFirstDraw = true;
    bool m_bDrawFocus = true;

    wxDECLARE_EVENT_TABLE();
};
