#include "StaticRun.h"

#include "ReceivePath.h"
#include "StaticSession.h"
#include "Tick.h"

#include <chrono>
#include <cstdio>
#include <cstring>

namespace {

constexpr uint32_t kWaitMs = 100;
constexpr uint32_t kReadSize = 511;
constexpr uint32_t kProgressMs = 60000; // a line a minute on a long run

int64_t UtcNowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

} // namespace

int RunStaticCampaign(const CampaignArgs& args, CSerial& port, const std::filesystem::path& folder,
                      bool multiGnss, const volatile std::sig_atomic_t* stop) {
    StaticSettings settings = args.staticSettings;
    settings.timing = "poll";
    CStaticSession session;
    const std::vector<std::pair<std::string, std::string>> extra = {
        {"port", args.port}, {"baud", std::to_string(args.baud)}};
    if (const int error = session.Begin(settings, folder, extra, {TickCountMs(), UtcNowMs()});
        error != 0) {
        std::fprintf(stderr, "zenithprobe-campaign: cannot create the record in %s (%s)\n",
                     folder.c_str(), std::strerror(error));
        return 2;
    }
    CNmeaParser parser;
    parser.m_bMultiGnss = multiGnss;
    CReceivePath path(parser);
    bool portLost = false;
    uint32_t lastProgressMs = TickCountMs();
    char buffer[kReadSize + 1];
    while (session.Running() && *stop == 0) {
        const int32_t ready = port.WaitReadable(kWaitMs);
        if (ready == 1) {
            uint32_t count = 0;
            const int32_t result = port.Read(buffer, kReadSize, &count);
            const int64_t utcMs = UtcNowMs();
            if (result != 0) {
                portLost = true;
                break;
            }
            path.Feed(buffer, count, TickCountMs(), [&](const ReceivedLine& line) {
                session.Line(line, StaticSampleOf(parser, line), {line.arrivalMs, utcMs});
            });
        } else if (ready != 0) {
            portLost = true;
            break;
        }
        const CampaignTime now{TickCountMs(), UtcNowMs()};
        session.Tick(now);
        if (now.monoMs - lastProgressMs >= kProgressMs) {
            lastProgressMs = now.monoMs;
            std::printf("%s\n", session.ProgressText(now).c_str());
            std::fflush(stdout);
        }
    }
    const bool cutShort = session.Running();
    if (portLost) {
        std::fprintf(stderr,
                     "zenithprobe-campaign: the port %s has gone; the record keeps the epochs "
                     "so far\n",
                     args.port.c_str());
    } else if (cutShort) {
        std::fprintf(stderr, "zenithprobe-campaign: stopped; the record keeps the epochs so far\n");
    }
    const int error = session.Finish();
    std::printf("\n%s\n", session.SummaryText().c_str());
    for (const std::filesystem::path& p : session.Paths()) {
        std::printf("%s\n", p.c_str());
    }
    if (error != 0) {
        std::fprintf(stderr, "zenithprobe-campaign: writing the record failed (%s)\n",
                     std::strerror(error));
    }
    return !cutShort && error == 0 && session.Summary().epochs3d > 0 ? 0 : 1;
}
