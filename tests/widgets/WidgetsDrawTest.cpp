// The drawn widgets off screen, pixel by pixel: strips, sky plot, result face, image buttons,
// caption label. Runs on a private Xvfb; the pictures are read back from the widgets' images.
#include "CaptionLabel.h"
#include "HistogramCtrl.h"
#include "ImageButton.h"
#include "ResourceBitmaps.h"
#include "ResultFace.h"
#include "SkyPlotWnd.h"
#include "WxTestSupport.h"

#include <gtest/gtest.h>
#include <memory>
#include <wx/dcmemory.h>
#include <wx/frame.h>
#include <wx/panel.h>
#include <wx/settings.h>

namespace {

// Colours as 0xRRGGBB, so that a failure prints them.
uint32_t Rgb(const wxColour& c) {
    return (static_cast<uint32_t>(c.Red()) << 16) | (static_cast<uint32_t>(c.Green()) << 8) |
           c.Blue();
}
uint32_t At(const wxImage& image, int x, int y) {
    return Rgb(wxColour(image.GetRed(x, y), image.GetGreen(x, y), image.GetBlue(x, y)));
}

// Draws into a fresh w x h white bitmap and returns the picture.
template <typename Draw> wxImage Offscreen(int w, int h, Draw draw) {
    wxBitmap bitmap(w, h, 24);
    {
        wxMemoryDC dc(bitmap);
        dc.SetBackground(*wxWHITE_BRUSH);
        dc.Clear();
        draw(dc);
    }
    return bitmap.ConvertToImage();
}

// A frame with a panel: a frame would stretch a sole child over its whole client area.
struct Frame {
    Frame()
        : top(new wxFrame(nullptr, wxID_ANY, "widgets", wxPoint(0, 0), wxSize(300, 300))),
          frame(new wxPanel(top)) {}
    ~Frame() { top->Destroy(); }
    Frame(const Frame&) = delete;
    Frame& operator=(const Frame&) = delete;
    wxFrame* top;
    wxPanel* frame;
};

constexpr uint32_t kBlack = 0x000000;
constexpr uint32_t kWhite = 0xFFFFFF;
constexpr uint32_t kGreen = 0x00FF00;
constexpr uint32_t kGrey = 0xC0C0C0;
constexpr uint32_t kDarkGrey = 0x808080;
constexpr uint32_t kBlue = 0x0000FF;
constexpr uint32_t kRed = 0xFF0000;

} // namespace

TEST(HistogramCtrl, ColumnsGrowFromTheBottomAndMoveLeftBy4) {
    Frame f;
    auto* strip = new CHistogramCtrl;
    ASSERT_TRUE(strip->Create(0x50000008, wxRect(0, 0, 42, 22), f.frame, 0));
    strip->SetClientSize(40, 20);
    strip->SetRange(10, 55);
    ASSERT_EQ(strip->CopyImage().GetSize(), wxSize(40, 20));

    strip->AddSample(30, CHistogramCtrl::kOtherColour); // 8 pixels high
    wxImage img = strip->CopyImage();
    EXPECT_EQ(At(img, 36, 19), kGrey);
    EXPECT_EQ(At(img, 38, 12), kGrey) << "top row of an 8-pixel column";
    EXPECT_EQ(At(img, 38, 11), kBlack);
    EXPECT_EQ(At(img, 39, 19), kBlack) << "the fourth column stays black";
    EXPECT_EQ(At(img, 35, 19), kBlack);

    EXPECT_EQ(strip->AddSample(99), 30u) << "returns the previous value";
    EXPECT_EQ(strip->Value(), 55u) << "clamped to the top";
    img = strip->CopyImage();
    EXPECT_EQ(At(img, 32, 12), kGrey) << "the grey column moved 4 to the left";
    EXPECT_EQ(At(img, 35, 12), kBlack);
    EXPECT_EQ(At(img, 36, 0), kGreen) << "full height";
    EXPECT_EQ(At(img, 38, 19), kGreen);

    strip->AddSample(3);
    EXPECT_EQ(strip->Value(), 10u) << "clamped to the bottom";
    img = strip->CopyImage();
    for (int y = 0; y < 20; ++y) {
        EXPECT_EQ(At(img, 37, y), kBlack) << "empty column, row " << y;
    }
    EXPECT_EQ(At(img, 33, 0), kGreen);
    EXPECT_EQ(At(img, 29, 19), kGrey);
}

TEST(SkyPlotWnd, BackgroundThenSatellitesAtTheirPlaces) {
    Frame f;
    auto* plot = new CSkyPlotWnd;
    ASSERT_TRUE(plot->Create(0x50000008, wxRect(0, 0, 122, 112), f.frame, 0));
    plot->SetClientSize(120, 110);
    EXPECT_FALSE(plot->HasImage());
    CNmeaParser none;
    plot->DrawSatellites(none); // before the first paint: nothing, no crash
    f.top->Show();
    ASSERT_TRUE(PumpUntil([&] { return plot->HasImage(); }));
    EXPECT_EQ(plot->PlotRect(), (CGeoRect{21, 16, 99, 94}));

    wxImage img = plot->CopyImage();
    ASSERT_EQ(img.GetSize(), wxSize(120, 110));
    EXPECT_EQ(At(img, 0, 0), kBlack);
    EXPECT_EQ(At(img, 30, 55), kWhite) << "horizontal line of the cross";
    EXPECT_EQ(At(img, 60, 80), kWhite) << "vertical line of the cross";
    EXPECT_EQ(At(img, 99, 55), kBlack) << "the line stops before its end point";

    CNmeaParser snap;
    snap.m_wGSVSatellites = 3;
    snap.m_Satellites[0] = SatelliteInfo{9, 40, 1, 0, 0};    // north horizon, in the fix
    snap.m_Satellites[1] = SatelliteInfo{10, 30, 0, 90, 0};  // east horizon
    snap.m_Satellites[2] = SatelliteInfo{3, 20, 0, 271, 90}; // zenith
    snap.m_wGSAPrn[0] = 9;
    plot->DrawSatellites(snap);
    img = plot->CopyImage();
    EXPECT_EQ(At(img, 52, 16), kBlue) << "PRN 9's disc around (60, 16)";
    EXPECT_EQ(At(img, 50, 16), kWhite) << "its white outline, 10 pixels left";
    EXPECT_EQ(At(img, 107, 55), kDarkGrey) << "PRN 10's disc around (99, 55)";
    EXPECT_EQ(At(img, 52, 58), kDarkGrey) << "PRN 3's disc at the centre";
    EXPECT_EQ(At(img, 30, 55), kWhite) << "background redrawn under the discs";
}

TEST(ResultFace, RingForAPassCrossForAFailOn60By40) {
    const wxRect face(0, 0, 60, 40);
    const wxImage pass = Offscreen(60, 40, [&](wxDC& dc) { DrawResultFace(dc, face, false, 1); });
    // The ring is the ellipse (20, 10, 40, 30) under a 5-pixel pen centred on it.
    EXPECT_EQ(At(pass, 20, 20), kBlue);
    EXPECT_EQ(At(pass, 18, 20), kBlue);
    EXPECT_EQ(At(pass, 16, 20), kWhite);
    EXPECT_EQ(At(pass, 30, 20), kWhite) << "white inside";
    EXPECT_EQ(At(pass, 39, 19), kBlue);
    EXPECT_EQ(At(pass, 30, 10), kBlue);
    EXPECT_EQ(At(pass, 30, 6), kWhite);

    const wxImage fail = Offscreen(60, 40, [&](wxDC& dc) { DrawResultFace(dc, face, false, 0); });
    EXPECT_EQ(At(fail, 20, 10), kRed);
    EXPECT_EQ(At(fail, 30, 20), kRed) << "the arms cross in the middle";
    EXPECT_EQ(At(fail, 40, 10), kRed);
    EXPECT_EQ(At(fail, 30, 12), kWhite) << "between the arms";
    EXPECT_EQ(At(fail, 20, 20), kWhite);

    const wxImage pending =
        Offscreen(60, 40, [&](wxDC& dc) { DrawResultFace(dc, face, false, -1); });
    EXPECT_EQ(At(pending, 30, 20), kWhite);
    EXPECT_EQ(At(pending, 20, 20), kWhite);
    const uint32_t shadow = Rgb(wxSystemSettings::GetColour(wxSYS_COLOUR_BTNSHADOW));
    const uint32_t dark = Rgb(wxSystemSettings::GetColour(wxSYS_COLOUR_3DDKSHADOW));
    EXPECT_EQ(At(pending, 0, 20), shadow) << "3-pixel frame centred on column 0";
    EXPECT_EQ(At(pending, 1, 20), Rgb(wxSystemSettings::GetColour(wxSYS_COLOUR_3DLIGHT)))
        << "raised: light edge inside the frame";
    EXPECT_EQ(At(pending, 59, 20), dark) << "raised: dark edge right";
    const wxImage pressed =
        Offscreen(60, 40, [&](wxDC& dc) { DrawResultFace(dc, face, true, -1); });
    EXPECT_EQ(At(pressed, 0, 20), dark) << "sunken: dark edge left";
}

TEST(ImageButton, ImagesByStateAndCount) {
    Frame f;
    auto* cold = new CImageButton;
    ASSERT_TRUE(cold->Create(f.frame, 1051, wxPoint(0, 0), wxSize(40, 20)));
    cold->LoadBitmaps(132, 135);
    ASSERT_TRUE(cold->HasImages());
    EXPECT_EQ(cold->ImageCount(), 2);
    EXPECT_EQ(cold->ImageIndexFor(kOdsSelected), 1);
    EXPECT_EQ(cold->ImageIndexFor(kOdsDisabled), 0) << "no disabled image: the normal one";
    EXPECT_EQ(cold->ImageIndexFor(0), 0);

    // The pressed draw puts bitmap 135 on the screen, and the first draw takes its size.
    const wxImage pressedArt = LoadResourceBitmap(135).ConvertToImage();
    const wxImage drawn = Offscreen(29, 26, [&](wxDC& dc) {
        CDrawItem item;
        item.CtlID = 1051;
        item.itemState = kOdsSelected;
        item.rcItem = wxRect(0, 0, 40, 20);
        item.pDC = &dc;
        item.control = cold;
        cold->DrawItem(item);
    });
    EXPECT_EQ(cold->GetSize(), wxSize(29, 26));
    for (const wxPoint p : {wxPoint(14, 13), wxPoint(5, 5), wxPoint(20, 20)}) {
        EXPECT_EQ(At(drawn, p.x, p.y), At(pressedArt, p.x, p.y)) << p.x << "," << p.y;
    }

    auto* single = new CImageButton;
    ASSERT_TRUE(single->Create(f.frame, 1052, wxPoint(0, 40), wxSize(40, 20)));
    single->LoadBitmaps(132);
    EXPECT_EQ(single->ImageIndexFor(kOdsSelected), 0) << "one image only";
    auto* none = new CImageButton;
    ASSERT_TRUE(none->Create(f.frame, 1053, wxPoint(0, 80), wxSize(40, 20)));
    none->LoadBitmaps(999);
    EXPECT_FALSE(none->HasImages());
}

TEST(ImageButton, FocusIsIgnoredWhenFocusDrawingIsOff) {
    Frame f;
    auto* button = new CImageButton;
    ASSERT_TRUE(button->Create(f.frame, 1051, wxPoint(0, 0), wxSize(40, 20)));
    button->SetDrawFocus(false);
    wxFocusEvent gained(wxEVT_SET_FOCUS, button->GetId());
    gained.SetEventObject(button);
    EXPECT_FALSE(button->GetEventHandler()->ProcessEvent(gained) && gained.GetSkipped());
    EXPECT_FALSE(button->HasFocusFlag());

    button->SetDrawFocus(true);
    wxFocusEvent again(wxEVT_SET_FOCUS, button->GetId());
    again.SetEventObject(button);
    button->GetEventHandler()->ProcessEvent(again);
    EXPECT_TRUE(button->HasFocusFlag());
    wxFocusEvent lost(wxEVT_KILL_FOCUS, button->GetId());
    lost.SetEventObject(button);
    button->GetEventHandler()->ProcessEvent(lost);
    EXPECT_FALSE(button->HasFocusFlag());
}

TEST(CaptionLabel, PaintsWithoutAWindow) {
    CCaptionLabel label; // never created, as in the dialogs
    label.SetTitle("Zenithprobe");
    label.SetBody("A receiver test tool with a long body text that wraps");
    const int icon = wxSystemSettings::GetMetric(wxSYS_ICON_X);
    const wxImage img =
        Offscreen(240, 60, [&](wxDC& dc) { label.Paint(dc, wxRect(0, 0, 240, 60)); });
    EXPECT_EQ(At(img, 239, 59), Rgb(wxSystemSettings::GetColour(wxSYS_COLOUR_WINDOW)));
    EXPECT_EQ(label.TitleRect(), wxRect(wxPoint(10 + 5 + icon, 5), wxPoint(240 - 6 - 1, 19)));

    label.SetBody("");
    label.SetAlign(1);
    Offscreen(240, 60, [&](wxDC& dc) { label.Paint(dc, wxRect(0, 0, 240, 60)); });
    const int left = 10 + 5 + icon;
    EXPECT_EQ(label.TitleRect(), wxRect(wxPoint(left, 0), wxPoint(240 - 6 - left - 1, 59)))
        << "centred: both sides inset alike; no body: the full height";
}
