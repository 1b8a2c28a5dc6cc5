#include "SetupLogic.h"

#include "IniFile.h"
#include "Paths.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <utility>

namespace fs = std::filesystem;

namespace {

constexpr int kBufferSize = 100;
// A shortened device name: about what the port box shows, and the part kept from its start.
constexpr size_t kShownDeviceChars = 20;
constexpr size_t kShownHeadChars = 9;

char LowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (LowerAscii(a[i]) != LowerAscii(b[i])) {
            return false;
        }
    }
    return true;
}

} // namespace

std::vector<std::string> LoadCommandValues(const char* section, const std::filesystem::path& file) {
    std::vector<std::string> values;
    char buffer[kBufferSize];
    for (int n = 1; n < INT_MAX; ++n) {
        const int result =
            IniReadString(section, std::to_string(n).c_str(), "", buffer, kBufferSize, file);
        if (result == -1 || result == -2) {
            break;
        }
        if (buffer[0] != '\0') {
            values.emplace_back(buffer);
        }
    }
    return values;
}

int FirstFreeCommandNumber(const char* section, const std::filesystem::path& file) {
    char buffer[kBufferSize];
    int n = 1;
    for (; n < INT_MAX; ++n) {
        const int result =
            IniReadString(section, std::to_string(n).c_str(), "", buffer, kBufferSize, file);
        if (result == -1 || result == -2 || buffer[0] == '\0') {
            break;
        }
    }
    return n;
}

int FindCommandNoCase(const std::vector<std::string>& entries, std::string_view text) {
    for (size_t i = 0; i < entries.size(); ++i) {
        if (EqualNoCase(entries[i], text)) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

int RememberCommand(const std::vector<std::string>& entries, std::string_view text,
                    const char* section, const std::filesystem::path& file) {
    if (FindCommandNoCase(entries, text) >= 0) {
        return 0;
    }
    const int n = FirstFreeCommandNumber(section, file);
    const std::string value = CutToSetupBuffer(text);
    IniWriteString(section, std::to_string(n).c_str(), value.c_str(), file);
    return n;
}

std::string CutToSetupBuffer(std::string_view text) {
    if (text.size() <= kSetupTextBytes) {
        return std::string(text);
    }
    size_t end = kSetupTextBytes;
    // Back up over continuation bytes so that no character is cut in half.
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0u) == 0x80u) {
        --end;
    }
    return std::string(text.substr(0, end));
}

fs::path SerialDeviceFolder() {
    if (const char* dev = std::getenv("ZENITHPROBE_DEV_DIR"); dev != nullptr && *dev != '\0') {
        return dev;
    }
    return PortsFolderIsExclusive() ? fs::path() : fs::path("/dev");
}

std::string ShortDeviceName(std::string_view name) {
    if (name.starts_with("usb-")) {
        name.remove_prefix(4);
    }
    // "-if00" or "-if00-port0": the same for every single-interface receiver.
    if (const size_t at = name.rfind("-if"); at != std::string_view::npos && at > 0) {
        std::string_view rest = name.substr(at + 3);
        size_t digits = 0;
        while (digits < rest.size() && rest[digits] >= '0' && rest[digits] <= '9') {
            ++digits;
        }
        rest.remove_prefix(digits);
        if (digits > 0 && (rest.empty() || rest.starts_with("-port"))) {
            name = name.substr(0, at);
        }
    }
    if (name.size() <= kShownDeviceChars) {
        return std::string(name);
    }
    // Same-model receivers differ in their serial number, at the end.
    return std::string(name.substr(0, kShownHeadChars)) + "~" +
           std::string(name.substr(name.size() - (kShownDeviceChars - kShownHeadChars - 1)));
}

std::vector<SerialDevice> ListSerialDevices(const fs::path& devFolder) {
    std::vector<SerialDevice> devices;
    if (devFolder.empty()) {
        return devices;
    }
    std::error_code ec;
    std::vector<std::string> byId;
    for (const auto& entry : fs::directory_iterator(devFolder / "serial" / "by-id", ec)) {
        byId.push_back(entry.path().filename().string());
    }
    std::sort(byId.begin(), byId.end());
    std::set<fs::path> reached; // devices a by-id name leads to
    for (const std::string& name : byId) {
        const fs::path path = devFolder / "serial" / "by-id" / name;
        const fs::path target = fs::canonical(path, ec);
        if (ec) {
            continue; // a link left behind by an unplugged device
        }
        reached.insert(target);
        devices.push_back({path.string(), ShortDeviceName(name)});
    }
    std::vector<std::pair<std::string, unsigned long>> numbered;
    for (const auto& entry : fs::directory_iterator(devFolder, ec)) {
        const std::string name = entry.path().filename().string();
        for (const char* prefix : {"ttyUSB", "ttyACM"}) {
            const std::string_view digits = std::string_view(name).substr(
                name.starts_with(prefix) ? std::strlen(prefix) : name.size());
            if (!digits.empty() && digits.size() < 6 &&
                digits.find_first_not_of("0123456789") == std::string_view::npos) {
                numbered.emplace_back(prefix, std::stoul(std::string(digits)));
            }
        }
    }
    std::sort(numbered.begin(), numbered.end());
    for (const auto& [prefix, number] : numbered) {
        const std::string name = prefix + std::to_string(number);
        const fs::path path = devFolder / name;
        const fs::path target = fs::canonical(path, ec);
        if (!ec && reached.count(target) != 0) {
            continue;
        }
        devices.push_back({path.string(), name});
    }
    // Two long names may shorten alike: number the later ones.
    std::set<std::string> taken;
    for (SerialDevice& device : devices) {
        const std::string base = device.shown;
        for (int n = 2; !taken.insert(device.shown).second; ++n) {
            device.shown = base + "#" + std::to_string(n);
        }
    }
    return devices;
}

std::string PortOfShownName(const std::vector<SerialDevice>& devices, std::string_view text) {
    for (const SerialDevice& device : devices) {
        if (device.shown == text) {
            return device.path;
        }
    }
    return std::string(text);
}

std::string ShownNameOfPort(const std::vector<SerialDevice>& devices, std::string_view port) {
    for (const SerialDevice& device : devices) {
        if (device.path == port) {
            return device.shown;
        }
    }
    return std::string(port);
}

std::vector<SearchCandidate> SearchCandidates(const std::vector<SerialDevice>& devices) {
    std::vector<SearchCandidate> candidates;
    for (uint32_t baud : kSearchBauds) {
        for (int port = 0; port < kSearchPorts; ++port) {
            candidates.push_back({baud, "COM" + std::to_string(port)});
        }
    }
    for (uint32_t baud : kSearchBauds) {
        for (const SerialDevice& device : devices) {
            candidates.push_back({baud, device.path});
        }
    }
    for (uint32_t baud : kSearchExtraBauds) {
        for (int port = 0; port < kSearchPorts; ++port) {
            candidates.push_back({baud, "COM" + std::to_string(port)});
        }
        for (const SerialDevice& device : devices) {
            candidates.push_back({baud, device.path});
        }
    }
    return candidates;
}
