// What a firmware load keeps program-wide.
//
// SavedPortSettings: the control's Settings as they were before Fast_Load switched
// the port to 115200; the upload window's Cancel switches back to them. Empty until
// the first fast load. GUI thread only.
#pragma once

#include <QString>

namespace tcu {

extern QString SavedPortSettings;

// Puts the variables above back to their start values (tests).
void resetUpgradeState();

} // namespace tcu
