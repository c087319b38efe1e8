// The fast load: scanner and port switch to 115200 before a load.
#include "app/core/program_core.h"
#include "app/link/run_time_error.h"
#include "app/upgrade/upgrade_rules.h"

namespace tcu {

int16_t ProgramCore::Fast_Load(bool wanted) {
    if (!wanted)
        return 1;
    SavedPortSettings = CommCtl1.settings();
    const std::optional<QString> fast = upgrade::fastLoadSettings(SavedPortSettings);
    if (!fast)
        return 0; // settings the control never reports; nothing to switch
    if (ExchangeCommand(QStringLiteral("<RSBAUD=115200>")) == 0)
        return 0;
    // The scanner listens at 115200 from the next byte on; the port follows, open.
    CommCtl1.setSettings(*fast);
    return 1;
}

} // namespace tcu
