// The main dialog in multi-GNSS mode under Xvfb: against the simulator with four constellations
// (NMEA 4.11), and against replays of real receivers that send no GP position.
#include "ReceiverSimulator.h"
#include "ResourceIds.h"
#include "TestSupport.h"
#include "TtffJudge.h"
#include "WxTestSupport.h"
#include "ZenithprobeDlg.h"

#include <gtest/gtest.h>
#include <memory>
#include <set>
#include <sstream>
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
    wxString Text(int id) const { return GetDlgItemText(id); }
    // The Options check item as the menu sends it: the new check state in the event.
    void ToggleMultiGnss(bool checked) {
        wxCommandEvent command(wxEVT_MENU, MenuCommandId(IDM_MULTI_GNSS));
        command.SetInt(checked ? 1 : 0);
        SoftKeyBar()->GetEventHandler()->ProcessEvent(command);
    }
    // The constellation letters of the strip labels ("G5" gives 'G').
    std::set<char> RowLetters() const {
        std::set<char> letters;
        for (int r = 0; r < 12; ++r) {
            const wxString label = Text(IDC_PRN0 + r);
            if (!label.empty()) {
                letters.insert(static_cast<char>(label[0].GetValue()));
            }
        }
        return letters;
    }
};

class MultiGnssDialogTest : public ::testing::Test {
protected:
    void TearDown() override {
        if (m_sim) {
            m_sim->Stop();
        }
    }

    void WriteIni(const std::string& keys) {
        WriteFileBytes(m_home / "Zenithprobe.ini", "[Zenithprobe]\r\nBAUD_RATE=115200\r\n" + keys);
    }

    void Start(SimOptions o) {
        o.portsDir = m_ports;
        o.baud = 115200;
        o.seed = 1;
        o.notice = [](std::string_view) {};
        m_sim = std::make_unique<ReceiverSimulator>(o);
        ASSERT_TRUE(m_sim->Start()) << m_sim->Error();
    }

    void StartFourConstellations() {
        // Two epochs a second: four constellations' GSV groups fit the line whole.
        SimOptions o;
        o.rateHz = 2;
        o.ttffCold = o.ttffWarm = o.ttffHot = {1.6, 2.0};
        o.constellations = {SimSystem::Gps, SimSystem::Glonass, SimSystem::Galileo,
                            SimSystem::BeiDou};
        o.nmeaVersion = 411;
        Start(o);
    }

    static void Exit(TestDlg& dlg) {
        wxTEST_DIALOG(dlg.OnCancel(), wxExpectModal<wxMessageDialog>(wxID_OK));
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

// As designed, the GP-only decoding never sees this receiver's fix; the menu item switches the
// mode on at once and saves it, and a cold start is then timed and judged as on a GP receiver.
TEST_F(MultiGnssDialogTest, OffShowsNoFixOnShowsEveryConstellationAndJudgesAColdStart) {
    WriteIni("TEST_MODE=1\r\n");
    StartFourConstellations();
    TestDlg dlg;
    dlg.SetScreenPeriod(100);
    bool sawNoFix = false;
    ModalScript script;
    script.Wait("GN sentences arrive", [&] { return dlg.LastLine().StartsWith("$GN"); })
        .Wait("a few seconds of them", [&] { return m_sim->Status().epochs > 6; })
        .Do("no fix, no position, no satellites",
            [&] {
                EXPECT_NE(dlg.Text(IDC_GSA_FIX_MODE), "3D Fix");
                EXPECT_FALSE(dlg.Text(IDC_LAT).StartsWith("N 48"));
                EXPECT_TRUE(dlg.RowLetters().empty());
                dlg.ToggleMultiGnss(true);
            })
        .Wait("3D fix", [&] { return dlg.Text(IDC_GSA_FIX_MODE) == "3D Fix"; })
        .Wait("strips of every constellation", [&] { return dlg.RowLetters().size() >= 4; })
        .Do("saved; a cold start",
            [&] {
                EXPECT_EQ(dlg.RowLetters(), (std::set<char>{'G', 'R', 'E', 'C'}));
                EXPECT_NE(ReadFileBytes(m_home / "Zenithprobe.ini").find("MULTI_GNSS=1"),
                          std::string::npos);
                dlg.ColdStart();
            })
        // The screen may show the lost fix before the waiting thread starts the measurement.
        .Wait("the measurement runs", [&] { return !dlg.TTFFDone(); })
        .Wait("the fix lost", [&] { return sawNoFix = dlg.Text(IDC_GSA_FIX_MODE) == "None"; })
        .Wait("the fix back, judged", [&] { return dlg.TTFFDone(); })
        .Do("passed", [&] {
            EXPECT_EQ(dlg.TestResult(), kResultPassed);
            EXPECT_EQ(dlg.Text(IDC_GSA_FIX_MODE), "3D Fix");
            EXPECT_TRUE(dlg.Text(IDC_LAT).StartsWith("N 48.11"));
            Exit(dlg);
        });
    EXPECT_EQ(script.Run(dlg), kIdCancel);
    dlg.ShutdownThreads();
    EXPECT_TRUE(sawNoFix);
}

// Real receivers with GN fixes replayed into the program (comment lines of the capture left out).
// West longitudes show with their sign, as the position field always has.
TEST_F(MultiGnssDialogTest, ReplayedGnReceiversShowTheirPosition) {
    ZP_REQUIRE_CORPUS();
    const struct {
        const char* log;
        const char* lat;
        const char* lon;
    } rows[] = {
        {"sirfstarv-nmea.log", "N 44.06", "W -121.31"},
        {"ublox-8.log", "N 44.06", "W -121.31"},
        {"ublox-neo-m9n-nmea.log", "N 38.11", "W -122.62"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.log);
        std::istringstream in(ReadFileBytes(CorpusDir() / row.log));
        std::string line, body;
        while (std::getline(in, line)) {
            if (!line.starts_with("#")) {
                body += line + "\n";
            }
        }
        const fs::path replay = m_dir.Path() / row.log;
        WriteFileBytes(replay, body);
        WriteIni("MULTI_GNSS=1\r\n");
        SimOptions o;
        o.replayFile = replay;
        Start(o);
        TestDlg dlg;
        dlg.SetScreenPeriod(100);
        ModalScript script;
        script.Wait("the position", [&] { return dlg.Text(IDC_LAT).StartsWith(row.lat); })
            .Do("longitude and fix", [&] {
                EXPECT_TRUE(dlg.Text(IDC_LON).StartsWith(row.lon)) << dlg.Text(IDC_LON);
                EXPECT_NE(dlg.Text(IDC_GSA_FIX_MODE), "None");
                Exit(dlg);
            });
        EXPECT_EQ(script.Run(dlg), kIdCancel);
        dlg.ShutdownThreads();
        m_sim->Stop();
        m_sim.reset();
    }
}
