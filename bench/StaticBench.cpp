// A day of a static run at 10 Hz (864,000 epochs of GGA, GSA, three GSV and RMC, crossing
// midnight) fed straight through the receive path into CStaticSession, with no receiver and no
// waiting: prints the feeding time, the time of the statistics and the plot at the end, and the
// memory (resident size while feeding, and the peak). Assert nothing; read the figures.
//
//     scripts/build release static_bench && build/bin/static_bench [--reference] [--keep]
//
// Without --reference the statistics take the second pass over the epochs file (errors about
// the mean); with it the rows go out complete as they come.
#include "NmeaChecksum.h"
#include "ReceivePath.h"
#include "StaticSession.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <sys/resource.h>
#include <unistd.h>

namespace {

constexpr uint64_t kEpochs = 864000;
constexpr uint32_t kEpochMs = 100;

long ResidentKiB() {
    long pages = 0, resident = 0;
    FILE* f = std::fopen("/proc/self/statm", "r");
    if (f != nullptr) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) {
            resident = 0;
        }
        std::fclose(f);
    }
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

long PeakKiB() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

double SecondsSince(std::chrono::steady_clock::time_point from) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - from).count();
}

// ddmm.mmmmm,H or dddmm.mmmmm,H
std::string Coordinate(double deg, int width, char positive, char negative) {
    const double a = std::fabs(deg);
    const int whole = static_cast<int>(a);
    char text[32];
    std::snprintf(text, sizeof text, "%0*d%08.5f,%c", width, whole, (a - whole) * 60,
                  deg < 0 ? negative : positive);
    return text;
}

} // namespace

int main(int argc, char** argv) {
    bool reference = false, keep = false;
    for (int i = 1; i < argc; ++i) {
        reference = reference || std::strcmp(argv[i], "--reference") == 0;
        keep = keep || std::strcmp(argv[i], "--keep") == 0;
    }
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp != nullptr ? tmp : "/tmp") + "/static_bench.XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
        std::perror("static_bench: mkdtemp");
        return 2;
    }
    const std::filesystem::path folder = pattern;

    const double lat0 = 48.1173, lon0 = 11.516666666666667, alt0 = 545.4;
    StaticSettings settings;
    settings.durationS = static_cast<uint32_t>(kEpochs * kEpochMs / 1000 + 1);
    settings.timing = "bench";
    if (reference) {
        settings.reference = GeoPosition{lat0, lon0, alt0, true};
    }
    CStaticSession run;
    const int64_t startUtcMs = 1796558400000; // 2026-12-05 12:00:00 UTC
    if (const int error = run.Begin(settings, folder, {}, {0, startUtcMs}); error != 0) {
        std::fprintf(stderr, "static_bench: cannot create the record: %s\n", std::strerror(error));
        return 2;
    }
    CNmeaParser parser;
    CReceivePath path(parser);
    std::mt19937_64 random(1);
    std::normal_distribution<double> noise(0, 1);
    const double metresPerDegLat = 111200, metresPerDegLon = 74300;

    const long startKiB = ResidentKiB();
    long tenthKiB = 0;
    const auto feedStart = std::chrono::steady_clock::now();
    std::string epoch;
    for (uint64_t k = 0; k < kEpochs; ++k) {
        const uint32_t atMs = static_cast<uint32_t>(k * kEpochMs);
        const int64_t utcMs = startUtcMs + static_cast<int64_t>(atMs);
        const int64_t ms = utcMs % 86400000;
        const int day = 5 + static_cast<int>((utcMs / 86400000) - (startUtcMs / 86400000));
        char time[16];
        std::snprintf(time, sizeof time, "%02d%02d%02d.%02d", static_cast<int>(ms / 3600000),
                      static_cast<int>(ms / 60000 % 60), static_cast<int>(ms / 1000 % 60),
                      static_cast<int>(ms % 1000 / 10));
        const double lat = lat0 + 2 * noise(random) / metresPerDegLat;
        const double lon = lon0 + 2 * noise(random) / metresPerDegLon;
        char body[200];
        epoch.clear();
        std::snprintf(body, sizeof body, "GPGGA,%s,%s,%s,1,09,0.9,%.1f,M,47.0,M,,", time,
                      Coordinate(lat, 2, 'N', 'S').c_str(), Coordinate(lon, 3, 'E', 'W').c_str(),
                      alt0 + 3 * noise(random));
        epoch += NmeaSentence(body);
        epoch += NmeaSentence("GPGSA,A,3,04,05,09,12,15,17,19,24,25,,,,1.8,0.9,1.5");
        for (int m = 0; m < 3; ++m) {
            std::snprintf(body, sizeof body,
                          "GPGSV,3,%d,12,%02d,40,100,%02d,%02d,50,200,%02d,%02d,30,300,%02d,%02d,"
                          "60,050,%02d",
                          m + 1, 4 * m + 1, 38 + static_cast<int>(k % 5), 4 * m + 2, 41, 4 * m + 3,
                          35, 4 * m + 4, 44 - m);
            epoch += NmeaSentence(body);
        }
        std::snprintf(body, sizeof body, "GPRMC,%s,A,%s,%s,0.0,0.0,%02d1226,3.1,E,A", time,
                      Coordinate(lat, 2, 'N', 'S').c_str(), Coordinate(lon, 3, 'E', 'W').c_str(),
                      day);
        epoch += NmeaSentence(body);
        path.Feed(epoch.data(), epoch.size(), atMs, [&](const ReceivedLine& line) {
            run.Line(line, StaticSampleOf(parser, line), {atMs, utcMs});
        });
        if (k == kEpochs / 10) {
            tenthKiB = ResidentKiB();
        }
    }
    const double feedS = SecondsSince(feedStart);
    const long fedKiB = ResidentKiB();
    run.Stop();
    const auto finishStart = std::chrono::steady_clock::now();
    const int error = run.Finish();
    const double finishS = SecondsSince(finishStart);

    const StaticSummary& s = run.Summary();
    std::printf("static run of %llu epochs (%s)\n", static_cast<unsigned long long>(s.epochs),
                reference ? "errors about the reference" : "errors about the mean, second pass");
    std::printf("feeding: %.2f s (%.2f us an epoch)\n", feedS, feedS * 1e6 / kEpochs);
    std::printf("statistics, epochs rewrite and plot at the end: %.2f s\n", finishS);
    std::printf("resident: %ld KiB at the start, %ld KiB after 10 %%, %ld KiB after 100 %%; "
                "peak %ld KiB\n",
                startKiB, tenthKiB, fedKiB, PeakKiB());
    std::printf("CEP50 %.3f m, CEP95 %.3f m, vertical 95 %% %.3f m, epochs in the statistics "
                "%llu, plot %llu bytes\n",
                s.cep50M.value_or(-1), s.cep95M.value_or(-1), s.vertical95M.value_or(-1),
                static_cast<unsigned long long>(s.epochsInStatistics),
                static_cast<unsigned long long>(std::filesystem::file_size(run.SvgPath())));
    if (error != 0) {
        std::fprintf(stderr, "static_bench: writing the record failed: %s\n", std::strerror(error));
    }
    if (keep) {
        std::printf("record kept in %s\n", folder.c_str());
    } else {
        std::filesystem::remove_all(folder);
    }
    return error == 0 ? 0 : 1;
}
