// bench_main_dialog: the program itself (the main dialog as zenithprobe runs it), watched while
// it runs against a receiver on COM1 of $ZENITHPROBE_PORTS. Give it --quit-after SECONDS like the
// program. With ZP_BENCH_SIM=BAUD:RATE it runs the simulated receiver in-process (for the bytes
// it sent); otherwise the receiver is another process (so that its CPU time is not counted).
// Prints one "name: value" line per figure at the end.
#include "Debug.h"
#include "ReceiverSimulator.h"
#include "ZenithprobeApp.h"
#include "ZenithprobeDlg.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <sys/resource.h>

namespace {

using Clock = std::chrono::steady_clock;
const Clock::time_point g_processStart = Clock::now();

double SecondsSince(Clock::time_point t) {
    return std::chrono::duration<double>(Clock::now() - t).count();
}

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto s = [](const timeval& tv) {
        return static_cast<double>(tv.tv_sec) + static_cast<double>(tv.tv_usec) / 1e6;
    };
    return s(usage.ru_utime) + s(usage.ru_stime);
}

long PeakRssKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Milliseconds of the UTC day in a "$GPRMC,hhmmss.ss," or "$GPGGA,hhmmss.ss," line; -1 if none.
long SentenceTimeOfDayMs(const wxString& line) {
    if (!line.StartsWith("$GPRMC,") && !line.StartsWith("$GPGGA,")) {
        return -1;
    }
    const std::string t = line.Mid(7, 9).ToStdString();
    if (t.size() < 9 || t[6] != '.') {
        return -1;
    }
    const long h = std::strtol(t.substr(0, 2).c_str(), nullptr, 10);
    const long m = std::strtol(t.substr(2, 2).c_str(), nullptr, 10);
    const long s = std::strtol(t.substr(4, 2).c_str(), nullptr, 10);
    const long cs = std::strtol(t.substr(7, 2).c_str(), nullptr, 10);
    return ((h * 60 + m) * 60 + s) * 1000 + cs * 10;
}

long NowTimeOfDayMs() {
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count() %
                             86400000);
}

class CBenchApp : public CZenithprobeApp {
public:
    int OnRun() override {
        if (const char* sim = std::getenv("ZP_BENCH_SIM")) {
            SimOptions o;
            o.baud = static_cast<uint32_t>(std::strtoul(sim, nullptr, 10));
            const char* rate = std::strchr(sim, ':');
            o.rateHz = rate != nullptr ? std::strtod(rate + 1, nullptr) : 1.0;
            o.notice = [](std::string_view) {};
            m_sim = std::make_unique<ReceiverSimulator>(o);
            if (!m_sim->Start()) {
                std::fprintf(stderr, "bench: %s\n", m_sim->Error().c_str());
                return 1;
            }
        }
        DebugSetSink([this](std::string_view line) {
            // The reader's "[%d]" line of every read.
            if (line.size() > 3 && line.front() == '[' && line.substr(line.size() - 3) == "]\r\n") {
                std::lock_guard lock(m_mutex);
                m_drained += std::strtoul(std::string(line.substr(1)).c_str(), nullptr, 10);
            }
        });
        m_runStart = Clock::now();
        const int result = CZenithprobeApp::OnRun();
        const double runS = SecondsSince(m_runStart);
        DebugSetSink({});
        Report(runS);
        if (m_sim) {
            m_sim->Stop();
        }
        return result;
    }

protected:
    void PrepareDialog(CZenithprobeDlg& dlg) override {
        dlg.SetLineShownHook([this](const wxString& line) { OnLine(line); });
    }

private:
    void OnLine(const wxString& line) {
        const double atS = SecondsSince(m_runStart);
        if (m_lines++ == 0) {
            m_firstLineS = SecondsSince(g_processStart);
        }
        if (m_cpuAt5s < 0 && atS >= 5) {
            m_cpuAt5s = CpuSeconds();
            m_steadyStart = Clock::now();
        }
        const long sent = SentenceTimeOfDayMs(line);
        if (sent >= 0) {
            long lag = NowTimeOfDayMs() - sent;
            if (lag < -43200000) {
                lag += 86400000; // across midnight
            }
            m_lags.emplace_back(atS, static_cast<double>(lag) / 1000.0);
        }
    }

    void Report(double runS) {
        const double cpu = CpuSeconds();
        std::printf("run_s: %.1f\n", runS);
        std::printf("cpu_s: %.3f\n", cpu);
        std::printf("cpu_percent_of_one_core: %.2f\n", 100.0 * cpu / runS);
        if (m_cpuAt5s >= 0) {
            const double steadyS = SecondsSince(m_steadyStart);
            std::printf("cpu_percent_after_start_up: %.2f\n",
                        100.0 * (cpu - m_cpuAt5s) / std::max(steadyS, 1e-3));
        }
        std::printf("peak_rss_mib: %.1f\n", static_cast<double>(PeakRssKiB()) / 1024.0);
        std::printf("first_shown_sentence_s: %.3f\n", m_firstLineS);
        std::printf("sentences_shown: %d\n", m_lines);
        {
            std::lock_guard lock(m_mutex);
            std::printf("drained_bytes_per_s: %.0f\n", static_cast<double>(m_drained) / runS);
        }
        if (m_sim) {
            const SimStatus s = m_sim->Status();
            std::printf("sent_bytes_per_s: %.0f\n", static_cast<double>(s.bytesDelivered) / runS);
            std::printf("epochs_trimmed_to_fit_the_line: %llu\n",
                        static_cast<unsigned long long>(s.trimmedEpochs));
        }
        // The lag of the shown sentence behind the receiver's clock, early and late in the run:
        // it must not grow.
        auto maxLag = [&](double fromS, double toS) {
            double lag = -1;
            for (const auto& [atS, lagS] : m_lags) {
                if (atS >= fromS && atS < toS) {
                    lag = std::max(lag, lagS);
                }
            }
            return lag;
        };
        std::printf("max_lag_s: %.3f\n", maxLag(0, runS + 1));
        std::printf("max_lag_first_third_s: %.3f\n", maxLag(0, runS / 3));
        std::printf("max_lag_last_third_s: %.3f\n", maxLag(2 * runS / 3, runS + 1));
        std::fflush(stdout);
    }

    std::unique_ptr<ReceiverSimulator> m_sim;
    Clock::time_point m_runStart;
    Clock::time_point m_steadyStart;
    std::mutex m_mutex;
    unsigned long m_drained = 0; // guarded by m_mutex (the reader thread adds)
    int m_lines = 0;             // user-interface thread, as the rest below
    double m_firstLineS = -1;
    double m_cpuAt5s = -1;
    std::vector<std::pair<double, double>> m_lags; // (seconds into the run, lag in seconds)
};

} // namespace

wxIMPLEMENT_APP(CBenchApp);
