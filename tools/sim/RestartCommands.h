#pragma once
// Recognises the restart commands a receiver accepts in the byte stream it receives:
// the SONY commands "@cd\r\n" (cold), "@sw\r\n" (warm), "@sr\r\n" (hot) and the SiRF NMEA input
// message "$PSRF101,X,Y,Z,ClkOffset,TimeOfWeek,WeekNo,ChannelCount,ResetCfg*hh\r\n" (ResetCfg
// 4 or 8 cold, 3 or 2 warm, 1 hot), whose checksum must be right. NUL bytes between commands
// are skipped (some senders end a command with one).
//
// Threads: one owner each; not thread-safe.
#include "SimOptions.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Family: the command of the simulated receiver's own family (--family).
enum class CommandForm { Sony, Sirf, Family };

const char* CommandFormName(CommandForm form); // "SONY", "SiRF", "family"

struct RestartCommand {
    RestartKind kind;
    CommandForm form;
};

class RestartCommandParser {
public:
    // Feeds received bytes in arrival order. garbage: the bytes arrived while the line ran at a
    // different baud rate, so they are not what was sent: they spoil the command they fall into.
    // Complete commands are appended to *commands.
    void Feed(std::string_view bytes, bool garbage, std::vector<RestartCommand>* commands);

    // One complete line ("@cd", "$PSRF101,...*hh", CR optional) as a command, if it is one.
    static std::optional<RestartCommand> ParseLine(std::string_view line);

private:
    std::string m_line;
    bool m_inLine = false;
    bool m_spoiled = false;
};

// Receivers get each restart twice, once in each form: a command of the other form within
// windowS of the one acted on is the same restart. A second command of the same form is a new one.
class RestartMerger {
public:
    explicit RestartMerger(double windowS = 1.0) : m_windowS(windowS) {}
    // True when the command is a new restart to act on.
    bool Accept(const RestartCommand& command, double nowS);

private:
    double m_windowS;
    bool m_have = false;
    bool m_merged = false;
    CommandForm m_form = CommandForm::Sony;
    double m_atS = 0;
};
