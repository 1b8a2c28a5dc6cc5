#include "LineBuilder.h"

#include "WordScan.h"

#include <cstring>

namespace {

bool IsAsciiAlnum(unsigned char c) {
    return (c >= '0' && c <= '9') || ((c | 0x20) >= 'a' && (c | 0x20) <= 'z');
}

void AddGarbage(int32_t* counter, size_t n) {
    *counter = static_cast<int32_t>(static_cast<uint32_t>(*counter) + static_cast<uint32_t>(n));
}

// A stored byte must leave room for the LF and zero that a CR adds.
constexpr size_t kMaxLineBytes = CLineBuilder::kBufferSize - 2;

} // namespace

size_t CLineBuilder::Assemble(const char* data, size_t count, int32_t* garbageCount) {
    const bool counting = garbageCount != nullptr;
    size_t pos = 0;
    while (pos < count) {
        if (m_nLineLen == 0) {
            // Only '$' starts a line; usually just the LF of the last line lies before it.
            size_t start = pos;
            while (start < count && start < pos + 2 && data[start] != '$') {
                ++start;
            }
            if (start < count && data[start] != '$') {
                const void* dollar = std::memchr(data + start, '$', count - start);
                start =
                    dollar ? static_cast<size_t>(static_cast<const char*>(dollar) - data) : count;
            }
            if (garbageCount != nullptr) {
                AddGarbage(garbageCount, start - pos);
            }
            pos = start;
            if (pos == count) {
                return 0;
            }
        }
        const auto len = static_cast<size_t>(m_nLineLen);
        const size_t room = len < kMaxLineBytes ? kMaxLineBytes - len : 0;
        const size_t window = count - pos < room ? count - pos : room;
        // Copy up to the CR in one pass, sixteen and then eight bytes at a time, noting the first
        // zero byte (the text handed on ends there). Past the line the buffer is zero, so the
        // last partial block or word is stored with zeros in place of the bytes not taken.
        const char* const src = data + pos;
        char* const dst = m_szLine + len;
        size_t take = 0;
        bool cr = false;
        // ASCII letters and digits among the bytes taken, per byte lane for blocks and words.
        wordscan::Block alnumBlocks = {};
        uint64_t alnumLanes = 0;
        size_t alnum = 0;
        while (!cr && take + 16 <= window) {
            const wordscan::Block block = wordscan::LoadBlock(src + take);
            const unsigned k =
                wordscan::FirstSet(wordscan::Equal(block, '\r') | wordscan::Equal(block, 0));
            if (k == 16) {
                wordscan::StoreBlock(dst + take, block);
                alnumBlocks -= wordscan::AlnumBytes(block); // 0xFF counts one
                take += 16;
                continue;
            }
            const wordscan::Block taken = block & wordscan::FirstBytes(k + 1);
            wordscan::StoreBlock(dst + take, taken);
            alnumBlocks -= wordscan::AlnumBytes(taken); // the zeros past them are no letters
            if (src[take + k] == '\r') {
                cr = true;
            } else if (m_nFirstZero < 0) {
                m_nFirstZero = static_cast<int32_t>(len + take + k);
            }
            take += k + 1;
        }
        while (!cr && take + 8 <= window) {
            const uint64_t word = wordscan::Load8(src + take);
            const uint64_t stops = wordscan::MatchMask(word, '\r') | wordscan::MatchMask(word, 0);
            if (stops == 0) {
                wordscan::Store8(dst + take, word);
                alnumLanes += wordscan::AlnumMask(word) >> 7; // 0 or 1 per byte
                take += 8;
                continue;
            }
            const unsigned k = wordscan::FirstFlagged(stops); // the CR or zero byte
            const unsigned n = k + 1;
            const uint64_t taken = n == 8 ? word : word & wordscan::LowBytes(n);
            wordscan::Store8(dst + take, taken);
            alnumLanes += wordscan::AlnumMask(taken) >> 7; // the zeros past them are no letters
            if (src[take + k] == '\r') {
                cr = true;
            } else if (m_nFirstZero < 0) {
                m_nFirstZero = static_cast<int32_t>(len + take + k);
            }
            take += n;
        }
        while (!cr && take < window) {
            const char c = src[take];
            dst[take] = c;
            ++take;
            alnum += IsAsciiAlnum(static_cast<unsigned char>(c)) ? 1 : 0;
            if (c == '\r') {
                cr = true;
            } else if (c == '\0' && m_nFirstZero < 0) {
                m_nFirstZero = static_cast<int32_t>(len + take - 1);
            }
        }
        if (counting) {
            // At most 32 blocks or words per call: no lane passes 255.
            alnum += wordscan::SumBytes(alnumLanes) + wordscan::SumBlock(alnumBlocks);
            AddGarbage(garbageCount, take - alnum);
        }
        pos += take;
        m_nLineLen = static_cast<int32_t>(len + take);
        if (cr) {
            m_szLine[m_nLineLen] = '\n';
            ++m_nLineLen;
            m_szLine[m_nLineLen] = '\0';
            return pos;
        }
        if (pos < count) {
            // No room for the next byte: drop the line and the rest of these bytes. The dropped
            // bytes are cleared so that the buffer beyond the line stays zero.
            std::memset(m_szLine, 0, static_cast<size_t>(m_nLineLen));
            m_nLineLen = 0;
            m_nFirstZero = -1;
            return 0;
        }
    }
    return 0;
}

size_t CLineBuilder::TextLength() const {
    // Past the line the buffer is zero.
    return static_cast<size_t>(m_nFirstZero >= 0 ? m_nFirstZero : m_nLineLen);
}

void CLineBuilder::Clear() {
    // Everything past the line (and its LF and zero) is zero already.
    const size_t used = static_cast<size_t>(m_nLineLen) + 1;
    std::memset(m_szLine, 0, used < kBufferSize ? used : kBufferSize);
    m_nLineLen = 0;
    m_nFirstZero = -1;
}
