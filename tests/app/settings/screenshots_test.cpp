// Every tab of the main window laid out at the window's run-time size: no two frames or
// options overlap, no caption is cut. With TCU_SCREENSHOT_DIR set, each tab is saved
// there as tab<N>.png (for docs/).
#include <QApplication>
#include <QDir>
#include <QGroupBox>
#include <QRadioButton>

#include "app/forms/twips.h"
#include "app/settings/settings_window.h"
#include "tcu_fixture.h"

namespace tcu::test {
namespace {

class ScreenshotTest : public TcuTest {};

QString where(const QWidget* w) {
    return w->objectName() + QStringLiteral(" (") + w->metaObject()->className() +
           QStringLiteral(")");
}

TEST_F(ScreenshotTest, EveryTabFitsWithoutOverlapsOrCutCaptions) {
    Form1& f = loadForm();
    const int dpi = logicalDpiOf(&f);
    f.resize(twipsToPixels(kForm1WidthTwips, dpi), twipsToPixels(kForm1HeightTwips, dpi));
    f.show();
    EXPECT_LE(f.minimumSizeHint().width(), f.width()) << "the tabs make the window too wide";
    EXPECT_LE(f.minimumSizeHint().height(), f.height()) << "the tabs make the window too high";
    const QString dir = qEnvironmentVariable("TCU_SCREENSHOT_DIR");
    for (int tab = 0; tab < f.SSTab1->count(); ++tab) {
        f.SSTab1->setCurrentIndex(tab);
        // Open the pickers so that their entries are laid out and checked too.
        auto& w = f.settingsWindow();
        w.CharList.frame->setVisible(tab == 4);
        w.CharList2.frame->setVisible(tab == 5);
        QApplication::processEvents();
        QWidget* page = f.SSTab1->widget(tab);
        std::vector<QWidget*> items;
        for (QWidget* child : page->findChildren<QWidget*>())
            if (child->isVisible() &&
                (qobject_cast<QGroupBox*>(child) || qobject_cast<QAbstractButton*>(child) ||
                 qobject_cast<QLabel*>(child) || qobject_cast<QLineEdit*>(child)))
                items.push_back(child);
        for (QWidget* a : items) {
            EXPECT_TRUE(page->rect().contains(QRect(a->mapTo(page, QPoint(0, 0)), a->size())))
                << "tab " << tab << ": " << where(a).toStdString() << " leaves the page";
            if (auto* box = qobject_cast<QGroupBox*>(a)) {
                EXPECT_GE(box->width(), box->fontMetrics().horizontalAdvance(box->title()) + 8)
                    << "tab " << tab << ": cut frame caption " << box->title().toStdString();
            } else if (auto* button = qobject_cast<QAbstractButton*>(a)) {
                EXPECT_GE(button->width(), button->minimumSizeHint().width())
                    << "tab " << tab << ": cut caption " << button->text().toStdString();
            }
            for (QWidget* b : items)
                if (a < b && a->parentWidget() == b->parentWidget()) {
                    EXPECT_FALSE(a->geometry().intersects(b->geometry()))
                        << "tab " << tab << ": " << where(a).toStdString() << " overlaps "
                        << where(b).toStdString();
                }
        }
        if (!dir.isEmpty()) {
            QDir().mkpath(dir);
            EXPECT_TRUE(f.grab().save(dir + QStringLiteral("/tab%1.png").arg(tab)));
        }
    }
    f.hide();
}

} // namespace
} // namespace tcu::test
