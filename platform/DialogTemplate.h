#pragma once
// Dialog templates and menus of the program's resources (res/Zenithprobe.xrc, built into the
// executable), and the fixed conversion of dialog units to pixels.
//
// The templates are XRC: a dialog or control's name is its numeric id (controls without an id of
// their own have none), positions and sizes are dialog units ("7,8d"), there are no sizers. wx
// would convert dialog units through the font; we use one fixed scale instead, so that the main
// dialog's 138 x 184 units are the handheld's 240 x 320 pixels whatever the font, times the
// display scale (--scale, ZENITHPROBE_SCALE).
//
// Threads: the user-interface thread. The display scale is set once at start-up.
#include <optional>
#include <vector>
#include <wx/arrstr.h>
#include <wx/colour.h>
#include <wx/gdicmn.h>
#include <wx/string.h>

// Control id of the controls that have none of their own (65535 in the template's terms).
inline constexpr int kNoControlId = -1;

struct ControlTemplate {
    wxString kind;     // the XRC class: wxStaticText, wxButton, wxTextCtrl, wxCheckBox, ...
    wxString subclass; // "COwnerDrawButton" for owner-drawn buttons, else empty
    int id = kNoControlId;
    wxString label;
    wxRect rect; // dialog units
    long style = 0;
    bool hidden = false;
    bool disabled = false;
    bool isDefault = false; // the dialog's default button
    std::optional<wxColour> background;
    wxArrayString items; // list of a combo box
};

struct DialogTemplate {
    int id = 0;
    wxSize size; // dialog units
    wxString title;
    long style = 0;
    wxString fontFace; // as the template names it; the program uses its own small font
    int fontPoints = 0;
    std::vector<ControlTemplate> controls; // in template order
};

struct MenuTemplate {
    int id = 0; // the resource's command number; 0 for a separator or a pop-up
    wxString label;
    bool separator = false;
    bool checkable = false;          // a check item (<checkable>1</checkable>)
    bool radio = false;              // a radio item (<radio>1</radio>); neighbours form a group
    std::vector<MenuTemplate> popup; // items of a pop-up, or of a submenu inside one
    bool IsPopup() const { return !popup.empty(); }
};

// Finds a template in the program's resources. False (with a debug line) when it is missing or
// malformed: an unknown class or style name is an error, not something to guess at.
bool FindDialogTemplate(int id, DialogTemplate* out);
// The items of menu resource id, in order.
bool FindMenuTemplate(int id, std::vector<MenuTemplate>* out);

// Parses an XRC document given as text; the finders above use the built-in one. Exposed for tests.
bool ParseDialogTemplate(const char* xrcText, int id, DialogTemplate* out);
bool ParseMenuTemplate(const char* xrcText, int id, std::vector<MenuTemplate>* out);

// Display scale: 1 gives the handheld's pixels. Values are clamped to 0.5 .. 8.
void SetDisplayScale(double scale);
double DisplayScale();

// The main window's height at scale 1: the dialog's 320 pixels and the soft-key bar's 26.
inline constexpr int kMainWindowHeightPx = 346;

// The scale a desktop window opens at: the largest whole scale at which windowHeightPx fits in
// two thirds of the screen's height, at least 1. Whole scales keep every control's edges on the
// design's grid. screenHeightPx counts the device's pixels; desktopFactor is the desktop's own
// scale (GDK_SCALE, 2 on most 4K screens), by which the toolkit multiplies every pixel of ours.
int ChooseDesktopScale(int screenHeightPx, double desktopFactor, int windowHeightPx);

// Dialog units to pixels at the current scale. A rectangle converts its edges, so that controls
// that touch in dialog units touch in pixels.
int DialogUnitsToPixels(int units);
wxRect DialogRectToPixels(const wxRect& units);
wxSize DialogSizeToPixels(const wxSize& units);
// Pixel height of the program's dialog font at the current scale.
int DialogFontPixels();
