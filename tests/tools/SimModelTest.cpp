// The simulated receiver without a port: its sentences, its restarts and TTFF, the fitting of an
// epoch to the line, the command recognition and the command line.
#include "BinaryEpoch.h"
#include "BinaryFrames.h"
#include "FamilyReceiver.h"
#include "FrameTestUtil.h"
#include "NmeaChecksum.h"
#include "NmeaParser.h"
#include "ReceiverIdentify.h"
#include "ReceiverModel.h"
#include "RestartCommandBytes.h"
#include "RestartCommands.h"
#include "SimOptions.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <map>
#include <string>
#include <vector>

namespace {

std::vector<std::string> Lines(const std::string& bytes) {
    std::vector<std::string> lines;
    for (size_t pos = 0; pos < bytes.size();) {
        size_t end = bytes.find("\r\n", pos);
        end = end == std::string::npos ? bytes.size() : end + 2;
        lines.push_back(bytes.substr(pos, end - pos));
        pos = end;
    }
    return lines;
}

bool WellFormed(const std::string& s) {
    size_t star = s.size() >= 6 ? s.size() - 5 : 0;
    return s.size() >= 6 && s[0] == '$' && s[star] == '*' &&
           s.compare(s.size() - 2, 2, "\r\n") == 0 &&
           s.substr(star + 1, 2) == NmeaChecksumHex(NmeaChecksum(s.substr(1, star - 1)));
}

std::string Field(const std::string& sentence, size_t index) {
    size_t pos = 0;
    for (size_t i = 0; i < index && pos != std::string::npos; ++i) {
        pos = sentence.find_first_of(",", pos + 1);
    }
    if (pos == std::string::npos) {
        return "";
    }
    size_t end = sentence.find_first_of(",*", pos + 1);
    return sentence.substr(pos + 1, end - pos - 1);
}

std::string Join(const std::vector<EpochSentence>& sentences) {
    std::string all;
    for (const EpochSentence& s : sentences) {
        all += s.text;
    }
    return all;
}

std::string Find(const std::vector<EpochSentence>& sentences, const std::string& id) {
    for (const EpochSentence& s : sentences) {
        if (s.text.compare(3, 3, id) == 0) {
            return s.text;
        }
    }
    return "";
}

SimOptions Fixed(uint64_t seed) {
    SimOptions o;
    o.seed = seed;
    int64_t start = 0;
    ParseUtcTime("2024-02-29 23:59:58", &start);
    o.startUtc = start;
    return o;
}

} // namespace

// Every epoch, far into a day, is well formed and decodes to what the model holds.
TEST(SimModel, SentencesAreWellFormedAndDecodeToTheModel) {
    ReceiverModel model(Fixed(1), 1);
    std::map<int, SkySatellite> previous;
    std::vector<uint64_t> epochs = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    for (uint64_t e = 600; e <= 12 * 3600; e += 600) {
        epochs.push_back(e); // satellites set and rise over these hours
    }
    for (uint64_t e : epochs) {
        SCOPED_TRACE("epoch " + std::to_string(e));
        std::vector<EpochSentence> sentences = model.Epoch(e);
        std::string all = Join(sentences);
        for (const std::string& line : Lines(all)) {
            EXPECT_TRUE(WellFormed(line)) << line;
        }
        CNmeaParser parser;
        EXPECT_EQ(parser.Parse(all.data(), all.size()), 1);
        std::vector<SkySatellite> sky = model.Sky();
        EXPECT_GE(sky.size(), 8u);
        EXPECT_LE(sky.size(), 14u);
        EXPECT_EQ(parser.m_btGSAFixMode, 3);
        EXPECT_EQ(parser.m_cRMCStatus, 'A');
        EXPECT_EQ(parser.m_btGGAQuality, 1);
        EXPECT_NEAR(parser.m_dGGALatitude, model.LatitudeDeg(), 1e-5);
        EXPECT_NEAR(parser.m_dRMCLongitude, model.LongitudeDeg(), 1e-5);
        ASSERT_EQ(static_cast<size_t>(parser.m_wGSVSatellites), sky.size());
        int used = 0;
        for (size_t i = 0; i < sky.size(); ++i) {
            const SatelliteInfo& decoded = parser.m_Satellites[i];
            EXPECT_EQ(decoded.wPrn, sky[i].prn);
            EXPECT_EQ(decoded.wElevation, sky[i].elevationDeg);
            EXPECT_EQ(decoded.wAzimuth, sky[i].azimuthDeg);
            EXPECT_EQ(decoded.wSnr, sky[i].snrDbHz);
            EXPECT_EQ(decoded.bUsed != 0, sky[i].used);
            used += sky[i].used ? 1 : 0;
            auto before = previous.find(sky[i].prn);
            if (e <= 10 && before != previous.end()) {
                // A second moves a satellite by a fraction of a degree.
                EXPECT_LE(std::abs(before->second.elevationDeg - sky[i].elevationDeg), 1);
            }
            previous[sky[i].prn] = sky[i];
        }
        EXPECT_GE(used, 4);
        EXPECT_EQ(parser.m_btGGASatellites, used);
    }
}

TEST(SimModel, TimeAndDateAdvanceAcrossMidnight) {
    ReceiverModel model(Fixed(2), 2);
    EXPECT_EQ(Field(Find(model.Epoch(0), "ZDA"), 1), "235958.00");
    std::vector<EpochSentence> next = model.Epoch(2);
    EXPECT_EQ(Field(Find(next, "RMC"), 1), "000000.00");
    EXPECT_EQ(Field(Find(next, "RMC"), 9), "010324");
    EXPECT_EQ(Field(Find(next, "GGA"), 1), "000000.00");
}

// A restart loses the fix at the next epoch and regains it at the first epoch a drawn TTFF later.
TEST(SimModel, RestartLosesTheFixAndRegainsItAfterTheTtff) {
    struct Row {
        const char* label;
        RestartKind kind;
        TtffRange range;
    };
    const Row rows[] = {
        {"cold", RestartKind::Cold, {30, 45}},
        {"warm", RestartKind::Warm, {25, 35}},
        {"hot", RestartKind::Hot, {1, 2}},
        {"zero TTFF still shows the loss", RestartKind::Cold, {0, 0}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        SimOptions o = Fixed(3);
        o.rateHz = 10;
        o.ttffCold = o.ttffWarm = o.ttffHot = row.range;
        ReceiverModel model(o, 3);
        uint64_t e = 0;
        for (; e < 10; ++e) {
            model.Epoch(e);
        }
        double ttff = model.Restart(row.kind);
        EXPECT_GE(ttff, row.range.minS);
        EXPECT_LE(ttff, row.range.maxS);
        std::vector<EpochSentence> lost = model.Epoch(e);
        EXPECT_EQ(Field(Find(lost, "GSA"), 2), "1");
        EXPECT_EQ(Field(Find(lost, "RMC"), 2), "V");
        EXPECT_EQ(Field(Find(lost, "GGA"), 6), "0");
        std::string gsv = Find(lost, "GSV");
        if (row.range.maxS == 0) {
            // Nothing to acquire: only the fix itself is lost for an epoch.
        } else if (row.kind == RestartKind::Cold) {
            EXPECT_EQ(Field(gsv, 3), "00") << "a cold start forgets the sky";
        } else {
            EXPECT_NE(Field(gsv, 3), "00");
            EXPECT_EQ(Field(gsv, 7).empty(), row.kind == RestartKind::Warm)
                << "warm loses the signals, hot keeps them";
        }
        const uint64_t lossEpoch = e;
        while (!model.HasFix() && e < lossEpoch + 1000) {
            model.Epoch(++e);
        }
        double seconds = static_cast<double>(e - lossEpoch) / o.rateHz;
        EXPECT_GE(seconds + 1e-9, std::max(ttff, 0.1));
        EXPECT_LT(seconds, ttff + 0.1 + 1e-9);
        int used = 0;
        for (const SkySatellite& s : model.Sky()) {
            used += s.used ? 1 : 0;
        }
        EXPECT_GE(used, 4);
    }
}

TEST(SimModel, StartWithoutFixAcquiresAfterAColdTtff) {
    SimOptions o = Fixed(4);
    o.startNoFix = true;
    o.ttffCold = {5, 6};
    ReceiverModel model(o, 4);
    EXPECT_EQ(Field(Find(model.Epoch(0), "GSA"), 2), "1");
    EXPECT_EQ(Field(Find(model.Epoch(4), "GSA"), 2), "1");
    EXPECT_EQ(Field(Find(model.Epoch(6), "GSA"), 2), "3");
}

TEST(SimModel, SeedMakesARunRepeatable) {
    auto run = [](uint64_t seed) {
        ReceiverModel model(Fixed(seed), seed);
        std::string all;
        for (uint64_t e = 0; e < 30; ++e) {
            all += Join(model.Epoch(e));
        }
        all += std::to_string(model.Restart(RestartKind::Cold));
        return all;
    };
    EXPECT_EQ(run(7), run(7));
    EXPECT_NE(run(7), run(8));
}

TEST(SimModel, TalkerNamesEverySentenceButGsv) {
    SimOptions o = Fixed(5);
    o.talker = "GN";
    ReceiverModel model(o, 5);
    for (const EpochSentence& s : model.Epoch(0)) {
        EXPECT_EQ(s.text.substr(1, 2), s.kind == SentenceClass::Gsv ? "GP" : "GN") << s.text;
    }
}

TEST(SimFit, LeavesOutOptionalSentencesThenGsvMessagesInTurn) {
    std::vector<EpochSentence> s = {
        {"RRRRRRRRRR", SentenceClass::Required, 0}, {"o2o2o2", SentenceClass::Optional, 2},
        {"G1G1G1G1", SentenceClass::Gsv, 0},        {"G2G2G2G2", SentenceClass::Gsv, 0},
        {"G3G3G3G3", SentenceClass::Gsv, 0},        {"o1o1", SentenceClass::Optional, 1},
    };
    struct Row {
        const char* label;
        size_t budget;
        std::string expected;
        bool trimmed;
    };
    const Row rows[] = {
        {"everything fits", 100, "RRRRRRRRRRo2o2o2G1G1G1G1G2G2G2G2G3G3G3G3o1o1", false},
        {"lowest rank goes first", 40, "RRRRRRRRRRo2o2o2G1G1G1G1G2G2G2G2G3G3G3G3", true},
        {"then the other optional", 34, "RRRRRRRRRRG1G1G1G1G2G2G2G2G3G3G3G3", true},
        {"then GSV", 33, "RRRRRRRRRRG1G1G1G1G2G2G2G2", true},
        {"required beyond the budget", 5, "RRRRRRRRRR", true},
    };
    for (const Row& row : rows) {
        size_t cursor = 0;
        bool trimmed = false;
        EXPECT_EQ(FitEpoch(s, row.budget, &cursor, &trimmed), row.expected) << row.label;
        EXPECT_EQ(trimmed, row.trimmed) << row.label;
    }
    // One GSV message per epoch: all three go out over three epochs.
    size_t cursor = 0;
    bool trimmed = false;
    std::string sent;
    for (int epoch = 0; epoch < 3; ++epoch) {
        sent += FitEpoch(s, 18, &cursor, &trimmed).substr(10);
    }
    EXPECT_EQ(sent, "G1G1G1G1G2G2G2G2G3G3G3G3");
}

// --binary: NAV-PVT, NAV-SAT and message 1005 ahead of the epoch, each whole by its own rule.
TEST(SimBinary, FramesOfAnEpochCarryTheModel) {
    SimOptions o = Fixed(6);
    o.binaryUbx = true;
    o.binaryRtcm3 = true;
    ReceiverModel model(o, 6);
    model.Epoch(3); // 2024-03-01 00:00:01 UTC: Friday, GPS time of week 5 * 86400 + 1 + 18 s
    const std::string frames = EpochFrames(model, 3, o);
    const size_t satBytes = 8 + 12 * model.Sky().size();
    ASSERT_EQ(frames.size(), 100 + (8 + satBytes) + 25);
    const std::string pvt = frames.substr(0, 100);
    const std::string sat = frames.substr(100, 8 + satBytes);
    const std::string rtcm = frames.substr(108 + satBytes);
    EXPECT_EQ(pvt, frametest::Ubx(0x01, 0x07, pvt.substr(6, 92)));
    EXPECT_EQ(sat, frametest::Ubx(0x01, 0x35, sat.substr(6, satBytes)));
    EXPECT_EQ(rtcm, frametest::Rtcm3(rtcm.substr(3, 19)));
    const auto le32 = [](const std::string& f, size_t at) {
        uint32_t v = 0;
        for (size_t i = 4; i-- > 0;) {
            v = v << 8 | static_cast<uint8_t>(f[at + i]);
        }
        return v;
    };
    EXPECT_EQ(le32(pvt, 6), (5 * 86400 + 1 + 18) * 1000u); // iTOW
    EXPECT_EQ(le32(pvt, 6 + 28), static_cast<uint32_t>(std::llround(model.LatitudeDeg() * 1e7)));
    EXPECT_EQ((static_cast<uint8_t>(rtcm[3]) << 4) | (static_cast<uint8_t>(rtcm[4]) >> 4), 1005);
}

TEST(SimCommands, RecognisesBothFormsAndRejectsDamagedOnes) {
    const std::string cold =
        NmeaSentence("PSRF101,-2686700,-4304200,3851624,96000,497260,921,12,4");
    const std::string hot = NmeaSentence("PSRF101,-2686700,-4304200,3851624,96000,497260,921,12,1");
    std::string badSum = cold;
    badSum[badSum.size() - 3] = badSum[badSum.size() - 3] == '0' ? '1' : '0';
    std::string lower = NmeaSentence("PSRF101,9,0,0,0,0,0,12,3"); // checksum 1E, sent as "1e"
    lower[lower.size() - 3] = static_cast<char>(std::tolower(lower[lower.size() - 3]));
    struct Row {
        const char* label;
        std::string bytes;
        std::vector<std::pair<RestartKind, CommandForm>> expected;
    };
    const std::vector<Row> rows = {
        {"SONY cold", "@cd\r\n", {{RestartKind::Cold, CommandForm::Sony}}},
        {"SONY warm", "@sw\r\n", {{RestartKind::Warm, CommandForm::Sony}}},
        {"SONY hot", "@sr\r\n", {{RestartKind::Hot, CommandForm::Sony}}},
        {"SiRF cold with NUL", cold + '\0', {{RestartKind::Cold, CommandForm::Sirf}}},
        {"SiRF hot", hot, {{RestartKind::Hot, CommandForm::Sirf}}},
        {"SiRF lower-case checksum", lower, {{RestartKind::Warm, CommandForm::Sirf}}},
        {"both, as the program sends them",
         "@cd\r\n" + cold + '\0',
         {{RestartKind::Cold, CommandForm::Sony}, {RestartKind::Cold, CommandForm::Sirf}}},
        {"bad checksum", badSum, {}},
        {"no checksum", "$PSRF101,0,0,0,0,0,0,12,4\r\n", {}},
        {"seven fields", NmeaSentence("PSRF101,0,0,0,0,0,12,4"), {}},
        {"unknown reset", NmeaSentence("PSRF101,0,0,0,0,0,0,12,5"), {}},
        {"other SONY text", "@cx\r\n@cdd\r\n", {}},
        {"NUL inside", std::string("@c\0d\r\n", 6), {}},
        {"noise before resyncs", "x\xff@@c$@sr\r\n", {{RestartKind::Hot, CommandForm::Sony}}},
    };
    for (const Row& row : rows) {
        // Byte by byte and all at once give the same.
        for (bool split : {false, true}) {
            RestartCommandParser parser;
            std::vector<RestartCommand> got;
            if (split) {
                for (char c : row.bytes) {
                    parser.Feed(std::string_view(&c, 1), false, &got);
                }
            } else {
                parser.Feed(row.bytes, false, &got);
            }
            std::vector<std::pair<RestartKind, CommandForm>> kinds;
            for (const RestartCommand& c : got) {
                kinds.emplace_back(c.kind, c.form);
            }
            EXPECT_EQ(kinds, row.expected) << row.label << (split ? " (split)" : "");
        }
    }
    // Bytes received at the wrong baud rate spoil the command they fall into.
    RestartCommandParser parser;
    std::vector<RestartCommand> got;
    parser.Feed("@c", false, &got);
    parser.Feed("d", true, &got);
    parser.Feed("\r\n@sw\r\n", false, &got);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].kind, RestartKind::Warm);
}

TEST(SimCommands, OneSonyAndOneSirfWithinASecondAreOneRestart) {
    const RestartCommand sony{RestartKind::Cold, CommandForm::Sony};
    const RestartCommand sirf{RestartKind::Cold, CommandForm::Sirf};
    struct Row {
        const char* label;
        std::vector<std::pair<RestartCommand, double>> commands;
        int restarts;
    };
    const std::vector<Row> rows = {
        {"pair", {{sony, 0}, {sirf, 0.1}}, 1},
        {"pair, SiRF first", {{sirf, 0}, {sony, 0.9}}, 1},
        {"pair too far apart", {{sony, 0}, {sirf, 1.5}}, 2},
        {"same form twice", {{sony, 0}, {sony, 0.1}}, 2},
        {"two pairs", {{sony, 0}, {sirf, 0.1}, {sony, 0.2}, {sirf, 0.3}}, 2},
    };
    for (const Row& row : rows) {
        RestartMerger merger;
        int restarts = 0;
        for (const auto& [command, at] : row.commands) {
            restarts += merger.Accept(command, at) ? 1 : 0;
        }
        EXPECT_EQ(restarts, row.restarts) << row.label;
    }
}

TEST(SimArguments, ParsesOptionsAndRejectsBadOnes) {
    auto parse = [](std::vector<const char*> args) {
        args.insert(args.begin(), "zenithprobe-sim");
        return ParseSimArguments(static_cast<int>(args.size()), args.data());
    };
    SimArguments a = parse({"--port", "COM3:", "--baud", "9600", "--rate-hz", "2.5", "--ttff-cold",
                            "1.5-2.5", "--ttff-hot", "0.5", "--start", "nofix", "--talker", "GN",
                            "--seed", "42", "--start-time", "2024-02-29 12:00:00"});
    ASSERT_TRUE(a.ok) << a.error;
    EXPECT_EQ(a.options.port, "COM3");
    EXPECT_EQ(a.options.baud, 9600u);
    EXPECT_DOUBLE_EQ(a.options.rateHz, 2.5);
    EXPECT_DOUBLE_EQ(a.options.ttffCold.minS, 1.5);
    EXPECT_DOUBLE_EQ(a.options.ttffCold.maxS, 2.5);
    EXPECT_DOUBLE_EQ(a.options.ttffHot.maxS, 0.5);
    EXPECT_TRUE(a.options.startNoFix);
    EXPECT_EQ(a.options.talker, "GN");
    EXPECT_EQ(a.options.seed, 42u);
    EXPECT_EQ(a.options.startUtc, 1709208000);
    a = parse({"--pause-at", "2.5", "--pause-for", "3", "--replay", "f.log", "--replay-raw",
               "--flap-fix", "1,0.5"});
    ASSERT_TRUE(a.ok) << a.error;
    EXPECT_DOUBLE_EQ(a.options.flapOnS, 1);
    EXPECT_DOUBLE_EQ(a.options.flapOffS, 0.5);
    EXPECT_DOUBLE_EQ(a.options.pauseAtS, 2.5);
    EXPECT_DOUBLE_EQ(a.options.pauseForS, 3);
    EXPECT_TRUE(a.options.replayRaw);
    a = parse({"--family", "quectel-lg", "--banner"});
    ASSERT_TRUE(a.ok) << a.error;
    EXPECT_EQ(a.options.family, ReceiverFamily::QuectelLg);
    EXPECT_TRUE(a.options.banner);

    const std::vector<std::vector<const char*>> bad = {
        {"--baud", "4801"},
        {"--baud"},
        {"--rate-hz", "0"},
        {"--ttff-cold", "5-3"},
        {"--ttff-warm", "-1"},
        {"--start-time", "2023-02-29 00:00:00"},
        {"--start", "maybe"},
        {"--talker", "gp"},
        {"--port", "a/b"},
        {"--loop"},
        {"--frobnicate"},
        {"--seed", "x"},
        {"--pause-at", "1"},
        {"--pause-at", "1", "--pause-for", "0"},
        {"--replay-raw"},
        {"--noise", "2"},
        {"--noise", "-1,2"},
        {"--noise-tau", "5"},
        {"--cn0", "45"},
        {"--cn0", "0,3"},
        {"--replay-raw"},
        {"--flap-fix", "1"},
        {"--flap-fix", "1,0"},
        {"--family", "auto"},
        {"--family", "UBX"},
        {"--family", ""},
        {"--family", "ubx,mtk"}, // several only with --count
        {"--count", "2", "--family", "ubx,"},
        {"--binary", "nmea"},
        {"--binary", "ubx,"},
        {"--binary", "ubx", "--replay", "f"},
    };
    for (const auto& args : bad) {
        EXPECT_FALSE(parse(args).ok) << args[0];
    }
    // The documented messages, and a negative value is a value, not an option.
    EXPECT_EQ(parse({"--frobnicate"}).error, "unknown option --frobnicate");
    EXPECT_EQ(parse({"--seed", "1", "--baud"}).error, "--baud needs a value");
    EXPECT_EQ(parse({"--baud", "4801"}).error, "bad value for --baud: 4801");
    const SimArguments south = parse({"--lat", "-33.5", "--lon=-70.25", "--loop", "--replay", "f"});
    ASSERT_TRUE(south.ok) << south.error;
    EXPECT_DOUBLE_EQ(south.options.latDeg, -33.5);
    EXPECT_DOUBLE_EQ(south.options.lonDeg, -70.25);
    EXPECT_TRUE(south.options.loop);
    const SimArguments noisy = parse({"--noise", "2,3.5", "--noise-tau", "30", "--cn0", "45,2"});
    ASSERT_TRUE(noisy.ok) << noisy.error;
    EXPECT_TRUE(noisy.options.stationary); // implied
    EXPECT_DOUBLE_EQ(noisy.options.noiseVerticalM, 3.5);
    EXPECT_DOUBLE_EQ(noisy.options.noiseTauS, 30);
    EXPECT_EQ(noisy.options.cn0MeanDbHz, 45.0);
    // --count's receivers take the families in turn.
    const SimArguments rack = parse({"--count", "3", "--family", "ubx,sony-sirf"});
    ASSERT_TRUE(rack.ok) << rack.error;
    std::vector<ReceiverFamily> families;
    for (const SimOptions& o : CountedReceivers(rack, 1)) {
        families.push_back(o.family);
    }
    EXPECT_EQ(families, (std::vector<ReceiverFamily>{ReceiverFamily::Ubx, ReceiverFamily::None,
                                                     ReceiverFamily::Ubx}));
    const SimOptions both = parse({"--binary", "rtcm3,ubx"}).options;
    EXPECT_TRUE(both.binaryUbx && both.binaryRtcm3);
}

// The reported position of a receiver standing still: the error's spread and its correlation
// from one epoch to the next, exp(-dt / tau) for a first-order Gauss-Markov process.
TEST(SimModel, StandingStillReportsTheNoiseAskedFor) {
    struct Row {
        const char* label;
        double tauS;
        double correlation; // lag one epoch (1 s)
        double tolerance;
    } rows[] = {{"independent", 0, 0, 0.06}, {"tau 30 s", 30, std::exp(-1.0 / 30), 0.02}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.label);
        SimOptions o = Fixed(3);
        o.stationary = true;
        o.noiseHorizontalM = 2;
        o.noiseTauS = r.tauS;
        ReceiverModel model(o, 3);
        CNmeaParser parser;
        std::vector<double> north;
        for (uint64_t k = 0; k < 3000; ++k) {
            const std::string gga = Find(model.Epoch(k), "GGA");
            parser.Parse(gga.data(), gga.size());
            // 1 degree of latitude is 111.2 km here, to 0.1 %.
            north.push_back((parser.m_dGGALatitude - o.latDeg) * 111200);
            EXPECT_DOUBLE_EQ(model.LatitudeDeg(), o.latDeg); // the truth does not move
        }
        double mean = 0, var = 0, lag = 0;
        for (double v : north) {
            mean += v / static_cast<double>(north.size());
        }
        for (size_t i = 0; i < north.size(); ++i) {
            var += (north[i] - mean) * (north[i] - mean);
            lag += i > 0 ? (north[i] - mean) * (north[i - 1] - mean) : 0;
        }
        EXPECT_NEAR(lag / var, r.correlation, r.tolerance);
        if (r.tauS == 0) {
            EXPECT_NEAR(std::sqrt(var / static_cast<double>(north.size() - 1)), 2.0, 0.1);
        }
    }
}

// Four constellations at NMEA 4.0 and 4.11: the program's multi-GNSS decoding sees every
// constellation and the fix, its default decoding sees no fix, and a cold start loses the fix of
// all constellations at once.
TEST(SimModel, FourConstellationsDecodeInMultiGnssModeOnly) {
    const std::pair<const char*, int> versions[] = {{"4.0", 40}, {"4.11", 411}};
    for (const auto& [label, version] : versions) {
        SCOPED_TRACE(label);
        SimOptions o = Fixed(7);
        o.constellations = {SimSystem::Gps, SimSystem::Glonass, SimSystem::Galileo,
                            SimSystem::BeiDou};
        o.nmeaVersion = version;
        ReceiverModel model(o, 7);
        CNmeaParser multi;
        multi.m_bMultiGnss = true;
        CNmeaParser gpOnly;
        int gsa = 0;
        for (const EpochSentence& s : model.Epoch(0)) {
            ASSERT_TRUE(WellFormed(s.text)) << s.text;
            gsa += s.text.compare(1, 5, "GNGSA") == 0 ? 1 : 0;
            multi.Parse(s.text.data(), s.text.size());
            gpOnly.Parse(s.text.data(), s.text.size());
        }
        EXPECT_EQ(gsa, 4);
        EXPECT_EQ(multi.m_btGSAFixMode, 3);
        EXPECT_EQ(multi.m_nRMCCount, 1);
        EXPECT_NEAR(multi.m_dGGALatitude, model.LatitudeDeg(), 1e-4);
        EXPECT_EQ(gpOnly.m_btGSAFixMode, 1);
        EXPECT_EQ(gpOnly.m_nRMCCount, 0);

        std::string letters;
        for (int i = 0; i < multi.m_multiGnss.m_wCount; ++i) {
            const char c = GnssSystemLetter(multi.m_multiGnss.m_Satellites[i].system);
            letters += letters.find(c) == std::string::npos ? std::string(1, c) : "";
        }
        EXPECT_EQ(letters, "GREC");
        EXPECT_EQ(multi.m_multiGnss.m_wCount, model.Sky().size()) << "one entry per satellite";
        EXPECT_EQ(multi.m_multiGnss.m_nGsvDropped, 0);

        model.Restart(RestartKind::Cold);
        for (const EpochSentence& s : model.Epoch(1)) {
            multi.Parse(s.text.data(), s.text.size());
        }
        EXPECT_EQ(multi.m_btGSAFixMode, 1) << "no constellation keeps the fix";
    }
    const char* args[] = {"sim", "--constellations", "galileo,gps", "--nmea", "4.10"};
    const SimArguments a = ParseSimArguments(5, args);
    EXPECT_EQ(a.options.constellations,
              (std::vector<SimSystem>{SimSystem::Galileo, SimSystem::Gps}));
    EXPECT_EQ(a.options.nmeaVersion, 410);
    const char* twice[] = {"sim", "--constellations", "gps,gps"};
    EXPECT_FALSE(ParseSimArguments(3, twice).ok);
}

// A family's receiver fed the bytes a program sends, in pieces: what it acts on and answers.
TEST(SimFamily, ActsOnItsOwnFramesOnly) {
    struct Row {
        const char* label;
        ReceiverFamily family;
        std::vector<std::string> reads;    // one Feed each; a read starting with '!' is garbage
        std::vector<std::string> expected; // "cold" / "warm" / "hot" and each reply's first bytes
    };
    auto cmd = [](ReceiverFamily f, int32_t kind) { return FamilyRestartCommand(f, kind); };
    const std::string ubxCold = cmd(ReceiverFamily::Ubx, kStartCold);
    std::string ubxBadCheck = ubxCold;
    ubxBadCheck.back() = static_cast<char>(ubxBadCheck.back() ^ 1);
    std::string skyBadMode = cmd(ReceiverFamily::SkyTraq, kStartHot);
    skyBadMode[5] = 7;
    skyBadMode[19] = static_cast<char>(skyBadMode[19] ^ 1 ^ 7); // its check still right
    const std::string design = SonyRestartCommand(kStartCold) + SirfRestartCommand(kStartCold);
    const std::string mtkCold = cmd(ReceiverFamily::Mtk, kStartCold);
    const auto U = ReceiverFamily::Ubx, S = ReceiverFamily::SkyTraq;
    const std::string ack = SkyTraqFrame("\x83\x01"), nack = SkyTraqFrame("\x84\x01");
    const Row rows[] = {
        {"u-blox cold, in two pieces", U, {ubxCold.substr(0, 5), ubxCold.substr(5)}, {"cold"}},
        {"u-blox bad check", U, {ubxBadCheck}, {}},
        {"u-blox ignores the SONY and SiRF commands", U, {design}, {}},
        {"SkyTraq warm is acknowledged", S, {cmd(S, kStartWarm)}, {ack, "warm"}},
        {"SkyTraq unknown mode is refused", S, {skyBadMode}, {nack}},
        {"Airoha acknowledges",
         ReceiverFamily::Airoha,
         {cmd(ReceiverFamily::Airoha, kStartWarm)},
         {"$PAIR001,005,0*", "warm"}},
        {"MediaTek: a byte at another rate spoils it",
         ReceiverFamily::Mtk,
         {mtkCold.substr(0, 4), "!x", mtkCold.substr(4)},
         {}},
        {"CASIC hot", ReceiverFamily::Casic, {cmd(ReceiverFamily::Casic, kStartHot)}, {"hot"}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.label);
        FamilyReceiver receiver(r.family, "GP");
        std::vector<FamilyInput> inputs;
        for (const std::string& read : r.reads) {
            const bool garbage = !read.empty() && read[0] == '!';
            receiver.Feed(garbage ? read.substr(1) : read, garbage, &inputs);
        }
        std::vector<std::string> got;
        for (const FamilyInput& in : inputs) {
            for (const std::string& e : r.expected) {
                if (!in.reply.empty() && in.reply.compare(0, e.size(), e) == 0) {
                    got.push_back(e);
                }
            }
            if (in.restart) {
                got.push_back(RestartKindName(in.kind));
            }
        }
        EXPECT_EQ(got, r.expected);
    }
}
