// Receiver families: every restart command byte for byte with its check computed here from the
// frame rule (never taken from the code under test), the key's strict reading and identification
// fed with lines and frames as a receiver sends them.
#include "ReceiverFamily.h"
#include "BinaryFrames.h"
#include "ReceiverIdentify.h"
#include "RestartCommandBytes.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace {

// "$" body "*" XOR of the body in upper-case hex, CR LF.
std::string Nmea(const std::string& body) {
    unsigned x = 0;
    for (char c : body) {
        x ^= static_cast<uint8_t>(c);
    }
    char sum[4];
    std::snprintf(sum, sizeof sum, "%02X", x);
    return "$" + body + "*" + sum + "\r\n";
}

// B5 62, then class, id, length and payload followed by their Fletcher-8 sums.
std::string Ubx(const std::string& classToPayload) {
    uint8_t a = 0, b = 0;
    for (char c : classToPayload) {
        a = static_cast<uint8_t>(a + static_cast<uint8_t>(c));
        b = static_cast<uint8_t>(b + a);
    }
    return "\xB5\x62" + classToPayload + std::string{static_cast<char>(a), static_cast<char>(b)};
}

// A0 A1, big-endian length, payload, XOR of the payload, CR LF.
std::string SkyTraq(const std::string& payload) {
    uint8_t x = 0;
    for (char c : payload) {
        x ^= static_cast<uint8_t>(c);
    }
    return std::string{'\xA0', '\xA1', static_cast<char>(payload.size() >> 8),
                       static_cast<char>(payload.size() & 0xFF)} +
           payload + static_cast<char>(x) + "\r\n";
}

std::string Bytes(std::initializer_list<int> values) {
    std::string s;
    for (int v : values) {
        s.push_back(static_cast<char>(v));
    }
    return s;
}

TEST(ReceiverFamilyTest, RestartCommandsKeepTheirFrameRules) {
    const std::string zeros13(13, '\0');
    struct Row {
        const char* label;
        ReceiverFamily family;
        int32_t kind;
        std::string expected;
    } rows[] = {
        {"ubx cold", ReceiverFamily::Ubx, kStartCold, Ubx(Bytes({6, 4, 4, 0, 0xFF, 0xFF, 2, 0}))},
        {"ubx warm", ReceiverFamily::Ubx, kStartWarm, Ubx(Bytes({6, 4, 4, 0, 1, 0, 2, 0}))},
        {"ubx hot", ReceiverFamily::Ubx, kStartHot, Ubx(Bytes({6, 4, 4, 0, 0, 0, 2, 0}))},
        {"mtk cold", ReceiverFamily::Mtk, kStartCold, Nmea("PMTK103")},
        {"mtk warm", ReceiverFamily::Mtk, kStartWarm, Nmea("PMTK102")},
        {"mtk hot", ReceiverFamily::Mtk, kStartHot, Nmea("PMTK101")},
        {"airoha cold", ReceiverFamily::Airoha, kStartCold, Nmea("PAIR006")},
        {"airoha warm", ReceiverFamily::Airoha, kStartWarm, Nmea("PAIR005")},
        {"airoha hot", ReceiverFamily::Airoha, kStartHot, Nmea("PAIR004")},
        {"quectel cold", ReceiverFamily::QuectelLg, kStartCold, Nmea("PQTMCOLD")},
        {"quectel warm", ReceiverFamily::QuectelLg, kStartWarm, Nmea("PQTMWARM")},
        {"quectel hot", ReceiverFamily::QuectelLg, kStartHot, Nmea("PQTMHOT")},
        {"skytraq cold", ReceiverFamily::SkyTraq, kStartCold, SkyTraq("\x01\x03" + zeros13)},
        {"skytraq warm", ReceiverFamily::SkyTraq, kStartWarm, SkyTraq("\x01\x02" + zeros13)},
        {"skytraq hot", ReceiverFamily::SkyTraq, kStartHot, SkyTraq("\x01\x01" + zeros13)},
        {"casic cold", ReceiverFamily::Casic, kStartCold, Nmea("PCAS10,2")},
        {"casic warm", ReceiverFamily::Casic, kStartWarm, Nmea("PCAS10,1")},
        {"casic hot", ReceiverFamily::Casic, kStartHot, Nmea("PCAS10,0")},
        {"none", ReceiverFamily::None, kStartCold, ""},
        {"no kind", ReceiverFamily::Ubx, kStartNone, ""},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.label);
        EXPECT_EQ(FamilyRestartCommand(r.family, r.kind), r.expected);
    }
    // The probes, by the same rules.
    EXPECT_EQ(CReceiverIdentifier::ProbeOf(ReceiverFamily::Ubx), Ubx(Bytes({10, 4, 0, 0})));
    EXPECT_EQ(CReceiverIdentifier::ProbeOf(ReceiverFamily::SkyTraq), SkyTraq("\x02\x01"));
    EXPECT_EQ(CReceiverIdentifier::ProbeOf(ReceiverFamily::Casic), Nmea("PCAS06,0"));
}

TEST(ReceiverFamilyTest, TheKeyIsReadStrictly) {
    struct Row {
        const char* text;
        bool ok;
        ReceiverFamily family;
        bool automatic;
    } rows[] = {
        {"", true, ReceiverFamily::None, false},
        {"auto", true, ReceiverFamily::None, true},
        {"ubx", true, ReceiverFamily::Ubx, false},
        {"quectel-lg", true, ReceiverFamily::QuectelLg, false},
        {"casic", true, ReceiverFamily::Casic, false},
        {"UBX", false, ReceiverFamily::None, false},
        {" mtk", false, ReceiverFamily::None, false},
        {"auto ", false, ReceiverFamily::None, false},
        {"sony-sirf", false, ReceiverFamily::None, false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(std::string("\"") + r.text + "\"");
        ReceiverSetting s{ReceiverFamily::Mtk, true};
        std::string error;
        EXPECT_EQ(ParseReceiverSetting(r.text, "RECEIVER", &s, &error), r.ok);
        if (r.ok) {
            EXPECT_EQ(s.family, r.family);
            EXPECT_EQ(s.automatic, r.automatic);
            EXPECT_EQ(ReceiverSettingText(s), std::string(r.text));
        } else {
            EXPECT_EQ(error.rfind("RECEIVER: unknown receiver", 0), 0u) << error;
        }
    }
}

// One event of a receiver's side: a line or a frame at a time (ms), or a tick.
struct Event {
    uint32_t atMs;
    std::string bytes; // empty: a tick
    bool frame = false;
    FrameProtocol protocol = FrameProtocol::Ubx;
};

std::string Padded(const std::string& text, size_t size) {
    std::string out = text;
    out.resize(size, '\0');
    return out;
}

TEST(ReceiverFamilyTest, IdentificationFromLinesAndFrames) {
    const std::string monVer =
        Ubx(Bytes({0x0A, 0x04, 70, 0}) + Padded("ROM CORE 3.01 (107888)", 30) +
            Padded("00080000", 10) + Padded("PROTVER=18.00", 30));
    const std::string skyVersion = SkyTraq(Bytes({0x80, 1, 0, 2, 0, 2, 0, 1, 3, 0, 0, 26, 12, 7}));
    struct Row {
        const char* label;
        std::vector<Event> events;
        std::vector<ReceiverFamily> probes; // in the order sent
        std::string result;                 // IdentityLine
        uint32_t doneMs;                    // when the result came
    } rows[] = {
        {"silent receiver: every family asked, 1.5 s + 6 x 1 s",
         {{100, ""},
          {1500, ""},
          {2500, ""},
          {3500, ""},
          {4500, ""},
          {5500, ""},
          {6500, ""},
          {7400, ""},
          {7500, ""}},
         {ReceiverFamily::Ubx, ReceiverFamily::Mtk, ReceiverFamily::Airoha,
          ReceiverFamily::QuectelLg, ReceiverFamily::SkyTraq, ReceiverFamily::Casic},
         "not identified",
         7500},
        {"u-blox answers MON-VER",
         {{1500, ""}, {1600, Nmea("GPGGA,,,,,,0,00,,,,,,,")}, {1650, monVer, true}},
         {ReceiverFamily::Ubx},
         "ubx: u-blox \u00B7 ROM CORE 3.01 (107888) \u00B7 00080000 \u00B7 PROTVER=18.00",
         1650},
        {"SkyTraq: ACK, then its version",
         {{1500, ""},
          {2500, ""},
          {3500, ""},
          {4500, ""},
          {5500, ""},
          {5520, SkyTraq("\x83\x02"), true, FrameProtocol::SkyTraq},
          {5540, skyVersion, true, FrameProtocol::SkyTraq}},
         {ReceiverFamily::Ubx, ReceiverFamily::Mtk, ReceiverFamily::Airoha,
          ReceiverFamily::QuectelLg, ReceiverFamily::SkyTraq},
         "skytraq: SkyTraq \u00B7 kernel 2.0.2 \u00B7 ODM 1.3.0 \u00B7 revision 261207",
         5540},
        {"u-blox banner: asked first, its texts when it does not answer",
         {{300, Nmea("GNTXT,01,01,02,u-blox AG - www.u-blox.com")},
          {310, Nmea("GNTXT,01,01,02,HW UBX-M8030 00080000")},
          {1300, ""}},
         {ReceiverFamily::Ubx},
         "ubx: u-blox \u00B7 HW UBX-M8030 00080000",
         1300},
        {"a late answer still counts",
         {{1500, ""}, {2500, ""}, {2600, Nmea("PQTMVERNO,LC29HEANR11A03S,2023/03/14,17:05:13")}},
         {ReceiverFamily::Ubx, ReceiverFamily::Mtk},
         "quectel-lg: Quectel LG \u00B7 LC29HEANR11A03S \u00B7 2023/03/14 \u00B7 17:05:13",
         2600},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.label);
        CReceiverIdentifier id;
        std::vector<ReceiverFamily> probes;
        uint32_t doneMs = 0;
        auto take = [&](const IdentifyStep& step, uint32_t at) {
            if (!step.send.empty()) {
                EXPECT_EQ(step.send, CReceiverIdentifier::ProbeOf(step.probe));
                probes.push_back(step.probe);
            }
            if (step.done) {
                EXPECT_EQ(doneMs, 0u) << "done twice";
                doneMs = at;
            }
        };
        take(id.Start(0), 0);
        for (const Event& e : r.events) {
            if (e.bytes.empty()) {
                take(id.Tick(e.atMs), e.atMs);
            } else if (e.frame) {
                ReceivedFrame f{e.protocol, reinterpret_cast<const uint8_t*>(e.bytes.data()),
                                e.bytes.size(), e.atMs};
                take(id.Frame(f), e.atMs);
            } else {
                take(id.Line(e.bytes, e.atMs), e.atMs);
            }
        }
        EXPECT_EQ(probes, r.probes);
        EXPECT_EQ(doneMs, r.doneMs);
        if (r.doneMs != 0) {
            EXPECT_EQ(IdentityLine(id.Result()), r.result);
        }
    }
}

} // namespace
