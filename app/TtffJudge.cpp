#include "TtffJudge.h"

#include <cctype>

int32_t StartKindFromAction(const std::string& action) {
    for (int32_t kind : {kStartCold, kStartWarm, kStartHot}) {
        const std::string word = StartKindWord(kind);
        if (word.size() != action.size()) {
            continue;
        }
        bool same = true;
        for (size_t i = 0; i < word.size() && same; ++i) {
            same = std::tolower(static_cast<unsigned char>(word[i])) ==
                   std::tolower(static_cast<unsigned char>(action[i]));
        }
        if (same) {
            return kind;
        }
    }
    return kStartNone;
}

uint32_t TimeCriterion(int32_t kind, int32_t cold, int32_t warm, int32_t hot) {
    switch (kind) {
    case kStartCold:
        return static_cast<uint32_t>(cold);
    case kStartWarm:
        return static_cast<uint32_t>(warm);
    case kStartHot:
        return static_cast<uint32_t>(hot);
    default:
        return 0;
    }
}

uint32_t TtffSeconds(uint32_t nowTick, uint32_t startTick) {
    return (nowTick - startTick) / 1000u;
}

TtffOutcome TtffTick(TtffState* state, uint32_t s, uint32_t criterion) {
    TtffOutcome out;
    if (state->done != 0) {
        return out;
    }
    if (state->result != kResultFailed && s > criterion) {
        state->result = kResultFailed;
        out.showIndicator = true;
    }
    return out;
}

TtffOutcome TtffStop(TtffState* state, uint32_t s, uint32_t criterion) {
    TtffOutcome out;
    state->done = 1;
    if (state->result != kResultPassed && s <= criterion) {
        state->result = kResultPassed;
        out.showIndicator = true;
    } else if (state->result == kResultPending && s > criterion) {
        state->result = kResultFailed;
        out.showIndicator = true;
        out.writeSeconds = true;
    }
    return out;
}
