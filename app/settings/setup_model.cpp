#include "app/settings/setup_model.h"

#include <algorithm>

namespace tcu::settings {

namespace {

size_t slot(SetupField field) {
    return static_cast<size_t>(field) - 1;
}

} // namespace

SetupValues::SetupValues() {
    for (int i = 0; i < kSetupKeyCount; ++i)
        chosen_[i] = setupKeys()[i].initial;
}

std::string SetupValues::text(SetupField field) const {
    return field == SetupField::None ? std::string() : texts_[slot(field)];
}

void SetupValues::setText(SetupField field, const std::string& text) {
    if (field == SetupField::None)
        return;
    texts_[slot(field)] = text.substr(0, static_cast<size_t>(fieldMaxLength(field)));
}

std::string delayValue(const std::string& boxText) {
    if (boxText.empty() ||
        !std::all_of(boxText.begin(), boxText.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return boxText;
    if (boxText.size() >= 3)
        return boxText;
    return std::string(3 - boxText.size(), '0') + boxText;
}

std::string setupValue(const SetupView& view, int key) {
    const SetupKey& k = setupKeys()[key];
    if (k.field == SetupField::Delay)
        return delayValue(view.text(k.field));
    if (k.field != SetupField::None)
        return view.text(k.field);
    const int chosen = view.chosenOption(key);
    // A group always has a choice on the window; an unchosen one falls back to its
    // initial choice so that a token is never sent without a value.
    const int option = (chosen >= 0 && chosen < k.optionCount) ? chosen : k.initial;
    return std::string(k.options[option].value);
}

std::string setupToken(const SetupView& view, int key) {
    return "<" + std::string(setupKeys()[key].key) + "=" + setupValue(view, key) + ">";
}

std::string setupCommand(const SetupView& view) {
    std::string command;
    for (int key = 0; key < kSetupKeyCount; ++key)
        command += setupToken(view, key);
    return command;
}

std::string setupFileText(const SetupView& view) {
    std::string text;
    for (int key = 0; key < kSetupKeyCount; ++key) {
        if (!setupKeys()[key].inFile)
            continue;
        text += kSoh;
        text += setupToken(view, key);
        text += kEot;
    }
    return text + "\r\n";
}

std::string pcLineSettings(const SetupView& view) {
    const std::string parity = setupValue(view, setupKeyIndex("RSPRTY"));
    const char letter = parity == "ODD" ? 'o' : parity == "EVEN" ? 'e' : 'n';
    return setupValue(view, setupKeyIndex("RSBAUD")) + "," + letter + "," +
           setupValue(view, setupKeyIndex("RSBITS")) + "," +
           setupValue(view, setupKeyIndex("RSSTOP"));
}

} // namespace tcu::settings
