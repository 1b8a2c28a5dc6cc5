// The main dialog's campaigns: the Options item, the campaign dialog, and what the reader's
// campaign reports (restarts shown like the dialog's own, progress in field 1069, the summary).
#include "CampaignDlg.h"
#include "Debug.h"
#include "PlotDlg.h"
#include "RecordsDlg.h"
#include "ResourceIds.h"
#include "UiThread.h"
#include "ZenithprobeDlg.h"

#include <system_error>
#include <wx/msgdlg.h>

void CZenithprobeDlg::OnCampaignCommand(wxCommandEvent&) {
    OnCampaign();
}

void CZenithprobeDlg::OnCampaign() {
    if (CampaignRunning()) {
        StopCampaign(); // the Finished notice restores the item and shows the summary
        return;
    }
    CCampaignDlg dlg(this);
    if (dlg.DoModal() != kIdOk) {
        return;
    }
    if (dlg.IsStatic()) {
        StartStaticRun(dlg.DurationS());
    } else {
        StartCampaignRuns(dlg.Kinds(), dlg.Runs(), dlg.TimeoutS());
    }
}

bool CZenithprobeDlg::StartStaticRun(uint32_t durationS) {
    StaticSettings settings;
    settings.durationS = durationS;
    SetCampaignMenuLabel("Stop campaign");
    if (const int error = StartStaticCampaign(settings, m_strDataDir); error != 0) {
        SetCampaignMenuLabel("Campaign...");
        DebugPrint("CZenithprobeDlg::OnCampaign() Unable to create file (%d)!\r\n", error);
        MessageBox("Unable to create file", kMbStopOk);
        return false;
    }
    return true;
}

bool CZenithprobeDlg::StartCampaignRuns(const std::vector<int32_t>& kinds, int32_t cycles,
                                        uint32_t timeoutS) {
    CampaignSettings settings;
    settings.kinds = kinds;
    settings.cycles = cycles;
    settings.timeoutS = timeoutS;
    settings.settleS = m_nCampaignSettleS;
    // A criterion of -1 must not become one of 136 years, nor 3 x a huge one wrap.
    const struct {
        int32_t kind;
        int32_t value;
        const char* key;
    } criteria[] = {{kStartCold, m_nCriteriaCold, "TIME_CRITERIA_C"},
                    {kStartWarm, m_nCriteriaWarm, "TIME_CRITERIA_W"},
                    {kStartHot, m_nCriteriaHot, "TIME_CRITERIA_H"}};
    for (const auto& c : criteria) {
        if (c.value < 0 || c.value > static_cast<int32_t>(kMaxCriterionS)) {
            MessageBox(
                wxString::Format("%s=%d is outside 0 to %u s", c.key, c.value, kMaxCriterionS),
                kMbStopOk);
            return false;
        }
        settings.criteriaS[c.kind] = static_cast<uint32_t>(c.value);
    }
    // The menu item changes first: the first restart's notice may arrive at once.
    SetCampaignMenuLabel("Stop campaign");
    if (const int error = StartCampaign(settings, m_strDataDir); error != 0) {
        SetCampaignMenuLabel("Campaign...");
        DebugPrint("CZenithprobeDlg::OnCampaign() Unable to create file (%d)!\r\n", error);
        MessageBox("Unable to create file", kMbStopOk);
        return false;
    }
    return true;
}

void CZenithprobeDlg::SetCampaignMenuLabel(const wxString& label) {
    CSoftKeyBar* bar = SoftKeyBar();
    for (size_t i = 0; bar != nullptr && i < bar->KeyCount(); ++i) {
        if (wxMenu* menu = bar->Popup(i)) {
            if (wxMenuItem* item = menu->FindItem(MenuCommandId(IDM_CAMPAIGN))) {
                item->SetItemLabel(label);
            }
        }
    }
}

void CZenithprobeDlg::CampaignNotify(CampaignNotice notice) {
    // Reader thread (or the caller of Start/StopCampaign): everything happens on the
    // user-interface thread.
    PostToUi(m_lifetime.Token(), [this, notice = std::move(notice)] {
        if (IsEnded()) {
            return;
        }
        switch (notice.what) {
        case CampaignNotice::What::RestartSent:
            // The kind as the dialog's own restarts show it. No waiting thread: the campaign
            // alone times its runs (a waiter would reset the parser under it). The bytes went
            // out already, from the reader thread.
            m_nStartKind = notice.kind;
            SetDlgItemText(IDC_START_KIND, wxString::Format("%s %d/%d", StartKindText(notice.kind),
                                                            notice.run, notice.runs));
            break;
        case CampaignNotice::What::Progress:
            SetDlgItemText(IDC_START_KIND,
                           wxString::Format("static %d/%d", notice.run, notice.runs));
            break;
        case CampaignNotice::What::RunFinished:
            DebugPrint("CZenithprobeDlg::OnCampaign() %s!\r\n", notice.text.c_str());
            if (notice.ttffMs >= 0) {
                // The TTFF field follows the campaign: the run's whole seconds.
                m_strTTFF = wxString::Format("%lld", static_cast<long long>(notice.ttffMs / 1000));
                UpdateData(false);
            }
            break;
        case CampaignNotice::What::Finished: {
            SetCampaignMenuLabel("Campaign...");
            // A static run has no verdict: it ends.
            wxString text = notice.isStatic    ? "Static run ended\n\n"
                            : notice.allPassed ? "Campaign passed\n\n"
                                               : "Campaign ended\n\n";
            if (notice.fixesIgnored) {
                text += "The receiver reports its fixes only in sentences that Multi-GNSS off "
                        "ignores (MULTI_GNSS=0): switch Options > Multi-GNSS on and start "
                        "again.\n\n";
            } else if (notice.portLost) {
                text += "The port closed during the campaign (port-lost).\n\n";
            }
            text += wxString::FromUTF8(notice.text);
            std::filesystem::path svg;
            for (const std::filesystem::path& p : notice.paths) {
                text += "\n" + wxString::FromUTF8(p.filename().string());
                svg = p.extension() == ".svg" ? p : svg;
            }
            if (notice.error != 0) {
                text += "\n\nUnable to write the files completely";
            }
            // The plot is offered whenever it was written, even when another file failed.
            std::error_code ec;
            ShowCampaignSummary(text, notice.allPassed,
                                std::filesystem::file_size(svg, ec) > 0 && !ec ? svg : "");
            break;
        }
        }
    });
}

void CZenithprobeDlg::ShowCampaignSummary(const wxString& text, bool passed,
                                          const std::filesystem::path& svgFile) {
    const long style = passed ? long{wxOK | wxICON_INFORMATION} : long{wxOK | wxICON_WARNING};
    if (svgFile.empty()) {
        MessageBox(text, style);
        return;
    }
    // OK keeps its place and meaning; the plot is the box's second button.
    wxMessageDialog box(this, text, "Zenithprobe", style | wxHELP);
    box.SetHelpLabel("Show plot");
    if (box.ShowModal() == wxID_HELP) {
        CPlotDlg plot(this, svgFile);
        plot.DoModal();
    }
}

void CZenithprobeDlg::OnRecordsCommand(wxCommandEvent&) {
    CRecordsDlg dlg(this, m_strDataDir);
    dlg.DoModal();
}
