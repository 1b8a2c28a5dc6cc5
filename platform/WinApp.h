#pragma once
// CWinApp: the application object. wx creates it, initialises the toolkit and calls OnInit
// (command line); OnRun then calls InitInstance, which runs the program's dialog modally. The
// program ends when InitInstance returns, with the exit code it left in m_nExitCode.
//
// Threads: the user-interface thread (the process's main thread).
#include <wx/app.h>

class CWinApp : public wxApp {
public:
    virtual bool InitInstance() = 0;

    int OnRun() override;
    int OnExit() override;

    // The colours of all dialogs the program builds afterwards.
    void SetDialogBkColor(const wxColour& background, const wxColour& text);

protected:
    int m_nExitCode = 0;
};

// Idle and update-UI events go only to windows that ask for them (wxWS_EX_PROCESS_IDLE,
// wxWS_EX_PROCESS_UI_UPDATES); none of ours does. Sent to every control after each wake of the
// user-interface thread, they were the largest share of the running program's CPU. Each window's
// own internal idle work still runs. Call before the first dialog (tests too).
void UseSpecifiedIdleEvents();
