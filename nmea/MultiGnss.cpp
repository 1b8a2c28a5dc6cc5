#include "MultiGnss.h"

#include "NmeaConvert.h"

#include <algorithm>

namespace {

constexpr int kMaxFields = 24;

// The body's fields, cut at ',' (the framer has taken off '*' and the checksum).
struct Fields {
    std::string_view f[kMaxFields];
    int count = 0;

    explicit Fields(const char* body) {
        std::string_view rest = body != nullptr ? body : "";
        for (;;) {
            const size_t comma = rest.find(',');
            if (count < kMaxFields) {
                f[count] = rest.substr(0, comma);
            }
            ++count;
            if (comma == std::string_view::npos) {
                break;
            }
            rest.remove_prefix(comma + 1);
        }
    }
    std::string_view operator[](int i) const {
        return i >= 0 && i < count && i < kMaxFields ? f[i] : std::string_view{};
    }
    // The field as an integer, or fallback when empty.
    int32_t Int(int i, int32_t fallback = 0) const {
        const std::string_view s = (*this)[i];
        return s.empty() ? fallback : TextToInt(s);
    }
};

uint16_t Clamp16(int32_t v) {
    return static_cast<uint16_t>(std::clamp<int32_t>(v, 0, 0xFFFF));
}

uint8_t SystemBit(EGnssSystem s) {
    return static_cast<uint8_t>(1u << static_cast<unsigned>(s));
}

// A 4.10 signal ID is one hexadecimal digit.
uint8_t HexDigit(std::string_view s) {
    if (s.empty()) {
        return 0;
    }
    const char c = s[0];
    if (c >= '0' && c <= '9') {
        return static_cast<uint8_t>(c - '0');
    }
    if (c >= 'A' && c <= 'F') {
        return static_cast<uint8_t>(c - 'A' + 10);
    }
    return 0;
}

} // namespace

char GnssSystemLetter(EGnssSystem system) {
    switch (system) {
    case EGnssSystem::Gps:
        return 'G';
    case EGnssSystem::Sbas:
        return 'S';
    case EGnssSystem::Glonass:
        return 'R';
    case EGnssSystem::Galileo:
        return 'E';
    case EGnssSystem::BeiDou:
        return 'C';
    case EGnssSystem::Qzss:
        return 'J';
    case EGnssSystem::NavIC:
        return 'I';
    default:
        return '?';
    }
}

bool IsGnssTalker(std::string_view t) {
    return t == "GP" || t == "GN" || t == "GL" || t == "GA" || t == "GB" || t == "BD" ||
           t == "GQ" || t == "GI";
}

CGnssId ClassifyGnss(std::string_view talker, int32_t systemId, int32_t prn) {
    EGnssSystem s = EGnssSystem::Unknown;
    bool gpsFamily = false; // GPS, SBAS or QZSS: the number tells which
    switch (systemId) {
    case 1:
        gpsFamily = true;
        break;
    case 2:
        s = EGnssSystem::Glonass;
        break;
    case 3:
        s = EGnssSystem::Galileo;
        break;
    case 4:
        s = EGnssSystem::BeiDou;
        break;
    case 5:
        s = EGnssSystem::Qzss;
        break;
    case 6:
        s = EGnssSystem::NavIC;
        break;
    default:
        if (talker == "GP") {
            gpsFamily = true;
        } else if (talker == "GL") {
            s = EGnssSystem::Glonass;
        } else if (talker == "GA") {
            s = EGnssSystem::Galileo;
        } else if (talker == "GB" || talker == "BD") {
            s = EGnssSystem::BeiDou;
        } else if (talker == "GQ") {
            s = EGnssSystem::Qzss;
        } else if (talker == "GI") {
            s = EGnssSystem::NavIC;
        }
        break;
    }
    const auto in = [prn](int32_t low, int32_t high) { return prn >= low && prn <= high; };
    if (gpsFamily) {
        if (in(33, 64) || in(120, 158)) {
            s = EGnssSystem::Sbas;
        } else if (in(193, 202)) {
            s = EGnssSystem::Qzss;
        } else {
            s = EGnssSystem::Gps;
        }
    } else if (s == EGnssSystem::Unknown) {
        // Nothing but the number: the 4.0 ranges, with the extensions some receivers use.
        if (in(1, 32)) {
            s = EGnssSystem::Gps;
        } else if (in(33, 64) || in(120, 158)) {
            s = EGnssSystem::Sbas;
        } else if (in(65, 96)) {
            s = EGnssSystem::Glonass;
        } else if (in(193, 200)) {
            s = EGnssSystem::Qzss;
        } else if (in(201, 237)) {
            s = EGnssSystem::BeiDou;
            prn -= 200;
        } else if (in(301, 336)) {
            s = EGnssSystem::Galileo;
            prn -= 300;
        } else if (in(401, 463)) {
            s = EGnssSystem::BeiDou;
            prn -= 400;
        }
    } else if (s == EGnssSystem::Glonass && in(1, 32)) {
        prn += 64; // slot numbers: NMEA numbers GLONASS 65-96
    } else if (s == EGnssSystem::Qzss && in(1, 10)) {
        prn += 192; // 4.11 receivers number QZSS 1-10
    } else if (s == EGnssSystem::Galileo && in(301, 336)) {
        prn -= 300;
    } else if (s == EGnssSystem::BeiDou && in(401, 463)) {
        prn -= 400;
    } else if (s == EGnssSystem::BeiDou && in(201, 263)) {
        prn -= 200;
    }
    return {s, Clamp16(prn)};
}

void CMultiGnssState::Reset() {
    *this = CMultiGnssState{};
}

void CMultiGnssState::Age(uint32_t nowMs) {
    m_dwNowMs = nowMs;
    bool dropped = false;
    for (int s = 0; s < m_btStreamCount; ++s) {
        Stream& st = m_Streams[s];
        if (!st.bInUse || nowMs - st.dwLastMs <= kStreamAgeMs) {
            continue;
        }
        // A talker gone quiet (a constellation switched off, a receiver that stopped sending its
        // GSV): what only it reported would otherwise stay on screen for good.
        const auto bit = static_cast<uint16_t>(1u << s);
        for (int i = 0; i < m_wCount; ++i) {
            m_Satellites[i].wStreams = static_cast<uint16_t>(m_Satellites[i].wStreams & ~bit);
            m_Satellites[i].btSnr[s] = 0;
        }
        st = Stream{};
        dropped = true;
    }
    if (dropped) {
        Prune();
        RefreshUsed();
    }
}

bool CMultiGnssState::IsUsed(EGnssSystem system, uint16_t prn) const {
    for (int i = 0; i < m_wUsedCount; ++i) {
        if (m_Used[i].system == system && m_Used[i].wPrn == prn) {
            return true;
        }
    }
    return false;
}

void CMultiGnssState::RefreshUsed() {
    for (int i = 0; i < m_wCount; ++i) {
        m_Satellites[i].bUsed = IsUsed(m_Satellites[i].system, m_Satellites[i].wPrn) ? 1 : 0;
    }
}

// $GNGSA,A,3,29,20,18,16,51,13,44,26,,,,,0.99,0.54,0.83,1*0E        (4.10: system ID at the end)
// $GNGSA,A,3,80,70,73,79,69,71,,,,,,,1.71,1.01,1.38*1D             (4.0: GLONASS by its range)
uint8_t CMultiGnssState::OnGsa(std::string_view talker, const char* body, uint8_t fixMode) {
    const Fields fields(body);
    const int32_t systemId = fields.count >= 18 ? HexDigit(fields[17]) : 0;
    CGnssId ids[12];
    int n = 0;
    uint8_t systems = 0;
    for (int i = 2; i < 14; ++i) {
        const int32_t prn = fields.Int(i);
        if (prn > 0) {
            ids[n] = ClassifyGnss(talker, systemId, prn);
            systems = static_cast<uint8_t>(systems | SystemBit(ids[n].system));
            ++n;
        }
    }
    // One GSA per constellation, one after the other: a constellation seen again, or any other
    // sentence in between, begins the next epoch.
    if (!m_bGsaGroupOpen || (m_btGsaSystems & systems) != 0) {
        m_bGsaGroupOpen = true;
        m_btGsaSystems = 0;
        m_wUsedCount = 0;
        m_btEpochFixMode = fixMode;
    }
    m_btGsaSystems = static_cast<uint8_t>(m_btGsaSystems | systems);
    m_btEpochFixMode = std::max(m_btEpochFixMode, fixMode);
    for (int i = 0; i < n; ++i) {
        if (m_wUsedCount < kUsedMax && !IsUsed(ids[i].system, ids[i].wPrn)) {
            m_Used[m_wUsedCount++] = {ids[i].system, ids[i].wPrn};
        }
    }
    RefreshUsed();
    return m_btEpochFixMode;
}

int CMultiGnssState::FindStream(std::string_view talker, uint8_t signal) {
    int free = -1;
    for (int s = 0; s < m_btStreamCount; ++s) {
        const Stream& st = m_Streams[s];
        if (!st.bInUse) {
            free = free < 0 ? s : free;
        } else if (st.talker[0] == talker[0] && st.talker[1] == talker[1] &&
                   st.btSignal == signal) {
            return s;
        }
    }
    if (free < 0) {
        if (m_btStreamCount == CGnssSatellite::kSignals) {
            return -1;
        }
        free = m_btStreamCount++;
    }
    Stream& st = m_Streams[free];
    st = Stream{};
    st.talker[0] = talker[0];
    st.talker[1] = talker[1];
    st.btSignal = signal;
    st.bInUse = true;
    return free;
}

// $GPGSV,4,4,13,46,,,50,1*61                                  (4.10: signal ID after the last)
// $GLGSV,3,3,09,88,07,028,*51                                 (4.0)
bool CMultiGnssState::OnGsv(std::string_view talker, const char* body) {
    const Fields fields(body);
    const int32_t messages = fields.Int(0);
    const int32_t number = fields.Int(1);
    if (messages < 1 || messages > 9 || number < 1 || number > messages) {
        ++m_nGsvDropped;
        return false;
    }
    // Four fields per satellite after the three of the header; one more is the signal ID, and it
    // is never a satellite.
    const int satelliteFields = std::min(fields.count, kMaxFields) - 3;
    const bool hasSignal = satelliteFields % 4 == 1;
    const uint8_t signal = hasSignal ? HexDigit(fields[fields.count - 1]) : 0;
    const int32_t inView = fields.Int(2, -1);
    const int stream = FindStream(talker, signal);
    if (stream < 0) {
        ++m_nGsvDropped;
        return false;
    }
    // Any GSV of a talker keeps all its streams alive (signals come and go within a talker).
    for (int s = 0; s < m_btStreamCount; ++s) {
        Stream& other = m_Streams[s];
        if (other.bInUse && other.talker[0] == talker[0] && other.talker[1] == talker[1]) {
            other.dwLastMs = m_dwNowMs;
        }
    }
    Stream& st = m_Streams[stream];
    if (number == 1) {
        st.bActive = true;
        st.btMessages = static_cast<uint8_t>(messages);
        st.btNext = 1;
        st.nInView = inView;
        st.btPending = 0;
    }
    // A message out of turn, or a group that changes its size on the way, is dropped whole.
    if (!st.bActive || number != st.btNext || messages != st.btMessages || inView != st.nInView) {
        st.bActive = false;
        ++m_nGsvDropped;
        return true;
    }
    for (int j = 0; j < satelliteFields / 4; ++j) {
        const int first = 3 + 4 * j;
        const int32_t prn = fields.Int(first);
        if (prn <= 0 || st.btPending >= kGroupMax) {
            continue;
        }
        const CGnssId id = ClassifyGnss(talker, 0, prn);
        Pending& p = st.pending[st.btPending++];
        p.system = id.system;
        p.wPrn = id.wPrn;
        p.bHasPosition = !fields[first + 1].empty() && !fields[first + 2].empty();
        p.wElevation = Clamp16(fields.Int(first + 1));
        p.wAzimuth = Clamp16(fields.Int(first + 2));
        p.btSnr = static_cast<uint8_t>(std::clamp<int32_t>(fields.Int(first + 3), 0, 99));
    }
    ++st.btNext;
    if (number == messages) {
        Commit(stream);
        st.bActive = false;
    }
    return true;
}

void CMultiGnssState::Commit(int stream) {
    Stream& st = m_Streams[stream];
    const auto bit = static_cast<uint16_t>(1u << stream);
    for (int i = 0; i < m_wCount; ++i) {
        m_Satellites[i].wStreams = static_cast<uint16_t>(m_Satellites[i].wStreams & ~bit);
        m_Satellites[i].btSnr[stream] = 0;
    }
    for (int k = 0; k < st.btPending; ++k) {
        const Pending& p = st.pending[k];
        CGnssSatellite* sat = nullptr;
        for (int i = 0; i < m_wCount && sat == nullptr; ++i) {
            if (m_Satellites[i].system == p.system && m_Satellites[i].wPrn == p.wPrn) {
                sat = &m_Satellites[i];
            }
        }
        if (sat == nullptr) {
            if (m_wCount == kSatellites) {
                ++m_nTableFull;
                continue;
            }
            sat = &m_Satellites[m_wCount++];
            *sat = CGnssSatellite{};
            sat->system = p.system;
            sat->wPrn = p.wPrn;
        }
        sat->wStreams = static_cast<uint16_t>(sat->wStreams | bit);
        sat->btSnr[stream] = p.btSnr;
        // Some receivers leave the position out for a second signal of the same satellite.
        if (p.bHasPosition || (sat->wStreams & ~bit) == 0) {
            sat->wElevation = p.wElevation;
            sat->wAzimuth = p.wAzimuth;
        }
    }
    Prune();
    ++m_nGsvGroups;
    RefreshUsed();
}

void CMultiGnssState::Prune() {
    // Satellites no stream reports any more have set (or were lost): they go.
    int kept = 0;
    for (int i = 0; i < m_wCount; ++i) {
        CGnssSatellite& sat = m_Satellites[i];
        if (sat.wStreams == 0) {
            continue;
        }
        uint8_t best = 0;
        for (uint8_t snr : sat.btSnr) {
            best = std::max(best, snr);
        }
        sat.wSnr = best;
        if (kept != i) {
            m_Satellites[kept] = sat;
        }
        ++kept;
    }
    for (int i = kept; i < m_wCount; ++i) {
        m_Satellites[i] = CGnssSatellite{};
    }
    m_wCount = static_cast<uint16_t>(kept);
}
