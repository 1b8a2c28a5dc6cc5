#pragma once
// CZenithprobeApp: the application object. InitInstance reads the command line, runs the main
// dialog modally and ends the program with it.
//
// Threads: the user-interface thread.
#include "AppOptions.h"
#include "WinApp.h"

#include <wx/timer.h>

class CZenithprobeDlg;

class CZenithprobeApp : public CWinApp {
public:
    bool OnInit() override;
    bool InitInstance() override;

protected:
    // Just before the modal run (the benchmark watches the dialog from here).
    virtual void PrepareDialog(CZenithprobeDlg& dialog);

    AppOptions m_options;

private:
    void OnQuitTimer(wxTimerEvent& event);

    CZenithprobeDlg* m_pDialog = nullptr; // during the modal run
    wxTimer m_quitTimer;
};
