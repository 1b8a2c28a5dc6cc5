#include "CampaignFiles.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <ctime>

namespace fs = std::filesystem;

namespace {

enum FileIndex { kCsv = 0, kRaw = 1, kJson = 2, kSvg = 3 };

// Fixed-point text with '.', never the locale's separator.
std::string Fixed(double value, int digits) {
    char buffer[64];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, digits);
    return std::string(buffer, result.ptr);
}

double Seconds(int64_t ms) {
    return static_cast<double>(ms) / 1000.0;
}

std::string JsonString(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", u);
            out += escape;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string Optional(const std::optional<double>& value, int digits) {
    return value ? Fixed(*value, digits) : "";
}

bool UtcDate(int64_t utcMs, std::tm* out) {
    const std::time_t seconds = static_cast<std::time_t>(utcMs / 1000);
    return gmtime_r(&seconds, out) != nullptr;
}

const char* OutcomeColour(RunOutcome outcome) {
    switch (outcome) {
    case RunOutcome::Passed:
        return "#2e9e44";
    case RunOutcome::Failed:
        return "#d62728";
    case RunOutcome::Timeout:
        return "#ff8c00";
    case RunOutcome::NoRestart:
        return "#7f7f7f";
    }
    return "#000000";
}

const char* KindColour(int32_t kind) {
    switch (kind) {
    case kStartCold:
        return "#1f5fbf";
    case kStartWarm:
        return "#b8860b";
    default:
        return "#8e44ad";
    }
}

// A round step for n ticks over [0, top].
double TickStep(double top) {
    const double raw = top / 6;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (double m : {1.0, 2.0, 5.0}) {
        if (m * power >= raw) {
            return m * power;
        }
    }
    return 10 * power;
}

} // namespace

std::string IsoUtc(int64_t utcMs) {
    std::tm t{};
    if (!UtcDate(utcMs, &t)) {
        return "";
    }
    char text[80]; // the widest ints the format allows, not just real dates
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", t.tm_year + 1900,
                  t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec,
                  static_cast<int>(((utcMs % 1000) + 1000) % 1000));
    return text;
}

std::string CsvHeader() {
    return "run,kind,command_utc,verdict,loss_delay_ms,ttff_ms,ttff_s,criterion_s,"
           "receiver_ttff_s,satellites,hdop,fix_lat,fix_lon,fix_alt_m,horizontal_error_m,"
           "vertical_error_m,settle_losses,timing,cn0_top4_dbhz\r\n";
}

std::string CsvRow(const RunRecord& r) {
    const bool hasFix = r.ttffMs >= 0;
    std::string row = std::to_string(r.run) + "," + StartKindText(r.kind) + "," +
                      IsoUtc(r.commandUtcMs) + "," + RunOutcomeText(r.outcome) + ",";
    row += (r.lossDelayMs >= 0 ? std::to_string(r.lossDelayMs) : "") + ",";
    row += (hasFix ? std::to_string(r.ttffMs) : "") + ",";
    row += (hasFix ? std::to_string(r.ttffS) : "") + ",";
    row += std::to_string(r.criterionS) + ",";
    row += (r.receiverTtffS >= 0 ? std::to_string(r.receiverTtffS) : "") + ",";
    row += (r.satellites >= 0 ? std::to_string(r.satellites) : "") + ",";
    row += (r.hdop >= 0 && hasFix ? Fixed(r.hdop, 1) : "") + ",";
    row += (r.fix ? Fixed(r.fix->latDeg, 7) : "") + ",";
    row += (r.fix ? Fixed(r.fix->lonDeg, 7) : "") + ",";
    row += (r.fix ? Fixed(r.fix->altM, 1) : "") + ",";
    row += Optional(r.horizontalErrorM, 2) + "," + Optional(r.verticalErrorM, 2) + ",";
    row += std::to_string(r.settleLosses) + "," + r.timing + ",";
    row += Optional(r.cn0Top4DbHz, 2) + "\r\n";
    return row;
}

std::string CampaignJson(const CampaignSettings& settings,
                         const std::vector<std::pair<std::string, std::string>>& extra,
                         const std::vector<KindSummary>& summary,
                         const std::vector<fs::path>& files) {
    std::string j = "{\n  \"settings\": {\n    \"kinds\": [";
    for (size_t i = 0; i < settings.kinds.size(); ++i) {
        j += (i ? ", " : "") + JsonString(StartKindText(settings.kinds[i]));
    }
    j += "],\n    \"cycles\": " + std::to_string(settings.cycles) +
         ",\n    \"runs\": " + std::to_string(settings.Runs()) + ",\n    \"criteria_s\": {";
    j += "\"cold\": " + std::to_string(settings.criteriaS[kStartCold]) +
         ", \"warm\": " + std::to_string(settings.criteriaS[kStartWarm]) +
         ", \"hot\": " + std::to_string(settings.criteriaS[kStartHot]) + "},\n";
    j += "    \"timeout_s\": {\"cold\": " + std::to_string(settings.TimeoutFor(kStartCold)) +
         ", \"warm\": " + std::to_string(settings.TimeoutFor(kStartWarm)) +
         ", \"hot\": " + std::to_string(settings.TimeoutFor(kStartHot)) + "},\n";
    j += "    \"loss_limit_s\": " + std::to_string(settings.lossLimitS) +
         ",\n    \"settle_s\": " + std::to_string(settings.settleS) + ",\n";
    if (settings.reference) {
        j += "    \"reference\": {\"lat\": " + Fixed(settings.reference->latDeg, 7) +
             ", \"lon\": " + Fixed(settings.reference->lonDeg, 7);
        if (settings.reference->hasAlt) {
            j += ", \"alt_m\": " + Fixed(settings.reference->altM, 2);
        }
        j += "},\n";
    } else {
        j += "    \"reference\": \"mean of the settled positions\",\n";
    }
    j += "    \"timing\": " + JsonString(settings.timing);
    for (const auto& [key, value] : extra) {
        j += ",\n    " + JsonString(key) + ": " + JsonString(value);
    }
    j += "\n  },\n  \"summary\": [";
    for (size_t i = 0; i < summary.size(); ++i) {
        const KindSummary& s = summary[i];
        j += i ? ",\n" : "\n";
        j += "    {\"kind\": " + JsonString(StartKindText(s.kind)) +
             ", \"runs\": " + std::to_string(s.runs) + ", \"passed\": " + std::to_string(s.passed) +
             ", \"failed\": " + std::to_string(s.failed) +
             ", \"timeouts\": " + std::to_string(s.timeouts) +
             ", \"no_restarts\": " + std::to_string(s.noRestarts) +
             ", \"pass_rate\": " + Fixed(s.passRate, 4);
        if (s.ttff) {
            const TtffStats& t = *s.ttff;
            j += ",\n     \"ttff_ms\": {\"min\": " + Fixed(t.minMs, 1) +
                 ", \"mean\": " + Fixed(t.meanMs, 1) + ", \"median\": " + Fixed(t.medianMs, 1) +
                 ", \"p90\": " + Fixed(t.p90Ms, 1) + ", \"p95\": " + Fixed(t.p95Ms, 1) +
                 ", \"max\": " + Fixed(t.maxMs, 1) + ", \"stddev\": " + Fixed(t.stddevMs, 1) + "}";
        } else {
            j += ",\n     \"ttff_ms\": null";
        }
        j += ",\n     \"cep50_m\": " + (s.cep50M ? Fixed(*s.cep50M, 2) : "null") +
             ", \"cep95_m\": " + (s.cep95M ? Fixed(*s.cep95M, 2) : "null") + "}";
    }
    j += "\n  ],\n  \"files\": [";
    for (size_t i = 0; i < files.size(); ++i) {
        j += (i ? ", " : "") + JsonString(files[i].filename().string());
    }
    return j + "]\n}\n";
}

std::string CampaignSvg(const CampaignSettings& settings, const std::vector<RunRecord>& records,
                        const std::vector<KindSummary>& summary) {
    // Two panels: TTFF per run above, the cumulative distribution per kind below.
    constexpr double kLeft = 70, kRight = 780;
    constexpr double kTop1 = 50, kBottom1 = 290, kTop2 = 360, kBottom2 = 600;
    std::string s = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                    "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"800\" height=\"660\" "
                    "viewBox=\"0 0 800 660\" font-family=\"sans-serif\" font-size=\"12\">\n"
                    "<rect width=\"800\" height=\"660\" fill=\"white\"/>\n";
    // The run panel's scale covers every TTFF and every criterion; the distribution's only the
    // TTFFs, so that short ones are not squeezed against the axis by a far criterion.
    double topS = 1;
    double top2S = 0.1;
    for (const RunRecord& r : records) {
        topS = std::max(topS, r.ttffMs >= 0 ? Seconds(r.ttffMs) : 0.0);
        top2S = std::max(top2S, r.ttffMs >= 0 ? Seconds(r.ttffMs) : 0.0);
        topS = std::max(topS, static_cast<double>(r.criterionS));
    }
    const double step = TickStep(topS * 1.1);
    topS = std::ceil(topS * 1.1 / step) * step;
    const double step2 = TickStep(top2S * 1.1);
    top2S = std::ceil(top2S * 1.1 / step2) * step2;
    const int runs = std::max(settings.Runs(), static_cast<int>(records.size()));
    auto x1 = [&](double run) {
        return kLeft + (kRight - kLeft) * (run - 0.5) / std::max(runs, 1);
    };
    auto y1 = [&](double sec) {
        return kBottom1 - (kBottom1 - kTop1) * std::min(sec, topS) / topS;
    };
    auto x2 = [&](double sec) { return kLeft + (kRight - kLeft) * std::min(sec, top2S) / top2S; };
    auto y2 = [&](double share) { return kBottom2 - (kBottom2 - kTop2) * share; };
    auto f = [](double v) { return Fixed(v, 1); };

    s += "<text x=\"400\" y=\"24\" text-anchor=\"middle\" font-size=\"16\">TTFF per run</text>\n";
    s += "<text x=\"400\" y=\"340\" text-anchor=\"middle\" font-size=\"16\">"
         "Cumulative distribution of TTFF</text>\n";
    // Axes and grid of both panels: seconds up the first, across the second.
    for (double v = 0; v <= topS + 1e-9; v += step) {
        s += "<line x1=\"" + f(kLeft) + "\" y1=\"" + f(y1(v)) + "\" x2=\"" + f(kRight) +
             "\" y2=\"" + f(y1(v)) + "\" stroke=\"#e0e0e0\"/>\n";
        s += "<text x=\"" + f(kLeft - 6) + "\" y=\"" + f(y1(v) + 4) + "\" text-anchor=\"end\">" +
             Fixed(v, step < 1 ? 1 : 0) + "</text>\n";
    }
    for (double v = 0; v <= top2S + 1e-9; v += step2) {
        s += "<line x1=\"" + f(x2(v)) + "\" y1=\"" + f(kTop2) + "\" x2=\"" + f(x2(v)) + "\" y2=\"" +
             f(kBottom2) + "\" stroke=\"#e0e0e0\"/>\n";
        s += "<text x=\"" + f(x2(v)) + "\" y=\"" + f(kBottom2 + 16) + "\" text-anchor=\"middle\">" +
             Fixed(v, step2 < 1 ? 1 : 0) + "</text>\n";
    }
    for (int q = 0; q <= 4; ++q) {
        const double share = q / 4.0;
        s += "<line x1=\"" + f(kLeft) + "\" y1=\"" + f(y2(share)) + "\" x2=\"" + f(kRight) +
             "\" y2=\"" + f(y2(share)) + "\" stroke=\"#e0e0e0\"/>\n";
        s += "<text x=\"" + f(kLeft - 6) + "\" y=\"" + f(y2(share) + 4) +
             "\" text-anchor=\"end\">" + std::to_string(q * 25) + "%</text>\n";
    }
    s += "<text x=\"16\" y=\"170\" transform=\"rotate(-90 16 170)\" text-anchor=\"middle\">"
         "TTFF (s)</text>\n";
    s += "<text x=\"400\" y=\"315\" text-anchor=\"middle\">run</text>\n";
    s += "<text x=\"400\" y=\"635\" text-anchor=\"middle\">TTFF (s)</text>\n";
    s += "<rect x=\"" + f(kLeft) + "\" y=\"" + f(kTop1) + "\" width=\"" + f(kRight - kLeft) +
         "\" height=\"" + f(kBottom1 - kTop1) + "\" fill=\"none\" stroke=\"black\"/>\n";
    s += "<rect x=\"" + f(kLeft) + "\" y=\"" + f(kTop2) + "\" width=\"" + f(kRight - kLeft) +
         "\" height=\"" + f(kBottom2 - kTop2) + "\" fill=\"none\" stroke=\"black\"/>\n";
    // Criterion lines, one per kind in the campaign.
    for (const KindSummary& k : summary) {
        const double c = settings.criteriaS[k.kind];
        s += "<line class=\"criterion\" x1=\"" + f(kLeft) + "\" y1=\"" + f(y1(c)) + "\" x2=\"" +
             f(kRight) + "\" y2=\"" + f(y1(c)) + "\" stroke=\"" + KindColour(k.kind) +
             "\" stroke-dasharray=\"6 4\"/>\n";
        s += "<text x=\"" + f(kRight - 4) + "\" y=\"" + f(y1(c) - 4) + "\" text-anchor=\"end\" " +
             "fill=\"" + KindColour(k.kind) + "\">" + StartKindText(k.kind) + " criterion " +
             std::to_string(static_cast<int>(c)) + " s</text>\n";
    }
    // One mark per run: a dot at its TTFF, a triangle at the top for a time-out, a cross on the
    // axis for a receiver that did not restart.
    for (const RunRecord& r : records) {
        const double x = x1(r.run);
        const std::string title = "<title>run " + std::to_string(r.run) + " " +
                                  StartKindText(r.kind) + ": " + RunOutcomeText(r.outcome) +
                                  (r.ttffMs >= 0 ? " " + Fixed(Seconds(r.ttffMs), 3) + " s" : "") +
                                  "</title>";
        const char* colour = OutcomeColour(r.outcome);
        if (r.ttffMs >= 0) {
            s += "<circle class=\"run\" cx=\"" + f(x) + "\" cy=\"" + f(y1(Seconds(r.ttffMs))) +
                 "\" r=\"4\" fill=\"" + colour + "\">" + title + "</circle>\n";
        } else if (r.outcome == RunOutcome::Timeout) {
            const double y = kTop1 + 2;
            s += "<path class=\"run\" d=\"M" + f(x - 5) + " " + f(y + 8) + " L" + f(x) + " " +
                 f(y) + " L" + f(x + 5) + " " + f(y + 8) + " Z\" fill=\"" + colour + "\">" + title +
                 "</path>\n";
        } else {
            const double y = kBottom1 - 6;
            s += "<path class=\"run\" d=\"M" + f(x - 4) + " " + f(y - 4) + " L" + f(x + 4) + " " +
                 f(y + 4) + " M" + f(x - 4) + " " + f(y + 4) + " L" + f(x + 4) + " " + f(y - 4) +
                 "\" stroke=\"" + colour + "\" stroke-width=\"2\">" + title + "</path>\n";
        }
    }
    // Cumulative distribution per kind: share of that kind's runs with a fix by t (time-outs and
    // missing restarts keep the curve below 100%).
    int legend = 0;
    for (const KindSummary& k : summary) {
        std::vector<double> ttff;
        for (const RunRecord& r : records) {
            if (r.kind == k.kind && r.ttffMs >= 0) {
                ttff.push_back(Seconds(r.ttffMs));
            }
        }
        std::sort(ttff.begin(), ttff.end());
        std::string points = f(x2(0)) + "," + f(y2(0));
        for (size_t i = 0; i < ttff.size(); ++i) {
            const double before = k.runs > 0 ? static_cast<double>(i) / k.runs : 0;
            const double after = k.runs > 0 ? static_cast<double>(i + 1) / k.runs : 0;
            points += " " + f(x2(ttff[i])) + "," + f(y2(before)) + " " + f(x2(ttff[i])) + "," +
                      f(y2(after));
        }
        const double last = k.runs > 0 ? static_cast<double>(ttff.size()) / k.runs : 0;
        points += " " + f(x2(top2S)) + "," + f(y2(last));
        s += "<polyline class=\"cdf\" fill=\"none\" stroke=\"" + std::string(KindColour(k.kind)) +
             "\" stroke-width=\"2\" points=\"" + points + "\"/>\n";
        const double ly = kTop2 + 18 + 16 * legend++;
        s += "<line x1=\"" + f(kRight - 120) + "\" y1=\"" + f(ly - 4) + "\" x2=\"" +
             f(kRight - 100) + "\" y2=\"" + f(ly - 4) + "\" stroke=\"" + KindColour(k.kind) +
             "\" stroke-width=\"2\"/>\n<text x=\"" + f(kRight - 94) + "\" y=\"" + f(ly) + "\">" +
             StartKindText(k.kind) + " (" + std::to_string(k.runs) + " runs)</text>\n";
    }
    // Legend of the verdict colours.
    double lx = kLeft;
    for (RunOutcome o :
         {RunOutcome::Passed, RunOutcome::Failed, RunOutcome::Timeout, RunOutcome::NoRestart}) {
        s += "<circle cx=\"" + f(lx + 5) + "\" cy=\"38\" r=\"4\" fill=\"" + OutcomeColour(o) +
             "\"/><text x=\"" + f(lx + 13) + "\" y=\"42\">" + RunOutcomeText(o) + "</text>\n";
        lx += 100;
    }
    return s + "</svg>\n";
}

int CCampaignFiles::Create(const fs::path& folder, int64_t utcMs) {
    std::tm t{};
    if (!UtcDate(utcMs, &t)) {
        return EINVAL;
    }
    int sequence = 0;
    const int error = CreateNumberedFiles(
        folder,
        [&](int n) {
            char base[64];
            std::snprintf(base, sizeof base, "campaign_%4d%02d%02d_%d", t.tm_year + 1900,
                          t.tm_mon + 1, t.tm_mday, n);
            const std::string b = base;
            return std::vector<std::string>{b + ".csv", b + ".nmea", b + ".json", b + ".svg"};
        },
        &m_files, &m_paths, &sequence);
    if (error != 0) {
        return error;
    }
    m_open = true;
    const std::string header = CsvHeader();
    m_files[kCsv].Write(header.data(), header.size());
    m_error = m_files[kCsv].Flush();
    return m_error;
}

void CCampaignFiles::WriteRaw(std::string_view line) {
    if (m_open) {
        m_files[kRaw].Write(line.data(), line.size());
    }
}

void CCampaignFiles::WriteRun(const RunRecord& record) {
    if (!m_open) {
        return;
    }
    const std::string row = CsvRow(record);
    int error = m_files[kCsv].Write(row.data(), row.size());
    error = error != 0 ? error : m_files[kCsv].Flush();
    const int rawError = m_files[kRaw].Flush();
    if (m_error == 0) {
        m_error = error != 0 ? error : rawError;
    }
}

int CCampaignFiles::Finish(const CampaignSettings& settings,
                           const std::vector<std::pair<std::string, std::string>>& extra,
                           const std::vector<RunRecord>& records, bool rewriteCsv) {
    if (!m_open) {
        return EBADF;
    }
    auto keep = [this](int error) {
        if (m_error == 0) {
            m_error = error;
        }
    };
    if (rewriteCsv && m_files[kCsv].Truncate() == 0) {
        std::string csv = CsvHeader();
        for (const RunRecord& r : records) {
            csv += CsvRow(r);
        }
        keep(m_files[kCsv].Write(csv.data(), csv.size()));
    }
    const std::vector<KindSummary> summary = Summarize(records, settings.kinds);
    const std::string json = CampaignJson(settings, extra, summary, m_paths);
    keep(m_files[kJson].Write(json.data(), json.size()));
    const std::string svg = CampaignSvg(settings, records, summary);
    keep(m_files[kSvg].Write(svg.data(), svg.size()));
    for (CLogFile& file : m_files) {
        keep(file.Close());
    }
    m_open = false;
    return m_error;
}
