#pragma once
// CStaticSession: a static run. The receiver is left alone (no restart command) for a duration
// of wall-clock time while every epoch it reports is recorded, then the scatter of its positions
// and the strength of its signals are summed up.
//
// An epoch is a GGA with the GSA and GSV sentences that follow it, up to the next GGA with
// another time (a receiver that sends GPGGA and GNGGA for one epoch gives one epoch). It is
// written to the epochs file when the next one begins, so the GSA's fix mode and the GSV's
// signals are complete. The epochs before the first 3D fix, and those within skipS seconds of
// it, are recorded but left out of the statistics; so are epochs without a 3D fix, except in
// the availability.
//
// Errors are east/north/up offsets (WGS-84, ellipsoidal heights: the GGA altitude plus its
// geoid separation; the reference altitude is above sea level like the GGA's) about the given
// reference, or else about the mean of the run's 3D fixes in the statistics. With a reference
// each row goes out complete as it comes; without one the offsets are known only at the end,
// and Finish makes a second pass over the epochs file, writing a copy with the offsets beside
// it and renaming it over. The statistics use CQuantileSketch and running moments, the plot a
// bounded choice of dots (another pass), so memory stays flat for runs of any length.
//
// The record: campaign_YYYYMMDD_n.csv (the restart campaigns' schema: its header only), .nmea
// (the raw stream), .json (settings and statistics), .svg (the plot), and
// epochs_YYYYMMDD_n.csv (one row per epoch, flushed about once a second), n the first number
// free for all five.
//
// Starting one, as the dialog would (the same calls as CCampaignSession's, with the parser read
// under its lock on the reader thread):
//     StaticSettings s; s.durationS = 600; s.timing = "reader-wake";
//     CStaticSession run;
//     if (int error = run.Begin(s, folder, {{"port", "COM1"}, {"baud", "9600"}}, now); error) ...
//     for each line:  run.Line(line, StaticSampleOf(parser, line), now);   // parser locked
//     periodically:   run.Tick(now);                                       // every <= 500 ms
//     while (run.Running()) ...; ProgressText() for a status field
//     run.Finish();   // also after Stop(); then SummaryText(), Paths(), SvgPath()
//
// Threads: one owner at a time, no lock (the dialog guards it with its campaign lock; the
// headless command has one thread). StaticSampleOf reads the parser: hold its lock.
#include "CampaignEngine.h"
#include "Geodesy.h"
#include "LogFile.h"
#include "StaticStats.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

struct StaticSettings {
    uint32_t durationS = 600;             // wall clock
    uint32_t skipS = 0;                   // left out after the first 3D fix
    std::optional<GeoPosition> reference; // altitude above sea level; empty: the mean
    std::string timing;                   // how the owner times arrivals, copied to the JSON
};

// Constellations counted apart in the multi-GNSS mode (the parser's EGnssSystem order).
constexpr int kStaticSystems = 8;

// What a static run reads from the parser after one line; only the part that line changed.
struct StaticSample {
    enum class Kind { Other, Gga, Gsa, Gsv, Rmc };
    Kind kind = Kind::Other;
    // GGA
    int32_t msOfDay = -1; // the GGA time with its fraction; -1 without one
    uint8_t quality = 0;
    uint8_t satellites = 0;
    double latDeg = 0, lonDeg = 0, altM = 0, geoidM = 0;
    // GSA (multi-GNSS: the epoch's best fix mode so far)
    uint8_t fixMode = 0;
    double pdop = 0, hdop = 0, vdop = 0;
    // GSV: the mean SNR of the four strongest satellites in view, < 0 with fewer than four;
    // in the multi-GNSS mode also per constellation
    double cn0Top4 = -1;
    double cn0BySystem[kStaticSystems] = {-1, -1, -1, -1, -1, -1, -1, -1};
    // RMC
    int32_t year = 0, month = 0, day = 0; // 0: no date
};
StaticSample StaticSampleOf(const CNmeaParser& parser, const ReceivedLine& line);

// The mean of the four strongest SNRs among the satellites in view of the parser's decoding
// mode (GPGSV, or every constellation in the multi-GNSS mode); < 0 with fewer than four.
double Cn0Top4DbHz(const CNmeaParser& parser);

struct StaticSummary {
    uint64_t epochs = 0;             // recorded
    uint64_t epochsInStatistics = 0; // from the first 3D fix and the skip on
    uint64_t epochs3d = 0;           // of those, with a 3D fix
    double availability3dPct = 0;    // epochs3d of epochsInStatistics
    bool aboutReference = false;     // else about the mean of the 3D fixes
    std::optional<Geodetic> origin;  // the reference or the mean; ellipsoidal height
    bool vertical = false;           // a height to compare with (no reference altitude: none)
    std::optional<double> cep50M, cep95M, drms2M, vertical95M;
    std::optional<MeanStd> eastM, northM, upM;
    std::optional<double> meanHdop, meanPdop, meanSatellites;
    std::optional<Distribution> cn0;
    std::vector<std::pair<char, Distribution>> cn0BySystem; // label letter G R E C ...
};

class CStaticSession {
public:
    // Creates the five files in folder and starts the clock. 0 or the error number of the
    // file creation (nothing is started then).
    int Begin(const StaticSettings& settings, const std::filesystem::path& folder,
              std::vector<std::pair<std::string, std::string>> extra, CampaignTime now);
    void Line(const ReceivedLine& line, const StaticSample& sample, CampaignTime now);
    // Ends the run when its duration is over.
    void Tick(CampaignTime now);
    // Ends the run early (Stop, Ctrl-C); the record keeps what came.
    void Stop();
    // The statistics, the rest of the record and closing the files. 0 or the first error
    // number (a failed write of any file). Idempotent.
    int Finish();

    bool Running() const { return m_started && !m_done; }
    const StaticSettings& Settings() const { return m_settings; }
    uint64_t Epochs() const { return m_epochs; }
    // "static 120/600 s: 1200 epochs, 3D 100.0 %"
    std::string ProgressText(CampaignTime now) const;
    // After Finish.
    const StaticSummary& Summary() const { return m_summary; }
    std::string SummaryText() const;
    const std::vector<std::filesystem::path>& Paths() const { return m_paths; }
    std::filesystem::path SvgPath() const { return m_paths.size() > 3 ? m_paths[3] : ""; }
    std::filesystem::path EpochsPath() const { return m_paths.size() > 4 ? m_paths[4] : ""; }

private:
    struct OpenEpoch {
        bool open = false;
        int32_t msOfDay = -1;
        uint32_t arrivalMs = 0;
        bool hasPosition = false;
        double latDeg = 0, lonDeg = 0, altM = 0, geoidM = 0;
        int32_t satellites = 0;
        uint8_t fixMode = 0; // 0: no GSA yet
        double pdop = 0, hdop = 0, vdop = 0;
        double cn0 = -1;
        double cn0BySystem[kStaticSystems] = {-1, -1, -1, -1, -1, -1, -1, -1};
    };

    void CloseEpoch();
    void Keep(int error);
    // The epochs file's offsets about the mean (a second pass) and the errors' statistics.
    int SecondPass(const Geodetic& origin);
    int WritePlot();

    StaticSettings m_settings;
    std::vector<std::pair<std::string, std::string>> m_extra;
    std::vector<CLogFile> m_files; // csv, nmea, json, svg, epochs
    std::vector<std::filesystem::path> m_paths;
    bool m_started = false;
    bool m_done = false;
    bool m_finished = false;
    int m_error = 0;
    uint32_t m_startMs = 0;
    int64_t m_startUtcMs = 0;
    uint32_t m_lastFlushMs = 0;

    OpenEpoch m_epoch;
    int32_t m_year = 0, m_month = 0, m_day = 0; // the last RMC date

    uint64_t m_epochs = 0;
    std::optional<uint32_t> m_first3dMs;
    std::optional<uint64_t> m_firstCountedRow; // 0-based data row
    uint64_t m_inWindow = 0;
    uint64_t m_3dInWindow = 0;
    CMoments m_hdop, m_pdop, m_satellites;
    CDistribution m_cn0;
    CDistribution m_cn0BySystem[kStaticSystems];
    bool m_multiGnss = false;
    double m_geoidM = 0; // the last geoid separation reported
    // With a reference: the errors as they come. Without: the running mean of the 3D fixes as
    // offsets about the first of them.
    CErrorStats m_errors;
    std::optional<Geodetic> m_provisional;
    CMoments m_meanE, m_meanN, m_meanU;

    StaticSummary m_summary;
};
