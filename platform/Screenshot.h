#pragma once
// Saves what a window shows on the screen as a PNG file (the demo's picture of the main dialog).
// Threads: the user-interface thread. False when the screen cannot be read or the file written.
#include <wx/string.h>
#include <wx/window.h>

bool SaveWindowScreenshot(wxWindow* window, const wxString& pngPath);
