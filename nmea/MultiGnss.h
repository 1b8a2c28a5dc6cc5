#pragma once
// Multi-GNSS decoding: receivers that report their fix with the GN talker (or GL, GA, GB, ...)
// and their satellites per constellation. Off by default; CNmeaParser::m_bMultiGnss switches it
// on, and then the parser hands every GSA and GSV (and the news that any other sentence came) to
// the CMultiGnssState it holds. This file knows nothing of the parser: the parser calls in, never
// the other way round.
//
// In that mode GGA, GSA, RMC, RMB and ZDA of the talkers GP, GN, GL, GA, GB, BD, GQ and GI go to
// the parser's own decoders, so the members everybody reads (position, fix mode, time) fill as
// they do from a GP receiver. GPGSV still fills m_Satellites exactly as in the default mode.
// CMultiGnssState adds what those members cannot hold:
// - the fix mode of an epoch is the best of its GSA sentences (a GN receiver sends one per
//   constellation, and only together do they describe the fix);
// - the satellites in the fix are the union of those GSA sentences, each tagged with its
//   constellation (ClassifyGnss);
// - every GSV talker's satellites are kept per constellation and number. A satellite that several
//   signals report (4.10 signal IDs: L1 and L5, E1 and E5a) is one entry with the best SNR. A
//   group of GSV messages counts only once it is complete and consistent; a satellite that the
//   next complete group of the same talker and signal leaves out is dropped, so nothing lingers
//   after it set. A talker that sends no GSV for kStreamAgeMs (by the arrival ticks given to Age)
//   loses its streams and the satellites only they reported.
//
// Threads: plain data inside CNmeaParser, so g_csParser guards it like every other member and a
// parser copy carries it.
#include <cstdint>
#include <string_view>

enum class EGnssSystem : uint8_t {
    Unknown = 0,
    Gps,
    Sbas,
    Glonass,
    Galileo,
    BeiDou,
    Qzss,
    NavIC,
};

// The label letter of a constellation: G S R E C J I, '?' when unknown.
char GnssSystemLetter(EGnssSystem system);

// One satellite of the extended table.
struct CGnssSatellite {
    static constexpr int kSignals = 16; // GSV streams (talker and signal ID) a satellite can be in

    EGnssSystem system;
    uint16_t wPrn;           // its number as labelled: G 1-32, S 33-64 or 120-158, R 65-96, E 1-36,
                             // C 1-63, J 193-202, I 1-14
    uint16_t wSnr;           // dB-Hz, the best of its signals; 0 when none is tracked
    int32_t bUsed;           // 1 if in the current epoch's GSA union
    uint16_t wAzimuth;       // degrees true
    uint16_t wElevation;     // degrees
    uint16_t wStreams;       // bit s set: the last complete group of stream s reported it
    uint8_t btSnr[kSignals]; // SNR per stream
};

class CMultiGnssState {
public:
    static constexpr int kSatellites = 128;
    static constexpr int kUsedMax = 64;
    static constexpr int kGroupMax = 36; // nine GSV messages of four satellites
    static constexpr uint32_t kStreamAgeMs = 10000;

    void Reset();
    // The arrival tick of the sentence about to be handed in (any tick, wrapping; an unchanging
    // one: nothing ages). Drops the streams of talkers without a GSV for more than kStreamAgeMs.
    void Age(uint32_t nowMs);

    // A GSA body from the given talker ("GN", "GP", ...). fixMode is the one the parser's own
    // decoder just stored. Returns the epoch's best fix mode so far.
    uint8_t OnGsa(std::string_view talker, const char* body, uint8_t fixMode);
    // A GSV body from the given talker; false when its header is unusable.
    bool OnGsv(std::string_view talker, const char* body);
    // Any other sentence: the next GSA starts a new epoch.
    void OnOtherSentence() { m_bGsaGroupOpen = false; }

    bool IsUsed(EGnssSystem system, uint16_t prn) const;

    CGnssSatellite m_Satellites[kSatellites]; // entries 0 .. m_wCount - 1, in order of arrival
    uint16_t m_wCount = 0;
    int32_t m_nGsvGroups = 0;  // complete GSV groups taken
    int32_t m_nGsvDropped = 0; // GSV messages of groups that broke off or came out of order
    int32_t m_nTableFull = 0;  // satellites left out because the table was full

    // The epoch's GSA union.
    struct UsedSatellite {
        EGnssSystem system;
        uint16_t wPrn;
    };
    UsedSatellite m_Used[kUsedMax];
    uint16_t m_wUsedCount = 0;
    uint8_t m_btEpochFixMode = 1;

private:
    struct Pending {
        EGnssSystem system;
        uint16_t wPrn;
        uint16_t wAzimuth;
        uint16_t wElevation;
        uint8_t btSnr;
        bool bHasPosition; // azimuth and elevation were sent
    };
    // One GSV stream: a talker and a signal ID, with the group it is putting together.
    struct Stream {
        char talker[2];
        uint8_t btSignal;  // 0: none sent (NMEA before 4.10)
        bool bInUse;       // false: a free slot (aged out)
        bool bActive;      // a group is being put together
        uint32_t dwLastMs; // the tick of its talker's last GSV
        uint8_t btMessages;
        uint8_t btNext;
        int32_t nInView;
        uint8_t btPending;
        Pending pending[kGroupMax];
    };

    int FindStream(std::string_view talker, uint8_t signal);
    void Commit(int stream);
    // Drops satellites no stream reports any more and takes each one's best SNR.
    void Prune();
    void RefreshUsed();

    Stream m_Streams[CGnssSatellite::kSignals] = {};
    uint8_t m_btStreamCount = 0;
    bool m_bGsaGroupOpen = false;
    uint8_t m_btGsaSystems = 0; // bit per EGnssSystem seen in the open group
    uint32_t m_dwNowMs = 0;     // the last tick given to Age
};

// The constellation of a satellite number, and the number as labelled. What the sentence says
// decides first: the 4.10 system ID when given (1-6), else the talker. Both GP and system ID 1
// mean the GPS family, where the 4.0 ranges tell GPS 1-32, SBAS 33-64 and 120-158 and QZSS
// 193-202 apart (so a QZSS satellite has the same identity in GSA and GSV). Only when neither
// tells (GN without a system ID) do the number ranges alone decide: GPS, SBAS, GLONASS 65-96,
// QZSS 193-200, BeiDou 201-237, Galileo 301-336, BeiDou 401-463. Numbers are brought to the
// labelled range (GLONASS slots 1-32, QZSS 1-10, Galileo 301-336, BeiDou 201-263 or 401-463 of
// some receivers).
struct CGnssId {
    EGnssSystem system;
    uint16_t wPrn;
};
CGnssId ClassifyGnss(std::string_view talker, int32_t systemId, int32_t prn);

// True for the talkers the mode decodes.
bool IsGnssTalker(std::string_view talker);
