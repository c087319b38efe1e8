// The character delay box's digit filter.
#pragma once

#include <QString>

class QLineEdit;

namespace tcu::settings {

// text with every character that is not a digit 0..9 replaced by 0, in its place.
QString digitsOnly(const QString& text);
// After a key in Text10: puts digitsOnly of its text back and keeps the caret where it was.
void Text10_KeyUp(QLineEdit& box);

} // namespace tcu::settings
