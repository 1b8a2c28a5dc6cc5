#include "IdentifyPort.h"

#include "Tick.h"

#include <unistd.h>

namespace {

// The identifier wants a tick at least every 100 ms while it waits for answers.
constexpr uint32_t kIdentifyWaitMs = 50;
constexpr uint32_t kReadSize = 511;

} // namespace

bool IdentifyOnPort(CSerial& port, CReceivePath& path, const volatile std::sig_atomic_t* stop,
                    ReceiverIdentity* identity) {
    CReceiverIdentifier identifier;
    bool failed = false;
    auto act = [&](const IdentifyStep& step) {
        if (!step.send.empty() &&
            port.Write(step.send.data(), static_cast<uint32_t>(step.send.size())) != 0) {
            failed = true;
        }
    };
    act(identifier.Start(TickCountMs()));
    char buffer[kReadSize + 1];
    while (!identifier.Done() && !failed && *stop == 0) {
        const int32_t ready = port.WaitReadable(kIdentifyWaitMs);
        if (ready == 1) {
            uint32_t count = 0;
            if (port.Read(buffer, kReadSize, &count) != 0) {
                failed = true;
                break;
            }
            path.Feed(
                buffer, count, TickCountMs(),
                [&](const ReceivedLine& line) {
                    act(identifier.Line(std::string_view(line.text, line.length), line.arrivalMs));
                },
                [&](const ReceivedFrame& frame) { act(identifier.Frame(frame)); });
        } else if (ready != 0) {
            failed = true;
            break;
        }
        act(identifier.Tick(TickCountMs()));
    }
    *identity = identifier.Result();
    return identifier.Done() && !failed;
}

std::string HostName() {
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0) {
        return "";
    }
    return name;
}
