#pragma once
// The binary frames that receivers send beside their NMEA sentences, and the checks that make a
// frame whole: u-blox UBX, RTCM 3, SkyTraq and SiRF. One implementation of each frame rule for
// the receive path's recognition, the identification of receivers, the restart commands and the
// simulator.
//
//   UBX      B5 62 class id len(LE16) payload ckA ckB      Fletcher-8 over class..payload
//   RTCM 3   D3 (6 zero bits + 10-bit len) payload crc(3)  CRC-24Q over D3..payload
//   SkyTraq  A0 A1 len(BE16) payload cs 0D 0A              XOR of the payload
//   SiRF     A0 A2 len(BE15) payload sum(BE15) B0 B3       15-bit sum of the payload
//
// Threads: pure functions; any thread may call them.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

enum class FrameProtocol : uint8_t { Ubx, Rtcm3, SkyTraq, Sirf };
const char* FrameProtocolName(FrameProtocol protocol); // "ubx", "rtcm3", "skytraq", "sirf"

// One whole frame with a valid check, from its sync bytes to its last byte, as the receive path
// hands it on; the bytes stay valid until the handler returns.
struct ReceivedFrame {
    FrameProtocol protocol = FrameProtocol::Ubx;
    const uint8_t* data = nullptr;
    size_t length = 0;
    uint32_t arrivalMs = 0; // when the read that completed the frame returned
};

// The checks, over the bytes each rule names (see above).
uint16_t UbxChecksum(const uint8_t* data, size_t count); // ckA in the low byte, ckB in the high
uint32_t Crc24q(const uint8_t* data, size_t count);
uint8_t SkyTraqChecksum(const uint8_t* payload, size_t count);
uint16_t SirfChecksum(const uint8_t* payload, size_t count);

// Whole frames around a payload, as a receiver or a tool sends them.
std::string UbxFrame(uint8_t messageClass, uint8_t messageId, std::string_view payload);
std::string Rtcm3Frame(std::string_view payload); // payload of at most 1023 bytes
std::string SkyTraqFrame(std::string_view payload);
std::string SirfFrame(std::string_view payload);
