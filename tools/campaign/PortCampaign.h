#pragma once
// CPortCampaign: one receiver's campaign on one port, as zenithprobe-campaign runs it: it owns
// the port, the receive path (with its parser), the campaign session and its record files. It
// never waits: an outer loop polls Fd() (several campaigns' descriptors at once, for a rack),
// calls Readable() when it is readable and Tick() at least every 100 ms, until Done(); then
// Finish() writes the rest of the record and gives the campaign's exit status.
//
// Arrival times are taken in Readable(), as soon as the read returns; everything else takes the
// time it is given.
//
// Threads: one owner thread calls everything (the command's loop); no lock, no thread of its
// own. The callbacks run on that thread, inside the calls.
#include "CampaignSession.h"
#include "FrameCapture.h"
#include "ReceivePath.h"
#include "ReceiverIdentify.h"
#include "Serial.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

struct PortCampaignConfig {
    std::string port = "COM1"; // ports folder entry or device path
    int32_t baud = 4800;
    bool multiGnss = false;     // the parser decodes GN and the other talkers
    bool reconnect = false;     // a port that goes away is reopened; else the campaign ends
    uint64_t maxDurationMs = 0; // the whole campaign at most; 0: no limit
    std::filesystem::path folder;
    bool privateFiles = false; // record files 0600 (the per-user data folder)
    CampaignSettings settings; // settings.family: the receiver's family; None: SONY and SiRF only
    // Identify the receiver first (RECEIVER=auto) and use the family found; with identifyOnly
    // the campaign ends there, 0 identified, 1 not.
    bool identify = false;
    bool identifyOnly = false;
    // --keep-frames: every sentence and frame as received, in a .bin beside the record.
    bool keepFrames = false;
    std::vector<std::pair<std::string, std::string>> extra; // further JSON settings
    // A finished run's progress line, and notices and errors (without the command's name or a
    // line end). Empty: dropped. onIdentity gets "family: identity" or "not identified".
    std::function<void(const std::string&)> onProgress;
    std::function<void(const std::string&)> onIdentity;
    std::function<void(const std::string&)> onMessage;
};

class CPortCampaign {
public:
    explicit CPortCampaign(PortCampaignConfig config);
    ~CPortCampaign();
    CPortCampaign(const CPortCampaign&) = delete;
    CPortCampaign& operator=(const CPortCampaign&) = delete;

    // Opens the port, then identifies the receiver (when asked) or creates the record and sends
    // the first commands. 0, or 2 when the port or the record cannot be made or the settings are
    // refused (onMessage says why).
    int Begin(CampaignTime now);
    // The descriptor to poll for reading; -1 while the port is closed (waiting to reopen).
    int Fd() const { return m_port.Descriptor(); }
    // How many times the port was opened: a reopen may reuse the old descriptor's number, and a
    // waiter that keeps a set of descriptors must register the new one all the same.
    uint32_t Opens() const { return m_opens; }
    // The descriptor is readable (or hung up): one read, its lines to the campaign.
    void Readable();
    // Limits, the campaign's duration and the reopen of a lost port.
    void Tick(CampaignTime now);
    // Ends early (a signal): the run in progress is not recorded; why goes to onMessage.
    void Stop(const std::string& why);
    bool Done() const { return m_done; }
    // The record was made: false before it, and when the port failed while identifying.
    bool Begun() const { return m_begun; }
    // Writes the rest of the record and closes the port. The exit status: 0 every run passed,
    // 1 a run did not pass (port-lost included), the campaign was cut short or a record write
    // failed, 2 the campaign could not start (see Begin) or the receiver's fixes come only in
    // sentences the parser's mode ignores. Idempotent.
    int Finish();

    const CCampaignSession& Session() const { return m_session; }
    const PortCampaignConfig& Config() const { return m_config; }
    // The --keep-frames capture; empty without one.
    std::filesystem::path CapturePath() const { return m_capture.Path(); }

private:
    void Act(const CampaignStep& step);
    void ActIdentify(const IdentifyStep& step, CampaignTime now);
    void FailWhileIdentifying();
    int StartSession(CampaignTime now);
    void Message(const std::string& text) const;
    bool OpenPort(bool report);
    void LosePort(CampaignTime now);

    PortCampaignConfig m_config;
    CSerial m_port;
    CNmeaParser m_parser;
    std::unique_ptr<CReceivePath> m_path;
    CCampaignSession m_session;
    std::unique_ptr<CReceiverIdentifier> m_identifier; // while identifying
    CFrameCapture m_capture;
    int m_captureError = 0;
    bool m_begun = false;
    bool m_done = false;
    bool m_cut = false;            // ended before its last run (stop, port gone, duration)
    bool m_ignored = false;        // ended before the first run: fixes in ignored sentences
    bool m_writeErrorTold = false; // the first failed record write was reported
    int m_status = -1;             // Finish's result once known
    uint32_t m_beginMs = 0;
    uint32_t m_reopenFromMs = 0; // the last reopen attempt
    uint32_t m_opens = 0;
};

// Milliseconds since 1970 by the wall clock.
int64_t UtcNowMs();
