#pragma once
// The program's bitmap resources 131 to 139 (res/bitmap<id>.png, made by tools/artwork), built
// into the executable. Threads: the user-interface thread (wx bitmaps).
#include <wx/bitmap.h>

// The bitmap with that resource id, enlarged by the display scale (DialogTemplate.h); an invalid
// bitmap for an unknown id or undecodable data.
wxBitmap LoadResourceBitmap(int id);
