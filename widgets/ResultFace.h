#pragma once
// The face of the test result indicator: white, in a 3-pixel shadow frame with raised (or, when
// pressed, sunken) edges, carrying a blue ring for a pass (testResult 1), a red cross for a fail
// (0) and nothing otherwise. Drawn by the main dialog for all its owner-drawn buttons before
// the buttons draw themselves.
//
// Threads: the user-interface thread.
#include "OwnerDraw.h"

#include <cstdint>
#include <wx/dc.h>
#include <wx/gdicmn.h>
#include <wx/weakref.h>

void DrawResultFace(wxDC& dc, const wxRect& rcItem, bool selected, int32_t testResult);

// The indicator button (1062) that lies over another window of its dialog, the sky plot.
//
// GTK draws sibling windows in the order they were created, whatever Raise says: the plot,
// made after the dialog's template controls, would paint over the indicator. So the covered
// window is hidden for as long as the indicator is shown, and the indicator is the only window
// there, in pixels as in input. Callers keep using Show, Hide and IsShown as on any button.
class CResultIndicator : public COwnerDrawButton {
public:
    CResultIndicator(wxWindow* parent, wxWindowID id, const wxPoint& pos, const wxSize& size)
        : COwnerDrawButton(parent, id, pos, size) {}

    // The sibling this indicator covers exactly; shown again when the indicator hides.
    void SetCovered(wxWindow* covered);

    bool Show(bool show = true) override;

private:
    wxWeakRef<wxWindow> m_covered;
};
