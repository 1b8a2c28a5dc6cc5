#include "Fatal.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <string>

namespace {
std::mutex g_fatalLock;
FatalMessageHook g_hook; // guarded by g_fatalLock

void DefaultHook(std::string_view caption, std::string_view text) {
    std::fprintf(stderr, "%.*s: %.*s\n", static_cast<int>(caption.size()), caption.data(),
                 static_cast<int>(text.size()), text.data());
}

// A debugger (or any tracer) shows up as a non-zero TracerPid.
bool DebuggerAttached() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("TracerPid:", 0) == 0) {
            return std::strtol(line.c_str() + 10, nullptr, 10) != 0;
        }
    }
    return false;
}
} // namespace

void FatalSetMessageHook(FatalMessageHook hook) {
    std::lock_guard lock(g_fatalLock);
    g_hook = std::move(hook);
}

void FatalStop(std::string_view caption, std::string_view text, int exitCode) {
    FatalMessageHook hook;
    {
        std::lock_guard lock(g_fatalLock);
        hook = g_hook;
    }
    if (hook) {
        hook(caption, text);
    } else {
        DefaultHook(caption, text);
    }
    if (DebuggerAttached()) {
        std::raise(SIGTRAP);
    }
    std::fflush(nullptr);
    std::_Exit(exitCode);
}
