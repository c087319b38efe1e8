// The prefix and suffix editor: control characters picked from a list go into the box
// as bracket names ("[CR]"), at the caret, replacing the selection.
#pragma once

#include <QString>
#include <optional>

class QLineEdit;

namespace tcu::settings {

struct CharPicker;

struct Insertion {
    QString text;
    int caret = 0; // right behind the inserted "]"
};

// text with its selection (selStart, selLength; 0 length for none) replaced by
// "[" + name + "]"; nothing when the result would exceed maxLength characters (the box's
// limit), since a bracket name cut short would send a different text.
std::optional<Insertion> insertBracketName(const QString& text, int selStart, int selLength,
                                           const QString& name, int maxLength);

// Click of an entry (code) of picker: hides the picker, inserts the bracket name into
// box at its caret (replacing its selection), focuses the box and puts the caret behind
// the name. A read-only box or a full one keeps its text.
void pickControlChar(QLineEdit& box, CharPicker& picker, int code);
// Click of "CTRL CH": shows the picker when hidden, hides it when shown.
void toggleCharPicker(CharPicker& picker);

} // namespace tcu::settings
