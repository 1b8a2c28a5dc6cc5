#pragma once
// The setup dialog's rules that need no display: the per-chipset command history in
// Zenithprobe.ini, the baud-rate text, and the order in which the automatic search tries ports
// and rates.
//
// Threads: pure functions and calls of the INI store (which takes no lock); any thread may call
// them. The dialog calls them on the user-interface thread and, for the candidates, on its
// search thread.
#include "DecimalValue.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

// Texts longer than this do not fit the 100-byte buffers of the store and the port.
inline constexpr size_t kSetupTextBytes = 99;

// The commands of `section` ("SONY" or "SIRF") in key order: keys 1, 2, 3, ... until a key (or
// the section, or the file) is missing. Empty values are skipped and the walk goes on.
std::vector<std::string> LoadCommandValues(const char* section, const std::filesystem::path& file);

// The first key number whose value is missing or empty (1 for an empty section).
int FirstFreeCommandNumber(const char* section, const std::filesystem::path& file);

// Index of the entry equal to `text` when letter case is ignored (ASCII letters), or -1.
int FindCommandNoCase(const std::vector<std::string>& entries, std::string_view text);

// Stores `text` under the first free number of `section` unless the list already holds it in
// any letter case. Returns the key number used, or 0 when nothing was stored.
int RememberCommand(const std::vector<std::string>& entries, std::string_view text,
                    const char* section, const std::filesystem::path& file);

// The text cut to at most kSetupTextBytes bytes on a UTF-8 character boundary.
std::string CutToSetupBuffer(std::string_view text);

// A serial device present on the machine, as the port list offers it.
struct SerialDevice {
    std::string path;  // what is opened and saved: ".../serial/by-id/usb-...", ".../ttyUSB0"
    std::string shown; // what the narrow port box shows; unique within one list
    bool operator==(const SerialDevice&) const = default;
};

// Where the port list looks for devices: $ZENITHPROBE_DEV_DIR when set; else nothing (an empty
// path) when $ZENITHPROBE_PORTS is set, so that tests never see the machine's own ports; else
// /dev.
std::filesystem::path SerialDeviceFolder();

// The devices under devFolder: serial/by-id/* by name (stable names of USB receivers), then
// ttyUSB<n> and ttyACM<n> by number, leaving out those a by-id name already leads to. An empty
// or missing folder gives none.
std::vector<SerialDevice> ListSerialDevices(const std::filesystem::path& devFolder);

// "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0" as the port box shows it: without "usb-" and
// the interface suffix, and when still long its head and its tail (the serial number).
std::string ShortDeviceName(std::string_view byIdName);

// The port box's text as a port to open: a device's path for its shown name, else the text.
std::string PortOfShownName(const std::vector<SerialDevice>& devices, std::string_view text);
// The reverse: a device's shown name for its path, else the port itself.
std::string ShownNameOfPort(const std::vector<SerialDevice>& devices, std::string_view port);

// One candidate of the automatic search.
struct SearchCandidate {
    uint32_t baud = 0;
    std::string port; // "COM3" or a device's path
    bool operator==(const SearchCandidate&) const = default;
};

inline constexpr uint32_t kSearchBauds[] = {4800, 9600, 19200, 38400};
// Tried only after every port at the rates above: today's receivers often talk this fast.
inline constexpr uint32_t kSearchExtraBauds[] = {57600, 115200};
inline constexpr int kSearchPorts = 10; // COM0 to COM9

// In the order tried: every rate of kSearchBauds with COM0 to COM9 (the 40 classic candidates),
// then the devices at those rates, then each extra rate with COM0 to COM9 and the devices.
std::vector<SearchCandidate> SearchCandidates(const std::vector<SerialDevice>& devices = {});
