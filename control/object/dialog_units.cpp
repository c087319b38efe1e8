#include "control/object/dialog_units.h"

#include <QFontMetrics>
#include <QString>

namespace vort {

QSize dialogUnitsToPixels(const QFont& font, int width, int height) {
    const QFontMetrics metrics(font);
    // The average width over both alphabets, as dialog layouts have always measured
    // it; rounded to the nearest pixel.
    static const QString kAlphabet =
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    const int averageWidth = (metrics.horizontalAdvance(kAlphabet) / 26 + 1) / 2;
    const int baseX = averageWidth > 0 ? averageWidth : 1;
    const int baseY = metrics.height() > 0 ? metrics.height() : 1;
    // Rounded as dialog templates are mapped: (units * base + half) / 4 or / 8.
    return QSize((width * baseX + 2) / 4, (height * baseY + 4) / 8);
}

} // namespace vort
