#include "RecordsDlg.h"

#include "PlotDlg.h"
#include "ResourceIds.h"

#include <system_error>
#include <wx/listctrl.h>

CRecordsDlg::CRecordsDlg(wxWindow* parent, std::filesystem::path folder)
    : CDialogBase(IDD_RECORDS_DIALOG, parent), m_folder(std::move(folder)) {}

bool CRecordsDlg::OnInitDialog() {
    const bool result = CDialogBase::OnInitDialog();
    m_list = dynamic_cast<wxListCtrl*>(GetDlgItem(IDC_RECORDS_LIST));
    if (m_list == nullptr) {
        return false;
    }
    std::string error;
    m_records = ListCampaignRecords(m_folder, &error);
    wxString note = wxString::FromUTF8(m_folder.string());
    if (!error.empty()) {
        note += "\n" + wxString::FromUTF8(error);
    } else if (m_records.empty()) {
        note += "\nNo campaigns recorded here yet";
    }
    SetDlgItemText(IDC_RECORDS_FOLDER, note);
    // Column widths as shares of the list: the date and the result need the most.
    const int width = m_list->GetClientSize().x;
    const struct {
        const char* title;
        double share;
    } columns[] = {{"Date", 0.34}, {"Kind", 0.22}, {"Runs", 0.14}, {"Result", 0.30}};
    for (int i = 0; i < 4; ++i) {
        m_list->AppendColumn(columns[i].title, i == 2 ? wxLIST_FORMAT_RIGHT : wxLIST_FORMAT_LEFT,
                             static_cast<int>(width * columns[i].share));
    }
    for (size_t i = 0; i < m_records.size(); ++i) {
        const RecordCells cells = FormatRecord(m_records[i]);
        const long row = m_list->InsertItem(static_cast<long>(i), wxString::FromUTF8(cells.date));
        m_list->SetItem(row, 1, wxString::FromUTF8(cells.kind));
        m_list->SetItem(row, 2, wxString::FromUTF8(cells.runs));
        m_list->SetItem(row, 3, wxString::FromUTF8(cells.result));
    }
    if (!m_records.empty()) {
        Select(0);
    }
    GetDlgItem(kIdOk)->Enable(!m_records.empty());
    m_list->Bind(wxEVT_LIST_ITEM_ACTIVATED, &CRecordsDlg::OnActivated, this);
    return result;
}

void CRecordsDlg::Select(long row) {
    if (m_list != nullptr && row >= 0 && row < m_list->GetItemCount()) {
        m_list->SetItemState(row, wxLIST_STATE_SELECTED | wxLIST_STATE_FOCUSED,
                             wxLIST_STATE_SELECTED | wxLIST_STATE_FOCUSED);
        m_list->EnsureVisible(row);
    }
}

void CRecordsDlg::OnOK() {
    if (m_list != nullptr) {
        ShowPlot(m_list->GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED));
    }
}

void CRecordsDlg::OnActivated(wxListEvent& event) {
    ShowPlot(event.GetIndex());
}

void CRecordsDlg::ShowPlot(long row) {
    if (row < 0 || static_cast<size_t>(row) >= m_records.size()) {
        return;
    }
    const CampaignRecordInfo& record = m_records[static_cast<size_t>(row)];
    std::error_code ec;
    if (!std::filesystem::exists(record.svg, ec)) {
        MessageBox("No plot: " + wxString::FromUTF8(record.svg.filename().string()) + " is missing",
                   kMbStopOk);
        return;
    }
    CPlotDlg plot(this, record.svg);
    plot.DoModal();
}
