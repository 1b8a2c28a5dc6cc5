// The sky plot of the multi-GNSS mode: every satellite of the extended table, with the design's
// disc (size, blue in the fix, grey not) and an outline in its constellation's colour, labelled
// with letter and number; a one-line legend of the letters in the bottom-left corner.
#include "GnssRows.h"
#include "SkyPlotWnd.h"

namespace {

const wxColour kUsedFill(0, 0, 255);
const wxColour kOtherFill(128, 128, 128);

// GPS keeps the design's white outline.
wxColour OutlineColour(EGnssSystem system) {
    switch (system) {
    case EGnssSystem::Glonass:
        return wxColour(255, 80, 80);
    case EGnssSystem::Galileo:
        return wxColour(255, 220, 0);
    case EGnssSystem::BeiDou:
        return wxColour(255, 0, 255);
    case EGnssSystem::Qzss:
        return wxColour(0, 255, 255);
    case EGnssSystem::Sbas:
        return wxColour(0, 255, 0);
    case EGnssSystem::NavIC:
        return wxColour(255, 150, 0);
    default:
        return *wxWHITE;
    }
}

} // namespace

void CSkyPlotWnd::DrawGnssSatellites(const CMultiGnssState& state) {
    if (!m_dcMem) {
        return;
    }
    DrawBackground(false);
    wxMemoryDC& dc = *m_dcMem;
    const int n = std::min<int>(state.m_wCount, CMultiGnssState::kSatellites);
    for (int i = 0; i < n; ++i) {
        const CGnssSatellite& sat = state.m_Satellites[i];
        const CGeoPoint p = SkyPlotPosition(m_rcPlot, sat.wAzimuth, sat.wElevation);
        const CDrawPen outline{OutlineColour(sat.system), 1, false};
        DcEllipse(dc, p.x - 10, p.y - 10, p.x + 10, p.y + 10, outline,
                  sat.bUsed != 0 ? kUsedFill : kOtherFill);
        const wxString label = GnssLabel(sat.system, sat.wPrn);
        const wxSize extent = dc.GetTextExtent(label);
        DcTextAt(dc, label, p.x - extent.x / 2, p.y - extent.y / 2, *wxWHITE);
    }
    // Legend: the constellations present, each letter in its outline colour.
    int x = 2;
    const int y = m_bmpMem.GetHeight() - dc.GetCharHeight() - 1;
    for (const EGnssSystem system :
         {EGnssSystem::Gps, EGnssSystem::Glonass, EGnssSystem::Galileo, EGnssSystem::BeiDou,
          EGnssSystem::Qzss, EGnssSystem::Sbas, EGnssSystem::NavIC}) {
        const bool present =
            std::any_of(state.m_Satellites, state.m_Satellites + n,
                        [system](const CGnssSatellite& s) { return s.system == system; });
        if (present) {
            const wxString letter(GnssSystemLetter(system));
            DcTextAt(dc, letter, x, y, OutlineColour(system));
            x += dc.GetTextExtent(letter).x + 3;
        }
    }
    // Shown with the window's next frame: an immediate Update() waited for the X server and
    // painted the whole dialog a second time every second.
    Refresh();
}
