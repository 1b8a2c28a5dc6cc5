#include "RestartCommands.h"

#include "NmeaChecksum.h"

namespace {

// Longer than any command; a line that grows past it is noise and is dropped at its line end.
constexpr size_t kMaxLine = 120;

int HexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

} // namespace

const char* CommandFormName(CommandForm form) {
    switch (form) {
    case CommandForm::Sony:
        return "SONY";
    case CommandForm::Sirf:
        return "SiRF";
    case CommandForm::Family:
        break;
    }
    return "family";
}

std::optional<RestartCommand> RestartCommandParser::ParseLine(std::string_view line) {
    if (!line.empty() && line.back() == '\r') {
        line.remove_suffix(1);
    }
    if (line == "@cd") {
        return RestartCommand{RestartKind::Cold, CommandForm::Sony};
    }
    if (line == "@sw") {
        return RestartCommand{RestartKind::Warm, CommandForm::Sony};
    }
    if (line == "@sr") {
        return RestartCommand{RestartKind::Hot, CommandForm::Sony};
    }
    constexpr std::string_view prefix = "$PSRF101,";
    size_t star = line.find('*');
    if (line.substr(0, prefix.size()) != prefix || star == std::string_view::npos ||
        star + 3 != line.size()) {
        return std::nullopt;
    }
    int high = HexValue(line[star + 1]);
    int low = HexValue(line[star + 2]);
    std::string_view body = line.substr(1, star - 1);
    if (high < 0 || low < 0 || NmeaChecksum(body) != high * 16 + low) {
        return std::nullopt;
    }
    // Eight fields after the identifier; the reset configuration is the last.
    size_t fields = 0;
    size_t lastComma = 0;
    for (size_t i = 0; i < body.size(); ++i) {
        if (body[i] == ',') {
            ++fields;
            lastComma = i;
        }
    }
    std::string_view reset = body.substr(lastComma + 1);
    if (fields != 8 || reset.size() != 1) {
        return std::nullopt;
    }
    switch (reset[0]) {
    case '4':
    case '8': // factory reset: at least as cold as a cold start
        return RestartCommand{RestartKind::Cold, CommandForm::Sirf};
    case '2':
    case '3':
        return RestartCommand{RestartKind::Warm, CommandForm::Sirf};
    case '1':
        return RestartCommand{RestartKind::Hot, CommandForm::Sirf};
    default:
        return std::nullopt;
    }
}

void RestartCommandParser::Feed(std::string_view bytes, bool garbage,
                                std::vector<RestartCommand>* commands) {
    for (char c : bytes) {
        if (garbage) {
            // Whatever the sender meant, this byte is not it.
            m_spoiled = m_spoiled || m_inLine;
            continue;
        }
        if (c == '@' || c == '$') {
            // A start character always begins a new command: resynchronise on it.
            m_line.assign(1, c);
            m_inLine = true;
            m_spoiled = false;
            continue;
        }
        if (!m_inLine) {
            continue; // NULs, stray line ends, noise between commands
        }
        if (c == '\n') {
            if (!m_spoiled) {
                if (auto command = ParseLine(m_line)) {
                    commands->push_back(*command);
                }
            }
            m_inLine = false;
            m_line.clear();
            continue;
        }
        if (c == '\0' || m_line.size() >= kMaxLine) {
            m_spoiled = true;
            continue;
        }
        m_line.push_back(c);
    }
}

bool RestartMerger::Accept(const RestartCommand& command, double nowS) {
    if (m_have && !m_merged && command.form != m_form && nowS - m_atS < m_windowS) {
        m_merged = true;
        return false;
    }
    m_have = true;
    m_merged = false;
    m_form = command.form;
    m_atS = nowS;
    return true;
}
