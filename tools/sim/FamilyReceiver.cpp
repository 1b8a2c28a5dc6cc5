#include "FamilyReceiver.h"

#include "BinaryFrames.h"
#include "NmeaChecksum.h"
#include "ReceiverIdentify.h"
#include "RestartCommandBytes.h"

namespace {

// Longer than any command or query a receiver takes; a longer sentence is noise.
constexpr size_t kMaxSentence = 120;
// Receivers take small frames only; a larger length is a false sync.
constexpr size_t kMaxPayload = 512;
constexpr size_t kUbxHeader = 6;     // B5 62 class id length(2)
constexpr size_t kSkyTraqHeader = 4; // A0 A1 length(2)

// The version texts of our own making, one per family.
constexpr const char* kUbxSoftware = "ROM SIM 1.00 (zenithprobe)";
constexpr const char* kUbxHardware = "00190000";
constexpr const char* kUbxExtensions[] = {"FWVER=ZPSIM 1.00", "PROTVER=27.00"};

const uint8_t* Bytes(const std::string& s) {
    return reinterpret_cast<const uint8_t*>(s.data());
}

std::string Padded(std::string_view text, size_t size) {
    std::string out(text.substr(0, size));
    out.resize(size, '\0');
    return out;
}

std::string Payload(std::initializer_list<int> values) {
    std::string s;
    for (int v : values) {
        s.push_back(static_cast<char>(v));
    }
    return s;
}

RestartKind KindOf(int32_t kind) {
    return kind == kStartCold   ? RestartKind::Cold
           : kind == kStartWarm ? RestartKind::Warm
                                : RestartKind::Hot;
}

} // namespace

std::string SonySirfBanner() {
    return NmeaSentence("PSRFTXT,Version:ZPSIM 1.00 (zenithprobe-sim)");
}

FamilyReceiver::FamilyReceiver(ReceiverFamily family, std::string talker)
    : m_family(family), m_talker(std::move(talker)) {}

std::string FamilyReceiver::VersionReply() const {
    switch (m_family) {
    case ReceiverFamily::Ubx: {
        std::string payload = Padded(kUbxSoftware, 30) + Padded(kUbxHardware, 10);
        for (const char* e : kUbxExtensions) {
            payload += Padded(e, 30);
        }
        return UbxFrame(0x0A, 0x04, payload);
    }
    case ReceiverFamily::Mtk:
        return NmeaSentence("PMTK705,ZPSIM_MTK_1.0.0,0001,ZPSIM,1.0");
    case ReceiverFamily::Airoha:
        return NmeaSentence("PAIR021,ZPSIM_AG_1.0.0,2026/12/07");
    case ReceiverFamily::QuectelLg:
        return NmeaSentence("PQTMVERNO,ZPSIM_LG_1.0.0,2026/12/07,12:00:00");
    case ReceiverFamily::SkyTraq:
        // 0x80: software type, kernel 1.0.0, ODM 1.2.3, revision 26-12-07 (a reserved byte
        // before each number triple).
        return SkyTraqFrame(Payload({0x80, 1, 0, 1, 0, 0, 0, 1, 2, 3, 0, 26, 12, 7}));
    case ReceiverFamily::Casic:
        return NmeaSentence(m_talker + "TXT,01,01,02,SW=ZPSIM,V1.0.0.0");
    case ReceiverFamily::None:
        break;
    }
    return {};
}

std::string FamilyReceiver::Banner() const {
    switch (m_family) {
    case ReceiverFamily::Ubx: {
        std::string text =
            NmeaSentence(m_talker + "TXT,01,01,02,u-blox compatible (zenithprobe-sim)");
        text += NmeaSentence(m_talker + "TXT,01,01,02,HW " + kUbxHardware);
        text += NmeaSentence(m_talker + "TXT,01,01,02," + kUbxSoftware);
        for (const char* e : kUbxExtensions) {
            text += NmeaSentence(m_talker + "TXT,01,01,02," + e);
        }
        return text;
    }
    case ReceiverFamily::Mtk:
        // MediaTek's start-up messages: the chip name, then "001" (started).
        return NmeaSentence("PMTK011,MTKGPS") + NmeaSentence("PMTK010,001");
    case ReceiverFamily::None:
        return SonySirfBanner();
    default:
        return VersionReply();
    }
}

void FamilyReceiver::Feed(std::string_view bytes, bool garbage, std::vector<FamilyInput>* inputs) {
    for (char ch : bytes) {
        const auto c = static_cast<uint8_t>(ch);
        if (garbage) {
            // Whatever the sender meant, this byte is not it.
            m_spoiled = m_spoiled || m_state != State::Idle;
            continue;
        }
        switch (m_state) {
        case State::Idle:
            if (c == '$') {
                m_state = State::Nmea;
                m_frame.assign(1, ch);
                m_spoiled = false;
            } else if ((c == 0xB5 && m_family == ReceiverFamily::Ubx) ||
                       (c == 0xA0 && m_family == ReceiverFamily::SkyTraq)) {
                m_state = c == 0xB5 ? State::Ubx : State::SkyTraq;
                m_frame.assign(1, ch);
                m_spoiled = false;
            }
            break;
        case State::Nmea:
            if (c == '$') {
                m_frame.assign(1, ch); // a start character always begins a new sentence
                m_spoiled = false;
            } else if (c == '\n') {
                if (!m_spoiled) {
                    Sentence(m_frame, inputs);
                }
                Reset();
            } else if (m_frame.size() >= kMaxSentence) {
                Reset();
            } else {
                m_frame.push_back(ch);
            }
            break;
        case State::Ubx:
        case State::SkyTraq: {
            m_frame.push_back(ch);
            const bool ubx = m_state == State::Ubx;
            const size_t header = ubx ? kUbxHeader : kSkyTraqHeader;
            if (m_frame.size() == 2 && c != (ubx ? 0x62 : 0xA1)) {
                Reset();
                break;
            }
            if (m_frame.size() < header) {
                break;
            }
            const size_t length =
                ubx ? Bytes(m_frame)[4] | (static_cast<size_t>(Bytes(m_frame)[5]) << 8)
                    : (static_cast<size_t>(Bytes(m_frame)[2]) << 8) | Bytes(m_frame)[3];
            // UBX ends with two check bytes; SkyTraq with its check and CR LF.
            const size_t total = header + length + (ubx ? 2 : 3);
            if (length > kMaxPayload) {
                Reset();
            } else if (m_frame.size() == total) {
                if (!m_spoiled) {
                    Frame(inputs);
                }
                Reset();
            }
            break;
        }
        }
    }
}

void FamilyReceiver::Sentence(std::string_view line, std::vector<FamilyInput>* inputs) {
    std::vector<std::string_view> f;
    if (!CheckedSentenceFields(line, &f)) {
        return;
    }
    FamilyInput in;
    // The family's own restart commands, from the one table the program sends from.
    for (int32_t kind : {kStartCold, kStartWarm, kStartHot}) {
        std::string command = FamilyRestartCommand(m_family, kind);
        std::vector<std::string_view> expected;
        if (CheckedSentenceFields(command, &expected) && expected == f) {
            in.restart = true;
            in.kind = KindOf(kind);
            if (m_family == ReceiverFamily::Airoha) {
                in.reply = NmeaSentence("PAIR001," + std::string(f[0].substr(4)) + ",0");
            }
            inputs->push_back(in);
            return;
        }
    }
    // CASIC's factory reset is at least as cold as a cold start.
    if (m_family == ReceiverFamily::Casic && f.size() == 2 && f[0] == "PCAS10" && f[1] == "3") {
        inputs->push_back(FamilyInput{true, RestartKind::Cold, {}});
        return;
    }
    // Its version query; the binary ones come as frames.
    const std::string probe = CReceiverIdentifier::ProbeOf(m_family);
    std::vector<std::string_view> query;
    if (CheckedSentenceFields(probe, &query) && query == f) {
        in.reply = VersionReply();
        inputs->push_back(in);
    }
}

void FamilyReceiver::Frame(std::vector<FamilyInput>* inputs) {
    const uint8_t* d = Bytes(m_frame);
    const size_t n = m_frame.size();
    FamilyInput in;
    if (m_state == State::Ubx) {
        if (UbxChecksum(d + 2, n - 4) != (d[n - 2] | (d[n - 1] << 8))) {
            return;
        }
        const size_t length = n - kUbxHeader - 2;
        const uint8_t* payload = d + kUbxHeader;
        if (d[2] == 0x06 && d[3] == 0x04 && length == 4) {
            // UBX-CFG-RST: navBbrMask says what is cleared; resetMode 8 and 9 only stop or
            // start the GNSS part, every other mode restarts.
            const unsigned mask = payload[0] | (payload[1] << 8);
            const uint8_t mode = payload[2];
            if (mode == 0x00 || mode == 0x01 || mode == 0x02 || mode == 0x04) {
                in.restart = true;
                in.kind = mask == 0        ? RestartKind::Hot
                          : mask == 0xFFFF ? RestartKind::Cold
                                           : RestartKind::Warm;
                inputs->push_back(in);
            }
        } else if (d[2] == 0x0A && d[3] == 0x04 && length == 0) {
            in.reply = VersionReply();
            inputs->push_back(in);
        }
        return;
    }
    const size_t length = n - kSkyTraqHeader - 3;
    const uint8_t* payload = d + kSkyTraqHeader;
    if (SkyTraqChecksum(payload, length) != d[n - 3] || d[n - 2] != '\r' || d[n - 1] != '\n' ||
        length == 0) {
        return;
    }
    const uint8_t id = payload[0];
    if (id == 0x01 && length == 15) {
        // System restart: mode 1 hot, 2 warm, 3 cold; anything else is refused.
        const uint8_t mode = payload[1];
        if (mode >= 1 && mode <= 3) {
            in.restart = true;
            in.kind = mode == 3   ? RestartKind::Cold
                      : mode == 2 ? RestartKind::Warm
                                  : RestartKind::Hot;
            in.reply = SkyTraqFrame(Payload({0x83, 0x01}));
        } else {
            in.reply = SkyTraqFrame(Payload({0x84, 0x01}));
        }
        inputs->push_back(in);
    } else if (id == 0x02 && length == 2) {
        in.reply = SkyTraqFrame(Payload({0x83, 0x02})) + VersionReply();
        inputs->push_back(in);
    }
}
