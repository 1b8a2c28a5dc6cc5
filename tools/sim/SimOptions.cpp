#include "SimOptions.h"

#include "BaudTable.h"
#include "CommandLine.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <map>
#include <vector>

namespace {

bool ParseDouble(std::string_view text, double* value) {
    if (text.empty()) {
        return false;
    }
    std::string s(text);
    char* end = nullptr;
    double v = std::strtod(s.c_str(), &end);
    if (end != s.c_str() + s.size() || !std::isfinite(v)) {
        return false;
    }
    *value = v;
    return true;
}

template <typename T> bool ParseUnsigned(std::string_view text, T* value) {
    T v{};
    auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (text.empty() || ec != std::errc() || ptr != text.data() + text.size()) {
        return false;
    }
    *value = v;
    return true;
}

// Fixed-width decimal field of the start time.
bool Digits(std::string_view text, size_t pos, size_t count, int* value) {
    if (pos + count > text.size()) {
        return false;
    }
    int v = 0;
    for (size_t i = pos; i < pos + count; ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return false;
        }
        v = v * 10 + (text[i] - '0');
    }
    *value = v;
    return true;
}

// --constellations gps,glonass,... (each once) or --nmea 4.0|4.10|4.11.
bool ParseGnssOption(std::string_view arg, std::string_view value, SimOptions* o) {
    if (arg == "--nmea") {
        o->nmeaVersion = value == "4.0" ? 40 : value == "4.10" ? 410 : value == "4.11" ? 411 : 0;
        return o->nmeaVersion != 0;
    }
    std::vector<SimSystem> systems;
    while (true) {
        const size_t comma = value.find(',');
        const std::string_view name = value.substr(0, comma);
        SimSystem s;
        if (name == "gps") {
            s = SimSystem::Gps;
        } else if (name == "glonass") {
            s = SimSystem::Glonass;
        } else if (name == "galileo") {
            s = SimSystem::Galileo;
        } else if (name == "beidou") {
            s = SimSystem::BeiDou;
        } else {
            return false;
        }
        for (const SimSystem other : systems) {
            if (other == s) {
                return false;
            }
        }
        systems.push_back(s);
        if (comma == std::string_view::npos) {
            break;
        }
        value.remove_prefix(comma + 1);
    }
    o->constellations = systems;
    return true;
}

} // namespace

const char* RestartKindName(RestartKind kind) {
    switch (kind) {
    case RestartKind::Cold:
        return "cold";
    case RestartKind::Warm:
        return "warm";
    case RestartKind::Hot:
        return "hot";
    }
    return "?";
}

bool ParseTtffRange(std::string_view text, TtffRange* range) {
    // A leading '-' would be a negative number, never a range separator.
    size_t dash = text.find('-', 1);
    TtffRange r;
    if (dash == std::string_view::npos) {
        if (!ParseDouble(text, &r.minS)) {
            return false;
        }
        r.maxS = r.minS;
    } else if (!ParseDouble(text.substr(0, dash), &r.minS) ||
               !ParseDouble(text.substr(dash + 1), &r.maxS)) {
        return false;
    }
    // A day is far beyond any receiver and keeps the arithmetic on epochs small.
    if (r.minS < 0 || r.maxS < r.minS || r.maxS > 86400) {
        return false;
    }
    *range = r;
    return true;
}

bool ParseUtcTime(std::string_view text, int64_t* secondsSince1970) {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    if (text.size() != 19 || text[4] != '-' || text[7] != '-' || text[10] != ' ' ||
        text[13] != ':' || text[16] != ':' || !Digits(text, 0, 4, &year) ||
        !Digits(text, 5, 2, &month) || !Digits(text, 8, 2, &day) || !Digits(text, 11, 2, &hour) ||
        !Digits(text, 14, 2, &minute) || !Digits(text, 17, 2, &second)) {
        return false;
    }
    if (year < 1970 || month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 ||
        second > 59) {
        return false;
    }
    tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    time_t s = timegm(&t);
    // timegm normalises 31 February into March; such a date is a typing error.
    tm back{};
    if (s == static_cast<time_t>(-1) || gmtime_r(&s, &back) == nullptr || back.tm_mday != day ||
        back.tm_mon != month - 1) {
        return false;
    }
    *secondsSince1970 = static_cast<int64_t>(s);
    return true;
}

std::string SimUsage() {
    return "usage: zenithprobe-sim [options]\n"
           "A simulated GPS receiver on a pseudo-terminal, linked as a port name.\n"
           "  --port COMn             link name in the ports folder (default COM1)\n"
           "  --ports-dir DIR         ports folder (default $ZENITHPROBE_PORTS, else ports/\n"
           "                          beside the program)\n"
           "  --baud N                line rate (default 4800): at most N/10 bytes per second\n"
           "  --rate-hz F             epochs per second (default 1)\n"
           "  --start-time \"YYYY-MM-DD HH:MM:SS\"   UTC of the first epoch (default now)\n"
           "  --lat DEG --lon DEG --alt M            start position (decimal degrees, metres)\n"
           "  --seed N                repeatable sky, motion and TTFF draws\n"
           "  --ttff-cold A-B         seconds from fix loss to fix after a cold start (30-45)\n"
           "  --ttff-warm A-B         ... after a warm start (25-35)\n"
           "  --ttff-hot A-B          ... after a hot start (1-2)\n"
           "  --start fix|nofix       begin with a fix (default) or acquire one like a cold start\n"
           "  --talker GP|GN          talker of the sentences (default GP)\n"
           "  --constellations LIST   gps,glonass,galileo,beidou (default gps); more than one\n"
           "                          sends GN fixes and GSV per constellation\n"
           "  --nmea 4.0|4.10|4.11    NMEA version: 4.10 adds system and signal IDs (default 4.0)\n"
           "  --binary LIST           ubx,rtcm3: UBX NAV-PVT and NAV-SAT frames, an RTCM 3\n"
           "                          message 1005, before each epoch's sentences (the\n"
           "                          sentences are trimmed to the rest of the line rate)\n"
           "  --silent-after S        stop sending after S seconds (keep running)\n"
           "  --hangup-after S        close the line after S seconds and exit 0\n"
           "  --pause-at S --pause-for S   silent from S seconds on for S seconds, then\n"
           "                          talking again (both needed)\n"
           "  --flap-fix ON,OFF       a fix held for ON seconds drops for OFF seconds, again\n"
           "                          and again\n"
           "  --ignore-commands       keep the fix whatever is received\n"
           "  --family F              sony-sirf (default), ubx, mtk, airoha, quectel-lg,\n"
           "                          skytraq or casic: restart on that family's commands only,\n"
           "                          answer its version query, acknowledge as it does\n"
           "  --banner                send a version text at start and after each restart\n"
           "  --static                stand still at the start position (default: driving)\n"
           "  --noise H,V             standard deviations in metres of the reported position\n"
           "                          (per horizontal axis, vertical); implies --static\n"
           "  --noise-tau S           time constant of the noise (first-order Gauss-Markov);\n"
           "                          0: independent each epoch (default)\n"
           "  --cn0 MEAN,SD           the satellites' SNRs drawn from this normal distribution\n"
           "  --log-commands FILE     write every byte received to FILE\n"
           "  --truth FILE            one JSON line per restart acted on: kind, when the\n"
           "                          command came, the loss and fix epochs, the drawn TTFF;\n"
           "                          standing still, first a {\"position\":...} line\n"
           "  --replay FILE           send FILE byte for byte instead of simulating; lines\n"
           "                          that start with '#' (capture headers) are left out\n"
           "  --replay-raw            ... keep them too\n"
           "  --loop                  replay FILE again and again\n"
           "  --realtime              replay one RMC-ended epoch per second\n"
           "  --count N               N receivers in one process on COM1..COMN (seeds\n"
           "                          S..S+N-1; --truth and --log-commands get FILE.n)\n"
           "  --port-prefix P         their link names P1..PN (default COM); --family F,G,...\n"
           "                          gives them the families in turn\n"
           "  --version               the name and version\n"
           "  --help                  this text\n"
           "Runs until SIGINT or SIGTERM; prints \"port: <device>\" and \"link: <link>\".\n";
}

namespace {

// Options that take a value, in the order their values are checked. CLI11 reads them as text;
// ApplyValue checks and converts each one, so that the messages stay ours.
const char* const kValueOptions[] = {
    "--port",         "--ports-dir",
    "--baud",         "--rate-hz",
    "--start-time",   "--lat",
    "--lon",          "--alt",
    "--seed",         "--ttff-cold",
    "--ttff-warm",    "--ttff-hot",
    "--start",        "--talker",
    "--silent-after", "--hangup-after",
    "--log-commands", "--replay",
    "--pause-at",     "--pause-for",
    "--truth",        "--constellations",
    "--nmea",         "--flap-fix",
    "--family",       "--noise",
    "--noise-tau",    "--cn0",
    "--count",        "--port-prefix",
    "--binary",
};

// "A,B": two numbers within [lo, hi] each.
bool ParsePair(std::string_view text, double lo, double hi, double* a, double* b) {
    const size_t comma = text.find(',');
    return comma != std::string_view::npos && ParseDouble(text.substr(0, comma), a) &&
           ParseDouble(text.substr(comma + 1), b) && *a >= lo && *a <= hi && *b >= lo && *b <= hi;
}

// False when value is not one the option takes.
bool ApplyValue(std::string_view arg, std::string_view value, SimOptions& o) {
    double d = 0;
    if (arg == "--port") {
        std::string name(value);
        if (!name.empty() && name.back() == ':') {
            name.pop_back();
        }
        if (name.empty() || name.find('/') != std::string::npos || name == "." || name == "..") {
            return false;
        }
        o.port = name;
    } else if (arg == "--ports-dir") {
        if (value.empty()) {
            return false;
        }
        o.portsDir = std::string(value);
    } else if (arg == "--baud") {
        if (!ParseUnsigned(value, &o.baud) || StandardSpeed(o.baud) == 0) {
            return false;
        }
    } else if (arg == "--rate-hz") {
        // Above 100 Hz an epoch is shorter than the simulator's pacing step.
        if (!ParseDouble(value, &d) || d <= 0 || d > 100) {
            return false;
        }
        o.rateHz = d;
    } else if (arg == "--start-time") {
        int64_t s = 0;
        if (!ParseUtcTime(value, &s)) {
            return false;
        }
        o.startUtc = s;
    } else if (arg == "--lat") {
        if (!ParseDouble(value, &d) || d < -89.9 || d > 89.9) {
            return false;
        }
        o.latDeg = d;
    } else if (arg == "--lon") {
        if (!ParseDouble(value, &d) || d < -180 || d > 180) {
            return false;
        }
        o.lonDeg = d;
    } else if (arg == "--alt") {
        if (!ParseDouble(value, &d) || d < -1000 || d > 100000) {
            return false;
        }
        o.altM = d;
    } else if (arg == "--seed") {
        uint64_t seed = 0;
        if (!ParseUnsigned(value, &seed)) {
            return false;
        }
        o.seed = seed;
    } else if (arg == "--ttff-cold" || arg == "--ttff-warm" || arg == "--ttff-hot") {
        TtffRange* r = arg == "--ttff-cold"   ? &o.ttffCold
                       : arg == "--ttff-warm" ? &o.ttffWarm
                                              : &o.ttffHot;
        if (!ParseTtffRange(value, r)) {
            return false;
        }
    } else if (arg == "--start") {
        if (value != "fix" && value != "nofix") {
            return false;
        }
        o.startNoFix = value == "nofix";
    } else if (arg == "--talker") {
        if (value.size() != 2 || value[0] < 'A' || value[0] > 'Z' || value[1] < 'A' ||
            value[1] > 'Z') {
            return false;
        }
        o.talker = std::string(value);
    } else if (arg == "--silent-after" || arg == "--hangup-after") {
        if (!ParseDouble(value, &d) || d < 0) {
            return false;
        }
        (arg == "--silent-after" ? o.silentAfterS : o.hangupAfterS) = d;
    } else if (arg == "--flap-fix") {
        const size_t comma = value.find(',');
        double on = 0, off = 0;
        if (comma == std::string_view::npos || !ParseDouble(value.substr(0, comma), &on) ||
            !ParseDouble(value.substr(comma + 1), &off) || on <= 0 || off <= 0) {
            return false;
        }
        o.flapOnS = on;
        o.flapOffS = off;
    } else if (arg == "--pause-at" || arg == "--pause-for") {
        if (!ParseDouble(value, &d) || d < 0 || (arg == "--pause-for" && d == 0)) {
            return false;
        }
        (arg == "--pause-at" ? o.pauseAtS : o.pauseForS) = d;
    } else if (arg == "--constellations" || arg == "--nmea") {
        if (!ParseGnssOption(arg, value, &o)) {
            return false;
        }
    } else if (arg == "--family") {
        // One family, or several for --count's receivers in turn.
        o.families.clear();
        size_t start = 0;
        while (start <= value.size()) {
            const size_t comma = std::min(value.find(',', start), value.size());
            const std::string_view item = value.substr(start, comma - start);
            ReceiverSetting setting;
            std::string error;
            if (item == "sony-sirf") {
                o.families.push_back(ReceiverFamily::None);
            } else if (!item.empty() &&
                       ParseReceiverSetting(std::string(item), "--family", &setting, &error) &&
                       !setting.automatic) {
                o.families.push_back(setting.family);
            } else {
                return false;
            }
            start = comma + 1;
        }
        o.family = o.families.front();
    } else if (arg == "--noise") {
        // Beyond a kilometre it is no longer a receiver's error.
        if (!ParsePair(value, 0, 1000, &o.noiseHorizontalM, &o.noiseVerticalM)) {
            return false;
        }
        o.stationary = true;
    } else if (arg == "--noise-tau") {
        if (!ParseDouble(value, &d) || d < 0 || d > 86400) {
            return false;
        }
        o.noiseTauS = d;
    } else if (arg == "--cn0") {
        double mean = 0, sd = 0;
        if (!ParsePair(value, 0, 99, &mean, &sd) || mean < 1) {
            return false;
        }
        o.cn0MeanDbHz = mean;
        o.cn0SdDbHz = sd;
    } else if (arg == "--binary") {
        o.binaryUbx = false;
        o.binaryRtcm3 = false;
        size_t start = 0;
        while (start <= value.size()) {
            const size_t comma = std::min(value.find(',', start), value.size());
            const std::string_view item = value.substr(start, comma - start);
            if (item == "ubx") {
                o.binaryUbx = true;
            } else if (item == "rtcm3") {
                o.binaryRtcm3 = true;
            } else {
                return false;
            }
            start = comma + 1;
        }
    } else if (arg == "--truth") {
        if (value.empty()) {
            return false;
        }
        o.truthFile = std::string(value);
    } else if (arg == "--log-commands") {
        if (value.empty()) {
            return false;
        }
        o.logCommands = std::string(value);
    } else if (arg == "--replay") {
        if (value.empty()) {
            return false;
        }
        o.replayFile = std::string(value);
    }
    return true;
}

} // namespace

SimArguments ParseSimArguments(int argc, const char* const* argv) {
    SimArguments result;
    SimOptions& o = result.options;
    auto fail = [&](std::string message) {
        result.ok = false;
        result.error = std::move(message);
        return result;
    };
    // Our own usage text is the help (it documents the value syntax).
    std::map<std::string, std::string> values;
    const std::string refused = ReadOptionValues(
        Arguments(argc, argv),
        {{"-h,--help", &result.help},
         {"--version", &result.version},
         {"--ignore-commands", &o.ignoreCommands},
         {"--static", &o.stationary},
         {"--loop", &o.loop},
         {"--realtime", &o.realtime},
         {"--replay-raw", &o.replayRaw},
         {"--banner", &o.banner}},
        std::vector<const char*>(std::begin(kValueOptions), std::end(kValueOptions)), &values);
    if (!refused.empty() && !result.help && !result.version) {
        return fail(refused);
    }
    if (result.help || result.version) {
        result.ok = true;
        return result;
    }
    // Checked in the table's order, as before.
    for (const char* name : kValueOptions) {
        const auto it = values.find(name);
        if (it == values.end()) {
            continue;
        }
        const std::string_view option = name;
        const std::string& value = it->second;
        if (option == "--count") {
            if (!ParseUnsigned(std::string_view(value), &result.count) || result.count < 1 ||
                result.count > 1000) {
                return fail("bad value for --count: " + value);
            }
        } else if (option == "--port-prefix") {
            if (value.empty() || value.find('/') != std::string::npos || value == "." ||
                value == "..") {
                return fail("bad value for --port-prefix: " + value);
            }
            result.portPrefix = value;
        } else if (!ApplyValue(name, value, o)) {
            return fail("bad value for " + std::string(name) + ": " + value);
        }
    }
    if ((o.loop || o.realtime || o.replayRaw) && o.replayFile.empty()) {
        return fail("--loop, --realtime and --replay-raw need --replay");
    }
    if (values.count("--noise-tau") > 0 && values.count("--noise") == 0) {
        return fail("--noise-tau needs --noise");
    }
    if ((o.binaryUbx || o.binaryRtcm3) && !o.replayFile.empty()) {
        return fail("--binary simulates: not with --replay");
    }
    if ((values.count("--pause-at") > 0) != (values.count("--pause-for") > 0)) {
        return fail("--pause-at and --pause-for go together");
    }
    // One process for all of them: an option that ends the process would end every receiver.
    if (result.count > 0 && values.count("--hangup-after") > 0) {
        return fail("--hangup-after cannot be used with --count");
    }
    if (result.count > 0 && values.count("--port") > 0) {
        return fail("--port cannot be used with --count (use --port-prefix)");
    }
    if (result.count == 0 && values.count("--port-prefix") > 0) {
        return fail("--port-prefix needs --count");
    }
    if (result.count == 0 && result.options.families.size() > 1) {
        return fail("several --family values need --count");
    }
    result.ok = true;
    return result;
}

std::vector<SimOptions> CountedReceivers(const SimArguments& args, uint64_t baseSeed) {
    std::vector<SimOptions> receivers;
    for (uint32_t n = 1; n <= args.count; ++n) {
        SimOptions o = args.options;
        const std::string suffix = "." + std::to_string(n);
        o.port = args.portPrefix + std::to_string(n);
        o.seed = baseSeed + n - 1;
        if (!o.families.empty()) {
            o.family = o.families[(n - 1) % o.families.size()];
        }
        if (!o.truthFile.empty()) {
            o.truthFile += suffix;
        }
        if (!o.logCommands.empty()) {
            o.logCommands += suffix;
        }
        receivers.push_back(std::move(o));
    }
    return receivers;
}
