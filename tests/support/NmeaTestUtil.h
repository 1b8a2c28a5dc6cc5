#pragma once
// Helpers shared by the NMEA tests.
#include "NmeaChecksum.h"
#include "NmeaParser.h"

#include <string>
#include <string_view>

// Feeds text to Parse in one call.
inline int Feed(CNmeaParser& parser, std::string_view text) {
    return parser.Parse(text.data(), text.size());
}

// "$" + text + "*hh\r\n" with the correct checksum.
inline std::string Sentence(std::string_view text) {
    return NmeaSentence(text);
}

// text followed by two bytes from 0x41 to 0xFE (never ',', '*', CR or '$') chosen so that the
// checksum of the whole is want.
inline std::string WithChecksum(std::string text, uint8_t want) {
    const uint8_t sum = NmeaChecksum(text);
    for (int a = 0x41; a <= 0xFE; ++a) {
        const int b = sum ^ a ^ want;
        if (b >= 0x41 && b <= 0xFE) {
            text.push_back(static_cast<char>(a));
            text.push_back(static_cast<char>(b));
            break;
        }
    }
    return text;
}
