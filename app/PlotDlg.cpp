#include "PlotDlg.h"

#include "Debug.h"
#include "DialogTemplate.h"
#include "ResourceIds.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <wx/dcclient.h>
#include <wx/display.h>

namespace {

// At most this share of the screen's free area on opening: room for the frame and the desktop.
constexpr double kScreenShare = 0.9;

} // namespace

CPlotDlg::CPlotDlg(wxWindow* parent, std::filesystem::path svgFile)
    : CDialogBase(IDD_PLOT_DIALOG, parent), m_file(std::move(svgFile)) {}

wxString CPlotDlg::TitleFor(const std::filesystem::path& svgFile) {
    return "Plot " + wxString::FromUTF8(svgFile.stem().string());
}

bool CPlotDlg::OnInitDialog() {
    const bool result = CDialogBase::OnInitDialog();
    std::ifstream in(m_file, std::ios::binary);
    std::ostringstream text;
    std::string why;
    if (!in || !(text << in.rdbuf())) {
        why = std::strerror(errno != 0 ? errno : EIO);
    } else if (!m_svg.Load(text.str())) {
        why = m_svg.Error();
    }
    if (!why.empty()) {
        DebugPrint("CPlotDlg::OnInitDialog() %s: %s\r\n", m_file.c_str(), why.c_str());
        MessageBox("Unable to show " + wxString::FromUTF8(m_file.filename().string()) + "\n" +
                       wxString::FromUTF8(why),
                   kMbStopOk);
        EndDialog(kIdCancel);
        return result;
    }
    SetTitle(TitleFor(m_file));
    SetBackgroundStyle(wxBG_STYLE_PAINT); // every pixel is the drawing's: no erase, no flicker
    Bind(wxEVT_PAINT, &CPlotDlg::OnPaint, this);
    Bind(wxEVT_SIZE, &CPlotDlg::OnSize, this);
    // The drawing's own size at the program's scale, shrunk to fit the screen.
    const wxRect area = wxDisplay(this).GetClientArea();
    const wxSize natural = m_svg.NaturalSize();
    const double scale = std::min({DisplayScale(), area.width * kScreenShare / natural.x,
                                   area.height * kScreenShare / natural.y});
    SetClientSize(std::max(1, static_cast<int>(natural.x * scale)),
                  std::max(1, static_cast<int>(natural.y * scale)));
    CentreOnScreen();
    return result;
}

wxRect2DDouble CPlotDlg::DrawingRect() const {
    return CSvgImage::FitRect(m_svg.NaturalSize(), GetClientSize());
}

void CPlotDlg::OnSize(wxSizeEvent& event) {
    Refresh(false);
    event.Skip();
}

void CPlotDlg::OnPaint(wxPaintEvent&) {
    wxPaintDC dc(this);
    const wxSize size = GetClientSize();
    if (!m_bitmap.IsOk() || m_bitmap.GetSize() != size) {
        const wxImage image = m_svg.Render(size);
        m_bitmap = image.IsOk() ? wxBitmap(image) : wxBitmap();
        if (!image.IsOk()) {
            DebugPrint("CPlotDlg::OnPaint() %s\r\n", m_svg.Error().c_str());
        }
    }
    if (m_bitmap.IsOk()) {
        dc.DrawBitmap(m_bitmap, 0, 0);
    } else {
        dc.SetBackground(*wxWHITE_BRUSH);
        dc.Clear();
        dc.DrawText(wxString::FromUTF8(m_svg.Error()), 4, 4);
    }
}
