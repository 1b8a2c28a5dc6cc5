#include "RackCommand.h"

#include "CampaignFiles.h"
#include "Paths.h"
#include "RackCompare.h"
#include "RackPorts.h"
#include "SetupLogic.h"
#include "Tick.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <sys/epoll.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// Writes the comparison of the records in csvFiles and prints it; 0 or an error number.
int CompareAndPrint(const std::vector<fs::path>& csvFiles, const CampaignArgs& args,
                    const fs::path& folder) {
    std::vector<ComparedRun> runs;
    std::vector<fs::path> sources;
    for (const fs::path& csv : csvFiles) {
        std::string error;
        if (ReadCampaignRecord(csv, &runs, &error)) {
            sources.push_back(csv);
        } else {
            std::fprintf(stderr, "zenithprobe-campaign: left out %s\n", error.c_str());
        }
    }
    const std::vector<CompareRow> rows = CompareRuns(runs, args.settings.reference);
    std::vector<fs::path> paths;
    const int error =
        WriteComparison(folder, UtcNowMs(), rows, args.settings.reference, sources, &paths);
    std::printf("\n%s\n", CompareText(rows).c_str());
    for (const fs::path& p : paths) {
        std::printf("%s\n", p.c_str());
    }
    std::fflush(stdout);
    if (error != 0) {
        std::fprintf(stderr, "zenithprobe-campaign: writing the comparison in %s failed (%s)\n",
                     folder.c_str(), std::strerror(error));
    }
    return error;
}

fs::path OutputFolder(const CampaignArgs& args) {
    if (!args.out.empty()) {
        return args.out;
    }
    fs::path folder = DataFolder();
    MakePrivateFolder(folder); // an installed copy's data folder may not exist yet
    return folder;
}

} // namespace

int RunCompare(const CampaignArgs& args) {
    std::vector<fs::path> csvFiles;
    for (const fs::path& folder : args.compare) {
        std::error_code ec;
        if (!fs::is_directory(folder, ec)) {
            std::fprintf(stderr, "zenithprobe-campaign: %s is not a folder\n", folder.c_str());
            return 2;
        }
        for (const fs::path& csv : FindCampaignRecords(folder)) {
            csvFiles.push_back(csv);
        }
    }
    if (csvFiles.empty()) {
        std::fprintf(stderr, "zenithprobe-campaign: no campaign record under the folders\n");
        return 2;
    }
    return CompareAndPrint(csvFiles, args, OutputFolder(args)) == 0 ? 0 : 1;
}

namespace {

volatile std::sig_atomic_t g_rackStop = 0;

extern "C" void OnRackStopSignal(int) {
    g_rackStop = 1;
}

// The loop's longest sleep without bytes, and how often the campaigns' limits are looked at.
constexpr int kRackWaitMs = 100;
constexpr uint32_t kTickEveryMs = 100;
constexpr uint32_t kRedrawEveryMs = 500;

// Progress lines, and on a terminal the table of every port below them, redrawn in place with
// the terminal's own cursor controls.
class RackScreen {
public:
    explicit RackScreen(bool live) : m_live(live) {}
    void Line(const std::string& text) {
        Erase();
        std::printf("%s\n", text.c_str());
        m_dirty = true;
    }
    void Table(const std::string& table) {
        if (!m_live) {
            return;
        }
        Erase();
        std::fputs(table.c_str(), stdout);
        m_lines = static_cast<int>(std::count(table.begin(), table.end(), '\n'));
        m_dirty = false;
        std::fflush(stdout);
    }
    void Done() {
        m_live = false;
        std::fflush(stdout);
    }
    bool Live() const { return m_live; }
    bool Dirty() const { return m_dirty; }

private:
    void Erase() {
        if (m_live && m_lines > 0) {
            std::printf("\x1b[%dA\x1b[J", m_lines); // up to the table's first line, clear below
        }
        m_lines = 0;
    }
    bool m_live;
    bool m_dirty = true;
    int m_lines = 0;
};

// Waits on every running port at once. The kernel keeps the set (epoll), so a wake costs the
// ports that have bytes rather than a scan of all of them: with 64 receivers at 10 Hz the loop
// wakes some 400 times a second, and poll's scan of 64 pseudo-terminals was a third of the
// rack's CPU.
class RackWaiter {
public:
    explicit RackWaiter(size_t ports) : m_fd(epoll_create1(EPOLL_CLOEXEC)), m_slots(ports) {}
    ~RackWaiter() {
        if (m_fd >= 0) {
            close(m_fd);
        }
    }
    RackWaiter(const RackWaiter&) = delete;
    RackWaiter& operator=(const RackWaiter&) = delete;
    // 0, or why the set could not be made.
    int Error() const { return m_fd >= 0 ? 0 : errno; }

    // Port i is watched while wanted with its port open. opens tells a reopen that got the old
    // descriptor's number (which closing took out of the set) from the same open. 0 or errno.
    int Watch(size_t i, int fd, uint32_t opens, bool wanted) {
        Slot& slot = m_slots[i];
        if (!wanted || fd < 0) {
            // A closed descriptor left the set by itself; only a still open one is taken out.
            if (slot.fd >= 0 && slot.fd == fd && slot.opens == opens) {
                epoll_ctl(m_fd, EPOLL_CTL_DEL, fd, nullptr);
            }
            slot.fd = -1;
            return 0;
        }
        if (slot.fd == fd && slot.opens == opens) {
            return 0;
        }
        epoll_event event{};
        event.events = EPOLLIN;
        event.data.u64 = i;
        if (epoll_ctl(m_fd, EPOLL_CTL_ADD, fd, &event) != 0 &&
            (errno != EEXIST || epoll_ctl(m_fd, EPOLL_CTL_MOD, fd, &event) != 0)) {
            slot.fd = -1;
            return errno;
        }
        slot = {fd, opens};
        return 0;
    }
    // Up to timeoutMs for bytes (or a hang-up); the ports that have them go to ready.
    void Wait(int timeoutMs, std::vector<size_t>& ready) {
        ready.clear();
        m_events.resize(std::max<size_t>(m_slots.size(), 1));
        const int n =
            epoll_wait(m_fd, m_events.data(), static_cast<int>(m_events.size()), timeoutMs);
        for (int k = 0; k < n; ++k) {
            ready.push_back(static_cast<size_t>(m_events[static_cast<size_t>(k)].data.u64));
        }
    }

private:
    struct Slot {
        int fd = -1;
        uint32_t opens = 0;
    };
    int m_fd;
    std::vector<Slot> m_slots;
    std::vector<epoll_event> m_events;
};

std::string RackTable(const std::vector<std::string>& names,
                      const std::vector<std::unique_ptr<CPortCampaign>>& campaigns,
                      const std::vector<bool>& started) {
    size_t width = 4;
    for (const std::string& n : names) {
        width = std::max(width, n.size());
    }
    char line[300];
    std::snprintf(line, sizeof line, "%-*s  %-12s  %-9s  %-10s  %s\n", static_cast<int>(width),
                  "port", "receiver", "run", "last TTFF", "passed/failed");
    std::string out = line;
    for (size_t i = 0; i < campaigns.size(); ++i) {
        const CCampaignSession& session = campaigns[i]->Session();
        const int32_t runs = campaigns[i]->Config().settings.Runs();
        int32_t passed = 0;
        int32_t failed = 0;
        std::string last = "-";
        for (const RunRecord& r : session.Records()) {
            passed += r.outcome == RunOutcome::Passed;
            failed += r.outcome != RunOutcome::Passed;
            if (r.ttffMs >= 0) {
                last = DecimalText(static_cast<double>(r.ttffMs) / 1000, 3) + " s";
            }
        }
        std::string run;
        if (!started[i]) {
            run = "not open";
        } else if (campaigns[i]->Done()) {
            run = "done";
        } else {
            run = std::to_string(session.Engine().CurrentRun()) + "/" + std::to_string(runs);
        }
        const ReceiverFamily family = campaigns[i]->Config().settings.family;
        const std::string receiver =
            family == ReceiverFamily::None ? "-" : ReceiverFamilyKey(family);
        std::snprintf(line, sizeof line, "%-*s  %-12s  %-9s  %-10s  %d/%d\n",
                      static_cast<int>(width), names[i].c_str(), receiver.c_str(), run.c_str(),
                      last.c_str(), passed, failed);
        out += line;
    }
    return out;
}

// A port that never opened: its record says so, every planned run port-lost, so that the
// comparison shows it beside the others. The CSV's path, or empty when it could not be written.
fs::path RecordUnopened(const PortCampaignConfig& config, int64_t utcMs) {
    CCampaignFiles files;
    if (files.Create(config.folder, utcMs, config.privateFiles) != 0) {
        return {};
    }
    const CampaignSettings& s = config.settings;
    std::vector<RunRecord> records;
    for (int32_t run = 1; run <= s.Runs(); ++run) {
        RunRecord r;
        r.run = run;
        r.kind = s.kinds[static_cast<size_t>(run - 1) % s.kinds.size()];
        r.outcome = RunOutcome::PortLost;
        r.commandUtcMs = utcMs;
        r.criterionS = s.criteriaS[r.kind];
        r.timing = s.timing;
        r.receiver = ReceiverFamilyKey(s.family);
        r.receiverId = s.receiverId;
        r.port = s.port;
        r.host = s.host;
        files.WriteRun(r);
        records.push_back(std::move(r));
    }
    const int error = files.Finish(s, config.extra, records, false);
    return error == 0 ? files.CsvPath() : fs::path();
}

} // namespace

int RunRack(const CampaignArgs& args, const PortCampaignConfig& base) {
    const std::vector<std::string> ports = args.ports == "all"
                                               ? AllRackPorts(SerialDeviceFolder(), PortsFolder())
                                               : SplitPortList(args.ports);
    if (ports.empty()) {
        std::fprintf(stderr, "zenithprobe-campaign: no serial port found for --ports %s\n",
                     args.ports.c_str());
        return 2;
    }
    const std::vector<std::string> names = RackFolderNames(ports);
    RackScreen screen(isatty(STDOUT_FILENO) != 0);

    struct sigaction action {};
    action.sa_handler = OnRackStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    // A dropped ssh session ends the rack like Ctrl-C, never by a write to the gone terminal.
    sigaction(SIGHUP, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    std::vector<std::unique_ptr<CPortCampaign>> campaigns;
    std::vector<bool> started;
    for (size_t i = 0; i < ports.size(); ++i) {
        PortCampaignConfig config = base;
        const std::string name = names[i];
        config.port = ports[i];
        config.settings.port = ports[i];
        if (config.settings.host.empty()) {
            config.settings.host = HostName(); // records from many machines compare by host
        }
        config.folder = base.folder / name;
        bool hostNamed = false;
        for (auto& [key, value] : config.extra) {
            if (key == "port") {
                value = ports[i];
            }
            hostNamed = hostNamed || key == "host";
        }
        if (!hostNamed) {
            config.extra.emplace_back("host", config.settings.host);
        }
        config.onProgress = [&screen, name](const std::string& line) {
            screen.Line(name + ": " + line);
        };
        config.onMessage = [&screen, name](const std::string& text) {
            if (screen.Live()) {
                screen.Line(name + ": " + text); // above the table, which stderr would tear
            } else {
                std::fprintf(stderr, "zenithprobe-campaign: %s: %s\n", name.c_str(), text.c_str());
            }
        };
        campaigns.push_back(std::make_unique<CPortCampaign>(std::move(config)));
        started.push_back(false);
    }
    // Each port's folder and campaign; a port that does not open leaves the others running.
    for (size_t i = 0; i < campaigns.size(); ++i) {
        const int error = MakePrivateFolder(base.folder / names[i]);
        if (error != 0) {
            std::fprintf(stderr, "zenithprobe-campaign: cannot make %s (%s)\n",
                         (base.folder / names[i]).c_str(), std::strerror(error));
            continue;
        }
        started[i] = campaigns[i]->Begin({TickCountMs(), UtcNowMs()}) == 0;
    }

    RackWaiter waiter(campaigns.size());
    if (const int error = waiter.Error(); error != 0) {
        std::fprintf(stderr, "zenithprobe-campaign: cannot wait on the ports (%s)\n",
                     std::strerror(error));
        for (auto& c : campaigns) {
            c->Stop("stopped; the record keeps the finished runs");
        }
    }
    std::vector<size_t> ready;
    uint32_t lastTick = TickCountMs();
    uint32_t lastRedraw = lastTick - kRedrawEveryMs;
    for (;;) {
        bool running = false;
        for (size_t i = 0; i < campaigns.size(); ++i) {
            CPortCampaign& c = *campaigns[i];
            const bool wanted = started[i] && !c.Done();
            // A closed port (fd -1, waiting to reopen) is not watched until it is back.
            if (const int error = waiter.Watch(i, c.Fd(), c.Opens(), wanted); error != 0) {
                c.Stop(std::string("cannot wait on the port (") + std::strerror(error) + ")");
            }
            running = running || (started[i] && !c.Done());
        }
        if (!running) {
            break;
        }
        if (g_rackStop != 0) {
            for (auto& c : campaigns) {
                c->Stop("stopped; the record keeps the finished runs");
            }
            break;
        }
        waiter.Wait(kRackWaitMs, ready);
        for (const size_t i : ready) {
            campaigns[i]->Readable();
        }
        const uint32_t now = TickCountMs();
        if (now - lastTick >= kTickEveryMs || ready.empty()) {
            lastTick = now;
            const int64_t utc = UtcNowMs();
            for (size_t i = 0; i < campaigns.size(); ++i) {
                if (started[i] && !campaigns[i]->Done()) {
                    campaigns[i]->Tick({now, utc});
                }
            }
        }
        if (screen.Live() && (screen.Dirty() || now - lastRedraw >= kRedrawEveryMs)) {
            lastRedraw = now;
            screen.Table(RackTable(names, campaigns, started));
        }
    }
    int status = 0;
    std::vector<fs::path> csvFiles;
    for (size_t i = 0; i < campaigns.size(); ++i) {
        // A port lost while its receiver was being identified has no record either.
        if (started[i] && !campaigns[i]->Begun()) {
            campaigns[i]->Finish();
            started[i] = false;
        }
        if (!started[i]) {
            status = 1;
            if (const fs::path csv = RecordUnopened(campaigns[i]->Config(), UtcNowMs());
                !csv.empty()) {
                csvFiles.push_back(csv);
            }
            continue;
        }
        status = std::max(status, std::min(campaigns[i]->Finish(), 1));
        const std::vector<fs::path>& paths = campaigns[i]->Session().Paths();
        if (!paths.empty()) {
            csvFiles.push_back(paths[0]);
        }
    }
    screen.Table(RackTable(names, campaigns, started));
    screen.Done();
    if (std::find(started.begin(), started.end(), true) == started.end()) {
        std::fprintf(stderr, "zenithprobe-campaign: no port could be opened\n");
        return 2;
    }
    return CompareAndPrint(csvFiles, args, base.folder) == 0 ? status : 1;
}
