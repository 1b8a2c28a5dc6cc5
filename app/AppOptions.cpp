#include "AppOptions.h"

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
    auto fail = [&o](std::string why) {
        o.ok = false;
        o.error = std::move(why);
        return o;
    };
    if (envScale != nullptr && envScale[0] != '\0') {
        if (!ParseNumber(envScale, &o.scale) || !ValidScale(o.scale)) {
            return fail("ZENITHPROBE_SCALE must be a number from 0.5 to 8");
        }
    }
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            o.help = true;
            continue;
        }
        if (arg == "--debug") {
            o.debug = true;
            continue;
        }
        if (arg != "--scale" && arg != "--screenshot" && arg != "--quit-after") {
            return fail("unknown option " + arg);
        }
        if (i + 1 >= args.size()) {
            return fail(arg + " needs a value");
        }
        const std::string& value = args[++i];
        if (arg == "--scale") {
            if (!ParseNumber(value, &o.scale) || !ValidScale(o.scale)) {
                return fail("--scale must be a number from 0.5 to 8");
            }
        } else if (arg == "--screenshot") {
            if (value.empty()) {
                return fail("--screenshot needs a file name");
            }
            o.screenshot = value;
        } else if (!ParseNumber(value, &o.quitAfterS) || o.quitAfterS < 0 || o.quitAfterS > 86400) {
            return fail("--quit-after must be a number of seconds");
        }
    }
    if (!o.screenshot.empty() && o.quitAfterS < 0) {
        return fail("--screenshot needs --quit-after");
    }
    o.ok = true;
    return o;
}

std::string AppUsage() {
    return "usage: zenithprobe [--scale N] [--debug] [--quit-after SECONDS [--screenshot FILE]]\n"
           "  --scale N          enlarge the window (default 1, or $ZENITHPROBE_SCALE)\n"
           "  --debug            debug lines on standard error\n"
           "  --quit-after S     end after S seconds without asking\n"
           "  --screenshot FILE  save a PNG of the window just before that\n";
}
