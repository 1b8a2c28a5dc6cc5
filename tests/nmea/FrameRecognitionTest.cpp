// Binary frames in the receive path: whole frames with a valid check are handed on and kept out
// of the garbage count; anything else goes by the line rules as without recognition.
#include "FrameTestUtil.h"
#include "NmeaTestUtil.h"
#include "ReceivePath.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace {

using namespace frametest;

struct Outcome {
    std::vector<std::string> events; // each line's text, or "[protocol length]" for a frame
    std::vector<int32_t> garbage;    // the count after each chunk
};

Outcome Recognise(const std::vector<std::string>& chunks, bool recognise) {
    CNmeaParser parser;
    CReceivePath path(parser, nullptr, true);
    path.SetFrameRecognition(recognise);
    Outcome out;
    for (const std::string& chunk : chunks) {
        path.Feed(
            chunk.data(), chunk.size(), 0,
            [&](const ReceivedLine& line) { out.events.emplace_back(line.text, line.length); },
            [&](const ReceivedFrame& frame) {
                out.events.push_back("[" + std::string(FrameProtocolName(frame.protocol)) + " " +
                                     std::to_string(frame.length) + "]");
            });
        out.garbage.push_back(path.Garbage());
    }
    return out;
}

// Cuts bytes into reads of n bytes.
std::vector<std::string> Reads(const std::string& bytes, size_t n) {
    std::vector<std::string> reads;
    for (size_t pos = 0; pos < bytes.size(); pos += n) {
        reads.push_back(bytes.substr(pos, n));
    }
    return reads;
}

const std::string kGga = Sentence("GPGGA,092750.00,4807.0380,N,01131.0000,E,1,08,0.9,545.4,M,,,,");
const std::string kRmc = Sentence("GPRMC,092750.00,A,4807.0380,N,01131.0000,E,0.0,,230394,,,A");
const std::string kPvt = Ubx(0x01, 0x07, std::string(92, '\x11'));
const std::string kSat = NavSat(20);
// Message 1005: number 1005 in the first 12 bits, then station data.
const std::string kRtcm = Rtcm3(std::string("\x3E\xD0") + std::string(17, '\x05'));
const std::string kVenus = SkyTraq("\x80\x01\x02\x03");
const std::string kSirf = Sirf("\x06\x31\x2E\x30");

// Noise at a wrong rate, rich in sync bytes (a third of them).
std::string Noise(unsigned seed) {
    std::mt19937 random(seed);
    std::string noise;
    while (noise.size() < 511 * 4) {
        const auto r = static_cast<uint32_t>(random());
        noise.push_back(r % 3 == 0 ? "\xB5\x62\xD3\xA0\xA1\xA2$\r\n"[(r >> 8) % 9]
                                   : static_cast<char>(r >> 16));
    }
    return noise;
}

std::string Corrupt(std::string frame, size_t at) {
    frame[at] = static_cast<char>(frame[at] ^ 0x01);
    return frame;
}

TEST(FrameRecognition, FramesAmongSentences) {
    const std::string pvtEvent = "[ubx 100]";
    const std::string satEvent = "[ubx " + std::to_string(kSat.size()) + "]";
    const std::string truncatedPvt = kPvt.substr(0, 16); // claims 92 bytes, has 10
    struct Row {
        const char* label;
        std::vector<std::string> chunks;
        std::vector<std::string> events;
        int32_t lastGarbage; // -1: as without recognition; -2: past 100 no later than without
    };
    const Row rows[] = {
        {"a frame resets the count like a line", {"xyz" + kSirf}, {"[sirf 12]"}, 0},
        {"back to back with sentences, in 7-byte reads",
         Reads(kPvt + kSat + kGga + kRtcm + kRmc + kVenus + kSirf + kGga, 7),
         {pvtEvent, satEvent, kGga, "[rtcm3 25]", kRmc, "[skytraq 11]", "[sirf 12]", kGga},
         1},
        {"UBX bad check: the sentence behind it", {Corrupt(kPvt, 99) + kGga}, {kGga}, -1},
        {"RTCM 3 bad CRC", {Corrupt(kRtcm, 10) + kGga}, {kGga}, -1},
        {"SkyTraq bad XOR", {Corrupt(kVenus, 8) + kGga}, {kGga}, -1},
        {"SkyTraq without its CR LF", {Corrupt(kVenus, 9) + kGga}, {kGga}, -1},
        {"SiRF bad sum", {Corrupt(kSirf, 9) + kGga}, {kGga}, -1},
        {"a false sync swallows no sentence",
         {"\xB5\x62\x01\x07\x5C\x00" + kGga + kRmc},
         {kGga, kRmc},
         -1},
        {"truncated frame: the sentences it swallowed come back once its length has arrived",
         {truncatedPvt + kGga, kRmc, kGga},
         {kGga, kRmc, kGga},
         -1},
        {"truncated frame, the next frame inside it",
         {truncatedPvt + kSirf + std::string(80, 'x') + kGga},
         {"[sirf 12]", kGga},
         1},
        {"UBX huge length", {"\xB5\x62\x01\x07\xFF\xFF" + kGga}, {kGga}, -1},
        {"UBX unknown class", {"\xB5\x62\x77\x07\x04\x00" + kGga}, {kGga}, -1},
        {"SkyTraq huge length", {"\xA0\xA1\xFF\xFF" + kGga}, {kGga}, -1},
        {"SiRF 16-bit length", {"\xA0\xA2\x80\x04" + kGga}, {kGga}, -1},
        {"RTCM 3 with bits set before its length", {"\xD3\x40\x13" + kGga}, {kGga}, -1},
        {"A0 followed by neither A1 nor A2", {"\xA0\xA3" + kGga}, {kGga}, -1},
        {"inside a line a sync byte is an ordinary byte",
         {"$GPTXT,\xB5\x62\x01\x07\r\n"},
         {"$GPTXT,\xB5\x62\x01\x07\r\n"},
         -1},
        {"a cut frame right after a sentence's LF is held out of the count",
         {kGga + kSat.substr(0, 150)},
         {kGga},
         1},
        {"a cut frame after other bytes counts", {"xy" + kSat.substr(0, 150)}, {}, 152},
        {"wrong-rate noise 1", Reads(Noise(1), 511), {}, -2},
        {"wrong-rate noise 2", Reads(Noise(2), 511), {}, -2},
        {"wrong-rate noise 3", Reads(Noise(3), 511), {}, -2},
        {"cut frame then its end: whole",
         {"xy" + kSat.substr(0, 150), kSat.substr(150)},
         {satEvent},
         0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        const Outcome on = Recognise(row.chunks, true);
        const Outcome off = Recognise(row.chunks, false);
        if (row.lastGarbage == -2) { // lines of noise are not checked
            const auto pastLimit = [](const Outcome& o) {
                return std::find_if(o.garbage.begin(), o.garbage.end(),
                                    [](int32_t g) { return g > 100; }) -
                       o.garbage.begin();
            };
            EXPECT_LE(pastLimit(on), pastLimit(off));
            continue;
        }
        EXPECT_EQ(on.events, row.events);
        EXPECT_EQ(on.garbage.back(), row.lastGarbage < 0 ? off.garbage.back() : row.lastGarbage);
    }
}

} // namespace
