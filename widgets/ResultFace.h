#pragma once
// The face of the test result indicator: white, in a 3-pixel shadow frame with raised (or, when
// pressed, sunken) edges, carrying a blue ring for a pass (testResult 1), a red cross for a fail
// (0) and nothing otherwise. Drawn by the main dialog for all its owner-drawn buttons before
// the buttons draw themselves.
//
// Threads: the user-interface thread.
#include <cstdint>
#include <wx/dc.h>
#include <wx/gdicmn.h>

void DrawResultFace(wxDC& dc, const wxRect& rcItem, bool selected, int32_t testResult);
