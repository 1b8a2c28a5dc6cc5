#pragma once
// The comparison of receivers side by side: one row per host + port + kind from campaign records
// (their CSV files as written), and its own record rack_YYYYMMDD_n.csv/.json/.svg.
//
// It reads the values the campaigns wrote, never the engines' memory, so a rack that has just
// finished and a later --compare over the same files agree to the digit. Columns are found by
// their header names: records written before the host, port and receiver columns existed still
// compare (the port then comes from the JSON beside the CSV, else from the folder's name).
//
// Statistics: the pass rate with its Wilson score interval (95 %); the TTFF median and p95
// interpolate between ranks as the campaign's own summary does, so a row's median equals its
// campaign JSON's; the median's 95 % interval is the distribution-free one from order
// statistics (ranks j and n + 1 - j of the sorted TTFFs, binomial with p = 1/2), which needs at
// least 6 fixes; CEP50 is the median horizontal distance of the first fixes from a reference
// given to the comparison (the same reference for every receiver, or none).
//
// Threads: pure functions and one-shot file writes; any thread may call them, one at a time per
// output folder.
#include "CampaignEngine.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

// One run as a campaign's CSV row gives it.
struct ComparedRun {
    std::string host;
    std::string port;
    std::string receiver;
    std::string receiverId;
    std::string kind;
    std::string verdict;
    std::optional<int64_t> ttffMs;
    std::optional<GeoPosition> fix;
};

struct Interval {
    double low = 0;
    double high = 0;
};

struct CompareRow {
    std::string host;
    std::string port;
    std::string receiver;
    std::string receiverId;
    std::string kind;
    int32_t runs = 0;
    int32_t passed = 0;
    int32_t failed = 0;
    int32_t timeouts = 0;
    int32_t noRestarts = 0;
    int32_t refused = 0;
    int32_t portLost = 0;
    double passRate = 0;
    std::optional<Interval> passRate95; // none without runs
    std::vector<double> ttffMs;         // of the runs with a fix, ascending
    std::optional<double> minMs, medianMs, p95Ms, maxMs;
    std::optional<Interval> median95Ms; // none below 6 fixes
    std::optional<double> cep50M;       // none without a reference or a fix position
};

// Wilson score interval of passed out of runs at z (1.959964: 95 %). runs > 0.
Interval WilsonInterval(int32_t passed, int32_t runs, double z = 1.959964);
// The 95 % interval of the median from the order statistics of sorted values; none when there
// are too few for 95 % (fewer than 6).
std::optional<Interval> MedianInterval(const std::vector<double>& sorted);

// Every campaign_*.csv under folder, at any depth, in path order.
std::vector<std::filesystem::path> FindCampaignRecords(const std::filesystem::path& folder);
// The runs of one campaign record. False with *error set ("file:line: ...") when the file cannot
// be read or a column it has holds a value that is not a number where one belongs.
bool ReadCampaignRecord(const std::filesystem::path& csv, std::vector<ComparedRun>* runs,
                        std::string* error);

// The rows: one per host + port + kind, sorted by kind (cold, warm, hot, then others), then by
// median TTFF (rows without a fix last), then host and port.
std::vector<CompareRow> CompareRuns(const std::vector<ComparedRun>& runs,
                                    const std::optional<GeoPosition>& reference);

// The record's documents. sources are the campaign files the rows come from.
std::string CompareCsv(const std::vector<CompareRow>& rows);
std::string CompareJson(const std::vector<CompareRow>& rows,
                        const std::optional<GeoPosition>& reference,
                        const std::vector<std::filesystem::path>& sources);
// Per kind one panel on a common seconds scale: a cumulative TTFF curve per receiver up to 12
// receivers, beyond that one per receiver_id; a legend beside each panel.
std::string CompareSvg(const std::vector<CompareRow>& rows);
// The table for a terminal.
std::string CompareText(const std::vector<CompareRow>& rows);

// Writes rack_YYYYMMDD_n.csv/.json/.svg (UTC date of utcMs, n the first number free for all
// three) into folder. 0 or the first error number; *paths gets the three files.
int WriteComparison(const std::filesystem::path& folder, int64_t utcMs,
                    const std::vector<CompareRow>& rows,
                    const std::optional<GeoPosition>& reference,
                    const std::vector<std::filesystem::path>& sources,
                    std::vector<std::filesystem::path>* paths);
