#pragma once
// CLifetimeGuard: lets other threads, and calls posted to the user-interface thread, reach an
// object only while it lives.
//
// The owner (a dialog) holds the guard and hands out tokens. A worker thread copies a token and,
// each time it wants to touch the owner, takes a lease:
//     if (CLifetimeLease lease = token.Enter()) { ... use the owner ... }
// Close() (the owner, before it goes away) refuses new leases and waits until the held ones are
// returned; after it, no lease is ever granted again, so a thread that outlives the owner can
// never touch it. A lease must not be held across a wait for the thread that calls Close.
//
// Threads: any thread may call Enter on a token and drop leases; the owner's thread calls Close
// (the destructor closes too). The shared state's mutex guards the open flag and the lease count.
#include <condition_variable>
#include <memory>
#include <mutex>

class CLifetimeLease;

class CLifetimeToken {
public:
    CLifetimeToken() = default; // refers to nothing: Enter always fails
    CLifetimeLease Enter() const;

    struct State; // shared by the guard, its tokens and their leases

private:
    friend class CLifetimeGuard;
    explicit CLifetimeToken(std::shared_ptr<State> state) : m_state(std::move(state)) {}
    std::shared_ptr<State> m_state;
};

class CLifetimeLease {
public:
    CLifetimeLease() = default;
    CLifetimeLease(CLifetimeLease&& other) noexcept;
    CLifetimeLease& operator=(CLifetimeLease&& other) noexcept;
    CLifetimeLease(const CLifetimeLease&) = delete;
    CLifetimeLease& operator=(const CLifetimeLease&) = delete;
    ~CLifetimeLease();

    explicit operator bool() const { return m_state != nullptr; }

private:
    friend class CLifetimeToken;
    void Release();
    std::shared_ptr<CLifetimeToken::State> m_state;
};

class CLifetimeGuard {
public:
    CLifetimeGuard();
    ~CLifetimeGuard(); // Close()
    CLifetimeGuard(const CLifetimeGuard&) = delete;
    CLifetimeGuard& operator=(const CLifetimeGuard&) = delete;

    CLifetimeToken Token() const { return CLifetimeToken(m_state); }
    // Refuses new leases and waits until every held lease is released. Idempotent.
    void Close();
    bool IsOpen() const;

private:
    std::shared_ptr<CLifetimeToken::State> m_state;
};
