#include "SoftKeyBar.h"

#include "Dialog.h"

#include <wx/settings.h>

void CSoftKeyBar::AppendMenuItems(wxMenu* menu, const std::vector<MenuTemplate>& items) {
    for (const MenuTemplate& sub : items) {
        if (sub.separator) {
            menu->AppendSeparator();
        } else if (sub.IsPopup()) {
            // The parent menu owns the submenu and deletes it with itself.
            auto* submenu = new wxMenu();
            AppendMenuItems(submenu, sub.popup);
            menu->AppendSubMenu(submenu, sub.label);
        } else if (sub.checkable) {
            menu->AppendCheckItem(MenuCommandId(sub.id), sub.label);
        } else if (sub.radio) {
            menu->AppendRadioItem(MenuCommandId(sub.id), sub.label);
        } else {
            menu->Append(MenuCommandId(sub.id), sub.label);
        }
    }
}

CSoftKeyBar::CSoftKeyBar(wxWindow* parent, const std::vector<MenuTemplate>& items,
                         const wxPoint& pos, const wxSize& size)
    : wxPanel(parent, wxID_ANY, pos, size, wxBORDER_NONE | wxTAB_TRAVERSAL) {
    SetBackgroundColour(wxSystemSettings::GetColour(wxSYS_COLOUR_BTNFACE));
    const int count = items.empty() ? 1 : static_cast<int>(items.size());
    int left = 0;
    for (size_t i = 0; i < items.size(); ++i) {
        const MenuTemplate& item = items[i];
        if (item.separator) {
            continue;
        }
        const int right = size.x * static_cast<int>(i + 1) / count;
        SoftKey key;
        key.button = new wxButton(this, wxID_ANY, item.label, wxPoint(left, 0),
                                  wxSize(right - left, size.y));
        CompactControl(key.button);
        if (item.IsPopup()) {
            key.popup = std::make_unique<wxMenu>();
            AppendMenuItems(key.popup.get(), item.popup);
        } else {
            key.command = MenuCommandId(item.id);
        }
        key.button->Bind(wxEVT_BUTTON, &CSoftKeyBar::OnKey, this);
        m_keys.push_back(std::move(key));
        left = right;
    }
}

void CSoftKeyBar::OnKey(wxCommandEvent& event) {
    for (const SoftKey& key : m_keys) {
        if (key.button != event.GetEventObject()) {
            continue;
        }
        if (key.popup) {
            // The chosen item's wxEVT_MENU goes to this panel and on up to the dialog.
            const wxRect r = key.button->GetRect();
            PopupMenu(key.popup.get(), r.GetLeft(), r.GetTop());
        } else {
            wxCommandEvent command(wxEVT_MENU, key.command);
            command.SetEventObject(this);
            ProcessWindowEvent(command);
        }
        return;
    }
}

wxMenuItem* CSoftKeyBar::FindMenuItem(int id) const {
    for (const SoftKey& key : m_keys) {
        if (key.popup) {
            if (wxMenuItem* item = key.popup->FindItem(id)) {
                return item;
            }
        }
    }
    return nullptr;
}
