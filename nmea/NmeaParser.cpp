#include "NmeaParser.h"

#include "NmeaConvert.h"
#include "WordScan.h"

#include <cstring>
#include <string_view>

namespace {

// The double nearest 1/60: minutes are multiplied by it, which can differ in the last bit from
// dividing by 60.
constexpr double kOneSixtieth = 1.0 / 60.0;

constexpr uint16_t kIdSize = 8;     // identifier: 7 characters and a zero
constexpr uint16_t kBodySize = 256; // body: 255 characters and a zero

// Counters wrap instead of overflowing (signed overflow would be undefined).
void Increment(int32_t& counter) {
    counter = static_cast<int32_t>(static_cast<uint32_t>(counter) + 1u);
}

uint8_t Low8(int32_t v) {
    return static_cast<uint8_t>(static_cast<uint32_t>(v));
}

uint16_t Low16(int32_t v) {
    return static_cast<uint16_t>(static_cast<uint32_t>(v));
}

// value(c) of a checksum digit: '0'-'9' and 'A'-'F' give 0 to 15, anything else what the
// arithmetic gives modulo 256.
uint8_t HexValue(uint8_t c) {
    return static_cast<uint8_t>(c <= '9' ? c - 48 : c - 55);
}

// Walks the body's fields in order with the same cut as GetField (size 25): a field ends at ',',
// '*' or the zero, and its text is cut to 24 characters. Empty or missing fields are empty views.
class FieldReader {
public:
    explicit FieldReader(const char* body) : m_next(body) {} // a null body has no fields

    std::string_view Next() {
        if (m_next == nullptr) {
            return {};
        }
        const char* const start = m_next;
        const char* p = start;
        while (*p != '\0' && *p != ',' && *p != '*') {
            ++p;
        }
        const auto length = static_cast<size_t>(p - start);
        if (*p == '*') {
            // Only a body handed in from outside the framer holds a '*': skip to the next comma.
            while (*p != '\0' && *p != ',') {
                ++p;
            }
        }
        m_next = *p == ',' ? p + 1 : nullptr;
        constexpr size_t kMaxText = CNmeaParser::kFieldSize - 1;
        return {start, length < kMaxText ? length : kMaxText};
    }

    // The next field as an integer (TextToInt); false, leaving value alone, when it is empty.
    // Plain digit runs are converted while they are scanned.
    bool NextInt(int32_t& value) {
        const char* p = m_next;
        if (p != nullptr) {
            int32_t v = 0;
            int digits = 0;
            for (; static_cast<unsigned char>(*p - '0') <= 9 && digits < 9; ++p, ++digits) {
                v = v * 10 + (*p - '0');
            }
            if (digits > 0 && (*p == ',' || *p == '\0')) {
                m_next = *p == ',' ? p + 1 : nullptr;
                value = v;
                return true;
            }
        }
        const std::string_view f = Next();
        if (f.empty()) {
            return false;
        }
        value = TextToInt(f);
        return true;
    }

private:
    const char* m_next; // start of the next field; null once the body is used up
};

// The characters [from, from + count) of a field; characters beyond its end are absent.
std::string_view Part(std::string_view field, size_t from, size_t count) {
    if (from >= field.size()) {
        return {};
    }
    return field.substr(from, count);
}

// "pair p": the integer of characters 2p and 2p + 1.
int32_t Pair(std::string_view field, size_t p) {
    return TextToInt(Part(field, 2 * p, 2));
}

// hhmmss.sss: the digits after the point as milliseconds (up to three; more are truncated), 0
// when there is no fraction or it holds anything but digits.
uint16_t FractionMs(std::string_view field) {
    const size_t point = field.find('.');
    if (point == std::string_view::npos) {
        return 0;
    }
    uint32_t ms = 0;
    uint32_t scale = 100;
    for (size_t i = point + 1; i < field.size(); ++i) {
        const char c = field[i];
        if (c < '0' || c > '9') {
            return 0;
        }
        ms += static_cast<uint32_t>(c - '0') * scale;
        scale /= 10;
    }
    return static_cast<uint16_t>(ms);
}

// "digit": the first character minus '0', kept to 8 bits.
uint8_t Digit(std::string_view field) {
    return static_cast<uint8_t>(static_cast<uint8_t>(field[0]) - 48);
}

// ddmm.mmmm (degreeDigits 2) or dddmm.mmmm (3) to decimal degrees.
double Coordinate(std::string_view field, size_t degreeDigits) {
    const double degrees = TextToDouble(Part(field, 0, degreeDigits));
    const double minutes = TextToDouble(Part(field, degreeDigits, std::string_view::npos));
    return degrees + minutes * kOneSixtieth;
}

// A hemisphere field negates the stored value (whatever it holds) on 'S' or 'W'.
void Hemisphere(std::string_view field, char negativeLetter, double& value) {
    if (!field.empty() && field[0] == negativeLetter) {
        value = -value;
    }
}

void CopyText(std::string_view field, char (&destination)[32]) {
    if (!field.empty()) {
        std::memcpy(destination, field.data(), field.size());
    }
    destination[field.size()] = '\0';
}

} // namespace

CNmeaParser::CNmeaParser()
    : m_nState(0), m_btChecksum(0), m_btRecvChecksum(0), m_wLength(0), m_szSentenceId{}, m_szBody{},
      m_nSentenceCount(0) {
    Reset();
}

CNmeaParser::~CNmeaParser() = default;

void CNmeaParser::Reset() {
    m_btGGAHour = 0;
    m_btGGAMinute = 0;
    m_btGGASecond = 0;
    m_wGGAMillisecond = 0;
    m_bGGATimeValid = false;
    m_dGGAGeoidSeparation = 0.0;
    m_bGGAHasGeoid = false;
    m_dGGALatitude = 0.0;
    m_dGGALongitude = 0.0;
    m_btGGAQuality = 0;
    m_btGGASatellites = 0;
    m_dGGAHdop = 0.0;
    m_dGGAAltitude = 0.0;
    m_nGGACount = 0;
    m_nGGALastSecond = 0;
    m_dGGALastAltitude = 0.0;
    m_dGGAClimbRate = 0.0;

    m_cGSAMode = 'M';
    m_btGSAFixMode = 1;
    std::memset(m_wGSAPrn, 0, sizeof m_wGSAPrn);
    m_dGSAPdop = 0.0;
    m_dGSAHdop = 0.0;
    m_dGSAVdop = 0.0;
    m_nGSACount = 0;

    m_wGSVSatellites = 0;
    for (SatelliteInfo& sat : m_Satellites) {
        sat = SatelliteInfo{};
    }
    m_nGSVCount = 0;

    m_cRMBStatus = 'V';
    m_dRMBCrossTrack = 0.0;
    m_cRMBSteer = '?';
    std::memset(m_szRMBOrigin, 0, sizeof m_szRMBOrigin);
    std::memset(m_szRMBDestination, 0, sizeof m_szRMBDestination);
    m_dRMBDestLatitude = 0.0;
    m_dRMBDestLongitude = 0.0;
    m_dRMBRange = 0.0;
    m_dRMBBearing = 0.0;
    m_dRMBClosingSpeed = 0.0;
    m_cRMBArrival = 'V';
    m_nRMBCount = 0;

    m_btRMCHour = 0;
    m_btRMCMinute = 0;
    m_btRMCSecond = 0;
    m_cRMCStatus = 'V';
    m_dRMCLatitude = 0.0;
    m_dRMCLongitude = 0.0;
    m_dRMCSpeed = 0.0;
    m_dRMCCourse = 0.0;
    m_btRMCDay = 1;
    m_btRMCMonth = 1;
    m_wRMCYear = 2000;
    m_dRMCMagVariation = 0.0;
    m_nRMCCount = 0;
    m_dwRMCArrivalMs = 0;

    m_btZDAHour = 0;
    m_btZDAMinute = 0;
    m_btZDASecond = 0;
    m_btZDADay = 1;
    m_btZDAMonth = 1;
    m_wZDAYear = 2000;
    m_btZDAZoneHour = 0;
    m_btZDAZoneMinute = 0;
    m_nZDACount = 0;

    m_multiGnss.Reset();
}

bool CNmeaParser::IsPrnUsed(uint16_t prn) const {
    if (prn == 0) {
        return false;
    }
    for (int i = 0; i < 12; ++i) {
        if (m_wGSAPrn[i] == prn) {
            return true;
        }
    }
    return false;
}

bool CNmeaParser::IsPrnInFix(int32_t prn) const {
    for (uint16_t slot : m_wGSAPrn) {
        if (slot == prn) {
            return true;
        }
    }
    return false;
}

// ---------------------------------------------------------------------------------------------
// Framer

int CNmeaParser::ParseChar(uint8_t c) {
    switch (m_nState) {
    case 0:
        if (c == '$') {
            m_wLength = 0;
            m_btChecksum = 0;
            m_nState = 1;
        }
        return 1;
    case 1:
        // A length out of range can only come from members set by hand: drop the sentence
        // rather than write outside the buffer.
        if (m_wLength >= kIdSize) {
            m_nState = 0;
            return 1;
        }
        m_btChecksum = static_cast<uint8_t>(m_btChecksum ^ c);
        if (c == ',' || c == '*') {
            m_szSentenceId[m_wLength] = '\0';
            m_wLength = 0;
            m_nState = 2;
        } else {
            m_szSentenceId[m_wLength] = static_cast<char>(c);
            ++m_wLength;
            if (m_wLength == kIdSize) {
                m_nState = 0; // identifier too long: wait for the next '$'
            }
        }
        return 1;
    case 2:
        if (m_wLength >= kBodySize) {
            m_nState = 0;
            return 1;
        }
        if (c == '*') {
            m_szBody[m_wLength] = '\0';
            m_nState = 3;
            return 1;
        }
        if (c == '\r') {
            m_szBody[m_wLength] = '\0';
            m_nState = 0;
            return Dispatch(m_szSentenceId, m_szBody);
        }
        m_btChecksum = static_cast<uint8_t>(m_btChecksum ^ c);
        m_szBody[m_wLength] = static_cast<char>(c);
        ++m_wLength;
        if (m_wLength == kBodySize) {
            m_nState = 0; // body too long: wait for the next '$'
        }
        return 1;
    case 3:
        m_btRecvChecksum = static_cast<uint8_t>(HexValue(c) << 4);
        m_nState = 4;
        return 1;
    case 4:
        // NMEA writes upper-case digits. A lower-case one here reads 32 too high and is OR-ed
        // in whole, so it matches only when the checksum has that bit set.
        m_btRecvChecksum = static_cast<uint8_t>(m_btRecvChecksum | HexValue(c));
        m_nState = 0;
        if (m_btRecvChecksum == m_btChecksum) {
            return Dispatch(m_szSentenceId, m_szBody);
        }
        return 1;
    default:
        m_nState = 0;
        return 1;
    }
}

// The same state machine as ParseChar, with the identifier and body states run as tight loops
// over the input; the result is byte for byte what feeding ParseChar would give.
int CNmeaParser::Parse(const uint8_t* data, size_t length) {
    const uint8_t* p = data;
    const uint8_t* const end = data + length;
    while (p != end) {
        switch (m_nState) {
        case 0: {
            if (*p != '$') {
                const void* dollar = std::memchr(p, '$', static_cast<size_t>(end - p));
                if (dollar == nullptr) {
                    return 1;
                }
                p = static_cast<const uint8_t*>(dollar);
            }
            ++p;
            m_wLength = 0;
            m_btChecksum = 0;
            m_nState = 1;
            break;
        }
        case 1: {
            if (m_wLength >= kIdSize) {
                ParseChar(*p++);
                break;
            }
            uint8_t sum = m_btChecksum;
            uint16_t len = m_wLength;
            int state = 1;
            while (p != end) {
                const uint8_t c = *p++;
                sum = static_cast<uint8_t>(sum ^ c);
                if (c == ',' || c == '*') {
                    m_szSentenceId[len] = '\0';
                    len = 0;
                    state = 2;
                    break;
                }
                m_szSentenceId[len] = static_cast<char>(c);
                if (++len == kIdSize) {
                    state = 0;
                    break;
                }
            }
            m_btChecksum = sum;
            m_wLength = len;
            m_nState = state;
            break;
        }
        case 2: {
            if (m_wLength >= kBodySize) {
                ParseChar(*p++);
                break;
            }
            uint8_t sum = m_btChecksum;
            uint64_t wideSum = 0; // XOR of the 8-byte words taken whole, folded in at the end
            uint16_t len = m_wLength;
            char* const body = m_szBody;
            int state = 2;
            bool dispatch = false;
            wordscan::Block blockSum = {};
            for (;;) {
                // Sixteen, then eight bytes at a time while they fit without reaching the
                // abandoning length; the bytes before a '*' or CR are taken in the same step.
                // Bytes of the buffer past the taken ones are written back unchanged.
                while (end - p >= 16 && len <= kBodySize - 1 - 16) {
                    const wordscan::Block block = wordscan::LoadBlock(p);
                    const unsigned k = wordscan::FirstSet(wordscan::Equal(block, '*') |
                                                          wordscan::Equal(block, '\r'));
                    if (k == 16) {
                        wordscan::StoreBlock(body + len, block);
                        blockSum ^= block;
                        p += 16;
                        len = static_cast<uint16_t>(len + 16);
                        continue;
                    }
                    const wordscan::Block keep = wordscan::FirstBytes(k);
                    const wordscan::Block old = wordscan::LoadBlock(body + len);
                    wordscan::StoreBlock(body + len, (block & keep) | (old & ~keep));
                    blockSum ^= block & keep;
                    p += k;
                    len = static_cast<uint16_t>(len + k);
                    break;
                }
                while (end - p >= 8 && len <= kBodySize - 1 - 8) {
                    const uint64_t word = wordscan::Load8(p);
                    const uint64_t stops =
                        wordscan::MatchMask(word, '*') | wordscan::MatchMask(word, '\r');
                    if (stops == 0) {
                        wordscan::Store8(body + len, word);
                        wideSum ^= word;
                        p += 8;
                        len = static_cast<uint16_t>(len + 8);
                        continue;
                    }
                    const unsigned k = wordscan::FirstFlagged(stops);
                    const uint64_t keep = wordscan::LowBytes(k);
                    const uint64_t old = wordscan::Load8(body + len);
                    wordscan::Store8(body + len, (word & keep) | (old & ~keep));
                    wideSum ^= word & keep;
                    p += k;
                    len = static_cast<uint16_t>(len + k);
                    break;
                }
                if (p == end) {
                    break;
                }
                const uint8_t c = *p++;
                if (c == '*') {
                    body[len] = '\0';
                    state = 3;
                    break;
                }
                if (c == '\r') {
                    body[len] = '\0';
                    state = 0;
                    dispatch = true;
                    break;
                }
                sum = static_cast<uint8_t>(sum ^ c);
                body[len] = static_cast<char>(c);
                if (++len == kBodySize) {
                    state = 0; // body too long: wait for the next '$'
                    break;
                }
            }
            m_btChecksum = static_cast<uint8_t>(sum ^ wordscan::FoldBytes(wideSum) ^
                                                wordscan::FoldBlock(blockSum));
            m_wLength = len;
            m_nState = state;
            if (dispatch && Dispatch(m_szSentenceId, m_szBody) == 0) {
                return 0;
            }
            break;
        }
        case 3:
            m_btRecvChecksum = static_cast<uint8_t>(HexValue(*p++) << 4);
            m_nState = 4;
            break;
        case 4: {
            m_btRecvChecksum = static_cast<uint8_t>(m_btRecvChecksum | HexValue(*p++));
            m_nState = 0;
            if (m_btRecvChecksum == m_btChecksum && Dispatch(m_szSentenceId, m_szBody) == 0) {
                return 0;
            }
            break;
        }
        default:
            ParseChar(*p++);
            break;
        }
    }
    return 1;
}

int CNmeaParser::Dispatch(const char* identifier, const char* body) {
    if (m_bMultiGnss) {
        const int decoded = DispatchMultiGnss(identifier, body);
        Increment(m_nSentenceCount);
        return decoded;
    }
    int result = 1;
    // Exact, case-sensitive "GPxxx"; the comparisons stop at the first mismatch, so a shorter
    // identifier is never read past its zero.
    const char* id = identifier != nullptr ? identifier : "";
    if (id[0] == 'G' && id[1] == 'P' && id[2] != '\0' && id[3] != '\0' && id[4] != '\0' &&
        id[5] == '\0') {
        const char a = id[2], b = id[3], c = id[4];
        if (a == 'G' && b == 'G' && c == 'A') {
            DecodeGGA(body);
        } else if (a == 'G' && b == 'S' && c == 'A') {
            DecodeGSA(body);
        } else if (a == 'G' && b == 'S' && c == 'V') {
            result = DecodeGSV(body);
        } else if (a == 'R' && b == 'M' && c == 'B') {
            DecodeRMB(body);
        } else if (a == 'R' && b == 'M' && c == 'C') {
            DecodeRMC(body);
        } else if (a == 'Z' && b == 'D' && c == 'A') {
            DecodeZDA(body);
        }
    }
    Increment(m_nSentenceCount);
    return result;
}

int CNmeaParser::DispatchMultiGnss(const char* identifier, const char* body) {
    const std::string_view id = identifier != nullptr ? identifier : "";
    m_multiGnss.Age(m_dwArrivalMs);
    if (id.size() != 5 || !IsGnssTalker(id.substr(0, 2))) {
        m_multiGnss.OnOtherSentence();
        return 1;
    }
    const std::string_view talker = id.substr(0, 2);
    const std::string_view type = id.substr(2);
    if (type == "GSV") {
        m_multiGnss.OnGsv(talker, body);
        // m_Satellites keeps coming from GPGSV alone, with its own rules.
        return talker == "GP" ? DecodeGSV(body) : 1;
    }
    if (type == "GSA") {
        DecodeGSA(body);
        m_btGSAFixMode = m_multiGnss.OnGsa(talker, body, m_btGSAFixMode);
        return 1;
    }
    m_multiGnss.OnOtherSentence();
    if (type == "GGA") {
        DecodeGGA(body);
    } else if (type == "RMB") {
        DecodeRMB(body);
    } else if (type == "RMC") {
        DecodeRMC(body);
    } else if (type == "ZDA") {
        DecodeZDA(body);
    }
    return 1;
}

// ---------------------------------------------------------------------------------------------
// Field extractor and decoders

int CNmeaParser::GetField(const char* body, char* destination, int index, int size) {
    if (body == nullptr || destination == nullptr || size <= 0) {
        return 0;
    }
    const char* p = body;
    if (index > 0) {
        int commas = 0;
        for (;;) {
            if (*p == '\0') {
                destination[0] = '\0';
                return 0;
            }
            if (*p == ',') {
                ++commas;
            }
            ++p;
            if (*p == '\0') {
                destination[0] = '\0';
                return 0;
            }
            if (commas == index) {
                break;
            }
        }
    }
    if (*p == '\0' || *p == ',' || *p == '*') {
        destination[0] = '\0';
        return 0;
    }
    int n = 0;
    while (n < size - 1 && p[n] != '\0' && p[n] != ',' && p[n] != '*') {
        destination[n] = p[n];
        ++n;
    }
    destination[n] = '\0';
    return 1;
}

// $GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47
void CNmeaParser::DecodeGGA(const char* body) {
    FieldReader fields(body);
    std::string_view f = fields.Next();
    m_bGGATimeValid = !f.empty();
    m_wGGAMillisecond = 0;
    if (!f.empty()) {
        m_btGGAHour = Low8(Pair(f, 0));
        m_btGGAMinute = Low8(Pair(f, 1));
        m_btGGASecond = Low8(Pair(f, 2));
        m_wGGAMillisecond = FractionMs(f);
    }
    f = fields.Next();
    if (!f.empty()) {
        m_dGGALatitude = Coordinate(f, 2);
    }
    Hemisphere(fields.Next(), 'S', m_dGGALatitude);
    f = fields.Next();
    if (!f.empty()) {
        m_dGGALongitude = Coordinate(f, 3);
    }
    Hemisphere(fields.Next(), 'W', m_dGGALongitude);
    f = fields.Next();
    if (!f.empty()) {
        m_btGGAQuality = Digit(f);
    }
    f = fields.Next();
    if (!f.empty()) {
        m_btGGASatellites = Low8(TextToInt(Part(f, 0, 2)));
    }
    f = fields.Next();
    if (!f.empty()) {
        m_dGGAHdop = TextToDouble(f);
    }
    f = fields.Next();
    if (!f.empty()) {
        m_dGGAAltitude = TextToDouble(f);
    }
    fields.Next(); // altitude unit, always M
    f = fields.Next();
    m_bGGAHasGeoid = !f.empty();
    m_dGGAGeoidSeparation = f.empty() ? 0.0 : TextToDouble(f);

    // Climb per minute, only when the time advanced within the hour. 64-bit so that a stored
    // second set by hand cannot overflow the difference.
    const int32_t t = m_btGGAMinute * 60 + m_btGGASecond;
    if (t > m_nGGALastSecond) {
        const double d =
            static_cast<double>(static_cast<int64_t>(m_nGGALastSecond) - t) * kOneSixtieth;
        if (d != 0.0) {
            m_dGGAClimbRate = (m_dGGALastAltitude - m_dGGAAltitude) / d;
        }
    }
    Increment(m_nGGACount);
    m_nGGALastSecond = t;
    m_dGGALastAltitude = m_dGGAAltitude;
}

// $GPGSA,A,3,04,05,,09,12,,,24,,,,,2.5,1.3,2.1*39
void CNmeaParser::DecodeGSA(const char* body) {
    FieldReader fields(body);
    std::string_view f = fields.Next();
    if (!f.empty()) {
        m_cGSAMode = f[0];
    }
    f = fields.Next();
    if (!f.empty()) {
        m_btGSAFixMode = Digit(f);
    }
    for (int i = 0; i < 12; ++i) {
        f = fields.Next();
        m_wGSAPrn[i] = f.empty() ? 0 : Low16(TextToInt(Part(f, 0, 2)));
    }
    f = fields.Next();
    m_dGSAPdop = f.empty() ? 0.0 : TextToDouble(f);
    f = fields.Next();
    m_dGSAHdop = f.empty() ? 0.0 : TextToDouble(f);
    f = fields.Next();
    m_dGSAVdop = f.empty() ? 0.0 : TextToDouble(f);
    Increment(m_nGSACount);
}

// $GPGSV,3,1,11,03,03,111,00,04,15,270,00,06,01,010,00,13,06,292,00*74
int CNmeaParser::DecodeGSV(const char* body) {
    FieldReader fields(body);
    int32_t messages = 0;
    // Four entries per message in a table of 36.
    if (!fields.NextInt(messages) || messages < 1 || messages > 8) {
        return 0;
    }
    int32_t number = 0;
    if (!fields.NextInt(number) || number < 1 || number > 9) {
        return 0;
    }
    int32_t inView = 0;
    if (fields.NextInt(inView)) {
        m_wGSVSatellites = Low16(inView);
        if (m_wGSVSatellites > kSatelliteSlots) {
            m_wGSVSatellites = static_cast<uint16_t>(4 * messages);
            return 0;
        }
    }
    SatelliteInfo* entry = &m_Satellites[(number - 1) * 4];
    for (int j = 0; j < 4; ++j, ++entry) {
        int32_t prn = 0, elevation = 0, azimuth = 0, snr = 0; // empty fields give 0
        fields.NextInt(prn);
        fields.NextInt(elevation);
        fields.NextInt(azimuth);
        fields.NextInt(snr);
        entry->wPrn = Low16(prn);
        entry->wElevation = Low16(elevation);
        entry->wAzimuth = Low16(azimuth);
        entry->wSnr = Low16(snr);
        entry->bUsed = IsPrnUsed(entry->wPrn) ? 1 : 0;
    }
    Increment(m_nGSVCount);
    return 1;
}

// $GPRMB,A,0.66,L,003,004,4917.24,N,12309.57,W,001.3,052.5,000.5,V*20
void CNmeaParser::DecodeRMB(const char* body) {
    FieldReader fields(body);
    std::string_view f = fields.Next();
    m_cRMBStatus = f.empty() ? 'V' : f[0];
    f = fields.Next();
    m_dRMBCrossTrack = f.empty() ? 0.0 : TextToDouble(f);
    f = fields.Next();
    m_cRMBSteer = f.empty() ? '?' : f[0];
    CopyText(fields.Next(), m_szRMBOrigin);
    CopyText(fields.Next(), m_szRMBDestination);
    f = fields.Next();
    if (!f.empty()) {
        m_dRMBDestLatitude = Coordinate(f, 2);
    }
    Hemisphere(fields.Next(), 'S', m_dRMBDestLatitude);
    f = fields.Next();
    if (!f.empty()) {
        m_dRMBDestLongitude = Coordinate(f, 3);
    }
    Hemisphere(fields.Next(), 'W', m_dRMBDestLongitude);
    f = fields.Next();
    m_dRMBRange = f.empty() ? 0.0 : TextToDouble(f);
    f = fields.Next();
    m_dRMBBearing = f.empty() ? 0.0 : TextToDouble(f);
    f = fields.Next();
    m_dRMBClosingSpeed = f.empty() ? 0.0 : TextToDouble(f);
    f = fields.Next();
    m_cRMBArrival = f.empty() ? 'V' : f[0];
    Increment(m_nRMBCount);
}

// $GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A
void CNmeaParser::DecodeRMC(const char* body) {
    m_dwRMCArrivalMs = m_dwArrivalMs;
    FieldReader fields(body);
    std::string_view f = fields.Next();
    if (!f.empty()) {
        m_btRMCHour = Low8(Pair(f, 0));
        m_btRMCMinute = Low8(Pair(f, 1));
        m_btRMCSecond = Low8(Pair(f, 2));
    }
    f = fields.Next();
    m_cRMCStatus = f.empty() ? 'V' : f[0];
    f = fields.Next();
    if (!f.empty()) {
        m_dRMCLatitude = Coordinate(f, 2);
    }
    Hemisphere(fields.Next(), 'S', m_dRMCLatitude);
    f = fields.Next();
    if (!f.empty()) {
        m_dRMCLongitude = Coordinate(f, 3);
    }
    Hemisphere(fields.Next(), 'W', m_dRMCLongitude);
    f = fields.Next();
    m_dRMCSpeed = f.empty() ? 0.0 : TextToDouble(f);
    f = fields.Next();
    m_dRMCCourse = f.empty() ? 0.0 : TextToDouble(f);
    f = fields.Next();
    if (!f.empty()) {
        m_btRMCDay = Low8(Pair(f, 0));
        m_btRMCMonth = Low8(Pair(f, 1));
        m_wRMCYear = Low16(static_cast<int32_t>(static_cast<uint32_t>(Pair(f, 2)) + 2000u));
    }
    f = fields.Next();
    m_dRMCMagVariation = f.empty() ? 0.0 : TextToDouble(f);
    Hemisphere(fields.Next(), 'W', m_dRMCMagVariation);
    Increment(m_nRMCCount);
}

// $GPZDA,201530.00,04,07,2002,00,00*60
void CNmeaParser::DecodeZDA(const char* body) {
    FieldReader fields(body);
    std::string_view f = fields.Next();
    if (!f.empty()) {
        m_btZDAHour = Low8(Pair(f, 0));
        m_btZDAMinute = Low8(Pair(f, 1));
        m_btZDASecond = Low8(Pair(f, 2));
    }
    f = fields.Next();
    m_btZDADay = f.empty() ? 1 : Low8(TextToInt(f));
    f = fields.Next();
    m_btZDAMonth = f.empty() ? 1 : Low8(TextToInt(f));
    f = fields.Next();
    m_wZDAYear = f.empty() ? 1 : Low16(TextToInt(f));
    f = fields.Next();
    m_btZDAZoneHour = f.empty() ? 0 : Low8(TextToInt(f));
    f = fields.Next();
    m_btZDAZoneMinute = f.empty() ? 0 : Low8(TextToInt(f));
    Increment(m_nZDACount);
}
