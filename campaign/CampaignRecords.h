#pragma once
// The record folder as a list of campaigns: each campaign_YYYYMMDD_n.json found there, with what
// its summary says, newest first. The program's "Records..." lists them and opens their plots
// (the .svg beside each). A file that cannot be read or parsed is still listed, with the reason,
// so that a damaged record does not silently disappear from the list.
//
// Threads: any; no state.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct CampaignRecordInfo {
    std::filesystem::path json;     // campaign_YYYYMMDD_n.json
    std::filesystem::path svg;      // the plot beside it (may be missing)
    int32_t date = 0;               // YYYYMMDD from the name (UTC)
    int32_t number = 0;             // n from the name
    std::string kind;               // "cold", "cold,warm,hot", "static"
    int32_t runs = 0;               // runs recorded (epochs for a static campaign)
    std::optional<double> passRate; // passed / runs over every kind, 0..1
    std::optional<double> cep50M;   // a static campaign's horizontal CEP50
    std::string problem;            // why the JSON could not be read; empty when it could
};

// Parses "campaign_YYYYMMDD_n.json" (digits only, a real month and day). False for any other
// name, so that other files of the folder (epochs, logs, comparisons) are passed over.
bool ParseRecordName(std::string_view name, int32_t* date, int32_t* number);

// Fills kind, runs, passRate / cep50M from a record's JSON text. False (with *problem) when the
// text is not JSON or lacks what a record holds.
bool ReadRecordJson(std::string_view text, CampaignRecordInfo* info, std::string* problem);

// The campaigns in folder, newest first (date, then number, descending). An unreadable folder
// gives an empty list and *error (the errno text).
std::vector<CampaignRecordInfo> ListCampaignRecords(const std::filesystem::path& folder,
                                                    std::string* error = nullptr);

// The list's cells: "2026-12-07 #2", "cold", "20", "95 %" or "CEP50 1.23 m" (or the problem).
struct RecordCells {
    std::string date;
    std::string kind;
    std::string runs;
    std::string result;
};
RecordCells FormatRecord(const CampaignRecordInfo& info);
