#include "Paths.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <pwd.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

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

namespace {
fs::path ExecutableFolder() {
    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (ec) {
        return WithTrailingSlash(fs::current_path(ec));
    }
    return WithTrailingSlash(exe.parent_path());
}

bool SameFolder(const fs::path& a, const fs::path& b) {
    std::error_code ec;
    return fs::weakly_canonical(a, ec) == fs::weakly_canonical(b, ec) && !ec;
}

std::string HomeFolder() {
    if (const char* home = EnvValue("HOME")) {
        return home;
    }
    std::vector<char> buf(16384);
    passwd pw{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &pw, buf.data(), buf.size(), &found) == 0 && found != nullptr &&
        found->pw_dir != nullptr) {
        return found->pw_dir;
    }
    return "/";
}
} // namespace

fs::path ProgramFolder() {
    if (const char* home = EnvValue("ZENITHPROBE_HOME")) {
        return WithTrailingSlash(home);
    }
    return ExecutableFolder();
}

Folders ChooseFolders(const FolderInputs& in) {
    Folders f;
    const bool installed =
        std::any_of(in.installBinFolders.begin(), in.installBinFolders.end(),
                    [&](const fs::path& bin) { return SameFolder(in.exeFolder, bin); });
    if (!in.zenithprobeHome.empty() || (in.exeFolderWritable && !installed)) {
        f.program = WithTrailingSlash(in.zenithprobeHome.empty() ? in.exeFolder
                                                                 : fs::path(in.zenithprobeHome));
        f.config = f.program;
        f.data = f.program;
        return f;
    }
    auto base = [&](const std::string& xdg, const char* fallback) {
        return fs::path(xdg).is_absolute() ? fs::path(xdg) : fs::path(in.home) / fallback;
    };
    f.perUser = true;
    f.program = WithTrailingSlash(in.exeFolder);
    f.config = WithTrailingSlash(base(in.xdgConfigHome, ".config") / "zenithprobe");
    f.data = WithTrailingSlash(base(in.xdgDataHome, ".local/share") / "zenithprobe");
    return f;
}

Folders CurrentFolders() {
    FolderInputs in;
    if (const char* home = EnvValue("ZENITHPROBE_HOME")) {
        in.zenithprobeHome = home;
    }
    in.exeFolder = ExecutableFolder();
    in.exeFolderWritable = access(in.exeFolder.c_str(), W_OK) == 0;
    if (in.zenithprobeHome.empty()) {
        in.home = HomeFolder();
    }
    // The build's own prefix, the usual system ones, and ~/.local (cmake --install --prefix
    // ~/.local): writable, but an installation all the same.
    in.installBinFolders = {ZP_INSTALL_BINDIR, "/usr/bin", "/usr/local/bin",
                            fs::path(in.home.empty() ? HomeFolder() : in.home) / ".local/bin"};
    const char* config = EnvValue("XDG_CONFIG_HOME");
    const char* data = EnvValue("XDG_DATA_HOME");
    in.xdgConfigHome = config != nullptr ? config : "";
    in.xdgDataHome = data != nullptr ? data : "";
    return ChooseFolders(in);
}

fs::path ConfigFolder() {
    return CurrentFolders().config;
}

fs::path DataFolder() {
    return CurrentFolders().data;
}

int MakePrivateFolder(const fs::path& folder) {
    // Parents first, each made private only when we create it: an existing ~/.config keeps its
    // mode.
    fs::path partial;
    for (const fs::path& part : folder) {
        partial /= part;
        if (part.empty() || partial == partial.root_path()) {
            continue;
        }
        if (mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST) {
            return errno;
        }
    }
    struct stat st {};
    if (stat(folder.c_str(), &st) != 0) {
        return errno;
    }
    return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
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
    return ConfigFolder() / "ports";
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

std::string HostName() {
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0) {
        return "";
    }
    return name;
}
