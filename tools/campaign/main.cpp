// zenithprobe-campaign: restart campaigns without a display. The command's own loop is the
// reader: it waits on the port, takes each read's arrival time as soon as the read returns and
// hands the bytes to the one receive path; the campaign engine does the rest.
#include "CampaignArgs.h"
#include "CampaignSession.h"
#include "CommandLine.h"
#include "Paths.h"
#include "ReceivePath.h"
#include "Serial.h"
#include "StaticRun.h"
#include "Tick.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>

namespace {

volatile std::sig_atomic_t g_stop = 0;

extern "C" void OnStopSignal(int) {
    g_stop = 1;
}

// How long the loop sleeps at most without bytes: the engine's limits are whole seconds.
constexpr uint32_t kWaitMs = 100;
constexpr uint32_t kReadSize = 511;

int64_t UtcNowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

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
    args.settings.timing = "poll";

    // The program's port naming and exclusive open.
    CSerial port;
    if (const int32_t err = port.Open(args.port + ":"); err != 0) {
        std::fprintf(stderr, "zenithprobe-campaign: cannot open port %s (%s)\n", args.port.c_str(),
                     OpenFailureReason(err).c_str());
        return 2;
    }
    if (port.Setup(static_cast<uint32_t>(args.baud), 8, 0, 0) != 0) {
        std::fprintf(stderr, "zenithprobe-campaign: cannot set %s to %d baud\n", args.port.c_str(),
                     args.baud);
        return 2;
    }

    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    std::filesystem::path folder = args.out;
    if (folder.empty()) {
        folder = DataFolder();
        MakePrivateFolder(folder); // an installed copy's data folder may not exist yet
    }
    if (args.isStatic) {
        return RunStaticCampaign(args, port, folder, defaults.multiGnss, &g_stop);
    }
    CCampaignSession session;
    CNmeaParser parser;
    parser.m_bMultiGnss = defaults.multiGnss;
    CReceivePath path(parser);
    const int32_t runs = args.settings.Runs();

    auto act = [&](const CampaignStep& step) {
        if (step.finished) {
            std::printf("%s\n", ProgressText(*step.finished, runs).c_str());
            std::fflush(stdout);
        }
        if (!step.send.empty()) {
            port.Write(step.send.data(), static_cast<uint32_t>(step.send.size()));
        }
    };

    CampaignStep first;
    const std::vector<std::pair<std::string, std::string>> extra = {
        {"port", args.port}, {"baud", std::to_string(args.baud)}};
    if (const int error =
            session.Begin(args.settings, folder, extra, {TickCountMs(), UtcNowMs()}, &first);
        error != 0) {
        std::fprintf(stderr, "zenithprobe-campaign: cannot create the record in %s (%s)\n",
                     folder.c_str(), std::strerror(error));
        return 2;
    }
    act(first);

    bool portLost = false;
    char buffer[kReadSize + 1];
    while (session.Running() && g_stop == 0) {
        const int32_t ready = port.WaitReadable(kWaitMs);
        if (ready == 1) {
            uint32_t count = 0;
            const int32_t result = port.Read(buffer, kReadSize, &count);
            const uint32_t arrivalMs = TickCountMs();
            const int64_t utcMs = UtcNowMs();
            if (result != 0) {
                portLost = true;
                break;
            }
            path.Feed(buffer, count, arrivalMs, [&](const ReceivedLine& line) {
                act(session.Line(line, SampleOf(parser), {line.arrivalMs, utcMs}));
            });
        } else if (ready != 0) {
            portLost = true;
            break;
        }
        act(session.Tick({TickCountMs(), UtcNowMs()}));
    }
    if (portLost) {
        std::fprintf(stderr,
                     "zenithprobe-campaign: the port %s has gone; the record keeps the "
                     "finished runs\n",
                     args.port.c_str());
    } else if (g_stop != 0) {
        std::fprintf(stderr, "zenithprobe-campaign: stopped; the record keeps the finished runs\n");
    }
    const int error = session.Finish();
    std::printf("\n%s\n", SummaryText(session.Summary()).c_str());
    for (const std::filesystem::path& p : session.Paths()) {
        std::printf("%s\n", p.c_str());
    }
    if (error != 0) {
        std::fprintf(stderr, "zenithprobe-campaign: writing the record failed (%s)\n",
                     std::strerror(error));
    }
    return session.AllPassed() && error == 0 ? 0 : 1;
}
