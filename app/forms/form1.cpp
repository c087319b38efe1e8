// Form1: loading, the ways out, the menus' wiring and the display helpers.
#include "app/forms/form1.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QLayout>
#include <QPainter>
#include <QPixmap>
#include <QTimer>

#include "app/forms/twips.h"
#include "app/identity/identity_fields.h"
#include "app/identity/revision_state.h"
#include "app/link/comm_control_host.h"
#include "app/link/port_settings_file.h"
#include "app/settings/settings_window.h"
#include "platform/dialogs/dialogs.h"

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

std::unique_ptr<CommControlHost> createCommControl() {
    const std::string design = CommControlHost::storedDesign();
    if (design.empty())
        throw ControlUnavailable("the window's stored design of the control is missing",
                                 QStringLiteral("The program itself is damaged; build or "
                                                "install it again."));
    return std::make_unique<CommControlHost>(design);
}

} // namespace

Form1::Form1(QWidget* parent) : QMainWindow(parent), commHost_(createCommControl()) {
    setupUi(this);
    CommCtl1 = CommControl(commHost_->proxy());
    commHost_->onComm = [this] { CommCtl1_OnComm(); };

    // The indicator lives on the status bar, beside the two panels.
    sbrStatus->addPermanentWidget(FrameLED);
    sbrStatus->layout()->setAlignment(FrameLED, Qt::AlignTop);
    drawIndicatorImages();
    showConnected(false);
    settings_ = std::make_unique<settings::SettingsWindow>(*this);
    identity_ = new IdentityFields(*this);

    connectEvents();
    registerAnswerRules();
}

Form1::~Form1() {
    // Let go of the control before its host: the proxy holds a reference to it.
    CommCtl1 = CommControl();
    commHost_.reset();
}

void Form1::drawIndicatorImages() {
    imgConnected->setPixmap(indicatorImage(QColor(0x20, 0xc0, 0x20)));
    imgNotConnected->setPixmap(indicatorImage(QColor(0xc0, 0x20, 0x20)));
}

void Form1::connectEvents() {
    connect(&Timer1, &WindowTimer::tick, this, [this] { Timer1_Timer(); });

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
}

void Form1::registerAnswerRules() {
    registerRevisionRules(answerRules_);
    identity_->registerDisplayRules(answerRules_);
    answerRules_.add(QStringLiteral("<SETPAR:>"),
                     [this](const QString& answer) { SettingsAnswer(answer); });
}

void Form1::Form_Load() {
    centreOnScreen(this);
    if (StartupDetect == 1) {
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
    ending_ = true;
    hide();
    // Ends the event loop when it runs; before it runs, Main's caller sees isEnding().
    QCoreApplication::exit(0);
}

void Form1::mnumanual_Click() {
    if (ending_)
        return;
    form4().exec();
}

QString Form1::openPortText() {
    return QStringLiteral("Settings: ") + CommCtl1.settings() + QStringLiteral("  Com Port: ") +
           QString::number(CommCtl1.commPort());
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

void Form1::showRunTimeError(const QString& description) {
    if (ending_)
        return;
    vort::dialogs::MessageBoxRequest box;
    box.text = description;
    box.title = QString::fromLatin1(kAppTitle);
    box.icon = vort::dialogs::Icon::Exclamation;
    box.buttons = vort::dialogs::Buttons::Ok;
    box.owner = this;
    vort::dialogs::dialogs().messageBox(box);
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

void Form1::whenLinkFree(std::function<void()> action) {
    if (ending_)
        return;
    if (linkBusy_ == 0) {
        action();
        return;
    }
    deferredLinkAction_ = std::move(action);
}

LinkOperation::LinkOperation(Form1& form) : form_(form) {
    ++form_.linkBusy_;
}

LinkOperation::~LinkOperation() {
    if (--form_.linkBusy_ > 0 || !form_.deferredLinkAction_)
        return;
    // Posted, not run here: the operation that just ended is still on the stack.
    QTimer::singleShot(0, &form_, [f = &form_, action = std::move(form_.deferredLinkAction_)] {
        f->whenLinkFree(action);
    });
    form_.deferredLinkAction_ = nullptr;
}

} // namespace tcu
