#include "SetupDlg.h"

#include "Debug.h"
#include "IniFile.h"
#include "ResourceBitmaps.h"
#include "SetupLogic.h"
#include "UiThread.h"

#include <mutex>
#include <wx/dcclient.h>

namespace {

// Text of the user interface as the 8-bit form the port and the INI store take.
std::string ToBuffer(const wxString& text) {
    return CutToSetupBuffer(text.utf8_string());
}

} // namespace

wxBEGIN_EVENT_TABLE(CSetupDlg, CDialogBase)
    EVT_RADIOBUTTON(IDC_SETUP_SONY, CSetupDlg::OnSonyClicked)
    EVT_RADIOBUTTON(IDC_SETUP_SIRF, CSetupDlg::OnSirfClicked)
    EVT_BUTTON(IDC_SETUP_SEND, CSetupDlg::OnSendClicked)
    EVT_BUTTON(IDC_SETUP_SET, CSetupDlg::OnSetClicked)
    EVT_BUTTON(IDC_SETUP_AUTO, CSetupDlg::OnAutoClicked)
    EVT_BUTTON(IDC_SETUP_IDENTIFY, CSetupDlg::OnIdentifyClicked)
    EVT_BUTTON(IDC_SETUP_CLOSE, CSetupDlg::OnCloseButton)
    EVT_CHECKBOX(IDC_SETUP_GGA, CSetupDlg::OnGGAClicked)
    EVT_COMBOBOX_DROPDOWN(IDC_SETUP_PORT, CSetupDlg::OnPortDropDown)
    EVT_PAINT(CSetupDlg::OnPaint)
wxEND_EVENT_TABLE()

CSetupDlg::CSetupDlg(wxWindow* parent) : CDialogBase(IDD_SETUP_DIALOG, parent) {}

CSetupDlg::~CSetupDlg() {
    StopSearch();
    m_lifetime.Close(); // calls still queued for the search never reach this object
}

void CSetupDlg::SetContext(CSharedSerial* serial, const wxString& port, int32_t baudRate,
                           CNmeaParser* parser, const std::filesystem::path& folder) {
    m_pSerial = serial;
    m_pParser = parser;
    m_strPort = port;
    m_strBaud = wxString::Format("%d", baudRate);
    m_strFolder = folder;
}

void CSetupDlg::SetReceiverHooks(std::function<void()> identify, std::function<void()> portOpened,
                                 std::function<std::string()> line) {
    m_identify = std::move(identify);
    m_portOpened = std::move(portOpened);
    m_receiverLine = std::move(line);
}

int32_t CSetupDlg::GetBaudRate() const {
    return DecimalValue(m_strBaud.utf8_string());
}

void CSetupDlg::DoDataExchange(CDataExchange* pDX) {
    CDialogBase::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_SETUP_BAUD, m_cbBaud);
    DDX_Control(pDX, IDC_SETUP_VTG, m_chkVTG);
    DDX_Control(pDX, IDC_SETUP_RMC, m_chkRMC);
    DDX_Control(pDX, IDC_SETUP_GSV, m_chkGSV);
    DDX_Control(pDX, IDC_SETUP_GSA, m_chkGSA);
    DDX_Control(pDX, IDC_SETUP_GLL, m_chkGLL);
    DDX_Control(pDX, IDC_SETUP_GGA, m_chkGGA);
    DDX_Control(pDX, IDC_SETUP_SONY, m_rbSony);
    DDX_Control(pDX, IDC_SETUP_BANNER, m_stcBanner);
    DDX_Control(pDX, IDC_SETUP_COMMAND, m_cbCommand);
    DDX_Control(pDX, IDC_SETUP_CLOSE, m_btnClose);
    DDX_Text(pDX, IDC_SETUP_BAUD, m_strBaud);
    DDX_Text(pDX, IDC_SETUP_PORT, m_strPort);
    if (pDX->m_bSaveAndValidate) {
        // A listed device shows a short name; the port is its path.
        m_strPort = wxString::FromUTF8(PortOfShownName(m_devices, m_strPort.utf8_string()));
    }
    DDX_Text(pDX, IDC_SETUP_COMMAND, m_strCommand);
    DDX_Control(pDX, IDC_SETUP_PORT, m_cbPort);
}

COwnerDrawButton* CSetupDlg::CreateOwnerDrawButton(int id, const wxPoint& pos, const wxSize& size) {
    if (id == IDC_SETUP_CLOSE) {
        return new CImageButton(this, id, pos, size);
    }
    return CDialogBase::CreateOwnerDrawButton(id, pos, size);
}

bool CSetupDlg::OnInitDialog() {
    CDialogBase::OnInitDialog(); // binds the controls and shows the port and the baud rate
    CentreOnScreen();
    UpdateData(false);
    if (m_btnClose != nullptr) {
        m_btnClose->LoadBitmaps(138, 139, 0);
        m_btnClose->SetDrawFocus(false);
    }
    if (m_rbSony != nullptr) {
        m_rbSony->SetValue(true);
    }
    LoadCommands("SONY");
    FillPortList();
    if (!m_identify) {
        if (wxWindow* button = GetDlgItem(IDC_SETUP_IDENTIFY)) {
            button->Enable(false);
        }
    }
    RefreshReceiverLine();
    m_nRefreshTimer = SetTimer(kRefreshTimerId, kRefreshPeriodMs);
    m_hStopEvent.Reset();
    m_hStoppedEvent.Reset();
    if (m_cbCommand != nullptr) {
        m_cbCommand->Bind(wxEVT_SET_FOCUS, &CSetupDlg::OnCommandSetFocus, this);
        m_cbCommand->Bind(wxEVT_KILL_FOCUS, &CSetupDlg::OnCommandKillFocus, this);
    }
    return true;
}

void CSetupDlg::LoadCommands(const char* section) {
    if (m_cbCommand == nullptr) {
        return;
    }
    for (unsigned n = m_cbCommand->GetCount(); n > 0; --n) {
        m_cbCommand->Delete(0);
    }
    for (const std::string& command : LoadCommandValues(section, IniFile())) {
        m_cbCommand->Append(wxString::FromUTF8(command));
    }
    if (m_cbCommand->GetCount() > 0) {
        m_cbCommand->SetSelection(0); // the sorted list's first, not necessarily key 1
    } else {
        m_cbCommand->ChangeValue(wxEmptyString);
    }
}

void CSetupDlg::FillPortList() {
    if (m_cbPort == nullptr) {
        return;
    }
    // Emptying the list keeps the typed text, as the handheld's combo box does.
    const wxString text = m_cbPort->GetValue();
    for (unsigned n = m_cbPort->GetCount(); n > 0; --n) {
        m_cbPort->Delete(0);
    }
    for (int i = 0; i < kSearchPorts; ++i) {
        m_cbPort->Append(wxString::Format("COM%d", i));
    }
    m_devices = ListSerialDevices(SerialDeviceFolder());
    for (const SerialDevice& device : m_devices) {
        m_cbPort->Append(wxString::FromUTF8(device.shown));
    }
    m_cbPort->ChangeValue(wxString::FromUTF8(ShownNameOfPort(m_devices, text.utf8_string())));
}

void CSetupDlg::OpenAndSetup() {
    if (m_pSerial == nullptr) {
        return;
    }
    if (const int32_t err = m_pSerial->Open(ToBuffer(m_strPort) + ":"); err != 0) {
        const std::string reason = OpenFailureReason(err);
        DebugPrint("CSetupDlg::OpenAndSetup() %s!\r\n", reason.c_str());
        MessageBox(wxString::FromUTF8("Unable to open COM-port\n" + reason), kMbStopOk);
    }
    const int32_t baud = DecimalValue(m_strBaud.utf8_string());
    if (m_pSerial->Setup(static_cast<uint32_t>(baud), 8, 0, 0) != 0 && m_pSerial->IsPortOpen()) {
        MessageBox("Unable to setup COM-port", kMbStopOk);
    }
}

void CSetupDlg::OnSet() {
    if (m_bSearchRunning.load()) {
        return; // the search has the port (the button is disabled meanwhile)
    }
    UpdateData(true);
    if (m_pSerial != nullptr && m_pSerial->IsPortOpen()) {
        m_pSerial->Close();
    }
    OpenAndSetup();
    // Saved whatever the port did, so that a port that is absent today is tried next start.
    IniWriteString("Zenithprobe", "COM_PORT", ToBuffer(m_strPort).c_str(), IniFile());
    IniWriteString("Zenithprobe", "BAUD_RATE", ToBuffer(m_strBaud).c_str(), IniFile());
    if (m_portOpened && m_pSerial != nullptr && m_pSerial->IsPortOpen()) {
        m_portOpened();
        RefreshReceiverLine();
    }
}

void CSetupDlg::OnSend() {
    if (m_bSearchRunning.load() || m_cbCommand == nullptr) {
        return;
    }
    UpdateData(true);
    if (m_pSerial != nullptr && !m_pSerial->IsPortOpen()) {
        OpenAndSetup();
    }
    if (m_pSerial != nullptr && m_pSerial->IsPortOpen()) {
        // Sent as typed: the user gives the whole line, checksum included.
        const std::string line = ToBuffer(m_strCommand + "\r\n");
        m_pSerial->Write(line.data(), static_cast<uint32_t>(line.size()));
    }
    // The history, whether or not anything went out.
    const wxString typed = m_cbCommand->GetValue();
    std::vector<std::string> entries;
    for (unsigned i = 0; i < m_cbCommand->GetCount(); ++i) {
        entries.push_back(m_cbCommand->GetString(i).utf8_string());
    }
    const char* section = (m_rbSony != nullptr && m_rbSony->GetValue()) ? "SONY" : "SIRF";
    if (RememberCommand(entries, typed.utf8_string(), section, IniFile()) != 0) {
        m_cbCommand->Append(typed);
        m_cbCommand->ChangeValue(typed);
    }
}

void CSetupDlg::RefreshCounters() {
    int32_t counts[4] = {};
    double vdop = 0;
    double hdop = 0;
    double pdop = 0;
    if (m_pParser != nullptr) {
        std::lock_guard lock(g_csParser);
        counts[0] = m_pParser->m_nGGACount;
        counts[1] = m_pParser->m_nGSACount;
        counts[2] = m_pParser->m_nRMCCount;
        counts[3] = m_pParser->m_nGSVCount;
        vdop = m_pParser->m_dGSAVdop;
        hdop = m_pParser->m_dGSAHdop;
        pdop = m_pParser->m_dGSAPdop;
    }
    wxCheckBox* const boxes[4] = {m_chkGGA, m_chkGSA, m_chkRMC, m_chkGSV};
    const int labels[4] = {IDC_SETUP_GGA_COUNT, IDC_SETUP_GSA_COUNT, IDC_SETUP_RMC_COUNT,
                           IDC_SETUP_GSV_COUNT};
    int64_t total = 0;
    for (int k = 0; k < 4; ++k) {
        total += counts[k];
        if (counts[k] == 0) {
            continue; // a count reset by the search keeps showing its last number
        }
        if (boxes[k] != nullptr) {
            boxes[k]->SetValue(true);
            boxes[k]->Enable(true);
        }
        SetDlgItemText(labels[k], wxString::Format("%d", counts[k]));
    }
    SetDlgItemText(IDC_SETUP_TOTAL, wxString::Format("%lld", static_cast<long long>(total)));
    SetDlgItemText(IDC_SETUP_VDOP, wxString::Format("%.02f", vdop));
    SetDlgItemText(IDC_SETUP_HDOP, wxString::Format("%.02f", hdop));
    SetDlgItemText(IDC_SETUP_PDOP, wxString::Format("%.02f", pdop));
}

void CSetupDlg::RefreshReceiverLine() {
    if (!m_receiverLine) {
        return;
    }
    std::string text = m_receiverLine();
    if (text == m_strReceiverLine) {
        return; // unchanged: no flicker once a second
    }
    m_strReceiverLine = std::move(text);
    if (auto* line = dynamic_cast<wxStaticText*>(GetDlgItem(IDC_SETUP_RECEIVER))) {
        line->SetLabel(wxString::FromUTF8(m_strReceiverLine));
        // A long identity wraps at the line's width instead of running off the dialog.
        line->Wrap(line->GetSize().x);
    }
}

void CSetupDlg::OnTimer(uint32_t id) {
    if (id == kRefreshTimerId) {
        RefreshCounters();
        RefreshReceiverLine();
    }
    CDialogBase::OnTimer(id);
}

void CSetupDlg::OnAuto() {
    if (m_bSearchRunning.load() || m_pSerial == nullptr || m_pParser == nullptr) {
        return; // one search at a time
    }
    if (m_hSearchThread.joinable()) {
        m_hSearchThread.join(); // the last search has ended: it only posts, never waits
    }
    m_hStopEvent.Reset(); // a stop request that came after the last search ended
    m_hStoppedEvent.Reset();
    m_nSearchAt = -1;
    m_searchCandidates = SearchCandidates(m_devices);
    EnableSearchButtons(false);
    m_bSearchRunning = true;
    m_hSearchThread = std::thread(&CSetupDlg::SearchThreadProc, this, m_lifetime.Token());
}

void CSetupDlg::SearchThreadProc(CLifetimeToken token) {
    SearchPortAndBaud(token);
    m_bSearchRunning = false;
    PostToUi(token, [this] { EnableSearchButtons(true); });
}

void CSetupDlg::SearchPortAndBaud(const CLifetimeToken& token) {
    int32_t base = 0;
    {
        std::lock_guard lock(g_csParser);
        m_pParser->Reset();
        base = m_pParser->m_nRMCCount;
    }
    const uint32_t waitMs = m_nSearchWaitMs.load();
    for (size_t at = 0; at < m_searchCandidates.size(); ++at) {
        const SearchCandidate& c = m_searchCandidates[at];
        m_nSearchAt = static_cast<int>(at);
        PostToUi(token, [this, c] { SelectCandidate(c); });
        m_pSerial->Close();
        if (m_pSerial->Open(c.port + ":") != 0) {
            continue;
        }
        if (m_pSerial->Setup(c.baud, 8, 0, 0) != 0) {
            continue;
        }
        for (int k = 0; k < kSearchWaits; ++k) {
            if (m_hStopEvent.Wait(waitMs)) {
                m_hStoppedEvent.Set();
                return;
            }
            int32_t count = 0;
            {
                std::lock_guard lock(g_csParser);
                count = m_pParser->m_nRMCCount;
            }
            if (count != base) {
                m_strPort = wxString::FromUTF8(c.port); // the user-interface thread waits
                return;
            }
        }
    }
}

void CSetupDlg::SelectCandidate(const SearchCandidate& candidate) {
    if (m_cbBaud != nullptr) {
        const wxString baud = wxString::Format("%u", candidate.baud);
        const int at = m_cbBaud->FindString(baud, true);
        if (at != wxNOT_FOUND) {
            m_cbBaud->SetSelection(at);
        } else {
            m_cbBaud->ChangeValue(baud); // the faster rates are not in the resource's list
        }
    }
    if (m_cbPort != nullptr) {
        const int at = m_cbPort->FindString(
            wxString::FromUTF8(ShownNameOfPort(m_devices, candidate.port)), true);
        if (at != wxNOT_FOUND) {
            m_cbPort->SetSelection(at);
        }
    }
}

void CSetupDlg::EnableSearchButtons(bool enable) {
    for (int id : {IDC_SETUP_AUTO, IDC_SETUP_SET, IDC_SETUP_SEND, IDC_SETUP_IDENTIFY}) {
        if (wxWindow* button = GetDlgItem(id)) {
            button->Enable(enable && (id != IDC_SETUP_IDENTIFY || m_identify));
        }
    }
}

void CSetupDlg::StopSearch() {
    if (!m_hSearchThread.joinable()) {
        return;
    }
    if (m_bSearchRunning.load()) {
        m_hStopEvent.Set();
    }
    // Ends on the stopped answer or on the search's own end; the search never waits for us.
    m_hSearchThread.join();
}

void CSetupDlg::OnOK() {
    if (m_nRefreshTimer != 0) {
        KillTimer(m_nRefreshTimer);
        m_nRefreshTimer = 0;
    }
    const bool searching = m_hSearchThread.joinable() && m_bSearchRunning.load();
    StopSearch();
    if (searching && m_nSearchAt.load() >= 0) {
        // Its posted selections may still be queued: show the last candidate now, so that the
        // transfer below takes what the search left.
        SelectCandidate(m_searchCandidates[static_cast<size_t>(m_nSearchAt.load())]);
        EnableSearchButtons(true);
    }
    CDialogBase::OnOK();
}

void CSetupDlg::OnCancel() {
    OnOK();
}

void CSetupDlg::OnSonyClicked(wxCommandEvent&) {
    LoadCommands("SONY");
}

void CSetupDlg::OnSirfClicked(wxCommandEvent&) {
    LoadCommands("SIRF");
}

void CSetupDlg::OnSendClicked(wxCommandEvent&) {
    OnSend();
}

void CSetupDlg::OnSetClicked(wxCommandEvent&) {
    OnSet();
}

void CSetupDlg::OnAutoClicked(wxCommandEvent&) {
    OnAuto();
}

void CSetupDlg::OnIdentifyClicked(wxCommandEvent&) {
    if (m_bSearchRunning.load() || !m_identify) {
        return; // the search has the port
    }
    m_identify();
    RefreshReceiverLine();
}

void CSetupDlg::OnGGAClicked(wxCommandEvent&) {
    // The next refresh checks and enables it again while GGA sentences are counted.
    if (m_chkGGA != nullptr) {
        m_chkGGA->Enable(false);
    }
}

void CSetupDlg::OnCloseButton(wxCommandEvent&) {
    OnOK();
}

void CSetupDlg::OnPortDropDown(wxCommandEvent& event) {
    event.Skip(); // the list is built once, at initialisation
}

// A desktop has a keyboard: the handheld's soft input panel has nothing to show or hide.
void CSetupDlg::OnCommandSetFocus(wxFocusEvent& event) {
    event.Skip();
}

void CSetupDlg::OnCommandKillFocus(wxFocusEvent& event) {
    event.Skip();
}

void CSetupDlg::OnPaint(wxPaintEvent&) {
    wxPaintDC dc(this);
    PaintBanner(dc, m_stcBanner, m_bmpBanner);
}
