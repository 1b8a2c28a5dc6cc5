#include "WxTestSupport.h"

#include "TestSupport.h"
#include "WinApp.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <gtest/gtest.h>
#include <poll.h>
#include <string>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <wx/app.h>
#include <wx/init.h>
#include <wx/msgdlg.h>

namespace {

constexpr int kStepTimeoutMs = 10000;

class TestApp : public wxApp {
public:
    bool OnInit() override {
        UseSpecifiedIdleEvents(); // as the program runs its dialogs
        return true;
    }
};

class UnexpectedDialogGuard : public wxModalDialogHook {
protected:
    int Enter(wxDialog* dialog) override {
        if (dynamic_cast<CDialogBase*>(dialog) != nullptr) {
            return wxID_NONE; // the program's own dialogs run
        }
        wxString text = dialog->GetTitle();
        if (auto* box = dynamic_cast<wxMessageDialog*>(dialog)) {
            text = box->GetMessage();
        }
        ADD_FAILURE() << "unexpected dialog: " << text.utf8_str().data();
        return wxID_CANCEL;
    }
    void Exit(wxDialog*) override {}
};

// Starts Xvfb on a free display it reports through a pipe; it dies with this process.
pid_t StartXvfb(const std::string& screen, std::string* display) {
    int fds[2];
    if (pipe(fds) != 0) {
        return -1;
    }
    const pid_t pid = fork();
    if (pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        close(fds[0]);
        const std::string fd = std::to_string(fds[1]);
        freopen("/dev/null", "w", stdout);
        freopen("/dev/null", "w", stderr);
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen.c_str(),
               "-nolisten", "tcp", "-noreset", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    std::string number;
    pollfd p{fds[0], POLLIN, 0};
    while (pid > 0 && poll(&p, 1, 10000) > 0) {
        char c = 0;
        if (read(fds[0], &c, 1) != 1 || c == '\n') {
            break;
        }
        number.push_back(c);
    }
    close(fds[0]);
    if (number.empty()) {
        if (pid > 0) {
            kill(pid, SIGTERM);
            waitpid(pid, nullptr, 0);
        }
        return -1;
    }
    *display = ":" + number;
    return pid;
}

// Openbox manages the display from before the first window, as on a desktop, its files in a
// private folder; it reports through --startup that it is ready.
pid_t StartOpenbox(const std::string& display, const std::string& home, int* readyFd) {
    int fds[2];
    if (pipe(fds) != 0) {
        return -1;
    }
    const pid_t pid = fork();
    if (pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        close(fds[0]);
        dup2(fds[1], STDOUT_FILENO);
        freopen("/dev/null", "w", stderr);
        setenv("DISPLAY", display.c_str(), 1);
        for (const char* v : {"HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME"}) {
            setenv(v, home.c_str(), 1);
        }
        execlp("openbox", "openbox", "--sm-disable", "--startup", "echo ready",
               static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    std::string text;
    pollfd p{fds[0], POLLIN, 0};
    while (pid > 0 && text.find("ready\n") == std::string::npos && poll(&p, 1, 10000) > 0) {
        char c = 0;
        if (read(fds[0], &c, 1) != 1) {
            break;
        }
        text.push_back(c);
    }
    // Kept open: openbox writing to a closed pipe would die of SIGPIPE.
    *readyFd = fds[0];
    return text.find("ready\n") != std::string::npos ? pid : -1;
}

class WxEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        // ZP_TEST_DISPLAY: the screen, and "+openbox" for a window manager ("640x480x24+openbox").
        const char* wanted = std::getenv("ZP_TEST_DISPLAY");
        std::string screen = wanted != nullptr ? wanted : "1024x768x24";
        const size_t plus = screen.find('+');
        const std::string wm = plus == std::string::npos ? "" : screen.substr(plus + 1);
        screen = screen.substr(0, plus);
        ASSERT_TRUE(wm.empty() || wm == "openbox") << "unknown window manager " << wm;
        std::string display;
        m_xvfb = StartXvfb(screen, &display);
        ASSERT_GT(m_xvfb, 0) << "Xvfb could not be started (scripts/setup installs it)";
        setenv("DISPLAY", display.c_str(), 1);
        if (!wm.empty()) {
            m_wm = StartOpenbox(display, m_wmHome.Path().string(), &m_wmReadyFd);
            ASSERT_GT(m_wm, 0) << "openbox did not start (scripts/setup installs it)";
        }
        // No accessibility bus and no settings daemon: a test machine has neither.
        setenv("NO_AT_BRIDGE", "1", 1);
        setenv("GSETTINGS_BACKEND", "memory", 1);
        unsetenv("WAYLAND_DISPLAY");
        wxSetAssertHandler([](const wxString& file, int line, const wxString& func,
                              const wxString& cond, const wxString& msg) {
            ADD_FAILURE_AT(file.utf8_str().data(), line)
                << "wx assertion (" << cond.utf8_str().data() << ") in " << func.utf8_str().data()
                << ": " << msg.utf8_str().data();
        });
        wxApp::SetInstance(new TestApp);
        static int argc = 1;
        static char name[] = "zenithprobe-test";
        static char* argv[] = {name, nullptr};
        ASSERT_TRUE(wxEntryStart(argc, argv));
        ASSERT_TRUE(wxTheApp->CallOnInit());
        m_guard.Register();
    }

    void TearDown() override {
        m_guard.Unregister();
        if (wxTheApp != nullptr) {
            wxTheApp->OnExit();
            wxEntryCleanup();
        }
        if (m_wm > 0) {
            kill(m_wm, SIGTERM);
            waitpid(m_wm, nullptr, 0);
            close(m_wmReadyFd);
        }
        if (m_xvfb > 0) {
            kill(m_xvfb, SIGTERM);
            waitpid(m_xvfb, nullptr, 0);
        }
    }

private:
    pid_t m_xvfb = -1;
    pid_t m_wm = 0;
    int m_wmReadyFd = -1;
    TempDir m_wmHome;
    UnexpectedDialogGuard m_guard;
};

[[maybe_unused]] ::testing::Environment* const g_environment =
    ::testing::AddGlobalTestEnvironment(new WxEnvironment);

} // namespace

bool PumpUntil(const std::function<bool()>& done, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        wxTheApp->Yield(true);
        wxTheApp->ProcessPendingEvents();
        wxMilliSleep(2);
    }
    return true;
}

ModalScript& ModalScript::Wait(std::string what, std::function<bool()> done) {
    m_steps.push_back({std::move(what), std::move(done), {}});
    return *this;
}

ModalScript& ModalScript::Do(std::string what, std::function<void()> action) {
    m_steps.push_back({std::move(what), {}, std::move(action)});
    return *this;
}

int ModalScript::Run(CDialogBase& dialog) {
    m_dialog = &dialog;
    m_next = 0;
    m_since = std::chrono::steady_clock::now();
    m_timer.SetOwner(this);
    Bind(wxEVT_TIMER, &ModalScript::OnTick, this);
    m_timer.Start(10);
    const int result = dialog.DoModal();
    m_timer.Stop();
    Unbind(wxEVT_TIMER, &ModalScript::OnTick, this);
    for (size_t i = m_next; i < m_steps.size(); ++i) {
        ADD_FAILURE() << "step never ran: " << m_steps[i].what;
    }
    m_dialog = nullptr;
    return result;
}

void ModalScript::OnTick(wxTimerEvent&) {
    if (m_dialog == nullptr || !m_dialog->IsModal()) {
        return; // not running yet, or ending
    }
    while (m_next < m_steps.size() && m_dialog->IsModal()) {
        Step& step = m_steps[m_next];
        if (step.action) {
            step.action();
        } else if (!step.done()) {
            const auto waited = std::chrono::steady_clock::now() - m_since;
            if (waited > std::chrono::milliseconds(kStepTimeoutMs)) {
                ADD_FAILURE() << "timed out waiting: " << step.what;
                m_next = m_steps.size();
                m_dialog->EndDialog(-2);
            }
            return;
        }
        ++m_next;
        m_since = std::chrono::steady_clock::now();
    }
}

MessageBoxAnswers::MessageBoxAnswers(std::vector<int> answers)
    : m_answers(answers.begin(), answers.end()) {
    Register();
}

MessageBoxAnswers::~MessageBoxAnswers() {
    Unregister();
}

std::vector<wxString> MessageBoxAnswers::Texts() const {
    std::vector<wxString> texts;
    for (const Shown& s : m_shown) {
        texts.push_back(s.text);
    }
    return texts;
}

int MessageBoxAnswers::Enter(wxDialog* dialog) {
    auto* box = dynamic_cast<wxMessageDialog*>(dialog);
    if (box == nullptr) {
        return wxID_NONE;
    }
    m_shown.push_back({box->GetMessage(), box->GetTitle(), box->GetMessageDialogStyle()});
    if (m_answers.empty()) {
        return wxID_NONE;
    }
    const int answer = m_answers.front();
    m_answers.pop_front();
    return answer;
}
