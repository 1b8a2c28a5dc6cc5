#pragma once
// CNmeaParser: the receiver state decoded from an NMEA-0183 stream, together with the
// byte-by-byte sentence framer that fills it. Readers use the members directly as public data.
//
// Threads: the parser has no lock of its own and is not safe for concurrent use. In the program
// the process-wide lock g_csParser guards it: the reader thread holds it around every Parse; the
// user-interface, restart-waiting and search threads hold it around Reset, around taking a copy
// and around reading members the reader may be changing. A copy is a self-contained snapshot that
// can be read after the lock is released. Never hold the lock across a wait or a window call.
//
// Text fields are converted as the "C" locale reads them, whatever locale the process runs in
// (NMEA always writes a decimal point).
#include "MultiGnss.h"

#include <cstddef>
#include <cstdint>

// One satellite in view, as the GSV sentences describe it.
struct SatelliteInfo {
    uint16_t wPrn;       // PRN number
    uint16_t wSnr;       // dB-Hz; 0 when not tracked
    int32_t bUsed;       // 1 if the PRN was in GSA slots 0 to 11 when the entry was written
    uint16_t wAzimuth;   // degrees true
    uint16_t wElevation; // degrees
};

class CNmeaParser {
public:
    static constexpr int kSatelliteSlots = 36;
    static constexpr int kFieldSize = 25; // a field's text is cut to 24 characters

    CNmeaParser();
    CNmeaParser(const CNmeaParser&) = default;
    CNmeaParser& operator=(const CNmeaParser&) = default;
    virtual ~CNmeaParser();

    // Gives the decoded members their start values. Leaves the framer members and
    // m_nSentenceCount alone, so a sentence being framed completes normally afterwards.
    void Reset();
    // True if prn (non-zero) is in GSA slots 0 to 11.
    bool IsPrnUsed(uint16_t prn) const;
    // True if prn is in any of the 36 GSA slots; 0 always is, as slots 12 to 35 stay 0.
    bool IsPrnInFix(int32_t prn) const;

    // Feeds length bytes to the framer. Returns 0 as soon as a GPGSV sentence is rejected,
    // leaving the remaining bytes unfed; 1 otherwise. Allocates nothing.
    int Parse(const uint8_t* data, size_t length);
    int Parse(const char* data, size_t length) {
        return Parse(reinterpret_cast<const uint8_t*>(data), length);
    }
    // Advances the framer by one byte; 0 only when the byte completes a rejected GPGSV sentence.
    int ParseChar(uint8_t c);
    // Decodes one framed sentence by its identifier and counts it; 0 for a rejected GPGSV.
    int Dispatch(const char* identifier, const char* body);

    // Copies field index (0-based, comma separated) of body into destination, cut to size - 1
    // characters and ended at ',' or '*'. 1 when the field is present and not empty; 0 when it
    // is empty or missing (destination then ""). Null pointers or size <= 0: 0, nothing written.
    static int GetField(const char* body, char* destination, int index, int size);

    // Decoders of the sentence bodies (the text after the identifier's comma, without checksum).
    void DecodeGGA(const char* body);
    void DecodeGSA(const char* body);
    int DecodeGSV(const char* body); // 1 accepted, 0 rejected
    void DecodeRMB(const char* body);
    void DecodeRMC(const char* body);
    void DecodeZDA(const char* body);

    // Framer.
    int32_t m_nState;         // 0 waiting for '$', 1 identifier, 2 body, 3 and 4 checksum digits
    uint8_t m_btChecksum;     // XOR of the characters after '$'
    uint8_t m_btRecvChecksum; // the two hex digits received
    uint16_t m_wLength;       // characters in the buffer being filled
    char m_szSentenceId[8];   // e.g. "GPGGA"
    char m_szBody[256];       // text after the identifier's comma
    int32_t m_nSentenceCount; // sentences framed since construction

    // GGA: fix data.
    uint8_t m_btGGAHour;
    uint8_t m_btGGAMinute;
    uint8_t m_btGGASecond;
    // Beyond the sentence's whole seconds: campaigns time epochs to the millisecond. Not in the
    // state dump, so decoded logs compare as before.
    uint16_t m_wGGAMillisecond;   // the time field's fraction, 0 without one
    bool m_bGGATimeValid;         // the last GGA carried a time (receivers blank it after a reset)
    double m_dGGAGeoidSeparation; // geoid above the WGS-84 ellipsoid, metres
    bool m_bGGAHasGeoid;          // the last GGA carried a geoid separation
    double m_dGGALatitude;        // degrees, south negative
    double m_dGGALongitude;       // degrees, west negative
    uint8_t m_btGGAQuality;       // 0 to 9
    uint8_t m_btGGASatellites;    // in use
    double m_dGGAHdop;
    double m_dGGAAltitude; // above mean sea level, metres
    int32_t m_nGGACount;
    int32_t m_nGGALastSecond;  // minute * 60 + second of the previous GGA
    double m_dGGALastAltitude; // altitude of the previous GGA
    double m_dGGAClimbRate;    // altitude units per minute, positive when climbing

    // GSA: fix mode, satellites used, dilution of precision.
    char m_cGSAMode;        // 'M' manual, 'A' automatic
    uint8_t m_btGSAFixMode; // 1 no fix, 2 2D, 3 3D
    uint16_t m_wGSAPrn[36]; // slots 0 to 11 from the sentence; 12 to 35 always 0
    double m_dGSAPdop;
    double m_dGSAHdop;
    double m_dGSAVdop;
    int32_t m_nGSACount;

    // GSV: satellites in view; loops over m_Satellites are bounded by m_wGSVSatellites.
    uint16_t m_wGSVSatellites;
    SatelliteInfo m_Satellites[36]; // entry (message - 1) * 4 + j
    int32_t m_nGSVCount;

    // RMB: navigation to a destination waypoint (units of the sentence).
    char m_cRMBStatus; // 'A' valid, 'V' warning
    double m_dRMBCrossTrack;
    char m_cRMBSteer; // 'L', 'R', '?' when not given
    char m_szRMBOrigin[32];
    char m_szRMBDestination[32];
    double m_dRMBDestLatitude;
    double m_dRMBDestLongitude;
    double m_dRMBRange;
    double m_dRMBBearing;
    double m_dRMBClosingSpeed;
    char m_cRMBArrival; // 'A' arrived, 'V' not
    int32_t m_nRMBCount;

    // RMC: recommended minimum data.
    uint8_t m_btRMCHour;
    uint8_t m_btRMCMinute;
    uint8_t m_btRMCSecond;
    char m_cRMCStatus; // 'A' valid, 'V' warning
    double m_dRMCLatitude;
    double m_dRMCLongitude;
    double m_dRMCSpeed;  // knots
    double m_dRMCCourse; // degrees true
    uint8_t m_btRMCDay;
    uint8_t m_btRMCMonth;
    uint16_t m_wRMCYear;       // 2000 + the two digits sent
    double m_dRMCMagVariation; // degrees, west negative
    int32_t m_nRMCCount;       // the main screen redraws when this changes
    uint32_t m_dwRMCArrivalMs; // m_dwArrivalMs when the last RMC was decoded (not in the dump)

    // ZDA: time and date with local zone.
    uint8_t m_btZDAHour;
    uint8_t m_btZDAMinute;
    uint8_t m_btZDASecond;
    uint8_t m_btZDADay;
    uint8_t m_btZDAMonth;
    uint16_t m_wZDAYear;
    uint8_t m_btZDAZoneHour; // low 8 bits of the signed hours sent
    uint8_t m_btZDAZoneMinute;
    int32_t m_nZDACount;

    // When the bytes being parsed arrived (a millisecond tick, TickCountMs). The owner's receive
    // path sets it before each Parse; it survives Reset and stays out of the state dump. Parsers
    // fed without it see one unchanging moment: nothing ages.
    uint32_t m_dwArrivalMs = 0;

    // Multi-GNSS mode (MultiGnss.h): off gives exactly the GP-only decoding above. The switch is
    // set by the parser's owner and survives Reset; the extended state is reset with the rest.
    bool m_bMultiGnss = false;
    CMultiGnssState m_multiGnss;

private:
    // Dispatch in multi-GNSS mode (counting is the caller's). 0 only for a rejected GPGSV, as in
    // the default mode.
    int DispatchMultiGnss(const char* identifier, const char* body);
};
