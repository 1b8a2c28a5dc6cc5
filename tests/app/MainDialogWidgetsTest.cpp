// The main dialog's pictures: the satellite rows worked out from the receiver state, and one
// screenshot of the whole dialog against the simulated receiver.
#include "Debug.h"
#include "ReceiverSimulator.h"
#include "ResourceBitmaps.h"
#include "ResourceIds.h"
#include "Screenshot.h"
#include "TestSupport.h"
#include "WxTestSupport.h"
#include "ZenithprobeDlg.h"

#include <chrono>
#include <gtest/gtest.h>
#include <wx/image.h>
#include <wx/imagpng.h>

namespace fs = std::filesystem;

namespace {

class TestDlg : public CZenithprobeDlg {
public:
    // The reader calls virtual members: it stops before the base class's destructor begins.
    ~TestDlg() override { ShutdownThreads(); }
    using CZenithprobeDlg::UpdateHistogram;

    // Puts satellites (prn, snr, in the fix) into the live receiver state.
    void SetSatellites(const std::vector<std::tuple<uint16_t, uint16_t, bool>>& sats) {
        std::lock_guard lock(g_csParser);
        m_parser = CNmeaParser();
        int slot = 0;
        for (size_t i = 0; i < sats.size(); ++i) {
            const auto [prn, snr, used] = sats[i];
            m_parser.m_Satellites[i] = SatelliteInfo{prn, snr, used ? 1 : 0, 45, 45};
            if (used) {
                m_parser.m_wGSAPrn[slot++] = prn;
            }
        }
        m_parser.m_wGSVSatellites = static_cast<uint16_t>(sats.size());
    }
    wxString Row(int r) const {
        return GetDlgItemText(IDC_PRN0 + r) + "/" + GetDlgItemText(IDC_SNR0 + r);
    }
    wxImage Strip(int r) const { return m_bars[r]->CopyImage(); }
    const CSkyPlotWnd* Plot() const { return m_plot; }
    wxImage PlotImage() const { return m_plot->CopyImage(); }
    wxWindow* Banner() const { return m_stcBanner; }
    wxWindow* Cold() const { return m_btnCold; }
};

uint32_t At(const wxImage& image, int x, int y) {
    return (static_cast<uint32_t>(image.GetRed(x, y)) << 16) |
           (static_cast<uint32_t>(image.GetGreen(x, y)) << 8) | image.GetBlue(x, y);
}

// The colour of the newest column of a strip, at its bottom row.
uint32_t NewestColumn(const wxImage& strip) {
    return At(strip, strip.GetWidth() - 3, strip.GetHeight() - 1);
}

bool Contains(const wxImage& image, const wxRect& area, uint32_t colour) {
    for (int y = area.GetTop(); y <= area.GetBottom(); ++y) {
        for (int x = area.GetLeft(); x <= area.GetRight(); ++x) {
            if (At(image, x, y) == colour) {
                return true;
            }
        }
    }
    return false;
}

class MainDialogWidgetsTest : public ::testing::Test {
protected:
    TempDir m_dir;
    fs::path m_ports = m_dir.Path() / "ports";
    fs::path m_home = m_dir.Path() / "home";
    bool m_made = fs::create_directories(m_ports) && fs::create_directories(m_home);
    ScopedEnv m_portsEnv{"ZENITHPROBE_PORTS", m_ports.c_str()};
    ScopedEnv m_homeEnv{"ZENITHPROBE_HOME", m_home.c_str()};
};

} // namespace

// Without a port the reader never touches the parser, so the test alone sets it.
TEST_F(MainDialogWidgetsTest, UsedSatellitesTakeTheTopRows) {
    TestDlg dlg;
    MessageBoxAnswers answers({wxID_OK, wxID_OK});
    DebugCapture debug;
    ModalScript script;
    script
        .Do("four satellites",
            [&] {
                dlg.SetSatellites({{5, 40, true}, {12, 25, false}, {29, 47, true}, {2, 0, false}});
                dlg.UpdateHistogram();
                EXPECT_EQ(dlg.Row(0), "5/40");
                EXPECT_EQ(dlg.Row(1), "29/47");
                EXPECT_EQ(dlg.Row(2), "12/25");
                EXPECT_EQ(dlg.Row(3), "2/0");
                EXPECT_EQ(NewestColumn(dlg.Strip(0)), 0x00FF00u);
                EXPECT_EQ(NewestColumn(dlg.Strip(1)), 0x00FF00u);
                EXPECT_EQ(NewestColumn(dlg.Strip(2)), 0xC0C0C0u);
                EXPECT_EQ(NewestColumn(dlg.Strip(3)), 0x000000u) << "SNR 0: empty column";
                for (int r = 4; r < 12; ++r) {
                    EXPECT_EQ(dlg.Row(r), "/") << "row " << r << " cleared";
                    EXPECT_EQ(NewestColumn(dlg.Strip(r)), 0x000000u) << "row " << r;
                }
            })
        .Do("thirteen satellites",
            [&] {
                std::vector<std::tuple<uint16_t, uint16_t, bool>> sats;
                for (uint16_t prn = 1; prn <= 13; ++prn) {
                    sats.emplace_back(prn, 30, false);
                }
                dlg.SetSatellites(sats);
                debug.Clear();
                dlg.UpdateHistogram();
                EXPECT_EQ(dlg.Row(11), "12/30");
                const std::string text = debug.Text();
                EXPECT_NE(text.find("CZenithprobeDlg::UpdateHistogram(): histogramPos=12!\r\n"),
                          std::string::npos)
                    << text;
                EXPECT_EQ(text.find("histogramPos=13"), std::string::npos);
            })
        .Do("none in view",
            [&] {
                dlg.SetSatellites({});
                dlg.UpdateHistogram();
                for (int r = 0; r < 12; ++r) {
                    EXPECT_EQ(dlg.Row(r), "/") << "row " << r;
                    EXPECT_EQ(NewestColumn(dlg.Strip(r)), 0x000000u) << "row " << r;
                }
            })
        .Do("exit", [&] { dlg.Shutdown(); });
    script.Run(dlg);
}

TEST_F(MainDialogWidgetsTest, ScreenshotAgainstTheSimulatedReceiver) {
    SimOptions o;
    o.portsDir = m_ports;
    o.baud = 4800;
    o.seed = 1;
    o.notice = [](std::string_view) {};
    ReceiverSimulator sim(o);
    ASSERT_TRUE(sim.Start()) << sim.Error();

    if (wxImage::FindHandler(wxBITMAP_TYPE_PNG) == nullptr) {
        wxImage::AddHandler(new wxPNGHandler);
    }
    TestDlg dlg;
    const fs::path png = m_dir.Path() / "main.png";
    auto lastShot = std::chrono::steady_clock::now();
    wxImage shot;
    ModalScript script;
    script
        // Satellites in the fix: blue discs on the plot, green columns in the strips (the
        // receiver needs a few refreshes to get there). First in the widgets' own images...
        .Wait("satellites in the fix drawn",
              [&] {
                  const wxImage plot = dlg.PlotImage();
                  return plot.IsOk() && NewestColumn(dlg.Strip(0)) == 0x00FF00u &&
                         Contains(plot, wxRect(plot.GetSize()), 0x0000FFu);
              })
        // ...then on the screen. A screenshot is slow under the sanitizers: one every 200 ms
        // leaves the event loop time to paint.
        .Wait("the same on the screen",
              [&] {
                  const auto now = std::chrono::steady_clock::now();
                  if (now - lastShot < std::chrono::milliseconds(200)) {
                      return false;
                  }
                  lastShot = now;
                  if (!SaveWindowScreenshot(&dlg, png.string()) ||
                      !shot.LoadFile(png.string(), wxBITMAP_TYPE_PNG)) {
                      return false;
                  }
                  const wxRect strips = dlg.GetItemClientRect(IDC_BAR0);
                  return Contains(shot, dlg.Plot()->GetRect(), 0x0000FFu) &&
                         Contains(shot,
                                  wxRect(strips.x, strips.y, strips.width, strips.height * 12),
                                  0x00FF00u);
              })
        .Do("the rest of the screenshot",
            [&] {
                ASSERT_EQ(shot.GetSize(), dlg.GetClientSize());

                // The banner at the hidden static's place, pixel for pixel.
                const wxImage banner = LoadResourceBitmap(131).ConvertToImage();
                const wxPoint b = dlg.Banner()->GetPosition();
                for (const wxPoint p : {wxPoint(10, 11), wxPoint(50, 11), wxPoint(99, 21)}) {
                    EXPECT_EQ(At(shot, b.x + p.x, b.y + p.y), At(banner, p.x, p.y));
                }
                // The Cold button took its image's size and shows it.
                EXPECT_EQ(dlg.Cold()->GetSize(), wxSize(29, 26));
                const wxImage cold = LoadResourceBitmap(132).ConvertToImage();
                const wxPoint c = dlg.Cold()->GetPosition();
                EXPECT_EQ(At(shot, c.x + 14, c.y + 13), At(cold, 14, 13));
                EXPECT_NE(dlg.GetDlgItemText(IDC_PRN0), "0") << "row 0 shows a satellite";
            })
        .Do("exit", [&] { dlg.Shutdown(); });
    script.Run(dlg);
}
