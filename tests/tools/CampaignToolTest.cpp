// zenithprobe-campaign end to end against the simulated receiver (115200 baud, 10 epochs a
// second, short TTFFs) and its ground truth: the timing, the record's files, an interrupted
// campaign and the exit statuses.
#include "IniFile.h"
#include "ReceiverSimulator.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <map>
#include <regex>
#include <spawn.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <wx/init.h>
#include <wx/xml/xml.h>

extern char** environ;

namespace fs = std::filesystem;

namespace {

std::vector<std::string> Split(const std::string& text, char sep) {
    std::vector<std::string> parts;
    std::stringstream in(text);
    std::string part;
    while (std::getline(in, part, sep)) {
        parts.push_back(part);
    }
    return parts;
}

// Data rows of a CSV (header dropped), each split at the commas; every row must end in CR LF.
std::vector<std::vector<std::string>> CsvRows(const fs::path& file) {
    std::vector<std::vector<std::string>> rows;
    const std::vector<std::string> lines = Split(ReadFileBytes(file), '\n');
    for (size_t i = 1; i < lines.size(); ++i) {
        EXPECT_TRUE(!lines[i].empty() && lines[i].back() == '\r') << "half a row: " << lines[i];
        rows.push_back(Split(lines[i].substr(0, lines[i].size() - 1), ','));
    }
    return rows;
}

// A value of "key":value in a JSON line of the simulator's truth.
double TruthValue(const std::string& line, const std::string& key) {
    const size_t at = line.find("\"" + key + "\":");
    return at == std::string::npos ? -1 : std::atof(line.c_str() + at + key.size() + 3);
}

// A strict little JSON checker: true when text is one well-formed value.
class JsonCheck {
public:
    explicit JsonCheck(const std::string& t) : s(t) {}
    bool Whole() { return Value() && (Space(), i == s.size()); }

private:
    void Space() {
        while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i]))) {
            ++i;
        }
    }
    bool Word(const char* w) {
        const size_t n = std::strlen(w);
        return s.compare(i, n, w) == 0 ? (i += n, true) : false;
    }
    bool String() {
        if (s[i] != '"') {
            return false;
        }
        for (++i; i < s.size(); ++i) {
            if (s[i] == '\\') {
                ++i;
            } else if (s[i] == '"') {
                return ++i, true;
            } else if (static_cast<unsigned char>(s[i]) < 0x20) {
                return false;
            }
        }
        return false;
    }
    bool Number() {
        char* end = nullptr;
        std::strtod(s.c_str() + i, &end);
        const size_t n = static_cast<size_t>(end - (s.c_str() + i));
        return n > 0 ? (i += n, true) : false;
    }
    template <class Item> bool List(char close, Item item) {
        ++i;
        Space();
        if (i < s.size() && s[i] == close) {
            return ++i, true;
        }
        for (;;) {
            if (!item()) {
                return false;
            }
            Space();
            if (i < s.size() && s[i] == ',') {
                ++i;
                continue;
            }
            return i < s.size() && s[i] == close ? (++i, true) : false;
        }
    }
    bool Value() {
        Space();
        if (i >= s.size()) {
            return false;
        }
        switch (s[i]) {
        case '{':
            return List('}',
                        [this] { return Space(), String() && (Space(), Word(":")) && Value(); });
        case '[':
            return List(']', [this] { return Value(); });
        case '"':
            return String();
        default:
            return Word("true") || Word("false") || Word("null") || Number();
        }
    }
    const std::string& s;
    size_t i = 0;
};

class CampaignToolTest : public ::testing::Test {
protected:
    void StartSim(double hotMinS = 0.2, double hotMaxS = 0.3, bool binary = false,
                  ReceiverFamily family = ReceiverFamily::None) {
        SimOptions o;
        o.family = family;
        o.binaryUbx = binary;
        o.binaryRtcm3 = binary;
        o.portsDir = m_dir.Path();
        o.baud = 115200;
        o.rateHz = 10;
        o.seed = 5;
        o.ttffCold = {0.6, 0.9};
        o.ttffWarm = {0.4, 0.6};
        o.ttffHot = {hotMinS, hotMaxS};
        o.truthFile = m_dir.Path() / "truth.jsonl";
        o.notice = [](std::string_view) {};
        m_sim = std::make_unique<ReceiverSimulator>(o);
        ASSERT_TRUE(m_sim->Start()) << m_sim->Error();
    }

    // Starts the command with its standard output in a file; returns its process id.
    pid_t Spawn(std::vector<std::string> args, const std::string& output = "stdout") {
        args.insert(args.begin(), (BinDir() / "zenithprobe-campaign").string());
        std::vector<char*> argv;
        for (std::string& a : args) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        const std::string out = (m_dir.Path() / output).string();
        const std::string err = (m_dir.Path() / "stderr").string();
        posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        pid_t pid = -1;
        EXPECT_EQ(posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        return pid;
    }
    static int Wait(pid_t pid) {
        int status = 0;
        waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    int Run(std::vector<std::string> args) { return Wait(Spawn(std::move(args))); }
    fs::path Record(const char* extension, const fs::path& folder = {}) const {
        for (const auto& e : fs::directory_iterator(folder.empty() ? m_out : folder)) {
            if (e.path().extension() == extension) {
                return e.path();
            }
        }
        return {};
    }

    TempDir m_dir;
    ScopedEnv m_ports{"ZENITHPROBE_PORTS", m_dir.Path().c_str()};
    ScopedEnv m_home{"ZENITHPROBE_HOME", m_dir.Path().c_str()};
    ScopedEnv m_clock{"ZENITHPROBE_NO_CLOCK", "1"};
    fs::path m_out = m_dir.Path() / "out";
    std::unique_ptr<ReceiverSimulator> m_sim;
};

TEST_F(CampaignToolTest, FiveCyclesMatchTheTruthAndMakeTheRecord) {
    // Hot starts held to 0 s while the receiver needs a second: they fail, from the INI file.
    IniWriteString("Zenithprobe", "TIME_CRITERIA_H", "0", m_dir.Path() / "Zenithprobe.ini");
    StartSim(1.05, 1.3);
    fs::create_directory(m_out);
    EXPECT_EQ(Run({"--baud", "115200", "--kind", "cold,warm,hot", "--runs", "5", "--settle", "0",
                   "--out", m_out.string()}),
              1);
    m_sim->Stop();

    const std::vector<std::string> truth = Split(ReadFileBytes(m_dir.Path() / "truth.jsonl"), '\n');
    const auto rows = CsvRows(Record(".csv"));
    ASSERT_EQ(rows.size(), 15u);
    ASSERT_GE(truth.size(), 15u);
    const char* kinds[] = {"cold", "warm", "hot"};
    for (size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE("run " + std::to_string(i + 1));
        ASSERT_EQ(rows[i].size(), 25u);
        EXPECT_EQ(rows[i][1], kinds[i % 3]);
        EXPECT_NE(truth[i].find(std::string("\"kind\":\"") + kinds[i % 3] + "\""),
                  std::string::npos);
        EXPECT_EQ(rows[i][3], i % 3 == 2 ? "failed" : "passed");
        const double truthMs =
            (TruthValue(truth[i], "fix_s") - TruthValue(truth[i], "loss_s")) * 1000;
        // One epoch (100 ms) of quantisation, plus 20 ms for the line and the reads.
        EXPECT_NEAR(std::atof(rows[i][5].c_str()), truthMs, 120.0);
        EXPECT_EQ(rows[i][17], "poll");
        // The fix epoch's GSV lists at least the four satellites of the fix.
        EXPECT_GE(std::atof(rows[i][18].c_str()), 12.0) << rows[i][18];
    }
    const std::string json = ReadFileBytes(Record(".json"));
    EXPECT_TRUE(JsonCheck(json).Whole()) << json;
    EXPECT_NE(json.find("\"kind\": \"hot\", \"runs\": 5, \"passed\": 0, \"failed\": 5"),
              std::string::npos);

    wxInitializer init;
    wxXmlDocument svg;
    ASSERT_TRUE(svg.Load(Record(".svg").string())) << "not well-formed";
    int marks = 0;
    std::vector<wxXmlNode*> todo{svg.GetRoot()};
    while (!todo.empty()) {
        wxXmlNode* node = todo.back();
        todo.pop_back();
        marks += node->GetAttribute("class") == "run" ? 1 : 0;
        for (wxXmlNode* c = node->GetChildren(); c != nullptr; c = c->GetNext()) {
            todo.push_back(c);
        }
    }
    EXPECT_EQ(marks, 15);
    // The raw stream: whole lines with CR LF.
    const std::string raw = ReadFileBytes(Record(".nmea"));
    EXPECT_EQ(raw.rfind("\r\n"), raw.size() - 2);
    EXPECT_NE(raw.find("$GPGSA,A,1"), std::string::npos);
}

// A u-blox receiver that also sends RTCM 3: the runs pass and --keep-frames captures frames and
// sentences in the .bin.
TEST_F(CampaignToolTest, KeepFramesCapturesWhatTheNmeaRecordLeavesOut) {
    StartSim(0.2, 0.3, true);
    fs::create_directory(m_out);
    EXPECT_EQ(Run({"--baud", "115200", "--kind", "hot", "--runs", "2", "--settle", "0",
                   "--keep-frames", "--out", m_out.string()}),
              0);
    m_sim->Stop();
    const std::string nmea = ReadFileBytes(Record(".nmea"));
    const std::string bin = ReadFileBytes(Record(".bin"));
    EXPECT_NE(bin.find("\xB5\x62\x01\x35"), std::string::npos);     // NAV-SAT
    EXPECT_NE(bin.find("\xD3\x00\x13\x3E\xD0"), std::string::npos); // message 1005
    // The record's first sentences, each whole; frames may come between them in the capture.
    size_t at = 0;
    for (size_t begin = 0, n = 0; n < 3 && begin < nmea.size(); ++n) {
        const size_t end = nmea.find("\r\n", begin);
        ASSERT_NE(end, std::string::npos);
        at = bin.find(nmea.substr(begin, end + 2 - begin), at);
        ASSERT_NE(at, std::string::npos) << nmea.substr(begin, end - begin);
        begin = end + 2;
    }
}

TEST_F(CampaignToolTest, InterruptedCampaignsKeepTheirFinishedRuns) {
    StartSim();
    fs::create_directory(m_out);
    for (int signal : {SIGINT, SIGHUP, SIGKILL}) {
        SCOPED_TRACE(signal == SIGINT ? "Ctrl-C" : signal == SIGHUP ? "hang-up" : "killed");
        for (const auto& e : fs::directory_iterator(m_out)) {
            fs::remove(e.path());
        }
        const pid_t pid =
            Spawn({"--baud", "115200", "--runs", "100", "--settle", "0", "--out", m_out.string()});
        for (int waited = 0; waited < 20000; waited += 50) {
            const fs::path csv = Record(".csv");
            if (!csv.empty() && CsvRows(csv).size() >= 2) {
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        kill(pid, signal);
        EXPECT_EQ(Wait(pid), signal == SIGKILL ? 128 + SIGKILL : 1);
        const auto rows = CsvRows(Record(".csv"));
        ASSERT_GE(rows.size(), 2u);
        EXPECT_LT(rows.size(), 100u);
        for (const auto& row : rows) {
            EXPECT_EQ(row.size(), 25u);
        }
        // Ctrl-C and a hang-up still write the summary and the plot; a killed command leaves
        // them empty.
        EXPECT_EQ(JsonCheck(ReadFileBytes(Record(".json"))).Whole(), signal != SIGKILL);
    }
}

TEST_F(CampaignToolTest, ExitStatuses) {
    struct Row {
        const char* label;
        std::vector<std::string> args;
        int status;
        const char* criterionC = "50"; // TIME_CRITERIA_C in the INI file
        const char* stderrHas = "";
    } rows[] = {
        {"help", {"--help"}, 0},
        {"version", {"--version"}, 0},
        {"value missing", {"--runs"}, 2},
        {"bad kind", {"--kind", "lukewarm"}, 2},
        {"no runs", {"--runs", "0"}, 2},
        {"unknown option", {"--fast"}, 2},
        {"no such port", {"--port", "COM7"}, 2, "50", "cannot open port COM7"},
        {"a reference that is no number", {"--reference", "nan,10"}, 2, "50", "--reference"},
        {"an infinite altitude", {"--reference", "48,10,inf"}, 2, "50", "--reference"},
        {"a criterion below zero", {"--port", "COM7"}, 2, "-1", "TIME_CRITERIA_C=-1"},
        {"a criterion beyond a day", {"--port", "COM7"}, 2, "1431656", "TIME_CRITERIA_C"},
        {"runs x kinds beyond the limit",
         {"--runs", "100000", "--kind", "cold,warm,hot,cold,warm,hot,cold,warm,hot,cold,warm"},
         2,
         "50",
         "--runs"},
        {"time-out 0 means per kind",
         {"--timeout", "0", "--port", "COM7"},
         2,
         "50",
         "cannot open port"},
        {"static without a duration", {"--kind", "static"}, 2, "50", "--duration"},
        {"a duration for restarts", {"--duration", "60"}, 2, "50", "--duration"},
        {"runs for a static run",
         {"--kind", "static", "--duration", "60", "--runs", "3"},
         2,
         "50",
         "--runs"},
        {"unknown receiver", {"--receiver", "u-blox"}, 2, "50", "--receiver"},
        {"no port to identify", {"--port", "COM7", "--identify"}, 2, "50", "COM7"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.label);
        IniWriteString("Zenithprobe", "TIME_CRITERIA_C", r.criterionC,
                       m_dir.Path() / "Zenithprobe.ini");
        EXPECT_EQ(Run(r.args), r.status);
        EXPECT_NE(ReadFileBytes(m_dir.Path() / "stderr").find(r.stderrHas), std::string::npos)
            << ReadFileBytes(m_dir.Path() / "stderr");
    }
    // A key that is garbage is named in the message; the option replaces it.
    const fs::path ini = m_dir.Path() / "Zenithprobe.ini";
    IniWriteString("Zenithprobe", "RECEIVER", "ublox", ini);
    EXPECT_EQ(Run({"--runs", "1"}), 2);
    EXPECT_NE(ReadFileBytes(m_dir.Path() / "stderr")
                  .find("RECEIVER in Zenithprobe.ini: unknown receiver \"ublox\""),
              std::string::npos);
    IniWriteString("Zenithprobe", "RECEIVER", "", ini);
    // A receiver that never restarts: every run is no-restart.
    SimOptions o;
    o.portsDir = m_dir.Path();
    o.baud = 115200;
    o.rateHz = 10;
    o.ignoreCommands = true;
    o.notice = [](std::string_view) {};
    ReceiverSimulator deaf(o);
    ASSERT_TRUE(deaf.Start()) << deaf.Error();
    fs::create_directory(m_out);
    EXPECT_EQ(
        Run({"--baud", "115200", "--runs", "1", "--loss-limit", "1", "--out", m_out.string()}), 1);
    const auto rows2 = CsvRows(Record(".csv"));
    ASSERT_EQ(rows2.size(), 1u);
    EXPECT_EQ(rows2[0][3], "no-restart");
}

// The receiver or its port misbehaves: every run still ends with a verdict that says where the
// fault is, and the record is whole.
TEST_F(CampaignToolTest, TroubleEndsWithTheRightVerdict) {
    struct Row {
        const char* label;
        std::vector<std::string> args;
        std::function<void(SimOptions&)> receiver;
        bool replug; // a receiver comes back on the port after the first hangs up
        int status;
        const char* verdicts; // the rows' verdicts, each with a comma, match this
        const char* stderrHas;
    };
    const Row rows[] = {
        {"GN fixes with multi-GNSS off: stops before the first run",
         {"--runs", "1"},
         [](SimOptions& o) {
             o.constellations = {SimSystem::Gps, SimSystem::Glonass};
         },
         false,
         2,
         "",
         "MULTI_GNSS"},
        {"... and --multi-gnss decodes them",
         {"--runs", "1", "--multi-gnss"},
         [](SimOptions& o) {
             o.constellations = {SimSystem::Gps, SimSystem::Glonass};
         },
         false,
         0,
         "passed,",
         ""},
        {"the port closes during a run: port-lost, the campaign ends",
         {"--runs", "5", "--no-reconnect"},
         [](SimOptions& o) { o.hangupAfterS = 1.6; },
         false,
         1,
         "(passed,)+port-lost,",
         "has gone"},
        {"... with reconnect the campaign goes on once the port is back",
         {"--runs", "4", "--reconnect"},
         [](SimOptions& o) { o.hangupAfterS = 1.6; },
         true,
         1,
         "(?=([a-z-]+,){4}$)(passed,)+port-lost,(passed,)+", // all four runs
         "is back"},
        {"a fix that keeps dropping ends at time-out + settle + loss limit",
         {"--runs", "1", "--settle", "3", "--timeout", "2", "--loss-limit", "2", "--max-duration",
          "30"},
         [](SimOptions& o) { o.flapOnS = 0.5, o.flapOffS = 0.5; },
         false,
         0,
         "passed,",
         ""},
        {"--max-duration ends the whole campaign",
         {"--runs", "100", "--max-duration", "2"},
         [](SimOptions&) {},
         false,
         1,
         "(passed,)*",
         "--max-duration"},
    };
    fs::create_directory(m_out);
    for (const Row& r : rows) {
        SCOPED_TRACE(r.label);
        for (const auto& e : fs::directory_iterator(m_out)) {
            fs::remove(e.path());
        }
        SimOptions o;
        o.portsDir = m_dir.Path();
        o.baud = 115200;
        o.rateHz = 10;
        o.seed = 7;
        o.ttffCold = {0.4, 0.5};
        o.notice = [](std::string_view) {};
        r.receiver(o);
        auto sim = std::make_unique<ReceiverSimulator>(o);
        ASSERT_TRUE(sim->Start()) << sim->Error();
        std::vector<std::string> args = r.args;
        for (const char* a : {"--baud", "115200", "--settle", "0", "--out"}) {
            args.push_back(a);
        }
        args.push_back(m_out.string());
        const pid_t pid = Spawn(args);
        if (r.replug) {
            ASSERT_TRUE(sim->WaitFor([](const SimStatus& s) { return s.finished; }, 20000));
            sim->Stop();
            o.hangupAfterS = -1;
            sim = std::make_unique<ReceiverSimulator>(o);
            ASSERT_TRUE(sim->Start()) << sim->Error();
        }
        EXPECT_EQ(Wait(pid), r.status);
        sim->Stop();
        EXPECT_NE(ReadFileBytes(m_dir.Path() / "stderr").find(r.stderrHas), std::string::npos)
            << ReadFileBytes(m_dir.Path() / "stderr");
        std::string verdicts;
        for (const auto& row : CsvRows(Record(".csv"))) {
            verdicts += row[3] + ",";
        }
        EXPECT_TRUE(std::regex_match(verdicts, std::regex(r.verdicts))) << verdicts;
        const std::string json = ReadFileBytes(Record(".json"));
        EXPECT_TRUE(JsonCheck(json).Whole()) << json;
        const bool lost = verdicts.find("port-lost") != std::string::npos;
        EXPECT_NE(json.find(lost ? "\"port_lost\": 1" : "\"port_lost\": 0"), std::string::npos);
    }
}

// Records in the user's data folder are the user's alone; under --out the umask decides.
TEST_F(CampaignToolTest, RecordFileModes) {
    StartSim();
    fs::create_directory(m_out);
    const mode_t mask = ::umask(0022);
    ::umask(mask);
    for (const bool out : {false, true}) {
        SCOPED_TRACE(out ? "--out" : "data folder");
        std::vector<std::string> args = {"--baud", "115200", "--runs", "1", "--settle", "0"};
        if (out) {
            args.push_back("--out");
            args.push_back(m_out.string());
        }
        EXPECT_EQ(Run(args), 0);
        fs::path csv;
        for (const auto& e : fs::recursive_directory_iterator(out ? m_out : m_dir.Path())) {
            if (e.path().extension() == ".json" && (out || e.path().parent_path() != m_out)) {
                csv = e.path();
            }
        }
        ASSERT_FALSE(csv.empty());
        struct stat st {};
        ASSERT_EQ(::stat(csv.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, out ? 0666 & ~mask : 0600);
    }
}

TEST_F(CampaignToolTest, EachFamilyRestartsOnItsOwnCommand) {
    struct Row {
        ReceiverFamily family;
        const char* receiver; // --receiver
        bool answers;         // the family acknowledges restarts: ack_ms is filled in
    } rows[] = {
        {ReceiverFamily::Ubx, "ubx", false},
        {ReceiverFamily::Mtk, "mtk", false},
        {ReceiverFamily::Airoha, "auto", true}, // identified first
        {ReceiverFamily::QuectelLg, "quectel-lg", false},
        {ReceiverFamily::SkyTraq, "skytraq", true},
        {ReceiverFamily::Casic, "casic", false},
    };
    const char* kinds[] = {"cold", "warm", "hot"};
    for (const Row& r : rows) {
        const std::string key = ReceiverFamilyKey(r.family);
        SCOPED_TRACE(key);
        StartSim(0.2, 0.3, false, r.family);
        const fs::path out = m_dir.Path() / key;
        fs::create_directory(out);
        EXPECT_EQ(Run({"--baud", "115200", "--receiver", r.receiver, "--kind", "cold,warm,hot",
                       "--runs", "1", "--settle", "0", "--out", out.string()}),
                  0);
        m_sim->Stop();
        const std::vector<std::string> truth =
            Split(ReadFileBytes(m_dir.Path() / "truth.jsonl"), '\n');
        const auto csv = CsvRows(Record(".csv", out));
        ASSERT_EQ(csv.size(), 3u);
        ASSERT_GE(truth.size(), 3u);
        for (size_t i = 0; i < csv.size(); ++i) {
            ASSERT_EQ(csv[i].size(), 25u) << "row " << i;
            EXPECT_EQ(csv[i][1], kinds[i]);
            EXPECT_EQ(csv[i][3], "passed");
            EXPECT_NE(truth[i].find("\"family\":\"" + key + "\""), std::string::npos);
            const double truthMs =
                (TruthValue(truth[i], "fix_s") - TruthValue(truth[i], "loss_s")) * 1000;
            EXPECT_NEAR(std::atof(csv[i][5].c_str()), truthMs, 120.0) << kinds[i];
            EXPECT_EQ(!csv[i][20].empty(), r.answers) << "ack_ms " << csv[i][20];
            EXPECT_EQ(csv[i][21], key);
            EXPECT_EQ(csv[i][23], "COM1");
        }
        const std::string json = ReadFileBytes(Record(".json", out));
        EXPECT_TRUE(JsonCheck(json).Whole()) << json;
        EXPECT_NE(json.find("\"receiver\": \"" + key + "\""), std::string::npos);
    }
    // Without a family only the SONY and SiRF commands go out, which a u-blox ignores.
    StartSim(0.2, 0.3, false, ReceiverFamily::Ubx);
    const fs::path out = m_dir.Path() / "none";
    fs::create_directory(out);
    EXPECT_EQ(Run({"--baud", "115200", "--runs", "1", "--loss-limit", "1", "--out", out.string()}),
              1);
    const auto csv = CsvRows(Record(".csv", out));
    ASSERT_EQ(csv.size(), 1u);
    EXPECT_EQ(csv[0][3], "no-restart");
    EXPECT_EQ(m_sim->Status().restarts.size(), 0u);
}

TEST_F(CampaignToolTest, IdentifyNamesEachFamily) {
    // Every family's receiver on a port of its own, identified side by side (each takes up to
    // 7.5 s). The SONY / SiRF receiver answers none of the probes.
    std::vector<std::unique_ptr<ReceiverSimulator>> sims;
    std::vector<pid_t> pids;
    std::vector<ReceiverFamily> families(kReceiverFamilies.begin(), kReceiverFamilies.end());
    families.push_back(ReceiverFamily::None);
    for (size_t i = 0; i < families.size(); ++i) {
        SimOptions o;
        o.portsDir = m_dir.Path();
        o.port = "COM" + std::to_string(i + 1);
        o.baud = 115200;
        o.rateHz = 10;
        o.seed = 3;
        o.family = families[i];
        o.notice = [](std::string_view) {};
        sims.push_back(std::make_unique<ReceiverSimulator>(o));
        ASSERT_TRUE(sims.back()->Start()) << sims.back()->Error();
        pids.push_back(
            Spawn({"--port", o.port, "--baud", "115200", "--identify"}, "identify_" + o.port));
    }
    for (size_t i = 0; i < families.size(); ++i) {
        const bool family = families[i] != ReceiverFamily::None;
        SCOPED_TRACE(family ? ReceiverFamilyKey(families[i]) : "sony-sirf");
        EXPECT_EQ(Wait(pids[i]), family ? 0 : 1);
        const std::string printed =
            ReadFileBytes(m_dir.Path() / ("identify_COM" + std::to_string(i + 1)));
        const std::string expected = family ? std::string(ReceiverFamilyKey(families[i])) + ": " +
                                                  ReceiverFamilyName(families[i]) + " \u00B7 "
                                            : "not identified\n";
        EXPECT_EQ(printed.substr(0, expected.size()), expected) << printed;
        EXPECT_EQ(sims[i]->Status().restarts.size(), 0u);
    }
}

} // namespace

namespace {

// A number after "key": in the static run's JSON; NaN when absent or null.
double JsonNumber(const std::string& json, const std::string& key) {
    const size_t at = json.find("\"" + key + "\": ");
    if (at == std::string::npos || json.compare(at + key.size() + 4, 4, "null") == 0) {
        return std::nan("");
    }
    return std::atof(json.c_str() + at + key.size() + 4);
}

TEST_F(CampaignToolTest, StaticRunMeasuresTheSimulatorsNoise) {
    // Independent errors of 2 m per horizontal axis and 3 m vertical: the horizontal error is
    // Rayleigh (CEP50 1.1774 sigma, CEP95 2.4477 sigma), |up| half-normal (95 % at 1.96 sigma).
    // Correlated errors (tau 30 s) need hours to show their spread: only the figures' presence
    // is checked then.
    struct Row {
        const char* label;
        double tauS;
        const char* duration;
        bool checkValues;
    } rows[] = {{"independent", 0, "6", true}, {"correlated", 30, "2", false}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.label);
        SimOptions o;
        o.portsDir = m_dir.Path();
        o.baud = 460800;
        o.rateHz = 100;
        o.seed = 11;
        o.stationary = true;
        o.noiseHorizontalM = 2;
        o.noiseVerticalM = 3;
        o.noiseTauS = r.tauS;
        o.truthFile = m_dir.Path() / "truth.jsonl";
        o.notice = [](std::string_view) {};
        ReceiverSimulator sim(o);
        ASSERT_TRUE(sim.Start()) << sim.Error();
        fs::remove_all(m_out);
        fs::create_directory(m_out);
        EXPECT_EQ(Run({"--baud", "460800", "--kind", "static", "--duration", r.duration, "--out",
                       m_out.string()}),
                  0)
            << ReadFileBytes(m_dir.Path() / "stderr");
        sim.Stop();
        EXPECT_EQ(ReadFileBytes(m_dir.Path() / "truth.jsonl").rfind("{\"position\":{\"lat\":", 0),
                  0u);

        const std::string json = ReadFileBytes(Record(".json"));
        ASSERT_TRUE(JsonCheck(json).Whole()) << json;
        EXPECT_NE(json.find("\"errors_about\": \"mean\""), std::string::npos);
        const double epochs = JsonNumber(json, "epochs_3d");
        fs::path epochsFile;
        for (const auto& e : fs::directory_iterator(m_out)) {
            epochsFile =
                e.path().filename().string().rfind("epochs_", 0) == 0 ? e.path() : epochsFile;
        }
        const auto rows2 = CsvRows(epochsFile);
        EXPECT_EQ(static_cast<double>(rows2.size()), JsonNumber(json, "epochs"));
        for (const auto& row : rows2) {
            ASSERT_EQ(row.size(), 13u);
        }
        if (r.checkValues) {
            EXPECT_GE(epochs, 500);
            EXPECT_NEAR(JsonNumber(json, "cep50_m"), 1.1774 * 2, 0.12 * 1.1774 * 2);
            EXPECT_NEAR(JsonNumber(json, "cep95_m"), 2.4477 * 2, 0.12 * 2.4477 * 2);
            EXPECT_NEAR(JsonNumber(json, "vertical95_m"), 1.96 * 3, 0.12 * 1.96 * 3);
        } else {
            EXPECT_GT(JsonNumber(json, "cep95_m"), 0);
            EXPECT_GT(JsonNumber(json, "vertical95_m"), 0);
        }
        // The plot: a dot per 3D epoch (far below the thinning), both circles.
        wxInitializer init;
        wxXmlDocument svg;
        ASSERT_TRUE(svg.Load(Record(".svg").string())) << "not well-formed";
        std::map<wxString, int> classes;
        std::vector<wxXmlNode*> todo{svg.GetRoot()};
        while (!todo.empty()) {
            wxXmlNode* node = todo.back();
            todo.pop_back();
            ++classes[node->GetAttribute("class")];
            for (wxXmlNode* c = node->GetChildren(); c != nullptr; c = c->GetNext()) {
                todo.push_back(c);
            }
        }
        EXPECT_EQ(classes["epoch"], static_cast<int>(epochs));
        EXPECT_EQ(classes["cep50"], 1);
        EXPECT_EQ(classes["cep95"], 1);
    }
}

} // namespace
