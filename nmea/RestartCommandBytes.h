#pragma once
// The restart commands as they go out on the line: the one source of these bytes for the main
// dialog and the campaign engine.
//
// Each restart sends the SONY command (5 bytes, no NUL) and then the SiRF "$PSRF101" navigation
// initialisation with its checksum, CR LF and one NUL (62 bytes), whatever receiver is attached.
//
// Threads: pure functions; any thread may call them.
#include <cstdint>
#include <string>

enum StartKind : int32_t {
    kStartNone = 0,
    kStartCold = 1,
    kStartWarm = 2,
    kStartHot = 3,
};

// "@cd\r\n", "@sw\r\n", "@sr\r\n"; empty for any other kind.
std::string SonyRestartCommand(int32_t kind);
// The 61 characters of the $PSRF101 sentence plus one NUL byte; empty for any other kind.
std::string SirfRestartCommand(int32_t kind);
// "cold", "warm", "hot"; "" for any other kind.
const char* StartKindText(int32_t kind);
// "Cold", "Warm", "Hot" (the words of the debug lines); "" for any other kind.
const char* StartKindWord(int32_t kind);
