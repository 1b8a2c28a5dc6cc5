#include "UiThread.h"

#include <glib.h>
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

bool CUiTicker::Start(uint32_t periodMs, std::function<void()> tick) {
    Stop();
    if (periodMs == 0 || !tick) {
        return false;
    }
    m_tick = std::move(tick);
    m_source = g_timeout_add(periodMs, &CUiTicker::OnTick, this);
    return m_source != 0;
}

void CUiTicker::Stop() {
    if (m_source != 0) {
        g_source_remove(m_source);
        m_source = 0;
    }
}

int CUiTicker::OnTick(void* self) {
    // The tick may stop its own ticker: the function is kept alive for the call.
    auto* ticker = static_cast<CUiTicker*>(self);
    const std::function<void()> tick = ticker->m_tick;
    tick();
    return G_SOURCE_CONTINUE;
}
