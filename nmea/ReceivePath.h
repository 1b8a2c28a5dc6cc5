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
// Frame recognition (off by default; then every byte goes by the line rules alone): between
// lines, a sync byte starts a binary frame (FrameCollector.h). A frame with a valid check is
// neither shown nor parsed nor counted as garbage: it goes to the frame handler and, like a
// completed line, sets the count back to zero. Until its check passes a frame's bytes count
// provisionally as garbage, so that noise at a wrong rate closes the port as fast as without
// recognition; only a frame that follows a whole frame or line directly (nothing but that
// line's LF between) is trusted with its bytes held out of the count, so that a long frame cut
// by the end of a read does not close the port. A failed header or check counts the sync byte
// as a byte outside a line and scans the bytes after it again.
//
// Threads: one owner feeds it (the reader thread in the program). The parser belongs to the
// caller: when other threads read it, pass the lock that guards it; it is held for Parse only,
// never while a handler runs. SetFrameRecognition, FrameRecognition and FrameCount may be
// called from any thread (atomics); a switch takes effect at the owner's next Feed.
#include "BinaryFrames.h"
#include "FrameCollector.h"
#include "LineBuilder.h"
#include "NmeaParser.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>

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
    // Recognised frames are dropped (still counted in FrameCount).
    template <class LineHandler>
    size_t Feed(const char* data, size_t count, uint32_t arrivalMs, LineHandler&& onLine) {
        return Feed(data, count, arrivalMs, onLine, [](const ReceivedFrame&) {});
    }

    // The same, with onFrame(const ReceivedFrame&) run once per frame with a valid check, in
    // stream order with the lines; the frame's bytes stay valid until it returns.
    template <class LineHandler, class FrameHandler>
    size_t Feed(const char* data, size_t count, uint32_t arrivalMs, LineHandler&& onLine,
                FrameHandler&& onFrame) {
        if (data == nullptr) {
            return 0;
        }
        const bool recognise = m_recognise.load(std::memory_order_relaxed);
        if (!recognise && !m_frame.Active() && m_replay.empty()) {
            return FeedLines(data, count, arrivalMs, onLine);
        }
        if (!recognise && m_frame.Active()) {
            ReleaseFrame(); // switched off in the middle of a frame: its bytes go by the lines
        }
        size_t lines = 0;
        for (;;) {
            // Bytes of a failed frame go before the rest of the read.
            const bool fromReplay = m_replayAt < m_replay.size();
            if (!fromReplay && !m_replay.empty()) {
                m_replay.clear();
                m_replayAt = 0;
            }
            if (!fromReplay && count == 0) {
                break;
            }
            const char* p = fromReplay ? m_replay.data() + m_replayAt : data;
            const size_t n = fromReplay ? m_replay.size() - m_replayAt : count;
            size_t used = n;
            if (recognise) {
                used = Step(p, n, arrivalMs, &lines, onLine, onFrame);
            } else {
                lines += FeedLines(p, n, arrivalMs, onLine);
            }
            if (fromReplay) {
                m_replayAt += used;
            } else {
                data += used;
                count -= used;
            }
            if (m_failed) {
                m_failed = false;
                ReleaseFrame();
            }
        }
        return lines;
    }

    // The reader's own step of the line builder: bytes consumed up to and including the CR that
    // completed a line, or 0. The completed line is left in Builder() for the caller to handle.
    size_t AssembleOnly(const char* data, size_t count) {
        return m_builder.Assemble(data, count, m_counting ? &m_nGarbage : nullptr);
    }

    // The count the close rule reads: settled garbage plus the bytes of a frame not trusted yet.
    int32_t Garbage() const {
        if (!m_frame.Active() || m_trusted || !m_counting) {
            return m_nGarbage;
        }
        return static_cast<int32_t>(static_cast<uint32_t>(m_nGarbage) +
                                    static_cast<uint32_t>(m_frame.Length()));
    }
    void AddGarbage(int32_t n) {
        m_nGarbage =
            static_cast<int32_t>(static_cast<uint32_t>(m_nGarbage) + static_cast<uint32_t>(n));
    }
    void ResetGarbage() { m_nGarbage = 0; }
    CLineBuilder& Builder() { return m_builder; }
    // Forgets a part line and a part frame (the port was closed: what a reopened port sends
    // must not be joined to them).
    void ClearPartial() {
        m_builder.Clear();
        m_frame.Clear();
        m_replay.clear();
        m_replayAt = 0;
        m_after = After::Nothing;
    }

    // Frame recognition: off by default.
    void SetFrameRecognition(bool on) { m_recognise.store(on, std::memory_order_relaxed); }
    bool FrameRecognition() const { return m_recognise.load(std::memory_order_relaxed); }
    // Frames with a valid check of one protocol since construction.
    uint32_t FrameCount(FrameProtocol protocol) const {
        return m_frameCounts[static_cast<size_t>(protocol)].load(std::memory_order_relaxed);
    }
    // With recognition on (owner thread): bytes in no line or frame (the LF right after a line
    // is the line's), and lines dropped for passing the line buffer.
    uint64_t BytesOutside() const { return m_bytesOutside; }
    uint64_t LinesCut() const { return m_linesCut; }

private:
    // What the last bytes completed: a frame after one of these is trusted.
    enum class After : uint8_t { Nothing, Line, LineFeed, Frame };

    // The line rules alone, as without recognition.
    template <class LineHandler>
    size_t FeedLines(const char* data, size_t count, uint32_t arrivalMs, LineHandler& onLine) {
        size_t lines = 0;
        int32_t* garbage = m_counting ? &m_nGarbage : nullptr;
        for (size_t used = m_builder.Assemble(data, count, garbage); used > 0;
             used = m_builder.Assemble(data, count, garbage)) {
            ++lines;
            HandleLine(arrivalMs, onLine);
            data += used;
            count -= used;
        }
        return lines;
    }

    template <class LineHandler> void HandleLine(uint32_t arrivalMs, LineHandler& onLine) {
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
    }

    // One step with recognition on: continues a frame or a line, or skips to the next '$' or
    // sync byte. Returns the bytes used; sets m_failed when a frame failed.
    template <class LineHandler, class FrameHandler>
    size_t Step(const char* p, size_t n, uint32_t arrivalMs, size_t* lines, LineHandler& onLine,
                FrameHandler& onFrame) {
        if (m_frame.Active() ||
            (m_builder.LineLength() == 0 && CFrameCollector::IsSync(static_cast<uint8_t>(p[0])))) {
            return StepFrame(p, n, arrivalMs, onFrame);
        }
        if (m_builder.LineLength() == 0) {
            // Between lines: up to the next '$' or sync byte. Usually only a line's LF lies
            // before the '$', and the line builder takes both in one call.
            size_t skip = 0;
            while (skip < n && p[skip] != '$' &&
                   !CFrameCollector::IsSync(static_cast<uint8_t>(p[skip]))) {
                ++skip;
            }
            const bool lineFeed = m_after == After::Line && skip > 0 && p[0] == '\n';
            m_bytesOutside += skip - (lineFeed ? 1 : 0);
            if (skip == n || p[skip] != '$') {
                if (m_counting) {
                    AddGarbage(static_cast<int32_t>(skip));
                }
                m_after = lineFeed && skip == 1 ? After::LineFeed : After::Nothing;
                return skip;
            }
        }
        m_after = After::Nothing;
        const size_t used = m_builder.Assemble(p, n, m_counting ? &m_nGarbage : nullptr);
        if (used == 0) {
            // A part line, or an overlong one dropped with the rest of the bytes.
            m_linesCut += m_builder.LineLength() == 0 ? 1 : 0;
            return n;
        }
        ++*lines;
        HandleLine(arrivalMs, onLine);
        m_after = After::Line;
        return used;
    }

    template <class FrameHandler>
    size_t StepFrame(const char* p, size_t n, uint32_t arrivalMs, FrameHandler& onFrame) {
        if (!m_frame.Active()) {
            m_trusted = m_after != After::Nothing;
            m_after = After::Nothing;
        }
        CFrameCollector::State state = CFrameCollector::State::Collecting;
        const size_t used = m_frame.Take(reinterpret_cast<const uint8_t*>(p), n, &state);
        if (state == CFrameCollector::State::Failed) {
            m_failed = true;
        } else if (state == CFrameCollector::State::Whole) {
            if (m_counting) {
                m_nGarbage = 0;
            }
            ReceivedFrame frame;
            frame.protocol = m_frame.Protocol();
            frame.data = m_frame.Data();
            frame.length = m_frame.Length();
            frame.arrivalMs = arrivalMs;
            m_frameCounts[static_cast<size_t>(frame.protocol)].fetch_add(1,
                                                                         std::memory_order_relaxed);
            onFrame(static_cast<const ReceivedFrame&>(frame));
            m_frame.Clear();
            m_after = After::Frame;
        }
        return used;
    }

    // A failed (or abandoned) frame: its sync byte counts as a byte outside a line and the bytes
    // after it are scanned again before the rest.
    void ReleaseFrame() {
        if (m_counting) {
            AddGarbage(1);
        }
        ++m_bytesOutside;
        std::string again(m_frame.Released());
        again.append(m_replay, m_replayAt, std::string::npos);
        m_replay = std::move(again);
        m_replayAt = 0;
        m_frame.Clear();
        m_after = After::Nothing;
    }

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

    std::atomic<bool> m_recognise{false};
    std::array<std::atomic<uint32_t>, 4> m_frameCounts{};
    CFrameCollector m_frame;
    bool m_trusted = false; // the frame being collected is held out of the garbage count
    bool m_failed = false;  // Step's frame failed: release it
    After m_after = After::Nothing;
    // Bytes of failed frames to scan again, from m_replayAt, before the rest of the read.
    std::string m_replay;
    size_t m_replayAt = 0;
    uint64_t m_bytesOutside = 0;
    uint64_t m_linesCut = 0;
};
