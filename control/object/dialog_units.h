// Dialog units: the font-relative measure dialog layouts are given in. One horizontal
// unit is a quarter of the font's average character width, one vertical unit an
// eighth of its height, so a dialog keeps its proportions to its text whatever the
// font and screen.
#pragma once

#include <QFont>
#include <QSize>

namespace vort {

// The pixel size of a width x height dialog-unit rectangle laid out in font.
QSize dialogUnitsToPixels(const QFont& font, int width, int height);

} // namespace vort
