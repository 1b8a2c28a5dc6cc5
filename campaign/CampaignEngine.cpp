#include "CampaignEngine.h"

#include "Geodesy.h"
#include "StaticSession.h"

#include <cmath>
#include <cstring>
#include <utility>

namespace {

constexpr int32_t kSecondsPerDay = 86400;

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
    m_commandMs = now.monoMs;
    m_lossSecondOfDay = -1;
    m_fixPositionPending = false;
    m_cn0Pending = false;
    step.send = SonyRestartCommand(kind) + SirfRestartCommand(kind);
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
                if (sample.cn0Top4DbHz >= 0) {
                    m_current.cn0Top4DbHz = sample.cn0Top4DbHz;
                }
                m_cn0Pending = true;
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
