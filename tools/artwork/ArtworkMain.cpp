// zenithprobe-artwork: draws the program's bitmaps 131 to 139 and its icon 128 into res/, and
// the desktop icon at the hicolor theme's sizes into res/icons/hicolor/ (SIZExSIZE/apps/
// zenithprobe.png and scalable/apps/zenithprobe.svg, one geometry for both).
// Run by hand when the artwork changes (it needs a display; xvfb-run serves) and commit the
// output; builds only read the files:
//   xvfb-run -a build/bin/zenithprobe-artwork res
// Text uses DejaVu Sans (Debian fonts-dejavu-core, which wxWidgets pulls in already).
#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <wx/app.h>
#include <wx/bitmap.h>
#include <wx/dcmemory.h>
#include <wx/filename.h>
#include <wx/graphics.h>
#include <wx/image.h>
#include <wx/init.h>

namespace {

const wxString kFace = "DejaVu Sans";

class ArtworkApp : public wxApp {
public:
    bool OnInit() override { return true; }
};

wxFont Font(int pixelHeight, bool bold) {
    return wxFont(
        wxFontInfo(wxSize(0, pixelHeight)).FaceName(kFace).Family(wxFONTFAMILY_SWISS).Bold(bold));
}

void CentreText(wxDC& dc, const wxString& text, const wxRect& rect) {
    const wxSize extent = dc.GetTextExtent(text);
    dc.DrawText(text, rect.x + (rect.width - extent.x) / 2, rect.y + (rect.height - extent.y) / 2);
}

bool Save(const wxBitmap& bitmap, const wxString& folder, const wxString& name) {
    wxImage image = bitmap.ConvertToImage();
    if (image.HasAlpha()) {
        image.ClearAlpha(); // 24 bits per pixel
    }
    const wxString path = wxFileName(folder, name).GetFullPath();
    if (!image.SaveFile(path, wxBITMAP_TYPE_PNG)) {
        std::fprintf(stderr, "artwork: cannot write %s\n", path.utf8_str().data());
        return false;
    }
    return true;
}

// 131: the banner, a blue word mark on white.
wxBitmap Banner() {
    wxBitmap bitmap(100, 22, 24);
    wxMemoryDC dc(bitmap);
    dc.SetBackground(*wxWHITE_BRUSH);
    dc.Clear();
    // A small sky-plot mark, then the word.
    dc.SetPen(wxPen(wxColour(0, 60, 170), 2));
    dc.SetBrush(*wxTRANSPARENT_BRUSH);
    dc.DrawCircle(10, 11, 8);
    dc.SetPen(*wxTRANSPARENT_PEN);
    dc.SetBrush(wxBrush(wxColour(0, 60, 170)));
    dc.DrawCircle(13, 7, 3);
    dc.SetFont(Font(14, true));
    dc.SetTextForeground(wxColour(0, 60, 170));
    CentreText(dc, "Zenithprobe", wxRect(20, 0, 80, 22));
    return bitmap;
}

// 132-137: orange restart plates; pressed ones lighter with white text.
wxBitmap Plate(int width, const wxString& word, bool pressed) {
    const int height = 26;
    wxBitmap bitmap(width, height, 24);
    wxMemoryDC dc(bitmap);
    dc.SetBackground(*wxWHITE_BRUSH);
    dc.Clear();
    const int shift = pressed ? 1 : 0;
    if (!pressed) {
        dc.SetPen(*wxTRANSPARENT_PEN);
        dc.SetBrush(wxBrush(wxColour(120, 120, 120)));
        dc.DrawRoundedRectangle(2, 3, width - 3, height - 4, 4); // drop shadow
    }
    const wxColour face = pressed ? wxColour(255, 190, 110) : wxColour(240, 130, 20);
    dc.SetPen(wxPen(pressed ? wxColour(230, 150, 60) : wxColour(190, 90, 0)));
    dc.SetBrush(wxBrush(face));
    dc.DrawRoundedRectangle(shift, 1 + shift, width - 3, height - 4, 4);
    dc.SetFont(Font(10, true));
    dc.SetTextForeground(pressed ? *wxWHITE : wxColour(40, 20, 0));
    CentreText(dc, word, wxRect(shift, 1 + shift, width - 3, height - 4));
    return bitmap;
}

// 138-139: the light-blue glossy name plate with the program's name and version.
wxBitmap NamePlate(bool pressed) {
    const int width = 95;
    const int height = 32;
    wxBitmap bitmap(width, height, 24);
    wxMemoryDC dc(bitmap);
    dc.SetBackground(*wxWHITE_BRUSH);
    dc.Clear();
    const wxColour top = pressed ? wxColour(150, 200, 240) : wxColour(225, 242, 255);
    const wxColour bottom = pressed ? wxColour(90, 160, 225) : wxColour(120, 185, 240);
    dc.GradientFillLinear(wxRect(1, 1, width - 2, height / 2), top, bottom, wxSOUTH);
    dc.GradientFillLinear(wxRect(1, height / 2, width - 2, height / 2 - 1), bottom,
                          pressed ? wxColour(110, 175, 235) : wxColour(160, 210, 250), wxSOUTH);
    dc.SetPen(wxPen(wxColour(60, 120, 190)));
    dc.SetBrush(*wxTRANSPARENT_BRUSH);
    dc.DrawRoundedRectangle(0, 0, width, height, 5);
    dc.SetTextForeground(pressed ? *wxWHITE : wxColour(0, 40, 110));
    dc.SetFont(Font(13, true));
    CentreText(dc, "Zenithprobe", wxRect(0, 1, width, 18));
    dc.SetFont(Font(9, false));
    CentreText(dc, "Version " ZP_VERSION, wxRect(0, 18, width, 12));
    return bitmap;
}

// 128: a sky plot with one satellite, written as the XPM that Resources.cpp includes.
bool Icon(const wxString& folder) {
    wxBitmap bitmap(32, 32, 24);
    {
        wxMemoryDC dc(bitmap);
        dc.SetBackground(*wxBLACK_BRUSH);
        dc.Clear();
        dc.SetPen(wxPen(*wxWHITE, 1));
        dc.SetBrush(*wxTRANSPARENT_BRUSH);
        dc.DrawCircle(16, 16, 13);
        dc.DrawLine(3, 16, 30, 16);
        dc.DrawLine(16, 3, 16, 30);
        dc.SetBrush(wxBrush(wxColour(0, 0, 255)));
        dc.DrawCircle(22, 10, 5);
    }
    const wxImage image = bitmap.ConvertToImage();
    // Colours to one-character codes (an icon this small has few).
    std::map<unsigned long, char> codes;
    const std::string alphabet = ".#+@$%&*=-;>,')!~{]^/(_:<[}|1234567890abcdefghijklmnopqrstuvwxyz";
    std::string rows;
    for (int y = 0; y < 32; ++y) {
        rows += "\"";
        for (int x = 0; x < 32; ++x) {
            // Quantised to 4 bits per channel, so the antialiased edges give few colours.
            const unsigned long key =
                (static_cast<unsigned long>(image.GetRed(x, y) & 0xF0) << 16) |
                (static_cast<unsigned long>(image.GetGreen(x, y) & 0xF0) << 8) |
                (image.GetBlue(x, y) & 0xF0);
            auto it = codes.find(key);
            if (it == codes.end()) {
                if (codes.size() >= alphabet.size()) {
                    std::fprintf(stderr, "artwork: too many icon colours\n");
                    return false;
                }
                it = codes.emplace(key, alphabet[codes.size()]).first;
            }
            rows += it->second;
        }
        rows += y == 31 ? "\"};\n" : "\",\n";
    }
    const wxString path = wxFileName(folder, "Zenithprobe.xpm").GetFullPath();
    FILE* file = std::fopen(path.utf8_str().data(), "w");
    if (file == nullptr) {
        std::fprintf(stderr, "artwork: cannot write %s\n", path.utf8_str().data());
        return false;
    }
    std::fprintf(file, "/* XPM */\n/* Zenithprobe icon (resource 128): a sky plot with one "
                       "satellite. Made by tools/artwork. */\n");
    std::fprintf(file, "static const char* const zenithprobe_xpm[] = {\n\"32 32 %zu 1\",\n",
                 codes.size());
    for (const auto& [key, code] : codes) {
        std::fprintf(file, "\"%c c #%06lX\",\n", code, key);
    }
    std::fputs(rows.c_str(), file);
    return std::fclose(file) == 0;
}

// The desktop icon: a sky plot on a dark disc (horizon and 45-degree rings, the four
// directions), one satellite in the fix. Coordinates on a 256-unit square; every size is drawn
// from them with anti-aliasing and a transparent outside, unlike the handheld's 32-pixel icon.
struct DesktopIconShape {
    double cx = 128, cy = 128;
    double disc = 120;    // the dark background disc
    double horizon = 100; // elevation 0
    double ring45 = 50;   // elevation 45
    double satX = 168, satY = 78, satR = 24;
    double line = 8; // ring and axis width at 256 pixels
    const char* discColour = "#0A1E3C";
    const char* lineColour = "#FFFFFF";
    const char* satColour = "#2E8BFF";
};

// Lines stay at least one pixel wide so the rings survive at 16 pixels.
double LineWidth(const DesktopIconShape& s, double scale) {
    return std::max(1.0, s.line * scale);
}

bool DesktopIconPng(const wxString& folder, int size) {
    const DesktopIconShape s;
    const double k = size / 256.0;
    wxImage image(size, size);
    image.InitAlpha();
    std::fill_n(image.GetAlpha(), size * size, static_cast<unsigned char>(0));
    {
        std::unique_ptr<wxGraphicsContext> gc(wxGraphicsContext::Create(image));
        if (!gc) {
            std::fprintf(stderr, "artwork: no graphics context\n");
            return false;
        }
        gc->SetAntialiasMode(wxANTIALIAS_DEFAULT);
        gc->SetPen(*wxTRANSPARENT_PEN);
        gc->SetBrush(wxBrush(wxColour(s.discColour)));
        gc->DrawEllipse(k * (s.cx - s.disc), k * (s.cy - s.disc), k * 2 * s.disc, k * 2 * s.disc);
        wxGraphicsPen pen =
            gc->CreatePen(wxGraphicsPenInfo(wxColour(s.lineColour)).Width(LineWidth(s, k)));
        gc->SetPen(pen);
        gc->SetBrush(*wxTRANSPARENT_BRUSH);
        for (double r : {s.horizon, s.ring45}) {
            gc->DrawEllipse(k * (s.cx - r), k * (s.cy - r), k * 2 * r, k * 2 * r);
        }
        gc->StrokeLine(k * (s.cx - s.horizon), k * s.cy, k * (s.cx + s.horizon), k * s.cy);
        gc->StrokeLine(k * s.cx, k * (s.cy - s.horizon), k * s.cx, k * (s.cy + s.horizon));
        gc->SetBrush(wxBrush(wxColour(s.satColour))); // outlined by the line pen
        gc->DrawEllipse(k * (s.satX - s.satR), k * (s.satY - s.satR), k * 2 * s.satR,
                        k * 2 * s.satR);
    } // the context writes the image back when it goes
    const wxString dir = wxFileName(folder, "").GetPath() +
                         wxString::Format("/icons/hicolor/%dx%d/apps", size, size);
    if (!wxFileName::Mkdir(dir, wxS_DIR_DEFAULT, wxPATH_MKDIR_FULL)) {
        std::fprintf(stderr, "artwork: cannot create %s\n", dir.utf8_str().data());
        return false;
    }
    const wxString path = dir + "/zenithprobe.png";
    if (!image.SaveFile(path, wxBITMAP_TYPE_PNG)) {
        std::fprintf(stderr, "artwork: cannot write %s\n", path.utf8_str().data());
        return false;
    }
    return true;
}

bool DesktopIconSvg(const wxString& folder) {
    const DesktopIconShape s;
    const wxString dir = wxFileName(folder, "").GetPath() + "/icons/hicolor/scalable/apps";
    if (!wxFileName::Mkdir(dir, wxS_DIR_DEFAULT, wxPATH_MKDIR_FULL)) {
        std::fprintf(stderr, "artwork: cannot create %s\n", dir.utf8_str().data());
        return false;
    }
    const wxString path = dir + "/zenithprobe.svg";
    FILE* file = std::fopen(path.utf8_str().data(), "w");
    if (file == nullptr) {
        std::fprintf(stderr, "artwork: cannot write %s\n", path.utf8_str().data());
        return false;
    }
    std::fprintf(file,
                 "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"256\" height=\"256\" "
                 "viewBox=\"0 0 256 256\">\n"
                 "  <circle cx=\"%g\" cy=\"%g\" r=\"%g\" fill=\"%s\"/>\n"
                 "  <g fill=\"none\" stroke=\"%s\" stroke-width=\"%g\">\n"
                 "    <circle cx=\"%g\" cy=\"%g\" r=\"%g\"/>\n"
                 "    <circle cx=\"%g\" cy=\"%g\" r=\"%g\"/>\n"
                 "    <path d=\"M%g %gH%gM%g %gV%g\"/>\n"
                 "  </g>\n"
                 "  <circle cx=\"%g\" cy=\"%g\" r=\"%g\" fill=\"%s\" stroke=\"%s\" "
                 "stroke-width=\"%g\"/>\n"
                 "</svg>\n",
                 s.cx, s.cy, s.disc, s.discColour, s.lineColour, s.line, s.cx, s.cy, s.horizon,
                 s.cx, s.cy, s.ring45, s.cx - s.horizon, s.cy, s.cx + s.horizon, s.cx,
                 s.cy - s.horizon, s.cy + s.horizon, s.satX, s.satY, s.satR, s.satColour,
                 s.lineColour, s.line);
    return std::fclose(file) == 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: zenithprobe-artwork RES_FOLDER\n");
        return 2;
    }
    // Drawing text needs GTK, and GTK needs a display and an application object.
    wxApp::SetInstance(new ArtworkApp);
    if (!wxEntryStart(argc, argv) || !wxTheApp->CallOnInit()) {
        std::fprintf(stderr, "artwork: no display (run it under xvfb-run)\n");
        return 1;
    }
    wxInitAllImageHandlers();
    const wxString folder = wxString::FromUTF8(argv[1]);
    bool ok = Save(Banner(), folder, "bitmap131.png");
    ok = Save(Plate(29, "Cold", false), folder, "bitmap132.png") && ok;
    ok = Save(Plate(33, "Warm", false), folder, "bitmap133.png") && ok;
    ok = Save(Plate(29, "Hot", false), folder, "bitmap134.png") && ok;
    ok = Save(Plate(29, "Cold", true), folder, "bitmap135.png") && ok;
    ok = Save(Plate(29, "Hot", true), folder, "bitmap136.png") && ok;
    ok = Save(Plate(33, "Warm", true), folder, "bitmap137.png") && ok;
    ok = Save(NamePlate(false), folder, "bitmap138.png") && ok;
    ok = Save(NamePlate(true), folder, "bitmap139.png") && ok;
    ok = Icon(folder) && ok;
    for (int size : {16, 32, 48, 64, 128, 256}) {
        ok = DesktopIconPng(folder, size) && ok;
    }
    ok = DesktopIconSvg(folder) && ok;
    wxTheApp->OnExit();
    wxEntryCleanup();
    return ok ? 0 : 1;
}
