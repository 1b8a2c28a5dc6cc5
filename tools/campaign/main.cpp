// zenithprobe-campaign: restart campaigns without a display. The command's own loop is the
// reader: it waits on the port, takes each read's arrival time as soon as the read returns and
// hands the bytes to the one receive path; the campaign engine does the rest.
#include "CampaignArgs.h"
#include "CommandLine.h"
#include "Paths.h"
#include "PortCampaign.h"
#include "RackCommand.h"
#include "Serial.h"
#include "StaticRun.h"
#include "Tick.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <poll.h>

namespace {

volatile std::sig_atomic_t g_stop = 0;

extern "C" void OnStopSignal(int) {
    g_stop = 1;
}

// How long the loop sleeps at most without bytes: the engine's limits are whole seconds.
constexpr int kWaitMs = 100;

} // namespace

int main(int argc, char** argv) {
    const CampaignDefaults defaults = LoadCampaignDefaults(ConfigFolder() / "Zenithprobe.ini");
    CampaignArgs args = ParseCampaignArgs(argc, argv, defaults);
    if (!args.ok) {
        std::fprintf(stderr, "zenithprobe-campaign: %s\n%s", args.error.c_str(),
                     CampaignUsage().c_str());
        return 2;
    }
    if (args.help) {
        std::fputs(CampaignUsage().c_str(), stdout);
        return 0;
    }
    if (args.version) {
        std::printf("%s\n", VersionLine("zenithprobe-campaign").c_str());
        return 0;
    }
    if (!args.compare.empty()) {
        return RunCompare(args);
    }
    args.settings.timing = "poll";

    PortCampaignConfig config;
    config.port = args.port;
    config.baud = args.baud;
    config.multiGnss = args.multiGnss;
    config.reconnect = args.reconnect;
    config.maxDurationMs = static_cast<uint64_t>(args.maxDurationS) * 1000;
    config.settings = args.settings;
    config.settings.family = args.receiver.family;
    config.identify = args.receiver.automatic;
    config.identifyOnly = args.identify;
    config.keepFrames = args.keepFrames;
    config.folder = args.out;
    if (config.folder.empty()) {
        // The user's own folder keeps the user's own files; under --out the umask decides (a
        // lab may gather the records in a shared folder).
        config.folder = DataFolder();
        config.privateFiles = true;
        MakePrivateFolder(config.folder); // an installed copy's data folder may not exist yet
    }
    config.extra = {{"port", args.port}, {"baud", std::to_string(args.baud)}};
    config.onProgress = [](const std::string& line) {
        std::printf("%s\n", line.c_str());
        std::fflush(stdout);
    };
    config.onIdentity = [](const std::string& line) {
        std::printf("%s\n", line.c_str());
        std::fflush(stdout);
    };
    config.onMessage = [](const std::string& text) {
        std::fprintf(stderr, "zenithprobe-campaign: %s\n", text.c_str());
    };
    if (!args.ports.empty()) {
        return RunRack(args, config);
    }
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    // A dropped ssh session: finish the record, and never die writing to the gone terminal.
    sigaction(SIGHUP, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    if (args.isStatic) {
        // The program's port naming and exclusive open.
        CSerial port;
        if (const int32_t err = port.Open(args.port + ":"); err != 0) {
            std::fprintf(stderr, "zenithprobe-campaign: cannot open port %s (%s)\n",
                         args.port.c_str(), OpenFailureReason(err).c_str());
            return 2;
        }
        if (port.Setup(static_cast<uint32_t>(args.baud), 8, 0, 0) != 0) {
            std::fprintf(stderr, "zenithprobe-campaign: cannot set %s to %d baud\n",
                         args.port.c_str(), args.baud);
            return 2;
        }
        return RunStaticCampaign(args, port, config.folder, args.multiGnss, &g_stop);
    }
    CPortCampaign campaign(std::move(config));

    if (const int status = campaign.Begin({TickCountMs(), UtcNowMs()}); status != 0) {
        return status;
    }
    while (!campaign.Done()) {
        if (g_stop != 0) {
            campaign.Stop("stopped; the record keeps the finished runs");
            break;
        }
        pollfd p{campaign.Fd(), POLLIN, 0};
        // A closed port (fd -1) is ignored by poll: the wait is then the tick's sleep.
        const int ready = ::poll(&p, 1, kWaitMs);
        if (ready > 0 && (p.revents & (POLLIN | POLLHUP | POLLERR | POLLNVAL)) != 0) {
            campaign.Readable();
        }
        campaign.Tick({TickCountMs(), UtcNowMs()});
    }
    const int status = campaign.Finish();
    if (args.identify) {
        return status;
    }
    std::printf("\n%s\n", SummaryText(campaign.Session().Summary()).c_str());
    for (const std::filesystem::path& p : campaign.Session().Paths()) {
        std::printf("%s\n", p.c_str());
    }
    if (args.keepFrames && !campaign.CapturePath().empty()) {
        std::printf("%s\n", campaign.CapturePath().c_str());
    }
    return status;
}
