#include "app/link/startup.h"

#include <QApplication>
#include <QScreen>
#include <cstdio>

#include "app/devices/missing_device_hint.h"
#include "app/forms/form1.h"
#include "app/forms/twips.h"
#include "app/link/comm_control_host.h"
#include "app/link/message_pump.h"
#include "platform/dialogs/dialogs.h"

namespace tcu {

namespace {

void tellControlUnavailable(const ControlUnavailable& e) {
    vort::dialogs::MessageBoxRequest box;
    box.text = QStringLiteral("The serial communication control cannot be created:\r") +
               QString::fromStdString(e.what()) + QStringLiteral("\r\r") + e.fix();
    box.title = QString::fromLatin1(kAppTitle);
    box.icon = vort::dialogs::Icon::Critical;
    box.buttons = vort::dialogs::Buttons::Ok;
    // Also on stderr: a program started without a usable display still says why.
    QString plain = box.text;
    plain.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    std::fprintf(stderr, "tcu1: %s\n", plain.toLocal8Bit().constData());
    vort::dialogs::dialogs().messageBox(box);
}

// Size and place in twips, as the window was laid out: left and top are whole twips,
// halved toward zero.
void placeMainWindow(Form1& form) {
    const double dpi = logicalDpiOf(&form);
    form.resize(twipsToPixels(kForm1WidthTwips, dpi), twipsToPixels(kForm1HeightTwips, dpi));
    QScreen* screen = form.screen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    const int screenWidth = pixelsToTwips(area.width(), dpi);
    const int screenHeight = pixelsToTwips(area.height(), dpi);
    const int left = (screenWidth - kForm1WidthTwips) / 2;
    const int top = (screenHeight - kForm1HeightTwips) / 2;
    form.move(area.x() + twipsToPixels(left, dpi), area.y() + twipsToPixels(top, dpi));
}

} // namespace

std::unique_ptr<Form1> Main(int* exitCode) {
    if (exitCode)
        *exitCode = 0;
    auto core = std::make_unique<ProgramCore>();
    core->StartupDetect = 1;
    core->LoadPortSettings();

    std::unique_ptr<Form1> form;
    try {
        form = std::make_unique<Form1>(std::move(core));
    } catch (const ControlUnavailable& e) {
        tellControlUnavailable(e);
        if (exitCode)
            *exitCode = kExitNoControl;
        return nullptr;
    }
    form->Form_Load();
    if (form->isEnding())
        return form;

    placeMainWindow(*form);
    form->SSTab1->setCurrentIndex(0);
    form->placeFrameLed();

    form->show();
    form->setWindowTitle(QString::fromLatin1(kCaption));
    form->form2().Label1->setText(QString::fromLatin1(kCaption));

    form->core().QuietRevQuery = true;
    form->ExchangeCommand(QStringLiteral("<APP1RV:>"));
    form->core().QuietRevQuery = false;
    // A saved port whose device is not there: panel 2 says what is there instead.
    devices::showMissingDeviceHint(form->core());
    return form;
}

ProgramOptions parseProgramOptions(const QStringList& arguments) {
    ProgramOptions options;
    const QString flag = QStringLiteral("--demo-screenshot");
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& a = arguments.at(i);
        if (a == flag && i + 1 < arguments.size())
            options.screenshotPath = arguments.at(++i);
        else if (a.startsWith(flag + QLatin1Char('=')))
            options.screenshotPath = a.mid(flag.size() + 1);
    }
    return options;
}

int runProgram(const ProgramOptions& options) {
    QApplication::setQuitOnLastWindowClosed(false);
    int exitCode = 0;
    std::unique_ptr<Form1> form = Main(&exitCode);
    if (!form)
        return exitCode;
    if (form->isEnding())
        return 0;
    if (!options.screenshotPath.isEmpty()) {
        // Let the window settle (layout, first paint) before it is photographed.
        for (int i = 0; i < 50; ++i)
            PumpMessages();
        const bool saved = form->grab().save(options.screenshotPath, "PNG");
        form->close();
        return saved ? 0 : kExitNoScreenshot;
    }
    return QApplication::exec();
}

} // namespace tcu
