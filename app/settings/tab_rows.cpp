#include "app/settings/tab_rows.h"

#include <QButtonGroup>
#include <QEvent>
#include <QGridLayout>
#include <QTabBar>
#include <QTabWidget>
#include <QToolButton>

namespace tcu::settings {

TabRows::TabRows(QTabWidget& tabs, int perRow, QWidget* parent)
    : QWidget(parent), tabs_(tabs), group_(new QButtonGroup(this)) {
    setObjectName(QStringLiteral("SSTab1Rows"));
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setSpacing(1);
    for (int i = 0; i < tabs.count(); ++i) {
        // Tool buttons: narrow margins, so that five captions fit the window's width.
        auto* button = new QToolButton(this);
        button->setText(tabs.tabText(i));
        button->setObjectName(QStringLiteral("SSTab1Tab%1").arg(i));
        button->setCheckable(true);
        button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        button->setFocusPolicy(Qt::TabFocus);
        group_->addButton(button, i);
        grid->addWidget(button, i / perRow, i % perRow);
    }
    tabs.tabBar()->hide();
    if (QAbstractButton* shown = group_->button(tabs.currentIndex()))
        shown->setChecked(true);
    connect(group_, &QButtonGroup::idClicked, &tabs, &QTabWidget::setCurrentIndex);
    connect(&tabs, &QTabWidget::currentChanged, this, [this](int index) {
        if (QAbstractButton* b = group_->button(index))
            b->setChecked(true);
    });
    setEnabled(tabs.isEnabled());
    tabs.installEventFilter(this);
}

bool TabRows::eventFilter(QObject* watched, QEvent* event) {
    if (watched == &tabs_ && event->type() == QEvent::EnabledChange)
        setEnabled(tabs_.isEnabled());
    return QWidget::eventFilter(watched, event);
}

} // namespace tcu::settings
