// The control's pictures: the bitmap (resource 1) drawn while a container designs the
// control, and the icon of its About box. Both are SVG artwork compiled into the
// library, so they scale to any rectangle without blurring.
//
// Thread rule: owner's (GUI) thread; a QGuiApplication must exist for pixmaps.
#pragma once

#include <QPixmap>
#include <QRectF>
#include <QSize>

class QPainter;

namespace vort {

// Draws the control's bitmap stretched over rect (its proportions are not kept, as a
// designer stretches a control's picture over the control). False when the picture
// cannot be rendered (the resource is missing: a packaging fault).
bool drawControlBitmap(QPainter& painter, const QRectF& rect);

// The About box icon at size (device-independent pixels); a null pixmap when it
// cannot be rendered.
QPixmap controlIcon(QSize size);

} // namespace vort
