#include "IniFile.h"
#include "TestSupport.h"

#include <atomic>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

// The setup dialog's search thread and the user-interface thread may use the store at once.
// Rewrites replace the file whole, so a reader never sees a torn or missing file, and two
// writers never share a temporary file.
TEST(IniFileThreads, ReadersNeverSeeATornFile) {
    TempDir dir;
    fs::path file = dir.Path() / "Zenithprobe.ini";
    WriteFileBytes(file, "[Zenithprobe]\r\nBAUD_RATE=9600\r\n[SONY]\r\n[SIRF]\r\n");

    std::atomic<bool> writing{true};
    std::atomic<int> badReads{0};
    std::atomic<int> failedWrites{0};
    std::thread reader([&] {
        while (writing.load()) {
            if (IniReadInt("Zenithprobe", "BAUD_RATE", 0, file) != 9600) {
                badReads.fetch_add(1);
            }
        }
    });
    std::vector<std::thread> writers;
    for (const char* section : {"SONY", "SIRF"}) {
        writers.emplace_back([&, section] {
            for (int i = 0; i < 60; ++i) {
                std::string key = std::to_string(i % 7 + 1);
                std::string value = std::string(section) + "-" + std::to_string(i);
                if (IniWriteString(section, key.c_str(), value.c_str(), file) !=
                    static_cast<int>(value.size())) {
                    failedWrites.fetch_add(1);
                }
            }
        });
    }
    for (auto& w : writers) {
        w.join();
    }
    writing.store(false);
    reader.join();

    EXPECT_EQ(badReads.load(), 0);
    EXPECT_EQ(failedWrites.load(), 0);
    EXPECT_EQ(IniReadInt("Zenithprobe", "BAUD_RATE", 0, file), 9600);
    size_t entries = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(dir.Path())) {
        ++entries;
    }
    EXPECT_EQ(entries, 1u) << "no temporary file remains";
}
