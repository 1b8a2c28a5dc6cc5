#include "NmeaStateJson.h"

#include <charconv>
#include <cmath>
#include <cstring>

namespace {

class JsonWriter {
public:
    explicit JsonWriter(std::string& out) : m_out(out) {}

    void Key(const char* name) {
        if (m_needComma) {
            m_out.push_back(',');
        }
        m_out.push_back('"');
        m_out.append(name);
        m_out.append("\":");
        m_needComma = true;
    }

    void Int(long long v) {
        char buf[24];
        const auto r = std::to_chars(buf, buf + sizeof buf, v);
        m_out.append(buf, r.ptr);
    }

    void Double(double v) {
        if (std::isnan(v)) {
            m_out.append("\"nan\"");
        } else if (std::isinf(v)) {
            m_out.append(v < 0 ? "\"-inf\"" : "\"inf\"");
        } else {
            // to_chars with a precision prints as printf("%.17g") does in the "C" locale.
            char buf[40];
            const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 17);
            m_out.append(buf, r.ptr);
        }
    }

    void Text(const char* s, size_t size) {
        const void* zero = std::memchr(s, '\0', size);
        const size_t n = zero ? static_cast<size_t>(static_cast<const char*>(zero) - s) : size;
        m_out.push_back('"');
        for (size_t i = 0; i < n; ++i) {
            Byte(static_cast<unsigned char>(s[i]));
        }
        m_out.push_back('"');
    }

    void Char(char c) {
        m_out.push_back('"');
        Byte(static_cast<unsigned char>(c));
        m_out.push_back('"');
    }

    void Open(char c) {
        m_out.push_back(c);
        m_needComma = false;
    }
    void Close(char c) {
        m_out.push_back(c);
        m_needComma = true;
    }
    void Comma() { m_out.push_back(','); }

private:
    void Byte(unsigned char c) {
        static const char kHex[] = "0123456789ABCDEF";
        if (c == '"' || c == '\\') {
            m_out.push_back('\\');
            m_out.push_back(static_cast<char>(c));
        } else if (c >= 0x20 && c < 0x7F) {
            m_out.push_back(static_cast<char>(c));
        } else {
            const char esc[] = {'\\', 'u', '0', '0', kHex[c >> 4], kHex[c & 0x0F]};
            m_out.append(esc, sizeof esc);
        }
    }

    std::string& m_out;
    bool m_needComma = false;
};

} // namespace

namespace {

// The members a satellite of either table has, in their order.
template <class Satellite> void SignalFields(JsonWriter& w, const Satellite& s) {
    w.Key("wSnr");
    w.Int(s.wSnr);
    w.Key("bUsed");
    w.Int(s.bUsed);
    w.Key("wAzimuth");
    w.Int(s.wAzimuth);
    w.Key("wElevation");
    w.Int(s.wElevation);
}

void GnssId(JsonWriter& w, EGnssSystem system, uint16_t prn) {
    char text[8];
    text[0] = GnssSystemLetter(system);
    const auto r = std::to_chars(text + 1, text + sizeof text, prn);
    w.Text(text, static_cast<size_t>(r.ptr - text));
}

void AppendMultiGnss(JsonWriter& w, const CMultiGnssState& m) {
    w.Key("m_multiGnss");
    w.Open('{');
    w.Key("m_btEpochFixMode");
    w.Int(m.m_btEpochFixMode);
    w.Key("m_Used");
    w.Open('[');
    for (int i = 0; i < m.m_wUsedCount; ++i) {
        if (i > 0) {
            w.Comma();
        }
        GnssId(w, m.m_Used[i].system, m.m_Used[i].wPrn);
    }
    w.Close(']');
    w.Key("m_wCount");
    w.Int(m.m_wCount);
    w.Key("m_Satellites");
    w.Open('[');
    for (int i = 0; i < m.m_wCount; ++i) {
        const CGnssSatellite& s = m.m_Satellites[i];
        if (i > 0) {
            w.Comma();
        }
        w.Open('{');
        w.Key("id");
        GnssId(w, s.system, s.wPrn);
        SignalFields(w, s);
        w.Close('}');
    }
    w.Close(']');
    w.Key("m_nGsvGroups");
    w.Int(m.m_nGsvGroups);
    w.Key("m_nGsvDropped");
    w.Int(m.m_nGsvDropped);
    w.Key("m_nTableFull");
    w.Int(m.m_nTableFull);
    w.Close('}');
}

} // namespace

void AppendNmeaStateJson(std::string& out, const CNmeaParser& p, bool withMultiGnss) {
    JsonWriter w(out);
    // Members in declaration order; the macros keep each key identical to its member's name.
#define ZP_INT(m)                                                                                  \
    w.Key(#m);                                                                                     \
    w.Int(p.m)
#define ZP_DBL(m)                                                                                  \
    w.Key(#m);                                                                                     \
    w.Double(p.m)
#define ZP_CHR(m)                                                                                  \
    w.Key(#m);                                                                                     \
    w.Char(p.m)
#define ZP_TXT(m)                                                                                  \
    w.Key(#m);                                                                                     \
    w.Text(p.m, sizeof p.m)

    w.Open('{');
    ZP_INT(m_nState);
    ZP_INT(m_btChecksum);
    ZP_INT(m_btRecvChecksum);
    ZP_INT(m_wLength);
    ZP_TXT(m_szSentenceId);
    ZP_TXT(m_szBody);
    ZP_INT(m_nSentenceCount);

    ZP_INT(m_btGGAHour);
    ZP_INT(m_btGGAMinute);
    ZP_INT(m_btGGASecond);
    ZP_DBL(m_dGGALatitude);
    ZP_DBL(m_dGGALongitude);
    ZP_INT(m_btGGAQuality);
    ZP_INT(m_btGGASatellites);
    ZP_DBL(m_dGGAHdop);
    ZP_DBL(m_dGGAAltitude);
    ZP_INT(m_nGGACount);
    ZP_INT(m_nGGALastSecond);
    ZP_DBL(m_dGGALastAltitude);
    ZP_DBL(m_dGGAClimbRate);

    ZP_CHR(m_cGSAMode);
    ZP_INT(m_btGSAFixMode);
    w.Key("m_wGSAPrn");
    w.Open('[');
    for (int i = 0; i < CNmeaParser::kSatelliteSlots; ++i) {
        if (i > 0) {
            w.Comma();
        }
        w.Int(p.m_wGSAPrn[i]);
    }
    w.Close(']');
    ZP_DBL(m_dGSAPdop);
    ZP_DBL(m_dGSAHdop);
    ZP_DBL(m_dGSAVdop);
    ZP_INT(m_nGSACount);

    ZP_INT(m_wGSVSatellites);
    w.Key("m_Satellites");
    w.Open('[');
    for (int i = 0; i < CNmeaParser::kSatelliteSlots; ++i) {
        const SatelliteInfo& s = p.m_Satellites[i];
        if (i > 0) {
            w.Comma();
        }
        w.Open('{');
        w.Key("wPrn");
        w.Int(s.wPrn);
        SignalFields(w, s);
        w.Close('}');
    }
    w.Close(']');
    ZP_INT(m_nGSVCount);

    ZP_CHR(m_cRMBStatus);
    ZP_DBL(m_dRMBCrossTrack);
    ZP_CHR(m_cRMBSteer);
    ZP_TXT(m_szRMBOrigin);
    ZP_TXT(m_szRMBDestination);
    ZP_DBL(m_dRMBDestLatitude);
    ZP_DBL(m_dRMBDestLongitude);
    ZP_DBL(m_dRMBRange);
    ZP_DBL(m_dRMBBearing);
    ZP_DBL(m_dRMBClosingSpeed);
    ZP_CHR(m_cRMBArrival);
    ZP_INT(m_nRMBCount);

    ZP_INT(m_btRMCHour);
    ZP_INT(m_btRMCMinute);
    ZP_INT(m_btRMCSecond);
    ZP_CHR(m_cRMCStatus);
    ZP_DBL(m_dRMCLatitude);
    ZP_DBL(m_dRMCLongitude);
    ZP_DBL(m_dRMCSpeed);
    ZP_DBL(m_dRMCCourse);
    ZP_INT(m_btRMCDay);
    ZP_INT(m_btRMCMonth);
    ZP_INT(m_wRMCYear);
    ZP_DBL(m_dRMCMagVariation);
    ZP_INT(m_nRMCCount);

    ZP_INT(m_btZDAHour);
    ZP_INT(m_btZDAMinute);
    ZP_INT(m_btZDASecond);
    ZP_INT(m_btZDADay);
    ZP_INT(m_btZDAMonth);
    ZP_INT(m_wZDAYear);
    ZP_INT(m_btZDAZoneHour);
    ZP_INT(m_btZDAZoneMinute);
    ZP_INT(m_nZDACount);
    if (withMultiGnss) {
        AppendMultiGnss(w, p.m_multiGnss);
    }
    w.Close('}');

#undef ZP_INT
#undef ZP_DBL
#undef ZP_CHR
#undef ZP_TXT
}
