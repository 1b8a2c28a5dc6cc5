#pragma once
// CDialogBase: a dialog built from a template of the program's resources, run modally.
//
// What the handheld's dialog class gave and the program relies on:
// - DoModal creates the window and its controls from the template (our fixed dialog-unit
//   scale), calls OnInitDialog, runs the dialog modally and returns EndDialog's result.
// - Enter, the OK ids (the template's 1 and wx's wxID_OK) reach OnOK; Escape, the Cancel ids (2
//   and wxID_CANCEL) and closing the window reach OnCancel. Only EndDialog ends the dialog.
// - Window timers by id: SetTimer/KillTimer; their ticks arrive in OnTimer on this thread.
// - Data exchange: DoDataExchange with the DDX_ helpers, run by UpdateData.
// - Message boxes (stop icon + OK, question + OK/Cancel) through wx, which tests answer with
//   wx's modal-dialog hooks.
// - Owner-drawn controls (OwnerDraw.h) and a soft-key bar built from a menu resource.
//
// Threads: the user-interface thread only. Other threads reach a dialog through PostToUi
// (UiThread.h) with a lifetime token.
#include "DialogTemplate.h"
#include "OwnerDraw.h"
#include "SoftKeyBar.h"

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <wx/dialog.h>
#include <wx/timer.h>

// The templates' dialog results and the ids of their OK and Cancel commands (1 and 2).
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;

// Message box kinds.
inline constexpr long kMbStopOk = wxOK | wxICON_ERROR;
inline constexpr long kMbQuestionOkCancel = wxOK | wxCANCEL | wxICON_QUESTION;

class CDialogBase;

// One run of data exchange: to the controls (push, m_bSaveAndValidate false) or from them (pull).
class CDataExchange {
public:
    CDataExchange(CDialogBase* dialog, bool saveAndValidate)
        : m_pDlgWnd(dialog), m_bSaveAndValidate(saveAndValidate) {}
    // The control with this id, or nullptr (the exchange is then marked failed).
    wxWindow* PrepareCtrl(int id);

    CDialogBase* const m_pDlgWnd;
    const bool m_bSaveAndValidate;
    bool m_bFailed = false;
};

// Text of an edit, static, combo box or button.
void DDX_Text(CDataExchange* pDX, int id, wxString& value);
// Check box state as an int: 0 unchecked, 1 checked, 2 undetermined.
void DDX_Check(CDataExchange* pDX, int id, int32_t& value);
void DDX_Check(CDataExchange* pDX, int id, std::atomic<int32_t>& value);
// Binds a member pointer to the control (both directions); fails when the control is missing or
// of another class.
template <typename T> void DDX_Control(CDataExchange* pDX, int id, T*& control) {
    wxWindow* window = pDX->PrepareCtrl(id);
    control = dynamic_cast<T*>(window);
    if (window != nullptr && control == nullptr) {
        pDX->m_bFailed = true;
    }
}

// The colours of the program's dialogs: background and text of the dialog and its labels.
void SetDialogColours(const wxColour& background, const wxColour& text);

// Shrinks a native control's padding so that it fits the handheld's small rectangles.
void CompactControl(wxWindow* control);

// Shows a message box over parent with the program's caption; returns kIdOk or kIdCancel.
int ShowMessageBox(wxWindow* parent, const wxString& text, long style);

class CDialogBase : public wxDialog {
public:
    CDialogBase(int templateId, wxWindow* parent);
    ~CDialogBase() override;

    int DoModal();
    // Builds the window and its controls without running the dialog (DoModal does it when
    // needed). False when the template is missing or a control cannot be made.
    bool CreateFromTemplate();
    void EndDialog(int result);
    bool IsEnded() const { return m_bEnded; }

    // Push (false) or pull (true) all bindings of DoDataExchange. False when one failed.
    bool UpdateData(bool saveAndValidate = true);

    // Starts (or restarts) timer id; returns id, or 0 when it could not be started.
    uint32_t SetTimer(uint32_t id, uint32_t periodMs);
    bool KillTimer(uint32_t id);
    bool IsTimerRunning(uint32_t id) const;

    wxWindow* GetDlgItem(int id) const;
    void SetDlgItemText(int id, const wxString& text);
    wxString GetDlgItemText(int id) const;
    // A control's rectangle in the dialog's client coordinates.
    wxRect GetItemClientRect(int id) const;

    int MessageBox(const wxString& text, long style) { return ShowMessageBox(this, text, style); }

    // Puts the soft keys of menu resource menuId below the template's area; the dialog grows by
    // their height.
    bool CreateSoftKeyBar(int menuId);
    CSoftKeyBar* SoftKeyBar() const { return m_softKeys; }

    // Area of the template in pixels (the client area less the soft keys).
    wxSize TemplateClientSize() const { return m_templateSize; }

    virtual bool OnInitDialog();
    virtual void OnOK();
    virtual void OnCancel();
    virtual void OnTimer(uint32_t id);
    virtual void DoDataExchange(CDataExchange* pDX);

protected:
    // Creates the control of an owner-drawn button of the template. The base makes a plain
    // COwnerDrawButton; a dialog makes its own control classes here.
    virtual COwnerDrawButton* CreateOwnerDrawButton(int id, const wxPoint& pos, const wxSize& size);

    const int m_nTemplateId;

private:
    wxWindow* CreateControl(const ControlTemplate& c);
    void OnCommandOk(wxCommandEvent& event);
    void OnCommandCancel(wxCommandEvent& event);
    void OnClose(wxCloseEvent& event);
    void OnCharHook(wxKeyEvent& event);
    void OnTimerEvent(wxTimerEvent& event);

    wxWindow* m_pParentWnd;
    bool m_bEnded = false;
    int m_nResult = kIdCancel;
    wxSize m_templateSize;
    CSoftKeyBar* m_softKeys = nullptr;
    std::map<uint32_t, std::unique_ptr<wxTimer>> m_timers;

    wxDECLARE_EVENT_TABLE();
};
