// The control's design-time view: the widget a container shows where the control sits
// on a window being designed. While the container is in design mode (ambient UserMode
// false) it draws the control's bitmap stretched over its whole rectangle and answers
// the F1 key by opening the control's help; in run mode the control is invisible, so
// the view draws nothing and lets every key pass on to its parent.
//
// Thread rule: GUI thread only.
#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>
#include <memory>
#include <vector>

#include "platform/component/module.h"

namespace vort {

class CVortCtrl;

// The views one control has made. The control owns it; views hold it weakly, so a
// view learns that its control is gone when the control's hold ends.
class DesignViews {
public:
    explicit DesignViews(CVortCtrl& control) : control_(control) {}
    CVortCtrl& control() const { return control_; }
    void add(QWidget* view);
    // Repaints every view still alive (the ambient UserMode changed).
    void updateAll();

private:
    CVortCtrl& control_;
    std::vector<QPointer<QWidget>> views_;
};

class DesignView final : public QWidget {
public:
    DesignView(std::weak_ptr<DesignViews> views, QWidget* parent);

    // The control's extent in pixels of this screen.
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // The control while it lives and its container designs it, else nullptr.
    CVortCtrl* designedControl() const;

    std::weak_ptr<DesignViews> views_;
    // The view's code lives in the control's library, which must stay loaded while the
    // view exists, even after the control itself is gone.
    component::ModuleLock moduleLock_;
};

// The control's help file: vortocxe.html in the directory of the library holding
// this code (libvort.so as installed or built).
QString controlHelpPath();

} // namespace vort
