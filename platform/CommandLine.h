#pragma once
// The command line of every executable, parsed with CLI11 so that all of them answer alike:
// --help prints the usage on standard output (status 0), --version one line with the name and
// version (status 0), and an unknown option or a bad value gives the reason and the usage on
// standard error (status 2).
//
// Threads: any; nothing is shared.
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
