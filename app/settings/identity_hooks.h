// What Receive asks of the identity fields of the "Revision Numbers" tab. The fields
// themselves and how each answer is shown belong to the identity code, which sets these;
// unset hooks do nothing.
#pragma once

#include <functional>

namespace tcu::settings {

struct ReceiveIdentityHooks {
    // Empties the captions of labRevision(0) to labRevision(3) before the queries.
    std::function<void()> clearRevisions;
    // The serial number field Label4 shows "NOT SUPPORTED" (App1RevNumber 321 or less).
    std::function<void()> serialNotSupported;
    // Empties the registration key entry box Text5.
    std::function<void()> clearRegistrationEntry;
};

} // namespace tcu::settings
