#include "platform/component/property_exchange.h"

namespace vort::component {

void PropertyExchange::fail(std::string message) {
    if (error_.empty())
        error_ = message.empty() ? std::string("unknown error") : std::move(message);
}

void DefaultPropertyValues::exchangeVersion(uint16_t& major, uint16_t& minor, uint16_t defMajor,
                                            uint16_t defMinor) {
    major = defMajor;
    minor = defMinor;
}

void DefaultPropertyValues::exchange(std::string_view, int16_t& value, int16_t def) {
    value = def;
}
void DefaultPropertyValues::exchange(std::string_view, int32_t& value, int32_t def) {
    value = def;
}
void DefaultPropertyValues::exchange(std::string_view, bool& value, bool def) {
    value = def;
}
void DefaultPropertyValues::exchange(std::string_view, std::u16string& value,
                                     std::u16string_view def) {
    value.assign(def);
}

bool isPropertyName(std::string_view name) {
    if (name.empty())
        return false;
    for (size_t i = 0; i < name.size(); ++i) {
        char c = name[i];
        bool alpha = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
        bool digit = c >= '0' && c <= '9';
        if (!(alpha || (i > 0 && digit)))
            return false;
    }
    return true;
}

} // namespace vort::component
