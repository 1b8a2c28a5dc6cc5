// The RECEIVER key in the program's display-free half: saving it, and identification on the
// reader thread against a simulated receiver of each family.
#include "ReceiverLine.h"
#include "ReceiverMonitor.h"
#include "ReceiverSimulator.h"
#include "TestSupport.h"

#include <chrono>
#include <gtest/gtest.h>
#include <memory>
#include <thread>

namespace fs = std::filesystem;

namespace {

class FamilyMonitor : public CReceiverMonitor {
public:
    using CReceiverMonitor::m_nBaudRate;
    using CReceiverMonitor::m_strComPort;
    ~FamilyMonitor() override { StopReaderThread(); }
    bool Recognising() const { return m_receive.FrameRecognition(); }

protected:
    void ShowLine(std::string) override {}
    void ShowErrorMessage(const char*) override {}
};

class ReceiverKeyTest : public ::testing::Test {
protected:
    TempDir m_dir;
    fs::path m_ports = m_dir.Path() / "ports";
    bool m_made = fs::create_directories(m_ports);
    ScopedEnv m_portsEnv{"ZENITHPROBE_PORTS", m_ports.c_str()};
    ScopedEnv m_homeEnv{"ZENITHPROBE_HOME", m_dir.Path().c_str()};
};

} // namespace

// A choice from the menu reads back after a restart of the program, frames recognised with it.
TEST_F(ReceiverKeyTest, SavedAtOnceAndFramesFollowIt) {
    FamilyMonitor before;
    before.LoadSettings();
    EXPECT_FALSE(before.Recognising());
    before.SetReceiver({ReceiverFamily::SkyTraq, false}, true);
    FamilyMonitor after;
    after.LoadSettings();
    EXPECT_EQ(after.Receiver().family, ReceiverFamily::SkyTraq);
    EXPECT_TRUE(after.Recognising());
}

// RECEIVER=auto: the port's open starts identification on the reader thread; its result names
// the family restarts then use. The seven receivers run side by side on ports of their own.
TEST_F(ReceiverKeyTest, AutoIdentifiesEachFamilyAfterThePortOpens) {
    const ReceiverFamily families[] = {ReceiverFamily::None,      ReceiverFamily::Ubx,
                                       ReceiverFamily::Mtk,       ReceiverFamily::Airoha,
                                       ReceiverFamily::QuectelLg, ReceiverFamily::SkyTraq,
                                       ReceiverFamily::Casic};
    std::vector<std::unique_ptr<ReceiverSimulator>> sims;
    std::vector<std::unique_ptr<FamilyMonitor>> monitors;
    for (size_t i = 0; i < std::size(families); ++i) {
        SimOptions o;
        o.portsDir = m_ports;
        o.port = "COM" + std::to_string(i + 1);
        o.baud = 38400;
        o.rateHz = 1;
        o.seed = 1;
        o.family = families[i];
        o.notice = [](std::string_view) {};
        sims.push_back(std::make_unique<ReceiverSimulator>(o));
        ASSERT_TRUE(sims.back()->Start()) << sims.back()->Error();
        auto m = std::make_unique<FamilyMonitor>();
        m->m_strComPort = o.port;
        m->m_nBaudRate = 38400;
        m->SetReceiver({ReceiverFamily::None, true}, false);
        m->InitSerial();
        EXPECT_TRUE(m->Identifying());
        ASSERT_TRUE(m->StartReaderThread());
        monitors.push_back(std::move(m));
    }
    // Listening 1.5 s, then at most 1 s per family, with room for a loaded machine.
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    for (const auto& m : monitors) {
        while (m->Identifying() && std::chrono::steady_clock::now() < until) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
    for (size_t i = 0; i < std::size(families); ++i) {
        SCOPED_TRACE(ReceiverFamilyName(families[i]));
        FamilyMonitor& m = *monitors[i];
        EXPECT_FALSE(m.Identifying());
        EXPECT_EQ(m.Identity().family, families[i]);
        EXPECT_EQ(m.RestartFamily(), families[i]);
        const std::string line = ReceiverLineText(m.ReceiverLine());
        if (families[i] == ReceiverFamily::None) {
            EXPECT_NE(line.find("not identified"), std::string::npos) << line;
        } else {
            EXPECT_EQ(line.rfind(ReceiverFamilyName(families[i]), 0), 0u) << line;
        }
    }
}
