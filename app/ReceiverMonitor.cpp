#include "ReceiverMonitor.h"

#include "Debug.h"
#include "IniFile.h"
#include "Paths.h"
#include "TextConvert.h"
#include "Tick.h"

#include <pthread.h>
#include <string_view>

namespace {
constexpr const char* kSection = "Zenithprobe";
constexpr int kValueSize = 100;
} // namespace

CReceiverMonitor::CReceiverMonitor()
    : m_readerPause([this](uint32_t ms) { m_readerWake.Wait(ms); }) {}

CReceiverMonitor::~CReceiverMonitor() {
    StopReaderThread();
}

void CReceiverMonitor::LoadSettings() {
    // The whole path: Linux paths are often longer than the handheld's 100 characters, and a cut
    // one would silently lose the configuration.
    m_strAppDir = ProgramFolder();
    const std::filesystem::path ini = m_strAppDir / "Zenithprobe.ini";
    char value[kValueSize];
    IniReadString(kSection, "COM_PORT", "COM1", value, kValueSize, ini);
    m_strComPort = value;
    m_nBaudRate = IniReadInt(kSection, "BAUD_RATE", 4800, ini);
    IniReadString(kSection, "START_ACT", "", value, kValueSize, ini);
    m_strStartAct = value;
    m_nCriteriaCold = IniReadInt(kSection, "TIME_CRITERIA_C", 50, ini);
    m_nCriteriaWarm = IniReadInt(kSection, "TIME_CRITERIA_W", 35, ini);
    m_nCriteriaHot = IniReadInt(kSection, "TIME_CRITERIA_H", 2, ini);
    m_nTestMode = IniReadInt(kSection, "TEST_MODE", 0, ini);
    m_bAutoReopen = IniReadInt(kSection, "AUTO_REOPEN", 0, ini) != 0;
}

void CReceiverMonitor::InitSerial() {
    SetReopenTarget(m_strComPort, m_nBaudRate);
    if (m_serial.Open(m_strComPort + ":") != 0) {
        ShowErrorMessage("Unable to open COM-port");
    }
    // 8 data bits, no parity, one stop bit. A failed open already said enough.
    if (m_serial.Setup(static_cast<uint32_t>(m_nBaudRate), 8, 0, 0) != 0 && m_serial.IsPortOpen()) {
        ShowErrorMessage("Unable to setup COM-port");
    }
}

void CReceiverMonitor::SetReopenTarget(const std::string& port, int32_t baud) {
    std::lock_guard lock(m_csTarget);
    m_strTargetPort = port;
    m_nTargetBaud = baud;
}

void CReceiverMonitor::SetReopenPeriods(uint32_t silenceMs, uint32_t noiseMs) {
    m_nReopenPeriodMs = silenceMs;
    m_nNoiseReopenPeriodMs = noiseMs;
}

void CReceiverMonitor::ShowPortClosed(PortCloseReason, std::string) {}

void CReceiverMonitor::SetReaderPause(std::function<void(uint32_t)> pause) {
    m_readerPause = std::move(pause);
}

bool CReceiverMonitor::StartReaderThread() {
    if (m_readerThread.joinable()) {
        return false;
    }
    m_bStopReader = false;
    m_readerWake.Reset();
    m_bReaderRunning = true;
    m_readerThread = std::thread(&CReceiverMonitor::ReaderThreadProc, this);
    return true;
}

void CReceiverMonitor::StopReaderThread() {
    if (!m_readerThread.joinable()) {
        return;
    }
    m_bStopReader = true;
    m_readerWake.Set();
    m_readerThread.join();
}

void CReceiverMonitor::ReaderThreadProc(CReceiverMonitor* self) {
    pthread_setname_np(pthread_self(), "zp-reader");
    // Above ordinary threads so that a busy screen does not hold up the stream; where raising is
    // not permitted the reader runs at its ordinary priority, which serves as well.
    SetCurrentThreadPriority(kReaderPriority);
    // The thread runs only while the dialog has its window: it starts in InitAll and is stopped
    // before the window goes.
    while (!self->m_bStopReader.load()) {
        self->ReceiveData();
        if (self->m_bStopReader.load()) {
            break;
        }
        self->m_readerPause(kReaderPeriodMs);
    }
    self->m_bReaderRunning = false;
}

void CReceiverMonitor::ReceiveData() {
    if (!m_serial.IsPortOpen()) {
        TryReopen();
        if (!m_serial.IsPortOpen()) {
            return;
        }
    }
    // Open again, by us or by Setup: a later close is reported afresh.
    m_bClosedByReader = false;
    char buffer[kReadSize + 1];
    bool bytesRead = false; // a read of this pass delivered bytes: a close now is for noise
    for (;;) {
        uint32_t count = 0;
        const int32_t result = m_serial.Read(buffer, kReadSize, &count);
        const uint32_t arrivalMs = TickCountMs();
        if (count > kReadSize) {
            count = kReadSize;
        }
        buffer[count] = '\0';
        if (result != 0 || count == 0) {
            m_receive.AddGarbage(10);
        } else {
            bytesRead = true;
        }
        DebugPrint("[%d]\r\n", static_cast<int>(count));

        m_receive.Feed(buffer, count, arrivalMs,
                       [this](const ReceivedLine& line) { HandleLine(line); });
        // A full read means the driver may hold more: read again at once, so that a receiver
        // sending more than a read per pass is drained instead of falling further behind. Noise
        // passes the garbage limit within a read or two and ends this.
        if (count != kReadSize || m_receive.Garbage() > kGarbageLimit || m_bStopReader.load()) {
            break;
        }
    }
    if (m_receive.Garbage() > kGarbageLimit) {
        ClosePort(bytesRead ? PortCloseReason::Noise : PortCloseReason::Silence);
    }
}

void CReceiverMonitor::ClosePort(PortCloseReason reason) {
    m_serial.Close();
    m_receive.ResetGarbage();
    // A part line from before the close must not be joined to whatever a reopened port sends.
    m_receive.Builder().Clear();
    m_bClosedByReader = true;
    m_closeReason = reason;
    m_dwLastAttemptMs = TickCountMs();

    std::string port;
    int32_t baud = 0;
    {
        std::lock_guard lock(m_csTarget);
        port = m_strTargetPort;
        baud = m_nTargetBaud;
    }
    std::optional<CivilTime> lastLine;
    std::tm local{};
    if (m_lastLineTime != 0 && localtime_r(&m_lastLineTime, &local) != nullptr) {
        lastLine = CivilTime{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                             local.tm_hour,        local.tm_min,     local.tm_sec};
    }
    std::string note = PortClosedText(port, baud, reason, lastLine, m_bAutoReopen.load());
    DebugPrint("%s\r\n", note.c_str());
    ShowPortClosed(reason, std::move(note));
}

void CReceiverMonitor::TryReopen() {
    if (!m_bClosedByReader || !m_bAutoReopen.load() || m_bSetupOwnsPort.load()) {
        return;
    }
    const uint32_t now = TickCountMs();
    const uint32_t period =
        m_closeReason == PortCloseReason::Noise ? m_nNoiseReopenPeriodMs : m_nReopenPeriodMs;
    if (now - m_dwLastAttemptMs < period) {
        return;
    }
    m_dwLastAttemptMs = now;
    std::string port;
    int32_t baud = 0;
    {
        std::lock_guard lock(m_csTarget);
        port = m_strTargetPort;
        baud = m_nTargetBaud;
    }
    // Setup may take the port between the check above and this open; its Set closes and reopens
    // the port itself, so the worst case is an open that Setup replaces at once.
    if (m_serial.Open(port + ":") != 0) {
        return; // not back yet: the next period tries again
    }
    if (m_serial.Setup(static_cast<uint32_t>(baud), 8, 0, 0) != 0) {
        m_serial.Close();
        return;
    }
    DebugPrint("Reopened %s at %d baud\r\n", port.c_str(), static_cast<int>(baud));
}

int32_t CReceiverMonitor::AssembleLine(const char* data, int32_t count) {
    if (data == nullptr || count <= 0) {
        return 0;
    }
    return static_cast<int32_t>(m_receive.AssembleOnly(data, static_cast<size_t>(count)));
}

void CReceiverMonitor::HandleLine(const ReceivedLine& line) {
    // Up to the first zero byte: the CR LF are shown and logged too, and a zero byte ends the
    // text early. Only '$' starts a line, so a receiver's version line never gets here (and
    // m_strVersion stays empty).
    m_lastLineTime = std::time(nullptr);
    ShowLine(BytesToValidUtf8(std::string_view(line.text, line.length)));
    if (line.parsed == 0) {
        DebugPrint("[Syntax Error] %s", line.text);
    }
    // Rejected sentences are logged too. The log lock is taken only now, g_csParser released.
    if (m_bLog.load() != 0) {
        m_fileLog.WriteLine(std::string_view(line.text, line.length));
    }
}
