#pragma once
// Binary frames for the tests, each check computed here from its protocol's rule (never with
// the code under test): UBX Fletcher-8, RTCM 3 CRC-24Q, SkyTraq XOR, SiRF 15-bit sum.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace frametest {

inline void PutBe16(std::string& out, size_t value) {
    out.push_back(static_cast<char>((value >> 8) & 0xFF));
    out.push_back(static_cast<char>(value & 0xFF));
}

// B5 62 class id len(LE) payload ckA ckB; the two running sums over class..payload.
inline std::string Ubx(uint8_t cls, uint8_t id, std::string_view payload) {
    std::string body;
    body.push_back(static_cast<char>(cls));
    body.push_back(static_cast<char>(id));
    body.push_back(static_cast<char>(payload.size() & 0xFF));
    body.push_back(static_cast<char>(payload.size() >> 8));
    body.append(payload);
    unsigned a = 0;
    unsigned b = 0;
    for (const char c : body) {
        a = (a + static_cast<uint8_t>(c)) % 256;
        b = (b + a) % 256;
    }
    return "\xB5\x62" + body + static_cast<char>(a) + static_cast<char>(b);
}

// D3, 6 zero bits + 10-bit length, payload, CRC-24Q (polynomial 0x1864CFB, MSB first, initial 0)
// over everything before it, computed bit by bit.
inline std::string Rtcm3(std::string_view payload) {
    std::string out = "\xD3";
    PutBe16(out, payload.size());
    out.append(payload);
    uint32_t crc = 0;
    for (const char c : out) {
        for (int bit = 7; bit >= 0; --bit) {
            const uint32_t in = (static_cast<uint8_t>(c) >> bit) & 1;
            const uint32_t top = (crc >> 23) & 1;
            crc = (crc << 1) & 0xFFFFFF;
            if ((top ^ in) != 0) {
                crc ^= 0x864CFB;
            }
        }
    }
    out.push_back(static_cast<char>(crc >> 16));
    PutBe16(out, crc & 0xFFFF);
    return out;
}

// A0 A1 len(BE) payload xor 0D 0A.
inline std::string SkyTraq(std::string_view payload) {
    std::string out = "\xA0\xA1";
    PutBe16(out, payload.size());
    uint8_t x = 0;
    for (const char c : payload) {
        x ^= static_cast<uint8_t>(c);
    }
    return out + std::string(payload) + static_cast<char>(x) + "\r\n";
}

// A0 A2 len(BE) payload sum(BE, 15 bits) B0 B3.
inline std::string Sirf(std::string_view payload) {
    std::string out = "\xA0\xA2";
    PutBe16(out, payload.size());
    size_t sum = 0;
    for (const char c : payload) {
        sum += static_cast<uint8_t>(c);
    }
    out.append(payload);
    PutBe16(out, sum % 32768);
    return out + "\xB0\xB3";
}

// A NAV-SAT payload (class 01 id 35): 8 header bytes, 12 per satellite.
inline std::string NavSatPayload(int satellites) {
    std::string p(8 + 12 * static_cast<size_t>(satellites), '\0');
    p[4] = 1; // version
    p[5] = static_cast<char>(satellites);
    for (int i = 0; i < satellites; ++i) {
        p[8 + 12 * static_cast<size_t>(i) + 1] = static_cast<char>(i + 1);  // svId
        p[8 + 12 * static_cast<size_t>(i) + 2] = static_cast<char>(30 + i); // cno
    }
    return p;
}

inline std::string NavSat(int satellites) {
    return Ubx(0x01, 0x35, NavSatPayload(satellites));
}

} // namespace frametest
