#pragma once
// CCampaignDlg: the small dialog (template 146) that sets up a campaign: the kind (cold, warm,
// hot or all three in turn), the number of runs (cycles for all three) and the time-out (0: three
// times the kind's criterion, at least 60 s); or a static run (no restarts) and its duration.
// Start is OK.
//
// Threads: the user-interface thread only.
#include "CampaignEngine.h"
#include "Dialog.h"

#include <cstdint>
#include <vector>
#include <wx/string.h>

class CCampaignDlg : public CDialogBase {
public:
    explicit CCampaignDlg(wxWindow* parent = nullptr);

    // After a Start: the kinds of one cycle, the cycles and the time-out (0: per kind).
    std::vector<int32_t> Kinds() const;
    int32_t Runs() const { return m_nRuns; }
    uint32_t TimeoutS() const { return m_nTimeoutS; }
    bool IsStatic() const { return m_nKind == 4; }
    uint32_t DurationS() const { return m_nDurationS; }

    bool OnInitDialog() override;
    void OnOK() override; // checks the numbers; a bad one keeps the dialog open
    void DoDataExchange(CDataExchange* pDX) override;

private:
    int32_t m_nKind = 0; // 0 cold, 1 warm, 2 hot, 3 all three, 4 static
    wxString m_strRuns = "20";
    wxString m_strTimeout = "0";
    int32_t m_nRuns = 20;
    uint32_t m_nTimeoutS = 0;
    wxString m_strDuration = "600";
    uint32_t m_nDurationS = 600;
};
