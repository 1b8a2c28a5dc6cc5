#include "DialogTemplate.h"

#include "Debug.h"
#include "Resources.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <wx/combobox.h>
#include <wx/listctrl.h>
#include <wx/mstream.h>
#include <wx/radiobut.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/tokenzr.h>
#include <wx/toplevel.h>
#include <wx/xml/xml.h>

namespace {

// The handheld's screen: 240 pixels across the main dialog's 138 units (320 down its 184: the
// same ratio).
constexpr double kPixelsPerUnit = 240.0 / 138.0;
// Small enough that every label of the templates fits its rectangle at any scale.
constexpr double kFontPixels = 10.0;

double g_scale = 1.0; // user-interface thread; set once at start-up

struct StyleName {
    const char* name;
    long value;
};

constexpr StyleName kStyles[] = {
    {"wxALIGN_LEFT", wxALIGN_LEFT},
    {"wxALIGN_RIGHT", wxALIGN_RIGHT},
    {"wxALIGN_CENTRE_HORIZONTAL", wxALIGN_CENTRE_HORIZONTAL},
    {"wxST_NO_AUTORESIZE", wxST_NO_AUTORESIZE},
    {"wxTE_READONLY", wxTE_READONLY},
    {"wxBORDER_SUNKEN", wxBORDER_SUNKEN},
    {"wxBORDER_SIMPLE", wxBORDER_SIMPLE},
    {"wxBORDER_NONE", wxBORDER_NONE},
    {"wxCB_DROPDOWN", wxCB_DROPDOWN},
    {"wxCB_SORT", wxCB_SORT},
    {"wxRB_GROUP", wxRB_GROUP},
    {"wxVSCROLL", wxVSCROLL},
    {"wxCAPTION", wxCAPTION},
    {"wxSYSTEM_MENU", wxSYSTEM_MENU},
    {"wxCLOSE_BOX", wxCLOSE_BOX},
    {"wxRESIZE_BORDER", wxRESIZE_BORDER},
    {"wxMAXIMIZE_BOX", wxMAXIMIZE_BOX},
    {"wxLC_REPORT", wxLC_REPORT},
    {"wxLC_SINGLE_SEL", wxLC_SINGLE_SEL},
};

constexpr const char* kKinds[] = {"wxStaticText", "wxButton",      "wxTextCtrl",
                                  "wxCheckBox",   "wxStaticBox",   "wxPanel",
                                  "wxComboBox",   "wxRadioButton", "wxListCtrl"};

bool ParseStyle(const wxString& text, long* style) {
    long value = 0;
    for (const wxString& raw : wxSplit(text, '|', '\0')) {
        const wxString name = raw.Strip(wxString::both);
        const auto* found = std::find_if(std::begin(kStyles), std::end(kStyles),
                                         [&](const StyleName& s) { return name == s.name; });
        if (found == std::end(kStyles)) {
            DebugPrint("DialogTemplate: unknown style %s\n", name.utf8_str().data());
            return false;
        }
        value |= found->value;
    }
    *style = value;
    return true;
}

// "x,yd": two numbers in dialog units.
bool ParseUnits(const wxString& text, int* a, int* b) {
    wxString t = text.Strip(wxString::both);
    if (!t.EndsWith("d", &t)) {
        return false;
    }
    long x = 0;
    long y = 0;
    const wxString first = t.BeforeFirst(',');
    const wxString second = t.AfterFirst(',');
    if (!first.ToLong(&x) || !second.ToLong(&y) || x < 0 || y < 0 || x > 10000 || y > 10000) {
        return false;
    }
    *a = static_cast<int>(x);
    *b = static_cast<int>(y);
    return true;
}

// A numeric name gives the id; no name means "no id of its own".
bool ParseId(const wxXmlNode* node, int* id) {
    wxString name;
    if (!node->GetAttribute("name", &name)) {
        *id = kNoControlId;
        return true;
    }
    long value = 0;
    if (!name.ToLong(&value) || value <= 0 || value >= 65535) {
        return false;
    }
    *id = static_cast<int>(value);
    return true;
}

const wxXmlNode* FindResource(const wxXmlDocument& doc, const char* kind, int id) {
    const wxXmlNode* root = doc.GetRoot();
    if (root == nullptr) {
        return nullptr;
    }
    const wxString name = wxString::Format("%d", id);
    for (const wxXmlNode* n = root->GetChildren(); n != nullptr; n = n->GetNext()) {
        if (n->GetType() == wxXML_ELEMENT_NODE && n->GetName() == "object" &&
            n->GetAttribute("class") == kind && n->GetAttribute("name") == name) {
            return n;
        }
    }
    return nullptr;
}

bool LoadDocument(const char* xrcText, wxXmlDocument* doc) {
    wxMemoryInputStream in(xrcText, std::strlen(xrcText));
    return doc->Load(in);
}

bool ParseControl(const wxXmlNode* node, ControlTemplate* c) {
    c->kind = node->GetAttribute("class");
    c->subclass = node->GetAttribute("subclass");
    if (std::none_of(std::begin(kKinds), std::end(kKinds),
                     [&](const char* k) { return c->kind == k; }) ||
        (!c->subclass.empty() && (c->kind != "wxButton" || c->subclass != "COwnerDrawButton"))) {
        DebugPrint("DialogTemplate: unknown control class %s\n", c->kind.utf8_str().data());
        return false;
    }
    if (!ParseId(node, &c->id)) {
        return false;
    }
    bool hasPos = false;
    bool hasSize = false;
    for (const wxXmlNode* p = node->GetChildren(); p != nullptr; p = p->GetNext()) {
        if (p->GetType() != wxXML_ELEMENT_NODE) {
            continue;
        }
        const wxString name = p->GetName();
        const wxString value = p->GetNodeContent();
        if (name == "pos") {
            int x = 0;
            int y = 0;
            hasPos = ParseUnits(value, &x, &y);
            c->rect.SetPosition(wxPoint(x, y));
        } else if (name == "size") {
            int w = 0;
            int h = 0;
            hasSize = ParseUnits(value, &w, &h);
            c->rect.SetSize(wxSize(w, h));
        } else if (name == "label") {
            c->label = value;
        } else if (name == "style") {
            if (!ParseStyle(value, &c->style)) {
                return false;
            }
        } else if (name == "hidden") {
            c->hidden = value == "1";
        } else if (name == "enabled") {
            c->disabled = value == "0";
        } else if (name == "default") {
            c->isDefault = value == "1";
        } else if (name == "bg") {
            wxColour colour(value);
            if (!colour.IsOk()) {
                return false;
            }
            c->background = colour;
        } else if (name == "content") {
            for (const wxXmlNode* item = p->GetChildren(); item != nullptr;
                 item = item->GetNext()) {
                if (item->GetType() == wxXML_ELEMENT_NODE && item->GetName() == "item") {
                    c->items.Add(item->GetNodeContent());
                }
            }
        } else {
            DebugPrint("DialogTemplate: unknown property %s\n", name.utf8_str().data());
            return false;
        }
    }
    return hasPos && hasSize;
}

bool ParseMenuItems(const wxXmlNode* node, std::vector<MenuTemplate>* out) {
    for (const wxXmlNode* n = node->GetChildren(); n != nullptr; n = n->GetNext()) {
        if (n->GetType() != wxXML_ELEMENT_NODE || n->GetName() != "object") {
            continue;
        }
        MenuTemplate item;
        const wxString kind = n->GetAttribute("class");
        if (kind == "separator") {
            item.separator = true;
        } else if (kind == "wxMenuItem" || kind == "wxMenu") {
            for (const wxXmlNode* p = n->GetChildren(); p != nullptr; p = p->GetNext()) {
                if (p->GetType() == wxXML_ELEMENT_NODE && p->GetName() == "label") {
                    item.label = p->GetNodeContent();
                } else if (p->GetType() == wxXML_ELEMENT_NODE && p->GetName() == "checkable") {
                    item.checkable = p->GetNodeContent() == "1";
                } else if (p->GetType() == wxXML_ELEMENT_NODE && p->GetName() == "radio") {
                    item.radio = p->GetNodeContent() == "1";
                }
            }
            if (kind == "wxMenuItem") {
                // A menu item is one kind or the other; wx would assert on both.
                if (!ParseId(n, &item.id) || item.id == kNoControlId ||
                    (item.checkable && item.radio)) {
                    return false;
                }
            } else if (!ParseMenuItems(n, &item.popup) || item.popup.empty()) {
                return false;
            }
        } else {
            return false;
        }
        out->push_back(std::move(item));
    }
    return true;
}

} // namespace

bool ParseDialogTemplate(const char* xrcText, int id, DialogTemplate* out) {
    wxXmlDocument doc;
    if (xrcText == nullptr || !LoadDocument(xrcText, &doc)) {
        DebugPrint("DialogTemplate: resources are not valid XML\n");
        return false;
    }
    const wxXmlNode* dialog = FindResource(doc, "wxDialog", id);
    if (dialog == nullptr) {
        DebugPrint("DialogTemplate: no dialog %d\n", id);
        return false;
    }
    DialogTemplate t;
    t.id = id;
    bool hasSize = false;
    for (const wxXmlNode* p = dialog->GetChildren(); p != nullptr; p = p->GetNext()) {
        if (p->GetType() != wxXML_ELEMENT_NODE) {
            continue;
        }
        const wxString name = p->GetName();
        if (name == "object") {
            ControlTemplate c;
            if (!ParseControl(p, &c)) {
                DebugPrint("DialogTemplate: bad control in dialog %d\n", id);
                return false;
            }
            t.controls.push_back(std::move(c));
        } else if (name == "size") {
            int w = 0;
            int h = 0;
            hasSize = ParseUnits(p->GetNodeContent(), &w, &h);
            t.size = wxSize(w, h);
        } else if (name == "title") {
            t.title = p->GetNodeContent();
        } else if (name == "style") {
            if (!ParseStyle(p->GetNodeContent(), &t.style)) {
                return false;
            }
        } else if (name == "font") {
            for (const wxXmlNode* f = p->GetChildren(); f != nullptr; f = f->GetNext()) {
                if (f->GetName() == "face") {
                    t.fontFace = f->GetNodeContent();
                } else if (f->GetName() == "size") {
                    long points = 0;
                    f->GetNodeContent().ToLong(&points);
                    t.fontPoints = static_cast<int>(points);
                }
            }
        }
    }
    if (!hasSize) {
        DebugPrint("DialogTemplate: dialog %d has no size\n", id);
        return false;
    }
    *out = std::move(t);
    return true;
}

bool ParseMenuTemplate(const char* xrcText, int id, std::vector<MenuTemplate>* out) {
    wxXmlDocument doc;
    if (xrcText == nullptr || !LoadDocument(xrcText, &doc)) {
        return false;
    }
    const wxXmlNode* menu = FindResource(doc, "wxMenu", id);
    std::vector<MenuTemplate> items;
    if (menu == nullptr || !ParseMenuItems(menu, &items)) {
        DebugPrint("DialogTemplate: no valid menu %d\n", id);
        return false;
    }
    *out = std::move(items);
    return true;
}

bool FindDialogTemplate(int id, DialogTemplate* out) {
    return ParseDialogTemplate(ResourceXrcText(), id, out);
}

bool FindMenuTemplate(int id, std::vector<MenuTemplate>* out) {
    return ParseMenuTemplate(ResourceXrcText(), id, out);
}

void SetDisplayScale(double scale) {
    if (!(scale >= 0.5)) { // also NaN
        scale = 0.5;
    }
    g_scale = std::min(scale, 8.0);
}

double DisplayScale() {
    return g_scale;
}

int ChooseDesktopScale(int screenHeightPx, double desktopFactor, int windowHeightPx) {
    if (!(desktopFactor >= 1) || windowHeightPx <= 0 || screenHeightPx <= 0) {
        return 1;
    }
    const double usable = screenHeightPx / desktopFactor * 2.0 / 3.0;
    const int scale = static_cast<int>(std::floor(usable / windowHeightPx));
    return std::clamp(scale, 1, 8);
}

int DialogUnitsToPixels(int units) {
    return static_cast<int>(std::lround(units * kPixelsPerUnit * g_scale));
}

wxRect DialogRectToPixels(const wxRect& units) {
    const int left = DialogUnitsToPixels(units.x);
    const int top = DialogUnitsToPixels(units.y);
    const int right = DialogUnitsToPixels(units.x + units.width);
    const int bottom = DialogUnitsToPixels(units.y + units.height);
    return wxRect(left, top, right - left, bottom - top);
}

wxSize DialogSizeToPixels(const wxSize& units) {
    return wxSize(DialogUnitsToPixels(units.x), DialogUnitsToPixels(units.y));
}

int DialogFontPixels() {
    return static_cast<int>(std::lround(kFontPixels * g_scale));
}
