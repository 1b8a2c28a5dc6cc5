#include "Screenshot.h"

#include <wx/dcmemory.h>
#include <wx/dcscreen.h>
#include <wx/image.h>
#include <wx/log.h>

bool SaveWindowScreenshot(wxWindow* window, const wxString& pngPath) {
    if (window == nullptr || !window->IsShownOnScreen()) {
        return false;
    }
    // Make sure the last changes are on the screen before it is read.
    window->Update();
    const wxSize size = window->GetClientSize();
    const wxPoint origin = window->ClientToScreen(wxPoint(0, 0));
    wxBitmap bitmap(size.x, size.y, 24);
    bool copied = false;
    {
        wxScreenDC screen;
        wxMemoryDC memory(bitmap);
        copied = memory.Blit(0, 0, size.x, size.y, &screen, origin.x, origin.y);
    }
    if (!copied) {
        return false;
    }
    if (wxImage::FindHandler(wxBITMAP_TYPE_PNG) == nullptr) {
        wxImage::AddHandler(new wxPNGHandler);
    }
    wxLogNull quiet; // a failure is reported by the result, not by a log window
    return bitmap.ConvertToImage().SaveFile(pngPath, wxBITMAP_TYPE_PNG);
}
