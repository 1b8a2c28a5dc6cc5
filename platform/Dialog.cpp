#include "Dialog.h"

#include "Debug.h"
#include "Resources.h"

#include <climits>
#include <cmath>
#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/combobox.h>
#include <wx/listctrl.h>
#include <wx/msgdlg.h>
#include <wx/panel.h>
#include <wx/radiobut.h>
#include <wx/statbox.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

namespace {
// Set once at start-up by the application, read when dialogs are built (user-interface thread).
wxColour g_dialogBackground;
wxColour g_dialogText;

// A combo box's template height is its open list; closed, it is one line like an edit.
constexpr int kComboLineUnits = 12;

#ifdef __WXGTK3__
// wx keeps its GTK style hook protected; a pointer to member taken through a derived class is the
// sanctioned way to reach it for any window.
struct CssAccess : wxWindow {
    static void Apply(wxWindow* window, const char* css) {
        void (wxWindow::*apply)(const char*) = &CssAccess::GTKApplyCssStyle;
        (window->*apply)(css);
    }
};
#endif
} // namespace

void SetDialogColours(const wxColour& background, const wxColour& text) {
    g_dialogBackground = background;
    g_dialogText = text;
}

void CompactControl(wxWindow* control) {
#ifdef __WXGTK3__
    // The theme's padding and minimum heights are made for finger-sized desktop controls; the
    // handheld's rectangles are a dozen pixels high.
    CssAccess::Apply(control, "button, entry { min-height: 0; min-width: 0; padding: 0 2px; }");
#else
    (void)control;
#endif
}

int ShowMessageBox(wxWindow* parent, const wxString& text, long style) {
    const int answer = wxMessageBox(text, "Zenithprobe", style, parent);
    return answer == wxOK ? kIdOk : kIdCancel;
}

wxWindow* CDataExchange::PrepareCtrl(int id) {
    wxWindow* control = m_pDlgWnd->GetDlgItem(id);
    if (control == nullptr) {
        DebugPrint("CDataExchange: no control %d\n", id);
        m_bFailed = true;
    }
    return control;
}

void DDX_Text(CDataExchange* pDX, int id, wxString& value) {
    wxWindow* control = pDX->PrepareCtrl(id);
    if (control == nullptr) {
        return;
    }
    if (auto* entry = dynamic_cast<wxTextEntry*>(control)) {
        if (pDX->m_bSaveAndValidate) {
            value = entry->GetValue();
        } else if (entry->GetValue() != value) {
            entry->ChangeValue(value); // no text event, as a program's own update
        }
    } else if (auto* labelled = dynamic_cast<wxControl*>(control)) {
        if (pDX->m_bSaveAndValidate) {
            value = labelled->GetLabelText();
        } else if (labelled->GetLabelText() != value) {
            labelled->SetLabelText(value);
        }
    } else {
        pDX->m_bFailed = true;
    }
}

void DDX_Check(CDataExchange* pDX, int id, int32_t& value) {
    wxWindow* window = pDX->PrepareCtrl(id);
    auto* box = dynamic_cast<wxCheckBox*>(window);
    if (box == nullptr) {
        pDX->m_bFailed = true;
        return;
    }
    if (pDX->m_bSaveAndValidate) {
        switch (box->Get3StateValue()) {
        case wxCHK_CHECKED:
            value = 1;
            break;
        case wxCHK_UNDETERMINED:
            value = 2;
            break;
        default:
            value = 0;
            break;
        }
    } else if (value == 2 && box->Is3State()) {
        box->Set3StateValue(wxCHK_UNDETERMINED);
    } else {
        box->SetValue(value != 0);
    }
}

void DDX_Check(CDataExchange* pDX, int id, std::atomic<int32_t>& value) {
    int32_t plain = value.load();
    DDX_Check(pDX, id, plain);
    if (pDX->m_bSaveAndValidate) {
        value.store(plain);
    }
}

wxBEGIN_EVENT_TABLE(CDialogBase, wxDialog)
    EVT_BUTTON(kIdOk, CDialogBase::OnCommandOk)
    EVT_BUTTON(wxID_OK, CDialogBase::OnCommandOk)
    EVT_BUTTON(kIdCancel, CDialogBase::OnCommandCancel)
    EVT_BUTTON(wxID_CANCEL, CDialogBase::OnCommandCancel)
    EVT_CLOSE(CDialogBase::OnClose)
    EVT_CHAR_HOOK(CDialogBase::OnCharHook)
    EVT_TIMER(wxID_ANY, CDialogBase::OnTimerEvent)
wxEND_EVENT_TABLE()

CDialogBase::CDialogBase(int templateId, wxWindow* parent)
    : m_nTemplateId(templateId), m_pParentWnd(parent) {}

CDialogBase::~CDialogBase() {
    m_timers.clear();
}

int CDialogBase::DoModal() {
    if (!CreateFromTemplate()) {
        DebugPrint("CDialogBase::DoModal - no template %d\n", m_nTemplateId);
        return -1;
    }
    m_bEnded = false;
    m_nResult = kIdCancel;
    OnInitDialog();
    if (!m_bEnded) {
        ShowModal();
    }
    return m_nResult;
}

void CDialogBase::EndDialog(int result) {
    m_nResult = result;
    m_bEnded = true;
    if (IsModal()) {
        EndModal(result);
    } else {
        Hide();
    }
}

bool CDialogBase::CreateFromTemplate() {
    if (GetHandle() != nullptr) {
        return true;
    }
    DialogTemplate t;
    if (!FindDialogTemplate(m_nTemplateId, &t)) {
        return false;
    }
    if (!wxDialog::Create(m_pParentWnd, m_nTemplateId, t.title, wxDefaultPosition, wxDefaultSize,
                          t.style)) {
        return false;
    }
    SetFont(wxFont(wxFontInfo(wxSize(0, DialogFontPixels())).Family(wxFONTFAMILY_SWISS)));
    if (g_dialogBackground.IsOk()) {
        SetBackgroundColour(g_dialogBackground);
    }
    if (g_dialogText.IsOk()) {
        SetForegroundColour(g_dialogText);
    }
    m_templateSize = DialogSizeToPixels(t.size);
    // wx hands GTK a size only when it differs from the one wx holds, and the size it holds from
    // creation (its default: 240 x 320 on a 640 x 480 screen) never reached GTK. Without a window
    // manager the dialog then maps at the natural size of its container of placed controls,
    // 1 x 1. Another size first makes the template's a real change.
    SetClientSize(m_templateSize + wxSize(1, 1));
    SetClientSize(m_templateSize);
    for (const ControlTemplate& c : t.controls) {
        if (CreateControl(c) == nullptr) {
            DebugPrint("CDialogBase: cannot create control %d\n", c.id);
            return false;
        }
    }
    return true;
}

wxWindow* CDialogBase::CreateControl(const ControlTemplate& c) {
    const wxRect r = DialogRectToPixels(c.rect);
    const wxWindowID id = c.id == kNoControlId ? wxID_ANY : c.id;
    const wxPoint pos = r.GetPosition();
    const wxSize size = r.GetSize();
    bool labelColours = false;
    wxWindow* w = nullptr;
    if (c.kind == "wxStaticText") {
        w = new wxStaticText(this, id, c.label, pos, size, c.style | wxST_NO_AUTORESIZE);
        labelColours = true;
    } else if (c.kind == "wxButton" && !c.subclass.empty()) {
        w = CreateOwnerDrawButton(id, pos, size);
    } else if (c.kind == "wxButton") {
        auto* button = new wxButton(this, id, c.label, pos, size, c.style);
        if (c.isDefault) {
            button->SetDefault();
        }
        w = button;
    } else if (c.kind == "wxTextCtrl") {
        w = new wxTextCtrl(this, id, wxEmptyString, pos, size, c.style);
    } else if (c.kind == "wxCheckBox") {
        w = new wxCheckBox(this, id, c.label, pos, size, c.style);
        labelColours = true;
    } else if (c.kind == "wxRadioButton") {
        w = new wxRadioButton(this, id, c.label, pos, size, c.style);
        labelColours = true;
    } else if (c.kind == "wxStaticBox") {
        w = new wxStaticBox(this, id, c.label, pos, size, c.style);
        labelColours = true;
    } else if (c.kind == "wxPanel") {
        w = new wxPanel(this, id, pos, size, c.style | wxBORDER_NONE);
    } else if (c.kind == "wxListCtrl") {
        w = new wxListCtrl(this, id, pos, size, c.style);
    } else if (c.kind == "wxComboBox") {
        const wxSize closed(size.x, DialogUnitsToPixels(kComboLineUnits));
        w = new wxComboBox(this, id, wxEmptyString, pos, closed, c.items, c.style);
    }
    if (w == nullptr) {
        return nullptr;
    }
    w->SetFont(GetFont());
    CompactControl(w);
    if (labelColours && g_dialogText.IsOk()) {
        w->SetForegroundColour(g_dialogText);
    }
    if (c.background) {
        w->SetBackgroundColour(*c.background);
    }
    if (c.kind != "wxComboBox") {
        // A native control may have grown to its minimum; the template's rectangle wins.
        w->SetSize(wxRect(pos, size));
    }
    if (c.disabled) {
        w->Disable();
    }
    if (c.hidden) {
        w->Hide();
    }
    return w;
}

COwnerDrawButton* CDialogBase::CreateOwnerDrawButton(int id, const wxPoint& pos,
                                                     const wxSize& size) {
    return new COwnerDrawButton(this, id, pos, size);
}

bool CDialogBase::OnInitDialog() {
    return UpdateData(false);
}

void CDialogBase::OnOK() {
    if (UpdateData(true)) {
        EndDialog(kIdOk);
    }
}

void CDialogBase::OnCancel() {
    EndDialog(kIdCancel);
}

void CDialogBase::OnTimer(uint32_t) {}

void CDialogBase::DoDataExchange(CDataExchange*) {}

bool CDialogBase::UpdateData(bool saveAndValidate) {
    CDataExchange dx(this, saveAndValidate);
    DoDataExchange(&dx);
    return !dx.m_bFailed;
}

uint32_t CDialogBase::SetTimer(uint32_t id, uint32_t periodMs) {
    if (id == 0 || id > INT_MAX || periodMs == 0 || periodMs > INT_MAX) {
        return 0;
    }
    auto& timer = m_timers[id];
    if (!timer) {
        timer = std::make_unique<wxTimer>(this, static_cast<int>(id));
    }
    return timer->Start(static_cast<int>(periodMs)) ? id : 0;
}

bool CDialogBase::KillTimer(uint32_t id) {
    auto it = m_timers.find(id);
    if (it == m_timers.end()) {
        return false;
    }
    it->second->Stop();
    m_timers.erase(it);
    return true;
}

bool CDialogBase::IsTimerRunning(uint32_t id) const {
    auto it = m_timers.find(id);
    return it != m_timers.end() && it->second->IsRunning();
}

void CDialogBase::OnTimerEvent(wxTimerEvent& event) {
    OnTimer(static_cast<uint32_t>(event.GetId()));
}

wxWindow* CDialogBase::GetDlgItem(int id) const {
    // Only the template's controls: not the dialog itself, not the soft keys' buttons.
    for (wxWindow* child : GetChildren()) {
        if (child->GetId() == id && child != m_softKeys) {
            return child;
        }
    }
    return nullptr;
}

void CDialogBase::SetDlgItemText(int id, const wxString& text) {
    CDataExchange dx(this, false);
    wxString value = text;
    DDX_Text(&dx, id, value);
}

wxString CDialogBase::GetDlgItemText(int id) const {
    CDataExchange dx(const_cast<CDialogBase*>(this), true);
    wxString value;
    DDX_Text(&dx, id, value);
    return value;
}

wxRect CDialogBase::GetItemClientRect(int id) const {
    wxWindow* control = GetDlgItem(id);
    return control != nullptr ? control->GetRect() : wxRect();
}

bool CDialogBase::CreateSoftKeyBar(int menuId) {
    if (m_softKeys != nullptr) {
        return true;
    }
    std::vector<MenuTemplate> items;
    if (!FindMenuTemplate(menuId, &items)) {
        return false;
    }
    const int height = static_cast<int>(std::lround(CSoftKeyBar::kHeight * DisplayScale()));
    m_softKeys = new CSoftKeyBar(this, items, wxPoint(0, m_templateSize.y),
                                 wxSize(m_templateSize.x, height));
    m_softKeys->SetFont(GetFont());
    SetClientSize(m_templateSize.x, m_templateSize.y + height);
    return true;
}

void CDialogBase::OnCommandOk(wxCommandEvent&) {
    OnOK();
}

void CDialogBase::OnCommandCancel(wxCommandEvent&) {
    OnCancel();
}

void CDialogBase::OnClose(wxCloseEvent& event) {
    OnCancel();
    if (!m_bEnded) {
        if (event.CanVeto()) {
            event.Veto();
        } else {
            EndDialog(kIdCancel);
        }
    }
}

void CDialogBase::OnCharHook(wxKeyEvent& event) {
    if (event.HasAnyModifiers()) {
        event.Skip();
        return;
    }
    switch (event.GetKeyCode()) {
    case WXK_ESCAPE:
        OnCancel();
        return;
    case WXK_RETURN:
    case WXK_NUMPAD_ENTER:
        OnOK();
        return;
    default:
        event.Skip();
        return;
    }
}
