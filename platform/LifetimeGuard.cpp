#include "LifetimeGuard.h"

struct CLifetimeToken::State {
    std::mutex mutex;
    std::condition_variable released;
    bool open = true; // guarded by mutex
    int leases = 0;   // guarded by mutex
};

CLifetimeLease CLifetimeToken::Enter() const {
    CLifetimeLease lease;
    if (!m_state) {
        return lease;
    }
    std::lock_guard lock(m_state->mutex);
    if (m_state->open) {
        ++m_state->leases;
        lease.m_state = m_state;
    }
    return lease;
}

CLifetimeLease::CLifetimeLease(CLifetimeLease&& other) noexcept
    : m_state(std::move(other.m_state)) {}

CLifetimeLease& CLifetimeLease::operator=(CLifetimeLease&& other) noexcept {
    if (this != &other) {
        Release();
        m_state = std::move(other.m_state);
    }
    return *this;
}

CLifetimeLease::~CLifetimeLease() {
    Release();
}

void CLifetimeLease::Release() {
    if (!m_state) {
        return;
    }
    {
        std::lock_guard lock(m_state->mutex);
        --m_state->leases;
    }
    m_state->released.notify_all();
    m_state.reset();
}

CLifetimeGuard::CLifetimeGuard() : m_state(std::make_shared<CLifetimeToken::State>()) {}

CLifetimeGuard::~CLifetimeGuard() {
    Close();
}

void CLifetimeGuard::Close() {
    std::unique_lock lock(m_state->mutex);
    m_state->open = false;
    m_state->released.wait(lock, [this] { return m_state->leases == 0; });
}

bool CLifetimeGuard::IsOpen() const {
    std::lock_guard lock(m_state->mutex);
    return m_state->open;
}
