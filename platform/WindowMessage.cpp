#include "WindowMessage.h"

#include <cctype>
#include <map>
#include <mutex>
#include <string>

namespace {
constexpr uint32_t kFirstMessage = 0xC000;
constexpr uint32_t kLastMessage = 0xFFFF;

std::mutex& RegistryLock() {
    static std::mutex lock;
    return lock;
}

// Reached from static initialisers of other files: built on first use, never destroyed before them.
std::map<std::string, uint32_t>& Registry() {
    static auto* registry = new std::map<std::string, uint32_t>;
    return *registry;
}
} // namespace

uint32_t RegisterWindowMessage(std::string_view name) {
    if (name.empty()) {
        return 0;
    }
    std::string key;
    key.reserve(name.size());
    for (char c : name) {
        key.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
    }
    std::lock_guard lock(RegistryLock());
    auto& registry = Registry();
    if (auto it = registry.find(key); it != registry.end()) {
        return it->second;
    }
    const uint32_t next = kFirstMessage + static_cast<uint32_t>(registry.size());
    if (next > kLastMessage) {
        return 0;
    }
    registry.emplace(std::move(key), next);
    return next;
}
