// zenithprobe-campaign --ports all end to end: eight simulated receivers from one simulator
// process and a ninth, in-process, that hangs up before its fix. Each port gets its own record,
// the comparison agrees with each record's JSON to the digit, a later --compare over the same
// folder writes the same comparison, and the lost port does not stop the others.
#include "ReceiverSimulator.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <map>
#include <memory>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;

namespace {

// The comparison's rows by port, each a map of column name to cell (no quoted cells here).
std::map<std::string, std::map<std::string, std::string>> RackRows(const fs::path& csv) {
    std::stringstream in(ReadFileBytes(csv));
    std::vector<std::string> header;
    std::map<std::string, std::map<std::string, std::string>> rows;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        std::vector<std::string> cells;
        std::stringstream split(line + ",");
        for (std::string cell; std::getline(split, cell, ',');) {
            cells.push_back(cell);
        }
        if (header.empty()) {
            header = cells;
            continue;
        }
        std::map<std::string, std::string> row;
        for (size_t i = 0; i < header.size() && i < cells.size(); ++i) {
            row[header[i]] = cells[i];
        }
        rows[row["port"]] = row;
    }
    return rows;
}

fs::path OnlyFile(const fs::path& folder, const std::string& prefix, const std::string& ext) {
    fs::path found;
    for (const auto& e : fs::directory_iterator(folder)) {
        const std::string name = e.path().filename().string();
        if (name.starts_with(prefix) && e.path().extension() == ext) {
            EXPECT_TRUE(found.empty()) << "two " << prefix << ext << " in " << folder;
            found = e.path();
        }
    }
    return found;
}

// The text of "median": in the campaign JSON's summary (one kind).
std::string JsonMedian(const fs::path& json) {
    const std::string text = ReadFileBytes(json);
    const size_t at = text.find("\"median\": ");
    return at == std::string::npos ? "" : text.substr(at + 10, text.find(',', at) - at - 10);
}

TEST(RackToolTest, NinePortsOneLostAndTheComparison) {
    TempDir dir;
    const fs::path ports = dir.Path() / "ports";
    const fs::path out = dir.Path() / "out";
    fs::create_directories(ports);
    fs::create_directories(out);
    ScopedEnv portsEnv("ZENITHPROBE_PORTS", ports.c_str());
    ScopedEnv home("ZENITHPROBE_HOME", dir.Path().c_str());
    ScopedEnv clock("ZENITHPROBE_NO_CLOCK", "1");

    const int sims = SpawnTool("zenithprobe-sim",
                               {"--count", "8", "--family", "ubx,mtk", "--baud", "115200",
                                "--rate-hz", "10", "--ttff-cold", "0.3-0.9", "--seed", "7",
                                "--truth", (dir.Path() / "truth").string()},
                               dir.Path() / "sim.out", dir.Path() / "sim.err");
    ASSERT_GT(sims, 0);
    for (int waited = 0; waited < 10000 && !fs::exists(ports / "COM8"); waited += 20) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    SimOptions o;
    o.port = "COM9";
    o.portsDir = ports;
    o.baud = 115200;
    o.rateHz = 10;
    o.ttffCold = {5, 5};
    o.hangupAfterS = 1.0;
    o.notice = [](std::string_view) {};
    ReceiverSimulator unplugged(o);
    ASSERT_TRUE(unplugged.Start()) << unplugged.Error();

    const int status =
        WaitTool(SpawnTool("zenithprobe-campaign",
                           {"--ports", "all", "--receiver", "auto", "--baud", "115200", "--runs",
                            "1", "--settle", "0", "--out", out.string()},
                           dir.Path() / "rack.out", dir.Path() / "rack.err"));
    kill(sims, SIGTERM);
    EXPECT_EQ(WaitTool(sims), 0);
    EXPECT_EQ(status, 1) << ReadFileBytes(dir.Path() / "rack.err");

    const fs::path rack = OnlyFile(out, "rack_", ".csv");
    ASSERT_FALSE(rack.empty()) << ReadFileBytes(dir.Path() / "rack.out");
    const auto rows = RackRows(rack);
    ASSERT_EQ(rows.size(), 9u) << ReadFileBytes(rack);
    const std::string progress = ReadFileBytes(dir.Path() / "rack.out");
    for (int n = 1; n <= 9; ++n) {
        const std::string port = "COM" + std::to_string(n);
        SCOPED_TRACE(port);
        const fs::path folder = out / port;
        ASSERT_TRUE(fs::is_directory(folder));
        for (const char* ext : {".csv", ".json", ".svg", ".nmea"}) {
            EXPECT_FALSE(OnlyFile(folder, "campaign_", ext).empty()) << ext;
        }
        const auto& row = rows.at(port);
        if (n == 9) {
            EXPECT_EQ(row.at("passed"), "0");
            EXPECT_NE(row.at("port_lost"), "0");
            EXPECT_EQ(row.at("ttff_median_ms"), "");
            continue;
        }
        EXPECT_EQ(row.at("runs"), "1");
        EXPECT_EQ(row.at("passed"), "1");
        EXPECT_EQ(row.at("receiver"), n % 2 == 1 ? "ubx" : "mtk"); // identified, then restarted
        EXPECT_EQ(row.at("ttff_median_ms"), JsonMedian(OnlyFile(folder, "campaign_", ".json")));
        EXPECT_NE(progress.find(port + ": run 1/1 cold: TTFF "), std::string::npos);
    }

    // The same records compared later, from their folder: the same comparison, byte for byte.
    const fs::path again = dir.Path() / "again";
    fs::create_directories(again);
    EXPECT_EQ(WaitTool(SpawnTool("zenithprobe-campaign",
                                 {"--compare", out.string(), "--out", again.string()},
                                 dir.Path() / "compare.out", dir.Path() / "compare.err")),
              0);
    const fs::path later = OnlyFile(again, "rack_", ".csv");
    ASSERT_FALSE(later.empty()) << ReadFileBytes(dir.Path() / "compare.err");
    EXPECT_EQ(ReadFileBytes(later), ReadFileBytes(rack));
}

// A receiver unplugged and plugged back with --reconnect: its port reopens, most likely on the
// descriptor number it had, and the rack must wait on it again rather than leave it silent.
TEST(RackToolTest, AReplugGoesOnInTheRack) {
    TempDir dir;
    const fs::path out = dir.Path() / "out";
    fs::create_directories(out);
    ScopedEnv portsEnv("ZENITHPROBE_PORTS", dir.Path().c_str());
    ScopedEnv home("ZENITHPROBE_HOME", dir.Path().c_str());
    ScopedEnv clock("ZENITHPROBE_NO_CLOCK", "1");
    SimOptions o;
    o.portsDir = dir.Path();
    o.baud = 115200;
    o.rateHz = 10;
    o.ttffCold = {0.4, 0.5};
    o.notice = [](std::string_view) {};
    o.port = "COM2";
    ReceiverSimulator steady(o);
    ASSERT_TRUE(steady.Start()) << steady.Error();
    o.port = "COM1";
    o.hangupAfterS = 1.6;
    auto replugged = std::make_unique<ReceiverSimulator>(o);
    ASSERT_TRUE(replugged->Start()) << replugged->Error();

    const int rack = SpawnTool("zenithprobe-campaign",
                               {"--ports", "COM1,COM2", "--reconnect", "--baud", "115200", "--runs",
                                "4", "--settle", "0", "--out", out.string()},
                               dir.Path() / "rack.out", dir.Path() / "rack.err");
    ASSERT_TRUE(replugged->WaitFor([](const SimStatus& s) { return s.finished; }, 20000));
    replugged->Stop();
    o.hangupAfterS = -1;
    replugged = std::make_unique<ReceiverSimulator>(o);
    ASSERT_TRUE(replugged->Start()) << replugged->Error();
    EXPECT_EQ(WaitTool(rack), 1) << ReadFileBytes(dir.Path() / "rack.err");

    const std::string err = ReadFileBytes(dir.Path() / "rack.err");
    EXPECT_NE(err.find("COM1: the port COM1 is back"), std::string::npos) << err;
    const fs::path csv = OnlyFile(out, "rack_", ".csv");
    ASSERT_FALSE(csv.empty()) << ReadFileBytes(dir.Path() / "rack.out");
    const auto rows = RackRows(csv);
    ASSERT_EQ(rows.size(), 2u) << ReadFileBytes(csv);
    EXPECT_EQ(rows.at("COM1").at("runs"), "4");
    EXPECT_EQ(rows.at("COM1").at("port_lost"), "1");
    EXPECT_EQ(rows.at("COM1").at("passed"), "3");
    EXPECT_EQ(rows.at("COM2").at("passed"), "4");
}

} // namespace
