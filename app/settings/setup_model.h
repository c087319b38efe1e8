// The settings model: the 26 current setup values as the window holds them, and the
// texts built from them (setup command, setup file, PC line settings).
//
// SetupView is the window seen as the model: one chosen option per group and the three
// boxes. Form1 implements it over its option buttons and text boxes; SetupValues is the
// same in memory (for tests and the fuzz target), with the boxes' limits.
#pragma once

#include <array>
#include <string>

#include "app/settings/vocabulary.h"

namespace tcu::settings {

class SetupView {
public:
    virtual ~SetupView() = default;
    // Index of the chosen option of key (index into setupKeys()), -1 when none is.
    virtual int chosenOption(int key) const = 0;
    // Chooses option of key, clearing the group's others, with the side effects of the
    // user's click.
    virtual void chooseOption(int key, int option) = 0;
    // A box's text (single-byte characters).
    virtual std::string text(SetupField field) const = 0;
    // Replaces a box's whole text; a box keeps at most fieldMaxLength(field) characters
    // (the rest is cut off).
    virtual void setText(SetupField field, const std::string& text) = 0;
};

// The window's values in memory, starting at the initial choices with empty boxes.
class SetupValues final : public SetupView {
public:
    SetupValues();
    int chosenOption(int key) const override { return chosen_[key]; }
    void chooseOption(int key, int option) override { chosen_[key] = option; }
    std::string text(SetupField field) const override;
    void setText(SetupField field, const std::string& text) override;

private:
    std::array<int, kSetupKeyCount> chosen_{};
    std::array<std::string, 3> texts_;
};

// The value of key as the window shows it: the chosen option's value, or the box's text
// (the delay zero-padded to three digits when it is all digits, else as it stands).
std::string setupValue(const SetupView& view, int key);
// "<" + key + "=" + value + ">".
std::string setupToken(const SetupView& view, int key);
// The setup command: the 26 write tokens joined, in the order of setupKeys().
std::string setupCommand(const SetupView& view);
// A setup file's text: SOH token EOT for the 25 keys written to files, then CR LF.
std::string setupFileText(const SetupView& view);
// The PC line settings of the RS232 choices, e.g. "9600,n,8,1".
std::string pcLineSettings(const SetupView& view);
// The delay box's text written with at least three digits ("5" -> "005"); an empty or
// non-numeric text is kept as it is.
std::string delayValue(const std::string& boxText);

} // namespace tcu::settings
