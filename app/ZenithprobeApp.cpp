#include "ZenithprobeApp.h"

#include "Debug.h"
#include "DialogTemplate.h"
#include "Screenshot.h"
#include "WindowMessage.h"
#include "ZenithprobeDlg.h"

#include "Paths.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <wx/display.h>

namespace {
// Registered once at start-up for the serial port's window; nothing uses its number.
const uint32_t g_nSerialMessage = RegisterWindowMessage("CSerialWnd_DefaultComMsg");

// Without --scale: the largest whole scale that fits the screen the window opens on.
double DesktopScale() {
    const wxDisplay display(0u);
    const wxRect area = display.GetClientArea(); // the desktop's pixels, panels left out
    const double factor = display.GetScaleFactor();
    const int deviceHeight = static_cast<int>(std::lround(area.height * factor));
    const int scale = ChooseDesktopScale(deviceHeight, factor, kMainWindowHeightPx);
    DebugPrint(
        "CZenithprobeApp::InitInstance() screen %d px high, desktop factor %.2f: scale %d\r\n",
        deviceHeight, factor, scale);
    return scale;
}
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
    if (m_options.exit.exit || m_options.paths) {
        // main() answers these before the toolkit starts; here only for an embedding program.
        m_nExitCode = PrintCommandLineResult(m_options.exit);
        return false;
    }
    if (m_options.debug) {
        DebugEnable(true);
    }
    (void)g_nSerialMessage;
    const Folders folders = CurrentFolders();
    if (folders.perUser) {
        // The user's own files: folders 0700 and files 0600, made on the first run.
        umask(077);
        for (const auto& folder : {folders.config, folders.data}) {
            if (const int err = MakePrivateFolder(folder)) {
                DebugPrint("CZenithprobeApp::InitInstance() cannot create %s (%s)!\r\n",
                           folder.c_str(), std::strerror(err));
            }
        }
    }
    SetDisplayScale(m_options.scaleGiven ? m_options.scale : DesktopScale());
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
