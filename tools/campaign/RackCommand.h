#pragma once
// The rack side of zenithprobe-campaign: --compare over records already written, and --ports,
// the same campaign on many ports at once in one poll loop.
//
// Threads: the command's one thread.
#include "CampaignArgs.h"
#include "CampaignSession.h"
#include "PortCampaign.h"

#include <cstdint>

// Builds the comparison of every campaign under args.compare into args.out (else the data
// folder) and prints its table. The exit status: 0, 1 the files could not be written, 2 no
// record found or a folder that is not one.
int RunCompare(const CampaignArgs& args);
