// The setup-key table. Captions and control names are the window's; values are the
// scanner's words.
#include "app/settings/vocabulary.h"

namespace tcu::settings {

namespace {

using F = SetupField;

constexpr SetupKey onOff(std::string_view key, std::string_view frame, int tab,
                         std::string_view onCaption, std::string_view onControl,
                         std::string_view offCaption, std::string_view offControl, int initial,
                         bool inFile = true) {
    return SetupKey{key,
                    frame,
                    tab,
                    F::None,
                    {{{"1", onCaption, onControl}, {"0", offCaption, offControl}}},
                    2,
                    initial,
                    inFile};
}

constexpr SetupKey enable(std::string_view key, std::string_view frame, int tab,
                          std::string_view onControl, std::string_view offControl, int initial,
                          bool inFile = true) {
    return onOff(key, frame, tab, "Enable", onControl, "Disable", offControl, initial, inFile);
}

constexpr SetupKey box(std::string_view key, std::string_view frame, int tab, SetupField field) {
    return SetupKey{key, frame, tab, field, {}, 0, -1, true};
}

// Initial choice indexes: 0 is the first option listed, 1 the second.
constexpr int kOn = 0;
constexpr int kOff = 1;

const std::array<SetupKey, kSetupKeyCount> kKeys = {{
    {"RSBAUD",
     "Baud Rate",
     2,
     F::None,
     {{{"1200", "1200 Bps", "Option8"},
       {"2400", "2400 Bps", "Option9"},
       {"4800", "4800 Bps", "Option10"},
       {"9600", "9600 Bps", "Option11"},
       {"19200", "19200 Bps", "Option12"},
       {"38400", "38400 Bps", "Option13"},
       {"57600", "57600 Bps", "Option14"},
       {"115200", "115200 Bps", "Option15"}}},
     8,
     3,
     true},
    {"RSPRTY",
     "Parity Bits",
     2,
     F::None,
     {{{"NONE", "None", "Option5"}, {"ODD", "Odd", "Option6"}, {"EVEN", "Even", "Option7"}}},
     3,
     0,
     true},
    {"RSBITS",
     "Data Bits",
     2,
     F::None,
     {{{"8", "8 Bits", "Option1"}, {"7", "7 Bits", "Option2"}}},
     2,
     0,
     true},
    {"RSSTOP",
     "Stop Bits",
     2,
     F::None,
     {{{"1", "1 Bit", "Option3"}, {"2", "2 Bits", "Option4"}}},
     2,
     0,
     true},
    box("RSDELY", "Character Delay", 2, F::Delay),
    enable("RSCTSE", "CTS / RTS", 2, "Option42", "Option43", kOff, false),
    {"SPVOLU",
     "Speaker Volume",
     3,
     F::None,
     {{{"OFF", "Off", "Option22"},
       {"LOW", "Low", "Option23"},
       {"MEDIUM", "Medium", "Option24"},
       {"HIGH", "High", "Option25"}}},
     4,
     2,
     true},
    box("PREFIX", "Prefix (Maximum 10 Characters)", 4, F::Prefix),
    enable("PRECID", "Add Code Identifier to Prefix", 4, "Option38", "Option39", kOff),
    box("SUFFIX", "Suffix (Maximum 10 Characters)", 5, F::Suffix),
    enable("SUFFCR", "Add CR to Suffix", 5, "Option28", "Option29", kOff),
    enable("CD39EN", "Code 39", 6, "Option30", "Option31", kOff),
    onOff("CD39SS", "Code 39 Start/Stop Char", 6, "Send", "Option32", "Hide", "Option33", kOff),
    enable("CD128E", "Code 128", 6, "Option34", "Option35", kOff),
    enable("PDF417", "PDF417", 7, "Option36", "Option37", kOn),
    enable("MAG1EN", "Magnetic Track 1", 8, "Option16", "Option17", kOn),
    enable("MAG2EN", "Magnetic Track 2", 8, "Option18", "Option19", kOn),
    enable("MAG3EN", "Magnetic Track 3", 8, "Option20", "Option21", kOn),
    enable("MAGLRC", "LRC", 8, "Option46", "Option47", kOff),
    enable("MAGRAW", "Add Code Identifier to Stream", 8, "Option54", "Option55", kOff),
    enable("NOREAD", "No-Read Message", 7, "Option44", "Option45", kOff),
    enable("POWSET", "Power Saving Mode", 1, "Option26", "Option27", kOff),
    onOff("SPPOWB", "Start-Up Beeps", 3, "On", "Option41", "Off", "Option40", kOn),
    onOff("SPPARA", "Parameter Beeps", 3, "On", "Option49", "Off", "Option48", kOn),
    enable("SERIEN", "(Serial Number) Add to Stream", 4, "Option50", "Option51", kOff),
    enable("REGIEN", "Add to Stream", 9, "Option52", "Option53", kOff),
}};

} // namespace

const std::array<SetupKey, kSetupKeyCount>& setupKeys() {
    return kKeys;
}

int setupKeyIndex(std::string_view key) {
    for (int i = 0; i < kSetupKeyCount; ++i)
        if (kKeys[i].key == key)
            return i;
    return -1;
}

int setupKeyIndex(SetupField field) {
    for (int i = 0; i < kSetupKeyCount; ++i)
        if (field != SetupField::None && kKeys[i].field == field)
            return i;
    return -1;
}

int fieldMaxLength(SetupField field) {
    switch (field) {
    case SetupField::Delay:
        return kDelayMaxLength;
    case SetupField::Prefix:
    case SetupField::Suffix:
        return kAffixMaxLength;
    case SetupField::None:
        break;
    }
    return 0;
}

int fixedTokenCount() {
    int n = 0;
    for (const SetupKey& k : kKeys)
        n += k.optionCount;
    return n;
}

} // namespace tcu::settings
