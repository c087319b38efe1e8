// The main window's fast-load option and the switch to 115200 before a load.
#include "app/forms/form1.h"
#include "app/link/run_time_error.h"
#include "app/upgrade/upgrade_rules.h"

namespace tcu {

int16_t Form1::Fast_Load() {
    if (!mnuload_5->isChecked())
        return 1;
    core_->SavedPortSettings = CommCtl1.settings();
    const std::optional<QString> fast = upgrade::fastLoadSettings(core_->SavedPortSettings);
    if (!fast)
        return 0; // settings the control never reports; nothing to switch
    if (ExchangeCommand(QStringLiteral("<RSBAUD=115200>")) == 0)
        return 0;
    // The scanner listens at 115200 from the next byte on; the port follows, open.
    CommCtl1.setSettings(*fast);
    return 1;
}

} // namespace tcu
