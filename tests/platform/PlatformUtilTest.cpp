// The display-free platform services: text conversion, window messages, events, lifetime guard.
#include "LifetimeGuard.h"
#include "TextConvert.h"
#include "Threads.h"
#include "WindowMessage.h"

#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <thread>

TEST(TextConvert, KeepsUtf8AndReplacesEveryOtherByte) {
    const std::string r = "\xEF\xBF\xBD";
    struct Case {
        const char* label;
        std::string in;
        std::string out;
    } cases[] = {
        {"ASCII with CR LF", "$GPGGA,1*00\r\n", "$GPGGA,1*00\r\n"},
        {"two- and three-byte characters", "\xC2\xB0 \xE2\x82\xAC", "\xC2\xB0 \xE2\x82\xAC"},
        {"four-byte character", "\xF0\x9F\x9B\xB0", "\xF0\x9F\x9B\xB0"},
        {"Latin-1 degree sign", "12\xB0N", "12" + r + "N"},
        {"truncated sequence at the end", "ab\xE2\x82", "ab" + r + r},
        {"overlong encoding", "\xC0\xAF", r + r},
        {"surrogate", "\xED\xA0\x80", r + r + r},
        {"beyond U+10FFFF", "\xF4\x90\x80\x80", r + r + r + r},
        {"zero byte kept", std::string("a\0b", 3), std::string("a\0b", 3)},
        {"empty", "", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(BytesToValidUtf8(c.in), c.out) << c.label;
    }
}

TEST(WindowMessage, OneNumberPerNameForTheWholeProcess) {
    const uint32_t com = RegisterWindowMessage("CSerialWnd_DefaultComMsg");
    EXPECT_GE(com, 0xC000u);
    EXPECT_LE(com, 0xFFFFu);
    EXPECT_EQ(RegisterWindowMessage("CSerialWnd_DefaultComMsg"), com);
    EXPECT_EQ(RegisterWindowMessage("cserialwnd_defaultcommsg"), com);
    const uint32_t other = RegisterWindowMessage("Zenithprobe_Other");
    EXPECT_NE(other, com);
    EXPECT_NE(other, 0u);
    EXPECT_EQ(RegisterWindowMessage(""), 0u);
}

TEST(Event, AutoResetWithTimedWait) {
    CEvent event;
    EXPECT_FALSE(event.Wait(1));
    event.Set();
    EXPECT_TRUE(event.Wait(0));  // set before the wait: no waiting
    EXPECT_FALSE(event.Wait(1)); // and reset by it
    event.Set();
    event.Reset();
    EXPECT_FALSE(event.Wait(1));
    std::thread setter([&] { event.Set(); });
    EXPECT_TRUE(event.Wait(kWaitInfinite));
    setter.join();
}

TEST(LifetimeGuard, CloseWaitsForLeasesAndRefusesNewOnes) {
    CLifetimeGuard guard;
    CLifetimeToken token = guard.Token();
    EXPECT_FALSE(CLifetimeToken().Enter());

    std::atomic<bool> entered{false};
    std::atomic<bool> released{false};
    std::atomic<bool> releaseNow{false};
    std::thread worker([&] {
        CLifetimeLease lease = token.Enter();
        ASSERT_TRUE(lease);
        entered = true;
        while (!releaseNow) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        released = true;
    });
    while (!entered) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    std::atomic<bool> closed{false};
    std::thread closer([&] {
        guard.Close();
        // Close returns only once the worker's lease is gone.
        EXPECT_TRUE(released.load());
        closed = true;
    });
    releaseNow = true;
    worker.join();
    closer.join();
    EXPECT_TRUE(closed.load());
    EXPECT_FALSE(guard.IsOpen());
    EXPECT_FALSE(token.Enter());
    guard.Close(); // idempotent
}
