#pragma once
// The headless command's loop for --kind static: the same reading as the restart campaigns'
// (arrival time taken as each read returns, the one receive path), feeding a CStaticSession.
//
// Threads: the command's one thread.
#include "CampaignArgs.h"
#include "Serial.h"

#include <csignal>
#include <filesystem>

// Runs until the duration is over, *stop is set (a signal) or the port fails; writes the record
// to folder. The exit status: 0 the whole duration with 3D fixes, 1 otherwise, 2 the record
// could not be created.
int RunStaticCampaign(const CampaignArgs& args, CSerial& port, const std::filesystem::path& folder,
                      bool multiGnss, const volatile std::sig_atomic_t* stop);
