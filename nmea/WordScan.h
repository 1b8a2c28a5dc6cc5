#pragma once
// Helpers that scan bytes sixteen and eight at a time for the framer and the line builder
// (internal to zp_nmea). Blocks use the compilers' portable vector extension (SSE2 on x86-64,
// NEON on ARM); in words, byte i of the input is bits 8i to 8i + 7 on every platform.
//
// Threads: pure functions.
#include <bit>
#include <cstdint>
#include <cstring>

namespace wordscan {

// ---- sixteen bytes

typedef uint8_t Block __attribute__((vector_size(16)));

inline Block LoadBlock(const void* p) {
    Block b;
    std::memcpy(&b, p, sizeof b);
    return b;
}

inline void StoreBlock(void* p, Block b) {
    std::memcpy(p, &b, sizeof b);
}

inline Block Splat(uint8_t value) {
    Block b;
    std::memset(&b, value, sizeof b);
    return b;
}

// 0xFF where the byte equals value, else 0.
inline Block Equal(Block b, uint8_t value) {
    return reinterpret_cast<Block>(b == Splat(value));
}

// 0xFF in the first n bytes (n = 0 to 16).
inline Block FirstBytes(unsigned n) {
    const Block index = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
    return reinterpret_cast<Block>(index < Splat(static_cast<uint8_t>(n)));
}

// 0xFF where the byte is an ASCII letter or digit.
inline Block AlnumBytes(Block b) {
    const Block digit = reinterpret_cast<Block>(static_cast<Block>(b - Splat('0')) < Splat(10));
    const Block folded = b | Splat(0x20); // 'A'-'Z' onto 'a'-'z'; nothing else lands there
    const Block letter =
        reinterpret_cast<Block>(static_cast<Block>(folded - Splat('a')) < Splat(26));
    return digit | letter;
}

// Index of the first byte that is not 0 in mask, 16 when there is none.
inline unsigned FirstSet(Block mask) {
    uint64_t half[2];
    std::memcpy(half, &mask, sizeof half);
    for (unsigned i = 0; i < 2; ++i) {
        if (half[i] != 0) {
            const int bits = std::endian::native == std::endian::little ? std::countr_zero(half[i])
                                                                        : std::countl_zero(half[i]);
            return 8 * i + static_cast<unsigned>(bits >> 3);
        }
    }
    return 16;
}

// Sum of the sixteen bytes taken as numbers.
inline unsigned SumBlock(Block b);

// XOR of the sixteen bytes.
inline uint8_t FoldBlock(Block b);

// ---- eight bytes

inline uint64_t Load8(const void* p) {
    uint64_t w;
    std::memcpy(&w, p, 8);
    if constexpr (std::endian::native == std::endian::big) {
        w = __builtin_bswap64(w);
    }
    return w;
}

inline void Store8(void* p, uint64_t w) {
    if constexpr (std::endian::native == std::endian::big) {
        w = __builtin_bswap64(w);
    }
    std::memcpy(p, &w, 8);
}

// Flags (0x80) bytes of word equal to b. The lowest flag is exact; flags above a true match may
// be false, which is all the callers need: they look at the first match only.
inline uint64_t MatchMask(uint64_t word, uint8_t b) {
    const uint64_t x = word ^ (0x0101010101010101ull * b);
    return (x - 0x0101010101010101ull) & ~x & 0x8080808080808080ull;
}

// Index (0 to 7) of the first flagged byte; mask must not be 0.
inline unsigned FirstFlagged(uint64_t mask) {
    return static_cast<unsigned>(std::countr_zero(mask)) >> 3;
}

// The low n bytes (n = 0 to 7) set.
inline uint64_t LowBytes(unsigned n) {
    return n == 0 ? 0 : ~0ull >> (64 - 8 * n);
}

// Flags (0x80) the bytes of word that are ASCII letters or digits; exact for every byte.
inline uint64_t AlnumMask(uint64_t word) {
    constexpr uint64_t kOnes = 0x0101010101010101ull;
    constexpr uint64_t kHigh = 0x8080808080808080ull;
    const uint64_t low7 = word & ~kHigh; // bytes above 127 are dropped at the end
    // With the high bit clear, x + (0x80 - lo) sets it exactly when x >= lo, and
    // x + (0x7F - hi) exactly when x > hi; no carry crosses into the next byte.
    const auto inRange = [](uint64_t x, uint8_t lo, uint8_t hi) {
        return (x + kOnes * (0x80u - lo)) & ~(x + kOnes * (0x7Fu - hi)) & kHigh;
    };
    const uint64_t digits = inRange(low7, '0', '9');
    const uint64_t letters = inRange(low7 | (kOnes * 0x20), 'a', 'z'); // folds 'A'-'Z' in
    return (digits | letters) & ~word & kHigh;
}

// Sum of the eight bytes of word taken as numbers.
inline unsigned SumBytes(uint64_t word) {
    constexpr uint64_t kPairs = 0x00FF00FF00FF00FFull;
    word = (word & kPairs) + ((word >> 8) & kPairs); // four 16-bit sums
    return static_cast<unsigned>((word * 0x0001000100010001ull) >> 48);
}

// XOR of the eight bytes of word.
inline uint8_t FoldBytes(uint64_t word) {
    word ^= word >> 32;
    word ^= word >> 16;
    word ^= word >> 8;
    return static_cast<uint8_t>(word);
}

inline unsigned SumBlock(Block b) {
    uint64_t half[2];
    std::memcpy(half, &b, sizeof half);
    return SumBytes(half[0]) + SumBytes(half[1]);
}

inline uint8_t FoldBlock(Block b) {
    uint64_t half[2];
    std::memcpy(half, &b, sizeof half);
    return FoldBytes(half[0] ^ half[1]);
}

} // namespace wordscan
