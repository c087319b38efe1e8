// vort-container's window with the real control created by ProgID: the property
// browser's values, lists and run-time rules, editing through it, the property pages
// with the control's own page (apply and refusal), the About box, the design view,
// save and load of the property bag, a failed create keeping the control, and OnComm
// reaching the event log over a pseudo-terminal.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QInputDialog>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/component/dispatch_proxy.h"
#include "support/non_regular_files.h"
#include "support/pty_pair.h"
#include "support/qt_app_environment.h"
#include "support/scripted_dialogs.h"
#include "support/wait.h"
#include "tests/tools/container/registered_control.h"
#include "tools/container/container_window.h"
#include "tools/container/property_browser.h"

namespace fs = std::filesystem;
using vort::container::ContainerWindow;
using vort::dialogs::Answer;

namespace {

[[maybe_unused]] auto* const kRegistry =
    ::testing::AddGlobalTestEnvironment(new vort::test::RegisteredControl);

// Runs f on the next modal dialog once it is up.
void onModal(std::function<void(QWidget*)> f) {
    QTimer::singleShot(0, [f = std::move(f)] {
        QWidget* w = QApplication::activeModalWidget();
        ASSERT_NE(w, nullptr) << "no modal dialog came up";
        f(w);
    });
}

class ContainerWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        window_ = std::make_unique<ContainerWindow>(host_);
        ASSERT_TRUE(window_->createControl(QStringLiteral("VORT.VortCtrl.1")));
    }
    const vort::component::DispatchProxy& proxy() { return window_->control().proxy(); }
    QString shown(const char* name) {
        return window_->browser()->valueText(QString::fromLatin1(name));
    }
    void select(const char* name) {
        auto* b = window_->browser();
        for (int row = 0; row < b->rowCount(); ++row)
            if (b->item(row, 0)->text() == QLatin1String(name))
                b->setCurrentCell(row, 1);
    }

    vort::component::ComponentHost host_;
    std::unique_ptr<ContainerWindow> window_;
};

} // namespace

TEST_F(ContainerWindowTest, BrowserShowsValuesListsAndRunTimeRules) {
    EXPECT_EQ(shown("CommPort"), QStringLiteral("2"));
    EXPECT_EQ(shown("Settings"), QStringLiteral("\"57600,N,8,1\""));
    EXPECT_EQ(shown("Handshaking"), QStringLiteral("0 - No Handshaking"));
    EXPECT_EQ(shown("Protocol"), QStringLiteral("6 - ZMODEM/Save Protocol"));
    EXPECT_EQ(shown("ComType"), QStringLiteral("0 - RS-232/422"));
    EXPECT_EQ(shown("Output"), QStringLiteral("(write-only)"));
    EXPECT_EQ(shown("CommEvent"), QStringLiteral("(read on request)"))
        << "reading it would reset it";
    EXPECT_TRUE(shown("XONChar").isEmpty()) << "hidden from the type library, so not listed";
    select("PortOpen");
    window_->browser()->readSelected();
    EXPECT_EQ(shown("PortOpen"), QStringLiteral("false"));

    window_->setRunMode(false);
    EXPECT_EQ(shown("PortOpen"), QStringLiteral("(run time only)"));
    select("PortOpen");
    window_->browser()->readSelected();
    EXPECT_EQ(shown("PortOpen"), QStringLiteral("(run time only)")) << "never read in design mode";
    EXPECT_EQ(shown("CommPort"), QStringLiteral("2"));

    // A property written by a program shows at once (the control notifies the site).
    proxy().put("RThreshold", vort::component::Variant::i2(9));
    EXPECT_EQ(shown("RThreshold"), QStringLiteral("9"));
}

TEST_F(ContainerWindowTest, EditingThroughTheBrowser) {
    vort::test::ScriptedDialogs facade;
    select("Handshaking");
    onModal([](QWidget* w) {
        auto* input = qobject_cast<QInputDialog*>(w);
        ASSERT_NE(input, nullptr);
        input->setTextValue(QStringLiteral("2 - RTS/CTS Handshaking"));
        input->accept();
    });
    window_->browser()->editSelected();
    EXPECT_EQ(proxy().getI2(12), 2);
    EXPECT_EQ(shown("Handshaking"), QStringLiteral("2 - RTS/CTS Handshaking"));

    // A value the control refuses is reported with its number; nothing changes.
    select("Settings");
    facade.answer(Answer::Ok);
    onModal([](QWidget* w) {
        auto* input = qobject_cast<QInputDialog*>(w);
        ASSERT_NE(input, nullptr);
        input->setTextValue(QStringLiteral("\"9600,X,8,1\""));
        input->accept();
    });
    window_->browser()->editSelected();
    ASSERT_EQ(facade.boxes().size(), 1u);
    EXPECT_TRUE(facade.boxes()[0].text.startsWith(QStringLiteral("Error # 380")))
        << facade.boxes()[0].text.toStdString();
    EXPECT_EQ(proxy().getText(19), u"57600,N,8,1");
}

TEST_F(ContainerWindowTest, PropertyPagesApplyOrRefuse) {
    vort::test::ScriptedDialogs facade;
    onModal([](QWidget* sheet) {
        auto* port = sheet->findChild<QLineEdit*>(QStringLiteral("CommPort"));
        ASSERT_NE(port, nullptr) << "the control's page is in the sheet";
        port->setText(QStringLiteral("5"));
        sheet->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
    });
    window_->showPropertyPages();
    EXPECT_EQ(proxy().getI2(6), 5);
    EXPECT_EQ(shown("CommPort"), QStringLiteral("5"));
    EXPECT_TRUE(facade.boxes().empty());

    // A field out of range: the page's complaint in a box, the sheet stays open.
    facade.answer(Answer::Ok);
    bool stillOpen = false;
    onModal([&](QWidget* sheet) {
        sheet->findChild<QLineEdit*>(QStringLiteral("CommPort"))->setText(QStringLiteral("99"));
        sheet->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
        stillOpen = sheet->isVisible();
        static_cast<QDialog*>(sheet)->reject();
    });
    window_->showPropertyPages();
    EXPECT_TRUE(stillOpen);
    ASSERT_EQ(facade.boxes().size(), 1u);
    EXPECT_EQ(facade.boxes()[0].title, QStringLiteral("General"));
    EXPECT_TRUE(facade.boxes()[0].text.contains(QStringLiteral("from 1 to 36")))
        << facade.boxes()[0].text.toStdString();
    EXPECT_EQ(proxy().getI2(6), 5);
}

TEST_F(ContainerWindowTest, AboutBoxAndDesignView) {
    bool seen = false;
    onModal([&](QWidget* w) {
        seen = w->windowTitle() == QStringLiteral("About VELMARK Comm Control");
        static_cast<QDialog*>(w)->accept();
    });
    window_->showAboutBox();
    EXPECT_TRUE(seen);

    QWidget* view = window_->controlView();
    ASSERT_NE(view, nullptr) << "the control offers its design-time view";
    view->resize(64, 64);
    const auto opaque = [&] {
        const QImage image = view->parentWidget()->grab(view->geometry()).toImage();
        const QColor base = view->parentWidget()->palette().color(QPalette::Base);
        int n = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                n += QColor(image.pixel(x, y)) != base;
        return n;
    };
    EXPECT_EQ(opaque(), 0) << "run mode: invisible";
    window_->setRunMode(false);
    EXPECT_GT(opaque(), 64 * 64 / 2) << "design mode: the bitmap";
}

TEST_F(ContainerWindowTest, SaveLoadAndAFailedCreate) {
    const fs::path dir =
        fs::temp_directory_path() / ("vort-window-test-" + std::to_string(getpid()));
    fs::create_directories(dir);
    const QString bag = QString::fromStdString((dir / "design.bag").string());
    proxy().put("CommPort", vort::component::Variant::i2(4));
    ASSERT_TRUE(window_->saveProperties(bag));
    proxy().put("CommPort", vort::component::Variant::i2(9));
    ASSERT_TRUE(window_->loadProperties(bag));
    EXPECT_EQ(proxy().getI2(6), 4);
    EXPECT_EQ(shown("CommPort"), QStringLiteral("4"));

    vort::test::ScriptedDialogs facade;
    facade.answer(Answer::Ok);
    std::ofstream(dir / "damaged.bag") << "CommPort = x y z\n";
    EXPECT_FALSE(window_->loadProperties(QString::fromStdString((dir / "damaged.bag").string())));
    ASSERT_EQ(facade.boxes().size(), 1u);
    EXPECT_TRUE(facade.boxes()[0].text.contains(QStringLiteral("damaged")));
    EXPECT_EQ(proxy().getI2(6), 2) << "a damaged bag leaves the defaults";

    facade.answer(Answer::Ok);
    EXPECT_FALSE(window_->createControl(QStringLiteral("No.Such.Control")));
    ASSERT_EQ(facade.boxes().size(), 2u);
    EXPECT_TRUE(facade.boxes()[1].text.contains(QStringLiteral("vortreg")));
    ASSERT_TRUE(window_->control()) << "the control there was stays";
    EXPECT_EQ(shown("CommPort"), QStringLiteral("2"));
    fs::remove_all(dir);
}

TEST_F(ContainerWindowTest, SaveKeepsALinkedPrivateBagAndLoadRefusesAFifoAtOnce) {
    vort::test::ScratchDirectory dir;
    const std::string kept = dir.path("kept.bag");
    vort::test::writeFileText(kept, "old");
    ASSERT_EQ(::chmod(kept.c_str(), 0600), 0);
    ASSERT_EQ(::symlink(kept.c_str(), dir.path("design.bag").c_str()), 0);
    proxy().put("CommPort", vort::component::Variant::i2(4));
    ASSERT_TRUE(window_->saveProperties(QString::fromStdString(dir.path("design.bag"))));
    EXPECT_TRUE(vort::test::isSymlink(dir.path("design.bag")));
    EXPECT_NE(vort::test::fileText(kept).find("CommPort = 4"), std::string::npos);
    EXPECT_EQ(vort::test::permissionsOf(kept), 0600);

    const std::string fifo = dir.path("fifo.bag");
    vort::test::makeFifo(fifo);
    vort::test::ScriptedDialogs facade;
    facade.answer(Answer::Ok, QString::fromStdString("Cannot read " + fifo +
                                                     ": a FIFO (named pipe), not a regular file"));
    bool loaded = true;
    EXPECT_TRUE(vort::test::endsWithoutBlocking(
        fifo, [&] { loaded = window_->loadProperties(QString::fromStdString(fifo)); }));
    EXPECT_FALSE(loaded);
    EXPECT_EQ(facade.boxes().size(), 1u);
    EXPECT_EQ(proxy().getI2(6), 4) << "nothing was loaded";
}

TEST_F(ContainerWindowTest, EventsReachTheLog) {
    vort::test::PtyPair pty;
    vort::test::ScopedPortMap ports;
    ports.map(7, pty.slavePath());
    proxy().put("CommPort", vort::component::Variant::i2(7));
    proxy().put("PortOpen", vort::component::Variant::boolean(true));
    ASSERT_TRUE(pty.writeAll("hello"));
    EXPECT_TRUE(vort::test::waitFor(
        [&] {
            return window_->eventLog()->toPlainText().contains(
                QStringLiteral("OnComm CommEvent=2"));
        },
        5000, [] { QApplication::processEvents(); }))
        << window_->eventLog()->toPlainText().toStdString();
    proxy().put("PortOpen", vort::component::Variant::boolean(false));
}
