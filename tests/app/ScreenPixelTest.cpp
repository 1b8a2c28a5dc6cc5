// What the tester sees, read back from the X server's screen: the test result indicator over
// the sky plot and the setup dialog's size. Each runs on a bare X server and under openbox
// (ZP_TEST_DISPLAY, WxTestSupport.h; the runs are set in CMakeLists.txt).
#include "DialogTemplate.h"
#include "ReceiverMonitor.h"
#include "ReceiverSimulator.h"
#include "ResourceIds.h"
#include "ScreenCheck.h"
#include "SetupDlg.h"
#include "SoftKeyBar.h"
#include "TestSupport.h"
#include "TtffJudge.h"
#include "WxTestSupport.h"
#include "ZenithprobeDlg.h"

#include <dlfcn.h>
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
    void Tap() {
        wxMouseEvent up(wxEVT_LEFT_UP);
        up.SetEventObject(this);
        GetEventHandler()->ProcessEvent(up);
    }
    // The sky plot's pixels as the screen has them, a few pixels inside its border.
    PixelCounts PlotPixels() const {
        const std::optional<wxRect> window = FindScreenWindow("Zenithprobe");
        if (!window || m_plot == nullptr) {
            return {};
        }
        wxRect plot = m_plot->GetRect();
        plot.Offset(window->GetPosition());
        return CountPixels(GrabScreen(plot.Deflate(4)));
    }
};

// The face: white, the plot's black gone.
bool Face(const PixelCounts& c) {
    return c.Share(c.white) > 0.6 && c.black == 0;
}
// The plot: its black background, no face.
bool Plot(const PixelCounts& c) {
    return c.Share(c.black) > 0.5 && c.Share(c.white) < 0.2;
}

class ScreenPixelTest : public ::testing::Test {
protected:
    void TearDown() override {
        if (m_sim) {
            m_sim->Stop();
        }
        SetDisplayScale(1);
    }

    void StartReceiver(const std::string& iniKeys, TtffRange cold,
                       const std::function<void(SimOptions&)>& more = {}) {
        WriteFileBytes(m_home / "Zenithprobe.ini",
                       "[Zenithprobe]\r\nBAUD_RATE=115200\r\nTEST_MODE=1\r\n" + iniKeys);
        SimOptions o;
        o.portsDir = m_ports;
        o.baud = 115200;
        o.rateHz = 10;
        o.seed = 1;
        o.ttffCold = cold;
        o.notice = [](std::string_view) {};
        if (more) {
            more(o);
        }
        m_sim = std::make_unique<ReceiverSimulator>(o);
        ASSERT_TRUE(m_sim->Start()) << m_sim->Error();
    }

    static void Exit(TestDlg& dlg) {
        wxTEST_DIALOG(dlg.OnCancel(), wxExpectModal<wxMessageDialog>(wxID_OK));
    }

    TempDir m_dir;
    fs::path m_ports = m_dir.Path() / "ports";
    fs::path m_home = m_dir.Path() / "home/";
    bool m_made = fs::create_directories(m_ports) && fs::create_directories(m_home);
    ScopedEnv m_portsEnv{"ZENITHPROBE_PORTS", m_ports.c_str()};
    ScopedEnv m_homeEnv{"ZENITHPROBE_HOME", m_home.c_str()};
    std::unique_ptr<ReceiverSimulator> m_sim;
};

} // namespace

TEST_F(ScreenPixelTest, IndicatorPassShowsTheBlueRingAndATapUncoversThePlot) {
    StartReceiver("START_ACT=cold\r\nTIME_CRITERIA_C=50\r\n", {1.6, 2.0});
    TestDlg dlg;
    PixelCounts c;
    ModalScript script;
    script.Wait("the satellites on the plot", [&] { return Plot(c = dlg.PlotPixels()); })
        .Wait("passed", [&] { return dlg.TTFFDone() && dlg.TestResult() == kResultPassed; })
        .Wait("the ring on the screen",
              [&] { return Face(c = dlg.PlotPixels()) && c.pureBlue > 500; })
        .Do("no cross", [&] { EXPECT_EQ(c.pureRed, 0); })
        .Do("a tap", [&] { dlg.Tap(); })
        .Wait("the plot again", [&] { return Plot(c = dlg.PlotPixels()); })
        .Do("another tap", [&] { dlg.Tap(); })
        .Wait("the ring again", [&] { return Face(c = dlg.PlotPixels()) && c.pureBlue > 500; })
        .Do("leave", [&] { Exit(dlg); });
    EXPECT_EQ(script.Run(dlg), kIdCancel);
    EXPECT_TRUE(Face(c) && c.pureBlue > 500) << c.white << " white of " << c.total;
}

// A u-blox receiver (RECEIVER=ubx) ignores the SONY and SiRF commands and restarts on its own:
// UBX-CFG-RST, sent after the other two, with the checksum computed here from the frame rule.
TEST_F(ScreenPixelTest, IndicatorPassAfterTheUbxRestart) {
    const fs::path log = m_dir.Path() / "commands.bin";
    StartReceiver("RECEIVER=ubx\r\nSTART_ACT=Cold\r\nTIME_CRITERIA_C=50\r\n", {1.6, 2.0},
                  [&](SimOptions& o) {
                      o.family = ReceiverFamily::Ubx;
                      o.binaryUbx = true; // NAV-PVT and NAV-SAT frames between the sentences
                      o.logCommands = log;
                  });
    TestDlg dlg;
    PixelCounts c;
    ModalScript script;
    script.Wait("passed", [&] { return dlg.TTFFDone() && dlg.TestResult() == kResultPassed; })
        .Wait("the ring on the screen",
              [&] { return Face(c = dlg.PlotPixels()) && c.pureBlue > 500; })
        .Do("leave", [&] { Exit(dlg); });
    EXPECT_EQ(script.Run(dlg), kIdCancel);
    EXPECT_GT(c.pureBlue, 500) << c.white << " white of " << c.total;
    ASSERT_FALSE(m_sim->Status().restarts.empty());

    // Class 06 id 04, length 4, navBbrMask FFFF (cold), resetMode 02, reserved 0.
    std::string reset = {'\x06', '\x04', '\x04', '\x00', '\xff', '\xff', '\x02', '\x00'};
    uint8_t a = 0;
    uint8_t b = 0;
    for (const char byte : reset) {
        a = static_cast<uint8_t>(a + static_cast<uint8_t>(byte));
        b = static_cast<uint8_t>(b + a);
    }
    reset = "\xb5\x62" + reset + static_cast<char>(a) + static_cast<char>(b);
    m_sim->Stop();
    const std::string sent = ReadFileBytes(log);
    const size_t sony = sent.find("@cd\r\n");
    const size_t sirf = sent.find("$PSRF101");
    const size_t ubx = sent.find(reset);
    ASSERT_NE(ubx, std::string::npos) << "no CFG-RST among " << sent.size() << " bytes";
    EXPECT_LT(sony, sirf);
    EXPECT_LT(sirf, ubx);
}

TEST_F(ScreenPixelTest, IndicatorFailShowsTheRedCross) {
    StartReceiver("START_ACT=cold\r\nTIME_CRITERIA_C=1\r\n", {3.0, 4.0});
    TestDlg dlg;
    PixelCounts c;
    ModalScript script;
    script.Wait("failed", [&] { return dlg.TTFFDone() && dlg.TestResult() == kResultFailed; })
        .Wait("the cross on the screen",
              [&] { return Face(c = dlg.PlotPixels()) && c.pureRed > 300; })
        .Do("no ring", [&] { EXPECT_EQ(c.pureBlue, 0); })
        .Do("leave", [&] { Exit(dlg); });
    EXPECT_EQ(script.Run(dlg), kIdCancel);
    EXPECT_GT(c.pureRed, 300) << c.white << " white of " << c.total;
}

TEST_F(ScreenPixelTest, IndicatorPendingTapShowsTheBareFaceAtScaleTwo) {
    SetDisplayScale(2);
    StartReceiver("", {1.0, 1.0});
    TestDlg dlg;
    PixelCounts c;
    ModalScript script;
    script.Wait("the satellites on the plot", [&] { return Plot(c = dlg.PlotPixels()); })
        .Do("a tap", [&] { dlg.Tap(); })
        .Wait("the face on the screen", [&] { return Face(c = dlg.PlotPixels()); })
        .Do("neither mark",
            [&] {
                EXPECT_EQ(dlg.TestResult(), kResultPending);
                EXPECT_EQ(c.pureBlue, 0);
                EXPECT_EQ(c.pureRed, 0);
            })
        .Do("a tap", [&] { dlg.Tap(); })
        .Wait("the plot again", [&] { return Plot(c = dlg.PlotPixels()); })
        .Do("leave", [&] { Exit(dlg); });
    EXPECT_EQ(script.Run(dlg), kIdCancel);
}

namespace {

class QuietMonitor : public CReceiverMonitor {
public:
    CNmeaParser* Parser() { return &m_parser; }

protected:
    void ShowLine(std::string) override {}
    void ShowErrorMessage(const char*) override {}
};

} // namespace

// On a 640 x 480 screen wx's default size of a new dialog is 240 x 320, the template's size.
TEST_F(ScreenPixelTest, SetupDialogHasItsTemplateSizeOnScreen) {
    QuietMonitor monitor;
    CSetupDlg dlg;
    dlg.SetContext(&monitor.Serial(), "COM1", 4800, monitor.Parser(), m_home);
    std::optional<wxRect> seen;
    ModalScript script;
    script
        .Wait("240 x 320 on the screen",
              [&] {
                  seen = FindScreenWindow("Zenithprobe Setup");
                  return seen && seen->GetSize() == wxSize(240, 320);
              })
        .Do("all of it on the screen", [&] {
            EXPECT_TRUE(GrabScreen(*seen).IsOk()) << "partly off the screen";
            dlg.EndDialog(kIdCancel);
        });
    script.Run(dlg);
    ASSERT_TRUE(seen.has_value());
    EXPECT_EQ(seen->width, 240);
    EXPECT_EQ(seen->height, 320);
}

namespace {

// The toolkit's own calls that a user's pointer would make: select a menu item (which opens its
// submenu) and close the whole menu. Looked up in the toolkit the program already runs on, whose
// development headers need not be installed.
void CallGtk(const char* name, void* first, void* second = nullptr) {
    using Fn = void (*)(void*, void*);
    auto fn = reinterpret_cast<Fn>(dlsym(RTLD_DEFAULT, name));
    ASSERT_NE(fn, nullptr) << name;
    fn(first, second);
}

bool OnScreen(const wxRect& r) {
    return wxRect(0, 0, 640, 480).Contains(r);
}

} // namespace

// The Options pop-up and its "Receiver" submenu, opened from the key at scale 1 on a 640 x 480
// screen: both wholly on the screen, with their labels drawn.
TEST_F(ScreenPixelTest, MenuAndReceiverSubmenuStayOnTheScreen) {
    SetDisplayScale(1);
    StartReceiver("", {1.0, 1.0});
    TestDlg dlg;
    wxMenu* options = nullptr;
    std::vector<wxRect> popups;
    ModalScript script;
    script
        .Wait("the window on the screen",
              [&] { return FindScreenWindow("Zenithprobe").has_value(); })
        .Do("press Options",
            [&] {
                CSoftKeyBar* bar = dlg.SoftKeyBar();
                ASSERT_NE(bar, nullptr);
                options = bar->Popup(1);
                ASSERT_NE(options, nullptr);
                // Later: the pop-up runs its own loop until it closes, and the script goes on
                // inside it.
                dlg.CallAfter([bar] {
                    wxCommandEvent click(wxEVT_BUTTON, bar->Key(1)->GetId());
                    click.SetEventObject(bar->Key(1));
                    bar->Key(1)->ProcessWindowEvent(click);
                });
            })
        .Wait("the pop-up", [&] { return (popups = FindPopupWindows()).size() == 1; })
        .Do("point at Receiver",
            [&] {
                const wxMenuItem* receiver = options->FindItem(options->FindItem("Receiver"));
                ASSERT_NE(receiver, nullptr);
                CallGtk("gtk_menu_shell_select_item", options->m_menu, receiver->GetMenuItem());
            })
        .Wait("the submenu beside it", [&] { return (popups = FindPopupWindows()).size() == 2; })
        .Do("both on the screen, labels drawn",
            [&] {
                for (const wxRect& r : popups) {
                    EXPECT_TRUE(OnScreen(r))
                        << r.x << "," << r.y << " " << r.width << "x" << r.height;
                    const PixelCounts c = CountPixels(GrabScreen(r));
                    EXPECT_GT(c.dark, 50) << "no text in " << r.x << "," << r.y;
                }
                CallGtk("gtk_menu_shell_deactivate", options->m_menu);
            })
        .Wait("the menus gone", [&] { return FindPopupWindows().empty(); })
        .Do("leave", [&] { Exit(dlg); });
    // A failed step ends the dialog, but the pop-up's own loop would keep it waiting: close the
    // menus then.
    wxTimer guard;
    guard.Bind(wxEVT_TIMER, [&](wxTimerEvent&) {
        if (HasFailure() && options != nullptr) {
            CallGtk("gtk_menu_shell_deactivate", options->m_menu);
        }
    });
    guard.Start(200);
    EXPECT_EQ(script.Run(dlg), kIdCancel);
    EXPECT_EQ(popups.size(), 2u);
}
