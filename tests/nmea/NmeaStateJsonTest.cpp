// The JSON dump of the parser's state: key order, number formats and escaping.
#include "NmeaStateJson.h"
#include "NmeaParser.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <limits>
#include <string>
#include <utility>

namespace {

std::string Value(const std::string& json, const std::string& key) {
    const std::string tag = "\"" + key + "\":";
    const size_t at = json.find(tag);
    if (at == std::string::npos) {
        return "<missing>";
    }
    const size_t from = at + tag.size();
    size_t to = from;
    if (json[from] == '"') {
        to = json.find('"', from + 1);
        while (to != std::string::npos && json[to - 1] == '\\' && json[to - 2] != '\\') {
            to = json.find('"', to + 1);
        }
        return json.substr(from, to + 1 - from);
    }
    to = json.find_first_of(",}]", from);
    return json.substr(from, to - from);
}

TEST(NmeaStateJson, NumbersAsPrintfInTheCLocale) {
    CNmeaParser p;
    p.m_dGGALatitude = 48.1173;
    p.m_dGGALongitude = -11.516666666666666;
    p.m_dGGAHdop = 1e300;
    p.m_dGGAAltitude = -0.0;
    p.m_dGSAPdop = std::numeric_limits<double>::infinity();
    p.m_dGSAHdop = -std::numeric_limits<double>::infinity();
    p.m_dGSAVdop = std::numeric_limits<double>::quiet_NaN();
    p.m_dRMCSpeed = 5e-324;
    p.m_nSentenceCount = -7;
    p.m_wRMCYear = 65535;
    const std::string json = NmeaStateJson(p);
    const std::pair<const char*, double> printed[] = {
        {"m_dGGALatitude", p.m_dGGALatitude}, {"m_dGGALongitude", p.m_dGGALongitude},
        {"m_dGGAHdop", p.m_dGGAHdop},         {"m_dGGAAltitude", p.m_dGGAAltitude},
        {"m_dRMCSpeed", p.m_dRMCSpeed},
    };
    for (const auto& [key, v] : printed) {
        SCOPED_TRACE(key);
        char want[64];
        std::snprintf(want, sizeof want, "%.17g", v);
        EXPECT_EQ(Value(json, key), want);
    }
    EXPECT_EQ(Value(json, "m_dGSAPdop"), "\"inf\"");
    EXPECT_EQ(Value(json, "m_dGSAHdop"), "\"-inf\"");
    EXPECT_EQ(Value(json, "m_dGSAVdop"), "\"nan\"");
    EXPECT_EQ(Value(json, "m_nSentenceCount"), "-7");
    EXPECT_EQ(Value(json, "m_wRMCYear"), "65535");
    EXPECT_EQ(Value(json, "m_cGSAMode"), "\"M\"");
    EXPECT_EQ(json.find('\n'), std::string::npos);
    EXPECT_EQ(json.find(' '), std::string::npos);
}

TEST(NmeaStateJson, TextEscaping) {
    CNmeaParser p;
    std::snprintf(p.m_szRMBOrigin, sizeof p.m_szRMBOrigin, "a\"b\\c\x01\x7f\xe9~");
    for (char& c : p.m_szSentenceId) {
        c = 'X'; // no zero at all: the full size is written
    }
    p.m_cRMBSteer = '\0';
    p.m_cRMBArrival = '"';
    const std::string json = NmeaStateJson(p);
    EXPECT_EQ(Value(json, "m_szRMBOrigin"), R"("a\"b\\c\u0001\u007F\u00E9~")");
    EXPECT_EQ(Value(json, "m_szSentenceId"), "\"XXXXXXXX\"");
    EXPECT_EQ(Value(json, "m_cRMBSteer"), R"("\u0000")");
    EXPECT_EQ(Value(json, "m_cRMBArrival"), R"("\"")");
    EXPECT_EQ(Value(json, "m_szRMBDestination"), "\"\"");
}

TEST(NmeaStateJson, ArraysOfPrnsAndSatellites) {
    CNmeaParser p;
    p.m_wGSAPrn[0] = 4;
    p.m_wGSAPrn[11] = 24;
    p.m_Satellites[35] = SatelliteInfo{7, 45, 1, 270, 15};
    const std::string json = NmeaStateJson(p);
    EXPECT_NE(json.find("\"m_wGSAPrn\":[4,0,0,0,0,0,0,0,0,0,0,24,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,"
                        "0,0,0,0,0,0,0,0,0],\"m_dGSAPdop\""),
              std::string::npos);
    EXPECT_NE(json.find("{\"wPrn\":7,\"wSnr\":45,\"bUsed\":1,\"wAzimuth\":270,\"wElevation\":15}]"
                        ",\"m_nGSVCount\":0"),
              std::string::npos);
}

} // namespace
