// NAME=VALUE pairs of "tcu set", checked against the setup vocabulary before anything
// is sent.
#pragma once

#include <QString>
#include <string>
#include <variant>

namespace tcu::cli {

struct SettingPair {
    int key = -1;      // index into settings::setupKeys()
    std::string value; // as the token carries it ("EVEN", "005", "A[CR]")
};

// Reads "NAME=VALUE": NAME is a setup key (any case); an option value must be one of the
// key's values (any case), a delay 1 to 3 digits (sent with three), a prefix or suffix
// at most 40 printable single-byte characters (control characters as bracket names,
// "[CR]"). Otherwise the error says what is allowed.
std::variant<SettingPair, QString> parseSettingPair(const QString& pair);

} // namespace tcu::cli
