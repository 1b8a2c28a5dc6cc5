#include "Geodesy.h"

#include <cmath>
#include <numbers>

namespace {

constexpr double kA = 6378137.0;           // semi-major axis
constexpr double kF = 1.0 / 298.257223563; // flattening
constexpr double kE2 = kF * (2.0 - kF);    // first eccentricity squared
constexpr double kRad = std::numbers::pi / 180.0;

// Radius of curvature in the prime vertical.
double PrimeVerticalM(double sinLat) {
    return kA / std::sqrt(1.0 - kE2 * sinLat * sinLat);
}

// The rows of the rotation from ECEF offsets to east/north/up at a latitude and longitude.
struct Frame {
    double sLat, cLat, sLon, cLon;
};

Frame FrameAt(const Geodetic& g) {
    return Frame{std::sin(g.latDeg * kRad), std::cos(g.latDeg * kRad), std::sin(g.lonDeg * kRad),
                 std::cos(g.lonDeg * kRad)};
}

} // namespace

Ecef GeodeticToEcef(const Geodetic& g) {
    const Frame f = FrameAt(g);
    const double n = PrimeVerticalM(f.sLat);
    return Ecef{(n + g.heightM) * f.cLat * f.cLon, (n + g.heightM) * f.cLat * f.sLon,
                (n * (1.0 - kE2) + g.heightM) * f.sLat};
}

Geodetic EcefToGeodetic(const Ecef& e) {
    const double p = std::hypot(e.x, e.y);
    double lat = std::atan2(e.z, p * (1.0 - kE2));
    // Fixed-point iteration on the latitude; the height formula below stays exact at the poles,
    // where p / cos(lat) would not.
    for (int i = 0; i < 10; ++i) {
        const double s = std::sin(lat);
        const double next = std::atan2(e.z + kE2 * PrimeVerticalM(s) * s, p);
        const bool settled = std::fabs(next - lat) < 1e-15;
        lat = next;
        if (settled) {
            break;
        }
    }
    const double s = std::sin(lat);
    const double c = std::cos(lat);
    const double height = p * c + e.z * s - kA * std::sqrt(1.0 - kE2 * s * s);
    return Geodetic{lat / kRad, std::atan2(e.y, e.x) / kRad, height};
}

CEnuFrame::CEnuFrame(const Geodetic& reference) : m_origin(GeodeticToEcef(reference)) {
    const Frame f = FrameAt(reference);
    m_sLat = f.sLat;
    m_cLat = f.cLat;
    m_sLon = f.sLon;
    m_cLon = f.cLon;
}

Enu CEnuFrame::Of(const Geodetic& point) const {
    const Ecef p = GeodeticToEcef(point);
    const double dx = p.x - m_origin.x, dy = p.y - m_origin.y, dz = p.z - m_origin.z;
    return Enu{-m_sLon * dx + m_cLon * dy,
               -m_sLat * m_cLon * dx - m_sLat * m_sLon * dy + m_cLat * dz,
               m_cLat * m_cLon * dx + m_cLat * m_sLon * dy + m_sLat * dz};
}

Enu EnuOf(const Geodetic& reference, const Geodetic& point) {
    return CEnuFrame(reference).Of(point);
}

Geodetic FromEnu(const Geodetic& reference, const Enu& o) {
    const Ecef r = GeodeticToEcef(reference);
    const Frame f = FrameAt(reference);
    // The transpose of EnuOf's rotation.
    const double dx = -f.sLon * o.east - f.sLat * f.cLon * o.north + f.cLat * f.cLon * o.up;
    const double dy = f.cLon * o.east - f.sLat * f.sLon * o.north + f.cLat * f.sLon * o.up;
    const double dz = f.cLat * o.north + f.sLat * o.up;
    return EcefToGeodetic(Ecef{r.x + dx, r.y + dy, r.z + dz});
}
