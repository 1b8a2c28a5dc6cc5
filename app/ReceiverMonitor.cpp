#include "ReceiverMonitor.h"

#include "Debug.h"
#include "IniFile.h"
#include "Paths.h"
#include "TextConvert.h"
#include "Tick.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <pthread.h>
#include <string_view>
#include <unistd.h>

namespace {
constexpr const char* kSection = "Zenithprobe";
constexpr int kValueSize = 100;

constexpr uint32_t kWaitSliceMs = 100; // a stop or the campaign's end is seen within this

int64_t UtcNowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

} // namespace

CReceiverMonitor::CReceiverMonitor()
    : m_readerPause([this](uint32_t ms) { m_readerWake.Wait(ms); }) {}

CReceiverMonitor::~CReceiverMonitor() {
    StopReaderThread();
    StopCampaign(); // a campaign cut short by the exit keeps its finished runs
}

void CReceiverMonitor::LoadSettings() {
    // The whole path: Linux paths are often longer than the handheld's 100 characters, and a cut
    // one would silently lose the configuration.
    const Folders folders = CurrentFolders();
    m_strAppDir = folders.config;
    m_strDataDir = folders.data;
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
    SetMultiGnss(IniReadInt(kSection, "MULTI_GNSS", 0, ini) != 0, false);
    m_bAutoReopen = IniReadInt(kSection, "AUTO_REOPEN", 0, ini) != 0;
    IniReadString(kSection, "RECEIVER", "", value, kValueSize, ini);
    ReceiverSetting receiver;
    m_strReceiverError.clear();
    if (!ParseReceiverSetting(value, "RECEIVER", &receiver, &m_strReceiverError)) {
        // The SONY and SiRF commands alone, as without the key; Setup's line shows why.
        DebugPrint("CZenithprobeDlg::LoadSettings() %s\r\n", m_strReceiverError.c_str());
        receiver = ReceiverSetting{};
    }
    SetReceiver(receiver, false);
}

void CReceiverMonitor::SetReceiver(const ReceiverSetting& setting, bool save) {
    m_receiverFamily = setting.family;
    m_bReceiverAuto = setting.automatic;
    // Any family may send binary frames beside its sentences; without the key the stream is
    // read by the line rules alone.
    m_receive.SetFrameRecognition(setting.automatic || setting.family != ReceiverFamily::None);
    if (save) {
        m_strReceiverError.clear();
        IniWriteString(kSection, "RECEIVER", ReceiverSettingText(setting),
                       m_strAppDir / "Zenithprobe.ini");
    }
}

ReceiverSetting CReceiverMonitor::Receiver() const {
    return ReceiverSetting{m_receiverFamily.load(), m_bReceiverAuto.load()};
}

ReceiverFamily CReceiverMonitor::RestartFamily() const {
    if (!m_bReceiverAuto.load()) {
        return m_receiverFamily.load();
    }
    std::lock_guard lock(m_identityMutex);
    return m_identity.family;
}

void CReceiverMonitor::RequestIdentify() {
    m_bIdentifyRequested = true;
    m_readerWake.Set(); // out of the fixed pause
}

ReceiverIdentity CReceiverMonitor::Identity() const {
    std::lock_guard lock(m_identityMutex);
    return m_identity;
}

ReceiverLineState CReceiverMonitor::ReceiverLine() const {
    ReceiverLineState state;
    state.keyError = m_strReceiverError;
    state.automatic = m_bReceiverAuto.load();
    state.chosen = ReceiverFamilyName(m_receiverFamily.load());
    state.gnWithoutMultiGnss = m_bGnSeen.load() && !MultiGnss();
    if (Identifying()) {
        state.identify = ReceiverLineState::Identify::Running;
        return state;
    }
    std::lock_guard lock(m_identityMutex);
    if (!m_bIdentified) {
        return state;
    }
    if (m_identity.Identified()) {
        state.identify = ReceiverLineState::Identify::Found;
        state.identity = m_identity.text;
        state.found = ReceiverFamilyName(m_identity.family);
    } else {
        state.identify = ReceiverLineState::Identify::NotFound;
    }
    return state;
}

void CReceiverMonitor::IdentifyPass() {
    if (m_bIdentifyRequested.exchange(false)) {
        if (!m_serial.IsPortOpen()) {
            // Nothing to ask; the next port open asks again. Whoever waits hears the old result.
            IdentifyNotify(Identity());
            return;
        }
        m_identifier = CReceiverIdentifier();
        m_bIdentifying = true;
        // Probes ask for binary replies (UBX MON-VER, SkyTraq): with the key empty they would
        // otherwise count as noise and close the port.
        m_receive.SetFrameRecognition(true);
        DebugPrint("CReceiverMonitor::Identify() listening!\r\n");
        ActIdentify(m_identifier.Start(TickCountMs()));
        return;
    }
    if (m_bIdentifying.load()) {
        ActIdentify(m_identifier.Tick(TickCountMs()));
    }
}

void CReceiverMonitor::ActIdentify(const IdentifyStep& step) {
    if (!step.send.empty()) {
        if (m_serial.Write(step.send.data(), static_cast<uint32_t>(step.send.size())) != 0) {
            DebugPrint("CReceiverMonitor::Identify() %s probe not written!\r\n",
                       ReceiverFamilyName(step.probe));
        } else {
            DebugPrint("CReceiverMonitor::Identify() %s probe sent!\r\n",
                       ReceiverFamilyName(step.probe));
        }
    }
    if (!step.done || !m_bIdentifying.load()) {
        return;
    }
    const ReceiverIdentity result = m_identifier.Result();
    {
        std::lock_guard lock(m_identityMutex);
        m_identity = result;
        m_bIdentified = true;
    }
    m_bIdentifying = false;
    m_receive.SetFrameRecognition(m_bReceiverAuto.load() ||
                                  m_receiverFamily.load() != ReceiverFamily::None);
    DebugPrint("CReceiverMonitor::Identify() %s\r\n", IdentityLine(result).c_str());
    IdentifyNotify(result);
}

void CReceiverMonitor::SetMultiGnss(bool on, bool save) {
    m_nMultiGnss = on ? 1 : 0;
    {
        std::lock_guard lock(g_csParser);
        // What the other mode decoded would stay on screen for good (GN sentences no longer
        // update it): start again from nothing when the mode changes.
        if (m_parser.m_bMultiGnss != on) {
            m_parser.Reset();
        }
        m_parser.m_bMultiGnss = on;
    }
    if (save) {
        IniWriteString(kSection, "MULTI_GNSS", on ? "1" : "0", m_strAppDir / "Zenithprobe.ini");
    }
}

void CReceiverMonitor::InitSerial() {
    SetReopenTarget(m_strComPort, m_nBaudRate);
    m_bGnSeen = false;
    if (const int32_t err = m_serial.Open(m_strComPort + ":"); err != 0) {
        // The box keeps its text; a second line says what the user can do about it.
        const std::string reason = OpenFailureReason(err);
        DebugPrint("CZenithprobeDlg::InitSerial() %s!\r\n", reason.c_str());
        ShowErrorMessage(("Unable to open COM-port\n" + reason).c_str());
    }
    // 8 data bits, no parity, one stop bit. A failed open already said enough.
    if (m_serial.Setup(static_cast<uint32_t>(m_nBaudRate), 8, 0, 0) != 0 && m_serial.IsPortOpen()) {
        ShowErrorMessage("Unable to setup COM-port");
    }
    if (m_bReceiverAuto.load() && m_serial.IsPortOpen()) {
        RequestIdentify();
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
    std::lock_guard lock(m_threadMutex);
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
    // Held while joining: the reader thread never takes it.
    std::lock_guard lock(m_threadMutex);
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
        self->CampaignTick();
        self->IdentifyPass();
        if (self->m_bCampaign.load() || self->m_bIdentifying.load()) {
            self->WaitForBytes(kReaderPeriodMs);
        } else {
            self->m_readerPause(kReaderPeriodMs);
        }
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
    m_bDeviceGone = false;
    char buffer[kReadSize + 1];
    bool bytesRead = false; // a read of this pass delivered bytes: a close now is for noise
    uint32_t passBytes = 0;
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
            passBytes += count;
        }
        DebugPrint("[%d]\r\n", static_cast<int>(count));

        m_receive.Feed(
            buffer, count, arrivalMs, [this](const ReceivedLine& line) { HandleLine(line); },
            [this](const ReceivedFrame& frame) { HandleFrame(frame); });
        if (result != 0 && m_bAutoReopen.load() &&
            (result == EIO || result == ENXIO || result == ENODEV)) {
            // Unplugged or hung up: reading the dead device until the garbage limit would hold
            // up the reopen by seconds.
            m_bDeviceGone = true;
            break;
        }
        // A full read means the driver may hold more: read again at once, so that a receiver
        // sending more than a read per pass is drained instead of falling further behind. Noise
        // passes the garbage limit within a read or two and ends this.
        if (count != kReadSize || m_receive.Garbage() > kGarbageLimit || m_bStopReader.load()) {
            break;
        }
    }
    if (m_bDeviceGone || m_receive.Garbage() > kGarbageLimit) {
        // With frames recognised, the first bytes after an open may be the end of a binary frame
        // already on its way (a u-blox NAV-SAT is hundreds of bytes); a short read of them alone
        // closed about one open in fifteen as noise. Once per open such a read waits for the
        // next pass, which a sentence or frame resets and more noise closes.
        const bool cutByTheOpen = !m_bDeviceGone && bytesRead && passBytes < kReadSize &&
                                  !m_bInStep && m_bOpenGrace && m_receive.FrameRecognition();
        m_bOpenGrace = false;
        if (!cutByTheOpen) {
            ClosePort(bytesRead && !m_bDeviceGone ? PortCloseReason::Noise
                                                  : PortCloseReason::Silence);
        }
    }
}

void CReceiverMonitor::ClosePort(PortCloseReason reason) {
    m_serial.Close();
    m_receive.ResetGarbage();
    // A part line or frame from before the close must not be joined to whatever a reopened
    // port sends.
    m_receive.ClearPartial();
    m_bInStep = false;
    m_bOpenGrace = true;
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
    CampaignPortLost();
}

void CReceiverMonitor::TryReopen() {
    if (!m_bClosedByReader || !m_bAutoReopen.load() || m_bSetupOwnsPort.load()) {
        return;
    }
    const uint32_t now = TickCountMs();
    const uint32_t period =
        m_closeReason == PortCloseReason::Noise ? m_nNoiseReopenPeriodMs : m_nReopenPeriodMs;
    // A device that went away is looked for at every pass: a missing one fails to open at once.
    if (!m_bDeviceGone && now - m_dwLastAttemptMs < period) {
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
    m_bGnSeen = false;
    // A campaign keeps the identity it started with: no probes between its runs.
    if (m_bReceiverAuto.load() && !m_bCampaign.load()) {
        RequestIdentify();
    }
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
    m_bInStep = true;
    ShowLine(BytesToValidUtf8(std::string_view(line.text, line.length)));
    if (line.parsed == 0) {
        DebugPrint("[Syntax Error] %s", line.text);
    }
    // Rejected sentences are logged too. The log lock is taken only now, g_csParser released.
    if (m_bLog.load() != 0) {
        m_fileLog.WriteLine(std::string_view(line.text, line.length));
    }
    if (m_bCampaign.load()) {
        CampaignLine(line);
    }
    if (line.length > 3 && line.text[1] == 'G' && line.text[2] == 'N') {
        m_bGnSeen = true;
    }
    if (m_bIdentifying.load()) {
        ActIdentify(m_identifier.Line(std::string_view(line.text, line.length), line.arrivalMs));
    }
}

void CReceiverMonitor::HandleFrame(const ReceivedFrame& frame) {
    m_bInStep = true;
    if (m_bCampaign.load()) {
        std::vector<CampaignNotice> notices;
        {
            std::lock_guard lock(m_campaignMutex);
            if (m_campaign) {
                ActLocked(m_campaign->Frame(frame, {frame.arrivalMs, UtcNowMs()}), &notices);
            }
        }
        for (CampaignNotice& n : notices) {
            CampaignNotify(std::move(n));
        }
    }
    if (m_bIdentifying.load()) {
        ActIdentify(m_identifier.Frame(frame));
    }
}

int CReceiverMonitor::StartCampaign(CampaignSettings settings,
                                    const std::filesystem::path& folder) {
    std::vector<CampaignNotice> notices;
    {
        std::lock_guard lock(m_campaignMutex);
        if (m_campaign || m_static) {
            return EBUSY;
        }
        settings.timing = "reader-wake";
        // The records name the receiver as the headless command's do; the campaign keeps this
        // identity to its end.
        settings.family = RestartFamily();
        settings.receiverId = Identity().text;
        settings.port = m_strComPort;
        settings.host = HostName();
        auto session = std::make_unique<CCampaignSession>();
        CampaignStep step;
        const std::vector<std::pair<std::string, std::string>> extra = {
            {"port", m_strComPort},
            {"baud", std::to_string(m_nBaudRate)},
            {"receiver", ReceiverFamilyKey(settings.family)},
            {"receiver_id", settings.receiverId},
            {"host", settings.host}};
        if (const int error =
                session->Begin(settings, folder, extra, {TickCountMs(), UtcNowMs()}, &step, true);
            error != 0) {
            return error;
        }
        m_campaign = std::move(session);
        m_bCampaign = true;
        ActLocked(step, &notices);
    }
    m_readerWake.Set(); // out of the fixed pause, into the wait for bytes
    for (CampaignNotice& n : notices) {
        CampaignNotify(std::move(n));
    }
    return 0;
}

int CReceiverMonitor::StartStaticCampaign(StaticSettings settings,
                                          const std::filesystem::path& folder) {
    {
        std::lock_guard lock(m_campaignMutex);
        if (m_campaign || m_static) {
            return EBUSY;
        }
        settings.timing = "reader-wake";
        auto session = std::make_unique<CStaticSession>();
        const std::vector<std::pair<std::string, std::string>> extra = {
            {"port", m_strComPort}, {"baud", std::to_string(m_nBaudRate)}};
        if (const int error = session->Begin(settings, folder, extra, {TickCountMs(), UtcNowMs()});
            error != 0) {
            return error;
        }
        m_static = std::move(session);
        m_staticStartMs = TickCountMs();
        m_staticShownS = 0;
        m_bCampaign = true;
    }
    m_readerWake.Set();
    CampaignNotice n;
    n.what = CampaignNotice::What::Progress;
    n.isStatic = true;
    n.runs = static_cast<int32_t>(settings.durationS);
    CampaignNotify(std::move(n));
    return 0;
}

void CReceiverMonitor::StaticStepLocked(CampaignTime now, std::vector<CampaignNotice>* notices) {
    m_static->Tick(now);
    if (m_static->Running()) {
        const uint32_t elapsedS = (now.monoMs - m_staticStartMs) / 1000;
        if (elapsedS != m_staticShownS) {
            m_staticShownS = elapsedS;
            CampaignNotice n;
            n.what = CampaignNotice::What::Progress;
            n.isStatic = true;
            n.run = static_cast<int32_t>(elapsedS);
            n.runs = static_cast<int32_t>(m_static->Settings().durationS);
            n.text = m_static->ProgressText(now);
            notices->push_back(std::move(n));
        }
        return;
    }
    CampaignNotice n;
    n.what = CampaignNotice::What::Finished;
    n.isStatic = true;
    n.error = m_static->Finish();
    n.runs = static_cast<int32_t>(m_static->Settings().durationS);
    n.text = m_static->SummaryText();
    n.paths = m_static->Paths();
    n.allPassed = n.error == 0 && m_static->Summary().epochs3d > 0;
    notices->push_back(std::move(n));
    m_static.reset();
    m_bCampaign = false;
}

void CReceiverMonitor::StopCampaign() {
    std::vector<CampaignNotice> notices;
    {
        std::lock_guard lock(m_campaignMutex);
        if (m_static) {
            m_static->Stop();
            StaticStepLocked({TickCountMs(), UtcNowMs()}, &notices);
        } else if (m_campaign) {
            m_campaign->Stop();
            FinishLocked(&notices);
        }
    }
    for (CampaignNotice& n : notices) {
        CampaignNotify(std::move(n));
    }
}

void CReceiverMonitor::ActLocked(const CampaignStep& step, std::vector<CampaignNotice>* notices) {
    const int32_t runs = m_campaign->Engine().Settings().Runs();
    if (step.finished) {
        CampaignNotice n;
        n.what = CampaignNotice::What::RunFinished;
        n.kind = step.finished->kind;
        n.run = step.finished->run;
        n.runs = runs;
        n.text = ProgressText(*step.finished, runs);
        n.ttffMs = step.finished->ttffMs;
        notices->push_back(std::move(n));
    }
    if (!step.send.empty()) {
        uint32_t written = 0;
        if (m_serial.Write(step.send.data(), static_cast<uint32_t>(step.send.size()), &written) !=
                0 ||
            written != step.send.size()) {
            // The restart never reached the receiver: the run is the port's failure, not a
            // receiver that did not restart.
            DebugPrint("CReceiverMonitor::Campaign() the restart could not be sent!\r\n");
            ActLocked(m_campaign->PortLost({TickCountMs(), UtcNowMs()}, m_bAutoReopen.load()),
                      notices);
            return;
        }
        DebugPrint("CReceiverMonitor::Campaign() %s start, run %d!\r\n",
                   StartKindText(step.sendKind), m_campaign->Engine().CurrentRun());
        CampaignNotice n;
        n.what = CampaignNotice::What::RestartSent;
        n.kind = step.sendKind;
        n.run = m_campaign->Engine().CurrentRun();
        n.runs = runs;
        notices->push_back(std::move(n));
    }
    if (step.done) {
        FinishLocked(notices);
    }
}

void CReceiverMonitor::FinishLocked(std::vector<CampaignNotice>* notices) {
    CampaignNotice n;
    n.what = CampaignNotice::What::Finished;
    n.error = m_campaign->Finish();
    n.runs = m_campaign->Engine().Settings().Runs();
    n.text = SummaryText(m_campaign->Summary());
    n.paths = m_campaign->Paths();
    n.allPassed = m_campaign->AllPassed();
    n.fixesIgnored = m_campaign->Engine().FixesIgnored();
    for (const RunRecord& r : m_campaign->Records()) {
        n.portLost = n.portLost || r.outcome == RunOutcome::PortLost;
    }
    notices->push_back(std::move(n));
    m_campaign.reset();
    m_bCampaign = false;
}

void CReceiverMonitor::CampaignLine(const ReceivedLine& line) {
    FixSample sample;
    StaticSample staticSample;
    {
        std::lock_guard lock(g_csParser);
        sample = SampleOf(m_parser);
        staticSample = StaticSampleOf(m_parser, line);
    }
    std::vector<CampaignNotice> notices;
    {
        std::lock_guard lock(m_campaignMutex);
        const CampaignTime now{line.arrivalMs, UtcNowMs()};
        if (m_static) {
            m_static->Line(line, staticSample, now);
            StaticStepLocked(now, &notices);
        } else if (!m_campaign) {
            return;
        } else {
            ActLocked(m_campaign->Line(line, sample, now), &notices);
        }
    }
    for (CampaignNotice& n : notices) {
        CampaignNotify(std::move(n));
    }
}

void CReceiverMonitor::CampaignTick() {
    if (!m_bCampaign.load()) {
        return;
    }
    std::vector<CampaignNotice> notices;
    {
        std::lock_guard lock(m_campaignMutex);
        if (m_static) {
            StaticStepLocked({TickCountMs(), UtcNowMs()}, &notices);
        } else if (!m_campaign) {
            return;
        } else {
            if (m_campaign->Engine().WaitingForPort() && m_serial.IsPortOpen()) {
                ActLocked(m_campaign->PortBack({TickCountMs(), UtcNowMs()}), &notices);
            }
            if (m_campaign) {
                ActLocked(m_campaign->Tick({TickCountMs(), UtcNowMs()}), &notices);
            }
        }
    }
    for (CampaignNotice& n : notices) {
        CampaignNotify(std::move(n));
    }
}

void CReceiverMonitor::CampaignPortLost() {
    if (!m_bCampaign.load()) {
        return;
    }
    std::vector<CampaignNotice> notices;
    {
        std::lock_guard lock(m_campaignMutex);
        if (!m_campaign) {
            return;
        }
        ActLocked(m_campaign->PortLost({TickCountMs(), UtcNowMs()}, m_bAutoReopen.load()),
                  &notices);
    }
    for (CampaignNotice& n : notices) {
        CampaignNotify(std::move(n));
    }
}

void CReceiverMonitor::WaitForBytes(uint32_t ms) {
    const uint32_t start = TickCountMs();
    for (;;) {
        const uint32_t waited = TickCountMs() - start;
        if (waited >= ms || m_bStopReader.load() ||
            (!m_bCampaign.load() && !m_bIdentifying.load())) {
            return;
        }
        // The identifier's windows end on ticks; the pass itself stays as long as the campaign's,
        // since the receive path counts each empty read as garbage.
        if (m_bIdentifying.load()) {
            ActIdentify(m_identifier.Tick(TickCountMs()));
        }
        const uint32_t slice = std::min(kWaitSliceMs, ms - waited);
        const int32_t ready = m_serial.WaitReadable(slice);
        if (ready == 1) {
            return;
        }
        if (ready != 0) {
            // No port (closed for garbage, or by the setup dialog): the fixed pause.
            m_readerWake.Wait(ms - waited);
            return;
        }
    }
}
