#pragma once
// A simulated GPS receiver on a pseudo-terminal: the other end of a serial port.
//
// Start() opens a pty, sets its slave raw at the configured baud rate, links the slave as
// <ports folder>/<port> and starts one thread that talks NMEA (or replays a file) at baud/10
// bytes per second, listens for restart commands and acts on them. A program opens the link (or
// the slave path) like any serial port.
//
// Threads: Start, Stop, the destructor and the accessors may be called from any thread; Stop may
// be called more than once and concurrently with the accessors. The simulator's own thread owns
// the pty master, the model and the command parser. m_mutex guards m_status, m_finished and
// the link removal; m_threadMutex guards starting and joining the thread.
//
// Usage in a test:
//     ScopedEnv ports("ZENITHPROBE_PORTS", dir.Path().c_str());
//     SimOptions o; o.baud = 115200; o.rateHz = 10; o.seed = 1; o.ttffCold = {0.5, 0.8};
//     o.notice = [](std::string_view) {};   // keep the test output quiet
//     ReceiverSimulator sim(o);
//     ASSERT_TRUE(sim.Start()) << sim.Error();
//     ... open "COM1" (or sim.SlavePath()) ...
//     sim.WaitFor([](const SimStatus& s) { return !s.restarts.empty(); }, 5000);
//     sim.Stop();
#include "RestartCommands.h"
#include "SimOptions.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct RestartEvent {
    RestartKind kind;
    CommandForm form; // of the command that was acted on
    double ttffS;     // drawn; the fix returns this long after it was lost
};

struct SimStatus {
    uint64_t bytesReceived = 0;  // everything read from the line, garbage included
    uint64_t bytesDelivered = 0; // written to the line while a program had the port open
    uint64_t bytesLost = 0;      // sent while nobody had the port open or nobody read
    uint64_t noiseBytes = 0;     // sent as noise because the port ran at another baud rate
    uint64_t epochs = 0;         // epochs put on the line
    uint64_t trimmedEpochs = 0;  // epochs that left out sentences to fit the line
    std::vector<RestartEvent> restarts;
    uint32_t ignoredCommands = 0; // recognised but not acted on (merged, --ignore-commands, replay)
    bool hasFix = false;          // as the last epoch reported it
    bool portOpen = false;        // a program has the slave open
    bool replayDone = false;      // the replay reached the end of its file (without --loop)
    bool finished = false;        // the thread ended by itself (--hangup-after) or by Stop
};

class ReceiverSimulator {
public:
    explicit ReceiverSimulator(SimOptions options);
    ~ReceiverSimulator(); // Stop()
    ReceiverSimulator(const ReceiverSimulator&) = delete;
    ReceiverSimulator& operator=(const ReceiverSimulator&) = delete;

    // Opens the pty, replaces the link and starts the thread. False with Error() set when
    // something fails; nothing is then left behind. Call once.
    bool Start();
    // Ends the thread, closes the pty and removes the link (when it still leads to our slave).
    void Stop();

    std::string Error() const;     // read after Start returned, on the thread that called it
    std::string SlavePath() const; // "/dev/pts/N"
    std::filesystem::path LinkPath() const;  // <ports folder>/<port>
    uint64_t Seed() const { return m_seed; } // the one in use, drawn when none was given
    SimStatus Status() const;
    // Waits until done(status) holds (checked on every status change) or timeoutMs passes.
    bool WaitFor(const std::function<bool(const SimStatus&)>& done, int timeoutMs) const;

private:
    class Engine;

    bool CreateLink();
    void RemoveLink();
    void Notice(const std::string& line) const;

    SimOptions m_options;
    uint64_t m_seed;
    std::string m_error;
    std::string m_slavePath;
    std::filesystem::path m_linkPath;
    int m_masterFd = -1;
    int m_wakeRead = -1;
    int m_wakeWrite = -1;
    int m_logFd = -1;
    int m_truthFd = -1; // --truth: written by the simulator's thread only
    std::string m_replay;

    std::atomic<bool> m_stop{false};
    std::mutex m_threadMutex;
    std::thread m_thread;
    bool m_started = false; // guarded by m_threadMutex
    bool m_linked = false;  // guarded by m_mutex

    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    SimStatus m_status;

    friend class Engine;
};
