#include "CampaignRecords.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <system_error>
#include <utility>

namespace fs = std::filesystem;

namespace {

// Just enough JSON for reading our own records back: the whole grammar (a record written by a
// newer version may hold more than this reader looks at), strict numbers, a depth limit so that
// a damaged file cannot exhaust the stack.
struct Json {
    enum class Type { Null, Bool, Number, String, Array, Object } type = Type::Null;
    bool boolean = false;
    double number = 0;
    std::string text;
    std::vector<Json> items;
    std::vector<std::pair<std::string, Json>> members;

    const Json* Get(std::string_view key) const {
        for (const auto& [k, v] : members) {
            if (k == key) {
                return &v;
            }
        }
        return nullptr;
    }
    std::optional<double> Number(std::string_view key) const {
        const Json* v = Get(key);
        return v != nullptr && v->type == Type::Number ? std::optional<double>(v->number)
                                                       : std::nullopt;
    }
};

class JsonReader {
public:
    explicit JsonReader(std::string_view text) : m_text(text) {}

    bool Document(Json* out) {
        if (!Value(out, 0)) {
            return false;
        }
        SkipSpace();
        return m_at == m_text.size() || Fail("text after the document");
    }
    const std::string& Problem() const { return m_problem; }

private:
    static constexpr int kMaxDepth = 64;

    bool Fail(const char* what) {
        if (m_problem.empty()) {
            m_problem = std::string(what) + " at byte " + std::to_string(m_at);
        }
        return false;
    }
    void SkipSpace() {
        while (m_at < m_text.size() && (m_text[m_at] == ' ' || m_text[m_at] == '\t' ||
                                        m_text[m_at] == '\r' || m_text[m_at] == '\n')) {
            ++m_at;
        }
    }
    bool Take(char c) {
        SkipSpace();
        if (m_at < m_text.size() && m_text[m_at] == c) {
            ++m_at;
            return true;
        }
        return false;
    }
    bool Word(std::string_view word) {
        if (m_text.substr(m_at, word.size()) != word) {
            return Fail("unknown word");
        }
        m_at += word.size();
        return true;
    }

    bool Value(Json* out, int depth) {
        if (depth > kMaxDepth) {
            return Fail("nesting too deep");
        }
        SkipSpace();
        if (m_at >= m_text.size()) {
            return Fail("unexpected end");
        }
        switch (m_text[m_at]) {
        case '{':
            return Object(out, depth);
        case '[':
            return Array(out, depth);
        case '"':
            out->type = Json::Type::String;
            return String(&out->text);
        case 't':
            out->type = Json::Type::Bool;
            out->boolean = true;
            return Word("true");
        case 'f':
            out->type = Json::Type::Bool;
            return Word("false");
        case 'n':
            out->type = Json::Type::Null;
            return Word("null");
        default:
            out->type = Json::Type::Number;
            return Number(&out->number);
        }
    }

    bool Object(Json* out, int depth) {
        out->type = Json::Type::Object;
        ++m_at; // '{'
        if (Take('}')) {
            return true;
        }
        do {
            SkipSpace();
            std::string key;
            if (m_at >= m_text.size() || m_text[m_at] != '"' || !String(&key)) {
                return Fail("expected a key");
            }
            if (!Take(':')) {
                return Fail("expected ':'");
            }
            Json value;
            if (!Value(&value, depth + 1)) {
                return false;
            }
            out->members.emplace_back(std::move(key), std::move(value));
        } while (Take(','));
        return Take('}') || Fail("expected '}'");
    }

    bool Array(Json* out, int depth) {
        out->type = Json::Type::Array;
        ++m_at; // '['
        if (Take(']')) {
            return true;
        }
        do {
            Json value;
            if (!Value(&value, depth + 1)) {
                return false;
            }
            out->items.push_back(std::move(value));
        } while (Take(','));
        return Take(']') || Fail("expected ']'");
    }

    // JSON's number grammar checked first: from_chars alone would take "01", "+1" or "1.".
    bool Number(double* out) {
        const size_t start = m_at;
        auto digits = [&] {
            const size_t from = m_at;
            while (m_at < m_text.size() && m_text[m_at] >= '0' && m_text[m_at] <= '9') {
                ++m_at;
            }
            return m_at - from;
        };
        if (m_at < m_text.size() && m_text[m_at] == '-') {
            ++m_at;
        }
        const size_t intStart = m_at;
        const size_t intDigits = digits();
        if (intDigits == 0 || (intDigits > 1 && m_text[intStart] == '0')) {
            return Fail("bad number");
        }
        if (m_at < m_text.size() && m_text[m_at] == '.') {
            ++m_at;
            if (digits() == 0) {
                return Fail("bad number");
            }
        }
        if (m_at < m_text.size() && (m_text[m_at] == 'e' || m_text[m_at] == 'E')) {
            ++m_at;
            if (m_at < m_text.size() && (m_text[m_at] == '+' || m_text[m_at] == '-')) {
                ++m_at;
            }
            if (digits() == 0) {
                return Fail("bad number");
            }
        }
        const char* first = m_text.data() + start;
        const char* last = m_text.data() + m_at;
        const auto [end, ec] = std::from_chars(first, last, *out);
        if (ec != std::errc() || end != last || !std::isfinite(*out)) {
            return Fail("number out of range");
        }
        return true;
    }

    static void AppendUtf8(std::string* out, uint32_t cp) {
        if (cp < 0x80) {
            out->push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out->push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out->push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out->push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out->push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }

    bool Hex4(uint32_t* out) {
        if (m_text.size() - m_at < 4) {
            return Fail("bad escape");
        }
        const char* first = m_text.data() + m_at;
        const auto [end, ec] = std::from_chars(first, first + 4, *out, 16);
        if (ec != std::errc() || end != first + 4) {
            return Fail("bad escape");
        }
        m_at += 4;
        return true;
    }

    bool String(std::string* out) {
        ++m_at; // '"'
        while (m_at < m_text.size()) {
            const char c = m_text[m_at++];
            if (c == '"') {
                return true;
            }
            if (static_cast<unsigned char>(c) < 0x20) {
                return Fail("control character in a string");
            }
            if (c != '\\') {
                out->push_back(c);
                continue;
            }
            if (m_at >= m_text.size()) {
                break;
            }
            const char e = m_text[m_at++];
            static constexpr std::string_view kFrom = "\"\\/bfnrt";
            static constexpr std::string_view kTo = "\"\\/\b\f\n\r\t";
            if (const size_t i = kFrom.find(e); i != std::string_view::npos) {
                out->push_back(kTo[i]);
            } else if (e == 'u') {
                uint32_t cp = 0;
                if (!Hex4(&cp)) {
                    return false;
                }
                if (cp >= 0xD800 && cp < 0xDC00) { // a surrogate pair's first half
                    uint32_t low = 0;
                    if (m_text.substr(m_at, 2) != "\\u" || (m_at += 2, !Hex4(&low)) ||
                        low < 0xDC00 || low >= 0xE000) {
                        return Fail("bad surrogate pair");
                    }
                    cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                } else if (cp >= 0xDC00 && cp < 0xE000) {
                    return Fail("bad surrogate pair");
                }
                AppendUtf8(out, cp);
            } else {
                return Fail("bad escape");
            }
        }
        return Fail("unterminated string");
    }

    std::string_view m_text;
    size_t m_at = 0;
    std::string m_problem;
};

bool AllDigits(std::string_view s) {
    return !s.empty() &&
           std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// '.' decimals whatever the locale.
std::string Fixed(double value, int precision) {
    char text[32];
    const auto [end, ec] =
        std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, precision);
    return ec == std::errc() ? std::string(text, end) : "?";
}

std::string ReadWhole(const fs::path& path, std::string* problem) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    if (!in || !(text << in.rdbuf())) {
        const int error = errno;
        *problem = error != 0 ? std::strerror(error) : "unreadable";
    }
    return text.str();
}

} // namespace

bool ParseRecordName(std::string_view name, int32_t* date, int32_t* number) {
    constexpr std::string_view kPrefix = "campaign_";
    constexpr std::string_view kSuffix = ".json";
    if (name.size() < kPrefix.size() + 8 + 2 + kSuffix.size() || !name.starts_with(kPrefix) ||
        !name.ends_with(kSuffix)) {
        return false;
    }
    name.remove_prefix(kPrefix.size());
    name.remove_suffix(kSuffix.size());
    const std::string_view day = name.substr(0, 8);
    if (!AllDigits(day) || name[8] != '_') {
        return false;
    }
    const std::string_view n = name.substr(9);
    if (!AllDigits(n) || n.size() > 9 || (n.size() > 1 && n[0] == '0')) {
        return false;
    }
    int32_t d = 0;
    int32_t k = 0;
    std::from_chars(day.data(), day.data() + day.size(), d);
    std::from_chars(n.data(), n.data() + n.size(), k);
    const int32_t month = d / 100 % 100;
    const int32_t dayOfMonth = d % 100;
    if (month < 1 || month > 12 || dayOfMonth < 1 || dayOfMonth > 31 || k < 1) {
        return false;
    }
    *date = d;
    *number = k;
    return true;
}

bool ReadRecordJson(std::string_view text, CampaignRecordInfo* info, std::string* problem) {
    Json doc;
    JsonReader reader(text);
    if (!reader.Document(&doc)) {
        *problem = reader.Problem();
        return false;
    }
    const Json* settings = doc.Get("settings");
    // A restart campaign lists its kinds; a static run names its one kind.
    const Json* kinds = settings != nullptr ? settings->Get("kinds") : nullptr;
    const Json* kind = settings != nullptr ? settings->Get("kind") : nullptr;
    info->kind.clear();
    if (kinds != nullptr && kinds->type == Json::Type::Array) {
        for (const Json& k : kinds->items) {
            info->kind += (info->kind.empty() ? "" : ",") + k.text;
        }
    } else if (kind != nullptr && kind->type == Json::Type::String) {
        info->kind = kind->text;
    }
    if (info->kind.empty()) {
        *problem = "no kind in its settings";
        return false;
    }
    info->passRate.reset();
    info->cep50M.reset();
    info->runs = 0;
    if (info->kind == "static") {
        // A static campaign's statistics: its epochs and the horizontal scatter.
        const Json* stats = doc.Get("statistics");
        const std::optional<double> epochs = stats ? stats->Number("epochs") : std::nullopt;
        if (!epochs || *epochs < 0 || *epochs > 2e9) {
            *problem = "no epochs in its statistics";
            return false;
        }
        info->runs = static_cast<int32_t>(*epochs);
        info->cep50M = stats->Number("cep50_m");
        return true;
    }
    const Json* summary = doc.Get("summary");
    if (summary == nullptr || summary->type != Json::Type::Array) {
        *problem = "no summary";
        return false;
    }
    double runs = 0;
    double passed = 0;
    for (const Json& s : summary->items) {
        const std::optional<double> r = s.Number("runs");
        const std::optional<double> p = s.Number("passed");
        if (!r || !p || *r < 0 || *p < 0 || *p > *r || *r > 2e9) {
            *problem = "a summary without runs or passed";
            return false;
        }
        runs += *r;
        passed += *p;
    }
    info->runs = static_cast<int32_t>(runs);
    if (runs > 0) {
        info->passRate = passed / runs;
    }
    return true;
}

std::vector<CampaignRecordInfo> ListCampaignRecords(const fs::path& folder, std::string* error) {
    std::vector<CampaignRecordInfo> records;
    std::error_code ec;
    fs::directory_iterator it(folder, ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        CampaignRecordInfo info;
        const std::string name = it->path().filename().string();
        if (!ParseRecordName(name, &info.date, &info.number)) {
            continue;
        }
        info.json = it->path();
        info.svg = fs::path(it->path()).replace_extension(".svg");
        const std::string text = ReadWhole(info.json, &info.problem);
        if (info.problem.empty()) {
            ReadRecordJson(text, &info, &info.problem);
        }
        records.push_back(std::move(info));
    }
    if (ec && error != nullptr) {
        *error = ec.message();
    }
    std::sort(records.begin(), records.end(), [](const auto& a, const auto& b) {
        return std::pair(a.date, a.number) > std::pair(b.date, b.number);
    });
    return records;
}

RecordCells FormatRecord(const CampaignRecordInfo& info) {
    RecordCells cells;
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d #%d", info.date / 10000, info.date / 100 % 100,
                  info.date % 100, info.number);
    cells.date = text;
    if (!info.problem.empty()) {
        cells.result = "unreadable: " + info.problem;
        return cells;
    }
    cells.kind = info.kind;
    cells.runs = std::to_string(info.runs);
    if (info.cep50M) {
        cells.result = "CEP50 " + Fixed(*info.cep50M, 2) + " m";
    } else if (info.passRate) {
        cells.result = Fixed(*info.passRate * 100.0, 0) + " %";
    } else {
        cells.result = "-";
    }
    return cells;
}
