#include "tools/container/property_browser.h"

#include <QHeaderView>
#include <QInputDialog>

#include "platform/component/error.h"
#include "platform/component/text.h"
#include "platform/dialogs/dialogs.h"
#include "tools/container/value_notation.h"

namespace vort::container {

using component::MemberInfo;
using component::Variant;

namespace {

constexpr int kDispidRole = Qt::UserRole + 1;

void showError(QWidget* owner, int32_t number, const std::string& description) {
    dialogs::MessageBoxRequest box;
    box.title = QStringLiteral("Error");
    box.text = QStringLiteral("Error # %1 %2").arg(number).arg(QString::fromStdString(description));
    box.icon = dialogs::Icon::Exclamation;
    box.owner = owner;
    dialogs::dialogs().messageBox(box);
}

} // namespace

PropertyBrowser::PropertyBrowser(QWidget* parent) : QTableWidget(parent) {
    setColumnCount(2);
    setHorizontalHeaderLabels({QStringLiteral("Property"), QStringLiteral("Value")});
    horizontalHeader()->setStretchLastSection(true);
    verticalHeader()->hide();
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    connect(this, &QTableWidget::cellDoubleClicked, this, [this](int, int) { editSelected(); });
}

void PropertyBrowser::setControl(const component::HostedControl* control, bool designMode) {
    control_ = control && *control ? control : nullptr;
    designMode_ = designMode;
    fill();
}

const MemberInfo* PropertyBrowser::memberAt(int row) const {
    if (!control_ || row < 0 || row >= rowCount())
        return nullptr;
    const component::InterfaceInfo* info = control_->dispatch().typeInfo();
    return info ? info->find(item(row, 0)->data(kDispidRole).toInt()) : nullptr;
}

void PropertyBrowser::fill() {
    setRowCount(0);
    if (!control_)
        return;
    const component::InterfaceInfo* info = control_->dispatch().typeInfo();
    if (!info)
        return;
    for (const MemberInfo& m : info->members) {
        if (m.kind != component::MemberKind::Property)
            continue;
        const int row = rowCount();
        insertRow(row);
        auto* name = new QTableWidgetItem(QString::fromStdString(m.name));
        name->setData(kDispidRole, m.dispid);
        name->setToolTip(QString::fromStdString(m.help));
        setItem(row, 0, name);
        setItem(row, 1, new QTableWidgetItem());
    }
    resizeColumnToContents(0);
    refresh();
}

void PropertyBrowser::refresh() {
    for (int row = 0; row < rowCount(); ++row)
        readRow(row, false);
}

void PropertyBrowser::refreshProperty(int32_t dispid) {
    for (int row = 0; row < rowCount(); ++row)
        if (item(row, 0)->data(kDispidRole).toInt() == dispid)
            readRow(row, false);
}

void PropertyBrowser::readSelected() {
    readRow(currentRow(), true);
}

void PropertyBrowser::readRow(int row, bool force) {
    const MemberInfo* m = memberAt(row);
    if (!m)
        return;
    QTableWidgetItem* value = item(row, 1);
    if (m->access == component::Access::WriteOnly) {
        value->setText(QStringLiteral("(write-only)"));
        return;
    }
    if (m->runTimeOnly && designMode_) {
        value->setText(QStringLiteral("(run time only)"));
        return;
    }
    if (m->runTimeOnly && !force) {
        if (value->text().isEmpty() || value->text().startsWith(QLatin1Char('(')))
            value->setText(QStringLiteral("(read on request)"));
        return;
    }
    Variant v;
    const component::InvokeResult r =
        control_->dispatch().invoke(m->dispid, component::InvokeKind::PropertyGet, {}, &v);
    if (!r.ok()) {
        value->setText(
            QStringLiteral("! %1 %2").arg(r.number).arg(QString::fromStdString(r.description)));
        return;
    }
    std::u16string display;
    if (control_->control().displayString(m->dispid, &display) == component::kOk)
        value->setText(QString::fromStdU16String(display));
    else
        value->setText(QString::fromStdString(formatValue(v)));
}

void PropertyBrowser::editSelected() {
    const MemberInfo* m = memberAt(currentRow());
    if (!m)
        return;
    if (m->access == component::Access::ReadOnly) {
        showError(this, component::kErrSetNotSupported,
                  component::standardErrorText(component::kErrSetNotSupported));
        return;
    }
    const QString title = QStringLiteral("Set %1").arg(QString::fromStdString(m->name));
    std::optional<Variant> value;
    // A choice from a list where the control or its type library offers one.
    QStringList items;
    std::vector<int32_t> values;
    if (const component::PropertyBrowserList* list = control_->control().browserList(m->dispid)) {
        for (const auto& e : list->entries) {
            items << QString::fromStdU16String(e.text);
            values.push_back(e.value);
        }
    } else if (const component::TypeLibrary* lib = control_->control().typeLibrary();
               lib && !m->enumName.empty() && lib->findEnum(m->enumName)) {
        for (const auto& e : lib->findEnum(m->enumName)->members) {
            items << QStringLiteral("%1 - %2").arg(e.value).arg(QString::fromStdString(e.name));
            values.push_back(e.value);
        }
    }
    bool ok = false;
    if (!items.isEmpty()) {
        const QString chosen = QInputDialog::getItem(this, title, QString::fromStdString(m->name),
                                                     items, 0, false, &ok);
        if (!ok)
            return;
        value =
            Variant::i2(static_cast<int16_t>(values[static_cast<size_t>(items.indexOf(chosen))]));
    } else if (m->type == component::VT_BOOL) {
        const QString chosen =
            QInputDialog::getItem(this, title, QString::fromStdString(m->name),
                                  {QStringLiteral("true"), QStringLiteral("false")}, 0, false, &ok);
        if (!ok)
            return;
        value = Variant::boolean(chosen == QStringLiteral("true"));
    } else {
        const QString current = item(currentRow(), 1)->text();
        const QString text = QInputDialog::getText(
            this, title,
            QStringLiteral("%1 (an integer, true/false, \"text\" or bytes:HEX)")
                .arg(QString::fromStdString(m->name)),
            QLineEdit::Normal, current.startsWith(QLatin1Char('(')) ? QString() : current, &ok);
        if (!ok)
            return;
        std::string why;
        value = parseValue(text.trimmed().toStdString(), &why);
        if (!value) {
            showError(this, component::kErrTypeMismatch, why);
            return;
        }
    }
    std::array<Variant, 1> args{*value};
    const component::InvokeResult r =
        control_->dispatch().invoke(m->dispid, component::InvokeKind::PropertyPut, args, nullptr);
    if (!r.ok())
        showError(this, r.number, r.description);
    readRow(currentRow(), false);
}

QString PropertyBrowser::valueText(const QString& name) const {
    for (int row = 0; row < rowCount(); ++row)
        if (item(row, 0)->text() == name)
            return item(row, 1)->text();
    return {};
}

} // namespace vort::container
