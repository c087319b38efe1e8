#include "control/object/control_resources.h"

#include <QPainter>
#include <QSvgRenderer>

// Q_INIT_RESOURCE must be used outside any namespace. vort_control is a static
// library: without this reference a program linking it could drop the compiled
// resources, and the pictures would be missing.
static void initControlResources() {
    Q_INIT_RESOURCE(vort_resources);
}

namespace vort {

namespace {

constexpr const char* kBitmapPath = ":/vort-control/vort_bitmap.svg";
constexpr const char* kIconPath = ":/vort-control/vort_icon.svg";

void ensureResources() {
    static const bool initialised = (initControlResources(), true);
    (void)initialised;
}

} // namespace

bool drawControlBitmap(QPainter& painter, const QRectF& rect) {
    ensureResources();
    QSvgRenderer r(QString::fromLatin1(kBitmapPath));
    if (!r.isValid() || rect.isEmpty())
        return false;
    r.setAspectRatioMode(Qt::IgnoreAspectRatio);
    r.render(&painter, rect);
    return true;
}

QPixmap controlIcon(QSize size) {
    ensureResources();
    QSvgRenderer r(QString::fromLatin1(kIconPath));
    if (!r.isValid() || size.isEmpty())
        return {};
    QPixmap pixmap(size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    r.render(&painter, QRectF(QPointF(0, 0), QSizeF(size)));
    return pixmap;
}

} // namespace vort
