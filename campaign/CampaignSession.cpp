#include "CampaignSession.h"

#include "IniFile.h"

#include <cstdio>
#include <sstream>

namespace fs = std::filesystem;

namespace {
constexpr const char* kSection = "Zenithprobe";
constexpr int kValueSize = 100;
} // namespace

CampaignDefaults LoadCampaignDefaults(const fs::path& iniFile) {
    // The same keys and defaults as the main dialog's settings, so both agree.
    CampaignDefaults d;
    char value[kValueSize];
    IniReadString(kSection, "COM_PORT", "COM1", value, kValueSize, iniFile);
    d.port = value;
    d.baud = IniReadInt(kSection, "BAUD_RATE", 4800, iniFile);
    d.criteriaS[kStartCold] =
        static_cast<uint32_t>(IniReadInt(kSection, "TIME_CRITERIA_C", 50, iniFile));
    d.criteriaS[kStartWarm] =
        static_cast<uint32_t>(IniReadInt(kSection, "TIME_CRITERIA_W", 35, iniFile));
    d.criteriaS[kStartHot] =
        static_cast<uint32_t>(IniReadInt(kSection, "TIME_CRITERIA_H", 2, iniFile));
    d.multiGnss = IniReadInt(kSection, "MULTI_GNSS", 0, iniFile) != 0;
    IniReadString(kSection, "RECEIVER", "", value, kValueSize, iniFile);
    d.receiver = value;
    return d;
}

bool ParseKindList(const std::string& text, std::vector<int32_t>* kinds) {
    kinds->clear();
    if (text == "all") {
        *kinds = {kStartCold, kStartWarm, kStartHot};
        return true;
    }
    std::stringstream in(text);
    std::string word;
    while (std::getline(in, word, ',')) {
        int32_t kind = kStartNone;
        for (int32_t k : {kStartCold, kStartWarm, kStartHot}) {
            if (word == StartKindText(k)) {
                kind = k;
            }
        }
        if (kind == kStartNone) {
            return false;
        }
        kinds->push_back(kind);
    }
    return !kinds->empty() && text.back() != ',';
}

std::string ProgressText(const RunRecord& r, int32_t runs) {
    char text[160];
    const int n =
        std::snprintf(text, sizeof text, "run %d/%d %s: ", r.run, runs, StartKindText(r.kind));
    std::string out(text, static_cast<size_t>(n > 0 ? n : 0));
    if (r.ttffMs >= 0) {
        const bool passed = r.outcome == RunOutcome::Passed;
        std::snprintf(text, sizeof text, "TTFF %lld.%03lld s (%u s %s %u s) %s",
                      static_cast<long long>(r.ttffMs / 1000),
                      static_cast<long long>(r.ttffMs % 1000), r.ttffS, passed ? "\u2264" : ">",
                      r.criterionS, RunOutcomeText(r.outcome));
        out += text;
        if (r.settleLosses > 0) {
            std::snprintf(text, sizeof text, ", fix lost %d times while settling", r.settleLosses);
            out += text;
        }
    } else if (r.outcome == RunOutcome::Timeout) {
        out += "no fix within the time-out: timeout";
    } else if (r.outcome == RunOutcome::Refused) {
        out += "the receiver refused the restart: refused";
    } else {
        out += "the receiver did not lose its fix: no-restart";
    }
    return out;
}

std::string SummaryText(const std::vector<KindSummary>& summary) {
    // Only receivers that answer restarts can refuse one: the column appears when one did.
    bool refusals = false;
    for (const KindSummary& s : summary) {
        refusals = refusals || s.refused > 0;
    }
    std::string out = "kind  runs  passed  failed  timeout  no-restart  median s  p95 s   max s";
    out += refusals ? "  refused\n" : "\n";
    for (const KindSummary& s : summary) {
        char line[200];
        if (s.ttff) {
            std::snprintf(line, sizeof line, "%-4s  %4d  %6d  %6d  %7d  %10d  %8.3f  %5.3f  %6.3f",
                          StartKindText(s.kind), s.runs, s.passed, s.failed, s.timeouts,
                          s.noRestarts, s.ttff->medianMs / 1000, s.ttff->p95Ms / 1000,
                          s.ttff->maxMs / 1000);
        } else {
            std::snprintf(line, sizeof line, "%-4s  %4d  %6d  %6d  %7d  %10d  %8s  %5s  %6s",
                          StartKindText(s.kind), s.runs, s.passed, s.failed, s.timeouts,
                          s.noRestarts, "-", "-", "-");
        }
        out += line;
        if (refusals) {
            std::snprintf(line, sizeof line, "  %7d", s.refused);
            out += line;
        }
        out += "\n";
    }
    return out;
}

int CCampaignSession::Begin(const CampaignSettings& settings, const fs::path& folder,
                            std::vector<std::pair<std::string, std::string>> extra,
                            CampaignTime now, CampaignStep* step) {
    if (const int error = m_files.Create(folder, now.utcMs); error != 0) {
        return error;
    }
    m_engine = CCampaignEngine(settings);
    m_extra = std::move(extra);
    m_started = true;
    *step = m_engine.Start(now);
    Handle(*step);
    return 0;
}

void CCampaignSession::Handle(const CampaignStep& step) {
    if (step.finished) {
        std::vector<RunRecord> one{*step.finished};
        if (m_engine.Settings().reference) {
            m_engine.FillPositionErrors(&one); // final now: the reference does not move
        }
        m_records.push_back(one[0]);
        m_files.WriteRun(one[0]);
    }
}

CampaignStep CCampaignSession::Line(const ReceivedLine& line, const FixSample& sample,
                                    CampaignTime now) {
    if (!Running()) {
        return {};
    }
    m_files.WriteRaw(std::string_view(line.text, line.length));
    CampaignStep step = m_engine.Line(line, sample, now);
    Handle(step);
    return step;
}

CampaignStep CCampaignSession::Frame(const ReceivedFrame& frame, CampaignTime now) {
    if (!Running()) {
        return {};
    }
    CampaignStep step = m_engine.Frame(frame, now);
    Handle(step);
    return step;
}

CampaignStep CCampaignSession::Tick(CampaignTime now) {
    if (!Running()) {
        return {};
    }
    CampaignStep step = m_engine.Tick(now);
    Handle(step);
    return step;
}

void CCampaignSession::Stop() {
    if (Running()) {
        m_engine.Stop();
    }
}

int CCampaignSession::Finish() {
    if (!m_started || m_finished) {
        return 0;
    }
    m_finished = true;
    Stop();
    // With a given reference the rows went out final; against the mean of the settled
    // positions the errors are known only now, so the CSV is written once more with them.
    const bool rewrite = !m_engine.Settings().reference && m_engine.FillPositionErrors(&m_records);
    return m_files.Finish(m_engine.Settings(), m_extra, m_records, rewrite);
}

bool CCampaignSession::AllPassed() const {
    for (const RunRecord& r : m_records) {
        if (r.outcome != RunOutcome::Passed) {
            return false;
        }
    }
    return !m_records.empty() &&
           static_cast<int32_t>(m_records.size()) == m_engine.Settings().Runs();
}
