#include "ReceiverModel.h"

#include "Geodesy.h"
#include "NmeaChecksum.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <numbers>

namespace {

constexpr double kPi = std::numbers::pi;
constexpr double kDeg = kPi / 180.0;
constexpr double kMetresPerDegree = 111320.0;
constexpr double kKnotsPerKmh = 1.0 / 1.852;
constexpr int kMinSatellites = 8;
constexpr int kMaxSatellites = 14;
// Below this elevation a receiver does not use a satellite for the fix.
constexpr double kMaskDeg = 5.0;
// The geoid separation every GGA reports.
constexpr double kGeoidM = 47.0;

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...) {
    char buffer[256];
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    if (n < 0) {
        return {};
    }
    return std::string(buffer, std::min(static_cast<size_t>(n), sizeof buffer - 1));
}

double Wrap360(double deg) {
    double d = std::fmod(deg, 360.0);
    return d < 0 ? d + 360.0 : d;
}

// ddmm.mmmm (latitude, 2 degree digits) or dddmm.mmmm (longitude, 3), and the hemisphere.
std::string Coordinate(double deg, int degreeDigits, char positive, char negative) {
    long long total = std::llround(std::fabs(deg) * 60.0 * 10000.0); // 1/10000 minutes
    long long degrees = total / 600000;
    long long rest = total % 600000;
    return Format("%0*lld%02lld.%04lld,%c", degreeDigits, degrees, rest / 10000, rest % 10000,
                  deg < 0 ? negative : positive);
}

// The talker of a constellation's own sentences (BeiDou's was BD before NMEA 4.10).
std::string SystemTalker(SimSystem system, int nmeaVersion) {
    switch (system) {
    case SimSystem::Glonass:
        return "GL";
    case SimSystem::Galileo:
        return "GA";
    case SimSystem::BeiDou:
        return nmeaVersion >= 410 ? "GB" : "BD";
    default:
        return "GP";
    }
}

// The satellite's number in GSA and GSV. NMEA 4.0 has no system ID, so Galileo and BeiDou take
// the ranges 301-336 and 401-437 that receivers use to keep them apart in a GN GSA.
int NmeaNumber(SimSystem system, int prn, int nmeaVersion) {
    if (nmeaVersion < 410 && system == SimSystem::Galileo) {
        return 300 + prn;
    }
    if (nmeaVersion < 410 && system == SimSystem::BeiDou) {
        return 400 + prn;
    }
    return prn;
}

uint64_t Mix(uint64_t a, uint64_t b) {
    SimRandom r(a ^ (b * 0x9E3779B97F4A7C15ull));
    return r.Next();
}

} // namespace

uint64_t SimRandom::Next() {
    uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

double SimRandom::Uniform(double lo, double hi) {
    double unit = static_cast<double>(Next() >> 11) * (1.0 / 9007199254740992.0);
    return lo + (hi - lo) * unit;
}

int SimRandom::Below(int n) {
    return n <= 0 ? 0 : static_cast<int>(Next() % static_cast<uint64_t>(n));
}

ReceiverModel::ReceiverModel(const SimOptions& options, uint64_t seed)
    : m_rateHz(options.rateHz > 0 ? options.rateHz : 1.0),
      m_startUtcCs(
          (options.startUtc ? *options.startUtc : static_cast<int64_t>(std::time(nullptr))) * 100),
      m_talker(options.talker), m_systems(options.constellations),
      m_nmeaVersion(options.nmeaVersion),
      m_multi(options.nmeaVersion != 40 || options.constellations.size() != 1 ||
              options.constellations[0] != SimSystem::Gps),
      m_ttff{options.ttffCold, options.ttffWarm, options.ttffHot}, m_seed(seed), m_skyRandom(seed),
      m_ttffRandom(Mix(seed, 1)), m_latDeg(options.latDeg), m_lonDeg(options.lonDeg),
      m_altM(options.altM), m_alt0M(options.altM),
      m_stationary(options.stationary), m_noiseSd{options.noiseHorizontalM,
                                                  options.noiseHorizontalM, options.noiseVerticalM},
      m_noiseTauS(options.noiseTauS), m_noiseRandom(Mix(seed, 0x4E015Eull)),
      m_cn0Mean(options.cn0MeanDbHz), m_cn0Sd(options.cn0SdDbHz) {
    for (double& p : m_phase) {
        p = m_skyRandom.Uniform(0, 2 * kPi);
    }
    m_course0Deg = m_skyRandom.Uniform(0, 360);
    m_originLat = m_latDeg;
    m_originLon = m_lonDeg;
    m_destLat = m_latDeg + 0.03;
    m_destLon = m_lonDeg + 0.04;

    const bool gps =
        std::find(m_systems.begin(), m_systems.end(), SimSystem::Gps) != m_systems.end();
    int count = gps ? kMinSatellites + m_skyRandom.Below(kMaxSatellites - kMinSatellites + 1) : 0;
    for (int i = 0; i < count; ++i) {
        // The first five stay well up for the next hour, so the sky always allows a fix.
        bool high = i < 5;
        m_satellites.push_back(NewSatellite(
            0, high ? m_skyRandom.Uniform(0.2, 0.8) : m_skyRandom.Uniform(0.03, 0.97), high));
    }
    // The other constellations: 6 to 9 satellites each, two of them well up.
    for (const SimSystem system : m_systems) {
        if (system == SimSystem::Gps) {
            continue;
        }
        const int others = 6 + m_skyRandom.Below(4);
        for (int i = 0; i < others; ++i) {
            const bool high = i < 2;
            const double phase =
                high ? m_skyRandom.Uniform(0.2, 0.8) : m_skyRandom.Uniform(0.03, 0.97);
            m_satellites.push_back(NewSatellite(0, phase, high, system));
        }
    }
    if (options.startNoFix) {
        Restart(RestartKind::Cold);
    }
}

ReceiverModel::Satellite ReceiverModel::NewSatellite(double t, double phase, bool high,
                                                     SimSystem system) {
    Satellite s{};
    s.system = system;
    // Numbers in use: GPS 1-32, GLONASS 65-88 (NMEA's numbers), Galileo 1-30, BeiDou 1-35.
    const int count = system == SimSystem::Gps       ? 32
                      : system == SimSystem::Glonass ? 24
                      : system == SimSystem::Galileo ? 30
                                                     : 35;
    const int first = system == SimSystem::Glonass ? 65 : 1;
    for (;;) {
        s.prn = first + m_skyRandom.Below(count);
        bool taken = false;
        for (const Satellite& other : m_satellites) {
            taken = taken || (other.system == system && other.prn == s.prn);
        }
        if (!taken) {
            break;
        }
    }
    // A GPS pass lasts some hours: the sky plot shows slow arcs.
    s.passS = m_skyRandom.Uniform(4 * 3600.0, 6 * 3600.0);
    s.riseS = t - phase * s.passS;
    s.azRiseDeg = m_skyRandom.Uniform(0, 360);
    double sweep = m_skyRandom.Uniform(100, 200);
    s.azSpanDeg = m_skyRandom.Below(2) ? sweep : -sweep;
    s.maxElDeg = high ? m_skyRandom.Uniform(35, 85) : m_skyRandom.Uniform(10, 85);
    s.snrBias = m_skyRandom.Uniform(-3, 3);
    s.acquireAtS = t;
    s.hidden = false;
    if (!m_hasFix) {
        // Rising during an acquisition: found like the others, around the fix.
        s.acquireAtS = t + m_skyRandom.Uniform(0.3, 1.5) * std::max(0.0, m_fixDueS - t);
        s.hidden = m_coldAcquisition;
    }
    return s;
}

double ReceiverModel::ElevationAt(const Satellite& s, double t) const {
    double phase = (t - s.riseS) / s.passS;
    return s.maxElDeg * std::sin(kPi * std::clamp(phase, 0.0, 1.0));
}

double ReceiverModel::AzimuthAt(const Satellite& s, double t) const {
    return Wrap360(s.azRiseDeg + s.azSpanDeg * (t - s.riseS) / s.passS);
}

double ReceiverModel::EpochTimeS(uint64_t index) const {
    return static_cast<double>(index) / m_rateHz;
}

double ReceiverModel::Restart(RestartKind kind) {
    const TtffRange& range = m_ttff[static_cast<int>(kind)];
    m_pendingTtffS = m_ttffRandom.Uniform(range.minS, range.maxS);
    if (range.maxS <= range.minS) {
        m_pendingTtffS = range.minS;
    }
    m_pendingKind = kind;
    m_restartPending = true;
    return m_pendingTtffS;
}

void ReceiverModel::ApplyRestart(double t) {
    m_restartPending = false;
    m_hasFix = false;
    m_fixDueS = t + m_pendingTtffS;
    m_coldAcquisition = m_pendingKind == RestartKind::Cold;
    if (m_pendingKind == RestartKind::Hot) {
        return; // ephemeris and signals kept: only the navigation solution starts again
    }
    // The four highest are found by the fix at the latest; the rest come around it.
    std::vector<size_t> order(m_satellites.size());
    for (size_t i = 0; i < order.size(); ++i) {
        order[i] = i;
    }
    std::sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        return ElevationAt(m_satellites[a], t) > ElevationAt(m_satellites[b], t);
    });
    for (size_t rank = 0; rank < order.size(); ++rank) {
        Satellite& s = m_satellites[order[rank]];
        double share = rank < 4 ? m_skyRandom.Uniform(0.3, 0.9) : m_skyRandom.Uniform(0.3, 1.5);
        s.acquireAtS = t + share * m_pendingTtffS;
        s.hidden = m_coldAcquisition;
    }
}

void ReceiverModel::ReplaceSetSatellites(double t) {
    for (size_t i = 0; i < m_satellites.size();) {
        if ((t - m_satellites[i].riseS) < m_satellites[i].passS) {
            ++i;
            continue;
        }
        const SimSystem system = m_satellites[i].system;
        m_satellites.erase(m_satellites.begin() + static_cast<std::ptrdiff_t>(i));
        if (system != SimSystem::Gps) {
            m_satellites.push_back(NewSatellite(t, 0, false, system));
            continue;
        }
        // Usually one rises as one sets; now and then the count drifts within 8 to 14.
        const int count = static_cast<int>(
            std::count_if(m_satellites.begin(), m_satellites.end(),
                          [](const Satellite& s) { return s.system == SimSystem::Gps; }));
        int rising = 1;
        int roll = m_skyRandom.Below(4);
        if (roll == 0 && count >= kMinSatellites) {
            rising = 0;
        } else if (roll == 1 && count + 2 <= kMaxSatellites) {
            rising = 2;
        }
        rising = std::max(rising, kMinSatellites - count);
        for (int k = 0; k < rising; ++k) {
            m_satellites.push_back(NewSatellite(t, 0, false));
        }
    }
}

double ReceiverModel::Gaussian(SimRandom& random) {
    // Box-Muller; 1 - u keeps the logarithm away from 0.
    const double u = 1.0 - random.Uniform(0, 1);
    const double v = random.Uniform(0, 1);
    return std::sqrt(-2.0 * std::log(u)) * std::cos(2 * kPi * v);
}

void ReceiverModel::UpdateNoise(double t) {
    m_reportLat = m_latDeg;
    m_reportLon = m_lonDeg;
    m_reportAlt = m_altM;
    if (m_noiseSd[0] <= 0 && m_noiseSd[2] <= 0) {
        return;
    }
    // First-order Gauss-Markov: x' = a x + sqrt(1 - a^2) sd w keeps the variance sd^2 whatever
    // the step, so skipped epochs and any rate give the same statistics.
    const double a =
        m_noiseT < 0 || m_noiseTauS <= 0 ? 0.0 : std::exp(-(t - m_noiseT) / m_noiseTauS);
    const double b = std::sqrt(1.0 - a * a);
    for (int k = 0; k < 3; ++k) {
        m_noise[k] = a * m_noise[k] + b * m_noiseSd[k] * Gaussian(m_noiseRandom);
    }
    m_noiseT = t;
    const Geodetic truth{m_latDeg, m_lonDeg, m_altM + kGeoidM};
    const Geodetic reported = FromEnu(truth, Enu{m_noise[0], m_noise[1], m_noise[2]});
    m_reportLat = reported.latDeg;
    m_reportLon = reported.lonDeg;
    m_reportAlt = reported.heightM - kGeoidM;
}

void ReceiverModel::Advance(double t) {
    if (m_stationary) {
        m_speedKnots = 0;
        m_courseDeg = 0;
        m_t = t;
        m_started = true;
        return;
    }
    auto speedKmhAt = [&](double at) {
        return std::max(0.0, 28.0 + 22.0 * std::sin(2 * kPi * at / 240.0 + m_phase[0]));
    };
    auto courseAt = [&](double at) {
        return Wrap360(m_course0Deg + 70.0 * std::sin(2 * kPi * at / 600.0 + m_phase[1]) +
                       0.03 * at);
    };
    // Integrate the motion in steps of at most a second so skipped epochs stay smooth.
    for (double from = m_started ? m_t : t; from < t;) {
        double step = std::min(1.0, t - from);
        double metres = speedKmhAt(from) / 3.6 * step;
        double course = courseAt(from);
        m_latDeg += metres * std::cos(course * kDeg) / kMetresPerDegree;
        m_lonDeg +=
            metres * std::sin(course * kDeg) / (kMetresPerDegree * std::cos(m_latDeg * kDeg));
        if (m_lonDeg > 180) {
            m_lonDeg -= 360;
        } else if (m_lonDeg < -180) {
            m_lonDeg += 360;
        }
        m_latDeg = std::clamp(m_latDeg, -89.9, 89.9);
        from += step;
    }
    m_speedKnots = speedKmhAt(t) * kKnotsPerKmh;
    m_courseDeg = courseAt(t);
    m_altM = m_alt0M + 8.0 * std::sin(2 * kPi * t / 300.0 + m_phase[2]);
    m_t = t;
    m_started = true;
}

void ReceiverModel::UpdateSky(double t, uint64_t index) {
    SimRandom jitter(Mix(m_seed, index + 2));
    SimRandom cn0Random(Mix(m_seed ^ 0xC40C40ull, index));
    m_sky.clear();
    std::vector<size_t> tracked;
    for (size_t i = 0; i < m_satellites.size(); ++i) {
        const Satellite& s = m_satellites[i];
        bool isTracked = t >= s.acquireAtS;
        if (s.hidden && !isTracked) {
            continue;
        }
        SkySatellite sky;
        sky.system = s.system;
        sky.prn = s.prn;
        sky.secondSignal = s.system != SimSystem::Glonass && s.prn % 3 == 0;
        double el = ElevationAt(s, t);
        sky.elevationDeg = static_cast<int>(std::lround(el));
        sky.azimuthDeg = static_cast<int>(std::lround(AzimuthAt(s, t))) % 360;
        if (isTracked) {
            double snr = 20.0 + 25.0 * std::sin(el * kDeg) + s.snrBias + jitter.Uniform(-1.5, 1.5);
            sky.snrDbHz = static_cast<int>(std::lround(std::clamp(snr, 12.0, 50.0)));
            if (m_cn0Mean) {
                snr = *m_cn0Mean + m_cn0Sd * Gaussian(cn0Random);
                sky.snrDbHz = static_cast<int>(std::lround(std::clamp(snr, 1.0, 99.0)));
            }
            tracked.push_back(m_sky.size());
        }
        m_sky.push_back(sky);
    }
    if (!m_hasFix) {
        return;
    }
    // Used: tracked above the mask, highest first, twelve at most; at least four for a 3D fix.
    // Per constellation, as each has its own GSA.
    for (const SimSystem system : m_systems) {
        std::vector<size_t> own;
        for (size_t i : tracked) {
            if (m_sky[i].system == system) {
                own.push_back(i);
            }
        }
        std::sort(own.begin(), own.end(), [&](size_t a, size_t b) {
            return m_sky[a].elevationDeg > m_sky[b].elevationDeg;
        });
        int used = 0;
        for (size_t i : own) {
            if (used < 12 && (m_sky[i].elevationDeg >= kMaskDeg || used < 4)) {
                m_sky[i].used = true;
                ++used;
            }
        }
    }
}

std::vector<EpochSentence> ReceiverModel::Epoch(uint64_t index) {
    double t = EpochTimeS(index);
    Advance(t);
    UpdateNoise(t);
    ReplaceSetSatellites(t);
    if (m_restartPending) {
        ApplyRestart(t);
        m_lossS = t;
    }
    // The loss shows for at least one epoch, even with a TTFF of 0.
    if (!m_hasFix && t > m_lossS && t + 1e-9 >= m_fixDueS) {
        m_hasFix = true;
        m_coldAcquisition = false;
        std::vector<Satellite*> byElevation;
        for (Satellite& s : m_satellites) {
            byElevation.push_back(&s);
        }
        std::sort(byElevation.begin(), byElevation.end(),
                  [&](const Satellite* a, const Satellite* b) {
                      return ElevationAt(*a, t) > ElevationAt(*b, t);
                  });
        for (size_t i = 0; i < byElevation.size() && i < 4; ++i) {
            byElevation[i]->acquireAtS = std::min(byElevation[i]->acquireAtS, t);
        }
    }
    UpdateSky(t, index);
    return Sentences(t, index);
}

std::vector<EpochSentence> ReceiverModel::Sentences(double t, uint64_t index) {
    int64_t cs = m_startUtcCs + static_cast<int64_t>(std::llround(t * 100.0));
    time_t seconds = static_cast<time_t>(cs / 100);
    tm utc{};
    gmtime_r(&seconds, &utc);
    const std::string time = Format("%02d%02d%02d.%02d", utc.tm_hour, utc.tm_min, utc.tm_sec,
                                    static_cast<int>(cs % 100));
    const std::string date = Format("%02d%02d%02d", utc.tm_mday, utc.tm_mon + 1, utc.tm_year % 100);
    const std::string lat = Coordinate(m_reportLat, 2, 'N', 'S');
    const std::string lon = Coordinate(m_reportLon, 3, 'E', 'W');
    // A receiver of one constellation names it; of several, GN.
    const std::string& talker = !m_multi               ? m_talker
                                : m_systems.size() > 1 ? std::string("GN")
                                                       : SystemTalker(m_systems[0], m_nmeaVersion);

    std::vector<int> used;
    for (const SkySatellite& s : m_sky) {
        if (s.used) {
            used.push_back(s.prn);
        }
    }
    std::sort(used.begin(), used.end());
    SimRandom jitter(Mix(m_seed ^ 0x5A5A5A5Aull, index));
    double hdop =
        0.6 + 4.0 / static_cast<double>(std::max<size_t>(used.size(), 1)) + jitter.Uniform(0, 0.2);
    double vdop = hdop * 1.4 + 0.2;
    double pdop = std::sqrt(hdop * hdop + vdop * vdop);

    std::vector<EpochSentence> out;
    auto add = [&](const std::string& body, SentenceClass kind, int rank) {
        out.push_back(EpochSentence{NmeaSentence(body), kind, rank});
    };

    // $GPGGA,092750.00,4807.0380,N,01131.0000,E,1,08,0.9,545.4,M,47.0,M,,*hh
    if (m_hasFix) {
        add(talker + "GGA," + time + "," + lat + "," + lon +
                Format(",1,%02zu,%.1f,%.1f,M,%.1f,M,,", used.size(), hdop, m_reportAlt, kGeoidM),
            SentenceClass::Required, 0);
    } else {
        add(talker + "GGA," + time + ",,,,,0,00,,,M,,M,,", SentenceClass::Required, 0);
    }
    // $GPGLL,4807.0380,N,01131.0000,E,092750.00,A,A*hh
    if (index % 3 == 0) {
        add(talker + "GLL," +
                (m_hasFix ? lat + "," + lon + "," + time + ",A,A" : ",,,," + time + ",V,N"),
            SentenceClass::Optional, 0);
    }
    if (m_multi) {
        AddGnssSatellites([&](const std::string& body, SentenceClass kind) { add(body, kind, 0); },
                          pdop, hdop, vdop);
    }
    // $GPGSA,A,3,04,05,09,12,,,,,,,,,2.5,1.3,2.1*hh
    if (!m_multi) {
        std::string gsa = talker + "GSA,A," + (m_hasFix ? "3" : "1");
        for (size_t i = 0; i < 12; ++i) {
            gsa += i < used.size() ? Format(",%02d", used[i]) : std::string(",");
        }
        gsa += m_hasFix ? Format(",%.1f,%.1f,%.1f", pdop, hdop, vdop) : std::string(",,,");
        add(gsa, SentenceClass::Required, 0);
        // $GPGSV,3,1,11,03,03,111,00,04,15,270,00,06,01,010,00,13,06,292,00*hh (GSV always names
        // GPS: the satellites are GPS ones whatever the talker of the solution).
        size_t messages = std::max<size_t>(1, (m_sky.size() + 3) / 4);
        for (size_t k = 0; k < messages; ++k) {
            std::string gsv = Format("GPGSV,%zu,%zu,%02zu", messages, k + 1, m_sky.size());
            for (size_t i = k * 4; i < m_sky.size() && i < k * 4 + 4; ++i) {
                const SkySatellite& s = m_sky[i];
                gsv += Format(",%02d,%02d,%03d,", s.prn, s.elevationDeg, s.azimuthDeg);
                if (s.snrDbHz > 0) {
                    gsv += Format("%02d", s.snrDbHz);
                }
            }
            add(gsv, SentenceClass::Gsv, 0);
        }
    }
    // $GPRMC,092750.00,A,4807.0380,N,01131.0000,E,12.3,84.4,230394,3.1,E,A*hh
    if (m_hasFix) {
        add(talker + "RMC," + time + ",A," + lat + "," + lon +
                Format(",%.1f,%.1f,", m_speedKnots, m_courseDeg) + date + ",3.1,E,A",
            SentenceClass::Required, 0);
    } else {
        add(talker + "RMC," + time + ",V,,,,,,," + date + ",,,N", SentenceClass::Required, 0);
    }
    // $GPVTG,84.4,T,,M,12.3,N,22.8,K,A*hh
    if (index % 2 == 0) {
        add(talker + "VTG," +
                (m_hasFix ? Format("%.1f,T,,M,%.1f,N,%.1f,K,A", m_courseDeg, m_speedKnots,
                                   m_speedKnots * 1.852)
                          : std::string(",T,,M,,N,,K,N")),
            SentenceClass::Optional, 1);
    }
    // $GPRMB,A,0.66,L,START,GOAL,4808.8380,N,01133.4000,E,2.1,32.4,5.3,V,A*hh
    if (index % 5 == 0) {
        if (m_hasFix) {
            double cosLat = std::cos(m_latDeg * kDeg);
            double north = m_destLat - m_latDeg;
            double east = (m_destLon - m_lonDeg) * cosLat;
            double rangeNm = std::hypot(north, east) * 60.0;
            double bearing = Wrap360(std::atan2(east, north) / kDeg);
            double legBearing =
                std::atan2((m_destLon - m_originLon) * cosLat, m_destLat - m_originLat);
            double oNorth = m_latDeg - m_originLat;
            double oEast = (m_lonDeg - m_originLon) * cosLat;
            double crossNm =
                std::hypot(oNorth, oEast) * 60.0 * std::sin(std::atan2(oEast, oNorth) - legBearing);
            double closing = m_speedKnots * std::cos((bearing - m_courseDeg) * kDeg);
            add(talker +
                    Format("RMB,A,%.2f,%c,START,GOAL,", std::fabs(crossNm),
                           crossNm > 0 ? 'L' : 'R') +
                    Coordinate(m_destLat, 2, 'N', 'S') + "," + Coordinate(m_destLon, 3, 'E', 'W') +
                    Format(",%.1f,%.1f,%.1f,%c,A", std::min(rangeNm, 999.9), bearing, closing,
                           rangeNm < 0.05 ? 'A' : 'V'),
                SentenceClass::Optional, 2);
        } else {
            add(talker + "RMB,V,,,START,GOAL,,,,,,,,V,N", SentenceClass::Optional, 2);
        }
    }
    // $GPZDA,092750.00,23,03,1994,00,00*hh
    if (index % 10 == 0) {
        add(talker + "ZDA," + time +
                Format(",%02d,%02d,%04d,00,00", utc.tm_mday, utc.tm_mon + 1, utc.tm_year + 1900),
            SentenceClass::Optional, 3);
    }
    return out;
}

// $GNGSA,A,3,05,12,29,,,,,,,,,,1.9,1.1,1.5,1*hh   (one per constellation; 4.10: system ID)
// $GAGSV,2,1,07,03,44,149,40,05,42,071,39,08,08,190,,09,06,034,,7*hh   (4.10: signal ID)
void ReceiverModel::AddGnssSatellites(
    const std::function<void(const std::string&, SentenceClass)>& add, double pdop, double hdop,
    double vdop) const {
    const bool ids = m_nmeaVersion >= 410;
    const std::string gsaTalker = m_systems.size() > 1 ? "GN" : SystemTalker(m_systems[0], 0);
    for (const SimSystem system : m_systems) {
        std::vector<int> used;
        for (const SkySatellite& s : m_sky) {
            if (s.system == system && s.used) {
                used.push_back(NmeaNumber(system, s.prn, m_nmeaVersion));
            }
        }
        std::sort(used.begin(), used.end());
        std::string gsa = gsaTalker + "GSA,A," + (m_hasFix ? "3" : "1");
        for (size_t i = 0; i < 12; ++i) {
            gsa += i < used.size() ? Format(",%02d", used[i]) : std::string(",");
        }
        gsa += m_hasFix ? Format(",%.1f,%.1f,%.1f", pdop, hdop, vdop) : std::string(",,,");
        if (ids) {
            gsa += Format(",%d",
                          static_cast<int>(system) + 1); // 1 GPS, 2 GLONASS, 3 Galileo, 4 BeiDou
        }
        add(gsa, SentenceClass::Required);
    }
    // Signal IDs of NMEA 4.10: the first signal of every satellite, then a second one
    // (GPS L5, Galileo E5a, BeiDou B2a) of the satellites that send it.
    struct Signal {
        int first;
        int second; // 0: none
    };
    for (const SimSystem system : m_systems) {
        const Signal signal = system == SimSystem::Gps       ? Signal{1, 8}
                              : system == SimSystem::Glonass ? Signal{1, 0}
                              : system == SimSystem::Galileo ? Signal{7, 1}
                                                             : Signal{1, 5};
        for (int pass = 0; pass < (ids && signal.second != 0 ? 2 : 1); ++pass) {
            std::vector<SkySatellite> list;
            for (const SkySatellite& s : m_sky) {
                if (s.system == system && (pass == 0 || s.secondSignal)) {
                    list.push_back(s);
                }
            }
            const size_t messages = std::max<size_t>(1, (list.size() + 3) / 4);
            for (size_t k = 0; k < messages; ++k) {
                std::string gsv = SystemTalker(system, m_nmeaVersion) +
                                  Format("GSV,%zu,%zu,%02zu", messages, k + 1, list.size());
                for (size_t i = k * 4; i < list.size() && i < k * 4 + 4; ++i) {
                    const SkySatellite& s = list[i];
                    gsv += Format(",%02d,%02d,%03d,", NmeaNumber(system, s.prn, m_nmeaVersion),
                                  s.elevationDeg, s.azimuthDeg);
                    // The second signal comes in a few dB weaker.
                    const int snr = pass == 0 ? s.snrDbHz : std::max(0, s.snrDbHz - 4);
                    if (snr > 0) {
                        gsv += Format("%02d", snr);
                    }
                }
                if (ids) {
                    gsv += Format(",%X", pass == 0 ? signal.first : signal.second);
                }
                add(gsv, SentenceClass::Gsv);
            }
        }
    }
}

std::string FitEpoch(const std::vector<EpochSentence>& sentences, size_t budget, size_t* gsvCursor,
                     bool* trimmed) {
    std::vector<bool> keep(sentences.size(), true);
    size_t total = 0;
    std::vector<size_t> optional;
    std::vector<size_t> gsv;
    for (size_t i = 0; i < sentences.size(); ++i) {
        total += sentences[i].text.size();
        if (sentences[i].kind == SentenceClass::Optional) {
            optional.push_back(i);
        } else if (sentences[i].kind == SentenceClass::Gsv) {
            gsv.push_back(i);
        }
    }
    *trimmed = false;
    std::stable_sort(optional.begin(), optional.end(), [&](size_t a, size_t b) {
        return sentences[a].dropRank < sentences[b].dropRank;
    });
    for (size_t i : optional) {
        if (total <= budget) {
            break;
        }
        keep[i] = false;
        total -= sentences[i].text.size();
        *trimmed = true;
    }
    if (total > budget && !gsv.empty()) {
        size_t room = budget;
        for (size_t i = 0; i < sentences.size(); ++i) {
            if (keep[i] && sentences[i].kind != SentenceClass::Gsv) {
                room = room > sentences[i].text.size() ? room - sentences[i].text.size() : 0;
            }
        }
        for (size_t i : gsv) {
            keep[i] = false;
        }
        size_t start = *gsvCursor % gsv.size();
        size_t taken = 0;
        while (taken < gsv.size()) {
            const std::string& text = sentences[gsv[(start + taken) % gsv.size()]].text;
            if (text.size() > room) {
                break;
            }
            room -= text.size();
            keep[gsv[(start + taken) % gsv.size()]] = true;
            ++taken;
        }
        *gsvCursor = (start + taken) % gsv.size();
        *trimmed = true;
    } else {
        *gsvCursor = 0;
    }
    std::string out;
    for (size_t i = 0; i < sentences.size(); ++i) {
        if (keep[i]) {
            out += sentences[i].text;
        }
    }
    return out;
}
