// The main dialog's restart commands, TTFF measurement, test cycle and screen refresh.
#include "Debug.h"
#include "ResourceIds.h"
#include "ScreenFormat.h"
#include "Tick.h"
#include "TtffJudge.h"
#include "UiThread.h"
#include "ZenithprobeDlg.h"

#include <pthread.h>

void CZenithprobeDlg::BindRestartEvents() {
    Bind(
        wxEVT_BUTTON, [this](wxCommandEvent&) { ColdStart(); }, IDC_COLD);
    Bind(
        wxEVT_BUTTON, [this](wxCommandEvent&) { WarmStart(); }, IDC_WARM);
    Bind(
        wxEVT_BUTTON, [this](wxCommandEvent&) { HotStart(); }, IDC_HOT);
    Bind(
        wxEVT_MENU, [this](wxCommandEvent&) { ColdStart(); }, MenuCommandId(IDM_COLD_START));
    Bind(
        wxEVT_MENU, [this](wxCommandEvent&) { WarmStart(); }, MenuCommandId(IDM_WARM_START));
    Bind(
        wxEVT_MENU, [this](wxCommandEvent&) { HotStart(); }, MenuCommandId(IDM_HOT_START));
    Bind(wxEVT_BUTTON, &CZenithprobeDlg::OnResultButton, this, IDC_RESULT);
    // Only taps on the dialog's own surface: mouse events do not travel up from the controls.
    Bind(wxEVT_LEFT_UP, &CZenithprobeDlg::OnLButtonUp, this);
}

void CZenithprobeDlg::StartupRestart() {
    switch (StartKindFromAction(m_strStartAct)) {
    case kStartCold:
        ColdStart();
        break;
    case kStartWarm:
        WarmStart();
        break;
    case kStartHot:
        HotStart();
        break;
    default:
        break;
    }
}

void CZenithprobeDlg::ColdStart() {
    SendRestart(kStartCold);
}

void CZenithprobeDlg::WarmStart() {
    SendRestart(kStartWarm);
}

void CZenithprobeDlg::HotStart() {
    SendRestart(kStartHot);
}

void CZenithprobeDlg::SendRestart(int32_t kind) {
    const char* word = StartKindWord(kind);
    m_nStartKind = kind;
    // Both forms go out whatever receiver is attached; a closed port or a failed write loses
    // them (the port reports it), and the wait for the restart starts all the same.
    const std::string sony = SonyRestartCommand(kind);
    m_serial.Write(sony.data(), static_cast<uint32_t>(sony.size()));
    DebugPrint("CZenithprobeDlg::%sStart(): SONY %sStart OK!\r\n", word, word);
    const std::string sirf = SirfRestartCommand(kind);
    m_serial.Write(sirf.data(), static_cast<uint32_t>(sirf.size()));
    DebugPrint("CZenithprobeDlg::%sStart(): SiRF %sStart OK!\r\n", word, word);
    // RECEIVER: the family's own command after the two others.
    if (const ReceiverFamily family = RestartFamily(); family != ReceiverFamily::None) {
        const std::string own = FamilyRestartCommand(family, kind);
        if (m_serial.Write(own.data(), static_cast<uint32_t>(own.size())) == 0) {
            DebugPrint("CZenithprobeDlg::%sStart(): %s %sStart OK!\r\n", word,
                       ReceiverFamilyName(family), word);
        } else {
            DebugPrint("CZenithprobeDlg::%sStart(): %s %sStart failed!\r\n", word,
                       ReceiverFamilyName(family), word);
        }
    }
    StartRestartWaiter();
    SetDlgItemText(IDC_START_KIND, StartKindText(kind));
}

void CZenithprobeDlg::StartRestartWaiter() {
    // Waiters that have finished are joined here, so the list holds only the ones still polling.
    std::erase_if(m_waiters, [](RestartWaiter& w) {
        if (!w.done->load()) {
            return false;
        }
        w.thread.join();
        return true;
    });
    {
        std::lock_guard lock(m_waitMutex);
        if (m_bStopWaiters) {
            return;
        }
    }
    RestartWaiter waiter;
    waiter.done = std::make_shared<std::atomic<bool>>(false);
    waiter.thread =
        std::thread(&CZenithprobeDlg::RestartPostProcessing, this, m_lifetime.Token(), waiter.done);
    m_waiters.push_back(std::move(waiter));
}

void CZenithprobeDlg::StopRestartWaiters() {
    {
        std::lock_guard lock(m_waitMutex);
        m_bStopWaiters = true;
    }
    m_waitStop.notify_all();
    for (RestartWaiter& w : m_waiters) {
        w.thread.join();
    }
    m_waiters.clear();
}

size_t CZenithprobeDlg::RestartWaitersPolling() const {
    size_t count = 0;
    for (const RestartWaiter& w : m_waiters) {
        count += w.done->load() ? 0 : 1;
    }
    return count;
}

void CZenithprobeDlg::RestartPostProcessing(CLifetimeToken token,
                                            std::shared_ptr<std::atomic<bool>> done) {
    pthread_setname_np(pthread_self(), "zp-restart");
    for (;;) {
        {
            // The 100 ms pause, cut short at shutdown: the thread is joined before the dialog
            // goes, and the receiver may never report fix mode 1.
            std::unique_lock lock(m_waitMutex);
            if (m_waitStop.wait_for(lock, std::chrono::milliseconds(kRestartPollMs),
                                    [this] { return m_bStopWaiters; })) {
                break;
            }
        }
        DebugPrint("RestartPostProcessing() loop, wait for m_btGSAFixMode to restart!\r\n");
        CLifetimeLease lease = token.Enter();
        if (!lease) {
            break;
        }
        uint8_t fixMode = 0;
        {
            std::lock_guard lock(g_csParser);
            fixMode = m_parser.m_btGSAFixMode;
        }
        if (fixMode == 1) {
            Restart();
            break;
        }
    }
    done->store(true);
}

void CZenithprobeDlg::Restart() {
    {
        std::lock_guard lock(g_csParser);
        m_parser.Reset();
    }
    // Start tick first, the done flag last: a tick that sees the measurement running sees its
    // start.
    m_dwStartTick = TickCountMs();
    m_nTestResult = kResultPending;
    m_bTTFFDone = 0;
    // Timers belong to the user-interface thread. A fix noticed before this runs has ended the
    // measurement already: then there is nothing left to count.
    PostToUi(m_lifetime.Token(), [this] {
        if (IsEnded() || m_bTTFFDone != 0) {
            return;
        }
        m_nTTFFTimer = SetTimer(kTTFFTimerId, kTTFFPeriodMs);
    });
    DebugPrint("CZenithprobeDlg::Restart() leaving!\r\n");
}

uint32_t CZenithprobeDlg::GetTimeCriterion() const {
    return TimeCriterion(m_nStartKind, m_nCriteriaCold, m_nCriteriaWarm, m_nCriteriaHot);
}

void CZenithprobeDlg::ApplyTtffOutcome(const TtffState& state, const TtffOutcome& outcome) {
    m_nTestResult = state.result;
    if (outcome.showIndicator && m_nTestMode != 0 && m_btnResult != nullptr) {
        m_btnResult->Show();
        m_btnResult->Raise();
        m_btnResult->Refresh();
    }
}

void CZenithprobeDlg::TickTTFF() {
    if (m_bTTFFDone != 0) {
        return;
    }
    const uint32_t s = TtffSeconds(TickCountMs(), m_dwStartTick);
    m_strTTFF = wxString::Format("%d", static_cast<int>(s));
    UpdateData(false);
    TtffState state{m_bTTFFDone, m_nTestResult};
    const TtffOutcome outcome = TtffTick(&state, s, GetTimeCriterion());
    ApplyTtffOutcome(state, outcome);
}

void CZenithprobeDlg::StopTTFF() {
    m_bTTFFDone = 1;
    const uint32_t s = TtffSeconds(TickCountMs(), m_dwStartTick);
    TtffState state{0, m_nTestResult};
    const TtffOutcome outcome = TtffStop(&state, s, GetTimeCriterion());
    if (outcome.writeSeconds) {
        // A late fix that no tick judged: show the seconds it was judged on.
        m_strTTFF = wxString::Format("%d", static_cast<int>(s));
        UpdateData(false);
    }
    ApplyTtffOutcome(state, outcome);
    if (m_nTTFFTimer != 0) {
        KillTimer(m_nTTFFTimer);
        m_nTTFFTimer = 0;
    }
}

void CZenithprobeDlg::OnResultButton(wxCommandEvent&) {
    m_btnResult->Hide();
    ColdStart();
}

void CZenithprobeDlg::OnLButtonUp(wxMouseEvent& event) {
    if (m_nTestMode != 0 && m_btnResult != nullptr) {
        if (m_btnResult->IsShown()) {
            m_btnResult->Hide();
        } else {
            m_btnResult->Show();
            m_btnResult->Raise();
        }
    }
    event.Skip();
}

void CZenithprobeDlg::OnTimer(uint32_t id) {
    if (id == kTTFFTimerId) {
        TickTTFF();
    } else if (id == kScreenTimerId) {
        int32_t count = 0;
        {
            std::lock_guard lock(g_csParser);
            count = m_parser.m_nRMCCount;
        }
        if (count != m_nLastRmcCount) {
            m_nLastRmcCount = count;
            RefreshScreen();
        }
    }
    CDialogBase::OnTimer(id);
}

void CZenithprobeDlg::RefreshScreen() {
    TakeWaitingLine(
        false); // a sentence after the port-closed note ends it before the fix is judged
    CNmeaParser snapshot;
    {
        std::lock_guard lock(g_csParser);
        snapshot = m_parser;
    }
    ScreenTexts texts = FormatScreen(snapshot);
    if (m_bPortClosedShown) {
        texts.fixMode = FixModeText(1); // the parser still holds the fix from before the close
    }
    SetDlgItemText(IDC_LAT, texts.lat);
    SetDlgItemText(IDC_LON, texts.lon);
    SetDlgItemText(IDC_ALT, texts.alt);
    if ((snapshot.m_btGSAFixMode == 2 || snapshot.m_btGSAFixMode == 3) && m_bTTFFDone == 0 &&
        !m_bPortClosedShown) {
        StopTTFF();
    }
    SetDlgItemText(IDC_GSA_FIX_MODE, texts.fixMode);
    SetDlgItemText(IDC_DATE, texts.date);
    SetDlgItemText(IDC_TIME, texts.time);
    SetDlgItemText(IDC_SPEED, texts.speed);
    SetDlgItemText(IDC_VERSION, m_strVersion);
    if (snapshot.m_bMultiGnss) {
        UpdateGnssHistogram(snapshot);
        if (m_plot != nullptr) {
            m_plot->DrawGnssSatellites(snapshot.m_multiGnss);
        }
        return;
    }
    UpdateHistogram(); // takes g_csParser itself
    if (m_plot != nullptr) {
        m_plot->DrawSatellites(snapshot);
    }
}
