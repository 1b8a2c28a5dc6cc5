#include "CampaignSummary.h"

#include <algorithm>
#include <cmath>

double Percentile(std::vector<double> values, double p) {
    if (values.empty()) {
        return 0;
    }
    std::sort(values.begin(), values.end());
    const double rank = std::clamp(p, 0.0, 1.0) * static_cast<double>(values.size() - 1);
    const size_t low = static_cast<size_t>(std::floor(rank));
    const size_t high = std::min(low + 1, values.size() - 1);
    return values[low] + (values[high] - values[low]) * (rank - static_cast<double>(low));
}

std::vector<KindSummary> Summarize(const std::vector<RunRecord>& records,
                                   const std::vector<int32_t>& kinds) {
    std::vector<KindSummary> out;
    for (int32_t kind : kinds) {
        if (std::any_of(out.begin(), out.end(),
                        [&](const KindSummary& s) { return s.kind == kind; })) {
            continue; // a kind named twice in the sequence is summarised once
        }
        KindSummary s;
        s.kind = kind;
        std::vector<double> ttff;
        std::vector<double> errors;
        for (const RunRecord& r : records) {
            if (r.kind != kind) {
                continue;
            }
            ++s.runs;
            switch (r.outcome) {
            case RunOutcome::Passed:
                ++s.passed;
                break;
            case RunOutcome::Failed:
                ++s.failed;
                break;
            case RunOutcome::Timeout:
                ++s.timeouts;
                break;
            case RunOutcome::NoRestart:
                ++s.noRestarts;
                break;
            case RunOutcome::Refused:
                ++s.refused;
                break;
            }
            if (r.ttffMs >= 0) {
                ttff.push_back(static_cast<double>(r.ttffMs));
            }
            if (r.horizontalErrorM) {
                errors.push_back(*r.horizontalErrorM);
            }
        }
        s.passRate = s.runs > 0 ? static_cast<double>(s.passed) / s.runs : 0;
        if (!ttff.empty()) {
            TtffStats t;
            t.minMs = *std::min_element(ttff.begin(), ttff.end());
            t.maxMs = *std::max_element(ttff.begin(), ttff.end());
            double sum = 0;
            for (double v : ttff) {
                sum += v;
            }
            t.meanMs = sum / static_cast<double>(ttff.size());
            if (ttff.size() > 1) {
                double squares = 0;
                for (double v : ttff) {
                    squares += (v - t.meanMs) * (v - t.meanMs);
                }
                t.stddevMs = std::sqrt(squares / static_cast<double>(ttff.size() - 1));
            }
            t.medianMs = Percentile(ttff, 0.5);
            t.p90Ms = Percentile(ttff, 0.9);
            t.p95Ms = Percentile(ttff, 0.95);
            s.ttff = t;
        }
        if (!errors.empty()) {
            s.cep50M = Percentile(errors, 0.5);
            s.cep95M = Percentile(errors, 0.95);
        }
        out.push_back(s);
    }
    return out;
}
