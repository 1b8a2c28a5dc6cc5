#pragma once
// CZenithprobeDlg: the main dialog (template 102). Its window shows the receiver's state; its
// display-free half (CReceiverMonitor) holds the port, the parser and the reader thread.
//
// Threads:
// - The user-interface thread runs every handler, the timers and the shutdown, and alone reads
//   and writes the members declared here, m_strLine included.
// - The reader thread never touches a window: each sentence reaches the user-interface thread as
//   a posted call (ShowLine), which assigns m_strLine and sets edit 1048. Posted calls, and the
//   restart-waiting threads to come, hold a lease of m_lifetime; ShutdownThreads and the
//   destructor close it, so nothing reaches the dialog after that.
#include "Dialog.h"
#include "LifetimeGuard.h"
#include "ReceiverMonitor.h"

#include <cstdint>
#include <functional>
#include <wx/icon.h>
#include <wx/stattext.h>

class CZenithprobeDlg : public CDialogBase, public CReceiverMonitor {
public:
    static constexpr uint32_t kTTFFTimerId = 100;
    static constexpr uint32_t kScreenTimerId = 101;
    static constexpr uint32_t kScreenPeriodMs = 1000;

    explicit CZenithprobeDlg(wxWindow* parent = nullptr);
    ~CZenithprobeDlg() override;

    // After the modal run: stops and joins the reader thread and closes the dialog to every
    // other thread and to calls still queued. Idempotent.
    void ShutdownThreads();

    // Exit without asking: timers stopped, port closed, dialog ended (the demo's timed run).
    void Shutdown();

    // Called on the user-interface thread after each new sentence was shown (tests, benchmark).
    void SetLineShownHook(std::function<void(const wxString& line)> hook);

    bool OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;
    void DoDataExchange(CDataExchange* pDX) override;

    void InitAll();

    // State for tests.
    const wxString& LastLine() const { return m_strLine; }
    uint32_t ScreenTimer() const { return m_nScreenTimer; }

protected:
    void ShowLine(std::string text) override;
    void ShowErrorMessage(const char* text) override;

    // The dialog's members (the restarts, the log and the refresh use them too).
    wxStaticText* m_stcBanner = nullptr;     // 1066, hidden; the banner is painted over it
    COwnerDrawButton* m_btnResult = nullptr; // 1062, hidden; test result indicator
    wxString m_strLine;                      // last sentence, edit 1048
    wxString m_strTTFF;                      // 1049
    // The image buttons are plain owner-drawn buttons until their images arrive.
    COwnerDrawButton* m_btnCold = nullptr;  // 1051
    COwnerDrawButton* m_btnHot = nullptr;   // 1054
    COwnerDrawButton* m_btnWarm = nullptr;  // 1053
    COwnerDrawButton* m_btnSetup = nullptr; // 1070
    wxIcon m_hIcon;

    uint32_t m_dwStartTick = 0; // ms; TTFF timing began
    int32_t m_bTTFFDone = 0;    // 1 = no TTFF measurement running
    // Receiver version for IDC_VERSION. Stays empty: receivers that announce a version do it in a
    // line that does not start with '$', and only '$' starts a line.
    wxString m_strVersion;
    int32_t m_nStartKind = 0;    // 1 cold, 2 warm, 3 hot, 0 none yet
    int32_t m_nTestResult = 0;   // -1 pending, 0 failed, 1 passed
    uint32_t m_nTTFFTimer = 0;   // timer 100 while running, else 0
    uint32_t m_nScreenTimer = 0; // timer 101 while running, else 0

private:
    void OnExit(wxCommandEvent& event);

    std::function<void(const wxString&)> m_lineShownHook;
    CLifetimeGuard m_lifetime;

    wxDECLARE_EVENT_TABLE();
};
