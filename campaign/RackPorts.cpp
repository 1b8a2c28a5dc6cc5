#include "RackPorts.h"

#include "SetupLogic.h"

#include <algorithm>
#include <cctype>
#include <set>
#include <sstream>

namespace fs = std::filesystem;

std::vector<std::string> AllRackPorts(const fs::path& devFolder, const fs::path& portsFolder) {
    std::vector<std::string> ports;
    std::set<fs::path> devices; // resolved paths already taken
    auto take = [&](const fs::path& path, const std::string& name) {
        std::error_code ec;
        const fs::path device = fs::canonical(path, ec);
        if (!ec && devices.insert(device).second) {
            ports.push_back(name);
        }
    };
    for (const SerialDevice& device : ListSerialDevices(devFolder)) {
        take(device.path, device.path);
    }
    std::vector<std::pair<unsigned long, std::string>> com;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(portsFolder, ec)) {
        const std::string name = entry.path().filename().string();
        const std::string digits = name.size() > 3 ? name.substr(3) : "";
        if ((name.starts_with("COM") || name.starts_with("com")) && !digits.empty() &&
            digits.size() < 6 && std::all_of(digits.begin(), digits.end(), [](char c) {
                return std::isdigit(static_cast<unsigned char>(c)) != 0;
            })) {
            com.emplace_back(std::stoul(digits), name);
        }
    }
    std::sort(com.begin(), com.end());
    for (const auto& [number, name] : com) {
        take(portsFolder / name, name);
    }
    return ports;
}

std::vector<std::string> SplitPortList(const std::string& list) {
    std::vector<std::string> ports;
    std::stringstream in(list);
    std::string name;
    while (std::getline(in, name, ',')) {
        if (!name.empty() && std::find(ports.begin(), ports.end(), name) == ports.end()) {
            ports.push_back(name);
        }
    }
    return ports;
}

std::vector<std::string> RackFolderNames(const std::vector<std::string>& ports) {
    std::vector<std::string> names;
    std::set<std::string> taken;
    for (std::string port : ports) {
        if (!port.empty() && port.back() == ':') {
            port.pop_back();
        }
        std::string name = fs::path(port).filename().string();
        for (char& c : name) {
            const auto u = static_cast<unsigned char>(c);
            if (std::isalnum(u) == 0 && c != '.' && c != '_' && c != '-') {
                c = '_';
            }
        }
        if (name.empty() || name == "." || name == "..") {
            name = "port";
        }
        std::string unique = name;
        for (int n = 2; !taken.insert(unique).second; ++n) {
            unique = name + "-" + std::to_string(n);
        }
        names.push_back(unique);
    }
    return names;
}
