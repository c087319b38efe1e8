#include "control/object/prop_page.h"

#include <QApplication>
#include <QLineEdit>
#include <QRegularExpression>
#include <QWidget>
#include <vector>

#include "control/object/dialog_units.h"
#include "platform/component/variant.h"
#include "ui_prop_page.h"
#include "vort/dispids.h"

namespace vort {

using component::Dispatch;
using component::InvokeKind;
using component::InvokeResult;
using component::Variant;

namespace {

constexpr std::array<PropPageField, kPropPageFieldCount> kFields = {{
    {"CommPort", "CommPort", kDispCommPort, true, 1, 36, 0},
    {"Settings", "Settings", kDispSettings, false, 0, 0, 20},
    {"InBufferSize", "InBufferSize", kDispInBufferSize, true, 2048, 32000, 0},
    {"OutBufferSize", "OutBufferSize", kDispOutBufferSize, true, 512, 32000, 0},
    {"RThreshold", "RThreshold", kDispRThreshold, true, 0, 32000, 0},
    {"SThreshold", "SThreshold", kDispSThreshold, true, 0, 32000, 0},
    {"Modem timeout", "ModemTimeout", kDispModemTimeout, true, 1, 600, 0},
    {"Modem Initialize", "ModemInitString", kDispModemInitString, false, 0, 0, 60},
    {"Modem Answer", "ModemAnswerString", kDispModemAnswerString, false, 0, 0, 60},
    {"Phone no.", "ModemPhoneNumber", kDispModemPhoneNumber, false, 0, 0, 40},
}};

// The page's widget. It keeps the library loaded while it exists, since its code and
// its form live there, and it may outlive the page object.
class PropPageWidget final : public QWidget {
public:
    explicit PropPageWidget(QWidget* parent) : QWidget(parent) {
        form_.setupUi(this);
        setFixedSize(dialogUnitsToPixels(font(), kPropPageWidthDlu, kPropPageHeightDlu));
    }
    QLineEdit* field(int i) const {
        return findChild<QLineEdit*>(QString::fromLatin1(kFields[i].property));
    }

private:
    Ui::VortPropPageForm form_;
    component::ModuleLock moduleLock_;
};

QString textOf(const Variant& v) {
    std::u16string text;
    if (v.isText())
        text = v.text();
    else if (!v.toText(text))
        return {};
    return QString::fromStdU16String(text);
}

QString refusal(const PropPageField& field, const QString& text, const InvokeResult& r) {
    QString why = QString::number(r.number);
    if (!r.description.empty())
        why += QLatin1Char(' ') + QString::fromStdString(r.description);
    return QStringLiteral("%1: the control refused \"%2\" (error %3)")
        .arg(QLatin1String(field.label), text, why);
}

} // namespace

std::span<const PropPageField, kPropPageFieldCount> propPageFields() {
    return kFields;
}

CVortPropPage::CVortPropPage() = default;
CVortPropPage::~CVortPropPage() = default;

int32_t CVortPropPage::queryInterface(const component::Guid& iid, void** out) {
    if (!out)
        return component::kPointer;
    if (iid == component::Unknown::kIid || iid == component::PropertyPage::kIid) {
        *out = static_cast<component::PropertyPage*>(this);
        addRef();
        return component::kOk;
    }
    *out = nullptr;
    return component::kNoInterface;
}

uint32_t CVortPropPage::addRef() {
    return ++refs_;
}

uint32_t CVortPropPage::release() {
    const uint32_t left = --refs_;
    if (left == 0)
        delete this;
    return left;
}

void CVortPropPage::setObject(Dispatch* object) {
    object_ = component::Ref<Dispatch>(object);
    load();
}

void CVortPropPage::load() {
    for (int i = 0; i < kPropPageFieldCount; ++i) {
        loaded_[i].clear();
        if (!object_)
            continue;
        Variant value;
        // A field whose property cannot be read stays empty; unless the user types
        // into it, apply leaves that property alone.
        if (object_->invoke(kFields[i].dispid, InvokeKind::PropertyGet, {}, &value).ok())
            loaded_[i] = textOf(value);
    }
    showLoaded();
}

void CVortPropPage::showLoaded() {
    auto* w = static_cast<PropPageWidget*>(widget_.data());
    if (!w)
        return;
    for (int i = 0; i < kPropPageFieldCount; ++i) {
        QLineEdit* edit = w->field(i);
        if (!edit)
            continue;
        // The edit limit is the field's length check, widened to a longer value the
        // control already holds: setText would otherwise cut that value short.
        if (!kFields[i].integer)
            edit->setMaxLength(std::max(kFields[i].maxLength, static_cast<int>(loaded_[i].size())));
        edit->setText(loaded_[i]);
    }
}

void* CVortPropPage::createWidget(void* parent) {
    if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
        return nullptr;
    auto* w = new PropPageWidget(static_cast<QWidget*>(parent));
    w->setWindowTitle(QString::fromStdU16String(caption()));
    widget_ = w;
    showLoaded();
    return static_cast<QWidget*>(w);
}

QString CVortPropPage::currentText(int i) const {
    if (auto* w = static_cast<PropPageWidget*>(widget_.data()))
        if (QLineEdit* edit = w->field(i))
            return edit->text();
    return loaded_[i];
}

bool CVortPropPage::isDirty() {
    for (int i = 0; i < kPropPageFieldCount; ++i)
        if (currentText(i) != loaded_[i])
            return true;
    return false;
}

QString CVortPropPage::check(const PropPageField& field, const QString& text, int32_t* value) {
    const QString label = QLatin1String(field.label);
    if (field.integer) {
        const QString range =
            QStringLiteral("enter an integer from %1 to %2").arg(field.min).arg(field.max);
        static const QRegularExpression kInteger(QStringLiteral("^[+-]?[0-9]+$"));
        const QString t = text.trimmed();
        if (!kInteger.match(t).hasMatch())
            return QStringLiteral("%1: \"%2\" is not an integer; %3").arg(label, text, range);
        bool ok = false;
        const qlonglong n = t.toLongLong(&ok);
        if (!ok || n < field.min || n > field.max)
            return QStringLiteral("%1: %2 is out of range; %3").arg(label, t, range);
        *value = static_cast<int32_t>(n);
        return {};
    }
    if (text.size() > field.maxLength)
        return QStringLiteral("%1: %2 characters are too many; enter at most %3 characters")
            .arg(label)
            .arg(text.size())
            .arg(field.maxLength);
    return {};
}

int32_t CVortPropPage::apply(std::string* error) {
    if (!object_) {
        if (error)
            *error = "no control is attached to the page";
        return component::kUnexpected;
    }
    struct Write {
        int field;
        Variant value;
        QString text;
    };
    std::vector<Write> writes;
    for (int i = 0; i < kPropPageFieldCount; ++i) {
        const QString text = currentText(i);
        if (text == loaded_[i])
            continue;
        int32_t number = 0;
        const QString complaint = check(kFields[i], text, &number);
        if (!complaint.isEmpty()) {
            if (error)
                *error = complaint.toStdString();
            if (auto* w = static_cast<PropPageWidget*>(widget_.data()))
                if (QLineEdit* edit = w->field(i)) {
                    edit->setFocus();
                    edit->selectAll();
                }
            return component::kInvalidArg;
        }
        writes.push_back(
            {i, kFields[i].integer ? Variant::i4(number) : Variant::bstr(text.toStdU16String()),
             text});
    }

    // Every changed field passed: write them in the page's order, remembering what
    // each held, so that a refusal part-way can put the earlier ones back.
    std::vector<std::pair<int32_t, Variant>> previous;
    for (Write& w : writes) {
        const PropPageField& field = kFields[w.field];
        Variant old;
        const bool oldKnown = object_->invoke(field.dispid, InvokeKind::PropertyGet, {}, &old).ok();
        std::array<Variant, 1> args{w.value};
        const InvokeResult r =
            object_->invoke(field.dispid, InvokeKind::PropertyPut, args, nullptr);
        if (!r.ok()) {
            for (auto it = previous.rbegin(); it != previous.rend(); ++it) {
                std::array<Variant, 1> back{it->second};
                object_->invoke(it->first, InvokeKind::PropertyPut, back, nullptr);
            }
            if (error)
                *error = refusal(field, w.text, r).toStdString();
            return r.code;
        }
        if (oldKnown)
            previous.emplace_back(field.dispid, std::move(old));
    }
    // Show what the control made of the values (it normalises Settings, for one).
    load();
    return component::kOk;
}

component::Unknown* createVortPropPage() {
    return static_cast<component::PropertyPage*>(new CVortPropPage());
}

} // namespace vort
