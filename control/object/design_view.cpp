#include "control/object/design_view.h"

#include <QApplication>
#include <QFileInfo>
#include <QKeyEvent>
#include <QPainter>
#include <algorithm>

#include "control/object/control_resources.h"
#include "control/object/vort_ctrl.h"
#include "platform/component/container_site.h"
#include "platform/component/inproc_server.h"
#include "platform/dialogs/dialogs.h"

namespace vort {

namespace {

constexpr const char* kHelpFileName = "vortocxe.html";
// HIMETRIC units (1/100 mm) per inch.
constexpr double kHimetricPerInch = 2540.0;

} // namespace

void DesignViews::add(QWidget* view) {
    views_.erase(std::remove_if(views_.begin(), views_.end(),
                                [](const QPointer<QWidget>& v) { return v.isNull(); }),
                 views_.end());
    views_.emplace_back(view);
}

void DesignViews::updateAll() {
    for (const QPointer<QWidget>& v : views_)
        if (v)
            v->update();
}

DesignView::DesignView(std::weak_ptr<DesignViews> views, QWidget* parent)
    : QWidget(parent), views_(std::move(views)) {
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent, false);
}

CVortCtrl* DesignView::designedControl() const {
    const std::shared_ptr<DesignViews> views = views_.lock();
    if (!views || !views->control().designMode())
        return nullptr;
    return &views->control();
}

QSize DesignView::sizeHint() const {
    const std::shared_ptr<DesignViews> views = views_.lock();
    const component::Extent extent = views ? views->control().extent() : component::Extent{};
    return QSize(std::max(1, qRound(extent.width * logicalDpiX() / kHimetricPerInch)),
                 std::max(1, qRound(extent.height * logicalDpiY() / kHimetricPerInch)));
}

void DesignView::paintEvent(QPaintEvent*) {
    // Run mode: the control is invisible, and the container's own background shows.
    if (!designedControl())
        return;
    QPainter painter(this);
    drawControlBitmap(painter, QRectF(rect()));
}

void DesignView::keyPressEvent(QKeyEvent* event) {
    if (event->key() != Qt::Key_F1 || event->modifiers() != Qt::NoModifier || !designedControl()) {
        QWidget::keyPressEvent(event); // ignored: the parent gets the key
        return;
    }
    event->accept();
    const QString path = controlHelpPath();
    if (!dialogs::dialogs().shellOpen(path)) {
        dialogs::MessageBoxRequest box;
        box.text = QStringLiteral(
                       "The help file %1 cannot be opened: no program to show it was found, or the "
                       "file is missing.")
                       .arg(path);
        box.title = QStringLiteral("VELMARK Comm Control");
        box.icon = dialogs::Icon::Exclamation;
        box.owner = this;
        dialogs::dialogs().messageBox(box);
    }
}

QString controlHelpPath() {
    const QString library = QString::fromStdString(component::InprocServer::libraryPath());
    return QFileInfo(library).absolutePath() + QLatin1Char('/') + QLatin1String(kHelpFileName);
}

// ---- The control's side -----------------------------------------------------

bool CVortCtrl::designMode() {
    return !userMode();
}

void* CVortCtrl::createView(void* parent) {
    if (!parent || !qobject_cast<QApplication*>(QCoreApplication::instance()))
        return nullptr;
    if (!designViews_)
        designViews_ = std::make_shared<DesignViews>(*this);
    auto* view = new DesignView(designViews_, static_cast<QWidget*>(parent));
    designViews_->add(view);
    return static_cast<QWidget*>(view);
}

void CVortCtrl::onAmbientPropertyChanged(int32_t dispid) {
    if (dispid == component::kDispidAmbientUserMode && designViews_)
        designViews_->updateAll();
}

void* CVortCtrl::findInterface(const component::Guid& iid) {
    if (iid == component::ControlView::kIid)
        return static_cast<component::ControlView*>(this);
    return ControlBase::findInterface(iid);
}

} // namespace vort
