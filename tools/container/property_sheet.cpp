#include "tools/container/property_sheet.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "platform/dialogs/dialogs.h"

namespace vort::container {

PropertySheet::PropertySheet(component::ComponentHost& host,
                             const component::HostedControl& control, QWidget* parent)
    : QDialog(parent), tabs_(new QTabWidget(this)) {
    setWindowTitle(QStringLiteral("Property Pages"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs_);
    auto* buttons = new QDialogButtonBox(
        QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Apply, this);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
        if (applyAll())
            accept();
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(buttons->button(QDialogButtonBox::Apply), &QPushButton::clicked, this,
            [this] { applyAll(); });

    for (const component::Guid& clsid : control.control().propertyPages()) {
        try {
            component::Ref<component::PropertyPage> page =
                host.create<component::PropertyPage>(clsid);
            if (!page)
                throw component::HostError(component::kNoInterface, "it is no property page");
            page->setObject(&control.dispatch());
            auto* widget = static_cast<QWidget*>(page->createWidget(tabs_));
            if (!widget)
                throw component::HostError(component::kFail, "it made no widget");
            tabs_->addTab(widget, QString::fromStdU16String(page->caption()));
            pages_.push_back(std::move(page));
        } catch (const component::HostError& e) {
            failures_ << QStringLiteral("%1: %2").arg(QString::fromStdString(clsid.format()),
                                                      QString::fromUtf8(e.what()));
        }
    }
}

PropertySheet::~PropertySheet() {
    for (auto& page : pages_)
        page->setObject(nullptr);
}

bool PropertySheet::applyAll() {
    for (size_t i = 0; i < pages_.size(); ++i) {
        if (!pages_[i]->isDirty())
            continue;
        std::string error;
        if (pages_[i]->apply(&error) != component::kOk) {
            tabs_->setCurrentIndex(static_cast<int>(i));
            dialogs::MessageBoxRequest box;
            box.title = tabs_->tabText(static_cast<int>(i));
            box.text = QString::fromStdString(error);
            box.icon = dialogs::Icon::Exclamation;
            box.owner = this;
            dialogs::dialogs().messageBox(box);
            return false;
        }
    }
    return true;
}

} // namespace vort::container
