#pragma once
// Settings of the simulated receiver and their command-line form.
//
// Threads: plain values and pure functions; any thread may call them. A SimOptions is copied into
// the simulator at construction and never shared afterwards.
#include "ReceiverFamily.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

enum class RestartKind { Cold, Warm, Hot };

// Constellations of a multi-GNSS receiver, in the order its sentences go out.
enum class SimSystem { Gps, Glonass, Galileo, BeiDou };

const char* RestartKindName(RestartKind kind); // "cold", "warm", "hot"

// Time to first fix drawn uniformly from [minS, maxS] (seconds).
struct TtffRange {
    double minS = 0;
    double maxS = 0;
};

struct SimOptions {
    std::string port = "COM1";       // name of the link in the ports folder
    std::filesystem::path portsDir;  // empty: PortsFolder()
    uint32_t baud = 4800;            // line rate the receiver talks at: baud/10 bytes per second
    double rateHz = 1.0;             // epochs per second
    std::optional<int64_t> startUtc; // seconds since 1970 of the first epoch; empty: now
    double latDeg = 48.1173;         // start position, north positive
    double lonDeg = 11.5167;         // east positive
    double altM = 545.4;             // above mean sea level
    std::optional<uint64_t> seed;    // empty: drawn from the clock
    TtffRange ttffCold{30, 45};
    TtffRange ttffWarm{25, 35};
    TtffRange ttffHot{1, 2};
    bool startNoFix = false;   // begin like a cold start
    std::string talker = "GP"; // talker of every sentence but GSV (which names GPS)
    // --constellations and --nmea: anything but GPS alone at NMEA 4.0 makes a multi-GNSS
    // receiver (GN talker, one GSA per constellation, GSV per constellation talker).
    std::vector<SimSystem> constellations{SimSystem::Gps};
    int nmeaVersion = 40;     // 40, 410 or 411
    double silentAfterS = -1; // < 0: never
    double hangupAfterS = -1; // < 0: never
    // Silent from pauseAtS for pauseForS seconds, then talking again (a receiver that loses
    // power for a moment or stalls). pauseForS <= 0: no pause.
    double pauseAtS = 0;
    double pauseForS = 0;
    // --flap-fix ON,OFF: a fix held for ON seconds drops for OFF seconds, again and again (a
    // receiver at the edge of reception). flapOnS <= 0: a fix holds.
    double flapOnS = 0;
    double flapOffS = 0;
    bool ignoreCommands = false;
    // --family: None is the SONY / SiRF receiver ("sony-sirf"), restarted by the SONY and SiRF
    // commands; a family acts on its own commands only and answers its version query.
    ReceiverFamily family = ReceiverFamily::None;
    std::vector<ReceiverFamily> families; // --family as given: with --count, cycled
    bool banner = false;                  // a version text at start and after each restart
    // --static: the receiver stands at its start position (speed 0). --noise H,V: standard
    // deviations (metres, per horizontal axis and vertical) of the reported position about it,
    // first-order Gauss-Markov with time constant noiseTauS (0: independent each epoch).
    // --cn0 MEAN,SD: the tracked satellites' SNRs drawn from that normal distribution. None of
    // these: the output is the same as without them for a given seed.
    bool stationary = false;
    double noiseHorizontalM = 0;
    double noiseVerticalM = 0;
    double noiseTauS = 0;
    std::optional<double> cn0MeanDbHz;
    double cn0SdDbHz = 0;
    std::filesystem::path logCommands; // empty: no log
    std::filesystem::path truthFile;   // empty: none; one JSON line per restart acted on
    std::filesystem::path replayFile;  // empty: simulate
    // Lines of the replay file that start with '#' (the comment header of a real capture) are
    // left out unless this is set.
    bool replayRaw = false;
    bool loop = false;
    bool realtime = false;
    // --binary: u-blox NAV-PVT and NAV-SAT frames, and an RTCM 3 message 1005, ahead of each
    // epoch's sentences.
    bool binaryUbx = false;
    bool binaryRtcm3 = false;
    // Receives the one-line summary of each restart acted on and the few other notices (no line
    // end). Called on the simulator's thread, which it must not stop (Stop would wait for
    // itself). Empty: standard error.
    std::function<void(std::string_view line)> notice;
};

struct SimArguments {
    bool ok = false;      // false: error holds the reason
    bool help = false;    // --help: print the usage and exit 0
    bool version = false; // --version: print the name and version and exit 0
    std::string error;
    SimOptions options;
    // --count N --port-prefix P: N receivers in one process on P1..PN; 0 without --count.
    uint32_t count = 0;
    std::string portPrefix = "COM";
};

// The receivers of --count: receiver n (1-based) on <portPrefix>n with seed baseSeed + n - 1,
// its truth and command logs in FILE.n; everything else as options.
std::vector<SimOptions> CountedReceivers(const SimArguments& args, uint64_t baseSeed);

// Parses argv[1..argc-1]. Never exits and never prints.
SimArguments ParseSimArguments(int argc, const char* const* argv);
std::string SimUsage();

// "A-B" or "A" in seconds, decimals allowed, 0 <= A <= B.
bool ParseTtffRange(std::string_view text, TtffRange* range);
// "YYYY-MM-DD HH:MM:SS" in UTC.
bool ParseUtcTime(std::string_view text, int64_t* secondsSince1970);
