// Fuzzes the whole receive byte path: the line builder over 511-byte reads, Parse on each line,
// Parse on the raw bytes as well, and a snapshot copy of the parser's state.
#include "LineBuilder.h"
#include "NmeaParser.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CNmeaParser parser;
    CLineBuilder lines;
    int32_t garbage = 0;
    const char* bytes = reinterpret_cast<const char*>(data);

    // The program reads at most 511 bytes at a time; a line can straddle reads.
    for (size_t pos = 0; pos < size;) {
        size_t chunk = std::min<size_t>(511, size - pos);
        const char* read = bytes + pos;
        size_t left = chunk;
        while (left > 0) {
            size_t used = lines.Assemble(read, left, &garbage);
            if (used == 0) {
                break;
            }
            parser.Parse(lines.Line(), lines.TextLength());
            lines.Clear();
            read += used;
            left -= used;
        }
        pos += chunk;
    }

    CNmeaParser raw;
    raw.Parse(data, size);

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
