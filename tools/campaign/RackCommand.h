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

// Runs the campaign of base (everything but the port, the folder and the callbacks) on every
// port of args.ports, one sub-folder of base.folder each, in one poll loop; then writes the
// comparison into base.folder. The exit status: 0 every run of every port passed, 1 one did not
// (or a port was lost, or the rack was stopped), 2 no port to run on.
int RunRack(const CampaignArgs& args, const PortCampaignConfig& base);
