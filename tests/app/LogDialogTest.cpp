// The NMEA log check box end to end: the real dialog under Xvfb, the simulated receiver on a
// pseudo-terminal. The clock is never set: ZENITHPROBE_NO_CLOCK=1 and a recording setter.
#include "NmeaChecksum.h"
#include "ReceiverSimulator.h"
#include "ResourceIds.h"
#include "TestSupport.h"
#include "WxTestSupport.h"
#include "ZenithprobeDlg.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <memory>
#include <time.h>
#include <wx/checkbox.h>
#include <wx/msgdlg.h>
#include <wx/testing.h>

namespace fs = std::filesystem;

namespace {

class TestDlg : public CZenithprobeDlg {
public:
    // The reader calls virtual members: it stops before the base class's destructor begins.
    ~TestDlg() override { ShutdownThreads(); }
    TestDlg() {
        m_fileLog.SetClockSetter([this](std::time_t) {
            ++clockSets;
            return 0;
        });
        m_fileLog.SetEarliestClockDate({2005, 1, 1}); // the simulated receiver lives in 2005
    }
    int32_t RmcCount() {
        std::lock_guard lock(g_csParser);
        return m_parser.m_nRMCCount;
    }
    void FeedParser(const std::string& sentence) {
        std::lock_guard lock(g_csParser);
        m_parser.Parse(sentence.data(), sentence.size());
    }
    int32_t LogFlag() const { return m_bLog.load(); }
    fs::path LogPath() { return m_fileLog.Path(); }
    bool LogOpen() { return m_fileLog.IsOpen(); }

    int clockSets = 0; // user-interface thread
};

// Sets the box and delivers the click, as a tap does.
void ClickLog(CZenithprobeDlg& dlg, bool on) {
    auto* box = dynamic_cast<wxCheckBox*>(dlg.GetDlgItem(IDC_LOG));
    ASSERT_NE(box, nullptr);
    box->SetValue(on);
    wxCommandEvent click(wxEVT_CHECKBOX, IDC_LOG);
    click.SetEventObject(box);
    click.SetInt(on ? 1 : 0);
    box->ProcessWindowEvent(click);
}

bool BoxChecked(CZenithprobeDlg& dlg) {
    auto* box = dynamic_cast<wxCheckBox*>(dlg.GetDlgItem(IDC_LOG));
    return box != nullptr && box->GetValue();
}

// True when contents is a run of at least minLines consecutive lines of shown. With
// tailUnseen, whole lines may follow the run: sentences logged just before the close at exit
// whose display the ending dialog dropped.
bool IsRunOf(const std::string& contents, const std::vector<std::string>& shown, size_t minLines,
             bool tailUnseen = false) {
    for (size_t first = 0; first < shown.size(); ++first) {
        std::string run;
        size_t lines = 0;
        for (size_t i = first;
             i < shown.size() && contents.compare(run.size(), shown[i].size(), shown[i]) == 0;
             ++i, ++lines) {
            run += shown[i];
        }
        // Sentences repeat (GSV): a short match is not yet a failure.
        const std::string tail = contents.substr(run.size());
        if (lines >= minLines &&
            (tail.empty() || (tailUnseen && tail.starts_with("$") && tail.ends_with("\r\n")))) {
            return true;
        }
    }
    return false;
}

class LogDialogTest : public ::testing::Test {
protected:
    void SetUp() override { tzset(); }
    void TearDown() override {
        m_tz.reset();
        tzset();
    }

    void StartReceiver(uint32_t baud) {
        SimOptions o;
        o.portsDir = m_ports;
        o.baud = baud;
        o.rateHz = baud >= 38400 ? 10.0 : 1.0;
        o.seed = 1;
        int64_t start = 0;
        ASSERT_TRUE(ParseUtcTime("2005-03-14 12:00:00", &start));
        o.startUtc = start;
        o.notice = [](std::string_view) {};
        m_sim = std::make_unique<ReceiverSimulator>(o);
        ASSERT_TRUE(m_sim->Start()) << m_sim->Error();
    }

    TempDir m_dir;
    fs::path m_ports = m_dir.Path() / "ports";
    fs::path m_home = m_dir.Path() / "home";
    bool m_made = fs::create_directories(m_ports) && fs::create_directories(m_home);
    ScopedEnv m_portsEnv{"ZENITHPROBE_PORTS", m_ports.c_str()};
    ScopedEnv m_homeEnv{"ZENITHPROBE_HOME", m_home.c_str()};
    ScopedEnv m_noClock{"ZENITHPROBE_NO_CLOCK", "1"};
    std::unique_ptr<ScopedEnv> m_tz = std::make_unique<ScopedEnv>("TZ", "UTC0");
    std::unique_ptr<ReceiverSimulator> m_sim;
};

} // namespace

TEST_F(LogDialogTest, EachSwitchingOnLogsExactlyTheLinesFedToTheParserAndNothingAfterClose) {
    // 38400 baud, ten epochs a second: the reader writes all the time while the box is used.
    WriteFileBytes(m_home / "Zenithprobe.ini", "[Zenithprobe]\r\nBAUD_RATE=38400\r\n");
    StartReceiver(38400);
    TestDlg dlg;
    std::vector<std::string> shown;
    dlg.SetLineShownHook([&](const wxString& line) { shown.push_back(line.ToStdString()); });
    constexpr int kFiles = 4;
    std::vector<std::pair<fs::path, std::string>> closed; // contents when each was closed
    ModalScript script;
    script.Wait("an RMC decoded", [&] { return dlg.RmcCount() > 0; });
    for (int i = 1; i <= kFiles; ++i) {
        script
            .Do("switch on",
                [&, i] {
                    ClickLog(dlg, true);
                    EXPECT_EQ(dlg.LogFlag(), 1);
                    EXPECT_TRUE(dlg.LogOpen());
                    EXPECT_EQ(dlg.LogPath(),
                              m_home / ("nmea_20050314_" + std::to_string(i) + ".txt"));
                })
            // Count what reached the file, not what was shown: under load the screen can still
            // be showing lines read before the switching-on.
            .Wait("lines logged",
                  [&] {
                      std::string logged = ReadFileBytes(dlg.LogPath());
                      return std::count(logged.begin(), logged.end(), '\n') > 50;
                  })
            // ... and shown: the last logged RMC (its time makes it unique) is on the screen,
            // so the lines before it are too.
            .Wait("logged lines shown", [&] {
                std::string logged = ReadFileBytes(dlg.LogPath());
                size_t rmc = logged.rfind("$GPRMC");
                if (rmc == std::string::npos) {
                    return false;
                }
                std::string line = logged.substr(rmc, logged.find('\n', rmc) + 1 - rmc);
                return std::find(shown.begin(), shown.end(), line) != shown.end();
            });
        if (i < kFiles) {
            script.Do("switch off", [&] {
                ClickLog(dlg, false);
                EXPECT_EQ(dlg.LogFlag(), 0);
                EXPECT_FALSE(dlg.LogOpen());
                closed.emplace_back(dlg.LogPath(), ReadFileBytes(dlg.LogPath()));
            });
        }
    }
    script.Do("exit with the log on, confirmed", [&] {
        wxTEST_DIALOG(dlg.OnCancel(), wxExpectModal<wxMessageDialog>(wxID_OK));
        EXPECT_FALSE(dlg.LogOpen());
        closed.emplace_back(dlg.LogPath(), ReadFileBytes(dlg.LogPath()));
    });
    EXPECT_EQ(script.Run(dlg), kIdCancel);
    dlg.ShutdownThreads();

    EXPECT_EQ(dlg.clockSets, kFiles); // an RMC was decoded before each switching-on
    ASSERT_EQ(closed.size(), static_cast<size_t>(kFiles));
    for (size_t i = 0; i < closed.size(); ++i) {
        const auto& [path, contents] = closed[i];
        SCOPED_TRACE(path.filename().string());
        EXPECT_EQ(ReadFileBytes(path), contents) << "written after the close";
        EXPECT_TRUE(IsRunOf(contents, shown, 40, i + 1 == closed.size()));
    }
}

TEST_F(LogDialogTest, AFolderThatCannotBeWrittenShowsTheMessageAndClearsTheBox) {
    // Root writes anywhere: a missing program folder is what fails here. No receiver either.
    ScopedEnv home("ZENITHPROBE_HOME", (m_dir.Path() / "missing").c_str());
    TestDlg dlg;
    MessageBoxAnswers answers({wxID_OK, wxID_OK, wxID_OK});
    ModalScript script;
    script.Do("switch on", [&] {
        dlg.FeedParser(
            NmeaSentence("GPRMC,120000.00,A,4807.0380,N,01131.0000,E,0.0,0.0,140305,,,A"));
        ASSERT_EQ(dlg.RmcCount(), 1);
        ClickLog(dlg, true);
        ASSERT_EQ(answers.Boxes().size(), 2u); // "Unable to open COM-port" came first
        EXPECT_EQ(answers.Boxes()[1].text, "Unable to create file");
        EXPECT_TRUE(answers.Boxes()[1].style & wxICON_ERROR);
        EXPECT_FALSE(answers.Boxes()[1].style & wxCANCEL);
        EXPECT_FALSE(BoxChecked(dlg));
        EXPECT_EQ(dlg.LogFlag(), 0);
        EXPECT_FALSE(dlg.LogOpen());
        EXPECT_EQ(dlg.RmcCount(), 0); // reset all the same
        wxTEST_DIALOG(dlg.OnCancel(), wxExpectModal<wxMessageDialog>(wxID_OK));
    });
    EXPECT_EQ(script.Run(dlg), kIdCancel);
}
