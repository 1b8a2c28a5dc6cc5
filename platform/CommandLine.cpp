#include "CommandLine.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>

CommandLineResult ParseCommandLine(CLI::App& app, const std::vector<std::string>& args) {
    bool version = false;
    app.add_flag("--version", version, "Print the name and version, then exit");
    // CLI11 takes a vector from its end.
    std::vector<std::string> reversed(args.rbegin(), args.rend());
    try {
        app.parse(reversed);
    } catch (const CLI::CallForHelp&) {
        return {true, 0, app.help(), ""};
    } catch (const CLI::ParseError& e) {
        return CommandLineError(app, e.what());
    }
    if (version) {
        return {true, 0, VersionLine(app.get_name()) + "\n", ""};
    }
    return {};
}

CommandLineResult CommandLineError(const CLI::App& app, const std::string& reason) {
    return {true, 2, "", app.get_name() + ": " + reason + "\n" + app.help()};
}

std::string VersionLine(const std::string& name) {
    return name + " " ZP_VERSION;
}

std::vector<std::string> Arguments(int argc, const char* const* argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        args.emplace_back(argv[i]);
    }
    return args;
}

int PrintCommandLineResult(const CommandLineResult& result) {
    std::fputs(result.out.c_str(), stdout);
    std::fputs(result.err.c_str(), stderr);
    std::fflush(stdout);
    return result.status;
}
