#include "Debug.h"
#include "Paths.h"
#include "TestSupport.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

TEST(DebugOutput, CaptureSeesWholeLinesFromManyThreads) {
    DebugCapture capture;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < 200; ++i) {
                DebugPrint("[%d:%03d]\r\n", t, i);
            }
        });
    }
    for (auto& th : threads) {
        th.join();
    }
    std::string text = capture.Text();
    // Every line is intact: 800 lines, each of the form "[t:iii]\r\n".
    size_t lines = 0;
    for (size_t pos = 0; pos < text.size(); ++lines) {
        size_t end = text.find("\r\n", pos);
        ASSERT_NE(end, std::string::npos);
        ASSERT_EQ(end - pos, 7u) << text.substr(pos, end - pos);
        pos = end + 2;
    }
    EXPECT_EQ(lines, 800u);
}

TEST(DebugOutput, LongLinesAreNotCut) {
    DebugCapture capture;
    std::string big(2000, 'x');
    DebugPrint("%s\n", big.c_str());
    EXPECT_EQ(capture.Text(), big + "\n");
}

TEST(PortNames, ResolveAgainstPortsFolder) {
    TempDir ports;
    ScopedEnv env("ZENITHPROBE_PORTS", ports.Path().c_str());
    fs::create_symlink("/dev/null", ports.Path() / "COM3");
    fs::create_symlink(ports.Path() / "nowhere", ports.Path() / "COM4");

    struct Case {
        const char* label;
        const char* name;
        fs::path expected;
    } cases[] = {
        {"link, trailing colon", "COM3:", ports.Path() / "COM3"},
        {"lower case", "com3", ports.Path() / "COM3"},
        {"dangling link has no fallback", "COM4:", ports.Path() / "COM4"},
        {"missing entry has no fallback when exclusive", "COM1:", ports.Path() / "COM1"},
        {"path is taken as it is", "/dev/ttyUSB0:", "/dev/ttyUSB0"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ResolvePortName(c.name), c.expected.string()) << c.label;
    }
}

TEST(PortNames, DefaultFolderFallsBackToTtyS) {
    TempDir home;
    ScopedEnv noPorts("ZENITHPROBE_PORTS", nullptr);
    ScopedEnv homeEnv("ZENITHPROBE_HOME", home.Path().c_str());
    fs::create_directory(home.Path() / "ports");
    fs::create_symlink("/dev/null", home.Path() / "ports" / "COM2");

    EXPECT_EQ(ProgramFolder().string(), home.Path().string() + "/");
    EXPECT_EQ(ResolvePortName("COM2:"), (home.Path() / "ports" / "COM2").string());
    EXPECT_EQ(ResolvePortName("COM1:"), "/dev/ttyS0");
    EXPECT_EQ(ResolvePortName("COM10"), "/dev/ttyS9");
    EXPECT_EQ(ResolvePortName("COM0:"), (home.Path() / "ports" / "COM0").string());
}
