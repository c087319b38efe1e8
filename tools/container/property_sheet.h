// PropertySheet: the container's frame around a control's property pages: one tab per
// page the control names, with OK, Cancel and Apply. Apply (and OK) apply every page
// with changes; a page that refuses keeps the sheet open and its complaint is shown
// in a message box through the dialog facade.
// GUI thread only.
#pragma once

#include <QDialog>
#include <vector>

#include "platform/component/component_host.h"
#include "platform/component/hosted_control.h"
#include "platform/component/property_page.h"

class QTabWidget;

namespace vort::container {

class PropertySheet final : public QDialog {
public:
    // Creates the control's pages through host. Pages that cannot be created are
    // listed in failures() and left out.
    PropertySheet(component::ComponentHost& host, const component::HostedControl& control,
                  QWidget* parent);
    ~PropertySheet() override;

    int pageCount() const { return static_cast<int>(pages_.size()); }
    const QStringList& failures() const { return failures_; }
    // Applies every page with changes; false (after telling the user) when one refuses.
    bool applyAll();

private:
    QTabWidget* tabs_;
    std::vector<component::Ref<component::PropertyPage>> pages_;
    QStringList failures_;
};

} // namespace vort::container
