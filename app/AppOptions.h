#pragma once
// The program's command line:
//   --scale N         enlarge the whole window, fonts included (default 1: the handheld's
//                     240 x 320 pixels; ZENITHPROBE_SCALE gives the default)
//   --debug           debug lines on standard error (as ZENITHPROBE_DEBUG=1)
//   --screenshot FILE with --quit-after: save a PNG of the main dialog before quitting
//   --quit-after S    end the program after S seconds without asking (demo, benchmark)
//   --help
// Pure function; any thread may call it.
#include <string>
#include <vector>

struct AppOptions {
    bool ok = false; // false: error says why
    bool help = false;
    std::string error;
    double scale = 1.0;
    bool debug = false;
    std::string screenshot;
    double quitAfterS = -1; // < 0: run until the user exits
};

// args: the arguments after the program name. envScale: $ZENITHPROBE_SCALE or nullptr.
AppOptions ParseAppOptions(const std::vector<std::string>& args, const char* envScale);
std::string AppUsage();
