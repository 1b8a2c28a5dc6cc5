#pragma once
// Receiver families: the chipsets whose own restart commands go out after the SONY and SiRF
// ones, when the RECEIVER key (or zenithprobe-campaign --receiver) names one. The one table of
// their restart bytes, their key names ("ubx") and display names ("u-blox"), and the strict
// reading of the key.
//
// The restarts keep the receiver's baud rate and output settings: full-cold or factory resets
// (PMTK104, PAIR007, PCAS10,3) also reset those and are left out on purpose. The u-blox reset is
// a controlled software reset of the GNSS part only, which keeps a USB link up.
//
// Threads: pure functions over constant tables; any thread may call them.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

enum class ReceiverFamily : uint8_t { None, Ubx, Mtk, Airoha, QuectelLg, SkyTraq, Casic };

// The six families, in the order identification probes them.
inline constexpr std::array<ReceiverFamily, 6> kReceiverFamilies = {
    ReceiverFamily::Ubx,       ReceiverFamily::Mtk,     ReceiverFamily::Airoha,
    ReceiverFamily::QuectelLg, ReceiverFamily::SkyTraq, ReceiverFamily::Casic};

// The key value: "ubx", "mtk", "airoha", "quectel-lg", "skytraq", "casic"; "" for None.
const char* ReceiverFamilyKey(ReceiverFamily family);
// What people call it: "u-blox", "MediaTek", "Airoha", "Quectel LG", "SkyTraq", "CASIC";
// "SONY / SiRF" for None (the commands every restart sends).
const char* ReceiverFamilyName(ReceiverFamily family);

// The family's restart command for kStartCold/Warm/Hot, byte for byte; empty for None or any
// other kind.
std::string FamilyRestartCommand(ReceiverFamily family, int32_t kind);

// The RECEIVER setting: empty (the SONY and SiRF commands only), one family, or "auto"
// (identify the receiver after each port open).
struct ReceiverSetting {
    ReceiverFamily family = ReceiverFamily::None;
    bool automatic = false;
};
// The value as written in the INI file or on the command line, nothing else: no case folding,
// no spaces. False with *error saying what is allowed; name is the key or option ("RECEIVER",
// "--receiver") for the message.
bool ParseReceiverSetting(std::string_view text, std::string_view name, ReceiverSetting* setting,
                          std::string* error);
// The value that reads back as setting: "", "ubx", ..., "auto".
const char* ReceiverSettingText(const ReceiverSetting& setting);

// The fields of one sentence "$ID,f1,...*hh" (CR LF optional) whose checksum is right: "ID",
// "f1", ...; false for anything else (no checksum, a wrong one, bytes outside printable ASCII).
bool CheckedSentenceFields(std::string_view line, std::vector<std::string_view>* fields);

// A family's answer to one of its restart commands: "$PAIR001,<cmd>,<result>" (Airoha),
// "$PMTK001,<cmd>,<flag>" (MediaTek) naming that command, or the SkyTraq ACK (0x83) or NACK
// (0x84) of message 0x01.
enum class RestartAnswer : uint8_t { None, Accepted, Refused };
// The answer a completed line gives to the family's restart command of kind.
RestartAnswer RestartAnswerOfLine(ReceiverFamily family, int32_t kind, std::string_view line);
// The answer a whole binary frame (sync bytes to the end) gives.
RestartAnswer RestartAnswerOfFrame(ReceiverFamily family, const uint8_t* frame, size_t length);
