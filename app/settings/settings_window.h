// The contents of the setting tabs of Form1: one frame of option buttons per setup key,
// the three text boxes, the prefix and suffix editors with their pickers, the pictures
// of the buttons and options, and the window seen as the settings model.
//
// The widgets carry the control names of the window (Option1..Option55, Text10, Text2,
// Text3, cmdCtrlPre, Symbol1, CharList...) as object names. GUI thread only.
#pragma once

#include <QButtonGroup>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <array>
#include <functional>
#include <vector>

#include "app/settings/setup_model.h"

namespace tcu {
class Form1;
}

namespace tcu::settings {

// A label that takes clicks (a picker entry).
class ClickLabel : public QLabel {
public:
    using QLabel::QLabel;
    std::function<void()> onClick;

protected:
    void mousePressEvent(QMouseEvent* event) override;
};

// The picker of control characters: 33 entries in a five-column grid, filled column by
// column; entry i of entries() is the label of character code i (nullptr for codes
// without an entry).
struct CharPicker {
    QFrame* frame = nullptr;
    std::array<ClickLabel*, 128> entries{};
};

class SettingsWindow final : public SetupView {
public:
    // Fills form's setting tabs and puts the pictures on its buttons.
    explicit SettingsWindow(Form1& form);

    // SetupView over the option buttons and boxes. Choosing an option has the side
    // effects of the user's click (the Power Saving coupling).
    int chosenOption(int key) const override;
    void chooseOption(int key, int option) override;
    std::string text(SetupField field) const override;
    void setText(SetupField field, const std::string& text) override;

    QRadioButton* option(int key, int index) const { return options_[key][index]; }
    QGroupBox* frame(int key) const { return frames_[key]; }
    QLineEdit* box(SetupField field) const;

    QLineEdit* Text10 = nullptr; // character delay, 3 characters, digits
    QLineEdit* Text2 = nullptr;  // prefix, 40 characters
    QLineEdit* Text3 = nullptr;  // suffix, 40 characters
    QPushButton* cmdCtrlPre = nullptr;
    QPushButton* cmdCtrlSuf = nullptr;
    CharPicker CharList;  // Symbol1
    CharPicker CharList2; // Symbol2

    // The Power Saving choice's effect on the prefix box: Enable makes it editable,
    // Disable makes it disabled and read-only.
    void powerSavingChosen(bool enabled);

private:
    QGroupBox* makeFrame(int key, QWidget* parent);
    void buildPowerSaving(QWidget* tab);
    void buildRs232(QWidget* tab);
    void buildSpeaker(QWidget* tab);
    QPushButton* buildAffixEditor(QWidget* tab, int key, QLineEdit*& box, CharPicker& picker,
                                  const char* buttonName, const char* pickerName,
                                  const char* entriesName);
    void buildPrefix(QWidget* tab);
    void buildSuffix(QWidget* tab);
    void buildLinear(QWidget* tab);
    void buildPdf417(QWidget* tab);
    void buildMagnetic(QWidget* tab);
    void buildRegistration(QWidget* tab);

    Form1& form_;
    std::array<QGroupBox*, kSetupKeyCount> frames_{};
    std::array<std::vector<QRadioButton*>, kSetupKeyCount> options_;
    std::array<QButtonGroup*, kSetupKeyCount> groups_{};
};

// The control characters' standard names by code (0..31 and 127), "" for others.
const char* controlCharName(int code);
// The 33 codes in picker order, column by column (7 rows, 5 columns).
const std::array<int, 33>& pickerCodes();

} // namespace tcu::settings
