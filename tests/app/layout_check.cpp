#include "layout_check.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <gtest/gtest.h>
#include <vector>

namespace tcu::test {

namespace {

std::string named(const QWidget* w) {
    return (w->objectName() + QStringLiteral(" (") + w->metaObject()->className() +
            QStringLiteral(")"))
        .toStdString();
}

} // namespace

void expectTidyLayout(QWidget* page, const std::string& where) {
    std::vector<QWidget*> items;
    for (QWidget* child : page->findChildren<QWidget*>())
        if (child->isVisible() &&
            (qobject_cast<QGroupBox*>(child) || qobject_cast<QAbstractButton*>(child) ||
             qobject_cast<QLabel*>(child) || qobject_cast<QLineEdit*>(child) ||
             qobject_cast<QComboBox*>(child)))
            items.push_back(child);
    for (QWidget* a : items) {
        EXPECT_TRUE(page->rect().contains(QRect(a->mapTo(page, QPoint(0, 0)), a->size())))
            << where << ": " << named(a) << " leaves the window";
        if (auto* box = qobject_cast<QGroupBox*>(a)) {
            EXPECT_GE(box->width(), box->fontMetrics().horizontalAdvance(box->title()) + 8)
                << where << ": cut frame caption " << box->title().toStdString();
        } else if (auto* button = qobject_cast<QAbstractButton*>(a)) {
            EXPECT_GE(button->width(), button->minimumSizeHint().width())
                << where << ": cut caption " << button->text().toStdString();
        } else if (auto* label = qobject_cast<QLabel*>(a);
                   label && !label->wordWrap() && !label->text().isEmpty()) {
            EXPECT_GE(label->width(), label->fontMetrics().horizontalAdvance(label->text()))
                << where << ": cut label \"" << label->text().toStdString() << '"';
        }
        for (QWidget* b : items)
            if (a < b && a->parentWidget() == b->parentWidget()) {
                EXPECT_FALSE(a->geometry().intersects(b->geometry()))
                    << where << ": " << named(a) << " overlaps " << named(b);
            }
    }
}

} // namespace tcu::test
