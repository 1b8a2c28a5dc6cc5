// Static runs without a receiver: the WGS-84 geodesy against published and hand-derived values,
// the statistics against hand-worked sets, and a session fed made-up epochs (which epochs count).
#include "Geodesy.h"
#include "NmeaChecksum.h"
#include "StaticSession.h"
#include "StaticStats.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

namespace {

constexpr double kA = 6378137.0;
constexpr double kF = 1.0 / 298.257223563;
constexpr double kE2 = kF * (2 - kF);
constexpr double kRad = std::numbers::pi / 180;

// Radii of curvature, written out here from the ellipsoid's definition.
double MeridianM(double latDeg) {
    const double s = std::sin(latDeg * kRad);
    return kA * (1 - kE2) / std::pow(1 - kE2 * s * s, 1.5);
}
double PrimeVerticalM(double latDeg) {
    const double s = std::sin(latDeg * kRad);
    return kA / std::sqrt(1 - kE2 * s * s);
}

TEST(Geodesy, KnownEcefPairsBothWays) {
    struct Row {
        const char* label;
        Geodetic g;
        Ecef e;
    } rows[] = {
        {"equator, prime meridian", {0, 0, 0}, {6378137.0, 0, 0}},
        {"equator, 90 E, 100 m up", {0, 90, 100}, {0, 6378237.0, 0}},
        // The semi-minor axis a (1 - f).
        {"north pole", {90, 0, 0}, {0, 0, 6356752.314245}},
        {"south pole, 1 km down", {-90, 0, -1000}, {0, 0, -6355752.314245}},
        // Published example: 37.7749 N, 122.4194 W, 16 m (brahe documentation).
        {"San Francisco", {37.7749, -122.4194, 16.0}, {-2706181.627, -4261070.165, 3885735.291}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.label);
        const Ecef e = GeodeticToEcef(r.g);
        EXPECT_NEAR(e.x, r.e.x, 1e-3);
        EXPECT_NEAR(e.y, r.e.y, 1e-3);
        EXPECT_NEAR(e.z, r.e.z, 1e-3);
        const Geodetic back = EcefToGeodetic(r.e);
        // The published coordinates are rounded to the millimetre: 1e-8 degrees.
        EXPECT_NEAR(back.latDeg, r.g.latDeg, 1e-8);
        if (std::fabs(r.g.latDeg) < 90) {
            EXPECT_NEAR(back.lonDeg, r.g.lonDeg, 1e-8);
        }
        EXPECT_NEAR(back.heightM, r.g.heightM, 1e-3);
    }
}

TEST(Geodesy, OneKilometreAlongTheEllipsoid) {
    // 1 km along the meridian sinks d^2 / 2M below the tangent plane; 1 km along the parallel
    // d^2 / 2N, and the parallel bends d^2 tan(lat) / 2N towards the pole.
    struct Row {
        const char* label;
        double latDeg;
        bool north; // else east
    } rows[] = {
        {"north at the equator", 0, true}, {"north at 45", 45, true}, {"north at 60 S", -60, true},
        {"east at 45", 45, false},         {"east at 60", 60, false},
    };
    const double d = 1000;
    for (const Row& r : rows) {
        SCOPED_TRACE(r.label);
        const Geodetic origin{r.latDeg, 11.5, 0}; // on the ellipsoid
        Geodetic point = origin;
        Enu want;
        if (r.north) {
            point.latDeg += d / MeridianM(r.latDeg + d / MeridianM(r.latDeg) / kRad / 2) / kRad;
            want = {0, d, -d * d / (2 * MeridianM(r.latDeg))};
        } else {
            const double n = PrimeVerticalM(r.latDeg);
            point.lonDeg += d / (n * std::cos(r.latDeg * kRad)) / kRad;
            want = {d, d * d * std::tan(r.latDeg * kRad) / (2 * n), -d * d / (2 * n)};
        }
        const Enu got = EnuOf(origin, point);
        EXPECT_NEAR(got.east, want.east, 1e-3);
        EXPECT_NEAR(got.north, want.north, 1e-3);
        EXPECT_NEAR(got.up, want.up, 1e-3);
        EXPECT_NEAR(got.up, -0.078, 1.5e-3); // the curvature's drop, whatever the latitude
        // And back.
        const Geodetic again = FromEnu(origin, got);
        EXPECT_NEAR((again.latDeg - point.latDeg) * MeridianM(r.latDeg) * kRad, 0, 1e-4);
        EXPECT_NEAR(again.heightM, point.heightM, 1e-4);
    }
}

TEST(StaticStats, HandWorkedSets) {
    struct Row {
        const char* label;
        std::vector<Enu> offsets;
        double cep50, cep95, drms2, vertical95, eastMean, eastSd, upMean;
    } rows[] = {
        // Horizontal 5 0 10 5 1 -> sorted 0 1 5 5 10: median 5; p95 at rank 3.8: 5 + 0.8 x 5.
        // |up| 0 2 1 0 3 -> p95 2 + 0.8 x 1. East -0.4 mean, variance 45.2 / 4; north variance
        // 47.2 / 4: 2DRMS = 2 sqrt(23.1).
        {"five epochs",
         {{3, 4, 0}, {0, 0, 2}, {-6, 8, -1}, {0, 5, 0}, {1, 0, -3}},
         5,
         9,
         2 * std::sqrt(23.1),
         2.8,
         -0.4,
         std::sqrt(11.3),
         -0.4},
        {"one epoch", {{0.3, -0.4, 1.5}}, 0.5, 0.5, 0, 1.5, 0.3, 0, 1.5},
        // Even count: the median is the mean of the middle two.
        {"four epochs",
         {{1, 0, 0}, {0, 2, 0}, {-3, 0, 0}, {0, -4, -4}},
         2.5,
         3.85,
         0,
         3.4,
         -0.5,
         std::sqrt(3.0),
         -1},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.label);
        CErrorStats s;
        for (const Enu& o : r.offsets) {
            s.Add(o);
        }
        EXPECT_NEAR(s.Cep50M(), r.cep50, 1e-9);
        EXPECT_NEAR(s.Cep95M(), r.cep95, 1e-9);
        if (r.drms2 > 0) {
            EXPECT_NEAR(s.Drms2M(), r.drms2, 1e-9);
        }
        EXPECT_NEAR(s.Vertical95M(), r.vertical95, 1e-9);
        EXPECT_NEAR(s.East().mean, r.eastMean, 1e-9);
        EXPECT_NEAR(s.East().stddev, r.eastSd, 1e-9);
        EXPECT_NEAR(s.Up().mean, r.upMean, 1e-9);
    }
}

TEST(StaticStats, SketchQuantilesStayCloseBeyondTheExactValues) {
    // 1 mm .. 10 m in 1 mm steps (10,000 values: past the exact store), and C/N0 in quarters.
    struct Row {
        const char* label;
        double p;
        double want;
        double relative;
    } rows[] = {
        {"median", 0.5, 5.0005, 5e-4},
        {"p95", 0.95, 9.50005, 5e-4},
        {"p0", 0, 0.001, 5e-4},
        {"p100", 1, 10.0, 1e-12},
    };
    CQuantileSketch sketch;
    for (int i = 1; i <= 10000; ++i) {
        sketch.Add(i * 0.001);
    }
    for (const Row& r : rows) {
        SCOPED_TRACE(r.label);
        EXPECT_NEAR(sketch.Quantile(r.p), r.want, r.want * r.relative);
    }
    CDistribution cn0;
    for (double v : {45.0, 40.0, 47.25, 42.5}) {
        cn0.Add(v);
    }
    const Distribution d = *cn0.Result();
    EXPECT_EQ(d.count, 4u);
    EXPECT_DOUBLE_EQ(d.min, 40);
    EXPECT_DOUBLE_EQ(d.median, 43.75);
    EXPECT_DOUBLE_EQ(d.mean, 43.6875);
    EXPECT_DOUBLE_EQ(d.max, 47.25);
}

// Epochs at 10 Hz: GGA, GSA and a GSV of four satellites, as the receive path cuts them.
class StaticFeeder {
public:
    void Epoch(CStaticSession& run, uint32_t atMs, int fixMode, double northM) {
        const int cs = static_cast<int>(atMs / 10);
        char text[160];
        // 0.0001 minute of latitude is 0.1853 m here; northM is rounded to it.
        const double minutes = 7.0380 + northM / 1853.2;
        std::snprintf(text, sizeof text,
                      "GPGGA,1200%02d.%02d,48%07.4f,N,01131.0000,E,%d,07,0.9,545.4,M,47.0,M,,",
                      cs / 100 % 60, cs % 100, minutes, fixMode == 1 ? 0 : 1);
        Line(run, NmeaSentence(text), atMs);
        Line(
            run,
            NmeaSentence("GPGSA,A," + std::to_string(fixMode) + ",04,05,09,12,,,,,,,,,2.5,1.3,2.1"),
            atMs);
        Line(run, NmeaSentence("GPGSV,1,1,04,04,40,100,40,05,40,200,41,09,40,300,42,12,40,050,43"),
             atMs);
    }

private:
    void Line(CStaticSession& run, const std::string& text, uint32_t atMs) {
        m_path.Feed(text.data(), text.size(), atMs, [&](const ReceivedLine& line) {
            run.Line(line, StaticSampleOf(m_parser, line), {atMs, 1796558400000});
        });
    }
    CNmeaParser m_parser;
    CReceivePath m_path{m_parser};
};

TEST(StaticSession, CountsFromTheFirst3dFixAndTheSkip) {
    struct Row {
        const char* label;
        uint32_t skipS;
        uint64_t inStatistics;
        uint64_t epochs3d;
        double availabilityPct;
        bool reference;
    } rows[] = {
        // 5 epochs without a fix, 20 with 3D, 5 in 2D: the last 25 count.
        {"no skip", 0, 25, 20, 80.0, true},
        // The first 3D epoch is at 500 ms: skip 1 s leaves out ten more.
        {"skip 1 s", 1, 15, 10, 200.0 / 3, true},
        // About the mean of the 3D fixes (the alternating offsets average out): the epochs file
        // is rewritten with the offsets at the end.
        {"about the mean", 0, 25, 20, 80.0, false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.label);
        TempDir dir;
        StaticSettings settings;
        settings.durationS = 100;
        settings.skipS = r.skipS;
        if (r.reference) {
            settings.reference = GeoPosition{48.1173, 11.516666666666667, 545.4, true};
        }
        CStaticSession run;
        ASSERT_EQ(run.Begin(settings, dir.Path(), {}, {0, 1796558400000}), 0);
        StaticFeeder feed;
        for (uint32_t k = 0; k < 30; ++k) {
            feed.Epoch(run, k * 100, k < 5 ? 1 : k < 25 ? 3 : 2, k % 2 ? 1.853 : -1.853);
        }
        EXPECT_EQ(run.Finish(), 0);
        const StaticSummary& s = run.Summary();
        EXPECT_EQ(s.epochs, 30u); // the last one closed at the end: its GSA came
        EXPECT_EQ(s.epochsInStatistics, r.inStatistics);
        EXPECT_EQ(s.epochs3d, r.epochs3d);
        ASSERT_TRUE(s.cep50M);
        EXPECT_NEAR(*s.cep50M, 1.853, 0.01);
        EXPECT_NEAR(s.northM->mean, 0, 0.01);
        EXPECT_NEAR(s.cn0->mean, 41.5, 1e-9);
        EXPECT_EQ(s.aboutReference, r.reference);
        EXPECT_NEAR(s.availability3dPct, r.availabilityPct, 1e-9);
        // Header and one row per epoch, each with its offsets.
        const std::string csv = ReadFileBytes(run.EpochsPath());
        EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 31);
        EXPECT_NE(csv.find(",41.50,0.000,-1.85"), std::string::npos) << csv;
    }
}

TEST(StaticSession, ThePlotThinsToTwentyThousandDotsKeepingTheOutliers) {
    TempDir dir;
    StaticSettings settings;
    settings.durationS = 10000;
    settings.reference = GeoPosition{48.1173, 11.516666666666667, 545.4, true};
    CStaticSession run;
    ASSERT_EQ(run.Begin(settings, dir.Path(), {}, {0, 1796558400000}), 0);
    StaticFeeder feed;
    for (uint32_t k = 0; k < 30000; ++k) {
        // Steps of 0.1853 m up to 1.3 m, one epoch 50 m out.
        feed.Epoch(run, k * 100, 3, k == 12345 ? 50 : 0.1853 * (k % 8) - 0.65);
    }
    EXPECT_EQ(run.Finish(), 0);
    const std::string svg = ReadFileBytes(run.SvgPath());
    size_t dots = 0, far = 0;
    for (size_t at = svg.find("class=\"epoch\""); at != std::string::npos;
         at = svg.find("class=\"epoch\"", at + 1)) {
        ++dots;
        far += svg.compare(svg.find("fill=", at), 14, "fill=\"#d62728\"") == 0 ? 1 : 0;
    }
    EXPECT_LE(dots, 20000u);
    EXPECT_GE(dots, 18000u);
    EXPECT_EQ(far, 1u); // the 50 m epoch, on the frame
}

} // namespace
