// The main dialog in multi-GNSS mode: the "Multi-GNSS" check item of the Options menu, and the
// strips of satellites of every constellation labelled "G5", "R67", ...
#include "GnssRows.h"
#include "ResourceIds.h"
#include "ZenithprobeDlg.h"

void CZenithprobeDlg::BindMultiGnssMenu() {
    const int id = MenuCommandId(IDM_MULTI_GNSS);
    if (CSoftKeyBar* keys = SoftKeyBar()) {
        for (size_t k = 0; k < keys->KeyCount(); ++k) {
            if (wxMenu* popup = keys->Popup(k); popup != nullptr && popup->FindItem(id)) {
                popup->Check(id, MultiGnss());
            }
        }
    }
    Bind(
        wxEVT_MENU,
        [this](wxCommandEvent& event) {
            // The menu has already toggled its check mark: follow it, and show the change now
            // instead of at the next RMC.
            SetMultiGnss(event.IsChecked(), true);
            RefreshScreen();
        },
        id);
}

void CZenithprobeDlg::UpdateGnssHistogram(const CNmeaParser& snapshot) {
    if (m_bars[0] == nullptr) {
        return;
    }
    const std::vector<CGnssRow> rows = PlanGnssRows(snapshot.m_multiGnss);
    for (int32_t r = 0; r < kHistogramRows; ++r) {
        const bool shown = r < static_cast<int32_t>(rows.size());
        histogramPrn[r] = shown ? rows[r].key : 0;
        SetDlgItemText(IDC_PRN0 + r, shown ? wxString(rows[r].label) : wxString());
        SetDlgItemText(IDC_SNR0 + r, shown ? wxString::Format("%d", rows[r].snr) : wxString());
        if (m_bars[r] != nullptr) {
            if (shown) {
                m_bars[r]->AddSample(static_cast<uint32_t>(rows[r].snr),
                                     rows[r].used ? CHistogramCtrl::kUsedColour
                                                  : CHistogramCtrl::kOtherColour);
            } else {
                m_bars[r]->AddSample(0);
            }
        }
    }
    histogramPos = static_cast<int32_t>(rows.size());
}
