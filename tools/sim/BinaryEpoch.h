#pragma once
// The binary frames a simulated receiver sends ahead of an epoch's sentences (--binary): a
// u-blox receiver's UBX NAV-PVT (92-byte payload) and NAV-SAT (8 bytes + 12 per satellite in
// view), and a base station's RTCM 3 message 1005 (its antenna position, ECEF).
//
// Threads: pure functions of the model's state; the simulator's thread calls them.
#include "ReceiverModel.h"
#include "SimOptions.h"

#include <cstdint>
#include <string>

// The model as its last epoch (number index) left it.
std::string UbxNavPvt(const ReceiverModel& model, uint64_t index);
std::string UbxNavSat(const ReceiverModel& model, uint64_t index);
// Station position: latitude, longitude (degrees), height above the ellipsoid (metres).
std::string Rtcm3Message1005(double latDeg, double lonDeg, double heightM);

// What --binary adds to epoch index, in the order it goes out; empty without --binary.
std::string EpochFrames(const ReceiverModel& model, uint64_t index, const SimOptions& options);
