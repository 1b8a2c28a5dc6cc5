// The field extractor, the six decoders, a multi-epoch replay and the locale case.
#include "NmeaParser.h"
#include "NmeaStateJson.h"
#include "NmeaTestUtil.h"
#include "ReceivePath.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <locale.h>
#include <string>

namespace {

// Decodes each sentence text ("GPGGA,...") in order on one parser.
CNmeaParser Decode(std::initializer_list<std::string> texts) {
    CNmeaParser p;
    for (const std::string& t : texts) {
        Feed(p, Sentence(t));
    }
    return p;
}

TEST(NmeaGetField, Extraction) {
    struct Row {
        const char* body;
        int index;
        int size;
        int result;
        const char* text;
    };
    const Row rows[] = {
        {"a,bb,,d*e,f", 0, 25, 1, "a"},
        {"a,bb,,d*e,f", 1, 25, 1, "bb"},
        {"a,bb,,d*e,f", 2, 25, 0, ""},
        {"a,bb,,d*e,f", 3, 25, 1, "d"}, // ends at '*'
        {"a,bb,,d*e,f", 4, 25, 1, "f"}, // only commas count when walking
        {"a,bb,,d*e,f", 5, 25, 0, ""},
        {"", 0, 25, 0, ""},
        {"", 3, 25, 0, ""},
        {",x", 0, 25, 0, ""},
        {",x", 1, 25, 1, "x"},
        {"*x,y", 0, 25, 0, ""},
        {"*x,y", 1, 25, 1, "y"},
        {"abc,", 1, 25, 0, ""},
        {"abcdefghij", 0, 4, 1, "abc"},
        {"abcdefghij", 0, 1, 1, ""},
        {"abc,def", -1, 25, 1, "abc"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.body) + " #" + std::to_string(row.index));
        char dest[32];
        std::memset(dest, '#', sizeof dest);
        EXPECT_EQ(CNmeaParser::GetField(row.body, dest, row.index, row.size), row.result);
        EXPECT_STREQ(dest, row.text);
    }
    char dest[4] = "old";
    EXPECT_EQ(CNmeaParser::GetField("abc", dest, 0, 0), 0);
    EXPECT_EQ(CNmeaParser::GetField(nullptr, dest, 0, 4), 0);
    EXPECT_STREQ(dest, "old");
    EXPECT_EQ(CNmeaParser::GetField("abc", nullptr, 0, 4), 0);
}

TEST(NmeaGga, PositionTimeAndFixFields) {
    CNmeaParser p = Decode({"GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,"});
    EXPECT_EQ(p.m_btGGAHour, 12);
    EXPECT_EQ(p.m_btGGAMinute, 35);
    EXPECT_EQ(p.m_btGGASecond, 19);
    EXPECT_EQ(p.m_dGGALatitude, 48.0 + 7.038 * (1.0 / 60.0));
    // Minutes times the double nearest 1/60; dividing by 60 would give ...667.
    EXPECT_EQ(p.m_dGGALongitude, 11.516666666666666);
    EXPECT_EQ(p.m_btGGAQuality, 1);
    EXPECT_EQ(p.m_btGGASatellites, 8);
    EXPECT_EQ(p.m_dGGAHdop, 0.9);
    EXPECT_EQ(p.m_dGGAAltitude, 545.4);

    p = Decode({"GPGGA,123519,4807.038,S,01131.000,W,6,123,,,M,,M,,"});
    EXPECT_EQ(p.m_dGGALatitude, -(48.0 + 7.038 * (1.0 / 60.0)));
    EXPECT_EQ(p.m_dGGALongitude, -11.516666666666666);
    EXPECT_EQ(p.m_btGGAQuality, 6);
    EXPECT_EQ(p.m_btGGASatellites, 12); // first two characters only
}

// The campaign's epoch times and ellipsoidal heights: the time's fraction and the geoid
// separation, and whether the last GGA carried them at all.
TEST(NmeaGga, TimeFractionAndGeoidSeparation) {
    struct Row {
        const char* label;
        const char* sentence;
        uint16_t ms;
        bool timeValid;
        bool hasGeoid;
        double geoid;
    };
    const Row rows[] = {
        {"whole seconds", "GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,", 0, true,
         true, 46.9},
        {"two digits", "GPGGA,235959.25,4807.038,N,01131.000,E,1,08,0.9,545.4,M,-3.5,M,,", 250,
         true, true, -3.5},
        {"four digits", "GPGGA,000000.1239,,,,,0,00,,,M,,M,,", 123, true, false, 0.0},
        {"no time", "GPGGA,,,,,,0,00,,,M,,M,,", 0, false, false, 0.0},
        {"not digits", "GPGGA,120000.x5,,,,,0,00,,,M,,M,,", 0, true, false, 0.0},
    };
    for (const Row& row : rows) {
        const CNmeaParser p = Decode({row.sentence});
        EXPECT_EQ(p.m_wGGAMillisecond, row.ms) << row.label;
        EXPECT_EQ(p.m_bGGATimeValid, row.timeValid) << row.label;
        EXPECT_EQ(p.m_bGGAHasGeoid, row.hasGeoid) << row.label;
        EXPECT_EQ(p.m_dGGAGeoidSeparation, row.geoid) << row.label;
    }
}

TEST(NmeaGga, EmptyFieldsKeepAndHemisphereNegatesWhatIsStored) {
    CNmeaParser p = Decode({"GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,"});
    const double lat = p.m_dGGALatitude;
    Feed(p, Sentence("GPGGA,,,S,,,,,,,M,,M,,"));
    EXPECT_EQ(p.m_dGGALatitude, -lat);
    EXPECT_EQ(p.m_btGGAHour, 12);
    EXPECT_EQ(p.m_btGGAQuality, 1);
    EXPECT_EQ(p.m_btGGASatellites, 8);
    EXPECT_EQ(p.m_dGGAAltitude, 545.4);
    Feed(p, Sentence("GPGGA,,,S,,,,,,,M,,M,,"));
    EXPECT_EQ(p.m_dGGALatitude, lat);
    EXPECT_EQ(p.m_nGGACount, 3);
}

TEST(NmeaGga, ClimbRate) {
    CNmeaParser p;
    Feed(p, Sentence("GPGGA,120010,4807.038,N,01131.000,E,1,08,0.9,100.0,M,,M,,"));
    Feed(p, Sentence("GPGGA,120040,4807.038,N,01131.000,E,1,08,0.9,110.0,M,,M,,"));
    EXPECT_DOUBLE_EQ(p.m_dGGAClimbRate, 20.0); // 10 m in half a minute
    // Same second again: rate kept, stored altitude updated.
    Feed(p, Sentence("GPGGA,120040,4807.038,N,01131.000,E,1,08,0.9,130.0,M,,M,,"));
    EXPECT_DOUBLE_EQ(p.m_dGGAClimbRate, 20.0);
    EXPECT_EQ(p.m_dGGALastAltitude, 130.0);
    EXPECT_EQ(p.m_nGGALastSecond, 40);
    // Minute wrapping at the full hour is not an advance either.
    Feed(p, Sentence("GPGGA,125959,,,,,1,08,0.9,100.0,M,,M,,"));
    const double rate = p.m_dGGAClimbRate;
    Feed(p, Sentence("GPGGA,130000,,,,,1,08,0.9,200.0,M,,M,,"));
    EXPECT_EQ(p.m_dGGAClimbRate, rate);
}

TEST(NmeaGga, ShortFieldsReadMissingCharactersAsAbsent) {
    struct Row {
        const char* time;
        int hour, minute, second;
    };
    const Row rows[] = {{"12", 12, 0, 0},
                        {"1234", 12, 34, 0},
                        {"12345", 12, 34, 5},
                        {"1", 1, 0, 0},
                        {"123456", 12, 34, 56}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.time);
        CNmeaParser p = Decode({std::string("GPGGA,") + row.time + ",4,N,011,E,,,,"});
        EXPECT_EQ(p.m_btGGAHour, row.hour);
        EXPECT_EQ(p.m_btGGAMinute, row.minute);
        EXPECT_EQ(p.m_btGGASecond, row.second);
        EXPECT_EQ(p.m_dGGALatitude, 4.0);
        EXPECT_EQ(p.m_dGGALongitude, 11.0);
    }
}

TEST(NmeaGga, FieldsAreCutTo24Characters) {
    const std::string zeros(24, '0');
    CNmeaParser p = Decode({"GPGGA,,,,,,,," + zeros + "5," + zeros + "7,M"});
    EXPECT_EQ(p.m_dGGAHdop, 0.0);
    EXPECT_EQ(p.m_dGGAAltitude, 0.0);
}

TEST(NmeaGsa, FixModePrnsAndDop) {
    CNmeaParser p = Decode({"GPGSA,A,3,04,05,,09,120,,,24,,,,,2.5,1.3,2.1"});
    EXPECT_EQ(p.m_cGSAMode, 'A');
    EXPECT_EQ(p.m_btGSAFixMode, 3);
    const uint16_t expected[12] = {4, 5, 0, 9, 12, 0, 0, 24, 0, 0, 0, 0};
    for (int i = 0; i < 36; ++i) {
        EXPECT_EQ(p.m_wGSAPrn[i], i < 12 ? expected[i] : 0) << i;
    }
    EXPECT_EQ(p.m_dGSAPdop, 2.5);
    EXPECT_EQ(p.m_dGSAHdop, 1.3);
    EXPECT_EQ(p.m_dGSAVdop, 2.1);

    // Empty mode and fix keep; empty PRNs and DOPs clear.
    Feed(p, Sentence("GPGSA,,,07"));
    EXPECT_EQ(p.m_cGSAMode, 'A');
    EXPECT_EQ(p.m_btGSAFixMode, 3);
    EXPECT_EQ(p.m_wGSAPrn[0], 7);
    EXPECT_EQ(p.m_wGSAPrn[1], 0);
    EXPECT_EQ(p.m_wGSAPrn[7], 0);
    EXPECT_EQ(p.m_dGSAPdop, 0.0);
    EXPECT_EQ(p.m_nGSACount, 2);

    Feed(p, Sentence("GPGSA,M,1,-5"));
    EXPECT_EQ(p.m_btGSAFixMode, 1);
    EXPECT_EQ(p.m_wGSAPrn[0], 65531); // -5 kept to 16 bits
}

TEST(NmeaGsv, EntriesFollowTheMessageNumber) {
    struct Row {
        const char* label;
        const char* text;
        int firstEntry;
    };
    const Row rows[] = {
        {"first of three", "GPGSV,3,1,11,03,03,111,00,04,15,270,00,06,01,010,00,13,06,292,00", 0},
        {"third of three", "GPGSV,3,3,11,03,03,111,00,04,15,270,00,06,01,010,00,13,06,292,00", 8},
        {"fourth of three", "GPGSV,3,4,11,03,03,111,00,04,15,270,00,06,01,010,00,13,06,292,00", 12},
        {"ninth of eight", "GPGSV,8,9,11,03,03,111,00,04,15,270,00,06,01,010,00,13,06,292,00", 32},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        CNmeaParser p;
        EXPECT_EQ(Feed(p, Sentence(row.text)), 1);
        EXPECT_EQ(p.m_nGSVCount, 1);
        EXPECT_EQ(p.m_wGSVSatellites, 11);
        const SatelliteInfo& s = p.m_Satellites[row.firstEntry + 1];
        EXPECT_EQ(s.wPrn, 4);
        EXPECT_EQ(s.wElevation, 15);
        EXPECT_EQ(s.wAzimuth, 270);
        EXPECT_EQ(s.wSnr, 0);
        EXPECT_EQ(p.m_Satellites[row.firstEntry + 3].wPrn, 13);
        int filled = 0;
        for (const SatelliteInfo& e : p.m_Satellites) {
            filled += e.wPrn != 0 ? 1 : 0;
        }
        EXPECT_EQ(filled, 4);
    }
}

TEST(NmeaGsv, Rejections) {
    struct Row {
        const char* label;
        const char* text;
        int satellites; // m_wGSVSatellites afterwards
    };
    const Row rows[] = {
        {"nine messages", "GPGSV,9,1,11,03,03,111,00", 5},
        {"zero messages", "GPGSV,0,1,11,03,03,111,00", 5},
        {"empty message count", "GPGSV,,1,11,03,03,111,00", 5},
        {"message ten", "GPGSV,3,10,11,03,03,111,00", 5},
        {"message zero", "GPGSV,3,0,11,03,03,111,00", 5},
        {"empty message number", "GPGSV,3,,11,03,03,111,00", 5},
        {"forty in view", "GPGSV,3,1,40,03,03,111,00", 12},
        {"empty body", "GPGSV,", 5},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        CNmeaParser p;
        Feed(p, Sentence("GPGSV,2,2,05,07,10,100,30"));
        const std::string before = NmeaStateJson(p);
        EXPECT_EQ(Feed(p, Sentence(row.text)), 0);
        EXPECT_EQ(p.m_nGSVCount, 1);
        EXPECT_EQ(p.m_nSentenceCount, 2);
        EXPECT_EQ(p.m_wGSVSatellites, row.satellites);
        EXPECT_EQ(p.m_Satellites[0].wPrn, 0);
        EXPECT_EQ(p.m_Satellites[4].wPrn, 7);
    }
}

TEST(NmeaGsv, ShortLastMessageUsedFlagsAndEmptyValues) {
    CNmeaParser p;
    Feed(p, Sentence("GPGSA,A,3,04,05,,09,12,,,24,,,,,2.5,1.3,2.1"));
    Feed(p, Sentence("GPGSV,2,2,08,04,77,291,,05,12,045,33,09,05,170,,24,60,150,47"));
    Feed(p, Sentence("GPGSV,2,2,06,12,07,344,39,06,,,"));
    EXPECT_EQ(p.m_wGSVSatellites, 6);
    const SatelliteInfo& a = p.m_Satellites[4];
    EXPECT_EQ(a.wPrn, 12);
    EXPECT_EQ(a.bUsed, 1);
    EXPECT_EQ(a.wSnr, 39);
    const SatelliteInfo& b = p.m_Satellites[5];
    EXPECT_EQ(b.wPrn, 6);
    EXPECT_EQ(b.bUsed, 0);
    EXPECT_EQ(b.wElevation, 0);
    EXPECT_EQ(b.wSnr, 0);
    for (int i = 6; i < 8; ++i) {
        const SatelliteInfo& z = p.m_Satellites[i];
        EXPECT_EQ(z.wPrn + z.wSnr + z.bUsed + z.wAzimuth + z.wElevation, 0) << i;
    }
    // Empty count of satellites in view keeps the last one.
    Feed(p, Sentence("GPGSV,2,1,,01,40,083,46"));
    EXPECT_EQ(p.m_wGSVSatellites, 6);
    EXPECT_EQ(p.m_Satellites[0].bUsed, 0);
}

TEST(NmeaRmb, WaypointFields) {
    CNmeaParser p = Decode({"GPRMB,A,0.66,L,003,004,4917.24,N,12309.57,W,001.3,052.5,000.5,A"});
    EXPECT_EQ(p.m_cRMBStatus, 'A');
    EXPECT_EQ(p.m_dRMBCrossTrack, 0.66);
    EXPECT_EQ(p.m_cRMBSteer, 'L');
    EXPECT_STREQ(p.m_szRMBOrigin, "003");
    EXPECT_STREQ(p.m_szRMBDestination, "004");
    EXPECT_EQ(p.m_dRMBDestLatitude, 49.0 + 17.24 * (1.0 / 60.0));
    EXPECT_EQ(p.m_dRMBDestLongitude, -(123.0 + 9.57 * (1.0 / 60.0)));
    EXPECT_EQ(p.m_dRMBRange, 1.3);
    EXPECT_EQ(p.m_dRMBBearing, 52.5);
    EXPECT_EQ(p.m_dRMBClosingSpeed, 0.5);
    EXPECT_EQ(p.m_cRMBArrival, 'A');

    // Empty fields: defaults for most, the stored position kept.
    const std::string longName = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123";
    Feed(p, Sentence("GPRMB,,0.5,,," + longName + ",,,,,,,0.7,"));
    EXPECT_EQ(p.m_cRMBStatus, 'V');
    EXPECT_EQ(p.m_dRMBCrossTrack, 0.5);
    EXPECT_EQ(p.m_cRMBSteer, '?');
    EXPECT_STREQ(p.m_szRMBOrigin, "");
    EXPECT_EQ(std::string(p.m_szRMBDestination), longName.substr(0, 24));
    EXPECT_EQ(p.m_dRMBDestLatitude, 49.0 + 17.24 * (1.0 / 60.0));
    EXPECT_EQ(p.m_dRMBRange, 0.0);
    EXPECT_EQ(p.m_dRMBClosingSpeed, 0.7);
    EXPECT_EQ(p.m_cRMBArrival, 'V');
    EXPECT_EQ(p.m_nRMBCount, 2);
}

TEST(NmeaRmc, AllFields) {
    CNmeaParser p = Decode({"GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W"});
    EXPECT_EQ(p.m_btRMCHour, 12);
    EXPECT_EQ(p.m_btRMCMinute, 35);
    EXPECT_EQ(p.m_btRMCSecond, 19);
    EXPECT_EQ(p.m_cRMCStatus, 'A');
    EXPECT_EQ(p.m_dRMCLatitude, 48.0 + 7.038 * (1.0 / 60.0));
    EXPECT_EQ(p.m_dRMCLongitude, 11.516666666666666);
    EXPECT_EQ(p.m_dRMCSpeed, 22.4);
    EXPECT_EQ(p.m_dRMCCourse, 84.4);
    EXPECT_EQ(p.m_btRMCDay, 23);
    EXPECT_EQ(p.m_btRMCMonth, 3);
    EXPECT_EQ(p.m_wRMCYear, 2094); // always 2000 + the two digits
    EXPECT_EQ(p.m_dRMCMagVariation, -3.1);

    Feed(p, Sentence("GPRMC,235959.999,,,S,,,,,311299,,E,extra,fields"));
    EXPECT_EQ(p.m_btRMCHour, 23);
    EXPECT_EQ(p.m_btRMCSecond, 59);
    EXPECT_EQ(p.m_cRMCStatus, 'V');
    EXPECT_EQ(p.m_dRMCLatitude, -(48.0 + 7.038 * (1.0 / 60.0)));
    EXPECT_EQ(p.m_dRMCSpeed, 0.0);
    EXPECT_EQ(p.m_btRMCDay, 31);
    EXPECT_EQ(p.m_btRMCMonth, 12);
    EXPECT_EQ(p.m_wRMCYear, 2099);
    EXPECT_EQ(p.m_dRMCMagVariation, 0.0);

    Feed(p, Sentence("GPRMC,,A,,,,,,,3112,,"));
    EXPECT_EQ(p.m_btRMCDay, 31);
    EXPECT_EQ(p.m_btRMCMonth, 12);
    EXPECT_EQ(p.m_wRMCYear, 2000); // year digits absent
    EXPECT_EQ(p.m_nRMCCount, 3);
}

TEST(NmeaZda, TimeDateAndZone) {
    CNmeaParser p = Decode({"GPZDA,201530.00,04,07,2002,-5,45"});
    EXPECT_EQ(p.m_btZDAHour, 20);
    EXPECT_EQ(p.m_btZDAMinute, 15);
    EXPECT_EQ(p.m_btZDASecond, 30);
    EXPECT_EQ(p.m_btZDADay, 4);
    EXPECT_EQ(p.m_btZDAMonth, 7);
    EXPECT_EQ(p.m_wZDAYear, 2002);
    EXPECT_EQ(p.m_btZDAZoneHour, 251);
    EXPECT_EQ(p.m_btZDAZoneMinute, 45);
    Feed(p, Sentence("GPZDA,,,,,,"));
    EXPECT_EQ(p.m_btZDAHour, 20);
    EXPECT_EQ(p.m_btZDADay, 1);
    EXPECT_EQ(p.m_btZDAMonth, 1);
    EXPECT_EQ(p.m_wZDAYear, 1); // not 2000
    EXPECT_EQ(p.m_btZDAZoneHour, 0);
    EXPECT_EQ(p.m_btZDAZoneMinute, 0);
    EXPECT_EQ(p.m_nZDACount, 2);
}

TEST(NmeaDecoders, EmptyBodyDecodesAsAllFieldsEmpty) {
    CNmeaParser p;
    Feed(p, "$GPRMC,\r\n$GPGGA,*");
    Feed(p, NmeaChecksumHex(NmeaChecksum("GPGGA,")) + "\r\n");
    EXPECT_EQ(p.m_nRMCCount, 1);
    EXPECT_EQ(p.m_cRMCStatus, 'V');
    EXPECT_EQ(p.m_nGGACount, 1);
    EXPECT_EQ(p.m_btGGAHour, 0);
    EXPECT_EQ(Feed(p, "$GPGSV,\r\n"), 0);
}

// Three one-second epochs as a receiver sends them, the third in 2D with fewer satellites.
// Expected values are worked out from the sentences by hand.
const char* const kReplay[] = {
    "GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,",
    "GPGSA,A,3,04,05,,09,12,,,24,,,,,2.5,1.3,2.1",
    "GPGSV,2,1,08,01,40,083,46,02,17,308,41,12,07,344,39,14,22,228,45",
    "GPGSV,2,2,08,04,77,291,,05,12,045,33,09,05,170,,24,60,150,47",
    "GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W",
    "GPGGA,123520,4807.040,N,01131.002,E,1,08,0.9,545.9,M,46.9,M,,",
    "GPGSA,A,3,04,05,,09,12,,,24,,,,,2.5,1.3,2.1",
    "GPGSV,2,1,08,01,40,083,47,02,17,308,40,12,07,344,,14,22,228,45",
    "GPGSV,2,2,08,04,77,291,30,05,12,045,33,09,05,170,,24,60,150,48",
    "GPRMC,123520,A,4807.040,N,01131.002,E,022.5,084.6,230394,003.1,W",
    "GPVTG,084.6,T,081.5,M,022.5,N,041.7,K",
    "GPGGA,123521,4807.041,S,01131.004,W,1,05,1.5,546.9,M,46.9,M,,",
    "GPGSA,A,2,04,05,,09,12,,,,,,,,3.5,1.5,",
    "GPGSV,2,1,07,01,40,083,46,02,17,308,41,12,07,344,39,14,22,228,45",
    "GPGSV,2,2,07,04,77,291,44,05,12,045,33,09,05,170,28",
    "GPRMC,123521,A,4807.041,S,01131.004,W,022.6,084.8,230394,003.1,W",
    "GPZDA,123521.00,23,03,1994,-01,30",
};

void CheckReplayed(const CNmeaParser& p) {
    EXPECT_EQ(p.m_nSentenceCount, 17);
    EXPECT_EQ(p.m_nGGACount, 3);
    EXPECT_EQ(p.m_nGSACount, 3);
    EXPECT_EQ(p.m_nGSVCount, 6);
    EXPECT_EQ(p.m_nRMCCount, 3);
    EXPECT_EQ(p.m_nZDACount, 1);
    EXPECT_EQ(p.m_nRMBCount, 0);

    EXPECT_EQ(p.m_btGGASecond, 21);
    EXPECT_NEAR(p.m_dGGALatitude, -48.11735, 1e-12);          // 48 + 7.041 / 60
    EXPECT_NEAR(p.m_dGGALongitude, -11.5167333333333, 1e-12); // 11 + 31.004 / 60
    EXPECT_EQ(p.m_btGGASatellites, 5);
    EXPECT_EQ(p.m_dGGAHdop, 1.5);
    EXPECT_EQ(p.m_dGGAAltitude, 546.9);
    EXPECT_EQ(p.m_nGGALastSecond, 35 * 60 + 21);
    EXPECT_NEAR(p.m_dGGAClimbRate, 60.0, 1e-9); // 1 m in one second

    EXPECT_EQ(p.m_btGSAFixMode, 2);
    EXPECT_EQ(p.m_wGSAPrn[3], 9);
    EXPECT_EQ(p.m_wGSAPrn[7], 0); // 24 left the fix
    EXPECT_EQ(p.m_dGSAPdop, 3.5);
    EXPECT_EQ(p.m_dGSAVdop, 0.0);

    EXPECT_EQ(p.m_wGSVSatellites, 7);
    const struct {
        int prn, snr, used, azimuth, elevation;
    } sats[8] = {{1, 46, 0, 83, 40},   {2, 41, 0, 308, 17}, {12, 39, 1, 344, 7},
                 {14, 45, 0, 228, 22}, {4, 44, 1, 291, 77}, {5, 33, 1, 45, 12},
                 {9, 28, 1, 170, 5},   {0, 0, 0, 0, 0}};
    for (int i = 0; i < 8; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(p.m_Satellites[i].wPrn, sats[i].prn);
        EXPECT_EQ(p.m_Satellites[i].wSnr, sats[i].snr);
        EXPECT_EQ(p.m_Satellites[i].bUsed, sats[i].used);
        EXPECT_EQ(p.m_Satellites[i].wAzimuth, sats[i].azimuth);
        EXPECT_EQ(p.m_Satellites[i].wElevation, sats[i].elevation);
    }

    EXPECT_EQ(p.m_btRMCSecond, 21);
    EXPECT_EQ(p.m_dRMCLatitude, p.m_dGGALatitude);
    EXPECT_EQ(p.m_dRMCSpeed, 22.6);
    EXPECT_EQ(p.m_dRMCCourse, 84.8);
    EXPECT_EQ(p.m_wRMCYear, 2094);
    EXPECT_EQ(p.m_dRMCMagVariation, -3.1);

    EXPECT_EQ(p.m_btZDADay, 23);
    EXPECT_EQ(p.m_wZDAYear, 1994);
    EXPECT_EQ(p.m_btZDAZoneHour, 255); // -1
    EXPECT_EQ(p.m_btZDAZoneMinute, 30);
    EXPECT_STREQ(p.m_szSentenceId, "GPZDA");
}

std::string ReplayStream() {
    std::string stream = "21,N*7F\r\n"; // the tail of a sentence cut when the port opened
    for (const char* text : kReplay) {
        stream += Sentence(text);
    }
    return stream;
}

TEST(NmeaReplay, ThreeEpochsInOneBuffer) {
    CNmeaParser p;
    EXPECT_EQ(Feed(p, ReplayStream()), 1);
    CheckReplayed(p);
}

TEST(NmeaReplay, ThreeEpochsThroughTheLineBuilderInReadSizedChunks) {
    const std::string stream = ReplayStream();
    for (size_t chunk : {size_t{1}, size_t{7}, size_t{64}, size_t{511}}) {
        SCOPED_TRACE(chunk);
        CNmeaParser p;
        CReceivePath receive(p);
        for (size_t pos = 0; pos < stream.size(); pos += chunk) {
            receive.Feed(stream.data() + pos, std::min(chunk, stream.size() - pos), 0,
                         [](const ReceivedLine& line) { EXPECT_EQ(line.parsed, 1); });
        }
        CheckReplayed(p);
    }
}

// The user's locale may write decimals with a comma; NMEA never does.
class NmeaLocale : public ::testing::Test {
protected:
    static std::string Stream() {
        // Slow-path forms too: a blank, an exponent, hex.
        return ReplayStream() + Sentence("GPRMB,A, 0.66,L,003,004,4917.24,N,12309.57,W,1.5e1,"
                                         "0x1p3,000.5,A");
    }
};

TEST_F(NmeaLocale, DecimalCommaLocaleChangesNothing) {
    CNmeaParser reference;
    Feed(reference, Stream());
    const std::string expected = NmeaStateJson(reference);
    EXPECT_EQ(reference.m_dRMBCrossTrack, 0.66);
    EXPECT_EQ(reference.m_dRMBRange, 15.0);
    EXPECT_EQ(reference.m_dRMBBearing, 8.0);

    const std::string saved = std::setlocale(LC_ALL, nullptr);
    if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) {
        GTEST_SKIP() << "locale de_DE.UTF-8 not generated (scripts/setup makes it)";
    }
    const double plain = std::strtod("4807.038", nullptr); // the locale does bite
    CNmeaParser p;
    Feed(p, Stream());
    const std::string got = NmeaStateJson(p);
    std::setlocale(LC_ALL, saved.c_str());
    EXPECT_EQ(plain, 4807.0);
    EXPECT_EQ(got, expected);
}

} // namespace
