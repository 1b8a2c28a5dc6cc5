#pragma once
// The receiver line at the foot of the setup dialog: what the last identification found, or
// which Options item the user should switch on for the receiver attached.
//
// Threads: pure function; any thread may call it.
#include <string>

struct ReceiverLineState {
    enum class Identify { None, Running, Found, NotFound };
    Identify identify = Identify::None;
    std::string identity;   // Found: "u-blox · ROM CORE 3.01 (107888) · ..."
    std::string found;      // Found: the menu label of the family found ("u-blox")
    std::string chosen;     // the menu label the RECEIVER key names ("SONY / SiRF" when empty)
    bool automatic = false; // RECEIVER=auto: the found family is used as it is
    std::string keyError;   // the RECEIVER key was not understood: why
    bool gnWithoutMultiGnss = false; // GN sentences arrived while MULTI_GNSS is off
};

// Up to two lines separated by '\n'; empty when there is nothing to say.
std::string ReceiverLineText(const ReceiverLineState& state);
