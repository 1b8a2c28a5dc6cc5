#pragma once
// CCampaignSession: a campaign with its record, as the dialog and the headless command run it.
// It feeds the engine, writes every received line to the raw stream and each finished run to
// the CSV, and at the end fills in the position errors and writes the JSON and the SVG. The
// owner sends what the steps ask for and reports progress with the texts made here.
//
// Threads: one owner at a time, no lock (the dialog's monitor guards it with its campaign lock;
// the headless command has one thread).
#include "CampaignEngine.h"
#include "CampaignFiles.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

// The settings the dialog and the command share, from Zenithprobe.ini: COM_PORT ("COM1"),
// BAUD_RATE (4800) and TIME_CRITERIA_C/_W/_H (50, 35, 2 s).
struct CampaignDefaults {
    std::string port = "COM1";
    int32_t baud = 4800;
    uint32_t criteriaS[4] = {0, 50, 35, 2};
    bool multiGnss = false; // MULTI_GNSS: decode GN and the other talkers as the program does
    std::string receiver; // RECEIVER as written: "", a family's key or "auto" (read strictly later)
};
CampaignDefaults LoadCampaignDefaults(const std::filesystem::path& iniFile);

// "cold", "warm", "hot", or a comma-separated sequence ("cold,warm,hot"); "all" is the three.
// False on anything else.
bool ParseKindList(const std::string& text, std::vector<int32_t>* kinds);

// "run 3/20 cold: TTFF 34.218 s (34 s <= 50 s) passed" (the sign is the UTF-8 "less or equal").
std::string ProgressText(const RunRecord& record, int32_t runs);
// The summary table, one line per kind, for a terminal or a message box.
std::string SummaryText(const std::vector<KindSummary>& summary);

class CCampaignSession {
public:
    // Creates the files in folder and starts the first run; *step tells what to send. 0 or the
    // error number of the file creation (nothing is started then).
    int Begin(const CampaignSettings& settings, const std::filesystem::path& folder,
              std::vector<std::pair<std::string, std::string>> extra, CampaignTime now,
              CampaignStep* step);
    CampaignStep Line(const ReceivedLine& line, const FixSample& sample, CampaignTime now);
    // A whole binary frame (not written to the raw stream, which keeps sentences only).
    CampaignStep Frame(const ReceivedFrame& frame, CampaignTime now);
    CampaignStep Tick(CampaignTime now);
    // Ends the campaign early (Stop, Ctrl-C); the run in progress is not recorded.
    void Stop();
    // Writes the rest of the record and closes the files. 0 or the first error number. Idempotent.
    int Finish();

    bool Running() const { return m_started && !m_engine.Done(); }
    const CCampaignEngine& Engine() const { return m_engine; }
    const std::vector<RunRecord>& Records() const { return m_records; }
    std::vector<KindSummary> Summary() const {
        return Summarize(m_records, m_engine.Settings().kinds);
    }
    const std::vector<std::filesystem::path>& Paths() const { return m_files.Paths(); }
    bool AllPassed() const;

private:
    void Handle(const CampaignStep& step);

    CCampaignEngine m_engine{CampaignSettings{}};
    CCampaignFiles m_files;
    std::vector<std::pair<std::string, std::string>> m_extra;
    std::vector<RunRecord> m_records; // with the errors once Finish has filled them in
    bool m_started = false;
    bool m_finished = false;
};
