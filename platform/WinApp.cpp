#include "WinApp.h"

#include "Dialog.h"

#include <wx/event.h>

void UseSpecifiedIdleEvents() {
    wxIdleEvent::SetMode(wxIDLE_PROCESS_SPECIFIED);
    wxUpdateUIEvent::SetMode(wxUPDATE_UI_PROCESS_SPECIFIED);
}

int CWinApp::OnRun() {
    UseSpecifiedIdleEvents();
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
