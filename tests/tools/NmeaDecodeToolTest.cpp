// nmea-decode end to end: the built executable on the bundled sample, on made-up streams and on
// the real receiver captures, against the expected outputs in golden/.
#include "FrameTestUtil.h"
#include "NmeaTestUtil.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct Result {
    int status = -1;
    std::string out;
    std::string err;
};

std::string Quote(const std::string& s) {
    return "'" + s + "'";
}

// Runs "program args" through the shell (args may hold redirections).
Result RunProgram(const std::string& program, const std::string& args,
                  const std::string& envPrefix = "") {
    TempDir tmp;
    const fs::path errFile = tmp.Path() / "stderr";
    const std::string cmd = envPrefix + Quote((BinDir() / program).string()) + " " + args + " 2>" +
                            Quote(errFile.string());
    Result r;
    FILE* pipe = popen(cmd.c_str(), "r");
    if (pipe == nullptr) {
        return r;
    }
    char buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, pipe)) > 0) {
        r.out.append(buf, n);
    }
    const int raw = pclose(pipe);
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.err = ReadFileBytes(errFile);
    return r;
}

Result RunTool(const std::string& args, const std::string& envPrefix = "") {
    return RunProgram("nmea-decode", args, envPrefix);
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t nl = text.find('\n', pos);
        lines.push_back(text.substr(pos, nl - pos));
        pos = nl == std::string::npos ? text.size() : nl + 1;
    }
    return lines;
}

const char* const kKeys[] = {"m_nState",
                             "m_btChecksum",
                             "m_btRecvChecksum",
                             "m_wLength",
                             "m_szSentenceId",
                             "m_szBody",
                             "m_nSentenceCount",
                             "m_btGGAHour",
                             "m_btGGAMinute",
                             "m_btGGASecond",
                             "m_dGGALatitude",
                             "m_dGGALongitude",
                             "m_btGGAQuality",
                             "m_btGGASatellites",
                             "m_dGGAHdop",
                             "m_dGGAAltitude",
                             "m_nGGACount",
                             "m_nGGALastSecond",
                             "m_dGGALastAltitude",
                             "m_dGGAClimbRate",
                             "m_cGSAMode",
                             "m_btGSAFixMode",
                             "m_wGSAPrn",
                             "m_dGSAPdop",
                             "m_dGSAHdop",
                             "m_dGSAVdop",
                             "m_nGSACount",
                             "m_wGSVSatellites",
                             "m_Satellites",
                             "m_nGSVCount",
                             "m_cRMBStatus",
                             "m_dRMBCrossTrack",
                             "m_cRMBSteer",
                             "m_szRMBOrigin",
                             "m_szRMBDestination",
                             "m_dRMBDestLatitude",
                             "m_dRMBDestLongitude",
                             "m_dRMBRange",
                             "m_dRMBBearing",
                             "m_dRMBClosingSpeed",
                             "m_cRMBArrival",
                             "m_nRMBCount",
                             "m_btRMCHour",
                             "m_btRMCMinute",
                             "m_btRMCSecond",
                             "m_cRMCStatus",
                             "m_dRMCLatitude",
                             "m_dRMCLongitude",
                             "m_dRMCSpeed",
                             "m_dRMCCourse",
                             "m_btRMCDay",
                             "m_btRMCMonth",
                             "m_wRMCYear",
                             "m_dRMCMagVariation",
                             "m_nRMCCount",
                             "m_btZDAHour",
                             "m_btZDAMinute",
                             "m_btZDASecond",
                             "m_btZDADay",
                             "m_btZDAMonth",
                             "m_wZDAYear",
                             "m_btZDAZoneHour",
                             "m_btZDAZoneMinute",
                             "m_nZDACount"};

// The top-level keys of one JSON object line, in order (nested objects skipped).
std::vector<std::string> TopLevelKeys(const std::string& json) {
    std::vector<std::string> keys;
    int depth = 0;
    bool inString = false;
    size_t stringStart = 0;
    for (size_t i = 0; i < json.size(); ++i) {
        const char c = json[i];
        if (inString) {
            if (c == '\\') {
                ++i;
            } else if (c == '"') {
                inString = false;
                if (depth == 1 && i + 1 < json.size() && json[i + 1] == ':') {
                    keys.push_back(json.substr(stringStart + 1, i - stringStart - 1));
                }
            }
        } else if (c == '"') {
            inString = true;
            stringStart = i;
        } else if (c == '{' || c == '[') {
            ++depth;
        } else if (c == '}' || c == ']') {
            --depth;
        }
    }
    return keys;
}

void ExpectJsonShape(const std::string& line) {
    ASSERT_FALSE(line.empty());
    EXPECT_EQ(line.front(), '{');
    EXPECT_EQ(line.back(), '}');
    EXPECT_EQ(TopLevelKeys(line), std::vector<std::string>(std::begin(kKeys), std::end(kKeys)));
}

// The expected output of a log, checked in beside the test: the decoder's state after the log,
// recorded once and reviewed, never recomputed with the code under test.
fs::path Golden(const fs::path& log) {
    return SourceDir() / "tests" / "tools" / "golden" / (log.filename().string() + ".json");
}

fs::path Sample() {
    return SourceDir() / "tools" / "samples" / "sample.nmea";
}

TEST(NmeaDecodeTool, SampleGivesOneObjectWithEveryMember) {
    const Result r = RunTool(Quote(Sample().string()));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const auto lines = SplitLines(r.out);
    ASSERT_EQ(lines.size(), 1u);
    ExpectJsonShape(lines[0]);
    EXPECT_EQ(r.out, ReadFileBytes(Golden(Sample())));
    EXPECT_NE(r.out.find("\"m_nRMCCount\":12,"), std::string::npos);
    EXPECT_NE(r.out.find("\"m_btGSAFixMode\":3,"), std::string::npos);
}

TEST(NmeaDecodeTool, EveryPrintsAfterEachParse) {
    const std::string sample = ReadFileBytes(Sample());
    const auto sentences = static_cast<size_t>(std::count(sample.begin(), sample.end(), '$'));
    const Result every = RunTool("--every " + Quote(Sample().string()));
    EXPECT_EQ(every.status, 0);
    const auto lines = SplitLines(every.out);
    ASSERT_EQ(lines.size(), sentences);
    for (const std::string& line : lines) {
        ExpectJsonShape(line);
    }
    EXPECT_NE(lines[0].find("\"m_nSentenceCount\":1,"), std::string::npos);
    EXPECT_EQ(lines.back() + "\n", RunTool(Quote(Sample().string())).out);
}

TEST(NmeaDecodeTool, StandardInputAndRawMode) {
    const std::string file = Quote(Sample().string());
    const std::string expected = RunTool(file).out;
    EXPECT_EQ(RunTool("< " + file).out, expected);
    EXPECT_EQ(RunTool("- < " + file).out, expected);
    EXPECT_EQ(RunTool("", "cat " + file + " | ").out, expected); // a pipe
    // A clean stream ends in the same state when fed in raw chunks.
    EXPECT_EQ(RunTool("--raw " + file).out, expected);
}

TEST(NmeaDecodeTool, ReadsAre511BytesAndOverflowDropsTheRestOfTheRead) {
    TempDir tmp;
    const std::string rmc = Sentence("GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,,");
    // A line of 510 bytes without CR fills the first read; the second read overflows at once and
    // loses the RMC in it; the third read's RMC is decoded.
    const std::string head = " $" + std::string(509, 'x');
    const std::string second = "x" + rmc + std::string(511 - 1 - rmc.size(), ' ');
    const fs::path file = tmp.Path() / "overflow.nmea";
    WriteFileBytes(file, head + second + rmc);
    const Result lines = RunTool(Quote(file.string()));
    EXPECT_EQ(lines.status, 0);
    EXPECT_NE(lines.out.find("\"m_nRMCCount\":1,"), std::string::npos) << lines.out;
    // Raw chunks go to the framer, which abandons the long identifier and decodes both.
    const Result raw = RunTool("--raw " + Quote(file.string()));
    EXPECT_NE(raw.out.find("\"m_nRMCCount\":2,"), std::string::npos) << raw.out;
}

TEST(NmeaDecodeTool, StatsSayWhatHappenedToTheBytes) {
    TempDir tmp;
    const std::string rmc = Sentence("GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,,");
    // The first two reads: a line cut by the 512-byte rule (with the RMC after it); the space
    // before it lies outside any sentence.
    const std::string head = " $" + std::string(509, 'x');
    const std::string second = "x" + rmc + std::string(511 - 1 - rmc.size(), ' ');
    const std::string gga =
        Sentence("GPGGA,092750.00,4807.0380,N,01131.0000,E,1,08,0.9,545.4,M,,,");
    std::string badSum = gga;
    badSum.replace(badSum.size() - 4, 2, gga.substr(gga.size() - 4, 2) == "00" ? "01" : "00");
    const std::string rest = "junk" + gga + badSum + "$GPGGAXYZ,1*00\r\n" +
                             Sentence("GPTXT," + std::string(300, 'A')) +
                             Sentence("GPGSV,9,1,12,01,40,083,46") + rmc;
    const fs::path file = tmp.Path() / "link.nmea";
    WriteFileBytes(file, head + second + rest);
    const Result r = RunTool("--stats " + Quote(file.string()));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "{\"sentences\":{\"GPGGA\":1,\"GPGSV\":1,\"GPRMC\":1},\"checksum_errors\":1,"
                     "\"abandoned\":2,\"gsv_rejected\":1,\"bytes_outside\":5,\"lines_cut\":1}\n");
    EXPECT_EQ(RunTool("--stats --raw " + Quote(file.string())).status, 2);

    // A real capture with one bad checksum: every other sentence is framed, as the default
    // output counts them.
    ZP_REQUIRE_CORPUS();
    const fs::path corpus = CorpusDir();
    const std::string capture = Quote((corpus / "garmin-geko201.log").string());
    const Result stats = RunTool("--stats " + capture);
    EXPECT_NE(stats.out.find("\"checksum_errors\":1,\"abandoned\":0,\"gsv_rejected\":0,"),
              std::string::npos)
        << stats.out;
    int framed = 0; // the sum of the per-identifier counts
    const size_t end = stats.out.find('}');
    for (size_t pos = stats.out.find("\":", stats.out.find(":{") + 2); pos < end;
         pos = stats.out.find("\":", pos + 1)) {
        framed += std::stoi(stats.out.substr(pos + 2));
    }
    EXPECT_NE(RunTool(capture).out.find("\"m_nSentenceCount\":" + std::to_string(framed) + ","),
              std::string::npos);
}

// A u-blox receiver's stream: a frame whose payload holds sentence text (a debug message) is
// no sentence with --frames; the counts per protocol come with --stats --frames.
TEST(NmeaDecodeTool, FramesAreRecognisedAsTheProgramDoes) {
    TempDir tmp;
    const std::string gga =
        Sentence("GPGGA,092750.00,4807.0380,N,01131.0000,E,1,08,0.9,545.4,M,,,");
    const std::string rmc = Sentence("GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,,");
    const std::string inf = frametest::Ubx(0x04, 0x04, rmc); // INF-DEBUG carrying a sentence
    const std::string stream = frametest::NavSat(20) + gga + inf +
                               frametest::Rtcm3("\x3E\xD0\x01") + "xy" +
                               frametest::SkyTraq("\x80\x01") + frametest::Sirf("\x06\x31") + rmc;
    const fs::path file = tmp.Path() / "ubx.bin";
    WriteFileBytes(file, stream);
    const fs::path plain = tmp.Path() / "plain.nmea";
    WriteFileBytes(plain, gga + rmc);
    EXPECT_EQ(RunTool("--frames " + Quote(file.string())).out, RunTool(Quote(plain.string())).out);
    const Result r = RunTool("--stats --frames " + Quote(file.string()));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "{\"sentences\":{\"GPGGA\":1,\"GPRMC\":1},\"checksum_errors\":0,"
                     "\"abandoned\":0,\"gsv_rejected\":0,\"bytes_outside\":2,\"lines_cut\":0,"
                     "\"frames\":{\"ubx\":2,\"rtcm3\":1,\"skytraq\":1,\"sirf\":1}}\n");
    EXPECT_EQ(RunTool("--frames --raw " + Quote(file.string())).status, 2);
}

TEST(NmeaDecodeTool, SyntaxErrorsGoToStandardErrorAndStillExitZero) {
    TempDir tmp;
    const std::string bad = Sentence("GPGSV,9,1,12,01,40,083,46");
    const fs::path file = tmp.Path() / "bad.nmea";
    WriteFileBytes(file, bad + Sentence("GPZDA,201530.00,04,07,2002,00,00"));
    const Result r = RunTool(Quote(file.string()));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "[Syntax Error] " + bad);
    EXPECT_NE(r.out.find("\"m_nZDACount\":1}"), std::string::npos);
}

TEST(NmeaDecodeTool, BadCommandLinesAndInputsExitTwo) {
    TempDir tmp;
    const std::string sample = Quote(Sample().string());
    struct Row {
        const char* label;
        std::string args;
    };
    const Row rows[] = {
        {"unknown option", "--fast " + sample},
        {"missing file", Quote((tmp.Path() / "absent.nmea").string())},
        {"a folder", Quote(tmp.Path().string())},
        {"two files", sample + " " + sample},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        const Result r = RunTool(row.args);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find("nmea-decode: "), std::string::npos) << r.err;
    }
}

TEST(NmeaDecodeTool, OutputDoesNotDependOnTheLocale) {
    const std::string sample = Quote(Sample().string());
    const Result c = RunTool("--every " + sample, "LC_ALL=C ");
    const Result de = RunTool("--every " + sample, "LC_ALL=de_DE.UTF-8 LANG=de_DE.UTF-8 ");
    EXPECT_EQ(de.status, 0);
    EXPECT_EQ(de.out, c.out);
}

TEST(NmeaDecodeTool, BenchPrintsOneFigureLine) {
    const Result r = RunTool("--bench " + Quote(Sample().string()));
    EXPECT_EQ(r.status, 0);
    // bytes=<digits> seconds=<digits>.<digits> MBps=<digits>.<digit>
    size_t pos = 0;
    const auto literal = [&](const char* text) {
        const std::string t = text;
        const bool ok = r.out.compare(pos, t.size(), t) == 0;
        pos += ok ? t.size() : r.out.size();
        return ok;
    };
    const auto digits = [&]() {
        const size_t start = pos;
        while (pos < r.out.size() && r.out[pos] >= '0' && r.out[pos] <= '9') {
            ++pos;
        }
        return pos > start;
    };
    const bool shaped = literal("bytes=") && digits() && literal(" seconds=") && digits() &&
                        literal(".") && digits() && literal(" MBps=") && digits() && literal(".") &&
                        digits() && literal("\n") && pos == r.out.size();
    EXPECT_TRUE(shaped) << r.out;
}

TEST(NmeaDecodeTool, RealReceiverCaptures) {
    ZP_REQUIRE_CORPUS();
    const fs::path corpus = CorpusDir();
    int logs = 0;
    for (const auto& entry : fs::directory_iterator(corpus)) {
        if (entry.path().extension() != ".log") {
            continue;
        }
        SCOPED_TRACE(entry.path().filename().string());
        ++logs;
        const Result r = RunTool(Quote(entry.path().string()));
        EXPECT_EQ(r.status, 0);
        const auto lines = SplitLines(r.out);
        ASSERT_EQ(lines.size(), 1u);
        ExpectJsonShape(lines[0]);
        // A capture without its expected output would be decoded but never checked.
        ASSERT_TRUE(fs::exists(Golden(entry.path()))) << Golden(entry.path());
        EXPECT_EQ(r.out, ReadFileBytes(Golden(entry.path())));
    }
    EXPECT_GT(logs, 0);
}

// --multi-gnss: every default key and one more; the captures of GN receivers against their
// expected outputs.
TEST(NmeaDecodeTool, MultiGnssAddsOneKeyAndDecodesGnReceivers) {
    ZP_REQUIRE_CORPUS();
    const fs::path corpus = CorpusDir();
    std::vector<std::string> keys(std::begin(kKeys), std::end(kKeys));
    keys.push_back("m_multiGnss");
    for (const char* name :
         {"sirfstarv-nmea.log", "ublox-8.log", "ublox-neo-m9n-nmea.log", "quectel.log"}) {
        SCOPED_TRACE(name);
        const Result r = RunTool("--multi-gnss " + Quote((corpus / name).string()));
        EXPECT_EQ(r.status, 0);
        const auto lines = SplitLines(r.out);
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_EQ(TopLevelKeys(lines[0]), keys);
        const fs::path golden =
            SourceDir() / "tests" / "tools" / "golden" / (std::string(name) + ".multi-gnss.json");
        EXPECT_EQ(r.out, ReadFileBytes(golden));
    }
}

} // namespace

// Every executable answers alike, without a display: --version one line, --help the usage on
// standard output, an unknown option the usage on standard error and status 2.
TEST(CommandLines, EveryExecutableAnswersVersionHelpAndUnknownOptions) {
    for (const char* program : {"nmea-decode", "zenithprobe-sim", "zenithprobe"}) {
        SCOPED_TRACE(program);
        if (!fs::exists(BinDir() / program)) {
            continue; // the program itself is built only where wxWidgets is
        }
        const std::string noDisplay = "env -u DISPLAY -u WAYLAND_DISPLAY ";
        const Result version = RunProgram(program, "--version", noDisplay);
        EXPECT_EQ(version.status, 0);
        EXPECT_EQ(version.out, std::string(program) + " " ZP_VERSION "\n");
        const Result help = RunProgram(program, "--help", noDisplay);
        EXPECT_EQ(help.status, 0);
        EXPECT_NE(help.out.find("--version"), std::string::npos) << help.out;
        EXPECT_EQ(help.err, "");
        const Result bad = RunProgram(program, "--no-such-option", noDisplay);
        EXPECT_EQ(bad.status, 2);
        EXPECT_EQ(bad.out, "");
        EXPECT_NE(bad.err.find("--help"), std::string::npos) << bad.err;
    }
}
