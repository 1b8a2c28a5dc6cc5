#include "ReceiverLine.h"

std::string ReceiverLineText(const ReceiverLineState& s) {
    std::string text;
    auto add = [&text](const std::string& line) {
        if (!text.empty()) {
            text += '\n';
        }
        text += line;
    };
    if (!s.keyError.empty()) {
        add(s.keyError);
    }
    switch (s.identify) {
    case ReceiverLineState::Identify::None:
        break;
    case ReceiverLineState::Identify::Running:
        add("Identifying the receiver...");
        break;
    case ReceiverLineState::Identify::Found:
        add(s.identity);
        // Restarts follow the key, not the finding: say what to choose when they differ.
        if (!s.automatic && s.found != s.chosen) {
            add("Switch on Options > Receiver > " + s.found);
        }
        break;
    case ReceiverLineState::Identify::NotFound:
        add("Receiver not identified: SONY / SiRF commands only");
        break;
    }
    if (s.gnWithoutMultiGnss) {
        add("GN sentences: switch on Options > Multi-GNSS");
    }
    return text;
}
