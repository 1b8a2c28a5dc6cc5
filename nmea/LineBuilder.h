#pragma once
// CLineBuilder: cuts the receive stream into sentence lines for the parser.
//
// A line starts at '$' (bytes outside a line are dropped) and is complete at the carriage
// return, after which a line feed and a zero byte are stored. The buffer holds 512 bytes, so a
// line can have at most 510 bytes up to and including its CR; a longer one is dropped together
// with the rest of the bytes handed in with it. A line that the bytes do not complete stays in
// the buffer and continues with the next call.
//
// Threads: one owner (the reader thread in the program); no lock, none needed.
#include <cstddef>
#include <cstdint>

class CLineBuilder {
public:
    static constexpr size_t kBufferSize = 512;

    CLineBuilder() = default;

    // Moves bytes into the line buffer. Returns the number of bytes consumed up to and including
    // the CR that completed a line, or 0 when no line was completed (all bytes then used up, or
    // the line overflowed). After a completed line, handle it, call Clear and call again with
    // the rest. When garbageCount is given it goes up by one for every byte dropped outside a
    // line and for every stored byte that is not an ASCII letter or digit.
    size_t Assemble(const char* data, size_t count, int32_t* garbageCount = nullptr);

    // The line: zero-terminated once complete ("$...\r\n").
    const char* Line() const { return m_szLine; }
    // Bytes held, the LF of a complete line included, the zero not.
    int32_t LineLength() const { return m_nLineLen; }
    // The line's length up to its first zero byte: what the parser is fed.
    size_t TextLength() const;
    // Back to waiting for '$' with the whole buffer zero.
    void Clear();

private:
    char m_szLine[kBufferSize] = {};
    int32_t m_nLineLen = 0;
    int32_t m_nFirstZero = -1; // position of the first zero byte taken into the line, -1 none
};
