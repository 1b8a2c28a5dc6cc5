#pragma once
// CLogFile: a plain file object with its own buffer for records and logs, and the numbering rule
// of their names: a new file per record, n the first free number, an existing file never
// touched.
//
// Threads: one owner per object, no lock; CreateNumberedFiles may run on any thread.
#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

class CLogFile {
public:
    // Lines are collected up to kBufferSize bytes before they are written.
    static constexpr size_t kBufferSize = 4096;
    // Bytes a failing file (full storage, removed device) keeps for a later flush; lines beyond
    // are dropped whole, so the file never gets half a line from us after a gap.
    static constexpr size_t kPendingLimit = 64 * 1024;

    CLogFile() = default;
    ~CLogFile(); // Close()
    CLogFile(CLogFile&& other) noexcept;
    CLogFile& operator=(CLogFile&& other) noexcept;
    CLogFile(const CLogFile&) = delete;
    CLogFile& operator=(const CLogFile&) = delete;

    // Creates path for writing; never opens a file (or link) that exists. 0 or the error number
    // (EEXIST when the name is taken). Closes what was open before. mode is less the umask.
    int Create(const std::filesystem::path& path, unsigned mode = 0666);
    // Takes over an open descriptor (tests: a device that fails writes).
    void Adopt(int fd);
    bool IsOpen() const { return m_fd >= 0; }

    // Adds bytes; writes the buffer out when it would overflow. 0, or the error number of a
    // failing write: the bytes are then kept with the unwritten ones, unless that would pass
    // kPendingLimit, in which case they are dropped.
    int Write(const char* data, size_t size);
    // Writes the buffer out. 0, or the error number; unwritten bytes stay for the next flush.
    int Flush();
    // Writes the buffer out and empties the file, to be written again from its start (a record
    // rewritten whole once its last values are known). 0 or the error number.
    int Truncate();
    // Flushes and closes. 0, or the first error number; bytes that could not be written are
    // lost. The file is closed either way.
    int Close();

private:
    int m_fd = -1;
    std::string m_buffer; // written, not yet flushed
};

// Creates every file of names(n) in folder (the names alone when folder is empty) exclusively,
// for n from 1 up: an n with any of its names taken is passed over (the files it did make are
// removed), also when another program takes a name between two attempts. 0 or the error number;
// (*files)[i] is open on (*paths)[i] and *sequence is the n used.
int CreateNumberedFiles(const std::filesystem::path& folder,
                        const std::function<std::vector<std::string>(int n)>& names,
                        std::vector<CLogFile>* files, std::vector<std::filesystem::path>* paths,
                        int* sequence, unsigned mode = 0666);
