// The NMEA log's check box: switching on makes a new file (and sets the clock from the
// receiver), switching off flushes and closes it. The reader thread writes the lines
// (ReceiverMonitor.cpp); CNmeaLog keeps both sides apart.
#include "ZenithprobeDlg.h"

#include "Tick.h"

void CZenithprobeDlg::OnLogCheck(wxCommandEvent&) {
    UpdateData(true);
    if (m_bLog.load() != 1) {
        m_fileLog.Close();
        return;
    }
    RmcDateTime rmc;
    {
        std::lock_guard lock(g_csParser);
        rmc.year = m_parser.m_wRMCYear;
        rmc.month = m_parser.m_btRMCMonth;
        rmc.day = m_parser.m_btRMCDay;
        rmc.hour = m_parser.m_btRMCHour;
        rmc.minute = m_parser.m_btRMCMinute;
        rmc.second = m_parser.m_btRMCSecond;
        rmc.status = m_parser.m_cRMCStatus;
        rmc.rmcCount = m_parser.m_nRMCCount;
        rmc.ageMs = TickCountMs() - m_parser.m_dwRMCArrivalMs;
    }
    if (m_fileLog.SwitchOn(m_strDataDir, rmc) != 0) {
        m_bLog = 0;
        UpdateData(false); // the box is cleared again
        MessageBox("Unable to create file", kMbStopOk);
    }
    // Counters and decoded values start afresh with the new log, created or not.
    std::lock_guard lock(g_csParser);
    m_parser.Reset();
}
