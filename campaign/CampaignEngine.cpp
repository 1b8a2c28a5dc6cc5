#include "CampaignEngine.h"

#include <cmath>
#include <cstring>
#include <utility>

namespace {

constexpr double kEarthRadiusM = 6371008.8; // mean radius
constexpr double kPi = 3.14159265358979323846;
constexpr int32_t kSecondsPerDay = 86400;

bool IsSentence(const ReceivedLine& line, const char* type) {
    // "$ttXXX,": the talker is any two characters (GP, GN, GL, ...).
    return line.parsed != 0 && line.length >= 7 && std::memcmp(line.text + 3, type, 3) == 0;
}

bool IsFix(uint8_t mode) {
    return mode == 2 || mode == 3;
}

GeoPosition PositionOf(const FixSample& s) {
    return GeoPosition{s.latDeg, s.lonDeg, s.altM, true};
}

} // namespace

uint32_t CampaignSettings::TimeoutFor(int32_t kind) const {
    if (timeoutS != 0) {
        return timeoutS;
    }
    const uint32_t criterion = kind >= 0 && kind < 4 ? criteriaS[kind] : 0;
    return criterion * 3 > 60 ? criterion * 3 : 60;
}

const char* RunOutcomeText(RunOutcome outcome) {
    switch (outcome) {
    case RunOutcome::Passed:
        return "passed";
    case RunOutcome::Failed:
        return "failed";
    case RunOutcome::Timeout:
        return "timeout";
    case RunOutcome::NoRestart:
        return "no-restart";
    case RunOutcome::Refused:
        return "refused";
    }
    return "";
}

FixSample SampleOf(const CNmeaParser& parser) {
    FixSample s;
    s.fixMode = parser.m_btGSAFixMode;
    s.hdop = parser.m_dGSAHdop;
    s.quality = parser.m_btGGAQuality;
    s.satellites = parser.m_btGGASatellites;
    s.latDeg = parser.m_dGGALatitude;
    s.lonDeg = parser.m_dGGALongitude;
    s.altM = parser.m_dGGAAltitude;
    if (parser.m_nGGACount > 0) {
        s.ggaSecondOfDay =
            parser.m_btGGAHour * 3600 + parser.m_btGGAMinute * 60 + parser.m_btGGASecond;
    }
    return s;
}

CCampaignEngine::CCampaignEngine(CampaignSettings settings) : m_settings(std::move(settings)) {
    if (m_settings.kinds.empty()) {
        m_settings.kinds.push_back(kStartCold);
    }
}

int32_t CCampaignEngine::CurrentKind() const {
    if (m_run <= 0) {
        return kStartNone;
    }
    return m_settings.kinds[static_cast<size_t>(m_run - 1) % m_settings.kinds.size()];
}

CampaignStep CCampaignEngine::Start(CampaignTime now) {
    if (m_state != State::Idle) {
        return {};
    }
    return BeginRun(now, {});
}

CampaignStep CCampaignEngine::Stop() {
    CampaignStep step;
    m_state = State::Done;
    step.done = true;
    return step;
}

CampaignStep CCampaignEngine::BeginRun(CampaignTime now, CampaignStep step) {
    if (m_run >= m_settings.Runs()) {
        m_state = State::Done;
        step.done = true;
        return step;
    }
    ++m_run;
    const int32_t kind = CurrentKind();
    m_current = RunRecord{};
    m_current.run = m_run;
    m_current.kind = kind;
    m_current.commandUtcMs = now.utcMs;
    m_current.criterionS = m_settings.criteriaS[kind];
    m_current.timing = m_settings.timing;
    m_current.receiver = ReceiverFamilyKey(m_settings.family);
    m_current.receiverId = m_settings.receiverId;
    m_current.port = m_settings.port;
    m_current.host = m_settings.host;
    m_commandMs = now.monoMs;
    m_lossSecondOfDay = -1;
    m_fixPositionPending = false;
    step.send = SonyRestartCommand(kind) + SirfRestartCommand(kind) +
                FamilyRestartCommand(m_settings.family, kind);
    step.sendKind = kind;
    m_state = State::WaitLoss;
    return step;
}

CampaignStep CCampaignEngine::EndRun(RunOutcome outcome, CampaignTime now) {
    m_current.outcome = outcome;
    m_records.push_back(m_current);
    CampaignStep step;
    step.finished = m_current;
    return BeginRun(now, std::move(step));
}

CampaignStep CCampaignEngine::Line(const ReceivedLine& line, const FixSample& sample,
                                   CampaignTime now) {
    if (m_state == State::Idle || m_state == State::Done) {
        return {};
    }
    m_last = sample;
    const uint32_t at = line.arrivalMs;
    if (m_settings.family != ReceiverFamily::None) {
        const RestartAnswer answer = RestartAnswerOfLine(m_settings.family, m_current.kind,
                                                         std::string_view(line.text, line.length));
        if (answer != RestartAnswer::None) {
            return Answer(answer, at, now);
        }
    }
    if (m_fixPositionPending && IsSentence(line, "GGA") && sample.quality > 0) {
        m_fixPositionPending = false;
        m_current.fix = PositionOf(sample);
        m_current.satellites = sample.satellites;
    }
    if (IsSentence(line, "GSA")) {
        switch (m_state) {
        case State::WaitLoss:
            if (sample.fixMode == 1) {
                m_lossMs = at;
                m_current.lossDelayMs = static_cast<uint32_t>(at - m_commandMs);
                m_lossSecondOfDay = sample.ggaSecondOfDay;
                m_state = State::WaitFix;
            }
            break;
        case State::WaitFix:
            if (IsFix(sample.fixMode)) {
                const uint32_t ttff = at - m_lossMs;
                m_current.ttffMs = ttff;
                m_current.ttffS = ttff / 1000u;
                m_current.outcome = m_current.ttffS <= m_current.criterionS ? RunOutcome::Passed
                                                                            : RunOutcome::Failed;
                m_current.hdop = sample.hdop;
                if (m_lossSecondOfDay >= 0 && sample.ggaSecondOfDay >= 0) {
                    m_current.receiverTtffS =
                        (sample.ggaSecondOfDay - m_lossSecondOfDay + kSecondsPerDay) %
                        kSecondsPerDay;
                }
                if (sample.quality > 0) {
                    m_current.fix = PositionOf(sample);
                    m_current.satellites = sample.satellites;
                } else {
                    m_fixPositionPending = true; // this epoch's GGA comes after its GSA
                }
                m_settleFromMs = at;
                m_state = State::Settle;
            }
            break;
        case State::Settle:
            if (!IsFix(sample.fixMode)) {
                ++m_current.settleLosses;
                m_state = State::Resettle;
            }
            break;
        case State::Resettle:
            if (IsFix(sample.fixMode)) {
                m_settleFromMs = at;
                m_state = State::Settle;
            }
            break;
        default:
            break;
        }
    }
    CampaignTime t = now;
    t.monoMs = at;
    return CheckLimits(t);
}

CampaignStep CCampaignEngine::Frame(const ReceivedFrame& frame, CampaignTime now) {
    if (m_state == State::Idle || m_state == State::Done) {
        return {};
    }
    const RestartAnswer answer = RestartAnswerOfFrame(m_settings.family, frame.data, frame.length);
    CampaignTime t = now;
    t.monoMs = frame.arrivalMs;
    return answer != RestartAnswer::None ? Answer(answer, frame.arrivalMs, t) : CheckLimits(t);
}

CampaignStep CCampaignEngine::Answer(RestartAnswer answer, uint32_t atMs, CampaignTime now) {
    CampaignTime t = now;
    t.monoMs = atMs;
    // An answer read before this run's command went out answers an earlier one.
    const uint32_t since = atMs - m_commandMs;
    if (since > 0x80000000u || m_current.ackMs >= 0) {
        return CheckLimits(t);
    }
    m_current.ackMs = since;
    if (answer == RestartAnswer::Refused &&
        (m_state == State::WaitLoss || m_state == State::WaitFix)) {
        return EndRun(RunOutcome::Refused, t);
    }
    return CheckLimits(t);
}

CampaignStep CCampaignEngine::Tick(CampaignTime now) {
    if (m_state == State::Idle || m_state == State::Done) {
        return {};
    }
    return CheckLimits(now);
}

CampaignStep CCampaignEngine::CheckLimits(CampaignTime now) {
    const uint64_t kind = static_cast<uint64_t>(m_current.kind);
    switch (m_state) {
    case State::WaitLoss:
        if (now.monoMs - m_commandMs >= m_settings.lossLimitS * 1000ull) {
            return EndRun(RunOutcome::NoRestart, now);
        }
        break;
    case State::WaitFix:
        if (now.monoMs - m_lossMs >= m_settings.TimeoutFor(static_cast<int32_t>(kind)) * 1000ull) {
            return EndRun(RunOutcome::Timeout, now);
        }
        break;
    case State::Settle:
        if (now.monoMs - m_settleFromMs >= m_settings.settleS * 1000ull) {
            if (m_last.quality > 0) {
                m_current.settled = PositionOf(m_last);
            }
            return EndRun(m_current.outcome, now);
        }
        break;
    case State::Resettle:
        // A fix that does not come back within a time-out ends the wait; the run keeps its TTFF.
        if (now.monoMs - m_settleFromMs >=
            m_settings.TimeoutFor(static_cast<int32_t>(kind)) * 1000ull) {
            return EndRun(m_current.outcome, now);
        }
        break;
    default:
        break;
    }
    return {};
}

double HorizontalDistanceM(const GeoPosition& a, const GeoPosition& b) {
    const double rad = kPi / 180.0;
    double dLon = a.lonDeg - b.lonDeg;
    if (dLon > 180) {
        dLon -= 360;
    } else if (dLon < -180) {
        dLon += 360;
    }
    const double north = (a.latDeg - b.latDeg) * rad * kEarthRadiusM;
    const double east = dLon * rad * kEarthRadiusM * std::cos((a.latDeg + b.latDeg) * 0.5 * rad);
    return std::hypot(north, east);
}

bool CCampaignEngine::FillPositionErrors(std::vector<RunRecord>* records) const {
    GeoPosition reference;
    if (m_settings.reference) {
        reference = *m_settings.reference;
    } else {
        // The mean of where the receiver settled: errors then measure scatter, not accuracy.
        double lat = 0, lon = 0, alt = 0;
        int n = 0;
        for (const RunRecord& r : *records) {
            if (r.settled) {
                lat += r.settled->latDeg;
                lon += r.settled->lonDeg;
                alt += r.settled->altM;
                ++n;
            }
        }
        if (n == 0) {
            return false;
        }
        reference = GeoPosition{lat / n, lon / n, alt / n, true};
    }
    for (RunRecord& r : *records) {
        if (r.fix) {
            r.horizontalErrorM = HorizontalDistanceM(*r.fix, reference);
            if (reference.hasAlt && r.fix->hasAlt) {
                r.verticalErrorM = r.fix->altM - reference.altM;
            }
        }
    }
    return true;
}
