#pragma once
// The command line of zenithprobe-campaign. Defaults come from Zenithprobe.ini (the dialog's
// port, baud rate and criteria), options override them.
//
// Threads: pure functions; any thread may call them.
#include "CampaignEngine.h"
#include "CampaignSession.h"
#include "StaticSession.h"

#include <filesystem>
#include <string>

struct CampaignArgs {
    bool ok = false;      // false: error says why
    bool help = false;    // --help: print the usage and exit 0
    bool version = false; // --version: print the version line and exit 0
    std::string error;
    std::string port;
    int32_t baud = 0;
    std::filesystem::path out; // empty: the program's folder
    CampaignSettings settings;
    // --kind static: a static run instead of restarts (--duration, --skip; --reference shared).
    bool isStatic = false;
    StaticSettings staticSettings;
};

// argv[1..argc-1] over the defaults. Never prints, never exits.
CampaignArgs ParseCampaignArgs(int argc, const char* const* argv, const CampaignDefaults& defaults);
std::string CampaignUsage();
