// The main dialog end to end: the real dialog under Xvfb, the simulated receiver on a
// pseudo-terminal, message boxes answered through wx's modal-dialog hooks.
#include "Debug.h"
#include "IniFile.h"
#include "ReceiverSimulator.h"
#include "ResourceIds.h"
#include "TestSupport.h"
#include "WxTestSupport.h"
#include "ZenithprobeDlg.h"

#include <chrono>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <thread>
#include <wx/msgdlg.h>
#include <wx/testing.h>

namespace fs = std::filesystem;

namespace {

class TestDlg : public CZenithprobeDlg {
public:
    // The reader calls virtual members: it stops before the base class's destructor begins.
    ~TestDlg() override { ShutdownThreads(); }
    CNmeaParser Parser() {
        std::lock_guard lock(g_csParser);
        return m_parser;
    }
    std::string ComPort() const { return m_strComPort; }
    int32_t BaudRate() const { return m_nBaudRate; }
    bool PortOpen() const { return m_serial.IsPortOpen(); }
    // The Options menu's "Reconnect automatically", as the soft-key bar shows and sends it.
    wxMenuItem* AutoReopenItem() const {
        wxMenuItem* item = nullptr;
        for (size_t key = 0; key < SoftKeyBar()->KeyCount() && item == nullptr; ++key) {
            if (SoftKeyBar()->Popup(key) != nullptr) {
                item = SoftKeyBar()->Popup(key)->FindItem(MenuCommandId(IDM_AUTO_REOPEN));
            }
        }
        return item;
    }
    void ChooseAutoReopen(bool on) {
        wxCommandEvent command(wxEVT_MENU, MenuCommandId(IDM_AUTO_REOPEN));
        command.SetInt(on ? 1 : 0);
        SoftKeyBar()->GetEventHandler()->ProcessEvent(command);
    }
};

// Threads of this process with the reader's name.
int ReaderThreads() {
    int count = 0;
    for (const auto& task : fs::directory_iterator("/proc/self/task")) {
        std::ifstream comm(task.path() / "comm");
        std::string name;
        std::getline(comm, name);
        count += name == "zp-reader" ? 1 : 0;
    }
    return count;
}

class MainDialogTest : public ::testing::Test {
protected:
    // The simulated receiver on COM1 of the test's ports folder.
    void StartReceiver(uint32_t baud) {
        SimOptions o;
        o.portsDir = m_ports;
        o.baud = baud;
        o.seed = 1;
        o.notice = [](std::string_view) {};
        m_sim = std::make_unique<ReceiverSimulator>(o);
        ASSERT_TRUE(m_sim->Start()) << m_sim->Error();
    }

    // Answers the exit confirmation with OK or Cancel.
    static void Exit(TestDlg& dlg, int answer) {
        wxTEST_DIALOG(dlg.OnCancel(), wxExpectModal<wxMessageDialog>(answer));
    }

    TempDir m_dir;
    fs::path m_ports = m_dir.Path() / "ports";
    fs::path m_home = m_dir.Path() / "home";
    bool m_made = fs::create_directories(m_ports) && fs::create_directories(m_home);
    ScopedEnv m_portsEnv{"ZENITHPROBE_PORTS", m_ports.c_str()};
    ScopedEnv m_homeEnv{"ZENITHPROBE_HOME", m_home.c_str()};
    std::unique_ptr<ReceiverSimulator> m_sim;
};

} // namespace

TEST_F(MainDialogTest, WithoutConfigurationShowsTheReceiversSentencesFromCom1) {
    StartReceiver(4800);
    DebugCapture debug;
    TestDlg dlg;
    int shown = 0;
    dlg.SetLineShownHook([&](const wxString&) { ++shown; });
    ModalScript script;
    script
        .Wait("a sentence in edit 1048",
              [&] {
                  const wxString text = dlg.GetDlgItemText(IDC_NMEA_LINE);
                  return text.StartsWith("$GP") && text.EndsWith("\r\n") && text == dlg.LastLine();
              })
        .Wait("an RMC sentence decoded", [&] { return dlg.Parser().m_nRMCCount > 0; })
        .Do("check the settings and the run",
            [&] {
                EXPECT_EQ(dlg.ComPort(), "COM1");
                EXPECT_EQ(dlg.BaudRate(), 4800);
                EXPECT_EQ(m_sim->Status().noiseBytes, 0u); // the rates agree
                EXPECT_TRUE(dlg.IsTimerRunning(CZenithprobeDlg::kScreenTimerId));
                EXPECT_EQ(dlg.ScreenTimer(), CZenithprobeDlg::kScreenTimerId);
                EXPECT_TRUE(dlg.IsReaderRunning());
                EXPECT_GT(shown, 0);
                EXPECT_EQ(dlg.GetDlgItemText(IDC_TTFF), "0");
            })
        .Do("exit, confirmed", [&] { Exit(dlg, wxID_OK); });
    EXPECT_EQ(script.Run(dlg), kIdCancel);
    EXPECT_FALSE(dlg.PortOpen());
    EXPECT_FALSE(dlg.IsTimerRunning(CZenithprobeDlg::kScreenTimerId));
    EXPECT_EQ(dlg.ScreenTimer(), 0u);

    dlg.ShutdownThreads();
    EXPECT_FALSE(dlg.IsReaderRunning());
    EXPECT_EQ(ReaderThreads(), 0);
    // Start-up's debug lines, word for word and in order.
    const std::string text = debug.Text();
    size_t at = 0;
    for (const char* line : {"CZenithprobeDlg::InitAll() Entering!\r\n",
                             "CZenithprobeDlg::InitAll() Before InitSerial()!\r\n",
                             "CZenithprobeDlg::InitAll() After InitSerial()!\r\n",
                             "CZenithprobeDlg::InitAll() leaving!\r\n"}) {
        at = text.find(line, at);
        EXPECT_NE(at, std::string::npos) << line;
    }
}

TEST_F(MainDialogTest, MissingPortShowsOneMessageAndTheProgramRunsOn) {
    TestDlg dlg;
    MessageBoxAnswers answers({wxID_OK, wxID_OK});
    ModalScript script;
    script
        .Do("check the run without a port",
            [&] {
                ASSERT_EQ(answers.Boxes().size(), 1u);
                EXPECT_EQ(answers.Boxes()[0].text, "Unable to open COM-port\nNo such device");
                EXPECT_TRUE(answers.Boxes()[0].style & wxICON_ERROR);
                EXPECT_FALSE(answers.Boxes()[0].style & wxCANCEL);
                EXPECT_FALSE(dlg.PortOpen());
                EXPECT_TRUE(dlg.IsReaderRunning());
                EXPECT_TRUE(dlg.IsTimerRunning(CZenithprobeDlg::kScreenTimerId));
            })
        .Do("Escape asks to exit; OK", [&] {
            wxKeyEvent escape(wxEVT_CHAR_HOOK);
            escape.m_keyCode = WXK_ESCAPE;
            dlg.GetEventHandler()->ProcessEvent(escape);
        });
    EXPECT_EQ(script.Run(dlg), kIdCancel);
    ASSERT_EQ(answers.Boxes().size(), 2u);
    EXPECT_EQ(answers.Boxes()[1].text, "Press OK to exit Zenithprobe!");
    EXPECT_TRUE(answers.Boxes()[1].style & wxICON_QUESTION);
    EXPECT_TRUE(answers.Boxes()[1].style & wxCANCEL);
}

TEST_F(MainDialogTest, CancelInTheExitConfirmationChangesNothing) {
    StartReceiver(4800);
    TestDlg dlg;
    int shown = 0;
    int shownAtCancel = 0;
    dlg.SetLineShownHook([&](const wxString&) { ++shown; });
    auto unchanged = [&] {
        EXPECT_TRUE(dlg.IsModal());
        EXPECT_TRUE(dlg.PortOpen());
        EXPECT_TRUE(dlg.IsTimerRunning(CZenithprobeDlg::kScreenTimerId));
        EXPECT_TRUE(dlg.IsReaderRunning());
    };
    ModalScript script;
    script.Wait("a sentence", [&] { return shown > 0; })
        .Do("Exit menu command, Cancel",
            [&] {
                wxTEST_DIALOG(
                    {
                        wxCommandEvent exit(wxEVT_MENU, MenuCommandId(IDM_EXIT));
                        dlg.GetEventHandler()->ProcessEvent(exit);
                    },
                    wxExpectModal<wxMessageDialog>(wxID_CANCEL));
                unchanged();
            })
        .Do("closing the window, Cancel",
            [&] {
                wxTEST_DIALOG(EXPECT_FALSE(dlg.Close()),
                              wxExpectModal<wxMessageDialog>(wxID_CANCEL));
                unchanged();
            })
        .Do("Enter, Cancel",
            [&] {
                wxTEST_DIALOG(
                    {
                        wxKeyEvent enter(wxEVT_CHAR_HOOK);
                        enter.m_keyCode = WXK_RETURN;
                        dlg.GetEventHandler()->ProcessEvent(enter);
                    },
                    wxExpectModal<wxMessageDialog>(wxID_CANCEL));
                unchanged();
                shownAtCancel = shown;
            })
        .Wait("sentences keep coming", [&] { return shown > shownAtCancel; })
        .Do("the Exit soft key, OK", [&] {
            wxButton* key = dlg.SoftKeyBar()->Key(0);
            wxCommandEvent click(wxEVT_BUTTON, key->GetId());
            click.SetEventObject(key);
            wxTEST_DIALOG(key->ProcessWindowEvent(click), wxExpectModal<wxMessageDialog>(wxID_OK));
        });
    EXPECT_EQ(script.Run(dlg), kIdCancel);
    EXPECT_FALSE(dlg.PortOpen());
}

TEST_F(MainDialogTest, NoiseClosesThePortAndTheDialogRunsOn) {
    // The receiver talks at 38400 baud, the program listens at 4800: only noise arrives.
    StartReceiver(38400);
    TestDlg dlg;
    ModalScript script;
    script.Wait("the port open", [&] { return dlg.PortOpen() || m_sim->Status().noiseBytes > 0; })
        .Wait("the port closed by the reader", [&] { return !dlg.PortOpen(); })
        .Wait("its note shown", [&] { return !dlg.LastLine().empty(); })
        .Do("still running", [&] {
            EXPECT_TRUE(dlg.IsModal());
            EXPECT_TRUE(dlg.IsReaderRunning());
            // No sentence was ever shown: edit 1048 says why instead.
            EXPECT_TRUE(dlg.LastLine().StartsWith("Noise from COM1 at 4800 baud"))
                << dlg.LastLine();
            EXPECT_EQ(dlg.GetDlgItemText(IDC_NMEA_LINE), dlg.LastLine());
            Exit(dlg, wxID_OK);
        });
    EXPECT_EQ(script.Run(dlg), kIdCancel);
}

TEST_F(MainDialogTest, AQuietReceiverIsNotShownAsCurrentAndIsReadAgainWithAutoReopen) {
    const fs::path ini = m_home / "Zenithprobe.ini";
    IniWriteString("Zenithprobe", "BAUD_RATE", "115200", ini);
    IniWriteString("Zenithprobe", "AUTO_REOPEN", "1", ini);
    SimOptions o;
    o.portsDir = m_ports;
    o.baud = 115200;
    o.rateHz = 5;
    o.seed = 1;
    o.pauseAtS = 1; // quiet for 2 s, long enough for the garbage rule to close the port
    o.pauseForS = 2;
    o.notice = [](std::string_view) {};
    m_sim = std::make_unique<ReceiverSimulator>(o);
    ASSERT_TRUE(m_sim->Start()) << m_sim->Error();
    TestDlg dlg;
    dlg.SetScreenPeriod(50);
    dlg.SetReaderPause(
        [](uint32_t) { std::this_thread::sleep_for(std::chrono::milliseconds(50)); });
    dlg.SetReopenPeriods(300, 600);
    const auto line = [&] { return dlg.GetDlgItemText(IDC_NMEA_LINE); };
    const auto fix = [&] { return dlg.GetDlgItemText(IDC_GSA_FIX_MODE); };
    using namespace std::chrono_literals;
    std::chrono::steady_clock::time_point closedAt;
    ModalScript script;
    script.Wait("a fix", [&] { return line().StartsWith("$GP") && fix() == "3D Fix"; })
        .Do("the menu shows the saved setting",
            [&] {
                ASSERT_NE(dlg.AutoReopenItem(), nullptr);
                EXPECT_TRUE(dlg.AutoReopenItem()->IsChecked());
            })
        .Wait("the note replaces the last sentence",
              [&] { return line().StartsWith("No data from COM1 since "); })
        .Do("note the time", [&] { closedAt = std::chrono::steady_clock::now(); })
        .Wait("a few refreshes later",
              [&] { return std::chrono::steady_clock::now() - closedAt > 200ms; })
        .Do("the fix field shows no stale fix", [&] { EXPECT_EQ(fix(), "None"); })
        .Wait("the receiver is read again", [&] { return line().StartsWith("$GP"); })
        .Wait("and its fix shown", [&] { return fix() == "3D Fix"; })
        .Do("switch reconnecting off",
            [&] {
                dlg.ChooseAutoReopen(false);
                EXPECT_FALSE(dlg.AutoReopen());
                EXPECT_EQ(IniReadInt("Zenithprobe", "AUTO_REOPEN", 1, ini), 0);
            })
        .Do("exit", [&] { Exit(dlg, wxID_OK); });
    EXPECT_EQ(script.Run(dlg), kIdCancel);
}
