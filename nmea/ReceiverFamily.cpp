#include "ReceiverFamily.h"

#include "BinaryFrames.h"
#include "NmeaChecksum.h"
#include "RestartCommandBytes.h"

#include <charconv>

namespace {

struct FamilyRow {
    ReceiverFamily family;
    const char* key;
    const char* name;
    // NMEA families: the sentence bodies for cold, warm, hot; binary ones build their frames.
    const char* bodies[3];
};

constexpr FamilyRow kRows[] = {
    {ReceiverFamily::Ubx, "ubx", "u-blox", {nullptr, nullptr, nullptr}},
    {ReceiverFamily::Mtk, "mtk", "MediaTek", {"PMTK103", "PMTK102", "PMTK101"}},
    {ReceiverFamily::Airoha, "airoha", "Airoha", {"PAIR006", "PAIR005", "PAIR004"}},
    {ReceiverFamily::QuectelLg, "quectel-lg", "Quectel LG", {"PQTMCOLD", "PQTMWARM", "PQTMHOT"}},
    {ReceiverFamily::SkyTraq, "skytraq", "SkyTraq", {nullptr, nullptr, nullptr}},
    {ReceiverFamily::Casic, "casic", "CASIC", {"PCAS10,2", "PCAS10,1", "PCAS10,0"}},
};

const FamilyRow* RowOf(ReceiverFamily family) {
    for (const FamilyRow& row : kRows) {
        if (row.family == family) {
            return &row;
        }
    }
    return nullptr;
}

// UBX-CFG-RST navBbrMask: which battery-backed data the reset clears. Cold clears everything,
// warm the ephemerides, hot nothing.
uint16_t UbxBbrMask(int32_t kind) {
    return kind == kStartCold ? 0xFFFF : kind == kStartWarm ? 0x0001 : 0x0000;
}

// UBX-CFG-RST resetMode 2: controlled software reset of the GNSS part only.
constexpr char kUbxGnssOnlyReset = 0x02;
// SkyTraq system restart: message 0x01, start mode (1 hot, 2 warm, 3 cold), then 13 bytes of
// time, position and altitude left zero, so the receiver keeps what it knows.
constexpr char kSkyTraqRestart = 0x01;
constexpr size_t kSkyTraqRestartLength = 15;
constexpr uint8_t kSkyTraqAck = 0x83;
constexpr uint8_t kSkyTraqNack = 0x84;

int HexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1; // NMEA writes the checksum in upper case
}

// A whole decimal field, at most 0..999.
int SmallNumber(std::string_view text) {
    int value = -1;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (result.ec != std::errc() || result.ptr != text.data() + text.size() || value < 0 ||
        value > 999) {
        return -1;
    }
    return value;
}

// The number of the NMEA restart command of kind ("PAIR006" -> 6).
int CommandNumber(const FamilyRow& row, int32_t kind) {
    const std::string_view body = row.bodies[kind - kStartCold];
    const size_t digits = body.find_first_of("0123456789");
    return digits == std::string_view::npos ? -1 : SmallNumber(body.substr(digits));
}

} // namespace

const char* ReceiverFamilyKey(ReceiverFamily family) {
    const FamilyRow* row = RowOf(family);
    return row != nullptr ? row->key : "";
}

const char* ReceiverFamilyName(ReceiverFamily family) {
    const FamilyRow* row = RowOf(family);
    return row != nullptr ? row->name : "SONY / SiRF";
}

std::string FamilyRestartCommand(ReceiverFamily family, int32_t kind) {
    const FamilyRow* row = RowOf(family);
    if (row == nullptr || (kind != kStartCold && kind != kStartWarm && kind != kStartHot)) {
        return {};
    }
    switch (family) {
    case ReceiverFamily::Ubx: {
        const uint16_t mask = UbxBbrMask(kind);
        const char payload[4] = {static_cast<char>(mask & 0xFF), static_cast<char>(mask >> 8),
                                 kUbxGnssOnlyReset, 0};
        return UbxFrame(0x06, 0x04, std::string_view(payload, sizeof payload));
    }
    case ReceiverFamily::SkyTraq: {
        std::string payload(kSkyTraqRestartLength, '\0');
        payload[0] = kSkyTraqRestart;
        payload[1] = static_cast<char>(kind == kStartCold ? 3 : kind == kStartWarm ? 2 : 1);
        return SkyTraqFrame(payload);
    }
    default:
        return NmeaSentence(row->bodies[kind - kStartCold]);
    }
}

bool ParseReceiverSetting(std::string_view text, std::string_view name, ReceiverSetting* setting,
                          std::string* error) {
    if (text.empty()) {
        *setting = ReceiverSetting{};
        return true;
    }
    if (text == "auto") {
        *setting = ReceiverSetting{ReceiverFamily::None, true};
        return true;
    }
    for (const FamilyRow& row : kRows) {
        if (text == row.key) {
            *setting = ReceiverSetting{row.family, false};
            return true;
        }
    }
    *error = std::string(name) + ": unknown receiver \"" + std::string(text) +
             "\" (empty for SONY / SiRF, ubx, mtk, airoha, quectel-lg, skytraq, casic or auto)";
    return false;
}

const char* ReceiverSettingText(const ReceiverSetting& setting) {
    return setting.automatic ? "auto" : ReceiverFamilyKey(setting.family);
}

bool CheckedSentenceFields(std::string_view line, std::vector<std::string_view>* fields) {
    fields->clear();
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
        line.remove_suffix(1);
    }
    const size_t star = line.size() >= 4 ? line.size() - 3 : std::string_view::npos;
    if (star == std::string_view::npos || line[0] != '$' || line[star] != '*') {
        return false;
    }
    const std::string_view body = line.substr(1, star - 1);
    for (char c : body) {
        if (c < 0x20 || c > 0x7E || c == '$' || c == '*') {
            return false;
        }
    }
    const int high = HexDigit(line[star + 1]);
    const int low = HexDigit(line[star + 2]);
    if (high < 0 || low < 0 || NmeaChecksum(body) != high * 16 + low) {
        return false;
    }
    size_t from = 0;
    for (;;) {
        const size_t comma = body.find(',', from);
        fields->push_back(
            body.substr(from, comma == std::string_view::npos ? comma : comma - from));
        if (comma == std::string_view::npos) {
            return true;
        }
        from = comma + 1;
    }
}

RestartAnswer RestartAnswerOfLine(ReceiverFamily family, int32_t kind, std::string_view line) {
    const FamilyRow* row = RowOf(family);
    if (row == nullptr || (family != ReceiverFamily::Airoha && family != ReceiverFamily::Mtk) ||
        (kind != kStartCold && kind != kStartWarm && kind != kStartHot)) {
        return RestartAnswer::None;
    }
    std::vector<std::string_view> f;
    const std::string_view id = family == ReceiverFamily::Airoha ? "PAIR001" : "PMTK001";
    if (!CheckedSentenceFields(line, &f) || f.size() != 3 || f[0] != id ||
        SmallNumber(f[1]) != CommandNumber(*row, kind)) {
        return RestartAnswer::None;
    }
    const int result = SmallNumber(f[2]);
    if (family == ReceiverFamily::Airoha) {
        // 0 done, 1 in progress; 2 failed, 3 not supported, 4 bad parameter, 5 busy.
        if (result == 0 || result == 1) {
            return RestartAnswer::Accepted;
        }
        return result >= 2 && result <= 5 ? RestartAnswer::Refused : RestartAnswer::None;
    }
    // 3 done; 0 invalid command, 1 not supported, 2 valid but failed.
    if (result == 3) {
        return RestartAnswer::Accepted;
    }
    return result >= 0 && result <= 2 ? RestartAnswer::Refused : RestartAnswer::None;
}

RestartAnswer RestartAnswerOfFrame(ReceiverFamily family, const uint8_t* frame, size_t length) {
    // A0 A1 00 02 <83|84> 01 cs 0D 0A
    constexpr size_t kAckLength = 9;
    if (family != ReceiverFamily::SkyTraq || frame == nullptr || length != kAckLength ||
        frame[0] != 0xA0 || frame[1] != 0xA1 || frame[2] != 0 || frame[3] != 2 ||
        frame[5] != static_cast<uint8_t>(kSkyTraqRestart) ||
        SkyTraqChecksum(frame + 4, 2) != frame[6]) {
        return RestartAnswer::None;
    }
    if (frame[4] == kSkyTraqAck) {
        return RestartAnswer::Accepted;
    }
    return frame[4] == kSkyTraqNack ? RestartAnswer::Refused : RestartAnswer::None;
}
