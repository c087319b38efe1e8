// Applying one setup token to the window (a "<SETPAR:>" answer's records, an opened
// setup file's records).
#pragma once

#include <string_view>

#include "app/settings/setup_model.h"

namespace tcu::settings {

// A fixed write token of the table (one of the 55, compared whole and exactly) chooses
// its option; a token starting "<RSDELY=", "<PREFIX=" or "<SUFFIX=" puts the text from
// its ninth character up to, not including, its last character into that box (empty
// for eight characters or fewer; the box keeps at most its limit). Anything else changes
// nothing. Returns true when the token was one of these.
bool ApplySetupToken(SetupView& view, std::string_view token);

} // namespace tcu::settings
