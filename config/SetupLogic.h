#pragma once
// The setup dialog's rules that need no display: the per-chipset command history in
// Zenithprobe.ini, the baud-rate text, and the order in which the automatic search tries ports
// and rates.
//
// Threads: pure functions and calls of the INI store (which takes no lock); any thread may call
// them. The dialog calls them on the user-interface thread and, for the candidates, on its
// search thread.
#include "DecimalValue.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

// Texts longer than this do not fit the 100-byte buffers of the store and the port.
inline constexpr size_t kSetupTextBytes = 99;

// The commands of `section` ("SONY" or "SIRF") in key order: keys 1, 2, 3, ... until a key (or
// the section, or the file) is missing. Empty values are skipped and the walk goes on.
std::vector<std::string> LoadCommandValues(const char* section, const std::filesystem::path& file);

// The first key number whose value is missing or empty (1 for an empty section).
int FirstFreeCommandNumber(const char* section, const std::filesystem::path& file);

// Index of the entry equal to `text` when letter case is ignored (ASCII letters), or -1.
int FindCommandNoCase(const std::vector<std::string>& entries, std::string_view text);

// Stores `text` under the first free number of `section` unless the list already holds it in
// any letter case. Returns the key number used, or 0 when nothing was stored.
int RememberCommand(const std::vector<std::string>& entries, std::string_view text,
                    const char* section, const std::filesystem::path& file);

// The text cut to at most kSetupTextBytes bytes on a UTF-8 character boundary.
std::string CutToSetupBuffer(std::string_view text);

// One candidate of the automatic search.
struct SearchCandidate {
    uint32_t baud = 0;
    int port = 0; // COM<port>
};

inline constexpr uint32_t kSearchBauds[] = {4800, 9600, 19200, 38400};
inline constexpr int kSearchPorts = 10; // COM0 to COM9

// Every rate in turn, and for each rate COM0 to COM9: 40 candidates, in the order tried.
std::vector<SearchCandidate> SearchCandidates();
