// PropertyPage: a page of fields a container shows to edit a control's properties.
//
// A page class is registered like any class and created by its CLSID (a control names
// its pages with Control::propertyPages). The widget belongs to the toolkit; it crosses
// this interface as void* so the model stays free of it (on this platform a QWidget*).
// Called only in the owner's thread.
#pragma once

#include <cstdint>
#include <string>

#include "platform/component/dispatch.h"

namespace vort::component {

class PropertyPage : public Unknown {
public:
    static constexpr Guid kIid = Guid::literal("{2296D94D-F8C3-42C4-9C2E-C73C2917B8F4}");

    // The page's tab caption.
    virtual std::u16string caption() = 0;
    // The control whose properties the page edits (null detaches it). The page reads
    // the values into its fields when attached; it keeps a reference while attached.
    virtual void setObject(Dispatch* object) = 0;
    // Creates the page's widget as a child of parent and returns it (owned by parent).
    virtual void* createWidget(void* parent) = 0;
    // Whether a field was changed since the last apply.
    virtual bool isDirty() = 0;
    // Checks every field and writes them to the object. kOk; on a field that fails its
    // check, kInvalidArg with *error (may be null) saying which field and why, and
    // nothing written.
    virtual int32_t apply(std::string* error) = 0;

protected:
    ~PropertyPage() = default;
};

} // namespace vort::component
