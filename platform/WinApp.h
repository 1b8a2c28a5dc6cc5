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
