#pragma once
// CReceivePath: the one way the program, its tools, the benchmark and the fuzz target turn
// received bytes into parsed sentences. Each read's bytes go to the line builder; every line it
// completes is fed to the parser (under the caller's lock, when one is given) and handed, with
// its parse result and the read's arrival time, to the caller's handler.
//
// Garbage counting (optional, as the reader uses it): bytes dropped outside a line and stored
// bytes that are not ASCII letters or digits count up; a completed line sets the count back to
// zero; the owner adds its own penalties (a failed or empty read) with AddGarbage.
//
// Threads: one owner feeds it (the reader thread in the program). The parser belongs to the
// caller: when other threads read it, pass the lock that guards it; it is held for Parse only,
// never while the handler runs.
#include "LineBuilder.h"
#include "NmeaParser.h"

#include <cstddef>
#include <cstdint>
#include <mutex>

// One completed line as the handler sees it.
struct ReceivedLine {
    const char* text = nullptr; // "$...\r\n", zero-terminated
    size_t length = 0;          // up to the first zero byte: what the parser was fed
    int parsed = 0;             // Parse's result: 1 taken, 0 syntax error
    uint32_t arrivalMs = 0;     // when the read that completed the line returned
};

class CReceivePath {
public:
    // parserLock may be null when the parser has no other reader.
    explicit CReceivePath(CNmeaParser& parser, std::mutex* parserLock = nullptr,
                          bool countGarbage = false)
        : m_parser(parser), m_lock(parserLock), m_counting(countGarbage) {}

    // One read's bytes. onLine(const ReceivedLine&) runs once per completed line, after Parse;
    // the line's bytes stay valid until it returns. Returns the number of lines completed.
    template <class Handler>
    size_t Feed(const char* data, size_t count, uint32_t arrivalMs, Handler&& onLine) {
        size_t lines = 0;
        if (data == nullptr) {
            return 0;
        }
        int32_t* garbage = m_counting ? &m_nGarbage : nullptr;
        for (size_t used = m_builder.Assemble(data, count, garbage); used > 0;
             used = m_builder.Assemble(data, count, garbage)) {
            ++lines;
            if (m_counting) {
                m_nGarbage = 0;
            }
            ReceivedLine line;
            line.text = m_builder.Line();
            line.length = m_builder.TextLength();
            line.arrivalMs = arrivalMs;
            line.parsed = ParseLine(line.text, line.length, arrivalMs);
            onLine(static_cast<const ReceivedLine&>(line));
            m_builder.Clear();
            data += used;
            count -= used;
        }
        return lines;
    }

    // The reader's own step of the line builder: bytes consumed up to and including the CR that
    // completed a line, or 0. The completed line is left in Builder() for the caller to handle.
    size_t AssembleOnly(const char* data, size_t count) {
        return m_builder.Assemble(data, count, m_counting ? &m_nGarbage : nullptr);
    }

    int32_t Garbage() const { return m_nGarbage; }
    void AddGarbage(int32_t n) {
        m_nGarbage =
            static_cast<int32_t>(static_cast<uint32_t>(m_nGarbage) + static_cast<uint32_t>(n));
    }
    void ResetGarbage() { m_nGarbage = 0; }
    CLineBuilder& Builder() { return m_builder; }

private:
    int ParseLine(const char* text, size_t length, uint32_t arrivalMs) {
        if (m_lock == nullptr) {
            m_parser.m_dwArrivalMs = arrivalMs;
            return m_parser.Parse(text, length);
        }
        std::lock_guard lock(*m_lock);
        m_parser.m_dwArrivalMs = arrivalMs;
        return m_parser.Parse(text, length);
    }

    CNmeaParser& m_parser;
    std::mutex* m_lock;
    bool m_counting;
    int32_t m_nGarbage = 0;
    CLineBuilder m_builder;
};
