#include "CampaignArgs.h"

#include "CommandLine.h"

#include <charconv>
#include <cstdlib>
#include <map>
#include <string_view>
#include <vector>

namespace {

bool ParseUnsigned(std::string_view text, uint32_t lo, uint32_t hi, uint32_t* value) {
    uint32_t v = 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), v);
    if (result.ec != std::errc() || result.ptr != text.data() + text.size() || v < lo || v > hi) {
        return false;
    }
    *value = v;
    return true;
}

bool ParseNumber(const std::string& text, double* value) {
    // strtod follows the locale; the command never sets one, so '.' is the separator.
    if (text.empty()) {
        return false;
    }
    char* end = nullptr;
    *value = std::strtod(text.c_str(), &end);
    return end == text.c_str() + text.size();
}

// "LAT,LON" or "LAT,LON,ALT" in degrees and metres.
bool ParseReference(const std::string& text, GeoPosition* position) {
    double values[3] = {};
    size_t count = 0;
    size_t from = 0;
    while (count < 3) {
        const size_t comma = text.find(',', from);
        const std::string part =
            text.substr(from, comma == std::string::npos ? comma : comma - from);
        if (!ParseNumber(part, &values[count++])) {
            return false;
        }
        if (comma == std::string::npos) {
            break;
        }
        from = comma + 1;
    }
    if (count < 2 || (count == 3 && text.find(',', from) != std::string::npos) || values[0] < -90 ||
        values[0] > 90 || values[1] < -180 || values[1] > 180) {
        return false;
    }
    *position = GeoPosition{values[0], values[1], values[2], count == 3};
    return true;
}

} // namespace

std::string CampaignUsage() {
    return "usage: zenithprobe-campaign [options]\n"
           "Restarts the receiver again and again, times each first fix from the arrival of\n"
           "the sentences and records the runs in campaign_YYYYMMDD_n.csv/.json/.svg/.nmea.\n"
           "Defaults: COM_PORT, BAUD_RATE, TIME_CRITERIA_C/_W/_H of Zenithprobe.ini; MULTI_GNSS=1\n"
           "there decodes GN and other talkers as the program does.\n"
           "  --port NAME        COM1 (ports folder entry) or a device path\n"
           "  --baud N           line rate\n"
           "  --kind K           cold, warm, hot, or a sequence such as cold,warm,hot (all);\n"
           "                     static: no restarts, every epoch recorded for --duration\n"
           "  --runs N           runs of the kind, or cycles of the sequence (default 20)\n"
           "  --timeout S        fix after the loss (default 3 x criterion, at least 60)\n"
           "  --settle S         fix held before the next run (default 3)\n"
           "  --loss-limit S     command to loss before a run is no-restart (default 30)\n"
           "  --reference LAT,LON[,ALT]  true position for the fix errors, ALT above sea\n"
           "                     level (default: the mean of the settled positions; static:\n"
           "                     of the 3D fixes)\n"
           "  --duration S       static: seconds to record (wall clock)\n"
           "  --skip S           static: seconds after the first 3D fix left out of the\n"
           "                     statistics (default 0)\n"
           "  --out DIR          folder of the record (default: the data folder, as\n"
           "                     zenithprobe --paths shows it)\n"
           "  --version          the name and version\n"
           "  --help             this text\n"
           "Exit status: 0 every run passed, 1 a run failed, timed out or did not restart (or\n"
           "the campaign was cut short), 2 bad arguments or the port cannot be opened.\n"
           "A static run: 0 when it ran its duration with 3D fixes, 1 otherwise.\n";
}

CampaignArgs ParseCampaignArgs(int argc, const char* const* argv,
                               const CampaignDefaults& defaults) {
    CampaignArgs a;
    a.port = defaults.port;
    a.baud = defaults.baud;
    a.settings.cycles = 20;
    for (int k = 0; k < 4; ++k) {
        a.settings.criteriaS[k] = defaults.criteriaS[k];
    }
    auto fail = [&a](std::string why) {
        a.ok = false;
        a.error = std::move(why);
        return a;
    };
    // The values are checked here so that the messages stay ours; our usage text is the help.
    static const char* const kValueOptions[] = {
        "--port",       "--baud",      "--kind", "--runs",     "--timeout", "--settle",
        "--loss-limit", "--reference", "--out",  "--duration", "--skip"};
    std::map<std::string, std::string> values;
    const std::string refused = ReadOptionValues(
        Arguments(argc, argv), {{"-h,--help", &a.help}, {"--version", &a.version}},
        std::vector<const char*>(std::begin(kValueOptions), std::end(kValueOptions)), &values);
    if (a.help || a.version) {
        a.ok = true;
        return a;
    }
    if (!refused.empty()) {
        return fail(refused);
    }
    for (const char* name : kValueOptions) {
        if (values.count(name) == 0) {
            continue;
        }
        const std::string option = name;
        const std::string& value = values[name];
        uint32_t n = 0;
        if (option == "--port") {
            a.port = value;
        } else if (option == "--baud") {
            if (!ParseUnsigned(value, 1, 4000000, &n)) {
                return fail("bad --baud " + value);
            }
            a.baud = static_cast<int32_t>(n);
        } else if (option == "--kind" && value == "static") {
            a.isStatic = true;
        } else if (option == "--kind") {
            if (!ParseKindList(value, &a.settings.kinds)) {
                return fail("bad --kind " + value +
                            " (cold, warm, hot or a list such as cold,hot)");
            }
        } else if (option == "--runs") {
            if (!ParseUnsigned(value, 1, 100000, &n)) {
                return fail("bad --runs " + value);
            }
            a.settings.cycles = static_cast<int32_t>(n);
        } else if (option == "--timeout") {
            if (!ParseUnsigned(value, 1, 86400, &a.settings.timeoutS)) {
                return fail("bad --timeout " + value);
            }
        } else if (option == "--settle") {
            if (!ParseUnsigned(value, 0, 3600, &a.settings.settleS)) {
                return fail("bad --settle " + value);
            }
        } else if (option == "--loss-limit") {
            if (!ParseUnsigned(value, 1, 3600, &a.settings.lossLimitS)) {
                return fail("bad --loss-limit " + value);
            }
        } else if (option == "--reference") {
            GeoPosition p;
            if (!ParseReference(value, &p)) {
                return fail("bad --reference " + value + " (LAT,LON or LAT,LON,ALT)");
            }
            a.settings.reference = p;
        } else if (option == "--out") {
            a.out = value;
        } else if (option == "--duration") {
            if (!ParseUnsigned(value, 1, 30 * 86400, &a.staticSettings.durationS)) {
                return fail("bad --duration " + value + " (seconds, 1 to 2592000)");
            }
        } else if (option == "--skip") {
            if (!ParseUnsigned(value, 0, 30 * 86400, &a.staticSettings.skipS)) {
                return fail("bad --skip " + value + " (seconds)");
            }
        }
    }
    // The options of one kind of campaign make no sense with the other.
    for (const char* name : {"--runs", "--timeout", "--settle", "--loss-limit"}) {
        if (a.isStatic && values.count(name) > 0) {
            return fail(std::string(name) + " does not apply to --kind static");
        }
    }
    for (const char* name : {"--duration", "--skip"}) {
        if (!a.isStatic && values.count(name) > 0) {
            return fail(std::string(name) + " needs --kind static");
        }
    }
    if (a.isStatic && values.count("--duration") == 0) {
        return fail("--kind static needs --duration S");
    }
    a.staticSettings.reference = a.settings.reference;
    a.ok = true;
    return a;
}
