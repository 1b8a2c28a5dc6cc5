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

std::string ReadOptionValues(const std::vector<std::string>& args,
                             const std::vector<FlagOption>& flags,
                             const std::vector<const char*>& valueOptions,
                             std::map<std::string, std::string>* values) {
    CLI::App app;
    app.set_help_flag();
    app.allow_extras();
    for (const FlagOption& flag : flags) {
        app.add_flag(flag.name, *flag.value);
    }
    std::map<std::string, std::string> read;
    for (const char* name : valueOptions) {
        app.add_option(name, read[name])->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    }
    std::vector<std::string> reversed(args.rbegin(), args.rend());
    try {
        app.parse(reversed);
    } catch (const CLI::ParseError& e) {
        // A value option at the end of the line: CLI11 says "--baud: 1 required TEXT missing".
        const std::string what = e.what();
        const size_t colon = what.find(':');
        if (colon != std::string::npos && what.compare(0, 2, "--") == 0) {
            return what.substr(0, colon) + " needs a value";
        }
        return what;
    }
    if (!app.remaining().empty()) {
        return "unknown option " + app.remaining().front();
    }
    values->clear();
    for (const char* name : valueOptions) {
        if (app.count(name) > 0) {
            (*values)[name] = read[name];
        }
    }
    return "";
}
