#pragma once
// CReceiverIdentifier: which receiver family is on the port, and its version text, found without
// a clock or a port. The owner feeds it events (completed lines, whole binary frames, a periodic
// tick, each with its arrival time) and writes the bytes the steps ask for.
//
// First it listens up to listenMs for a text the receiver sends by itself (a u-blox TXT banner,
// MediaTek's $PMTK010/$PMTK011); most receivers send those only at power-up, so then it probes one
// family at a time in the table's order, at most probeMs each, and stops at the first reply:
//
//   u-blox      UBX-MON-VER poll        -> UBX 0A 04: swVersion[30], hwVersion[10], ext[30]...
//   MediaTek    $PMTK605                -> $PMTK705,...
//   Airoha      $PAIR021                -> $PAIR021,...
//   Quectel LG  $PQTMVERNO              -> $PQTMVERNO,...
//   SkyTraq     A0 A1 00 02 02 01 ...   -> ACK 0x83, then message 0x80 (kernel, ODM, revision)
//   CASIC       $PCAS06,0               -> $GPTXT,..,SW=...
//
// A reply counts whenever it arrives, so a late answer to an earlier probe still names its
// family. A banner's family is probed first; when that probe goes unanswered the banner's texts
// are the identity. Replies that do not keep their format are ignored, never trusted.
//
// Threads: one owner at a time, no lock.
#include "BinaryFrames.h"
#include "ReceiverFamily.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct ReceiverIdentity {
    ReceiverFamily family = ReceiverFamily::None;
    // "u-blox · ROM CORE 3.01 (107888) · 00080000 · PROTVER=18.00": the family's name and the
    // receiver's own version texts; empty when not identified.
    std::string text;
    bool Identified() const { return family != ReceiverFamily::None; }
};
// "ubx: u-blox · ..." or "not identified".
std::string IdentityLine(const ReceiverIdentity& identity);

struct IdentifyStep {
    std::string send;                            // a probe to write, byte for byte
    ReceiverFamily probe = ReceiverFamily::None; // the family it asks
    bool done = false;                           // Result() is final (sent once)
};

class CReceiverIdentifier {
public:
    struct Limits {
        uint32_t listenMs = 1500;
        uint32_t probeMs = 1000;
    };
    CReceiverIdentifier() : CReceiverIdentifier(Limits{}) {}
    explicit CReceiverIdentifier(Limits limits) : m_limits(limits) {}

    IdentifyStep Start(uint32_t nowMs);
    // A completed line ("$...*hh\r\n") and its arrival time.
    IdentifyStep Line(std::string_view line, uint32_t nowMs);
    // A whole frame with a valid check.
    IdentifyStep Frame(const ReceivedFrame& frame);
    // At least every 100 ms: notices a window ending without lines.
    IdentifyStep Tick(uint32_t nowMs);

    bool Done() const { return m_state == State::Done; }
    const ReceiverIdentity& Result() const { return m_result; }

    // The probe each family answers, byte for byte.
    static std::string ProbeOf(ReceiverFamily family);

private:
    enum class State { Idle, Listen, Probe, Done };

    IdentifyStep Finish(ReceiverFamily family, std::string text);
    IdentifyStep NextProbe(uint32_t nowMs);
    IdentifyStep CheckTime(uint32_t nowMs);

    Limits m_limits;
    State m_state = State::Idle;
    uint32_t m_fromMs = 0;
    size_t m_next = 0;                               // next family of the table to probe
    ReceiverFamily m_probing = ReceiverFamily::None; //
    ReceiverFamily m_banner = ReceiverFamily::None;  // named by a text sent unasked
    std::vector<std::string> m_bannerTexts;          //
    bool m_skyTraqAcked = false;                     // its version message follows the ACK
    ReceiverIdentity m_result;
};
