#pragma once
// CSetupDlg: the setup screen (template 142). Port and baud rate (Set saves them), the automatic
// search over ports and rates (Auto), the command console with a history per chipset (Send), and
// the sentence counters and DOP values of the main dialog's parser.
//
// Threads:
// - The user-interface thread runs every handler and alone touches the controls and the members
//   below, except as noted for the search.
// - The search thread (Auto) closes, opens and sets up the shared port, resets the parser under
//   g_csParser and reads its RMC count there. It reaches the boxes only through PostToUi under a
//   lease of m_lifetime and never waits for the user-interface thread, so OnOK may block that
//   thread while it joins the search. While a search runs, Auto, Set and Send are disabled, so
//   nothing else touches the port from here or m_strPort; the search writes m_strPort (on
//   success) before its last posted call, and the user-interface thread reads it only after
//   that call or after the join.
// - The port is a CSharedSerial: its operations are serialised with the main dialog's reader.
#include "CaptionLabel.h"
#include "Dialog.h"
#include "ImageButton.h"
#include "LifetimeGuard.h"
#include "NmeaParser.h"
#include "ResourceIds.h"
#include "SetupLogic.h"
#include "SharedSerial.h"
#include "Threads.h"

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>
#include <wx/checkbox.h>
#include <wx/combobox.h>
#include <wx/radiobut.h>
#include <wx/stattext.h>

class CSetupDlg : public CDialogBase {
public:
    static constexpr uint32_t kRefreshTimerId = 200;
    static constexpr uint32_t kRefreshPeriodMs = 1000;
    static constexpr uint32_t kSearchWaitMs = 500; // one wait of the search on a candidate
    static constexpr int kSearchWaits = 3;         // waits per candidate before the next one

    explicit CSetupDlg(wxWindow* parent = nullptr);
    ~CSetupDlg() override; // stops a search that still runs

    // Before the modal run. The port and the parser stay the caller's; folder ends with '/'.
    void SetContext(CSharedSerial* serial, const wxString& port, int32_t baudRate,
                    CNmeaParser* parser, const std::filesystem::path& folder);
    // The receiver's identification (RECEIVER), run by the caller: identify starts one (button
    // Identify), portOpened follows each Set, line gives the receiver line's text (polled with
    // the counters). Any may be empty. Before the modal run.
    void SetReceiverHooks(std::function<void()> identify, std::function<void()> portOpened,
                          std::function<std::string()> line);
    wxString GetPort() const { return m_strPort; }
    int32_t GetBaudRate() const;

    // Tests: a shorter wait per search step. Call before Auto.
    void SetSearchWait(uint32_t ms) { m_nSearchWaitMs = ms; }
    bool IsSearchRunning() const { return m_bSearchRunning.load(); }

    bool OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;
    void OnTimer(uint32_t id) override;
    void DoDataExchange(CDataExchange* pDX) override;

    void LoadCommands(const char* section);
    void FillPortList();
    void OnSet();
    void OnSend();
    void OnAuto();
    void RefreshCounters();
    void RefreshReceiverLine();

protected:
    COwnerDrawButton* CreateOwnerDrawButton(int id, const wxPoint& pos,
                                            const wxSize& size) override;

    // Members, in the order the dialog's data exchange and handlers expect them.
    wxComboBox* m_cbBaud = nullptr;
    wxCheckBox* m_chkVTG = nullptr;
    wxCheckBox* m_chkRMC = nullptr;
    wxCheckBox* m_chkGSV = nullptr;
    wxCheckBox* m_chkGSA = nullptr;
    wxCheckBox* m_chkGLL = nullptr;
    wxCheckBox* m_chkGGA = nullptr;
    wxRadioButton* m_rbSony = nullptr;
    wxStaticText* m_stcBanner = nullptr;
    wxBitmap m_bmpBanner; // decoded at the first paint
    wxComboBox* m_cbCommand = nullptr;
    CImageButton* m_btnClose = nullptr;
    wxString m_strBaud;
    wxString m_strPort; // written by the search thread on success (see above)
    wxString m_strCommand;
    CNmeaParser* m_pParser = nullptr; // guarded by g_csParser
    uint32_t m_nRefreshTimer = 0;
    CSharedSerial* m_pSerial = nullptr;
    std::filesystem::path m_strFolder;
    CCaptionLabel m_label; // never given a window
    std::thread m_hSearchThread;
    CEvent m_hStopEvent;
    CEvent m_hStoppedEvent;
    wxComboBox* m_cbPort = nullptr;

private:
    std::filesystem::path IniFile() const { return m_strFolder / "Zenithprobe.ini"; }
    // Close (Set only), open "<port>:" and set up at m_strBaud; the two messages as needed.
    void OpenAndSetup();
    void SearchThreadProc(CLifetimeToken token);
    void SearchPortAndBaud(const CLifetimeToken& token);
    // Shows a search candidate in the boxes (user-interface thread).
    void SelectCandidate(const SearchCandidate& candidate);
    void EnableSearchButtons(bool enable);
    void StopSearch(); // user-interface thread: asks the search to stop and joins it

    void OnSonyClicked(wxCommandEvent& event);
    void OnSirfClicked(wxCommandEvent& event);
    void OnSendClicked(wxCommandEvent& event);
    void OnSetClicked(wxCommandEvent& event);
    void OnAutoClicked(wxCommandEvent& event);
    void OnIdentifyClicked(wxCommandEvent& event);
    void OnGGAClicked(wxCommandEvent& event);
    void OnCloseButton(wxCommandEvent& event);
    void OnPortDropDown(wxCommandEvent& event);
    void OnCommandSetFocus(wxFocusEvent& event);
    void OnCommandKillFocus(wxFocusEvent& event);
    void OnPaint(wxPaintEvent& event);

    std::atomic<uint32_t> m_nSearchWaitMs{kSearchWaitMs};
    std::atomic<bool> m_bSearchRunning{false};
    // Devices in the port list after COM0-COM9; their shown names stand for their paths.
    std::vector<SerialDevice> m_devices;
    // Made by Auto before the search starts and only read while it runs.
    std::vector<SearchCandidate> m_searchCandidates;
    // Last candidate the search showed: OnOK shows it at once, before posted calls arrive.
    std::atomic<int> m_nSearchAt{-1};
    std::function<void()> m_identify;
    std::function<void()> m_portOpened;
    std::function<std::string()> m_receiverLine;
    std::string m_strReceiverLine; // shown in 1121

    CLifetimeGuard m_lifetime;

    wxDECLARE_EVENT_TABLE();
};
