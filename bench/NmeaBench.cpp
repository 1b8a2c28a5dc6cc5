// Throughput of the receive path (line building + Parse) on a realistic stream, against a floor
// that only finds each line and verifies its checksum. Prints figures; asserts nothing.
#include "NmeaChecksum.h"
#include "NmeaParser.h"
#include "ReceivePath.h"

#include <benchmark/benchmark.h>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

// 1 Hz epochs: GGA, GSA, three GSV, RMC; ZDA, RMB, VTG and GLL now and then. Values drift so the
// converters see varied digits.
std::string MakeStream(int epochs, size_t* sentences) {
    std::string out;
    size_t count = 0;
    auto add = [&](const std::string& body) {
        out += NmeaSentence(body);
        ++count;
    };
    char buf[200];
    for (int e = 0; e < epochs; ++e) {
        int h = (e / 3600) % 24, m = (e / 60) % 60, s = e % 60;
        double latMin = 7.038 + 0.0013 * e, lonMin = 31.000 + 0.0021 * e;
        double alt = 545.4 + std::sin(e * 0.01) * 12.0;
        std::snprintf(buf, sizeof buf,
                      "GPGGA,%02d%02d%02d.00,48%06.3f,N,011%06.3f,E,1,08,0.9,%.1f,M,46.9,M,,", h, m,
                      s, std::fmod(latMin, 60.0), std::fmod(lonMin, 60.0), alt);
        add(buf);
        add("GPGSA,A,3,04,05,09,12,17,20,24,25,,,,,2.5,1.3,2.1");
        for (int k = 1; k <= 3; ++k) {
            int base = (k - 1) * 4;
            std::snprintf(
                buf, sizeof buf,
                "GPGSV,3,%d,11,%02d,%02d,%03d,%02d,%02d,%02d,%03d,%02d,%02d,%02d,%03d,%02d,"
                "%02d,%02d,%03d,%02d",
                k, base + 1, (40 + e) % 90, (83 + e) % 360, 30 + (e + base) % 20, base + 2,
                (17 + e) % 90, (308 + e) % 360, 25 + (e + base) % 20, base + 3, (7 + e) % 90,
                (344 + e) % 360, 35 + (e + base) % 15, base + 4, (22 + e) % 90, (228 + e) % 360,
                40 + (e + base) % 10);
            add(buf);
        }
        std::snprintf(buf, sizeof buf,
                      "GPRMC,%02d%02d%02d.00,A,48%06.3f,N,011%06.3f,E,022.4,084.4,230394,003.1,W",
                      h, m, s, std::fmod(latMin, 60.0), std::fmod(lonMin, 60.0));
        add(buf);
        if (e % 5 == 0) {
            std::snprintf(buf, sizeof buf, "GPZDA,%02d%02d%02d.00,23,03,1994,-05,00", h, m, s);
            add(buf);
        }
        if (e % 7 == 0) {
            add("GPRMB,A,0.66,L,003,004,4917.24,N,12309.57,W,001.3,052.5,000.5,V");
        }
        if (e % 3 == 0) {
            add("GPVTG,084.4,T,087.5,M,022.4,N,041.5,K");
        }
        if (e % 4 == 0) {
            add("GPGLL,4916.45,N,12311.12,W,225444,A");
        }
    }
    *sentences = count;
    return out;
}

const std::string& Stream(size_t* sentences = nullptr) {
    static size_t count = 0;
    static const std::string stream = MakeStream(3600, &count);
    if (sentences) {
        *sentences = count;
    }
    return stream;
}

void Report(benchmark::State& state, size_t bytes, size_t sentences) {
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
    state.counters["ns_per_sentence"] =
        benchmark::Counter(static_cast<double>(state.iterations() * sentences),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// What the program's reader does: 511-byte reads, lines cut by the line builder, Parse per line.
// With frames: binary frame recognition on, over the same NMEA-only stream (its cost when a
// receiver family is set but the receiver sends no frames).
void LineBuildAndParse(benchmark::State& state, bool frames) {
    size_t sentences = 0;
    const std::string& stream = Stream(&sentences);
    for (auto _ : state) {
        CNmeaParser parser;
        CReceivePath receive(parser, nullptr, true);
        receive.SetFrameRecognition(frames);
        for (size_t pos = 0; pos < stream.size(); pos += 511) {
            receive.Feed(stream.data() + pos, std::min<size_t>(511, stream.size() - pos), 0,
                         [](const ReceivedLine&) {});
        }
        benchmark::DoNotOptimize(parser.m_nRMCCount);
    }
    Report(state, stream.size(), sentences);
}
void BM_LineBuildAndParse(benchmark::State& state) {
    LineBuildAndParse(state, false);
}
BENCHMARK(BM_LineBuildAndParse)->Unit(benchmark::kMillisecond);
void BM_LineBuildAndParseFrames(benchmark::State& state) {
    LineBuildAndParse(state, true);
}
BENCHMARK(BM_LineBuildAndParseFrames)->Unit(benchmark::kMillisecond);

// Parse alone on the whole buffer.
void BM_Parse(benchmark::State& state) {
    size_t sentences = 0;
    const std::string& stream = Stream(&sentences);
    for (auto _ : state) {
        CNmeaParser parser;
        parser.Parse(stream.data(), stream.size());
        benchmark::DoNotOptimize(parser.m_nRMCCount);
    }
    Report(state, stream.size(), sentences);
}
BENCHMARK(BM_Parse)->Unit(benchmark::kMillisecond);

// The floor: find each line with memchr and verify its checksum, decoding nothing.
void BM_Floor(benchmark::State& state) {
    size_t sentences = 0;
    const std::string& stream = Stream(&sentences);
    for (auto _ : state) {
        size_t good = 0;
        const char* p = stream.data();
        const char* end = p + stream.size();
        while (p < end) {
            const char* dollar = static_cast<const char*>(std::memchr(p, '$', end - p));
            if (!dollar) {
                break;
            }
            const char* star = static_cast<const char*>(std::memchr(dollar, '*', end - dollar));
            if (!star || end - star < 3) {
                break;
            }
            uint8_t sum = 0;
            for (const char* c = dollar + 1; c < star; ++c) {
                sum = static_cast<uint8_t>(sum ^ static_cast<uint8_t>(*c));
            }
            auto hex = [](char c) { return c <= '9' ? c - '0' : c - 'A' + 10; };
            good += (hex(star[1]) * 16 + hex(star[2])) == sum;
            p = star + 3;
        }
        benchmark::DoNotOptimize(good);
    }
    Report(state, stream.size(), sentences);
}
BENCHMARK(BM_Floor)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
