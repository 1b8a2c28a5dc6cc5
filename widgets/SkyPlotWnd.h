#pragma once
// CSkyPlotWnd: the polar sky plot. The horizon is a dashed white circle, the zenith its centre,
// north up; every satellite in view is a 20-pixel disc (blue in the fix, grey otherwise) with
// its PRN. The picture is drawn completely off screen and copied to the window in one go.
//
// Threads: the user-interface thread only. DrawSatellites takes a private snapshot that the
// caller copied under g_csParser; this window never touches the live parser.
#include "DrawHelpers.h"
#include "NmeaParser.h"
#include "WidgetGeometry.h"

#include <memory>
#include <wx/bitmap.h>
#include <wx/dcmemory.h>
#include <wx/image.h>
#include <wx/window.h>

class CSkyPlotWnd : public wxWindow {
public:
    CSkyPlotWnd();
    ~CSkyPlotWnd() override;

    // Creates the window with a thin sunken border at rect (parent's client coordinates).
    bool Create(long style, const wxRect& rect, wxWindow* parent, int id);

    // Redraws the whole image from the snapshot and puts it on the screen before returning.
    // Does nothing before the first paint made the image.
    void DrawSatellites(const CNmeaParser& snapshot);
    // The same for the multi-GNSS table (SkyPlotGnss.cpp): every constellation, outlined in its
    // colour and labelled "G5", "R67", ...
    void DrawGnssSatellites(const CMultiGnssState& snapshot);

    const CGeoRect& PlotRect() const { return m_rcPlot; }
    bool HasImage() const { return m_dcMem != nullptr; }
    // The off-screen picture (tests); invalid before the first paint.
    wxImage CopyImage() const;

private:
    void DrawBackground(bool firstPaint);
    void OnSize(wxSizeEvent& event);
    void OnPaint(wxPaintEvent& event);

    CGeoRect m_rcPlot;
    std::unique_ptr<wxMemoryDC> m_dcMem; // empty until the first paint
    wxBitmap m_bmpMem;

    wxDECLARE_EVENT_TABLE();
};
