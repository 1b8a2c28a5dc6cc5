#pragma once
// What a receiver of one family (u-blox, MediaTek, Airoha, Quectel LG, SkyTraq, CASIC) makes of
// the bytes it receives, and what it says back. Like a real one it frames its input (NMEA
// sentences with a right checksum, and UBX or SkyTraq binary frames with a right check for those
// two), acts on its own family's restart commands only, answers its family's version query with
// a version text of our own making, and acknowledges only where its family does (Airoha
// $PAIR001, SkyTraq ACK/NACK). Everything else, the SONY and SiRF commands included, is ignored.
//
// Threads: one owner (the simulator's thread); not thread-safe.
#include "ReceiverFamily.h"
#include "SimOptions.h"

#include <string>
#include <string_view>
#include <vector>

struct FamilyInput {
    bool restart = false; // a restart of kind to act on
    RestartKind kind = RestartKind::Cold;
    std::string reply; // bytes to send back (an acknowledgement or a version text)
};

class FamilyReceiver {
public:
    // talker: of the TXT sentences it sends ("GP").
    FamilyReceiver(ReceiverFamily family, std::string talker);

    // Bytes in arrival order; garbage: they arrived at another baud rate, so they spoil the
    // frame they fall into. What the complete frames ask for is appended to *inputs.
    void Feed(std::string_view bytes, bool garbage, std::vector<FamilyInput>* inputs);

    // The version text it sends by itself at power-up (and after each restart, with --banner).
    std::string Banner() const;

private:
    enum class State { Idle, Nmea, Ubx, SkyTraq };

    void Reset() {
        m_state = State::Idle;
        m_frame.clear();
        m_spoiled = false;
    }
    void Sentence(std::string_view line, std::vector<FamilyInput>* inputs);
    void Frame(std::vector<FamilyInput>* inputs);
    std::string VersionReply() const;

    ReceiverFamily m_family;
    std::string m_talker;
    State m_state = State::Idle;
    std::string m_frame;
    bool m_spoiled = false;
};

// The banner of the SONY / SiRF receiver (the simulator's default): a $PSRFTXT version line.
std::string SonySirfBanner();
