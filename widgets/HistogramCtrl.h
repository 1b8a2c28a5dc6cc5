#pragma once
// CHistogramCtrl: one satellite row's signal strip. Every sample moves the picture 4 pixels to
// the left and puts a 3-pixel column for the new value (plus one black column) at the right
// edge. The picture lives only in an off-screen image that painting copies.
//
// Threads: the user-interface thread only (it is a window).
#include "DrawHelpers.h"

#include <cstdint>
#include <memory>
#include <wx/bitmap.h>
#include <wx/dcmemory.h>
#include <wx/image.h>
#include <wx/window.h>

class CHistogramCtrl : public wxWindow {
public:
    static const wxColour kUsedColour;  // green: satellite in the fix
    static const wxColour kOtherColour; // light grey

    CHistogramCtrl();
    ~CHistogramCtrl() override;

    // Creates the window with a thin sunken border at rect in the parent's client coordinates.
    // The style is the handheld's (child + visible); wx styles are added here.
    virtual bool Create(long style, const wxRect& rect, wxWindow* parent, int id);

    // Stores the range and makes the off-screen image (once). max must exceed min.
    void SetRange(uint32_t min, uint32_t max);
    void InitBuffer();

    // Both return the previous value. The value is clamped into the range.
    uint32_t AddSample(uint32_t value);
    uint32_t AddSample(uint32_t value, const wxColour& colour);

    uint32_t Value() const { return m_nValue; }
    // The off-screen picture (tests); invalid before InitBuffer.
    wxImage CopyImage() const;

private:
    void DrawSample(const wxColour& colour);
    void OnPaint(wxPaintEvent& event);

    uint32_t m_nMin = 0;
    uint32_t m_nMax = 100;
    uint32_t m_nValue = 0;
    std::unique_ptr<wxMemoryDC> m_dcMem; // empty until InitBuffer
    wxBitmap m_bmpMem;                   // client-area sized, selected into m_dcMem

    wxDECLARE_EVENT_TABLE();
};
