#pragma once
// Debug output: the program's diagnostic lines.
//
// Threads: any thread may call DebugPrint. Each call formats into one string and hands it to the
// sink under one mutex, so lines from different threads never interleave. The mutex guards the
// sink and the enabled flag's first read from the environment.
//
// Silent by default; on standard error when ZENITHPROBE_DEBUG=1 is set or DebugEnable(true) was
// called (the program's --debug). A test installs a capture sink, which receives every line
// whether or not output is enabled.
#include <functional>
#include <string>
#include <string_view>

void DebugPrint(const char* format, ...) __attribute__((format(printf, 1, 2)));
void DebugEnable(bool on);
bool DebugEnabled();

using DebugSink = std::function<void(std::string_view line)>;
// Replaces the sink; an empty function restores standard error.
void DebugSetSink(DebugSink sink);

// Collects debug lines for the lifetime of the object (tests).
class DebugCapture {
public:
    DebugCapture();
    ~DebugCapture();
    DebugCapture(const DebugCapture&) = delete;
    DebugCapture& operator=(const DebugCapture&) = delete;
    std::string Text() const;
    void Clear();

private:
    struct Impl;
    Impl* m_impl;
};
