#include "UiThread.h"

#include <wx/app.h>

void PostToUi(const CLifetimeToken& token, std::function<void()> call) {
    wxAppConsole* app = wxAppConsole::GetInstance();
    if (app == nullptr) {
        return;
    }
    app->CallAfter([token, call = std::move(call)] {
        if (CLifetimeLease lease = token.Enter()) {
            call();
        }
    });
}
