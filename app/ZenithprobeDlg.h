#pragma once
// CZenithprobeDlg: the main dialog (template 102). Its window shows the receiver's state; its
// display-free half (CReceiverMonitor) holds the port, the parser and the reader thread.
//
// Threads:
// - The user-interface thread runs every handler, the timers and the shutdown, and alone reads
//   and writes the members declared here, m_strLine included.
// - The reader thread never touches a window: each sentence replaces the one waiting under
//   m_lineMutex (ShowLine); a posted call, then a ticker every kLinePeriodMs while sentences
//   come, makes the latest m_strLine and puts it into edit 1048. The note that the port was
//   closed (ShowPortClosed) drops the waiting sentence and goes in at once as a posted call, and
//   also sets the fix field. Posted calls, and the restart-waiting threads, hold a lease of
//   m_lifetime; ShutdownThreads and the destructor close it (and join the waiting threads), so
//   nothing reaches the dialog after that.
#include "CaptionLabel.h"
#include "Dialog.h"
#include "HistogramCtrl.h"
#include "ImageButton.h"
#include "LifetimeGuard.h"
#include "ReceiverMonitor.h"
#include "ResultFace.h"
#include "SkyPlotWnd.h"
#include "TtffJudge.h"
#include "UiThread.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>
#include <wx/icon.h>
#include <wx/stattext.h>

class CZenithprobeDlg : public CDialogBase, public CReceiverMonitor {
public:
    static constexpr uint32_t kTTFFTimerId = 100;
    static constexpr uint32_t kScreenTimerId = 101;
    static constexpr uint32_t kScreenPeriodMs = 1000;
    // Edit 1048 takes the latest sentence at most this often: each new text is a relayout, and a
    // receiver at 10 Hz sends dozens of sentences a second, more than anyone can read.
    static constexpr uint32_t kLinePeriodMs = 50;
    static constexpr uint32_t kTTFFPeriodMs = 100;
    static constexpr uint32_t kRestartPollMs = 100; // fix-mode poll of a restart-waiting thread

    explicit CZenithprobeDlg(wxWindow* parent = nullptr);
    ~CZenithprobeDlg() override;

    // After the modal run: stops and joins the reader thread and closes the dialog to every
    // other thread and to calls still queued. Idempotent.
    void ShutdownThreads();

    // Exit without asking: timers stopped, port closed, dialog ended (the demo's timed run).
    void Shutdown();

    // Called on the user-interface thread for each new sentence, in order, when the latest of
    // them becomes m_strLine and edit 1048's text (at most once per kLinePeriodMs), and for the
    // port-closed note (tests, benchmark). Set it before the dialog runs.
    void SetLineShownHook(std::function<void(const wxString& line)> hook);
    // Tests: a shorter refresh period than the program's kScreenPeriodMs, so that a test need not
    // wait whole seconds for the screen. Call before the dialog runs.
    void SetScreenPeriod(uint32_t ms) { m_nScreenPeriodMs = ms; }

    bool OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;
    void DoDataExchange(CDataExchange* pDX) override;

    void InitAll();

    // Restarts (buttons 1051/1053/1054, the Options menu, START_ACT, the indicator): send the
    // SONY and SiRF commands and start a restart-waiting thread, which polls the fix mode every
    // 100 ms and calls Restart once it reads 1. The waiting threads are joined by
    // ShutdownThreads (StopRestartWaiters); they touch the dialog only under a lease of
    // m_lifetime and the parser only under g_csParser.
    void ColdStart();
    void WarmStart();
    void HotStart();
    // Timer 100 (TickTTFF) and 101 (the refresh test).
    void OnTimer(uint32_t id) override;
    // Writes the fields from a copy of the parser; ends a measurement on a 2D or 3D fix.
    void RefreshScreen();
    // Restart-waiting threads still polling (tests).
    size_t RestartWaitersPolling() const;
    // Button 1070 and "Setup...": the setup dialog, modally; takes its port and baud rate
    // (ZenithprobeDlgSetup.cpp).
    void OnSetup();

    // Options "Campaign...": the campaign dialog, then StartCampaignRuns; "Stop campaign" while
    // one runs (ZenithprobeDlgCampaign.cpp).
    void OnCampaign();
    // Starts a campaign of cycles x kinds runs recorded in the program's folder; false (after a
    // message box) when the record cannot be created.
    bool StartCampaignRuns(const std::vector<int32_t>& kinds, int32_t cycles, uint32_t timeoutS);
    // The campaign's summary box; "Show plot" opens svgFile's plot (none offered when empty).
    void ShowCampaignSummary(const wxString& text, bool passed,
                             const std::filesystem::path& svgFile);
    // Starts a static run of durationS seconds recorded in the program's folder; false (after a
    // message box) when the record cannot be created.
    bool StartStaticRun(uint32_t durationS);
    // Tests: a shorter settle time than the campaign's default.
    void SetCampaignSettle(uint32_t seconds) { m_nCampaignSettleS = seconds; }

    // State for tests.
    const wxString& LastLine() const { return m_strLine; }
    uint32_t ScreenTimer() const { return m_nScreenTimer; }

protected:
    void ShowLine(std::string text) override;
    void ShowErrorMessage(const char* text) override;
    void CampaignNotify(CampaignNotice notice) override;
    void ShowPortClosed(PortCloseReason reason, std::string note) override;
    void IdentifyNotify(ReceiverIdentity identity) override;

    // The dialog's members (the restarts, the log and the refresh use them too).
    wxStaticText* m_stcBanner = nullptr;     // 1066, hidden; the banner is painted over it
    wxBitmap m_bmpBanner;                    // decoded at the first paint
    CResultIndicator* m_btnResult = nullptr; // 1062, hidden; test result indicator
    wxString m_strLine;                      // last sentence, edit 1048
    wxString m_strTTFF;                      // 1049
    CImageButton* m_btnCold = nullptr;       // 1051
    CImageButton* m_btnHot = nullptr;        // 1054
    CImageButton* m_btnWarm = nullptr;       // 1053
    CImageButton* m_btnSetup = nullptr;      // 1070
    wxIcon m_hIcon;
    CCaptionLabel m_label; // never given a window

    // Written by Restart on a restart-waiting thread (start tick first, done flag last), read by
    // the user-interface thread.
    std::atomic<uint32_t> m_dwStartTick{0}; // ms; TTFF timing began
    std::atomic<int32_t> m_bTTFFDone{0};    // 1 = no TTFF measurement running
    // Receiver version for IDC_VERSION: the identification's text (RECEIVER set); otherwise it
    // stays empty, as receivers that announce a version do it in a line that does not start with
    // '$', and only '$' starts a line.
    wxString m_strVersion;
    int32_t m_nStartKind = 0; // 1 cold, 2 warm, 3 hot, 0 none yet
    // -1 pending, 0 failed, 1 passed; Restart writes it too.
    std::atomic<int32_t> m_nTestResult{0};
    uint32_t m_nTTFFTimer = 0;   // timer 100 while running, else 0
    uint32_t m_nScreenTimer = 0; // timer 101 while running, else 0
    CUiTicker m_lineTicker;      // the sentence box's kLinePeriodMs ticks while sentences come
    uint32_t m_nScreenPeriodMs = kScreenPeriodMs;
    // RMC count at the last refresh; -1, which no count takes, makes the first tick refresh.
    int32_t m_nLastRmcCount = -1;
    // Edit 1048 shows the port-closed note: the parser's state is stale, so the fix field says
    // "None" and no fix ends a TTFF measurement, until the next sentence.
    bool m_bPortClosedShown = false;

    // Restarts and TTFF (ZenithprobeDlgRestart.cpp).
    void BindRestartEvents();
    void StartupRestart(); // the restart START_ACT names, if any
    void SendRestart(int32_t kind);
    void Restart(); // restart-waiting thread
    void TickTTFF();
    void StopTTFF();
    uint32_t GetTimeCriterion() const;
    void ApplyTtffOutcome(const TtffState& state, const TtffOutcome& outcome);
    void StopRestartWaiters(); // joins every restart-waiting thread; no new ones start after

    // Signal strips, sky plot, image buttons, result face and banner (ZenithprobeDlgWidgets.cpp).
    // The windows are the dialog's children: wx destroys them with it.
    COwnerDrawButton* CreateOwnerDrawButton(int id, const wxPoint& pos,
                                            const wxSize& size) override;
    void CreateStripsAndPlot();  // the twelve strips from placeholder 1024, the plot over 1065
    void PlaceResultIndicator(); // over the sky plot, hidden
    void LoadButtonImages();
    void UpdateHistogram();
    // Multi-GNSS mode (ZenithprobeDlgMultiGnss.cpp): the Options check item, and the strips of
    // every constellation from a snapshot.
    void BindMultiGnssMenu();
    void UpdateGnssHistogram(const CNmeaParser& snapshot);
    // Receiver families (ZenithprobeDlgReceiver.cpp): the radio items of Options > Receiver.
    void BindReceiverMenu();
    // START_ACT waits for the identification that RECEIVER=auto starts with the port.
    bool m_bStartupRestartPending = false;
    void AssignUsedRows();
    int32_t FindHistogramRow(int32_t prn) const;
    void OnDrawItem(CDrawItemEvent& event);
    void OnPaint(wxPaintEvent& event);
    CHistogramCtrl* m_bars[12] = {};
    CSkyPlotWnd* m_plot = nullptr;
    int32_t histogramPrn[12] = {}; // PRN of row r; 0 = free
    int32_t histogramPos = 0;      // next row for a satellite without one

private:
    void OnExit(wxCommandEvent& event);
    void OnLogCheck(wxCommandEvent& event); // check box 1067: NMEA log (ZenithprobeDlgLog.cpp)
    void OnResultButton(wxCommandEvent& event);
    void OnSetupCommand(wxCommandEvent& event);
    void OnAutoReopenCommand(wxCommandEvent& event); // "Reconnect automatically": AUTO_REOPEN
    void OnLButtonUp(wxMouseEvent& event);
    void OnCampaignCommand(wxCommandEvent& event);
    void OnRecordsCommand(wxCommandEvent& event); // "Records...": the record folder's campaigns
    void SetCampaignMenuLabel(const wxString& label);
    void StartRestartWaiter();
    void RestartPostProcessing(CLifetimeToken token, std::shared_ptr<std::atomic<bool>> done);

    struct RestartWaiter {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done; // set as the thread's last act
    };
    std::vector<RestartWaiter> m_waiters; // user-interface thread
    std::mutex m_waitMutex;               // guards m_bStopWaiters
    std::condition_variable m_waitStop;
    bool m_bStopWaiters = false;

    uint32_t m_nCampaignSettleS = 3;
    std::function<void(const wxString&)> m_lineShownHook;
    // The latest sentence from the reader, not yet shown, and (with a hook) every sentence since
    // the last tick; m_lineMutex guards all five. While the port-closed note is on its way, new
    // sentences wait behind it (m_bNotePending).
    std::mutex m_lineMutex;
    std::string m_pendingLine;
    std::vector<std::string> m_hookLines;
    bool m_bLineWaiting = false;
    bool m_bNotePending = false;
    bool m_bShowScheduled = false; // a posted call or the ticker will take the next sentence
    std::atomic<bool> m_bHookEveryLine{false};
    // User-interface thread: the waiting sentence becomes m_strLine and edit 1048's text. False
    // when none was waiting; from the ticker (tick) that also ends the schedule.
    bool TakeWaitingLine(bool tick);
    CLifetimeGuard m_lifetime;

    wxDECLARE_EVENT_TABLE();
};
