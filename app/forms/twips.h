// Window geometry of the forms is given in twips (1/1440 inch): 15 twips are one pixel
// at 96 dots per inch, scaled with the screen's logical DPI.
#pragma once

#include <cmath>

class QWidget;

namespace tcu {

inline constexpr double kTwipsPerInch = 1440.0;

// twips at logicalDpi dots per inch, rounded to whole pixels.
inline int twipsToPixels(int twips, double logicalDpi) {
    return static_cast<int>(std::lround(twips * logicalDpi / kTwipsPerInch));
}
inline int pixelsToTwips(int pixels, double logicalDpi) {
    return static_cast<int>(std::lround(pixels * kTwipsPerInch / logicalDpi));
}

// The logical DPI of the screen widget is on (or of the primary screen); 96 without one.
double logicalDpiOf(const QWidget* widget);

// Centres widget on its screen (the available area), in whole pixels.
void centreOnScreen(QWidget* widget);

} // namespace tcu
