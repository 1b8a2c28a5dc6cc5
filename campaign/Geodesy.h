#pragma once
// WGS-84 geodesy for position errors: geodetic coordinates to Earth-centred, Earth-fixed (ECEF)
// and back, and local east/north/up offsets about a reference. A flat-earth scaling of degrees
// is off by centimetres over a kilometre and ignores that the ellipsoid's surface falls away
// (1 km north is 7.8 cm below the reference's horizon); going through ECEF is exact.
//
// Heights are ellipsoidal: a GGA's altitude is above the geoid (mean sea level), so its geoid
// separation is added first (EllipsoidalHeightM).
//
// Threads: pure functions; any thread may call them.

struct Geodetic {
    double latDeg = 0;
    double lonDeg = 0;
    double heightM = 0; // above the WGS-84 ellipsoid
};

struct Ecef {
    double x = 0;
    double y = 0;
    double z = 0;
};

struct Enu {
    double east = 0;
    double north = 0;
    double up = 0;
};

Ecef GeodeticToEcef(const Geodetic& g);
// Iterative (converges to well below a millimetre in a few steps, poles included).
Geodetic EcefToGeodetic(const Ecef& e);
// Offsets of point from reference in reference's local east/north/up frame.
Enu EnuOf(const Geodetic& reference, const Geodetic& point);

// The same for many points about one reference: its ECEF position and rotation made once.
class CEnuFrame {
public:
    explicit CEnuFrame(const Geodetic& reference);
    Enu Of(const Geodetic& point) const;

private:
    Ecef m_origin;
    double m_sLat, m_cLat, m_sLon, m_cLon;
};
// The point at the given offsets from reference (the inverse of EnuOf).
Geodetic FromEnu(const Geodetic& reference, const Enu& offset);
// Above the ellipsoid from a GGA altitude (above mean sea level) and its geoid separation.
inline double EllipsoidalHeightM(double altitudeMslM, double geoidSeparationM) {
    return altitudeMslM + geoidSeparationM;
}
