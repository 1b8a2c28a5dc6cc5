#pragma once
// CRecordsDlg: Options "Records..." (template 151): the record folder's campaigns, newest first
// (date, kind, runs, pass rate or a static campaign's CEP50). "Show plot" (or a double click)
// opens the chosen campaign's plot over the list; Close ends the dialog.
//
// Threads: the user-interface thread only.
#include "CampaignRecords.h"
#include "Dialog.h"

#include <filesystem>
#include <vector>

class wxListCtrl;
class wxListEvent;

class CRecordsDlg : public CDialogBase {
public:
    CRecordsDlg(wxWindow* parent, std::filesystem::path folder);

    bool OnInitDialog() override;
    void OnOK() override; // opens the selected campaign's plot; the list stays open

    const std::vector<CampaignRecordInfo>& Records() const { return m_records; }
    // Selects row (tests and the first row on opening).
    void Select(long row);

private:
    void OnActivated(wxListEvent& event);
    void ShowPlot(long row);

    std::filesystem::path m_folder;
    std::vector<CampaignRecordInfo> m_records;
    wxListCtrl* m_list = nullptr;
};
