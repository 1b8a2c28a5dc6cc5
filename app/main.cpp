// zenithprobe: the receiver monitor.
//
// The command line is read before the toolkit starts, so that --help, --version and --paths
// work without a display (in a terminal over ssh, in a package's tests).
#include "AppOptions.h"
#include "Paths.h"
#include "ZenithprobeApp.h"

#include <cstdio>
#include <cstdlib>

wxIMPLEMENT_APP_NO_MAIN(CZenithprobeApp);

namespace {
int PrintPaths() {
    const Folders f = CurrentFolders();
    std::printf("layout: %s\n", f.perUser ? "per-user (XDG)" : "portable (the program's folder)");
    std::printf("program: %s\n", f.program.c_str());
    std::printf("config: %s (Zenithprobe.ini)\n", f.config.c_str());
    std::printf("ports: %s\n", PortsFolder().c_str());
    std::printf("data: %s (NMEA logs, campaign files)\n", f.data.c_str());
    return std::fflush(stdout) == 0 ? 0 : 1;
}
} // namespace

int main(int argc, char** argv) {
    const AppOptions options =
        ParseAppOptions(Arguments(argc, argv), std::getenv("ZENITHPROBE_SCALE"));
    if (options.exit.exit) {
        return PrintCommandLineResult(options.exit);
    }
    if (options.paths) {
        return PrintPaths();
    }
    // The toolkit answers -1 when it cannot start (no display): a plain failure for the shell.
    const int status = wxEntry(argc, argv);
    return status < 0 ? 1 : status;
}
