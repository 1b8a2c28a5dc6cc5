#pragma once
// The simulated receiver's state and the sentences it reports, as a function of epoch numbers.
// No clock and no I/O: the caller says which epoch it is, so tests can step through minutes of
// receiver time at once.
//
// Threads: one owner; not thread-safe.
//
// Time to first fix: a restart draws a TTFF uniformly from the kind's range. The fix is lost at
// the next epoch (the "loss") and regained at the first epoch at or after loss + TTFF. Cold
// starts forget the sky (GSV lists only satellites acquired again), warm starts keep the list
// but lose every signal, hot starts keep tracking. Satellites are acquired one by one between
// 30% and 150% of the TTFF; the four highest by the fix at the latest, so the fix has four.
#include "SimOptions.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// Small deterministic generator (splitmix64): the same seed gives the same run on any platform.
class SimRandom {
public:
    explicit SimRandom(uint64_t seed) : m_state(seed) {}
    uint64_t Next();
    double Uniform(double lo, double hi); // [lo, hi)
    int Below(int n);                     // [0, n)

private:
    uint64_t m_state;
};

enum class SentenceClass {
    Required, // GGA, GSA, RMC: always sent
    Gsv,      // left out after the optional ones when the line is too slow
    Optional, // GLL, VTG, RMB, ZDA: left out first
};

struct EpochSentence {
    std::string text; // complete, "$...*hh\r\n"
    SentenceClass kind;
    int dropRank = 0; // optional sentences: lower is left out first
};

struct SkySatellite {
    SimSystem system = SimSystem::Gps;
    int prn = 0; // within its constellation (GLONASS 65-88)
    int elevationDeg = 0;
    int azimuthDeg = 0;
    int snrDbHz = 0; // 0: not tracked (empty field)
    bool used = false;
    bool secondSignal = false; // also sends L5 / E5a / B2a (NMEA 4.10+ only)
};

class ReceiverModel {
public:
    ReceiverModel(const SimOptions& options, uint64_t seed);

    // Acts on a restart: the fix is lost at the next epoch and regained the returned number of
    // seconds after that. A restart while acquiring starts the acquisition again.
    double Restart(RestartKind kind);

    // Advances to epoch `index` (index / rateHz seconds after the start; epochs may be skipped,
    // never repeated) and returns its sentences in the order they go out.
    std::vector<EpochSentence> Epoch(uint64_t index);

    double EpochTimeS(uint64_t index) const;
    bool HasFix() const { return m_hasFix; }
    // When the fix is due (seconds after the start); meaningful while HasFix() is false.
    double FixDueS() const { return m_fixDueS; }
    // Epoch time the fix was last lost (by a restart); < 0 before any.
    double LossS() const { return m_lossS; }
    // The TTFF drawn by the last Restart (also the one of --start nofix).
    double LastTtffS() const { return m_pendingTtffS; }
    double LatitudeDeg() const { return m_latDeg; }
    double LongitudeDeg() const { return m_lonDeg; }
    double AltitudeM() const { return m_altM; } // above sea level; the true one under --noise
    // The sky as the last epoch reported it (GSV order).
    std::vector<SkySatellite> Sky() const { return m_sky; }

private:
    struct Satellite {
        SimSystem system;
        int prn;
        double riseS; // time the pass started
        double passS; // length of the pass
        double azRiseDeg;
        double azSpanDeg; // signed sweep over the pass
        double maxElDeg;
        double snrBias;
        double acquireAtS; // tracked from then on
        bool hidden;       // cold start: not listed until acquired
    };

    void Advance(double t);
    void ApplyRestart(double t);
    double ElevationAt(const Satellite& s, double t) const;
    double AzimuthAt(const Satellite& s, double t) const;
    Satellite NewSatellite(double t, double phase, bool high, SimSystem system = SimSystem::Gps);
    void ReplaceSetSatellites(double t);
    void UpdateSky(double t, uint64_t index);
    std::vector<EpochSentence> Sentences(double t, uint64_t index);
    // Multi-GNSS: one GSA per constellation, GSV per constellation talker (and signal).
    void AddGnssSatellites(const std::function<void(const std::string&, SentenceClass)>& add,
                           double pdop, double hdop, double vdop) const;

    double m_rateHz;
    int64_t m_startUtcCs; // centiseconds since 1970 of epoch 0
    std::string m_talker;
    std::vector<SimSystem> m_systems;
    int m_nmeaVersion;
    bool m_multi; // anything but GPS alone at NMEA 4.0
    TtffRange m_ttff[3];
    uint64_t m_seed;
    SimRandom m_skyRandom;
    SimRandom m_ttffRandom;

    double m_t = 0; // time of the last epoch
    bool m_started = false;
    double m_latDeg;
    double m_lonDeg;
    double m_altM;
    double m_alt0M;
    double m_speedKnots = 0;
    double m_courseDeg = 0;
    double m_phase[3];
    double m_course0Deg;
    double m_originLat, m_originLon, m_destLat, m_destLon;

    // --static, --noise, --cn0: their own random streams, so that without them every draw
    // above is the same as before.
    void UpdateNoise(double t);
    double Gaussian(SimRandom& random);
    bool m_stationary;
    double m_noiseSd[3]; // east, north, up
    double m_noiseTauS;
    double m_noise[3] = {0, 0, 0};
    double m_noiseT = -1; // time of the last noise step
    SimRandom m_noiseRandom;
    std::optional<double> m_cn0Mean;
    double m_cn0Sd;
    // The reported position (the true one plus the noise).
    double m_reportLat = 0, m_reportLon = 0, m_reportAlt = 0;

    std::vector<Satellite> m_satellites;
    std::vector<SkySatellite> m_sky;
    bool m_hasFix = true;
    bool m_coldAcquisition = false;
    double m_fixDueS = 0;
    double m_lossS = -1; // epoch time the fix was last lost
    bool m_restartPending = false;
    RestartKind m_pendingKind = RestartKind::Cold;
    double m_pendingTtffS = 0;
};

// Joins an epoch's sentences into at most budget bytes. Optional sentences are left out first
// (lowest rank first), then GSV messages: as many as fit, continuing after the last one sent
// (*gsvCursor) so every satellite still shows within a few epochs. Required sentences always
// stay, even beyond the budget. *trimmed tells whether anything was left out.
std::string FitEpoch(const std::vector<EpochSentence>& sentences, size_t budget, size_t* gsvCursor,
                     bool* trimmed);
