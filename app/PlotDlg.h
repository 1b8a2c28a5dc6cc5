#pragma once
// CPlotDlg: a record's plot (its .svg) in a window of its own (template 152), drawn by librsvg
// and scaled with the window: the drawing fits the client area whole, its aspect kept. Opened
// from the campaign's summary box ("Show plot") and from "Records...". It runs modally like the
// program's other dialogs: a window opened beside a modal one would get no input.
//
// Threads: the user-interface thread only.
#include "Dialog.h"
#include "SvgImage.h"

#include <filesystem>
#include <wx/bitmap.h>

class CPlotDlg : public CDialogBase {
public:
    CPlotDlg(wxWindow* parent, std::filesystem::path svgFile);

    bool OnInitDialog() override; // reads and parses the file; a message box says why it cannot

    // The window's title for a file: "Plot campaign_20261207_1".
    static wxString TitleFor(const std::filesystem::path& svgFile);
    // Where the drawing lies in the client area, and the document's own size (tests).
    wxRect2DDouble DrawingRect() const;
    wxSize NaturalSize() const { return m_svg.NaturalSize(); }
    // The client size the drawing was last painted at (tests wait for it after a resize).
    wxSize DrawnSize() const { return m_bitmap.IsOk() ? m_bitmap.GetSize() : wxSize(); }

private:
    void OnPaint(wxPaintEvent& event);
    void OnSize(wxSizeEvent& event);

    std::filesystem::path m_file;
    CSvgImage m_svg;
    wxBitmap m_bitmap; // the drawing at the client size it was last made for
};
