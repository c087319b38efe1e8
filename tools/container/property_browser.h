// PropertyBrowser: the container's table of the hosted control's properties, from
// its type information: each property's name and value, with the predefined lists of
// the control's property browser, its enumerations and True/False offered when
// editing. Run-time-only properties are not read in design mode (they would fail with
// 422) and, in run mode, only on request, since reading some of them has effects
// (Input takes data, CommEvent resets). Write-only properties show no value.
// GUI thread only.
#pragma once

#include <QTableWidget>

#include "platform/component/hosted_control.h"

namespace vort::container {

class PropertyBrowser final : public QTableWidget {
public:
    explicit PropertyBrowser(QWidget* parent = nullptr);

    // The control shown (nullptr: none). designMode: the container's current mode.
    void setControl(const component::HostedControl* control, bool designMode);
    // Reads every property that may be read freely again.
    void refresh();
    // Reads the property dispid again (after the control said it changed).
    void refreshProperty(int32_t dispid);
    // Reads the selected property, also a run-time-only one (run mode).
    void readSelected();
    // Asks for a new value of the selected property and writes it.
    void editSelected();

    // The text shown for the property called name ("" when it has no row).
    QString valueText(const QString& name) const;

private:
    void fill();
    void readRow(int row, bool force);
    const component::MemberInfo* memberAt(int row) const;

    const component::HostedControl* control_ = nullptr;
    bool designMode_ = false;
};

} // namespace vort::container
