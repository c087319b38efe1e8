#pragma once

#include <array>
#include <span>
#include <string>
#include <string_view>

#include "tools/scanner-sim/line_settings.h"

namespace scanner_sim {

// The framing bytes of the scanner's line protocol.
inline constexpr char kSoh = 0x01;
inline constexpr char kEot = 0x04;
inline constexpr char kAck = 0x06;
inline constexpr char kNak = 0x15;
inline constexpr std::string_view kLineEnd = "\r\n";

// How a setup key's value is checked.
enum class ValueKind {
    Choice,   // one of a fixed list of words or numbers
    Delay,    // 1 to 3 decimal digits, kept as three digits
    FreeText, // printable text, up to kMaxFreeText bytes
};

// Longest prefix or suffix text the scanner stores (the program's text boxes hold 40).
inline constexpr size_t kMaxFreeText = 40;

struct SetupKey {
    std::string_view key; // six characters, e.g. "RSBAUD"
    ValueKind kind;
    std::span<const std::string_view> choices; // for ValueKind::Choice
    std::string_view factory;                  // the factory-default value
};

inline constexpr size_t kSetupKeyCount = 26;

// The 26 setup keys in the order the setup command and the setup answer carry them.
std::span<const SetupKey> setupKeys();
// nullptr for anything that is not one of the 26 keys (case-sensitive).
const SetupKey* findSetupKey(std::string_view key);

// Checks value for key. Returns the value as the scanner stores it (the delay padded to
// three digits) in `stored`, or false with a reason in `error`. An empty delay keeps
// the setting: `stored` is left as the caller filled it (with the current value).
bool checkSetupValue(const SetupKey& key, std::string_view value, std::string& stored,
                     std::string& error);

// The scanner's setup: one value for each of the 26 keys. Starts at the factory default.
class SetupModel {
public:
    SetupModel();

    // Sets a key after checking it; on failure nothing changes and error says why.
    bool set(std::string_view key, std::string_view value, std::string& error);
    // The stored value; empty for an unknown key.
    std::string_view get(std::string_view key) const;
    void restoreFactory();

    // The RS-232 settings the four RS keys describe.
    LineSettings line() const;

    // One setup record (SOH "<KEY=value>" EOT) for a key; empty for an unknown key.
    std::string record(std::string_view key) const;
    // All 26 records in the fixed order, without the closing CR LF.
    std::string recordList() const;

private:
    std::array<std::string, kSetupKeyCount> values_;
};

} // namespace scanner_sim
