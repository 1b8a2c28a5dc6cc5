#pragma once
// GUI tests: each test executable starts its own X server (Xvfb, on a display number it picks
// itself, so parallel runs never collide) and initialises wxWidgets on it once. The screen is
// 1024x768x24 unless ZP_TEST_DISPLAY gives another; "+openbox" after it runs that window manager.
//
// - A wx assertion fails the running test; it never opens a dialog.
// - A modal dialog that no test hook answers (a message box the test did not expect) fails the
//   test and is answered with Cancel, so nothing waits for a user.
// - ModalScript runs a dialog modally while test steps run on the user-interface thread.
// - MessageBoxAnswers answers and records message boxes through wx's modal-dialog hooks.
#include "Dialog.h"

#include <chrono>
#include <deque>
#include <functional>
#include <string>
#include <vector>
#include <wx/modalhook.h>
#include <wx/timer.h>

// Runs the event loop until done() holds or timeoutMs passes; returns done().
bool PumpUntil(const std::function<bool()>& done, int timeoutMs = 10000);

class ModalScript : public wxEvtHandler {
public:
    // Waits (checked every 10 ms, at most 10 s) until done() holds.
    ModalScript& Wait(std::string what, std::function<bool()> done);
    // Runs once when reached.
    ModalScript& Do(std::string what, std::function<void()> action);
    // Runs the dialog modally with the steps. A step that times out fails the test and ends the
    // dialog; steps never reached fail the test too. Returns DoModal's result.
    int Run(CDialogBase& dialog);

private:
    struct Step {
        std::string what;
        std::function<bool()> done;
        std::function<void()> action;
    };
    void OnTick(wxTimerEvent& event);

    std::vector<Step> m_steps;
    size_t m_next = 0;
    std::chrono::steady_clock::time_point m_since;
    CDialogBase* m_dialog = nullptr;
    wxTimer m_timer;
};

// Answers message boxes in order with the given ids (wxID_OK, wxID_CANCEL) and records each one;
// with no answers left it only records and leaves the box to other hooks. Registered for its
// lifetime; hooks registered later are asked first.
class MessageBoxAnswers : public wxModalDialogHook {
public:
    struct Shown {
        wxString text;
        wxString caption;
        long style;
    };
    explicit MessageBoxAnswers(std::vector<int> answers = {});
    ~MessageBoxAnswers() override;

    const std::vector<Shown>& Boxes() const { return m_shown; }
    std::vector<wxString> Texts() const;

protected:
    int Enter(wxDialog* dialog) override;
    void Exit(wxDialog*) override {}

private:
    std::deque<int> m_answers;
    std::vector<Shown> m_shown;
};
