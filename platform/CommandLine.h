#pragma once
// The command line of every executable, parsed with CLI11 so that all of them answer alike:
// --help prints the usage on standard output (status 0), --version one line with the name and
// version (status 0), and an unknown option or a bad value gives the reason and the usage on
// standard error (status 2).
//
// Threads: any; nothing is shared.
#include <map>
#include <string>
#include <vector>

namespace CLI {
class App;
}

struct CommandLineResult {
    bool exit = false; // true: print out and err, then exit with status
    int status = 0;
    std::string out; // for standard output
    std::string err; // for standard error
};

// Adds --version to app and parses args (the arguments after the program's name). Never throws.
CommandLineResult ParseCommandLine(CLI::App& app, const std::vector<std::string>& args);

// A failure found after parsing (a value out of range): the reason and the usage, status 2.
CommandLineResult CommandLineError(const CLI::App& app, const std::string& reason);

// "name version", e.g. "zenithprobe 0.1".
std::string VersionLine(const std::string& name);

// argv[1..argc-1] as strings.
std::vector<std::string> Arguments(int argc, const char* const* argv);

// Prints the result's texts; returns its status.
int PrintCommandLineResult(const CommandLineResult& result);

// For tools whose own usage text is the help and whose messages are their own: CLI11 reads the
// line, the caller checks each value. -h/--help and --version set *help and *version; each of
// valueOptions takes one text value (the last of a repeated one counts) and is stored in
// (*values)[name] when given. Returns "" or the reason the line is refused ("--baud needs a
// value", "unknown option --fast", ...).
struct FlagOption {
    const char* name;
    bool* value;
};
std::string ReadOptionValues(const std::vector<std::string>& args,
                             const std::vector<FlagOption>& flags,
                             const std::vector<const char*>& valueOptions,
                             std::map<std::string, std::string>* values);
