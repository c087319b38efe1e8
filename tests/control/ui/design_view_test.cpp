// The design-time view: the bitmap stretched over the control's rectangle only in
// design mode, following mode changes; F1 opening the help file beside the library
// in design mode only (scripted facade), other keys passing on; the view and the
// control released in either order.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFileInfo>
#include <QImage>
#include <QKeyEvent>
#include <QWidget>

#include "control/object/design_view.h"
#include "control/object/vort_ctrl.h"
#include "platform/component/container_site.h"
#include "platform/component/module.h"
#include "support/qt_app_environment.h"
#include "support/scripted_dialogs.h"
#include "support/test_site.h"

using namespace vort;
using component::ControlView;
using component::Ref;

namespace {

constexpr QRgb kBackground = qRgb(255, 0, 255);

// The container's surface: a known background, and a record of the keys that reach it.
class Surface final : public QWidget {
public:
    Surface() {
        setAutoFillBackground(true);
        QPalette p = palette();
        p.setColor(QPalette::Window, QColor(kBackground));
        setPalette(p);
        resize(400, 300);
    }
    std::vector<int> keys;

protected:
    void keyPressEvent(QKeyEvent* e) override { keys.push_back(e->key()); }
};

class DesignViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        site_.runMode = false;
        ctl_ = Ref<CVortCtrl>::adopt(new CVortCtrl());
        ctl_->setSite(&site_);
        ctl_->initNew();
        Ref<ControlView> view =
            Ref<component::Dispatch>(static_cast<component::Dispatch*>(ctl_.get()))
                .query<ControlView>();
        ASSERT_TRUE(view) << "the control offers ControlView";
        view_ = static_cast<QWidget*>(view->createView(&surface_));
        ASSERT_NE(view_, nullptr);
        view_->setGeometry(10, 10, 200, 60);
    }
    void TearDown() override {
        if (ctl_)
            ctl_->setSite(nullptr);
    }

    void setMode(bool run) {
        site_.runMode = run;
        ctl_->ambientPropertyChanged(component::kDispidAmbientUserMode);
    }
    // The view as the surface shows it.
    QImage shown() { return surface_.grab(view_->geometry()).toImage(); }
    static int pixelsUnlike(const QImage& image, QRgb colour) {
        int n = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                n += (image.pixel(x, y) & 0xFFFFFF) != (colour & 0xFFFFFF);
        return n;
    }
    void press(int key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QKeyEvent e(QEvent::KeyPress, key, mods);
        QApplication::sendEvent(view_, &e);
    }

    Surface surface_;
    test::TestSite site_;
    Ref<CVortCtrl> ctl_;
    QWidget* view_ = nullptr;
};

bool near(QRgb a, QRgb b) {
    return std::abs(qRed(a) - qRed(b)) < 40 && std::abs(qGreen(a) - qGreen(b)) < 40 &&
           std::abs(qBlue(a) - qBlue(b)) < 40;
}

} // namespace

TEST_F(DesignViewTest, BitmapStretchedOverTheWholeRectangleInDesignModeOnly) {
    const QImage design = shown();
    ASSERT_EQ(design.size(), QSize(200, 60));
    // The picture's frame runs along all four edges of the stretched rectangle, and
    // its panel fills the middle: nothing of the background shows there.
    const QRgb frame = qRgb(0x4a, 0x5a, 0x6a);
    EXPECT_TRUE(near(design.pixel(100, 0), frame)) << std::hex << design.pixel(100, 0);
    EXPECT_TRUE(near(design.pixel(100, 59), frame)) << std::hex << design.pixel(100, 59);
    EXPECT_TRUE(near(design.pixel(0, 30), frame)) << std::hex << design.pixel(0, 30);
    EXPECT_TRUE(near(design.pixel(199, 30), frame)) << std::hex << design.pixel(199, 30);
    EXPECT_GT(pixelsUnlike(design, kBackground), 200 * 60 * 9 / 10);

    setMode(true);
    EXPECT_EQ(pixelsUnlike(shown(), kBackground), 0) << "run mode: the control is invisible";
    setMode(false);
    EXPECT_GT(pixelsUnlike(shown(), kBackground), 200 * 60 * 9 / 10);

    // The view's natural size is the control's extent (1000 x 1000 HIMETRIC, 1 cm).
    const int expected = qRound(1000 * view_->logicalDpiX() / 2540.0);
    EXPECT_EQ(view_->sizeHint().width(), expected);
}

TEST_F(DesignViewTest, F1OpensTheHelpBesideTheLibraryInDesignModeOnly) {
    test::ScriptedDialogs facade;
    facade.answerShellOpen(true);
    press(Qt::Key_F1);
    ASSERT_EQ(facade.shellOpens().size(), 1u);
    const QString path = facade.shellOpens()[0];
    const QFileInfo help(path);
    EXPECT_TRUE(help.isAbsolute()) << path.toStdString();
    EXPECT_EQ(help.fileName(), QStringLiteral("vortocxe.html"));
    EXPECT_TRUE(help.exists()) << "the build places the help beside the library: "
                               << path.toStdString();
    EXPECT_TRUE(surface_.keys.empty()) << "F1 was taken";

    // Other keys, and F1 with a modifier, pass on to the container.
    press(Qt::Key_A);
    press(Qt::Key_F1, Qt::ShiftModifier);
    EXPECT_EQ(surface_.keys, (std::vector<int>{Qt::Key_A, Qt::Key_F1}));

    // Run mode: F1 is not the control's.
    setMode(true);
    press(Qt::Key_F1);
    EXPECT_EQ(facade.shellOpens().size(), 1u);
    EXPECT_EQ(surface_.keys.back(), Qt::Key_F1);
    EXPECT_TRUE(facade.exhausted());
}

TEST_F(DesignViewTest, HelpThatCannotBeOpenedIsReported) {
    test::ScriptedDialogs facade;
    facade.answerShellOpen(false);
    facade.answer(dialogs::Answer::Ok);
    press(Qt::Key_F1);
    ASSERT_EQ(facade.boxes().size(), 1u);
    EXPECT_TRUE(facade.boxes()[0].text.contains(QStringLiteral("vortocxe.html")));
    EXPECT_EQ(facade.boxes()[0].icon, dialogs::Icon::Exclamation);
}

TEST_F(DesignViewTest, ViewAndControlGoInEitherOrder) {
    // The control goes first: the view stays, draws nothing, takes no keys, and keeps
    // the library loaded until it goes too.
    const uint32_t locks = component::moduleLockCount();
    ctl_->setSite(nullptr);
    ctl_.reset();
    EXPECT_EQ(component::moduleLockCount(), locks - 1);
    test::ScriptedDialogs facade;
    EXPECT_EQ(pixelsUnlike(shown(), kBackground), 0);
    press(Qt::Key_F1);
    EXPECT_TRUE(facade.shellOpens().empty());
    delete view_;
    EXPECT_EQ(component::moduleLockCount(), locks - 2);

    // The view goes first: the control's later mode changes touch nothing.
    ctl_ = Ref<CVortCtrl>::adopt(new CVortCtrl());
    ctl_->setSite(&site_);
    view_ = static_cast<QWidget*>(static_cast<ControlView&>(*ctl_).createView(&surface_));
    ASSERT_NE(view_, nullptr);
    delete view_;
    view_ = nullptr;
    setMode(true);
    setMode(false);
    EXPECT_EQ(static_cast<ControlView&>(*ctl_).createView(nullptr), nullptr);
}
