#include "tools/scanner-sim/setup_model.h"

#include <charconv>

namespace scanner_sim {

namespace {

constexpr std::string_view kBaud[] = {"1200",  "2400",  "4800",  "9600",
                                      "19200", "38400", "57600", "115200"};
constexpr std::string_view kParity[] = {"NONE", "ODD", "EVEN"};
constexpr std::string_view kBits[] = {"8", "7"};
constexpr std::string_view kStop[] = {"1", "2"};
constexpr std::string_view kVolume[] = {"OFF", "LOW", "MEDIUM", "HIGH"};
constexpr std::string_view kSwitch[] = {"1", "0"};

constexpr std::array<SetupKey, kSetupKeyCount> kKeys = {{
    {"RSBAUD", ValueKind::Choice, kBaud, "9600"},
    {"RSPRTY", ValueKind::Choice, kParity, "NONE"},
    {"RSBITS", ValueKind::Choice, kBits, "8"},
    {"RSSTOP", ValueKind::Choice, kStop, "1"},
    {"RSDELY", ValueKind::Delay, {}, "000"},
    {"RSCTSE", ValueKind::Choice, kSwitch, "0"},
    {"SPVOLU", ValueKind::Choice, kVolume, "MEDIUM"},
    {"PREFIX", ValueKind::FreeText, {}, ""},
    {"PRECID", ValueKind::Choice, kSwitch, "0"},
    {"SUFFIX", ValueKind::FreeText, {}, ""},
    {"SUFFCR", ValueKind::Choice, kSwitch, "0"},
    {"CD39EN", ValueKind::Choice, kSwitch, "0"},
    {"CD39SS", ValueKind::Choice, kSwitch, "0"},
    {"CD128E", ValueKind::Choice, kSwitch, "0"},
    {"PDF417", ValueKind::Choice, kSwitch, "1"},
    {"MAG1EN", ValueKind::Choice, kSwitch, "1"},
    {"MAG2EN", ValueKind::Choice, kSwitch, "1"},
    {"MAG3EN", ValueKind::Choice, kSwitch, "1"},
    {"MAGLRC", ValueKind::Choice, kSwitch, "0"},
    {"MAGRAW", ValueKind::Choice, kSwitch, "0"},
    {"NOREAD", ValueKind::Choice, kSwitch, "0"},
    {"POWSET", ValueKind::Choice, kSwitch, "0"},
    {"SPPOWB", ValueKind::Choice, kSwitch, "1"},
    {"SPPARA", ValueKind::Choice, kSwitch, "1"},
    {"SERIEN", ValueKind::Choice, kSwitch, "0"},
    {"REGIEN", ValueKind::Choice, kSwitch, "0"},
}};

size_t indexOf(std::string_view key) {
    for (size_t i = 0; i < kKeys.size(); ++i)
        if (kKeys[i].key == key)
            return i;
    return kKeys.size();
}

} // namespace

std::span<const SetupKey> setupKeys() {
    return kKeys;
}

const SetupKey* findSetupKey(std::string_view key) {
    size_t i = indexOf(key);
    return i < kKeys.size() ? &kKeys[i] : nullptr;
}

bool checkSetupValue(const SetupKey& key, std::string_view value, std::string& stored,
                     std::string& error) {
    switch (key.kind) {
    case ValueKind::Choice:
        for (std::string_view c : key.choices) {
            if (c == value) {
                stored = std::string(value);
                return true;
            }
        }
        error = "value not allowed for " + std::string(key.key);
        return false;
    case ValueKind::Delay: {
        // An empty delay (the program's box left empty) keeps the delay in force, so
        // the rest of the setup command still takes effect.
        if (value.empty())
            return true;
        if (value.size() > 3) {
            error = "delay must have 1 to 3 digits";
            return false;
        }
        for (char c : value) {
            if (c < '0' || c > '9') {
                error = "delay must be decimal digits";
                return false;
            }
        }
        stored = std::string(3 - value.size(), '0') + std::string(value);
        return true;
    }
    case ValueKind::FreeText:
        if (value.size() > kMaxFreeText) {
            error = std::string(key.key) + " text longer than " + std::to_string(kMaxFreeText);
            return false;
        }
        // Control characters would break the record list of the setup answer (an EOT
        // would end a record early, a CR LF the whole answer), so they are refused; the
        // program writes them as bracket names instead.
        for (char ch : value) {
            const auto c = static_cast<unsigned char>(ch);
            if (c < 0x20 || c == 0x7F) {
                error = std::string(key.key) + " text holds a control character";
                return false;
            }
        }
        stored = std::string(value);
        return true;
    }
    error = "unknown value kind";
    return false;
}

SetupModel::SetupModel() {
    restoreFactory();
}

void SetupModel::restoreFactory() {
    for (size_t i = 0; i < kKeys.size(); ++i)
        values_[i] = std::string(kKeys[i].factory);
}

bool SetupModel::set(std::string_view key, std::string_view value, std::string& error) {
    size_t i = indexOf(key);
    if (i >= kKeys.size()) {
        error = "unknown setup key";
        return false;
    }
    std::string stored = values_[i]; // a value that keeps the setting leaves it as is
    if (!checkSetupValue(kKeys[i], value, stored, error))
        return false;
    values_[i] = std::move(stored);
    return true;
}

std::string_view SetupModel::get(std::string_view key) const {
    size_t i = indexOf(key);
    return i < kKeys.size() ? std::string_view(values_[i]) : std::string_view();
}

LineSettings SetupModel::line() const {
    LineSettings line;
    std::string_view baud = get("RSBAUD");
    std::from_chars(baud.data(), baud.data() + baud.size(), line.baud);
    std::string_view parity = get("RSPRTY");
    line.parity = parity == "ODD" ? 'O' : parity == "EVEN" ? 'E' : 'N';
    line.dataBits = get("RSBITS") == "7" ? 7 : 8;
    line.stopBits = get("RSSTOP") == "2" ? 2 : 1;
    return line;
}

std::string SetupModel::record(std::string_view key) const {
    size_t i = indexOf(key);
    if (i >= kKeys.size())
        return {};
    std::string r;
    r += kSoh;
    r += '<';
    r += kKeys[i].key;
    r += '=';
    r += values_[i];
    r += '>';
    r += kEot;
    return r;
}

std::string SetupModel::recordList() const {
    std::string out;
    for (const SetupKey& k : kKeys)
        out += record(k.key);
    return out;
}

} // namespace scanner_sim
