#include "WinApp.h"

#include "Dialog.h"

int CWinApp::OnRun() {
    InitInstance();
    return m_nExitCode;
}

int CWinApp::OnExit() {
    wxApp::OnExit();
    return m_nExitCode;
}

void CWinApp::SetDialogBkColor(const wxColour& background, const wxColour& text) {
    SetDialogColours(background, text);
}
