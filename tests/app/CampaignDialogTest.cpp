// A campaign from the main dialog under Xvfb against the simulated receiver (115200 baud, ten
// epochs a second): the reader feeds it, field 1069 shows the progress, the menu item turns into
// "Stop campaign" and back, and the summary box names the record, whose times match the
// simulator's truth (the reader wakes on arrival instead of its fixed pass).
#include "CampaignDlg.h"
#include "ReceiverSimulator.h"
#include "ResourceIds.h"
#include "TestSupport.h"
#include "WxTestSupport.h"
#include "ZenithprobeDlg.h"

#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <sstream>
#include <wx/app.h>
#include <wx/msgdlg.h>
#include <wx/radiobut.h>
#include <wx/testing.h>
#include <wx/textctrl.h>

namespace fs = std::filesystem;

namespace {

class TestDlg : public CZenithprobeDlg {
public:
    // The reader calls virtual members: it stops before the base class's destructor begins.
    ~TestDlg() override { ShutdownThreads(); }
    wxString Text(int id) const { return GetDlgItemText(id); }
    wxString CampaignItem() const {
        return SoftKeyBar()->Popup(1)->FindItem(MenuCommandId(IDM_CAMPAIGN))->GetItemLabelText();
    }
};

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::stringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

} // namespace

TEST(CampaignDialogTest, ThreeColdStartsReachTheSummary) {
    TempDir dir;
    const fs::path ports = dir.Path() / "ports";
    const fs::path home = dir.Path() / "home";
    fs::create_directories(ports);
    fs::create_directories(home);
    ScopedEnv portsEnv("ZENITHPROBE_PORTS", ports.c_str());
    ScopedEnv homeEnv("ZENITHPROBE_HOME", home.c_str());
    WriteFileBytes(home / "Zenithprobe.ini", "[Zenithprobe]\r\nBAUD_RATE=115200\r\n");
    SimOptions o;
    o.portsDir = ports;
    o.baud = 115200;
    o.rateHz = 10;
    o.seed = 3;
    o.ttffCold = {0.6, 0.9};
    o.truthFile = dir.Path() / "truth.jsonl";
    o.notice = [](std::string_view) {};
    ReceiverSimulator sim(o);
    ASSERT_TRUE(sim.Start()) << sim.Error();

    TestDlg dlg;
    dlg.SetCampaignSettle(1);
    MessageBoxAnswers boxes({wxID_OK, wxID_OK});
    ModalScript script;
    script
        .Do("start three cold starts",
            [&] {
                EXPECT_EQ(dlg.CampaignItem(), "Campaign...");
                EXPECT_TRUE(dlg.StartCampaignRuns({kStartCold}, 3, 0));
                EXPECT_EQ(dlg.CampaignItem(), "Stop campaign");
            })
        .Wait("progress in 1069", [&] { return dlg.Text(IDC_START_KIND) == "cold 2/3"; })
        .Wait("the summary box", [&] { return !boxes.Boxes().empty(); })
        .Do("the item is back", [&] { EXPECT_EQ(dlg.CampaignItem(), "Campaign..."); })
        .Do("exit", [&] { dlg.OnCancel(); });
    script.Run(dlg);
    dlg.ShutdownThreads();
    sim.Stop();

    ASSERT_GE(boxes.Texts().size(), 1u);
    const std::string summary = boxes.Texts()[0].utf8_string();
    EXPECT_NE(summary.find("Campaign passed"), std::string::npos) << summary;
    EXPECT_NE(summary.find("campaign_"), std::string::npos) << summary;

    fs::path csv;
    for (const auto& e : fs::directory_iterator(home)) {
        csv = e.path().extension() == ".csv" ? e.path() : csv;
    }
    const std::vector<std::string> rows = Lines(ReadFileBytes(csv));
    const std::vector<std::string> truth = Lines(ReadFileBytes(dir.Path() / "truth.jsonl"));
    ASSERT_EQ(rows.size(), 4u); // header and three runs
    ASSERT_GE(truth.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(rows[i + 1]);
        std::vector<std::string> cells;
        std::stringstream in(rows[i + 1]);
        for (std::string cell; std::getline(in, cell, ',');) {
            cells.push_back(cell);
        }
        ASSERT_EQ(cells.size(), 25u);
        EXPECT_EQ(cells[3], "passed");
        EXPECT_EQ(cells[17], "reader-wake");
        auto value = [&](const char* key) {
            const size_t at = truth[i].find(std::string("\"") + key + "\":");
            return std::atof(truth[i].c_str() + at + std::strlen(key) + 3);
        };
        // Within one epoch and 20 ms: a fixed 500 ms pass would be up to half a second off.
        EXPECT_NEAR(std::atof(cells[5].c_str()), (value("fix_s") - value("loss_s")) * 1000, 120.0);
    }
}

namespace {

// Catches the Campaign dialog as it opens (it runs; message boxes are left to others).
class OpenedDialogs : public wxModalDialogHook {
public:
    OpenedDialogs() { Register(); }
    ~OpenedDialogs() override { Unregister(); }
    CDialogBase* Last() const { return m_last; }

protected:
    int Enter(wxDialog* dialog) override {
        if (auto* own = dynamic_cast<CCampaignDlg*>(dialog)) {
            m_last = own;
        }
        return wxID_NONE;
    }
    void Exit(wxDialog* dialog) override {
        if (dialog == m_last) {
            m_last = nullptr;
        }
    }

private:
    CDialogBase* m_last = nullptr;
};

void Command(wxEvtHandler* target, wxEventType type, int id, wxWindow* control = nullptr) {
    wxCommandEvent event(type, id);
    event.SetEventObject(control);
    target->ProcessEvent(event);
}

} // namespace

// The Campaign dialog's own controls (kind, runs, time-out, Start) and the menu's Stop; a
// receiver whose port closes during a campaign gives port-lost and a box that says so.
TEST(CampaignDialogTest, TheDialogsControlsStartAndStopIt) {
    struct Row {
        const char* label;
        double hangupAfterS; // < 0: never
        const char* box;     // in the summary box
        const char* verdict; // of the last row
    } rows[] = {
        {"stopped from the menu", -1, "Campaign ended", ""},
        {"the port closes", 2.0, "The port closed during the campaign", "port-lost"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.label);
        TempDir dir;
        const fs::path ports = dir.Path() / "ports";
        const fs::path home = dir.Path() / "home";
        fs::create_directories(ports);
        fs::create_directories(home);
        ScopedEnv portsEnv("ZENITHPROBE_PORTS", ports.c_str());
        ScopedEnv homeEnv("ZENITHPROBE_HOME", home.c_str());
        WriteFileBytes(home / "Zenithprobe.ini", "[Zenithprobe]\r\nBAUD_RATE=115200\r\n");
        SimOptions o;
        o.portsDir = ports;
        o.baud = 115200;
        o.rateHz = 10;
        o.seed = 4;
        o.ttffWarm = {0.6, 0.9};
        o.hangupAfterS = r.hangupAfterS;
        o.notice = [](std::string_view) {};
        ReceiverSimulator sim(o);
        ASSERT_TRUE(sim.Start()) << sim.Error();

        TestDlg dlg;
        dlg.SetCampaignSettle(1);
        OpenedDialogs opened;
        MessageBoxAnswers boxes({wxID_OK, wxID_OK}); // the summary, the exit
        ModalScript script;
        script
            .Do("Options > Campaign...",
                [&] {
                    wxTheApp->CallAfter(
                        [&] { Command(&dlg, wxEVT_MENU, MenuCommandId(IDM_CAMPAIGN)); });
                })
            .Wait("the Campaign dialog", [&] { return opened.Last() != nullptr; })
            .Do("warm, 3 runs, time-out by the criterion, Start",
                [&] {
                    CDialogBase* c = opened.Last();
                    auto* warm = dynamic_cast<wxRadioButton*>(c->GetDlgItem(IDC_CAMPAIGN_WARM));
                    ASSERT_NE(warm, nullptr);
                    warm->SetValue(true);
                    dynamic_cast<wxTextCtrl*>(c->GetDlgItem(IDC_CAMPAIGN_RUNS))->SetValue("3");
                    dynamic_cast<wxTextCtrl*>(c->GetDlgItem(IDC_CAMPAIGN_TIMEOUT))->SetValue("0");
                    Command(c, wxEVT_BUTTON, kIdOk, c->GetDlgItem(kIdOk));
                })
            .Wait("the first warm run", [&] { return dlg.Text(IDC_START_KIND) == "warm 1/3"; })
            .Do("Stop from the menu (the port may close first)",
                [&] {
                    if (r.hangupAfterS < 0) {
                        EXPECT_EQ(dlg.CampaignItem(), "Stop campaign");
                        Command(&dlg, wxEVT_MENU, MenuCommandId(IDM_CAMPAIGN));
                    }
                })
            .Wait("the summary box", [&] { return !boxes.Boxes().empty(); })
            .Do("exit", [&] { dlg.OnCancel(); });
        script.Run(dlg);
        dlg.ShutdownThreads();
        sim.Stop();

        ASSERT_GE(boxes.Texts().size(), 1u);
        const std::string summary = boxes.Texts()[0].utf8_string();
        EXPECT_NE(summary.find(r.box), std::string::npos) << summary;
        fs::path json;
        fs::path csv;
        for (const auto& e : fs::directory_iterator(home)) {
            json = e.path().extension() == ".json" ? e.path() : json;
            csv = e.path().extension() == ".csv" ? e.path() : csv;
        }
        const std::string settings = ReadFileBytes(json);
        EXPECT_NE(settings.find("\"kinds\": [\"warm\"]"), std::string::npos) << settings;
        EXPECT_NE(settings.find("\"runs\": 3,"), std::string::npos);
        // Time-out 0: 3 x the 35 s warm criterion.
        EXPECT_NE(settings.find("\"warm\": 105, "), std::string::npos);
        const std::vector<std::string> lines = Lines(ReadFileBytes(csv));
        EXPECT_LT(lines.size(), 4u); // not every run: stopped or cut
        if (*r.verdict != '\0') {
            ASSERT_GE(lines.size(), 2u);
            EXPECT_NE(lines.back().find(r.verdict), std::string::npos) << lines.back();
        }
    }
}
