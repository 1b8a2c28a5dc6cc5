#include "PortCampaign.h"

#include "Paths.h"

#include "Tick.h"

#include <chrono>
#include <cstring>

namespace {
constexpr uint32_t kReadSize = 511;
// A lost port is tried again this often (as the program's reader does with AUTO_REOPEN).
constexpr int64_t kReopenEveryMs = 500;

int64_t Since(uint32_t later, uint32_t earlier) {
    return static_cast<int32_t>(later - earlier);
}
} // namespace

int64_t UtcNowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

CPortCampaign::CPortCampaign(PortCampaignConfig config) : m_config(std::move(config)) {
    m_parser.m_bMultiGnss = m_config.multiGnss;
    m_path = std::make_unique<CReceivePath>(m_parser);
}

CPortCampaign::~CPortCampaign() {
    Finish();
}

void CPortCampaign::Message(const std::string& text) const {
    if (m_config.onMessage) {
        m_config.onMessage(text);
    }
}

bool CPortCampaign::OpenPort(bool report) {
    const std::string& name = m_config.port;
    // The program's port naming and exclusive open.
    if (const int32_t err = m_port.Open(name + ":"); err != 0) {
        if (report) {
            Message("cannot open port " + name + " (" + OpenFailureReason(err) + ")");
        }
        return false;
    }
    if (m_port.Setup(static_cast<uint32_t>(m_config.baud), 8, 0, 0) != 0) {
        if (report) {
            Message("cannot set " + name + " to " + std::to_string(m_config.baud) + " baud");
        }
        m_port.Close();
        return false;
    }
    ++m_opens;
    return true;
}

int CPortCampaign::Begin(CampaignTime now) {
    if (!OpenPort(true)) {
        m_done = true;
        m_status = 2;
        return 2;
    }
    m_beginMs = now.monoMs;
    // With a receiver named (or asked for) its binary frames are recognised, as the program
    // does: they carry answers (UBX, SkyTraq) and must not break the lines around them.
    m_path->SetFrameRecognition(m_config.settings.family != ReceiverFamily::None ||
                                m_config.identify || m_config.identifyOnly || m_config.keepFrames);
    if (m_config.identify || m_config.identifyOnly) {
        m_identifier = std::make_unique<CReceiverIdentifier>();
        ActIdentify(m_identifier->Start(now.monoMs), now);
        return m_status > 0 ? m_status : 0;
    }
    return StartSession(now);
}

int CPortCampaign::StartSession(CampaignTime now) {
    CampaignSettings& settings = m_config.settings;
    if (settings.port.empty()) {
        settings.port = m_config.port;
    }
    if (settings.host.empty()) {
        settings.host = HostName();
    }
    m_config.extra.emplace_back("receiver", ReceiverFamilyKey(settings.family));
    m_config.extra.emplace_back("receiver_id", settings.receiverId);
    m_config.extra.emplace_back("host", settings.host);
    CampaignStep first;
    if (const int error = m_session.Begin(settings, m_config.folder, m_config.extra, now, &first,
                                          m_config.privateFiles);
        error != 0) {
        Message("cannot create the record in " + m_config.folder.string() + " (" +
                std::strerror(error) + ")");
        m_port.Close();
        m_done = true;
        m_status = 2;
        return 2;
    }
    m_begun = true;
    if (m_config.keepFrames && !m_session.Paths().empty()) {
        m_captureError = m_capture.Create(m_session.Paths().front());
        if (m_captureError != 0) {
            Message("cannot create the frame capture beside the record (" +
                    std::string(std::strerror(m_captureError)) + ")");
        }
    }
    Act(first);
    return 0;
}

// The port failed before the record was made: the campaign ends there, status 2.
void CPortCampaign::FailWhileIdentifying() {
    Message("the port " + m_config.port + " failed while identifying");
    m_port.Close();
    m_identifier.reset();
    m_done = true;
    m_status = 2;
}

// Identification comes before the record: the family found decides the restart commands, and a
// campaign keeps it across reconnects (no probing between runs).
void CPortCampaign::ActIdentify(const IdentifyStep& step, CampaignTime now) {
    if (!step.send.empty()) {
        uint32_t written = 0;
        if (m_port.Write(step.send.data(), static_cast<uint32_t>(step.send.size()), &written) !=
                0 ||
            written != step.send.size()) {
            FailWhileIdentifying();
            return;
        }
    }
    if (!step.done) {
        return;
    }
    const ReceiverIdentity identity = m_identifier->Result();
    m_identifier.reset();
    const std::string line = IdentityLine(identity);
    if (m_config.identifyOnly) {
        if (m_config.onIdentity) {
            m_config.onIdentity(line);
        }
        m_port.Close();
        m_done = true;
        m_status = identity.Identified() ? 0 : 1;
        return;
    }
    if (m_config.onProgress) {
        m_config.onProgress("receiver: " + line);
    }
    m_config.settings.family = identity.family;
    m_config.settings.receiverId = identity.text;
    StartSession(now);
}

void CPortCampaign::Act(const CampaignStep& step) {
    if (step.finished) {
        m_capture.Flush();
    }
    if (step.finished && m_config.onProgress) {
        m_config.onProgress(ProgressText(*step.finished, m_config.settings.Runs()));
    }
    if (!step.send.empty() && m_port.IsPortOpen()) {
        uint32_t written = 0;
        if (m_port.Write(step.send.data(), static_cast<uint32_t>(step.send.size()), &written) !=
                0 ||
            written != step.send.size()) {
            LosePort({TickCountMs(), UtcNowMs()}); // the restart never reached the receiver
        }
    }
    if (m_session.WriteError() != 0 && !m_writeErrorTold) {
        m_writeErrorTold = true;
        Message(std::string("writing the record failed (") + std::strerror(m_session.WriteError()) +
                ")");
    }
    if (!m_session.Running() && !m_done) {
        m_done = true;
        if (m_session.Engine().FixesIgnored()) {
            Message("the receiver reports its fixes only in sentences that MULTI_GNSS=0 ignores "
                    "(such as $GNGSA); set MULTI_GNSS=1 in Zenithprobe.ini or use --multi-gnss");
            m_ignored = true;
        }
    }
}

void CPortCampaign::LosePort(CampaignTime now) {
    m_port.Close();
    if (m_config.reconnect) {
        Message("the port " + m_config.port + " has gone; the run in progress is port-lost, " +
                "waiting for the port to come back");
        m_reopenFromMs = now.monoMs;
        Act(m_session.PortLost(now, true));
        return;
    }
    Message("the port " + m_config.port + " has gone; the record keeps the finished runs");
    Act(m_session.PortLost(now, false));
    m_cut = true;
    m_done = true;
}

void CPortCampaign::Readable() {
    if (m_done || !m_port.IsPortOpen()) {
        return;
    }
    char buffer[kReadSize + 1];
    uint32_t count = 0;
    const int32_t result = m_port.Read(buffer, kReadSize, &count);
    const uint32_t arrivalMs = TickCountMs();
    const int64_t utcMs = UtcNowMs();
    if (result != 0) {
        if (m_identifier) {
            FailWhileIdentifying();
            return;
        }
        LosePort({arrivalMs, utcMs});
        return;
    }
    if (m_identifier) {
        m_path->Feed(
            buffer, count, arrivalMs,
            [&](const ReceivedLine& line) {
                if (m_identifier) {
                    ActIdentify(m_identifier->Line(std::string_view(line.text, line.length),
                                                   line.arrivalMs),
                                {line.arrivalMs, utcMs});
                }
            },
            [&](const ReceivedFrame& frame) {
                if (m_identifier) {
                    ActIdentify(m_identifier->Frame(frame), {frame.arrivalMs, utcMs});
                }
            });
        return;
    }
    m_path->Feed(
        buffer, count, arrivalMs,
        [&](const ReceivedLine& line) {
            if (m_capture.IsOpen()) {
                m_capture.Line(line);
            }
            Act(m_session.Line(line, SampleOf(m_parser), {line.arrivalMs, utcMs}));
        },
        [&](const ReceivedFrame& frame) {
            if (m_capture.IsOpen()) {
                m_capture.Frame(frame);
            }
            Act(m_session.Frame(frame, {frame.arrivalMs, utcMs}));
        });
}

void CPortCampaign::Tick(CampaignTime now) {
    if (m_done) {
        return;
    }
    if (m_identifier) {
        ActIdentify(m_identifier->Tick(now.monoMs), now);
        return;
    }
    if (m_config.maxDurationMs > 0 &&
        Since(now.monoMs, m_beginMs) >= static_cast<int64_t>(m_config.maxDurationMs)) {
        Stop("the campaign reached its --max-duration; the record keeps the finished runs");
        return;
    }
    if (!m_port.IsPortOpen() && m_session.Engine().WaitingForPort() &&
        Since(now.monoMs, m_reopenFromMs) >= kReopenEveryMs) {
        m_reopenFromMs = now.monoMs;
        if (OpenPort(false)) {
            Message("the port " + m_config.port + " is back; the campaign goes on");
            Act(m_session.PortBack(now));
        }
    }
    Act(m_session.Tick(now));
}

void CPortCampaign::Stop(const std::string& why) {
    if (m_identifier) {
        m_identifier.reset();
        m_port.Close();
        m_done = true;
        m_status = 1;
        Message("stopped while identifying");
        return;
    }
    if (m_done || !m_begun) {
        return;
    }
    m_cut = true;
    m_done = true;
    m_session.Stop();
    Message(why);
}

int CPortCampaign::Finish() {
    if (m_status >= 0) {
        return m_status;
    }
    if (!m_begun) {
        return 2;
    }
    const int error = m_session.Finish();
    m_port.Close();
    if (error != 0 && !m_writeErrorTold) {
        Message(std::string("writing the record failed (") + std::strerror(error) + ")");
    }
    if (m_capture.IsOpen()) {
        const int closed = m_capture.Close();
        if (closed != 0 && m_captureError == 0) {
            m_captureError = closed;
            Message("writing " + m_capture.Path().string() + " failed (" + std::strerror(closed) +
                    ")");
        }
    }
    m_status = m_ignored                                                              ? 2
               : m_session.AllPassed() && error == 0 && m_captureError == 0 && !m_cut ? 0
                                                                                      : 1;
    return m_status;
}
