#include "RackCompare.h"

#include "CampaignFiles.h"
#include "CampaignSummary.h"
#include "LogFile.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <map>
#include <set>
#include <tuple>

namespace fs = std::filesystem;

namespace {

// Cells of one CSV line (CR LF already cut); quoted cells may hold commas and doubled quotes.
std::vector<std::string> CsvCells(std::string_view line) {
    std::vector<std::string> cells(1);
    bool quoted = false;
    for (size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted) {
            if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
                cells.back() += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                cells.back() += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            cells.emplace_back();
        } else {
            cells.back() += c;
        }
    }
    return cells;
}

std::string CsvCell(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) {
        return text;
    }
    std::string out = "\"";
    for (char c : text) {
        out += c == '"' ? std::string("\"\"") : std::string(1, c);
    }
    return out + "\"";
}

bool ParseInt(const std::string& text, int64_t* value) {
    const auto r = std::from_chars(text.data(), text.data() + text.size(), *value);
    return r.ec == std::errc() && r.ptr == text.data() + text.size();
}

bool ParseDouble(const std::string& text, double* value) {
    const auto r = std::from_chars(text.data(), text.data() + text.size(), *value);
    return r.ec == std::errc() && r.ptr == text.data() + text.size() && std::isfinite(*value);
}

// A text value of the campaign JSON's settings ("port": "COM3"); empty when it has none.
std::string JsonSetting(const std::string& json, const std::string& key) {
    const std::string head = "\"" + key + "\": \"";
    const size_t at = json.find(head);
    if (at == std::string::npos) {
        return "";
    }
    std::string value;
    for (size_t i = at + head.size(); i < json.size() && json[i] != '"'; ++i) {
        if (json[i] == '\\' && i + 1 < json.size()) {
            ++i;
        }
        value += json[i];
    }
    return value;
}

int KindRank(const std::string& kind) {
    return kind == "cold" ? 0 : kind == "warm" ? 1 : kind == "hot" ? 2 : 3;
}

std::string Opt(const std::optional<double>& v, int digits) {
    return v ? DecimalText(*v, digits) : "";
}

std::string JsonOpt(const std::optional<double>& v, int digits) {
    return v ? DecimalText(*v, digits) : "null";
}

// What a receiver is called in the plot and the table: the port, with its host when the rows
// come from more than one machine.
bool SeveralHosts(const std::vector<CompareRow>& rows) {
    std::set<std::string> hosts;
    for (const CompareRow& r : rows) {
        hosts.insert(r.host);
    }
    return hosts.size() > 1;
}

std::string Label(const CompareRow& r, bool withHost) {
    return withHost ? r.host + ":" + r.port : r.port;
}

std::string XmlText(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '&':
            out += "&amp;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

constexpr const char* kPalette[12] = {"#1f77b4", "#ff7f0e", "#2ca02c", "#d62728",
                                      "#9467bd", "#8c564b", "#e377c2", "#7f7f7f",
                                      "#bcbd22", "#17becf", "#393b79", "#637939"};
constexpr size_t kMaxCurves = 12;

} // namespace

Interval WilsonInterval(int32_t passed, int32_t runs, double z) {
    const double n = runs;
    const double p = static_cast<double>(passed) / n;
    const double z2 = z * z;
    const double denominator = 1 + z2 / n;
    const double centre = (p + z2 / (2 * n)) / denominator;
    const double half = z / denominator * std::sqrt(p * (1 - p) / n + z2 / (4 * n * n));
    return {std::max(0.0, centre - half), std::min(1.0, centre + half)};
}

std::optional<Interval> MedianInterval(const std::vector<double>& sorted) {
    // The interval [x(j), x(n+1-j)] misses the median with probability 2 P(B <= j-1), B the
    // number of values below it ~ Binomial(n, 1/2); take the largest j that keeps it <= 5 %.
    const size_t n = sorted.size();
    const double logHalfN = static_cast<double>(n) * std::log(0.5);
    const double lgN = std::lgamma(static_cast<double>(n) + 1);
    double cdf = 0;
    size_t j = 0;
    for (size_t i = 0; i < n; ++i) {
        cdf += std::exp(lgN - std::lgamma(static_cast<double>(i) + 1) -
                        std::lgamma(static_cast<double>(n - i) + 1) + logHalfN);
        if (cdf > 0.025 + 1e-12) {
            break;
        }
        j = i + 1;
    }
    if (j == 0) {
        return std::nullopt;
    }
    return Interval{sorted[j - 1], sorted[n - j]};
}

std::vector<fs::path> FindCampaignRecords(const fs::path& folder) {
    std::vector<fs::path> found;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (it->is_regular_file(ec) && name.starts_with("campaign_") && name.ends_with(".csv")) {
            found.push_back(it->path());
        }
    }
    std::sort(found.begin(), found.end());
    return found;
}

bool ReadCampaignRecord(const fs::path& csv, std::vector<ComparedRun>* runs, std::string* error) {
    std::error_code ec;
    std::string text;
    if (std::FILE* f = std::fopen(csv.c_str(), "rb")) {
        char buffer[8192];
        size_t n = 0;
        while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) {
            text.append(buffer, n);
        }
        const bool failed = std::ferror(f) != 0;
        std::fclose(f);
        if (failed) {
            *error = csv.string() + ": read failed";
            return false;
        }
    } else {
        *error = csv.string() + ": cannot be opened";
        return false;
    }
    // Settings the rows of older records lack, from the JSON beside them.
    std::string json;
    fs::path jsonPath = csv;
    jsonPath.replace_extension(".json");
    if (std::FILE* f = std::fopen(jsonPath.c_str(), "rb")) {
        char buffer[8192];
        size_t n = 0;
        while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) {
            json.append(buffer, n);
        }
        std::fclose(f);
    }
    auto setting = [&](const char* key, std::string fallback) {
        const std::string value = JsonSetting(json, key);
        return value.empty() ? fallback : value;
    };
    const std::string host = setting("host", "");
    const std::string port = setting("port", csv.parent_path().filename().string());
    const std::string receiver = setting("receiver", "");
    const std::string receiverId = setting("receiver_id", "");

    std::map<std::string, size_t> column;
    size_t lineNo = 0;
    std::vector<ComparedRun> read;
    for (size_t pos = 0; pos < text.size();) {
        size_t end = text.find('\n', pos);
        const bool whole = end != std::string::npos;
        end = whole ? end : text.size();
        std::string_view line(text.data() + pos, end - pos);
        pos = end + 1;
        ++lineNo;
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        if (line.empty()) {
            continue;
        }
        const std::vector<std::string> cells = CsvCells(line);
        if (lineNo == 1) {
            for (size_t i = 0; i < cells.size(); ++i) {
                column[cells[i]] = i;
            }
            if (column.count("kind") == 0 || column.count("verdict") == 0) {
                *error = csv.string() + ": no kind and verdict columns";
                return false;
            }
            continue;
        }
        if (!whole) {
            break; // the row a killed campaign was writing
        }
        auto cell = [&](const char* name) -> std::string {
            const auto it = column.find(name);
            return it != column.end() && it->second < cells.size() ? cells[it->second] : "";
        };
        auto bad = [&](const char* name) {
            *error =
                csv.string() + ":" + std::to_string(lineNo) + ": bad " + name + " " + cell(name);
            return false;
        };
        ComparedRun run;
        run.host = cell("host").empty() ? host : cell("host");
        run.port = cell("port").empty() ? port : cell("port");
        run.receiver = cell("receiver").empty() ? receiver : cell("receiver");
        run.receiverId = cell("receiver_id").empty() ? receiverId : cell("receiver_id");
        run.kind = cell("kind");
        run.verdict = cell("verdict");
        if (const std::string t = cell("ttff_ms"); !t.empty()) {
            int64_t ms = 0;
            if (!ParseInt(t, &ms) || ms < 0) {
                return bad("ttff_ms");
            }
            run.ttffMs = ms;
        }
        const std::string lat = cell("fix_lat");
        const std::string lon = cell("fix_lon");
        if (!lat.empty() || !lon.empty()) {
            GeoPosition p;
            if (!ParseDouble(lat, &p.latDeg) || std::fabs(p.latDeg) > 90) {
                return bad("fix_lat");
            }
            if (!ParseDouble(lon, &p.lonDeg) || std::fabs(p.lonDeg) > 180) {
                return bad("fix_lon");
            }
            run.fix = p;
        }
        read.push_back(std::move(run));
    }
    runs->insert(runs->end(), read.begin(), read.end());
    return true;
}

std::vector<CompareRow> CompareRuns(const std::vector<ComparedRun>& runs,
                                    const std::optional<GeoPosition>& reference) {
    std::map<std::tuple<std::string, std::string, std::string>, CompareRow> groups;
    std::map<std::tuple<std::string, std::string, std::string>, std::vector<double>> errors;
    for (const ComparedRun& run : runs) {
        const auto key = std::make_tuple(run.host, run.port, run.kind);
        CompareRow& row = groups[key];
        row.host = run.host;
        row.port = run.port;
        row.kind = run.kind;
        // The latest record names the receiver (one replaced on the same port).
        row.receiver = run.receiver.empty() ? row.receiver : run.receiver;
        row.receiverId = run.receiverId.empty() ? row.receiverId : run.receiverId;
        ++row.runs;
        const std::string& v = run.verdict;
        row.passed += v == "passed";
        row.failed += v == "failed";
        row.timeouts += v == "timeout";
        row.noRestarts += v == "no-restart";
        row.refused += v == "refused";
        row.portLost += v == "port-lost";
        // A lost port's run may have seen its fix: the campaign's summary leaves it out, and so
        // does the comparison, or their medians would differ.
        if (run.ttffMs && v != "port-lost") {
            row.ttffMs.push_back(static_cast<double>(*run.ttffMs));
            if (reference && run.fix) {
                errors[key].push_back(HorizontalDistanceM(*run.fix, *reference));
            }
        }
    }
    std::vector<CompareRow> rows;
    for (auto& [key, row] : groups) {
        row.passRate = static_cast<double>(row.passed) / row.runs;
        row.passRate95 = WilsonInterval(row.passed, row.runs);
        std::sort(row.ttffMs.begin(), row.ttffMs.end());
        if (!row.ttffMs.empty()) {
            row.minMs = row.ttffMs.front();
            row.maxMs = row.ttffMs.back();
            row.medianMs = Percentile(row.ttffMs, 0.5);
            row.p95Ms = Percentile(row.ttffMs, 0.95);
            row.median95Ms = MedianInterval(row.ttffMs);
        }
        if (const auto it = errors.find(key); it != errors.end()) {
            row.cep50M = Percentile(it->second, 0.5);
        }
        rows.push_back(std::move(row));
    }
    std::sort(rows.begin(), rows.end(), [](const CompareRow& a, const CompareRow& b) {
        const double inf = HUGE_VAL;
        return std::make_tuple(KindRank(a.kind), a.kind, a.medianMs.value_or(inf), a.host, a.port) <
               std::make_tuple(KindRank(b.kind), b.kind, b.medianMs.value_or(inf), b.host, b.port);
    });
    return rows;
}

std::string CompareCsv(const std::vector<CompareRow>& rows) {
    std::string s = "host,port,receiver,receiver_id,kind,runs,passed,failed,timeouts,no_restarts,"
                    "refused,port_lost,pass_rate,pass_rate_low,pass_rate_high,ttff_min_ms,"
                    "ttff_median_ms,ttff_median_low_ms,ttff_median_high_ms,ttff_p95_ms,"
                    "ttff_max_ms,cep50_m\r\n";
    for (const CompareRow& r : rows) {
        s += CsvCell(r.host) + "," + CsvCell(r.port) + "," + CsvCell(r.receiver) + "," +
             CsvCell(r.receiverId) + "," + CsvCell(r.kind);
        for (int32_t n :
             {r.runs, r.passed, r.failed, r.timeouts, r.noRestarts, r.refused, r.portLost}) {
            s += "," + std::to_string(n);
        }
        s += "," + DecimalText(r.passRate, 4) + "," +
             (r.passRate95 ? DecimalText(r.passRate95->low, 4) : "") + "," +
             (r.passRate95 ? DecimalText(r.passRate95->high, 4) : "");
        s += "," + Opt(r.minMs, 1) + "," + Opt(r.medianMs, 1) + "," +
             (r.median95Ms ? DecimalText(r.median95Ms->low, 1) : "") + "," +
             (r.median95Ms ? DecimalText(r.median95Ms->high, 1) : "") + "," + Opt(r.p95Ms, 1) +
             "," + Opt(r.maxMs, 1) + "," + Opt(r.cep50M, 2) + "\r\n";
    }
    return s;
}

std::string CompareJson(const std::vector<CompareRow>& rows,
                        const std::optional<GeoPosition>& reference,
                        const std::vector<fs::path>& sources) {
    std::string j = "{\n  \"reference\": ";
    if (reference) {
        j += "{\"lat\": " + DecimalText(reference->latDeg, 7) +
             ", \"lon\": " + DecimalText(reference->lonDeg, 7) + "}";
    } else {
        j += "null";
    }
    j += ",\n  \"sources\": [";
    for (size_t i = 0; i < sources.size(); ++i) {
        j += (i ? ",\n    " : "\n    ") + JsonQuoted(sources[i].string());
    }
    j += sources.empty() ? "],\n  \"rows\": [" : "\n  ],\n  \"rows\": [";
    for (size_t i = 0; i < rows.size(); ++i) {
        const CompareRow& r = rows[i];
        j += i ? ",\n" : "\n";
        j += "    {\"host\": " + JsonQuoted(r.host) + ", \"port\": " + JsonQuoted(r.port) +
             ", \"receiver\": " + JsonQuoted(r.receiver) +
             ", \"receiver_id\": " + JsonQuoted(r.receiverId) + ", \"kind\": " + JsonQuoted(r.kind);
        j += ",\n     \"runs\": " + std::to_string(r.runs) +
             ", \"passed\": " + std::to_string(r.passed) +
             ", \"failed\": " + std::to_string(r.failed) +
             ", \"timeouts\": " + std::to_string(r.timeouts) +
             ", \"no_restarts\": " + std::to_string(r.noRestarts) +
             ", \"refused\": " + std::to_string(r.refused) +
             ", \"port_lost\": " + std::to_string(r.portLost);
        j += ",\n     \"pass_rate\": " + DecimalText(r.passRate, 4) + ", \"pass_rate_95\": " +
             (r.passRate95 ? "[" + DecimalText(r.passRate95->low, 4) + ", " +
                                 DecimalText(r.passRate95->high, 4) + "]"
                           : "null");
        j += ",\n     \"ttff_ms\": ";
        if (r.medianMs) {
            j += "{\"min\": " + JsonOpt(r.minMs, 1) + ", \"median\": " + JsonOpt(r.medianMs, 1) +
                 ", \"median_95\": " +
                 (r.median95Ms ? "[" + DecimalText(r.median95Ms->low, 1) + ", " +
                                     DecimalText(r.median95Ms->high, 1) + "]"
                               : "null") +
                 ", \"p95\": " + JsonOpt(r.p95Ms, 1) + ", \"max\": " + JsonOpt(r.maxMs, 1) + "}";
        } else {
            j += "null";
        }
        j += ", \"cep50_m\": " + JsonOpt(r.cep50M, 2) + "}";
    }
    return j + "\n  ]\n}\n";
}

std::string CompareSvg(const std::vector<CompareRow>& rows) {
    // One panel per kind, all on one seconds scale so that the kinds compare too.
    std::vector<std::string> kinds;
    for (const CompareRow& r : rows) {
        if (std::find(kinds.begin(), kinds.end(), r.kind) == kinds.end()) {
            kinds.push_back(r.kind);
        }
    }
    constexpr double kLeft = 70, kRight = 700, kPanel = 230, kGap = 70, kTop = 50;
    const double height =
        kTop + static_cast<double>(std::max<size_t>(kinds.size(), 1)) * (kPanel + kGap);
    double topS = 0.1;
    for (const CompareRow& r : rows) {
        topS = std::max(topS, r.maxMs.value_or(0) / 1000);
    }
    const double step = PlotTickStep(topS * 1.1);
    topS = std::ceil(topS * 1.1 / step) * step;
    auto f = [](double v) { return DecimalText(v, 1); };
    auto x = [&](double sec) { return kLeft + (kRight - kLeft) * std::min(sec, topS) / topS; };
    std::string h = DecimalText(height, 0);
    std::string s = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                    "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"960\" height=\"" +
                    h + "\" viewBox=\"0 0 960 " + h +
                    "\" font-family=\"sans-serif\" font-size=\"12\">\n"
                    "<rect width=\"960\" height=\"" +
                    h + "\" fill=\"white\"/>\n";
    s += "<text x=\"480\" y=\"24\" text-anchor=\"middle\" font-size=\"16\">"
         "Cumulative distribution of TTFF per receiver</text>\n";
    const bool withHost = SeveralHosts(rows);
    for (size_t k = 0; k < kinds.size(); ++k) {
        const double top = kTop + static_cast<double>(k) * (kPanel + kGap);
        const double bottom = top + kPanel;
        auto y = [&](double share) { return bottom - kPanel * share; };
        // The curves of this kind: per receiver, or per receiver_id when there are too many.
        struct Curve {
            std::string label;
            std::vector<double> ttffS;
            int32_t runs = 0;
        };
        std::vector<Curve> curves;
        std::vector<const CompareRow*> members;
        for (const CompareRow& r : rows) {
            if (r.kind == kinds[k]) {
                members.push_back(&r);
            }
        }
        const bool grouped = members.size() > kMaxCurves;
        for (const CompareRow* r : members) {
            const std::string label =
                grouped ? (r->receiverId.empty() ? "(no receiver id)" : r->receiverId)
                        : Label(*r, withHost);
            auto it = std::find_if(curves.begin(), curves.end(),
                                   [&](const Curve& c) { return grouped && c.label == label; });
            if (it == curves.end()) {
                curves.push_back({label, {}, 0});
                it = curves.end() - 1;
            }
            for (double ms : r->ttffMs) {
                it->ttffS.push_back(ms / 1000);
            }
            it->runs += r->runs;
        }
        s += "<text x=\"" + f(kLeft) + "\" y=\"" + f(top - 8) + "\" font-size=\"14\">" +
             XmlText(kinds[k]) + (grouped ? " (by receiver id)" : "") + "</text>\n";
        for (double v = 0; v <= topS + 1e-9; v += step) {
            s += "<line x1=\"" + f(x(v)) + "\" y1=\"" + f(top) + "\" x2=\"" + f(x(v)) + "\" y2=\"" +
                 f(bottom) + "\" stroke=\"#e0e0e0\"/>\n";
            s += "<text x=\"" + f(x(v)) + "\" y=\"" + f(bottom + 16) +
                 "\" text-anchor=\"middle\">" + DecimalText(v, step < 1 ? 1 : 0) + "</text>\n";
        }
        for (int q = 0; q <= 4; ++q) {
            s += "<line x1=\"" + f(kLeft) + "\" y1=\"" + f(y(q / 4.0)) + "\" x2=\"" + f(kRight) +
                 "\" y2=\"" + f(y(q / 4.0)) + "\" stroke=\"#e0e0e0\"/>\n";
            s += "<text x=\"" + f(kLeft - 6) + "\" y=\"" + f(y(q / 4.0) + 4) +
                 "\" text-anchor=\"end\">" + std::to_string(q * 25) + "%</text>\n";
        }
        s += "<text x=\"" + f((kLeft + kRight) / 2) + "\" y=\"" + f(bottom + 34) +
             "\" text-anchor=\"middle\">TTFF (s)</text>\n";
        s += "<rect x=\"" + f(kLeft) + "\" y=\"" + f(top) + "\" width=\"" + f(kRight - kLeft) +
             "\" height=\"" + f(kPanel) + "\" fill=\"none\" stroke=\"black\"/>\n";
        // Share of the runs with a fix by t: time-outs and lost ports keep a curve below 100%.
        for (size_t c = 0; c < curves.size(); ++c) {
            Curve& curve = curves[c];
            std::sort(curve.ttffS.begin(), curve.ttffS.end());
            const char* colour = kPalette[c % kMaxCurves];
            const double runs = std::max(curve.runs, 1);
            std::string points = f(x(0)) + "," + f(y(0));
            for (size_t i = 0; i < curve.ttffS.size(); ++i) {
                points += " " + f(x(curve.ttffS[i])) + "," + f(y(static_cast<double>(i) / runs)) +
                          " " + f(x(curve.ttffS[i])) + "," +
                          f(y(static_cast<double>(i + 1) / runs));
            }
            points += " " + f(x(topS)) + "," + f(y(static_cast<double>(curve.ttffS.size()) / runs));
            s += "<polyline class=\"receiver\" fill=\"none\" stroke=\"" + std::string(colour) +
                 "\" stroke-width=\"2\" points=\"" + points + "\"><title>" + XmlText(curve.label) +
                 "</title></polyline>\n";
            const double ly = top + 12 + 15 * static_cast<double>(c);
            if (ly > bottom + 30) {
                continue; // more groups than the panel's height lists
            }
            s += "<line x1=\"" + f(kRight + 16) + "\" y1=\"" + f(ly - 4) + "\" x2=\"" +
                 f(kRight + 36) + "\" y2=\"" + f(ly - 4) + "\" stroke=\"" + colour +
                 "\" stroke-width=\"2\"/>\n<text class=\"legend\" x=\"" + f(kRight + 42) +
                 "\" y=\"" + f(ly) + "\">" + XmlText(curve.label) + " (" +
                 std::to_string(curve.runs) + " runs)</text>\n";
        }
    }
    return s + "</svg>\n";
}

std::string CompareText(const std::vector<CompareRow>& rows) {
    const bool withHost = SeveralHosts(rows);
    size_t width = 4;
    for (const CompareRow& r : rows) {
        width = std::max(width, Label(r, withHost).size());
    }
    char line[400];
    std::snprintf(line, sizeof line,
                  "%-*s  %-12s  %-4s  %4s  %6s  %6s  %7s  %10s  %7s  %9s  %-16s  %-23s  %7s  %7s\n",
                  static_cast<int>(width), "port", "receiver", "kind", "runs", "passed", "failed",
                  "timeout", "no-restart", "refused", "port-lost", "pass % (95 %)",
                  "median s (95 %)", "p95 s", "CEP50 m");
    std::string out = line;
    for (const CompareRow& r : rows) {
        char pass[40];
        std::snprintf(pass, sizeof pass, "%.0f (%.0f-%.0f)", r.passRate * 100,
                      r.passRate95->low * 100, r.passRate95->high * 100);
        std::string median = "-";
        if (r.medianMs) {
            median = DecimalText(*r.medianMs / 1000, 3);
            if (r.median95Ms) {
                median += " (" + DecimalText(r.median95Ms->low / 1000, 3) + "-" +
                          DecimalText(r.median95Ms->high / 1000, 3) + ")";
            }
        }
        std::snprintf(
            line, sizeof line,
            "%-*s  %-12s  %-4s  %4d  %6d  %6d  %7d  %10d  %7d  %9d  %-16s  %-23s  %7s  %7s\n",
            static_cast<int>(width), Label(r, withHost).c_str(),
            r.receiver.empty() ? "-" : r.receiver.c_str(), r.kind.c_str(), r.runs, r.passed,
            r.failed, r.timeouts, r.noRestarts, r.refused, r.portLost, pass, median.c_str(),
            r.p95Ms ? DecimalText(*r.p95Ms / 1000, 3).c_str() : "-",
            r.cep50M ? DecimalText(*r.cep50M, 2).c_str() : "-");
        out += line;
    }
    return out;
}

int WriteComparison(const fs::path& folder, int64_t utcMs, const std::vector<CompareRow>& rows,
                    const std::optional<GeoPosition>& reference,
                    const std::vector<fs::path>& sources, std::vector<fs::path>* paths) {
    const std::time_t seconds = static_cast<std::time_t>(utcMs / 1000);
    std::tm t{};
    if (gmtime_r(&seconds, &t) == nullptr) {
        return EINVAL;
    }
    std::vector<CLogFile> files;
    int sequence = 0;
    const int error = CreateNumberedFiles(
        folder,
        [&](int n) {
            char base[64];
            std::snprintf(base, sizeof base, "rack_%4d%02d%02d_%d", t.tm_year + 1900, t.tm_mon + 1,
                          t.tm_mday, n);
            const std::string b = base;
            return std::vector<std::string>{b + ".csv", b + ".json", b + ".svg"};
        },
        &files, paths, &sequence);
    if (error != 0) {
        return error;
    }
    const std::string texts[3] = {CompareCsv(rows), CompareJson(rows, reference, sources),
                                  CompareSvg(rows)};
    int first = 0;
    for (size_t i = 0; i < 3; ++i) {
        const int written = files[i].Write(texts[i].data(), texts[i].size());
        const int closed = files[i].Close();
        first = first != 0 ? first : written != 0 ? written : closed;
    }
    return first;
}
