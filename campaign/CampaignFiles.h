#pragma once
// The record of a campaign: four files of one name, "campaign_YYYYMMDD_n" (n the first number
// free for all four, created exclusively like the NMEA logs) in the chosen folder:
// - .csv  one row per run, written and flushed as each run ends, so a killed campaign keeps its
//         finished runs; replaced whole at the end when the position errors (against the mean
//         of the settled positions) become known;
// - .nmea the raw stream of the whole campaign, whole lines with CR LF, as the NMEA log has it;
// - .json the settings and the summary per kind, written at the end;
// - .svg  TTFF per run (by verdict, with the criterion) and the cumulative distribution per
//         kind, written at the end.
// Numbers use '.' whatever the locale; times are UTC in ISO 8601. The files written at the end
// replace the ones made at the start by a rename, never by truncating them. Every write error is
// kept: Error() and Finish() report the first.
//
// Threads: one owner (the reader thread in the dialog, the command's loop headless), no lock.
#include "CampaignEngine.h"
#include "CampaignSummary.h"
#include "LogFile.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// "2026-12-07T13:35:36.123Z"
std::string IsoUtc(int64_t utcMs);
// The CSV header and one row (both end with CR LF).
std::string CsvHeader();
std::string CsvRow(const RunRecord& record);
// The plot as a whole SVG document: one element of class "run" per record.
std::string CampaignSvg(const CampaignSettings& settings, const std::vector<RunRecord>& records,
                        const std::vector<KindSummary>& summary);
// The JSON document; extra holds further settings (port, baud) as text values.
std::string CampaignJson(const CampaignSettings& settings,
                         const std::vector<std::pair<std::string, std::string>>& extra,
                         const std::vector<KindSummary>& summary,
                         const std::vector<std::filesystem::path>& files,
                         int64_t initialFixWaitMs = -1);

// The record's text rules, for the other documents made from records: fixed-point with '.',
// a quoted JSON string, and a round step for the ticks of a plot axis over [0, top].
std::string DecimalText(double value, int digits);
std::string JsonQuoted(std::string_view text);
double PlotTickStep(double top);

class CCampaignFiles {
public:
    // Creates the four files in folder, named by the UTC date of utcMs; privateFiles: mode 0600,
    // else 0666 less the umask. 0 or the error number.
    int Create(const std::filesystem::path& folder, int64_t utcMs, bool privateFiles = false);
    // The first failed write so far, 0 when none.
    int Error() const { return m_error; }
    bool IsOpen() const { return m_open; }
    const std::vector<std::filesystem::path>& Paths() const { return m_paths; }
    std::filesystem::path CsvPath() const { return m_paths.empty() ? "" : m_paths[0]; }

    // One received line, CR LF included.
    void WriteRaw(std::string_view line);
    // One finished run: its row, flushed with the raw stream so far.
    void WriteRun(const RunRecord& record);
    // Rewrites the CSV from records when errors were filled in, writes the JSON and the SVG and
    // closes everything. 0 or the first error number.
    int Finish(const CampaignSettings& settings,
               const std::vector<std::pair<std::string, std::string>>& extra,
               const std::vector<RunRecord>& records, bool rewriteCsv,
               int64_t initialFixWaitMs = -1);

private:
    void Keep(int error);

    // csv, nmea, json, svg
    std::vector<CLogFile> m_files;
    std::vector<std::filesystem::path> m_paths;
    bool m_open = false;
    int m_error = 0;
    unsigned m_mode = 0666;
};
