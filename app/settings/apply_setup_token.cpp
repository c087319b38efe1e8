#include "app/settings/apply_setup_token.h"

#include <string>

namespace tcu::settings {

namespace {

constexpr size_t kPrefixLength = 8; // "<" + six-character key + "="

} // namespace

bool ApplySetupToken(SetupView& view, std::string_view token) {
    // Fixed tokens: "<KEY=VALUE>", all of it compared.
    if (token.size() > kPrefixLength && token.front() == '<' && token.back() == '>' &&
        token[7] == '=') {
        const int key = setupKeyIndex(token.substr(1, 6));
        if (key >= 0) {
            const SetupKey& k = setupKeys()[key];
            const std::string_view value = token.substr(kPrefixLength, token.size() - 9);
            for (int option = 0; option < k.optionCount; ++option) {
                if (k.options[option].value == value) {
                    view.chooseOption(key, option);
                    return true;
                }
            }
        }
    }
    const std::string_view head = token.substr(0, kPrefixLength);
    SetupField field = SetupField::None;
    if (head == "<RSDELY=")
        field = SetupField::Delay;
    else if (head == "<PREFIX=")
        field = SetupField::Prefix;
    else if (head == "<SUFFIX=")
        field = SetupField::Suffix;
    if (field == SetupField::None)
        return false;
    // The last character is dropped whatever it is.
    const std::string value =
        token.size() > kPrefixLength
            ? std::string(token.substr(kPrefixLength, token.size() - kPrefixLength - 1))
            : std::string();
    view.setText(field, value);
    return true;
}

} // namespace tcu::settings
