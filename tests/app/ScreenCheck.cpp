#include "ScreenCheck.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <memory>

namespace {

struct DisplayCloser {
    void operator()(Display* d) const { XCloseDisplay(d); }
};
using DisplayPtr = std::unique_ptr<Display, DisplayCloser>;

// A window may vanish while the tree is walked; Xlib's default handler would end the process.
// The handler is process-wide (GDK's included): it is put back at once.
class IgnoreXErrors {
public:
    explicit IgnoreXErrors(Display* d) : m_display(d), m_old(XSetErrorHandler(Ignore)) {}
    ~IgnoreXErrors() {
        XSync(m_display, False);
        XSetErrorHandler(m_old);
    }
    IgnoreXErrors(const IgnoreXErrors&) = delete;
    IgnoreXErrors& operator=(const IgnoreXErrors&) = delete;

private:
    static int Ignore(Display*, XErrorEvent*) { return 0; }
    Display* m_display;
    XErrorHandler m_old;
};

// Depth-first through the whole tree: a window manager puts the client inside its frame.
Window FindNamed(Display* d, Window w, const std::string& title) {
    char* name = nullptr;
    if (XFetchName(d, w, &name) != 0 && name != nullptr) {
        const bool match = title == name;
        XFree(name);
        XWindowAttributes a;
        if (match && XGetWindowAttributes(d, w, &a) != 0 && a.map_state == IsViewable) {
            return w;
        }
    }
    Window root = 0;
    Window parent = 0;
    Window* children = nullptr;
    unsigned count = 0;
    if (XQueryTree(d, w, &root, &parent, &children, &count) == 0) {
        return 0;
    }
    Window found = 0;
    for (unsigned i = count; i-- > 0 && found == 0;) { // topmost first
        found = FindNamed(d, children[i], title);
    }
    if (children != nullptr) {
        XFree(children);
    }
    return found;
}

// The value of a colour channel under mask, scaled to 0..255 (the screen is 24-bit TrueColor
// under Xvfb, but the masks say so rather than this code).
unsigned char Channel(unsigned long pixel, unsigned long mask) {
    if (mask == 0) {
        return 0;
    }
    int shift = 0;
    while (((mask >> shift) & 1U) == 0) {
        ++shift;
    }
    const unsigned long max = mask >> shift;
    return static_cast<unsigned char>(((pixel & mask) >> shift) * 255 / max);
}

} // namespace

std::optional<wxRect> FindScreenWindow(const std::string& title) {
    DisplayPtr d(XOpenDisplay(nullptr));
    if (!d) {
        return std::nullopt;
    }
    IgnoreXErrors quiet(d.get());
    const Window root = DefaultRootWindow(d.get());
    const Window w = FindNamed(d.get(), root, title);
    XWindowAttributes a;
    if (w == 0 || XGetWindowAttributes(d.get(), w, &a) == 0) {
        return std::nullopt;
    }
    int x = 0;
    int y = 0;
    Window child = 0;
    XTranslateCoordinates(d.get(), w, root, 0, 0, &x, &y, &child);
    return wxRect(x, y, a.width, a.height);
}

std::vector<wxRect> FindPopupWindows() {
    std::vector<wxRect> found;
    DisplayPtr d(XOpenDisplay(nullptr));
    if (!d) {
        return found;
    }
    IgnoreXErrors quiet(d.get());
    Window root = DefaultRootWindow(d.get());
    Window parent = 0;
    Window* children = nullptr;
    unsigned count = 0;
    if (XQueryTree(d.get(), root, &root, &parent, &children, &count) == 0) {
        return found;
    }
    for (unsigned i = 0; i < count; ++i) {
        XWindowAttributes a;
        // The toolkit keeps mapped helper windows of its own off the screen (at -100,-100).
        if (XGetWindowAttributes(d.get(), children[i], &a) != 0 && a.map_state == IsViewable &&
            a.override_redirect && a.x + a.width > 0 && a.y + a.height > 0) {
            found.emplace_back(a.x, a.y, a.width, a.height);
        }
    }
    if (children != nullptr) {
        XFree(children);
    }
    return found;
}

wxImage GrabScreen(const wxRect& rect) {
    DisplayPtr d(XOpenDisplay(nullptr));
    if (!d) {
        return wxImage();
    }
    // Only what lies on the screen can be read.
    const wxRect screen(0, 0, DisplayWidth(d.get(), DefaultScreen(d.get())),
                        DisplayHeight(d.get(), DefaultScreen(d.get())));
    if (rect.IsEmpty() || !screen.Contains(rect)) {
        return wxImage();
    }
    IgnoreXErrors quiet(d.get());
    XImage* xi = XGetImage(d.get(), DefaultRootWindow(d.get()), rect.x, rect.y,
                           static_cast<unsigned>(rect.width), static_cast<unsigned>(rect.height),
                           AllPlanes, ZPixmap);
    if (xi == nullptr) {
        return wxImage();
    }
    wxImage image(rect.width, rect.height, false);
    for (int y = 0; y < rect.height; ++y) {
        for (int x = 0; x < rect.width; ++x) {
            const unsigned long p = XGetPixel(xi, x, y);
            image.SetRGB(x, y, Channel(p, xi->red_mask), Channel(p, xi->green_mask),
                         Channel(p, xi->blue_mask));
        }
    }
    XDestroyImage(xi);
    return image;
}

PixelCounts CountPixels(const wxImage& image) {
    PixelCounts c;
    if (!image.IsOk()) {
        return c;
    }
    for (int y = 0; y < image.GetHeight(); ++y) {
        for (int x = 0; x < image.GetWidth(); ++x) {
            const unsigned r = image.GetRed(x, y);
            const unsigned g = image.GetGreen(x, y);
            const unsigned b = image.GetBlue(x, y);
            ++c.total;
            c.white += (r == 255 && g == 255 && b == 255) ? 1 : 0;
            c.black += (r == 0 && g == 0 && b == 0) ? 1 : 0;
            c.pureBlue += (r == 0 && g == 0 && b == 255) ? 1 : 0;
            c.pureRed += (r == 255 && g == 0 && b == 0) ? 1 : 0;
            c.dark += (r < 96 && g < 96 && b < 96) ? 1 : 0;
        }
    }
    return c;
}
