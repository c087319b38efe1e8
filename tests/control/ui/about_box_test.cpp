// The About box: its texts and icon, OK, Escape, and the window's close command with
// its "Dialog Closing" box (through a scripted dialog facade); the method AboutBox
// through the dispatch interface. The ten-second timer has its own slow test.
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include "control/object/about_box.h"
#include "control/object/vort_ctrl.h"
#include "platform/component/dispatch_proxy.h"
#include "support/qt_app_environment.h"
#include "support/scripted_dialogs.h"
#include "support/test_site.h"
#include "vort/dispids.h"

using namespace vort;
using dialogs::Answer;

namespace {

// A facade that notes whether the About box's timer was still running when the
// "Dialog Closing" box came up.
class TimerWitness final : public dialogs::DialogFacade {
public:
    explicit TimerWitness(const VortAboutBox& box) : box_(box) { dialogs::setDialogs(this); }
    ~TimerWitness() override { dialogs::setDialogs(nullptr); }
    Answer messageBox(const dialogs::MessageBoxRequest& r) override {
        titles.push_back(r.title);
        timerRunningDuringBox = box_.timerActive();
        return Answer::Ok;
    }
    dialogs::FileDialogResult fileDialog(const dialogs::FileDialogRequest&) override { return {}; }
    bool shellOpen(const QString&) override { return false; }

    QStringList titles;
    bool timerRunningDuringBox = true;

private:
    const VortAboutBox& box_;
};

// Runs f on the dialog once its modal loop runs.
void whenShown(VortAboutBox& box, std::function<void()> f) {
    QTimer::singleShot(0, &box, std::move(f));
}

} // namespace

TEST(AboutBox, TextsIconAndButton) {
    EXPECT_EQ(aboutVersionLine(), QStringLiteral("Version 2.7 R69, Build Jan 12 2002, 19:15:36"));
    VortAboutBox box;
    EXPECT_EQ(box.windowTitle(), QStringLiteral("About VELMARK Comm Control"));
    EXPECT_TRUE(box.isModal());
    auto* heading = box.findChild<QLabel*>(QStringLiteral("headingLabel"));
    auto* version = box.findChild<QLabel*>(QStringLiteral("versionLabel"));
    auto* icon = box.findChild<QLabel*>(QStringLiteral("iconLabel"));
    auto* ok = box.findChild<QPushButton*>(QStringLiteral("okButton"));
    ASSERT_TRUE(heading && version && icon && ok);
    EXPECT_EQ(heading->text(), QStringLiteral("VELMARK Comm Control"));
    EXPECT_EQ(version->text(), QStringLiteral("Version 2.7 R69, Build Jan 12 2002, 19:15:36"));
    EXPECT_EQ(ok->text(), QStringLiteral("OK"));
    EXPECT_TRUE(ok->isDefault());
    const QPixmap pixmap = icon->pixmap();
    ASSERT_FALSE(pixmap.isNull()) << "the icon resource is missing";
    // The icon is drawn, not blank: its centre is opaque.
    const QImage image = pixmap.toImage();
    EXPECT_GT(qAlpha(image.pixel(image.width() / 2, image.height() / 4)), 200);
    EXPECT_FALSE(box.timerActive()) << "the timer starts when the box is shown";
}

TEST(AboutBox, OkAndEscapeEndItWithoutAnyMessageBox) {
    test::ScriptedDialogs facade; // no answers queued: any box fails the test
    {
        VortAboutBox box;
        whenShown(box, [&] {
            EXPECT_TRUE(box.timerActive());
            box.findChild<QPushButton*>(QStringLiteral("okButton"))->click();
        });
        EXPECT_EQ(box.exec(), QDialog::Accepted);
        EXPECT_FALSE(box.timerActive());
    }
    {
        VortAboutBox box;
        whenShown(box, [&] {
            QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
            QApplication::sendEvent(&box, &esc);
        });
        EXPECT_EQ(box.exec(), QDialog::Rejected);
        EXPECT_FALSE(box.timerActive());
    }
    EXPECT_TRUE(facade.boxes().empty());
}

TEST(AboutBox, CloseCommandStopsTheTimerThenShowsDialogClosing) {
    {
        test::ScriptedDialogs facade;
        facade.answer(Answer::Ok, QString());
        VortAboutBox box;
        QElapsedTimer clock;
        clock.start();
        whenShown(box, [&] { box.close(); });
        EXPECT_EQ(box.exec(), QDialog::Rejected);
        EXPECT_LT(clock.elapsed(), 5000) << "the close ended it, not the timer";
        ASSERT_EQ(facade.boxes().size(), 1u);
        EXPECT_EQ(facade.boxes()[0].title, QStringLiteral("Dialog Closing"));
        EXPECT_EQ(facade.boxes()[0].text, QString());
        EXPECT_EQ(facade.boxes()[0].buttons, dialogs::Buttons::Ok);
        EXPECT_TRUE(facade.exhausted());
        EXPECT_FALSE(box.isVisible());
    }
    {
        VortAboutBox box;
        TimerWitness witness(box);
        whenShown(box, [&] { box.close(); });
        box.exec();
        EXPECT_EQ(witness.titles, QStringList{QStringLiteral("Dialog Closing")});
        EXPECT_FALSE(witness.timerRunningDuringBox) << "the timer must be stopped before the box";
    }
}

TEST(AboutBox, MethodShowsTheBoxModally) {
    test::TestSite site;
    component::Ref<CVortCtrl> ctl = component::Ref<CVortCtrl>::adopt(new CVortCtrl());
    ctl->setSite(&site);
    ctl->initNew();
    bool seen = false;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        seen = box->windowTitle() == QStringLiteral("About VELMARK Comm Control");
        box->accept();
    });
    component::DispatchProxy proxy(
        component::Ref<component::Dispatch>(static_cast<component::Dispatch*>(ctl.get())));
    EXPECT_NO_THROW(proxy.call(kDispAboutBox));
    EXPECT_TRUE(seen);
    // Also in design mode: AboutBox is no run-time-only member.
    site.runMode = false;
    QTimer::singleShot(0, [] { QApplication::activeModalWidget()->close(); });
    test::ScriptedDialogs facade;
    facade.answer(Answer::Ok);
    EXPECT_NO_THROW(proxy.call("AboutBox"));
    EXPECT_EQ(facade.boxes().size(), 1u);
    ctl->setSite(nullptr);
}
