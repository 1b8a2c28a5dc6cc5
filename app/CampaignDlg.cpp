#include "CampaignDlg.h"

#include "DecimalValue.h"
#include "ResourceIds.h"

#include <wx/radiobut.h>

namespace {
constexpr int kKindIds[] = {IDC_CAMPAIGN_COLD, IDC_CAMPAIGN_WARM, IDC_CAMPAIGN_HOT,
                            IDC_CAMPAIGN_ALL, IDC_CAMPAIGN_STATIC};
// A day at most: longer runs belong to the headless command.
constexpr int32_t kMaxDurationS = 86400;
} // namespace

CCampaignDlg::CCampaignDlg(wxWindow* parent) : CDialogBase(IDD_CAMPAIGN_DIALOG, parent) {}

bool CCampaignDlg::OnInitDialog() {
    const bool result = CDialogBase::OnInitDialog();
    if (auto* cold = dynamic_cast<wxRadioButton*>(GetDlgItem(IDC_CAMPAIGN_COLD))) {
        cold->SetValue(true);
    }
    return result;
}

void CCampaignDlg::DoDataExchange(CDataExchange* pDX) {
    CDialogBase::DoDataExchange(pDX);
    DDX_Text(pDX, IDC_CAMPAIGN_RUNS, m_strRuns);
    DDX_Text(pDX, IDC_CAMPAIGN_TIMEOUT, m_strTimeout);
    DDX_Text(pDX, IDC_CAMPAIGN_DURATION, m_strDuration);
}

std::vector<int32_t> CCampaignDlg::Kinds() const {
    switch (m_nKind) {
    case 1:
        return {kStartWarm};
    case 2:
        return {kStartHot};
    case 3:
        return {kStartCold, kStartWarm, kStartHot};
    default:
        return {kStartCold};
    }
}

void CCampaignDlg::OnOK() {
    if (!UpdateData(true)) {
        return;
    }
    for (int i = 0; i < 5; ++i) {
        if (auto* radio = dynamic_cast<wxRadioButton*>(GetDlgItem(kKindIds[i]));
            radio != nullptr && radio->GetValue()) {
            m_nKind = i;
        }
    }
    if (IsStatic()) {
        const int32_t duration = DecimalValue(m_strDuration.utf8_string());
        if (duration < 1 || duration > kMaxDurationS) {
            MessageBox("Duration in seconds, from 1 to 86400", kMbStopOk);
            return;
        }
        m_nDurationS = static_cast<uint32_t>(duration);
        CDialogBase::OnOK();
        return;
    }
    const int32_t runs = DecimalValue(m_strRuns.utf8_string());
    const int32_t timeout = DecimalValue(m_strTimeout.utf8_string());
    if (runs < 1 || runs > 100000 || timeout < 0 || timeout > 86400) {
        MessageBox("Runs from 1, time-out in seconds (0: 3 x the criterion)", kMbStopOk);
        return;
    }
    m_nRuns = runs;
    m_nTimeoutS = static_cast<uint32_t>(timeout);
    CDialogBase::OnOK();
}
