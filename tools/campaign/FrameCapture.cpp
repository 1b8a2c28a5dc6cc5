#include "FrameCapture.h"

int CFrameCapture::Create(const std::filesystem::path& recordFile) {
    m_path = recordFile;
    m_path.replace_extension(".bin");
    m_error = 0;
    return m_file.Create(m_path);
}

void CFrameCapture::Line(const ReceivedLine& line) {
    if (m_file.IsOpen()) {
        Note(m_file.Write(line.text, line.length));
    }
}

void CFrameCapture::Frame(const ReceivedFrame& frame) {
    if (m_file.IsOpen()) {
        Note(m_file.Write(reinterpret_cast<const char*>(frame.data), frame.length));
    }
}

void CFrameCapture::Flush() {
    if (m_file.IsOpen()) {
        Note(m_file.Flush());
    }
}

int CFrameCapture::Close() {
    if (m_file.IsOpen()) {
        Note(m_file.Close());
    }
    return m_error;
}

void CFrameCapture::Note(int error) {
    if (m_error == 0) {
        m_error = error;
    }
}
