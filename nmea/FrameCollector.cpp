#include "FrameCollector.h"

#include <cstring>

namespace {

// The header's bytes up to and including its length field.
constexpr size_t kUbxHeader = 6;
constexpr size_t kRtcm3Header = 3;
constexpr size_t kSkyTraqHeader = 4;
constexpr size_t kSirfHeader = 4;

// The UBX classes receivers send: NAV, RXM, INF, ACK, CFG, UPD, MON, AID, TIM, ESF, MGA, LOG,
// SEC, HNR, NAV2.
bool KnownUbxClass(uint8_t c) {
    switch (c) {
    case 0x01:
    case 0x02:
    case 0x04:
    case 0x05:
    case 0x06:
    case 0x09:
    case 0x0A:
    case 0x0B:
    case 0x0D:
    case 0x10:
    case 0x13:
    case 0x21:
    case 0x27:
    case 0x28:
    case 0x29:
        return true;
    default:
        return false;
    }
}

size_t Be16(const uint8_t* p) {
    return static_cast<size_t>(p[0]) << 8 | p[1];
}

} // namespace

size_t CFrameCollector::Needed() const {
    if (m_length < 2) {
        return 2; // both sync bytes (or D3 and the length's zero bits) tell the protocol
    }
    if (m_total != 0) {
        return m_total;
    }
    switch (m_protocol) {
    case FrameProtocol::Ubx:
        return kUbxHeader;
    case FrameProtocol::Rtcm3:
        return kRtcm3Header;
    case FrameProtocol::SkyTraq:
        return kSkyTraqHeader;
    case FrameProtocol::Sirf:
        return kSirfHeader;
    }
    return kUbxHeader;
}

bool CFrameCollector::JudgeHeader() {
    const uint8_t* b = m_bytes.data();
    if (m_length == 2) {
        if (b[0] == 0xB5 && b[1] == 0x62) {
            m_protocol = FrameProtocol::Ubx;
        } else if (b[0] == 0xD3 && (b[1] & 0xFC) == 0) {
            m_protocol = FrameProtocol::Rtcm3;
        } else if (b[0] == 0xA0 && b[1] == 0xA1) {
            m_protocol = FrameProtocol::SkyTraq;
        } else if (b[0] == 0xA0 && b[1] == 0xA2) {
            m_protocol = FrameProtocol::Sirf;
        } else {
            return false;
        }
        return true;
    }
    size_t payload = 0;
    switch (m_protocol) {
    case FrameProtocol::Ubx:
        payload = static_cast<size_t>(b[4]) | static_cast<size_t>(b[5]) << 8;
        if (!KnownUbxClass(b[2]) || payload > kUbxMaxPayload) {
            return false;
        }
        m_total = kUbxHeader + payload + 2;
        return true;
    case FrameProtocol::Rtcm3:
        payload = Be16(b + 1) & 0x3FF;
        if (payload < 2) {
            return false;
        }
        m_total = kRtcm3Header + payload + 3;
        return true;
    case FrameProtocol::SkyTraq:
        payload = Be16(b + 2);
        if (payload < 1 || payload > kSkyTraqMaxPayload) {
            return false;
        }
        m_total = kSkyTraqHeader + payload + 3;
        return true;
    case FrameProtocol::Sirf:
        payload = Be16(b + 2);
        if (payload < 1 || payload > kSirfMaxPayload) {
            return false;
        }
        m_total = kSirfHeader + payload + 4;
        return true;
    }
    return false;
}

bool CFrameCollector::CheckPasses() const {
    const uint8_t* b = m_bytes.data();
    const uint8_t* end = b + m_total;
    switch (m_protocol) {
    case FrameProtocol::Ubx: {
        const uint16_t ck = UbxChecksum(b + 2, m_total - 4);
        return end[-2] == (ck & 0xFF) && end[-1] == (ck >> 8);
    }
    case FrameProtocol::Rtcm3: {
        const uint32_t crc = Crc24q(b, m_total - 3);
        return (static_cast<uint32_t>(end[-3]) << 16 | static_cast<uint32_t>(Be16(end - 2))) == crc;
    }
    case FrameProtocol::SkyTraq:
        return end[-3] == SkyTraqChecksum(b + kSkyTraqHeader, m_total - kSkyTraqHeader - 3) &&
               end[-2] == 0x0D && end[-1] == 0x0A;
    case FrameProtocol::Sirf:
        return Be16(end - 4) == SirfChecksum(b + kSirfHeader, m_total - kSirfHeader - 4) &&
               end[-2] == 0xB0 && end[-1] == 0xB3;
    }
    return false;
}

size_t CFrameCollector::Take(const uint8_t* data, size_t count, State* state) {
    *state = State::Collecting;
    size_t used = 0;
    while (used < count) {
        const size_t target = Needed();
        const size_t n = target - m_length < count - used ? target - m_length : count - used;
        std::memcpy(m_bytes.data() + m_length, data + used, n);
        m_length += n;
        used += n;
        if (m_length < target) {
            break;
        }
        if (m_total == 0) {
            if (!JudgeHeader()) {
                *state = State::Failed;
                break;
            }
            continue;
        }
        *state = CheckPasses() ? State::Whole : State::Failed;
        break;
    }
    return used;
}

std::string_view CFrameCollector::Released() const {
    if (m_length < 2) {
        return {};
    }
    return {reinterpret_cast<const char*>(m_bytes.data()) + 1, m_length - 1};
}

void CFrameCollector::Clear() {
    m_length = 0;
    m_total = 0;
}
