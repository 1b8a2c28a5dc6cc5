#include "ResourceBitmaps.h"

#include "DialogTemplate.h"
#include "ResourceBitmapData.h"

#include <algorithm>
#include <wx/image.h>
#include <wx/imagpng.h>
#include <wx/mstream.h>

wxBitmap LoadResourceBitmap(int id) {
    size_t size = 0;
    const unsigned char* data = ResourceBitmapPng(id, &size);
    if (data == nullptr) {
        return wxBitmap();
    }
    if (wxImage::FindHandler(wxBITMAP_TYPE_PNG) == nullptr) {
        wxImage::AddHandler(new wxPNGHandler); // owned by wx from here on
    }
    wxMemoryInputStream stream(data, size);
    wxImage image;
    if (!image.LoadFile(stream, wxBITMAP_TYPE_PNG)) {
        return wxBitmap();
    }
    // An enlarged window gets enlarged artwork, so that the image buttons keep their share of it.
    const double scale = DisplayScale();
    if (scale != 1.0) {
        image.Rescale(std::max(1, static_cast<int>(image.GetWidth() * scale + 0.5)),
                      std::max(1, static_cast<int>(image.GetHeight() * scale + 0.5)),
                      wxIMAGE_QUALITY_NEAREST);
    }
    return wxBitmap(image, 24);
}

void PaintBanner(wxDC& dc, const wxWindow* placeholder, wxBitmap& banner) {
    if (!banner.IsOk()) {
        banner = LoadResourceBitmap(131);
    }
    if (!banner.IsOk() || placeholder == nullptr) {
        return;
    }
    const wxPoint at = placeholder->GetPosition();
    dc.DrawBitmap(banner, at.x, at.y, false);
}
