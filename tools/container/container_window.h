// ContainerWindow: vort-container's window. It hosts one control, created by ProgID
// or CLSID, in run or design mode: the control's own view (what it draws while
// designed) on a form surface, a property browser, the control's property pages and
// About box, an event log, and save and load of the control's properties as a
// property-bag file. Message boxes and file dialogs go through the dialog facade.
// GUI thread only.
#pragma once

#include <QMainWindow>
#include <QPointer>

#include "platform/component/component_host.h"
#include "platform/component/hosted_control.h"
#include "tools/container/event_recorder.h"
#include "tools/container/host_site.h"

class QAction;
class QLabel;
class QPlainTextEdit;

namespace vort::container {

class PropertyBrowser;

class ContainerWindow final : public QMainWindow {
public:
    // host creates the controls and their property pages; it must outlive the window.
    explicit ContainerWindow(component::ComponentHost& host, QWidget* parent = nullptr);
    ~ContainerWindow() override;

    // Creates the control named by classText (ProgID or {CLSID}) in place of the one
    // there is; false (after telling the user) when it cannot.
    bool createControl(const QString& classText);
    // true: run mode; false: design mode.
    void setRunMode(bool run);
    bool saveProperties(const QString& path);
    bool loadProperties(const QString& path);
    void showPropertyPages();
    void showAboutBox();

    PropertyBrowser* browser() const { return browser_; }
    QPlainTextEdit* eventLog() const { return log_; }
    QWidget* controlView() const { return view_; }
    const component::HostedControl& control() const { return control_; }

private:
    void askForClass();
    void askToSave();
    void askToLoad();
    void updateState();
    void tell(const QString& text, const QString& title);

    component::ComponentHost& host_;
    HostSite site_;
    EventRecorder events_;
    component::HostedControl control_;
    QString className_;

    QWidget* surface_ = nullptr;
    QPointer<QWidget> view_;
    PropertyBrowser* browser_ = nullptr;
    QPlainTextEdit* log_ = nullptr;
    QLabel* state_ = nullptr;
    QAction* runAction_ = nullptr;
    QAction* designAction_ = nullptr;
    QList<QAction*> controlActions_;
};

} // namespace vort::container
