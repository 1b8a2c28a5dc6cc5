#pragma once
// The program's bitmap resources 131 to 139 (res/bitmap<id>.png, made by tools/artwork), built
// into the executable. Threads: the user-interface thread (wx bitmaps).
#include <wx/bitmap.h>
#include <wx/dc.h>
#include <wx/window.h>

// The bitmap with that resource id, enlarged by the display scale (DialogTemplate.h); an invalid
// bitmap for an unknown id or undecodable data.
wxBitmap LoadResourceBitmap(int id);

// Paints the name-plate banner (bitmap 131) at the place of a hidden placeholder control, at the
// banner's own size. Nothing without a placeholder or when the bitmap cannot be had. banner is
// the caller's copy, decoded at the first paint and kept: a dialog is painted again whenever one
// of its labels changes, and decoding the PNG each time was much of that cost.
void PaintBanner(wxDC& dc, const wxWindow* placeholder, wxBitmap& banner);
