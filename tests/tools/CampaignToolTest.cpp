// zenithprobe-campaign end to end against the simulated receiver (115200 baud, 10 epochs a
// second, short TTFFs) and its ground truth: the timing, the record's files, an interrupted
// campaign and the exit statuses.
#include "IniFile.h"
#include "ReceiverSimulator.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <spawn.h>
#include <sstream>
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
    void StartSim(double hotMinS = 0.2, double hotMaxS = 0.3) {
        SimOptions o;
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
    pid_t Spawn(std::vector<std::string> args) {
        args.insert(args.begin(), (BinDir() / "zenithprobe-campaign").string());
        std::vector<char*> argv;
        for (std::string& a : args) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        const std::string out = (m_dir.Path() / "stdout").string();
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
    fs::path Record(const char* extension) const {
        for (const auto& e : fs::directory_iterator(m_out)) {
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
        ASSERT_EQ(rows[i].size(), 19u);
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

TEST_F(CampaignToolTest, InterruptedCampaignsKeepTheirFinishedRuns) {
    StartSim();
    fs::create_directory(m_out);
    for (int signal : {SIGINT, SIGKILL}) {
        SCOPED_TRACE(signal == SIGINT ? "Ctrl-C" : "killed");
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
        EXPECT_EQ(Wait(pid), signal == SIGINT ? 1 : 128 + SIGKILL);
        const auto rows = CsvRows(Record(".csv"));
        ASSERT_GE(rows.size(), 2u);
        EXPECT_LT(rows.size(), 100u);
        for (const auto& row : rows) {
            EXPECT_EQ(row.size(), 19u);
        }
        // Ctrl-C still writes the summary and the plot; a killed command leaves them empty.
        EXPECT_EQ(JsonCheck(ReadFileBytes(Record(".json"))).Whole(), signal == SIGINT);
    }
}

TEST_F(CampaignToolTest, ExitStatuses) {
    struct Row {
        const char* label;
        std::vector<std::string> args;
        int status;
    } rows[] = {
        {"help", {"--help"}, 0},
        {"version", {"--version"}, 0},
        {"value missing", {"--runs"}, 2},
        {"bad kind", {"--kind", "lukewarm"}, 2},
        {"no runs", {"--runs", "0"}, 2},
        {"unknown option", {"--fast"}, 2},
        {"no such port", {"--port", "COM7"}, 2},
        {"static without a duration", {"--kind", "static"}, 2},
        {"a duration for restarts", {"--duration", "60"}, 2},
        {"runs for a static run", {"--kind", "static", "--duration", "60", "--runs", "3"}, 2},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.label);
        EXPECT_EQ(Run(r.args), r.status);
    }
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
