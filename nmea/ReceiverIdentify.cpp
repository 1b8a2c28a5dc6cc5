#include "ReceiverIdentify.h"

#include "NmeaChecksum.h"

#include <cstdio>

namespace {

constexpr const char* kSeparator = " \u00B7 "; // " · "
// Enough for every version text seen in the field; a longer one is noise or a broken reply.
constexpr size_t kMaxIdentity = 200;
constexpr size_t kMaxBannerTexts = 6;

// UBX-MON-VER: swVersion[30], hwVersion[10], then extensions of 30 characters each.
constexpr uint8_t kUbxMon = 0x0A;
constexpr uint8_t kUbxMonVer = 0x04;
constexpr size_t kUbxSwLength = 30;
constexpr size_t kUbxHwLength = 10;
constexpr size_t kUbxExtLength = 30;
constexpr size_t kUbxHeader = 6; // B5 62 class id length

// SkyTraq: query software version (0x02, system code 1); its answer is message 0x80 after the
// ACK (0x83) or NACK (0x84) of 0x02.
constexpr uint8_t kSkyTraqQueryVersion = 0x02;
constexpr uint8_t kSkyTraqVersion = 0x80;
constexpr uint8_t kSkyTraqAck = 0x83;
constexpr uint8_t kSkyTraqNack = 0x84;
constexpr size_t kSkyTraqVersionLength = 14;

// Printable ASCII only, trailing spaces dropped: receivers pad their fixed fields.
std::string Clean(std::string_view text) {
    std::string out;
    for (char c : text) {
        if (c == '\0') {
            break;
        }
        out.push_back(c >= 0x20 && c <= 0x7E ? c : '?');
    }
    while (!out.empty() && out.back() == ' ') {
        out.pop_back();
    }
    return out;
}

void Append(std::string* text, std::string_view part) {
    const std::string clean = Clean(part);
    if (clean.empty() || text->size() + clean.size() > kMaxIdentity) {
        return;
    }
    if (!text->empty()) {
        *text += kSeparator;
    }
    *text += clean;
}

std::string JoinFields(const std::vector<std::string_view>& fields, size_t from) {
    std::string text;
    for (size_t i = from; i < fields.size(); ++i) {
        Append(&text, fields[i]);
    }
    return text;
}

// "$GPTXT,01,01,02,text": the text, commas in it kept.
bool TxtText(const std::vector<std::string_view>& f, std::string* text) {
    if (f.size() < 5 || f[0].size() != 5 || f[0].substr(2) != "TXT") {
        return false;
    }
    text->clear();
    for (size_t i = 4; i < f.size(); ++i) {
        *text += (i > 4 ? "," : "") + std::string(f[i]);
    }
    return true;
}

std::string Version3(const uint8_t* v) {
    char text[16];
    std::snprintf(text, sizeof text, "%u.%u.%u", v[0], v[1], v[2]);
    return text;
}

} // namespace

std::string IdentityLine(const ReceiverIdentity& identity) {
    if (!identity.Identified()) {
        return "not identified";
    }
    return std::string(ReceiverFamilyKey(identity.family)) + ": " + identity.text;
}

std::string CReceiverIdentifier::ProbeOf(ReceiverFamily family) {
    switch (family) {
    case ReceiverFamily::Ubx:
        return UbxFrame(kUbxMon, kUbxMonVer, {});
    case ReceiverFamily::Mtk:
        return NmeaSentence("PMTK605");
    case ReceiverFamily::Airoha:
        return NmeaSentence("PAIR021");
    case ReceiverFamily::QuectelLg:
        return NmeaSentence("PQTMVERNO");
    case ReceiverFamily::SkyTraq: {
        const char payload[2] = {static_cast<char>(kSkyTraqQueryVersion), 1};
        return SkyTraqFrame(std::string_view(payload, sizeof payload));
    }
    case ReceiverFamily::Casic:
        return NmeaSentence("PCAS06,0");
    case ReceiverFamily::None:
        break;
    }
    return {};
}

IdentifyStep CReceiverIdentifier::Start(uint32_t nowMs) {
    if (m_state != State::Idle) {
        return {};
    }
    m_state = State::Listen;
    m_fromMs = nowMs;
    return {};
}

IdentifyStep CReceiverIdentifier::Finish(ReceiverFamily family, std::string text) {
    m_state = State::Done;
    m_result.family = family;
    m_result.text.clear();
    if (family != ReceiverFamily::None) {
        m_result.text = ReceiverFamilyName(family);
        if (!text.empty()) {
            m_result.text += kSeparator + text;
        }
    }
    IdentifyStep step;
    step.done = true;
    return step;
}

IdentifyStep CReceiverIdentifier::NextProbe(uint32_t nowMs) {
    while (m_next < kReceiverFamilies.size()) {
        const ReceiverFamily family = kReceiverFamilies[m_next++];
        if (family == m_banner) {
            continue; // asked first already
        }
        m_state = State::Probe;
        m_probing = family;
        m_fromMs = nowMs;
        return IdentifyStep{ProbeOf(family), family, false};
    }
    if (m_banner != ReceiverFamily::None) {
        std::string text;
        for (const std::string& t : m_bannerTexts) {
            Append(&text, t);
        }
        return Finish(m_banner, text);
    }
    return Finish(ReceiverFamily::None, {});
}

IdentifyStep CReceiverIdentifier::CheckTime(uint32_t nowMs) {
    // A line read just before a probe went out carries an earlier time: that is no time passed.
    const uint32_t since = nowMs - m_fromMs;
    const uint32_t elapsed = since > 0x80000000u ? 0 : since;
    if (m_state == State::Listen && elapsed >= m_limits.listenMs) {
        return NextProbe(nowMs);
    }
    if (m_state == State::Probe && elapsed >= m_limits.probeMs) {
        if (m_probing == ReceiverFamily::SkyTraq && m_skyTraqAcked) {
            return Finish(ReceiverFamily::SkyTraq, {}); // answered, but without its version
        }
        if (m_probing == m_banner) {
            m_next = kReceiverFamilies.size(); // the banner named it: nobody else to ask
        }
        return NextProbe(nowMs);
    }
    return {};
}

IdentifyStep CReceiverIdentifier::Line(std::string_view line, uint32_t nowMs) {
    if (m_state != State::Listen && m_state != State::Probe) {
        return {};
    }
    std::vector<std::string_view> f;
    if (CheckedSentenceFields(line, &f)) {
        std::string text;
        if (f[0] == "PMTK705" && f.size() > 1) {
            return Finish(ReceiverFamily::Mtk, JoinFields(f, 1));
        }
        if (f[0] == "PAIR021" && f.size() > 1) {
            return Finish(ReceiverFamily::Airoha, JoinFields(f, 1));
        }
        if (f[0] == "PQTMVERNO" && f.size() > 1) {
            return Finish(ReceiverFamily::QuectelLg, JoinFields(f, 1));
        }
        ReceiverFamily banner = ReceiverFamily::None;
        if (TxtText(f, &text)) {
            if (text.rfind("SW=", 0) == 0) {
                return Finish(ReceiverFamily::Casic, Clean(text));
            }
            if (text.find("u-blox") != std::string::npos) {
                banner = ReceiverFamily::Ubx;
            } else if (m_banner == ReceiverFamily::Ubx && m_bannerTexts.size() < kMaxBannerTexts) {
                m_bannerTexts.push_back(text);
            }
        } else if (f[0] == "PMTK011" || f[0] == "PMTK010") {
            banner = ReceiverFamily::Mtk;
            if (f[0] == "PMTK011" && f.size() > 1 && m_bannerTexts.empty()) {
                m_bannerTexts.emplace_back(f[1]);
            }
        }
        if (banner != ReceiverFamily::None && m_banner == ReceiverFamily::None) {
            m_banner = banner;
            if (m_state == State::Listen) {
                // Ask the family the banner names at once: its answer has the full version.
                m_state = State::Probe;
                m_probing = banner;
                m_fromMs = nowMs;
                return IdentifyStep{ProbeOf(banner), banner, false};
            }
        }
    }
    return CheckTime(nowMs);
}

IdentifyStep CReceiverIdentifier::Frame(const ReceivedFrame& frame) {
    if ((m_state != State::Listen && m_state != State::Probe) || frame.data == nullptr) {
        return {};
    }
    const uint8_t* d = frame.data;
    const size_t n = frame.length;
    if (frame.protocol == FrameProtocol::Ubx && n >= kUbxHeader + 2 + kUbxSwLength + kUbxHwLength &&
        d[2] == kUbxMon && d[3] == kUbxMonVer) {
        const size_t length = d[4] | (static_cast<size_t>(d[5]) << 8);
        if (length + kUbxHeader + 2 == n && length >= kUbxSwLength + kUbxHwLength) {
            const auto* payload = reinterpret_cast<const char*>(d + kUbxHeader);
            std::string text;
            Append(&text, std::string_view(payload, kUbxSwLength));
            Append(&text, std::string_view(payload + kUbxSwLength, kUbxHwLength));
            for (size_t at = kUbxSwLength + kUbxHwLength; at + kUbxExtLength <= length;
                 at += kUbxExtLength) {
                Append(&text, std::string_view(payload + at, kUbxExtLength));
            }
            return Finish(ReceiverFamily::Ubx, text);
        }
    }
    if (frame.protocol == FrameProtocol::SkyTraq && n >= 9) {
        const size_t length = (static_cast<size_t>(d[2]) << 8) | d[3];
        const uint8_t* payload = d + 4;
        if (length + 7 == n && length == 2 &&
            (payload[0] == kSkyTraqAck || payload[0] == kSkyTraqNack) &&
            payload[1] == kSkyTraqQueryVersion) {
            m_skyTraqAcked = true;
        } else if (length + 7 == n && length == kSkyTraqVersionLength &&
                   payload[0] == kSkyTraqVersion) {
            // Kernel, ODM and revision: a reserved byte, then three numbers each.
            char revision[32];
            std::snprintf(revision, sizeof revision, "revision %02u%02u%02u", payload[11],
                          payload[12], payload[13]);
            std::string text = "kernel " + Version3(payload + 3);
            Append(&text, "ODM " + Version3(payload + 7));
            Append(&text, revision);
            return Finish(ReceiverFamily::SkyTraq, text);
        }
    }
    return CheckTime(frame.arrivalMs);
}

IdentifyStep CReceiverIdentifier::Tick(uint32_t nowMs) {
    if (m_state != State::Listen && m_state != State::Probe) {
        return {};
    }
    return CheckTime(nowMs);
}
