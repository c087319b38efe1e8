#include "tools/container/container_window.h"

#include <QAction>
#include <QActionGroup>
#include <QFile>
#include <QInputDialog>
#include <QLabel>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QStatusBar>
#include <QVBoxLayout>

#include "platform/component/control_view.h"
#include "platform/component/dispatch_proxy.h"
#include "platform/component/error.h"
#include "platform/dialogs/dialogs.h"
#include "platform/files/atomic_rewrite.h"
#include "tools/container/property_browser.h"
#include "tools/container/property_sheet.h"
#include "vort/guids.h"

namespace vort::container {

namespace {

constexpr size_t kMaxBagBytes = 1 << 20;
const QStringList kBagFilters = {QStringLiteral("Property bags (*.bag)|*.bag"),
                                 QStringLiteral("All Files (*.*)|*")};

} // namespace

ContainerWindow::ContainerWindow(component::ComponentHost& host, QWidget* parent)
    : QMainWindow(parent), host_(host) {
    setWindowTitle(QStringLiteral("Control Test Container"));
    resize(900, 600);

    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    file->addAction(QStringLiteral("&New Control..."), this, [this] { askForClass(); });
    controlActions_ << file->addAction(QStringLiteral("&Save Properties..."), this,
                                       [this] { askToSave(); });
    controlActions_ << file->addAction(QStringLiteral("&Load Properties..."), this,
                                       [this] { askToLoad(); });
    file->addSeparator();
    file->addAction(QStringLiteral("E&xit"), this, [this] { close(); });

    QMenu* control = menuBar()->addMenu(QStringLiteral("&Control"));
    auto* modes = new QActionGroup(this);
    runAction_ =
        control->addAction(QStringLiteral("&Run Mode"), this, [this] { setRunMode(true); });
    designAction_ =
        control->addAction(QStringLiteral("&Design Mode"), this, [this] { setRunMode(false); });
    for (QAction* a : {runAction_, designAction_}) {
        a->setCheckable(true);
        modes->addAction(a);
    }
    runAction_->setChecked(true);
    control->addSeparator();
    controlActions_ << control->addAction(QStringLiteral("&Property Pages..."), this,
                                          [this] { showPropertyPages(); });
    controlActions_ << control->addAction(QStringLiteral("&About Box..."), this,
                                          [this] { showAboutBox(); });
    controlActions_ << control->addAction(QStringLiteral("Re&fresh Properties"), this,
                                          [this] { browser_->refresh(); });
    controlActions_ << control->addAction(QStringLiteral("Read &Selected Property"), this,
                                          [this] { browser_->readSelected(); });

    auto* split = new QSplitter(this);
    auto* left = new QWidget(split);
    auto* leftLayout = new QVBoxLayout(left);
    surface_ = new QWidget(left);
    surface_->setObjectName(QStringLiteral("formSurface"));
    surface_->setMinimumSize(300, 200);
    surface_->setAutoFillBackground(true);
    surface_->setBackgroundRole(QPalette::Base);
    leftLayout->addWidget(new QLabel(QStringLiteral("Form"), left));
    leftLayout->addWidget(surface_, 2);
    leftLayout->addWidget(new QLabel(QStringLiteral("Events"), left));
    log_ = new QPlainTextEdit(left);
    log_->setObjectName(QStringLiteral("eventLog"));
    log_->setReadOnly(true);
    log_->setMaximumBlockCount(5000);
    leftLayout->addWidget(log_, 1);
    auto* clear = new QPushButton(QStringLiteral("Clear Log"), left);
    connect(clear, &QPushButton::clicked, log_, &QPlainTextEdit::clear);
    leftLayout->addWidget(clear, 0, Qt::AlignRight);
    browser_ = new PropertyBrowser(split);
    browser_->setObjectName(QStringLiteral("propertyBrowser"));
    split->addWidget(left);
    split->addWidget(browser_);
    setCentralWidget(split);
    state_ = new QLabel(this);
    statusBar()->addWidget(state_);

    events_.printer = [this](const std::string& line) {
        log_->appendPlainText(QString::fromStdString(line));
    };
    site_.propertyChanged = [this](int32_t dispid) { browser_->refreshProperty(dispid); };
    updateState();
}

ContainerWindow::~ContainerWindow() {
    browser_->setControl(nullptr, false);
    delete view_;
    events_.printer = nullptr;
    site_.propertyChanged = nullptr;
    control_.reset();
}

void ContainerWindow::tell(const QString& text, const QString& title) {
    dialogs::MessageBoxRequest box;
    box.text = text;
    box.title = title;
    box.icon = dialogs::Icon::Exclamation;
    box.owner = this;
    dialogs::dialogs().messageBox(box);
}

bool ContainerWindow::createControl(const QString& classText) {
    // The new control is made first: when it cannot be, the one there is stays.
    const std::string text = classText.trimmed().toStdString();
    component::HostedControl created;
    try {
        const std::optional<component::Guid> clsid = component::Guid::parse(text);
        created = clsid ? host_.createControl(*clsid, &site_) : host_.createControl(text, &site_);
        created.initNew();
    } catch (const component::HostError& e) {
        tell(QString::fromUtf8(e.what()), QStringLiteral("Cannot Create the Control"));
        return false;
    }
    browser_->setControl(nullptr, !site_.runMode);
    delete view_;
    events_.detach();
    control_ = std::move(created);
    site_.modified = false;
    events_.attach(control_.eventInfo(), &control_.dispatch());
    try {
        control_.advise(events_);
    } catch (const component::HostError& e) {
        tell(QStringLiteral("The control's events cannot be shown: %1")
                 .arg(QString::fromUtf8(e.what())),
             QStringLiteral("Events"));
    }
    className_ = classText.trimmed();
    // The control's own picture on the form, where it offers one.
    void* out = nullptr;
    if (control_.control().queryInterface(component::ControlView::kIid, &out) == component::kOk &&
        out) {
        auto* view = static_cast<component::ControlView*>(out);
        view_ = static_cast<QWidget*>(view->createView(surface_));
        view->release();
        if (view_) {
            view_->setObjectName(QStringLiteral("controlView"));
            view_->setGeometry(QRect(QPoint(16, 16), view_->sizeHint()));
            view_->show();
        }
    }
    browser_->setControl(&control_, !site_.runMode);
    updateState();
    return true;
}

void ContainerWindow::setRunMode(bool run) {
    site_.runMode = run;
    (run ? runAction_ : designAction_)->setChecked(true);
    if (control_)
        control_.control().ambientPropertyChanged(component::kDispidAmbientUserMode);
    browser_->setControl(control_ ? &control_ : nullptr, !run);
    updateState();
}

void ContainerWindow::updateState() {
    for (QAction* a : controlActions_)
        a->setEnabled(static_cast<bool>(control_));
    state_->setText(control_ ? QStringLiteral("%1, %2 mode")
                                   .arg(className_, site_.runMode ? QStringLiteral("run")
                                                                  : QStringLiteral("design"))
                             : QStringLiteral("No control"));
}

void ContainerWindow::askForClass() {
    bool ok = false;
    const QString text = QInputDialog::getText(
        this, QStringLiteral("New Control"), QStringLiteral("ProgID or {CLSID} of the control:"),
        QLineEdit::Normal, className_.isEmpty() ? QString::fromLatin1(kProgIdVortCtrl) : className_,
        &ok);
    if (ok && !text.trimmed().isEmpty())
        createControl(text);
}

bool ContainerWindow::saveProperties(const QString& path) {
    if (!control_)
        return false;
    std::string bag;
    try {
        bag = control_.saveText(true);
    } catch (const component::HostError& e) {
        tell(QString::fromUtf8(e.what()), QStringLiteral("Save Properties"));
        return false;
    }
    vort::files::FileFailure failure;
    if (!vort::files::rewriteFile(QFile::encodeName(path).toStdString(), bag, failure)) {
        tell(QStringLiteral("Cannot write %1").arg(QString::fromStdString(failure.text())),
             QStringLiteral("Save Properties"));
        return false;
    }
    site_.modified = false;
    return true;
}

bool ContainerWindow::loadProperties(const QString& path) {
    if (!control_)
        return false;
    // A FIFO or a device is refused without blocking the window.
    const vort::files::ReadResult file =
        vort::files::readRegularFile(QFile::encodeName(path).toStdString(), kMaxBagBytes);
    if (file.outcome != vort::files::ReadOutcome::Read) {
        tell(QStringLiteral("Cannot read %1").arg(QString::fromStdString(file.failure.text())),
             QStringLiteral("Load Properties"));
        return false;
    }
    if (file.truncated) {
        tell(QStringLiteral("%1 is too large for a property bag.").arg(path),
             QStringLiteral("Load Properties"));
        return false;
    }
    const component::LoadResult r = control_.loadText(file.text);
    browser_->refresh();
    if (!r.ok()) {
        tell(QStringLiteral("%1 is damaged: %2\nThe control now holds its defaults.")
                 .arg(path, QString::fromStdString(r.error)),
             QStringLiteral("Load Properties"));
        return false;
    }
    site_.modified = false;
    return true;
}

void ContainerWindow::askToSave() {
    dialogs::FileDialogRequest request;
    request.save = true;
    request.title = QStringLiteral("Save Properties");
    request.filters = kBagFilters;
    request.owner = this;
    const dialogs::FileDialogResult r = dialogs::dialogs().fileDialog(request);
    if (!r.cancelled)
        saveProperties(r.path);
}

void ContainerWindow::askToLoad() {
    dialogs::FileDialogRequest request;
    request.title = QStringLiteral("Load Properties");
    request.filters = kBagFilters;
    request.mustExist = true;
    request.owner = this;
    const dialogs::FileDialogResult r = dialogs::dialogs().fileDialog(request);
    if (!r.cancelled)
        loadProperties(r.path);
}

void ContainerWindow::showPropertyPages() {
    if (!control_)
        return;
    PropertySheet sheet(host_, control_, this);
    if (!sheet.failures().isEmpty())
        tell(QStringLiteral("Pages that could not be shown:\n%1")
                 .arg(sheet.failures().join(QLatin1Char('\n'))),
             QStringLiteral("Property Pages"));
    if (sheet.pageCount() == 0)
        return;
    sheet.exec();
    browser_->refresh();
}

void ContainerWindow::showAboutBox() {
    if (!control_)
        return;
    try {
        control_.proxy().call(-552); // the standard DISPID of AboutBox
    } catch (const component::ComponentError& e) {
        tell(QStringLiteral("Error # %1 %2")
                 .arg(e.number())
                 .arg(QString::fromStdString(e.description())),
             QStringLiteral("About Box"));
    }
}

} // namespace vort::container
