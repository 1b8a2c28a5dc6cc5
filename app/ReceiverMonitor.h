#pragma once
// CReceiverMonitor: the display-free half of the main dialog. It holds the settings, the
// receiver's port, the parser and the reader thread with its receive path: every 500 ms the
// reader drains the port, cuts the bytes into sentences, shows each one, feeds it to the parser
// and counts garbage; a port that delivers only garbage is closed.
//
// Threads:
// - The user-interface thread calls LoadSettings, InitSerial, StartReaderThread and
//   StopReaderThread, and reads the settings members. StopReaderThread may also come from
//   another thread (never the reader itself).
// - The reader thread (ReaderThreadProc) alone calls ReceiveData and AssembleLine once
//   StartReaderThread has run: m_receive (the line buffer and the garbage count) belongs to it.
// - m_parser is guarded by g_csParser (Threads.h), taken around each Parse (by m_receive).
// - m_serial serialises its own operations (CSharedSerial); the reader never holds g_csParser
//   during a port call or the other way round.
// - m_fileLog has its own lock (NmeaLog.h); the reader takes it after releasing g_csParser.
// - ShowLine and ShowPortClosed are called on the reader thread and must only hand the text on;
//   ShowErrorMessage is called on the thread that calls InitSerial.
// - Reopening: when the receive path has closed the port and AUTO_REOPEN is on, the reader alone
//   reopens it (ReceiveData), never while the user-interface thread has marked the port as the
//   setup dialog's (SetSetupOwnsPort). A read that says the device is gone (EIO, ENXIO, ENODEV,
//   hang-up) then closes at once and the reopen is tried at every pass until it succeeds.
//   m_csTarget guards the port name and rate it reopens, written by the user-interface thread
//   (InitSerial, SetReopenTarget).
// - A campaign (StartCampaign, StopCampaign: user-interface thread) is fed by the reader thread:
//   each line after it was handled, and a tick after each pass; its restart commands go out
//   through m_serial from there. m_campaignMutex guards m_campaign; it is taken after g_csParser
//   is released (the reader copies what the campaign reads from the parser first) and is held
//   around the campaign's port writes and file writes (so the order is campaign lock, then port
//   lock or nothing). While m_bCampaign is set, the reader's pause ends as soon as bytes arrive
//   (a wait on the port, kReaderPeriodMs at most) so that arrival times are not up to a pass
//   late; without a campaign the pause is the fixed one. CampaignNotify runs on the reader
//   thread or on the thread that called Start/StopCampaign, never under a lock. A failed
//   restart write or a port the reader closes makes the run in progress port-lost; with
//   AUTO_REOPEN the campaign waits and goes on once the port is open again (checked at each
//   tick), else it ends. The campaign alone times its runs.
// - The receiver family (RECEIVER): the user-interface thread sets it (SetReceiver); the family
//   and the auto flag are atomics the reader reads. Identification runs on the reader thread
//   alone (m_identifier): any thread asks for one (RequestIdentify), the reader starts it at its
//   next pass, feeds it lines, frames and ticks, writes its probes through m_serial and, at the
//   end, stores the result under m_identityMutex (taken alone, never with another lock) and calls
//   IdentifyNotify. While it runs the reader's pause ends as soon as bytes arrive, as for a
//   campaign.
// - A static run (StartStaticCampaign) goes the same way: m_static, guarded by m_campaignMutex,
//   is fed after each line and ticked after each pass; it sends nothing. At most one of
//   m_campaign and m_static is set.
#include "CampaignSession.h"
#include "NmeaLog.h"
#include "NmeaParser.h"
#include "ReceivePath.h"
#include "ReceiverIdentify.h"
#include "ReceiverLine.h"
#include "ScreenFormat.h"
#include "SharedSerial.h"
#include "StaticSession.h"
#include "Threads.h"

#include <atomic>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class CReceiverMonitor {
public:
    // The reader's pass: read up to 511 bytes, then every kReaderPeriodMs.
    static constexpr uint32_t kReadSize = 511;
    static constexpr uint32_t kReaderPeriodMs = 500;
    // Garbage beyond this closes the port.
    static constexpr int32_t kGarbageLimit = 100;
    // Priority of the reader thread on the handheld's scale (above ordinary threads).
    static constexpr int kReaderPriority = 200;
    // With AUTO_REOPEN: a closed port is tried again this often, so that a replugged receiver is
    // read within 3 s; after noise only every 10 s, so that a wrong rate does not flood the log.
    static constexpr uint32_t kReopenPeriodMs = 2000;
    static constexpr uint32_t kNoiseReopenPeriodMs = 10000;

    CReceiverMonitor();
    virtual ~CReceiverMonitor(); // stops the reader thread if it still runs
    CReceiverMonitor(const CReceiverMonitor&) = delete;
    CReceiverMonitor& operator=(const CReceiverMonitor&) = delete;

    // Fills the folders (see Paths.h) and the settings from Zenithprobe.ini.
    void LoadSettings();
    // Opens m_serial on m_strComPort and sets it up at m_nBaudRate, 8N1; failures are shown.
    void InitSerial();

    // The multi-GNSS mode (MultiGnss.h): sets the parser's switch under g_csParser and, when the
    // mode changes, resets the decoded state; save also writes MULTI_GNSS to Zenithprobe.ini.
    // User-interface thread.
    void SetMultiGnss(bool on, bool save);
    bool MultiGnss() const { return m_nMultiGnss != 0; }

    // The RECEIVER key (ReceiverFamily.h), user-interface thread. Any value switches on frame
    // recognition in the receive path; save also writes the key to Zenithprobe.ini.
    void SetReceiver(const ReceiverSetting& setting, bool save);
    ReceiverSetting Receiver() const;
    // The family whose restart command follows the SONY and SiRF ones: the key's, or with auto
    // the one identified (None until then, and when none was). Any thread.
    ReceiverFamily RestartFamily() const;
    // Asks the reader to identify the receiver at its next pass (any thread); nothing happens
    // while the port is closed.
    void RequestIdentify();
    bool Identifying() const { return m_bIdentifyRequested.load() || m_bIdentifying.load(); }
    // The last identification's result; Identified() false before any (any thread).
    ReceiverIdentity Identity() const;
    // What the setup dialog's receiver line says (user-interface thread).
    ReceiverLineState ReceiverLine() const;
    // A line of the GN talker has arrived since the port was opened (any thread).
    bool GnTalkerSeen() const { return m_bGnSeen.load(); }

    // Starts the reader thread; false if it runs already or cannot be started.
    bool StartReaderThread();
    // Asks the reader thread to stop, wakes it from its pause and joins it. Idempotent.
    void StopReaderThread();
    bool IsReaderRunning() const { return m_bReaderRunning.load(); }
    // True from StopReaderThread's request until the next start (any thread).
    bool StopRequested() const { return m_bStopReader.load(); }

    // One pass of the receive path (reader thread).
    void ReceiveData();
    // Moves bytes into the line buffer; returns the bytes consumed up to and including the CR
    // that completed a line, or 0 (reader thread).
    int32_t AssembleLine(const char* data, int32_t count);

    // Replaces the reader's pause between passes (tests: no real waiting). pause(ms) returns when
    // the pause is over or a stop was requested. Call before StartReaderThread.
    void SetReaderPause(std::function<void(uint32_t ms)> pause);

    // What a campaign reports to the dialog.
    struct CampaignNotice {
        // Progress: a static run's elapsed seconds, about once a second.
        enum class What { RestartSent, RunFinished, Finished, Progress } what = What::RestartSent;
        int32_t kind = kStartNone;
        int32_t run = 0; // 1-based
        int32_t runs = 0;
        std::string text;                         // the progress line, or the summary table
        std::vector<std::filesystem::path> paths; // Finished: the record's files
        bool allPassed = false;                   // Finished
        int error = 0;                            // Finished: writing the record failed
        int64_t ttffMs = -1;                      // RunFinished: the run's TTFF, -1 none
        bool portLost = false;                    // Finished: a run lost its port
        bool fixesIgnored = false; // Finished: fixes only in sentences this mode ignores
        bool isStatic = false;     // a static run's notice
    };
    // Starts a campaign recorded in folder (user-interface thread). 0, EBUSY while one runs, or
    // the error number of the record's creation.
    int StartCampaign(CampaignSettings settings, const std::filesystem::path& folder);
    // Ends a running campaign and writes its record (user-interface thread, and the destructor);
    // the Finished notice comes before this returns. Nothing happens without a campaign.
    void StopCampaign();
    // Starts a static run recorded in folder (user-interface thread): every epoch for the
    // settings' duration, then its statistics and plot. 0, EBUSY while a campaign runs, or the
    // error number of the record's creation.
    int StartStaticCampaign(StaticSettings settings, const std::filesystem::path& folder);
    bool CampaignRunning() const { return m_bCampaign.load(); }
    // Tests: shorter reopen periods than the program's. Call before StartReaderThread.
    void SetReopenPeriods(uint32_t silenceMs, uint32_t noiseMs);

    // AUTO_REOPEN (any thread): reopen a port the receive path closed. Off by default: the port
    // then stays closed until the user acts in Setup.
    void SetAutoReopen(bool on) { m_bAutoReopen = on; }
    bool AutoReopen() const { return m_bAutoReopen.load(); }
    // The user-interface thread marks the port as the setup dialog's for its modal run: the
    // dialog closes and reopens it itself, and the reader must not reopen it meanwhile.
    void SetSetupOwnsPort(bool owns) { m_bSetupOwnsPort = owns; }
    // The port and rate a reopen uses (user-interface thread; InitSerial sets them).
    void SetReopenTarget(const std::string& port, int32_t baud);

    // Access for tests and the dialog's owner.
    CSharedSerial& Serial() { return m_serial; }
    int32_t GarbageCount() const { return m_receive.Garbage(); }

protected:
    // The last assembled sentence as UTF-8 text (bytes that are not UTF-8 replaced), on the
    // reader thread: hand it to the user-interface thread, touch no window here.
    virtual void ShowLine(std::string text) = 0;
    // An error message box (stop icon, OK button).
    virtual void ShowErrorMessage(const char* text) = 0;
    // A campaign's restart, finished run or end: hand it on, touch no window here.
    virtual void CampaignNotify(CampaignNotice) {}
    // The receive path has just closed the port; note (PortClosedText) replaces the last
    // sentence on screen until the next one. Reader thread, like ShowLine.
    virtual void ShowPortClosed(PortCloseReason reason, std::string note);
    // An identification has ended (reader thread): hand it on, touch no window here.
    virtual void IdentifyNotify(ReceiverIdentity) {}

    CSharedSerial m_serial;
    CNmeaParser m_parser; // guarded by g_csParser
    // The line being assembled (m_szLine, m_nLineLen) and m_nGarbageCount live here.
    CReceivePath m_receive{m_parser, &g_csParser, true};
    std::atomic<int32_t> m_bLog{0}; // 1 = logging on; read by the reader thread without a lock
    CNmeaLog m_fileLog;             // the reader writes each parsed line while m_bLog is nonzero

    // Settings, read once by LoadSettings.
    std::filesystem::path m_strAppDir;  // Zenithprobe.ini's folder, ends with '/'
    std::filesystem::path m_strDataDir; // the NMEA logs' folder, ends with '/'
    std::string m_strComPort;           // without the colon, e.g. "COM1"
    int32_t m_nBaudRate = 0;
    std::string m_strStartAct;
    int32_t m_nCriteriaCold = 0; // s
    int32_t m_nCriteriaWarm = 0; // s
    int32_t m_nCriteriaHot = 0;  // s
    int32_t m_nTestMode = 0;
    int32_t m_nMultiGnss = 0; // MULTI_GNSS: 0 GP talker only (the default), 1 every constellation
    std::string m_strReceiverError; // RECEIVER was not understood: why (then it counts as empty)

private:
    static void ReaderThreadProc(CReceiverMonitor* self);
    void HandleLine(const ReceivedLine& line);
    void HandleFrame(const ReceivedFrame& frame);
    // The reader's side of identification: starts a requested one, ticks a running one.
    void IdentifyPass();
    void ActIdentify(const IdentifyStep& step);
    void CampaignLine(const ReceivedLine& line);
    void CampaignTick();
    // The reader's pause during a campaign or an identification: until bytes arrive, a stop, or
    // ms; an identification is ticked every 100 ms meanwhile.
    void WaitForBytes(uint32_t ms);
    // Under m_campaignMutex: sends what step asks for and collects its notices; ends the
    // campaign when it is over.
    void ActLocked(const CampaignStep& step, std::vector<CampaignNotice>* notices);
    // The port went away (reader thread, after closing it): the run in progress is port-lost.
    void CampaignPortLost();
    void FinishLocked(std::vector<CampaignNotice>* notices);
    // Under m_campaignMutex: a progress notice when a second has passed; the end when it is over.
    void StaticStepLocked(CampaignTime now, std::vector<CampaignNotice>* notices);
    void ClosePort(PortCloseReason reason);
    void TryReopen();

    // Started by the user-interface thread; joined by whichever thread stops it (a stop may come
    // from another thread while the start is still storing it): m_threadMutex guards it.
    std::mutex m_threadMutex;
    std::thread m_readerThread;
    std::atomic<bool> m_bStopReader{false};
    std::atomic<bool> m_bReaderRunning{false};
    CEvent m_readerWake; // set to end a pause early
    std::function<void(uint32_t)> m_readerPause;

    std::mutex m_campaignMutex;
    std::unique_ptr<CCampaignSession> m_campaign; // guarded by m_campaignMutex
    std::unique_ptr<CStaticSession> m_static;     // guarded by m_campaignMutex
    uint32_t m_staticStartMs = 0;                 // guarded by m_campaignMutex
    uint32_t m_staticShownS = 0;                  // guarded by m_campaignMutex
    std::atomic<bool> m_bCampaign{false};         // a campaign runs (read without the lock)
    std::atomic<bool> m_bAutoReopen{false};
    std::atomic<bool> m_bSetupOwnsPort{false};
    std::mutex m_csTarget;       // guards m_strTargetPort and m_nTargetBaud
    std::string m_strTargetPort; // as COM_PORT, without the colon
    int32_t m_nTargetBaud = 0;
    uint32_t m_nReopenPeriodMs = kReopenPeriodMs;
    uint32_t m_nNoiseReopenPeriodMs = kNoiseReopenPeriodMs;
    // The reader thread's own: why and when it closed the port (m_bClosedByReader false: it did
    // not, or the port has been open since), and when the last sentence came (0: none yet).
    bool m_bClosedByReader = false;
    PortCloseReason m_closeReason = PortCloseReason::Silence;
    uint32_t m_dwLastAttemptMs = 0; // the close, then each reopen attempt
    bool m_bDeviceGone = false;     // AUTO_REOPEN: a read said the device is gone (EIO, hang-up)
    // Since the port was opened: a sentence or frame came (m_bInStep), and the one pass of grace
    // for a binary frame cut by the open is still to be had (m_bOpenGrace).
    bool m_bInStep = false;
    bool m_bOpenGrace = true;
    std::time_t m_lastLineTime = 0;

    std::atomic<ReceiverFamily> m_receiverFamily{ReceiverFamily::None}; // the key's family
    std::atomic<bool> m_bReceiverAuto{false};                           // RECEIVER=auto
    std::atomic<bool> m_bIdentifyRequested{false};
    std::atomic<bool> m_bIdentifying{false};
    std::atomic<bool> m_bGnSeen{false};
    CReceiverIdentifier m_identifier; // reader thread
    mutable std::mutex m_identityMutex;
    ReceiverIdentity m_identity; // guarded by m_identityMutex
    bool m_bIdentified = false;  // an identification has ended; guarded by m_identityMutex
};
