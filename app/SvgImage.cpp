#include "SvgImage.h"

#include <algorithm>
#include <cairo.h>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <librsvg/rsvg.h>

namespace {

RsvgHandle* Handle(void* p) {
    return static_cast<RsvgHandle*>(p);
}

std::string TakeError(GError* error, const char* fallback) {
    std::string text = error != nullptr && error->message != nullptr ? error->message : fallback;
    if (error != nullptr) {
        g_error_free(error);
    }
    return text;
}

// A document that states no size at all still gets drawn, at a screen-like size.
constexpr int kDefaultWidth = 800;
constexpr int kDefaultHeight = 600;
// Larger than any screen: guards cairo against a size that would not fit in memory.
constexpr int kMaxSide = 16384;

} // namespace

CSvgImage::~CSvgImage() {
    if (m_handle != nullptr) {
        g_object_unref(Handle(m_handle));
    }
}

bool CSvgImage::Load(const std::string& svgText) {
    if (m_handle != nullptr) {
        g_object_unref(Handle(m_handle));
        m_handle = nullptr;
    }
    GError* error = nullptr;
    RsvgHandle* handle = rsvg_handle_new_from_data(reinterpret_cast<const guint8*>(svgText.data()),
                                                   svgText.size(), &error);
    if (handle == nullptr) {
        m_error = TakeError(error, "not an SVG document");
        return false;
    }
    m_handle = handle;
    m_error.clear();
    double width = 0;
    double height = 0;
    if (rsvg_handle_get_intrinsic_size_in_pixels(handle, &width, &height) == TRUE && width >= 1 &&
        height >= 1 && width <= kMaxSide && height <= kMaxSide) {
        m_natural = wxSize(static_cast<int>(std::ceil(width)), static_cast<int>(std::ceil(height)));
        return true;
    }
    gboolean hasViewBox = FALSE;
    RsvgRectangle viewBox{};
    rsvg_handle_get_intrinsic_dimensions(handle, nullptr, nullptr, nullptr, nullptr, &hasViewBox,
                                         &viewBox);
    if (hasViewBox == TRUE && viewBox.width >= 1 && viewBox.height >= 1) {
        const double fit = std::min(kDefaultWidth / viewBox.width, kDefaultHeight / viewBox.height);
        m_natural = wxSize(std::max(1, static_cast<int>(viewBox.width * fit)),
                           std::max(1, static_cast<int>(viewBox.height * fit)));
    } else {
        m_natural = wxSize(kDefaultWidth, kDefaultHeight);
    }
    return true;
}

wxRect2DDouble CSvgImage::FitRect(wxSize natural, wxSize size) {
    if (natural.x <= 0 || natural.y <= 0) {
        return {0, 0, double(size.x), double(size.y)};
    }
    const double scale = std::min(double(size.x) / natural.x, double(size.y) / natural.y);
    const double w = natural.x * scale;
    const double h = natural.y * scale;
    return {(size.x - w) / 2, (size.y - h) / 2, w, h};
}

wxImage CSvgImage::Render(wxSize size) {
    if (m_handle == nullptr || size.x < 1 || size.y < 1 || size.x > kMaxSide || size.y > kMaxSide) {
        m_error = m_handle == nullptr ? "no document" : "no room to draw";
        return wxImage();
    }
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, size.x, size.y);
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
        m_error = cairo_status_to_string(cairo_surface_status(surface));
        cairo_surface_destroy(surface);
        return wxImage();
    }
    cairo_t* cr = cairo_create(surface);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    // The viewport is the drawing's fitted rectangle: librsvg keeps the aspect by itself, but
    // computing it here keeps FitRect the one rule for where the drawing lands.
    const wxRect2DDouble fit = FitRect(m_natural, size);
    const RsvgRectangle viewport{fit.m_x, fit.m_y, fit.m_width, fit.m_height};
    GError* error = nullptr;
    const bool drawn = rsvg_handle_render_document(Handle(m_handle), cr, &viewport, &error) == TRUE;
    cairo_destroy(cr);
    if (!drawn) {
        m_error = TakeError(error, "the document cannot be drawn");
        cairo_surface_destroy(surface);
        return wxImage();
    }
    cairo_surface_flush(surface);
    // RGB24: one native-endian 32-bit word per pixel, 0x00RRGGBB.
    const unsigned char* data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    wxImage image(size.x, size.y, false);
    unsigned char* out = image.GetData();
    for (int y = 0; y < size.y; ++y) {
        const unsigned char* row = data + static_cast<ptrdiff_t>(y) * stride;
        for (int x = 0; x < size.x; ++x) {
            uint32_t p = 0;
            std::memcpy(&p, row + static_cast<ptrdiff_t>(x) * 4, sizeof p);
            *out++ = static_cast<unsigned char>(p >> 16);
            *out++ = static_cast<unsigned char>(p >> 8);
            *out++ = static_cast<unsigned char>(p);
        }
    }
    cairo_surface_destroy(surface);
    return image;
}
