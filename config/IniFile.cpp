#include "IniFile.h"

#include "Debug.h"
#include "DecimalValue.h"
#include "Tick.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <string_view>
#include <sys/random.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// What a lookup sees of a line: the first 254 characters (a 256-byte line buffer less the
// terminator and one spare byte). The rest of a longer line is consumed with it, never read as
// a line of its own.
constexpr size_t kLookupLineChars = 254;
constexpr size_t kWholeLine = SIZE_MAX;

class Fd {
public:
    explicit Fd(int fd = -1) : m_fd(fd) {}
    ~Fd() { Close(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    Fd& operator=(Fd&& other) noexcept {
        if (this != &other) {
            Close();
            m_fd = other.m_fd;
            other.m_fd = -1;
        }
        return *this;
    }
    int Get() const { return m_fd; }
    bool Valid() const { return m_fd >= 0; }
    // Returns false when close reports an error (a delayed write error, for instance).
    bool Close() {
        bool ok = true;
        if (m_fd >= 0) {
            ok = ::close(m_fd) == 0;
            m_fd = -1;
        }
        return ok;
    }

private:
    int m_fd;
};

std::string ErrorText(int err) {
    return std::generic_category().message(err);
}

// Reads lines from a file through a small buffer, one byte of look-ahead at a time.
class LineReader {
public:
    // fd -1 reads as an empty file.
    explicit LineReader(int fd) : m_fd(fd), m_end(fd < 0) {}

    // Next line without its line end. A line ends at CR, LF, CR LF, LF CR (one pair is one line
    // end) or at the end of the file. Only the first `keep` bytes are stored; the rest of the
    // line is consumed and dropped. Returns false at the end of the file or on a read error
    // (see Failed()).
    bool Next(std::string& line, size_t keep) {
        line.clear();
        if (Peek() < 0) {
            return false;
        }
        for (;;) {
            int c = Peek();
            if (c < 0) {
                return !m_failed; // the last line had no line end
            }
            ++m_pos;
            if (c == '\r' || c == '\n') {
                int pair = c == '\r' ? '\n' : '\r';
                if (Peek() == pair) {
                    ++m_pos;
                }
                return !m_failed;
            }
            if (line.size() < keep) {
                line.push_back(static_cast<char>(c));
            }
        }
    }

    bool Failed() const { return m_failed; }

private:
    int Peek() {
        if (m_pos == m_len) {
            if (m_end) {
                return -1;
            }
            ssize_t n;
            do {
                n = ::read(m_fd, m_buf, sizeof m_buf);
            } while (n < 0 && errno == EINTR);
            m_pos = 0;
            m_len = n > 0 ? static_cast<size_t>(n) : 0;
            if (n <= 0) {
                m_end = true;
                m_failed = n < 0;
                return -1;
            }
        }
        return static_cast<unsigned char>(m_buf[m_pos]);
    }

    int m_fd;
    char m_buf[4096];
    size_t m_pos = 0;
    size_t m_len = 0;
    bool m_end;
    bool m_failed = false;
};

// Backspaces (code 8) before the '[' of a header and before the opening quote of a value are
// skipped, so files that carry them read as they always did. Blanks are not skipped there (nor
// anywhere): names and values are matched and returned exactly as written, and " [SONY]" is
// not a header.
constexpr char kBackspace = '\b';

std::string_view SkipBackspaces(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && text[i] == kBackspace) {
        ++i;
    }
    return text.substr(i);
}

enum class LineKind { Other, Header, Comment, Key };

struct ParsedLine {
    LineKind kind = LineKind::Other;
    std::string_view name;  // section name or key
    std::string_view value; // value of a key line
};

// Classifies what a lookup sees of a line. Rewrites classify the same view, so that they find
// exactly the header and key line that a lookup finds.
ParsedLine ParseLine(std::string_view text) {
    // The line buffer is a C string: a NUL byte ends what a lookup sees.
    text = text.substr(0, std::min(text.find('\0'), kLookupLineChars));
    ParsedLine line;
    std::string_view afterBs = SkipBackspaces(text);
    if (!afterBs.empty() && afterBs[0] == '[') {
        size_t close = afterBs.find(']', 1);
        if (close != std::string_view::npos) {
            line.kind = LineKind::Header;
            line.name = afterBs.substr(1, close - 1);
            return line;
        }
    }
    if (!text.empty() && text[0] == ';') {
        line.kind = LineKind::Comment;
        return line;
    }
    size_t eq = text.find('=');
    if (eq != std::string_view::npos) {
        line.kind = LineKind::Key;
        line.name = text.substr(0, eq);
        line.value = text.substr(eq + 1);
    }
    return line;
}

// "'COM2'" and "\"COM2\"x" read as COM2: the text between the opening quote and the last
// occurrence of the same quote. A value with only an opening quote is returned unchanged,
// backspaces included.
std::string_view StripQuotes(std::string_view value) {
    std::string_view v = SkipBackspaces(value);
    if (!v.empty() && (v[0] == '"' || v[0] == '\'')) {
        size_t last = v.rfind(v[0]);
        if (last > 0) {
            return v.substr(1, last - 1);
        }
    }
    return value;
}

enum class Lookup { Found, NoKey, NoSection, Unreadable };

Lookup FindValue(const fs::path& file, std::string_view section, std::string_view key,
                 std::string& value) {
    Fd fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.Valid()) {
        return Lookup::Unreadable;
    }
    LineReader reader(fd.Get());
    std::string text;
    bool inSection = false;
    while (reader.Next(text, kLookupLineChars)) {
        ParsedLine line = ParseLine(text);
        if (!inSection) {
            inSection = line.kind == LineKind::Header && line.name == section;
            continue;
        }
        if (line.kind == LineKind::Header) {
            return Lookup::NoKey;
        }
        if (line.kind == LineKind::Key && line.name == key) {
            value.assign(StripQuotes(line.value));
            return Lookup::Found;
        }
    }
    if (reader.Failed()) {
        return Lookup::Unreadable;
    }
    return inSection ? Lookup::NoKey : Lookup::NoSection;
}

// Copies at most size - 1 characters and a terminator; returns the number copied.
int CopyCut(std::string_view text, char* buffer, int size) {
    if (buffer == nullptr || size <= 0) {
        return 0;
    }
    size_t n = std::min(text.size(), static_cast<size_t>(size) - 1);
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
    return static_cast<int>(n);
}

// The file a rewrite replaces: the configuration file itself, or the end of its chain of
// symbolic links, so that the link stays a link. Empty on a link loop.
fs::path FinalTarget(const fs::path& file) {
    fs::path p = file;
    for (int hops = 0; hops < 40; ++hops) {
        std::error_code ec;
        if (!fs::is_symlink(fs::symlink_status(p, ec))) {
            return p;
        }
        fs::path link = fs::read_symlink(p, ec);
        if (ec) {
            return {};
        }
        p = link.is_absolute() ? link : p.parent_path() / link;
    }
    return {};
}

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            if (n == 0) {
                errno = EIO;
            }
            return false;
        }
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

// A new file beside the target, created exclusively under a fresh name so that nothing another
// user planted (a symbolic link, say) is ever opened. Removed again unless committed.
class TempFile {
public:
    TempFile() = default;
    ~TempFile() {
        m_fd.Close();
        if (!m_path.empty()) {
            ::unlink(m_path.c_str());
        }
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    bool Create(const fs::path& target) {
        fs::path folder = target.parent_path();
        if (folder.empty()) {
            folder = ".";
        }
        static constexpr char kChars[] =
            "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
        for (int attempt = 0; attempt < 100; ++attempt) {
            // The name need only be hard to guess; O_EXCL makes the creation safe.
            unsigned char bytes[8] = {};
            if (::getrandom(bytes, sizeof bytes, GRND_NONBLOCK) != sizeof bytes) {
                uint64_t mix = static_cast<uint64_t>(TickCountMs()) * 0x9E3779B97F4A7C15u ^
                               static_cast<uint64_t>(::getpid()) << 20 ^
                               reinterpret_cast<uintptr_t>(&bytes) ^ // differs per thread
                               static_cast<uint64_t>(attempt);
                std::memcpy(bytes, &mix, sizeof bytes);
            }
            std::string name = "." + target.filename().string() + ".";
            for (unsigned char b : bytes) {
                name.push_back(kChars[b % (sizeof kChars - 1)]);
            }
            fs::path path = folder / name;
            // 0666 less the umask, as for any new file; an existing file's mode is set after.
            int fd =
                ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
            if (fd >= 0) {
                m_path = path;
                m_fd = Fd(fd);
                return true;
            }
            if (errno != EEXIST) {
                return false;
            }
        }
        return false;
    }

    int Get() const { return m_fd.Get(); }

    // Flushes the content to storage and renames the file over the target.
    bool Commit(const fs::path& target) {
        if (::fsync(m_fd.Get()) != 0 || !m_fd.Close()) {
            return false;
        }
        if (::rename(m_path.c_str(), target.c_str()) != 0) {
            return false;
        }
        m_path.clear();
        // Best effort: make the rename itself durable.
        fs::path folder = target.parent_path().empty() ? fs::path(".") : target.parent_path();
        Fd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (dir.Valid()) {
            ::fsync(dir.Get());
        }
        return true;
    }

private:
    Fd m_fd;
    fs::path m_path;
};

// Buffers what a rewrite writes and hands it to the file in large pieces.
class Output {
public:
    explicit Output(int fd) : m_fd(fd) {}
    bool Line(std::string_view text, std::string_view end) {
        m_buf.append(text);
        m_buf.append(end);
        return m_buf.size() < 65536 || Flush();
    }
    bool Flush() {
        bool ok = WriteAll(m_fd, m_buf);
        m_buf.clear();
        return ok;
    }

private:
    int m_fd;
    std::string m_buf;
};

bool CopyRewrite(LineReader& reader, Output& out, std::string_view section, std::string_view key,
                 std::string_view value) {
    std::string text;
    // Up to and including the section's header.
    bool haveSection = false;
    while (reader.Next(text, kWholeLine)) {
        ParsedLine line = ParseLine(text);
        if (!out.Line(text, "\n")) {
            return false;
        }
        if (line.kind == LineKind::Header && line.name == section) {
            haveSection = true;
            break;
        }
    }
    if (reader.Failed()) {
        return false;
    }
    if (!haveSection && !out.Line("[" + std::string(section) + "]", "\n")) {
        return false;
    }
    // Inside the section: drop the first line of the key, hold back the next header.
    bool heldHeader = false;
    if (haveSection) {
        while (reader.Next(text, kWholeLine)) {
            ParsedLine line = ParseLine(text);
            if (line.kind == LineKind::Header) {
                heldHeader = true;
                break;
            }
            if (line.kind == LineKind::Key && line.name == key) {
                break;
            }
            if (!out.Line(text, "\n")) {
                return false;
            }
        }
        if (reader.Failed()) {
            return false;
        }
    }
    if (!out.Line(std::string(key) + "=" + std::string(value), "\r\n")) {
        return false;
    }
    if (heldHeader && !out.Line(text, "\n")) {
        return false;
    }
    while (reader.Next(text, kWholeLine)) {
        if (!out.Line(text, "\n")) {
            return false;
        }
    }
    return !reader.Failed() && out.Flush();
}

// Gives the new file the old one's owner (where we may) and permissions.
bool KeepOwnerAndMode(int fd, const struct stat& old) {
    struct stat now {};
    if (::fstat(fd, &now) != 0) {
        return false;
    }
    if (now.st_uid != old.st_uid || now.st_gid != old.st_gid) {
        // Only a privileged process may give a file away; keeping the group may still work.
        if (::fchown(fd, old.st_uid, old.st_gid) != 0) {
            (void)::fchown(fd, static_cast<uid_t>(-1), old.st_gid);
        }
    }
    // After fchown, which may clear set-id bits.
    return ::fchmod(fd, old.st_mode & 07777) == 0;
}

} // namespace

int IniReadString(const char* section, const char* key, const char* defaultValue, char* buffer,
                  int size, const fs::path& file) {
    int result = -1;
    if (section != nullptr && key != nullptr) {
        std::string value;
        switch (FindValue(file, section, key, value)) {
        case Lookup::Found:
            result = CopyCut(value, buffer, size);
            break;
        case Lookup::NoSection:
            result = -2;
            break;
        case Lookup::NoKey:
        case Lookup::Unreadable:
            result = -1;
            break;
        }
    }
    if (result <= 0) {
        CopyCut(defaultValue != nullptr ? defaultValue : "", buffer, size);
    }
    return result;
}

int IniReadInt(const char* section, const char* key, int defaultValue, const fs::path& file) {
    char defaultText[40];
    std::snprintf(defaultText, sizeof defaultText, "%d", defaultValue);
    char buffer[256];
    int result = IniReadString(section, key, defaultText, buffer, sizeof buffer, file);
    if (result <= 0) {
        return defaultValue;
    }
    return DecimalValue(buffer);
}

int IniWriteString(const char* section, const char* key, const char* value, const fs::path& file) {
    if (section == nullptr || key == nullptr || value == nullptr) {
        return 0;
    }
    fs::path target = FinalTarget(file);
    if (target.empty()) {
        DebugPrint("IniWriteString - Too many symbolic links: %s\n", file.c_str());
        return 0;
    }
    // Only a missing file is created. One we may not read or write stays as it is: replacing it
    // would lose the settings it holds, or a protection the user gave it.
    Fd in(::open(target.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat old {};
    if (!in.Valid()) {
        if (errno != ENOENT) {
            DebugPrint("IniWriteString - Unable to read %s: %s\n", target.c_str(),
                       ErrorText(errno).c_str());
            return 0;
        }
    } else if (::fstat(in.Get(), &old) != 0 || !S_ISREG(old.st_mode) ||
               ::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) {
        DebugPrint("IniWriteString - Not a writable file: %s\n", target.c_str());
        return 0;
    }

    TempFile temp;
    if (!temp.Create(target)) {
        DebugPrint("IniWriteString - Unable to create temporary file beside %s: %s\n",
                   target.c_str(), ErrorText(errno).c_str());
        return 0;
    }
    if (in.Valid() && !KeepOwnerAndMode(temp.Get(), old)) {
        DebugPrint("IniWriteString - Unable to set permissions: %s\n", ErrorText(errno).c_str());
        return 0;
    }
    Output out(temp.Get());
    LineReader reader(in.Get()); // a missing file reads as empty
    if (!CopyRewrite(reader, out, section, key, value) || !temp.Commit(target)) {
        DebugPrint("IniWriteString - Unable to rewrite %s: %s\n", target.c_str(),
                   ErrorText(errno).c_str());
        return 0;
    }
    return static_cast<int>(std::strlen(value));
}
