// Restarts, TTFF and the test cycle end to end: the real main dialog under Xvfb, the simulated
// receiver on a pseudo-terminal with short times to first fix and ten epochs a second.
#include "Debug.h"
#include "ReceiverSimulator.h"
#include "ResourceIds.h"
#include "TestSupport.h"
#include "TtffJudge.h"
#include "WxTestSupport.h"
#include "ZenithprobeDlg.h"

#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <wx/msgdlg.h>
#include <wx/testing.h>

namespace fs = std::filesystem;

namespace {

class TestDlg : public CZenithprobeDlg {
public:
    // The reader calls virtual members: it stops before the base class's destructor begins.
    ~TestDlg() override { ShutdownThreads(); }
    int32_t TestResult() const { return m_nTestResult; }
    bool TTFFDone() const { return m_bTTFFDone != 0; }
    int32_t StartKind() const { return m_nStartKind; }
    bool IndicatorShown() const { return GetDlgItem(IDC_RESULT)->IsShown(); }
    wxString Text(int id) const { return GetDlgItemText(id); }
    void Tap() {
        wxMouseEvent up(wxEVT_LEFT_UP);
        up.SetEventObject(this);
        GetEventHandler()->ProcessEvent(up);
    }
    void Click(int id) {
        wxWindow* control = GetDlgItem(id);
        wxCommandEvent click(wxEVT_BUTTON, id);
        click.SetEventObject(control);
        control->ProcessWindowEvent(click);
    }
    // An item of the Options pop-up: its command reaches the soft-key bar and goes up from there.
    void Menu(int id) {
        wxCommandEvent command(wxEVT_MENU, MenuCommandId(id));
        SoftKeyBar()->GetEventHandler()->ProcessEvent(command);
    }
};

int ThreadsNamed(const std::string& wanted) {
    int count = 0;
    for (const auto& task : fs::directory_iterator("/proc/self/task")) {
        std::ifstream comm(task.path() / "comm");
        std::string name;
        std::getline(comm, name);
        count += name == wanted ? 1 : 0;
    }
    return count;
}

size_t Count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
        ++n;
    }
    return n;
}

class RestartDialogTest : public ::testing::Test {
protected:
    void TearDown() override {
        if (m_sim) {
            m_sim->Stop();
        }
    }

    void WriteIni(const std::string& keys) {
        // The receiver talks fast, so the tests take seconds.
        WriteFileBytes(m_home / "Zenithprobe.ini", "[Zenithprobe]\r\nBAUD_RATE=115200\r\n" + keys);
    }

    void StartReceiver(TtffRange cold, bool ignoreCommands = false) {
        SimOptions o;
        o.portsDir = m_ports;
        o.baud = 115200;
        o.rateHz = 10;
        o.seed = 1;
        o.ttffCold = cold;
        o.ttffWarm = cold;
        o.ttffHot = cold;
        o.ignoreCommands = ignoreCommands;
        o.logCommands = m_commands;
        o.notice = [](std::string_view) {};
        m_sim = std::make_unique<ReceiverSimulator>(o);
        ASSERT_TRUE(m_sim->Start()) << m_sim->Error();
    }

    std::string Commands() const { return ReadFileBytes(m_commands); }

    static void Exit(TestDlg& dlg) {
        wxTEST_DIALOG(dlg.OnCancel(), wxExpectModal<wxMessageDialog>(wxID_OK));
    }

    TempDir m_dir;
    fs::path m_ports = m_dir.Path() / "ports";
    fs::path m_home = m_dir.Path() / "home";
    fs::path m_commands = m_dir.Path() / "commands.bin";
    bool m_made = fs::create_directories(m_ports) && fs::create_directories(m_home);
    ScopedEnv m_portsEnv{"ZENITHPROBE_PORTS", m_ports.c_str()};
    ScopedEnv m_homeEnv{"ZENITHPROBE_HOME", m_home.c_str()};
    std::unique_ptr<ReceiverSimulator> m_sim;
};

} // namespace

TEST_F(RestartDialogTest, StartActionColdIsTimedAndPassesInTestMode) {
    WriteIni("START_ACT=cold\r\nTEST_MODE=1\r\n");
    StartReceiver({1.6, 2.0});
    DebugCapture debug;
    TestDlg dlg;
    bool sawNoFix = false;
    ModalScript script;
    script
        .Wait("the receiver restarted",
              [&] {
                  return m_sim->Status().restarts.size() == 1 &&
                         m_sim->Status().bytesReceived == 67;
              })
        .Do("exactly the two commands went out",
            [&] {
                EXPECT_EQ(Commands(),
                          SonyRestartCommand(kStartCold) + SirfRestartCommand(kStartCold));
                EXPECT_EQ(dlg.Text(IDC_START_KIND), "cold");
            })
        .Wait("the fix lost on screen",
              [&] { return sawNoFix = dlg.Text(IDC_GSA_FIX_MODE) == "None"; })
        .Wait("IDC_TTFF counts", [&] { return dlg.Text(IDC_TTFF) == "1"; })
        .Wait("the fix back, judged", [&] { return dlg.TTFFDone(); })
        .Do("passed, shown", [&] {
            EXPECT_EQ(dlg.TestResult(), kResultPassed);
            EXPECT_TRUE(dlg.IndicatorShown());
            EXPECT_FALSE(dlg.IsTimerRunning(CZenithprobeDlg::kTTFFTimerId));
            EXPECT_NE(dlg.Text(IDC_GSA_FIX_MODE), "None");
            EXPECT_TRUE(dlg.Text(IDC_LAT).StartsWith("N 48.11"));
            EXPECT_TRUE(dlg.Text(IDC_LON).StartsWith("E 11.51"));
            Exit(dlg);
        });
    EXPECT_EQ(script.Run(dlg), kIdCancel);
    dlg.ShutdownThreads();
    EXPECT_TRUE(sawNoFix);
    const std::string text = debug.Text();
    size_t at = 0;
    for (const char* line :
         {"CZenithprobeDlg::InitAll() Entering!\r\n",
          "CZenithprobeDlg::ColdStart(): SONY ColdStart OK!\r\n",
          "CZenithprobeDlg::ColdStart(): SiRF ColdStart OK!\r\n",
          "RestartPostProcessing() loop, wait for m_btGSAFixMode to restart!\r\n",
          "CZenithprobeDlg::Restart() leaving!\r\n"}) {
        at = text.find(line, at);
        EXPECT_NE(at, std::string::npos) << line;
    }
}

TEST_F(RestartDialogTest, LateFixFailsAndOutsideTestModeNothingIsShown) {
    WriteIni("START_ACT=Cold\r\nTIME_CRITERIA_C=1\r\nTEST_MODE=0\r\n");
    StartReceiver({3.0, 4.0});
    TestDlg dlg;
    bool everShown = false;
    auto watch = [&](bool done) {
        everShown |= dlg.IndicatorShown();
        return done;
    };
    ModalScript script;
    script.Wait("the limit passed", [&] { return watch(dlg.TestResult() == kResultFailed); })
        .Do("a tap shows nothing", [&] { dlg.Tap(); })
        .Wait("the fix back", [&] { return watch(dlg.TTFFDone()); })
        .Do("failed", [&] {
            EXPECT_EQ(dlg.TestResult(), kResultFailed);
            EXPECT_GE(std::stoi(dlg.Text(IDC_TTFF).ToStdString()), 2);
            Exit(dlg);
        });
    EXPECT_EQ(script.Run(dlg), kIdCancel);
    EXPECT_FALSE(everShown);
}

TEST_F(RestartDialogTest, TapsToggleTheIndicatorAndClickingItSendsACold) {
    WriteIni("TEST_MODE=1\r\n");
    StartReceiver({5, 6});
    TestDlg dlg;
    ModalScript script;
    script.Wait("a refresh", [&] { return dlg.Text(IDC_GSA_FIX_MODE) == "3D Fix"; })
        .Do("taps toggle",
            [&] {
                EXPECT_TRUE(Commands().empty()); // no START_ACT: nothing sent
                EXPECT_FALSE(dlg.IndicatorShown());
                dlg.Tap();
                EXPECT_TRUE(dlg.IndicatorShown());
                dlg.Tap();
                EXPECT_FALSE(dlg.IndicatorShown());
                dlg.Menu(IDM_HOT_START);
                EXPECT_EQ(dlg.Text(IDC_START_KIND), "hot");
                dlg.Tap();
            })
        .Wait("the hot start received", [&] { return m_sim->Status().bytesReceived == 67; })
        .Do("click the indicator",
            [&] {
                dlg.Click(IDC_RESULT);
                EXPECT_FALSE(dlg.IndicatorShown());
                EXPECT_EQ(dlg.StartKind(), kStartCold);
                EXPECT_EQ(dlg.Text(IDC_START_KIND), "cold");
            })
        .Wait("the cold start received", [&] { return m_sim->Status().bytesReceived == 134; })
        .Do("hot, then cold", [&] {
            EXPECT_EQ(Commands(), SonyRestartCommand(kStartHot) + SirfRestartCommand(kStartHot) +
                                      SonyRestartCommand(kStartCold) +
                                      SirfRestartCommand(kStartCold));
            Exit(dlg);
        });
    EXPECT_EQ(script.Run(dlg), kIdCancel);
}

TEST_F(RestartDialogTest, TwoCommandsInQuickSuccessionRestartTwice) {
    WriteIni("");
    StartReceiver({3, 4});
    DebugCapture debug;
    TestDlg dlg;
    ModalScript script;
    script.Wait("a fix on screen", [&] { return dlg.Text(IDC_GSA_FIX_MODE) == "3D Fix"; })
        .Do("cold button, warm menu",
            [&] {
                dlg.Click(IDC_COLD);
                dlg.Menu(IDM_WARM_START);
                EXPECT_EQ(dlg.Text(IDC_START_KIND), "warm");
            })
        .Wait("both waiting threads restarted",
              [&] { return Count(debug.Text(), "CZenithprobeDlg::Restart() leaving!\r\n") == 2; })
        .Wait("the waiting threads ended", [&] { return dlg.RestartWaitersPolling() == 0; })
        .Do("timing", [&] {
            EXPECT_FALSE(dlg.TTFFDone());
            Exit(dlg);
        });
    EXPECT_EQ(script.Run(dlg), kIdCancel);
}

TEST_F(RestartDialogTest, ExitWhileWaitingForTheRestartEndsCleanly) {
    // The receiver ignores the commands: fix mode 1 never comes.
    WriteIni("");
    StartReceiver({1, 1}, true);
    DebugCapture debug;
    TestDlg dlg;
    ModalScript script;
    script.Wait("a fix on screen", [&] { return dlg.Text(IDC_GSA_FIX_MODE) == "3D Fix"; })
        .Do("hot start", [&] { dlg.Click(IDC_HOT); })
        .Wait("the waiting thread polls",
              [&] {
                  return Count(debug.Text(), "RestartPostProcessing() loop") >= 2 &&
                         m_sim->Status().ignoredCommands == 2;
              })
        .Do("exit", [&] {
            EXPECT_EQ(dlg.RestartWaitersPolling(), 1u);
            Exit(dlg);
        });
    EXPECT_EQ(script.Run(dlg), kIdCancel);
    dlg.ShutdownThreads();
    EXPECT_EQ(ThreadsNamed("zp-restart"), 0);
    EXPECT_EQ(Count(debug.Text(), "Restart() leaving"), 0u);
    EXPECT_TRUE(dlg.TTFFDone());
}
