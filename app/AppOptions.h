#pragma once
// The program's command line:
//   --scale N         enlarge the whole window, fonts included (1: the handheld's 240 x 320
//                     pixels; ZENITHPROBE_SCALE gives the default; without either the largest
//                     whole scale that fits the desktop, see DesktopScale in DialogTemplate.h)
//   --debug           debug lines on standard error (as ZENITHPROBE_DEBUG=1)
//   --screenshot FILE with --quit-after: save a PNG of the main dialog before quitting
//   --quit-after S    end the program after S seconds without asking (demo, benchmark)
//   --paths           print the folders in use and exit
//   --help, --version
// Pure function; any thread may call it.
#include "CommandLine.h"

#include <string>
#include <vector>

struct AppOptions {
    bool ok = false; // false: error says why
    bool help = false;
    std::string error;
    double scale = 1.0;
    bool scaleGiven = false; // by --scale or ZENITHPROBE_SCALE
    bool debug = false;
    bool paths = false;
    std::string screenshot;
    double quitAfterS = -1; // < 0: run until the user exits
    // What to print before exiting when the program does not run (help, version, an error).
    CommandLineResult exit;
};

// args: the arguments after the program name. envScale: $ZENITHPROBE_SCALE or nullptr.
AppOptions ParseAppOptions(const std::vector<std::string>& args, const char* envScale);
