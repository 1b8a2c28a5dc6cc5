#include "StaticSession.h"

#include "CampaignFiles.h"
#include "MultiGnss.h"
#include "StaticPlot.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <string_view>

namespace fs = std::filesystem;

namespace {

enum FileIndex { kCsv = 0, kRaw = 1, kJson = 2, kSvg = 3, kEpochs = 4 };

constexpr uint32_t kFlushMs = 1000;
constexpr int32_t kMsPerDay = 86400000;
// The plot keeps the most distant dots whatever the thinning.
constexpr uint64_t kPlotDots = 20000;
constexpr uint64_t kPlotOutliers = 1000;
constexpr size_t kPlotColumns = 600;

std::string_view Talker(const ReceivedLine& line) {
    return std::string_view(line.text + 1, 2);
}

bool IsType(const ReceivedLine& line, const char* type) {
    return line.parsed != 0 && line.length >= 7 && std::memcmp(line.text + 3, type, 3) == 0;
}

// Mean of the four largest of values[0..count); < 0 with fewer than four tracked.
template <typename Snr> double TopFour(int count, Snr snr) {
    double best[4] = {0, 0, 0, 0};
    int tracked = 0;
    for (int i = 0; i < count; ++i) {
        double v = snr(i);
        if (v <= 0) {
            continue;
        }
        ++tracked;
        for (double& b : best) {
            if (v > b) {
                std::swap(v, b);
            }
        }
    }
    return tracked < 4 ? -1 : (best[0] + best[1] + best[2] + best[3]) / 4.0;
}

// The fields of one epochs row.
struct Row {
    std::string_view field[13];
    size_t count = 0;
    std::string_view head; // the first ten fields with their commas: kept as written
};

bool SplitRow(std::string_view line, Row* row) {
    row->count = 0;
    size_t from = 0;
    while (row->count < 13) {
        const size_t comma = line.find(',', from);
        row->field[row->count++] = line.substr(
            from, comma == std::string_view::npos ? std::string_view::npos : comma - from);
        if (row->count == 10) {
            row->head = line.substr(0, comma == std::string_view::npos ? line.size() : comma + 1);
        }
        if (comma == std::string_view::npos) {
            break;
        }
        from = comma + 1;
    }
    return row->count == 13;
}

bool Number(std::string_view text, double* value) {
    if (text.empty()) {
        return false;
    }
    const auto r = std::from_chars(text.data(), text.data() + text.size(), *value);
    return r.ec == std::errc() && r.ptr == text.data() + text.size() && std::isfinite(*value);
}

// Seconds of the day of a "...THH:MM:SS.sssZ" or "HH:MM:SS.sss" time.
double SecondOfDay(std::string_view utc) {
    const size_t t = utc.find('T');
    std::string_view time = t == std::string_view::npos ? utc : utc.substr(t + 1);
    if (time.size() < 12) {
        return 0;
    }
    double h = 0, m = 0, s = 0;
    Number(time.substr(0, 2), &h);
    Number(time.substr(3, 2), &m);
    Number(time.substr(6, 6), &s);
    return h * 3600 + m * 60 + s;
}

std::string EpochsHeader() {
    return "utc,fix_mode,lat,lon,alt_m,satellites,hdop,pdop,vdop,cn0_top4_dbhz,east_m,north_m,"
           "up_m\r\n";
}

// up is left empty when there is no height to compare with.
std::string EnuFields(const Enu& o, bool up = true) {
    // No "-0.000" for what rounds to nothing.
    auto metres = [](double v) { return DecimalText(std::fabs(v) < 0.0005 ? 0.0 : v, 3); };
    return metres(o.east) + "," + metres(o.north) + "," + (up ? metres(o.up) : "");
}

std::string MeanStdJson(const std::optional<MeanStd>& v) {
    return v ? "{\"mean\": " + DecimalText(v->mean, 3) +
                   ", \"stddev\": " + DecimalText(v->stddev, 3) + "}"
             : "null";
}

std::string OptionalJson(const std::optional<double>& v, int digits) {
    return v ? DecimalText(*v, digits) : "null";
}

std::string DistributionJson(const Distribution& d) {
    return "{\"epochs\": " + std::to_string(d.count) + ", \"min\": " + DecimalText(d.min, 2) +
           ", \"median\": " + DecimalText(d.median, 2) + ", \"mean\": " + DecimalText(d.mean, 2) +
           ", \"max\": " + DecimalText(d.max, 2) + "}";
}

} // namespace

double Cn0Top4DbHz(const CNmeaParser& p) {
    if (p.m_bMultiGnss) {
        const CMultiGnssState& m = p.m_multiGnss;
        return TopFour(std::min<int>(m.m_wCount, CMultiGnssState::kSatellites),
                       [&](int i) { return static_cast<double>(m.m_Satellites[i].wSnr); });
    }
    return TopFour(std::min<int>(p.m_wGSVSatellites, CNmeaParser::kSatelliteSlots),
                   [&](int i) { return static_cast<double>(p.m_Satellites[i].wSnr); });
}

StaticSample StaticSampleOf(const CNmeaParser& p, const ReceivedLine& line) {
    StaticSample s;
    if (line.parsed == 0 || line.length < 7) {
        return s;
    }
    // Only the talkers the parser decodes changed its state.
    const std::string_view talker = Talker(line);
    if (!(p.m_bMultiGnss ? IsGnssTalker(talker) : talker == "GP")) {
        return s;
    }
    if (IsType(line, "GGA")) {
        s.kind = StaticSample::Kind::Gga;
        if (p.m_bGGATimeValid) {
            s.msOfDay = (p.m_btGGAHour * 3600 + p.m_btGGAMinute * 60 + p.m_btGGASecond) * 1000 +
                        p.m_wGGAMillisecond;
        }
        s.quality = p.m_btGGAQuality;
        s.satellites = p.m_btGGASatellites;
        s.latDeg = p.m_dGGALatitude;
        s.lonDeg = p.m_dGGALongitude;
        s.altM = p.m_dGGAAltitude;
        s.geoidM = p.m_bGGAHasGeoid ? p.m_dGGAGeoidSeparation : 0;
    } else if (IsType(line, "GSA")) {
        s.kind = StaticSample::Kind::Gsa;
        s.fixMode = p.m_btGSAFixMode;
        s.pdop = p.m_dGSAPdop;
        s.hdop = p.m_dGSAHdop;
        s.vdop = p.m_dGSAVdop;
    } else if (IsType(line, "GSV")) {
        s.kind = StaticSample::Kind::Gsv;
        s.cn0Top4 = Cn0Top4DbHz(p);
        if (p.m_bMultiGnss) {
            const CMultiGnssState& m = p.m_multiGnss;
            const int count = std::min<int>(m.m_wCount, CMultiGnssState::kSatellites);
            for (int sys = 0; sys < kStaticSystems; ++sys) {
                s.cn0BySystem[sys] = TopFour(count, [&](int i) {
                    return static_cast<int>(m.m_Satellites[i].system) == sys
                               ? static_cast<double>(m.m_Satellites[i].wSnr)
                               : 0.0;
                });
            }
        }
    } else if (IsType(line, "RMC")) {
        s.kind = StaticSample::Kind::Rmc;
        if (p.m_btRMCDay != 0 && p.m_btRMCMonth != 0) {
            s.year = p.m_wRMCYear;
            s.month = p.m_btRMCMonth;
            s.day = p.m_btRMCDay;
        }
    }
    return s;
}

int CStaticSession::Begin(const StaticSettings& settings, const fs::path& folder,
                          std::vector<std::pair<std::string, std::string>> extra,
                          CampaignTime now) {
    const std::time_t seconds = static_cast<std::time_t>(now.utcMs / 1000);
    std::tm t{};
    if (gmtime_r(&seconds, &t) == nullptr) {
        return EINVAL;
    }
    int sequence = 0;
    const int error = CreateNumberedFiles(
        folder,
        [&](int n) {
            char date[40];
            std::snprintf(date, sizeof date, "%4d%02d%02d_%d", t.tm_year + 1900, t.tm_mon + 1,
                          t.tm_mday, n);
            const std::string b = std::string("campaign_") + date;
            return std::vector<std::string>{b + ".csv", b + ".nmea", b + ".json", b + ".svg",
                                            std::string("epochs_") + date + ".csv"};
        },
        &m_files, &m_paths, &sequence);
    if (error != 0) {
        return error;
    }
    m_settings = settings;
    m_extra = std::move(extra);
    m_started = true;
    m_startMs = now.monoMs;
    m_lastFlushMs = now.monoMs;
    m_startUtcMs = now.utcMs;
    const std::string header = CsvHeader();
    Keep(m_files[kCsv].Write(header.data(), header.size()));
    const std::string epochs = EpochsHeader();
    Keep(m_files[kEpochs].Write(epochs.data(), epochs.size()));
    Keep(m_files[kEpochs].Flush());
    return 0;
}

void CStaticSession::Keep(int error) {
    if (m_error == 0 && error != 0) {
        m_error = error;
    }
}

void CStaticSession::Line(const ReceivedLine& line, const StaticSample& s, CampaignTime now) {
    if (!Running()) {
        return;
    }
    Keep(m_files[kRaw].Write(line.text, line.length));
    switch (s.kind) {
    case StaticSample::Kind::Gga:
        // Another GGA of the same epoch (other talkers) updates it; a new time begins the next.
        if (m_epoch.open && (s.msOfDay < 0 || s.msOfDay != m_epoch.msOfDay)) {
            CloseEpoch();
        }
        if (!m_epoch.open) {
            m_epoch = OpenEpoch{};
            m_epoch.open = true;
            m_epoch.arrivalMs = line.arrivalMs;
        }
        m_epoch.msOfDay = s.msOfDay;
        m_epoch.hasPosition = s.quality > 0;
        m_epoch.latDeg = s.latDeg;
        m_epoch.lonDeg = s.lonDeg;
        m_epoch.altM = s.altM;
        m_epoch.geoidM = s.geoidM;
        m_epoch.satellites = s.satellites;
        break;
    case StaticSample::Kind::Gsa:
        if (m_epoch.open) {
            m_epoch.fixMode = s.fixMode;
            m_epoch.pdop = s.pdop;
            m_epoch.hdop = s.hdop;
            m_epoch.vdop = s.vdop;
        }
        break;
    case StaticSample::Kind::Gsv:
        if (m_epoch.open) {
            m_epoch.cn0 = s.cn0Top4;
            std::copy(std::begin(s.cn0BySystem), std::end(s.cn0BySystem),
                      std::begin(m_epoch.cn0BySystem));
        }
        break;
    case StaticSample::Kind::Rmc:
        if (s.day != 0) {
            m_year = s.year;
            m_month = s.month;
            m_day = s.day;
        }
        break;
    default:
        break;
    }
    CampaignTime t = now;
    t.monoMs = line.arrivalMs;
    Tick(t);
}

void CStaticSession::Tick(CampaignTime now) {
    if (!Running()) {
        return;
    }
    if (now.monoMs - m_lastFlushMs >= kFlushMs) {
        // A killed run keeps its epochs up to the last second.
        m_lastFlushMs = now.monoMs;
        Keep(m_files[kEpochs].Flush());
        Keep(m_files[kRaw].Flush());
    }
    if (now.monoMs - m_startMs >= m_settings.durationS * 1000ull) {
        Stop();
    }
}

void CStaticSession::Stop() {
    if (!Running()) {
        return;
    }
    // The last epoch counts only when its GSA came; a GGA alone would count as no fix.
    if (m_epoch.open && m_epoch.fixMode != 0) {
        CloseEpoch();
    }
    m_epoch.open = false;
    m_done = true;
}

void CStaticSession::CloseEpoch() {
    OpenEpoch& e = m_epoch;
    e.open = false;
    std::string row;
    row.reserve(160);
    if (e.msOfDay >= 0) {
        char text[64];
        const int32_t ms = e.msOfDay % kMsPerDay;
        const int n = m_day != 0
                          ? std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ",
                                          m_year, m_month, m_day, ms / 3600000, ms / 60000 % 60,
                                          ms / 1000 % 60, ms % 1000)
                          : std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", ms / 3600000,
                                          ms / 60000 % 60, ms / 1000 % 60, ms % 1000);
        row.append(text, static_cast<size_t>(n > 0 ? n : 0));
    }
    row += ",";
    row += e.fixMode != 0 ? std::to_string(e.fixMode) : "";
    row += ",";
    if (e.hasPosition) {
        row += DecimalText(e.latDeg, 8) + "," + DecimalText(e.lonDeg, 8) + "," +
               DecimalText(e.altM, 2);
    } else {
        row += ",,";
    }
    row += "," + std::to_string(e.satellites) + ",";
    if (e.fixMode >= 2) {
        row += DecimalText(e.hdop, 2) + "," + DecimalText(e.pdop, 2) + "," + DecimalText(e.vdop, 2);
    } else {
        row += ",,";
    }
    row += "," + (e.cn0 >= 0 ? DecimalText(e.cn0, 2) : "") + ",";

    const bool is3d = e.fixMode == 3 && e.hasPosition;
    if (is3d && !m_first3dMs) {
        m_first3dMs = e.arrivalMs;
    }
    const bool counted = m_first3dMs && e.arrivalMs - *m_first3dMs >= m_settings.skipS * 1000ull;
    if (counted && !m_firstCountedRow) {
        m_firstCountedRow = m_epochs;
    }
    if (e.hasPosition) {
        m_geoidM = e.geoidM;
    }
    const Geodetic point{e.latDeg, e.lonDeg, EllipsoidalHeightM(e.altM, e.geoidM)};
    if (e.hasPosition && m_settings.reference) {
        // The reference's altitude is above sea level like the GGA's: the same geoid applies.
        const GeoPosition& r = *m_settings.reference;
        const Geodetic reference{r.latDeg, r.lonDeg,
                                 r.hasAlt ? EllipsoidalHeightM(r.altM, e.geoidM) : point.heightM};
        const Enu offset = EnuOf(reference, point);
        row += EnuFields(offset, r.hasAlt);
        if (counted && is3d) {
            m_errors.Add(offset);
        }
    } else {
        row += ",,";
        if (e.hasPosition && counted && is3d) {
            if (!m_provisional) {
                m_provisional = point;
            }
            const Enu offset = EnuOf(*m_provisional, point);
            m_meanE.Add(offset.east);
            m_meanN.Add(offset.north);
            m_meanU.Add(offset.up);
        }
    }
    row += "\r\n";
    Keep(m_files[kEpochs].Write(row.data(), row.size()));
    ++m_epochs;

    if (!counted) {
        return;
    }
    ++m_inWindow;
    if (is3d) {
        ++m_3dInWindow;
        m_hdop.Add(e.hdop);
        m_pdop.Add(e.pdop);
        m_satellites.Add(e.satellites);
    }
    if (e.cn0 >= 0) {
        m_cn0.Add(e.cn0);
    }
    for (int sys = 0; sys < kStaticSystems; ++sys) {
        if (e.cn0BySystem[sys] >= 0) {
            m_cn0BySystem[sys].Add(e.cn0BySystem[sys]);
            m_multiGnss = true;
        }
    }
}

std::string CStaticSession::ProgressText(CampaignTime now) const {
    const uint64_t elapsedS = Running() ? (now.monoMs - m_startMs) / 1000u : m_settings.durationS;
    char text[160];
    std::snprintf(
        text, sizeof text, "static %llu/%u s: %llu epochs, 3D %.1f %%",
        static_cast<unsigned long long>(std::min<uint64_t>(elapsedS, m_settings.durationS)),
        m_settings.durationS, static_cast<unsigned long long>(m_epochs),
        m_inWindow > 0 ? 100.0 * static_cast<double>(m_3dInWindow) / static_cast<double>(m_inWindow)
                       : 0.0);
    return text;
}

int CStaticSession::SecondPass(const Geodetic& origin) {
    const fs::path path = m_paths[kEpochs];
    fs::path part = path;
    part += ".part";
    CLogFile out;
    if (const int error = out.Create(part); error != 0) {
        return error;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return errno != 0 ? errno : EIO;
    }
    const CEnuFrame frame(origin);
    std::string line;
    uint64_t index = 0;
    bool header = true;
    int error = 0;
    while (std::getline(in, line)) {
        if (header) {
            header = false;
            line += "\n";
            error = error != 0 ? error : out.Write(line.data(), line.size());
            continue;
        }
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        Row row;
        double lat = 0, lon = 0, alt = 0;
        std::string text = line;
        if (SplitRow(line, &row) && Number(row.field[2], &lat) && Number(row.field[3], &lon) &&
            Number(row.field[4], &alt)) {
            const Enu offset = EnuOf(origin, Geodetic{lat, lon, EllipsoidalHeightM(alt, m_geoidM)});
            text = std::string(row.head) + EnuFields(offset);
            if (m_firstCountedRow && index >= *m_firstCountedRow && row.field[1] == "3") {
                m_errors.Add(offset);
            }
        }
        text += "\r\n";
        error = error != 0 ? error : out.Write(text.data(), text.size());
        ++index;
    }
    const int closed = out.Close();
    error = error != 0 ? error : closed;
    if (error == 0 && in.bad()) {
        error = EIO;
    }
    std::error_code ec;
    if (error == 0) {
        fs::rename(part, path, ec);
        error = ec ? ec.value() : 0;
    }
    if (error != 0) {
        fs::remove(part, ec);
    }
    return error;
}

int CStaticSession::WritePlot() {
    StaticPlot plot;
    plot.aboutReference = m_summary.aboutReference;
    plot.cep50M = m_summary.cep50M.value_or(0);
    plot.cep95M = m_summary.cep95M.value_or(0);
    plot.durationS = m_settings.durationS;
    const uint64_t counted = m_summary.epochs3d;
    // Every dot beyond the cut stays (the outliers); the rest are thinned evenly.
    const double cut = counted > kPlotDots
                           ? m_errors.HorizontalQuantile(1.0 - static_cast<double>(kPlotOutliers) /
                                                                   static_cast<double>(counted))
                           : 1e300;
    // The regular dots: an even share, floor(i x budget / n) stepping up at each kept one.
    const uint64_t budget = kPlotDots - kPlotOutliers;
    if (counted > kPlotDots) {
        plot.thinnedFrom = counted;
        plot.outlierCutM = cut;
    }
    const uint64_t window = m_inWindow;
    std::ifstream in(m_paths[kEpochs], std::ios::binary);
    std::string line;
    std::getline(in, line); // header
    uint64_t index = 0, taken3d = 0, outliers = 0;
    double firstS = -1, lastDayS = 0, dayOffsetS = 0;
    plot.columns.resize(std::min<uint64_t>(kPlotColumns, std::max<uint64_t>(window, 1)));
    while (std::getline(in, line)) {
        const uint64_t row = index++;
        if (!m_firstCountedRow || row < *m_firstCountedRow) {
            continue;
        }
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        Row r;
        if (!SplitRow(line, &r)) {
            continue;
        }
        double sec = SecondOfDay(r.field[0]);
        if (firstS < 0) {
            firstS = sec;
            lastDayS = sec;
        }
        if (sec + 43200 < lastDayS) {
            dayOffsetS += 86400; // past midnight
        }
        lastDayS = sec;
        const double t = sec + dayOffsetS - firstS;
        const size_t column = static_cast<size_t>((row - *m_firstCountedRow) * plot.columns.size() /
                                                  std::max<uint64_t>(window, 1));
        StaticPlot::Column& c = plot.columns[std::min(column, plot.columns.size() - 1)];
        double east = 0, north = 0, up = 0, cn0 = 0;
        const bool hasEnu = Number(r.field[10], &east) && Number(r.field[11], &north) &&
                            Number(r.field[12], &up) && r.field[1] == "3";
        if (hasEnu) {
            const double h = std::hypot(east, north);
            c.Add(StaticPlot::kHorizontal, t, h);
            if (m_summary.vertical) {
                c.Add(StaticPlot::kVertical, t, up);
            }
            const bool outlier = h > cut && outliers < kPlotOutliers;
            const bool regular = counted <= kPlotDots ||
                                 (taken3d + 1) * budget / counted != taken3d * budget / counted;
            if (outlier || regular) {
                plot.dots.push_back({static_cast<float>(east), static_cast<float>(north), outlier});
                outliers += outlier ? 1 : 0;
            }
            ++taken3d;
        }
        if (Number(r.field[9], &cn0)) {
            c.Add(StaticPlot::kCn0, t, cn0);
        }
    }
    const std::string svg = StaticSvg(plot);
    return m_files[kSvg].Write(svg.data(), svg.size());
}

int CStaticSession::Finish() {
    if (!m_started || m_finished) {
        return m_error;
    }
    m_finished = true;
    Stop();
    Keep(m_files[kEpochs].Close());
    Keep(m_files[kCsv].Close());
    Keep(m_files[kRaw].Close());

    StaticSummary& s = m_summary;
    s.epochs = m_epochs;
    s.epochsInStatistics = m_inWindow;
    s.epochs3d = m_3dInWindow;
    s.availability3dPct =
        m_inWindow > 0 ? 100.0 * static_cast<double>(m_3dInWindow) / static_cast<double>(m_inWindow)
                       : 0;
    s.aboutReference = m_settings.reference.has_value();
    if (m_settings.reference) {
        const GeoPosition& r = *m_settings.reference;
        s.origin = Geodetic{r.latDeg, r.lonDeg, EllipsoidalHeightM(r.altM, m_geoidM)};
        s.vertical = r.hasAlt;
    } else if (m_provisional && m_meanE.Count() > 0) {
        s.origin = FromEnu(*m_provisional, Enu{m_meanE.Mean(), m_meanN.Mean(), m_meanU.Mean()});
        s.vertical = true;
        Keep(SecondPass(*s.origin));
    }
    if (m_errors.Count() > 0) {
        s.cep50M = m_errors.Cep50M();
        s.cep95M = m_errors.Cep95M();
        s.drms2M = m_errors.Drms2M();
        s.eastM = m_errors.East();
        s.northM = m_errors.North();
        if (s.vertical) {
            s.vertical95M = m_errors.Vertical95M();
            s.upM = m_errors.Up();
        }
    }
    if (m_hdop.Count() > 0) {
        s.meanHdop = m_hdop.Mean();
        s.meanPdop = m_pdop.Mean();
        s.meanSatellites = m_satellites.Mean();
    }
    s.cn0 = m_cn0.Result();
    if (m_multiGnss) {
        for (int sys = 0; sys < kStaticSystems; ++sys) {
            if (const auto d = m_cn0BySystem[sys].Result()) {
                s.cn0BySystem.emplace_back(GnssSystemLetter(static_cast<EGnssSystem>(sys)), *d);
            }
        }
    }

    // The JSON.
    std::string j = "{\n  \"settings\": {\n    \"kind\": \"static\",\n    \"start_utc\": " +
                    JsonQuoted(IsoUtc(m_startUtcMs)) +
                    ",\n    \"duration_s\": " + std::to_string(m_settings.durationS) +
                    ",\n    \"skip_s\": " + std::to_string(m_settings.skipS) + ",\n";
    if (m_settings.reference) {
        const GeoPosition& r = *m_settings.reference;
        j += "    \"reference\": {\"lat\": " + DecimalText(r.latDeg, 8) +
             ", \"lon\": " + DecimalText(r.lonDeg, 8) +
             (r.hasAlt ? ", \"alt_m\": " + DecimalText(r.altM, 2) : "") + "},\n";
    } else {
        j += "    \"reference\": \"mean of the 3D fixes\",\n";
    }
    j += "    \"timing\": " + JsonQuoted(m_settings.timing);
    for (const auto& [key, value] : m_extra) {
        j += ",\n    " + JsonQuoted(key) + ": " + JsonQuoted(value);
    }
    j += "\n  },\n  \"statistics\": {\n";
    j += "    \"epochs\": " + std::to_string(s.epochs) +
         ",\n    \"epochs_in_statistics\": " + std::to_string(s.epochsInStatistics) +
         ",\n    \"epochs_3d\": " + std::to_string(s.epochs3d) +
         ",\n    \"fix_3d_availability_pct\": " + DecimalText(s.availability3dPct, 2) + ",\n";
    j += std::string("    \"errors_about\": ") + (s.aboutReference ? "\"reference\"" : "\"mean\"") +
         ",\n";
    if (s.origin) {
        j += "    \"origin\": {\"lat\": " + DecimalText(s.origin->latDeg, 8) +
             ", \"lon\": " + DecimalText(s.origin->lonDeg, 8) + ", \"ellipsoidal_height_m\": " +
             (s.vertical ? DecimalText(s.origin->heightM, 3) : std::string("null")) + "},\n";
    } else {
        j += "    \"origin\": null,\n";
    }
    j += "    \"cep50_m\": " + OptionalJson(s.cep50M, 3) +
         ",\n    \"cep95_m\": " + OptionalJson(s.cep95M, 3) +
         ",\n    \"drms2_m\": " + OptionalJson(s.drms2M, 3) +
         ",\n    \"vertical95_m\": " + OptionalJson(s.vertical95M, 3) +
         ",\n    \"east_m\": " + MeanStdJson(s.eastM) +
         ",\n    \"north_m\": " + MeanStdJson(s.northM) + ",\n    \"up_m\": " + MeanStdJson(s.upM) +
         ",\n    \"mean_hdop\": " + OptionalJson(s.meanHdop, 2) +
         ",\n    \"mean_pdop\": " + OptionalJson(s.meanPdop, 2) +
         ",\n    \"mean_satellites\": " + OptionalJson(s.meanSatellites, 2) +
         ",\n    \"cn0_top4_dbhz\": " + (s.cn0 ? DistributionJson(*s.cn0) : "null");
    if (m_multiGnss) {
        j += ",\n    \"cn0_top4_dbhz_by_constellation\": {";
        for (size_t i = 0; i < s.cn0BySystem.size(); ++i) {
            j += (i ? ", " : "") + JsonQuoted(std::string(1, s.cn0BySystem[i].first)) + ": " +
                 DistributionJson(s.cn0BySystem[i].second);
        }
        j += "}";
    }
    j += "\n  },\n  \"files\": [";
    for (size_t i = 0; i < m_paths.size(); ++i) {
        j += (i ? ", " : "") + JsonQuoted(m_paths[i].filename().string());
    }
    j += "]\n}\n";
    Keep(m_files[kJson].Write(j.data(), j.size()));
    Keep(WritePlot());
    Keep(m_files[kJson].Close());
    Keep(m_files[kSvg].Close());
    return m_error;
}

std::string CStaticSession::SummaryText() const {
    const StaticSummary& s = m_summary;
    char text[512];
    std::string out;
    std::snprintf(text, sizeof text,
                  "epochs %llu, in the statistics %llu, 3D %.1f %%; errors about the %s\n",
                  static_cast<unsigned long long>(s.epochs),
                  static_cast<unsigned long long>(s.epochsInStatistics), s.availability3dPct,
                  s.aboutReference ? "reference" : "mean");
    out += text;
    if (s.cep50M) {
        std::snprintf(text, sizeof text, "CEP50 %.2f m, CEP95 %.2f m, 2DRMS %.2f m", *s.cep50M,
                      *s.cep95M, *s.drms2M);
        out += text;
        if (s.vertical95M) {
            std::snprintf(text, sizeof text, ", vertical 95 %% %.2f m", *s.vertical95M);
            out += text;
        }
        out += "\n";
    } else {
        out += "no 3D fix in the statistics\n";
    }
    if (s.cn0) {
        std::snprintf(text, sizeof text,
                      "C/N0 of the four strongest: min %.1f, median %.1f, mean %.1f, max %.1f "
                      "dB-Hz\n",
                      s.cn0->min, s.cn0->median, s.cn0->mean, s.cn0->max);
        out += text;
    }
    return out;
}
