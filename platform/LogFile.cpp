#include "LogFile.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>
#include <utility>

namespace fs = std::filesystem;

namespace {
// Far beyond any real day's count; only ends the search in a folder that refuses every name.
constexpr int kMaxSequence = 1000000;
} // namespace

CLogFile::~CLogFile() {
    Close();
}

CLogFile::CLogFile(CLogFile&& other) noexcept
    : m_fd(std::exchange(other.m_fd, -1)), m_buffer(std::move(other.m_buffer)) {
    other.m_buffer.clear();
}

CLogFile& CLogFile::operator=(CLogFile&& other) noexcept {
    if (this != &other) {
        Close();
        m_fd = std::exchange(other.m_fd, -1);
        m_buffer = std::move(other.m_buffer);
        other.m_buffer.clear();
    }
    return *this;
}

int CLogFile::Create(const fs::path& path, unsigned mode) {
    Close();
    // O_EXCL: an existing file is never appended to or overwritten, and a link planted under the
    // name is not followed.
    int fd = -1;
    do {
        fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY,
                    static_cast<mode_t>(mode));
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        return errno != 0 ? errno : EIO;
    }
    m_fd = fd;
    return 0;
}

void CLogFile::Adopt(int fd) {
    Close();
    m_fd = fd;
}

int CLogFile::Write(const char* data, size_t size) {
    if (m_fd < 0) {
        return EBADF;
    }
    int error = 0;
    if (m_buffer.size() + size > kBufferSize) {
        error = Flush();
        if (error != 0 && m_buffer.size() + size > kPendingLimit) {
            return error;
        }
    }
    m_buffer.append(data, size);
    return error;
}

int CLogFile::Flush() {
    if (m_fd < 0) {
        return EBADF;
    }
    size_t done = 0;
    int error = 0;
    while (done < m_buffer.size()) {
        const ssize_t n = ::write(m_fd, m_buffer.data() + done, m_buffer.size() - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            error = n < 0 && errno != 0 ? errno : EIO;
            break;
        }
    }
    // What was written leaves the buffer; the rest waits for the next flush.
    m_buffer.erase(0, done);
    return error;
}

int CLogFile::Truncate() {
    if (m_fd < 0) {
        return EBADF;
    }
    m_buffer.clear();
    if (::ftruncate(m_fd, 0) != 0 || ::lseek(m_fd, 0, SEEK_SET) != 0) {
        return errno != 0 ? errno : EIO;
    }
    return 0;
}

int CLogFile::Close() {
    if (m_fd < 0) {
        return 0;
    }
    int error = Flush();
    m_buffer.clear();
    // Not retried on EINTR: on Linux the descriptor is gone whatever close reports.
    if (::close(m_fd) != 0 && error == 0) {
        error = errno;
    }
    m_fd = -1;
    return error;
}

int CreateNumberedFiles(const fs::path& folder,
                        const std::function<std::vector<std::string>(int n)>& names,
                        std::vector<CLogFile>* files, std::vector<fs::path>* paths, int* sequence,
                        unsigned mode) {
    // Trying the names in order and creating exclusively: testing first and creating after
    // would let another program take the name in between.
    int error = EEXIST;
    for (int n = 1; n <= kMaxSequence && error == EEXIST; ++n) {
        files->clear();
        paths->clear();
        error = 0;
        for (const std::string& name : names(n)) {
            const fs::path candidate = folder / name;
            CLogFile file;
            error = file.Create(candidate, mode);
            if (error != 0) {
                break;
            }
            files->push_back(std::move(file));
            paths->push_back(candidate);
        }
        if (error != 0) {
            for (size_t i = 0; i < files->size(); ++i) {
                (*files)[i].Close();
                std::error_code ignored;
                fs::remove((*paths)[i], ignored);
            }
        } else {
            *sequence = n;
        }
    }
    if (error != 0) {
        files->clear();
        paths->clear();
    }
    return error;
}
