// The setup dialog end to end: the real dialog under Xvfb, the main dialog's shared port and
// parser fed by the real reader thread, receivers on pseudo-terminals (the simulator, or bare
// ptys), a temporary program folder.
#include "IniFile.h"
#include "PtyPort.h"
#include "ReceiverLine.h"
#include "ReceiverMonitor.h"
#include "ReceiverSimulator.h"
#include "SetupDlg.h"
#include "TestSupport.h"
#include "WxTestSupport.h"

#include <gtest/gtest.h>
#include <memory>
#include <poll.h>
#include <unistd.h>
#include <wx/testing.h>

namespace fs = std::filesystem;

namespace {

// The main dialog's display-free half: its port, parser and reader thread.
class TestMonitor : public CReceiverMonitor {
public:
    // The reader calls ShowLine: it must stop before this part of the object goes.
    ~TestMonitor() override { StopReaderThread(); }
    CNmeaParser* Parser() { return &m_parser; }

protected:
    void ShowLine(std::string) override {}
    void ShowErrorMessage(const char*) override {}
};

class TestSetupDlg : public CSetupDlg {
public:
    wxString Text(int id) const { return GetDlgItemText(id); }
    wxComboBox* Box(int id) const { return dynamic_cast<wxComboBox*>(GetDlgItem(id)); }
    wxCheckBox* Check(int id) const { return dynamic_cast<wxCheckBox*>(GetDlgItem(id)); }
    std::vector<wxString> Commands() const {
        std::vector<wxString> list;
        for (unsigned i = 0; i < m_cbCommand->GetCount(); ++i) {
            list.push_back(m_cbCommand->GetString(i));
        }
        return list;
    }
    void Click(int id) {
        wxEventType type = wxEVT_BUTTON;
        if (id == IDC_SETUP_SONY || id == IDC_SETUP_SIRF) {
            type = wxEVT_RADIOBUTTON;
        } else if (dynamic_cast<wxCheckBox*>(GetDlgItem(id)) != nullptr) {
            type = wxEVT_CHECKBOX;
        }
        wxCommandEvent click(type, id);
        click.SetEventObject(GetDlgItem(id));
        GetEventHandler()->ProcessEvent(click);
    }
};

// Bytes that reached the pty's master within timeoutMs, up to `want` of them.
std::string ReadMaster(const PtyPort& pty, size_t want, int timeoutMs = 5000) {
    std::string got;
    for (int waited = 0; got.size() < want && waited < timeoutMs; waited += 10) {
        pollfd p{pty.Master(), POLLIN, 0};
        if (poll(&p, 1, 10) == 1) {
            char buffer[256];
            const ssize_t n = read(pty.Master(), buffer, sizeof buffer);
            if (n > 0) {
                got.append(buffer, static_cast<size_t>(n));
            }
        }
    }
    return got;
}

class SetupDialogTest : public ::testing::Test {
protected:
    void StartReceiver(const char* port, uint32_t baud, const fs::path& folder = {}) {
        SimOptions o;
        o.port = port;
        o.portsDir = folder.empty() ? m_ports : folder;
        o.baud = baud;
        o.rateHz = 4;
        o.seed = 1;
        o.notice = [](std::string_view) {};
        m_sim = std::make_unique<ReceiverSimulator>(o);
        ASSERT_TRUE(m_sim->Start()) << m_sim->Error();
    }
    void Context(TestSetupDlg& dlg, const char* port, int32_t baud) {
        dlg.SetContext(&m_monitor.Serial(), port, baud, m_monitor.Parser(), m_home);
    }
    std::string Key(const char* section, const char* key) {
        char buffer[100];
        return IniReadString(section, key, "", buffer, sizeof buffer, m_ini) < 0 ? "<missing>"
                                                                                 : buffer;
    }

    TempDir m_dir;
    fs::path m_ports = m_dir.Path() / "ports";
    fs::path m_home = m_dir.Path() / "home/";
    fs::path m_ini = m_home / "Zenithprobe.ini";
    bool m_made = fs::create_directories(m_ports) && fs::create_directories(m_home);
    ScopedEnv m_portsEnv{"ZENITHPROBE_PORTS", m_ports.c_str()};
    ScopedEnv m_homeEnv{"ZENITHPROBE_HOME", m_home.c_str()};
    std::unique_ptr<ReceiverSimulator> m_sim;
    TestMonitor m_monitor; // last: its reader stops before the receivers go
};

} // namespace

TEST_F(SetupDialogTest, CommandsAreSentAsTypedAndKeptPerChipset) {
    WriteFileBytes(m_ini, "[SONY]\n1=zeta\n2=Alpha\n4=four\n[SIRF]\n1=sirf one\n");
    PtyPort pty(m_ports / "COM1");
    ASSERT_TRUE(pty.Ok());
    TestSetupDlg dlg;
    Context(dlg, "COM1", 4800);
    MessageBoxAnswers boxes;
    ModalScript script;
    script
        .Do("Sony with keys 1 and 2 only, the sorted list's first shown",
            [&] {
                EXPECT_TRUE(dlg.Box(IDC_SETUP_COMMAND) != nullptr);
                EXPECT_TRUE(
                    dynamic_cast<wxRadioButton*>(dlg.GetDlgItem(IDC_SETUP_SONY))->GetValue());
                EXPECT_EQ(dlg.Commands(), (std::vector<wxString>{"Alpha", "zeta"}));
                EXPECT_EQ(dlg.Text(IDC_SETUP_COMMAND), "Alpha");
                EXPECT_EQ(dlg.Text(IDC_SETUP_PORT), "COM1");
                EXPECT_EQ(dlg.Text(IDC_SETUP_BAUD), "4800");
                EXPECT_EQ(dlg.Box(IDC_SETUP_PORT)->GetCount(), 10u);
                EXPECT_EQ(dlg.Box(IDC_SETUP_PORT)->GetString(0), "COM0");
                EXPECT_EQ(dlg.Box(IDC_SETUP_PORT)->GetString(9), "COM9");
            })
        .Do("a new command: sent with CR LF, stored under 3",
            [&] {
                dlg.Box(IDC_SETUP_COMMAND)->ChangeValue("$PSONY,1*00");
                dlg.Click(IDC_SETUP_SEND);
                EXPECT_EQ(ReadMaster(pty, 13), "$PSONY,1*00\r\n");
                EXPECT_EQ(Key("SONY", "3"), "$PSONY,1*00");
                EXPECT_EQ(Key("SONY", "4"), "four");
                EXPECT_EQ(dlg.Commands().size(), 3u);
            })
        .Do("the same in another case: sent, nothing stored",
            [&] {
                dlg.Box(IDC_SETUP_COMMAND)->ChangeValue("ALPHA");
                dlg.Click(IDC_SETUP_SEND);
                EXPECT_EQ(ReadMaster(pty, 7), "ALPHA\r\n");
                EXPECT_EQ(Key("SONY", "5"), "<missing>");
                EXPECT_EQ(dlg.Commands().size(), 3u);
            })
        .Do("an empty command: CR LF alone, an empty value under 5",
            [&] {
                dlg.Box(IDC_SETUP_COMMAND)->ChangeValue("");
                dlg.Click(IDC_SETUP_SEND);
                EXPECT_EQ(ReadMaster(pty, 2), "\r\n");
                EXPECT_EQ(Key("SONY", "5"), "");
                EXPECT_EQ(dlg.Commands().size(), 4u);
            })
        .Do("SiRF loads its own list; Sony again reloads, skipping the empty value",
            [&] {
                dlg.Click(IDC_SETUP_SIRF);
                EXPECT_EQ(dlg.Commands(), (std::vector<wxString>{"sirf one"}));
                dlg.Click(IDC_SETUP_SONY);
                dlg.Click(IDC_SETUP_SONY);
                EXPECT_EQ(dlg.Commands(),
                          (std::vector<wxString>{"$PSONY,1*00", "Alpha", "four", "zeta"}));
            })
        .Do("the next command reuses the empty number",
            [&] {
                dlg.Box(IDC_SETUP_COMMAND)->ChangeValue("next");
                dlg.Click(IDC_SETUP_SEND);
                EXPECT_EQ(ReadMaster(pty, 6), "next\r\n");
                EXPECT_EQ(Key("SONY", "5"), "next");
            })
        .Do("OK", [&] { dlg.OnOK(); });
    EXPECT_EQ(script.Run(dlg), kIdOk);
    EXPECT_TRUE(boxes.Boxes().empty());
    EXPECT_FALSE(dlg.IsTimerRunning(CSetupDlg::kRefreshTimerId));
}

TEST_F(SetupDialogTest, SetSavesPortAndRateWhateverThePortDid) {
    PtyPort pty(m_ports / "COM1");
    ASSERT_TRUE(pty.Ok());
    const std::string typed = (m_ports / "COM1").string(); // a device path typed by hand
    TestSetupDlg dlg;
    Context(dlg, "COM1", 4800);
    MessageBoxAnswers boxes({wxID_OK, wxID_OK});
    ModalScript script;
    script
        .Do("a port that cannot be opened: one message, both keys saved",
            [&] {
                dlg.Box(IDC_SETUP_PORT)->ChangeValue("COM12");
                dlg.Box(IDC_SETUP_BAUD)->ChangeValue("9600");
                dlg.Click(IDC_SETUP_SET);
                ASSERT_EQ(boxes.Texts(), (std::vector<wxString>{wxString::FromUTF8(
                                             "Unable to open COM-port\nNo such device")}));
                EXPECT_TRUE(boxes.Boxes()[0].style & wxICON_ERROR);
                EXPECT_EQ(Key("Zenithprobe", "COM_PORT"), "COM12");
                EXPECT_EQ(Key("Zenithprobe", "BAUD_RATE"), "9600");
                EXPECT_FALSE(m_monitor.Serial().IsPortOpen());
            })
        .Do("a device path: used and saved as typed",
            [&] {
                dlg.Box(IDC_SETUP_PORT)->ChangeValue(typed);
                dlg.Box(IDC_SETUP_BAUD)->ChangeValue("19200");
                dlg.Click(IDC_SETUP_SET);
                EXPECT_EQ(boxes.Boxes().size(), 1u);
                EXPECT_TRUE(m_monitor.Serial().IsPortOpen());
                EXPECT_EQ(m_monitor.Serial().GetBaudrate(), 19200);
                EXPECT_EQ(Key("Zenithprobe", "COM_PORT"), typed);
                EXPECT_EQ(Key("Zenithprobe", "BAUD_RATE"), "19200");
            })
        .Do("OK", [&] { dlg.OnOK(); });
    EXPECT_EQ(script.Run(dlg), kIdOk);
    EXPECT_EQ(dlg.GetPort(), wxString::FromUTF8(typed));
    EXPECT_EQ(dlg.GetBaudRate(), 19200);
}

TEST_F(SetupDialogTest, EveryWayOfClosingEndsWithOk) {
    struct Row {
        const char* label;
        std::function<void(TestSetupDlg&)> close;
    };
    const Row rows[] = {
        {"Escape",
         [](TestSetupDlg& dlg) {
             wxKeyEvent escape(wxEVT_CHAR_HOOK);
             escape.m_keyCode = WXK_ESCAPE;
             dlg.GetEventHandler()->ProcessEvent(escape);
         }},
        {"window closed", [](TestSetupDlg& dlg) { dlg.Close(); }},
        {"picture button", [](TestSetupDlg& dlg) { dlg.Click(IDC_SETUP_CLOSE); }},
        {"Cancel id 2", [](TestSetupDlg& dlg) { dlg.Click(kIdCancel); }},
    };
    for (const Row& row : rows) {
        TestSetupDlg dlg;
        Context(dlg, "COM4", 4800);
        ModalScript script;
        script.Do("type a rate by hand, then close", [&] {
            dlg.Box(IDC_SETUP_BAUD)->ChangeValue("no digits");
            row.close(dlg);
        });
        EXPECT_EQ(script.Run(dlg), kIdOk) << row.label;
        EXPECT_EQ(dlg.GetPort(), "COM4") << row.label;
        EXPECT_EQ(dlg.GetBaudRate(), 0) << row.label;
    }
}

TEST_F(SetupDialogTest, AutoFindsTheReceiverAndLeavesThePortOpenAtItsRate) {
    StartReceiver("COM3", 9600);
    ASSERT_TRUE(m_monitor.StartReaderThread());
    TestSetupDlg dlg;
    Context(dlg, "COM1", 4800);
    ModalScript script;
    script
        .Do("Auto; the buttons wait for the search",
            [&] {
                dlg.Click(IDC_SETUP_AUTO);
                EXPECT_FALSE(dlg.GetDlgItem(IDC_SETUP_AUTO)->IsEnabled());
                EXPECT_FALSE(dlg.GetDlgItem(IDC_SETUP_SET)->IsEnabled());
                EXPECT_FALSE(dlg.GetDlgItem(IDC_SETUP_SEND)->IsEnabled());
            })
        .Wait("the search ended",
              [&] { return !dlg.IsSearchRunning() && dlg.GetDlgItem(IDC_SETUP_AUTO)->IsEnabled(); })
        .Do("COM3 at 9600, shown and open",
            [&] {
                EXPECT_EQ(dlg.Text(IDC_SETUP_PORT), "COM3");
                EXPECT_EQ(dlg.Text(IDC_SETUP_BAUD), "9600");
                EXPECT_EQ(dlg.GetPort(), "COM3");
                EXPECT_TRUE(m_monitor.Serial().IsPortOpen());
                EXPECT_EQ(m_monitor.Serial().GetBaudrate(), 9600);
                EXPECT_GT(m_sim->Status().noiseBytes, 0u); // it was tried at 4800 first
            })
        .Do("OK", [&] { dlg.OnOK(); });
    EXPECT_EQ(script.Run(dlg), kIdOk);
    EXPECT_EQ(dlg.GetBaudRate(), 9600);
    EXPECT_EQ(Key("Zenithprobe", "COM_PORT"), "<missing>"); // only Set saves
}

TEST_F(SetupDialogTest, CountersFollowTheStreamAndANoReceiverSearchEndsOnCom9At115200) {
    StartReceiver("COM1", 38400); // fast enough for every sentence at 4 epochs a second
    ASSERT_EQ(m_monitor.Serial().Open("COM1:"), 0);
    ASSERT_EQ(m_monitor.Serial().Setup(38400, 8, 0, 0), 0);
    ASSERT_TRUE(m_monitor.StartReaderThread());
    PtyPort silent(m_ports / "COM9"); // opens, says nothing: the search waits on it
    ASSERT_TRUE(silent.Ok());
    TestSetupDlg dlg;
    Context(dlg, "COM1", 4800);
    dlg.SetSearchWait(20);
    wxString rmcShown;
    ModalScript script;
    script
        .Wait("the counters show the stream",
              [&] {
                  return dlg.Text(IDC_SETUP_RMC_COUNT) != "0" &&
                         dlg.Text(IDC_SETUP_GGA_COUNT) != "0" &&
                         dlg.Text(IDC_SETUP_GSV_COUNT) != "0" &&
                         dlg.Text(IDC_SETUP_GSA_COUNT) != "0" && dlg.Text(IDC_SETUP_PDOP) != "0.00";
              })
        .Do("boxes checked and enabled; GLL and VTG untouched; the receiver goes",
            [&] {
                for (int id : {IDC_SETUP_GGA, IDC_SETUP_GSA, IDC_SETUP_RMC, IDC_SETUP_GSV}) {
                    EXPECT_TRUE(dlg.Check(id)->GetValue()) << id;
                    EXPECT_TRUE(dlg.Check(id)->IsEnabled()) << id;
                }
                for (int id : {IDC_SETUP_GLL, IDC_SETUP_VTG}) {
                    EXPECT_FALSE(dlg.Check(id)->GetValue()) << id;
                    EXPECT_FALSE(dlg.Check(id)->IsEnabled()) << id;
                }
                EXPECT_EQ(dlg.Text(IDC_SETUP_GLL_COUNT), "0");
                EXPECT_EQ(dlg.Text(IDC_SETUP_VTG_COUNT), "0");
                dlg.Click(IDC_SETUP_GGA); // disabled until the next refresh
                EXPECT_FALSE(dlg.Check(IDC_SETUP_GGA)->IsEnabled());
                dlg.RefreshCounters();
                EXPECT_TRUE(dlg.Check(IDC_SETUP_GGA)->IsEnabled());
                m_monitor.StopReaderThread();
                m_sim.reset();
                dlg.RefreshCounters();
                rmcShown = dlg.Text(IDC_SETUP_RMC_COUNT);
                dlg.Click(IDC_SETUP_AUTO);
            })
        .Wait("the search ended", [&] { return !dlg.IsSearchRunning(); })
        .Wait("the buttons back", [&] { return dlg.GetDlgItem(IDC_SETUP_AUTO)->IsEnabled(); })
        .Do("COM9 and 115200 shown; counts reset but their labels kept",
            [&] {
                EXPECT_EQ(dlg.Text(IDC_SETUP_PORT), "COM9");
                EXPECT_EQ(dlg.Text(IDC_SETUP_BAUD), "115200");
                EXPECT_TRUE(m_monitor.Serial().IsPortOpen()); // as the last candidate left it
                EXPECT_EQ(m_monitor.Serial().GetBaudrate(), 115200);
                dlg.RefreshCounters();
                EXPECT_EQ(dlg.Text(IDC_SETUP_RMC_COUNT), rmcShown);
                EXPECT_EQ(dlg.Text(IDC_SETUP_TOTAL), "0");
                EXPECT_EQ(dlg.Text(IDC_SETUP_PDOP), "0.00");
            })
        .Do("OK", [&] { dlg.OnOK(); });
    EXPECT_EQ(script.Run(dlg), kIdOk);
    EXPECT_EQ(dlg.GetPort(), "COM9");
    EXPECT_EQ(dlg.GetBaudRate(), 115200);
}

TEST_F(SetupDialogTest, AutoFindsAUsbReceiverAt115200AfterEveryClassicCandidate) {
    const fs::path dev = m_dir.Path() / "dev";
    fs::create_directories(dev);
    ScopedEnv devEnv("ZENITHPROBE_DEV_DIR", dev.c_str());
    StartReceiver("ttyUSB0", 115200, dev);
    ASSERT_TRUE(m_monitor.StartReaderThread());
    TestSetupDlg dlg;
    Context(dlg, "COM1", 4800);
    dlg.SetSearchWait(250); // three waits span one pass of the reader (500 ms)
    MessageBoxAnswers boxes;
    ModalScript script;
    script
        .Do("the device listed after COM9; Auto",
            [&] {
                EXPECT_EQ(dlg.Box(IDC_SETUP_PORT)->GetCount(), 11u);
                EXPECT_EQ(dlg.Box(IDC_SETUP_PORT)->GetString(10), "ttyUSB0");
                dlg.Click(IDC_SETUP_AUTO);
            })
        .Wait("the search ended",
              [&] { return !dlg.IsSearchRunning() && dlg.GetDlgItem(IDC_SETUP_AUTO)->IsEnabled(); })
        .Do("found at 115200 after the four classic rates and 57600; Set saves the path",
            [&] {
                EXPECT_EQ(dlg.Text(IDC_SETUP_PORT), "ttyUSB0");
                EXPECT_EQ(dlg.Text(IDC_SETUP_BAUD), "115200");
                EXPECT_EQ(m_monitor.Serial().GetBaudrate(), 115200);
                EXPECT_GT(m_sim->Status().noiseBytes, 0u); // tried at the slower rates first
                dlg.Click(IDC_SETUP_SET);
                EXPECT_TRUE(boxes.Boxes().empty());
                EXPECT_EQ(Key("Zenithprobe", "COM_PORT"), (dev / "ttyUSB0").string());
                EXPECT_EQ(Key("Zenithprobe", "BAUD_RATE"), "115200");
            })
        .Do("OK", [&] { dlg.OnOK(); });
    EXPECT_EQ(script.Run(dlg), kIdOk);
    EXPECT_EQ(dlg.GetPort(), wxString::FromUTF8((dev / "ttyUSB0").string()));
}

TEST_F(SetupDialogTest, ClosingDuringASearchStopsItFirst) {
    PtyPort silent(m_ports / "COM0"); // the search listens here first, 1.5 s per rate
    ASSERT_TRUE(silent.Ok());
    TestSetupDlg dlg;
    Context(dlg, "COM5", 9600);
    ModalScript script;
    script.Do("Auto", [&] { dlg.Click(IDC_SETUP_AUTO); })
        .Wait("listening on COM0", [&] { return m_monitor.Serial().IsPortOpen(); })
        .Do("close the window", [&] {
            EXPECT_TRUE(dlg.IsSearchRunning());
            dlg.Close();
            EXPECT_FALSE(dlg.IsSearchRunning()); // stopped before the dialog ended
        });
    EXPECT_EQ(script.Run(dlg), kIdOk);
    // What the boxes showed when it stopped, posted calls not yet run or not.
    EXPECT_EQ(dlg.GetPort(), "COM0");
    EXPECT_EQ(dlg.GetBaudRate(), 4800);
}

// Identify with the RECEIVER key empty: the u-blox receiver is named on the receiver line, with
// the menu item that would send its restarts.
TEST_F(SetupDialogTest, IdentifyNamesTheReceiverAndTheItemToChoose) {
    SimOptions o;
    o.portsDir = m_ports;
    o.baud = 38400;
    o.rateHz = 4;
    o.seed = 1;
    o.family = ReceiverFamily::Ubx;
    o.notice = [](std::string_view) {};
    m_sim = std::make_unique<ReceiverSimulator>(o);
    ASSERT_TRUE(m_sim->Start()) << m_sim->Error();
    ASSERT_TRUE(m_monitor.StartReaderThread());
    TestSetupDlg dlg;
    Context(dlg, "COM1", 38400);
    dlg.SetReceiverHooks([&] { m_monitor.RequestIdentify(); }, {},
                         [&] { return ReceiverLineText(m_monitor.ReceiverLine()); });
    wxString line;
    ModalScript script;
    script
        .Do("Set, then Identify",
            [&] {
                dlg.Click(IDC_SETUP_SET);
                dlg.Click(IDC_SETUP_IDENTIFY);
                EXPECT_EQ(dlg.Text(IDC_SETUP_RECEIVER), "Identifying the receiver...");
            })
        .Wait("the result on the line",
              [&] { return (line = dlg.Text(IDC_SETUP_RECEIVER)).StartsWith("u-blox"); })
        .Do("OK", [&] { dlg.OnOK(); });
    EXPECT_EQ(script.Run(dlg), kIdOk);
    EXPECT_NE(line.Find("Switch on"), wxNOT_FOUND) << line;
    EXPECT_EQ(m_monitor.RestartFamily(), ReceiverFamily::None); // the key still decides
}
