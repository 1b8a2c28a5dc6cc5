#include "ZenithprobeDlg.h"

#include "Debug.h"
#include "IniFile.h"
#include "ResourceIds.h"
#include "Resources.h"
#include "UiThread.h"

wxBEGIN_EVENT_TABLE(CZenithprobeDlg, CDialogBase)
    EVT_MENU(MenuCommandId(IDM_EXIT), CZenithprobeDlg::OnExit)
    EVT_CHECKBOX(IDC_LOG, CZenithprobeDlg::OnLogCheck)
    EVT_BUTTON(IDC_SETUP, CZenithprobeDlg::OnSetupCommand)
    EVT_MENU(MenuCommandId(IDM_SETUP), CZenithprobeDlg::OnSetupCommand)
    EVT_MENU(MenuCommandId(IDM_CAMPAIGN), CZenithprobeDlg::OnCampaignCommand)
    EVT_MENU(MenuCommandId(IDM_RECORDS), CZenithprobeDlg::OnRecordsCommand)
    EVT_MENU(MenuCommandId(IDM_AUTO_REOPEN), CZenithprobeDlg::OnAutoReopenCommand)
wxEND_EVENT_TABLE()

CZenithprobeDlg::CZenithprobeDlg(wxWindow* parent)
    : CDialogBase(IDD_ZENITHPROBE_DIALOG, parent), m_hIcon(LoadResourceIcon(IDI_ZENITHPROBE)) {}

CZenithprobeDlg::~CZenithprobeDlg() {
    // The reader calls ShowLine, a member of this class: it must be gone before any member is.
    ShutdownThreads();
}

void CZenithprobeDlg::ShutdownThreads() {
    StopReaderThread();
    StopRestartWaiters();
    m_lifetime.Close();
}

void CZenithprobeDlg::SetLineShownHook(std::function<void(const wxString&)> hook) {
    m_bHookEveryLine = static_cast<bool>(hook);
    m_lineShownHook = std::move(hook);
}

void CZenithprobeDlg::DoDataExchange(CDataExchange* pDX) {
    CDialogBase::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_BANNER, m_stcBanner);
    DDX_Control(pDX, IDC_RESULT, m_btnResult);
    DDX_Text(pDX, IDC_NMEA_LINE, m_strLine);
    DDX_Text(pDX, IDC_TTFF, m_strTTFF);
    DDX_Check(pDX, IDC_LOG, m_bLog);
    DDX_Control(pDX, IDC_COLD, m_btnCold);
    DDX_Control(pDX, IDC_HOT, m_btnHot);
    DDX_Control(pDX, IDC_WARM, m_btnWarm);
    DDX_Control(pDX, IDC_SETUP, m_btnSetup);
}

bool CZenithprobeDlg::OnInitDialog() {
    CDialogBase::OnInitDialog();
    SetIcon(m_hIcon); // wx uses one icon for the large and the small one
    CentreOnScreen();
    InitAll();
    Raise();
    return true;
}

void CZenithprobeDlg::InitAll() {
    DebugPrint("CZenithprobeDlg::InitAll() Entering!\r\n");
    // g_csParser is a process-wide mutex, ready before any thread starts.
    LoadSettings();
    DebugPrint("CZenithprobeDlg::InitAll() Before InitSerial()!\r\n");
    InitSerial();
    DebugPrint("CZenithprobeDlg::InitAll() After InitSerial()!\r\n");
    CreateStripsAndPlot();
    m_bTTFFDone = 1;
    m_strTTFF = "0";
    UpdateData(false);
    m_nTestResult = -1;
    m_receive.ResetGarbage();
    BindRestartEvents();
    if (Identifying()) {
        m_bStartupRestartPending = true; // RECEIVER=auto: after the identification
    } else {
        StartupRestart(); // START_ACT: its commands go out before the reader starts
    }
    PlaceResultIndicator();
    m_strVersion.clear();
    StartReaderThread();
    LoadButtonImages();
    CreateSoftKeyBar(IDR_MENUBAR);
    BindMultiGnssMenu();
    BindReceiverMenu();
    if (SoftKeyBar() != nullptr) {
        for (size_t key = 0; key < SoftKeyBar()->KeyCount(); ++key) {
            wxMenu* popup = SoftKeyBar()->Popup(key);
            if (popup != nullptr && popup->FindItem(MenuCommandId(IDM_AUTO_REOPEN)) != nullptr) {
                popup->Check(MenuCommandId(IDM_AUTO_REOPEN), AutoReopen());
            }
        }
    }
    m_nScreenTimer = SetTimer(kScreenTimerId, m_nScreenPeriodMs);
    DebugPrint("CZenithprobeDlg::InitAll() leaving!\r\n");
}

void CZenithprobeDlg::ShowLine(std::string text) {
    // Reader thread: the sentence waits for the user-interface thread, which shows the latest.
    // The first of a batch posts one call; while more follow, a 50 ms ticker takes them, so the
    // box changes at most 20 times a second and the user-interface thread is not woken per
    // sentence (80 times a second at 10 Hz), nor 20 times a second while nothing comes.
    bool post = false;
    {
        std::lock_guard lock(m_lineMutex);
        if (m_bHookEveryLine.load()) {
            m_hookLines.push_back(text);
        }
        m_pendingLine = std::move(text);
        m_bLineWaiting = true;
        post = !m_bShowScheduled;
        m_bShowScheduled = true;
    }
    if (post) {
        PostToUi(m_lifetime.Token(), [this] {
            TakeWaitingLine(false);
            m_lineTicker.Start(kLinePeriodMs, [this] {
                if (!TakeWaitingLine(true)) {
                    m_lineTicker.Stop(); // the next sentence posts again
                }
            });
        });
    }
}

bool CZenithprobeDlg::TakeWaitingLine(bool tick) {
    std::string text;
    std::vector<std::string> seen;
    {
        std::lock_guard lock(m_lineMutex);
        // Lines read after a close wait until its note is on the screen, to come after it.
        if (m_bNotePending) {
            return true;
        }
        if (!m_bLineWaiting) {
            // Under the lock: a sentence from now on posts again. Only the ticker lets go, as it
            // stops; a refresh that finds nothing leaves it running.
            m_bShowScheduled = m_bShowScheduled && !tick;
            return false;
        }
        m_bLineWaiting = false;
        text.swap(m_pendingLine);
        seen.swap(m_hookLines);
    }
    m_bPortClosedShown = false;
    m_strLine = wxString::FromUTF8(text);
    SetDlgItemText(IDC_NMEA_LINE, m_strLine);
    for (const std::string& line : seen) {
        m_lineShownHook(wxString::FromUTF8(line));
    }
    return true;
}

void CZenithprobeDlg::ShowPortClosed(PortCloseReason, std::string note) {
    // Reader thread, like ShowLine: the note takes the last sentence's place, so a sentence read
    // before the close and not shown yet must not come back over it.
    std::vector<std::string> seen;
    {
        std::lock_guard lock(m_lineMutex);
        m_bLineWaiting = false;
        m_pendingLine.clear();
        seen.swap(m_hookLines);
        m_bNotePending = true;
    }
    PostToUi(m_lifetime.Token(), [this, note = std::move(note), seen = std::move(seen)] {
        for (const std::string& line : seen) {
            m_lineShownHook(wxString::FromUTF8(line));
        }
        m_bPortClosedShown = true;
        m_strLine = wxString::FromUTF8(note);
        SetDlgItemText(IDC_NMEA_LINE, m_strLine);
        SetDlgItemText(IDC_GSA_FIX_MODE, FixModeText(1));
        if (m_lineShownHook) {
            m_lineShownHook(m_strLine);
        }
        std::lock_guard lock(m_lineMutex);
        m_bNotePending = false;
    });
}

void CZenithprobeDlg::OnAutoReopenCommand(wxCommandEvent& event) {
    SetAutoReopen(event.IsChecked());
    IniWriteString("Zenithprobe", "AUTO_REOPEN", event.IsChecked() ? "1" : "0",
                   m_strAppDir / "Zenithprobe.ini");
}

void CZenithprobeDlg::ShowErrorMessage(const char* text) {
    MessageBox(wxString::FromUTF8(text), kMbStopOk);
}

void CZenithprobeDlg::OnOK() {
    OnCancel();
}

void CZenithprobeDlg::OnExit(wxCommandEvent&) {
    OnCancel();
}

void CZenithprobeDlg::OnCancel() {
    if (MessageBox("Press OK to exit Zenithprobe!", kMbQuestionOkCancel) != kIdOk) {
        return;
    }
    Shutdown();
}

void CZenithprobeDlg::Shutdown() {
    if (m_nTTFFTimer != 0) {
        KillTimer(m_nTTFFTimer);
        m_nTTFFTimer = 0;
    }
    if (m_nScreenTimer != 0) {
        KillTimer(m_nScreenTimer);
        m_nScreenTimer = 0;
    }
    m_lineTicker.Stop();
    StopCampaign(); // the record keeps the runs finished so far
    m_serial.Close();
    if (m_bLog.load() == 1) {
        m_fileLog.Close(); // flush and close; the reader, still running, writes no more
    }
    EndDialog(kIdCancel);
}
