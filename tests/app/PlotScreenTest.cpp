// A record's plot as the tester sees it, read back from the X server's screen: the dots in their
// colours and dark pixels where the drawing has a label (a renderer that drops text leaves the
// title white), at the window's first size and scaled with it; reached from the campaign's
// summary box ("Show plot") and from Options "Records...". Runs on a bare X server and under
// openbox (CMakeLists.txt).
#include "PlotDlg.h"
#include "ReceiverSimulator.h"
#include "RecordsDlg.h"
#include "ResourceIds.h"
#include "ScreenCheck.h"
#include "TestSupport.h"
#include "WxTestSupport.h"
#include "ZenithprobeDlg.h"

#include <chrono>
#include <cstdlib>
#include <gtest/gtest.h>
#include <memory>
#include <wx/evtloop.h>
#include <wx/msgdlg.h>

namespace fs = std::filesystem;

namespace {

// The drawing's colours: a passed run's dot.
const wxColour kPassedDot(0x2e, 0x9e, 0x44);

template <typename T> T* OpenDialog() {
    for (wxWindow* w : wxTopLevelWindows) {
        if (auto* d = dynamic_cast<T*>(w); d != nullptr && d->IsShown() && !d->IsEnded()) {
            return d;
        }
    }
    return nullptr;
}

// A rectangle of the drawing (its own units) on the screen: through the window's fit.
wxRect OnScreen(const CPlotDlg& plot, const wxRect& screen, double x0, double y0, double x1,
                double y1) {
    const wxRect2DDouble fit = plot.DrawingRect();
    const double sx = fit.m_width / plot.NaturalSize().x;
    const double sy = fit.m_height / plot.NaturalSize().y;
    const wxPoint a(screen.x + int(fit.m_x + x0 * sx), screen.y + int(fit.m_y + y0 * sy));
    const wxPoint b(screen.x + int(fit.m_x + x1 * sx), screen.y + int(fit.m_y + y1 * sy));
    return wxRect(a, b);
}

struct Seen {
    wxSize size;
    int dots = 0;      // pixels of the dot colour
    int titleDark = 0; // dark pixels where the title is
    int blankDark = 0; // dark pixels beside it, where the drawing has nothing
};

// Pixels of image for which is(r, g, b) holds.
template <typename Pred> int Count(const wxImage& image, Pred is) {
    int n = 0;
    for (int y = 0; image.IsOk() && y < image.GetHeight(); ++y) {
        for (int x = 0; x < image.GetWidth(); ++x) {
            n += is(int(image.GetRed(x, y)), int(image.GetGreen(x, y)), int(image.GetBlue(x, y)));
        }
    }
    return n;
}
int CountColour(const wxImage& image, const wxColour& c) {
    return Count(image, [&](int r, int g, int b) {
        return r == c.Red() && g == c.Green() && b == c.Blue();
    });
}
int CountDark(const wxImage& image) {
    return Count(image, [](int r, int g, int b) { return r < 96 && g < 96 && b < 96; });
}

// What the screen shows of the plot window; titleBox and blankBox in the drawing's units.
// Reading a whole window back takes longer than the script's tick: looked at most every 250 ms,
// or the toolkit's redraw (a lower priority than timers) would never get its turn.
std::optional<Seen> Look(const CPlotDlg& plot, const wxRect2DDouble& titleBox,
                         const wxRect2DDouble& blankBox) {
    static auto last = std::chrono::steady_clock::time_point();
    const auto now = std::chrono::steady_clock::now();
    if (now - last < std::chrono::milliseconds(250)) {
        return std::nullopt;
    }
    last = now;
    const std::optional<wxRect> screen = FindScreenWindow(plot.GetTitle().utf8_string());
    if (!screen || screen->GetSize() != plot.GetClientSize()) {
        return std::nullopt; // not mapped yet, or not at its new size yet
    }
    const wxImage whole = GrabScreen(*screen);
    // Mapped but not yet painted: the drawing's white background is most of it.
    const PixelCounts counts = CountPixels(whole);
    if (const char* keep = std::getenv("ZP_TEST_KEEP_PLOT")) {
        whole.SaveFile(keep, wxBITMAP_TYPE_PNG);
    }
    if (counts.Share(counts.white) < 0.5) {
        return std::nullopt;
    }
    Seen s;
    s.size = screen->GetSize();
    s.dots = CountColour(whole, kPassedDot);
    auto dark = [&](const wxRect2DDouble& r) {
        return CountDark(
            GrabScreen(OnScreen(plot, *screen, r.m_x, r.m_y, r.GetRight(), r.GetBottom())));
    };
    s.titleDark = dark(titleBox);
    s.blankDark = dark(blankBox);
    return s;
}

class PlotScreenTest : public ::testing::Test {
protected:
    void StartReceiver(bool stationary) {
        WriteFileBytes(m_home / "Zenithprobe.ini", "[Zenithprobe]\r\nBAUD_RATE=115200\r\n");
        SimOptions o;
        if (stationary) {
            o.stationary = true;
            o.noiseHorizontalM = 2;
            o.noiseVerticalM = 3;
        }
        o.portsDir = m_ports;
        o.baud = 115200;
        o.rateHz = 10;
        o.seed = 5;
        o.ttffCold = {0.6, 0.9};
        o.notice = [](std::string_view) {};
        m_sim = std::make_unique<ReceiverSimulator>(o);
        ASSERT_TRUE(m_sim->Start()) << m_sim->Error();
    }

    void TearDown() override {
        if (m_sim) {
            m_sim->Stop();
        }
    }

    TempDir m_dir;
    fs::path m_ports = m_dir.Path() / "ports";
    fs::path m_home = m_dir.Path() / "home/";
    bool m_made = fs::create_directories(m_ports) && fs::create_directories(m_home);
    ScopedEnv m_portsEnv{"ZENITHPROBE_PORTS", m_ports.c_str()};
    ScopedEnv m_homeEnv{"ZENITHPROBE_HOME", m_home.c_str()};
    std::unique_ptr<ReceiverSimulator> m_sim;
};

// The TTFF plot's title, "TTFF per run", centred at (400, 24) in 16 px type; nothing to its left.
const wxRect2DDouble kTtffTitle(350, 9, 100, 20);
const wxRect2DDouble kTtffBlank(100, 6, 200, 22);

} // namespace

TEST_F(PlotScreenTest, PlotTtffCampaignFromSummaryAndRecords) {
    StartReceiver(false);
    CZenithprobeDlg dlg;
    dlg.SetCampaignSettle(1);
    // The summary box: "Show plot"; then the exit's question.
    MessageBoxAnswers boxes({wxID_HELP, wxID_OK});
    CPlotDlg* plot = nullptr;
    CRecordsDlg* records = nullptr;
    // A dialog's end is its event loop's return: the next one may end only after that.
    wxEventLoopBase* mainLoop = nullptr;
    wxEventLoopBase* recordsLoop = nullptr;
    auto back = [](wxEventLoopBase*& loop) {
        return [&loop] { return wxEventLoopBase::GetActive() == loop; };
    };
    std::optional<Seen> first;
    std::optional<Seen> small;
    std::optional<Seen> again;
    ModalScript script;
    script
        .Do("three cold starts",
            [&] {
                mainLoop = wxEventLoopBase::GetActive();
                EXPECT_TRUE(dlg.StartCampaignRuns({kStartCold}, 3, 0));
            })
        .Wait("the plot from the summary box",
              [&] { return (plot = OpenDialog<CPlotDlg>()) != nullptr; })
        .Wait("the plot on the screen",
              [&] { return (first = Look(*plot, kTtffTitle, kTtffBlank)).has_value(); })
        .Do("half the size", [&] { plot->SetClientSize(plot->GetClientSize() / 2); })
        .Wait("the smaller plot painted", [&] { return plot->DrawnSize() == first->size / 2; })
        .Wait("the smaller plot on the screen",
              [&] {
                  return (small = Look(*plot, kTtffTitle, kTtffBlank)).has_value() &&
                         small->size == first->size / 2;
              })
        .Do("close the plot", [&] { plot->EndDialog(kIdCancel); })
        .Wait("the plot gone", back(mainLoop))
        .Do("Records...",
            [&] {
                wxCommandEvent menu(wxEVT_MENU, MenuCommandId(IDM_RECORDS));
                dlg.GetEventHandler()->QueueEvent(menu.Clone());
            })
        .Wait("the list", [&] { return (records = OpenDialog<CRecordsDlg>()) != nullptr; })
        .Do("one campaign; Show plot",
            [&] {
                recordsLoop = wxEventLoopBase::GetActive();
                EXPECT_EQ(records->Records().size(), 1u);
                const RecordCells cells = FormatRecord(records->Records().at(0));
                EXPECT_EQ(cells.kind, "cold");
                EXPECT_EQ(cells.runs, "3");
                EXPECT_EQ(cells.result, "100 %");
                records->CallAfter([records] { records->OnOK(); });
            })
        .Wait("the plot from the list", [&] { return (plot = OpenDialog<CPlotDlg>()) != nullptr; })
        .Wait("that plot on the screen",
              [&] { return (again = Look(*plot, kTtffTitle, kTtffBlank)).has_value(); })
        .Do("close the plot", [&] { plot->EndDialog(kIdCancel); })
        .Wait("back at the list", back(recordsLoop))
        .Do("close the list", [&] { records->EndDialog(kIdCancel); })
        .Wait("the list gone", back(mainLoop))
        .Do("exit", [&] { dlg.OnCancel(); });
    script.Run(dlg);
    dlg.ShutdownThreads();

    ASSERT_TRUE(first && small && again);
    EXPECT_EQ(first->size, wxSize(800, 660)) << "the drawing's own size at scale 1";
    // Three passed runs and the legend's dot, filled green inside the kind's outline: about 25
    // pixels each at full size.
    EXPECT_GT(first->dots, 4 * 20);
    EXPECT_GT(first->titleDark, 40);
    EXPECT_EQ(first->blankDark, 0);
    // Half the size, a quarter of the dot pixels: the drawing scaled, not cut.
    EXPECT_GT(small->dots, first->dots / 8);
    EXPECT_LT(small->dots, first->dots / 2);
    EXPECT_GT(small->titleDark, 10) << small->dots << " dots";
    EXPECT_EQ(small->blankDark, 0);
    EXPECT_EQ(again->dots, first->dots);
    EXPECT_EQ(again->titleDark, first->titleDark);
}

namespace {

// Blue dominant: the static plot's epoch dots (#1f5fbf), blended into white at their edges.
int CountBluish(const wxImage& image) {
    return Count(image, [](int r, int g, int b) { return b > r + 60 && b > g + 30; });
}
// Green dominant: the CEP50 circle (#2e9e44).
int CountGreenish(const wxImage& image) {
    return Count(image, [](int r, int g, int b) { return g > r + 60 && g > b + 40; });
}

// The static plot's title, "Deviation from the mean position", centred at (400, 24); nothing to
// its left; the deviation square (200, 50) to (640, 490).
const wxRect2DDouble kStaticTitle(290, 9, 220, 20);
const wxRect2DDouble kStaticBlank(20, 6, 180, 22);
const wxRect2DDouble kSquare(202, 52, 436, 436);

} // namespace

// The dialog's Static choice as the tester runs it: a few seconds of a stationary receiver
// with noise, then its plot from the summary box. The list of records reads its JSON back.
TEST_F(PlotScreenTest, PlotStaticRunFromTheDialog) {
    StartReceiver(true);
    CZenithprobeDlg dlg;
    MessageBoxAnswers boxes({wxID_HELP, wxID_OK});
    CPlotDlg* plot = nullptr;
    wxEventLoopBase* mainLoop = nullptr;
    std::optional<Seen> seen;
    int dots = 0;
    int cep50 = 0;
    ModalScript script;
    script
        .Do("a static run of 3 s",
            [&] {
                mainLoop = wxEventLoopBase::GetActive();
                EXPECT_TRUE(dlg.StartStaticRun(3));
            })
        .Wait("the plot from the summary box",
              [&] { return (plot = OpenDialog<CPlotDlg>()) != nullptr; })
        .Wait("the plot on the screen",
              [&] { return (seen = Look(*plot, kStaticTitle, kStaticBlank)).has_value(); })
        .Do("its dots and circle",
            [&] {
                const std::optional<wxRect> screen =
                    FindScreenWindow(plot->GetTitle().utf8_string());
                ASSERT_TRUE(screen.has_value());
                const wxImage square =
                    GrabScreen(OnScreen(*plot, *screen, kSquare.m_x, kSquare.m_y,
                                        kSquare.GetRight(), kSquare.GetBottom()));
                dots = CountBluish(square);
                cep50 = CountGreenish(square);
                plot->EndDialog(kIdCancel);
            })
        .Wait("the plot gone", [&] { return wxEventLoopBase::GetActive() == mainLoop; })
        .Do("exit", [&] { dlg.OnCancel(); });
    script.Run(dlg);
    dlg.ShutdownThreads();

    ASSERT_GE(boxes.Texts().size(), 1u);
    EXPECT_NE(boxes.Texts()[0].Find("Static run ended"), wxNOT_FOUND) << boxes.Texts()[0];
    ASSERT_TRUE(seen.has_value());
    EXPECT_GT(seen->titleDark, 40);
    EXPECT_EQ(seen->blankDark, 0);
    // About 30 epochs of 1.5-unit dots at the window's scale, and the CEP50 circle around them.
    EXPECT_GT(dots, 20);
    EXPECT_GT(cep50, 50);

    const std::vector<CampaignRecordInfo> records = ListCampaignRecords(m_home);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].problem, "");
    EXPECT_EQ(records[0].kind, "static");
    EXPECT_GT(records[0].runs, 20);
    EXPECT_TRUE(records[0].cep50M.has_value());
}
