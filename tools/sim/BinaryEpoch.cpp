#include "BinaryEpoch.h"

#include "BinaryFrames.h"

#include <cmath>
#include <ctime>

namespace {

// The sentences' geoid separation (GGA "47.0,M"): heights above the ellipsoid add it.
constexpr double kGeoidSeparationM = 47.0;
// GPS time runs ahead of UTC by the leap seconds since 1980 (18 since 2017).
constexpr int64_t kGpsLeapSeconds = 18;
constexpr int64_t kGpsEpochUnix = 315964800; // 1980-01-06 00:00:00 UTC
constexpr int64_t kWeekS = 7 * 86400;

void PutLe(std::string& out, uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
    }
}

void PutLeSigned(std::string& out, int64_t value, int bytes) {
    PutLe(out, static_cast<uint64_t>(value), bytes);
}

uint32_t TimeOfWeekMs(int64_t utcCs) {
    const int64_t gpsMs = (utcCs - kGpsEpochUnix * 100 + kGpsLeapSeconds * 100) * 10;
    return static_cast<uint32_t>(((gpsMs % (kWeekS * 1000)) + kWeekS * 1000) % (kWeekS * 1000));
}

// UBX gnssId and svId of a satellite as the sentences number it.
void UbxSatelliteId(const SkySatellite& s, uint8_t* gnssId, uint8_t* svId) {
    switch (s.system) {
    case SimSystem::Gps:
        *gnssId = 0;
        *svId = static_cast<uint8_t>(s.prn);
        return;
    case SimSystem::Glonass:
        *gnssId = 6;
        *svId = static_cast<uint8_t>(s.prn > 64 ? s.prn - 64 : s.prn); // slot 1-24
        return;
    case SimSystem::Galileo:
        *gnssId = 2;
        *svId = static_cast<uint8_t>(s.prn);
        return;
    case SimSystem::BeiDou:
        *gnssId = 3;
        *svId = static_cast<uint8_t>(s.prn);
        return;
    }
}

// Big-endian bit writer for RTCM 3 data fields.
class Bits {
public:
    void Put(uint64_t value, int width) {
        for (int bit = width - 1; bit >= 0; --bit) {
            if (m_used % 8 == 0) {
                m_bytes.push_back('\0');
            }
            if (((value >> bit) & 1) != 0) {
                m_bytes.back() = static_cast<char>(m_bytes.back() | (0x80 >> (m_used % 8)));
            }
            ++m_used;
        }
    }
    void PutSigned(int64_t value, int width) {
        Put(static_cast<uint64_t>(value) & ((uint64_t{1} << width) - 1), width);
    }
    const std::string& Bytes() const { return m_bytes; }

private:
    std::string m_bytes;
    size_t m_used = 0;
};

} // namespace

std::string UbxNavPvt(const ReceiverModel& model, uint64_t index) {
    const int64_t cs = model.EpochUtcCs(index);
    const auto seconds = static_cast<time_t>(cs / 100);
    tm utc{};
    gmtime_r(&seconds, &utc);
    const bool fix = model.HasFix();
    int used = 0;
    for (const SkySatellite& s : model.Sky()) {
        used += s.used ? 1 : 0;
    }
    std::string p;
    PutLe(p, TimeOfWeekMs(cs), 4);
    PutLe(p, static_cast<uint64_t>(utc.tm_year + 1900), 2);
    p.push_back(static_cast<char>(utc.tm_mon + 1));
    p.push_back(static_cast<char>(utc.tm_mday));
    p.push_back(static_cast<char>(utc.tm_hour));
    p.push_back(static_cast<char>(utc.tm_min));
    p.push_back(static_cast<char>(utc.tm_sec));
    p.push_back(fix ? '\x07' : '\x00');             // valid: date, time, fully resolved
    PutLe(p, fix ? 30 : 0xFFFFFFFFu, 4);            // tAcc ns
    PutLeSigned(p, (cs % 100) * 10'000'000, 4);     // nano
    p.push_back(fix ? '\x03' : '\x00');             // fixType: 3D or none
    p.push_back(fix ? '\x01' : '\x00');             // flags: gnssFixOK
    p.push_back('\x00');                            // flags2
    p.push_back(static_cast<char>(fix ? used : 0)); // numSV
    const double lat = fix ? model.LatitudeDeg() : 0.0;
    const double lon = fix ? model.LongitudeDeg() : 0.0;
    const double hMsl = fix ? model.AltitudeM() : 0.0;
    PutLeSigned(p, std::llround(lon * 1e7), 4);
    PutLeSigned(p, std::llround(lat * 1e7), 4);
    PutLeSigned(p, fix ? std::llround((hMsl + kGeoidSeparationM) * 1000) : 0, 4); // height mm
    PutLeSigned(p, std::llround(hMsl * 1000), 4);                                 // hMSL mm
    PutLe(p, fix ? 2500 : 0xFFFFFFFFu, 4);                                        // hAcc mm
    PutLe(p, fix ? 4000 : 0xFFFFFFFFu, 4);                                        // vAcc mm
    p.append(4 * 4, '\0');         // velN, velE, velD, gSpeed: standing
    PutLe(p, 0, 4);                // headMot
    PutLe(p, 500, 4);              // sAcc mm/s
    PutLe(p, 18000000, 4);         // headAcc 1e-5 deg
    PutLe(p, fix ? 150 : 9999, 2); // pDOP 0.01
    p.append(6, '\0');             // flags3, reserved
    PutLe(p, 0, 4);                // headVeh
    PutLe(p, 0, 2);                // magDec
    PutLe(p, 0, 2);                // magAcc
    return UbxFrame(0x01, 0x07, p);
}

std::string UbxNavSat(const ReceiverModel& model, uint64_t index) {
    const std::vector<SkySatellite> sky = model.Sky();
    std::string p;
    PutLe(p, TimeOfWeekMs(model.EpochUtcCs(index)), 4);
    p.push_back('\x01'); // version
    p.push_back(static_cast<char>(sky.size() > 255 ? 255 : sky.size()));
    p.append(2, '\0');
    for (size_t i = 0; i < sky.size() && i < 255; ++i) {
        const SkySatellite& s = sky[i];
        uint8_t gnssId = 0;
        uint8_t svId = 0;
        UbxSatelliteId(s, &gnssId, &svId);
        p.push_back(static_cast<char>(gnssId));
        p.push_back(static_cast<char>(svId));
        p.push_back(static_cast<char>(s.snrDbHz));
        p.push_back(static_cast<char>(s.elevationDeg));
        PutLeSigned(p, s.azimuthDeg, 2);
        PutLe(p, 0, 2); // prRes
        // qualityInd 7 (locked) or 1 (searching), svUsed, health 1 (healthy).
        const uint32_t flags = (s.snrDbHz > 0 ? 7u : 1u) | (s.used ? 0x08u : 0u) | 0x10u;
        PutLe(p, flags, 4);
    }
    return UbxFrame(0x01, 0x35, p);
}

std::string Rtcm3Message1005(double latDeg, double lonDeg, double heightM) {
    // WGS 84 ellipsoid.
    constexpr double kA = 6378137.0;
    constexpr double kF = 1 / 298.257223563;
    constexpr double kE2 = kF * (2 - kF);
    const double phi = latDeg * M_PI / 180;
    const double lambda = lonDeg * M_PI / 180;
    const double n = kA / std::sqrt(1 - kE2 * std::sin(phi) * std::sin(phi));
    const double x = (n + heightM) * std::cos(phi) * std::cos(lambda);
    const double y = (n + heightM) * std::cos(phi) * std::sin(lambda);
    const double z = (n * (1 - kE2) + heightM) * std::sin(phi);
    Bits b;
    b.Put(1005, 12); // message number
    b.Put(0, 12);    // reference station ID
    b.Put(0, 6);     // ITRF realisation year
    b.Put(1, 1);     // GPS
    b.Put(0, 1);     // GLONASS
    b.Put(0, 1);     // Galileo
    b.Put(0, 1);     // reference station, not a physical one
    b.PutSigned(std::llround(x * 10000), 38);
    b.Put(0, 1); // single receiver oscillator
    b.Put(0, 1); // reserved
    b.PutSigned(std::llround(y * 10000), 38);
    b.Put(0, 2); // quarter cycle indicator
    b.PutSigned(std::llround(z * 10000), 38);
    return Rtcm3Frame(b.Bytes());
}

std::string EpochFrames(const ReceiverModel& model, uint64_t index, const SimOptions& options) {
    std::string out;
    if (options.binaryUbx) {
        out += UbxNavPvt(model, index);
        out += UbxNavSat(model, index);
    }
    if (options.binaryRtcm3) {
        out += Rtcm3Message1005(options.latDeg, options.lonDeg, options.altM + kGeoidSeparationM);
    }
    return out;
}
