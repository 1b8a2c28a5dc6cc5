#include "CampaignEngine.h"

#include "Geodesy.h"
#include "StaticSession.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

namespace {

constexpr int32_t kSecondsPerDay = 86400;
constexpr int64_t kMsPerDay = 86400000;
// GSA lines the parser ignored, with none decoded, before the campaign gives up: a GN receiver
// sends one per constellation, so this is two or three epochs.
constexpr int32_t kIgnoredGsaLimit = 5;

// later - earlier of two wrapping ticks; negative when later is in fact earlier.
int64_t Since(uint32_t later, uint32_t earlier) {
    return static_cast<int32_t>(later - earlier);
}

bool IsSentence(const ReceivedLine& line, const char* type) {
    // "$ttXXX,": the talker is any two characters (GP, GN, GL, ...).
    return line.parsed != 0 && line.length >= 7 && std::memcmp(line.text + 3, type, 3) == 0;
}

bool IsFix(uint8_t mode) {
    return mode == 2 || mode == 3;
}

GeoPosition PositionOf(const FixSample& s) {
    return GeoPosition{s.latDeg, s.lonDeg, s.altM, true, s.geoidM};
}

// Above the ellipsoid; a reference's altitude is above sea level like the GGA's, so it takes
// the geoid separation of the fix it is compared with.
Geodetic EllipsoidalOf(const GeoPosition& p, double geoidM) {
    return Geodetic{p.latDeg, p.lonDeg, EllipsoidalHeightM(p.altM, geoidM)};
}

} // namespace

uint32_t CampaignSettings::TimeoutFor(int32_t kind) const {
    if (timeoutS != 0) {
        return timeoutS;
    }
    const uint64_t criterion = kind >= 0 && kind < 4 ? criteriaS[kind] : 0;
    const uint64_t timeout = criterion * 3 > 60 ? criterion * 3 : 60;
    return static_cast<uint32_t>(timeout > 3ull * kMaxCriterionS ? 3ull * kMaxCriterionS : timeout);
}

int64_t CampaignSettings::HardEndMs(int32_t kind) const {
    return (static_cast<int64_t>(TimeoutFor(kind)) + settleS + lossLimitS) * 1000;
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
    case RunOutcome::PortLost:
        return "port-lost";
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
    if (parser.m_nGGACount > 0 && parser.m_bGGATimeValid) {
        s.ggaSecondOfDay =
            parser.m_btGGAHour * 3600 + parser.m_btGGAMinute * 60 + parser.m_btGGASecond;
        s.ggaMsOfDay = s.ggaSecondOfDay * 1000 + parser.m_wGGAMillisecond % 1000;
    }
    s.gsaCount = parser.m_nGSACount;
    s.geoidM = parser.m_bGGAHasGeoid ? parser.m_dGGAGeoidSeparation : 0;
    s.cn0Top4DbHz = Cn0Top4DbHz(parser);
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
    m_state = State::WaitInitial;
    m_waitFromMs = now.monoMs;
    return {};
}

CampaignStep CCampaignEngine::PortLost(CampaignTime now, bool waitForPort) {
    CampaignStep step;
    switch (m_state) {
    case State::WaitLoss:
    case State::WaitFix:
    case State::Settle:
    case State::Resettle:
        m_current.outcome = RunOutcome::PortLost; // a TTFF already taken stays in the row
        m_records.push_back(m_current);
        step.finished = m_current;
        break;
    case State::Idle:
    case State::Done:
        return step;
    default:
        break;
    }
    if (waitForPort && m_run < m_settings.Runs()) {
        m_state = State::PortWait;
    } else {
        m_state = State::Done;
        step.done = true;
    }
    (void)now;
    return step;
}

CampaignStep CCampaignEngine::PortBack(CampaignTime now) {
    if (m_state == State::PortWait) {
        m_state = State::WaitInitial;
        m_waitFromMs = now.monoMs;
        m_ignoredGsa = 0;
    }
    return {};
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
    m_lossMsOfDay = -1;
    m_fixPositionPending = false;
    m_cn0Pending = false;
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
    if (m_state == State::Idle || m_state == State::Done || m_state == State::PortWait) {
        return {};
    }
    const uint32_t at = line.arrivalMs;
    // A GSA counts only when the parser decoded it in its current mode (its count went up).
    const bool isGsa = IsSentence(line, "GSA");
    const bool decodedGsa = isGsa && m_gsaCount >= 0 && sample.gsaCount != m_gsaCount;
    m_gsaCount = sample.gsaCount;
    if (m_state == State::WaitInitial) {
        if (Since(at, m_waitFromMs) < 0) {
            return {};
        }
        if (decodedGsa) {
            m_decodedGsa = true;
            if (IsFix(sample.fixMode)) {
                m_initialWaitMs = std::max<int64_t>(0, Since(at, m_waitFromMs));
                CampaignTime t = now;
                t.monoMs = at;
                return BeginRun(t, {});
            }
        } else if (isGsa && !m_decodedGsa && ++m_ignoredGsa >= kIgnoredGsaLimit) {
            m_fixesIgnored = true;
            return Stop();
        }
        return {};
    }
    // Lines from before the command tell the state the command was meant to end.
    if (Since(at, m_commandMs) <= 0) {
        return {};
    }
    m_last = sample;
    if (m_settings.family != ReceiverFamily::None) {
        const RestartAnswer answer = RestartAnswerOfLine(m_settings.family, m_current.kind,
                                                         std::string_view(line.text, line.length));
        if (answer != RestartAnswer::None) {
            return Answer(answer, at, now);
        }
    }
    if (m_cn0Pending && IsSentence(line, "GGA")) {
        m_cn0Pending = false;
        if (sample.cn0Top4DbHz >= 0) {
            m_current.cn0Top4DbHz = sample.cn0Top4DbHz;
        }
    }
    if (m_fixPositionPending && IsSentence(line, "GGA") && sample.quality > 0) {
        m_fixPositionPending = false;
        m_current.fix = PositionOf(sample);
        m_current.satellites = sample.satellites;
    }
    if (decodedGsa) {
        switch (m_state) {
        case State::WaitLoss:
            if (sample.fixMode == 1) {
                m_lossMs = at;
                m_current.lossDelayMs = Since(at, m_commandMs);
                m_lossSecondOfDay = sample.ggaSecondOfDay;
                m_lossMsOfDay = sample.ggaMsOfDay;
                m_state = State::WaitFix;
            }
            break;
        case State::WaitFix:
            if (IsFix(sample.fixMode) && Since(at, m_lossMs) >= 0) {
                const int64_t ttff = Since(at, m_lossMs);
                m_current.ttffMs = ttff;
                m_current.ttffS = static_cast<uint32_t>(ttff / 1000);
                m_current.outcome = m_current.ttffS <= m_current.criterionS ? RunOutcome::Passed
                                                                            : RunOutcome::Failed;
                m_current.hdop = sample.hdop;
                if (sample.cn0Top4DbHz >= 0) {
                    m_current.cn0Top4DbHz = sample.cn0Top4DbHz;
                }
                m_cn0Pending = true;
                // The receiver's clock: valid at both epochs, or the run has no such figure.
                if (m_lossMsOfDay >= 0 && sample.ggaMsOfDay >= 0) {
                    m_current.receiverTtffS =
                        (sample.ggaSecondOfDay - m_lossSecondOfDay + kSecondsPerDay) %
                        kSecondsPerDay;
                    m_current.receiverTtffMs =
                        (sample.ggaMsOfDay - m_lossMsOfDay + kMsPerDay) % kMsPerDay;
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
    if (m_state == State::Idle || m_state == State::Done || m_state == State::PortWait) {
        return {};
    }
    if (m_state == State::WaitInitial) {
        // No fix within the first kind's time-out: the runs start anyway.
        if (Since(now.monoMs, m_waitFromMs) >=
            static_cast<int64_t>(m_settings.TimeoutFor(m_settings.kinds[0])) * 1000) {
            m_initialWaitMs = Since(now.monoMs, m_waitFromMs);
            return BeginRun(now, {});
        }
        return {};
    }
    return CheckLimits(now);
}

CampaignStep CCampaignEngine::CheckLimits(CampaignTime now) {
    const int32_t kind = m_current.kind;
    const int64_t timeoutMs = static_cast<int64_t>(m_settings.TimeoutFor(kind)) * 1000;
    const bool hardEnd = Since(now.monoMs, m_commandMs) >= m_settings.HardEndMs(kind);
    switch (m_state) {
    case State::WaitLoss:
        if (Since(now.monoMs, m_commandMs) >= static_cast<int64_t>(m_settings.lossLimitS) * 1000) {
            return EndRun(RunOutcome::NoRestart, now);
        }
        break;
    case State::WaitFix:
        if (Since(now.monoMs, m_lossMs) >= timeoutMs || hardEnd) {
            return EndRun(RunOutcome::Timeout, now);
        }
        break;
    case State::Settle:
        if (Since(now.monoMs, m_settleFromMs) >= static_cast<int64_t>(m_settings.settleS) * 1000 ||
            hardEnd) {
            if (m_last.quality > 0) {
                m_current.settled = PositionOf(m_last);
            }
            return EndRun(m_current.outcome, now);
        }
        break;
    case State::Resettle:
        // A fix that does not come back within a time-out ends the wait; the run keeps its TTFF.
        if (Since(now.monoMs, m_settleFromMs) >= timeoutMs || hardEnd) {
            return EndRun(m_current.outcome, now);
        }
        break;
    default:
        break;
    }
    return {};
}

double HorizontalDistanceM(const GeoPosition& a, const GeoPosition& b) {
    const Enu o = EnuOf(EllipsoidalOf(b, b.geoidM), EllipsoidalOf(a, b.geoidM));
    return std::hypot(o.east, o.north);
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
            // Without a reference altitude the reference sits at the fix's height, so the
            // horizontal error is measured on the fix's own level.
            const GeoPosition& fix = *r.fix;
            const Geodetic point = EllipsoidalOf(fix, fix.geoidM);
            const Geodetic origin{reference.latDeg, reference.lonDeg,
                                  reference.hasAlt ? EllipsoidalHeightM(reference.altM, fix.geoidM)
                                                   : point.heightM};
            const Enu o = EnuOf(origin, point);
            r.horizontalErrorM = std::hypot(o.east, o.north);
            if (reference.hasAlt && fix.hasAlt) {
                r.verticalErrorM = o.up;
            }
        }
    }
    return true;
}
