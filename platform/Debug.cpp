#include "Debug.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>

namespace {
std::mutex g_debugLock;
DebugSink g_sink;   // guarded by g_debugLock
int g_enabled = -1; // -1: not yet read from the environment; guarded by g_debugLock

bool EnabledLocked() {
    if (g_enabled < 0) {
        const char* env = std::getenv("ZENITHPROBE_DEBUG");
        g_enabled = (env != nullptr && std::strcmp(env, "1") == 0) ? 1 : 0;
    }
    return g_enabled == 1;
}
} // namespace

void DebugPrint(const char* format, ...) {
    char small[512];
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    int n = std::vsnprintf(small, sizeof small, format, args);
    va_end(args);
    std::string line;
    if (n < 0) {
        va_end(again);
        return;
    }
    if (static_cast<size_t>(n) < sizeof small) {
        line.assign(small, static_cast<size_t>(n));
    } else {
        line.resize(static_cast<size_t>(n) + 1);
        std::vsnprintf(line.data(), line.size(), format, again);
        line.resize(static_cast<size_t>(n));
    }
    va_end(again);

    std::lock_guard lock(g_debugLock);
    if (g_sink) {
        g_sink(line);
    } else if (EnabledLocked()) {
        std::fwrite(line.data(), 1, line.size(), stderr);
        std::fflush(stderr);
    }
}

void DebugEnable(bool on) {
    std::lock_guard lock(g_debugLock);
    g_enabled = on ? 1 : 0;
}

bool DebugEnabled() {
    std::lock_guard lock(g_debugLock);
    return EnabledLocked();
}

void DebugSetSink(DebugSink sink) {
    std::lock_guard lock(g_debugLock);
    g_sink = std::move(sink);
}

struct DebugCapture::Impl {
    mutable std::mutex lock;
    std::string text;
};

DebugCapture::DebugCapture() : m_impl(new Impl) {
    Impl* impl = m_impl;
    DebugSetSink([impl](std::string_view line) {
        std::lock_guard lock(impl->lock);
        impl->text.append(line);
    });
}

DebugCapture::~DebugCapture() {
    DebugSetSink({});
    delete m_impl;
}

std::string DebugCapture::Text() const {
    std::lock_guard lock(m_impl->lock);
    return m_impl->text;
}

void DebugCapture::Clear() {
    std::lock_guard lock(m_impl->lock);
    m_impl->text.clear();
}
