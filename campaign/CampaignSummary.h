#pragma once
// The statistics of a campaign per restart kind, from its run records.
//
// Percentiles interpolate linearly between the closest ranks (p of n sorted values sits at rank
// p x (n - 1)), so the median of an even count is the mean of the middle two. The standard
// deviation is the sample one (n - 1). TTFF figures take the runs with a fix (passed and
// failed); CEP50 and CEP95 are the median and 95th percentile of the first fixes' horizontal
// errors.
//
// Threads: pure functions; any thread may call them.
#include "CampaignEngine.h"

#include <optional>
#include <vector>

struct TtffStats {
    double minMs = 0;
    double meanMs = 0;
    double medianMs = 0;
    double p90Ms = 0;
    double p95Ms = 0;
    double maxMs = 0;
    double stddevMs = 0; // 0 for one run
};

struct KindSummary {
    int32_t kind = kStartNone;
    int32_t runs = 0;
    int32_t passed = 0;
    int32_t failed = 0;
    int32_t timeouts = 0;
    int32_t noRestarts = 0;
    int32_t refused = 0; // the receiver answered the restart with a refusal
    double passRate = 0; // passed / runs, 0 to 1
    std::optional<TtffStats> ttff;
    std::optional<double> cep50M;
    std::optional<double> cep95M;
};

// p in [0, 1]; values need not be sorted. 0 for no values.
double Percentile(std::vector<double> values, double p);

// One summary per kind of kinds (in that order), from the records of that kind.
std::vector<KindSummary> Summarize(const std::vector<RunRecord>& records,
                                   const std::vector<int32_t>& kinds);
