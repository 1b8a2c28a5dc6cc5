#include "ReceiverSimulator.h"

#include "BaudTable.h"
#include "Debug.h"
#include "Paths.h"
#include "ReceiverModel.h"
#include "TtyRate.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <random>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// A program's open usually ends with a purge of the port; a replay waits this long after the
// first open so that its first bytes are not purged with the rest.
constexpr double kReplaySettleS = 0.25;
// While nobody has the port open the master polls as hung up at once, so it is looked at again
// after this long instead of being waited on.
constexpr double kClosedPollS = 0.02;
// Bytes go out in small bursts; smaller steps only cost wake-ups.
constexpr double kSendStepS = 0.004;
constexpr double kIdleWakeS = 0.05;
// Unix98 pty slaves (/dev/pts/N) have majors 136 to 143.
constexpr unsigned kPtySlaveMajorFirst = 136;
constexpr unsigned kPtySlaveMajorLast = 143;

bool WriteAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

std::string ErrnoText(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

// Where a realtime replay epoch ends: after the line of the next RMC sentence from pos.
size_t EpochEnd(const std::string& data, size_t pos) {
    while (pos < data.size()) {
        size_t end = data.find('\n', pos);
        if (end == std::string::npos) {
            return data.size();
        }
        if (data[pos] == '$' && end - pos >= 7 && data.compare(pos + 3, 4, "RMC,") == 0) {
            return end + 1;
        }
        pos = end + 1;
    }
    return data.size();
}

// The lines of data that do not start with '#', line ends kept: real captures open with a
// comment header (where and with what they were made) that no receiver sent.
std::string WithoutCommentLines(const std::string& data) {
    std::string kept;
    kept.reserve(data.size());
    for (size_t pos = 0; pos < data.size();) {
        size_t end = data.find('\n', pos);
        end = end == std::string::npos ? data.size() : end + 1;
        if (data[pos] != '#') {
            kept.append(data, pos, end - pos);
        }
        pos = end;
    }
    return kept;
}

} // namespace

// Everything the simulator's thread owns.
class ReceiverSimulator::Engine {
public:
    explicit Engine(ReceiverSimulator& sim)
        : m_sim(sim), m_o(sim.m_options),
          m_bytesPerS(static_cast<double>(sim.m_options.baud) / 10.0),
          m_model(sim.m_options, sim.m_seed), m_noise(sim.m_seed ^ 0xC0FFEEull),
          m_start(std::chrono::steady_clock::now()) {}

    void Run();

private:
    double Now() const {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
    }
    template <typename F> void Update(F change) {
        {
            std::lock_guard<std::mutex> lock(m_sim.m_mutex);
            change(m_sim.m_status);
        }
        m_sim.m_changed.notify_all();
    }

    bool Pending() const { return m_outPos < m_out.size(); }
    double LineFreeS() const { return m_lineStart + static_cast<double>(m_lineSent) / m_bytesPerS; }
    void Queue(std::string bytes, double atS);
    void SendDue(double now);
    void Transmit(std::string chunk);
    bool WrongBaud() const;
    void ReadCommands(double now);
    void PortChanged(bool open, double now);
    void FlushStale();
    void ProduceEpoch(double now);
    void ProduceReplay(double now);
    double NextProduceS() const;
    void Hangup();
    void PauseChanged(bool paused, double now);
    // --truth: the restart acted on last, written once its fix epoch is known (or without a fix
    // when another restart comes first). Times are seconds since the simulator started.
    struct PendingTruth {
        RestartKind kind = RestartKind::Cold;
        double commandS = 0;
        double ttffS = 0;
        bool pending = false;
    };
    void WriteTruth(bool fixed, double fixS);
    PendingTruth m_truth;

    ReceiverSimulator& m_sim;
    const SimOptions& m_o;
    const double m_bytesPerS;
    ReceiverModel m_model;
    RestartCommandParser m_parser;
    RestartMerger m_merger;
    SimRandom m_noise;
    const std::chrono::steady_clock::time_point m_start;

    // The bytes on their way out. Byte i of the current run is due at m_lineStart + (i+1)/rate,
    // so the line never carries more than baud/10 bytes per second, however late we wake.
    std::string m_out;
    size_t m_outPos = 0;
    double m_lineStart = 0;
    uint64_t m_lineSent = 0;

    uint64_t m_nextEpoch = 0;
    size_t m_gsvCursor = 0;
    bool m_portOpen = false;
    bool m_silent = false;
    bool m_paused = false;

    double m_replayStart = -1; // set when a program first opens the port
    size_t m_replayPos = 0;
    double m_nextChunkS = 0;
    bool m_replayDone = false;
};

void ReceiverSimulator::Engine::Queue(std::string bytes, double atS) {
    m_lineStart = std::max(atS, LineFreeS());
    m_lineSent = 0;
    m_out = std::move(bytes);
    m_outPos = 0;
}

void ReceiverSimulator::Engine::SendDue(double now) {
    if (!Pending()) {
        return;
    }
    double slots = std::floor((now - m_lineStart) * m_bytesPerS + 1e-6);
    if (slots <= static_cast<double>(m_lineSent)) {
        return;
    }
    size_t due = static_cast<size_t>(slots) - static_cast<size_t>(m_lineSent);
    size_t n = std::min(due, m_out.size() - m_outPos);
    std::string chunk = m_out.substr(m_outPos, n);
    m_outPos += n;
    m_lineSent += n;
    Transmit(std::move(chunk));
}

bool ReceiverSimulator::Engine::WrongBaud() const {
    // The master reads the slave's settings: the rate the program set.
    uint32_t rate = 0;
    return TtyGetRate(m_sim.m_masterFd, rate) == 0 && rate != m_o.baud;
}

void ReceiverSimulator::Engine::Transmit(std::string chunk) {
    uint64_t size = chunk.size();
    if (!m_portOpen) {
        // A receiver talks whether or not anyone listens: this is gone.
        Update([&](SimStatus& s) { s.bytesLost += size; });
        return;
    }
    bool noise = WrongBaud();
    if (noise) {
        // Read at the wrong rate, a receiver's bytes come out as other bytes; never a '$', so
        // nothing in it looks like a sentence.
        for (char& c : chunk) {
            uint8_t b = static_cast<uint8_t>(m_noise.Next() >> 56);
            c = static_cast<char>(b == '$' ? b + 1 : b);
        }
    }
    ssize_t written = 0;
    do {
        written = ::write(m_sim.m_masterFd, chunk.data(), chunk.size());
    } while (written < 0 && errno == EINTR);
    // EAGAIN: the program does not read and the pty is full; a real line would overrun too.
    uint64_t delivered = written > 0 ? static_cast<uint64_t>(written) : 0;
    Update([&](SimStatus& s) {
        s.bytesDelivered += delivered;
        s.bytesLost += size - delivered;
        s.noiseBytes += noise ? size : 0;
    });
}

void ReceiverSimulator::Engine::ReadCommands(double now) {
    char buffer[512];
    for (;;) {
        ssize_t n = ::read(m_sim.m_masterFd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return; // EAGAIN: drained; EIO: the program closed the port
        }
        std::string_view bytes(buffer, static_cast<size_t>(n));
        if (m_sim.m_logFd >= 0 && !WriteAll(m_sim.m_logFd, bytes.data(), bytes.size())) {
            DebugPrint("zenithprobe-sim: command log write failed: %s\n", std::strerror(errno));
        }
        bool garbage = WrongBaud();
        std::vector<RestartCommand> commands;
        m_parser.Feed(bytes, garbage, &commands);
        uint32_t ignored = 0;
        std::vector<RestartEvent> acted;
        for (const RestartCommand& c : commands) {
            const char* kind = RestartKindName(c.kind);
            const char* form = CommandFormName(c.form);
            if (!m_o.replayFile.empty() || m_o.ignoreCommands) {
                DebugPrint("zenithprobe-sim: %s %s start ignored\n", form, kind);
                ++ignored;
                continue;
            }
            if (!m_merger.Accept(c, now)) {
                DebugPrint("zenithprobe-sim: %s %s start: same restart\n", form, kind);
                ++ignored;
                continue;
            }
            double ttff = m_model.Restart(c.kind);
            acted.push_back(RestartEvent{c.kind, c.form, ttff});
            WriteTruth(false, now); // a restart before the fix leaves the earlier one without
            m_truth = PendingTruth{c.kind, now, ttff, true};
            char line[160];
            std::snprintf(line, sizeof line,
                          "zenithprobe-sim: %s start (%s), fix lost, TTFF %.2f s", kind, form,
                          ttff);
            m_sim.Notice(line);
        }
        Update([&](SimStatus& s) {
            s.bytesReceived += static_cast<uint64_t>(n);
            s.ignoredCommands += ignored;
            s.restarts.insert(s.restarts.end(), acted.begin(), acted.end());
        });
    }
}

void ReceiverSimulator::Engine::FlushStale() {
    // A chunk written just as the program closed the port waits in the slave's input and would
    // reach the next program that opens it; a flush on the master does not reach it, so open
    // the slave for a moment and flush there.
    int fd = ::open(m_sim.m_slavePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        // EBUSY: the last program left the port exclusive and we are not privileged.
        DebugPrint("zenithprobe-sim: cannot flush %s: %s\n", m_sim.m_slavePath.c_str(),
                   std::strerror(errno));
        return;
    }
    tcflush(fd, TCIFLUSH);
    ::close(fd);
}

void ReceiverSimulator::Engine::PortChanged(bool open, double now) {
    m_portOpen = open;
    DebugPrint("zenithprobe-sim: port %s\n", open ? "opened" : "closed");
    if (!open) {
        FlushStale();
    } else if (m_replayStart < 0) {
        m_replayStart = now + kReplaySettleS;
        m_nextChunkS = m_replayStart;
    }
    Update([&](SimStatus& s) { s.portOpen = open; });
}

void ReceiverSimulator::Engine::ProduceEpoch(double now) {
    if (now < m_model.EpochTimeS(m_nextEpoch)) {
        return;
    }
    uint64_t k = static_cast<uint64_t>(std::floor(now * m_o.rateHz + 1e-9));
    k = std::max(k, m_nextEpoch);
    m_nextEpoch = k + 1;
    if (Pending()) {
        // The last epoch is still on the line (only when even the required sentences do not
        // fit): this one is left out rather than queued behind it.
        return;
    }
    const bool hadFix = m_model.HasFix();
    std::vector<EpochSentence> sentences = m_model.Epoch(k);
    if (!hadFix && m_model.HasFix()) {
        WriteTruth(true, m_model.EpochTimeS(k));
    }
    size_t budget = static_cast<size_t>(std::floor(m_bytesPerS / m_o.rateHz));
    bool trimmed = false;
    std::string bytes = FitEpoch(sentences, budget, &m_gsvCursor, &trimmed);
    Queue(std::move(bytes), m_model.EpochTimeS(k));
    bool fix = m_model.HasFix();
    Update([&](SimStatus& s) {
        s.epochs += 1;
        s.trimmedEpochs += trimmed ? 1 : 0;
        s.hasFix = fix;
    });
}

void ReceiverSimulator::Engine::ProduceReplay(double now) {
    if (m_replayDone || m_replayStart < 0 || now < m_replayStart || Pending()) {
        return;
    }
    const std::string& data = m_sim.m_replay;
    if (m_replayPos >= data.size()) {
        if (!m_o.loop || data.empty()) {
            m_replayDone = true;
            m_sim.Notice("zenithprobe-sim: replay finished");
            Update([](SimStatus& s) { s.replayDone = true; });
            return;
        }
        m_replayPos = 0;
    }
    if (!m_o.realtime) {
        Queue(data.substr(m_replayPos), now);
        m_replayPos = data.size();
        return;
    }
    if (now < m_nextChunkS) {
        return;
    }
    size_t end = EpochEnd(data, m_replayPos);
    Queue(data.substr(m_replayPos, end - m_replayPos), m_nextChunkS);
    m_replayPos = end;
    // One epoch a second from when this one really started; a long epoch delays the next one
    // instead of making the following ones catch up.
    m_nextChunkS = m_lineStart + 1.0;
}

double ReceiverSimulator::Engine::NextProduceS() const {
    if (m_o.replayFile.empty()) {
        return m_model.EpochTimeS(m_nextEpoch);
    }
    if (m_o.realtime && m_replayStart >= 0) {
        return std::max(m_nextChunkS, m_replayStart);
    }
    return m_replayStart >= 0 ? m_replayStart : 1e300;
}

void ReceiverSimulator::Engine::WriteTruth(bool fixed, double fixS) {
    if (!m_truth.pending || m_sim.m_truthFd < 0) {
        return;
    }
    m_truth.pending = false;
    char line[256];
    char fix[32] = "null";
    if (fixed) {
        std::snprintf(fix, sizeof fix, "%.3f", fixS);
    }
    const int n = std::snprintf(
        line, sizeof line,
        "{\"kind\":\"%s\",\"command_s\":%.3f,\"loss_s\":%.3f,\"fix_s\":%s,\"ttff_s\":%.3f}\n",
        RestartKindName(m_truth.kind), m_truth.commandS, m_model.LossS(), fix, m_truth.ttffS);
    if (n > 0 && !WriteAll(m_sim.m_truthFd, line, static_cast<size_t>(n))) {
        DebugPrint("zenithprobe-sim: truth write failed: %s\n", std::strerror(errno));
    }
}

void ReceiverSimulator::Engine::Hangup() {
    ::close(m_sim.m_masterFd);
    m_sim.m_masterFd = -1;
    m_sim.RemoveLink();
    m_sim.Notice("zenithprobe-sim: hung up");
}

void ReceiverSimulator::Engine::PauseChanged(bool paused, double now) {
    m_paused = paused;
    if (!paused) {
        DebugPrint("zenithprobe-sim: talking again at %.2f s\n", now);
        return;
    }
    // A replay goes on where it stopped; the simulated receiver's time moves on, so what it had
    // not sent yet is gone, as from a receiver that lost power.
    if (!m_o.replayFile.empty()) {
        m_replayPos -= m_out.size() - m_outPos;
    }
    m_out.clear();
    m_outPos = 0;
    DebugPrint("zenithprobe-sim: pausing at %.2f s for %.2f s\n", now, m_o.pauseForS);
}

void ReceiverSimulator::Engine::Run() {
    if (m_o.stationary && m_sim.m_truthFd >= 0) {
        // The true position, on a line of its own that readers of the restart lines pass over.
        char line[160];
        const int n = std::snprintf(line, sizeof line,
                                    "{\"position\":{\"lat\":%.8f,\"lon\":%.8f,\"alt_m\":%.2f}}\n",
                                    m_o.latDeg, m_o.lonDeg, m_o.altM);
        if (n > 0 && !WriteAll(m_sim.m_truthFd, line, static_cast<size_t>(n))) {
            DebugPrint("zenithprobe-sim: truth write failed: %s\n", std::strerror(errno));
        }
    }
    if (m_o.startNoFix && m_o.replayFile.empty()) {
        char line[96];
        std::snprintf(line, sizeof line, "zenithprobe-sim: starting without a fix, TTFF %.2f s",
                      m_model.LastTtffS());
        m_sim.Notice(line);
    }
    while (!m_sim.m_stop.load()) {
        double now = Now();
        pollfd master{m_sim.m_masterFd, POLLIN, 0};
        bool polled = ::poll(&master, 1, 0) >= 0;
        if (!polled && errno != EINTR) {
            DebugPrint("zenithprobe-sim: poll failed: %s\n", std::strerror(errno));
        }
        // Read first: a program may write its last command and close the port at once.
        if (polled && (master.revents & POLLIN)) {
            ReadCommands(now);
        }
        // The master reports a hang-up while no program has the slave open.
        bool open = polled ? (master.revents & POLLHUP) == 0 : m_portOpen;
        if (open != m_portOpen) {
            PortChanged(open, now);
        }
        if (m_o.hangupAfterS >= 0 && now >= m_o.hangupAfterS) {
            Hangup();
            return;
        }
        if (m_o.silentAfterS >= 0 && now >= m_o.silentAfterS && !m_silent) {
            m_silent = true;
            m_out.clear();
            m_outPos = 0;
            DebugPrint("zenithprobe-sim: silent from now on\n");
        }
        const double pauseEnd = m_o.pauseAtS + m_o.pauseForS;
        const bool paused = m_o.pauseForS > 0 && now >= m_o.pauseAtS && now < pauseEnd;
        if (paused != m_paused) {
            PauseChanged(paused, now);
        }
        SendDue(now);
        if (!m_silent && !m_paused) {
            if (m_o.replayFile.empty()) {
                ProduceEpoch(now);
            } else {
                ProduceReplay(now);
            }
            SendDue(now);
        }

        double wake = now + kIdleWakeS;
        if (Pending()) {
            wake = std::min(
                wake, std::max(now + kSendStepS,
                               m_lineStart + static_cast<double>(m_lineSent + 1) / m_bytesPerS));
        }
        if (m_paused) {
            wake = std::min(wake, pauseEnd);
        } else if (!m_silent) {
            wake = std::min(wake, NextProduceS());
        }
        if (m_o.hangupAfterS >= 0) {
            wake = std::min(wake, m_o.hangupAfterS);
        }
        if (!m_portOpen) {
            wake = std::min(wake, now + kClosedPollS);
        }
        int timeoutMs = static_cast<int>(std::ceil(std::clamp(wake - now, 0.0, 1.0) * 1000.0));
        pollfd fds[2] = {{m_sim.m_wakeRead, POLLIN, 0}, {m_sim.m_masterFd, POLLIN, 0}};
        // A closed port would wake the poll at once: then only the wake pipe is waited on.
        ::poll(fds, m_portOpen ? 2 : 1, timeoutMs);
        if (fds[0].revents & POLLIN) {
            char drain[16];
            while (::read(m_sim.m_wakeRead, drain, sizeof drain) > 0) {
            }
        }
    }
}

ReceiverSimulator::ReceiverSimulator(SimOptions options) : m_options(std::move(options)) {
    if (m_options.seed) {
        m_seed = *m_options.seed;
    } else {
        std::random_device device;
        m_seed = (static_cast<uint64_t>(device()) << 32) ^ device();
    }
}

ReceiverSimulator::~ReceiverSimulator() {
    Stop();
}

void ReceiverSimulator::Notice(const std::string& line) const {
    if (m_options.notice) {
        m_options.notice(line);
    } else {
        std::fprintf(stderr, "%s\n", line.c_str());
    }
}

bool ReceiverSimulator::CreateLink() {
    std::error_code ec;
    fs::path folder = m_options.portsDir.empty() ? PortsFolder() : m_options.portsDir;
    // Private like the program's own folders (~/.config/zenithprobe for an installed copy).
    if (const int err = MakePrivateFolder(folder)) {
        m_error = "cannot create " + folder.string() + ": " + std::strerror(err);
        return false;
    }
    fs::path link = folder / m_options.port;
    struct stat entry {};
    if (::lstat(link.c_str(), &entry) == 0) {
        if (!S_ISLNK(entry.st_mode)) {
            m_error = "refusing to replace " + link.string() + ": it is not a symbolic link";
            return false;
        }
        // Stale links and links to other ptys are ours to replace; a real device is not.
        struct stat target {};
        if (::stat(link.c_str(), &target) == 0 &&
            (S_ISBLK(target.st_mode) ||
             (S_ISCHR(target.st_mode) && (major(target.st_rdev) < kPtySlaveMajorFirst ||
                                          major(target.st_rdev) > kPtySlaveMajorLast)))) {
            m_error = "refusing to replace " + link.string() + ": it leads to the device " +
                      fs::read_symlink(link, ec).string();
            return false;
        }
    }
    // Link under a temporary name and rename it over: the port name never leads nowhere.
    fs::path temporary =
        folder / ("." + m_options.port + ".sim" + std::to_string(::getpid()) + ".tmp");
    ::unlink(temporary.c_str());
    if (::symlink(m_slavePath.c_str(), temporary.c_str()) != 0) {
        m_error = ErrnoText("cannot link " + temporary.string());
        return false;
    }
    if (::rename(temporary.c_str(), link.c_str()) != 0) {
        m_error = ErrnoText("cannot link " + link.string());
        ::unlink(temporary.c_str());
        return false;
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    m_linkPath = link;
    m_linked = true;
    return true;
}

void ReceiverSimulator::RemoveLink() {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_linked) {
        return;
    }
    m_linked = false;
    // Another simulator may have taken the name over since: leave its link alone.
    std::error_code ec;
    if (fs::read_symlink(m_linkPath, ec) == fs::path(m_slavePath) && !ec) {
        ::unlink(m_linkPath.c_str());
    }
}

bool ReceiverSimulator::Start() {
    std::lock_guard<std::mutex> threadLock(m_threadMutex);
    if (m_started) {
        m_error = "already started";
        return false;
    }
    m_started = true;
    auto fail = [this](std::string message) {
        m_error = std::move(message);
        for (int* fd : {&m_masterFd, &m_wakeRead, &m_wakeWrite, &m_logFd, &m_truthFd}) {
            if (*fd >= 0) {
                ::close(*fd);
                *fd = -1;
            }
        }
        return false;
    };
    if (StandardSpeed(m_options.baud) == 0 || !(m_options.rateHz > 0)) {
        return fail("bad baud rate or epoch rate");
    }
    if (!m_options.replayFile.empty()) {
        std::FILE* f = std::fopen(m_options.replayFile.c_str(), "rb");
        if (f == nullptr) {
            return fail(ErrnoText("cannot read " + m_options.replayFile.string()));
        }
        char buffer[65536];
        size_t n = 0;
        while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) {
            m_replay.append(buffer, n);
        }
        bool bad = std::ferror(f) != 0;
        std::fclose(f);
        if (bad) {
            return fail("cannot read " + m_options.replayFile.string());
        }
        if (!m_options.replayRaw) {
            m_replay = WithoutCommentLines(m_replay);
        }
    }
    if (!m_options.logCommands.empty()) {
        m_logFd =
            ::open(m_options.logCommands.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (m_logFd < 0) {
            return fail(ErrnoText("cannot create " + m_options.logCommands.string()));
        }
    }
    if (!m_options.truthFile.empty()) {
        m_truthFd =
            ::open(m_options.truthFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (m_truthFd < 0) {
            return fail(ErrnoText("cannot create " + m_options.truthFile.string()));
        }
    }
    m_masterFd = ::open("/dev/ptmx", O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m_masterFd < 0) {
        return fail(ErrnoText("cannot open /dev/ptmx"));
    }
    char name[128];
    if (::grantpt(m_masterFd) != 0 || ::unlockpt(m_masterFd) != 0 ||
        ::ptsname_r(m_masterFd, name, sizeof name) != 0) {
        return fail(ErrnoText("cannot set up the pseudo-terminal"));
    }
    m_slavePath = name;
    // Raw at the configured rate before any program sees it. Opening and closing the slave once
    // also makes the master report a hang-up until a program opens it: before the first open
    // it would not.
    int slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave < 0) {
        return fail(ErrnoText(std::string("cannot open ") + name));
    }
    termios t{};
    bool configured = tcgetattr(slave, &t) == 0;
    if (configured) {
        cfmakeraw(&t);
        t.c_cflag |= CLOCAL | CREAD;
        cfsetispeed(&t, StandardSpeed(m_options.baud));
        cfsetospeed(&t, StandardSpeed(m_options.baud));
        configured = tcsetattr(slave, TCSANOW, &t) == 0;
    }
    ::close(slave);
    if (!configured) {
        return fail(ErrnoText(std::string("cannot configure ") + name));
    }
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0) {
        return fail(ErrnoText("cannot create a pipe"));
    }
    m_wakeRead = pipeFds[0];
    m_wakeWrite = pipeFds[1];
    if (!CreateLink()) {
        return fail(m_error);
    }
    m_stop.store(false);
    m_thread = std::thread([this] {
        {
            Engine engine(*this);
            engine.Run();
        }
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_status.finished = true;
        }
        m_changed.notify_all();
    });
    return true;
}

void ReceiverSimulator::Stop() {
    std::lock_guard<std::mutex> threadLock(m_threadMutex);
    m_stop.store(true);
    if (m_wakeWrite >= 0) {
        char byte = 1;
        (void)!::write(m_wakeWrite, &byte, 1);
    }
    if (m_thread.joinable()) {
        m_thread.join();
    }
    for (int* fd : {&m_masterFd, &m_wakeRead, &m_wakeWrite, &m_logFd, &m_truthFd}) {
        if (*fd >= 0) {
            ::close(*fd);
            *fd = -1;
        }
    }
    RemoveLink();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_status.finished = true;
        m_status.portOpen = false;
    }
    m_changed.notify_all();
}

std::string ReceiverSimulator::Error() const {
    return m_error;
}

std::string ReceiverSimulator::SlavePath() const {
    return m_slavePath;
}

fs::path ReceiverSimulator::LinkPath() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_linkPath;
}

SimStatus ReceiverSimulator::Status() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_status;
}

bool ReceiverSimulator::WaitFor(const std::function<bool(const SimStatus&)>& done,
                                int timeoutMs) const {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                              [&] { return done(m_status); });
}
