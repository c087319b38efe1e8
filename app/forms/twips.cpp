#include "app/forms/twips.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace tcu {

namespace {

QScreen* screenOf(const QWidget* widget) {
    if (widget && widget->screen())
        return widget->screen();
    return QGuiApplication::primaryScreen();
}

} // namespace

double logicalDpiOf(const QWidget* widget) {
    QScreen* screen = screenOf(widget);
    const double dpi = screen ? screen->logicalDotsPerInchY() : 0.0;
    return dpi > 0 ? dpi : 96.0;
}

void centreOnScreen(QWidget* widget) {
    QScreen* screen = screenOf(widget);
    if (!widget || !screen)
        return;
    const QRect area = screen->availableGeometry();
    const QSize size = widget->frameGeometry().size();
    // Halving rounds toward zero, as the window positions of the forms always did.
    widget->move(area.x() + (area.width() - size.width()) / 2,
                 area.y() + (area.height() - size.height()) / 2);
}

} // namespace tcu
