// The wx half of the platform layer on a real X server: dialogs built from the templates,
// soft keys, the OK/Cancel mapping, data exchange, owner draw, timers, message boxes.
#include "Dialog.h"
#include "DialogTemplate.h"
#include "ResourceIds.h"
#include "Resources.h"
#include "SoftKeyBar.h"
#include "UiThread.h"
#include "WxTestSupport.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>
#include <thread>
#include <wx/checkbox.h>
#include <wx/dcclient.h>
#include <wx/msgdlg.h>
#include <wx/stattext.h>
#include <wx/testing.h>
#include <wx/textctrl.h>

namespace {

class CountingButton : public COwnerDrawButton {
public:
    using COwnerDrawButton::COwnerDrawButton;
    void DrawItem(const CDrawItem& item) override {
        ++ownDraws;
        COwnerDrawButton::DrawItem(item);
    }
    int ownDraws = 0;
};

struct DrawRecord {
    int id;
    unsigned state;
    wxRect rect;
    bool hasDc;
};

// A dialog on the main template that records what the platform hands it.
class ProbeDialog : public CDialogBase {
public:
    explicit ProbeDialog(int templateId = IDD_ZENITHPROBE_DIALOG)
        : CDialogBase(templateId, nullptr) {}

    void OnOK() override { ++oks; }
    void OnCancel() override {
        ++cancels;
        if (endOnCancel) {
            EndDialog(kIdCancel);
        }
    }
    void OnTimer(uint32_t id) override { ticks.push_back(id); }
    void DoDataExchange(CDataExchange* pDX) override {
        DDX_Control(pDX, IDC_BANNER, banner);
        DDX_Text(pDX, IDC_NMEA_LINE, line);
        DDX_Text(pDX, IDC_TTFF, ttff);
        DDX_Check(pDX, IDC_LOG, log);
        DDX_Check(pDX, IDC_LOG, atomicLog);
        DDX_Control(pDX, IDC_COLD, cold);
        if (bindWrongClass) {
            DDX_Control(pDX, IDC_NMEA_LINE, wrongClass);
        }
    }
    COwnerDrawButton* CreateOwnerDrawButton(int id, const wxPoint& pos,
                                            const wxSize& size) override {
        return new CountingButton(this, id, pos, size);
    }
    void OnDrawItem(CDrawItemEvent& event) {
        const CDrawItem& item = event.Item();
        draws.push_back({item.CtlID, item.itemState, item.rcItem, item.pDC != nullptr});
        if (item.CtlID != IDC_RESULT) {
            event.Skip(); // the control draws its own face over ours
        }
    }
    void OnColdClicked(wxCommandEvent&) { ++coldClicks; }

    int oks = 0;
    int cancels = 0;
    bool endOnCancel = false;
    int coldClicks = 0;
    std::vector<uint32_t> ticks;
    std::vector<DrawRecord> draws;
    wxString line;
    wxString ttff;
    int32_t log = 0;
    std::atomic<int32_t> atomicLog{0};
    wxStaticText* banner = nullptr;
    COwnerDrawButton* cold = nullptr;
    bool bindWrongClass = false;
    wxCheckBox* wrongClass = nullptr;

    wxDECLARE_EVENT_TABLE();
};

wxBEGIN_EVENT_TABLE(ProbeDialog, CDialogBase)
    EVT_DRAW_ITEM(ProbeDialog::OnDrawItem)
    EVT_BUTTON(IDC_COLD, ProbeDialog::OnColdClicked)
wxEND_EVENT_TABLE()

class ScaleGuard {
public:
    explicit ScaleGuard(double scale) { SetDisplayScale(scale); }
    ~ScaleGuard() { SetDisplayScale(1.0); }
};

std::string Text(const wxString& s) {
    return s.utf8_str().data();
}

} // namespace

TEST(DialogTemplates, MainDialogIsTheHandheldsScreenPlusSoftKeys) {
    struct Case {
        double scale;
        wxSize client;
        wxRect edit; // 83, 119, 54, 12 units
        wxRect plot; // 71, 33, 64, 60 units
    } cases[] = {
        {1.0, {240, 320}, {144, 207, 94, 21}, {123, 57, 112, 105}},
        {2.0, {480, 640}, {289, 414, 188, 42}, {247, 115, 223, 208}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.scale);
        ScaleGuard scale(c.scale);
        ProbeDialog dlg;
        ASSERT_TRUE(dlg.CreateFromTemplate());
        EXPECT_EQ(dlg.GetClientSize(), c.client);
        EXPECT_EQ(dlg.TemplateClientSize(), c.client);
        EXPECT_EQ(dlg.GetItemClientRect(IDC_NMEA_LINE), c.edit);
        EXPECT_EQ(dlg.GetItemClientRect(IDC_SKYPLOT), c.plot);
        ASSERT_TRUE(dlg.CreateSoftKeyBar(IDR_MENUBAR));
        const int keys = static_cast<int>(std::lround(CSoftKeyBar::kHeight * c.scale));
        EXPECT_EQ(dlg.GetClientSize(), wxSize(c.client.x, c.client.y + keys));
        EXPECT_EQ(dlg.SoftKeyBar()->GetRect(), wxRect(0, c.client.y, c.client.x, keys));
        // The desktop scale is chosen from this height.
        EXPECT_EQ(c.client.y + keys, std::lround(kMainWindowHeightPx * c.scale));
        // wx reports the size back through points: within a pixel.
        EXPECT_NEAR(dlg.GetFont().GetPixelSize().y, DialogFontPixels(), 1);
    }
}

TEST(DialogTemplates, DesktopScaleFitsTwoThirdsOfTheScreen) {
    struct Case {
        const char* label;
        int screenPx;
        double desktopFactor;
        int scale;
    } cases[] = {
        {"handheld-sized screen", 320, 1, 1},
        {"laptop 1080p: 720 px usable", 1080, 1, 2},
        {"1440p", 1440, 1, 2},
        {"4K without desktop scaling", 2160, 1, 4},
        {"4K at desktop factor 2: the toolkit doubles our pixels", 2160, 2, 2},
        {"1038 px is exactly three windows of 346", 1557, 1, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(ChooseDesktopScale(c.screenPx, c.desktopFactor, kMainWindowHeightPx), c.scale);
    }
}

TEST(DialogTemplates, MainDialogControlsAsTheTemplateGivesThem) {
    ProbeDialog dlg;
    ASSERT_TRUE(dlg.CreateFromTemplate());
    struct Case {
        int id;
        const char* text;
        bool shown;
    } cases[] = {
        {IDC_LAT, "IDC_LAT", true},
        {IDC_TTFF, "IDC_TTFF", true},
        {IDC_VERSION, "IDC_VERSION", true},
        {IDC_START_KIND, "", true},
        {IDC_PRN0, "0", true},
        {IDC_PRN0 + 11, "0", true},
        {IDC_SNR0 + 11, "0", true},
        {IDC_NMEA_LINE, "", true},
        {IDC_BANNER, "", false},
        {IDC_RESULT, "", false},
        {IDC_COLD, "", true},
        {IDC_SETUP, "", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        wxWindow* control = dlg.GetDlgItem(c.id);
        ASSERT_NE(control, nullptr);
        EXPECT_EQ(Text(dlg.GetDlgItemText(c.id)), c.text);
        EXPECT_EQ(control->IsShown(), c.shown);
    }
    EXPECT_TRUE(dynamic_cast<wxTextCtrl*>(dlg.GetDlgItem(IDC_NMEA_LINE))->HasFlag(wxTE_READONLY));
    EXPECT_TRUE(dlg.GetDlgItem(IDC_VERSION)->HasFlag(wxALIGN_RIGHT));
    EXPECT_TRUE(dlg.GetDlgItem(IDC_PRN0)->HasFlag(wxALIGN_CENTRE_HORIZONTAL));
    EXPECT_NE(dynamic_cast<wxCheckBox*>(dlg.GetDlgItem(IDC_LOG)), nullptr);
    for (int id : {IDC_COLD, IDC_WARM, IDC_HOT, IDC_RESULT, IDC_SETUP}) {
        EXPECT_NE(dynamic_cast<CountingButton*>(dlg.GetDlgItem(id)), nullptr) << id;
    }
    EXPECT_EQ(dlg.GetDlgItem(IDC_BAR0)->GetBackgroundColour(), *wxBLACK);
    EXPECT_EQ(dlg.GetDlgItem(12345), nullptr);
    // The row numbers, the only texts without an id, count 1 to 12 down the left.
    int rows = 0;
    for (wxWindow* child : dlg.GetChildren()) {
        auto* label = dynamic_cast<wxStaticText*>(child);
        long n = 0;
        if (label != nullptr && child->GetId() < 0 && label->GetLabel().ToLong(&n)) {
            EXPECT_EQ(label->GetLabel(), wxString::Format("%d", ++rows));
        }
    }
    EXPECT_EQ(rows, 12);
}

TEST(DialogTemplates, NoLabelIsClipped) {
    // Placeholders ("IDC_...") are replaced by the refresh; every other text must fit.
    for (double scale : {1.0, 2.0}) {
        ScaleGuard guard(scale);
        for (int id : {IDD_ZENITHPROBE_DIALOG, IDD_SETUP_DIALOG}) {
            SCOPED_TRACE(::testing::Message() << "dialog " << id << " at scale " << scale);
            ProbeDialog dlg(id);
            ASSERT_TRUE(dlg.CreateFromTemplate());
            int checked = 0;
            for (wxWindow* child : dlg.GetChildren()) {
                auto* label = dynamic_cast<wxStaticText*>(child);
                if (label == nullptr || label->GetLabel().StartsWith("IDC_")) {
                    continue;
                }
                wxClientDC dc(label);
                dc.SetFont(label->GetFont());
                const wxSize text = dc.GetTextExtent(label->GetLabel());
                EXPECT_LE(text.x, label->GetSize().x) << Text(label->GetLabel());
                EXPECT_LE(text.y, label->GetSize().y) << Text(label->GetLabel());
                ++checked;
            }
            EXPECT_GT(checked, 10);
        }
    }
}

TEST(DialogTemplates, SetupDialogTemplate) {
    ProbeDialog dlg(IDD_SETUP_DIALOG);
    ASSERT_TRUE(dlg.CreateFromTemplate());
    EXPECT_EQ(dlg.GetClientSize(), wxSize(240, 320));
    EXPECT_FALSE(dlg.GetDlgItem(kIdOk)->IsShown());
    EXPECT_FALSE(dlg.GetDlgItem(kIdCancel)->IsShown());
    EXPECT_FALSE(dlg.GetDlgItem(1078)->IsEnabled()); // GGA check box starts disabled
    EXPECT_EQ(Text(dlg.GetDlgItemText(1092)), "Auto");
    EXPECT_EQ(Text(dlg.GetDlgItemText(1007)), "0.00");
}

TEST(DialogTemplates, MalformedTemplatesAreRefused) {
    const char* head = "<resource><object class=\"wxDialog\" name=\"7\"><size>10,10d</size>";
    struct Case {
        const char* label;
        std::string control;
        bool ok;
    } cases[] = {
        {"good", "<object class=\"wxStaticText\"><pos>1,1d</pos><size>5,5d</size></object>", true},
        {"pixels instead of units",
         "<object class=\"wxStaticText\"><pos>1,1</pos><size>5,5d</size></object>", false},
        {"unknown class", "<object class=\"wxGauge\"><pos>1,1d</pos><size>5,5d</size></object>",
         false},
        {"unknown style",
         "<object class=\"wxStaticText\"><pos>1,1d</pos><size>5,5d</size>"
         "<style>wxALIGN_MIDDLE</style></object>",
         false},
        {"id out of range",
         "<object class=\"wxStaticText\" name=\"65535\"><pos>1,1d</pos><size>5,5d</size></object>",
         false},
        {"no size", "<object class=\"wxStaticText\"><pos>1,1d</pos></object>", false},
    };
    for (const Case& c : cases) {
        const std::string xrc = head + c.control + "</object></resource>";
        DialogTemplate t;
        EXPECT_EQ(ParseDialogTemplate(xrc.c_str(), 7, &t), c.ok) << c.label;
    }
    DialogTemplate t;
    EXPECT_FALSE(FindDialogTemplate(999, &t));
    EXPECT_FALSE(LoadResourceIcon(129).IsOk());
    EXPECT_TRUE(LoadResourceIcon(IDI_ZENITHPROBE).IsOk());
}

TEST(SoftKeys, ExitAndOptionsWithMappedCommandIds) {
    std::vector<MenuTemplate> items;
    ASSERT_TRUE(FindMenuTemplate(IDR_MENUBAR, &items));
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].id, IDM_EXIT);

    ProbeDialog dlg;
    ASSERT_TRUE(dlg.CreateFromTemplate());
    ASSERT_TRUE(dlg.CreateSoftKeyBar(IDR_MENUBAR));
    CSoftKeyBar* bar = dlg.SoftKeyBar();
    ASSERT_EQ(bar->KeyCount(), 2u);
    EXPECT_EQ(Text(bar->Key(0)->GetLabel()), "Exit");
    EXPECT_EQ(bar->Popup(0), nullptr);
    EXPECT_EQ(Text(bar->Key(1)->GetLabel()), "Options");
    wxMenu* options = bar->Popup(1);
    ASSERT_NE(options, nullptr);
    struct Item {
        int command;
        const char* label;
    } expected[] = {{IDM_COLD_START, "Cold Start"},
                    {IDM_WARM_START, "Warm Start"},
                    {IDM_HOT_START, "Hot Start"},
                    {0, ""},
                    {IDM_MULTI_GNSS, "Multi-GNSS"},
                    {-1, "Receiver"},
                    {0, ""},
                    {IDM_SETUP, "Setup..."},
                    {IDM_CAMPAIGN, "Campaign..."},
                    {IDM_RECORDS, "Records..."},
                    {IDM_AUTO_REOPEN, "Reconnect automatically"}};
    ASSERT_EQ(options->GetMenuItemCount(), std::size(expected));
    for (size_t i = 0; i < std::size(expected); ++i) {
        const wxMenuItem* item = options->FindItemByPosition(i);
        if (expected[i].command == 0) {
            EXPECT_TRUE(item->IsSeparator());
            continue;
        }
        if (expected[i].command < 0) {
            EXPECT_NE(item->GetSubMenu(), nullptr) << expected[i].label;
            EXPECT_EQ(Text(item->GetItemLabelText()), expected[i].label);
            continue;
        }
        EXPECT_LT(item->GetId(), 0x7fff);
        EXPECT_EQ(ResourceCommandId(item->GetId()), expected[i].command);
        EXPECT_EQ(Text(item->GetItemLabelText()), expected[i].label);
        EXPECT_EQ(item->IsCheckable(),
                  expected[i].command == IDM_MULTI_GNSS || expected[i].command == IDM_AUTO_REOPEN);
    }
    // The submenu's radio items: one group, found from the bar, the first checked until another
    // is.
    const char* receivers[] = {"SONY / SiRF", "u-blox",  "MediaTek", "Airoha",
                               "Quectel LG",  "SkyTraq", "CASIC",    "Identify automatically"};
    static_assert(std::size(receivers) == IDM_RECEIVER_AUTO - IDM_RECEIVER_FIRST + 1);
    for (int n = 0; n < static_cast<int>(std::size(receivers)); ++n) {
        wxMenuItem* item = bar->FindMenuItem(MenuCommandId(IDM_RECEIVER_FIRST + n));
        ASSERT_NE(item, nullptr) << receivers[n];
        EXPECT_EQ(Text(item->GetItemLabelText()), receivers[n]);
        EXPECT_TRUE(item->IsRadio()) << receivers[n];
        EXPECT_EQ(item->IsChecked(), n == 0) << receivers[n];
    }
    bar->FindMenuItem(MenuCommandId(IDM_RECEIVER_AUTO))->Check();
    EXPECT_FALSE(bar->FindMenuItem(MenuCommandId(IDM_RECEIVER_FIRST))->IsChecked());
    EXPECT_EQ(bar->FindMenuItem(MenuCommandId(IDM_EXIT)), nullptr); // a key, not an item

    // A command key sends its command to the dialog at once.
    std::vector<int> commands;
    dlg.Bind(wxEVT_MENU, [&](wxCommandEvent& e) { commands.push_back(e.GetId()); });
    wxCommandEvent click(wxEVT_BUTTON, bar->Key(0)->GetId());
    click.SetEventObject(bar->Key(0));
    bar->Key(0)->ProcessWindowEvent(click);
    EXPECT_EQ(commands, std::vector<int>{MenuCommandId(IDM_EXIT)});
    EXPECT_EQ(dlg.GetDlgItem(bar->Key(0)->GetId()), nullptr);
}

TEST(DialogBase, EnterEscapeCloseAndBothIdSetsReachOkAndCancel) {
    ProbeDialog dlg;
    ASSERT_TRUE(dlg.CreateFromTemplate());
    auto key = [&](int code) {
        wxKeyEvent event(wxEVT_CHAR_HOOK);
        event.m_keyCode = code;
        event.SetEventObject(&dlg);
        dlg.GetEventHandler()->ProcessEvent(event);
    };
    auto command = [&](int id) {
        wxCommandEvent event(wxEVT_BUTTON, id);
        dlg.GetEventHandler()->ProcessEvent(event);
    };
    key(WXK_RETURN);
    key(WXK_NUMPAD_ENTER);
    command(kIdOk);
    command(wxID_OK);
    EXPECT_EQ(dlg.oks, 4);
    EXPECT_EQ(dlg.cancels, 0);
    key(WXK_ESCAPE);
    command(kIdCancel);
    command(wxID_CANCEL);
    EXPECT_EQ(dlg.cancels, 3);
    // Closing the window asks OnCancel; the dialog stays unless it ends itself.
    EXPECT_FALSE(dlg.Close());
    EXPECT_EQ(dlg.cancels, 4);
    EXPECT_FALSE(dlg.IsEnded());
    key('A'); // other keys go on to the controls
    EXPECT_EQ(dlg.oks + dlg.cancels, 8);
}

TEST(DialogBase, ModalRunEndsOnlyThroughEndDialog) {
    ProbeDialog dlg;
    dlg.endOnCancel = true;
    ModalScript script;
    script
        .Do("Enter does not end the dialog",
            [&] {
                wxCommandEvent ok(wxEVT_BUTTON, wxID_OK);
                dlg.GetEventHandler()->ProcessEvent(ok);
            })
        .Wait("still running", [&] { return dlg.IsModal() && dlg.oks == 1; })
        .Do("close", [&] { dlg.Close(); });
    EXPECT_EQ(script.Run(dlg), kIdCancel);
    EXPECT_EQ(dlg.cancels, 1);
    EXPECT_TRUE(dlg.IsEnded());
}

TEST(DialogBase, DataExchangeBothWays) {
    ProbeDialog dlg;
    ASSERT_TRUE(dlg.CreateFromTemplate());
    dlg.line = "$GPGGA,1*00\r\n";
    dlg.ttff = "12";
    dlg.log = 1;
    dlg.atomicLog = 1;
    ASSERT_TRUE(dlg.UpdateData(false));
    EXPECT_EQ(Text(dlg.GetDlgItemText(IDC_NMEA_LINE)), "$GPGGA,1*00\r\n");
    EXPECT_EQ(Text(dlg.GetDlgItemText(IDC_TTFF)), "12");
    auto* box = dynamic_cast<wxCheckBox*>(dlg.GetDlgItem(IDC_LOG));
    EXPECT_TRUE(box->GetValue());
    EXPECT_EQ(dlg.banner, dlg.GetDlgItem(IDC_BANNER));
    EXPECT_EQ(dlg.cold, dlg.GetDlgItem(IDC_COLD));

    box->SetValue(false);
    dlg.SetDlgItemText(IDC_NMEA_LINE, "typed");
    ASSERT_TRUE(dlg.UpdateData(true));
    EXPECT_EQ(dlg.log, 0);
    EXPECT_EQ(dlg.atomicLog.load(), 0);
    EXPECT_EQ(Text(dlg.line), "typed");

    dlg.bindWrongClass = true;
    EXPECT_FALSE(dlg.UpdateData(false));
    EXPECT_EQ(dlg.wrongClass, nullptr);
}

TEST(DialogBase, TimersTickOnTheirIdsUntilKilled) {
    ProbeDialog dlg;
    ASSERT_TRUE(dlg.CreateFromTemplate());
    EXPECT_EQ(dlg.SetTimer(101, 5), 101u);
    EXPECT_EQ(dlg.SetTimer(100, 5), 100u);
    EXPECT_EQ(dlg.SetTimer(0, 5), 0u);
    EXPECT_TRUE(dlg.IsTimerRunning(101));
    ASSERT_TRUE(PumpUntil([&] {
        return std::count(dlg.ticks.begin(), dlg.ticks.end(), 100u) >= 2 &&
               std::count(dlg.ticks.begin(), dlg.ticks.end(), 101u) >= 2;
    }));
    EXPECT_TRUE(dlg.KillTimer(101));
    EXPECT_FALSE(dlg.KillTimer(101));
    EXPECT_FALSE(dlg.IsTimerRunning(101));
    EXPECT_TRUE(dlg.IsTimerRunning(100));
    dlg.KillTimer(100);
    const size_t ticks = dlg.ticks.size();
    PumpUntil([] { return false; }, 50);
    EXPECT_EQ(dlg.ticks.size(), ticks);
}

TEST(UiTicker, TicksUntilStoppedEvenFromItsOwnTick) {
    CUiTicker ticker;
    EXPECT_FALSE(ticker.Start(0, [] {}));
    int ticks = 0;
    ASSERT_TRUE(ticker.Start(5, [&] {
        if (++ticks == 3) {
            ticker.Stop(); // a tick that ends its own ticker gets no more calls
        }
    }));
    ASSERT_TRUE(PumpUntil([&] { return ticks >= 3; }));
    PumpUntil([] { return false; }, 50);
    EXPECT_EQ(ticks, 3);
    EXPECT_FALSE(ticker.IsRunning());
    // Started again, and stopped by its destructor.
    {
        CUiTicker again;
        ASSERT_TRUE(again.Start(5, [&] { ++ticks; }));
        ASSERT_TRUE(PumpUntil([&] { return ticks >= 4; }));
    }
    const int after = ticks;
    PumpUntil([] { return false; }, 50);
    EXPECT_EQ(ticks, after);
}

TEST(OwnerDraw, DialogDrawsFirstThenTheControl) {
    ProbeDialog dlg;
    ASSERT_TRUE(dlg.CreateFromTemplate());
    dlg.GetDlgItem(IDC_RESULT)->Show();
    dlg.Show();
    auto drawn = [&](int id, unsigned state) {
        return std::any_of(dlg.draws.begin(), dlg.draws.end(),
                           [&](const DrawRecord& d) { return d.id == id && d.state == state; });
    };
    ASSERT_TRUE(PumpUntil([&] { return drawn(IDC_COLD, 0) && drawn(IDC_RESULT, 0); }));
    for (const DrawRecord& d : dlg.draws) {
        EXPECT_TRUE(d.hasDc);
        EXPECT_EQ(d.rect, wxRect(dlg.GetDlgItem(d.id)->GetClientSize())) << d.id;
    }
    auto* cold = dynamic_cast<CountingButton*>(dlg.GetDlgItem(IDC_COLD));
    auto* result = dynamic_cast<CountingButton*>(dlg.GetDlgItem(IDC_RESULT));
    EXPECT_GT(cold->ownDraws, 0);   // passed on by the dialog
    EXPECT_EQ(result->ownDraws, 0); // drawn by the dialog alone

    // Pressed, then released over the control: drawn selected, then a click.
    const wxPoint middle(cold->GetClientSize().x / 2, cold->GetClientSize().y / 2);
    wxMouseEvent down(wxEVT_LEFT_DOWN);
    down.SetPosition(middle);
    cold->GetEventHandler()->ProcessEvent(down);
    ASSERT_TRUE(PumpUntil([&] { return drawn(IDC_COLD, kOdsSelected); }));
    wxMouseEvent up(wxEVT_LEFT_UP);
    up.SetPosition(middle);
    cold->GetEventHandler()->ProcessEvent(up);
    EXPECT_EQ(dlg.coldClicks, 1);
    EXPECT_FALSE(cold->IsPressed());

    cold->Disable();
    ASSERT_TRUE(PumpUntil([&] { return drawn(IDC_COLD, kOdsDisabled); }));
    cold->GetEventHandler()->ProcessEvent(down);
    cold->GetEventHandler()->ProcessEvent(up);
    EXPECT_EQ(dlg.coldClicks, 1); // a disabled button does not click
    dlg.Hide();
}

TEST(MessageBoxes, KindsAndAnswers) {
    ProbeDialog dlg;
    ASSERT_TRUE(dlg.CreateFromTemplate());
    MessageBoxAnswers answers({wxID_OK, wxID_CANCEL, wxID_OK});
    EXPECT_EQ(dlg.MessageBox("Unable to open COM-port", kMbStopOk), kIdOk);
    EXPECT_EQ(dlg.MessageBox("Press OK to exit Zenithprobe!", kMbQuestionOkCancel), kIdCancel);
    EXPECT_EQ(dlg.MessageBox("Press OK to exit Zenithprobe!", kMbQuestionOkCancel), kIdOk);
    ASSERT_EQ(answers.Boxes().size(), 3u);
    const auto& stop = answers.Boxes()[0];
    EXPECT_EQ(Text(stop.caption), "Zenithprobe");
    EXPECT_TRUE(stop.style & wxICON_ERROR);
    EXPECT_TRUE(stop.style & wxOK);
    EXPECT_FALSE(stop.style & wxCANCEL);
    const auto& question = answers.Boxes()[1];
    EXPECT_TRUE(question.style & wxICON_QUESTION);
    EXPECT_TRUE(question.style & wxCANCEL);
}

TEST(MessageBoxes, WxTestDialogAnswersTheNativeBox) {
    // wxMessageBox on GTK is a native dialog; the test hooks still catch it.
    int answer = 0;
    wxTEST_DIALOG(answer = ShowMessageBox(nullptr, "question", kMbQuestionOkCancel),
                  wxExpectModal<wxMessageDialog>(wxID_CANCEL));
    EXPECT_EQ(answer, kIdCancel);
}

TEST(WxAssertions, FailTheTestInsteadOfOpeningADialog) {
    EXPECT_NONFATAL_FAILURE(wxFAIL_MSG("deliberate"), "deliberate");
}

TEST(PostToUi, RunsOnTheUserInterfaceThreadOnlyWhileTheOwnerLives) {
    auto guard = std::make_unique<CLifetimeGuard>();
    const std::thread::id uiThread = std::this_thread::get_id();
    std::vector<int> ran; // user-interface thread only
    std::thread poster([&, token = guard->Token()] {
        PostToUi(token, [&] {
            EXPECT_EQ(std::this_thread::get_id(), uiThread);
            ran.push_back(1);
        });
        PostToUi(token, [&] { ran.push_back(2); });
    });
    poster.join();
    ASSERT_TRUE(PumpUntil([&] { return ran.size() == 2; }));
    EXPECT_EQ(ran, (std::vector<int>{1, 2}));

    // Posted, then the owner goes before the call runs: it never runs.
    PostToUi(guard->Token(), [&] { ran.push_back(3); });
    guard.reset();
    PumpUntil([] { return false; }, 50);
    EXPECT_EQ(ran.size(), 2u);
}
