#pragma once
// The handheld's menu bar as a bar of soft keys along the bottom of a dialog: one key per
// top-level item of a menu resource. A command item's key sends its command at once; a pop-up
// item's key opens its menu above the key. Inside a pop-up, a nested menu becomes a submenu;
// check and radio items keep their kind (a run of radio items is one group, its first checked
// until the owner checks another).
//
// Commands reach the dialog as wxEVT_MENU with MenuCommandId(resource number): wx refuses menu ids
// from 0x7fff up, and the menu resource's are 32771 and above.
//
// Threads: the user-interface thread only.
#include "DialogTemplate.h"

#include <memory>
#include <vector>
#include <wx/button.h>
#include <wx/menu.h>
#include <wx/panel.h>

// The wx id of a menu resource's command number, and back. Numbers below 0x7fff are kept as they
// are.
constexpr int MenuCommandId(int resourceId) {
    return resourceId >= 0x7fff ? resourceId - 0x4000 : resourceId;
}
constexpr int ResourceCommandId(int wxId) {
    return wxId >= 0x7fff - 0x4000 && wxId < 0x7fff ? wxId + 0x4000 : wxId;
}

class CSoftKeyBar : public wxPanel {
public:
    // Pixel height of the bar at display scale 1.
    static constexpr int kHeight = 26;

    CSoftKeyBar(wxWindow* parent, const std::vector<MenuTemplate>& items, const wxPoint& pos,
                const wxSize& size);

    size_t KeyCount() const { return m_keys.size(); }
    wxButton* Key(size_t index) const { return m_keys.at(index).button; }
    // The key's pop-up menu, or nullptr for a command key.
    wxMenu* Popup(size_t index) const { return m_keys.at(index).popup.get(); }
    // The item with wx id `id` in any key's pop-up or its submenus; nullptr when there is none.
    wxMenuItem* FindMenuItem(int id) const;

private:
    struct SoftKey {
        wxButton* button = nullptr;
        int command = 0; // wx id of a command key
        std::unique_ptr<wxMenu> popup;
    };
    void OnKey(wxCommandEvent& event);
    static void AppendMenuItems(wxMenu* menu, const std::vector<MenuTemplate>& items);

    std::vector<SoftKey> m_keys;
};
