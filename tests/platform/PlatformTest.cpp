#include "Debug.h"
#include "Paths.h"
#include "TestSupport.h"

#include <filesystem>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
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

TEST(Folders, PortableCopyKeepsItsFolderAnInstalledOneUsesXdg) {
    const FolderInputs base{.zenithprobeHome = "",
                            .exeFolder = "/opt/zp/bin",
                            .exeFolderWritable = true,
                            .installBinFolders = {"/usr/bin"},
                            .home = "/home/u",
                            .xdgConfigHome = "",
                            .xdgDataHome = ""};
    struct Case {
        const char* label;
        FolderInputs in;
        bool perUser;
        const char* config;
        const char* data;
    } cases[] = {
        {"writable folder: portable", base, false, "/opt/zp/bin/", "/opt/zp/bin/"},
        {"read-only folder: XDG defaults",
         [&] {
             FolderInputs in = base;
             in.exeFolderWritable = false;
             return in;
         }(),
         true, "/home/u/.config/zenithprobe/", "/home/u/.local/share/zenithprobe/"},
        {"XDG variables; a relative one is ignored",
         [&] {
             FolderInputs in = base;
             in.exeFolderWritable = false;
             in.xdgConfigHome = "/x/cfg";
             in.xdgDataHome = "rel/data";
             return in;
         }(),
         true, "/x/cfg/zenithprobe/", "/home/u/.local/share/zenithprobe/"},
        {"installed copy run by root (writable): still XDG",
         [&] {
             FolderInputs in = base;
             in.exeFolder = "/usr/bin/";
             return in;
         }(),
         true, "/home/u/.config/zenithprobe/", "/home/u/.local/share/zenithprobe/"},
        {"ZENITHPROBE_HOME wins over everything",
         [&] {
             FolderInputs in = base;
             in.exeFolder = "/usr/bin";
             in.zenithprobeHome = "/srv/zp";
             return in;
         }(),
         false, "/srv/zp/", "/srv/zp/"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const Folders f = ChooseFolders(c.in);
        EXPECT_EQ(f.perUser, c.perUser);
        EXPECT_EQ(f.config.string(), c.config);
        EXPECT_EQ(f.data.string(), c.data);
    }
}

// The whole rule in this process's environment: the test's own folder is writable, so the copy
// is portable; for a user who may not write there (nobody, in a child) it is per-user, and the
// folders it makes are private.
TEST(Folders, ReadOnlyExecutableFolderGivesPrivateXdgFolders) {
    TempDir tmp;
    const fs::path home = tmp.Path() / "home";
    fs::create_directory(home);
    ScopedEnv noHome("ZENITHPROBE_HOME", nullptr);
    ScopedEnv noPorts("ZENITHPROBE_PORTS", nullptr);
    ScopedEnv homeEnv("HOME", home.c_str());
    ScopedEnv config("XDG_CONFIG_HOME", nullptr);
    ScopedEnv data("XDG_DATA_HOME", (home / "data").c_str());
    const Folders mine = CurrentFolders();
    ASSERT_FALSE(mine.perUser) << "the build folder should be writable: " << mine.program;
    EXPECT_EQ(PortsFolder(), mine.program / "ports");

    const bool root = geteuid() == 0;
    if (root) {
        // nobody must reach its home through the temporary folder.
        ASSERT_EQ(chmod(tmp.Path().c_str(), 0755), 0);
        ASSERT_EQ(chown(home.c_str(), 65534, 65534), 0);
    } else if (access(mine.program.c_str(), W_OK) == 0) {
        GTEST_SKIP() << "needs root to run as a user who may not write the build folder";
    }
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        if (root && (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0)) {
            _exit(3);
        }
        prctl(PR_SET_DUMPABLE, 1); // changing user hid /proc/self/exe from ourselves
        const Folders f = CurrentFolders();
        const bool rule = f.perUser && f.config == home / ".config/zenithprobe/" &&
                          f.data == home / "data/zenithprobe/" &&
                          PortsFolder() == f.config / "ports";
        struct stat st {};
        const bool made = MakePrivateFolder(f.config) == 0 && MakePrivateFolder(f.data) == 0 &&
                          MakePrivateFolder(f.data) == 0 && stat(f.data.c_str(), &st) == 0 &&
                          (st.st_mode & 0777) == 0700 &&
                          stat((home / ".config").c_str(), &st) == 0 && (st.st_mode & 0777) == 0700;
        std::fprintf(stderr, "per-user %d config %s data %s made %d\n", f.perUser, f.config.c_str(),
                     f.data.c_str(), made);
        _exit(rule && made ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}
