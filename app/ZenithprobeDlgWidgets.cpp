// The main dialog's pictures: the twelve signal strips and their rows, the sky plot, the image
// buttons, the face of the owner-drawn buttons with the test result mark, and the banner.
#include "Debug.h"
#include "ResourceBitmaps.h"
#include "ResourceIds.h"
#include "ResultFace.h"
#include "Threads.h"
#include "WidgetGeometry.h"
#include "ZenithprobeDlg.h"

#include <wx/dcclient.h>

namespace {

constexpr long kChildVisible = 0x50000008; // the handheld's child + visible style

} // namespace

COwnerDrawButton* CZenithprobeDlg::CreateOwnerDrawButton(int id, const wxPoint& pos,
                                                         const wxSize& size) {
    if (id == IDC_COLD || id == IDC_WARM || id == IDC_HOT || id == IDC_SETUP) {
        return new CImageButton(this, id, pos, size);
    }
    if (id == IDC_RESULT) {
        return new CResultIndicator(this, id, pos, size);
    }
    return CDialogBase::CreateOwnerDrawButton(id, pos, size);
}

void CZenithprobeDlg::CreateStripsAndPlot() {
    std::fill(std::begin(histogramPrn), std::end(histogramPrn), 0);
    // The strips stack down from placeholder 1024, each as high as it.
    wxRect rect = GetItemClientRect(IDC_BAR0);
    for (int r = 0; r < kHistogramRows; ++r) {
        auto* bar = new CHistogramCtrl;
        if (!bar->Create(kChildVisible, rect, this, r)) {
            delete bar;
            break;
        }
        m_bars[r] = bar;
        bar->SetRange(10, 55);
        bar->Raise();
        bar->Show();
        rect.Offset(0, rect.height);
    }
    auto* plot = new CSkyPlotWnd;
    if (plot->Create(kChildVisible, GetItemClientRect(IDC_SKYPLOT), this, 0)) {
        m_plot = plot;
        m_plot->Raise();
        m_plot->Show();
    } else {
        delete plot;
    }
    Bind(wxEVT_DRAW_ITEM, &CZenithprobeDlg::OnDrawItem, this);
    Bind(wxEVT_PAINT, &CZenithprobeDlg::OnPaint, this);
}

void CZenithprobeDlg::PlaceResultIndicator() {
    if (m_btnResult == nullptr) {
        return;
    }
    m_btnResult->SetSize(m_plot != nullptr ? m_plot->GetRect() : GetItemClientRect(IDC_SKYPLOT));
    m_btnResult->SetCovered(m_plot); // over the plot once shown
    m_btnResult->Raise();
    m_btnResult->Refresh();
}

void CZenithprobeDlg::LoadButtonImages() {
    const struct {
        CImageButton* button;
        int normal;
        int pressed;
    } buttons[] = {
        {m_btnCold, 132, 135}, {m_btnWarm, 133, 137}, {m_btnHot, 134, 136}, {m_btnSetup, 138, 139}};
    for (const auto& b : buttons) {
        if (b.button != nullptr) {
            b.button->LoadBitmaps(b.normal, b.pressed, 0);
            b.button->SetDrawFocus(false);
        }
    }
}

void CZenithprobeDlg::AssignUsedRows() {
    int32_t rows[kHistogramRows];
    int32_t count = 0;
    {
        std::lock_guard lock(g_csParser);
        count = ::AssignUsedRows(m_parser, rows);
    }
    std::copy(std::begin(rows), std::end(rows), std::begin(histogramPrn));
    histogramPos = count;
}

int32_t CZenithprobeDlg::FindHistogramRow(int32_t prn) const {
    return ::FindHistogramRow(histogramPrn, prn);
}

void CZenithprobeDlg::UpdateHistogram() {
    if (m_bars[0] == nullptr) {
        return;
    }
    AssignUsedRows();
    CNmeaParser snapshot;
    {
        std::lock_guard lock(g_csParser);
        snapshot = m_parser;
    }
    const CHistogramPlan plan = PlanHistogram(snapshot, histogramPrn, histogramPos);
    for (const int32_t row : plan.overflow) {
        DebugPrint("CZenithprobeDlg::UpdateHistogram(): histogramPos=%d!\r\n", row);
    }
    for (const CRowShow& show : plan.shown) {
        SetDlgItemText(IDC_PRN0 + show.row, wxString::Format("%d", show.prn));
        SetDlgItemText(IDC_SNR0 + show.row, wxString::Format("%d", show.snr));
        if (m_bars[show.row] != nullptr) {
            m_bars[show.row]->AddSample(static_cast<uint32_t>(show.snr),
                                        show.used ? CHistogramCtrl::kUsedColour
                                                  : CHistogramCtrl::kOtherColour);
        }
    }
    for (int32_t r = plan.firstEmptyRow; r < kHistogramRows; ++r) {
        SetDlgItemText(IDC_PRN0 + r, wxEmptyString);
        SetDlgItemText(IDC_SNR0 + r, wxEmptyString);
        if (m_bars[r] != nullptr) {
            m_bars[r]->AddSample(0);
        }
    }
}

void CZenithprobeDlg::OnDrawItem(CDrawItemEvent& event) {
    const CDrawItem& item = event.Item();
    switch (item.CtlID) {
    case IDC_COLD:
    case IDC_WARM:
    case IDC_HOT:
    case IDC_RESULT:
    case IDC_SETUP:
        DrawResultFace(*item.pDC, item.rcItem, (item.itemState & kOdsSelected) != 0,
                       m_nTestResult.load());
        break;
    default:
        break;
    }
    // The image buttons cover the face with their own drawing; the indicator ends here.
    if (item.CtlID != IDC_RESULT) {
        event.Skip();
    }
}

void CZenithprobeDlg::OnPaint(wxPaintEvent&) {
    wxPaintDC dc(this);
    PaintBanner(dc, m_stcBanner, m_bmpBanner);
}
