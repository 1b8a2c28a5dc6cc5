#include "RestartCommandBytes.h"

#include "NmeaChecksum.h"

namespace {

// The receiver's position, clock offset, time of week, week and channels for the
// initialisation; only the reset field differs between the kinds.
constexpr const char* kSirfBody = "PSRF101,-2686700,-4304200,3851624,96000,497260,921,12,";

} // namespace

std::string SonyRestartCommand(int32_t kind) {
    switch (kind) {
    case kStartCold:
        return "@cd\r\n";
    case kStartWarm:
        return "@sw\r\n";
    case kStartHot:
        return "@sr\r\n";
    default:
        return {};
    }
}

std::string SirfRestartCommand(int32_t kind) {
    const char* reset = nullptr;
    switch (kind) {
    case kStartCold:
        reset = "4";
        break;
    case kStartWarm:
        reset = "3";
        break;
    case kStartHot:
        reset = "1";
        break;
    default:
        return {};
    }
    std::string command = NmeaSentence(std::string(kSirfBody) + reset);
    command.push_back('\0'); // the command goes out with its terminating zero
    return command;
}

const char* StartKindText(int32_t kind) {
    switch (kind) {
    case kStartCold:
        return "cold";
    case kStartWarm:
        return "warm";
    case kStartHot:
        return "hot";
    default:
        return "";
    }
}

const char* StartKindWord(int32_t kind) {
    switch (kind) {
    case kStartCold:
        return "Cold";
    case kStartWarm:
        return "Warm";
    case kStartHot:
        return "Hot";
    default:
        return "";
    }
}
