// Fuzzes the whole receive byte path: the receive path over 511-byte reads (line builder, Parse
// on each line, garbage counting), Parse on the raw bytes checked against byte-by-byte ParseChar,
// the multi-GNSS decoding on half the inputs, binary frame recognition on half the inputs (those
// whose first byte has its top bit set, as every frame's sync byte does), and a snapshot copy of
// the parser's state.
#include "FrameCollector.h"
#include "NmeaParser.h"
#include "NmeaStateJson.h"
#include "ReceivePath.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CNmeaParser parser;
    // Half the inputs go through the multi-GNSS decoding too.
    parser.m_bMultiGnss = size > 0 && (data[0] & 1) != 0;
    CReceivePath receive(parser, nullptr, true);
    const bool frames = size > 0 && (data[0] & 0x80) != 0;
    receive.SetFrameRecognition(frames);
    const char* bytes = reinterpret_cast<const char*>(data);
    size_t frameBytes = 0;

    // The program reads at most 511 bytes at a time; a line can straddle reads.
    for (size_t pos = 0; pos < size; pos += 511) {
        receive.Feed(
            bytes + pos, std::min<size_t>(511, size - pos), 0,
            [](const ReceivedLine& line) {
                if (line.length == 0 || line.text[0] != '$') {
                    __builtin_trap();
                }
            },
            [&](const ReceivedFrame& frame) {
                // Whole, from its sync byte, never longer than the longest believed.
                if (!frames || frame.length < 8 || frame.length > CFrameCollector::kMaxFrame ||
                    !CFrameCollector::IsSync(frame.data[0])) {
                    __builtin_trap();
                }
                frameBytes += frame.length;
            });
    }
    if (frameBytes > size) {
        __builtin_trap(); // a byte handed on twice
    }

    // The bulk framer's fast path must frame exactly as the byte-by-byte one, in the same reads.
    CNmeaParser raw;
    CNmeaParser single;
    for (size_t pos = 0; pos < size; pos += 511) {
        const size_t n = std::min<size_t>(511, size - pos);
        const int bulkResult = raw.Parse(data + pos, n);
        int singleResult = 1;
        for (size_t i = 0; i < n && singleResult == 1; ++i) {
            singleResult = single.ParseChar(data[pos + i]);
        }
        if (bulkResult != singleResult) {
            __builtin_trap();
        }
    }
    if (NmeaStateJson(raw) != NmeaStateJson(single)) {
        __builtin_trap();
    }

    if (parser.m_multiGnss.m_wCount > CMultiGnssState::kSatellites ||
        NmeaStateJson(parser, true).empty()) {
        __builtin_trap();
    }

    CNmeaParser snapshot(parser);
    snapshot = raw;
    // Strings the program prints must stay terminated whatever arrived.
    if (std::memchr(snapshot.m_szRMBOrigin, 0, sizeof snapshot.m_szRMBOrigin) == nullptr ||
        std::memchr(snapshot.m_szRMBDestination, 0, sizeof snapshot.m_szRMBDestination) ==
            nullptr) {
        __builtin_trap();
    }
    return 0;
}
