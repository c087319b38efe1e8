#include "app/settings/artwork.h"

#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

// Q_INIT_RESOURCE must be used outside any namespace; tcu_app is a static library, so
// its resources are registered on first use.
static void initArtwork() {
    Q_INIT_RESOURCE(artwork);
}

namespace tcu::settings {

QIcon artworkIcon(const QString& name) {
    static const bool ready = (initArtwork(), true);
    (void)ready;
    QSvgRenderer renderer(QStringLiteral(":/tcu/artwork/") + name + QStringLiteral(".svg"));
    QIcon icon;
    if (!renderer.isValid())
        return icon;
    for (int size : {16, 24, 32, 48, 64, 96, 128}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter);
        icon.addPixmap(pixmap);
    }
    return icon;
}

} // namespace tcu::settings
