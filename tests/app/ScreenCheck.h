#pragma once
// What the X server really shows, read with Xlib beside the toolkit: where a top-level window is
// on the screen and what colour each pixel has. A widget's "shown" flag and wx's own idea of a
// size say what the toolkit believes; these say what a tester sees.
//
// Threads: the test's user-interface thread. Each call opens its own connection to $DISPLAY.
#include <optional>
#include <string>
#include <vector>
#include <wx/gdicmn.h>
#include <wx/image.h>

// The screen rectangle of the viewable X window titled `title` (its WM_NAME): the client window
// itself, without a window manager's frame. nullopt while there is none.
std::optional<wxRect> FindScreenWindow(const std::string& title);

// The screen rectangles of the viewable pop-ups (override-redirect windows at the top of the
// tree: menus and their submenus), bottom first.
std::vector<wxRect> FindPopupWindows();

// The screen's pixels inside rect; an invalid image when the screen cannot be read.
wxImage GrabScreen(const wxRect& rect);

// Pixels of one kind, counted over a whole image.
struct PixelCounts {
    int total = 0;
    int white = 0;    // 255, 255, 255
    int black = 0;    // 0, 0, 0
    int pureBlue = 0; // 0, 0, 255
    int pureRed = 0;  // 255, 0, 0
    int dark = 0;     // every channel below 96: text
    double Share(int count) const { return total > 0 ? double(count) / total : 0.0; }
};
PixelCounts CountPixels(const wxImage& image);
