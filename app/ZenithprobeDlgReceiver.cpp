// The main dialog's receiver family: the radio items of Options > Receiver (the RECEIVER key),
// and the identification's result on the version line.
#include "Debug.h"
#include "ReceiverFamily.h"
#include "ResourceIds.h"
#include "UiThread.h"
#include "ZenithprobeDlg.h"

namespace {

// Item n of the submenu: SONY / SiRF, the families in the table's order, then auto.
ReceiverSetting SettingOfItem(int n) {
    ReceiverSetting setting;
    if (n == IDM_RECEIVER_AUTO - IDM_RECEIVER_FIRST) {
        setting.automatic = true;
    } else if (n >= 1 && n <= static_cast<int>(kReceiverFamilies.size())) {
        setting.family = kReceiverFamilies[static_cast<size_t>(n - 1)];
    }
    return setting;
}

int ItemOfSetting(const ReceiverSetting& setting) {
    if (setting.automatic) {
        return IDM_RECEIVER_AUTO - IDM_RECEIVER_FIRST;
    }
    for (size_t i = 0; i < kReceiverFamilies.size(); ++i) {
        if (kReceiverFamilies[i] == setting.family) {
            return static_cast<int>(i) + 1;
        }
    }
    return 0;
}

} // namespace

void CZenithprobeDlg::BindReceiverMenu() {
    if (CSoftKeyBar* keys = SoftKeyBar()) {
        const int checked = MenuCommandId(IDM_RECEIVER_FIRST + ItemOfSetting(Receiver()));
        if (wxMenuItem* item = keys->FindMenuItem(checked)) {
            item->Check();
        }
    }
    for (int n = 0; n <= IDM_RECEIVER_AUTO - IDM_RECEIVER_FIRST; ++n) {
        Bind(
            wxEVT_MENU,
            [this, n](wxCommandEvent&) {
                const ReceiverSetting setting = SettingOfItem(n);
                SetReceiver(setting, true);
                if (setting.automatic) {
                    RequestIdentify();
                }
            },
            MenuCommandId(IDM_RECEIVER_FIRST + n));
    }
}

void CZenithprobeDlg::IdentifyNotify(ReceiverIdentity identity) {
    // Reader thread: the version line and a waiting start-up restart belong to the
    // user-interface thread.
    PostToUi(m_lifetime.Token(), [this, identity = std::move(identity)] {
        m_strVersion = wxString::FromUTF8(identity.text);
        SetDlgItemText(IDC_VERSION, m_strVersion);
        if (m_bStartupRestartPending) {
            m_bStartupRestartPending = false;
            StartupRestart();
        }
    });
}
