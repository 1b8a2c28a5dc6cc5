#include "Paths.h"

#include <cctype>
#include <cstdlib>
#include <system_error>

namespace fs = std::filesystem;

namespace {
const char* EnvValue(const char* name) {
    const char* value = std::getenv(name);
    return (value != nullptr && value[0] != '\0') ? value : nullptr;
}

fs::path WithTrailingSlash(fs::path p) {
    std::string s = p.string();
    if (s.empty() || s.back() != '/') {
        s.push_back('/');
    }
    return fs::path(s);
}

// COMn with n all digits; returns n or -1.
long ComNumber(std::string_view name) {
    if (name.size() < 4 || std::toupper(static_cast<unsigned char>(name[0])) != 'C' ||
        std::toupper(static_cast<unsigned char>(name[1])) != 'O' ||
        std::toupper(static_cast<unsigned char>(name[2])) != 'M') {
        return -1;
    }
    long n = 0;
    for (size_t i = 3; i < name.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(name[i])) || n > 100000) {
            return -1;
        }
        n = n * 10 + (name[i] - '0');
    }
    return n;
}
} // namespace

fs::path ProgramFolder() {
    if (const char* home = EnvValue("ZENITHPROBE_HOME")) {
        return WithTrailingSlash(home);
    }
    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (ec) {
        return WithTrailingSlash(fs::current_path(ec));
    }
    return WithTrailingSlash(exe.parent_path());
}

fs::path TempFolder() {
    if (const char* tmp = EnvValue("TMPDIR")) {
        return tmp;
    }
    return "/tmp";
}

bool PortsFolderIsExclusive() {
    return EnvValue("ZENITHPROBE_PORTS") != nullptr;
}

fs::path PortsFolder() {
    if (const char* ports = EnvValue("ZENITHPROBE_PORTS")) {
        return ports;
    }
    return ProgramFolder() / "ports";
}

std::string ResolvePortName(std::string_view name) {
    if (!name.empty() && name.back() == ':') {
        name.remove_suffix(1);
    }
    if (name.find('/') != std::string_view::npos) {
        return std::string(name);
    }
    long com = ComNumber(name);
    std::string entryName(name);
    if (com >= 0) {
        entryName = "COM" + std::to_string(com);
    }
    fs::path entry = PortsFolder() / entryName;
    std::error_code ec;
    fs::file_type type = fs::symlink_status(entry, ec).type();
    bool present = type != fs::file_type::not_found && type != fs::file_type::none;
    if (present || PortsFolderIsExclusive() || name.empty()) {
        return entry.string();
    }
    if (com > 0) {
        return "/dev/ttyS" + std::to_string(com - 1);
    }
    if (com == 0) {
        return entry.string();
    }
    return "/dev/" + std::string(name);
}
