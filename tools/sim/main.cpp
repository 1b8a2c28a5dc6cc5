// zenithprobe-sim: a simulated GPS receiver on a pseudo-terminal, linked as a port name.
#include "CommandLine.h"
#include "ReceiverSimulator.h"
#include "SimOptions.h"

#include <csignal>
#include <cstdio>
#include <ctime>
#include <memory>
#include <random>
#include <vector>

namespace {

// --count: N receivers, each with its own thread and pty, until a stop signal.
int RunCounted(const SimArguments& args, const sigset_t& stopSignals) {
    uint64_t base = 0;
    if (args.options.seed) {
        base = *args.options.seed;
    } else {
        std::random_device device;
        base = (static_cast<uint64_t>(device()) << 32) ^ device();
    }
    std::vector<std::unique_ptr<ReceiverSimulator>> sims;
    for (const SimOptions& o : CountedReceivers(args, base)) {
        sims.push_back(std::make_unique<ReceiverSimulator>(o));
        if (!sims.back()->Start()) {
            std::fprintf(stderr, "zenithprobe-sim: %s: %s\n", o.port.c_str(),
                         sims.back()->Error().c_str());
            return 1; // the destructors stop the ones started and remove their links
        }
    }
    std::fprintf(stderr, "zenithprobe-sim: seeds %llu to %llu\n",
                 static_cast<unsigned long long>(base),
                 static_cast<unsigned long long>(base + args.count - 1));
    for (const auto& sim : sims) {
        std::printf("port: %s\nlink: %s\n", sim->SlavePath().c_str(), sim->LinkPath().c_str());
    }
    std::fflush(stdout);
    while (sigwaitinfo(&stopSignals, nullptr) < 0) {
    }
    for (const auto& sim : sims) {
        sim->Stop();
    }
    return 0;
}

} // namespace

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

    if (args.count > 0) {
        return RunCounted(args, stopSignals);
    }
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
