#include "AppOptions.h"

#include <CLI/CLI.hpp>
#include <cmath>
#include <cstdlib>

namespace {
constexpr double kMinScale = 0.5;
constexpr double kMaxScale = 8.0;

bool ParseNumber(const std::string& text, double* value) {
    if (text.empty()) {
        return false;
    }
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (end != text.c_str() + text.size() || !std::isfinite(v)) {
        return false;
    }
    *value = v;
    return true;
}

bool ValidScale(double scale) {
    return scale >= kMinScale && scale <= kMaxScale;
}
} // namespace

AppOptions ParseAppOptions(const std::vector<std::string>& args, const char* envScale) {
    AppOptions o;
    CLI::App app("Zenithprobe: watch a GPS receiver on a serial port, restart it and time its "
                 "first fix.",
                 "zenithprobe");
    std::string scale;
    std::string quitAfter;
    app.add_option("--scale", scale,
                   "Enlarge the window by N (0.5 to 8; default $ZENITHPROBE_SCALE, else the "
                   "largest whole scale that fits the screen)")
        ->type_name("N");
    app.add_flag("--debug", o.debug, "Debug lines on standard error");
    app.add_option("--quit-after", quitAfter, "End after S seconds without asking")->type_name("S");
    app.add_option("--screenshot", o.screenshot,
                   "With --quit-after: save a PNG of the window just before that")
        ->type_name("FILE");
    app.add_flag("--paths", o.paths, "Print the folders in use and exit");
    app.footer("Files: see zenithprobe(1) or zenithprobe --paths.");

    auto fail = [&](const std::string& why) {
        o.ok = false;
        o.error = why;
        o.exit = CommandLineError(app, why);
        return o;
    };
    o.exit = ParseCommandLine(app, args);
    if (o.exit.exit) {
        o.ok = o.exit.status == 0;
        o.help = o.ok;
        o.error = o.exit.err;
        return o;
    }
    if (envScale != nullptr && envScale[0] != '\0') {
        if (!ParseNumber(envScale, &o.scale) || !ValidScale(o.scale)) {
            return fail("ZENITHPROBE_SCALE must be a number from 0.5 to 8");
        }
        o.scaleGiven = true;
    }
    if (app.count("--scale") > 0) {
        if (!ParseNumber(scale, &o.scale) || !ValidScale(o.scale)) {
            return fail("--scale must be a number from 0.5 to 8");
        }
        o.scaleGiven = true;
    }
    if (app.count("--screenshot") > 0 && o.screenshot.empty()) {
        return fail("--screenshot needs a file name");
    }
    if (app.count("--quit-after") > 0 &&
        (!ParseNumber(quitAfter, &o.quitAfterS) || o.quitAfterS < 0 || o.quitAfterS > 86400)) {
        return fail("--quit-after must be a number of seconds");
    }
    if (!o.screenshot.empty() && o.quitAfterS < 0) {
        return fail("--screenshot needs --quit-after");
    }
    o.ok = true;
    return o;
}
