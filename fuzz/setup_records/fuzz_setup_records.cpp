// A random record list is cut and applied to a settings model in memory, as Receive and
// Open Setup do. Checks: every token lies inside the input and holds no EOT, no box goes
// beyond its limit, every group keeps a valid choice, and the setup command and the
// setup file built afterwards stay within their bounds and read back to the same model.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "app/settings/apply_setup_token.h"
#include "app/settings/setup_model.h"
#include "app/settings/split_records.h"

using namespace tcu::settings;

namespace {

void check(bool ok) {
    if (!ok)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    SetupValues model;
    size_t tokens = 0;
    SplitRecords(text, [&](std::string_view token) {
        check(token.data() >= text.data() && token.data() + token.size() <= text.data() + size);
        check(token.find(kEot) == std::string_view::npos);
        ++tokens;
        ApplySetupToken(model, token);
    });
    check(tokens <= size / 2);
    for (SetupField f : {SetupField::Delay, SetupField::Prefix, SetupField::Suffix})
        check(model.text(f).size() <= static_cast<size_t>(fieldMaxLength(f)));
    for (int k = 0; k < kSetupKeyCount; ++k) {
        const SetupKey& key = setupKeys()[k];
        if (key.optionCount > 0)
            check(model.chosenOption(k) >= 0 && model.chosenOption(k) < key.optionCount);
    }
    // Written and read again, the model comes back the same (the handshake is not written).
    const std::string file = setupFileText(model);
    SetupValues again;
    again.chooseOption(setupKeyIndex("RSCTSE"), model.chosenOption(setupKeyIndex("RSCTSE")));
    SplitRecords(file, [&](std::string_view token) { ApplySetupToken(again, token); });
    // A free text holding EOT cuts its record short; compare only texts without one.
    bool plain = true;
    for (SetupField f : {SetupField::Prefix, SetupField::Suffix, SetupField::Delay})
        plain = plain && model.text(f).find(kEot) == std::string::npos &&
                model.text(f).find(kSoh) == std::string::npos;
    if (plain)
        check(setupCommand(again) == setupCommand(model));
    check(setupCommand(model).size() <= 353);
    return 0;
}
