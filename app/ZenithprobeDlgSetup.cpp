// The setup dialog from the main dialog: button 1070 and "Setup...".
#include "SetupDlg.h"
#include "ZenithprobeDlg.h"

void CZenithprobeDlg::OnSetupCommand(wxCommandEvent&) {
    OnSetup();
}

void CZenithprobeDlg::OnSetup() {
    // The setup dialog closes, reopens and sets up m_serial itself and saves the keys; the reader
    // keeps running throughout (the port serialises their calls) but does not reopen the port
    // while the dialog runs.
    CSetupDlg dlg;
    dlg.SetContext(&m_serial, wxString::FromUTF8(m_strComPort), m_nBaudRate, &m_parser,
                   m_strAppDir);
    dlg.SetReceiverHooks([this] { RequestIdentify(); },
                         [this] {
                             if (Receiver().automatic) {
                                 RequestIdentify();
                             }
                         },
                         [this] { return ReceiverLineText(ReceiverLine()); });
    SetSetupOwnsPort(true);
    if (dlg.DoModal() == kIdOk) {
        m_strComPort = dlg.GetPort().utf8_string();
        m_nBaudRate = dlg.GetBaudRate();
        SetReopenTarget(m_strComPort, m_nBaudRate);
    }
    SetSetupOwnsPort(false);
}
