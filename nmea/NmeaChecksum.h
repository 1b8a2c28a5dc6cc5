#pragma once
// The NMEA-0183 checksum: XOR of every byte between '$' and '*', written as two upper-case hex
// digits. Shared by the parser, the restart commands and the receiver simulator.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// XOR of the bytes of body (the text between '$' and '*', both excluded).
inline uint8_t NmeaChecksum(std::string_view body) {
    uint8_t sum = 0;
    for (char c : body) {
        sum = static_cast<uint8_t>(sum ^ static_cast<uint8_t>(c));
    }
    return sum;
}

// Two upper-case hex digits of sum.
inline std::string NmeaChecksumHex(uint8_t sum) {
    static const char digits[] = "0123456789ABCDEF";
    return std::string{digits[sum >> 4], digits[sum & 0x0F]};
}

// "$" + body + "*hh" + CR LF: a complete sentence.
inline std::string NmeaSentence(std::string_view body) {
    std::string s;
    s.reserve(body.size() + 6);
    s.push_back('$');
    s.append(body);
    s.push_back('*');
    s.append(NmeaChecksumHex(NmeaChecksum(body)));
    s.append("\r\n");
    return s;
}
