#include "app/settings/delay_filter.h"

#include <QLineEdit>

namespace tcu::settings {

QString digitsOnly(const QString& text) {
    QString copy = text;
    for (QChar& c : copy)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            c = QLatin1Char('0');
    return copy;
}

void Text10_KeyUp(QLineEdit& box) {
    const QString filtered = digitsOnly(box.text());
    if (filtered == box.text())
        return;
    const int caret = box.cursorPosition();
    box.setText(filtered);
    box.setCursorPosition(caret);
}

} // namespace tcu::settings
