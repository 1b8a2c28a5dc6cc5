#pragma once
// A record's SVG drawn by librsvg, the renderer behind the desktop's own SVG viewers: text
// included, which wx's built-in SVG support leaves out. One drawing, two viewers: the browser
// and the program show the same file.
//
// Threads: the user-interface thread (the window that shows it); no shared state.
#include <string>
#include <wx/gdicmn.h>
#include <wx/geometry.h>
#include <wx/image.h>

class CSvgImage {
public:
    CSvgImage() = default;
    ~CSvgImage();
    CSvgImage(const CSvgImage&) = delete;
    CSvgImage& operator=(const CSvgImage&) = delete;

    // Parses the document; false (with Error()) when librsvg refuses it.
    bool Load(const std::string& svgText);
    bool IsOk() const { return m_handle != nullptr; }
    const std::string& Error() const { return m_error; }

    // The document's own size in pixels (its width and height, else its viewBox).
    wxSize NaturalSize() const { return m_natural; }
    // The drawing scaled to fit size whole (its aspect kept), centred on white. An invalid image
    // (with Error()) when it cannot be drawn.
    wxImage Render(wxSize size);
    // Where the drawing lands in an image of size: its offset and scale.
    static wxRect2DDouble FitRect(wxSize natural, wxSize size);

private:
    void* m_handle = nullptr; // RsvgHandle, kept out of this header
    wxSize m_natural;
    std::string m_error;
};
