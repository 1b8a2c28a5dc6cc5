#pragma once
// CFrameCollector: gathers one binary frame once the receive path has seen a sync byte between
// sentences (B5 for UBX, D3 for RTCM 3, A0 for SkyTraq and SiRF) and judges it by its
// protocol's rule (BinaryFrames.h).
//
// At a wrong baud rate B5, D3 and A0 bytes are common, so a header is believed only when it is
// plausible, and a believed header holds at most its protocol's cap of bytes:
//   UBX      B5 62, a known message class, payload length at most 4096 (a NAV-SAT of 100
//            satellites is 1208, MON-VER with 30 extensions 940)
//   RTCM 3   D3, 6 zero bits, payload length 2..1023 (the 12-bit message number needs two bytes)
//   SkyTraq  A0 A1, payload length 1..2048 (message id included)
//   SiRF     A0 A2, payload length 1..1023 (the 16th length bit zero)
// A header or check that fails ends the frame: the caller counts its first sync byte as a byte
// outside a line and scans Released() (the bytes after it) again, so that a sentence or a frame
// that a false sync swallowed is not lost.
//
// Threads: one owner (the receive path's); no lock.
#include "BinaryFrames.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

class CFrameCollector {
public:
    static constexpr size_t kUbxMaxPayload = 4096;
    static constexpr size_t kRtcm3MaxPayload = 1023;
    static constexpr size_t kSkyTraqMaxPayload = 2048;
    static constexpr size_t kSirfMaxPayload = 1023;
    // The longest frame: a UBX one (6 header bytes, 2 check bytes).
    static constexpr size_t kMaxFrame = 6 + kUbxMaxPayload + 2;

    enum class State : uint8_t { Collecting, Whole, Failed };

    // A byte that may start a frame.
    static bool IsSync(uint8_t b) { return b == 0xB5 || b == 0xD3 || b == 0xA0; }

    // True while a frame has begun and is neither whole nor failed.
    bool Active() const { return m_length != 0; }
    // Bytes held so far.
    size_t Length() const { return m_length; }

    // Takes bytes into the frame; when not Active, data[0] must be a sync byte. Returns the
    // bytes taken: all of them while the frame stays Collecting, else up to the byte that made
    // it Whole or Failed. After Whole or Failed read Frame() or Released(), then Clear().
    size_t Take(const uint8_t* data, size_t count, State* state);

    FrameProtocol Protocol() const { return m_protocol; }
    const uint8_t* Data() const { return m_bytes.data(); }
    // The bytes after the first sync byte of a failed frame.
    std::string_view Released() const;
    void Clear();

private:
    size_t Needed() const;
    bool JudgeHeader();
    bool CheckPasses() const;

    std::array<uint8_t, kMaxFrame> m_bytes{};
    size_t m_length = 0;
    size_t m_total = 0; // the whole frame's length once its header is believed, else 0
    FrameProtocol m_protocol = FrameProtocol::Ubx;
};
