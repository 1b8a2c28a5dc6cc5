#include "ZenithprobeApp.h"

#include "Debug.h"
#include "DialogTemplate.h"
#include "Screenshot.h"
#include "WindowMessage.h"
#include "ZenithprobeDlg.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {
// Registered once at start-up for the serial port's window; nothing uses its number.
const uint32_t g_nSerialMessage = RegisterWindowMessage("CSerialWnd_DefaultComMsg");
} // namespace

bool CZenithprobeApp::OnInit() {
    // Our own options only: wx's parser would refuse them.
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        args.emplace_back(argv[i].utf8_str().data());
    }
    m_options = ParseAppOptions(args, std::getenv("ZENITHPROBE_SCALE"));
    return true;
}

bool CZenithprobeApp::InitInstance() {
    if (!m_options.ok || m_options.help) {
        if (!m_options.ok) {
            std::fprintf(stderr, "zenithprobe: %s\n", m_options.error.c_str());
        }
        std::fputs(AppUsage().c_str(), m_options.ok ? stdout : stderr);
        m_nExitCode = m_options.ok ? 0 : 2;
        return false;
    }
    if (m_options.debug) {
        DebugEnable(true);
    }
    (void)g_nSerialMessage;
    SetDisplayScale(m_options.scale);
    SetDialogBkColor(*wxWHITE, *wxBLACK);

    CZenithprobeDlg dlg(nullptr);
    PrepareDialog(dlg);
    m_pDialog = &dlg;
    if (m_options.quitAfterS >= 0) {
        m_quitTimer.SetOwner(this);
        Bind(wxEVT_TIMER, &CZenithprobeApp::OnQuitTimer, this, m_quitTimer.GetId());
        m_quitTimer.StartOnce(
            std::max(1, static_cast<int>(std::lround(m_options.quitAfterS * 1000))));
    }
    if (dlg.DoModal() < 0) {
        std::fputs("zenithprobe: the main dialog cannot be built\n", stderr);
        m_nExitCode = 1;
    }
    m_quitTimer.Stop();
    m_pDialog = nullptr;
    // The reader thread is stopped and joined, and no other thread or queued call can reach the
    // dialog any more, before it is destroyed at the end of this scope.
    dlg.ShutdownThreads();
    return false;
}

void CZenithprobeApp::PrepareDialog(CZenithprobeDlg&) {}

void CZenithprobeApp::OnQuitTimer(wxTimerEvent&) {
    if (m_pDialog == nullptr || !m_pDialog->IsModal()) {
        // The run has not begun (a message box at start-up is still open): try again shortly.
        m_quitTimer.StartOnce(100);
        return;
    }
    if (!m_options.screenshot.empty()) {
        if (SaveWindowScreenshot(m_pDialog, wxString::FromUTF8(m_options.screenshot))) {
            std::printf("%s\n", m_options.screenshot.c_str());
            std::fflush(stdout);
        } else {
            std::fprintf(stderr, "zenithprobe: cannot save %s\n", m_options.screenshot.c_str());
            m_nExitCode = 1;
        }
    }
    m_pDialog->Shutdown();
}
