// Form1: loading, the ways out, the menus' wiring and the display helpers.
#include "app/forms/form1.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QLayout>
#include <QPainter>
#include <QPixmap>

#include "app/devices/serial_device_source.h"
#include "app/forms/twips.h"
#include "app/identity/identity_fields.h"
#include "app/settings/settings_window.h"

namespace tcu {

namespace {

QPixmap indicatorImage(const QColor& fill) {
    QPixmap image(16, 16);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Qt::darkGray, 1));
    painter.setBrush(fill);
    painter.drawEllipse(QRectF(1.5, 1.5, 13, 13));
    return image;
}

} // namespace

Form1::Form1(std::unique_ptr<ProgramCore> core)
    : core_(core ? std::move(core) : std::make_unique<ProgramCore>()), CommCtl1(core_->CommCtl1),
      Timer1(core_->Timer1) {
    if (!core_->hasControl())
        core_->createControl();
    if (core_->deviceSource() == nullptr)
        core_->setDeviceSource(std::make_unique<devices::SerialDeviceSource>());
    setupUi(this);
    core_->setView(this);

    // The indicator lives on the status bar, beside the two panels.
    sbrStatus->addPermanentWidget(FrameLED);
    sbrStatus->layout()->setAlignment(FrameLED, Qt::AlignTop);
    drawIndicatorImages();
    showConnected(false);
    settings_ = std::make_unique<settings::SettingsWindow>(*this);
    core_->setSetup(settings_.get());
    identity_ = new IdentityFields(*this);

    connectEvents();
    registerAnswerRules();
}

Form1::~Form1() {
    // The core goes with the window; it shows nothing from here on.
    core_->setView(nullptr);
    core_->setSetup(nullptr);
}

void Form1::setPanelText(int panel, const QString& text) {
    sbrStatus->setPanelText(panel, text);
}

void Form1::drawIndicatorImages() {
    imgConnected->setPixmap(indicatorImage(QColor(0x20, 0xc0, 0x20)));
    imgNotConnected->setPixmap(indicatorImage(QColor(0xc0, 0x20, 0x20)));
}

void Form1::connectEvents() {
    connect(mnuexit, &QAction::triggered, this, [this] { mnuexit_Click(); });
    connect(cmdExit, &QPushButton::clicked, this, [this] { cmdExit_Click(); });
    connect(mnuauto, &QAction::triggered, this,
            [this] { whenLinkFree([this] { mnuauto_Click(); }); });
    connect(mnumanual, &QAction::triggered, this,
            [this] { whenLinkFree([this] { mnumanual_Click(); }); });

    // "&Table": each item shows its tab.
    const std::array<QAction*, 10> tableItems = {mnuSend,     mnuPower,  mnuRs232,  mnuSpeaker,
                                                 mnuPrefix,   mnuSuffix, mnuLinear, mnuPDF417,
                                                 mnuMagnetic, mnuRegKey};
    for (int tab = 0; tab < static_cast<int>(tableItems.size()); ++tab)
        connect(tableItems[tab], &QAction::triggered, this,
                [this, tab] { SSTab1->setCurrentIndex(tab); });
    connectSettingsEvents();
    connectIdentityEvents();
    connectUpgradeEvents();
    connectDeviceEvents();
}

void Form1::registerAnswerRules() {
    // Behind the core's own "<APP1RV:>" rule, which sets App1RevNumber.
    identity_->registerDisplayRules(answerRules());
}

void Form1::Form_Load() {
    centreOnScreen(this);
    if (core_->StartupDetect == 1) {
        cmdFactory->setEnabled(false);
        cmdReceive->setEnabled(false);
        cmdSend->setEnabled(false);
        mnuauto_Click();
    }
}

void Form1::closeEvent(QCloseEvent* event) {
    int16_t cancel = 0;
    Form_Unload(cancel);
    if (cancel != 0)
        event->ignore();
    else
        event->accept();
}

void Form1::Form_Unload(int16_t& Cancel) {
    if (Cancel != 0)
        return;
    try {
        CommCtl1.setPortOpen(false);
    } catch (...) {
        // Closing on the way out: nothing useful can be done about a failure.
    }
    Timer1.setEnabled(false);
    for (auto it = loadedWindows_.rbegin(); it != loadedWindows_.rend(); ++it) {
        if (QWidget* w = *it) {
            w->hide();
            w->deleteLater();
        }
    }
    loadedWindows_.clear();
    endProgram();
}

void Form1::cmdExit_Click() {
    close();
}

void Form1::mnuexit_Click() {
    endProgram();
}

void Form1::endProgram() {
    core_->end();
    hide();
    // Ends the event loop when it runs; before it runs, Main's caller sees isEnding().
    QCoreApplication::exit(0);
}

void Form1::mnumanual_Click() {
    if (isEnding())
        return;
    // The port map may have changed since the window was last up.
    form4().showPortDevice();
    form4().exec();
}

void Form1::placeFrameLed() {
    const int top = twipsToPixels(kFrameLedTopTwips, logicalDpiOf(this));
    FrameLED->setFixedSize(imgConnected->width(), imgConnected->height() + top);
    imgConnected->move(0, top);
    imgNotConnected->move(0, top);
}

void Form1::showConnected(bool connected) {
    (connected ? imgConnected : imgNotConnected)->raise();
}

bool Form1::connectedShown() const {
    // The image raised last is the frame's last child widget.
    const QObjectList& children = FrameLED->children();
    for (auto it = children.rbegin(); it != children.rend(); ++it) {
        if (*it == imgConnected)
            return true;
        if (*it == imgNotConnected)
            return false;
    }
    return false;
}

void Form1::setScannerButtons(bool enabled) {
    for (QPushButton* b : {cmdSend, cmdReceive, cmdFactory, cmdRevision, cmdWeb})
        b->setEnabled(enabled);
}

Form2& Form1::form2() {
    if (!form2_) {
        form2_ = new Form2(this);
        loadedWindows_.emplace_back(form2_.data());
    }
    return *form2_;
}

Form4& Form1::form4() {
    if (!form4_) {
        form4_ = new Form4(*this);
        loadedWindows_.emplace_back(form4_.data());
    }
    return *form4_;
}

} // namespace tcu
