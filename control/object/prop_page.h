// CVortPropPage: the control's property page "General", ten fields bound to the
// control's properties and checked when applied.
//
// The page edits whatever Dispatch it is given through the dispatch interface only.
// It reads every field when attached and again after each successful apply. apply
// checks each field the user changed (integers against their range, texts against
// their length); the first field that fails is reported by its label, with the range
// or length it must keep, and nothing at all is written. Fields the user left as they
// were are neither checked nor written, so a value the control holds outside the
// page's narrower limits (CommPort 40, a long init string set by a program) survives
// an apply of some other field unchanged instead of blocking it or being cut short.
// When the control refuses a value that passed the page's check (a Settings text that
// does not parse), the fields already written are put back and the refusal is
// reported, so an apply writes all of its fields or none.
//
// Thread rule: owner's (GUI) thread only. The widget needs a QApplication.
#pragma once

#include <QPointer>
#include <QString>
#include <array>
#include <atomic>
#include <cstdint>
#include <span>
#include <string>

#include "platform/component/module.h"
#include "platform/component/property_page.h"

class QWidget;

namespace vort {

// One field of the page.
struct PropPageField {
    const char* label;    // the text beside the field
    const char* property; // the property it edits; also the field widget's object name
    int32_t dispid;
    bool integer; // an integer field (min..max), else a text field (maxLength)
    int32_t min;
    int32_t max;
    int maxLength;
};

inline constexpr int kPropPageFieldCount = 10;

// The fields in the page's order, which is also the order apply checks and writes.
std::span<const PropPageField, kPropPageFieldCount> propPageFields();

// The page's size in dialog units.
inline constexpr int kPropPageWidthDlu = 250;
inline constexpr int kPropPageHeightDlu = 122;

class CVortPropPage final : public component::PropertyPage {
public:
    CVortPropPage();
    CVortPropPage(const CVortPropPage&) = delete;
    CVortPropPage& operator=(const CVortPropPage&) = delete;

    int32_t queryInterface(const component::Guid& iid, void** out) override;
    uint32_t addRef() override;
    uint32_t release() override;

    std::u16string caption() override { return u"General"; }
    void setObject(component::Dispatch* object) override;
    void* createWidget(void* parent) override;
    bool isDirty() override;
    int32_t apply(std::string* error) override;

private:
    ~CVortPropPage();
    // Reads every field's value from the object and shows it.
    void load();
    void showLoaded();
    // What field i holds now: the widget's text, or the loaded value without one.
    QString currentText(int i) const;
    // Checks field i's text; "" when it passes, else the complaint.
    static QString check(const PropPageField& field, const QString& text, int32_t* value);

    std::atomic<uint32_t> refs_{1};
    component::ModuleLock moduleLock_;
    component::Ref<component::Dispatch> object_;
    std::array<QString, kPropPageFieldCount> loaded_;
    QPointer<QWidget> widget_;
};

// A new property page instance holding one reference, or nullptr.
component::Unknown* createVortPropPage();

} // namespace vort
