#pragma once
// Binary frames for the tests, each check computed here from its protocol's rule (never with
// the code under test): UBX Fletcher-8, RTCM 3 CRC-24Q, SkyTraq XOR, SiRF 15-bit sum.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace frametest {

inline std::string Be16(size_t value) {
    return {static_cast<char>((value >> 8) & 0xFF), static_cast<char>(value & 0xFF)};
}

// B5 62 class id len(LE) payload ckA ckB; the two running sums over class..payload.
inline std::string Ubx(uint8_t cls, uint8_t id, std::string_view payload) {
    std::string body{static_cast<char>(cls), static_cast<char>(id),
                     static_cast<char>(payload.size() & 0xFF),
                     static_cast<char>(payload.size() >> 8)};
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
    std::string out = "\xD3" + Be16(payload.size()) + std::string(payload);
    uint32_t crc = 0;
    for (const char c : out) {
        for (int bit = 7; bit >= 0; --bit) {
            const uint32_t feedback = ((crc >> 23) ^ (static_cast<uint8_t>(c) >> bit)) & 1;
            crc = ((crc << 1) & 0xFFFFFF) ^ (feedback != 0 ? 0x864CFB : 0);
        }
    }
    return out + static_cast<char>(crc >> 16) + Be16(crc & 0xFFFF);
}

// A0 A1 len(BE) payload xor 0D 0A.
inline std::string SkyTraq(std::string_view payload) {
    uint8_t x = 0;
    for (const char c : payload) {
        x ^= static_cast<uint8_t>(c);
    }
    return "\xA0\xA1" + Be16(payload.size()) + std::string(payload) + static_cast<char>(x) + "\r\n";
}

// A0 A2 len(BE) payload sum(BE, 15 bits) B0 B3.
inline std::string Sirf(std::string_view payload) {
    size_t sum = 0;
    for (const char c : payload) {
        sum += static_cast<uint8_t>(c);
    }
    return "\xA0\xA2" + Be16(payload.size()) + std::string(payload) + Be16(sum % 32768) +
           "\xB0\xB3";
}

// A NAV-SAT (class 01 id 35): 8 header bytes, 12 per satellite (svId, C/N0 varied).
inline std::string NavSat(int satellites) {
    std::string p(8 + 12 * static_cast<size_t>(satellites), '\0');
    for (size_t i = 0; i < static_cast<size_t>(satellites); ++i) {
        p[8 + 12 * i + 1] = static_cast<char>(i + 1);
        p[8 + 12 * i + 2] = static_cast<char>(30 + i);
    }
    return Ubx(0x01, 0x35, p);
}

} // namespace frametest
