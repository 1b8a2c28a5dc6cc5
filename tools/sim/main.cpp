// zenithprobe-sim: a simulated GPS receiver on a pseudo-terminal, linked as a port name.
#include "CommandLine.h"
#include "ReceiverSimulator.h"
#include "SimOptions.h"

#include <csignal>
#include <cstdio>
#include <ctime>

int main(int argc, char** argv) {
    SimArguments args = ParseSimArguments(argc, argv);
    if (!args.ok) {
        std::fprintf(stderr, "zenithprobe-sim: %s\n%s", args.error.c_str(), SimUsage().c_str());
        return 2;
    }
    if (args.version) {
        std::printf("%s\n", VersionLine("zenithprobe-sim").c_str());
        return 0;
    }
    if (args.help) {
        std::fputs(SimUsage().c_str(), stdout);
        return 0;
    }
    // Block the stop signals before any thread starts so that only sigtimedwait below sees them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    ReceiverSimulator sim(args.options);
    if (!sim.Start()) {
        std::fprintf(stderr, "zenithprobe-sim: %s\n", sim.Error().c_str());
        return 1;
    }
    std::fprintf(stderr, "zenithprobe-sim: seed %llu\n",
                 static_cast<unsigned long long>(sim.Seed()));
    std::printf("port: %s\nlink: %s\n", sim.SlavePath().c_str(), sim.LinkPath().c_str());
    std::fflush(stdout);

    // Until a stop signal, or until the simulator hangs up by itself (--hangup-after).
    const timespec step{0, 100 * 1000 * 1000};
    while (!sim.Status().finished) {
        int signal = sigtimedwait(&stopSignals, nullptr, &step);
        if (signal > 0) {
            break;
        }
    }
    sim.Stop();
    return 0;
}
