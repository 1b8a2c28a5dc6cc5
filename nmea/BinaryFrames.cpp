#include "BinaryFrames.h"

namespace {

const uint8_t* Bytes(std::string_view s) {
    return reinterpret_cast<const uint8_t*>(s.data());
}

void PutBe16(std::string& out, uint32_t value) {
    out.push_back(static_cast<char>((value >> 8) & 0xFF));
    out.push_back(static_cast<char>(value & 0xFF));
}

} // namespace

const char* FrameProtocolName(FrameProtocol protocol) {
    switch (protocol) {
    case FrameProtocol::Ubx:
        return "ubx";
    case FrameProtocol::Rtcm3:
        return "rtcm3";
    case FrameProtocol::SkyTraq:
        return "skytraq";
    case FrameProtocol::Sirf:
        return "sirf";
    }
    return "";
}

uint16_t UbxChecksum(const uint8_t* data, size_t count) {
    uint8_t a = 0;
    uint8_t b = 0;
    for (size_t i = 0; i < count; ++i) {
        a = static_cast<uint8_t>(a + data[i]);
        b = static_cast<uint8_t>(b + a);
    }
    return static_cast<uint16_t>(a | (b << 8));
}

uint32_t Crc24q(const uint8_t* data, size_t count) {
    constexpr uint32_t kPolynomial = 0x1864CFB;
    uint32_t crc = 0;
    for (size_t i = 0; i < count; ++i) {
        crc ^= static_cast<uint32_t>(data[i]) << 16;
        for (int bit = 0; bit < 8; ++bit) {
            crc <<= 1;
            if ((crc & 0x1000000) != 0) {
                crc ^= kPolynomial;
            }
        }
    }
    return crc & 0xFFFFFF;
}

uint8_t SkyTraqChecksum(const uint8_t* payload, size_t count) {
    uint8_t sum = 0;
    for (size_t i = 0; i < count; ++i) {
        sum = static_cast<uint8_t>(sum ^ payload[i]);
    }
    return sum;
}

uint16_t SirfChecksum(const uint8_t* payload, size_t count) {
    uint32_t sum = 0;
    for (size_t i = 0; i < count; ++i) {
        sum = (sum + payload[i]) & 0x7FFF;
    }
    return static_cast<uint16_t>(sum);
}

std::string UbxFrame(uint8_t messageClass, uint8_t messageId, std::string_view payload) {
    std::string out{"\xB5\x62"};
    out.push_back(static_cast<char>(messageClass));
    out.push_back(static_cast<char>(messageId));
    out.push_back(static_cast<char>(payload.size() & 0xFF));
    out.push_back(static_cast<char>((payload.size() >> 8) & 0xFF));
    out.append(payload);
    const uint16_t ck = UbxChecksum(Bytes(out) + 2, out.size() - 2);
    out.push_back(static_cast<char>(ck & 0xFF));
    out.push_back(static_cast<char>(ck >> 8));
    return out;
}

std::string Rtcm3Frame(std::string_view payload) {
    std::string out{"\xD3"};
    PutBe16(out, static_cast<uint32_t>(payload.size()) & 0x3FF);
    out.append(payload);
    const uint32_t crc = Crc24q(Bytes(out), out.size());
    out.push_back(static_cast<char>((crc >> 16) & 0xFF));
    PutBe16(out, crc & 0xFFFF);
    return out;
}

std::string SkyTraqFrame(std::string_view payload) {
    std::string out{"\xA0\xA1"};
    PutBe16(out, static_cast<uint32_t>(payload.size()));
    out.append(payload);
    out.push_back(static_cast<char>(SkyTraqChecksum(Bytes(payload), payload.size())));
    out.append("\r\n");
    return out;
}

std::string SirfFrame(std::string_view payload) {
    std::string out{"\xA0\xA2"};
    PutBe16(out, static_cast<uint32_t>(payload.size()) & 0x7FFF);
    out.append(payload);
    PutBe16(out, SirfChecksum(Bytes(payload), payload.size()));
    out.append("\xB0\xB3");
    return out;
}
