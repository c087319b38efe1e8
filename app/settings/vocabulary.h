// The scanner's setup vocabulary: the 26 setup keys in the order the setup command
// sends them, each with its option values, the window's captions and control names,
// and its initial choice; the three free-value keys and their box limits.
//
// Texts are single-byte (ISO-8859-1) strings: one char is one character on the line.
// The table is constant and may be read from any thread.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

namespace tcu::settings {

inline constexpr char kSoh = '\x01';
inline constexpr char kEot = '\x04';

// The three text boxes of the setup; None for an option group.
enum class SetupField { None, Delay, Prefix, Suffix };

// Characters each text box takes at most.
inline constexpr int kDelayMaxLength = 3;
inline constexpr int kAffixMaxLength = 40;

struct SetupOption {
    std::string_view value;   // what the token carries, e.g. "9600", "EVEN", "1"
    std::string_view caption; // the option button's caption, e.g. "9600 Bps"
    std::string_view control; // the option button's name, e.g. "Option11"
};

struct SetupKey {
    std::string_view key;               // six characters, e.g. "RSBAUD"
    std::string_view frame;             // caption of the frame that holds the choice
    int tab;                            // the tab of SSTab1 it sits on
    SetupField field;                   // a text box, or None for an option group
    std::array<SetupOption, 8> options; // the first optionCount are used
    int optionCount;
    int initial; // index of the initially chosen option (-1 for a box)
    bool inFile; // written by Save Setup (all but "RSCTSE")
};

inline constexpr int kSetupKeyCount = 26;

// The 26 keys in the order of the setup command.
const std::array<SetupKey, kSetupKeyCount>& setupKeys();
// Index of key in setupKeys(), -1 when it is not a setup key (exact comparison).
int setupKeyIndex(std::string_view key);
// Index of the key whose box is field.
int setupKeyIndex(SetupField field);
// The box limit of a field (0 for None).
int fieldMaxLength(SetupField field);
// Number of the fixed write tokens (every key with an option group, times its values).
int fixedTokenCount();

} // namespace tcu::settings
