#pragma once
// --keep-frames: a capture of what a campaign received, for debugging a receiver: every
// sentence and every binary frame with a valid check, in the order they arrived, byte for byte
// as the receive path handed them on (sentences end CR LF; bytes in neither are left out). It is
// the record's name with ".bin", created exclusively beside it. nmea-decode --frames and
// zenithprobe-sim --replay read it back.
//
// Threads: one owner (the command's loop); no lock.
#include "LogFile.h"
#include "ReceivePath.h"

#include <filesystem>

class CFrameCapture {
public:
    // Creates the capture beside recordFile (any of the record's files). 0 or the error number.
    int Create(const std::filesystem::path& recordFile);
    bool IsOpen() const { return m_file.IsOpen(); }
    const std::filesystem::path& Path() const { return m_path; }

    void Line(const ReceivedLine& line);
    void Frame(const ReceivedFrame& frame);
    // Writes out what is held (a run has ended, as the record does).
    void Flush();
    // Flushes and closes. 0, or the first error number of any write or of the close.
    int Close();

private:
    void Note(int error);

    CLogFile m_file;
    std::filesystem::path m_path;
    int m_error = 0;
};
