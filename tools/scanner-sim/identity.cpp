#include "tools/scanner-sim/identity.h"

#include "tools/scanner-sim/setup_model.h"

namespace scanner_sim {

namespace {

std::string padded(std::string_view text, size_t width) {
    std::string s(text);
    if (s.size() < width)
        s.append(width - s.size(), ' ');
    return s;
}

} // namespace

std::string* identityField(Identity& identity, std::string_view name) {
    if (name == "APP1RV")
        return &identity.app1Revision;
    if (name == "APP2RV")
        return &identity.app2Revision;
    if (name == "BOOTRV")
        return &identity.bootRevision;
    if (name == "HARDRV")
        return &identity.hardwareRevision;
    if (name == "FINGER")
        return &identity.model;
    if (name == "WEBSIT")
        return &identity.webAddress;
    if (name == "SERIAL")
        return &identity.serialNumber;
    if (name == "REGKEY")
        return &identity.registrationKey;
    return nullptr;
}

std::optional<std::string> identityAnswer(const Identity& identity, std::string_view key) {
    std::string text;
    if (key == "APP1RV")
        text = padded(identity.app1Revision, 7);
    else if (key == "APP2RV")
        text = padded(identity.app2Revision, 7);
    else if (key == "HARDRV")
        text = padded(identity.hardwareRevision, 7);
    else if (key == "FINGER")
        text = padded(identity.model, 8);
    else if (key == "WEBSIT")
        text = identity.webAddress;
    else if (key == "SERIAL")
        text = identity.serialNumber;
    else if (key == "REGKEY")
        text = identity.registrationKey;
    else
        return std::nullopt;
    text += kLineEnd;
    return text;
}

double revisionValue(std::string_view revision) {
    size_t i = 0;
    while (i < revision.size() && revision[i] == ' ')
        ++i;
    double whole = 0;
    size_t digits = 0;
    while (i < revision.size() && revision[i] >= '0' && revision[i] <= '9') {
        whole = whole * 10 + (revision[i] - '0');
        ++i;
        ++digits;
    }
    if (digits == 0)
        return 0;
    if (i < revision.size() && revision[i] == '.') {
        ++i;
        double scale = 0.1;
        while (i < revision.size() && revision[i] >= '0' && revision[i] <= '9') {
            whole += scale * (revision[i] - '0');
            scale /= 10;
            ++i;
        }
    }
    return whole;
}

bool hasSerialAndKey(const Identity& identity) {
    // 3.22 compared with a small margin: 3.22 as a double is not exact.
    return revisionValue(identity.app1Revision) >= 3.22 - 1e-9;
}

bool checkRegistrationKey(std::string_view key, std::string& error) {
    if (key.size() > kMaxRegistrationKey) {
        error = "registration key longer than " + std::to_string(kMaxRegistrationKey);
        return false;
    }
    for (char ch : key) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x20 || c == 0x7F) {
            error = "registration key holds a control character";
            return false;
        }
    }
    return true;
}

} // namespace scanner_sim
